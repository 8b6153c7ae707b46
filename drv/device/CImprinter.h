#pragma once
// The device's imprinter: finds it and its head, keeps the print settings and print data a
// client sets, sends them, switches head and motor around a job and answers the ability query.
// Every exchange is a READ or SEND of the command layer with the imprinter's data types.
#include <vantrel/device_records.h>

#include <cstdint>
#include <vector>

#include "drv/device/KRObj.h"

class IoObject;

namespace krimprinter {
constexpr uint16_t kInquiry = 0x200;
constexpr uint16_t kInformation = 0x201;
constexpr uint16_t kStart = 0x202;
constexpr uint16_t kModeOrPattern = 0x203;
constexpr uint16_t kDateTimeFormat = 0x204;
constexpr uint16_t kText = 0x205;
constexpr uint16_t kCounter = 0x206;
constexpr uint16_t kClock = 0x207;
constexpr uint16_t kHead = 0x20C;
constexpr uint16_t kMotor = 0x20D;
constexpr uint16_t kEndOfJob = 0xB2;
constexpr uint32_t kInquiryLength = 71;
constexpr uint32_t kInformationLength = 74;
constexpr uint32_t kStartLength = 39;
constexpr uint32_t kClockLength = 14;
constexpr uint32_t kControlLength = 8;
// Longest print data a client may hand over per buffer; more is refused as a bad parameter.
constexpr uint32_t kMaxDataLength = 1u << 20;
}  // namespace krimprinter

class CImprinter : public KRObj {
 public:
  // `io` is the device's command object; without one nothing is ever sent.
  explicit CImprinter(IoObject* io = nullptr);
  // Clears the settings and tells a fitted imprinter not to print.
  virtual ~CImprinter();
  CImprinter(const CImprinter&) = delete;
  CImprinter& operator=(const CImprinter&) = delete;

  bool FindImprinter();
  bool CheckImprinterHead();
  bool GetImprinterInfo(KR_Imprinter_Info_VER1* out);
  void GetImprinterInquiry(KR_Imprinter_Inquiry_VER1* out) const;
  bool EnableImprinterHead();
  bool DisableImprinterHead();
  bool StartImprinterMotor(bool prefire);
  bool StopImprinterMotor(bool needCheck);
  // Sends the stored settings; true unless a send failed (a failed send does not stop the rest).
  bool InternalSetImprinterParameter();
  void DisablePrint();
  void ClearAllData();

  // Takes a client's settings and print data (KRSetImprinterParameter steps 3 to 8): 0, or -2005
  // for a refused combination or missing data. Nothing is sent.
  long TakeSettings(const KR_Imprinter_Parameter& settings, const uint8_t* text,
                    const uint8_t* counter, const uint8_t* dateTime, const uint8_t* pattern);
  // The 120-byte ability record from the stored inquiry and a fresh information read.
  bool FillAbility(uint8_t* record);

  bool IsPresent() const { return m_present != 0; }
  bool IsHeadPresent() const { return m_headPresent != 0; }
  bool IsArmed() const { return m_armed != 0; }
  void SetArmed(bool armed) { m_armed = armed ? 1 : 0; }
  bool IsMotorRunning() const { return m_motorRunning != 0; }
  bool IsPrintEnabled() const { return m_printEnable != 0; }

 private:
  bool Send(const uint8_t* data, uint32_t length, uint16_t dataType);
  bool SendControl(uint16_t dataType, uint8_t value);
  bool ReadInquiry();

  uint8_t m_present = 0;
  uint8_t m_headPresent = 0;
  uint8_t m_armed = 0;
  uint8_t m_motorRunning = 0;
  uint8_t m_printEnable = 0;
  uint8_t m_textEnable = 0;
  uint8_t m_counterEnable = 0;
  uint8_t m_dateTimeEnable = 0;
  uint8_t m_dateTimeFormat = 0;  // the client's format number less 1
  uint8_t m_patternEnable = 0;
  uint32_t m_textValue[3] = {};
  uint32_t m_counterValue = 0;
  uint32_t m_dateTimeValue = 0;
  std::vector<uint8_t> m_pattern;
  std::vector<uint8_t> m_text;
  std::vector<uint8_t> m_counter;
  std::vector<uint8_t> m_dateTime;
  IoObject* m_io;
  uint8_t m_inquiry[krimprinter::kInquiryLength] = {};
  uint8_t m_information[krimprinter::kInformationLength] = {};
};
