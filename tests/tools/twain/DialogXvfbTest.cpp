// The whole program under a virtual X display: `twain-scan --ui` opens the real data source
// with its settings dialog on Qt's widgets, and the Qt adapter's development script plays the
// user (pick a page size, Preview, draw a new area on the preview, Scan, Exit) at the level of
// outlets, taking whole-screen pictures on the way. The pictures, the pages, one close request
// and the thread count after the unload are checked here.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

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
  writeText(dir / "scanner.txt", "serial SIM0000001\nsheets 3\n");
  // The pictures go beside the dialog's other pictures.
  const fs::path shots = DIALOG_SHOTS_OUT;
  fs::create_directories(shots);
  const fs::path open = shots / "twain-host-open.png", preview = shots / "twain-host-preview.png";
  fs::remove(open);
  fs::remove(preview);
  const fs::path firstPage = dir / "page-1.tif";
  writeText(dir / "user.txt",
            "wait-enabled mButtonScan\n"
            "shot " +
                open.string() +
                "\n"
                "select mPopupPaperSize Letter\n"
                "click mButtonPreview\n"
                "click mButtonDrawerPreview\n"
                "wait-enabled mButtonScan\n"
                "drag mPreviewView " +
                kDrag +
                "\n"
                "shot " +
                preview.string() +
                "\n"
                "click mButtonScan\n"
                "wait-file " +
                firstPage.string() +
                "\n"
                "wait-enabled mButtonCancel\n"
                "click mButtonCancel\n");
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
      TWAIN_SCAN_PATH + " --ui --threads -o " + (dir / "page-%d.tif").string() +
      " --transfer native";
  const testsupport::CommandRun run = testsupport::runCommand(command);
  ASSERT_EQ(run.exit, 0) << run.output;

  expectScreenPicture(open);
  expectScreenPicture(preview);
  EXPECT_NE(testsupport::ReadFile(open), testsupport::ReadFile(preview))
      << "the drawer's preview shows on the second picture";

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
      TWAIN_SCAN_PATH + " --ui -o " + (dir / "page-%d.tif").string());
  EXPECT_NE(run.exit, 0);
  EXPECT_NE(run.output.find("ui script: line 2: not a button"), std::string::npos) << run.output;
  EXPECT_FALSE(fs::exists(dir / "page-1.tif"));
}

}  // namespace
