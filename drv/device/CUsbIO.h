#pragma once
// The USB transport: finds the scanners on the bus, opens one, carries the command layer's
// blocks (vendor control request, bulk data phase, 3-byte status) and watches the interrupt pipe
// for button packets.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "drv/device/IoObject.h"
#include "drv/platform/KrThread.h"
#include "platform/usb/UsbHost.h"

struct UsbDeviceHandle {
  std::unique_ptr<usbhost::UsbDevice> device;
  std::unique_ptr<usbhost::UsbInterface> intf;
  bool deviceOpen = false;
  bool interfaceOpen = false;
  uint8_t bulkIn = 0;
  uint8_t bulkOut = 0;
  uint8_t interruptIn = 0;
  uint32_t timeout = 0;  // the transfer time-out last handed to the interface
  // An exchange broke off after its command went out (a failed or aborted transfer): what the
  // device still sends of it is taken before the next command.
  bool outOfStep = false;
};

// The time-outs one exchange starts from, in milliseconds; 0 takes the transport's own. Each
// bulk transfer waits this plus the time its size takes at the slowest rate a scanner keeps.
struct UsbExchangeTimeouts {
  uint32_t in = 0;
  uint32_t out = 0;
};

class CUsbIO : public IoObject {
 public:
  CUsbIO();
  ~CUsbIO() override;

  static void GetDeviceList(KrDrvDeviceInformation** records, uint32_t* count);
  static IoObject* Create(const KrDrvDeviceInformation* record);

  bool InitializeDevice(const KrDrvDeviceInformation* info) override;
  bool TerminateDevice() override;
  bool CheckDevice() override;
  bool DoIo(uint8_t* block, void* data, uint32_t readLength, uint32_t writeLength) override;
  bool GetButtonStatus(uint8_t* buffer) override;
  void AbortTransfers() override;

  static bool DoSimpleIo(UsbDeviceHandle* handle, uint8_t* block, void* data, uint32_t readLength,
                         uint32_t writeLength);
  // Thread-safe: unknown codes are formatted into a per-thread buffer.
  static std::string GetSystemErrorString(usbhost::UsbStatus code);

  // A run of this many zero-byte bulk completions in a row fails the read.
  static constexpr int kMaxEmptyReads = 100;
  // The time-out of a transfer without data, and the bytes a millisecond the slowest scanner
  // sends.
  static constexpr uint32_t kBaseTimeoutMs = 30000;
  static constexpr uint32_t kSlowestBytesPerMs = 1000;
  // The time-out of a transfer of this many bytes from a base time-out (0: the transport's).
  static uint32_t TransferTimeout(uint32_t baseMs, uint32_t bytes);
  // Another base for the transport's own time-out (0: kBaseTimeoutMs), so that a test meets a
  // silent device in a moment.
  static void SetBaseTimeout(uint32_t milliseconds);
  // Inquiry data read during listing and opening never exceeds this.
  static constexpr uint32_t kInquiryBufferSize = 512;

 private:
  static UsbDeviceHandle* CreateUsbHandle(std::unique_ptr<usbhost::UsbDevice> dev);
  static bool OpenScsiInterface(UsbDeviceHandle* handle);
  static void CloseUsbHandle(UsbDeviceHandle* handle);
  static bool ReadInquiry(UsbDeviceHandle* handle, uint8_t* buffer, uint32_t* length);
  static void FillFromInquiry(KrDrvDeviceInformation* record, const uint8_t* inquiry,
                              uint32_t length);
  static void* ButtonReaderThread(void* arg);
  void StopButtonThread();

  UsbDeviceHandle* m_handle = nullptr;

  // Button path: the reader thread writes the latest packet, GetButtonStatus takes it.
  std::mutex m_buttonControl;  // starting and stopping the reader, opening and closing
  std::mutex m_buttonMutex;
  std::condition_variable m_buttonCond;
  uint8_t m_buttonBuffer[8] = {};
  KrThread m_buttonThread{};
  bool m_buttonThreadStarted = false;
  bool m_buttonThreadEnded = false;
  std::atomic<bool> m_buttonStop{false};
};
