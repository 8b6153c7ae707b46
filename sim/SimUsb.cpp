// The simulated scanner on a UsbBus: device and interface objects as the host layer hands
// them out, each tied to the attachment it was found in.
#include <mutex>

#include "sim/SimDevice.h"
#include "sim/SimScanner.h"

namespace sim {

using namespace usbhost;
using detail::Device;

namespace {

class SimInterface final : public UsbInterface {
 public:
  SimInterface(std::shared_ptr<Device> device, uint64_t attachment)
      : device_(std::move(device)), attachment_(attachment), token_(Device::NewToken()) {}
  ~SimInterface() override {
    if (open_) device_->InterfaceClose(attachment_, token_);
  }
  UsbStatus Open() override {
    UsbStatus rc = device_->InterfaceOpen(attachment_, token_);
    open_ = rc == kUsbSuccess;
    return rc;
  }
  UsbStatus Close() override {
    open_ = false;
    return device_->InterfaceClose(attachment_, token_);
  }
  UsbStatus GetNumEndpoints(uint8_t* count) override {
    return device_->NumEndpoints(attachment_, count);
  }
  UsbStatus GetPipeProperties(uint8_t pipeRef, PipeProperties* props) override {
    return device_->PipeProperties(attachment_, pipeRef, props);
  }
  UsbStatus DeviceRequest(ControlRequest* request) override {
    return device_->Control(attachment_, token_, request);
  }
  UsbStatus ReadPipe(uint8_t pipeRef, void* buffer, uint32_t* size) override {
    if (pipeRef >= kPipeInterrupt)
      return device_->InterruptIn(attachment_, token_, pipeRef, buffer, size);
    return device_->BulkIn(attachment_, token_, pipeRef, buffer, size);
  }
  UsbStatus WritePipe(uint8_t pipeRef, const void* buffer, uint32_t size) override {
    return device_->BulkOut(attachment_, token_, pipeRef, buffer, size);
  }
  UsbStatus GetPipeStatus(uint8_t pipeRef) override {
    return device_->PipeStatus(attachment_, token_, pipeRef);
  }
  UsbStatus ClearPipeStall(uint8_t pipeRef) override {
    return device_->ClearStall(attachment_, token_, pipeRef);
  }
  UsbStatus AbortPipe(uint8_t pipeRef) override {
    return device_->Abort(attachment_, token_, pipeRef);
  }
  UsbStatus ReadInterruptPipe(uint8_t pipeRef, void* buffer, uint32_t* size) override {
    return device_->InterruptIn(attachment_, token_, pipeRef, buffer, size);
  }
  // The simulator answers at once or after its scripted delay; a transfer slower than the
  // time-out, or a read of a device that stopped answering, ends as timed out.
  void SetTransferTimeout(uint32_t milliseconds) override { device_->NoteTimeout(milliseconds); }

 private:
  std::shared_ptr<Device> device_;
  uint64_t attachment_;
  uint64_t token_;
  bool open_ = false;
};

class SimDevice final : public UsbDevice {
 public:
  SimDevice(std::shared_ptr<Device> device, uint64_t attachment)
      : device_(std::move(device)), attachment_(attachment), token_(Device::NewToken()) {}
  ~SimDevice() override {
    if (open_) device_->DeviceClose(attachment_, token_);
  }
  UsbStatus GetDeviceVendor(uint16_t* vendor) override {
    *vendor = device_->config().vendorId;
    return device_->CheckAttached(attachment_);
  }
  UsbStatus GetDeviceProduct(uint16_t* product) override {
    *product = device_->config().productId;
    return device_->CheckAttached(attachment_);
  }
  UsbStatus GetDeviceSpeed(Speed* speed) override {
    *speed = device_->config().speed;
    return device_->CheckAttached(attachment_);
  }
  UsbStatus GetLocationID(uint32_t* location) override {
    *location = device_->config().locationId;
    return device_->CheckAttached(attachment_);
  }
  UsbStatus GetNumberOfConfigurations(uint8_t* count) override {
    *count = 1;
    return device_->CheckAttached(attachment_);
  }
  UsbStatus GetConfigurationValue(uint8_t index, uint8_t* value) override {
    if (UsbStatus rc = device_->CheckAttached(attachment_)) return rc;
    if (index != 0) return kUsbBadArgument;
    *value = 1;
    return kUsbSuccess;
  }
  UsbStatus OpenDevice() override {
    UsbStatus rc = device_->DeviceOpen(attachment_, token_);
    if (rc == kUsbSuccess) open_ = true;
    return rc;
  }
  UsbStatus CloseDevice() override {
    open_ = false;
    return device_->DeviceClose(attachment_, token_);
  }
  UsbStatus SetConfiguration(uint8_t value) override {
    return device_->SetConfiguration(attachment_, token_, value);
  }
  UsbStatus CreateInterface(std::unique_ptr<UsbInterface>* out) override {
    if (UsbStatus rc = device_->MayCreateInterface(attachment_, token_)) return rc;
    *out = std::make_unique<SimInterface>(device_, attachment_);
    return kUsbSuccess;
  }
  UsbStatus ResetDevice() override { return device_->Reset(attachment_, token_); }

 private:
  std::shared_ptr<Device> device_;
  uint64_t attachment_;
  uint64_t token_;
  bool open_ = false;
};

}  // namespace

// ---- SimScanner -----------------------------------------------------------------------------

SimScanner::SimScanner(const Config& config) : device_(std::make_shared<Device>(config)) {}
SimScanner::~SimScanner() = default;
std::vector<Exchange> SimScanner::CommandLog() const { return device_->CommandLog(); }
void SimScanner::ClearCommandLog() { device_->ClearCommandLog(); }
std::vector<std::string> SimScanner::Messages() const { return device_->Messages(); }
void SimScanner::InjectFault(const Fault& fault) { device_->InjectFault(fault); }
void SimScanner::ClearFaults() { device_->ClearFaults(); }
bool SimScanner::WaitHeld(uint32_t timeoutMs) const { return device_->WaitHeld(timeoutMs); }
void SimScanner::ReleaseHeld() { device_->ReleaseHeld(); }
bool SimScanner::WaitSilent(uint32_t timeoutMs) const { return device_->WaitSilent(timeoutMs); }
uint32_t SimScanner::ProtocolErrors() const { return device_->ProtocolErrors(); }
void SimScanner::AddSheetEvent(const SheetEvent& event) { device_->AddSheetEvent(event); }
void SimScanner::ClearSheetEvents() { device_->ClearSheetEvents(); }
void SimScanner::SetReserveAnswer(ReserveAnswer answer, uint32_t refusals) {
  device_->SetReserveAnswer(answer, refusals);
}
void SimScanner::SetReplyHook(ReplyHook hook) { device_->SetReplyHook(std::move(hook)); }
void SimScanner::PostButtonPacket(const ButtonPacket& packet) { device_->PostButton(packet); }
void SimScanner::Unplug() { device_->Unplug(); }
void SimScanner::Replug() { device_->Replug(); }
bool SimScanner::Attached() const { return device_->Attached(); }
void SimScanner::FailPipeStatus(bool fail) { device_->FailPipeStatus(fail); }
std::vector<uint32_t> SimScanner::TransferTimeouts() const { return device_->TransferTimeouts(); }
std::vector<uint8_t> SimScanner::InquiryData(uint16_t controllerId) const {
  return detail::BuildInquiry(device_->config(), controllerId);
}
Config SimScanner::config() const { return device_->config(); }
uint32_t SimScanner::SheetsLeft() const { return device_->SheetsLeft(); }
std::vector<uint8_t> SimScanner::NvramRecord() const { return device_->NvramRecord(); }
size_t SimScanner::BlockedTransfers() const { return device_->BlockedTransfers(); }
void SimScanner::SetCalibration(const CalibrationSetup& setup) { device_->SetCalibration(setup); }
void SimScanner::SetLamp(LampState state, uint32_t warmupReads) {
  device_->SetLamp(state, warmupReads);
}
LampState SimScanner::Lamp() const { return device_->Lamp(); }
void SimScanner::SetBackground(uint32_t side, const Rgb& colour) {
  device_->SetBackground(side, colour);
}

void SimScanner::SetDocuments(const std::vector<SheetDocument>& documents) {
  device_->SetDocuments(documents);
}
void SimScanner::SetInquiryPatches(const std::vector<InquiryPatch>& patches) {
  device_->SetInquiryPatches(patches);
}
PreparationRecord SimScanner::Prepared() const { return device_->Prepared(); }
void SimScanner::ClearPrepared() { device_->ClearPrepared(); }
ScanRecord SimScanner::Scanned() const { return device_->Scanned(); }
void SimScanner::ClearScanned() { device_->ClearScanned(); }
void SimScanner::LoadSheets(uint32_t sheets) { device_->LoadSheets(sheets); }
bool SimScanner::SheetInTransport() const { return device_->SheetInTransport(); }
void SimScanner::TakeOutSheet() { device_->TakeOutSheet(); }
size_t SimScanner::PendingButtonPackets() const { return device_->PendingButtonPackets(); }
void SimScanner::FailInterruptReads(UsbStatus code, uint32_t count) {
  device_->FailInterruptReads(code, count);
}
uint32_t SimScanner::StallClears() const { return device_->StallClears(); }

// ---- SimBus ---------------------------------------------------------------------------------

namespace {
// Bus 1, the n-th port of the root hub for the n-th scanner (from 1).
constexpr uint32_t kDefaultBus = 0x01000000;
constexpr int kFirstPortShift = 20;
uint32_t DefaultLocationId(size_t index) {
  return kDefaultBus | uint32_t((index + 1) & 0xF) << kFirstPortShift;
}
}  // namespace

SimBus::SimBus() = default;
SimBus::~SimBus() = default;

SimScanner& SimBus::AddScanner(const Config& config) {
  std::lock_guard lock(m_);
  Config placed = config;
  if (placed.locationId == 0) placed.locationId = DefaultLocationId(scanners_.size());
  scanners_.push_back(std::make_unique<SimScanner>(placed));
  return *scanners_.back();
}

size_t SimBus::ScannerCount() const {
  std::lock_guard lock(m_);
  return scanners_.size();
}

SimScanner& SimBus::Scanner(size_t index) {
  std::lock_guard lock(m_);
  return *scanners_.at(index);
}

UsbStatus SimBus::FindDevices(uint16_t vendor, uint16_t product,
                              std::vector<std::unique_ptr<UsbDevice>>* out) {
  out->clear();
  std::lock_guard lock(m_);
  for (const auto& s : scanners_) {
    uint64_t attachment = 0;
    if (s->device()->Search(vendor, product, &attachment))
      out->push_back(std::make_unique<SimDevice>(s->device(), attachment));
  }
  return kUsbSuccess;
}

}  // namespace sim
