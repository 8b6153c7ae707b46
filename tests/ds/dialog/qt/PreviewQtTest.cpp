// The preview drawer on Qt's real widgets (offscreen), replayed with QTest: the preview the data
// source wrote is painted at the view's scale, the area drawn with the mouse reaches the record
// and is painted as the red rectangle, and the eye dropper reads the colour under the pointer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "QtPreview.h"
#include "ds/dialog/preview/PreviewGeometry.h"
#include "platform/ui/Host.h"

namespace ferrolite::dialog::testing {
namespace {

TEST(PreviewQt, ThePreviewIsPaintedAndTheAreaDrawnWithTheMouse) {
  QtPreview<PreviewFixture> q;
  // The set-up draws the record's area: an inch in the corner, so that (100, 100) is outside it.
  q.f.record.wXPos = q.f.record.wYPos = 0;
  q.f.record.wWidth = q.f.record.wLength = 300;
  q.f.open();
  q.f.dataSource.onPreviewScan = [&q] {
    writeTiff(q.f.previewFile(), makeRaster(850, 1400, 8, 3, 100, pagePixel));
  };
  QTest::mouseClick(q.widget<QPushButton>(q.f.window(), "mButtonPreview"), Qt::LeftButton);
  QTest::mouseClick(q.widget<QPushButton>(q.f.drawer(), "mButtonDrawerPreview"), Qt::LeftButton);
  QWidget* view = q.view();
  ASSERT_NE(view, nullptr);
  const double in = kNarrowScale;
  EXPECT_TRUE(nearly(q.painted(int(1.5 * in), int(2.5 * in)), kRed));
  EXPECT_TRUE(nearly(q.painted(int(5.25 * in), int(8.25 * in)), kBlack));
  EXPECT_TRUE(nearly(q.painted(int(3 * in), int(5 * in)), kWhite));

  // A new area from (100, 100) to (40, 60): the record and the red rectangle agree.
  QTest::mousePress(view, Qt::LeftButton, {}, QPoint(100, 100));
  QTest::mouseMove(view, QPoint(70, 80));
  QTest::mouseMove(view, QPoint(40, 60));
  QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(40, 60));
  EXPECT_EQ(q.f.record.wXPos, toSettings(40, 27.35f));
  EXPECT_EQ(q.f.record.wYPos, toSettings(60, 27.35f));
  EXPECT_EQ(q.f.record.wWidth, toSettings(60, 27.35f));
  EXPECT_EQ(q.f.record.wLength, toSettings(40, 27.35f));
  const QImage painted = view->grab().toImage();
  EXPECT_EQ(painted.pixelColor(40, 80), QColor(255, 0, 0));   // left edge
  EXPECT_EQ(painted.pixelColor(70, 60), QColor(255, 0, 0));   // top edge
  EXPECT_EQ(painted.pixelColor(100, 80), QColor(255, 0, 0));  // right edge
  EXPECT_NE(painted.pixelColor(70, 80), QColor(255, 0, 0));   // inside

  // The eye dropper: a move over the patch gives its colour to the side being edited.
  Posted posted(q.f.application->notifications(), {note::kCustomColorChange});
  q.f.pane().addMouseTrackingArea();
  q.f.pane().EnableEyeDropperCursor(true);
  QTest::mouseMove(view, QPoint(int(1.5 * in), int(2.5 * in)));
  ASSERT_FALSE(posted.all.empty());
  EXPECT_NEAR(posted.all.back().userInfo.real("colorRed").valueOr(0), kRed.r / 255.0, 1e-6);
}

}  // namespace
}  // namespace ferrolite::dialog::testing
