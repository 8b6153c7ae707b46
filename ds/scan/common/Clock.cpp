#include "ds/scan/common/Clock.h"

#include <ctime>

namespace ferrolite {

CivilTime localCivilTime(std::chrono::system_clock::time_point instant) {
  using namespace std::chrono;
  // Whole seconds first, so that the milliseconds never carry into the next second.
  const system_clock::time_point whole = floor<std::chrono::seconds>(instant);
  const std::time_t seconds = system_clock::to_time_t(whole);
  std::tm local{};
  localtime_r(&seconds, &local);
  return {local.tm_year + 1900,
          local.tm_mon + 1,
          local.tm_mday,
          local.tm_hour,
          local.tm_min,
          local.tm_sec,
          int(duration_cast<milliseconds>(instant - whole).count())};
}

CivilTime SystemClock::now() const { return localCivilTime(std::chrono::system_clock::now()); }

}  // namespace ferrolite
