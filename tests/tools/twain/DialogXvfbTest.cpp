// The whole program under a virtual X display: `twain-scan --ui` opens the real data source
// with its settings dialog on Qt's widgets, and the Qt adapter's development script plays the
// user (pick a page size, Preview, draw a new area on the preview, pick the colour to drop out
// with the eye dropper and look at the result, Scan, Exit) at the level of outlets, taking
// pictures on the way. The pictures, the drop-out result, the pages, one close request and the
// thread count after the unload are checked here.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/RunCommand.h"
#include "tests/support/TestFolder.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kXvfbRun = "/usr/bin/xvfb-run";
constexpr int kScreenWidth = 1280, kScreenHeight = 1024;
// A new area drawn on the preview, in the view's pixels: pressed below the Letter page's area
// (inside the feeder's length), dragged up and to the left; 120 by 190 pixels.
const std::string kDrag = "150 320 30 130";
constexpr double kDrawnAspect = 120.0 / 190.0;
// A Letter page's width at the dialog's 200 dpi.
constexpr int kLetterWidth = 1700;
// The simulated scanner's preview page: its fourth patch, an inch square at (5.5, 1) inches, has
// the custom colour; a black mark is a quarter inch high at (1, 3) inches. At the view's scale of
// this scanner (27.35 pixels an inch) the patch's middle and a point on the mark:
const QColor kCustom(90, 200, 180);
constexpr double kViewPixelsPerInch = 27.35;
const QPoint kOnCustom(int(6 * kViewPixelsPerInch), int(1.5 * kViewPixelsPerInch));
const QPoint kOnMark(int(1.5 * kViewPixelsPerInch), int(3.125 * kViewPixelsPerInch));

bool near(const QColor& a, const QColor& b) {
  constexpr int kTolerance = 8;
  return std::abs(a.red() - b.red()) < kTolerance && std::abs(a.green() - b.green()) < kTolerance &&
         std::abs(a.blue() - b.blue()) < kTolerance;
}

// The data source keeps its settings, its preview and the drop-out result in its bundle folder:
// each run takes a copy of the build's bundle, so that no run sees what another left there.
std::string bundleCopy(const fs::path& dir) {
  const fs::path copy = dir / "Ferrolite";
  fs::copy(FERROLITE_BUNDLE, copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  return " --bundle " + copy.string();
}

void writeText(const fs::path& file, const std::string& text) {
  std::ofstream out(file);
  out << text;
}

// A whole-screen picture: the screen's size, and more than a handful of colours (a blank or
// black screen has one or two).
void expectScreenPicture(const fs::path& file) {
  QImage image;
  ASSERT_TRUE(image.load(QString::fromStdString(file.string()))) << file;
  EXPECT_EQ(image.width(), kScreenWidth);
  EXPECT_EQ(image.height(), kScreenHeight);
  std::set<QRgb> colours;
  for (int y = 0; y < image.height() && colours.size() < 64; y += 7)
    for (int x = 0; x < image.width() && colours.size() < 64; x += 7)
      colours.insert(image.pixel(x, y));
  EXPECT_GE(colours.size(), 16u) << file << " looks blank";
}

TEST(DialogUnderXvfb, TheScriptedUserPreviewsDrawsScansAndExits) {
  if (!fs::exists(kXvfbRun)) GTEST_SKIP() << "no xvfb-run: the virtual display is not installed";
  const fs::path dir = testsupport::freshTestFolder("dialog-xvfb");
  writeText(dir / "scanner.txt",
            "serial SIM0000001\nsheets 3\npreview-page " + std::to_string(kCustom.red()) + " " +
                std::to_string(kCustom.green()) + " " + std::to_string(kCustom.blue()) + "\n");
  // The pictures go beside the dialog's other pictures.
  const fs::path shots = DIALOG_SHOTS_OUT;
  fs::create_directories(shots);
  const fs::path open = shots / "twain-host-open.png", preview = shots / "twain-host-preview.png";
  const fs::path window = shots / "twain-host-drawer.png",
                 dropout = shots / "twain-host-dropout.png";
  for (const fs::path& file : {open, preview, window, dropout}) fs::remove(file);
  const fs::path firstPage = dir / "page-1.tif";
  const fs::path previewView = dir / "view-preview.png", resultView = dir / "view-result.png";
  const std::string onCustom = std::to_string(kOnCustom.x()) + " " + std::to_string(kOnCustom.y());
  const std::vector<std::string> steps = {
      "wait-enabled mButtonScan",
      "shot " + open.string(),
      "select mPopupPaperSize Letter",
      "click mButtonPreview",
      "click mButtonDrawerPreview",
      "wait-enabled mButtonScan",
      "drag mPreviewView " + kDrag,
      "shot " + preview.string(),
      "shot " + window.string() + " windows",
      // The colour drop-out page, shown through the Setting page's table; the custom colour
      // of the black-and-white front picked from its patch on the preview.
      "select pTabView Setting",
      "check pSettingsTableView 0 1",
      "select pTabView Color Dropout",
      "click mBtnImageTypeDropCBWFront",
      "select mPopupColorDrop Custom",
      "click mEyeDropperClick",
      "hover mPreviewView " + onCustom,
      "shot " + previewView.string() + " mPreviewView",
      "press mPreviewView " + onCustom,
      "shot " + resultView.string() + " mPreviewView",
      "shot " + dropout.string() + " windows",
      "release mPreviewView " + onCustom,
      "click mEyeDropperClick",
      "click mButtonScan",
      "wait-file " + firstPage.string(),
      "wait-enabled mButtonCancel",
      "click mButtonCancel",
  };
  std::string script;
  for (const std::string& step : steps) script += step + "\n";
  writeText(dir / "user.txt", script);
  // On a display, Qt's platform plug-in talks to the session bus through libdbus, which keeps a
  // block it allocated for the process's life: not ours to free, so not a leak of ours.
  writeText(dir / "leaks.supp", "leak:libdbus-1.so\n");
  const std::string command =
      "cd " + dir.string() +
      " && env -u QT_QPA_PLATFORM LSAN_OPTIONS=suppressions=" + (dir / "leaks.supp").string() +
      ":print_suppressions=0 HOME=" + dir.string() +
      " XDG_CONFIG_HOME=" + (dir / "config").string() +
      " VANTREL_SIMULATOR=" + (dir / "scanner.txt").string() +
      " VT_UI_QT_SCRIPT=" + (dir / "user.txt").string() + " " + kXvfbRun + " -a -s '-screen 0 " +
      std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24' " +
      TWAIN_SCAN_PATH + bundleCopy(dir) + " --ui --threads -o " + (dir / "page-%d.tif").string() +
      " --transfer native";
  const testsupport::CommandRun run = testsupport::runCommand(command);
  ASSERT_EQ(run.exit, 0) << run.output;

  expectScreenPicture(open);
  expectScreenPicture(preview);
  EXPECT_NE(testsupport::ReadFile(open), testsupport::ReadFile(preview))
      << "the drawer's preview shows on the second picture";
  // The dialog's window with its drawer: the drawer stays on the screen.
  const QImage windows(QString::fromStdString(window.string()));
  ASSERT_FALSE(windows.isNull());
  EXPECT_LE(windows.width(), kScreenWidth);
  EXPECT_GT(windows.width(), windows.height());
  // The windows lie wholly on the screen: what the screen shows of them spans as wide as they are.
  const QImage screen(QString::fromStdString(preview.string()));
  const QRgb background = screen.pixel(0, 0);
  int first = screen.width(), last = -1;
  for (int y = 0; y < screen.height(); ++y) {
    for (int x = 0; x < screen.width(); ++x) {
      if (screen.pixel(x, y) == background) continue;
      first = std::min(first, x);
      last = std::max(last, x);
    }
  }
  EXPECT_EQ(last + 1 - first, windows.width()) << "a window runs past the screen's edge";

  // The eye dropper over the custom patch, then the press: the result drops the patch and
  // keeps the marks; the black-and-white side's result is a 1-bit bitmap.
  const QImage shown(QString::fromStdString(previewView.string()));
  const QImage result(QString::fromStdString(resultView.string()));
  ASSERT_FALSE(shown.isNull());
  ASSERT_FALSE(result.isNull());
  EXPECT_TRUE(near(shown.pixelColor(kOnCustom), kCustom))
      << shown.pixelColor(kOnCustom).name().toStdString();
  EXPECT_EQ(result.pixelColor(kOnCustom), QColor(Qt::white));
  EXPECT_EQ(result.pixelColor(kOnMark), QColor(Qt::black));
  const std::string bmp = testsupport::ReadFile(dir / "Ferrolite" / "colorDrop.bmp");
  ASSERT_GT(bmp.size(), 30u);
  EXPECT_EQ(uint8_t(bmp[28]), 1) << "bits per pixel";

  // The pages: the preview took the first sheet, the Scan the other two, all of one size.
  std::set<std::pair<int, int>> sizes;
  int images = 0;
  std::size_t closes = 0, threadsBefore = 0, threadsAfter = 0;
  bool threadsSeen = false;
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    int number = 0, width = 0, length = 0;
    if (std::sscanf(line.c_str(), "Image %d: %dx%d pixels", &number, &width, &length) == 3) {
      ++images;
      sizes.insert({width, length});
      EXPECT_TRUE(fs::exists(dir / ("page-" + std::to_string(number) + ".tif")));
    }
    closes += line.starts_with("The source asks to close");
    threadsSeen |= std::sscanf(line.c_str(), "Threads: %zu before loading, %zu after unloading",
                               &threadsBefore, &threadsAfter) == 2;
  }
  EXPECT_EQ(images, 2) << run.output;
  ASSERT_EQ(sizes.size(), 1u) << run.output;
  // In the drawn area's size: smaller than the Letter page, in the drawn rectangle's proportions.
  const auto [width, length] = *sizes.begin();
  EXPECT_LT(width, kLetterWidth * 2 / 3);
  EXPECT_NEAR(double(width) / length, kDrawnAspect, 0.02) << width << "x" << length;

  // Exit asked to close once; after the unload the threads are as many as before the load.
  EXPECT_EQ(closes, 1u) << run.output;
  EXPECT_NE(run.output.find("The source asks to close (MSG_CLOSEDSREQ)"), std::string::npos);
  ASSERT_TRUE(threadsSeen) << run.output;
  EXPECT_EQ(threadsAfter, threadsBefore);
}

// A line the script cannot play ends the program at once with its line named, rather than
// leaving the dialog up until the host's wait runs out.
TEST(DialogUnderXvfb, AScriptLineThatCannotBePlayedEndsTheRunNamingTheLine) {
  if (!fs::exists(kXvfbRun)) GTEST_SKIP() << "no xvfb-run: the virtual display is not installed";
  const fs::path dir = testsupport::freshTestFolder("dialog-xvfb-bad");
  writeText(dir / "scanner.txt", "serial SIM0000001\nsheets 1\n");
  writeText(dir / "user.txt", "wait-enabled mButtonScan\nclick mPopupPaperSize\n");
  const testsupport::CommandRun run = testsupport::runCommand(
      "cd " + dir.string() +
      " && env -u QT_QPA_PLATFORM LSAN_OPTIONS=suppressions=" + (dir / "leaks.supp").string() +
      " HOME=" + dir.string() + " VANTREL_SIMULATOR=" + (dir / "scanner.txt").string() +
      " VT_UI_QT_SCRIPT=" + (dir / "user.txt").string() + " " + kXvfbRun + " -a " +
      TWAIN_SCAN_PATH + bundleCopy(dir) + " --ui -o " + (dir / "page-%d.tif").string());
  EXPECT_NE(run.exit, 0);
  EXPECT_NE(run.output.find("ui script: line 2: not a button"), std::string::npos) << run.output;
  EXPECT_FALSE(fs::exists(dir / "page-1.tif"));
}

}  // namespace
