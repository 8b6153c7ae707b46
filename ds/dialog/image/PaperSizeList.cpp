#include "ds/dialog/image/PaperSizeList.h"

#include <cstdio>

#include "ds/dialog/Units.h"

namespace ferrolite::dialog {

namespace {
constexpr int kColourColumn = 12;
constexpr int kOtherColumn = 18;

// 0 above 500 dpi, then 401-500, 301-400, 201-300, 151-200, up to 150.
int bandOf(uint16_t resolution) {
  if (resolution > 500) return 0;
  if (resolution > 400) return 1;
  if (resolution > 300) return 2;
  if (resolution > 200) return 3;
  if (resolution > 150) return 4;
  return 5;
}

uint16_t resolutionOfSelection(const ScanSetting& r, int64_t mode) {
  if (mode == 2 || mode == 3) return r.wGrayRes;
  if (mode == 4 || mode == 5) return r.wBWRes;
  return r.wColorRes;
}

std::string localized(const LanguageBundle& language, const std::string& key) {
  return language.localizedStringForKey(key, key);
}
}  // namespace

uint32_t getLongPageLength(DialogContext& ctx, uint16_t resolution, int64_t mode,
                           bool settingsFileExists) {
  const int column = (mode == 0 || mode == 1) ? kColourColumn : kOtherColumn;
  const uint32_t limit = ctx.extra.multiLongLength[column + bandOf(resolution)];
  if (!settingsFileExists && limit > kFirstRunLongLength) {
    ctx.record().dwLongLength = kFirstRunLongLength;
  }
  return limit;
}

PaperList scanPageInit(DialogContext& ctx, PaperTbl& table, LongPageState& longPage,
                       const LanguageBundle& language, bool settingsFileExists) {
  ScanSetting& r = ctx.record();
  const AbilityView ability = ctx.ability();
  const bool flatbed = isFlatbedSource(r.bScanSource);
  const uint32_t maxWidth = ability.maxWidth(r.bScanSource);
  const uint32_t maxLength = ability.maxLength(r.bScanSource);
  PaperList list;
  list.items.push_back({localized(language, "Automatic"), kPageAutomatic});
  for (std::size_t i = 1; i < kPaperTblRows - 2; ++i) {
    const PaperTblRow& row = table.rows[i];
    const uint32_t width = static_cast<uint16_t>(row.width);
    const uint32_t length = static_cast<uint16_t>(row.length);
    if (width > maxWidth || length > maxLength) continue;
    if (!flatbed && (width < ctx.extra.adfMinWidth || length < ctx.extra.adfMinLength)) continue;
    if (row.pageId < 1 || row.pageId > 17) continue;  // multi-crop is not offered here
    list.items.push_back(
        {localized(language, "PAPERSIZE" + std::to_string(row.pageId)), row.pageId});
  }
  list.items.push_back({localized(language, "PaperMax"), kPageMaximum});
  for (PaperTblRow& row : table.rows) {
    if (row.pageId == kPageAutomatic || row.pageId == kPageMaximum) {
      row.width = maxWidth;
      row.length = maxLength;
    }
  }
  if (!flatbed && ctx.extra.maxLongLength > maxLength) {
    uint32_t limit = 0;
    if (ctx.globals.gUINewKrapi) {
      const int64_t mode = ctx.bridge.mScanModeSideSelect;
      limit = getLongPageLength(ctx, resolutionOfSelection(r, mode), mode, settingsFileExists);
      if (limit != 0) {
        ctx.extra.maxLongLength = limit;
        ctx.bridge.maxLongLength = limit;
      }
    }
    if (limit == 0) limit = saturatingTrunc<uint32_t>(longPage.mfDefaultLongPageLength);
    char suffix[64];
    const std::string inch = localized(language, "Inch");
    if (limit % kBaseResolution == 0) {
      std::snprintf(suffix, sizeof suffix, "(< %u %s)", limit / kBaseResolution, inch.c_str());
    } else {
      std::snprintf(suffix, sizeof suffix, "(< %.1f %s)", limit / 300.0, inch.c_str());
    }
    list.items.push_back({localized(language, "LongPage") + suffix, kPageLong});
    if (longPage.mfSaveLongPageLength == 0) longPage.mfSaveLongPageLength = r.dwLongLength;
    longPage.mfSaveLongPageWidth = maxWidth;
  }
  list.items.push_back({localized(language, "Custom"), kPageCustom});
  list.popupsEnabled = r.bScanSource != kSourceMergeTwoSides;
  return list;
}

std::size_t paperListIndexOf(const PaperList& list, int64_t pageId) {
  for (std::size_t i = 0; i < list.items.size(); ++i) {
    if (list.items[i].mPageID == pageId) return i;
  }
  return 0;
}

PaperReselection reselectPaper(ScanSetting& record, const PaperList& list, int64_t previousId) {
  if (previousId != kPageAutomatic && previousId != kPageMaximum) {
    for (std::size_t i = 1; i < list.items.size(); ++i) {
      if (list.items[i].mPageID == previousId) return {i, false};
    }
    if (isFlatbedSource(record.bScanSource) && record.bPaperSize == kPageLong &&
        list.items.size() >= 2) {
      record.bPaperSize = kPageMaximum;
      return {list.items.size() - 2, true};
    }
  }
  record.bPaperSize = kPageAutomatic;
  return {0, true};
}

}  // namespace ferrolite::dialog
