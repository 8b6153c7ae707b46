#include "ds/scan/scanner/UsbIO.h"

#include <vector>

#include "platform/usb/UsbRegistry.h"

namespace ferrolite {

bool UsbIO::GetDeviceList(DEVICE* list, uint32_t* count) {
  *count = 0;
  std::vector<usbhost::RegistryEntry> devices;
  if (usbhost::ListRegistry(&devices) != usbhost::kUsbSuccess) return false;
  uint32_t seen = 0;
  for (const usbhost::RegistryEntry& device : devices) {
    if (++seen > kMaxDevicesSeen || *count >= kMaxEntries) break;
    list[(*count)++] = {device.idVendor, device.idProduct, device.locationID};
  }
  return true;
}

}  // namespace ferrolite
