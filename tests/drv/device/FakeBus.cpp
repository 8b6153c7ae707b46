#include "FakeBus.h"

#include <algorithm>
#include <cstring>

using namespace usbhost;

namespace fake {
namespace {
uint16_t BE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t BE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
void PutId(uint8_t* p, uint16_t id) {
  p[0] = static_cast<uint8_t>(id >> 8);
  p[1] = static_cast<uint8_t>(id);
}

class FakeInterface : public UsbInterface {
 public:
  FakeInterface(std::shared_ptr<Scanner> s, int generation) : s_(std::move(s)), gen_(generation) {
    if (s_->bulkOut) pipes_.push_back({Direction::Out, 1, TransferType::Bulk, 512, 0});
    if (s_->bulkIn) pipes_.push_back({Direction::In, 2, TransferType::Bulk, 512, 0});
    if (s_->interruptIn) pipes_.push_back({Direction::In, 3, TransferType::Interrupt, 8, 10});
  }
  IOReturn Open() override { return Alive() ? kIOReturnSuccess : kIOReturnNoDevice; }
  IOReturn Close() override { return kIOReturnSuccess; }
  IOReturn GetNumEndpoints(uint8_t* count) override {
    *count = static_cast<uint8_t>(pipes_.size());
    return kIOReturnSuccess;
  }
  IOReturn GetPipeProperties(uint8_t ref, PipeProperties* props) override {
    if (ref == 0 || ref > pipes_.size()) return kIOReturnBadArgument;
    *props = pipes_[ref - 1];
    return kIOReturnSuccess;
  }
  IOReturn DeviceRequest(ControlRequest* r) override {
    if (!Alive()) return kIOReturnNoDevice;
    if (r->bmRequestType != 0x40 || r->bRequest != 4 || r->wLength != 12) return kIOReturnBadArgument;
    return s_->Control(static_cast<const uint8_t*>(r->data));
  }
  IOReturn ReadPipe(uint8_t, void* buffer, uint32_t* size) override {
    if (!Alive()) return kIOReturnNoDevice;
    return s_->Read(buffer, size);
  }
  IOReturn WritePipe(uint8_t, const void* buffer, uint32_t size) override {
    if (!Alive()) return kIOReturnNoDevice;
    return s_->Write(buffer, size);
  }
  IOReturn GetPipeStatus(uint8_t) override {
    if (!Alive()) return kIOReturnNoDevice;
    return s_->pipeStatusFails ? kIOUSBPipeStalled : kIOReturnSuccess;
  }
  IOReturn AbortPipe(uint8_t ref) override {
    if (ref != 0 && ref <= pipes_.size() && pipes_[ref - 1].transferType == TransferType::Interrupt) {
      s_->AbortInterrupt();
    }
    return kIOReturnSuccess;
  }
  IOReturn ReadInterruptPipe(uint8_t, void* buffer, uint32_t* size) override {
    return s_->ReadInterrupt(buffer, size);
  }
  void SetTransferTimeout(uint32_t ms) override { s_->NoteTimeout(ms); }

 private:
  bool Alive();
  std::shared_ptr<Scanner> s_;
  int gen_;
  std::vector<PipeProperties> pipes_;
};

class FakeDevice : public UsbDevice {
 public:
  explicit FakeDevice(std::shared_ptr<Scanner> s) : s_(std::move(s)) {}
  IOReturn GetDeviceVendor(uint16_t* v) override { *v = s_->vendor; return kIOReturnSuccess; }
  IOReturn GetDeviceProduct(uint16_t* p) override { *p = s_->product; return kIOReturnSuccess; }
  IOReturn GetDeviceSpeed(Speed* s) override { *s = Speed::High; return kIOReturnSuccess; }
  IOReturn GetNumberOfConfigurations(uint8_t* c) override { *c = 1; return kIOReturnSuccess; }
  IOReturn GetConfigurationValue(uint8_t, uint8_t* v) override { *v = 1; return kIOReturnSuccess; }
  IOReturn USBDeviceOpen() override { return s_->Present() ? kIOReturnSuccess : kIOReturnNoDevice; }
  IOReturn USBDeviceClose() override { return kIOReturnSuccess; }
  IOReturn SetConfiguration(uint8_t) override { return kIOReturnSuccess; }
  IOReturn CreateInterface(std::unique_ptr<UsbInterface>* out) override;
  IOReturn ResetDevice() override {
    s_->Reset();
    return kIOReturnSuccess;
  }

 private:
  std::shared_ptr<Scanner> s_;
};

// Generations tell handles of an earlier plug-in from current ones.
std::mutex gGenMutex;
std::vector<std::pair<const Scanner*, int>> gGenerations;
int Generation(const Scanner* s) {
  std::lock_guard<std::mutex> l(gGenMutex);
  for (auto& g : gGenerations) if (g.first == s) return g.second;
  return 0;
}
void BumpGeneration(const Scanner* s) {
  std::lock_guard<std::mutex> l(gGenMutex);
  for (auto& g : gGenerations) if (g.first == s) { ++g.second; return; }
  gGenerations.push_back({s, 1});
}

bool FakeInterface::Alive() { return s_->Present() && Generation(s_.get()) == gen_; }

IOReturn FakeDevice::CreateInterface(std::unique_ptr<UsbInterface>* out) {
  out->reset(new FakeInterface(s_, Generation(s_.get())));
  return kIOReturnSuccess;
}
}  // namespace

Sense MakeSense(uint8_t senseKey, uint16_t code, uint32_t information, uint8_t responseCode) {
  Sense s{};
  s[4] = responseCode;
  s[5] = senseKey;
  s[7] = static_cast<uint8_t>(code >> 8);
  s[8] = static_cast<uint8_t>(code);
  s[9] = static_cast<uint8_t>(information >> 24);
  s[10] = static_cast<uint8_t>(information >> 16);
  s[11] = static_cast<uint8_t>(information >> 8);
  s[12] = static_cast<uint8_t>(information);
  return s;
}

Scanner::Scanner(uint16_t v, uint16_t p, std::string sn) : vendor(v), product(p), serial(std::move(sn)) {
  inquiry.assign(200, 0);
  inquiry[2] = 2;
  inquiry[3] = 0;
  inquiry[4] = 200;
  inquiry[8] = 0; inquiry[9] = 130;
  inquiry[10] = 0; inquiry[11] = 150;
  inquiry[14] = 0; inquiry[15] = 170;
  std::memcpy(&inquiry[130], "VANTREL", 7);
  std::memcpy(&inquiry[150], "QM310", 5);
  std::memcpy(&inquiry[170], serial.data(), std::min<size_t>(serial.size(), 29));
  sense_ = MakeSense(0, 0);
}

void Scanner::Unplug() {
  std::lock_guard<std::mutex> l(m_);
  present_ = false;
  in_.clear();
  cv_.notify_all();
}

void Scanner::Replug() {
  BumpGeneration(this);
  std::lock_guard<std::mutex> l(m_);
  present_ = true;
  in_.clear();
}

bool Scanner::Present() {
  std::lock_guard<std::mutex> l(m_);
  return present_;
}

void Scanner::Push(const Fault& f) {
  std::lock_guard<std::mutex> l(m_);
  faults_.push_back(f);
}

void Scanner::SetSense(const Sense& sense) {
  std::lock_guard<std::mutex> l(m_);
  sense_ = sense;
}

void Scanner::PushButton(const std::array<uint8_t, 8>& packet) {
  std::lock_guard<std::mutex> l(m_);
  buttons_.push_back(packet);
  cv_.notify_all();
}

std::vector<Block> Scanner::Commands() {
  std::lock_guard<std::mutex> l(m_);
  return commands_;
}

size_t Scanner::CountOpcode(uint8_t op) {
  std::lock_guard<std::mutex> l(m_);
  return std::count_if(commands_.begin(), commands_.end(), [op](const Block& b) { return b[0] == op; });
}

void Scanner::ClearCommands() {
  std::lock_guard<std::mutex> l(m_);
  commands_.clear();
}

int Scanner::Resets() {
  std::lock_guard<std::mutex> l(m_);
  return resets_;
}

std::vector<uint32_t> Scanner::Timeouts() {
  std::lock_guard<std::mutex> l(m_);
  return timeouts_;
}

void Scanner::NoteTimeout(uint32_t ms) {
  std::lock_guard<std::mutex> l(m_);
  timeouts_.push_back(ms);
}

int Scanner::Overlaps() {
  std::lock_guard<std::mutex> l(m_);
  return overlaps_;
}

void Scanner::Reset() {
  std::lock_guard<std::mutex> l(m_);
  ++resets_;
  in_.clear();
  expectOut_ = 0;
}

uint32_t Scanner::Control(const uint8_t* block) {
  std::lock_guard<std::mutex> l(m_);
  if (!present_) return kIOReturnNoDevice;
  if (!in_.empty() || expectOut_ != 0) ++overlaps_;
  Block b;
  std::memcpy(b.data(), block, 12);
  commands_.push_back(b);
  Reply(block);
  return kIOReturnSuccess;
}

void Scanner::Reply(const uint8_t* block) {
  uint16_t id = BE16(block + 1);
  Fault f;
  for (auto it = faults_.begin(); it != faults_.end(); ++it) {
    if (it->opcode == 0 || it->opcode == block[0]) {
      f = *it;
      faults_.erase(it);
      break;
    }
  }
  std::vector<uint8_t> data;
  uint32_t out = 0;
  switch (block[0]) {
    case 0xE2: {
      if (failInquiry) f.statusByte = 7;
      size_t n = block[10] == 5 ? 5 : BE16(&inquiry[3]);
      data.assign(inquiry.begin(), inquiry.begin() + std::min(n, inquiry.size()));
      data.resize(n, 0);
      PutId(data.data(), id);
      break;
    }
    case 0xE3:
      data.assign(sense_.begin(), sense_.end());
      PutId(data.data(), id);
      sense_ = MakeSense(0, 0);
      break;
    case 0xE8:
      if (block[9] == 2) {
        out = block[10];
      } else {
        data.assign(block[10], 0);
        if (data.size() >= 2) PutId(data.data(), id);
        if (data.size() >= 5) data[4] = 1;
      }
      break;
    case 0xA8: {
      uint32_t n = BE32(block + 7);
      uint16_t type = BE16(block + 3);
      data.resize(n);
      for (uint32_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(0x5A ^ i);
      if (type != 0 && type != 0x9A && type != 0x9B) {
        if (n >= 2) {
          PutId(data.data(), id);
        } else if (n == 1) {
          data[0] = static_cast<uint8_t>(id >> 8);
        }
      }
      break;
    }
    case 0xAA: out = BE32(block + 7); break;
    case 0xE4: out = (uint32_t(block[8]) << 16) | (uint32_t(block[9]) << 8) | block[10]; break;
    default: break;
  }
  if (f.wrongDataId && !data.empty()) data[0] = static_cast<uint8_t>(~(id >> 8));
  if (f.hasSense) sense_ = f.sense;
  zeroReads_ = f.zeroReads;
  uint16_t statusId = f.wrongStatusId ? static_cast<uint16_t>(~id) : id;
  uint8_t status[3] = {static_cast<uint8_t>(statusId >> 8), static_cast<uint8_t>(statusId), f.statusByte};
  for (uint8_t c : data) in_.push_back(c);
  if (out != 0) {
    expectOut_ = out;
    std::memcpy(pendingStatus_, status, 3);
  } else {
    for (uint8_t c : status) in_.push_back(c);
  }
}

uint32_t Scanner::Read(void* buffer, uint32_t* size) {
  std::lock_guard<std::mutex> l(m_);
  if (!present_) return kIOReturnNoDevice;
  if (zeroReads_ > 0) {
    --zeroReads_;
    *size = 0;
    return kIOReturnSuccess;
  }
  // Nothing queued: a real device would keep the host waiting; a test fails fast instead.
  if (in_.empty()) return kIOReturnTimeout;
  uint32_t n = std::min<uint32_t>(*size, static_cast<uint32_t>(in_.size()));
  auto* p = static_cast<uint8_t*>(buffer);
  for (uint32_t i = 0; i < n; ++i) {
    p[i] = in_.front();
    in_.pop_front();
  }
  *size = n;
  return kIOReturnSuccess;
}

uint32_t Scanner::Write(const void*, uint32_t size) {
  std::lock_guard<std::mutex> l(m_);
  if (!present_) return kIOReturnNoDevice;
  if (expectOut_ == 0 || size != expectOut_) return kIOReturnError;
  expectOut_ = 0;
  for (uint8_t c : pendingStatus_) in_.push_back(c);
  return kIOReturnSuccess;
}

uint32_t Scanner::ReadInterrupt(void* buffer, uint32_t* size) {
  std::unique_lock<std::mutex> l(m_);
  cv_.wait(l, [this] { return !buttons_.empty() || interruptAborted_ || !present_; });
  if (interruptAborted_) {
    interruptAborted_ = false;
    return kIOReturnAborted;
  }
  if (!present_) return kIOReturnNoDevice;
  auto packet = buttons_.front();
  buttons_.pop_front();
  uint32_t n = std::min<uint32_t>(*size, 8);
  std::memcpy(buffer, packet.data(), n);
  *size = n;
  return kIOReturnSuccess;
}

void Scanner::AbortInterrupt() {
  std::lock_guard<std::mutex> l(m_);
  interruptAborted_ = true;
  cv_.notify_all();
}

std::shared_ptr<Scanner> Bus::Add(uint16_t vendor, uint16_t product, const std::string& serial) {
  auto s = std::make_shared<Scanner>(vendor, product, serial);
  scanners.push_back(s);
  return s;
}

IOReturn Bus::FindDevices(uint16_t vendor, uint16_t product,
                          std::vector<std::unique_ptr<UsbDevice>>* out) {
  out->clear();
  for (auto& s : scanners) {
    if (!s->Present()) continue;
    if (vendor != 0 && s->vendor != vendor) continue;
    if (product != 0 && s->product != product) continue;
    out->push_back(std::make_unique<FakeDevice>(s));
  }
  return kIOReturnSuccess;
}

InstalledBus::InstalledBus() { InstallHost(&bus); }
InstalledBus::~InstalledBus() { InstallHost(nullptr); }

}  // namespace fake
