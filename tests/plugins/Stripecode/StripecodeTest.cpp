// The barcode plug-in, loaded by name: every symbology ZXing's writer makes, read back from the
// data source's bottom-up bitmap with its type bit, text and rectangle.
#include <algorithm>
#include <cmath>

#include "plugins/Stripecode/Stripecode.h"
#include "tests/support/PluginTesting.h"

namespace plugtest {
namespace {

constexpr int kDpi = 200;

class StripecodeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(search, nullptr); }
  std::vector<FoundBarcode> find(const Page& p, uint32_t mask) {
    const std::vector<uint8_t> dib = barcodeBitmap(p, kDpi);
    int32_t count = -1;
    void* block = search(dib.data(), uint32_t(dib.size()), mask, &count);
    if (!block) {
      EXPECT_EQ(count, 0);
      return {};
    }
    std::vector<FoundBarcode> f = parseBarcodes(block, count);
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
        const std::vector<FoundBarcode> f = find(page, mask);
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
  std::vector<FoundBarcode> all = find(page, 0);
  ASSERT_EQ(all.size(), 4u);
  std::sort(all.begin(), all.end(),
            [](const FoundBarcode& a, const FoundBarcode& b) { return a.text < b.text; });
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
  std::vector<uint8_t> dib = barcodeBitmap(page, kDpi);
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
        const std::vector<FoundBarcode> f = find(page, bit);
        ASSERT_EQ(f.size(), 1u);
        EXPECT_EQ(f[0].text, "Place " + std::to_string(places));
      }
    }
  }
}

}  // namespace
}  // namespace plugtest
