// The simulated scanner's image reads as the driver's READs meet them.
#include <gtest/gtest.h>

#include <vector>

#include "sim/SimDeMux.h"
#include "sim/SimScanner.h"
#include "tests/sim/SimHarness.h"

namespace {

using namespace simtest;

constexpr uint16_t kVendor = 0xF11E;
constexpr uint16_t kProduct = 0x0310;
constexpr uint16_t kId = 0x2200;
constexpr uint8_t kOpRead = 0xA8;
constexpr uint8_t kCheckCondition = 2;

// A continuous two-sided scan of the style that sends both sides in one stream
// (style 1), with READs of exactly one sheet's stream: each READ's block ends
// where a sheet's stream ends, so the READ after it finds the end of the page
// and brings the next sheet's stream whole. Every READ delivers the sheet it
// names, the last finds the end of the last sheet.
TEST(SimScan, ContinuousInterleavedSheetsInReadsOfAWholeStream) {
  constexpr uint32_t kSheets = 3, kLines = 4, kLine = 8, kUnitLines = 2;
  sim::Config config;
  config.profile = sim::ImageProfile::Raw;
  config.sheets = kSheets;
  config.duplexStyle = sim::detail::kStyleInterleaved;
  config.deMuxLines = kUnitLines;
  config.paperLength = kLines;  // lines at 300 dpi
  sim::SimBus bus;
  sim::SimScanner &scanner = bus.AddScanner(config);
  OpenScanner s;
  ASSERT_EQ(Open(bus, kVendor, kProduct, &s), kUsbSuccess);
  WindowFields w;
  w.bytesPerLine = kLine;
  w.pixels = kLine;
  w.lines = kLines;
  w.modeBit = 0x10;  // 8-bit grey
  w.method = 4;      // duplex
  w.resolution = 300;
  w.continuous = true;
  ASSERT_EQ(DoCommand(s, SetWindowBlock(kId), 0, ScanWindow(w)).status[2], 0);

  auto stream = [&](uint32_t sheet) {
    return sim::detail::InterleaveSides(sim::SheetSide(sheet, 0, kLines, kLine),
                                        sim::SheetSide(sheet, 1, kLines, kLine), kUnitLines * kLine,
                                        sim::detail::kStyleInterleaved)
        .bytes;
  };
  const uint32_t length = 2 * kLines * kLine;
  for (uint32_t read = 1; read <= kSheets + 1; ++read) {
    SCOPED_TRACE(read);
    const Outcome o = DoCommand(s, ReadBlock(kOpRead, kId, 0, length), length);
    ASSERT_EQ(o.rc, kUsbSuccess);
    const std::vector<uint8_t> expected =
        read <= kSheets ? stream(read) : std::vector<uint8_t>(length, 0);
    EXPECT_EQ(o.data, expected);
    EXPECT_EQ(o.status[2], read == 1 ? 0 : kCheckCondition);
  }
  EXPECT_EQ(scanner.Scanned().sheetsFed, kSheets);
}

}  // namespace
