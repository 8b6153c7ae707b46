// VANTREL_SIMULATOR: the host layer loads libvantrel-sim.so and uses its bus. This program
// links the library too, so it reaches the very scanner the host layer loaded.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "TestFolder.h"
#include "platform/usb/SimEntry.h"
#include "platform/usb/UsbHost.h"
#include "sim/SimScanner.h"
#include "tests/sim/SimHarness.h"

extern "C" usbhost::UsbBus* VantrelSimulatorBus(uint32_t version, const char* descriptionPath,
                                                char* error, uint32_t errorSize);

namespace {

using namespace simtest;

std::string TempFile(const char* name) {
  return (testsupport::freshTestFolder("sim-load") / name).string();
}

TEST(SimLoad, DescriptionFileNamedByTheEnvironmentBuildsTheBus) {
  std::string path = TempFile("sim-load.txt");
  {
    std::ofstream f(path);
    f << "# loaded through the host layer\n"
         "serial LOADED-42\n"
         "sheets 3\n"
         "fault undefined-status opcode=0xE6 status=5\n";
  }
  ASSERT_EQ(setenv("VANTREL_SIMULATOR", path.c_str(), 1), 0);
  unsetenv("VANTREL_SIM_LIBRARY");  // found by its name through this program's run path

  UsbBus& bus = Host();
  EXPECT_STREQ(HostError(), "");
  OpenScanner s;
  ASSERT_EQ(Open(bus, 0xF11E, 0x0310, &s), kUsbSuccess);
  Outcome o = DoCommand(s, InquiryBlock(0x2200, 232), 232);
  ASSERT_EQ(o.rc, kUsbSuccess);
  EXPECT_EQ(TextAt(o.data, 14), "LOADED-42");
  EXPECT_EQ(DoCommand(s, MakeBlock(0xE6, 0x2200), 0).status[2], 5);  // the scripted fault

  sim::SimScanner* scanner = sim::LoadedScanner();
  ASSERT_NE(scanner, nullptr);
  EXPECT_EQ(scanner->SheetsLeft(), 3u);
  auto log = scanner->CommandLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].block, (Block{0xE2, 0x22, 0x00, 0, 0, 0, 0, 0, 0, 0, 232, 0}));
  std::remove(path.c_str());
}

TEST(SimLoad, EntryRefusesAnotherVersionAndABadFile) {
  char error[256] = {};
  EXPECT_EQ(VantrelSimulatorBus(kVantrelSimEntryVersion + 1, "x", error, sizeof error), nullptr);
  EXPECT_NE(std::string(error).find("entry version"), std::string::npos) << error;

  std::string path = TempFile("sim-bad.txt");
  {
    std::ofstream f(path);
    f << "serial OK\nflux on\n";
  }
  EXPECT_EQ(VantrelSimulatorBus(kVantrelSimEntryVersion, path.c_str(), error, sizeof error),
            nullptr);
  EXPECT_NE(std::string(error).find("line 2: unknown key 'flux'"), std::string::npos) << error;
  // A short error buffer gets a cut, terminated text.
  char tiny[8];
  std::memset(tiny, 'x', sizeof tiny);
  EXPECT_EQ(VantrelSimulatorBus(kVantrelSimEntryVersion, path.c_str(), tiny, sizeof tiny), nullptr);
  EXPECT_EQ(std::strlen(tiny), sizeof tiny - 1);
  std::remove(path.c_str());
}

}  // namespace
