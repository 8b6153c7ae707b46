#pragma once
// The image page's mode/side rows (eight on a two-sided scanner, three on a one-sided one),
// the reconciliation of their check marks with wImageType that the image table and the colour
// drop-out page's row table share, which rows may be selected, and the resolution popup's
// value transformer.
#include <cstdint>
#include <string>
#include <vector>

#include "ds/dialog/DataSource.h"
#include "ds/scan/records/ScanSetting.h"

namespace ferrolite::dialog {

struct ScanModeSideSetting {
  std::string mName;
  int64_t mCheck = 0;  // 0 or 1
  bool mEnabled = true;
};

// The page build's rows: names localized (the key as fallback), checks from wImageType (the
// automatic rows stay unchecked), and on a two-sided scanner the rear colour, grey and
// black-and-white rows disabled for a flatbed source.
std::vector<ScanModeSideSetting> buildModeSideRows(const ScanSetting& record, bool duplex,
                                                   const LanguageBundle& language);

// The rows' checks from wImageType (the automatic rows stay unchecked): the table shows the
// image types in force after every change of them.
void checkModeSideRows(std::vector<ScanModeSideSetting>& rows, const ScanSetting& record,
                       bool duplex);

// A change of the check column: each row the controller has is reconciled in order (a checked
// row sets its bit, an unchecked one clears it unless it is the last bit left, which checks
// the row again). Rows: 0-2 colour, grey, black-and-white on a one-sided scanner; 0-5 colour,
// grey and black-and-white front and rear on a two-sided one; later rows are not read.
// Answers whether Scan is enabled (a colour, grey or black-and-white bit is set).
bool reconcileModeSideRows(std::vector<ScanModeSideSetting>& rows, ScanSetting& record,
                           bool duplex);

// Only the front rows of a two-sided scanner may be selected while it scans from the flatbed.
bool modeSideRowSelectable(int row, bool duplex, uint8_t scanSource);

// Between a resolution and the resolution popup: 75, 150, 200, 300, 400, 600 at 0-5, any
// other resolution the custom entry 6, which maps back to the resolution last seen.
inline constexpr int kResolutionPresetCount = 6;
inline constexpr uint16_t kResolutionPresets[kResolutionPresetCount] = {75,  150, 200,
                                                                        300, 400, 600};
inline constexpr int kCustomResolutionIndex = 6;
int presetIndexOf(int64_t resolution);

class ResolutionTransformer_V2Tez_FRL {
 public:
  // A missing value answers 0.
  int64_t transformedValue(const int64_t* resolution);
  int64_t reverseTransformedValue(int64_t index);

 private:
  int64_t _LastValue = 0;
};

}  // namespace ferrolite::dialog
