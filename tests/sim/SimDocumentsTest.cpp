// The simulated scanner's documents: the same description gives the same bytes, the paper lies
// where the description puts it, the invoice's barcodes read back, image files keep their size.
// Result::text() as UTF-8.
#define ZX_USE_UTF8 1
#include <ReadBarcode.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "platform/imageio/ImageIO.h"
#include "sim/SimDocuments.h"
#include "tests/support/TestFolder.h"

namespace {

using sim::Document;
using sim::DocumentKind;
using sim::Rgb;

constexpr Rgb kBackground{40, 40, 40};

sim::RgbPage Render(const Document& doc, uint32_t xRes, uint32_t yRes, Rgb background = kBackground,
                    uint32_t pixels = 0, uint32_t lines = 0) {
  sim::RgbPage page;
  std::string error;
  EXPECT_TRUE(sim::RenderPage(doc, xRes, yRes, background, &page, &error, pixels, lines)) << error;
  return page;
}

// Whether the pixel under (x, y) has the background's colour; a point off the page fails the test.
bool IsBackground(const sim::RgbPage& page, double x, double y, Rgb background) {
  if (x < 0 || y < 0 || x >= page.width || y >= page.height) {
    ADD_FAILURE() << "(" << x << ", " << y << ") is off the page of " << page.width << " x "
                  << page.height;
    return false;
  }
  const uint8_t* p = page.at(uint32_t(x), uint32_t(y));
  return p[0] == background.r && p[1] == background.g && p[2] == background.b;
}

TEST(SimDocuments, TheSameDescriptionGivesTheSameBytes) {
  for (DocumentKind kind :
       {DocumentKind::Text, DocumentKind::Invoice, DocumentKind::Photo, DocumentKind::NearlyBlank,
        DocumentKind::PatchSheet, DocumentKind::Card}) {
    SCOPED_TRACE(sim::DocumentKindName(kind));
    Document doc;
    doc.kind = kind;
    doc.skew = 1.7;
    doc.left = 0.3;
    doc.top = 0.2;
    const sim::RgbPage first = Render(doc, 100, 100), second = Render(doc, 100, 100);
    ASSERT_FALSE(first.rgb.empty());
    EXPECT_EQ(first.rgb, second.rgb);
    doc.pageNumber = 2;
    doc.skew = 1.8;
    EXPECT_NE(Render(doc, 100, 100).rgb, first.rgb) << "the description does not reach the page";
  }
}

TEST(SimDocuments, ThePaperLiesWhereTheDescriptionPutsIt) {
  struct Case {
    DocumentKind kind;
    double skew, left, top, width, height;
    uint32_t xRes, yRes;
    Rgb background, paper;
  };
  const Case kCases[] = {
      {DocumentKind::Invoice, 0, 0.25, 0.5, 0, 0, 200, 200, {240, 240, 240}, {255, 255, 255}},
      {DocumentKind::Text, 3.5, 0.4, 0.3, 0, 0, 200, 200, {20, 20, 20}, {250, 250, 246}},
      {DocumentKind::Text, -6, 0.6, 0.7, 5.5, 8.5, 150, 150, {128, 128, 128}, {245, 240, 220}},
      {DocumentKind::Photo, 1, 0.1, 0.2, 6, 4, 300, 200, {255, 255, 255}, {250, 250, 250}},
      {DocumentKind::Card, 12, 1, 1, 0, 0, 300, 300, {0, 0, 0}, {235, 235, 250}},
      {DocumentKind::NearlyBlank, -0.5, 0.1, 0.1, 0, 0, 100, 100, {90, 60, 30}, {255, 255, 255}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << sim::DocumentKindName(c.kind) << " skew " << c.skew);
    Document doc;
    doc.kind = c.kind;
    doc.skew = c.skew;
    doc.left = c.left;
    doc.top = c.top;
    doc.width = c.width;
    doc.height = c.height;
    doc.paper = c.paper;
    double w = 0, h = 0;
    std::string error;
    ASSERT_TRUE(sim::DocumentSize(doc, &w, &h, &error)) << error;
    const sim::RgbPage page = Render(doc, c.xRes, c.yRes, c.background);
    const auto corners = sim::PaperCorners(doc, w, h, c.xRes, c.yRes);
    const double cx = (corners[0].x + corners[2].x) / 2, cy = (corners[0].y + corners[2].y) / 2;
    for (size_t i = 0; i < 4; ++i) {
      // A corner: two pixels inwards is paper, two outwards (where still on the page)
      // background.
      const sim::Point& p = corners[i];
      const double d = std::hypot(p.x - cx, p.y - cy), ux = (p.x - cx) / d, uy = (p.y - cy) / d;
      EXPECT_FALSE(IsBackground(page, p.x - 2 * ux, p.y - 2 * uy, c.background)) << "corner " << i;
      if (p.x + 2 * ux >= 0 && p.y + 2 * uy >= 0) {
        EXPECT_TRUE(IsBackground(page, p.x + 2 * ux, p.y + 2 * uy, c.background)) << "corner " << i;
      }
      // An edge's middle: the pixel whose centre lies 1 px inside is mostly paper, 1 px outside
      // background.
      const sim::Point& q = corners[(i + 1) % 4];
      const double mx = (p.x + q.x) / 2, my = (p.y + q.y) / 2;
      const double ex = q.x - p.x, ey = q.y - p.y, len = std::hypot(ex, ey);
      const double nx = ey / len, ny = -ex / len;  // outwards for clockwise corners
      if (mx + 1.5 * nx >= 0 && my + 1.5 * ny >= 0) {
        EXPECT_TRUE(IsBackground(page, mx + 1.5 * nx, my + 1.5 * ny, c.background)) << "edge " << i;
      }
      EXPECT_FALSE(IsBackground(page, mx - 1.5 * nx, my - 1.5 * ny, c.background)) << "edge " << i;
    }
    // The page reaches a quarter inch beyond the paper's lowest and rightmost corner.
    double right = 0, bottom = 0;
    for (const sim::Point& p : corners)
      right = std::max(right, p.x), bottom = std::max(bottom, p.y);
    EXPECT_NEAR(page.width, right + 0.25 * c.xRes, 1);
    EXPECT_NEAR(page.height, bottom + 0.25 * c.yRes, 1);
  }
}

TEST(SimDocuments, AStraightPaperOnWholePixelsHasSharpEdges) {
  Document doc;
  doc.kind = DocumentKind::NearlyBlank;
  doc.left = 0.5;
  doc.top = 0.25;
  doc.paper = {250, 250, 250};
  const sim::RgbPage page = Render(doc, 100, 100);
  for (uint32_t y : {30u, 500u, 1120u})
    for (uint32_t x = 0; x < page.width; ++x) {
      const bool paper = x >= 50 && x < 900 && y >= 25 && y < 1125;
      EXPECT_EQ(page.at(x, y)[0], paper ? 250 : kBackground.r) << x << ", " << y;
      if (::testing::Test::HasFailure()) return;
    }
}

TEST(SimDocuments, ANearlyBlankPageHasItsNumberAtTheFootOrNone) {
  // Ink (grey below 128) in the foot's middle, where the number stands.
  auto inkInFoot = [](uint32_t page) {
    Document doc;
    doc.kind = DocumentKind::NearlyBlank;
    doc.pageNumber = page;
    const sim::RgbPage p = Render(doc, 100, 100, Rgb{255, 255, 255});
    int ink = 0;
    for (uint32_t y = 1000; y < 1060; ++y)
      for (uint32_t x = 325; x < 525; ++x) ink += p.at(x, y)[1] < 128;
    return ink;
  };
  EXPECT_GT(inkInFoot(3), 20);
  EXPECT_GT(inkInFoot(128), inkInFoot(3));
  EXPECT_EQ(inkInFoot(0), 0);
}

// The Code 128 and QR symbols ZXing finds on a rendered page, as "format text".
std::vector<std::string> ReadBack(const sim::RgbPage& page) {
  std::vector<std::string> found;
  for (ZXing::BarcodeFormat format :
       {ZXing::BarcodeFormat::Code128, ZXing::BarcodeFormat::QRCode}) {
    ZXing::DecodeHints hints;
    hints.setFormats(format);
    hints.setTryHarder(true);
    hints.setTryRotate(true);
    const ZXing::Result r =
        ZXing::ReadBarcode(ZXing::ImageView(page.rgb.data(), int(page.width), int(page.height),
                                            ZXing::ImageFormat::RGB),
                           hints);
    if (r.isValid()) found.push_back(std::string(ZXing::ToString(r.format())) + " " + r.text());
  }
  std::sort(found.begin(), found.end());
  return found;
}

TEST(SimDocuments, TheInvoicesBarcodesReadBack) {
  struct Case {
    double skew;
    uint32_t dpi;
    Rgb background;
    std::string linear, matrix;
  };
  const Case kCases[] = {
      {0, 200, {240, 240, 240}, "", ""},
      {2.5, 200, {20, 20, 20}, "ORDER-77", "hello matrix"},
      {-4, 300, {128, 128, 128}, "", ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << "skew " << c.skew << " at " << c.dpi);
    Document doc;
    doc.kind = DocumentKind::Invoice;
    doc.skew = c.skew;
    doc.left = doc.top = 0.3;
    doc.linearText = c.linear;
    doc.matrixText = c.matrix;
    const std::vector<sim::DocumentBarcode> codes = sim::DocumentBarcodes(doc);
    ASSERT_EQ(codes.size(), 2u);
    std::vector<std::string> expected;
    for (const sim::DocumentBarcode& code : codes) {
      expected.push_back(code.format + " " + code.text);
      if (!c.linear.empty()) {
        EXPECT_TRUE(code.text == c.linear || code.text == c.matrix);
      }
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ReadBack(Render(doc, c.dpi, c.dpi, c.background)), expected);
  }
}

// An image file with a known pattern: a red left half, a blue right half, a black frame one
// pixel wide.
imageio::Raster PatternRaster(uint32_t width, uint32_t height, double dpi, uint16_t bits,
                              uint16_t samples) {
  imageio::Raster r;
  r.layout = imageio::PixelLayout::packed(width, height, bits, samples);
  r.resolution = {dpi, dpi};
  r.pixels.assign(r.layout.bytesPerRow * height, 0);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const bool frame = x == 0 || y == 0 || x == width - 1 || y == height - 1;
      const uint8_t rgb[3] = {uint8_t(frame           ? 0
                                      : x < width / 2 ? 220
                                                      : 30),
                              uint8_t(frame ? 0 : 60),
                              uint8_t(frame           ? 0
                                      : x < width / 2 ? 40
                                                      : 200)};
      uint8_t* row = r.pixels.data() + size_t(y) * r.layout.bytesPerRow;
      for (uint16_t k = 0; k < samples; ++k) {
        const uint8_t v = samples == 1 ? uint8_t((rgb[0] + rgb[1] + rgb[2]) / 3) : rgb[k];
        if (bits == 16)
          reinterpret_cast<uint16_t*>(row)[x * samples + k] = uint16_t(v * 257);
        else
          row[x * samples + k] = v;
      }
    }
  return r;
}

TEST(SimDocuments, ImageFilesAreScaledToTheWindowsResolution) {
  const std::filesystem::path dir = testsupport::freshTestFolder("sim_documents_images");
  struct Case {
    const char* name;
    imageio::FileKind kind;
    uint16_t bits, samples;
    double fileDpi, givenDpi;  // givenDpi 0: the file's own
    uint32_t xRes, yRes;
  };
  const Case kCases[] = {
      {"colour.png", imageio::FileKind::Png, 8, 3, 100, 0, 300, 300},
      {"grey16.tif", imageio::FileKind::Tiff, 16, 1, 150, 0, 200, 100},
      {"colour.tif", imageio::FileKind::Tiff, 8, 3, 600, 0, 150, 150},
      {"stated.png", imageio::FileKind::Png, 8, 3, 72, 100, 200, 200},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const double dpi = c.givenDpi > 0 ? c.givenDpi : c.fileDpi;
    // Two inches by one, whatever the file's resolution.
    const imageio::Raster r =
        PatternRaster(uint32_t(2 * dpi), uint32_t(dpi), c.fileDpi, c.bits, c.samples);
    const std::filesystem::path file = dir / c.name;
    ASSERT_TRUE(imageio::writeImageFile(file, c.kind, imageio::BitmapImage(r.view())).ok());
    Document doc;
    doc.kind = DocumentKind::Image;
    doc.imageFile = file.string();
    doc.imageDpi = c.givenDpi;
    doc.left = 0.5;
    doc.top = 1;
    double w = 0, h = 0;
    std::string error;
    ASSERT_TRUE(sim::DocumentSize(doc, &w, &h, &error)) << error;
    EXPECT_DOUBLE_EQ(w, 2);
    EXPECT_DOUBLE_EQ(h, 1);
    const sim::RgbPage page = Render(doc, c.xRes, c.yRes, Rgb{240, 240, 240});
    auto at = [&](double x, double y) {
      return page.at(uint32_t(x * c.xRes), uint32_t(y * c.yRes));
    };
    const bool colour = c.samples == 3;
    EXPECT_EQ(at(0.45, 1.5)[0], 240);                   // left of the paper
    EXPECT_EQ(at(2.55, 1.5)[0], 240);                   // right of it
    EXPECT_EQ(at(1.5, 0.95)[0], 240);                   // above
    EXPECT_EQ(at(1.5, 2.05)[0], 240);                   // below
    EXPECT_NEAR(at(1, 1.5)[0], colour ? 220 : 106, 1);  // the left half
    EXPECT_NEAR(at(2, 1.5)[2], colour ? 200 : 96, 1);   // the right half
    // The frame's pixel at the paper's corner, seen where the image's first pixel lands.
    EXPECT_LT(at(0.5, 1)[1], 60);
  }
}

TEST(SimDocuments, AFileThatIsNoPngOrTiffIsRefusedWithItsName) {
  const std::filesystem::path dir = testsupport::freshTestFolder("sim_documents_refused");
  const imageio::Raster r = PatternRaster(20, 10, 100, 8, 3);
  const std::filesystem::path jpeg = dir / "page.jpg", text = dir / "notes.png";
  ASSERT_TRUE(
      imageio::writeImageFile(jpeg, imageio::FileKind::Jpeg, imageio::BitmapImage(r.view())).ok());
  std::ofstream(text) << "not an image";
  for (const std::filesystem::path& file : {jpeg, text, dir / "missing.png"}) {
    SCOPED_TRACE(file.string());
    Document doc;
    doc.kind = DocumentKind::Image;
    doc.imageFile = file.string();
    sim::RgbPage page;
    std::string error;
    EXPECT_FALSE(sim::RenderPage(doc, 100, 100, kBackground, &page, &error));
    EXPECT_NE(error.find(file.filename().string()), std::string::npos) << error;
  }
}

TEST(SimDocuments, EachLineLayoutCarriesThePixels) {
  const uint8_t rgb[] = {200, 100, 30, 10, 20, 255};  // two pixels
  struct Case {
    uint32_t bytesPerLine;
    std::vector<uint8_t> expected;
  };
  const Case kCases[] = {
      {12, {200, 200, 100, 100, 30, 30, 10, 10, 20, 20, 255, 255}},
      {6, {200, 100, 30, 10, 20, 255}},
      {4, {110, 110, 95, 95}},
      {2, {110, 95}},
      {1, {0x00}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.bytesPerLine);
    EXPECT_EQ(sim::LayOutRgb(rgb, 2, 1, c.bytesPerLine), c.expected);
  }
  const uint8_t light[] = {200, 200, 200, 0, 0, 0, 130, 130, 130};
  EXPECT_EQ(sim::LayOutRgb(light, 3, 1, 1), std::vector<uint8_t>{0xA0});
}

}  // namespace
