#pragma once
// The per-model id tables of the data source, keyed by `vidpid` (vendor id << 16 | product id):
// the power-limited (manual-feeder) models, the wear lives, the feeder minimum overrides, the
// product-line model and the two models whose long pages are checked before a scan. One table
// in the code; a test replaces it before it makes the data-source object, which reads it once.
#include <cstdint>
#include <vector>

namespace ferrolite {

// The supported model's USB ids.
inline constexpr uint16_t kSupportedVendorId = 0xF11E;
inline constexpr uint16_t kSupportedProductId = 0x0310;
inline constexpr uint32_t kSupportedVidPid =
    uint32_t{kSupportedVendorId} << 16 | kSupportedProductId;

struct ModelLife {
  uint32_t id;
  uint32_t padLife;
  uint32_t rollerLife;
};

struct FeederMinimum {
  uint32_t id;
  uint16_t width;  // 1/300 inch
  uint16_t length;
};

struct ModelTable {
  std::vector<uint32_t> sdUsbList;  // power-off limited, manual feeder
  std::vector<ModelLife> maxLifeList;
  std::vector<FeederMinimum> feederMinimums;
  uint32_t productLineModel = 0;  // its window title shows the series name
  std::vector<uint32_t> longPageCheckModels;

  bool isSdUsb(uint32_t vidpid) const;
  const ModelLife* life(uint32_t vidpid) const;
  const FeederMinimum* feederMinimum(uint32_t vidpid) const;
  bool checksLongPage(uint32_t vidpid) const;
};

// The table in force: the built-in one unless a test replaced it.
const ModelTable& modelTable();
// Replaces the table (nullptr: the built-in one again). Not thread-safe: set it before making
// the data-source object.
void replaceModelTable(const ModelTable* table);

}  // namespace ferrolite
