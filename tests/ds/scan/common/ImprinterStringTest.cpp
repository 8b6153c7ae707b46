// The imprinter line: separators, date orders and formats over a fixed clock, and the locale's
// order as ICU answers it for three locales.
#include <gtest/gtest.h>

#include "ds/scan/common/ImprinterString.h"

namespace ferrolite {
namespace {

// 30 December 2024 lies in the first week of 2025: a week-based year would print 2025.
constexpr CivilTime kNewYearsEve{2024, 12, 30, 9, 5, 7};

struct Case {
  const char* text;
  const char* counter;
  uint8_t date, time, format;
  DateOrder order;
  const char* line;
};

const Case kCases[] = {
    {"ABC", "0007", 1, 1, 0, DateOrder::MonthDayYear, "ABC0007"},
    {"", "", 1, 1, 0, DateOrder::MonthDayYear, ""},
    {"ABC", "", 1, 1, 7, DateOrder::MonthDayYear, "ABC"},  // unknown format: neither
    {"ABC", "12", 1, 0, 1, DateOrder::MonthDayYear, "12/30/2024-ABC12"},
    {"ABC", "12", 1, 0, 1, DateOrder::DayMonthYear, "30/12/2024-ABC12"},
    {"ABC", "12", 1, 0, 1, DateOrder::YearMonthDay, "2024/12/30-ABC12"},
    {"", "", 0, 0, 1, DateOrder::MonthDayYear, "12302024-"},
    {"", "", 0, 0, 1, DateOrder::YearMonthDay, "20241230-"},
    {"", "", 2, 0, 1, DateOrder::DayMonthYear, "30,12,2024-"},
    {"", "", 3, 0, 1, DateOrder::DayMonthYear, "30-12-2024-"},
    {"", "", 4, 0, 1, DateOrder::DayMonthYear, "30.12.2024-"},
    {"", "", 5, 0, 1, DateOrder::DayMonthYear, "30 12 2024-"},
    {"", "", 9, 0, 1, DateOrder::DayMonthYear, "3001202024-"},  // other codes: the digit 0
    {"T", "", 0, 1, 2, DateOrder::MonthDayYear, "09:05:07-T"},
    {"T", "", 0, 2, 2, DateOrder::MonthDayYear, "09 05 07-T"},
    {"T", "", 0, 0, 2, DateOrder::MonthDayYear, "090507-T"},
    {"T", "", 0, 7, 2, DateOrder::MonthDayYear, "09005007-T"},
    {"T", "9", 4, 1, 3, DateOrder::DayMonthYear, "30.12.2024 09:05:07-T9"},
};

TEST(ImprinterString, Lines) {
  for (const Case& c : kCases) {
    EXPECT_EQ(imprinterString(c.text, c.counter, c.date, c.time, c.format, kNewYearsEve, c.order),
              c.line)
        << "date " << int(c.date) << " time " << int(c.time) << " format " << int(c.format);
  }
}

TEST(ImprinterString, CalendarYearAtTheTurnOfTheYear) {
  // 1 January 2021 belongs to the last week of 2020.
  const CivilTime newYear{2021, 1, 1, 0, 0, 0};
  EXPECT_EQ(imprinterString("", "", 0, 0, 1, newYear, DateOrder::YearMonthDay), "20210101-");
}

TEST(ImprinterString, OrderFromTheFirstLetterOfThePattern) {
  EXPECT_EQ(dateOrderOfPattern(u"MMMM d, y"), DateOrder::MonthDayYear);
  EXPECT_EQ(dateOrderOfPattern(u"d. MMMM y"), DateOrder::DayMonthYear);
  EXPECT_EQ(dateOrderOfPattern(u"y\u5e74M\u6708d\u65e5"), DateOrder::YearMonthDay);
  EXPECT_EQ(dateOrderOfPattern(u""), DateOrder::YearMonthDay);
}

TEST(ImprinterString, IcuOrderOfThreeLocales) {
  EXPECT_EQ(IcuDateOrder("en_US").dateOrder(), DateOrder::MonthDayYear);
  EXPECT_EQ(IcuDateOrder("de_DE").dateOrder(), DateOrder::DayMonthYear);
  EXPECT_EQ(IcuDateOrder("ja_JP").dateOrder(), DateOrder::YearMonthDay);
}

TEST(ImprinterString, SystemClockGivesACalendarDate) {
  const CivilTime t = SystemClock().now();
  EXPECT_GE(t.year, 2024);
  EXPECT_GE(t.month, 1);
  EXPECT_LE(t.month, 12);
  EXPECT_GE(t.day, 1);
  EXPECT_LE(t.day, 31);
}

}  // namespace
}  // namespace ferrolite
