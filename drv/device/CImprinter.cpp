#include "drv/device/CImprinter.h"

#include <cstring>
#include <ctime>

#include "drv/device/ExportFrame.h"
#include "drv/device/IoObject.h"
#include "drv/platform/CLLDMemoryManager.h"
#include "drv/platform/DbgLog.h"
#include "vantrel/kr_api.h"

using namespace krstatus;
using namespace krimprinter;

namespace {
// The prefix of a data buffer: 00 00 01, then the whole buffer length, big-endian.
std::vector<uint8_t> DataBuffer(uint32_t headerLength, uint32_t dataLength) {
  std::vector<uint8_t> buffer(headerLength + dataLength, 0);
  buffer[2] = 1;
  PutBE32(&buffer[3], headerLength + dataLength);
  return buffer;
}

// Date-time items each format holds (items 6 and 7 fit every format).
bool ItemFitsFormat(uint32_t item, uint32_t format) {
  static const uint8_t kFormatsOfItem[6] = {
      // bit n: format n
      (1 << 1) | (1 << 3) | (1 << 4) | (1 << 6),
      (1 << 2) | (1 << 3) | (1 << 5) | (1 << 6),
      (1 << 3) | (1 << 6),
      (1 << 4) | (1 << 6),
      (1 << 5) | (1 << 6),
      (1 << 6),
  };
  if (item >= 6) return true;
  return format < 8 && (kFormatsOfItem[item] & (1u << format)) != 0;
}

uint32_t SumOfLengths(const uint8_t* lengths, int count) {
  uint32_t sum = 0;
  for (int i = 0; i < count; ++i) sum += lengths[i];
  return sum;
}
}  // namespace

CImprinter::CImprinter(IoObject* io) : m_io(io) {}

CImprinter::~CImprinter() {
  DisablePrint();
  ClearAllData();
  InternalSetImprinterParameter();
}

bool CImprinter::Send(const uint8_t* data, uint32_t length, uint16_t dataType) {
  if (m_io == nullptr) return false;
  bool ok = m_io->Send(data, length, dataType);
  if (!ok) m_status = static_cast<int32_t>(m_io->GetStatusLong());
  return ok;
}

bool CImprinter::SendControl(uint16_t dataType, uint8_t value) {
  uint8_t block[kControlLength] = {0, 0, 1, 0, 0, 0, 0, value};
  block[6] = dataType == kModeOrPattern ? 1 : 8;
  return Send(block, sizeof block, dataType);
}

bool CImprinter::ReadInquiry() {
  if (m_io == nullptr) return false;
  bool ok = m_io->Read(m_inquiry, kInquiryLength, kInquiry);
  if (!ok) m_status = static_cast<int32_t>(m_io->GetStatusLong());
  return ok;
}

bool CImprinter::FindImprinter() {
  DbgPrintf(1, "=>FindImprinter()");
  bool ok = ReadInquiry();
  m_present = ok ? (m_inquiry[7] & 0x01) : 0;
  DbgPrintf(1, "ImprinterStatus = %d", m_present);
  DbgPrintf(1, "<=FindImprinter ret=%d", ok ? 1 : 0);
  return ok;
}

bool CImprinter::CheckImprinterHead() {
  DbgPrintf(1, "=>CheckImprinterHead()");
  bool ok = true;
  if (m_present == 1) {
    ok = ReadInquiry();
    if (ok) m_headPresent = (m_inquiry[7] & 0x02) != 0 ? 1 : 0;
  } else {
    m_headPresent = 0;
  }
  DbgPrintf(1, "ImprinterHeadStatus = %i", m_headPresent);
  DbgPrintf(1, "<=CheckImprinterHead ret=%d", ok ? 1 : 0);
  return ok;
}

bool CImprinter::GetImprinterInfo(KR_Imprinter_Info_VER1* out) {
  DbgPrintf(1, "=>GetImprinterInfo()");
  bool ok = false;
  if (m_io != nullptr) {
    uint8_t wire[kInformationLength];
    ok = m_io->Read(wire, sizeof wire, kInformation);
    if (ok) {
      std::memcpy(m_information, wire, sizeof wire);
    } else {
      m_status = static_cast<int32_t>(m_io->GetStatusLong());
    }
  }
  if (ok && out != nullptr) {
    // Field by field from the device's big-endian bytes.
    KR_Imprinter_Info_VER1 info;
    std::memcpy(&info, m_information, sizeof info);
    for (int i = 0; i < 4; ++i) {
      info.Value[i] = GetBE32(m_information + 7 + 4 * i);
      info.Extra[i] = GetBE32(m_information + 26 + 4 * i);
    }
    info.Word0 = GetBE16(m_information + 23);
    info.Word1 = GetBE16(m_information + 42);
    info.Word2 = GetBE16(m_information + 44);
    std::memcpy(out, &info, sizeof info);
  }
  DbgPrintf(1, "<=GetImprinterInfo ret=%d", ok ? 1 : 0);
  return ok;
}

void CImprinter::GetImprinterInquiry(KR_Imprinter_Inquiry_VER1* out) const {
  if (out != nullptr) std::memcpy(out, m_inquiry, sizeof m_inquiry);
}

bool CImprinter::EnableImprinterHead() {
  DbgPrintf(1, "=>EnableImprinterHead");
  bool ok = SendControl(kHead, 1);
  if (!ok) DbgPrintf(1, "send enable imprinter head failure");
  DbgPrintf(1, "<=EnableImprinterHead ret=%d", ok ? 1 : 0);
  return ok;
}

bool CImprinter::DisableImprinterHead() {
  DbgPrintf(1, "=>DisableImprinterHead");
  bool ok = SendControl(kHead, 0);
  if (!ok) DbgPrintf(1, "send disable imprinter head failure");
  DbgPrintf(1, "<=DisableImprinterHead ret=%d", ok ? 1 : 0);
  return ok;
}

bool CImprinter::StartImprinterMotor(bool prefire) {
  if (m_motorRunning) return true;
  DbgPrintf(1, "=>StartImprinterMotor -- Prefire = %d", prefire ? 1 : 0);
  bool ok = SendControl(kMotor, static_cast<uint8_t>(prefire ? 1 : 5));
  m_motorRunning = ok ? 1 : 0;
  if (!ok) DbgPrintf(1, "send start imprinter motor failure!!");
  DbgPrintf(1, "<=StartImprinterMotor ret=%d", ok ? 1 : 0);
  return ok;
}

bool CImprinter::StopImprinterMotor(bool needCheck) {
  if (!m_motorRunning) return true;
  DbgPrintf(1, "=>StopImprinterMotor -- NeedCheck = %d", needCheck ? 1 : 0);
  bool ok = SendControl(kMotor, static_cast<uint8_t>(needCheck ? 2 : 0));
  m_motorRunning = 0;
  if (!ok) DbgPrintf(1, "send stop imprinter motor failure");
  DbgPrintf(1, "<=StopImprinterMotor ret=%d", ok ? 1 : 0);
  return ok;
}

void CImprinter::DisablePrint() {
  m_printEnable = m_textEnable = m_counterEnable = 0;
  m_dateTimeEnable = m_dateTimeFormat = m_patternEnable = 0;
}

void CImprinter::ClearAllData() {
  m_pattern.clear();
  m_text.clear();
  m_counter.clear();
  m_dateTime.clear();
}

bool CImprinter::InternalSetImprinterParameter() {
  if (!m_present) return true;
  DbgPrintf(1, "=>InternalSetImprinterParameter");
  bool ok = true;
  if (m_printEnable != 1) {
    ok = SendControl(kModeOrPattern, 0);
  } else {
    uint8_t clock[kClockLength] = {0, 0, 1, 0x0E, 0, 0, 0};
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    PutBE16(clock + 7, static_cast<uint16_t>(local.tm_year + 1900));
    clock[9] = static_cast<uint8_t>(local.tm_mon + 1);
    clock[10] = static_cast<uint8_t>(local.tm_mday);
    clock[11] = static_cast<uint8_t>(local.tm_hour);
    clock[12] = static_cast<uint8_t>(local.tm_min);
    clock[13] = static_cast<uint8_t>(local.tm_sec);
    ok &= Send(clock, sizeof clock, kClock);

    if (m_patternEnable) {
      if (!m_pattern.empty())
        ok &= Send(m_pattern.data(), static_cast<uint32_t>(m_pattern.size()), kModeOrPattern);
    } else {
      uint8_t mode = 0;
      if (m_counterEnable) mode |= 0x01;
      if (m_textEnable) mode |= 0x06;
      if (m_dateTimeEnable) mode |= static_cast<uint8_t>(0x08 | (m_dateTimeFormat << 4));
      ok &= SendControl(kModeOrPattern, mode);
    }
    if ((m_textEnable || m_dateTimeEnable) && !m_text.empty()) {
      ok &= Send(m_text.data(), static_cast<uint32_t>(m_text.size()), kText);
    }
    uint8_t start[kStartLength] = {0, 0, 1, 0x27, 0, 0, 0};
    if (m_counterEnable) {
      if (!m_counter.empty())
        ok &= Send(m_counter.data(), static_cast<uint32_t>(m_counter.size()), kCounter);
      PutBE32(start + 19, m_counterValue);
    }
    if (m_dateTimeEnable) {
      if (!m_dateTime.empty())
        ok &= Send(m_dateTime.data(), static_cast<uint32_t>(m_dateTime.size()), kDateTimeFormat);
      PutBE32(start + 23, m_dateTimeValue);
    }
    if (m_textEnable) {
      for (int i = 0; i < 3; ++i) PutBE32(start + 7 + 4 * i, m_textValue[i]);
    }
    ok &= Send(start, sizeof start, kStart);
  }
  DbgPrintf(1, "<=InternalSetImprinterParameter ret=%d", ok ? 1 : 0);
  return ok;
}

long CImprinter::TakeSettings(const KR_Imprinter_Parameter& s, const uint8_t* text,
                              const uint8_t* counter, const uint8_t* dateTime,
                              const uint8_t* pattern) {
  DisablePrint();
  ClearAllData();
  if (s.TextEnable == 0 && s.CounterEnable == 0 && s.DateTimeFormat == 0) return kOK;
  if (s.DateTimeFormat > 6) {
    DbgPrintf(1, "Imprinter date-time format %d out of range", s.DateTimeFormat);
    return kParameterError;
  }
  m_printEnable = 1;

  if (s.TextEnable != 0 || s.DateTimeFormat != 0) {
    if (s.TextEnable != 0) {
      m_textEnable = 1;
      m_textValue[0] = s.TextPosition1;
      m_textValue[1] = s.TextPosition2;
      m_textValue[2] = s.TextPosition3;
    }
    const uint32_t bytes = 2 * SumOfLengths(s.TextLength, 10);
    if (bytes != 0 && text == nullptr) {
      DbgPrintf(1, "Imprinter text of %u bytes without data", bytes);
      return kParameterError;
    }
    m_text = DataBuffer(29, bytes);
    m_text[7] = s.TextHeader;
    for (int i = 0; i < 10; ++i) {
      m_text[9 + 2 * i] = s.TextAttribute[i];
      m_text[10 + 2 * i] = s.TextLength[i];
    }
    if (bytes != 0) std::memcpy(&m_text[29], text, bytes);
  }

  if (s.CounterEnable != 0) {
    m_counterEnable = 1;
    m_counterValue = s.CounterValue;
    const uint32_t bytes = s.CounterLength;
    if (bytes > kMaxDataLength || (bytes != 0 && counter == nullptr)) {
      DbgPrintf(1, "Imprinter counter data of %u bytes refused", bytes);
      return kParameterError;
    }
    m_counter = DataBuffer(7, bytes);
    if (bytes != 0) std::memcpy(&m_counter[7], counter, bytes);
  }

  if (s.DateTimeFormat != 0) {
    m_dateTimeEnable = 1;
    m_dateTimeFormat = static_cast<uint8_t>(s.DateTimeFormat - 1);
    m_dateTimeValue = s.DateTimeValue;
    // Without data the device keeps the format it has.
    if (dateTime != nullptr) {
      const uint32_t bytes = 2 * SumOfLengths(s.DateTimeLength, 6);
      m_dateTime = DataBuffer(21, bytes);
      m_dateTime[7] = s.DateTimeHeader;
      for (int i = 0; i < 6; ++i) {
        m_dateTime[9 + 2 * i] = s.DateTimeAttribute[i];
        m_dateTime[10 + 2 * i] = s.DateTimeLength[i];
      }
      if (bytes != 0) std::memcpy(&m_dateTime[21], dateTime, bytes);
    }
  }

  if (s.PatternEnable != 0) {
    m_patternEnable = 1;
    const uint32_t bytes = s.PatternLength;
    if (bytes > kMaxDataLength || (bytes != 0 && pattern == nullptr)) {
      DbgPrintf(1, "Imprinter pattern of %u bytes refused", bytes);
      return kParameterError;
    }
    m_pattern = DataBuffer(7, bytes);
    if (bytes != 0) std::memcpy(&m_pattern[7], pattern, bytes);
    for (uint32_t i = 0; i < bytes; ++i) {
      const uint8_t mark = pattern[i];
      bool fits = true;
      if ((mark & 0x01) != 0 && !m_counterEnable) fits = false;
      if ((mark & 0x02) != 0 && !m_textEnable) fits = false;
      if ((mark & 0x08) != 0) {
        const uint32_t item = mark >> 4;
        // Items 0 to 7 exist; a higher number names nothing the device could print.
        if (!m_dateTimeEnable || item > 7 || !ItemFitsFormat(item, s.DateTimeFormat)) fits = false;
      }
      if (!fits) {
        DbgPrintf(1,
                  "The datetime setting is out of the scope of the SetImprinterParameter defined.");
        return kParameterError;
      }
    }
  }
  return kOK;
}

bool CImprinter::FillAbility(uint8_t* record) {
  std::memset(record, 0, sizeof(KR_Imprinter_Ability));
  const uint16_t version = 200, size = sizeof(KR_Imprinter_Ability);
  std::memcpy(record, &version, 2);
  std::memcpy(record + 2, &size, 2);
  std::memcpy(record + 4, m_inquiry + 18, 16);
  std::memcpy(record + 36, m_inquiry + 14, 4);
  if (!GetImprinterInfo(nullptr)) return false;
  for (int i = 0; i < 4; ++i) {
    const uint32_t v = GetBE32(m_information + 7 + 4 * i);
    std::memcpy(record + 44 + 4 * i, &v, 4);
  }
  return true;
}

// ---- exports ---------------------------------------------------------------------------------

namespace {
// Whether an imprinter export may go on: -2019 without an imprinter, -2001 during a job (the job
// start and end drive the imprinter then).
long ImprinterRefusal(const CScannerManagerScannerItem* item) {
  if (item->pImprinter == nullptr) return kNotFound;
  if (item->bJobRunning) return kScannerBusy;
  return kOK;
}
}  // namespace

KR_API long KRSetImprinterParameter(uint32_t /*ctrlId*/, uint32_t* handle,
                                    KR_Imprinter_Parameter* settings, uint8_t* text,
                                    uint8_t* counter, uint8_t* dateTime, uint8_t* pattern) {
  return DeviceExport("KRSetImprinterParameter", handle).Run([&](CScannerManagerScannerItem* item) {
    if (long refused = ImprinterRefusal(item)) return refused;
    CImprinter* imprinter = item->pImprinter;
    IoLockScope lock(item->pIoObject);
    // Only as much of the client's settings as their Size covers is read; the rest counts as 0.
    KR_Imprinter_Parameter taken;
    std::memset(&taken, 0, sizeof taken);
    long result = kParameterError;
    if (!lock.ok()) {
      // The earlier settings must not print either: they are dropped below like refused ones.
      result = CommandFailure(item);
    } else if (settings != nullptr) {
      uint16_t size;
      std::memcpy(&size, reinterpret_cast<const uint8_t*>(settings) + 2, 2);
      if (size >= 4) {
        std::memcpy(&taken, settings, size < sizeof taken ? size : sizeof taken);
        result = imprinter->TakeSettings(taken, text, counter, dateTime, pattern);
      } else {
        DbgPrintf(1, "Client imprinter settings size %d too small", size);
      }
    }
    if (result == kOK) {
      if (imprinter->IsPrintEnabled()) imprinter->SetArmed(true);
      if (!imprinter->InternalSetImprinterParameter()) {
        // The device refused part of the settings: they must not read as set.
        result = RecordFailure(item, static_cast<int32_t>(imprinter->GetStatusLong()));
      }
    }
    if (result == kOK) {
      SCANPARAMETER_UNION stored;
      item->pScanner->GetAPScanParameter(&stored);
      const uint16_t method = stored.ScanMethod;
      if (imprinter->IsPresent() && (stored.ExtParam0 & 0x4000) != 0 &&
          (method == 1 || method == 4 || method == 5)) {
        static const uint8_t kEndOfJobBlock[9] = {0, 0, 1, 0, 9, 0, 0, 0, 0};
        bool ok = imprinter->EnableImprinterHead() &&
                  item->pIoObject->Send(kEndOfJobBlock, sizeof kEndOfJobBlock, kEndOfJob) &&
                  imprinter->DisableImprinterHead() && imprinter->StopImprinterMotor(true);
        if (!ok) result = CommandFailure(item);
      }
    }
    if (result != kOK) {
      // A refused or failed setting leaves the device told not to print.
      imprinter->DisablePrint();
      imprinter->ClearAllData();
      imprinter->InternalSetImprinterParameter();
    }
    return result;
  });
}

KR_API long KRGetImprinterAbility(uint32_t /*ctrlId*/, uint32_t* handle, void** ability) {
  return DeviceExport("KRGetImprinterAbility", handle).Run([&](CScannerManagerScannerItem* item) {
    if (long refused = ImprinterRefusal(item)) return refused;
    if (ability == nullptr) return static_cast<long>(kParameterError);
    // A client's record is filled only when its Size says the whole record fits.
    if (*ability != nullptr) {
      uint16_t given;
      std::memcpy(&given, static_cast<const uint8_t*>(*ability) + 2, 2);
      if (given < sizeof(KR_Imprinter_Ability)) {
        DbgPrintf(1, "Client imprinter ability size %d too small", given);
        return static_cast<long>(kParameterError);
      }
    }
    IoLockScope lock(item->pIoObject);
    if (!lock.ok()) return CommandFailure(item);
    uint8_t record[sizeof(KR_Imprinter_Ability)];
    if (!item->pImprinter->FillAbility(record)) return CommandFailure(item);
    void* out = *ability;
    if (out == nullptr) {
      out = pMemManager != nullptr ? pMemManager->NewMem(sizeof record) : nullptr;
      if (out == nullptr) {
        DbgPrintf(1, "memory allocation failed : %s", "imprinter ability");
        return static_cast<long>(kNoMemory);
      }
      *ability = out;
    }
    std::memcpy(out, record, sizeof record);
    return static_cast<long>(kOK);
  });
}
