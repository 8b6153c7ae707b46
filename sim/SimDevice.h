#pragma once
// The simulated scanner's device: the exchange machine on its endpoints (control request,
// bulk IN/OUT phases, status), scripted faults, the command log, the interrupt pipe and the
// attachment to the bus. One lock guards it all; only waits (interrupt reads, slow transfers)
// release it.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/usb/UsbHost.h"
#include "sim/SimCommands.h"
#include "sim/SimScanner.h"

namespace sim::detail {

using usbhost::UsbStatus;

class Device {
 public:
  explicit Device(const Config& config);

  // Test control.
  std::vector<Exchange> CommandLog() const;
  void ClearCommandLog();
  std::vector<std::string> Messages() const;
  void InjectFault(const Fault& fault);
  void ClearFaults();
  bool WaitHeld(uint32_t timeoutMs);
  void ReleaseHeld();
  bool WaitSilent(uint32_t timeoutMs);
  uint32_t ProtocolErrors() const;
  void AddSheetEvent(const SheetEvent& event);
  void ClearSheetEvents();
  void SetReserveAnswer(ReserveAnswer answer, uint32_t refusals);
  void SetReplyHook(ReplyHook hook);
  void PostButton(const ButtonPacket& packet);
  void Unplug();
  void Replug();
  bool Attached() const;
  Config config() const;
  uint32_t SheetsLeft() const;
  std::vector<uint8_t> NvramRecord() const;
  size_t BlockedTransfers() const;
  void SetCalibration(const CalibrationSetup& setup);
  void SetLamp(LampState state, uint32_t warmupReads);
  LampState Lamp() const;
  void SetBackground(uint32_t side, const Rgb& colour);
  void SetDocuments(const std::vector<SheetDocument>& documents);
  void SetInquiryPatches(const std::vector<InquiryPatch>& patches);
  PreparationRecord Prepared() const;
  void ClearPrepared();
  ScanRecord Scanned() const;
  void ClearScanned();
  void LoadSheets(uint32_t sheets);
  bool SheetInTransport() const;
  void TakeOutSheet();
  size_t PendingButtonPackets() const;
  void FailPipeStatus(bool fail);
  void NoteTimeout(uint32_t milliseconds);
  std::vector<uint32_t> TransferTimeouts() const;

  // Bus side: whether a search for these ids (0 = any) finds the device now, and the
  // attachment its objects belong to. A device that vanished by script comes back here.
  bool Search(uint16_t vendor, uint16_t product, uint64_t* attachment);
  static uint64_t NewToken();

  // Host objects: each passes the attachment it was found in and its own token.
  UsbStatus CheckAttached(uint64_t attachment) const;
  UsbStatus DeviceOpen(uint64_t attachment, uint64_t token);
  UsbStatus DeviceClose(uint64_t attachment, uint64_t token);
  UsbStatus SetConfiguration(uint64_t attachment, uint64_t token, uint8_t value);
  UsbStatus MayCreateInterface(uint64_t attachment, uint64_t token);
  UsbStatus Reset(uint64_t attachment, uint64_t token);
  UsbStatus InterfaceOpen(uint64_t attachment, uint64_t token);
  UsbStatus InterfaceClose(uint64_t attachment, uint64_t token);
  UsbStatus NumEndpoints(uint64_t attachment, uint8_t* count) const;
  UsbStatus PipeProperties(uint64_t attachment, uint8_t pipe, usbhost::PipeProperties* out) const;
  UsbStatus Control(uint64_t attachment, uint64_t token, usbhost::ControlRequest* request);
  UsbStatus BulkIn(uint64_t attachment, uint64_t token, uint8_t pipe, void* buffer, uint32_t* size);
  UsbStatus BulkOut(uint64_t attachment, uint64_t token, uint8_t pipe, const void* buffer,
                    uint32_t size);
  UsbStatus InterruptIn(uint64_t attachment, uint64_t token, uint8_t pipe, void* buffer,
                        uint32_t* size);
  UsbStatus PipeStatus(uint64_t attachment, uint64_t token, uint8_t pipe);
  UsbStatus ClearStall(uint64_t attachment, uint64_t token, uint8_t pipe);
  void FailInterruptReads(UsbStatus code, uint32_t count);
  uint32_t StallClears() const;
  UsbStatus Abort(uint64_t attachment, uint64_t token, uint8_t pipe);

 private:
  // What the scripted faults do to one exchange.
  struct Effects {
    bool wrongIdData = false;
    bool wrongIdStatus = false;
    int undefinedStatus = -1;
    bool checkCondition = false;
    Sense sense;
    uint32_t chunk = 0;
    uint32_t empties = 0;
    bool stall = false;
    uint32_t delayMs = 0;
    bool vanish = false;
    uint32_t searches = 0;
    bool failControl = false;
    bool hold = false;         // the command waits for the test
    bool silent = false;       // the device stops answering after the command
    bool reportSense = false;  // REQUEST SENSE answers reportedSense
    Sense reportedSense;
  };
  struct ScriptedFault {
    Fault fault;
    uint32_t seen = 0;
    uint32_t applied = 0;
  };
  // One stretch of bulk IN that the device has ready (a data reply or a status).
  struct Segment {
    std::vector<uint8_t> bytes;
    size_t pos = 0;
    uint64_t exchange = 0;
    bool isStatus = false;
    uint32_t chunk = 0;
    uint32_t empties = 0;
    bool stall = false;
  };
  // A command waiting for its bulk OUT data.
  struct AwaitingOut {
    bool active = false;
    Command command;
    const CommandSpec* spec = nullptr;
    Effects effects;
    uint64_t exchange = 0;
  };

  // The host object belongs to the device's present attachment.
  bool Current(uint64_t attachment) const { return attached_ && attachment == attachment_; }
  UsbStatus CheckInterface(uint64_t attachment, uint64_t token) const;
  Effects MatchFaults(const Command& command, Exchange& entry);
  void Finish(Command& command, const CommandSpec& spec, const Effects& effects, Reply& reply,
              uint64_t exchange);
  bool ExchangeOpen() const { return !in_.empty() || out_.active || silentExchange_ != 0; }
  void DropExchange();
  void Detach();
  UsbStatus Delay(std::unique_lock<std::mutex>& lock, uint64_t attachment, uint8_t pipe);
  UsbStatus SilentRead(std::unique_lock<std::mutex>& lock, uint64_t attachment, uint8_t pipe);
  uint64_t OpenExchange() const;
  Exchange* Find(uint64_t number);
  void Keep(Exchange& entry, std::vector<uint8_t>& log, const uint8_t* bytes, size_t n);
  void TrimLog();
  void Note(uint64_t exchange, const std::string& text);
  void Message(const std::string& text);

  mutable std::mutex m_;
  std::condition_variable cv_;
  DeviceState state_;
  std::string logPath_;  // VANTREL_SIM_LOG: the device log goes to this file as well
  bool attached_ = true;
  uint64_t attachment_ = 1;
  bool vanished_ = false;
  uint32_t searchesAway_ = 0;
  uint64_t deviceOwner_ = 0;
  uint64_t interfaceOwner_ = 0;
  bool configured_ = false;
  std::vector<ScriptedFault> faults_;
  ReplyHook replyHook_;
  std::vector<Exchange> log_;
  std::vector<std::string> messages_;
  uint64_t exchanges_ = 0;
  std::deque<Segment> in_;
  AwaitingOut out_;
  uint32_t delayMs_ = 0;  // the open exchange is slow
  bool pipeStatusFails_ = false;
  std::vector<uint32_t> timeouts_;
  std::deque<ButtonPacket> buttons_;
  uint64_t aborts_[3 + kMaxInterruptPipes] = {};       // per pipe reference: AbortPipe calls so far
  UsbStatus interruptFailure_ = usbhost::kUsbSuccess;  // what the next interrupt reads answer
  uint32_t interruptFailures_ = 0;
  bool interruptStalled_ = false;
  uint32_t stallClears_ = 0;
  // Pipes of the interface: the bulk pair, then the interrupt pipes; the last one gets buttons.
  uint8_t PipeCount() const {
    return uint8_t(2 + (state_.config.interruptPipe ? state_.config.interruptPipes : 0));
  }
  size_t blocked_ = 0;           // transfers waiting inside the device
  bool held_ = false;            // a Hold fault's command waits
  uint64_t silentExchange_ = 0;  // the exchange of a Silent fault's command, while open
  bool silentWaiting_ = false;   // a bulk IN read waits on it
  uint32_t timeoutMs_ = 0;       // the host's transfer time-out; 0 waits as long as it takes
  uint32_t protocolErrors_ = 0;
};

}  // namespace sim::detail
