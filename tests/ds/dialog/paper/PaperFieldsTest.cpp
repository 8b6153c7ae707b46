// The paper page's six fields typed one keystroke at a time: the editor's text, the record and
// the posts, then the end of editing's clamps.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "ds/dialog/Units.h"
#include "ds/dialog/paper/PaperFields.h"

namespace ferrolite::dialog {
namespace {

struct Fields : testing::DialogFixture {
  PaperFieldFlags flags;
  std::string editor;
  PaperFieldResult type(PaperField field, const std::string& after) {
    DialogContext c = ctx();
    PaperFieldResult r = paperFieldChanged(field, editor, after, c, flags);
    editor = r.field.editorText.value_or(after);
    return r;
  }
  PaperFieldResult end(PaperField field, TextMovement m = TextMovement::Other) {
    DialogContext c = ctx();
    PaperFieldResult r = paperFieldEnded(field, editor, m, c, flags);
    editor = r.field.editorText.value_or(editor);
    return r;
  }
};

const Post kRectChange(note::kRectTextFieldChange);

TEST(PaperFields, InchOffsetsInHundredths) {
  struct Case {
    const char* text;
    const char* editor;
    uint16_t stored;
  } cases[] = {
      {"1.5", "1.5", 450},    {"12", "12", 3600}, {"1.25", "1.25", 375}, {"1.", "1.", 300},
      {"1", "1", 300},        {".5", ".5", 150},  {"1a2", "12", 3600},   {"1.2.3", "1.23", 369},
      {"1.255", "1.25", 375},  // a third decimal is dropped
  };
  for (const Case& c : cases) {
    Fields f;
    const PaperFieldResult r = f.type(PaperField::XOffset, c.text);
    EXPECT_EQ(f.editor, c.editor) << c.text;
    EXPECT_EQ(f.record.wXPos, c.stored) << c.text;
    EXPECT_EQ(r.field.posts, Posts{kRectChange}) << c.text;
  }
}

TEST(PaperFields, SizesInEachUnit) {
  Fields inch;
  inch.type(PaperField::Width, "8.5");
  EXPECT_EQ(inch.record.wWidth, 2550);
  inch.type(PaperField::Width, "8.505");  // width and length keep their decimals
  EXPECT_EQ(inch.editor, "8.505");
  Fields mm;
  mm.record.bPaperSizeUnit = kUnitMillimetre;
  mm.type(PaperField::Width, "210");
  EXPECT_EQ(mm.record.wWidth, 2480);
  EXPECT_FLOAT_EQ(mm.bridge.mmW, 210.0f);
  Fields px;
  px.record.bPaperSizeUnit = kUnitPixel;
  px.bridge.currentRes = 200;
  px.type(PaperField::Length, "1700");
  EXPECT_EQ(px.record.wLength, 2550);
  EXPECT_EQ(px.bridge.mPixelH, 1700u);
  EXPECT_EQ(px.globals.mMilimeterFlagH, 0);
  Fields longPage;
  longPage.record.bPaperSize = kPageLong;
  longPage.type(PaperField::Length, "100");
  EXPECT_EQ(longPage.record.dwLongLength, 30000u);
  EXPECT_EQ(longPage.record.wLength, 4200);  // the record's page length stays
}

TEST(PaperFields, FractionOfThirtyEightDigitsKeptAThirtyNinthCut) {
  Fields f;
  f.record.bPaperSizeUnit = kUnitMillimetre;
  const std::string digits38 = "1." + std::string(38, '5');
  f.type(PaperField::Width, digits38);
  EXPECT_EQ(f.editor, digits38);
  const PaperFieldResult r = f.type(PaperField::Width, digits38 + "5");
  EXPECT_EQ(r.field.editorText, digits38);
  EXPECT_EQ(f.record.wWidth, fromMillimetres(1.5555555555));
}

TEST(PaperFields, AnEmptySizeStoresNothingUntilEditingEnds) {
  Fields f;
  f.record.wWidth = 2480;
  f.editor = "8.26";
  const PaperFieldResult typed = f.type(PaperField::Width, "");
  EXPECT_TRUE(typed.field.posts.empty());
  EXPECT_EQ(f.record.wWidth, 2480);
  const PaperFieldResult ended = f.end(PaperField::Width);
  EXPECT_EQ(f.editor, "8.26");
  EXPECT_EQ(ended.field.posts, Posts{Post(note::kLandScapeAndPortraitCheck)});
}

TEST(PaperFields, OffsetClampsAtTheEnd) {
  struct Case {
    PaperField field;
    const char* text;
    uint16_t width;
    uint16_t x;
  } cases[] = {
      {PaperField::XOffset, "40000", 2550, 0},
      {PaperField::XOffset, "40000", 100, 2450},
      {PaperField::XOffset, "5", 2550, 0},
  };
  for (const Case& c : cases) {
    Fields f;
    f.record.wWidth = c.width;
    f.type(c.field, c.text);
    const PaperFieldResult r = f.end(c.field, TextMovement::Tab);
    EXPECT_EQ(f.record.wXPos, c.x) << c.text;
    EXPECT_EQ(f.editor, unitText(kUnitInch, c.x, 300));
    EXPECT_EQ(r.field.posts, (Posts{kRectChange, Post(note::kTextFieldMovement)}));
    EXPECT_EQ(f.globals.goNextTextFiled, 2);
  }
  // 30000 caps the typed value itself when the page leaves room.
  Fields wide;
  wide.current.ADFMaxWidth = 40000;
  wide.record.wWidth = 100;
  wide.type(PaperField::XOffset, "40000");
  wide.end(PaperField::XOffset);
  EXPECT_EQ(wide.record.wXPos, 30000);
}

TEST(PaperFields, YOffsetAndLengthHoldTheDetection) {
  Fields f;
  f.record.wLength = 3000;
  f.record.wLengthDetectionValue = 500;
  f.type(PaperField::YOffset, "5");  // 1500
  PaperFieldResult r = f.end(PaperField::YOffset, TextMovement::BackTab);
  EXPECT_EQ(f.record.wYPos, 1200);  // Y + length reached the feeder's length
  EXPECT_EQ(f.record.wLengthDetectionValue, 0);
  EXPECT_EQ(r.detectionText, "0.00");
  EXPECT_EQ(f.globals.goBackNextTextFiled, 1);
  Fields g;
  g.record.wLength = 3000;
  g.record.wLengthDetectionValue = 500;
  g.type(PaperField::YOffset, "3");  // 900: 900 + 3000 + 500 reaches 4200
  r = g.end(PaperField::YOffset);
  EXPECT_EQ(g.record.wYPos, 900);
  EXPECT_EQ(g.record.wLengthDetectionValue, 300);
  EXPECT_EQ(r.detectionText, "1.00");
  Fields l;
  l.record.wYPos = 300;
  l.type(PaperField::Length, "14");
  l.end(PaperField::Length);
  EXPECT_EQ(l.record.wLength, 3900);
}

TEST(PaperFields, WidthAndLengthMinima) {
  Fields flatbed;
  flatbed.record.bScanSource = kSourceFlatbed;
  flatbed.type(PaperField::Width, "0.1");
  flatbed.end(PaperField::Width);
  EXPECT_EQ(flatbed.record.wWidth, 75);  // the flatbed's minimum, not the feeder's
  Fields feeder;
  feeder.type(PaperField::Width, "0.1");
  feeder.end(PaperField::Width);
  EXPECT_EQ(feeder.record.wWidth, 150);
  Fields wide;
  wide.record.wXPos = 1000;
  wide.type(PaperField::Width, "8");
  wide.end(PaperField::Width);
  EXPECT_EQ(wide.record.wWidth, 1550);
}

TEST(PaperFields, LongPageHeldToTheLimitInEveryUnit) {
  for (uint8_t unit : {kUnitInch, kUnitMillimetre, kUnitPixel}) {
    Fields f;
    f.record.bPaperSize = kPageLong;
    f.record.bPaperSizeUnit = unit;
    f.bridge.currentRes = 300;
    f.type(PaperField::Length, unit == kUnitMillimetre ? "4000" : "50000");
    f.end(PaperField::Length);
    EXPECT_EQ(f.record.dwLongLength, 35400u) << int(unit);
    EXPECT_EQ(f.record.wLength, 35400) << int(unit);
    f.type(PaperField::Length, "1");
    f.end(PaperField::Length);
    EXPECT_EQ(f.record.dwLongLength, 4200u) << int(unit);  // never shorter than the feeder
  }
}

TEST(PaperFields, DetectionLength) {
  struct Step {
    const char* after;
    std::optional<std::string> editor;
    uint16_t stored;
  };
  struct Case {
    uint8_t unit;
    std::vector<Step> steps;
  } cases[] = {
      {kUnitInch, {{"0", {}, 0}, {"01", "1", 300}}},
      {kUnitInch, {{"0", {}, 0}, {"00", "0", 0}}},
      {kUnitInch, {{"0.", {}, 0}, {"0.5", {}, 150}, {"0.555", "0.55", 165}}},
      {kUnitInch, {{"", "0", 0}}},
      {kUnitInch, {{"a", "", 0}}},
      {kUnitInch, {{"9", "4.00", 1200}}},  // held to what the feeder leaves
      {kUnitPixel, {{"7", {}, 7}, {"70", {}, 70}, {"a", "0", 0}}},  // unscaled
      {kUnitPixel, {{"0", {}, 0}, {"05", "5", 5}}},
      {kUnitPixel, {{"5000", "1200", 1200}}},
      {kUnitMillimetre, {{"10", {}, 118}, {"500", "101.6", 1200}}},
  };
  for (const Case& c : cases) {
    Fields f;
    f.record.wLength = 3000;
    f.record.bPaperSizeUnit = c.unit;
    for (const Step& s : c.steps) {
      const PaperFieldResult r = f.type(PaperField::Detection, s.after);
      EXPECT_EQ(r.field.editorText, s.editor) << int(c.unit) << " " << s.after;
      EXPECT_EQ(f.record.wLengthDetectionValue, s.stored) << int(c.unit) << " " << s.after;
      EXPECT_TRUE(r.field.posts.empty());
    }
  }
  Fields f;
  f.record.wLength = 3000;
  f.record.bPaperSizeUnit = kUnitPixel;
  f.type(PaperField::Detection, "12");
  const PaperFieldResult r = f.end(PaperField::Detection, TextMovement::Tab);
  EXPECT_EQ(f.editor, "12");
  EXPECT_EQ(r.field.posts, Posts{Post(note::kTextFieldMovement)});
  EXPECT_EQ(f.globals.goNextTextFiled, 6);
}

TEST(PaperFields, ReloadTime) {
  const Posts noise = {whichPost(note::kOptionNoise, "noiseNumber"),
                       whichPost(note::kOptionNoise, "noiseRadius")};
  Fields f;
  f.type(PaperField::ReloadTime, "3");
  f.type(PaperField::ReloadTime, "30");
  PaperFieldResult r = f.type(PaperField::ReloadTime, "301");
  EXPECT_EQ(f.editor, "30");
  EXPECT_EQ(f.record.wTransportTimeout, 30);
  EXPECT_EQ(r.field.posts, noise);
  Fields zero;
  zero.type(PaperField::ReloadTime, "0");
  zero.type(PaperField::ReloadTime, "07");
  EXPECT_EQ(zero.editor, "0");
  EXPECT_EQ(zero.record.wTransportTimeout, 0);
  Fields paste;
  paste.type(PaperField::ReloadTime, "9999");
  EXPECT_EQ(paste.editor, "999");
  EXPECT_EQ(paste.record.wTransportTimeout, 999);
  r = paste.end(PaperField::ReloadTime, TextMovement::Tab);
  EXPECT_EQ(paste.editor, "300");
  EXPECT_EQ(paste.record.wTransportTimeout, 300);
  EXPECT_EQ(r.field.posts, Posts{Post(note::kTextFieldMovement)});
  Fields empty;
  empty.editor = "5";
  r = empty.type(PaperField::ReloadTime, "");
  EXPECT_EQ(empty.editor, "0");
  EXPECT_TRUE(r.field.posts.empty());
}

}  // namespace
}  // namespace ferrolite::dialog
