// A scanner that keeps the older 132-byte NVRAM layout, through the real driver and the
// simulator: read as the current layout, written back in its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "TestFolder.h"
#include "TestLog.h"
#include "ds/scan/scanner/TezFRLScan.h"

using namespace ferrolite;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> gWritten;
decltype(&::KRWriteNVMData) gRealWrite = nullptr;
long WriteSpy(uint32_t c, uint32_t* d, long tag, uint32_t type, void* data, bool toDevice) {
  if (tag == 0) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    gWritten.assign(bytes, bytes + sizeof(NewNvmData_VER1));
  }
  return gRealWrite(c, d, tag, type, data, toDevice);
}

TEST(NvramV100, ReadAsTheCurrentLayoutAndWrittenBackInItsOwn) {
  const fs::path root = testsupport::freshTestFolder("ds-scan-nvram100");
  const fs::path description = root / "scanner.txt";
  std::ofstream(description) << "serial SIMV100001\nnvram-layout 1\n";
  setenv("VANTREL_SIMULATOR", description.c_str(), 1);
  setenv("VANTREL_SIM_LIBRARY", VANTREL_SIM_PATH, 1);
  fs::create_directories(root / "ds");
  fs::create_symlink(VANTREL_LIBRARY_PATH, root / "ds" / "Vantrel.so");

  TezFRLScan scan;
  ASSERT_TRUE(scan.initalizeScanner("Vantrel.so", root / "ds", 0x0310F11E));
  NewNvmData nvm;
  std::memset(&nvm, 0xEE, sizeof nvm);
  ASSERT_TRUE(scan.readNewNVMData(&nvm));
  EXPECT_TRUE(scan.nvramV100());
  EXPECT_EQ(nvm.Version, 200);
  EXPECT_EQ(nvm.Size, 261);
  EXPECT_EQ(nvm.ReverseRollerCount, 0xFFFFFFFFu);
  EXPECT_EQ(nvm.PickupRollerCount, 0xFFFFFFFFu);
  EXPECT_EQ(nvm.PadLife, 0u);  // cleared beyond the older body
  EXPECT_EQ(std::string(nvm.SN, 10), "SIMV100001");
  EXPECT_EQ(nvm.ADFSingleModeScanCount, 8000u);

  gRealWrite = scan.driverEntries().KRWriteNVMData;
  scan.driverEntries().KRWriteNVMData = WriteSpy;
  nvm.PowerOffTime = 77;
  ASSERT_TRUE(scan.writeNewNVMData(0, 0, &nvm));
  ASSERT_EQ(gWritten.size(), 132u);
  EXPECT_EQ(gWritten[2], 100);
  EXPECT_EQ(gWritten[3], 132);
  EXPECT_EQ(std::memcmp(gWritten.data() + 4, reinterpret_cast<const uint8_t*>(&nvm) + 5, 128), 0);

  NewNvmData again;
  ASSERT_TRUE(scan.readNewNVMData(&again));
  EXPECT_EQ(again.PowerOffTime, 77);
  EXPECT_EQ(again.ADFSingleModeScanCount, 8000u);
}

}  // namespace
