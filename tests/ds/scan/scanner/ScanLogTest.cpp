// The scan object's log lines: general-operation values by data type, and the callback's lines
// in their own file.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ds/scan/scanner/ScanCallback.h"
#include "ds/scan/scanner/TezFRLScan.h"
#include "tests/ds/scan/common/CommonTestSupport.h"

using namespace ferrolite;

namespace {

long Values(uint32_t, uint32_t*, int, uint32_t tag, DDS_DATA_TYPE, uint32_t count, void* data) {
  switch (tag) {
    case 1: {
      const float value = 1.5f;
      std::memcpy(data, &value, sizeof value);
      break;
    }
    case 2:
      std::memset(data, 'A', count);
      break;  // a text without its end inside the count
    case 3: {
      const uint16_t value = 600;
      std::memcpy(data, &value, sizeof value);
      break;
    }
  }
  return 0;
}

class ScanLog : public ferrolite_test::CommonFolders {};

TEST_F(ScanLog, GeneralOperationValuesByDataType) {
  gKrCommon = makeCommon(1);
  {
    TezFRLScan scan;
    scan.driverEntries().KRGeneralOperation = Values;
    float real = 0;
    char text[4];
    uint16_t word = 0;
    ASSERT_TRUE(scan.generalOperation(1, 1, 14, 1, &real));
    ASSERT_TRUE(scan.generalOperation(1, 2, 2, sizeof text, text));
    ASSERT_TRUE(scan.generalOperation(2, 3, 7, 1, &word));
  }
  const std::vector<std::string> want = {
      "In  1: KRGeneralOperation : 0x0001", "    1: Read 0x0001 value : 1.500000",
      "Out 1: KRGeneralOperation",          "In  1: KRGeneralOperation : 0x0002",
      "    1: Read 0x0002 value : AAAA",    "Out 1: KRGeneralOperation",
      "In  1: KRGeneralOperation : 0x0003", "    1: Write 0x0003 value : 600",
      "Out 1: KRGeneralOperation"};
  EXPECT_EQ(ferrolite_test::logLines(twainLog()), want);
  gKrCommon.reset();
}

TEST_F(ScanLog, CallbackWritesItsOwnLog) {
  gKrCommon = makeCommon(1);
  std::vector<uint8_t> buffer(64);
  gScanPage.gPageBuffer = buffer.data();
  gScanPage.gScanSize = gScanPage.gPageBufSize = 64;
  gScanPage.clearPageCounters();
  gScanPage.scanTotal = 8;
  gScanPage.gScanPages = 3;
  gScanPage.iScanPages = 0;
  STATUSLIST list;
  std::memset(&list, 0, sizeof list);
  list.Status[0] = kStatusEndOfPage;
  uint8_t data[8] = {};
  uint32_t device = 0;
  EXPECT_EQ(GetScanImage(0, &device, data, 8, 1, 8, &list), kCallbackPageDone);
  gScanPage.gPageBuffer = nullptr;
  const std::vector<std::string> want = {
      "    1: ------------- Scanning page -------------  : 3", "In  1: GetScanImage : -2022",
      "    1: Info : size = 8, received = 0, lines = 1", "    1: S_EOP",
      "Out 1: GetScanImage : scanTotal = 8, scanReceived = 8, scanLines = 1, lRet = 1, "
      "lGetImageStatus = 1"};
  EXPECT_EQ(ferrolite_test::logLines(logFolder_ / "callbacklog.txt"), want);
  gKrCommon.reset();
}

}  // namespace
