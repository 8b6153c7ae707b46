#pragma once
// What Scan and Cancel do to the record before the data source sees it: keep every resolution
// at 72 dpi or above, raise the size to the source's minimum, and turn sizes typed in
// millimetres or pixels into the 1/300-inch values that show them.
#include <cstdint>
#include <optional>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/ModeResolution.h"
#include "ds/dialog/ScanArea.h"

namespace ferrolite::dialog {

// checkResolutionBoundary: the edited resolution below 72 becomes 72, and when it then is 72
// the field shows it and the popup selects its last (custom) item; every resolution below 72
// becomes 72.
struct ResolutionBoundary {
  std::optional<uint16_t> fieldShows;  // set: show it and select the popup's last item
};
ResolutionBoundary checkResolutionBoundary(ScanSetting& record, int64_t mode);

// Steps 3 and 4 of the commit (after the fields ended their editing): the minimum raise, then
// each size against the value shown: millimetres at 300 from the bridge's millimetre values
// (and the length detection's), pixels at the current resolution from the bridge's pixel
// values. The length detection is shown unscaled in pixels and keeps its value there.
void commitTypedValues(DialogContext& ctx);

}  // namespace ferrolite::dialog
