// Documents on the simulated scanner's sheets: the description lines that put them there, and
// the sides the scanner sends from them.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "platform/imageio/ImageIO.h"
#include "sim/SimScanner.h"
#include "tests/sim/SimHarness.h"
#include "tests/support/TestFolder.h"

namespace {

using namespace simtest;
using sim::DocumentKind;

constexpr uint16_t kVendor = 0xF11E, kProduct = 0x0310, kId = 0x2200;

TEST(SimDocumentSheets, TheDescriptionPlacesDocumentsOnSheetsAndSides) {
  sim::Config c;
  std::string error;
  ASSERT_TRUE(sim::ParseDescription(
      "sheet-document all both text\n"
      "sheet-document 2 front invoice skew=-2.5 left=0.3 top=0.25 paper=250,245,230 "
      "size=a4 linear=ORDER-1 matrix=https://example.com/x\n"
      "sheet-document 2 rear nearly-blank page=14 size=5.5x8.5\n"
      "sheet-document 3 rear patch patch=T\n"
      "sheet-image 4 front scans/receipt.png dpi=150 skew=1\n",
      &c, &error))
      << error;
  ASSERT_EQ(c.documents.size(), 5u);
  const sim::Document& invoice = c.documents[1].document;
  EXPECT_EQ(invoice.kind, DocumentKind::Invoice);
  EXPECT_DOUBLE_EQ(invoice.skew, -2.5);
  EXPECT_DOUBLE_EQ(invoice.left, 0.3);
  EXPECT_DOUBLE_EQ(invoice.top, 0.25);
  EXPECT_EQ(invoice.paper.b, 230);
  EXPECT_DOUBLE_EQ(invoice.width, 8.27);
  EXPECT_EQ(invoice.linearText, "ORDER-1");
  EXPECT_EQ(invoice.matrixText, "https://example.com/x");
  EXPECT_DOUBLE_EQ(c.documents[2].document.height, 8.5);
  EXPECT_EQ(c.documents[2].document.pageNumber, 14u);
  EXPECT_EQ(c.documents[3].document.patch, 'T');
  EXPECT_EQ(c.documents[4].document.kind, DocumentKind::Image);
  EXPECT_EQ(c.documents[4].document.imageFile, "scans/receipt.png");
  EXPECT_DOUBLE_EQ(c.documents[4].document.imageDpi, 150);

  // Which document each side gets: the last line that names it.
  struct Expect {
    uint32_t sheet, side;
    DocumentKind kind;
  };
  for (const Expect& e :
       {Expect{1, 0, DocumentKind::Text}, Expect{1, 1, DocumentKind::Text},
        Expect{2, 0, DocumentKind::Invoice}, Expect{2, 1, DocumentKind::NearlyBlank},
        Expect{3, 0, DocumentKind::Text}, Expect{3, 1, DocumentKind::PatchSheet},
        Expect{4, 0, DocumentKind::Image}, Expect{9, 1, DocumentKind::Text}}) {
    const sim::Document* d = sim::DocumentFor(c.documents, e.sheet, e.side);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->kind, e.kind) << "sheet " << e.sheet << " side " << e.side;
  }
  EXPECT_EQ(sim::DocumentFor({}, 1, 0), nullptr);

  const char* const kBad[] = {
      "sheet-document 0 front text\n",
      "sheet-document 1 middle text\n",
      "sheet-document 1 front poster\n",
      "sheet-document 1 front image\n",
      "sheet-document 1 front text skew=50\n",
      "sheet-document 1 front text skew=x\n",
      "sheet-document 1 front text left=-1\n",
      "sheet-document 1 front text paper=1,2\n",
      "sheet-document 1 front text size=b5\n",
      "sheet-document 1 front text size=0.1x3\n",
      "sheet-document 1 front text colour=1\n",
      "sheet-document 1 front\n",
      "sheet-image 1 front\n",
      "sheet-image 1 front a.png dpi=0\n",
  };
  for (const char* text : kBad) {
    sim::Config bad;
    EXPECT_FALSE(sim::ParseDescription(text, &bad, &error)) << text;
    EXPECT_EQ(error.rfind("line 1: ", 0), 0u) << error;
  }
}

TEST(SimDocumentSheets, ImageFilesAreFoundBesideTheDescriptionAndChecked) {
  const std::filesystem::path dir = testsupport::freshTestFolder("sim_document_sheets");
  std::filesystem::create_directories(dir / "scans");
  imageio::Raster r;
  r.layout = imageio::PixelLayout::packed(30, 20, 8, 1);
  r.resolution = {100, 100};
  r.pixels.assign(r.layout.bytesPerRow * 20, 128);
  ASSERT_TRUE(imageio::writeImageFile(dir / "scans/receipt.png", imageio::FileKind::Png,
                                      imageio::BitmapImage(r.view()))
                  .ok());
  std::ofstream(dir / "good.txt") << "sheet-image 1 front scans/receipt.png\n";
  std::ofstream(dir / "bad.txt") << "sheet-image 1 front scans/missing.png\n";
  sim::Config c;
  std::string error;
  ASSERT_TRUE(sim::LoadDescription((dir / "good.txt").string(), &c, &error)) << error;
  EXPECT_EQ(std::filesystem::path(c.documents.at(0).document.imageFile), dir / "scans/receipt.png");
  EXPECT_FALSE(sim::LoadDescription((dir / "bad.txt").string(), &c, &error));
  EXPECT_NE(error.find("missing.png"), std::string::npos) << error;
}

// A window of `pixels` x unknown lines at the resolutions, `bytesPerPixel` 3 (colour) or 1.
std::vector<uint8_t> Window(uint16_t xRes, uint16_t yRes, uint32_t pixels, uint32_t bytesPerPixel,
                            uint16_t method) {
  std::vector<uint8_t> w(96, 0);
  auto put = [&](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) w[at + size_t(i)] = uint8_t(v >> (8 * (bytes - 1 - i)));
  };
  w[2] = 2;
  w[4] = 96;
  put(23, xRes, 2);
  put(25, yRes, 2);
  put(27, pixels, 4);
  put(31, 0xFFFFFFFF, 4);
  put(35, pixels * bytesPerPixel, 4);
  put(39, bytesPerPixel == 3 ? 4 : 2, 4);
  put(43, method, 2);
  return w;
}

class SimDocumentScan : public ::testing::Test {
 protected:
  // The side the next sheet brings, read whole: `lines` lines of the window.
  std::vector<uint8_t> ReadSide(const std::vector<uint8_t>& window, uint32_t lines) {
    Block set = MakeBlock(0xE4, kId);
    set[10] = uint8_t(window.size());
    EXPECT_EQ(DoCommand(s_, set, 0, window).status[2], 0);
    const uint32_t length = lines * (uint32_t(window[37]) << 8 | window[38]);
    Outcome o = DoCommand(s_, ReadBlock(0xA8, kId, 0x0000, length), length);
    EXPECT_EQ(o.rc, kUsbSuccess);
    DoCommand(s_, MakeBlock(0xE7, kId), 0);  // RELEASE UNIT: the sheet leaves
    return o.data;
  }
  sim::SimBus bus_;
  OpenScanner s_;
};

TEST_F(SimDocumentScan, ASideWithADocumentIsThatDocumentOnTheSidesBackground) {
  sim::Config config;
  std::string error;
  ASSERT_TRUE(
      sim::ParseDescription("sheets 3\n"
                            "background front 200 190 180\n"
                            "background rear 20 30 40\n"
                            "sheet-document 1 front invoice skew=2 left=0.3 top=0.4\n"
                            "sheet-document 3 rear nearly-blank page=7 size=a5\n",
                            &config, &error))
      << error;
  bus_.AddScanner(config);
  ASSERT_EQ(Open(bus_, kVendor, kProduct, &s_), kUsbSuccess);
  constexpr uint16_t kDpi = 50;
  constexpr uint32_t kPixels = 450;
  // The sheet is as long as its turned paper reaches, and a quarter inch.
  const sim::Document& invoice = config.documents[0].document;
  double right = 0, bottom = 0;
  ASSERT_TRUE(sim::DocumentReach(invoice, &right, &bottom, &error)) << error;
  const uint32_t lines = uint32_t(std::ceil((bottom + 0.25) * 300)) * kDpi / 300;
  std::vector<uint8_t> expected;
  ASSERT_TRUE(sim::RenderDocument(invoice, kPixels, lines, kPixels * 3, kDpi, kDpi,
                                  config.background[0], &expected, &error))
      << error;
  EXPECT_EQ(ReadSide(Window(kDpi, kDpi, kPixels, 3, 1), lines), expected);
  // Sheet 2 has none: the striped pattern, as long as the paper.
  const uint32_t stripeLines = config.paperLength * kDpi / 300;
  EXPECT_EQ(ReadSide(Window(kDpi, kDpi, kPixels, 1, 1), stripeLines),
            sim::SheetSide(2, 0, stripeLines, kPixels));
  // Sheet 3's rear, grey, on the rear's background.
  const sim::Document& blank = config.documents[1].document;
  ASSERT_TRUE(sim::DocumentReach(blank, &right, &bottom, &error)) << error;
  const uint32_t rearLines = uint32_t(std::ceil((bottom + 0.25) * 300)) * kDpi / 300;
  ASSERT_TRUE(sim::RenderDocument(blank, kPixels, rearLines, kPixels, kDpi, kDpi,
                                  config.background[1], &expected, &error))
      << error;
  EXPECT_EQ(ReadSide(Window(kDpi, kDpi, kPixels, 1, 5), rearLines), expected);
}

}  // namespace
