// The colour drop-out page's preview result on the headless widget layer: the eye dropper over
// the drawn preview sets the side's custom colour, a press runs the drop-out through the data
// source into "colorDrop.bmp" and shows it, the result button shows it while held; a drop-out
// that answers NO and a bitmap that cannot be written whole leave the preview shown.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "DropFixture.h"
#include "ds/dialog/colordrop/ColorDropResult.h"
#include "platform/foundation/SystemLog.h"

namespace ferrolite::dialog::testing {
namespace {

constexpr double kIn = 27.35;  // view points per inch at this scanner's scale
const ui::Point kOnPatch{1.5 * kIn, 2.5 * kIn};
const ui::Point kOnWhite{3 * kIn, 3 * kIn};

TEST(ColorDropPreview, TheEyeDropperPicksAPatchAndTheResultDropsIt) {
  for (const CustomSide* side : {&kGreySide, &kBWSide}) {
    SCOPED_TRACE(side->button);
    DropFixture f(*side);
    f.start();
    const uint8_t committed = colourByte(128.0f / 255.0f);
    ASSERT_TRUE(f.user.click(f.eyeDropperButton()));
    EXPECT_TRUE(f.eyeDropperButton().isOn());
    // Over the patch the side's colour follows the pointer; leaving restores the committed one.
    f.user.mouseMoved(f.view(), kOnPatch);
    EXPECT_EQ(f.sideColour(), (std::array<uint8_t, 3>{kRed.r, kRed.g, kRed.b}));
    EXPECT_EQ(f.dialog->shared().properties.integer("mRedValue"), kRed.r);
    EXPECT_EQ(f.get<ui::ColorWell>("mColorWell").color().red, kRed.r / 255.0f);
    f.services.timers.advance(ui::Seconds(0.1));
    f.user.mouseExited(f.view(), {-1, 0});
    EXPECT_EQ(f.sideColour(), (std::array<uint8_t, 3>{committed, committed, committed}));

    // A press over the patch shows the result with the patch dropped.
    f.user.mouseMoved(f.view(), kOnPatch);
    f.user.mouseDown(f.view(), kOnPatch);
    ASSERT_TRUE(f.lastParam);
    EXPECT_EQ(f.lastParam->bCustomR, kRed.r);
    EXPECT_EQ(f.lastParam->bThreshold, 20);
    EXPECT_EQ(f.lastParam->bGrayOutput, side->bitsPerPixel == 8 ? 1 : 0);
    EXPECT_EQ(f.resultBitsPerPixel(), side->bitsPerPixel);
    EXPECT_EQ(f.imagePixel(kOnPatch.x, kOnPatch.y), kWhite);
    EXPECT_EQ(f.imagePixel(5.25 * kIn, 8.25 * kIn), kBlack);  // the mark stays, the same way up
    // The release shows the preview again, and the picked colour is now the committed one.
    f.user.mouseUp(f.view(), kOnPatch);
    EXPECT_EQ(f.imagePixel(kOnPatch.x, kOnPatch.y), kRed);
    f.user.mouseExited(f.view(), {-1, 0});
    EXPECT_EQ(f.sideColour(), (std::array<uint8_t, 3>{kRed.r, kRed.g, kRed.b}));
    // Off again: moves are not tracked any more.
    ASSERT_TRUE(f.user.click(f.eyeDropperButton()));
    EXPECT_FALSE(f.user.mouseMoved(f.view(), kOnWhite));
  }
}

TEST(ColorDropPreview, TheResultButtonShowsTheResultWhileHeldInCustomOnly) {
  DropFixture f(kGreySide);
  f.start();
  auto& result = f.drawer().get<ui::Button>("mPreviewResult");
  ASSERT_TRUE(f.user.press(result));
  EXPECT_EQ(f.imagePixel(kOnWhite.x, kOnWhite.y), kWhite);
  EXPECT_TRUE(std::filesystem::exists(f.resultFile()));
  // The committed grey is nowhere on the page: the patch keeps its level.
  EXPECT_EQ(f.imagePixel(kOnPatch.x, kOnPatch.y), (Rgb{96, 96, 96}));
  ASSERT_TRUE(f.user.release(result));
  EXPECT_EQ(f.imagePixel(kOnPatch.x, kOnPatch.y), kRed);
  // Another drop-out colour: the button does nothing.
  std::filesystem::remove(f.resultFile());
  ASSERT_TRUE(f.user.choose(f.get<ui::PopUpButton>("mPopupColorDrop"), 1));
  f.dataSource.calls.clear();
  f.user.press(result);
  f.user.release(result);
  EXPECT_TRUE(f.dataSource.calls.empty());
  EXPECT_FALSE(std::filesystem::exists(f.resultFile()));
}

TEST(ColorDropPreview, AResultThatCannotBeHadLeavesThePreviewShown) {
  struct Case {
    const char* what;
    std::function<void(DropFixture&)> arrange;
  };
  const Case cases[] = {
      {"the drop-out answered NO", [](DropFixture& f) { f.dataSource.colorDropAnswer = false; }},
      {"could not be written whole",
       [](DropFixture& f) { std::filesystem::create_directory(f.resultFile()); }},
      {"could not be written whole",
       [](DropFixture& f) { std::filesystem::create_symlink("/dev/full", f.resultFile()); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DropFixture f(kGreySide);
    f.start();
    c.arrange(f);
    foundation::SystemLogCapture log;
    ASSERT_TRUE(f.user.click(f.eyeDropperButton()));
    f.user.mouseMoved(f.view(), kOnPatch);
    f.user.mouseDown(f.view(), kOnPatch);
    EXPECT_TRUE(log.contains(c.what));
    EXPECT_EQ(f.imagePixel(kOnPatch.x, kOnPatch.y), kRed);
    EXPECT_FALSE(std::filesystem::is_regular_file(f.resultFile()));
    f.user.mouseUp(f.view(), kOnPatch);
  }
}

}  // namespace
}  // namespace ferrolite::dialog::testing
