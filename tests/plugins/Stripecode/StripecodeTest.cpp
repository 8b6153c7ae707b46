// The barcode plug-in, loaded by name: every symbology ZXing's writer makes, read back from the
// data source's bottom-up bitmap with its type bit, text and rectangle.
#include <algorithm>
#include <cmath>

#include "plugins/Stripecode/Stripecode.h"
#include "tests/support/PluginTesting.h"

namespace plugtest {
namespace {

constexpr int kDpi = 200;

// The bitmap as the data source builds it: header, palette, rows bottom to top padded to four
// bytes, R and B swapped for colour.
std::vector<uint8_t> bitmapOf(const Page& p) {
  const uint32_t stride = ((uint32_t(p.width) * uint32_t(p.bits) + 31) / 32) * 4;
  const uint32_t palette = p.bits == 1 ? 2 : (p.bits == 8 ? 256 : 0);
  std::vector<uint8_t> b(40 + palette * 4 + stride * uint32_t(p.height), 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  put32(0, 40);
  put32(4, uint32_t(p.width));
  put32(8, uint32_t(p.height));
  b[12] = 1;
  b[14] = uint8_t(p.bits);
  put32(20, stride * uint32_t(p.height));
  put32(24, uint32_t(kDpi * 39.37 + 0.5));
  put32(28, uint32_t(kDpi * 39.37 + 0.5));
  for (uint32_t i = 0; i < palette; ++i) {
    const uint8_t v = palette == 2 ? uint8_t(i * 255) : uint8_t(i);
    b[40 + 4 * i] = b[41 + 4 * i] = b[42 + 4 * i] = v;
  }
  const size_t data = 40 + palette * 4;
  for (int y = 0; y < p.height; ++y) {
    uint8_t* row = &b[data + size_t(p.height - 1 - y) * stride];
    memcpy(row, p.row(y), (size_t(p.width) * size_t(p.bits) + 7) / 8);
    if (p.bits == 24)
      for (int x = 0; x < p.width; ++x) std::swap(row[3 * x], row[3 * x + 2]);
  }
  return b;
}

struct Found {
  uint32_t type;
  std::string text;
  float l, t, r, b;
};

std::vector<Found> parse(void* block, int32_t count) {
  std::vector<Found> out;
  const uint8_t* p = static_cast<const uint8_t*>(block);
  auto u32 = [&]() {
    uint32_t v;
    memcpy(&v, p, 4);
    p += 4;
    return v;
  };
  EXPECT_EQ(u32(), uint32_t(count));
  for (int32_t i = 0; i < count; ++i) {
    Found f{};
    f.type = u32();
    const uint32_t len = u32();
    f.text.assign(reinterpret_cast<const char*>(p), len);
    p += len;
    const uint32_t points = u32();
    f.l = f.t = 1e9f, f.r = f.b = -1e9f;
    for (uint32_t k = 0; k < points; ++k) {
      float x, y;
      memcpy(&x, p, 4), memcpy(&y, p + 4, 4);
      p += 8;
      f.l = std::min(f.l, x), f.r = std::max(f.r, x), f.t = std::min(f.t, y),
      f.b = std::max(f.b, y);
    }
    out.push_back(f);
  }
  return out;
}

class StripecodeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(search, nullptr); }
  std::vector<Found> find(const Page& p, uint32_t mask) {
    const std::vector<uint8_t> dib = bitmapOf(p);
    int32_t count = -1;
    void* block = search(dib.data(), uint32_t(dib.size()), mask, &count);
    if (!block) {
      EXPECT_EQ(count, 0);
      return {};
    }
    std::vector<Found> f = parse(block, count);
    free(block);
    return f;
  }
  Plugin lib{kStripecodeLibraryName, RTLD_LAZY | RTLD_LOCAL};
  StripecodeSearchFn search = lib.entry<StripecodeSearchFn>("Search");
};

struct SymbolCase {
  ZXing::BarcodeFormat format;
  uint32_t bit;
  const char* text;
  bool linear;
};

const SymbolCase kSymbols[] = {
    {ZXing::BarcodeFormat::Aztec, kStripecodeAztec, "Aztec 123", false},
    {ZXing::BarcodeFormat::Codabar, kStripecodeCodabar, "A123456B", true},  // start, stop kept
    {ZXing::BarcodeFormat::Code39, kStripecodeCode39, "CODE39", true},
    {ZXing::BarcodeFormat::Code93, kStripecodeCode93, "CODE93", true},
    {ZXing::BarcodeFormat::Code128, kStripecodeCode128, "Code 128", true},
    {ZXing::BarcodeFormat::DataMatrix, kStripecodeDataMatrix, "DataMatrix", false},
    {ZXing::BarcodeFormat::EAN8, kStripecodeEan8, "96385074", true},
    {ZXing::BarcodeFormat::EAN13, kStripecodeEan13, "5901234123457", true},
    {ZXing::BarcodeFormat::ITF, kStripecodeItf, "12345678", true},
    {ZXing::BarcodeFormat::PDF417, kStripecodePdf417, "PDF417 text", false},
    {ZXing::BarcodeFormat::QRCode, kStripecodeQrCode, "QR text", false},
    {ZXing::BarcodeFormat::UPCA, kStripecodeUpcA, "036000291452", true},
    {ZXing::BarcodeFormat::UPCE, kStripecodeUpcE, "01234565", true},
};

// Each symbology on a grey, a colour and a black-and-white page, with mask 0 and its own bit.
TEST_F(StripecodeTest, EverySymbologyReadsBackWithTypeTextAndRectangle) {
  for (const SymbolCase& s : kSymbols) {
    for (int bits : {8, 24, 1}) {
      SCOPED_TRACE(::testing::Message() << s.text << " " << bits << " bits");
      Page page(601, 401, bits, 255);  // odd sizes: padded bitmap rows
      const Drawn d =
          drawSymbol(page, s.format, s.text, 137, 91, s.linear ? 300 : 200, s.linear ? 120 : 200);
      for (uint32_t mask : {0u, s.bit}) {
        const std::vector<Found> f = find(page, mask);
        ASSERT_EQ(f.size(), 1u) << "mask " << mask;
        EXPECT_EQ(f[0].type, s.bit);
        EXPECT_EQ(f[0].text, s.text);
        // Corners in top-left-origin pixels: within the drawn symbol, spanning its width.
        EXPECT_NEAR(f[0].l, d.l, 6) << f[0].l << " " << f[0].r;
        EXPECT_NEAR(f[0].r, d.r, 6) << f[0].l << " " << f[0].r;
        EXPECT_GE(f[0].t, d.t - 6);
        EXPECT_LE(f[0].b, d.b + 6);
        if (!s.linear) {
          EXPECT_NEAR(f[0].b - f[0].t, d.b - d.t, 8);
        }
      }
    }
  }
}

// Several symbols in one image, anywhere on it; a mask without their bits finds none of them.
TEST_F(StripecodeTest, SeveralSymbolsAndTheMask) {
  Page page(900, 700, 8, 255);
  drawSymbol(page, ZXing::BarcodeFormat::QRCode, "first", 40, 40, 200, 200);
  drawSymbol(page, ZXing::BarcodeFormat::Code128, "second", 400, 60, 360, 120);
  drawSymbol(page, ZXing::BarcodeFormat::DataMatrix, "third", 100, 400, 200, 200);
  drawSymbol(page, ZXing::BarcodeFormat::EAN13, "5901234123457", 450, 450, 300, 120);
  std::vector<Found> all = find(page, 0);
  ASSERT_EQ(all.size(), 4u);
  std::sort(all.begin(), all.end(), [](const Found& a, const Found& b) { return a.text < b.text; });
  EXPECT_EQ(all[0].type, kStripecodeEan13);
  EXPECT_EQ(all[1].type, kStripecodeQrCode);
  EXPECT_EQ(all[2].type, kStripecodeCode128);
  EXPECT_EQ(all[3].type, kStripecodeDataMatrix);
  EXPECT_EQ(find(page, kStripecodeCode128).size(), 1u);
  EXPECT_TRUE(find(page, kStripecodePdf417 | kStripecodeAztec).empty());
  // A symbol turned by a quarter turn is read as well.
  EXPECT_EQ(find(turnClockwise(page, 1), kStripecodeCode128).size(), 1u);
}

// Bitmaps that are short, compressed or of an unknown depth answer nothing; so does a page
// without symbols, and a one-pixel image.
TEST_F(StripecodeTest, UnusableBitmapsAndEmptyPagesAnswerNothing) {
  Page page(200, 100, 8, 255);
  drawSymbol(page, ZXing::BarcodeFormat::QRCode, "x", 10, 10, 80, 80);
  std::vector<uint8_t> dib = bitmapOf(page);
  int32_t count = -1;
  EXPECT_EQ(search(dib.data(), uint32_t(dib.size() - 1), 0, &count), nullptr);
  EXPECT_EQ(search(dib.data(), 39, 0, &count), nullptr);
  EXPECT_EQ(search(nullptr, 0, 0, &count), nullptr);
  std::vector<uint8_t> bad = dib;
  bad[16] = 1;  // compressed
  EXPECT_EQ(search(bad.data(), uint32_t(bad.size()), 0, &count), nullptr);
  bad = dib;
  bad[14] = 16;
  EXPECT_EQ(search(bad.data(), uint32_t(bad.size()), 0, &count), nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(find(Page(300, 200, 24, 255), 0).empty());
  EXPECT_TRUE(find(Page(1, 1, 1, 0), 0).empty());
  EXPECT_EQ(lib.entry<uint32_t (*)()>("LibraryCurrentVersion")(), 0x00010000u);
}

// Aztec and Data Matrix symbols of an inch, each alone with its quiet zone at places all over a
// Letter page of text, are found wherever they are.
TEST_F(StripecodeTest, MatrixSymbolsAreFoundAnywhereOnATextPage) {
  constexpr int kPageDpi = 150, kSide = kPageDpi, kQuiet = kPageDpi / 10;
  const Page text = textSheet(kPageDpi, int(8.5 * kPageDpi), 11 * kPageDpi, 8, 40, 20);
  for (const auto& [format, bit] :
       {std::pair{ZXing::BarcodeFormat::Aztec, kStripecodeAztec},
        std::pair{ZXing::BarcodeFormat::DataMatrix, kStripecodeDataMatrix}}) {
    int places = 0;
    for (int row = 0; row < 4; ++row) {
      for (int col = 0; col < 3; ++col, ++places) {
        SCOPED_TRACE(testing::Message()
                     << "symbol " << int(bit) << " at row " << row << ", column " << col);
        Page page = text;
        const int x = 60 + col * (page.width - 2 * 60 - kSide) / 2;
        const int y = 60 + row * (page.height - 2 * 60 - kSide) / 3;
        fillRect(page, x - kQuiet, y - kQuiet, x + kSide + kQuiet, y + kSide + kQuiet, 255, 255,
                 255);
        drawSymbol(page, format, "Place " + std::to_string(places), x, y, kSide, kSide);
        const std::vector<Found> f = find(page, bit);
        ASSERT_EQ(f.size(), 1u);
        EXPECT_EQ(f[0].text, "Place " + std::to_string(places));
      }
    }
  }
}

}  // namespace
}  // namespace plugtest
