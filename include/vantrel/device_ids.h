#pragma once
// USB identity of the supported scanner model. Placeholder ids of this project (not any real
// scanner's): shared by the device table, the simulated scanner and the front ends' device list.
#include <cstdint>

namespace vantrel {
constexpr uint16_t kSupportedVendorId = 0xF11E;
constexpr uint16_t kSupportedProductId = 0x0310;
}  // namespace vantrel
