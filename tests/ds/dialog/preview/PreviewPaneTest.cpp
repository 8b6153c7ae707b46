// The preview view on the headless widget layer: preview files of every mode and depth decoded
// and drawn at the view's scale, the flatbed or feeder length chosen from the image, the rulers,
// the scan area drawn and moved with the mouse, and the eye dropper's colour, timer and cursor.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>

#include "PreviewFixture.h"
#include "ds/dialog/Units.h"
#include "ds/dialog/preview/PreviewGeometry.h"
#include "ds/dialog/preview/PreviewImage.h"
#include "platform/foundation/SystemLog.h"
#include "platform/imageio/ImageIO.h"
#include "platform/ui/ImageView.h"

namespace ferrolite::dialog {
namespace {

using namespace testing;

TEST(PreviewImage, EveryModeAndDepthDecodesToRgb) {
  const auto folder = testsupport::freshTestFolder("preview-decode");
  struct Case {
    uint16_t bits, samples;
    uint32_t width, height;
  };
  const Case cases[] = {{1, 1, 1, 1},  {1, 1, 13, 3}, {8, 1, 1, 1}, {8, 1, 5, 4},  {16, 1, 1, 1},
                        {16, 1, 7, 2}, {8, 3, 1, 1},  {8, 3, 9, 3}, {16, 3, 1, 1}, {16, 3, 3, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.bits << "x" << c.samples << " " << c.width << "x" << c.height);
    auto colour = [](uint32_t x, uint32_t y) {
      return (x + y) % 2 ? Rgb{255, 255, 255} : Rgb{0, 120, 200};
    };
    const auto file = folder / "p.tif";
    writeTiff(file, makeRaster(c.width, c.height, c.bits, c.samples, 150, colour));
    std::string why;
    const auto image = readPreviewImage(file, why);
    ASSERT_TRUE(image) << why;
    EXPECT_EQ(image->width, int(c.width));
    EXPECT_EQ(image->height, int(c.height));
    EXPECT_EQ(image->rgb.size(), std::size_t(c.width) * c.height * 3);
    EXPECT_DOUBLE_EQ(image->xResolution, 150);
    for (uint32_t y = 0; y < c.height; ++y) {
      for (uint32_t x = 0; x < c.width; ++x) {
        const uint8_t* p = &image->rgb[(y * c.width + x) * 3];
        const Rgb want = c.samples == 3 ? colour(x, y)
                         : c.bits == 1  ? (colour(x, y).r >= 128 ? kWhite : kBlack)
                                        : Rgb{colour(x, y).r, colour(x, y).r, colour(x, y).r};
        EXPECT_EQ((Rgb{p[0], p[1], p[2]}), want) << x << "," << y;
      }
    }
  }
}

TEST(PreviewImage, RastersThatDoNotHoldTheirSizeAreRefused) {
  auto white = [](uint32_t, uint32_t) { return kWhite; };
  std::string why;
  imageio::Raster shortRows = makeRaster(4, 3, 8, 3, 100, white);
  shortRows.pixels.resize(shortRows.pixels.size() - 1);
  EXPECT_FALSE(rgbImageOf(shortRows, why));
  EXPECT_NE(why.find("does not match"), std::string::npos) << why;
  imageio::Raster narrowRows = makeRaster(4, 3, 16, 1, 100, white);
  narrowRows.layout.bytesPerRow = 7;  // 4 samples of 16 bits need 8
  narrowRows.pixels.resize(7 * 3);
  EXPECT_FALSE(rgbImageOf(narrowRows, why));
  imageio::Raster oddDepth = makeRaster(2, 2, 8, 1, 100, white);
  oddDepth.layout.bitsPerSample = 4;
  EXPECT_FALSE(rgbImageOf(oddDepth, why));
  imageio::Raster empty;
  EXPECT_FALSE(rgbImageOf(empty, why));

  const auto folder = testsupport::freshTestFolder("preview-refused");
  std::ofstream(folder / "p.tif") << "II*\0 not a TIFF";
  EXPECT_FALSE(readPreviewImage(folder / "p.tif", why));
  EXPECT_FALSE(readPreviewImage(folder / "missing.tif", why));
}

TEST(PreviewImage, TheCacheKeepsTheImageWhileTheFileIsUnchanged) {
  const auto folder = testsupport::freshTestFolder("preview-cache");
  const auto file = folder / "p.tif";
  writeTiff(file, makeRaster(3, 3, 8, 1, 100, [](uint32_t, uint32_t) { return kBlack; }));
  PreviewImageCache cache;
  std::string why;
  const auto first = cache.load(file, why);
  ASSERT_TRUE(first);
  EXPECT_EQ(cache.load(file, why), first);
  writeTiff(file, makeRaster(4, 3, 8, 1, 100, [](uint32_t, uint32_t) { return kWhite; }));
  const auto second = cache.load(file, why);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->width, 4);
  std::filesystem::remove(file);
  EXPECT_FALSE(cache.load(file, why));
}

TEST(PreviewPane, PreviewDrawsThePageAtTheViewScaleWithItsMarks) {
  PreviewFixture f;
  f.open();
  f.preview(makeRaster(850, 1400, 8, 3, 100, pagePixel));
  EXPECT_FALSE(f.scanButtonsDuringScan);
  EXPECT_TRUE(f.get<ui::Button>("mButtonScan").isEnabled());
  EXPECT_TRUE(f.drawer().get<ui::Button>("mButtonDrawerPreview").isEnabled());
  // A feeder 2550 x 4200 units at 27.35 points per inch: 232 x 382 points.
  EXPECT_EQ(f.pane().getMaxWidth(), 232);
  EXPECT_EQ(f.pane().getMaxHeight(), 382);
  ASSERT_TRUE(f.imageRect());
  EXPECT_EQ(*f.imageRect(), (ui::Rect{{0, 0}, {232, 382}}));
  // The patch and the mark where the scale puts them: inches x 27.35.
  const double in = kNarrowScale;
  EXPECT_EQ(f.shownAt(1.5 * in, 2.5 * in), kRed);
  EXPECT_EQ(f.shownAt(5.25 * in, 8.25 * in), kBlack);
  EXPECT_EQ(f.shownAt(3 * in, 3 * in), kWhite);
  EXPECT_EQ(f.shownAt(0.9 * in, 2.5 * in), kWhite);
  // Beyond the page the view shows its background.
  EXPECT_EQ(f.shownAt(300, 400), kWhite);
  // The whole feeder area as the red rectangle.
  f.pane().setRetangleRect(0, 0, 2550, 4200);
  f.view().display();
  ASSERT_TRUE(f.strokedArea());
  EXPECT_NEAR(f.strokedArea()->size.width, 232, 0.5);
}

TEST(PreviewPane, RulersTakeThePaperUnitAndTheScale) {
  PreviewFixture f;
  f.record.bPaperSizeUnit = kUnitMillimetre;
  f.open();
  EXPECT_TRUE(f.scroll().rulersVisible());
  EXPECT_EQ(f.scroll().horizontalRuler().measurementUnits(), "Centimeters");
  ASSERT_TRUE(f.scroll().verticalRuler().unit());
  EXPECT_DOUBLE_EQ(f.scroll().verticalRuler().unit()->pointsPerUnit, kNarrowScale / 2.54);
  f.pane().setMeasurementUnits("Inches");
  EXPECT_DOUBLE_EQ(f.scroll().horizontalRuler().unit()->pointsPerUnit, kNarrowScale);
  // In pixels the rulers count the resolution's pixels whatever unit is asked.
  f.record.bPaperSizeUnit = kUnitPixel;
  f.pane().setMeasurementUnits("Points");
  EXPECT_EQ(f.scroll().horizontalRuler().measurementUnits(), "Points1");
  EXPECT_DOUBLE_EQ(f.scroll().horizontalRuler().unit()->pointsPerUnit, kNarrowScale / 200);
  // A source wider than 3000 units switches scale, rulers and maxima.
  f.current.ADFMaxWidth = 3600;
  f.record.bPaperSizeUnit = kUnitInch;
  f.pane().setMaxScanArea(3600, 4200);
  f.pane().setMeasurementUnits("Inches");
  EXPECT_FLOAT_EQ(f.pane().grummets(), float(kWideScale));
  EXPECT_EQ(f.pane().getMaxWidth(), viewMaximum(3600, kWideScale));
  EXPECT_DOUBLE_EQ(f.scroll().horizontalRuler().unit()->pointsPerUnit, kWideScale);
}

TEST(PreviewPane, TheAutomaticSourceTakesTheFlatbedOrFeederLengthFromTheImage) {
  struct Case {
    uint8_t source;
    uint32_t heightPixels;  // at 100 dpi: 3 units a pixel
    int64_t maxLength;
  };
  const Case cases[] = {{kSourceAutomatic, 1169, viewMaximum(3508, kNarrowScale)},
                        {kSourceAutomatic, 1400, viewMaximum(4200, kNarrowScale)},
                        {kSourceAutomatic, 1176, viewMaximum(4200, kNarrowScale)},
                        {kSourceFeeder, 1169, viewMaximum(4200, kNarrowScale)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.heightPixels);
    PreviewFixture f;
    f.record.bScanSource = c.source;
    f.open();
    f.preview(makeRaster(850, c.heightPixels, 8, 1, 100, pagePixel));
    EXPECT_EQ(f.pane().getMaxHeight(), c.maxLength);
    EXPECT_EQ(f.imageRect()->size.height, double(c.maxLength));
  }
}

TEST(PreviewPane, NoReadablePreviewLeavesTheViewEmptyAndIsLogged) {
  PreviewFixture f;
  f.open();
  foundation::SystemLogCapture log;
  f.dataSource.onPreviewScan = [&f] { std::ofstream(f.previewFile()) << "not an image"; };
  f.openDrawer();
  f.user.click(f.drawer().get<ui::Button>("mButtonDrawerPreview"));
  EXPECT_FALSE(f.imageRect());
  EXPECT_TRUE(f.get<ui::Button>("mButtonScan").isEnabled());
  EXPECT_TRUE(log.contains("fi-7160_preview.tif not shown"));
  EXPECT_FALSE(f.dialog->shared().globals.gPreviewResult);
}

TEST(PreviewPane, DefaultDeletesThePreviewAndTheViewShowsNoImage) {
  PreviewFixture f;
  f.open();
  f.preview(makeRaster(850, 1400, 8, 3, 100, pagePixel));
  ASSERT_TRUE(f.imageRect());
  f.click("mButtonDefault");
  EXPECT_FALSE(std::filesystem::exists(f.previewFile()));
  EXPECT_FALSE(f.imageRect());
}

TEST(PreviewPane, TheMouseDrawsAndMovesTheAreaIntoTheRecord) {
  PreviewFixture f;
  // The set-up draws the record's area: an inch in the corner, so that (100, 100) is outside it.
  f.record.wXPos = f.record.wYPos = 0;
  f.record.wWidth = f.record.wLength = 300;
  f.open();
  f.preview(makeRaster(850, 1400, 8, 3, 100, pagePixel));
  Posted posted(f.application->notifications(), {note::kPreviewWin2Text, note::kPageSizeByStepper});
  auto& cursors = f.services.cursors;
  // A new rectangle from (100, 100) to (40, 60).
  f.user.mouseDown(f.view(), {100, 100});
  f.user.mouseDragged(f.view(), {70, 80});
  f.user.mouseDragged(f.view(), {40, 60});
  EXPECT_EQ(*f.strokedArea(), (ui::Rect{{40, 60}, {60, 40}}));
  f.user.mouseUp(f.view(), {40, 60});
  EXPECT_EQ(f.record.wXPos, toSettings(40, 27.35f));
  EXPECT_EQ(f.record.wYPos, toSettings(60, 27.35f));
  EXPECT_EQ(f.record.wWidth, toSettings(60, 27.35f));
  EXPECT_EQ(f.record.wLength, toSettings(40, 27.35f));
  EXPECT_TRUE(cursors.stack().empty());
  ASSERT_FALSE(posted.all.empty());
  EXPECT_EQ(posted.all.back().name, std::string(note::kPageSizeByStepper));

  // Pressed inside, the closed hand shows while the area moves; it stops at the right edge.
  f.user.mouseDown(f.view(), {50, 70});
  ASSERT_EQ(cursors.stack().size(), 1u);
  EXPECT_EQ(cursors.current().shape, ui::CursorShape::closedHand);
  f.user.mouseDragged(f.view(), {400, 80});
  EXPECT_EQ(f.strokedArea()->origin.x, 232 - f.strokedArea()->size.width);
  f.user.mouseUp(f.view(), {400, 80});
  EXPECT_TRUE(cursors.stack().empty());
  EXPECT_EQ(f.record.wXPos, toSettings(232 - 60, 27.35f));
  EXPECT_EQ(f.record.wYPos, toSettings(70, 27.35f));
  EXPECT_EQ(f.record.wWidth, toSettings(60, 27.35f));
}

TEST(PreviewPane, TheGatesKeepTheAreaAsItIs) {
  for (auto gate : {std::function<void(ScanSetting&)>([](ScanSetting& r) { r.bPaperSize = 0; }),
                    std::function<void(ScanSetting&)>([](ScanSetting& r) { r.bPaperSize = 20; }),
                    std::function<void(ScanSetting&)>(
                        [](ScanSetting& r) { r.bScanSource = kSourceMergeTwoSides; })}) {
    PreviewFixture f;
    f.open();
    gate(f.record);
    const ScanSetting before = f.record;
    f.user.mouseDown(f.view(), {10, 10});
    f.user.mouseDragged(f.view(), {90, 90});
    f.user.mouseUp(f.view(), {90, 90});
    EXPECT_EQ(f.record.wXPos, before.wXPos);
    EXPECT_EQ(f.record.wWidth, before.wWidth);
    EXPECT_EQ(f.record.wLength, before.wLength);
  }
}

TEST(PreviewPane, TheEyeDropperSamplesWhatTheViewDrewAndSwitchesTheCursor) {
  PreviewFixture f;
  f.open();
  f.preview(makeRaster(850, 1400, 8, 3, 100, pagePixel));
  Posted posted(f.application->notifications(), {note::kCustomColorChange, note::kSetCustomColor});
  // Moves are not tracked before the eye dropper asks for them.
  EXPECT_FALSE(f.user.mouseMoved(f.view(), {41, 68}));
  f.pane().addMouseTrackingArea();
  f.pane().EnableEyeDropperCursor(true);
  const ScanSetting before = f.record;
  f.user.mouseMoved(f.view(), {1.5 * kNarrowScale, 2.5 * kNarrowScale});
  ASSERT_EQ(posted.all.size(), 1u);
  const foundation::Dictionary& info = posted.all[0].userInfo;
  EXPECT_NEAR(info.real("colorRed").valueOr(-1), 220 / 255.0, 1e-6);
  EXPECT_NEAR(info.real("colorGreen").valueOr(-1), 30 / 255.0, 1e-6);
  EXPECT_NEAR(info.real("colorBlue").valueOr(-1), 40 / 255.0, 1e-6);
  EXPECT_DOUBLE_EQ(info.real("colorAlpha").valueOr(-1), 1.0);
  // The eye-dropper cursor a tenth of a second after the first move, its hot spot at the tip.
  EXPECT_EQ(f.services.cursors.current().shape, ui::CursorShape::arrow);
  f.services.timers.advance(ui::Seconds(0.1));
  const ui::Cursor& cursor = f.services.cursors.current();
  EXPECT_EQ(cursor.shape, ui::CursorShape::image);
  EXPECT_EQ(cursor.image.filename(), "eyedropperMouse.png");
  EXPECT_EQ(cursor.hotSpot, (ui::Point{0, 0}));
  // A press picks instead of drawing: the area stays.
  f.user.mouseDown(f.view(), {10, 10});
  f.user.mouseUp(f.view(), {10, 10});
  EXPECT_EQ(f.record.wXPos, before.wXPos);
  EXPECT_EQ(f.record.wWidth, before.wWidth);
  // Leaving the view: the arrow again and the committed colour back.
  f.user.mouseExited(f.view(), {-1, 50});
  EXPECT_EQ(f.services.cursors.current().shape, ui::CursorShape::arrow);
  EXPECT_EQ(posted.all.back().name, std::string(note::kSetCustomColor));
  // Picking turned off while the eye dropper shows: the arrow again, no timer left behind.
  f.user.mouseMoved(f.view(), {41, 68});
  f.services.timers.advance(ui::Seconds(0.1));
  EXPECT_EQ(f.services.cursors.current().shape, ui::CursorShape::image);
  f.user.mouseMoved(f.view(), {45, 68});
  f.pane().EnableEyeDropperCursor(false);
  EXPECT_EQ(f.services.cursors.current().shape, ui::CursorShape::arrow);
  EXPECT_EQ(f.services.timers.pending(), 0u);
  f.pane().removeMouseTrackingArea();
  EXPECT_FALSE(f.user.mouseMoved(f.view(), {41, 68}));
}

}  // namespace
}  // namespace ferrolite::dialog
