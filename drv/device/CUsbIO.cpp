#include "drv/device/CUsbIO.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "drv/device/CScannerManager.h"
#include "drv/platform/DbgLog.h"

using namespace usbhost;
using namespace krstatus;

const IoObjectTransport IoObjects[] = {
    {&CUsbIO::GetDeviceList, &CUsbIO::Create},
    {nullptr, nullptr},
};

namespace {
enum class Outcome { Good, CheckCondition, Failed };

void ApplyTimeout(UsbDeviceHandle* h, uint32_t ms) {
  if (h->timeout != ms) {
    h->intf->SetTransferTimeout(ms);
    h->timeout = ms;
  }
}

bool ReadBulk(UsbDeviceHandle* h, void* buffer, uint32_t length, uint32_t baseMs) {
  auto* p = static_cast<uint8_t*>(buffer);
  uint32_t done = 0;
  int empty = 0;
  while (done < length) {
    uint32_t size = length - done;
    ApplyTimeout(h, CUsbIO::TransferTimeout(baseMs, size));
    UsbStatus r = h->intf->ReadPipe(h->bulkIn, p + done, &size);
    if (r != kUsbSuccess) {
      DbgPrintf(1, "MacOsUsbReadFile : Read data from pipe error. error = %s",
                CUsbIO::GetSystemErrorString(r).c_str());
      return false;
    }
    if (size == 0) {
      // A device that keeps completing without data would otherwise hold the read for ever.
      if (++empty >= CUsbIO::kMaxEmptyReads) {
        DbgPrintf(1, "MacOsUsbReadFile : Read data from pipe error. error = %d empty transfers",
                  empty);
        return false;
      }
      continue;
    }
    empty = 0;
    done += size < length - done ? size : length - done;
  }
  return true;
}

bool WriteBulk(UsbDeviceHandle* h, const void* buffer, uint32_t length, uint32_t baseMs) {
  ApplyTimeout(h, CUsbIO::TransferTimeout(baseMs, length));
  UsbStatus r = h->intf->WritePipe(h->bulkOut, buffer, length);
  if (r != kUsbSuccess) {
    DbgPrintf(1, "MacOsUsbWriteFile: Write command to pipe error error=%s",
              CUsbIO::GetSystemErrorString(r).c_str());
    return false;
  }
  return true;
}

bool SendCommandBlock(UsbDeviceHandle* h, uint8_t* block) {
  ControlRequest req;
  req.bmRequestType = 0x40;
  req.bRequest = 4;
  req.wValue = 0;
  req.wIndex = 0;
  req.wLength = 12;
  req.data = block;
  UsbStatus r = h->intf->DeviceRequest(&req);
  if (r != kUsbSuccess) {
    DbgPrintf(1, "MacOsUsbControlOut: Out command to pipe error error=%s",
              CUsbIO::GetSystemErrorString(r).c_str());
    return false;
  }
  return true;
}

// Compares only the id bytes that were actually read.
bool IdMatches(const uint8_t* data, uint32_t length, uint16_t id) {
  if (length >= 2) return GetBE16(data) == id;
  if (length == 1) return data[0] == static_cast<uint8_t>(id >> 8);
  return true;
}

// Takes what the device still sends of a broken exchange (the rest of a data phase, its status)
// and clears both bulk pipes, so that the next command starts in step.
void Resynchronise(UsbDeviceHandle* h) {
  constexpr uint32_t kDrainBlock = 0x10000;
  constexpr uint32_t kDrainTimeoutMs = 200;
  constexpr uint64_t kMostDrained = 0x10000000;  // a device that never stops is left to the reset
  DbgPrintf(1, "Resynchronise the USB pipes after a broken exchange");
  std::vector<uint8_t> scratch(kDrainBlock);
  uint64_t drained = 0;
  ApplyTimeout(h, kDrainTimeoutMs);
  while (drained < kMostDrained) {
    uint32_t size = kDrainBlock;
    if (h->intf->ReadPipe(h->bulkIn, scratch.data(), &size) != kUsbSuccess || size == 0) break;
    drained += size;
  }
  DbgPrintf(1, "Resynchronise: %llu bytes drained", static_cast<unsigned long long>(drained));
  h->intf->ClearPipeStall(h->bulkIn);
  h->intf->ClearPipeStall(h->bulkOut);
  h->outOfStep = false;
}

// One exchange on the wire: command, at most one data phase, status. A reply whose id does not
// match still has its status read, so the next exchange starts in step.
Outcome RunExchange(UsbDeviceHandle* h, uint8_t* block, void* data, uint32_t readLength,
                    uint32_t writeLength, uint16_t ctrlId, bool checkDataId,
                    const UsbExchangeTimeouts& timeouts) {
  if (h == nullptr || !h->interfaceOpen || !h->intf) {
    DbgPrintf(1, "NULL handle.");
    return Outcome::Failed;
  }
  if ((readLength != 0 || writeLength != 0) && data == nullptr) {
    DbgPrintf(1, "DoIo: no buffer for %u bytes", readLength != 0 ? readLength : writeLength);
    return Outcome::Failed;
  }
  if (h->outOfStep) Resynchronise(h);
  ApplyTimeout(h, CUsbIO::TransferTimeout(timeouts.out, 0));
  if (!SendCommandBlock(h, block)) {
    DbgPrintf(1, "DoIo: Write command error");
    return Outcome::Failed;
  }
  // From here on a failure leaves the exchange open on the device.
  bool idMismatch = false;
  if (readLength != 0) {
    DbgPrintf(1, "IO total need to receive data %d bytes", readLength);
    if (!ReadBulk(h, data, readLength, timeouts.in)) {
      DbgPrintf(1, "DoIo : Read data error");
      h->outOfStep = true;
      return Outcome::Failed;
    }
    idMismatch = checkDataId && !IdMatches(static_cast<uint8_t*>(data), readLength, ctrlId);
  } else if (writeLength != 0) {
    DbgPrintf(1, "IO send data %d bytes", writeLength);
    if (!WriteBulk(h, data, writeLength, timeouts.out)) {
      DbgPrintf(1, " DoIO: Write data error");
      h->outOfStep = true;
      return Outcome::Failed;
    }
  }
  DbgPrintf(1, "IO receieve status 3 bytes");
  uint8_t status[3] = {};
  if (!ReadBulk(h, status, 3, timeouts.in)) {
    DbgPrintf(1, "DoIO: Read status from error");
    h->outOfStep = true;
    return Outcome::Failed;
  }
  if (idMismatch || GetBE16(status) != ctrlId) {
    DbgPrintf(1, "Control ID not match.");
    return Outcome::Failed;
  }
  switch (status[2]) {
    case 0:
      return Outcome::Good;
    case 2:
      return Outcome::CheckCondition;
    default:
      DbgPrintf(1, "Status return %d, undefined value", status[2]);
      return Outcome::Failed;
  }
}

void LogBlock(const char* prefix, const uint8_t* b) {
  DbgPrintf(1, "%s0x%02X  %02X  %02X  %02X  %02X  %02X  %02X  %02X  %02X  %02X  %02X  %02X", prefix,
            b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11]);
}

const char* TypeText(TransferType t) {
  switch (t) {
    case TransferType::Control:
      return "Control";
    case TransferType::Isochronous:
      return "Isoc";
    case TransferType::Bulk:
      return "Bulk";
    case TransferType::Interrupt:
      return "Interrupt";
  }
  return "?";
}
}  // namespace

namespace {
std::atomic<uint32_t> gBaseTimeoutMs{0};
}  // namespace

void CUsbIO::SetBaseTimeout(uint32_t milliseconds) { gBaseTimeoutMs = milliseconds; }

uint32_t CUsbIO::TransferTimeout(uint32_t baseMs, uint32_t bytes) {
  const uint32_t set = gBaseTimeoutMs.load();
  const uint32_t base = baseMs != 0 ? baseMs : set != 0 ? set : kBaseTimeoutMs;
  const uint64_t ms = uint64_t{base} + bytes / kSlowestBytesPerMs;
  return static_cast<uint32_t>(std::min<uint64_t>(ms, UINT32_MAX));
}

std::string CUsbIO::GetSystemErrorString(UsbStatus code) {
  switch (code) {
    case kUsbNoDevice:
      return "kIOReturnNoDevice";
    case kUsbNotOpen:
      return "kIOReturnNotOpen";
    case kUsbAborted:
      return "kIOReturnAborted";
    default:
      break;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%08x", code);
  return text;
}

CUsbIO::CUsbIO() {
  std::snprintf(m_portAddress, sizeof m_portAddress, "USB");
  std::snprintf(m_portName, sizeof m_portName, "USB Unlink");
}

CUsbIO::~CUsbIO() { CUsbIO::TerminateDevice(); }

UsbDeviceHandle* CUsbIO::CreateUsbHandle(std::unique_ptr<UsbDevice> dev) {
  auto* h = new (std::nothrow) UsbDeviceHandle;
  if (h != nullptr) h->device = std::move(dev);
  return h;
}

void CUsbIO::CloseUsbHandle(UsbDeviceHandle* h) {
  if (h == nullptr) return;
  if (h->intf) {
    if (h->interfaceOpen) h->intf->Close();
    h->intf.reset();
  }
  if (h->device) {
    if (h->deviceOpen) {
      h->device->ResetDevice();
      h->device->CloseDevice();
    }
    h->device.reset();
  }
  delete h;
}

bool CUsbIO::OpenScsiInterface(UsbDeviceHandle* h) {
  UsbDevice* dev = h->device.get();
  uint8_t configs = 0;
  UsbStatus r = dev->GetNumberOfConfigurations(&configs);
  if (r != kUsbSuccess) {
    DbgPrintf(1,
              "CUsbIO::MacOsInitializeKrSCSIInterface: unable to obtain the number of "
              "configurations. ret = %08x",
              r);
    return false;
  }
  DbgPrintf(1, "CUsbIO::MacOsInitializeKrSCSIInterface: found %d configurations", configs);
  if (configs == 0) return false;
  uint8_t value = 0;
  if (dev->GetConfigurationValue(0, &value) != kUsbSuccess) {
    DbgPrintf(
        1, "CUsbIO::MacOsInitializeKrSCSIInterface: unable to get config descriptor for index 0");
    return false;
  }
  r = dev->OpenDevice();
  if (r != kUsbSuccess) {
    DbgPrintf(1, "CUsbIO::MacOsInitializeKrSCSIInterface: unable to open device. ret = %08x", r);
    return false;
  }
  h->deviceOpen = true;
  if (dev->SetConfiguration(value) != kUsbSuccess) {
    DbgPrintf(1, "CUsbIO::MacOsInitializeKrSCSIInterface: unable to set the configuration");
    return false;
  }
  r = dev->CreateInterface(&h->intf);
  if (r != kUsbSuccess || !h->intf) {
    DbgPrintf(1,
              "CUsbIO::MacOsInitializeKrSCSIInterface: unable to create a device interface. ret = "
              "%08x, intf = %p",
              r, static_cast<void*>(h->intf.get()));
    h->intf.reset();
    return false;
  }
  r = h->intf->Open();
  if (r != kUsbSuccess) {
    DbgPrintf(1, "CUsbIO::MacOsInitializeKrSCSIInterface: unable to open interface. ret = %08x", r);
    return false;
  }
  h->interfaceOpen = true;
  uint8_t endpoints = 0;
  r = h->intf->GetNumEndpoints(&endpoints);
  if (r != kUsbSuccess) {
    DbgPrintf(
        1, "CUsbIO::MacOsInitializeKrSCSIInterface: unable to get number of endpoints. ret = %08x",
        r);
    return false;
  }
  DbgPrintf(1, "CUsbIO::ProcessInterface: found %d pipes", endpoints);
  if (endpoints == 0) {
    DbgPrintf(1, "CUsbIO::MacOsInitializeKrSCSIInterface: can not found any pipes");
    return false;
  }
  for (uint8_t pipe = 1; pipe <= endpoints; ++pipe) {
    PipeProperties props;
    r = h->intf->GetPipeProperties(pipe, &props);
    if (r != kUsbSuccess) {
      DbgPrintf(1,
                "CUsbIO::MacOsInitializeKrSCSIInterface: unable to get pipe properties for pipe "
                "%d, err = %08x",
                pipe, r);
      return false;
    }
    bool in = props.direction == Direction::In;
    DbgPrintf(1,
              "CUsbIO::MacOsInitializeKrSCSIInterface - Pipe %d: Type=%s Direction=%s Packet "
              "Size=%d interval=%d",
              pipe, TypeText(props.transferType), in ? "In" : "Out", props.maxPacketSize,
              props.interval);
    if (props.transferType == TransferType::Bulk) {
      (in ? h->bulkIn : h->bulkOut) = pipe;
    } else if (props.transferType == TransferType::Interrupt && in) {
      h->interruptIn = pipe;
    }
  }
  DbgPrintf(1, "MacOsInitializeKrSCSIInterface - Bulk In Pipe Index = %d", h->bulkIn);
  DbgPrintf(1, "MacOsInitializeKrSCSIInterface - Bulk Out Pipe Index = %d", h->bulkOut);
  DbgPrintf(1, "MacOsInitializeKrSCSIInterface - Interrupt in pipe index=%d", h->interruptIn);
  if (h->bulkIn == 0 || h->bulkOut == 0) {
    DbgPrintf(1, "Not all pipe found");
    return false;
  }
  if (h->interruptIn == 0) {
    DbgPrintf(1, "Interrupt pips not found, button function will not work");
  }
  return true;
}

bool CUsbIO::DoSimpleIo(UsbDeviceHandle* h, uint8_t* block, void* data, uint32_t readLength,
                        uint32_t writeLength) {
  LogBlock("=>CUsbIO::DoSimpleIo cmd=", block);
  if (readLength != 0) writeLength = 0;
  Outcome o = RunExchange(h, block, data, readLength, writeLength, CScannerManager::GetCtrlID(),
                          true, UsbExchangeTimeouts{});
  bool ok = o != Outcome::Failed;
  DbgPrintf(1, "<=CUsbIO::DoSimpleIo ret=%d", ok);
  return ok;
}

void CUsbIO::AbortTransfers() {
  UsbDeviceHandle* h = m_handle;
  if (h == nullptr || !h->interfaceOpen || !h->intf) return;
  DbgPrintf(1, "CUsbIO::AbortTransfers");
  h->intf->AbortPipe(0);
  h->intf->AbortPipe(h->bulkIn);
  h->intf->AbortPipe(h->bulkOut);
}

bool CUsbIO::DoIo(uint8_t* block, void* data, uint32_t readLength, uint32_t writeLength) {
  ExchangeLock lock(m_exchange);
  LogBlock("=>CUsbIO::DoIo  cmd=", block);
  if (readLength != 0) writeLength = 0;
  uint16_t type = GetBE16(block + 3);
  bool checkId = type != 0 && type != 0x9A && type != 0x9B;
  Outcome o = RunExchange(m_handle, block, data, readLength, writeLength, m_ctrlId, checkId,
                          UsbExchangeTimeouts{m_timeoutIn, m_timeoutOut});
  bool ok = false;
  if (o == Outcome::Good) {
    ok = true;
  } else if (o == Outcome::CheckCondition) {
    if (block[0] == krcmd::kRequestSense) {
      ok = true;
    } else {
      m_status = kOK;
      std::memset(m_senseData, 0, sizeof m_senseData);
      ok = RequestSense(0);
      if (ok && !SenseDataValid()) {
        // The device reported a condition but its sense cannot say which: not a success.
        DbgPrintf(1, "DoIo: check condition without valid sense data (response code 0x%02X)",
                  m_senseData[4]);
        m_status = kUnknown;
        ok = false;
      }
    }
  } else {
    m_status = kSystemError;
  }
  DbgPrintf(1, "<=CUsbIO::DoIo ret=%d", ok);
  return ok;
}

bool CUsbIO::ReadInquiry(UsbDeviceHandle* h, uint8_t* buffer, uint32_t* length) {
  // The library's block is shared; each exchange works on its own copy.
  uint8_t block[12];
  std::memcpy(block, IoObject::bInquiryCommand, sizeof block);
  PutBE16(block + 1, CScannerManager::GetCtrlID());
  block[10] = 5;
  if (!DoSimpleIo(h, block, buffer, 5, 0)) return false;
  uint32_t full = GetBE16(buffer + 3);
  if (full > kInquiryBufferSize) full = kInquiryBufferSize;
  block[10] = static_cast<uint8_t>(full & 0xFF);
  if (!DoSimpleIo(h, block, buffer, full, 0)) return false;
  *length = full;
  return true;
}

void CUsbIO::FillFromInquiry(KrDrvDeviceInformation* rec, const uint8_t* inq, uint32_t length) {
  auto copyString = [&](char* to, size_t toSize, uint32_t offset, bool mustEnd) {
    std::memset(to, 0, toSize);
    if (offset >= length) return;
    const char* from = reinterpret_cast<const char*>(inq + offset);
    size_t available = length - offset;
    size_t n = strnlen(from, available);
    if (n == available && mustEnd) return;  // no terminator within the inquiry data
    if (n >= toSize) n = toSize - 1;
    std::memcpy(to, from, n);
  };
  if (length >= 12) {
    copyString(rec->VendorName, sizeof rec->VendorName, GetBE16(inq + 8), false);
    copyString(rec->ModelName, sizeof rec->ModelName, GetBE16(inq + 10), false);
  }
  if (length >= 16)
    copyString(rec->SerialNumber, sizeof rec->SerialNumber, GetBE16(inq + 14), true);
  if (length >= 56) {
    uint16_t deviceType = GetBE16(inq + 54);
    std::memcpy(rec->TransportData, &deviceType, sizeof deviceType);
  }
}

void CUsbIO::GetDeviceList(KrDrvDeviceInformation** records, uint32_t* count) {
  *records = nullptr;
  *count = 0;
  std::vector<std::unique_ptr<UsbDevice>> devices;
  UsbStatus r = Host().FindDevices(0, 0, &devices);
  DbgPrintf(1, " MacOsCreateListDeviceHandle find %d DeviceRef %x",
            static_cast<int>(devices.size()), r);
  if (r != kUsbSuccess || devices.empty()) return;
  auto* array = static_cast<KrDrvDeviceInformation*>(
      std::calloc(devices.size(), sizeof(KrDrvDeviceInformation)));
  if (array == nullptr) return;
  uint32_t used = 0;
  for (size_t i = 0; i < devices.size(); ++i) {
    UsbDeviceHandle* h = CreateUsbHandle(std::move(devices[i]));
    if (h == nullptr) continue;
    uint16_t vendor = 0, product = 0;
    UsbStatus rv = h->device->GetDeviceVendor(&vendor);
    UsbStatus rp = rv == kUsbSuccess ? h->device->GetDeviceProduct(&product) : rv;
    if (rp != kUsbSuccess) {
      DbgPrintf(1, "CUsbIO::GetDeviceList: can not get device vendor. ret = %08x", rp);
      CloseUsbHandle(h);
      continue;
    }
    KrDrvDeviceInformation* rec = &array[used];
    std::memset(rec, 0, sizeof *rec);
    rec->Type = krbus::kUsb;
    kridentity::SetWord(rec->Identity, 0, vendor);
    kridentity::SetWord(rec->Identity, 1, product);
    DbgPrintf(1, " device %d USB ID=%04X:%04X", static_cast<int>(i), vendor, product);
    bool keep = true;
    if (MatchDefaultDeviceArray(rec)) {
      uint8_t inquiry[kInquiryBufferSize] = {};
      uint32_t length = 0;
      // A supported device that cannot be opened or asked stays out: kept with its ids only,
      // its command object would open the first other device with the same ids.
      if (OpenScsiInterface(h) && ReadInquiry(h, inquiry, &length)) {
        FillFromInquiry(rec, inquiry, length);
      } else {
        DbgPrintf(1, "Have error!! Don't add it to list");
        keep = false;
      }
    }
    CloseUsbHandle(h);
    if (keep) ++used;
  }
  if (used == 0) {
    std::free(array);
    return;
  }
  *records = array;
  *count = used;
}

IoObject* CUsbIO::Create(const KrDrvDeviceInformation* record) {
  auto* io = new (std::nothrow) CUsbIO;
  if (io == nullptr) return nullptr;
  if (!io->InitializeDevice(record)) {
    delete io;
    return nullptr;
  }
  return io;
}

bool CUsbIO::InitializeDevice(const KrDrvDeviceInformation* info) {
  if (info == nullptr) return false;
  ExchangeLock lock(m_exchange);
  std::lock_guard<std::mutex> buttons(m_buttonControl);
  KrDrvDeviceInformation rec = *info;
  std::snprintf(m_portName, sizeof m_portName, "USB");
  uint16_t vid = kridentity::Word(rec.Identity, 0);
  uint16_t pid = kridentity::Word(rec.Identity, 1);
  char serial[sizeof rec.SerialNumber + 1];
  std::snprintf(serial, sizeof serial, "%.*s", static_cast<int>(sizeof rec.SerialNumber),
                rec.SerialNumber);
  DbgPrintf(1, "CUsbIO::InitializeDevice: find USB device %04X:%04X serial number %s", vid, pid,
            serial);
  if (m_handle != nullptr) {
    StopButtonThread();
    CloseUsbHandle(m_handle);
    m_handle = nullptr;
  }
  std::vector<std::unique_ptr<UsbDevice>> devices;
  Host().FindDevices(vid, pid, &devices);
  for (size_t i = 0; i < devices.size() && m_handle == nullptr; ++i) {
    UsbDeviceHandle* h = CreateUsbHandle(std::move(devices[i]));
    if (h == nullptr) continue;
    uint16_t v = 0, p = 0;
    h->device->GetDeviceVendor(&v);
    h->device->GetDeviceProduct(&p);
    DbgPrintf(1, "CUsbIO::InitializeDevice  check device %d USB ID %04X:%04X", static_cast<int>(i),
              v, p);
    bool pass = v == vid && p == pid && OpenScsiInterface(h);
    if (pass && serial[0] != 0) {
      uint8_t inquiry[kInquiryBufferSize] = {};
      uint32_t length = 0;
      KrDrvDeviceInformation found;
      std::memset(&found, 0, sizeof found);
      pass = ReadInquiry(h, inquiry, &length);
      if (pass) {
        FillFromInquiry(&found, inquiry, length);
        pass = std::strcmp(found.SerialNumber, serial) == 0;
      }
    }
    if (pass) {
      m_handle = h;
    } else {
      CloseUsbHandle(h);
    }
  }
  if (m_handle == nullptr) {
    m_status = kNotFound;
    DbgPrintf(1, "CUsbIO::InitializeDevice: no device %04X:%04X %s", vid, pid, serial);
    return false;
  }
  Speed speed = Speed::Unknown;
  if (m_handle->device->GetDeviceSpeed(&speed) == kUsbSuccess) {
    std::snprintf(m_portName, sizeof m_portName, "%s", SpeedText(speed));
  }
  return IoObject::InitializeDevice(&rec);
}

bool CUsbIO::TerminateDevice() {
  ExchangeLock lock(m_exchange);
  {
    std::lock_guard<std::mutex> buttons(m_buttonControl);
    StopButtonThread();
    CloseUsbHandle(m_handle);
    m_handle = nullptr;
  }
  return IoObject::TerminateDevice();
}

bool CUsbIO::CheckDevice() {
  ExchangeLock lock(m_exchange);
  if (m_handle == nullptr || !m_handle->interfaceOpen) {
    DbgPrintf(1, "MacOsUsbCheckDevice: UsbInterface not initialized");
    return false;
  }
  UsbStatus r = m_handle->intf->GetPipeStatus(m_handle->bulkOut);
  if (r != kUsbSuccess) {
    DbgPrintf(1, "MacOsUsbCheckDevice: get pipe status return error=%s",
              GetSystemErrorString(r).c_str());
    return false;
  }
  return true;
}

void* CUsbIO::ButtonReaderThread(void* arg) {
  auto* self = static_cast<CUsbIO*>(arg);
  UsbInterface* intf = self->m_handle->intf.get();
  uint8_t pipe = self->m_handle->interruptIn;
  {
    std::lock_guard<std::mutex> lock(self->m_buttonMutex);
    std::memset(self->m_buttonBuffer, 0, sizeof self->m_buttonBuffer);
  }
  while (!self->m_buttonStop.load()) {
    uint8_t packet[8] = {};
    uint32_t size = sizeof packet;
    UsbStatus r = intf->ReadInterruptPipe(pipe, packet, &size);
    if (r != kUsbSuccess) {
      DbgPrintf(1, "CUsbIO::MacButtonAsyncCallBack: system return = %s",
                GetSystemErrorString(r).c_str());
      break;
    }
    DbgPrintf(1, "CUsbIO::MacButtonAsyncCallBack status OK ");
    if (size == 0) continue;
    std::lock_guard<std::mutex> lock(self->m_buttonMutex);
    // A newer packet replaces one nobody has read yet.
    std::memcpy(self->m_buttonBuffer, packet, sizeof packet);
  }
  std::lock_guard<std::mutex> lock(self->m_buttonMutex);
  self->m_buttonThreadEnded = true;
  self->m_buttonCond.notify_all();
  return nullptr;
}

void CUsbIO::StopButtonThread() {
  if (!m_buttonThreadStarted) return;
  m_buttonStop.store(true);
  std::unique_lock<std::mutex> lock(m_buttonMutex);
  // The abort may land before the reader is blocked in its read; repeat it until it ends.
  while (!m_buttonThreadEnded) {
    lock.unlock();
    m_handle->intf->AbortPipe(m_handle->interruptIn);
    lock.lock();
    m_buttonCond.wait_for(lock, std::chrono::milliseconds(10),
                          [this] { return m_buttonThreadEnded; });
  }
  lock.unlock();
  WaitKrThread(&m_buttonThread);
  m_buttonThreadStarted = false;
  m_buttonThreadEnded = false;
  m_buttonStop.store(false);
}

bool CUsbIO::GetButtonStatus(uint8_t* buffer) {
  if (buffer == nullptr) return false;
  std::memset(buffer, 0, 8);
  std::lock_guard<std::mutex> control(m_buttonControl);
  if (m_handle == nullptr || m_handle->interruptIn == 0) return true;
  if (!m_buttonThreadStarted) {
    m_buttonThreadEnded = false;
    m_buttonStop.store(false);
    if (!CreateKrThread(&m_buttonThread, &CUsbIO::ButtonReaderThread, this, nullptr)) {
      m_status = kSystemError;
      return false;
    }
    m_buttonThreadStarted = true;
    usleep(100);
  }
  // Copy and clear in one step, so a packet arriving in between is kept for the next call.
  std::lock_guard<std::mutex> lock(m_buttonMutex);
  std::memcpy(buffer, m_buttonBuffer, 8);
  std::memset(m_buttonBuffer, 0, sizeof m_buttonBuffer);
  return true;
}
