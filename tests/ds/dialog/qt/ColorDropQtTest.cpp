// The colour drop-out page's custom colour picked on the preview drawer of Qt's real widgets
// (offscreen), replayed with QTest: the eye dropper over the painted patch sets the side's custom
// colour, the pointer leaving gives the committed one back, a press shows the drop-out's result
// painted with the patch gone and a release the preview again; the result button does the same
// while held. One side per case: a grey side (8-bit result) and a black-and-white side (1-bit).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QPoint>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <array>
#include <ostream>
#include <string>

#include "DropFixture.h"
#include "QtPreview.h"
#include "ds/dialog/colordrop/ColorDropResult.h"
#include "ds/dialog/preview/PreviewGeometry.h"
#include "platform/ui/Host.h"

namespace ferrolite::dialog::testing {
namespace {

const QPoint kOnPatch{int(1.5 * kNarrowScale), int(2.5 * kNarrowScale)};
const QPoint kOnMark{int(5.25 * kNarrowScale), int(8.25 * kNarrowScale)};
const QPoint kOnWhite{int(3 * kNarrowScale), int(3 * kNarrowScale)};

struct QtDrop : QtPreview<DropFixture> {
  explicit QtDrop(const CustomSide& side) : QtPreview(side) {}
  QAbstractButton* eyeDropper() { return widget<QAbstractButton>(f.drawer(), "mEyeDropperClick"); }
  // The colour drop-out tab, the side's custom drop-out and the page previewed, all by mouse.
  void start() {
    f.open();
    auto* tabs = widget<QTabWidget>(f.window(), kTabViewOutlet);
    ASSERT_NE(tabs, nullptr);
    const auto ids = f.tabIdentifiers();
    const auto tab = std::find(ids.begin(), ids.end(), "KriTabDropColor");
    ASSERT_NE(tab, ids.end());
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {},
                      tabs->tabBar()->tabRect(int(tab - ids.begin())).center());
    ASSERT_EQ(f.tabs().selectedItem()->identifier(), "KriTabDropColor");
    QTest::mouseClick(widget<QAbstractButton>(f.window(), f.sideButton()), Qt::LeftButton);
    f.dataSource.onPreviewScan = [this] {
      writeTiff(f.previewFile(), makeRaster(850, 1400, 8, 3, 100, pagePixel));
    };
    QTest::mouseClick(widget<QAbstractButton>(f.window(), "mButtonPreview"), Qt::LeftButton);
    QTest::mouseClick(widget<QAbstractButton>(f.drawer(), "mButtonDrawerPreview"), Qt::LeftButton);
    ASSERT_NE(view(), nullptr);
    ASSERT_TRUE(nearly(painted(kOnPatch), kRed));
    ASSERT_TRUE(eyeDropper()->isEnabled());
    // A move reaches the view only when the pointer was elsewhere (Qt does not move it to where
    // it is): it starts off the view, whatever ran before in this process.
    QTest::mouseMove(eyeDropper());
  }
  // What Qt sends a widget the pointer left: a bare event, no position.
  void leaveView() {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view(), &leave);
  }
};

using Colour = std::array<uint8_t, 3>;
constexpr Colour kPatchColour{kRed.r, kRed.g, kRed.b};

// A side and the level its result gives the red patch when the committed grey is dropped
// (nowhere on the page): 8-bit keeps the patch's level, 1-bit makes it black.
struct SideCase {
  const CustomSide* side;
  Rgb patchKept;
};
void PrintTo(const SideCase& c, std::ostream* os) { *os << c.side->button; }

class ColorDropQt : public ::testing::TestWithParam<SideCase> {};

TEST_P(ColorDropQt, TheEyeDropperPicksThePatchAndAPressShowsItDropped) {
  QtDrop q(*GetParam().side);
  q.start();
  QWidget* view = q.view();
  const uint8_t committed = colourByte(128.0f / 255.0f);
  QTest::mouseClick(q.eyeDropper(), Qt::LeftButton);
  EXPECT_TRUE(q.f.eyeDropperButton().isOn());
  EXPECT_TRUE(q.eyeDropper()->isChecked());
  EXPECT_TRUE(view->hasMouseTracking());

  // Over the patch the side's colour follows the pointer; leaving restores the committed one.
  QTest::mouseMove(view, kOnPatch);
  EXPECT_EQ(q.f.sideColour(), kPatchColour);
  q.leaveView();
  EXPECT_EQ(q.f.sideColour(), (Colour{committed, committed, committed}));

  // Back on the patch, a press shows the result with the patch dropped and the mark kept.
  QTest::mouseMove(view, kOnPatch + QPoint(2, 2));
  EXPECT_EQ(q.f.sideColour(), kPatchColour);
  QTest::mousePress(view, Qt::LeftButton, {}, kOnPatch + QPoint(2, 2));
  ASSERT_TRUE(q.f.lastParam);
  EXPECT_EQ(q.f.lastParam->bCustomR, kRed.r);
  EXPECT_EQ(q.f.resultBitsPerPixel(), GetParam().side->bitsPerPixel);
  EXPECT_TRUE(nearly(q.painted(kOnPatch), kWhite));
  EXPECT_TRUE(nearly(q.painted(kOnMark), kBlack));
  // The release paints the preview again and commits the patch's colour: over white the side
  // follows the pointer, and the pointer going on to the drawer's buttons (the leave Qt makes of
  // the move) brings the patch's colour back.
  QTest::mouseRelease(view, Qt::LeftButton, {}, kOnPatch + QPoint(2, 2));
  EXPECT_TRUE(nearly(q.painted(kOnPatch), kRed));
  QTest::mouseMove(view, kOnWhite);
  EXPECT_EQ(q.f.sideColour(), (Colour{kWhite.r, kWhite.g, kWhite.b}));
  QTest::mouseMove(q.eyeDropper());
  ASSERT_FALSE(view->underMouse());
  EXPECT_EQ(q.f.sideColour(), kPatchColour);

  // Off again: the view stops tracking moves, and the pointer over white picks nothing.
  QTest::mouseClick(q.eyeDropper(), Qt::LeftButton);
  EXPECT_FALSE(q.f.eyeDropperButton().isOn());
  EXPECT_FALSE(view->hasMouseTracking());
  QTest::mouseMove(view, kOnWhite);
  EXPECT_EQ(q.f.sideColour(), kPatchColour);
}

TEST_P(ColorDropQt, TheResultButtonShowsTheResultWhileHeld) {
  QtDrop q(*GetParam().side);
  q.start();
  auto* result = q.widget<QAbstractButton>(q.f.drawer(), "mPreviewResult");
  ASSERT_NE(result, nullptr);
  QTest::mousePress(result, Qt::LeftButton);
  EXPECT_EQ(q.f.resultBitsPerPixel(), GetParam().side->bitsPerPixel);
  EXPECT_TRUE(nearly(q.painted(kOnWhite), kWhite));
  EXPECT_TRUE(nearly(q.painted(kOnPatch), GetParam().patchKept));
  QTest::mouseRelease(result, Qt::LeftButton);
  EXPECT_TRUE(nearly(q.painted(kOnPatch), kRed));
}

INSTANTIATE_TEST_SUITE_P(Sides, ColorDropQt,
                         ::testing::Values(SideCase{&kGreySide, {96, 96, 96}},
                                           SideCase{&kBWSide, kBlack}),
                         [](const auto& info) { return std::string(info.param.side->button); });

}  // namespace
}  // namespace ferrolite::dialog::testing
