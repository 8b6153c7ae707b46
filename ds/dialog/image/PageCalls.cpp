#include "ds/dialog/image/PageCalls.h"

namespace ferrolite::dialog {

namespace {
const char* nameOf(PageCall c) {
  switch (c) {
    case PageCall::selectModeSideRow:
      return "selectModeSideRow";
    case PageCall::setImageTabItems:
      return "setImageTabItems";
    case PageCall::paperSizeInitial:
      return "paperSizeInitial";
    case PageCall::setColorDropTabItems:
      return "setColorDropTabItems";
    case PageCall::setNoiseAttribute:
      return "setNoiseAttribute";
    case PageCall::changePixelByResolution:
      return "changePixelByResolution";
    case PageCall::checkResolutionBoundary:
      return "checkResolutionBoundary";
    case PageCall::setBackgroundSettingState:
      return "setBackgroundSettingState";
    case PageCall::enableResolutionControls:
      return "enableResolutionControls";
    case PageCall::enableFlipSide:
      return "enableFlipSide";
    case PageCall::checkOldAvapiPaperSize:
      return "checkOldAvapiPaperSize";
    case PageCall::switch2CustomProfile:
      return "switch2CustomProfile";
    case PageCall::doImageTabInit:
      return "doImageTabInit";
    case PageCall::setResValue:
      return "setResValue";
    case PageCall::scanPageChangeCheck:
      return "scanPageChangeCheck";
    case PageCall::deletePreviewImageFile:
      return "deletePreviewImageFile";
    case PageCall::setMaxScanArea:
      return "setMaxScanArea";
    case PageCall::setPreviewRect:
      return "setPreviewRect";
    case PageCall::doPaperTabInit:
      return "doPaperTabInit";
  }
  return "?";
}

bool hasArgument(PageCall c) {
  switch (c) {
    case PageCall::selectModeSideRow:
    case PageCall::setImageTabItems:
    case PageCall::setColorDropTabItems:
    case PageCall::setNoiseAttribute:
    case PageCall::setBackgroundSettingState:
    case PageCall::setResValue:
    case PageCall::setMaxScanArea:
      return true;
    default:
      return false;
  }
}
}  // namespace

std::string describe(const Call& call) {
  std::string text = nameOf(call.what);
  if (call.what == PageCall::setMaxScanArea) {
    return text + "(" + std::to_string(call.a) + ", " + std::to_string(call.b) + ")";
  }
  if (hasArgument(call.what)) text += "(" + std::to_string(call.a) + ")";
  return text;
}

}  // namespace ferrolite::dialog
