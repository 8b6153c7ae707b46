// The image read of one or two sides against the simulated scanner: end of page, end of file
// and multi-feed reports turn into the block's outcome.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "SimHelpers.h"
#include "TestLog.h"
#include "drv/device/CScannerManager.h"
#include "drv/device/CUsbIO.h"
#include "drv/platform/DbgLog.h"

namespace {
class ImageRead : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testlog::Prepare("image-read");
    InitializeDbg(nullptr);
  }
  static void TearDownTestSuite() { TerminateDbg(); }

  void SetUp() override {
    scanner = &host.Add("IMG1");
    CScannerManager::SetCtrlID(0x2200);
    KrDrvDeviceInformation rec = simhelp::UsbRecord(scanner->config());
    io.reset(static_cast<CUsbIO*>(CUsbIO::Create(&rec)));
    ASSERT_NE(io, nullptr);
  }
  void TearDown() override { io.reset(); }

  simhelp::InstalledBus host;
  sim::SimScanner* scanner = nullptr;
  std::unique_ptr<CUsbIO> io;
};

struct Side {
  bool condition;
  uint8_t key;
  uint16_t code;
  uint32_t info;
};
constexpr Side kWhole{false, 0, 0, 0};
constexpr Side Cond(uint16_t code, uint32_t info = 0, uint8_t key = 0) {
  return {true, key, code, info};
}

struct ImageCase {
  const char* what;
  bool continueOnMultiFeed;
  bool rear;
  Side front, back;
  bool ok;
  int32_t status;  // checked when the block fails
  uint32_t out;
  size_t reads;
  const char* log;
};

const ImageCase kImageCases[] = {
    {"whole block", false, true, kWhole, kWhole, true, 0, 65536, 2, nullptr},
    {"front end of page", false, false, Cond(0x8004, 1000), kWhole, false, -2022, 1000, 1, nullptr},
    {"both sides end alike", false, true, Cond(0x8004, 1000), Cond(0x8004, 1000), false, -2022,
     1000, 2, nullptr},
    {"rear without end of page", false, true, Cond(0x8004, 1000), kWhole, false, -2022, 1000, 2,
     "Front EOP=1 RearEOP=0, not both page have EOP"},
    {"different end sizes", false, true, Cond(0x8004, 1000), Cond(0x8004, 2000), false, -2022, 1000,
     2, "Front EOP size=1000 RearEOP size=2000, both page does different EOP size"},
    {"end of page beyond the block", false, false, Cond(0x8004, 70000), kWhole, false, -2022, 65536,
     1, "Front EOP size=70000 exceed transfer size, change to 65536"},
    {"end of file", false, false, Cond(0x8022, 500), kWhole, false, -2038, 500, 1, nullptr},
    {"rear end of file", false, true, kWhole, Cond(0x8022, 300), false, -2038, 65536, 2, nullptr},
    {"multi-feed, continue off", false, true, Cond(0x8005), kWhole, false, -3101, 0, 1, nullptr},
    {"multi-feed, continue on", true, true, Cond(0x8005), kWhole, false, -3101, 65536, 2, nullptr},
    {"end of page with multi-feed, continue on", true, false, Cond(0x8016, 800), kWhole, false,
     -60000, 800, 1, nullptr},
    {"end of page with multi-feed, continue off", false, false, Cond(0x8016, 800), kWhole, false,
     -60000, 0, 1, nullptr},
    {"multi-feed then rear end of page", true, true, Cond(0x8005), Cond(0x8004, 300), false, -60000,
     65536, 2, nullptr},
    {"front fails", false, true, Cond(0x0000, 0, 3), kWhole, false, -2003, 0, 1,
     "Error Code Front=-2003, Rear=0"},
    {"rear fails", false, true, kWhole, Cond(0x8001), false, -2013, 0, 2,
     "Error Code Front=0, Rear=-2013"},
};
}  // namespace

TEST_F(ImageRead, OutcomesOfOneOrTwoSides) {
  std::vector<uint8_t> front(65536), rear(65536);
  for (const ImageCase& c : kImageCases) {
    uint8_t window[96] = {};
    window[62] = c.continueOnMultiFeed ? 0x00 : 0x08;
    ASSERT_TRUE(io->SetWindow(window, sizeof window));
    ASSERT_EQ(io->MultiFeedContinue(), c.continueOnMultiFeed);
    scanner->ClearFaults();
    uint32_t skip = 0;
    for (const Side& s : {c.front, c.back}) {
      if (s.condition) {
        sim::Fault f;
        f.kind = sim::FaultKind::CheckCondition;
        f.opcode = 0xA8;
        f.dataType = 0;
        f.skip = skip;
        f.senseKey = s.key;
        f.asc = static_cast<uint8_t>(s.code >> 8);
        f.ascq = static_cast<uint8_t>(s.code);
        f.information = s.info;
        scanner->InjectFault(f);
      }
      ++skip;
    }
    scanner->ClearCommandLog();
    uint32_t out = 12345;
    bool ok = io->ReadImage(nullptr, front.data(), c.rear ? rear.data() : nullptr, 65536, 0, &out);
    EXPECT_EQ(ok, c.ok) << c.what;
    if (!c.ok) {
      EXPECT_EQ(static_cast<int32_t>(io->GetStatusLong()), c.status) << c.what;
    }
    EXPECT_EQ(out, c.out) << c.what;
    size_t reads = 0;
    for (const sim::Exchange& e : scanner->CommandLog()) {
      reads += e.block[0] == 0xA8;
      EXPECT_TRUE(e.statusTaken) << c.what << ": " << e.command;
    }
    EXPECT_EQ(reads, c.reads) << c.what;
    if (c.log != nullptr) {
      EXPECT_TRUE(testlog::Contains(c.log)) << c.what;
    }
  }
  // The block's data arrived whole where the device delivered it.
  for (size_t i = 0; i < 256; ++i) ASSERT_EQ(front[i], uint8_t(i));
}
