#pragma once
// An in-process USB bus of scripted scanners for the device layer's tests: each device speaks
// the command protocol from the device's side (command block, data phase, 3-byte status with
// the controller id, sense data on REQUEST SENSE, 8-byte button packets) and takes faults.
#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/usb/UsbHost.h"

namespace fake {

using Block = std::array<uint8_t, 12>;
using Sense = std::array<uint8_t, 44>;

Sense MakeSense(uint8_t senseKey, uint16_t code, uint32_t information = 0,
                uint8_t responseCode = 0x70);

// A fault for the next command with the given opcode (0 = any command).
struct Fault {
  uint8_t opcode = 0;
  uint8_t statusByte = 0;          // 2 = check condition
  bool wrongStatusId = false;
  bool wrongDataId = false;
  bool failControl = false;        // the command's control transfer fails
  bool hasSense = false;           // sense to report on the REQUEST SENSE that follows
  Sense sense{};
  uint32_t zeroReads = 0;          // empty bulk completions before the data
};

class Scanner {
 public:
  Scanner(uint16_t vendor, uint16_t product, std::string serial);

  // Configuration (before the driver opens the device).
  uint16_t vendor, product;
  std::string serial;
  bool bulkIn = true, bulkOut = true, interruptIn = true;
  bool failInquiry = false;                // the listing's INQUIRY gets an undefined status
  bool pipeStatusFails = false;            // the bulk OUT pipe status fails while attached

  // Inquiry data as the device reports it (id in bytes 0-1 is filled per reply).
  std::vector<uint8_t> inquiry;

  void Unplug();
  void Replug();
  bool Present();
  void Push(const Fault& fault);
  // The condition the next REQUEST SENSE reports (after it: no condition).
  void SetSense(const Sense& sense);
  void PushButton(const std::array<uint8_t, 8>& packet);
  std::vector<Block> Commands();
  size_t CountOpcode(uint8_t opcode);
  void ClearCommands();
  int Resets();
  // Command blocks that arrived while an earlier exchange still had bytes to move.
  int Overlaps();
  // Transfer time-outs the host set, in order of change.
  std::vector<uint32_t> Timeouts();
  void NoteTimeout(uint32_t ms);

  // Device side of the bus (called by the fake interface).
  uint32_t Control(const uint8_t* block);
  uint32_t Read(void* buffer, uint32_t* size);
  uint32_t Write(const void* buffer, uint32_t size);
  uint32_t ReadInterrupt(void* buffer, uint32_t* size);
  void AbortInterrupt();
  void Reset();

 private:
  void Reply(const uint8_t* block);
  std::mutex m_;
  std::condition_variable cv_;
  bool present_ = true;
  bool interruptAborted_ = false;
  int resets_ = 0;
  int overlaps_ = 0;
  std::vector<uint32_t> timeouts_;
  std::deque<uint8_t> in_;
  uint32_t zeroReads_ = 0;
  uint32_t expectOut_ = 0;
  uint8_t pendingStatus_[3] = {};
  std::deque<Fault> faults_;
  Sense sense_{};
  bool senseFromFault_ = false;
  std::vector<Block> commands_;
  std::deque<std::array<uint8_t, 8>> buttons_;
};

class Bus : public usbhost::UsbBus {
 public:
  std::shared_ptr<Scanner> Add(uint16_t vendor, uint16_t product, const std::string& serial);
  usbhost::IOReturn FindDevices(uint16_t vendor, uint16_t product,
                                std::vector<std::unique_ptr<usbhost::UsbDevice>>* out) override;
  std::vector<std::shared_ptr<Scanner>> scanners;
};

// Installs a fresh bus for one test and removes it afterwards.
struct InstalledBus {
  InstalledBus();
  ~InstalledBus();
  Bus bus;
};

}  // namespace fake
