#pragma once
// A driver library for the module's tests that plays a script instead of a scanner: what each
// KRSetParameter, KRStartScan and paper sensor read answers, and the callbacks each page
// delivery makes (data and status codes), on a delivery thread of its own as the real driver's
// reader thread does. The module loads it as "Vantrel.so"; the test links the same library, so
// both see one script.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "vantrel/device_records.h"
#include "vantrel/scan_parameters.h"

// The control functions leave the library beside the exports.
#define SCRIPTED_API __attribute__((visibility("default")))

namespace scripted {

// One call of the client's callback.
struct Callback {
  std::vector<uint8_t> data;
  long status0 = 0;
  long status1 = 0;
  bool errorCount = false;  // the byte count is the error count (0xFFFFFFFF)
  bool nullData = false;    // the data pointer is null (the count stays data.size())
  // The data is the whole page the last parameter record asks for: byte (row * 3 + column) & 0xFF
  // of each row of BytesPerLine bytes.
  bool wholePage = false;
};
using Delivery = std::vector<Callback>;

struct Script {
  DeviceAbility ability{};
  std::deque<long> setParameter;  // one result per call; 0 once empty
  std::deque<long> startScan;     // one result per call; 0 once empty
  std::deque<long> stopScan;      // one result per call; 0 once empty
  // One per KRStartScan that answers 0, -2022 or -2038; none left: a delivery of one page end.
  std::deque<Delivery> deliveries;
  // The sensor's byte per read, the scan's own check at its start first; 1 (paper) once empty.
  std::deque<uint8_t> paper;
};

// A feeder-only scanner at 300 dpi (base and optical), A4-wide, raw pages, every bound 1.
SCRIPTED_API DeviceAbility feederAbility();

// Replaces the script and forgets the calls.
SCRIPTED_API void reset(const Script& script);
// The calls so far, as "KRStopScan(1)", "KRSetGamma(2)", "KRStartScan" ...
SCRIPTED_API std::vector<std::string> calls();
// What the client's callback answered, in order.
SCRIPTED_API std::vector<long> callbackResults();
// The last record KRSetParameter received.
SCRIPTED_API SCANPARAMETER_UNION lastParameter();
// The whole-page pattern for a record.
SCRIPTED_API std::vector<uint8_t> pagePattern(const SCANPARAMETER_UNION& p);

}  // namespace scripted
