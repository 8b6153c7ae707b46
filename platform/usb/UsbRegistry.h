#pragma once
// The USB registry as the Image Capture module reads it: every device on the process's bus with
// its location id and its vendor and product ids, and the search of one device by location id.
#include <cstdint>
#include <vector>

#include "platform/usb/UsbHost.h"

namespace usbhost {

struct RegistryEntry {
  uint32_t locationID = 0;
  uint16_t idVendor = 0;
  uint16_t idProduct = 0;
};

// A location id from a bus number and the port path from the root hub (at most six ports are
// kept; a port above 15 is kept as 15).
uint32_t LocationIDFromPath(uint8_t bus, const uint8_t* ports, int depth);

// Every device of Host(), in the bus's order. Devices whose ids cannot be read are left out.
UsbStatus ListRegistry(std::vector<RegistryEntry>* out);

// The ids of the first device at `locationID`; false (ids untouched) when no device is there or
// the bus cannot be searched.
bool DeviceIdsByLocationID(uint32_t locationID, uint16_t* idVendor, uint16_t* idProduct);

}  // namespace usbhost
