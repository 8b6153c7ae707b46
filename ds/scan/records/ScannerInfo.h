#pragma once
// What the data source knows of the open scanner for the dialog's information page: names and
// versions as texts, then the counters. Natural alignment; the texts are SharedText handles, so
// a copy (the dialog keeps one) retains them.
#include <cstddef>
#include <cstdint>

#include "ds/scan/records/SharedText.h"

namespace ferrolite {

struct ScannerInfo {
  SharedText modelName;
  SharedText serialNumber;
  SharedText driverVersion;
  SharedText ioVersion;
  SharedText fwVersion;
  SharedText bornDate;
  SharedText firstScan;
  uint32_t adfPadCount{};
  uint32_t adfRollerCount{};
  uint32_t adfScanCount{};
  uint32_t multifeedCount{};
  uint32_t jamCount{};
  uint32_t flatbedScanCount{};
  uint32_t usbID{};  // vendor id in the high 16 bits, product id in the low 16
};

static_assert(sizeof(ScannerInfo) == 88, "ScannerInfo is 88 bytes");
static_assert(offsetof(ScannerInfo, firstScan) == 48);
static_assert(offsetof(ScannerInfo, adfPadCount) == 56);
static_assert(offsetof(ScannerInfo, flatbedScanCount) == 76);
static_assert(offsetof(ScannerInfo, usbID) == 80);

}  // namespace ferrolite
