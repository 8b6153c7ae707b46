#include "drv/device/IoObject.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "drv/device/CScannerManager.h"
#include "drv/platform/DbgLog.h"

using namespace krstatus;

uint8_t IoObject::bInquiryCommand[12] = {krcmd::kInquiry, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x60, 0};

int32_t SenseKeyStatus(uint8_t senseKey) {
  switch (senseKey & 0x0F) {
    case 2:
      return kWarmUp;
    case 3:
    case 4:
    case 6:
    case 9:
      return kHandshakeTimeout;
    case 5:
      return kParameterError;
    case 11:
      return kReadAbort;
    default:
      return kOK;
  }
}

int32_t SenseCodeStatus(uint16_t code, int32_t keyStatus) {
  switch (code) {
    case 0x0000:
    case 0x0006:
      return keyStatus;
    case 0x1502:
      return kSense1502;
    case 0x1504:
      return kLocked;
    case 0x1505:
      return kSense1505;
    case 0x1A00:
    case 0x2000:
    case 0x2600:
    case 0x2601:
    case 0x2602:
    case 0x2C02:
      return kParameterError;
    case 0x4401:
      return kFlatbedDram;
    case 0x4402:
      return kAdfDram;
    case 0x4403:
      return kNvramWrite;
    case 0x6001:
      return kFlatbedLamp;
    case 0x6002:
      return kAdfLamp;
    case 0x6003:
      return kSense6003;
    case 0x6200:
      return kHomeFailed;
    case 0x8001:
    case 0x8009:
      return kPaperJam;
    case 0x8002:
      return kCoverOpen;
    case 0x8003:
      return kNoPaper;
    case 0x8004:
      return kEndOfPage;
    case 0x8005:
      return kMultiFeed;
    case 0x8007:
      return kFlatbedCoverOpen;
    case 0x8016:
      return kEopMultiFeed;
    case 0x801C:
      return kSkew;
    case 0x801D:
      return kMisfeed;
    case 0x8021:
      return kBlankPage;
    case 0x8022:
      return kEndOfFile;
    case 0x8023:
      return kSense8023;
    case 0x8024:
      return kSense8024;
    case 0x9000:
    case 0xA001:
      return kScannerBusy;
    default:
      return kUnknown;
  }
}

namespace {
void BuildBlock(uint8_t* block, uint8_t opcode, uint16_t ctrlId) {
  std::memset(block, 0, 12);
  block[0] = opcode;
  PutBE16(block + 1, ctrlId);
}
}  // namespace

IoObject::IoObject() {
  std::memset(&m_deviceInfo, 0, sizeof m_deviceInfo);
  std::snprintf(m_portName, sizeof m_portName, "Unknown");
  std::snprintf(m_portAddress, sizeof m_portAddress, "Unknown");
  m_ctrlId = CScannerManager::GetCtrlID();
  BuildBlock(m_cmdRequestSense, krcmd::kRequestSense, m_ctrlId);
  BuildBlock(m_cmdMediaCheck, krcmd::kMediaCheck, m_ctrlId);
  BuildBlock(m_cmdInquiry, krcmd::kInquiry, m_ctrlId);
  BuildBlock(m_cmdReserveUnit, krcmd::kReserveUnit, m_ctrlId);
  BuildBlock(m_cmdReleaseUnit, krcmd::kReleaseUnit, m_ctrlId);
  BuildBlock(m_cmdSetWindow, krcmd::kSetWindow, m_ctrlId);
  BuildBlock(m_cmdRead, krcmd::kRead, m_ctrlId);
  BuildBlock(m_cmdSend, krcmd::kSend, m_ctrlId);
  BuildBlock(m_cmdReset, krcmd::kReset, m_ctrlId);
}

IoObject::~IoObject() {
  IoObject::IoLockEnd();
  IoObject::TerminateDevice();
}

bool IoObject::InitializeDevice(const KrDrvDeviceInformation* info) {
  if (info != nullptr && info != &m_deviceInfo)
    std::memcpy(&m_deviceInfo, info, sizeof m_deviceInfo);
  return true;
}

bool IoObject::TerminateDevice() {
  IoLockEnd();
  return true;
}

bool IoObject::CheckDevice() { return true; }

bool IoObject::SenseDataValid() const {
  uint8_t code = m_senseData[4] & 0x7F;
  return code == 0x70 || code == 0x7F;
}

bool IoObject::RequestSense(uint8_t argument) {
  ExchangeLock lock(m_exchange);
  m_cmdRequestSense[10] = krcmd::kSenseLength;
  m_cmdRequestSense[11] = argument;
  if (!DoIo(m_cmdRequestSense, m_senseData, krcmd::kSenseLength, 0)) return false;
  return ProcessSense();
}

bool IoObject::ProcessSense() {
  ExchangeLock lock(m_exchange);
  const uint8_t* s = m_senseData;
  uint16_t code = GetBE16(s + 7);
  if (SenseDataValid()) {
    m_status = kOK;
    m_status = SenseKeyStatus(s[5] & 0x0F);
    m_status = SenseCodeStatus(code, m_status);
  }
  if (m_status != kOK) {
    m_senseInfo = GetBE32(s + 9);
    m_imageWidth = GetBE32(s + 19);
    m_imageHeight = GetBE32(s + 23);
    m_imageSize = GetBE32(s + 27);
    m_jpegDri = GetBE16(s + 31);
    m_bytesPerLine = GetBE32(s + 33);
    m_scanMode = GetBE32(s + 37);
  } else {
    m_senseInfo = m_imageWidth = m_imageHeight = m_imageSize = 0;
    m_bytesPerLine = m_scanMode = 0;
    m_jpegDri = 0;
  }
  DbgPrintf(1, "FW Sense data -- ASC & ASCQ=%x sense errorcode=%d, LLD long-error=%i", code, s[4],
            m_status.load());
  if (m_status == kEndOfPage || m_status == kEndOfFile) {
    DbgPrintf(1, "FW -- dwSenseInfo = %d", m_senseInfo);
    DbgPrintf(1, "FW -- dwImageSize = %d", m_imageSize);
    DbgPrintf(1, "FW -- dwImageWidth = %d", m_imageWidth);
    DbgPrintf(1, "FW -- dwImageHeight = %d", m_imageHeight);
    DbgPrintf(1, "FW -- wImageJPEGDRI = %d", m_jpegDri);
    DbgPrintf(1, "FW -- dwImageScanMode = 0x%04x", m_scanMode);
  }
  return m_status == kOK;
}

bool IoObject::MediaCheck(uint8_t* buffer, uint32_t length, uint8_t direction) {
  ExchangeLock lock(m_exchange);
  m_cmdMediaCheck[9] = direction;
  m_cmdMediaCheck[10] = static_cast<uint8_t>(length);
  if (direction == 2) return DoIo(m_cmdMediaCheck, buffer, 0, length);
  return DoIo(m_cmdMediaCheck, buffer, length, 0);
}

bool IoObject::Inquiry(uint8_t* buffer, uint32_t length) { return Inquiry(buffer, length, 0); }

bool IoObject::Inquiry(uint8_t* buffer, uint32_t length, uint8_t page) {
  if (buffer == nullptr || length <= 4) {
    m_status = kParameterError;
    return false;
  }
  ExchangeLock lock(m_exchange);
  m_cmdInquiry[4] = page;
  m_cmdInquiry[10] = 5;
  if (!DoIo(m_cmdInquiry, buffer, 5, 0)) return false;
  uint32_t full = GetBE16(buffer + 3);
  if (full > length) full = length;
  m_cmdInquiry[10] = static_cast<uint8_t>(full & 0xFF);
  if (!DoIo(m_cmdInquiry, buffer, full, 0)) return false;
  DbgPrintf(1, "Dump Inquiry  --  Version = %d", buffer[2]);
  DbgDump(1, buffer, full);
  return true;
}

bool IoObject::ReserveUnit(uint8_t argument) {
  ExchangeLock lock(m_exchange);
  m_cmdReserveUnit[11] = argument;
  return DoIo(m_cmdReserveUnit, nullptr, 0, 0);
}

bool IoObject::ReleaseUnit(uint8_t argument) {
  ExchangeLock lock(m_exchange);
  m_cmdReleaseUnit[11] = argument;
  bool ok = DoIo(m_cmdReleaseUnit, nullptr, 0, 0);
  m_windowSet = true;
  return ok;
}

bool IoObject::SetWindow(const uint8_t* window, uint32_t length) {
  ExchangeLock lock(m_exchange);
  m_cmdSetWindow[8] = static_cast<uint8_t>(length >> 16);
  m_cmdSetWindow[9] = static_cast<uint8_t>(length >> 8);
  m_cmdSetWindow[10] = static_cast<uint8_t>(length);
  m_multiFeedContinue = length > 62 && window != nullptr && (window[62] & 0x08) == 0;
  m_skewContinue = length > 62 && window != nullptr && (window[62] & 0xE0) == 0xA0;
  bool ok = DoIo(m_cmdSetWindow, const_cast<uint8_t*>(window), 0, length);
  m_windowSet = true;
  return ok;
}

bool IoObject::Read(uint8_t* buffer, uint32_t length, uint16_t dataType) {
  ExchangeLock lock(m_exchange);
  PutBE16(m_cmdRead + 3, dataType);
  PutBE32(m_cmdRead + 7, length);
  if (dataType == 0) m_windowSet = false;
  bool ok = DoIo(m_cmdRead, buffer, length, 0);
  if (ok && dataType == 0 && m_multiFeedContinue && m_storedMultiFeed) {
    m_storedMultiFeed = false;
    m_status = kMultiFeed;
    return false;
  }
  return ok;
}

bool IoObject::Send(const uint8_t* data, uint32_t length, uint16_t dataType) {
  ExchangeLock lock(m_exchange);
  PutBE16(m_cmdSend + 3, dataType);
  PutBE32(m_cmdSend + 7, length);
  return DoIo(m_cmdSend, const_cast<uint8_t*>(data), 0, length);
}

bool IoObject::ResetScanner() {
  ExchangeLock lock(m_exchange);
  return DoIo(m_cmdReset, nullptr, 0, 0);
}

struct IoObject::SideResult {
  bool good = true;
  bool endOfPage = false;
  bool endOfFile = false;
  bool multiFeed = false;
  bool skew = false;
  int32_t status = 0;
  uint32_t length = 0;
};

void IoObject::ReadSide(uint8_t* buffer, uint32_t length, uint16_t dataType, const char* side,
                        SideResult* r) {
  r->length = length;
  if (Read(buffer, length, dataType)) return;
  r->status = m_status;
  const char* event = nullptr;
  switch (m_status.load()) {
    case kEndOfPage:
      r->endOfPage = true;
      event = "EOP";
      break;
    case kEndOfFile:
      r->endOfFile = true;
      event = "EOF";
      break;
    case kEopMultiFeed:
      r->endOfPage = true;
      r->multiFeed = true;
      r->good = m_multiFeedContinue;
      event = "EOP";
      break;
    case kMultiFeed:
      r->multiFeed = true;
      r->good = m_multiFeedContinue;
      break;
    case kSkew:
      // Left out, the other side's block of a pair would stay in the device and the two sides
      // fall out of step.
      r->skew = true;
      r->good = m_skewContinue;
      break;
    default:
      r->good = false;
      break;
  }
  if (event != nullptr) {
    r->length = m_senseInfo;
    if (r->length > length) {
      DbgPrintf(
          1,
          "IoObject::ReadImage() detect error : %s %s size=%d exceed transfer size, change to %d",
          side, event, r->length, length);
      r->length = length;
    }
  }
}

bool IoObject::ReadImage(void* /*context*/, uint8_t* front, uint8_t* rear, uint32_t length,
                         uint16_t dataType, uint32_t* outLength) {
  ExchangeLock lock(m_exchange);
  DbgPrintf(1, "=>IoObject::ReadImage()");
  DbgPrintf(1, "Front=%x Rear=%x type=%d Read size=%d",
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(front)),
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(rear)), dataType, length);
  SideResult f, r;
  f.length = r.length = length;
  if (front != nullptr) ReadSide(front, length, dataType, "Front", &f);
  if (rear != nullptr && f.good) ReadSide(rear, length, dataType, "Rear", &r);
  uint32_t out = front != nullptr ? f.length : r.length;

  bool ok = false;
  if (!f.good || !r.good) {
    out = 0;
    DbgPrintf(1, "IoObject::ReadImage() Error Code Front=%d, Rear=%d", f.status, r.status);
    m_status = !f.good ? f.status : r.status;
  } else if (f.endOfFile || r.endOfFile) {
    m_status = kEndOfFile;
  } else if (f.endOfPage || r.endOfPage) {
    if (front != nullptr && rear != nullptr) {
      if (f.endOfPage != r.endOfPage) {
        DbgPrintf(
            1,
            "IoObject::ReadImage() detect error : Front EOP=%d RearEOP=%d, not both page have EOP",
            f.endOfPage, r.endOfPage);
      } else if (f.length != r.length) {
        DbgPrintf(1,
                  "IoObject::ReadImage() detect error : Front EOP size=%d RearEOP size=%d, both "
                  "page does different EOP size",
                  f.length, r.length);
      }
    }
    m_status = (f.multiFeed || r.multiFeed) ? kEopMultiFeed : kEndOfPage;
  } else if (f.multiFeed || r.multiFeed) {
    m_status = kMultiFeed;
  } else if (f.skew || r.skew) {
    m_status = kSkew;
  } else {
    ok = true;
  }
  if (outLength != nullptr) *outLength = out;
  DbgPrintf(1, "<=IoObject::ReadImage() ret=%d", ok);
  return ok;
}

bool IoObject::DoIoPass(KRUSBIOTYPE, void*, uint32_t, uint32_t*, uint32_t) { return true; }

void IoObject::FilterBeforeIo(uint8_t*, void*, uint32_t, uint32_t) {}

void IoObject::FilterAfterIo(uint8_t*, void*, uint32_t, uint32_t, bool* handled) {
  if (handled == nullptr) return;
  if (m_windowSet && m_multiFeedContinue && !*handled && m_status == kMultiFeed) {
    m_storedMultiFeed = true;
    m_status = kOK;
    *handled = true;
    DbgPrintf(1,
              " IoObject::FilterAfterIo() ==> Multifeed before 1st read image, store multifeed "
              "event and reset error");
  }
}

bool IoObject::PrepareReadImage() { return true; }
bool IoObject::FinishReadImage() { return true; }

bool IoObject::IoLockStart() {
  ExchangeLock lock(m_exchange);
  DbgPrintf(1, "=>IoObject::IoLockStart()");
  m_status = kOK;
  bool ok = CheckDevice();
  if (!ok) {
    IoLockEnd();
    TerminateDevice();
    KrDrvDeviceInformation info = m_deviceInfo;
    if (!InitializeDevice(&info)) {
      IoLockEnd();
    } else {
      ok = CheckDevice();
    }
  }
  DbgPrintf(1, "<=IoObject::IoLockStart() ret=%d", ok);
  return ok;
}

bool IoObject::IoLockEnd() { return true; }

bool IoObject::GetCtrlID(uint16_t* id) const {
  if (id != nullptr) *id = m_ctrlId;
  return true;
}

void IoObject::SetTimeout(uint32_t in, uint32_t out) {
  m_timeoutIn = in;
  m_timeoutOut = out;
  DbgPrintf(1, "  Timeout--> In=%d Out=%d", in, out);
}

void IoObject::CheckAndFixString(char* text, uint32_t length) {
  if (text == nullptr) return;
  if (std::memchr(text, 0, length) == nullptr) std::memset(text, 0, length);
}

void IoObject::GetLockName(const char* input, char* output) {
  if (output == nullptr) return;
  char* p = output + std::sprintf(output, "Global\\KRDrv2006ACCESS");
  for (const char* s = input; s != nullptr && *s != 0; ++s) {
    if (std::isalnum(static_cast<unsigned char>(*s))) *p++ = *s;
  }
  *p = 0;
}
