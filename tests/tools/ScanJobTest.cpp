// The command-line client's scan job in one process, as a user meets a paper jam: the job stops
// with the jam, the user clears it and scans again without starting anything anew, and the
// second job scans the rest of the feeder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "TestFolder.h"
#include "tools/KrLibrary.h"
#include "tools/ScanPages.h"
#include "vantrel/status_codes.h"

namespace {

constexpr uint32_t kCtrl = 0x2200;

TEST(ScanJob, AJamThenANewScanInTheSameProcess) {
  const std::filesystem::path dir = testsupport::freshTestFolder("tools-scan-job");
  // Four raw sheets; the second jams a READ into it.
  std::ofstream(dir / "scanner.txt") << "serial SIMJ00001\nsheets 4\nprofile raw\n"
                                        "event 2 jam at=10000\n";
  std::ofstream(dir / "Debug.conf") << "DebugLevel 1\nBufferedLog 0\n";
  setenv("VANTREL_SIMULATOR", (dir / "scanner.txt").c_str(), 1);
  setenv("VANTREL_SIM_LIBRARY", VANTREL_SIM_PATH, 1);
  setenv("VANTREL_LOG_ROOT", (dir.string() + "/").c_str(), 1);
  std::string error;
  std::unique_ptr<vtclient::KrLibrary> kr = vtclient::KrLibrary::Load(VANTREL_PATH, &error);
  ASSERT_TRUE(kr) << error;
  ASSERT_EQ(kr->KRInitializeDriver(kCtrl), 0);
  uint32_t handle = 0;
  ASSERT_EQ(kr->KRInitializeDevice(kCtrl, nullptr, &handle), 0);

  vtclient::ScanSettings settings;
  settings.width = 26;  // 304 pixels at 300 dpi
  settings.length = 10;
  std::vector<uint32_t> sheets;
  auto keep = [&](const vtclient::ScannedPage& page) {
    sheets.push_back(page.sheet);
    EXPECT_EQ(page.image.data.size(), 304u * 118) << page.number;
    return true;
  };
  const vtclient::ScanOutcome jammed = vtclient::RunScanJob(*kr, kCtrl, &handle, settings, keep);
  EXPECT_EQ(jammed.status, krstatus::kPaperJam);
  EXPECT_STREQ(jammed.call, "the page");
  EXPECT_EQ(jammed.pages, 1u);
  // The jammed sheet is out of the scanner; the two behind it come in the next job.
  const vtclient::ScanOutcome again = vtclient::RunScanJob(*kr, kCtrl, &handle, settings, keep);
  EXPECT_EQ(again.status, 0) << again.call;
  EXPECT_EQ(again.pages, 2u);
  EXPECT_EQ(sheets.size(), 3u);

  EXPECT_EQ(kr->KRTerminateDevice(kCtrl, &handle), 0);
  EXPECT_EQ(kr->KRTerminateDriver(kCtrl), 0);
}

}  // namespace
