#pragma once
// The device item's gamma store: two heads (1 front, 2 rear) of four tables (filters 0 to 3),
// each table L bytes, one or two bytes an entry as the device's inquiry data says.
#include <cstdint>

#include "drv/device/CScannerManager.h"

constexpr uint32_t kGammaFilters = 4;
constexpr uint32_t kGammaHeads = 2;

// L: the bytes of one table (0 while the device has no store).
inline uint32_t GammaTableLength(const CScannerManagerScannerItem* item) {
  return item->pGammaTable != nullptr ? item->wGammaLength / kGammaFilters : 0;
}

// Bytes per entry the device takes: two when the high nibble of inquiry byte 120 is 1.
inline uint32_t GammaEntryWidth(const uint8_t* inquiry) { return (inquiry[120] >> 4) == 1 ? 2 : 1; }

// Table `index` counted in tables of L bytes: 0 to 3 head 1's filters, 4 to 7 head 2's.
inline uint8_t* GammaTableAt(CScannerManagerScannerItem* item, uint32_t index) {
  return item->pGammaTable + index * GammaTableLength(item);
}

// The table of a filter (0 to 3) and a head (1 or 2).
inline uint8_t* GammaTable(CScannerManagerScannerItem* item, uint32_t filter, uint32_t head) {
  return GammaTableAt(item, (head - 1) * kGammaFilters + filter);
}
