// Enumeration through the loaded driver library on a simulated bus of several scanners.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "DriverExports.h"
#include "TestLog.h"
#include "sim/SimScanner.h"
#include "vantrel/kr_api.h"

namespace {
// A: good. B: never answers its inquiry. C: good. D: another product. E: no bulk IN pipe.
// F: no interrupt pipe. G: its listing inquiries end in status 2, which counts as good there.
const char kBus[] =
    "serial BUS0000A\n"
    "scanner\nserial BUS0000B\nfault undefined-status opcode=0xE2 count=0\n"
    "scanner\nserial BUS0000C\n"
    "scanner\nserial BUS0000D\nproduct-id 0x0999\n"
    "scanner\nserial BUS0000E\nbulk-in no\n"
    "scanner\nserial BUS0000F\ninterrupt no\n"
    "scanner\nserial BUS0000G\nfault check-condition opcode=0xE2 count=2 key=2\n";

class DlopenBus : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string root = testlog::Prepare("dlopen-bus");
    std::string description = root + "bus.txt";
    std::ofstream(description) << kBus;
    setenv("VANTREL_SIMULATOR", description.c_str(), 1);
  }
  void SetUp() override {
    library = testsupport::LoadDriver(VANTREL_LIBRARY_PATH);
    ASSERT_NE(library, nullptr);
    d = testsupport::ExportsOf(*library);
  }
  void TearDown() override {
    if (library != nullptr) d.KRTerminateDriver(0);
  }
  std::unique_ptr<vtclient::KrLibrary> library;
  testsupport::KrExports d;
};
}  // namespace

TEST_F(DlopenBus, ListsTheSupportedDevicesThatAnswer) {
  ASSERT_EQ(d.KRInitializeDriver(0x0134B6EA), 0);
  ASSERT_EQ(sim::LoadedScannerCount(), 7u);
  DEVLIST* list = nullptr;
  uint32_t count = 0;
  ASSERT_EQ(d.KRGetDeviceList(0x0134B6EA, &list, &count), 0);
  std::string serials;
  for (DeviceInformation* n = list->pDevice; n != nullptr; n = n->next)
    serials += n->SerialNumber + std::string(" ");
  EXPECT_EQ(serials, "BUS0000A BUS0000C BUS0000F BUS0000G ");
  EXPECT_EQ(count, 4u);
  EXPECT_TRUE(testlog::Contains("Have error!! Don't add it to list"));
  EXPECT_TRUE(testlog::Contains("Not all pipe found"));

  // Status 2 during listing needs no sense request.
  for (const sim::Exchange& e : sim::LoadedScanner(6)->CommandLog()) EXPECT_NE(e.block[0], 0xE3);

  char f[] = "usb:0xF11E:0x0310:BUS0000F";
  uint32_t handle = 0;
  ASSERT_EQ(d.KRInitializeDevice(0x0134B6EA, f, &handle), 0);
  EXPECT_EQ(handle, 3u);
  EXPECT_EQ(d.KRDeviceStatus(0x0134B6EA, &handle), 0);
  EXPECT_TRUE(testlog::Contains("Interrupt pips not found, button function will not work"));
  sim::SimScanner* scannerF = sim::LoadedScanner(5);
  ASSERT_NE(scannerF, nullptr);
  ASSERT_FALSE(scannerF->CommandLog().empty());
  EXPECT_EQ(scannerF->CommandLog().back().block[0], 0xE3);
  EXPECT_EQ(scannerF->CommandLog().back().block[1], 0xB6);
}
