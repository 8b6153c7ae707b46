#pragma once
// The calls a rule of the image page asks the dialog to make on its other pages, in order,
// once the controls show the rule's state. Named after the dialog's methods.
#include <cstdint>
#include <string>
#include <vector>

namespace ferrolite::dialog {

enum class PageCall {
  selectModeSideRow,  // a: row
  setImageTabItems,   // a: mode
  paperSizeInitial,
  setColorDropTabItems,  // a: mode
  setNoiseAttribute,     // a: 1 on, 0 off
  changePixelByResolution,
  checkResolutionBoundary,
  setBackgroundSettingState,  // a: 1 on, 0 off
  enableResolutionControls,   // the resolution caption black, popup, field and stepper enabled
  enableFlipSide,
  checkOldAvapiPaperSize,
  switch2CustomProfile,
  doImageTabInit,
  setResValue,  // a: resolution
  scanPageChangeCheck,
  deletePreviewImageFile,
  setMaxScanArea,  // a: width, b: length
  setPreviewRect,  // the record's area
  doPaperTabInit,
};

struct Call {
  PageCall what;
  int64_t a = 0;
  int64_t b = 0;
  bool operator==(const Call&) const = default;
};
using Calls = std::vector<Call>;

std::string describe(const Call& call);

}  // namespace ferrolite::dialog
