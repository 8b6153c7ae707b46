#include "sim/SimDevice.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim::detail {

using namespace usbhost;

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

std::string Describe(const Fault& f) {
  std::string text = std::string("fault ") + FaultName(f.kind);
  switch (f.kind) {
    case FaultKind::UndefinedStatus:
      text += Format(" status=%u", f.statusByte);
      break;
    case FaultKind::CheckCondition:
    case FaultKind::Sense:
      text += Format(" key=%u asc=0x%02X ascq=0x%02X info=%u", f.senseKey, f.asc, f.ascq,
                     f.information);
      if (f.responseCode != 0x70) text += Format(" response=0x%02X", f.responseCode);
      break;
    case FaultKind::ShortBulk:
      text += Format(" chunk=%u", f.chunk);
      break;
    case FaultKind::EmptyCompletions:
      text += Format(" empties=%u", f.empties);
      break;
    case FaultKind::Slow:
      text += Format(" delay-ms=%u", f.delayMs);
      break;
    case FaultKind::Vanish:
      text += Format(" searches=%u", f.searches);
      break;
    default:
      break;
  }
  return text;
}

Sense FaultSense(const Fault& f) {
  Sense s;
  s.key = f.senseKey;
  s.asc = f.asc;
  s.ascq = f.ascq;
  s.information = f.information;
  s.responseCode = f.responseCode;
  return s;
}

// The longest data reply the device builds (a READ length comes from the host's block).
constexpr uint32_t kMaxReply = 64u << 20;

// As much of the id as the reply holds (a one-byte reply carries its high byte).
void PutId(std::vector<uint8_t>& bytes, uint16_t id) {
  if (bytes.size() >= 1) bytes[0] = uint8_t(id >> 8);
  if (bytes.size() >= 2) bytes[1] = uint8_t(id);
}

}  // namespace

Device::Device(const Config& config) {
  state_.config = config;
  state_.sheets = config.sheets;
  state_.nvram = BuildNvram(config);
  state_.preparation = InitialPreparation(config);
  state_.scan = InitialScan(config);
  state_.events = InitialEvents(config);
  for (const auto& f : config.faults) faults_.push_back({f});
  if (config.interruptPipe) buttons_.assign(config.buttons.begin(), config.buttons.end());
  if (const char* path = std::getenv("VANTREL_SIM_LOG")) logPath_ = path;
}

uint64_t Device::NewToken() {
  static std::atomic<uint64_t> next{1};
  return next++;
}

// ---- test control ---------------------------------------------------------------------------

std::vector<Exchange> Device::CommandLog() const {
  std::lock_guard lock(m_);
  return log_;
}

void Device::ClearCommandLog() {
  std::lock_guard lock(m_);
  log_.clear();
}

std::vector<std::string> Device::Messages() const {
  std::lock_guard lock(m_);
  return messages_;
}

void Device::InjectFault(const Fault& fault) {
  std::lock_guard lock(m_);
  faults_.push_back({fault});
}

void Device::ClearFaults() {
  std::lock_guard lock(m_);
  faults_.clear();
}

bool Device::WaitHeld(uint32_t timeoutMs) {
  std::unique_lock lock(m_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return held_; });
}

void Device::ReleaseHeld() {
  std::lock_guard lock(m_);
  held_ = false;
  cv_.notify_all();
}

bool Device::WaitSilent(uint32_t timeoutMs) {
  std::unique_lock lock(m_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return silentWaiting_; });
}

uint32_t Device::ProtocolErrors() const {
  std::lock_guard lock(m_);
  return protocolErrors_;
}

void Device::AddSheetEvent(const SheetEvent& event) {
  std::lock_guard lock(m_);
  state_.events.pending.push_back(event);
}

void Device::ClearSheetEvents() {
  std::lock_guard lock(m_);
  state_.events.pending.clear();
  state_.events.mediaCheckMultiFeed = false;
}

void Device::SetReserveAnswer(ReserveAnswer answer, uint32_t refusals) {
  std::lock_guard lock(m_);
  state_.events.reserve = answer;
  state_.events.reserveRefusalsLeft = refusals;
}

void Device::SetReplyHook(ReplyHook hook) {
  std::lock_guard lock(m_);
  replyHook_ = std::move(hook);
}

void Device::PostButton(const ButtonPacket& packet) {
  std::lock_guard lock(m_);
  if (!state_.config.interruptPipe) {
    Message("button packet dropped: the device has no interrupt pipe");
    return;
  }
  buttons_.push_back(packet);
  cv_.notify_all();
}

void Device::Unplug() {
  std::lock_guard lock(m_);
  if (!attached_) return;
  vanished_ = false;
  Detach();
  // What a stream of sheets carried into the next one goes with the power.
  state_.scan.carried = 0;
  Message("unplugged");
}

void Device::Replug() {
  std::lock_guard lock(m_);
  vanished_ = false;
  if (attached_) return;
  attached_ = true;
  Message("plugged in again");
}

bool Device::Attached() const {
  std::lock_guard lock(m_);
  return attached_;
}

Config Device::config() const {
  std::lock_guard lock(m_);
  Config c = state_.config;
  c.faults.clear();
  for (const auto& f : faults_) c.faults.push_back(f.fault);
  return c;
}

std::vector<uint8_t> Device::NvramRecord() const {
  std::lock_guard lock(m_);
  return state_.nvram;
}

uint32_t Device::SheetsLeft() const {
  std::lock_guard lock(m_);
  return state_.sheets;
}

void Device::SetCalibration(const CalibrationSetup& setup) {
  std::lock_guard lock(m_);
  state_.preparation.calibration = setup;
}

void Device::SetLamp(LampState state, uint32_t warmupReads) {
  std::lock_guard lock(m_);
  detail::SetLamp(state_.preparation, state, warmupReads);
}

LampState Device::Lamp() const {
  std::lock_guard lock(m_);
  return state_.preparation.lamp;
}

void Device::SetBackground(uint32_t side, const Rgb& colour) {
  std::lock_guard lock(m_);
  state_.preparation.background[side & 1] = colour;
}

void Device::SetDocuments(const std::vector<SheetDocument>& documents) {
  std::lock_guard lock(m_);
  state_.config.documents = documents;
}

void Device::SetInquiryPatches(const std::vector<InquiryPatch>& patches) {
  std::lock_guard lock(m_);
  state_.config.inquiryPatches = patches;
}

PreparationRecord Device::Prepared() const {
  std::lock_guard lock(m_);
  return state_.preparation.record;
}

void Device::ClearPrepared() {
  std::lock_guard lock(m_);
  state_.preparation.record = PreparationRecord{};
}

ScanRecord Device::Scanned() const {
  std::lock_guard lock(m_);
  return state_.scan.record;
}

void Device::ClearScanned() {
  std::lock_guard lock(m_);
  state_.scan.record = ScanRecord{};
}

void Device::LoadSheets(uint32_t sheets) {
  std::lock_guard lock(m_);
  state_.sheets = sheets;
}

bool Device::SheetInTransport() const {
  std::lock_guard lock(m_);
  return state_.scan.pageOpen;
}

void Device::TakeOutSheet() {
  std::lock_guard lock(m_);
  if (!state_.scan.pageOpen) return;
  state_.scan.pageOpen = false;
  state_.scan.carried = 0;
  if (state_.sheets > 0) --state_.sheets;
  ++state_.scan.sheetsTaken;
}

size_t Device::BlockedTransfers() const {
  std::lock_guard lock(m_);
  return blocked_;
}

size_t Device::PendingButtonPackets() const {
  std::lock_guard lock(m_);
  return buttons_.size();
}

// ---- attachment -----------------------------------------------------------------------------

void Device::Detach() {
  attached_ = false;
  ++attachment_;  // every object of the old attachment now sees "no device"
  deviceOwner_ = interfaceOwner_ = 0;
  configured_ = false;
  DropExchange();
  buttons_.clear();
  cv_.notify_all();
}

bool Device::Search(uint16_t vendor, uint16_t product, uint64_t* attachment) {
  std::lock_guard lock(m_);
  if (!attached_ && vanished_) {
    if (searchesAway_ > 0) {
      --searchesAway_;
      return false;
    }
    vanished_ = false;
    attached_ = true;
    Message("back on the bus");
  }
  if (!attached_) return false;
  if (!usbhost::MatchesIds(vendor, product, state_.config.vendorId, state_.config.productId))
    return false;
  *attachment = attachment_;
  return true;
}

UsbStatus Device::CheckAttached(uint64_t attachment) const {
  std::lock_guard lock(m_);
  return Current(attachment) ? kUsbSuccess : kUsbNoDevice;
}

UsbStatus Device::CheckInterface(uint64_t attachment, uint64_t token) const {
  if (!Current(attachment)) return kUsbNoDevice;
  if (interfaceOwner_ != token) return kUsbNotOpen;
  return kUsbSuccess;
}

UsbStatus Device::DeviceOpen(uint64_t attachment, uint64_t token) {
  std::lock_guard lock(m_);
  if (!Current(attachment)) return kUsbNoDevice;
  if (deviceOwner_ != 0) return kUsbExclusiveAccess;
  deviceOwner_ = token;
  return kUsbSuccess;
}

UsbStatus Device::DeviceClose(uint64_t attachment, uint64_t token) {
  std::lock_guard lock(m_);
  if (!Current(attachment)) return kUsbNoDevice;
  if (deviceOwner_ != token) return kUsbNotOpen;
  deviceOwner_ = 0;
  return kUsbSuccess;
}

UsbStatus Device::SetConfiguration(uint64_t attachment, uint64_t token, uint8_t value) {
  std::lock_guard lock(m_);
  if (!Current(attachment)) return kUsbNoDevice;
  if (deviceOwner_ != token) return kUsbNotOpen;
  if (value != 1) return kUsbBadArgument;  // configuration 1 is the only one
  configured_ = true;
  return kUsbSuccess;
}

UsbStatus Device::MayCreateInterface(uint64_t attachment, uint64_t token) {
  std::lock_guard lock(m_);
  if (!Current(attachment)) return kUsbNoDevice;
  if (deviceOwner_ != token) return kUsbNotOpen;
  if (!configured_) return kUsbNotFound;  // no interfaces before a configuration is set
  return kUsbSuccess;
}

UsbStatus Device::Reset(uint64_t attachment, uint64_t token) {
  std::lock_guard lock(m_);
  if (!Current(attachment)) return kUsbNoDevice;
  if (deviceOwner_ != token) return kUsbNotOpen;
  // Back to the unconfigured state; inquiry data, counters and paper stay.
  if (ExchangeOpen()) Message("USB reset dropped an open exchange");
  DropExchange();
  configured_ = false;
  interfaceOwner_ = 0;
  for (auto& a : aborts_) ++a;
  cv_.notify_all();
  Message("USB reset");
  return kUsbSuccess;
}

UsbStatus Device::InterfaceOpen(uint64_t attachment, uint64_t token) {
  std::lock_guard lock(m_);
  if (!Current(attachment)) return kUsbNoDevice;
  if (interfaceOwner_ != 0) return kUsbExclusiveAccess;
  if (!configured_) return kUsbNotOpen;
  interfaceOwner_ = token;
  return kUsbSuccess;
}

UsbStatus Device::InterfaceClose(uint64_t attachment, uint64_t token) {
  std::lock_guard lock(m_);
  if (!Current(attachment)) return kUsbNoDevice;
  if (interfaceOwner_ != token) return kUsbNotOpen;
  interfaceOwner_ = 0;
  for (auto& a : aborts_) ++a;  // closing ends what is pending on the pipes
  cv_.notify_all();
  return kUsbSuccess;
}

UsbStatus Device::NumEndpoints(uint64_t attachment, uint8_t* count) const {
  std::lock_guard lock(m_);
  if (!Current(attachment)) return kUsbNoDevice;
  *count = PipeCount();
  return kUsbSuccess;
}

UsbStatus Device::PipeProperties(uint64_t attachment, uint8_t pipe,
                                 usbhost::PipeProperties* out) const {
  std::lock_guard lock(m_);
  if (!Current(attachment)) return kUsbNoDevice;
  uint8_t count = PipeCount();
  if (pipe == 0 || pipe > count) return kUsbBadArgument;
  usbhost::PipeProperties p;
  p.number = pipe;
  switch (pipe) {
    case kPipeBulkOut:
      p.direction = Direction::Out;
      p.transferType = TransferType::Bulk;
      p.maxPacketSize = 512;
      break;
    case kPipeBulkIn:
      p.direction = Direction::In;
      p.transferType = state_.config.bulkInPipe ? TransferType::Bulk : TransferType::Isochronous;
      p.maxPacketSize = 512;
      break;
    default:
      p.direction = Direction::In;
      p.transferType = TransferType::Interrupt;
      p.maxPacketSize = 8;
      p.interval = 8;
      break;
  }
  *out = p;
  return kUsbSuccess;
}

// ---- the exchange ---------------------------------------------------------------------------

Device::Effects Device::MatchFaults(const Command& c, Exchange& entry) {
  Effects e;
  bool typed = c.opcode == kOpRead || c.opcode == kOpSend;
  for (auto& s : faults_) {
    const Fault& f = s.fault;
    if (f.opcode >= 0 && f.opcode != c.opcode) continue;
    if (f.dataType >= 0 && (!typed || f.dataType != c.dataType)) continue;
    if (++s.seen <= f.skip) continue;
    if (f.count != 0 && s.applied >= f.count) continue;
    ++s.applied;
    entry.notes.push_back(Describe(f));
    switch (f.kind) {
      case FaultKind::WrongIdInData:
        e.wrongIdData = true;
        break;
      case FaultKind::WrongIdInStatus:
        e.wrongIdStatus = true;
        break;
      case FaultKind::UndefinedStatus:
        e.undefinedStatus = f.statusByte;
        break;
      case FaultKind::CheckCondition:
        e.checkCondition = true;
        e.sense = FaultSense(f);
        break;
      case FaultKind::Sense:
        e.reportSense = true;
        e.reportedSense = FaultSense(f);
        break;
      case FaultKind::ShortBulk:
        e.chunk = std::max<uint32_t>(f.chunk, 1);
        break;
      case FaultKind::EmptyCompletions:
        e.empties += f.empties;
        break;
      case FaultKind::Slow:
        e.delayMs = std::max(e.delayMs, f.delayMs);
        break;
      case FaultKind::Vanish:
        e.vanish = true;
        e.searches = f.searches;
        break;
      case FaultKind::Stall:
        e.stall = true;
        break;
      case FaultKind::FailControl:
        e.failControl = true;
        break;
      case FaultKind::Hold:
        e.hold = true;
        break;
      case FaultKind::Silent:
        e.silent = true;
        break;
    }
  }
  return e;
}

UsbStatus Device::Control(uint64_t attachment, uint64_t token, ControlRequest* r) {
  std::unique_lock lock(m_);
  r->wLenDone = 0;
  if (UsbStatus rc = CheckInterface(attachment, token)) return rc;
  if (r->bmRequestType != 0x40 || r->bRequest != 4 || r->wValue != 0 || r->wIndex != 0 ||
      r->wLength != 12 || !r->data) {
    Message(Format("control request %02X %02X wValue %u wIndex %u wLength %u refused with a stall",
                   r->bmRequestType, r->bRequest, r->wValue, r->wIndex, r->wLength));
    return kUsbPipeStalled;
  }
  Command c;
  std::memcpy(c.block.data(), r->data, c.block.size());
  c.opcode = c.block[0];
  c.controllerId = uint16_t(c.block[1] << 8 | c.block[2]);
  c.dataType = uint16_t(c.block[3] << 8 | c.block[4]);

  if (ExchangeOpen()) {
    // A device out of step would answer with the open exchange's rest: the command fails.
    const uint64_t open = OpenExchange();
    std::string text = Format(
        "command %s arrived while exchange %llu was still open: a protocol error, stalled; the "
        "open exchange's rest is dropped",
        CommandName(c.block).c_str(), (unsigned long long)open);
    Note(open, text);
    Message(text);
    ++protocolErrors_;
    DropExchange();
    return kUsbPipeStalled;
  }

  Exchange entry;
  entry.number = ++exchanges_;
  entry.block = c.block;
  entry.command = CommandName(c.block);
  Effects effects = MatchFaults(c, entry);
  uint64_t number = entry.number;
  log_.push_back(std::move(entry));
  TrimLog();

  if (effects.failControl) return kUsbPipeStalled;
  if (effects.vanish) {
    Detach();
    vanished_ = true;
    searchesAway_ = effects.searches;
    Message(Format("vanished at exchange %llu (%s)", (unsigned long long)number,
                   CommandName(c.block).c_str()));
    return kUsbNoDevice;
  }
  if (effects.hold) {
    // Waits for the test (ReleaseHeld) or an abort of the control pipe, whichever comes first.
    const uint64_t aborts = aborts_[0];
    held_ = true;
    ++blocked_;
    cv_.notify_all();
    cv_.wait(lock, [&] { return !held_ || !Current(attachment) || aborts_[0] != aborts; });
    --blocked_;
    const bool released = !held_;
    held_ = false;
    if (!released) {
      Note(number, "held command ended by an abort");
      return Current(attachment) ? kUsbAborted : kUsbNoDevice;
    }
  }
  delayMs_ = effects.delayMs;
  if (UsbStatus rc = Delay(lock, attachment, 0)) return rc;
  if (effects.silent) {
    // The command is taken; nothing more comes of it.
    silentExchange_ = number;
    r->wLenDone = r->wLength;
    return kUsbSuccess;
  }

  const CommandSpec& spec = FindCommand(c.block);
  spec.phase(state_, c);
  if (c.phase == Phase::In && c.length > kMaxReply) {
    // No scanner answers with that much in one phase; refuse instead of building the reply.
    std::string text = Format("%s announces %u bytes to read; refused without a data phase",
                              CommandName(c.block).c_str(), c.length);
    Note(number, text);
    Message(text);
    c.phase = Phase::None;
    Reply reply;
    reply.checkCondition = true;
    reply.sense.key = 5;
    reply.sense.asc = 0x26;
    Finish(c, spec, effects, reply, number);
  } else if (c.phase == Phase::Out && c.length > 0) {
    out_.active = true;
    out_.command = c;
    out_.spec = &spec;
    out_.effects = effects;
    out_.exchange = number;
  } else {
    if (c.phase == Phase::Out) c.phase = Phase::None;
    if (effects.reportSense && c.opcode == kOpRequestSense) {
      state_.sensePending = true;
      state_.pendingSense = effects.reportedSense;
    }
    Reply reply;
    c.scriptedFailure = effects.checkCondition;
    spec.handler(state_, c, reply);
    Finish(c, spec, effects, reply, number);
  }
  r->wLenDone = r->wLength;
  return kUsbSuccess;
}

// Puts the data reply (when the host reads one) and the status on bulk IN.
void Device::Finish(Command& c, const CommandSpec& spec, const Effects& e, Reply& reply,
                    uint64_t number) {
  Exchange* entry = Find(number);
  for (const std::string& text : reply.messages) {
    Message(text);
    Note(number, text);
  }
  bool first = true;
  auto shape = [&](Segment& s) {  // faults of the first bulk IN phase
    if (!first) return;
    first = false;
    s.chunk = e.chunk;
    s.empties = e.empties;
    s.stall = e.stall;
  };
  Segment data;
  if (c.phase == Phase::In) {
    data.bytes = std::move(reply.data);
    data.bytes.resize(c.length, 0);  // exactly the length asked for
    if (spec.idInReply) PutId(data.bytes, c.controllerId);
    if (e.wrongIdData) PutId(data.bytes, uint16_t(c.controllerId ^ 0xFFFF));
  }
  uint8_t statusByte = 0;
  if (reply.checkCondition || e.checkCondition) {
    statusByte = 2;
    state_.sensePending = true;
    state_.pendingSense = e.checkCondition ? e.sense : reply.sense;
  }
  if (e.undefinedStatus >= 0) statusByte = uint8_t(e.undefinedStatus);
  uint16_t id = e.wrongIdStatus ? uint16_t(c.controllerId ^ 0xFFFF) : c.controllerId;
  std::array<uint8_t, 3> statusBytes = {uint8_t(id >> 8), uint8_t(id), statusByte};
  if (replyHook_) replyHook_(c.block, c.phase == Phase::In ? &data.bytes : nullptr, &statusBytes);

  if (c.phase == Phase::In) {
    data.exchange = number;
    shape(data);
    if (entry && c.opcode == kOpRead && c.dataType == 0) {
      // Image data: a prefix and the checksum, so a long scan does not fill the log.
      entry->imageBytes = uint32_t(data.bytes.size());
      entry->imageChecksum = ImageChecksum(data.bytes.data(), data.bytes.size());
      Keep(*entry, entry->dataIn, data.bytes.data(), std::min(data.bytes.size(), kImageLogPrefix));
    } else if (entry) {
      Keep(*entry, entry->dataIn, data.bytes.data(), data.bytes.size());
    }
    if (!data.bytes.empty()) in_.push_back(std::move(data));
  }
  Segment status;
  status.bytes.assign(statusBytes.begin(), statusBytes.end());
  status.exchange = number;
  status.isStatus = true;
  shape(status);
  if (entry) {
    std::copy(status.bytes.begin(), status.bytes.end(), entry->status.begin());
    entry->hasStatus = true;
  }
  in_.push_back(std::move(status));
}

void Device::DropExchange() {
  in_.clear();
  out_ = AwaitingOut{};
  delayMs_ = 0;
  silentExchange_ = 0;
}

uint64_t Device::OpenExchange() const {
  if (!in_.empty()) return in_.front().exchange;
  return out_.active ? out_.exchange : silentExchange_;
}

// A transfer of a slow exchange: it takes the delay, or ends as timed out at the host's
// time-out when that is shorter.
UsbStatus Device::Delay(std::unique_lock<std::mutex>& lock, uint64_t attachment, uint8_t pipe) {
  if (delayMs_ == 0) return kUsbSuccess;
  const bool timesOut = timeoutMs_ != 0 && timeoutMs_ < delayMs_;
  uint64_t aborts = aborts_[pipe];
  ++blocked_;
  bool woken = cv_.wait_for(lock, std::chrono::milliseconds(timesOut ? timeoutMs_ : delayMs_),
                            [&] { return !Current(attachment) || aborts_[pipe] != aborts; });
  --blocked_;
  if (!woken) return timesOut ? kUsbTimeout : kUsbSuccess;
  return Current(attachment) ? kUsbAborted : kUsbNoDevice;
}

// A bulk IN read of a silent exchange: nothing comes until the host's time-out (0: for ever),
// its abort, or the exchange's end.
UsbStatus Device::SilentRead(std::unique_lock<std::mutex>& lock, uint64_t attachment,
                             uint8_t pipe) {
  const uint64_t aborts = aborts_[pipe];
  const uint64_t exchange = silentExchange_;
  auto ended = [&] {
    return !Current(attachment) || aborts_[pipe] != aborts || silentExchange_ != exchange;
  };
  ++blocked_;
  silentWaiting_ = true;
  cv_.notify_all();
  bool woken = true;
  if (timeoutMs_ == 0)
    cv_.wait(lock, ended);
  else
    woken = cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs_), ended);
  silentWaiting_ = false;
  --blocked_;
  if (!woken) {
    Note(exchange, Format("silent: a bulk IN read timed out after %u ms", timeoutMs_));
    return kUsbTimeout;
  }
  return Current(attachment) ? kUsbAborted : kUsbNoDevice;
}

UsbStatus Device::BulkIn(uint64_t attachment, uint64_t token, uint8_t pipe, void* buffer,
                         uint32_t* size) {
  std::unique_lock lock(m_);
  uint32_t want = *size;
  *size = 0;
  if (UsbStatus rc = CheckInterface(attachment, token)) return rc;
  if (pipe != kPipeBulkIn) return kUsbBadArgument;
  if (UsbStatus rc = Delay(lock, attachment, pipe)) return rc;
  if (in_.empty() && silentExchange_ != 0) return SilentRead(lock, attachment, pipe);
  if (in_.empty()) {
    // The device will never send anything: fail now instead of leaving the host hanging.
    uint64_t last = log_.empty() ? 0 : log_.back().number;
    std::string text =
        Format("watchdog: bulk IN read of %u bytes with no data or status pending", want);
    if (out_.active)
      text += Format(" (the device waits for %u bytes on bulk OUT)",
                     out_.command.length - uint32_t(out_.command.dataOut.size()));
    text += "; failed with kIOReturnNotResponding";
    Note(last, text);
    Message(text);
    return kUsbNotResponding;
  }
  Segment& s = in_.front();
  Exchange* entry = Find(s.exchange);
  if (s.stall) {
    Note(s.exchange, "bulk IN stalled");
    Message(Format("bulk IN stalled in exchange %llu; its rest is dropped",
                   (unsigned long long)s.exchange));
    DropExchange();
    return kUsbPipeStalled;
  }
  if (s.empties > 0) {
    --s.empties;
    if (entry) entry->notes.push_back("zero-length completion");
    return kUsbSuccess;
  }
  uint32_t n = uint32_t(std::min<size_t>(want, s.bytes.size() - s.pos));
  if (s.chunk) n = std::min(n, s.chunk);
  if (n) std::memcpy(buffer, s.bytes.data() + s.pos, n);
  s.pos += n;
  if (entry) {
    if (s.isStatus)
      entry->statusTaken = s.pos == s.bytes.size();
    else
      entry->dataInTaken += n;
  }
  if (s.pos == s.bytes.size()) {
    bool statusDone = s.isStatus;
    in_.pop_front();
    if (statusDone && in_.empty()) delayMs_ = 0;
  }
  *size = n;
  return kUsbSuccess;
}

UsbStatus Device::BulkOut(uint64_t attachment, uint64_t token, uint8_t pipe, const void* buffer,
                          uint32_t size) {
  std::unique_lock lock(m_);
  if (UsbStatus rc = CheckInterface(attachment, token)) return rc;
  if (pipe != kPipeBulkOut) return kUsbBadArgument;
  if (UsbStatus rc = Delay(lock, attachment, pipe)) return rc;
  if (!out_.active) {
    uint64_t last = log_.empty() ? 0 : log_.back().number;
    std::string text = Format("bulk OUT of %u bytes that no command announced; stalled", size);
    Note(last, text);
    Message(text);
    return kUsbPipeStalled;
  }
  Command& c = out_.command;
  uint32_t have = uint32_t(c.dataOut.size());
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  Exchange* entry = Find(out_.exchange);
  if (size > c.length - have) {
    std::string text =
        Format("bulk OUT of %u bytes where %u were announced; stalled", size, c.length - have);
    Note(out_.exchange, text);
    Message(text);
    if (entry) Keep(*entry, entry->dataOut, bytes, size);
    DropExchange();
    return kUsbPipeStalled;
  }
  c.dataOut.insert(c.dataOut.end(), bytes, bytes + size);
  if (entry) Keep(*entry, entry->dataOut, bytes, size);
  if (c.dataOut.size() == c.length) {
    AwaitingOut done = std::move(out_);
    out_ = AwaitingOut{};
    Reply reply;
    done.command.scriptedFailure = done.effects.checkCondition;
    done.spec->handler(state_, done.command, reply);
    Finish(done.command, *done.spec, done.effects, reply, done.exchange);
  }
  return kUsbSuccess;
}

UsbStatus Device::InterruptIn(uint64_t attachment, uint64_t token, uint8_t pipe, void* buffer,
                              uint32_t* size) {
  std::unique_lock lock(m_);
  uint32_t room = *size;
  *size = 0;
  if (UsbStatus rc = CheckInterface(attachment, token)) return rc;
  if (!state_.config.interruptPipe || pipe < kPipeInterrupt || pipe > PipeCount())
    return kUsbBadArgument;
  if (interruptStalled_) return kUsbPipeStalled;
  if (interruptFailures_ > 0) {
    --interruptFailures_;
    if (interruptFailure_ == kUsbPipeStalled) interruptStalled_ = true;
    return interruptFailure_;
  }
  // Only the last interrupt pipe carries button packets.
  const bool buttonPipe = pipe == PipeCount();
  uint64_t aborts = aborts_[pipe];
  ++blocked_;
  cv_.wait(lock, [&] {
    return (buttonPipe && !buttons_.empty()) || aborts_[pipe] != aborts || !Current(attachment);
  });
  --blocked_;
  if (!Current(attachment)) return kUsbNoDevice;
  if (aborts_[pipe] != aborts) return kUsbAborted;
  ButtonPacket packet = buttons_.front();
  buttons_.pop_front();
  uint32_t n = std::min<uint32_t>(room, uint32_t(packet.size()));
  std::memcpy(buffer, packet.data(), n);
  *size = n;
  return kUsbSuccess;
}

UsbStatus Device::PipeStatus(uint64_t attachment, uint64_t token, uint8_t pipe) {
  std::lock_guard lock(m_);
  if (UsbStatus rc = CheckInterface(attachment, token)) return rc;
  if (pipe > PipeCount()) return kUsbBadArgument;
  return pipeStatusFails_ ? kUsbPipeStalled : kUsbSuccess;
}

UsbStatus Device::ClearStall(uint64_t attachment, uint64_t token, uint8_t pipe) {
  std::lock_guard lock(m_);
  if (UsbStatus rc = CheckInterface(attachment, token)) return rc;
  if (pipe == 0 || pipe > PipeCount()) return kUsbBadArgument;
  ++stallClears_;
  if (pipe >= kPipeInterrupt) interruptStalled_ = false;
  if (pipe < kPipeInterrupt && ExchangeOpen()) {
    // The host starts the bulk pipes afresh: what the open exchange had left goes.
    Note(OpenExchange(), "bulk pipe cleared; the exchange's rest is dropped");
    DropExchange();
    cv_.notify_all();
  }
  return kUsbSuccess;
}

void Device::FailInterruptReads(UsbStatus code, uint32_t count) {
  std::lock_guard lock(m_);
  interruptFailure_ = code;
  interruptFailures_ = count;
}

uint32_t Device::StallClears() const {
  std::lock_guard lock(m_);
  return stallClears_;
}

void Device::FailPipeStatus(bool fail) {
  std::lock_guard lock(m_);
  pipeStatusFails_ = fail;
}

void Device::NoteTimeout(uint32_t milliseconds) {
  std::lock_guard lock(m_);
  timeouts_.push_back(milliseconds);
  timeoutMs_ = milliseconds;
}

std::vector<uint32_t> Device::TransferTimeouts() const {
  std::lock_guard lock(m_);
  return timeouts_;
}

UsbStatus Device::Abort(uint64_t attachment, uint64_t token, uint8_t pipe) {
  std::lock_guard lock(m_);
  if (UsbStatus rc = CheckInterface(attachment, token)) return rc;
  if (pipe > PipeCount()) return kUsbBadArgument;
  ++aborts_[pipe];
  cv_.notify_all();
  return kUsbSuccess;
}

// ---- logs -----------------------------------------------------------------------------------

void Device::Keep(Exchange& entry, std::vector<uint8_t>& log, const uint8_t* bytes, size_t n) {
  size_t limit = state_.config.logDataLimit;
  size_t room = limit == 0 ? n : limit - std::min(limit, log.size());
  if (room < n) entry.dataCut = true;
  log.insert(log.end(), bytes, bytes + std::min(room, n));
}

void Device::TrimLog() {
  size_t limit = state_.config.logLimit;
  // Trimmed in steps of a quarter so that a long run does not move the log on every command.
  if (limit == 0 || log_.size() <= limit + limit / 4) return;
  log_.erase(log_.begin(), log_.begin() + ptrdiff_t(log_.size() - limit));
}

Exchange* Device::Find(uint64_t number) {
  for (auto it = log_.rbegin(); it != log_.rend(); ++it)
    if (it->number == number) return &*it;
  return nullptr;
}

void Device::Note(uint64_t exchange, const std::string& text) {
  if (Exchange* e = Find(exchange)) e->notes.push_back(text);
}

void Device::Message(const std::string& text) {
  messages_.push_back(text);
  if (logPath_.empty()) return;
  if (FILE* f = std::fopen(logPath_.c_str(), "a")) {
    std::fprintf(f, "vantrel-sim %s: %s\n", state_.config.serial.c_str(), text.c_str());
    std::fclose(f);
  }
}

}  // namespace sim::detail
