#include "platform/usb/UsbRegistry.h"

#include <memory>

namespace usbhost {

namespace {
constexpr int kBusShift = 24;
constexpr int kMaxPortsInLocation = 6;  // one nibble each below the bus byte
constexpr uint8_t kLargestPortNibble = 0x0F;
}  // namespace

uint32_t LocationIDFromPath(uint8_t bus, const uint8_t* ports, int depth) {
  uint32_t location = uint32_t(bus) << kBusShift;
  for (int i = 0; i < depth && i < kMaxPortsInLocation; ++i) {
    uint8_t port = ports[i] > kLargestPortNibble ? kLargestPortNibble : ports[i];
    location |= uint32_t(port) << (kBusShift - 4 * (i + 1));
  }
  return location;
}

UsbStatus ListRegistry(std::vector<RegistryEntry>* out) {
  out->clear();
  std::vector<std::unique_ptr<UsbDevice>> devices;
  UsbStatus rc = Host().FindDevices(0, 0, &devices);
  if (rc != kUsbSuccess && devices.empty()) return rc;
  for (const auto& device : devices) {
    RegistryEntry entry;
    if (device->GetLocationID(&entry.locationID) != kUsbSuccess) continue;
    if (device->GetDeviceVendor(&entry.idVendor) != kUsbSuccess) continue;
    if (device->GetDeviceProduct(&entry.idProduct) != kUsbSuccess) continue;
    out->push_back(entry);
  }
  return kUsbSuccess;
}

bool DeviceIdsByLocationID(uint32_t locationID, uint16_t* idVendor, uint16_t* idProduct) {
  std::vector<RegistryEntry> entries;
  if (ListRegistry(&entries) != kUsbSuccess) return false;
  for (const RegistryEntry& entry : entries) {
    if (entry.locationID != locationID) continue;
    *idVendor = entry.idVendor;
    *idProduct = entry.idProduct;
    return true;
  }
  return false;
}

}  // namespace usbhost
