#pragma once
// The imprinter line for a date and time: the common services' imprinter text, as the dialog's
// sample and the scan layer print it. Pure: the clock and the locale's date order come in
// through small ports, so every result can be fixed.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "ds/scan/common/Clock.h"

namespace ferrolite {

// Which part of a date the locale writes first.
enum class DateOrder { MonthDayYear, DayMonthYear, YearMonthDay };

class LocaleDateOrder {
 public:
  virtual ~LocaleDateOrder() = default;
  virtual DateOrder dateOrder() const = 0;
};

// The order of the locale's best pattern for a year, a full month name and a day ("yMMMMd"):
// its first letter 'M' means month first, 'd' day first, anything else year first.
class IcuDateOrder final : public LocaleDateOrder {
 public:
  // An empty name means the process's default locale.
  explicit IcuDateOrder(std::string localeName = {}) : localeName_(std::move(localeName)) {}
  DateOrder dateOrder() const override;

 private:
  std::string localeName_;
};

DateOrder dateOrderOfPattern(std::u16string_view pattern);

// Date separator codes: 0 none, 1 "/", 2 ",", 3 "-", 4 ".", 5 blank, other "0".
// Time separator codes: 0 none, 1 ":", 2 blank, other "0".
// Format: 1 date, 2 time, 3 date, a blank and the time; other values neither.
inline constexpr uint8_t kImprintDate = 1;
inline constexpr uint8_t kImprintTime = 2;
inline constexpr uint8_t kImprintDateAndTime = 3;

// "<date and time>-<text><counter>", or "<text><counter>" when no date or time is chosen.
std::string imprinterString(std::string_view text, std::string_view counter, uint8_t dateCode,
                            uint8_t timeCode, uint8_t format, const CivilTime& now,
                            DateOrder order);

}  // namespace ferrolite
