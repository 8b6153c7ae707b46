// ica-scan run as a user runs it: the host starts the module program, which loads the driver from
// its resource folder and reaches the simulated scanner; judged by the output and exit code.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/imageio/ImageIO.h"
#include "tests/support/TestFolder.h"

namespace {

struct Outcome {
  int exit = -1;
  std::string out;
};

Outcome run(const std::string& arguments) {
  std::string command = std::string(ICA_SCAN_PATH) + " " + arguments + " 2>&1";
  Outcome r;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
  int status = pclose(pipe);
  r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

class IcaScan : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = testsupport::freshTestFolder("ica-scan");
    std::ofstream(folder_ / "scanner.txt") << "serial SIMT00001\nbutton 3 1\n";
    setenv("VANTREL_SIMULATOR", (folder_ / "scanner.txt").c_str(), 1);
    setenv("VANTREL_SIM_LIBRARY", VANTREL_SIM_PATH, 1);
    setenv("FERROLITE_SCANNER_RESOURCES", ICA_TEST_RESOURCES, 1);
    setenv("XDG_CONFIG_HOME", (folder_ / "config").c_str(), 1);
    setenv("VANTREL_NOTIFICATION_DIR", (folder_ / "notify").c_str(), 1);
    setenv("LANG", "C", 1);
  }
  std::filesystem::path folder_;
};

TEST_F(IcaScan, ListsTheRegistryByLocationId) {
  Outcome r = run("-L");
  EXPECT_EQ(r.exit, 0) << r.out;
  EXPECT_EQ(r.out, "location 0x01100000  usb F11E:0310\n");
}

TEST_F(IcaScan, OpensDescribesAndSetsThroughTheModule) {
  Outcome r = run("-o 0x01100000 --unit 3 --set ICAP_XRESOLUTION=200 --message btn?");
  EXPECT_EQ(r.exit, 0) << r.out;
  EXPECT_NE(r.out.find("device 0x00001001 at location 0x01100000: SIM-ADF300 ("), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Buttons: [scan]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  ICAP_XRESOLUTION: {current: 2, type: TWON_ENUMERATION, value: [100, "
                       "150, 200, 240, 300, 400, 600, 1200]}"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("message btn?: result 0, value 0x00000000"), std::string::npos) << r.out;
}

TEST_F(IcaScan, FailuresAndUsage) {
  Outcome unknown = run("-o 0x0F000000");
  EXPECT_EQ(unknown.exit, 1);
  EXPECT_NE(unknown.out.find("location 0x0F000000: not opened"), std::string::npos) << unknown.out;
  Outcome missing = run("-o 1 --module /nonexistent/ferrolite-scanner");
  EXPECT_EQ(missing.exit, 3) << missing.out;
  EXPECT_EQ(run("").exit, 2);
  EXPECT_EQ(run("-o x").exit, 2);
  EXPECT_EQ(run("-o 1 --message toolong").exit, 2);
}

// A feeder-only scanner with raw pages, two two-inch sheets.
void describeFeeder(const std::filesystem::path& folder, const char* extra = "") {
  std::ofstream(folder / "scanner.txt", std::ios::trunc)
      << "serial SIMT00002\ninquiry-byte 55 0x64\nprofile raw\npaper-length 600\nsheets 2\n"
      << extra;
}

TEST_F(IcaScan, ScansBothSidesIntoFilesAndPrintsEachPage) {
  describeFeeder(folder_);
  Outcome r =
      run("-o 0x01100000 --scan --source duplex --crop off --size 4x2 --format png "
          "--folder " +
          folder_.string() + " --name sheet");
  EXPECT_EQ(r.exit, 0) << r.out;
  for (const char* line : {"page image: 1200x600, 1200 bytes a row\n", "page 1 done: ",
                           "/sheet.png\n", "page 4 done: ", "/sheet 3.png\n", "scan done\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  EXPECT_TRUE(std::filesystem::exists(folder_ / "sheet.png"));
  EXPECT_TRUE(std::filesystem::exists(folder_ / "sheet 3.png"));
  EXPECT_FALSE(std::filesystem::exists(folder_ / "sheet 4.png"));
}

TEST_F(IcaScan, BandsAndTheHostsCancel) {
  describeFeeder(folder_);
  Outcome r =
      run("-o 0x01100000 --scan --mode colour --crop off --size 2x1 --bands 90000 "
          "--cancel-after 1");
  EXPECT_EQ(r.exit, 0) << r.out;
  // 600 pixels of 3 bytes: 50 rows in 90000 bytes; the cancel comes after the page's bands.
  for (const char* line :
       {"band: rows 0-49 of 600x300, 24 bits a pixel, 1800 bytes a row\n",
        "band: rows 250-299 of 600x300", "page 1 done\n", "scan done\n", "scan cancelled\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  EXPECT_EQ(r.out.find("page 2 done"), std::string::npos) << r.out;
}

TEST_F(IcaScan, AScanThatFailsAndScanUsage) {
  // The page start (RESERVE UNIT) finds a paper jam.
  describeFeeder(folder_, "fault check-condition opcode=0xE6 key=3 asc=0x80 ascq=0x01\n");
  Outcome jam = run("-o 0x01100000 --scan --crop off --size 2x2 --folder " + folder_.string());
  EXPECT_EQ(jam.exit, 1) << jam.out;
  EXPECT_NE(jam.out.find("scanner error: kICAErrStrDFPaperErr\n"), std::string::npos) << jam.out;
  EXPECT_NE(jam.out.find("start: error -9913"), std::string::npos) << jam.out;
  for (const char* bad : {"--source back", "--mode gray2", "--crop maybe", "--size 2",
                          "--format gif", "--resolution 0", "--cancel-after 0"})
    EXPECT_EQ(run(std::string("-o 0x01100000 --scan ") + bad).exit, 2) << bad;
}

// The module's automatic crop on a turned A4 invoice on the feeder's own light grey: the page
// file holds the whole sheet, straight, never a piece of it (a colour patch or a barcode) nor a
// strip of the feeder beside it.
TEST_F(IcaScan, CropCutsATurnedInvoiceToItsPaper) {
  constexpr int kDpi = 100;
  constexpr double kA4Width = 8.27, kA4Length = 11.69;
  for (int background : {240}) {
    SCOPED_TRACE(background);
    const std::filesystem::path out = folder_ / ("background" + std::to_string(background));
    std::filesystem::create_directories(out);
    std::ofstream(folder_ / "scanner.txt", std::ios::trunc)
        << "serial SIMT00003\nsheets 1\nbackground front " << background << " " << background << " "
        << background << "\n"
        << "sheet-document 1 front invoice size=a4 skew=-1.2 left=0.1 top=0.3\n";
    Outcome r = run("-o 0x01100000 --scan --mode colour --resolution " + std::to_string(kDpi) +
                    " --crop on --format png --folder " + out.string() + " --name page");
    ASSERT_EQ(r.exit, 0) << r.out;
    std::ifstream file(out / "page.png", std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    imageio::DecodedImage image;
    ASSERT_TRUE(imageio::decodeImage(bytes, image).ok()) << r.out;
    const imageio::PixelLayout& l = image.raster.layout;
    EXPECT_NEAR(l.width, kA4Width * kDpi, 3) << r.out;
    EXPECT_NEAR(l.height, kA4Length * kDpi, 3) << r.out;
    ASSERT_EQ(l.bitsPerPixel(), 24u);
    // Just inside each edge the paper, as a little farther in: no strip of the feeder.
    auto band = [&](bool columns, bool far, uint32_t inset) {
      double sum = 0;
      const uint32_t along = columns ? l.height : l.width;
      for (uint32_t i = 0; i < along; ++i) {
        const uint32_t x = columns ? (far ? l.width - 1 - inset : inset) : i;
        const uint32_t y = columns ? i : (far ? l.height - 1 - inset : inset);
        const uint8_t* p = image.raster.row(y) + size_t(x) * 3;
        sum += (p[0] + p[1] + p[2]) / 3.0;
      }
      return sum / along;
    };
    constexpr uint32_t kEdge = 3, kInside = 12;
    for (bool columns : {true, false})
      for (bool far : {false, true})
        EXPECT_NEAR(band(columns, far, kEdge), band(columns, far, kInside), 2.0)
            << (columns ? (far ? "right" : "left") : (far ? "bottom" : "top"));
  }
}

}  // namespace
