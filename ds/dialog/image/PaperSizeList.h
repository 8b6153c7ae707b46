#pragma once
// The paper-size list of the image and paper pages: the standard sizes the device can scan
// from the current source, its maximum, the long page with its limit, custom; the long-page
// limit by resolution band; and the re-selection after the list changed.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ds/dialog/DialogContext.h"
#include "ds/scan/records/PaperTbl.h"

namespace ferrolite::dialog {

struct Paper_V2Tez_FRL {
  std::string mName;
  int64_t mPageID = 0;
  bool operator==(const Paper_V2Tez_FRL&) const = default;
};

// The long page is held to 118 inches the first time the data source runs (no settings file).
inline constexpr uint32_t kFirstRunLongLength = 35400;

// The long-page limits the dialog keeps besides the record.
struct LongPageState {
  double mfDefaultLongPageLength = 0;  // the model's limit as handed over
  double mfSaveLongPageLength = 0;
  double mfSaveLongPageWidth = 0;
};

// getLongPageLength:wScanModeSideSelect: the limit of the resolution band of the colour
// column (modes 0 and 1) or the other column; 0 where the table has none. On a first run a
// limit above 35400 also holds dwLongLength to 35400.
uint32_t getLongPageLength(DialogContext& ctx, uint16_t resolution, int64_t mode,
                           bool settingsFileExists);

struct PaperList {
  std::vector<Paper_V2Tez_FRL> items;
  bool popupsEnabled = true;  // both popups are disabled while two sides are merged
};

// scanPageInit: builds the list; writes the device maximum into the table's rows for ids 0
// and 18, and may lower the dialog's and the bridge's long-page limit to the band's.
PaperList scanPageInit(DialogContext& ctx, PaperTbl& table, LongPageState& longPage,
                       const LanguageBundle& language, bool settingsFileExists);

// The first item whose page id equals the record's, or the first item.
std::size_t paperListIndexOf(const PaperList& list, int64_t pageId);

// scanPageChangeCheck after the list was rebuilt for a new source or resolution.
struct PaperReselection {
  std::size_t select = 0;  // index in both popups
  bool reapply = false;    // bPaperSize was set and paperTabPaperSelect: runs with nil
};
PaperReselection reselectPaper(ScanSetting& record, const PaperList& list, int64_t previousId);

}  // namespace ferrolite::dialog
