// The consumer's steps on a page's pixels and the page images the producer builds, on small
// hand-made pages.
#include <gtest/gtest.h>

#include <thread>

#include "ica/FeederScan.h"
#include "platform/imageio/ImageIO.h"

namespace icamodule {
namespace {

PageImage grey(uint32_t w, uint32_t h, std::vector<uint8_t> pixels) {
  PageImage p;
  p.width = w;
  p.height = h;
  p.bytesPerRow = w;
  p.pixels = std::move(pixels);
  return p;
}

TEST(PageSteps, PackingCutsTheWidthAndSetsBitsAboveTheCut) {
  struct Case {
    long threshold;
    std::vector<uint8_t> row;  // ten pixels: packed to eight
    uint8_t expected;
  } cases[] = {
      {128, {0, 128, 129, 255, 10, 200, 127, 130, 255, 255}, 0b00110101},
      {0, {0, 1, 0, 1, 0, 1, 0, 1, 9, 9}, 0b01010101},  // (256 - 0) % 256 = 0
      {255, {0, 1, 2, 1, 0, 2, 0, 1, 9, 9}, 0b00100100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.threshold);
    std::vector<uint8_t> two = c.row;
    two.insert(two.end(), c.row.begin(), c.row.end());
    PageImage page = grey(10, 2, two);
    packToBits(page, c.threshold);
    EXPECT_EQ(page.width, 8u);
    EXPECT_EQ(page.bytesPerRow, 1u);
    EXPECT_EQ(page.bitsPerPixel, 1u);
    EXPECT_EQ(page.pixels, (std::vector<uint8_t>{c.expected, c.expected}));
  }
}

TEST(PageSteps, CompactionTurningAndGamma) {
  PageImage rgbx;
  rgbx.width = 2;
  rgbx.height = 2;
  rgbx.bytesPerRow = 8;
  rgbx.samplesPerPixel = 4;
  rgbx.bitsPerPixel = 32;
  rgbx.pixels = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};
  compactToRgb(rgbx);
  EXPECT_EQ(rgbx.bytesPerRow, 6u);
  EXPECT_EQ(rgbx.bitsPerPixel, 24u);
  EXPECT_EQ(rgbx.pixels, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));

  rotatePage(rgbx, 90);  // a quarter turn clockwise: 2 x 2 still, rows exchanged
  EXPECT_EQ(rgbx.pixels, (std::vector<uint8_t>{7, 8, 9, 1, 2, 3, 10, 11, 12, 4, 5, 6}));

  PageImage g = grey(3, 2, {1, 2, 3, 4, 5, 6});
  rotatePage(g, 270);
  EXPECT_EQ(g.width, 2u);
  EXPECT_EQ(g.height, 3u);
  EXPECT_EQ(g.bytesPerRow, 2u);
  EXPECT_EQ(g.pixels, (std::vector<uint8_t>{3, 6, 2, 5, 1, 4}));
  rotatePage(g, 45);  // not a turn the module makes
  EXPECT_EQ(g.pixels, (std::vector<uint8_t>{3, 6, 2, 5, 1, 4}));

  uint8_t table[256];
  for (int i = 0; i < 256; ++i) table[i] = uint8_t(255 - i);
  applyGamma(g, table);
  EXPECT_EQ(g.pixels, (std::vector<uint8_t>{252, 249, 253, 250, 254, 251}));
}

TEST(PageSteps, ScalingReducesOnlyAndBandsHoldARow) {
  PageImage page = grey(4, 2, {10, 20, 30, 40, 10, 20, 30, 40});
  EXPECT_TRUE(scalePage(page, 2, 1));
  EXPECT_EQ(page.pixels, (std::vector<uint8_t>{10, 30}));
  EXPECT_EQ(page.bytesPerRow, 2u);
  for (auto [w, h] : {std::pair{3u, 1u}, {2u, 2u}, {0u, 1u}}) {
    EXPECT_FALSE(scalePage(page, w, h)) << w << "x" << h;
    EXPECT_EQ(page.width, 2u);
    EXPECT_EQ(page.pixels, (std::vector<uint8_t>{10, 30})) << "the page stays as it was";
  }
  struct Band {
    int64_t size;
    uint32_t bytesPerRow, rows;
  } bands[] = {{524288, 7650, 68}, {524288, 7200, 72}, {50, 125, 1},
               {0, 100, 1},        {125, 125, 1},      {1000, 0, 1}};
  for (const Band& b : bands) EXPECT_EQ(rowsPerBand(b.size, b.bytesPerRow), b.rows) << b.size;
}

TEST(PageImages, RawPagesAreCutOrFilledToTheirSize) {
  auto page = rawPageImage({{1, 2, 3}, {4, 5, 6, 7, 8, 9, 10}}, 2, 4, 2, false);
  EXPECT_EQ(page->pixels, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  page = rawPageImage({{1, 2, 3}}, 1, 2, 3, true);
  EXPECT_EQ(page->samplesPerPixel, 3u);
  EXPECT_EQ(page->pixels, (std::vector<uint8_t>{1, 2, 3, 0, 0, 0}));
}

std::vector<uint8_t> jpeg(uint32_t w, uint32_t h, uint8_t level) {
  imageio::Raster r;
  r.layout = imageio::PixelLayout::packed(w, h, 8, 1);
  r.pixels.assign(std::size_t(w) * h, level);
  std::vector<uint8_t> out;
  EXPECT_TRUE(imageio::encodeImage(imageio::FileKind::Jpeg, imageio::BitmapImage(r.view()), {}, out,
                                   imageio::WriteOptions{100})
                  .ok());
  return out;
}

TEST(PageImages, JpegPartsOfOtherWidthsStayInsideThePage) {
  auto page = jpegPageImage({jpeg(32, 8, 100), jpeg(16, 8, 200)});
  ASSERT_TRUE(page);
  EXPECT_EQ(page->width, 16u) << "the last part's width";
  EXPECT_EQ(page->height, 16u);
  ASSERT_EQ(page->pixels.size(), 16u * 16u);
  EXPECT_NEAR(page->pixels[0], 100, 2);
  EXPECT_NEAR(page->pixels[15 * 16 + 15], 200, 2);
  page = jpegPageImage({jpeg(8, 8, 50), jpeg(16, 8, 150)});
  ASSERT_TRUE(page);
  EXPECT_EQ(page->pixels[8], 0) << "a narrower part leaves the rest of its rows empty";
  EXPECT_FALSE(jpegPageImage({{0xFF, 0xD8, 0x00}}));
  EXPECT_FALSE(jpegPageImage({}));
}

TEST(PageArray, TakeWaitsForAnAppendOrTheClose) {
  PageArray pages;
  std::thread producer([&] {
    pages.append({-2022, std::make_shared<PageImage>()});
    pages.append({1000, nullptr});
    pages.close();
  });
  auto first = pages.take();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, -2022);
  auto second = pages.take();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->status, 1000);
  EXPECT_FALSE(pages.take()) << "closed and empty";
  producer.join();
}

}  // namespace
}  // namespace icamodule
