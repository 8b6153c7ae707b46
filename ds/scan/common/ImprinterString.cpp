#include "ds/scan/common/ImprinterString.h"

#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <cstdio>
#include <memory>

namespace ferrolite {

namespace {

// A separator code as the character put between the parts; 0 when the code asks for none.
char dateSeparator(uint8_t code) {
  switch (code) {
    case 0:
      return 0;
    case 1:
      return '/';
    case 2:
      return ',';
    case 3:
      return '-';
    case 4:
      return '.';
    case 5:
      return ' ';
    default:
      return '0';
  }
}

char timeSeparator(uint8_t code) {
  switch (code) {
    case 0:
      return 0;
    case 1:
      return ':';
    case 2:
      return ' ';
    default:
      return '0';
  }
}

// Three numbers of the given widths joined by the separator, or run together without one.
std::string joinParts(int a, int wa, int b, int wb, int c, int wc, char separator) {
  char buffer[64];
  if (separator) {
    std::snprintf(buffer, sizeof buffer, "%0*d%c%0*d%c%0*d", wa, a, separator, wb, b, separator, wc,
                  c);
  } else {
    std::snprintf(buffer, sizeof buffer, "%0*d%0*d%0*d", wa, a, wb, b, wc, c);
  }
  return buffer;
}

std::string dateText(const CivilTime& t, char separator, DateOrder order) {
  switch (order) {
    case DateOrder::MonthDayYear:
      return joinParts(t.month, 2, t.day, 2, t.year, 4, separator);
    case DateOrder::DayMonthYear:
      return joinParts(t.day, 2, t.month, 2, t.year, 4, separator);
    case DateOrder::YearMonthDay:
      break;
  }
  return joinParts(t.year, 4, t.month, 2, t.day, 2, separator);
}

}  // namespace

DateOrder dateOrderOfPattern(std::u16string_view pattern) {
  if (!pattern.empty() && pattern.front() == u'M') return DateOrder::MonthDayYear;
  if (!pattern.empty() && pattern.front() == u'd') return DateOrder::DayMonthYear;
  return DateOrder::YearMonthDay;
}

DateOrder IcuDateOrder::dateOrder() const {
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale locale =
      localeName_.empty() ? icu::Locale::getDefault() : icu::Locale(localeName_.c_str());
  std::unique_ptr<icu::DateTimePatternGenerator> generator(
      icu::DateTimePatternGenerator::createInstance(locale, status));
  if (U_FAILURE(status) || !generator) return DateOrder::YearMonthDay;
  icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString(u"yMMMMd"), status);
  if (U_FAILURE(status)) return DateOrder::YearMonthDay;
  return dateOrderOfPattern(std::u16string_view(pattern.getBuffer(), pattern.length()));
}

std::string imprinterString(std::string_view text, std::string_view counter, uint8_t dateCode,
                            uint8_t timeCode, uint8_t format, const CivilTime& now,
                            DateOrder order) {
  std::string dateTime;
  const std::string date = dateText(now, dateSeparator(dateCode), order);
  const std::string time =
      joinParts(now.hour, 2, now.minute, 2, now.second, 2, timeSeparator(timeCode));
  if (format == kImprintDate) {
    dateTime = date;
  } else if (format == kImprintTime) {
    dateTime = time;
  } else if (format == kImprintDateAndTime) {
    dateTime = date + " " + time;
  }
  std::string line;
  if (!dateTime.empty()) line = dateTime + "-";
  line.append(text);
  line.append(counter);
  return line;
}

}  // namespace ferrolite
