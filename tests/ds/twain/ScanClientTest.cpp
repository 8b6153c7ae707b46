// twain-scan scanning the simulated scanner through the built bundle Ferrolite/, as a user runs
// it: each transfer into files, the lines it prints, and its exit status on the scanner's
// conditions.
#include <gmock/gmock.h>
#include <stdlib.h>
#include <tiffio.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "tests/ds/twain/SimulatedScanner.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestFolder.h"
#include "tools/twain/Host.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kOk = 0, kError = 1, kNoScanner = 4, kNoPaper = 5;

struct Size {
  uint32_t width = 0, height = 0;
  bool operator==(const Size&) const = default;
};

// The printed "Image n: WxH pixels, ... -> NAME" lines: sizes by file name.
std::vector<std::pair<std::string, Size>> printedImages(const std::string& output) {
  std::vector<std::pair<std::string, Size>> images;
  const std::regex line(R"(Image \d+: (\d+)x(\d+) pixels, [^>]* -> (\S+))");
  for (auto it = std::sregex_iterator(output.begin(), output.end(), line);
       it != std::sregex_iterator(); ++it) {
    images.push_back({(*it)[3], {uint32_t(std::stoul((*it)[1])), uint32_t(std::stoul((*it)[2]))}});
  }
  return images;
}

Size tiffSize(const std::string& path) {
  Size size;
  TIFFSetWarningHandler(nullptr);
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) return size;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &size.width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &size.height);
  TIFFClose(tiff);
  return size;
}

// A PNG's size from its header chunk.
Size pngSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char head[24] = {};
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return {};
  if (head[1] != 'P' || head[2] != 'N' || head[3] != 'G') return {};
  auto be = [&](int at) {
    return uint32_t(head[at]) << 24 | uint32_t(head[at + 1]) << 16 | uint32_t(head[at + 2]) << 8 |
           head[at + 3];
  };
  return {be(16), be(20)};
}

class ScanClient : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testsupport::freshTestFolder(
        std::string("twain-scan-") +
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(root_ / "DrvLog");
    std::filesystem::create_directories(root_ / "out");
    std::string error;
    bundle_ = twainhost::CopyBundle(FERROLITE_BUNDLE, root_.string(), &error);
    ASSERT_FALSE(bundle_.empty()) << error;
    dstest::useSimulatedScanner(std::filesystem::path(bundle_) / "Resources");
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  // A scanner description of the test's own.
  std::string describe(const std::string& name, const std::string& text) {
    const std::filesystem::path file = root_ / name;
    std::ofstream(file) << text;
    return file.string();
  }
  testsupport::CommandRun scan(const std::string& args, const std::string& description = "",
                               const std::string& moreEnv = "") {
    std::string env = "VANTREL_LOG_ROOT=" + (root_ / "DrvLog").string() + " " + moreEnv;
    if (!description.empty()) env += " VANTREL_SIMULATOR=" + description;
    return testsupport::runCommand(env + " " TWAIN_SCAN_PATH " --bundle " + bundle_ +
                                   " --resolution 100 -x 25.4 -y 25.4 " + args);
  }
  std::string out(const std::string& name) const { return (root_ / "out" / name).string(); }

  std::filesystem::path root_;
  std::string bundle_;
};

TEST_F(ScanClient, EveryTransferWritesTheImagesItPrints) {
  struct Case {
    std::string args;
    size_t images;
    std::string shows;
    Size (*read)(const std::string&);
  };
  const std::vector<Case> cases = {
      {"--mode color --source duplex --transfer memory --output " + out("m-%04d.tif"), 6,
       "colour 24 bits, 100 dpi", tiffSize},
      {"--mode grey --transfer file --output " + out("f-%d.png"), 3, "grey 8 bits", pngSize},
      {"--mode lineart --transfer memory --output " + out("l-%d.png"), 3, "lineart 1 bits",
       pngSize},
      {"--mode color --transfer native --count 2 --output " + out("n-%d.tif"), 2, "colour 24 bits",
       tiffSize},
      {"--mode grey --transfer file --format tiff --count 1 --output " + out("single.tif"), 1,
       "-> " + out("single.tif"), tiffSize},
      // A host of the Photoshop family gets a MSG_XFERREADY for each image.
      {"--application 'Adobe Photoshop' --mode grey --transfer file --output " + out("p-%d.png"), 3,
       "grey 8 bits", pngSize},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const testsupport::CommandRun run = scan(c.args);
    EXPECT_EQ(run.exit, kOk) << run.output;
    EXPECT_THAT(run.output, HasSubstr(c.shows));
    EXPECT_THAT(run.output, Not(HasSubstr("fault")));
    const auto images = printedImages(run.output);
    ASSERT_EQ(images.size(), c.images) << run.output;
    for (const auto& [file, size] : images) {
      EXPECT_GT(size.width, 90u) << file;  // about an inch at 100 dpi
      EXPECT_EQ(c.read(file), size) << file;
    }
  }
}

TEST_F(ScanClient, ConditionsEndTheScanWithTheSourcesCodeAndExitStatus) {
  struct Case {
    std::string name, description;
    int exit;
    size_t images;
    std::vector<std::string> shows;
  };
  const std::vector<Case> cases = {
      {"empty feeder",
       "serial SIM0000001\nsheets 0\n",
       kNoPaper,
       0,
       {"MSG_ENABLEDS: rc 1", "No documents are loaded in the scanner."}},
      {"jam on the second sheet",
       "serial SIM0000001\nsheets 3\nevent 2 jam\n",
       kError,
       1,
       {"the transfer was cancelled: rc 3 cc 20"}},
      {"no supported scanner",
       "serial SIM0000002\nproduct-id 0x0311\n",
       kNoScanner,
       0,
       {"MSG_OPENDS refused", "no scanner the source supports"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const testsupport::CommandRun run =
        scan("--mode grey --transfer memory --output " + out("c-%d.tif"),
             describe("scanner.txt", c.description));
    EXPECT_EQ(run.exit, c.exit) << run.output;
    EXPECT_EQ(printedImages(run.output).size(), c.images) << run.output;
    for (const std::string& s : c.shows) EXPECT_THAT(run.output, HasSubstr(s));
    EXPECT_THAT(run.output, Not(HasSubstr("fault")));
  }
}

TEST_F(ScanClient, WithTheInterfaceTheUserStartsTheBatch) {
  // No display: the source's interface runs headless when a script names what the user does.
  const std::string script = describe("user.txt", "action scan\n");
  const testsupport::CommandRun run =
      scan("--ui --transfer memory --output " + out("ui-%d.tif"), "",
           "DISPLAY= WAYLAND_DISPLAY= FERROLITE_UI_SCRIPT=" + script);
  EXPECT_EQ(run.exit, kOk) << run.output;
  EXPECT_EQ(printedImages(run.output).size(), 3u) << run.output;
  EXPECT_THAT(run.output, Not(HasSubstr("fault")));

  const testsupport::CommandRun refused =
      scan("--ui --transfer memory --output " + out("no-%d.tif"), "",
           "DISPLAY= WAYLAND_DISPLAY= FERROLITE_UI_SCRIPT=");
  EXPECT_EQ(refused.exit, kError) << refused.output;
  EXPECT_THAT(refused.output, HasSubstr("MSG_ENABLEDS: rc 1 cc 5"));
}

}  // namespace
