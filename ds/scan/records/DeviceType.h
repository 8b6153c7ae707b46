#pragma once
// Bits of the device-type word: DeviceType of the ability record, ScanMethod of the older one.
#include <cstdint>

namespace ferrolite {

inline constexpr uint32_t kDeviceDuplex = 0x04;
inline constexpr uint32_t kDeviceFeeder10 = 0x10;
// A feeder; with kDeviceFlatbed as well, a feeder beside a flatbed, which the automatic source
// tries first.
inline constexpr uint32_t kDeviceFeeder = 0x20;
inline constexpr uint32_t kDeviceFeeder40 = 0x40;
inline constexpr uint32_t kDeviceFlatbed = 0x80;
// The bits that each name a feeder.
inline constexpr uint32_t kDeviceFeederKinds = kDeviceFeeder10 | kDeviceFeeder | kDeviceFeeder40;
// Any of the feeder's bits: a device that feeds sheets (and so takes long paper).
inline constexpr uint32_t kDeviceFeederBits = kDeviceDuplex | kDeviceFeederKinds;
static_assert(kDeviceFeederBits == 0x74);

// The one reading of the word that the data source and its dialog share: only the flatbed bit
// names a flatbed; a feeder bit, or a word without the flatbed bit, names a feeder.
constexpr bool deviceHasFlatbed(uint32_t type) { return (type & kDeviceFlatbed) != 0; }
constexpr bool deviceHasFeeder(uint32_t type) {
  return (type & kDeviceFeederKinds) != 0 || !deviceHasFlatbed(type);
}

}  // namespace ferrolite
