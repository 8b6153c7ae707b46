#pragma once
// Local calendar time through a small port, so that the log's time stamps, the log's day check
// and the imprinter's date can be fixed in tests.
#include <chrono>

namespace ferrolite {

// A local calendar date and time (the calendar year, never the week-based one).
struct CivilTime {
  int year = 1970;
  int month = 1;  // 1-12
  int day = 1;    // 1-31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// The local calendar time of an instant.
CivilTime localCivilTime(std::chrono::system_clock::time_point instant);

class Clock {
 public:
  virtual ~Clock() = default;
  virtual CivilTime now() const = 0;
};

// The machine's local time.
class SystemClock final : public Clock {
 public:
  CivilTime now() const override;
};

}  // namespace ferrolite
