// The client's texts of the driver's records, on records the test lays out byte by byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/DeviceReport.h"

namespace {

using vtclient::Report;

std::string Line(const char* label, const std::string& value) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, "  %-26s %s", label, value.c_str());
  return buffer;
}

std::vector<std::string> Lines(const Report& report) {
  std::vector<std::string> lines;
  std::string text = report.Text();
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Each wanted line is one whole line of the report.
void ExpectLines(const std::vector<std::string>& lines, const std::vector<std::string>& wanted) {
  for (const std::string& w : wanted) {
    EXPECT_TRUE(Has(lines, w)) << "no line \"" << w << "\"";
  }
}

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); }
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); }
void PutText(std::vector<uint8_t>& b, size_t at, const char* text, size_t n) {
  std::memcpy(&b[at], text, n);
}

// Each record in a block of exactly its Size bytes, so that reading past it is caught.
TEST(DescribeNvm, LayoutOneReadsItsOwnOffsetsAndHasNoLives) {
  std::vector<uint8_t> b(132);
  b[2] = 100;
  b[3] = 132;
  Put32(b, 8, 77);                                       // ADFSingleModeScanCount
  Put16(b, 26, static_cast<uint16_t>(-7));               // SideEdgeADFFrontPage
  Put16(b, 32, 3), Put16(b, 34, 9), Put16(b, 36, 2024);  // born
  PutText(b, 50, "ABCDEFGHIJKLMNOPQRSTUVWX", 24);        // all 24 bytes, no terminator
  Put32(b, 85, 4);                                       // JamCount
  Put32(b, 128, 900);                                    // PowerOnTime, the last field
  Report report;
  ASSERT_TRUE(vtclient::DescribeNvm(b.data(), b.size(), &report));
  auto lines = Lines(report);
  ExpectLines(lines,
              {"NVRAM (layout 1, 132 bytes)", Line("ADF simplex scans", "77"),
               Line("side edge", "flatbed 0, ADF front -7, ADF rear 0"), Line("made", "2024-03-09"),
               Line("serial number", "ABCDEFGHIJKLMNOPQRSTUVWX"), Line("paper jams", "4"),
               Line("power-on time", "900"), Line("first scan", "none")});
  for (const std::string& l : lines) EXPECT_EQ(l.find("life"), std::string::npos) << l;
}

TEST(DescribeNvm, LayoutTwoLivesComeInTheDevicesByteOrder) {
  std::vector<uint8_t> b(262);
  b[2] = 200;
  Put16(b, 3, 262);
  Put32(b, 5, 12345);                                   // PadScanCount, host order
  Put32(b, 86, 3);                                      // JamCount
  Put32(b, 137, 55);                                    // PickupRollerCount, host order
  const uint8_t padLife[4] = {0x00, 0x01, 0x86, 0xA0};  // 100000, big-endian
  std::memcpy(&b[141], padLife, 4);
  const uint8_t pickupLife[4] = {0x00, 0x03, 0x0D, 0x40};  // 200000
  std::memcpy(&b[149], pickupLife, 4);
  Report report;
  ASSERT_TRUE(vtclient::DescribeNvm(b.data(), b.size(), &report));
  auto lines = Lines(report);
  ExpectLines(lines,
              {"NVRAM (layout 2, 262 bytes)", Line("pad scans", "12345"), Line("paper jams", "3"),
               Line("pick-up roller count", "55"), Line("pad life", "100000"),
               Line("reverse roller life", "0"), Line("pick-up roller life", "200000")});
}

// A device may report a shorter record than this client knows: what lies behind it in the block
// is not part of the record.
TEST(DescribeNvm, ShortRecordIsReadOnlyAsFarAsItsSize) {
  std::vector<uint8_t> b(512, 0xFF);
  b[2] = 200;
  Put16(b, 3, 135);
  Put32(b, 129, 42);  // PowerOnTime
  Report report;
  ASSERT_TRUE(vtclient::DescribeNvm(b.data(), b.size(), &report));
  ExpectLines(Lines(report), {Line("power-on time", "42"),
                              Line("reverse roller count", "65535"),  // its two bytes inside
                              Line("pad life", "0")});
}

// The record's Size is the device's word and may claim more than the block holds.
TEST(DescribeNvm, RecordClaimingMoreThanItsBlockIsReadOnlyAsFarAsTheBlock) {
  std::vector<uint8_t> b(140);
  b[2] = 200;
  Put16(b, 3, 262);
  b[137] = 0x04, b[138] = 0x03,
  b[139] = 0x02;  // PickupRollerCount, host order; its top byte lies outside
  Report report;
  ASSERT_TRUE(vtclient::DescribeNvm(b.data(), b.size(), &report));
  ExpectLines(Lines(report), {"NVRAM (layout 2, 262 bytes)", Line("pick-up roller count", "131844"),
                              Line("pad life", "0")});
}

TEST(DescribeNvm, UnknownLayoutIsRefused) {
  std::vector<uint8_t> b(5);
  b[2] = 150;
  b[3] = 5;
  Report report;
  EXPECT_FALSE(vtclient::DescribeNvm(b.data(), b.size(), &report));
  EXPECT_TRUE(
      Has(Lines(report), Line("record", "layout version 150 is not readable by this client")));
}

TEST(DescribeAbility, CapabilityFieldsByNameAndValue) {
  DeviceAbility a{};
  a.Version = 200;
  a.Size = 242;
  char vendor[] = "VENDOR";
  a.pVendorName = vendor;             // the other four stay null
  a.ScannerCapability0 = 0x0C000003;  // UltrasonicDetection, SkewDetection, Deskew 3
  a.ScannerCapability1 = 0xE0000180;  // ReadTag 3, Reserved1 7
  a.ScannerCapability2 =
      0x00014021;  // MultifeedEjectControl 1, SkewEjectControl 2, bit 14 and 16 unnamed
  a.HalftoneNum = 3;
  a.HalftoneIndex[0] = 1, a.HalftoneIndex[1] = 4, a.HalftoneIndex[2] = 9;
  a.ADFMaxWidth = 2550;
  a.ADFMaxLength = 4200;  // no base resolution: no inches
  Report report;
  ASSERT_TRUE(vtclient::DescribeAbility(a, &report));
  auto lines = Lines(report);
  ExpectLines(
      lines,
      {Line("vendor", "VENDOR"), Line("model", "(none)"), Line("port", "(none), address (none)"),
       Line("ADF maximum", "2550 x 4200"), Line("flatbed maximum", "none"),
       Line("halftone patterns", "1 4 9"), Line("diffusion patterns", "none"),
       Line("capabilities 0", "0x0C000003 UltrasonicDetection SkewDetection Deskew=3"),
       Line("capabilities 1", "0xE0000180 ReadTag=3 Reserved1=7"),
       Line("capabilities 2",
            "0x00014021 MultifeedEjectControl=1 SkewEjectControl=2 other=0x00014000")});
}

TEST(DescribeAbility, OtherVersionIsRefused) {
  DeviceAbility a{};
  a.Version = 100;
  a.Size = 242;
  Report report;
  EXPECT_FALSE(vtclient::DescribeAbility(a, &report));
  auto lines = Lines(report);
  EXPECT_TRUE(Has(lines, Line("record", "version 100 is not readable by this client")));
  EXPECT_EQ(lines.size(), 2u);
}

TEST(Printable, CutsAtTheBufferAndEscapesControlBytes) {
  const char text[6] = {'A', '\t', 'B', static_cast<char>(0xE9), 'C', 'D'};
  EXPECT_EQ(vtclient::Printable(text, 5), "A\\x09B\\xE9C");
  EXPECT_EQ(vtclient::Printable("AB\0CD", 5), "AB");
}

}  // namespace
