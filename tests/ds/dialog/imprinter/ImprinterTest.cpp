// The imprinter page: the counter rule, separators, maxima, enabling, the More sheet, the
// sample line's layout and the four fields typed one keystroke at a time.
#include <gtest/gtest.h>

#include <memory>

#include "DialogFixture.h"
#include "ds/dialog/imprinter/ImprinterFields.h"
#include "ds/dialog/imprinter/ImprinterPage.h"
#include "ds/dialog/imprinter/ImprinterSample.h"

namespace ferrolite::dialog {
namespace {

TEST(ImprinterCounter, TextRule) {
  struct Case {
    const char* digits;
    std::size_t n;
    const char* text;
  } cases[] = {
      {"7", 0, "7"},
      {"7", 4, "0007"},
      {"345", 2, "345"},
      {"7", 10, "0000000007"},
      {"0042", 0, "42"},
      {"0", 0, "0"},
      {"", 3, "000"},
      {"12345678901234", 3, "12345678901234"},  // more than ten digits
      {"12345678901234", 14, "12345678901234"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(counterText(c.digits, c.n), c.text) << c.digits << "/" << c.n;
  EXPECT_EQ(counterItem("0001"), 4u);
  EXPECT_EQ(counterItem("12"), 2u);
  EXPECT_EQ(counterItem(""), 0u);
  EXPECT_EQ(counterItem("12345678901234"), 10u);
  EXPECT_EQ(counterFieldText("0001"), "0001");
  EXPECT_EQ(counterFieldText("12"), "12");
  EXPECT_EQ(counterFieldText(""), "");
}

TEST(ImprinterPage, SeparatorsMaximaEnablingAndTheMoreSheet) {
  EXPECT_EQ(dateSeparatorOf("Separator"), std::nullopt);
  EXPECT_EQ(dateSeparatorOf("None"), (Separator{'0', 0}));
  EXPECT_EQ(dateSeparatorOf("/"), (Separator{'/', 1}));
  EXPECT_EQ(dateSeparatorOf(","), (Separator{',', 2}));
  EXPECT_EQ(dateSeparatorOf("-"), (Separator{'-', 3}));
  EXPECT_EQ(dateSeparatorOf("."), (Separator{'.', 4}));
  EXPECT_EQ(dateSeparatorOf("Space"), (Separator{' ', 5}));
  EXPECT_EQ(timeSeparatorOf(":"), (Separator{':', 1}));
  EXPECT_EQ(timeSeparatorOf("Space"), (Separator{' ', 2}));
  EXPECT_EQ(timeSeparatorOf("Separator"), std::nullopt);

  testing::DialogFixture f;
  EXPECT_EQ(imprinterMaxX(f.ctx().ability()), 215);  // 215.9 truncated
  EXPECT_EQ(imprinterMaxY(f.ctx().ability()), 355);
  EXPECT_EQ(imprinterEnable(false, kPrintAreaCustom), (ImprinterEnable{false, false}));
  EXPECT_EQ(imprinterEnable(true, 0), (ImprinterEnable{true, false}));
  EXPECT_EQ(imprinterEnable(true, kPrintAreaCustom), (ImprinterEnable{true, true}));
  EXPECT_FLOAT_EQ(densityGrey(128), 128.0f / 255.0f);
  EXPECT_FLOAT_EQ(densityGrey(255), 1.0f);

  ImprinterMore more;
  f.record.bPrintDensity = 10;
  more.keep(f.record);
  f.record.bPrintDensity = 128;  // the slider edits the record live
  more.cancel(f.record);
  EXPECT_EQ(f.record.bPrintDensity, 10);
  f.record.bPrintSize = 7;
  more.ok(f.record);
  f.record.bPrintSize = 9;
  more.cancel(f.record);
  EXPECT_EQ(f.record.bPrintSize, 7);

  EXPECT_EQ(imprinterTabTarget(3, false), 1);
  EXPECT_EQ(imprinterTabTarget(3, true), 3);
  EXPECT_EQ(imprinterBackTabTarget(4, false), 2);
  EXPECT_EQ(imprinterTabTarget(5, true), std::nullopt);
}

// Every character 7 points wide in Arial, 8 in Courier.
struct FixedMetrics final : FontMetrics {
  double widthOfString(std::string_view text, std::string_view face, double) const override {
    return static_cast<double>(text.size()) * (face == "Courier" ? 8 : 7);
  }
};

TEST(ImprinterSample, Layout) {
  const FixedMetrics m;
  struct Case {
    const char* line;
    uint8_t attribute, orientation;
    bool fixed;
    std::size_t blanks;
    const char* face;
    double size, y, rotation;
    SampleAlignment alignment;
  } cases[] = {
      {"ABC0007", 0, 0, false, 0, "Arial", 13, 17, 0, SampleAlignment::Left},
      {"ABC0007", 1, 0, false, 0, "Arial", 13, 17, 0, SampleAlignment::Left},
      {"ABC0007", 1, 1, false, 112, "Arial", 13, 64, 180, SampleAlignment::Right},
      {"ABC0007", 1, 1, true, 53, "Courier", 13, 64, 180, SampleAlignment::Right},
      {"ABC0007", 2, 0, false, 0, "Arial", 26, 28, 0, SampleAlignment::Left},
      {"ABC0007", 2, 1, false, 0, "Arial", 26, 64, 180, SampleAlignment::Right},
      {"ABC0007", 3, 0, true, 0, "Courier Bold", 13, 17, 0, SampleAlignment::Left},
      {"ABC0007", 9, 0, false, 0, "Arial Bold", 13, 17, 0, SampleAlignment::Left},
  };
  for (const Case& c : cases) {
    const SampleLayout s = showSampleString(c.line, c.attribute, c.orientation, c.fixed, m);
    EXPECT_EQ(s.text, std::string(c.blanks, ' ') + c.line) << int(c.attribute);
    EXPECT_EQ(s.face, c.face);
    EXPECT_EQ(s.size, c.size);
    EXPECT_EQ(s.y, c.y);
    EXPECT_EQ(s.rotation, c.rotation);
    EXPECT_EQ(s.alignment, c.alignment);
    EXPECT_EQ(s.underline, c.attribute == 1);
  }
  // A line already wider than the sample gets no padding; vertical orientations show none.
  const std::string wide(130, 'W');
  EXPECT_EQ(showSampleString(wide, 1, 1, false, m).text, wide);
  for (uint8_t orientation : {2, 3, 4, 5}) {
    EXPECT_EQ(showSampleString("ABC", 0, orientation, false, m).text, " ");
  }
  EXPECT_EQ(showSampleString("", 0, 0, false, m).text, "");
}

// The page's sample: the fields' texts and the record's date, time and format choices through
// the common services' line at the clock's time, then the layout for the record's look.
TEST(ImprinterSample, LineFromTheFieldsTheRecordAndTheClock) {
  const FixedMetrics m;
  const auto clock = std::make_shared<testing::FixedClock>(CivilTime{2031, 5, 6, 7, 8, 9});
  struct Case {
    uint8_t date, time, format;
    DateOrder order;
    const char* custom;
    const char* counter;
    const char* line;
  } cases[] = {
      {1, 1, 0, DateOrder::MonthDayYear, "ABC", "0007", "ABC0007"},
      {1, 1, 1, DateOrder::MonthDayYear, "ABC", "0007", "05/06/2031-ABC0007"},
      {4, 1, 1, DateOrder::DayMonthYear, "ABC", "0007", "06.05.2031-ABC0007"},
      {3, 1, 3, DateOrder::YearMonthDay, "", "12", "2031-05-06 07:08:09-12"},
      {1, 2, 2, DateOrder::MonthDayYear, "X", "", "07 08 09-X"},
      {1, 1, 0, DateOrder::MonthDayYear, "", "", ""},
  };
  ScanSetting r;
  for (const Case& c : cases) {
    r.bPrintDate = c.date;
    r.bPrintTime = c.time;
    r.bPrintFormat = c.format;
    const TezFRLCommon common(clock, std::make_shared<testing::FixedDateOrder>(c.order));
    EXPECT_EQ(sampleLine(r, c.custom, c.counter, common), c.line) << c.line;
  }
  // The record's look applies to that line: underlined and upside down, padded to the width.
  r.bPrintDate = 1;
  r.bPrintFormat = 1;
  r.bPrintFontAttri = 1;
  r.bPrintOrientation = 1;
  const TezFRLCommon common(clock,
                            std::make_shared<testing::FixedDateOrder>(DateOrder::MonthDayYear));
  const SampleLayout s = showSampleString(r, "ABC", "0007", false, m, common);
  EXPECT_EQ(s.text, std::string(119 - 18, ' ') + "05/06/2031-ABC0007");
  EXPECT_TRUE(s.underline);
  EXPECT_EQ(s.rotation, 180);
  EXPECT_EQ(s.y, 64);
}

using Field = testing::TypedField<ImprinterField, imprinterFieldChanged, imprinterFieldEnded>;

TEST(ImprinterFields, CustomText) {
  Field f(ImprinterField::CustomText, std::string(31, 'a'));
  FieldResult r = f.type(std::string(32, 'a'));
  EXPECT_EQ(f.editor, std::string(31, 'a'));
  EXPECT_EQ(r.posts, Posts{Post(note::kImprinterInput, {{"ImprinterText", std::string(31, 'a')}})});
  Field paste(ImprinterField::CustomText);
  paste.type(std::string(45, 'b'));  // a paste is cut until it fits
  EXPECT_EQ(paste.editor, std::string(31, 'b'));
  const FieldResult end = paste.end(TextMovement::Tab);
  EXPECT_EQ(end.posts, Posts{Post(note::kTextFieldMovementImprinter)});
  EXPECT_EQ(paste.globals.goNextTextFiled_Imprinter, 2);
}

TEST(ImprinterFields, Counter) {
  struct Case {
    const char* before;
    const char* after;
    const char* editor;
    int64_t posted;
  } cases[] = {
      {"", "0", "0", 0},
      {"", "a", "0", 0},
      {"", "00a12", "0012", 12},
      {"5", "", "", 0},
      {"214748364", "2147483647", "214748364", 214748364},
      {"", "99999999999", "999999999", 999999999},  // pasted: cut until it fits
      {"12", "123", "123", 123},
  };
  for (const Case& c : cases) {
    Field f(ImprinterField::Counter, c.before);
    const FieldResult r = f.type(c.after);
    EXPECT_EQ(f.editor, c.editor) << c.after;
    EXPECT_EQ(r.posts,
              Posts{Post(note::kImprinterTabCounter, {{"ImprinterTabCounterValue", c.posted}})})
        << c.after;
  }
}

TEST(ImprinterFields, Offsets) {
  Field x(ImprinterField::XOffset);  // the feeder's 2550 give 215 mm
  FieldResult r = x.type("2");
  x.type("21");
  r = x.type("216");
  EXPECT_EQ(x.editor, "21");
  EXPECT_EQ(r.posts,
            Posts{Post(note::kImprinterXOffset, {{"imprinterXOffsetValue", int64_t{21}}})});
  Field seven(ImprinterField::XOffset);
  seven.type("7");
  r = seven.type("");
  EXPECT_EQ(seven.editor, "0");
  EXPECT_TRUE(r.posts.empty());
  Field letter(ImprinterField::YOffset);
  letter.record.wPrintX = 12;
  letter.record.wPrintY = 40;
  letter.type("a");
  EXPECT_EQ(letter.editor, "0");
  EXPECT_EQ(letter.record.wPrintY, 0);
  EXPECT_EQ(letter.record.wPrintX, 12);
  Field paste(ImprinterField::XOffset);
  paste.type("99999");
  EXPECT_EQ(paste.editor, "99");  // cut until it fits the feeder
  Field leading(ImprinterField::XOffset, "007");
  r = leading.end(TextMovement::Other);  // Return: stored, no focus move
  EXPECT_EQ(leading.record.wPrintX, 7);
  EXPECT_EQ(leading.editor, "7");
  EXPECT_TRUE(r.posts.empty());
  Field back(ImprinterField::YOffset, "3");
  r = back.end(TextMovement::BackTab);
  EXPECT_EQ(back.globals.goBackNextTextFiled_Imprinter, 3);
  EXPECT_EQ(r.posts, Posts{Post(note::kTextFieldBackMovementImprinter)});
}

}  // namespace
}  // namespace ferrolite::dialog
