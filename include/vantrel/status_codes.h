#pragma once
// The driver's status codes and their texts. Exports return the bare code; the table is the
// reference list, kept here once so that clients showing texts read the same one.
#include <cstdint>

struct KRErrorRecord {
  int32_t code;
  char text[32];
};

// Every code the driver reports, ended by {65535, ""}. The two time-out records share 172.
inline constexpr KRErrorRecord kKRErrorTable[31] = {
    {0, "OK"},
    {-2000, "Driver Busy"},
    {-2001, "Scanner Busy"},
    {-2003, "HandShake Time Out"},
    {-2005, "Parameter Check Error"},
    {-2006, "Allocate Memory Failed"},
    {-2008, "Scanner locked"},
    {-2009, "Scanner Warm up"},
    {-2010, "Read Abort"},
    {-2013, "Paper Jam"},
    {-2014, "ADF Cover Open"},
    {-2033, "Occur skew"},
    {-3101, "Multiple feed"},
    {-2018, "not find winaspi"},
    {-2019, "not find scanner"},
    {-2021, "Back to Home Position Failed"},
    {-2022, "end of page"},
    {-2023, "System error"},
    {-2024, "Write NVRAM error"},
    {-2999, "unknow error"},
    {-3003, "Flatbed DRAM Error"},
    {-3004, "ADF DRAM Error"},
    {-3005, "Flatbed Lamp Error"},
    {-3006, "ADF Lamp Error"},
    {172, "Read data time out"},
    {172, "Send data time out"},
    {-3007, "Flatbed cover open"},
    {-2015, "No paper in ADF"},
    {-60000, "EOP+Multifeed"},
    {-60001, "EOP+Blank peper"},
    {65535, ""},
};

// Text of a code ("" when the table has none); the first of two equal codes wins.
constexpr const char* KRStatusText(long code) {
  for (const KRErrorRecord& r : kKRErrorTable) {
    if (r.code == 65535) break;
    if (r.code == code) return r.text;
  }
  return "";
}
