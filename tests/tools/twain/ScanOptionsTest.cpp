// twain-scan's command line: what each option negotiates, the image names, and the usage errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/twain/Twain.h"
#include "tools/twain/ScanClient.h"
#include "tools/twain/ScanOptions.h"

namespace {

using twainhost::ImageFormat;
using twainhost::ScanOptions;
using twainhost::Transfer;

TEST(ScanOptions, ImageNamesCarryTheNumber) {
  struct Case {
    std::string pattern;
    int number;
    std::string name;
  };
  const std::vector<Case> cases = {
      {"out/page-%04d.tif", 7, "out/page-0007.tif"},
      {"page%d.png", 12, "page12.png"},
      {"page%3d.png", 5, "page  5.png"},
      {"100%-%d.tif", 2, "100%-2.tif"},  // a lone percent stays
      {"scan.tif", 1, "scan.tif"},       // no number: the first keeps the name
      {"scan.tif", 3, "scan-3.tif"},
      {"dir.v2/scan", 2, "dir.v2/scan-2"},  // a dot in a folder is no extension
  };
  for (const Case& c : cases) {
    EXPECT_EQ(twainhost::ImageName(c.pattern, c.number), c.name) << c.pattern;
  }
}

TEST(ScanOptions, TheOptionsAsTheSessionNegotiatesThem) {
  ScanOptions o;
  std::string error;
  ASSERT_TRUE(twainhost::ParseScanOptions({"--bundle",
                                           "B",
                                           "--mode",
                                           "color",
                                           "--resolution=200",
                                           "--source",
                                           "duplex",
                                           "--transfer",
                                           "memory",
                                           "--output",
                                           "out/page-%04d.tif",
                                           "-l",
                                           "10",
                                           "-x",
                                           "50.8",
                                           "--count",
                                           "3",
                                           "--application",
                                           "Adobe Photoshop",
                                           "--ui",
                                           "--buffer",
                                           "100000",
                                           "--batch-start",
                                           "5"},
                                          &o, &error))
      << error;
  EXPECT_EQ(o.bundle, "B");
  EXPECT_EQ(o.pixelType, TWPT_RGB);
  EXPECT_EQ(o.resolution, 200.0);
  EXPECT_EQ(o.duplex, true);
  EXPECT_EQ(o.transfer, Transfer::kMemory);
  EXPECT_EQ(o.format, ImageFormat::kTiff);  // from the name
  EXPECT_EQ(o.left, 10.0);
  EXPECT_EQ(o.width, 50.8);
  EXPECT_FALSE(o.top.has_value());
  EXPECT_EQ(o.count, 3);
  EXPECT_EQ(o.application, "Adobe Photoshop");
  EXPECT_TRUE(o.showUi);
  EXPECT_EQ(o.bufferSize, 100000u);
  EXPECT_EQ(o.batchStart, 5);
  EXPECT_TRUE(o.scanning());

  ScanOptions probe;
  ASSERT_TRUE(twainhost::ParseScanOptions({"--identity", "--exported"}, &probe, &error));
  EXPECT_FALSE(probe.scanning());
  EXPECT_TRUE(probe.identityOnly && probe.exported);

  struct Mode {
    std::string name;
    uint16_t pixelType;
  };
  for (const Mode& m : {Mode{"lineart", TWPT_BW}, Mode{"Grey", TWPT_GRAY}, Mode{"gray", TWPT_GRAY},
                        Mode{"colour", TWPT_RGB}}) {
    ScanOptions mode;
    ASSERT_TRUE(twainhost::ParseScanOptions({"--mode", m.name, "-o", "a.png"}, &mode, &error));
    EXPECT_EQ(mode.pixelType, m.pixelType) << m.name;
  }
  ScanOptions file;
  ASSERT_TRUE(twainhost::ParseScanOptions(
      {"--transfer", "file", "--format", "jpeg", "-o", "p%d", "--size", "A4"}, &file, &error));
  EXPECT_EQ(file.format, ImageFormat::kJpeg);
  EXPECT_EQ(file.paperSize, TWSS_A4);
  EXPECT_FALSE(file.autoCrop || file.barcodes);
  ScanOptions steps;
  ASSERT_TRUE(
      twainhost::ParseScanOptions({"--auto-crop", "--barcodes", "-o", "p.png"}, &steps, &error));
  EXPECT_TRUE(steps.autoCrop);
  EXPECT_TRUE(steps.barcodes);
}

TEST(ScanOptions, UsageErrorsNameTheirFault) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{"--frobnicate"}, "unknown argument '--frobnicate'"},
      {{"--output"}, "option '--output' needs a value"},
      {{"-o", "a.tif", "--mode", "sepia"}, "bad value 'sepia' for --mode"},
      {{"-o", "a.tif", "--resolution", "0"}, "bad value '0' for --resolution"},
      {{"-o", "a.tif", "--resolution", "300dpi"}, "bad value '300dpi' for --resolution"},
      {{"-o", "a.tif", "-x", "-5"}, "bad value '-5' for -x"},
      {{"-o", "a.tif", "--count", "0"}, "bad value '0' for --count"},
      {{"-o", "a.tif", "--source", "flatbed"}, "bad value 'flatbed' for --source"},
      {{"-o", "a.tif", "--transfer", "fax"}, "bad value 'fax' for --transfer"},
      {{"-o", "a.tif", "--size", "A4", "-x", "100"}, "exclude each other"},
      {{"--mode", "color"}, "scan options need --output"},
      {{"--auto-crop"}, "scan options need --output"},
      {{"--barcodes"}, "scan options need --output"},
      {{"-o", "scan"}, "no image format"},
      {{"-o", "a.png", "--transfer", "native"}, "a native transfer gives TIFF images"},
      {{"-o", "a.jpg", "--transfer", "memory"}, "a memory transfer writes TIFF, PNG or PNM"},
      {{"-o", "a.pnm", "--transfer", "file"}, "the source writes TIFF, PNG, JPEG or BMP"},
  };
  for (const Case& c : cases) {
    ScanOptions o;
    std::string error;
    EXPECT_FALSE(twainhost::ParseScanOptions(c.args, &o, &error)) << c.args[0];
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

TEST(ScanOptions, TheSourcesTextBecomesUtf8) {
  EXPECT_EQ(twainhost::Utf8(u"Papierstau \u00fcberall"),
            "Papierstau \xc3\xbc"
            "berall");
  EXPECT_EQ(twainhost::Utf8(std::u16string(u"ab\0cd", 5)), "ab");  // ends at the terminator
  EXPECT_EQ(twainhost::Utf8(u"\U0001F4C4"), "\xf0\x9f\x93\x84");
}

}  // namespace
