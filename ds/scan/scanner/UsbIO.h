#pragma once
// The USB devices plugged in, so that the data source can tell which supported scanner is there.
#include <cstdint>

namespace ferrolite {

// One device: its ids and where it sits (the USB registry's location id).
struct DEVICE {
  uint16_t VendorID;
  uint16_t ProductID;
  uint32_t LocationID;
};
static_assert(sizeof(DEVICE) == 8, "a DEVICE entry is 8 bytes");

class UsbIO {
 public:
  // Devices looked at and entries kept, at most.
  static constexpr uint32_t kMaxDevicesSeen = 265;
  static constexpr uint32_t kMaxEntries = 255;

  UsbIO() = default;
  bool Init() { return true; }
  // `list` takes up to kMaxEntries entries; `count` gets their number. False when the bus
  // cannot be searched.
  bool GetDeviceList(DEVICE* list, uint32_t* count);
};

}  // namespace ferrolite
