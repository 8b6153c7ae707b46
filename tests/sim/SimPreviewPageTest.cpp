// The simulated scanner's preview page: its patches, marks and margin where the description
// puts them, in each line layout the window asks for.
#include <gtest/gtest.h>

#include "sim/SimScanner.h"

namespace {

constexpr uint32_t kDpi = 100, kPixels = 850, kLines = 1400;
constexpr sim::Rgb kBackground{30, 30, 30}, kCustom{10, 200, 180};

struct Spot {
  double x, y;  // inches
  sim::Rgb colour;
};
const Spot kSpots[] = {
    {0.1, 5, kBackground},
    {8.45, 5, kBackground},
    {4, 13.9, kBackground},
    {0.5, 0.5, {255, 255, 255}},
    {1.5, 1.5, sim::kPreviewPatches[0]},
    {3, 1.9, sim::kPreviewPatches[1]},
    {4.1, 1.1, sim::kPreviewPatches[2]},
    {6, 1.5, kCustom},
    {1.5, 3.1, {0, 0, 0}},
    {6.4, 4.7, {0, 0, 0}},
    {1.5, 3.4, {255, 255, 255}},
};

TEST(SimPreviewPage, PatchesMarksAndMarginInEachLayout) {
  struct Layout {
    const char* name;
    uint32_t bytesPerLine;
  };
  for (const Layout& layout : {Layout{"rgb", kPixels * 3}, Layout{"grey", kPixels},
                               Layout{"black and white", (kPixels + 7) / 8}}) {
    SCOPED_TRACE(layout.name);
    const std::vector<uint8_t> page =
        sim::PreviewPage(kPixels, kLines, layout.bytesPerLine, kDpi, kDpi, kBackground, kCustom);
    ASSERT_EQ(page.size(), size_t(kLines) * layout.bytesPerLine);
    for (const Spot& spot : kSpots) {
      SCOPED_TRACE(::testing::Message() << spot.x << ", " << spot.y);
      const uint32_t x = uint32_t(spot.x * kDpi), y = uint32_t(spot.y * kDpi);
      const uint8_t* row = &page[size_t(y) * layout.bytesPerLine];
      const uint8_t grey = uint8_t((spot.colour.r + spot.colour.g + spot.colour.b) / 3);
      if (layout.bytesPerLine == kPixels * 3) {
        EXPECT_EQ(row[x * 3], spot.colour.r);
        EXPECT_EQ(row[x * 3 + 1], spot.colour.g);
        EXPECT_EQ(row[x * 3 + 2], spot.colour.b);
      } else if (layout.bytesPerLine == kPixels) {
        EXPECT_EQ(row[x], grey);
      } else {
        EXPECT_EQ((row[x / 8] >> (7 - x % 8)) & 1, grey >= 128 ? 1 : 0);
      }
    }
  }
}

TEST(SimPreviewPage, EachAxisTakesItsOwnResolution) {
  const uint32_t across = 200, down = 100, pixels = 1700, lines = 1400;
  const std::vector<uint8_t> page =
      sim::PreviewPage(pixels, lines, pixels * 3, across, down, kBackground, kCustom);
  auto at = [&](double x, double y) {
    return &page[(size_t(y * down) * pixels + size_t(x * across)) * 3];
  };
  EXPECT_EQ(at(1.5, 1.5)[0], sim::kPreviewPatches[0].r);
  EXPECT_EQ(at(6.4, 1.9)[1], kCustom.g);
  EXPECT_EQ(at(6.6, 1.5)[0], 255);  // right of the last patch
  EXPECT_EQ(at(8.45, 5)[0], kBackground.r);
}

TEST(SimPreviewPage, TheDescriptionNamesTheCustomPatch) {
  sim::Config config;
  std::string error;
  ASSERT_TRUE(sim::ParseDescription("preview-page 10 200 180\n", &config, &error)) << error;
  ASSERT_TRUE(config.previewPatch);
  EXPECT_EQ(config.previewPatch->g, 200);
  EXPECT_FALSE(sim::ParseDescription("preview-page 10 200\n", &config, &error));
  EXPECT_FALSE(sim::ParseDescription("preview-page 10 200 256\n", &config, &error));
  EXPECT_FALSE(sim::Config().previewPatch);
}

}  // namespace
