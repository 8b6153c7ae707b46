#pragma once
// The libusb-1.0 back end of the host layer (real scanners). Only the host layer includes this.
#include "platform/usb/UsbHost.h"

namespace usbhost::libusb {

// libusb's error codes (LIBUSB_ERROR_*) and transfer states (LIBUSB_TRANSFER_*) as the
// platform return codes the transport knows.
UsbStatus MapError(int libusbError);
UsbStatus MapTransferStatus(int transferStatus);
// libusb's enum libusb_speed to ours.
Speed MapSpeed(int libusbSpeed);

// The process's libusb bus. Creating the libusb context is deferred to the first search, so a
// machine without USB access only sees an error there.
UsbBus& Bus();

}  // namespace usbhost::libusb
