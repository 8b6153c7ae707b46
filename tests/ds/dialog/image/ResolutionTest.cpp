// The resolution field typed one keystroke at a time, its end of editing, the handler of its
// notification, the popup, and the paper page's follow-up of a new resolution.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "ds/dialog/Units.h"
#include "ds/dialog/image/Resolution.h"

namespace ferrolite::dialog {
namespace {

using testing::DialogFixture;

struct Step {
  const char* after;                 // the editor's text after the keystroke or paste
  std::optional<std::string> shown;  // the rule's rewrite
  uint16_t stored;
  std::optional<int64_t> posted;  // "resolutionInput"'s resolution
};

void type(DialogFixture& f, int64_t mode, std::initializer_list<Step> steps) {
  f.bridge.mScanModeSideSelect = mode;
  DialogContext ctx = f.ctx();
  std::string before;
  for (const Step& s : steps) {
    const FieldResult r = resolutionFieldChanged(before, s.after, ctx);
    SCOPED_TRACE(s.after);
    EXPECT_EQ(r.editorText, s.shown);
    const uint16_t stored = mode == 2 ? f.record.wGrayRes : f.record.wColorRes;
    EXPECT_EQ(stored, s.stored);
    if (s.posted) {
      EXPECT_EQ(r.posts, Posts{Post(note::kResolutionInput, {{"resolution", *s.posted}})});
    } else {
      EXPECT_TRUE(r.posts.empty());
    }
    before = r.editorText.value_or(s.after);
  }
}

TEST(ResolutionField, Typing) {
  DialogFixture f;
  type(f, 0, {{"7", {}, 7, {}}, {"75", {}, 75, 75}});
  type(f, 0, {{"6", {}, 6, {}}, {"65", {}, 65, {}}, {"650", "65", 65, {}}});
  type(f, 0, {{"3a0", "30", 30, {}}});  // pasted
  type(f, 2, {{"a", "72", 72, 72}, {"72", {}, 72, 72}, {"600", {}, 600, 600}});
  type(f, 0, {{"0", "72", 72, 72}, {"", {}, 72, {}}});
  type(f, 0, {{"9999", "999", 999, {}}});  // a paste loses one digit; the end of editing clamps
}

TEST(ResolutionField, EndOfEditing) {
  struct Case {
    int64_t mode;
    const char* text;
    uint16_t stored;
    std::optional<std::string> shown;
    bool posts;
  } cases[] = {
      {0, "60", 72, "72", true}, {0, "75", 75, {}, false},   {0, "600", 600, {}, false},
      {2, "73", 72, "72", true}, {0, "999", 72, "72", true}, {0, "72", 72, {}, true},
  };
  for (const Case& c : cases) {
    DialogFixture f;
    f.bridge.mScanModeSideSelect = c.mode;
    DialogContext ctx = f.ctx();
    const FieldResult r = resolutionFieldEnded(c.text, ctx);
    const uint16_t stored = c.mode == 2 ? f.record.wGrayRes : f.record.wColorRes;
    EXPECT_EQ(stored, c.stored) << c.text;
    EXPECT_EQ(r.editorText, c.shown) << c.text;
    if (c.posts) {
      // The post carries 72, the value stored, so the popup and pixels follow the record.
      EXPECT_EQ(r.posts, Posts{Post(note::kResolutionInput, {{"resolution", int64_t{72}}})});
    } else {
      EXPECT_TRUE(r.posts.empty()) << c.text;
    }
  }
}

TEST(ResolutionField, AnEmptyFieldIsRefilledInEveryMode) {
  DialogFixture f;
  f.record.wGrayRes = 300;
  f.record.wColorRes = 400;
  DialogContext ctx = f.ctx();
  f.bridge.mScanModeSideSelect = 2;
  EXPECT_EQ(resolutionFieldShouldEnd("", ctx), "300");
  f.bridge.mScanModeSideSelect = 6;
  EXPECT_EQ(resolutionFieldShouldEnd("", ctx), "400");
  EXPECT_EQ(resolutionFieldShouldEnd("12", ctx), std::nullopt);
}

TEST(Resolution, HandlerPopupAndStepper) {
  DialogFixture f;
  DialogContext ctx = f.ctx();
  f.record.bPaperSizeUnit = kUnitPixel;
  ResolutionChange c = resolutionInput(ctx, 75);
  EXPECT_EQ(c.presetIndex, 0);
  EXPECT_EQ(f.bridge.currentRes, 75u);
  EXPECT_TRUE(c.pointsUnit);
  f.bridge.mScanModeSideSelect = 4;
  c = resolutionPopupChosen(ctx, 5, 600);
  EXPECT_EQ(f.record.wBWRes, 600);
  EXPECT_EQ(c.fieldText, "600");
  f.record.wBWRes = 123;
  c = resolutionPopupChosen(ctx, 6, 123);  // custom: stores nothing, keeps the last value
  EXPECT_EQ(f.record.wBWRes, 123);
  EXPECT_EQ(c.fieldText, std::nullopt);
  EXPECT_EQ(f.bridge.currentRes, 123u);
  EXPECT_EQ(resolutionStepped(ctx, 250), 6);
  EXPECT_EQ(f.record.wBWRes, 250);
  EXPECT_EQ(resolutionStepped(ctx, 300), 3);
}

TEST(Resolution, PixelFiguresFollowTheModesResolution) {
  DialogFixture f;
  DialogContext ctx = f.ctx();
  f.record.wWidth = 2550;
  f.record.wLength = 4200;
  f.record.wXPos = 30;
  f.record.wColorRes = 200;
  EXPECT_EQ(changePixelByResolution(ctx), std::nullopt);  // inch: nothing
  f.record.bPaperSizeUnit = kUnitPixel;
  auto p = changePixelByResolution(ctx);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->width, "1700");
  EXPECT_EQ(p->length, "2800");
  EXPECT_EQ(p->x, "20");
  f.bridge.mScanModeSideSelect = 7;  // automatic colour: the colour resolution too
  f.record.wColorRes = 300;
  EXPECT_EQ(changePixelByResolution(ctx)->width, "2550");
  EXPECT_EQ(f.bridge.mPixelW, 2550u);
}

TEST(Resolution, OlderInterfaceLongPageAboveThreeHundredDpi) {
  DialogFixture f;
  f.useOlderInterface();
  f.older.ADFMaxLength = 4000;
  f.record.bPaperSize = kPageLong;
  f.record.wGrayRes = 400;
  ImageTypeButtons buttons(f.record, f.bridge, true);
  DialogContext ctx = f.ctx();
  EXPECT_FALSE(checkOldAvapiPaperSize(ctx, buttons));  // grey not checked
  buttons.at(ImageRow::Image, ImageKind::Gray, Side::Rear).check.on = true;
  EXPECT_TRUE(checkOldAvapiPaperSize(ctx, buttons));
  EXPECT_EQ(f.record.bPaperSize, kPageCustom);
  EXPECT_EQ(f.record.wLength, 4000);
  f.globals.gUINewKrapi = true;
  f.record.bPaperSize = kPageLong;
  EXPECT_FALSE(checkOldAvapiPaperSize(ctx, buttons));
}

TEST(Resolution, PaperSizeInitialHoldsTheLongPage) {
  DialogFixture f;
  PaperTbl table = kStandardPaperTbl;
  LongPageState longPage{35400, 0, 0};
  testing::TableBundle language;
  f.record.bPaperSize = kPageLong;
  f.record.dwLongLength = 50000;
  f.extra.multiLongLength[22] = 30000;  // black-and-white at 200 dpi
  f.bridge.mScanModeSideSelect = 4;
  DialogContext ctx = f.ctx();
  auto p = paperSizeInitial(ctx, table, longPage, language, true);
  ASSERT_TRUE(p);
  EXPECT_EQ(f.record.dwLongLength, 30000u);
  EXPECT_EQ(p->list.items[p->selected].mPageID, kPageLong);
  EXPECT_EQ(p->lengthText, "100.00");
  f.record.bPaperSizeUnit = kUnitPixel;
  f.bridge.currentRes = 200;
  EXPECT_EQ(paperSizeInitial(ctx, table, longPage, language, true)->lengthText, "20000");
  f.useOlderInterface();
  EXPECT_EQ(paperSizeInitial(ctx, table, longPage, language, true), std::nullopt);
}

}  // namespace
}  // namespace ferrolite::dialog
