// The plug-in's JpegCrop: the driver's strip-wise crop, with the automatic crop honoured.
#include "tests/drv/jpeg/oracle.h"
#include "tests/plugins/Lumetra/LumetraFixture.h"

namespace plugtest {
namespace {

constexpr int kJpegDpi = 100;
// Device segments of unequal heights land in separate chunks, so several output strips come.
constexpr int kSegmentLines[] = {256, 192, 192};
// The document: an axis-aligned sheet on the dark feeder background.
constexpr int kLeft = 80, kTop = 96, kRight = 330, kBottom = 496;

Page feederPage() {
  Page page(416, 640, 24);
  drawDocuments(page, 20,
                {{(kLeft + kRight) / 2.0, (kTop + kBottom) / 2.0, double(kRight - kLeft),
                  double(kBottom - kTop), 0}});
  return page;
}

oracle::Picture slice(const Page& p, int y, int lines) {
  oracle::Picture pic;
  pic.width = p.width, pic.height = lines, pic.comps = 3;
  pic.pixels.assign(p.row(y), p.row(y) + size_t(lines) * p.stride);
  return pic;
}

NIDATA jpegRecord(const Page& p, uint8_t autoCrop) {
  NIDATA ni = recordFor(p, kJpegDpi);
  ni.InImage.ScanMode = 0x80 | 4;
  ni.OutImage.OutMode = 4;
  ni.OutImage.AutoCrop = autoCrop;
  return ni;
}

struct Strips {
  std::vector<long> heights, statuses;
  int width = 0;
  Page image;
};

// The data source's way: device strips in, then output strips while the status says more.
Strips cropSegmentedPage(Lumetra& lm, uint8_t autoCrop) {
  const Page page = feederPage();
  NIDATA ni = jpegRecord(page, autoCrop);
  long status = 0;
  for (int y = 0, i = 0; y < page.height; y += kSegmentLines[i++]) {
    const std::vector<uint8_t> jpeg = oracle::compress(slice(page, y, kSegmentLines[i]), {});
    ni.InImage.Line = uint32_t(kSegmentLines[i]);
    EXPECT_EQ(lm.JpegCrop(const_cast<uint8_t*>(jpeg.data()), nullptr, &ni, nullptr, &status,
                          jpeg.size(), nullptr),
              0);
    EXPECT_EQ(status, 0);
  }
  Strips s;
  std::vector<uint8_t> rows;
  for (int round = 0; round < 50; ++round) {
    void* out = nullptr;
    uint64_t size = 0;
    long lines = 0;
    EXPECT_EQ(lm.JpegCrop(nullptr, &out, &ni, &size, &status, 0, &lines), 0);
    s.heights.push_back(lines);
    s.statuses.push_back(status);
    s.width = int(ni.OutImage.ImageWidth);
    rows.insert(rows.end(), static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + size);
    lm.FreeMemory(out);
    if (status != kLumetraStatusMoreStrips) break;
  }
  EXPECT_EQ(ni.OutImage.AutoCrop, autoCrop);
  EXPECT_EQ(ni.OutImage.InternalUse, 0);  // the page is done: its context is gone
  long total = 0;
  for (long h : s.heights) total += h;
  s.image = Page(s.width, int(total), 24);
  EXPECT_EQ(rows.size(), s.image.data.size());
  rows.resize(s.image.data.size());
  s.image.data = rows;
  return s;
}

TEST_F(LumetraTest, JpegCropStripsOfASegmentedPageWithAutomaticCrop) {
  const Strips s = cropSegmentedPage(lm, kLumetraCropOn);
  ASSERT_GE(s.statuses.size(), 2u);
  for (size_t i = 0; i + 1 < s.statuses.size(); ++i) EXPECT_EQ(s.statuses[i], -1036) << i;
  EXPECT_EQ(s.statuses.back(), 0);
  EXPECT_NEAR(s.width, kRight - kLeft, 4);
  EXPECT_NEAR(s.image.height, kBottom - kTop, 4);
  // Paper everywhere along the cut's middle row and column: no background left in.
  int dark = 0;
  for (int x = 3; x < s.image.width - 3; ++x) dark += s.image.grey(x, s.image.height / 2) < 100;
  for (int y = 3; y < s.image.height - 3; ++y) dark += s.image.grey(5, y) < 100;
  EXPECT_EQ(dark, 0);
}

TEST_F(LumetraTest, JpegCropWithoutAutomaticCropConvertsTheWholePage) {
  const Strips s = cropSegmentedPage(lm, 0);
  EXPECT_EQ(s.width, 416);
  EXPECT_EQ(s.image.height, 640);
}

// One call with the whole raw page is cut in one go.
TEST_F(LumetraTest, JpegCropOfAWholeRawPage) {
  Page page = feederPage();
  NIDATA ni = recordFor(page, kJpegDpi);
  ni.OutImage.AutoCrop = kLumetraCropOn;
  void* out = nullptr;
  uint64_t size = 0;
  long lines = 0, status = -1;
  ASSERT_EQ(lm.JpegCrop(page.data.data(), &out, &ni, &size, &status, 0, &lines), 0);
  EXPECT_EQ(status, 0);
  EXPECT_NEAR(ni.OutImage.ImageWidth, kRight - kLeft, 4);
  EXPECT_EQ(lines, long(ni.OutImage.ImageHeight));
  EXPECT_EQ(size, uint64_t(ni.OutImage.ImageWidth) * 3 * uint64_t(lines));
  lm.FreeMemory(out);
}

// The automatic crop of a raw page takes only an area inside the raster: one past its right
// edge or its end is refused; the area right at the edges is cut.
TEST_F(LumetraTest, JpegCropOfARawAreaPastTheRaster) {
  const Page page = feederPage();
  const uint64_t whole = page.data.size();
  struct Case {
    const char* what;
    uint16_t x, y;
    int pixelsLess, linesLess;  // than the page's
    long msg;
  };
  const Case cases[] = {
      {"right at the right edge", 16, 0, 16, 0, 0},
      {"a pixel past the right edge", 16, 0, 15, 0, -4003},
      {"right at the end", 0, 16, 0, 16, 0},
      {"a line past the end", 0, 16, 0, 15, -4003},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NIDATA ni = recordFor(page, kDpi);
    ni.OutImage.AutoCrop = kLumetraCropOn;
    ni.InImage.x = c.x;
    ni.InImage.y = c.y;
    ni.InImage.Pixel = uint32_t(page.width - c.pixelsLess);
    ni.InImage.Line = uint32_t(page.height - c.linesLess);
    void* out = nullptr;
    uint64_t size = 0;
    long lines = 0, status = 0;
    Page src = page;
    EXPECT_EQ(lm.JpegCrop(src.data.data(), &out, &ni, &size, &status, whole, &lines), c.msg);
    if (c.msg != 0) EXPECT_EQ(status, -1007);
    lm.FreeMemory(out);
  }
}

}  // namespace
}  // namespace plugtest
