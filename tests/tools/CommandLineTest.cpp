// Every tool as a new user meets it: --help on standard output with exit 0, and a failure's
// reason on standard error with the status its usage text promises.
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/RunCommand.h"
#include "tests/support/TestFolder.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr int kOk = 0, kFailed = 1, kUsage = 2, kNoScanner = 4;

struct Tool {
  const char* name;
  const char* path;
};

const std::vector<Tool> kTools = {
    {"vantrel-scan", VANTREL_SCAN_PATH},
    {"twain-scan", TWAIN_SCAN_PATH},
    {"ica-scan", ICA_SCAN_PATH},
    {"dialog-shots", DIALOG_SHOTS_PATH},
    {"ferrolite-scanner", FERROLITE_SCANNER_PATH},
};

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// The build's data source bundle in a folder of the test's own: the source keeps its settings
// beside itself.
fs::path CopyOfTheBundle(const fs::path& folder) {
  const fs::path bundle = folder / "Ferrolite";
  fs::create_directories(bundle);
  for (const char* part : {"Ferrolite.ds", "Info.plist", "Resources"}) {
    fs::copy(fs::path(FERROLITE_BUNDLE) / part, bundle / part,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  }
  return bundle;
}

class CommandLine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = testsupport::freshTestFolder("tools-command-line");
    bundle_ = CopyOfTheBundle(folder_);
    std::ofstream(folder_ / "scanner.txt") << "serial SIM0000001\nsheets 2\n";
  }

  // A run with no scanner but the simulated one when `scanner` says so; the environment of the
  // test itself is left as it is.
  static testsupport::SplitCommandRun Run(const std::string& command, bool scanner) {
    const std::string env =
        "env -u VANTREL_SIMULATOR -u ICA_CHANNEL_FD HOME=" + Quoted(folder_) +
        " XDG_CONFIG_HOME=" + Quoted(folder_ / "config") + " FERROLITE_BUNDLE=" + Quoted(bundle_) +
        " VANTREL_SIM_LIBRARY=" VANTREL_SIM_PATH +
        (scanner ? " VANTREL_SIMULATOR=" + Quoted(folder_ / "scanner.txt") : std::string()) + " ";
    return testsupport::runCommandSplit(env + command);
  }

  static inline fs::path folder_, bundle_;
};

TEST_F(CommandLine, EveryToolAnswersHelpOnStandardOutput) {
  for (const Tool& tool : kTools) {
    for (const char* option : {"--help", "-h"}) {
      SCOPED_TRACE(std::string(tool.name) + " " + option);
      const auto run = Run(Quoted(tool.path) + " " + option, false);
      EXPECT_EQ(run.exit, kOk) << run.err;
      EXPECT_THAT(run.out, ContainsRegex("[Uu]sage: " + std::string(tool.name)));
      EXPECT_THAT(run.err, IsEmpty());
    }
  }
}

TEST_F(CommandLine, EveryToolNamesAnUnknownOptionOnStandardError) {
  for (const Tool& tool : kTools) {
    if (std::string(tool.name) == "ferrolite-scanner") continue;  // a host's options pass by
    SCOPED_TRACE(tool.name);
    const auto run = Run(Quoted(tool.path) + " --frobnicate", false);
    EXPECT_EQ(run.exit, kUsage) << run.out;
    EXPECT_THAT(run.err, HasSubstr("--frobnicate"));
  }
}

TEST_F(CommandLine, FailuresSayWhatWentWrong) {
  std::ofstream(folder_ / "a-file") << "in the way\n";
  struct Case {
    std::string command;
    bool scanner;
    int exit;
    std::string says;
  };
  const std::string twainScan = Quoted(TWAIN_SCAN_PATH);
  const std::vector<Case> cases = {
      {twainScan, false, kNoScanner, "no scanner the source supports"},
      {twainScan + " -o " + Quoted(folder_ / "none" / "page-%d.tif"), false, kNoScanner,
       "no scanner the source supports"},
      {twainScan + " -o " + Quoted(folder_ / "a-file" / "page-%d.tif"), true, kFailed,
       "cannot make the output folder"},
      {Quoted(FERROLITE_SCANNER_PATH), false, kFailed, "ica-scan -o LOCATION --scan"},
      {Quoted(DIALOG_SHOTS_PATH) + " --unit", false, kUsage, "bad or missing value for --unit"},
      {Quoted(DIALOG_SHOTS_PATH), false, kUsage, "--out DIR is missing"},
      {Quoted(ICA_SCAN_PATH), false, kUsage, "give -L or -o LOCATION"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const auto run = Run(c.command, c.scanner);
    EXPECT_EQ(run.exit, c.exit) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.says));
  }
}

TEST_F(CommandLine, TwainScanMakesTheOutputFolder) {
  const fs::path pages = folder_ / "out" / "deeper";
  const auto run = Run(Quoted(TWAIN_SCAN_PATH) + " --mode gray --resolution 100 -o " +
                           Quoted(pages / "page-%04d.tif"),
                       true);
  EXPECT_EQ(run.exit, kOk) << run.out << run.err;
  EXPECT_TRUE(fs::exists(pages / "page-0001.tif")) << run.out << run.err;
  EXPECT_TRUE(fs::exists(pages / "page-0002.tif")) << run.out << run.err;
  EXPECT_THAT(run.err, Not(HasSubstr("cannot")));
}

TEST_F(CommandLine, TwainScanCutsStraightensAndReadsTheBarcodes) {
  // An A4 invoice fed turned on the feeder's light grey: cut to its paper (1654 x 2338 pixels at
  // 200 dpi, give or take the edge's pixel), its two barcodes printed after its image line.
  const fs::path description = folder_ / "invoice.txt";
  std::ofstream(description)
      << "sheets 1\n"
         "sheet-document 1 front invoice size=a4 skew=-1.2 left=0.1 top=0.3\n";
  const fs::path pages = folder_ / "invoice";
  const auto run = Run("VANTREL_SIMULATOR=" + Quoted(description) + " " + Quoted(TWAIN_SCAN_PATH) +
                           " --mode color --resolution 200 --auto-crop --barcodes -o " +
                           Quoted(pages / "page-%d.png"),
                       false);
  EXPECT_EQ(run.exit, kOk) << run.out << run.err;
  EXPECT_THAT(run.out, ContainsRegex("Image 1: 16(5[3-5])x23(3[7-9]) pixels"));
  EXPECT_THAT(run.out, HasSubstr("\n  barcode Code 128: INV-2026-0417\n"));
  EXPECT_THAT(run.out,
              HasSubstr("\n  barcode QR Code: https://example.com/invoice/INV-2026-0417\n"));
  EXPECT_THAT(run.out, Not(HasSubstr("Image 2")));
}

}  // namespace
