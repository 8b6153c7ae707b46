// The paper page's observers: the focus chain and what typed sizes, the preview and the
// steppers make the page show.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "ds/dialog/Units.h"
#include "ds/dialog/paper/PaperNotifications.h"
#include "ds/dialog/paper/PaperSteppers.h"

namespace ferrolite::dialog {
namespace {

FocusTargets targets(std::initializer_list<int> usable) {
  FocusTargets t;
  for (int f : usable) t.usable[f] = true;
  return t;
}

TEST(PaperFocus, Tab) {
  struct Case {
    int32_t next;
    std::vector<int> usable;
    std::optional<int32_t> focus;
    int32_t nextAfter, backAfter;
  } cases[] = {
      {1, {1, 2, 3, 4, 5, 6}, 1, 1, 5},
      {3, {1, 2, 3, 4, 5, 6}, 3, 3, 2},
      {4, {1, 2, 3, 4, 5, 6}, 4, 5, 4},
      {4, {1, 2, 3, 4, 6}, 4, 6, 5},
      {6, {1, 2, 3, 4, 5, 6}, 6, 1, 5},
      {6, {3, 4, 5, 6}, 6, 3, 2},
      {6, {5, 6}, 6, 5, 4},  // an automatic page: the size fields are disabled
      {6, {6}, 6, 6, 5},
      {7, {1, 2, 3, 4, 5, 6}, std::nullopt, 7, 0},
  };
  for (const Case& c : cases) {
    DialogGlobals g;
    g.goNextTextFiled = c.next;
    FocusTargets t;
    for (int f : c.usable) t.usable[f] = true;
    EXPECT_EQ(textFieldMovement(g, t), c.focus) << c.next;
    EXPECT_EQ(g.goNextTextFiled, c.nextAfter) << c.next;
    EXPECT_EQ(g.goBackNextTextFiled, c.backAfter) << c.next;
  }
}

TEST(PaperFocus, BackTab) {
  struct Case {
    int32_t back;
    std::vector<int> usable;
    int32_t backAfter, nextAfter;
  } cases[] = {
      {6, {1, 2, 3, 4, 5, 6}, 5, 1},
      {6, {1, 2, 3, 4, 6}, 4, 5},
      {3, {1, 2, 3, 4, 6}, 2, 3},
      {3, {1, 3, 4, 6}, 1, 2},
      {3, {3, 4, 6}, 6, 7},  // 7 moves nowhere
      {3, {3, 4}, 3, 4},
      {5, {1, 2, 3, 4, 5, 6}, 5, 1},
      {2, {1, 2, 3, 4, 5, 6}, 2, 3},
  };
  for (const Case& c : cases) {
    DialogGlobals g;
    g.goBackNextTextFiled = c.back;
    FocusTargets t;
    for (int f : c.usable) t.usable[f] = true;
    EXPECT_EQ(textFieldBackMovement(g, t), c.back);
    EXPECT_EQ(g.goBackNextTextFiled, c.backAfter) << c.back;
    EXPECT_EQ(g.goNextTextFiled, c.nextAfter) << c.back;
  }
}

TEST(PaperFocus, AHiddenFieldIsNeverATarget) {
  // At index 8 the detection field is hidden but stays enabled: it is not usable.
  DialogGlobals g;
  g.goNextTextFiled = kFieldLength;
  textFieldMovement(g, targets({1, 2, 3, 4, 6}));
  EXPECT_EQ(g.goNextTextFiled, kFieldTimeOut);
}

TEST(PaperNotices, PreviewAreaShownInTheUnit) {
  testing::DialogFixture f;
  DialogContext c = f.ctx();
  f.record.bPaperSizeUnit = kUnitMillimetre;
  f.record.bPaperSize = 6;
  PaperNotice n = previewWin2Text(c, 300, 600, 2480, 1000);
  EXPECT_EQ(n.controls.widthText, "210.0");
  EXPECT_EQ(n.controls.xText, "25.4");
  EXPECT_FLOAT_EQ(f.bridge.mmW, 210.0f);
  EXPECT_EQ(f.bridge.mPixelW, 1653u);
  EXPECT_EQ(f.record.bPaperSize, kPageCustom);
  EXPECT_EQ(n.controls.landscapeEnabled, true);  // the page turns custom after the check
  EXPECT_TRUE(n.refreshEdgeFill);
  // A rectangle of no width updates only the bridge.
  f.record.bPaperSize = 6;
  n = previewWin2Text(c, 0, 0, 0, 500);
  EXPECT_EQ(f.record.bPaperSize, 6);
  EXPECT_EQ(n.controls.xText, std::nullopt);
  EXPECT_EQ(f.bridge.mmW, 0.0f);
}

TEST(PaperNotices, SteppersOnTheLongPageKeepIt) {
  testing::DialogFixture f;
  DialogContext c = f.ctx();
  f.record.bPaperSize = kPageLong;
  f.record.dwLongLength = 35400;
  PaperNotice n = pageSizeByStepper(c, "mHeight");
  EXPECT_FALSE(n.makeCustom);
  EXPECT_EQ(n.controls.lengthText, "118.00");
  EXPECT_EQ(f.record.bPaperSize, kPageLong);
  EXPECT_FALSE(pageSizeByStepper(c, "mWidth").makeCustom);
  EXPECT_TRUE(pageSizeByStepper(c, "xOffset").makeCustom);
  EXPECT_EQ(f.record.bPaperSize, kPageCustom);
  n = pageSizeByStepper(c, "mDragRectangle");
  EXPECT_EQ(n.controls.sizeControlsEnabled, true);
  EXPECT_EQ(n.controls.carrierSheetShown, false);
  EXPECT_TRUE(n.controls.xText && n.controls.yText && n.controls.widthText &&
              n.controls.lengthText);

  LongPageState longPage;
  f.record.bPaperSize = kPageLong;
  f.record.dwLongWidth = 2000;
  n = rectTextFieldChange(c, longPage);
  EXPECT_FALSE(n.makeCustom);
  EXPECT_DOUBLE_EQ(longPage.mfSaveLongPageLength, 35400);
  EXPECT_DOUBLE_EQ(longPage.mfSaveLongPageWidth, 2000);
  f.record.bPaperSize = 6;
  n = rectTextFieldChange(c, longPage);
  EXPECT_TRUE(n.makeCustom);
  EXPECT_TRUE(n.checkPortraitLandscape);
}

}  // namespace
}  // namespace ferrolite::dialog
