#pragma once
// Models whose long page is limited to half the long-page limit when both sides are scanned.
// One table for the data source's parameter check and the dialog's paper page. Ids are USB
// identities (vendor id << 16 | product id), placeholders of this project's own vendor id.
#include <algorithm>
#include <array>
#include <cstdint>

namespace ferrolite {

inline constexpr std::array<uint32_t, 2> kHalvedDuplexLongPageModels = {0xF11E0311u, 0xF11E0312u};

constexpr bool halvesDuplexLongPage(uint32_t usbID) {
  return std::find(kHalvedDuplexLongPageModels.begin(), kHalvedDuplexLongPageModels.end(), usbID) !=
         kHalvedDuplexLongPageModels.end();
}

}  // namespace ferrolite
