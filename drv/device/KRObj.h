#pragma once
// Status base shared by the command object, the model object and the imprinter.
#include <atomic>
#include <cstdint>

#include "vantrel/status_codes.h"

class KRObj {
 public:
  uint32_t GetStatusLong() const { return static_cast<uint32_t>(m_status.load()); }
  // Forgets the last status, so a later step reads only its own.
  void ResetStatus() { m_status = 0; }
  // Reference list of every status code the driver reports, ended by {65535, ""}.
  static constexpr const KRErrorRecord (&ErrorTable)[31] = kKRErrorTable;
  // Text of a code from the table ("" when it has none); for tests and diagnostics only.
  static const char* ErrorText(int32_t code) { return KRStatusText(code); }

 protected:
  // Written by the thread that runs the device's exchange, read by the export that asked.
  std::atomic<int32_t> m_status{0};
};

// Status codes used across the driver.
namespace krstatus {
constexpr int32_t kOK = 0;
constexpr int32_t kScannerBusy = -2001;
constexpr int32_t kHandshakeTimeout = -2003;
constexpr int32_t kParameterError = -2005;
constexpr int32_t kNoMemory = -2006;
constexpr int32_t kLocked = -2008;
constexpr int32_t kWarmUp = -2009;
constexpr int32_t kReadAbort = -2010;
constexpr int32_t kPaperJam = -2013;
constexpr int32_t kCoverOpen = -2014;
constexpr int32_t kNoPaper = -2015;
constexpr int32_t kNotFound = -2019;
constexpr int32_t kHomeFailed = -2021;
constexpr int32_t kEndOfPage = -2022;
constexpr int32_t kSystemError = -2023;
constexpr int32_t kNvramWrite = -2024;
constexpr int32_t kSkew = -2033;
constexpr int32_t kEndOfFile = -2038;
constexpr int32_t kLampOff = -2041;  // outside the table: the lamp was off at job start
constexpr int32_t kUnknown = -2999;
constexpr int32_t kMultiFeed = -3101;
constexpr int32_t kEopMultiFeed = -60000;
}  // namespace krstatus
