#pragma once
// Our USB host layer: the operations the driver's USB transport relies on (device search by
// vendor/product id, device and interface open/close, configuration, pipe properties, vendor
// control requests, bulk reads and writes, pipe status and abort, interrupt reads, reset, speed).
// Two back ends: libusb-1.0 for real scanners, and the simulated bus of sim/.
// Results are IOReturn values; the codes the transport names keep the platform's numbers so its
// log texts come out as expected.
#include <cstdint>
#include <memory>
#include <vector>

namespace usbhost {

using IOReturn = uint32_t;
constexpr IOReturn kIOReturnSuccess = 0;
constexpr IOReturn kIOReturnError = 0xE00002BC;  // general error
constexpr IOReturn kIOReturnNoMemory = 0xE00002BD;
constexpr IOReturn kIOReturnNoResources = 0xE00002BE;
constexpr IOReturn kIOReturnBadArgument = 0xE00002C2;
constexpr IOReturn kIOReturnExclusiveAccess = 0xE00002C5;
constexpr IOReturn kIOReturnUnsupported = 0xE00002C7;
constexpr IOReturn kIOReturnNoDevice = 0xE00002C0;  // device is gone
constexpr IOReturn kIOReturnNotOpen = 0xE00002CD;
constexpr IOReturn kIOReturnNotFound = 0xE00002F0;
constexpr IOReturn kIOReturnNotPermitted = 0xE00002E2;
constexpr IOReturn kIOReturnIOError = 0xE00002CA;  // general I/O error
constexpr IOReturn kIOReturnNotResponding = 0xE00002ED;
constexpr IOReturn kIOReturnTimeout = 0xE00002D6;
constexpr IOReturn kIOReturnAborted = 0xE00002EB;  // transfer aborted (AbortPipe)
constexpr IOReturn kIOReturnOverrun = 0xE00002E8;
constexpr IOReturn kIOReturnUnderrun = 0xE00002E7;
constexpr IOReturn kIOUSBPipeStalled = 0xE000404F;

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
  virtual IOReturn Open() = 0;  // claim the interface
  // Transfers still pending end with kIOReturnAborted; later ones fail with kIOReturnNotOpen.
  virtual IOReturn Close() = 0;
  virtual IOReturn GetNumEndpoints(uint8_t* count) = 0;
  virtual IOReturn GetPipeProperties(uint8_t pipeRef, PipeProperties* props) = 0;
  virtual IOReturn DeviceRequest(ControlRequest* request) = 0;  // on the default pipe
  // Reads up to *size bytes; on return *size holds what arrived, which may be fewer
  // (including 0) without an error. Callers loop for the rest.
  virtual IOReturn ReadPipe(uint8_t pipeRef, void* buffer, uint32_t* size) = 0;
  virtual IOReturn WritePipe(uint8_t pipeRef, const void* buffer, uint32_t size) = 0;
  virtual IOReturn GetPipeStatus(uint8_t pipeRef) = 0;
  // Aborts transfers pending on the pipe: they complete with kIOReturnAborted. Safe to call
  // from another thread than the one blocked in the transfer. A transfer that starts after the
  // call runs normally, so a reader thread that is between two
  // reads misses it; Close ends such a reader for good.
  virtual IOReturn AbortPipe(uint8_t pipeRef) = 0;
  // Blocks until a packet arrives on an interrupt pipe, the pipe is aborted
  // (kIOReturnAborted) or the device fails. *size in: buffer size; out: packet length.
  virtual IOReturn ReadInterruptPipe(uint8_t pipeRef, void* buffer, uint32_t* size) = 0;
  // Optional time-outs for bulk and control transfers, in milliseconds; 0 (the default)
  // waits as long as the device takes.
  virtual void SetTransferTimeout(uint32_t milliseconds) = 0;
};

// A device found by a search; open it to talk to it.
class UsbDevice {
 public:
  virtual ~UsbDevice() = default;
  virtual IOReturn GetDeviceVendor(uint16_t* vendor) = 0;
  virtual IOReturn GetDeviceProduct(uint16_t* product) = 0;
  virtual IOReturn GetDeviceSpeed(Speed* speed) = 0;
  virtual IOReturn GetNumberOfConfigurations(uint8_t* count) = 0;
  // bConfigurationValue of configuration descriptor `index`.
  virtual IOReturn GetConfigurationValue(uint8_t index, uint8_t* value) = 0;
  virtual IOReturn USBDeviceOpen() = 0;  // exclusive
  virtual IOReturn USBDeviceClose() = 0;
  virtual IOReturn SetConfiguration(uint8_t value) = 0;
  // The device's first interface (any class, subclass, protocol, alternate setting).
  virtual IOReturn CreateInterface(std::unique_ptr<UsbInterface>* out) = 0;
  virtual IOReturn ResetDevice() = 0;  // only valid while this object has it open
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
  virtual IOReturn FindDevices(uint16_t vendor, uint16_t product,
                               std::vector<std::unique_ptr<UsbDevice>>* out) = 0;
};

// The process's bus: the simulator named by VANTREL_SIMULATOR when set, else libusb.
// Chosen on first use.
UsbBus& Host();
// Tests and tools can install a bus of their own (nullptr goes back to the default choice).
// The caller keeps ownership.
void InstallHost(UsbBus* bus);

// Why the default choice has no devices when it could not be set up (for example the
// simulator named by VANTREL_SIMULATOR failed to load); empty when all is well.
const char* HostError();

// Texts for speed, as the transport shows them: "USB 1.1", "USB 2.0", "USB".
const char* SpeedText(Speed speed);

}  // namespace usbhost
