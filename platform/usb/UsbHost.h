#pragma once
// Our USB host layer: the operations the driver's USB transport relies on (device search by
// vendor/product id, device and interface open/close, configuration, pipe properties, vendor
// control requests, bulk reads and writes, pipe status and abort, interrupt reads, reset, speed).
// Two back ends: libusb-1.0 for real scanners, and the simulated bus of sim/.
// Results are UsbStatus values. Their numbers are those the transport's error texts name
// ("kIOReturnNoDevice" and the like), so its log lines read as expected.
#include <cstdint>
#include <memory>
#include <vector>

namespace usbhost {

using UsbStatus = uint32_t;
constexpr UsbStatus kUsbSuccess = 0;
constexpr UsbStatus kUsbError = 0xE00002BC;  // general error
constexpr UsbStatus kUsbNoMemory = 0xE00002BD;
constexpr UsbStatus kUsbNoResources = 0xE00002BE;
constexpr UsbStatus kUsbBadArgument = 0xE00002C2;
constexpr UsbStatus kUsbExclusiveAccess = 0xE00002C5;
constexpr UsbStatus kUsbUnsupported = 0xE00002C7;
constexpr UsbStatus kUsbNoDevice = 0xE00002C0;  // device is gone
constexpr UsbStatus kUsbNotOpen = 0xE00002CD;
constexpr UsbStatus kUsbNotFound = 0xE00002F0;
constexpr UsbStatus kUsbNotPermitted = 0xE00002E2;
constexpr UsbStatus kUsbIoError = 0xE00002CA;  // general I/O error
constexpr UsbStatus kUsbNotResponding = 0xE00002ED;
constexpr UsbStatus kUsbTimeout = 0xE00002D6;
constexpr UsbStatus kUsbAborted = 0xE00002EB;  // transfer aborted (AbortPipe)
constexpr UsbStatus kUsbOverrun = 0xE00002E8;
constexpr UsbStatus kUsbUnderrun = 0xE00002E7;
constexpr UsbStatus kUsbPipeStalled = 0xE000404F;

enum class Speed : uint8_t { Low = 0, Full = 1, High = 2, Super = 3, Unknown = 0xFF };
enum class Direction : uint8_t { Out = 0, In = 1 };
enum class TransferType : uint8_t { Control = 0, Isochronous = 1, Bulk = 2, Interrupt = 3 };

struct PipeProperties {
  Direction direction = Direction::Out;
  uint8_t number = 0;  // endpoint number without the direction bit
  TransferType transferType = TransferType::Control;
  uint16_t maxPacketSize = 0;
  uint8_t interval = 0;
};

struct ControlRequest {
  uint8_t bmRequestType = 0;
  uint8_t bRequest = 0;
  uint16_t wValue = 0;
  uint16_t wIndex = 0;
  uint16_t wLength = 0;
  void* data = nullptr;   // wLength bytes
  uint32_t wLenDone = 0;  // out: bytes transferred
};

// The first interface of an opened device (pipe references run 1..GetNumEndpoints, in
// descriptor order; pipe 0 is the default control pipe).
class UsbInterface {
 public:
  virtual ~UsbInterface() = default;
  virtual UsbStatus Open() = 0;  // claim the interface
  // Transfers still pending end with kUsbAborted; later ones fail with kUsbNotOpen.
  virtual UsbStatus Close() = 0;
  virtual UsbStatus GetNumEndpoints(uint8_t* count) = 0;
  virtual UsbStatus GetPipeProperties(uint8_t pipeRef, PipeProperties* props) = 0;
  virtual UsbStatus DeviceRequest(ControlRequest* request) = 0;  // on the default pipe
  // Reads up to *size bytes; on return *size holds what arrived, which may be fewer
  // (including 0) without an error. Callers loop for the rest.
  virtual UsbStatus ReadPipe(uint8_t pipeRef, void* buffer, uint32_t* size) = 0;
  virtual UsbStatus WritePipe(uint8_t pipeRef, const void* buffer, uint32_t size) = 0;
  virtual UsbStatus GetPipeStatus(uint8_t pipeRef) = 0;
  // Clears a stalled pipe's halt (host and device side), so the next transfer can run.
  virtual UsbStatus ClearPipeStall(uint8_t /*pipeRef*/) { return kUsbUnsupported; }
  // Aborts transfers pending on the pipe: they complete with kUsbAborted. Safe to call
  // from another thread than the one blocked in the transfer. A transfer that starts after the
  // call runs normally, so a reader thread that is between two
  // reads misses it; Close ends such a reader for good.
  virtual UsbStatus AbortPipe(uint8_t pipeRef) = 0;
  // Blocks until a packet arrives on an interrupt pipe, the pipe is aborted
  // (kUsbAborted) or the device fails. *size in: buffer size; out: packet length.
  virtual UsbStatus ReadInterruptPipe(uint8_t pipeRef, void* buffer, uint32_t* size) = 0;
  // Optional time-outs for bulk and control transfers, in milliseconds; 0 (the default)
  // waits as long as the device takes.
  virtual void SetTransferTimeout(uint32_t milliseconds) = 0;
};

// A device found by a search; open it to talk to it.
class UsbDevice {
 public:
  virtual ~UsbDevice() = default;
  virtual UsbStatus GetDeviceVendor(uint16_t* vendor) = 0;
  virtual UsbStatus GetDeviceProduct(uint16_t* product) = 0;
  virtual UsbStatus GetDeviceSpeed(Speed* speed) = 0;
  virtual UsbStatus GetNumberOfConfigurations(uint8_t* count) = 0;
  // bConfigurationValue of configuration descriptor `index`.
  virtual UsbStatus GetConfigurationValue(uint8_t index, uint8_t* value) = 0;
  virtual UsbStatus OpenDevice() = 0;  // exclusive
  virtual UsbStatus CloseDevice() = 0;
  virtual UsbStatus SetConfiguration(uint8_t value) = 0;
  // The device's first interface (any class, subclass, protocol, alternate setting).
  virtual UsbStatus CreateInterface(std::unique_ptr<UsbInterface>* out) = 0;
  virtual UsbStatus ResetDevice() = 0;  // only valid while this object has it open
  // Where the device sits on the bus, as one number: the bus in the top byte, then one nibble per
  // port from the root hub down (0x14320000: bus 0x14, port 3, then port 2 of that hub). The
  // Image Capture module finds its scanner by it.
  virtual UsbStatus GetLocationID(uint32_t* location) {
    *location = 0;
    return kUsbUnsupported;
  }
};

// Whether a device with these ids answers a search for the wanted ones; 0 matches any id.
inline bool MatchesIds(uint16_t wantedVendor, uint16_t wantedProduct, uint16_t vendor,
                       uint16_t product) {
  return (wantedVendor == 0 || wantedVendor == vendor) &&
         (wantedProduct == 0 || wantedProduct == product);
}

class UsbBus {
 public:
  virtual ~UsbBus() = default;
  // Devices on the bus matching the ids (MatchesIds).
  virtual UsbStatus FindDevices(uint16_t vendor, uint16_t product,
                                std::vector<std::unique_ptr<UsbDevice>>* out) = 0;
  // Lets go of what the bus set up for its searches (a library context and its threads) once no
  // device object holds it; the next search sets it up again.
  virtual void Release() {}
};

// The process's bus: the simulator named by VANTREL_SIMULATOR when set, else libusb.
// Chosen on first use.
UsbBus& Host();
// Tests and tools can install a bus of their own (nullptr goes back to the default choice).
// The caller keeps ownership.
void InstallHost(UsbBus* bus);

// Releases the default bus (an installed one stays as its owner left it): the driver calls it
// when it ends, so that nothing of the bus runs on while the driver's library is unloaded.
void ReleaseHost();

// Why the default choice has no devices when it could not be set up (for example the
// simulator named by VANTREL_SIMULATOR failed to load); empty when all is well.
const char* HostError();

// Texts for speed, as the transport shows them: "USB 1.1", "USB 2.0", "USB".
const char* SpeedText(Speed speed);

}  // namespace usbhost
