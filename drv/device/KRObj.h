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
