// dialog-shots as a process on Qt's offscreen platform: a picture of every page, the drawer and
// each diagnostic panel of the interface in use, each about its window's size, none blank, and
// no text fallen back to its key. The checks are structural: fonts differ between machines.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/imageio/ImageIO.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestFolder.h"

namespace {

struct Shot {
  std::string file;
  double width = 0;
  double height = 0;
};

std::vector<Shot> manifest(const std::filesystem::path& folder) {
  std::vector<Shot> shots;
  std::ifstream in(folder / "shots.txt");
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    Shot shot;
    if (fields >> shot.file >> shot.width >> shot.height) shots.push_back(shot);
  }
  return shots;
}

// Distinct colours in a sample of the picture's pixels: a drawn window has text and frames.
std::size_t coloursIn(const imageio::Raster& raster) {
  std::set<uint32_t> colours;
  const auto& layout = raster.layout;
  const uint32_t channels = layout.samplesPerPixel;
  for (uint32_t y = 0; y < layout.height; y += 3) {
    const uint8_t* row = raster.row(y);
    for (uint32_t x = 0; x < layout.width; x += 3) {
      uint32_t colour = 0;
      for (uint32_t c = 0; c < channels && c < 3; ++c) colour = colour << 8 | row[x * channels + c];
      colours.insert(colour);
    }
  }
  return colours.size();
}

TEST(DialogShots, WritesEveryPageTheDrawerAndEachPanel) {
  struct Case {
    const char* options;
    std::size_t panels;
    std::size_t pages;
    std::filesystem::path folder;
  };
  // The full dialog's pictures stay in the build tree for people to look at.
  // The pictures of the TWAIN host's run (twain-host-*) come from another test that may run
  // meanwhile: they stay.
  const std::filesystem::path shown = DIALOG_SHOTS_OUT;
  std::filesystem::create_directories(shown);
  for (const auto& entry : std::filesystem::directory_iterator(shown)) {
    if (!entry.path().filename().string().starts_with("twain-host")) {
      std::filesystem::remove_all(entry.path());
    }
  }
  // The full dialog (a duplex scanner with a flatbed, every optional page) in inches and in
  // millimetres, and the older interface's dialog without the optional pages.
  for (const Case& c : {Case{"", 3, 9, shown}, Case{"--unit 1", 3, 9, shown / "millimetres"},
                        Case{"--older --tab-window 0 --unit 1 --ui-only", 7, 4,
                             testsupport::freshTestFolder("dialog-shots-older")}}) {
    SCOPED_TRACE(c.options);
    const std::filesystem::path& folder = c.folder;
    const auto run = testsupport::runCommand(std::string(DIALOG_SHOTS_PATH) + " --out " +
                                             folder.string() + " " + c.options);
    ASSERT_EQ(run.exit, 0) << run.output;
    const std::vector<Shot> shots = manifest(folder);
    // The alerts a page shows (the image page's add-profile alert).
    const auto alerts = std::count_if(shots.begin(), shots.end(), [](const Shot& shot) {
      return shot.file.rfind("alert-", 0) == 0;
    });
    EXPECT_EQ(alerts, 1);
    // The pages' own sheets, the image page after a change of types, and the current
    // interface's other capability words.
    std::size_t sheets = 0;
    for (const char* sheet :
         {"barcode-types.png", "imprinter-more.png", "image-types-changed.png"}) {
      const auto found = std::count_if(shots.begin(), shots.end(),
                                       [sheet](const Shot& shot) { return shot.file == sheet; });
      EXPECT_EQ(found, 1) << sheet;
      sheets += static_cast<std::size_t>(found);
    }
    const auto words = std::count_if(shots.begin(), shots.end(), [](const Shot& shot) {
      return shot.file.rfind("panel-", 0) == 0;
    });
    EXPECT_EQ(words, c.panels == 3 ? 2 : 0);
    // The drawer empty, with a preview and its area, and with the drop-out result.
    const auto drawers = std::count_if(shots.begin(), shots.end(), [](const Shot& shot) {
      return shot.file.rfind("drawer", 0) == 0;
    });
    EXPECT_EQ(drawers, 3);
    ASSERT_EQ(shots.size(), c.pages + std::size_t(drawers) + c.panels + std::size_t(alerts) +
                                sheets + std::size_t(words));
    std::size_t pages = 0, panels = 0;
    for (const Shot& shot : shots) {
      SCOPED_TRACE(shot.file);
      pages += shot.file.rfind("page-", 0) == 0;
      panels += shot.file.rfind("sheet-", 0) == 0;
      imageio::DecodedImage picture;
      ASSERT_TRUE(imageio::readImageFile(folder / shot.file, picture).ok());
      const auto& layout = picture.raster.layout;
      // The window as the toolkit laid it out: about its described size.
      EXPECT_GT(layout.width, shot.width * 0.7);
      EXPECT_LT(layout.width, shot.width * 1.5);
      EXPECT_GT(layout.height, shot.height * 0.7);
      EXPECT_LT(layout.height, shot.height * 1.5);
      EXPECT_GT(coloursIn(picture.raster), 8u) << "blank";
    }
    EXPECT_EQ(pages, c.pages);
    EXPECT_EQ(panels, c.panels);
  }
}

// The whole window inside the TWAIN host, against the real data source and the simulated
// scanner (a feeder without a flatbed): as opened, with the drawer and a preview beside it, on
// the information page, with every optional page shown and after Default hid them again; in
// German as opened, on the paper page, on the information page and with a scan's progress window
// over it; beside the other pictures.
TEST(DialogShots, TheWholeWindowFromTheTwainHost) {
  const std::filesystem::path folder = DIALOG_SHOTS_OUT;
  std::filesystem::create_directories(folder);
  enum Picture {
    kOpened,
    kPreviewed,
    kInfo,
    kAllPages,
    kDefault,
    kGerman,
    kPaper,
    kGermanInfo,
    kProgress,
    kPictures
  };
  const std::array<std::string, kPictures> names = {
      "twain-host-window.png",          "twain-host-window-preview.png",
      "twain-host-window-info.png",     "twain-host-window-all-pages.png",
      "twain-host-window-default.png",  "twain-host-window-de.png",
      "twain-host-window-paper-de.png", "twain-host-window-info-de.png",
      "twain-host-progress-de.png"};
  for (const std::string& name : names) std::filesystem::remove(folder / name);
  const auto run = testsupport::runCommand(std::string(DIALOG_SHOTS_PATH) + " --out " +
                                           folder.string() + " --twain-host");
  ASSERT_EQ(run.exit, 0) << run.output;
  std::vector<imageio::DecodedImage> pictures(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    ASSERT_TRUE(imageio::readImageFile(folder / names[i], pictures[i]).ok());
    EXPECT_GT(pictures[i].raster.layout.width, pictures[i].raster.layout.height);
    EXPECT_GT(coloursIn(pictures[i].raster), 8u) << "blank";
  }
  auto layout = [&pictures](Picture p) { return pictures[p].raster.layout; };
  // The drawer opens at the window's side: the picture grows by its width, not its height.
  EXPECT_GT(layout(kPreviewed).width, layout(kOpened).width + 200);
  EXPECT_LT(layout(kPreviewed).height, layout(kOpened).height * 1.1);
  // Every optional page widens the window; after Default hid them the window with its drawer is
  // as wide as before they were shown.
  EXPECT_GT(layout(kAllPages).width, layout(kPreviewed).width);
  EXPECT_EQ(layout(kDefault).width, layout(kPreviewed).width);
  // The progress window opens over the dialog: the windows shown take no more room than the
  // dialog on the page the scan started from.
  EXPECT_EQ(layout(kProgress).width, layout(kGermanInfo).width);
  EXPECT_EQ(layout(kProgress).height, layout(kGermanInfo).height);
  EXPECT_FALSE(std::filesystem::exists(folder / "twain-host-run")) << "the run's folder is left";
}

// Every window of the full dialog in English and in German (English where German has no text),
// in inches and in millimetres, measured with the Qt adapter's fonts: no control overlaps
// another, lies outside its window or box or cuts its text, no box is empty, every window fits
// a 1280 x 800 screen. A fault is named by picture, control and problem; the pictures stay in
// the build tree beside the others.
TEST(DialogShots, EveryWindowsLayoutHoldsInBothLanguagesAndUnits) {
  const std::filesystem::path shown = std::string(DIALOG_SHOTS_OUT) + "-layout";
  for (const char* language : {"en", "de"}) {
    for (const char* unit : {"0", "1"}) {
      const std::string name = std::string(language) + (unit[0] == '0' ? "-inches" : "-mm");
      SCOPED_TRACE(name);
      const std::filesystem::path folder = shown / name;
      std::filesystem::remove_all(folder);
      const std::string options = std::string(" --check-layout --unit ") + unit +
                                  (language == std::string("en") ? "" : " --language de");
      const auto run = testsupport::runCommand(std::string(DIALOG_SHOTS_PATH) + " --out " +
                                               folder.string() + options);
      EXPECT_EQ(run.exit, 0) << run.output;
    }
  }
}

TEST(DialogShots, RefusesAMissingOutputFolderOption) {
  const auto run = testsupport::runCommand(std::string(DIALOG_SHOTS_PATH) + " --unit 7");
  EXPECT_EQ(run.exit, 2) << run.output;
}

}  // namespace
