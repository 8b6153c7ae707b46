#pragma once
// The driver's status codes, named once, and their table of texts. Exports return the bare
// code; the table is the reference list, kept here so that clients showing texts read the same
// one.
#include <cstdint>

namespace krstatus {
// Every code the driver reports. 0 is success; the codes without a text in the table map device
// conditions that have none (their sense code in the name where the device gives no meaning).
enum Code : int32_t {
  kOK = 0,
  kDriverBusy = -2000,
  kScannerBusy = -2001,
  kHandshakeTimeout = -2003,
  kParameterError = -2005,
  kNoMemory = -2006,
  kLocked = -2008,
  kWarmUp = -2009,
  kReadAbort = -2010,
  kPaperJam = -2013,
  kCoverOpen = -2014,
  kNoPaper = -2015,
  kNoWinAspi = -2018,
  kNotFound = -2019,
  kHomeFailed = -2021,
  kEndOfPage = -2022,
  kSystemError = -2023,
  kNvramWrite = -2024,
  kSkew = -2033,
  kSense1505 = -2036,
  kEndOfFile = -2038,
  kBlankPage = -2039,
  kSense8023 = -2040,
  kLampOff = -2041,
  kSense8024 = -2042,
  kUnknown = -2999,
  kSense1502 = -3001,
  kFlatbedDram = -3003,
  kAdfDram = -3004,
  kFlatbedLamp = -3005,
  kAdfLamp = -3006,
  kFlatbedCoverOpen = -3007,
  kSense6003 = -3010,
  kMultiFeed = -3101,
  kMisfeed = -3211,
  kEopMultiFeed = -60000,
  kEopBlankPage = -60001,
  kDataTimeout = 172,  // both time-out records of the table
  kTableEnd = 65535,   // the table's end mark, no status
};
}  // namespace krstatus

struct KRErrorRecord {
  int32_t code;
  char text[32];
};

// The reference list in its order, ended by {kTableEnd, ""}. The two time-out records share 172.
inline constexpr KRErrorRecord kKRErrorTable[31] = {
    {krstatus::kOK, "OK"},
    {krstatus::kDriverBusy, "Driver Busy"},
    {krstatus::kScannerBusy, "Scanner Busy"},
    {krstatus::kHandshakeTimeout, "HandShake Time Out"},
    {krstatus::kParameterError, "Parameter Check Error"},
    {krstatus::kNoMemory, "Allocate Memory Failed"},
    {krstatus::kLocked, "Scanner locked"},
    {krstatus::kWarmUp, "Scanner Warm up"},
    {krstatus::kReadAbort, "Read Abort"},
    {krstatus::kPaperJam, "Paper Jam"},
    {krstatus::kCoverOpen, "ADF Cover Open"},
    {krstatus::kSkew, "Occur skew"},
    {krstatus::kMultiFeed, "Multiple feed"},
    {krstatus::kNoWinAspi, "not find winaspi"},
    {krstatus::kNotFound, "not find scanner"},
    {krstatus::kHomeFailed, "Back to Home Position Failed"},
    {krstatus::kEndOfPage, "end of page"},
    {krstatus::kSystemError, "System error"},
    {krstatus::kNvramWrite, "Write NVRAM error"},
    {krstatus::kUnknown, "unknow error"},
    {krstatus::kFlatbedDram, "Flatbed DRAM Error"},
    {krstatus::kAdfDram, "ADF DRAM Error"},
    {krstatus::kFlatbedLamp, "Flatbed Lamp Error"},
    {krstatus::kAdfLamp, "ADF Lamp Error"},
    {krstatus::kDataTimeout, "Read data time out"},
    {krstatus::kDataTimeout, "Send data time out"},
    {krstatus::kFlatbedCoverOpen, "Flatbed cover open"},
    {krstatus::kNoPaper, "No paper in ADF"},
    {krstatus::kEopMultiFeed, "EOP+Multifeed"},
    {krstatus::kEopBlankPage, "EOP+Blank peper"},
    {krstatus::kTableEnd, ""},
};

// Text of a code ("" when the table has none); the first of two equal codes wins.
constexpr const char* KRStatusText(long code) {
  for (const KRErrorRecord& r : kKRErrorTable) {
    if (r.code == krstatus::kTableEnd) break;
    if (r.code == code) return r.text;
  }
  return "";
}
