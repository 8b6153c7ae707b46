#pragma once
// The scan-source popup: its items from the device-type word, and what choosing a source does
// to the image types, the mode being edited, the scan area's origin and size, and the
// preview's maximum area.
#include <cstdint>
#include <string>
#include <vector>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/image/ImageTypeButtons.h"
#include "ds/dialog/image/ModeSideRows.h"
#include "ds/dialog/image/PageCalls.h"
#include "ds/scan/records/PaperTbl.h"

namespace ferrolite::dialog {

struct SourceItem {
  std::string key;  // "Automatic", "Feeder", "Flatbed", "MergeTwoSides"
  uint8_t value;    // the item's represented bScanSource
  bool operator==(const SourceItem&) const = default;
};

struct SourceMenu {
  std::vector<SourceItem> items;
  bool hidden = false;  // one item or none: the label and popup are hidden
  std::size_t selected = 0;
};

// The menu of the sources the scanner has (AbilityView::hasFeeder, hasFlatbed): the feeder, the
// flatbed, merging on a two-sided feeder when mergeSides offers it, and the automatic source
// first when there is a flatbed and a feeder. The item of bScanSource is selected; source 3
// shows the flatbed.
SourceMenu scanSourceMenu(const AbilityView& ability, bool mergeSides, uint8_t bScanSource);

// What a source choice left the page's other controls as.
struct SourceChoice {
  bool changed = false;  // the choice was the source already in force: nothing else happened
  Calls calls;           // in order
  bool ultrasonicEnabled = true;
  bool paperPopupsEnabled = true;
  bool mergeOptionShown = false;
  bool blankRemovalEnabled = true;  // both blank-page check boxes
  bool splitImageEnabled = true;
};

// imageTabScanSourceAction: the chosen item. The rows' rear entries and the image-type buttons
// follow; the record's area is re-centred for the feeder (X never below 0, the width cut to
// the feeder's), or put at 0 on the flatbed or with feeder alignment, and raised to the new
// source's minimum. `largest` is the paper table's first row (the device's maximum).
SourceChoice chooseScanSource(DialogContext& ctx, ImageTypeButtons& buttons,
                              std::vector<ScanModeSideSetting>& rows, const PaperTblRow& largest,
                              const SourceItem& chosen);

}  // namespace ferrolite::dialog
