#include "ds/dialog/image/ModeSideRows.h"

#include "ds/dialog/Ability.h"

namespace ferrolite::dialog {

namespace {
constexpr const char* kTwoSidedRows[] = {"FrontColor", "RearColor", "FrontGray",  "RearGray",
                                         "FrontBW",    "RearBW",    "Auto Front", "Auto Rear"};
constexpr uint16_t kTwoSidedBits[] = {0x10, 0x20, 0x04, 0x08, 0x01, 0x02, 0x40, 0x80};
constexpr const char* kOneSidedRows[] = {"Color", "Gray", "BW"};
constexpr uint16_t kOneSidedBits[] = {0x10, 0x04, 0x01};
}  // namespace

std::vector<ScanModeSideSetting> buildModeSideRows(const ScanSetting& record, bool duplex,
                                                   const LanguageBundle& language) {
  std::vector<ScanModeSideSetting> rows;
  const std::size_t count = duplex ? 8 : 3;
  for (std::size_t i = 0; i < count; ++i) {
    const char* key = duplex ? kTwoSidedRows[i] : kOneSidedRows[i];
    ScanModeSideSetting row;
    row.mName = language.localizedStringForKey(key, key);
    if (duplex && (i == 1 || i == 3 || i == 5)) row.mEnabled = !isFlatbedSource(record.bScanSource);
    rows.push_back(row);
  }
  checkModeSideRows(rows, record, duplex);
  return rows;
}

void checkModeSideRows(std::vector<ScanModeSideSetting>& rows, const ScanSetting& record,
                       bool duplex) {
  const std::size_t count = std::min<std::size_t>(rows.size(), duplex ? 8 : 3);
  for (std::size_t i = 0; i < count; ++i) {
    const uint16_t bit = duplex ? kTwoSidedBits[i] : kOneSidedBits[i];
    const bool automatic = bit & (kImageAutoColorFront | kImageAutoColorRear);
    rows[i].mCheck = !automatic && (record.wImageType & bit) ? 1 : 0;
  }
}

bool reconcileModeSideRows(std::vector<ScanModeSideSetting>& rows, ScanSetting& record,
                           bool duplex) {
  const std::size_t count = std::min<std::size_t>(rows.size(), duplex ? 6 : 3);
  for (std::size_t i = 0; i < count; ++i) {
    const uint16_t bit = duplex ? kTwoSidedBits[i] : kOneSidedBits[i];
    if (rows[i].mCheck) {
      record.wImageType |= bit;
    } else if (record.wImageType == bit) {
      rows[i].mCheck = 1;
    } else {
      record.wImageType &= static_cast<uint16_t>(~bit);
    }
  }
  return (record.wImageType & kImageFixedTypeBits) != 0;
}

bool modeSideRowSelectable(int row, bool duplex, uint8_t scanSource) {
  if (duplex && isFlatbedSource(scanSource)) return row == 0 || row == 2 || row == 4;
  return true;
}

int presetIndexOf(int64_t resolution) {
  for (int i = 0; i < kResolutionPresetCount; ++i) {
    if (kResolutionPresets[i] == resolution) return i;
  }
  return kCustomResolutionIndex;
}

int64_t ResolutionTransformer_V2Tez_FRL::transformedValue(const int64_t* resolution) {
  if (!resolution) return 0;
  _LastValue = *resolution;
  return presetIndexOf(*resolution);
}

int64_t ResolutionTransformer_V2Tez_FRL::reverseTransformedValue(int64_t index) {
  if (index >= 0 && index < kResolutionPresetCount) _LastValue = kResolutionPresets[index];
  return _LastValue;
}

}  // namespace ferrolite::dialog
