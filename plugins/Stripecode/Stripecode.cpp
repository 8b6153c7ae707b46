// Barcode search over ZXing-C++: the bitmap is read into a grey top-down image, every symbol of
// the asked symbologies is read, and the results are packed into one block.
#define ZX_USE_UTF8 1
#include "plugins/Stripecode/Stripecode.h"

#include <ReadBarcode.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#define STRIPECODE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t kVersion = 0x00010000;  // 1.0.0
constexpr uint32_t kHeaderSize = 40;
constexpr uint32_t kNoCompression = 0;
constexpr int64_t kMaxPixels = int64_t(1) << 28;
constexpr int kMaxResults = 64;       // the data source keeps at most this many
constexpr int kPaintMargin = 4;       // pixels painted around a symbol that was read
constexpr int kMinTile = 256;         // pixels a side of the tiles searched for matrix symbols
constexpr int kTilesAcross = 2;       // tile side: half the page's shorter side
constexpr int kTileSteps = 4;         // tiles overlap by three quarters
constexpr int kSymbolTileInches = 2;  // the small tiles' side
constexpr int kDefaultDpi = 200;      // a bitmap that states no resolution
constexpr double kMetresPerInch = 0.0254;
// Matrix symbols are looked for first where the page has one: square-ish blocks of cells that
// hold both dark and light modules.
constexpr int kCell = 8;             // pixels a side of a cell
constexpr int kMinDarkPercent = 20;  // a busy cell has this much dark...
constexpr int kMaxDarkPercent = 85;  // ...and this much at most
constexpr int kMinSymbolCells = 2;   // cells a side of the smallest symbol
constexpr int kMaxSymbolAspect = 3;  // longer side / shorter side of a symbol's block
constexpr int kTileToSymbol = 2;
constexpr std::pair<int, int> kNeighbours[] = {
    {1, 0}, {-1, 0}, {0, 1}, {0, -1}};  // a tile's side: this many times the block's longer side

struct Symbology {
  uint32_t bit;
  ZXing::BarcodeFormats formats;
};
const Symbology kSymbologies[] = {
    {kStripecodeAztec, ZXing::BarcodeFormat::Aztec},
    {kStripecodeCodabar, ZXing::BarcodeFormat::Codabar},
    {kStripecodeCode39, ZXing::BarcodeFormat::Code39},
    {kStripecodeCode93, ZXing::BarcodeFormat::Code93},
    {kStripecodeCode128, ZXing::BarcodeFormat::Code128},
    {kStripecodeDataMatrix, ZXing::BarcodeFormat::DataMatrix},
    {kStripecodeEan8, ZXing::BarcodeFormat::EAN8},
    {kStripecodeEan13, ZXing::BarcodeFormat::EAN13},
    {kStripecodeItf, ZXing::BarcodeFormat::ITF},
    {kStripecodeMaxiCode, ZXing::BarcodeFormat::MaxiCode},
    {kStripecodePdf417, ZXing::BarcodeFormat::PDF417},
    {kStripecodeQrCode, ZXing::BarcodeFormat::QRCode | ZXing::BarcodeFormat::MicroQRCode},
    {kStripecodeDataBar, ZXing::BarcodeFormat::DataBar},
    {kStripecodeDataBarExpanded, ZXing::BarcodeFormat::DataBarExpanded},
    {kStripecodeUpcA, ZXing::BarcodeFormat::UPCA},
    {kStripecodeUpcE, ZXing::BarcodeFormat::UPCE},
};

uint32_t u32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t u16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

uint8_t grey(uint8_t b, uint8_t g, uint8_t r) { return uint8_t((3 * r + 6 * g + b) / 10); }

// The bitmap as a grey image, rows top to bottom; false when the bitmap is unusable.
bool readBitmap(const uint8_t* dib, uint32_t size, int* width, int* height,
                std::vector<uint8_t>* pixels) {
  if (!dib || size < kHeaderSize) return false;
  const uint32_t headerSize = u32(dib);
  const int32_t w = int32_t(u32(dib + 4)), h = int32_t(u32(dib + 8));
  const uint16_t planes = u16(dib + 12), bits = u16(dib + 14);
  if (headerSize < kHeaderSize || headerSize > size || w <= 0 || h == 0 || h == INT32_MIN ||
      planes != 1 || u32(dib + 16) != kNoCompression)
    return false;
  if (bits != 1 && bits != 8 && bits != 24 && bits != 32) return false;
  const int64_t rows = h < 0 ? -int64_t(h) : h;
  if (int64_t(w) * rows > kMaxPixels) return false;
  uint64_t paletteEntries = 0;
  if (bits <= 8) {
    paletteEntries = u32(dib + 32);
    if (paletteEntries == 0 || paletteEntries > (1u << bits)) paletteEntries = 1u << bits;
  }
  const uint64_t stride = ((uint64_t(w) * bits + 31) / 32) * 4;
  const uint64_t dataStart = headerSize + paletteEntries * 4;
  if (dataStart + stride * uint64_t(rows) > size) return false;
  uint8_t palette[256];
  for (uint64_t i = 0; i < 256; ++i) {
    const uint8_t* e = dib + headerSize + 4 * i;
    palette[i] = i < paletteEntries ? grey(e[0], e[1], e[2]) : 0;
  }
  pixels->assign(size_t(w) * size_t(rows), 0);
  for (int64_t y = 0; y < rows; ++y) {
    const uint8_t* src = dib + dataStart + stride * uint64_t(h > 0 ? rows - 1 - y : y);
    uint8_t* dst = pixels->data() + size_t(y) * size_t(w);
    for (int32_t x = 0; x < w; ++x) {
      switch (bits) {
        case 1:
          dst[x] = palette[(src[x >> 3] >> (7 - (x & 7))) & 1];
          break;
        case 8:
          dst[x] = palette[src[x]];
          break;
        default: {
          const uint8_t* p = src + size_t(x) * (bits / 8);
          dst[x] = grey(p[0], p[1], p[2]);
        }
      }
    }
  }
  *width = w;
  *height = int(rows);
  return true;
}

// Paints a symbol that was read white, so the next pass finds the next one. A linear symbol's
// corners may span only the line it was read on: the area grows, across the bars and along
// them, for as long as the next row or column of its edge holds dark pixels.
struct Area {
  int l, t, r, b;
};
Area paintOut(std::vector<uint8_t>& pixels, int w, int h, const ZXing::Result& r) {
  int l = w, t = h, rt = -1, b = -1;
  for (const auto& p : r.position())
    l = std::min(l, p.x), rt = std::max(rt, p.x), t = std::min(t, p.y), b = std::max(b, p.y);
  l = std::max(0, l - kPaintMargin), t = std::max(0, t - kPaintMargin);
  rt = std::min(w - 1, rt + kPaintMargin), b = std::min(h - 1, b + kPaintMargin);
  if (l > rt || t > b) return {0, 0, -1, -1};
  auto dark = [&](int x0, int y0, int x1, int y1) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x)
        if (pixels[size_t(y) * size_t(w) + size_t(x)] < 128) return true;
    return false;
  };
  for (bool grew = true; grew;) {
    grew = false;
    if (t > 0 && dark(l, t - 1, rt, t - 1)) --t, grew = true;
    if (b + 1 < h && dark(l, b + 1, rt, b + 1)) ++b, grew = true;
    if (l > 0 && dark(l - 1, t, l - 1, b)) --l, grew = true;
    if (rt + 1 < w && dark(rt + 1, t, rt + 1, b)) ++rt, grew = true;
  }
  for (int y = t; y <= b; ++y)
    memset(&pixels[size_t(y) * size_t(w) + size_t(l)], 255, size_t(rt - l + 1));
  return {l, t, rt, b};
}

// A tile of the page searched for one matrix symbol; the corners come back in page pixels.
ZXing::Result readTile(const std::vector<uint8_t>& pixels, int w, int h, int x0, int y0, int tw,
                       int th, const ZXing::DecodeHints& hints) {
  x0 = std::clamp(x0, 0, w - 1), y0 = std::clamp(y0, 0, h - 1);
  tw = std::min(tw, w - x0), th = std::min(th, h - y0);
  const ZXing::ImageView tile(pixels.data() + size_t(y0) * size_t(w) + size_t(x0), tw, th,
                              ZXing::ImageFormat::Lum, w);
  ZXing::Result t = ZXing::ReadBarcode(tile, hints);
  if (!t.isValid()) return t;
  ZXing::Position pos = t.position();
  for (auto& p : pos) p.x += x0, p.y += y0;
  t.setPosition(pos);
  return t;
}

// Blocks of busy cells (both dark and light pixels) about as wide as tall: where a matrix
// symbol may be, largest first, as page rectangles.
std::vector<Area> matrixCandidates(const std::vector<uint8_t>& pixels, int w, int h) {
  const int cw = w / kCell, ch = h / kCell;
  std::vector<uint8_t> busy(size_t(cw) * size_t(ch), 0);
  for (int cy = 0; cy < ch; ++cy)
    for (int cx = 0; cx < cw; ++cx) {
      int dark = 0;
      for (int y = cy * kCell; y < (cy + 1) * kCell; ++y)
        for (int x = cx * kCell; x < (cx + 1) * kCell; ++x)
          dark += pixels[size_t(y) * size_t(w) + size_t(x)] < 128;
      const int percent = dark * 100 / (kCell * kCell);
      busy[size_t(cy) * size_t(cw) + size_t(cx)] =
          percent >= kMinDarkPercent && percent <= kMaxDarkPercent;
    }
  std::vector<Area> found;
  std::vector<int> stack;
  for (int start = 0; start < cw * ch; ++start) {
    if (busy[size_t(start)] != 1) continue;
    Area a{cw, ch, -1, -1};
    stack.assign(1, start);
    busy[size_t(start)] = 2;
    while (!stack.empty()) {
      const int c = stack.back();
      stack.pop_back();
      const int cx = c % cw, cy = c / cw;
      a = {std::min(a.l, cx), std::min(a.t, cy), std::max(a.r, cx), std::max(a.b, cy)};
      for (const auto& [dx, dy] : kNeighbours) {
        const int nx = cx + dx, ny = cy + dy;
        if (nx < 0 || ny < 0 || nx >= cw || ny >= ch) continue;
        uint8_t& b = busy[size_t(ny) * size_t(cw) + size_t(nx)];
        if (b == 1) b = 2, stack.push_back(ny * cw + nx);
      }
    }
    const int bw = a.r - a.l + 1, bh = a.b - a.t + 1;
    if (std::min(bw, bh) < kMinSymbolCells ||
        std::max(bw, bh) > kMaxSymbolAspect * std::min(bw, bh))
      continue;
    found.push_back({a.l * kCell, a.t * kCell, (a.r + 1) * kCell, (a.b + 1) * kCell});
  }
  std::sort(found.begin(), found.end(), [](const Area& x, const Area& y) {
    return (x.r - x.l) * (x.b - x.t) > (y.r - y.l) * (y.b - y.t);
  });
  return found;
}

// One symbol: the whole image first; then, for the matrix symbologies, whose finder in this
// ZXing release starts at the image's centre, tiles centred on the places that look like a
// symbol and sized to them, and last overlapping tiles so that every place on the page is near
// some tile's centre. The corners come back in whole-image pixels.
ZXing::Result readOne(const std::vector<uint8_t>& pixels, int w, int h, int dpi,
                      ZXing::BarcodeFormats formats) {
  // One symbol a read: this ZXing release asserts when its reader for several symbols compares
  // linear results of different rows.
  ZXing::DecodeHints hints;
  hints.setFormats(formats);
  hints.setTryHarder(true);
  hints.setTryRotate(true);
  hints.setMaxNumberOfSymbols(1);
  // Codabar's start and stop characters (A to D) belong to the text the barcode record carries.
  hints.setReturnCodabarStartEnd(true);
  ZXing::Result r =
      ZXing::ReadBarcode(ZXing::ImageView(pixels.data(), w, h, ZXing::ImageFormat::Lum), hints);
  const ZXing::BarcodeFormats matrix = formats & ZXing::BarcodeFormat::MatrixCodes;
  if (r.isValid() || matrix.empty()) return r;
  hints.setFormats(matrix);
  // A tile sized to each place that looks like a symbol, the symbol at its centre.
  for (const Area& a : matrixCandidates(pixels, w, h)) {
    const int side = kTileToSymbol * std::max(a.r - a.l, a.b - a.t);
    const int cx = (a.l + a.r) / 2, cy = (a.t + a.b) / 2;
    ZXing::Result t = readTile(pixels, w, h, cx - side / 2, cy - side / 2, side, side, hints);
    if (t.isValid()) return t;
  }
  // Then overlapping tiles over the whole page: of a few inches (a symbol beside print), then of
  // half the page (a large one).
  for (const int side : {std::max(kMinTile, kSymbolTileInches * dpi),
                         std::max(kMinTile, std::min(w, h) / kTilesAcross)}) {
    if (side >= std::max(w, h)) continue;
    const int step = side / kTileSteps;
    for (int y0 = 0; y0 < h; y0 += step) {
      for (int x0 = 0; x0 < w; x0 += step) {
        ZXing::Result t = readTile(pixels, w, h, x0, y0, side, side, hints);
        if (t.isValid()) return t;
      }
    }
  }
  return r;
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void putFloat(std::vector<uint8_t>& out, float f) {
  uint32_t v;
  memcpy(&v, &f, sizeof v);
  put32(out, v);
}

}  // namespace

STRIPECODE_EXPORT uint32_t LibraryCurrentVersion() { return kVersion; }

STRIPECODE_EXPORT void* Search(const void* bitmap, uint32_t size, uint32_t mask, int32_t* count) {
  if (count) *count = 0;
  try {
    int w = 0, h = 0;
    std::vector<uint8_t> pixels;
    if (!readBitmap(static_cast<const uint8_t*>(bitmap), size, &w, &h, &pixels)) return nullptr;
    // Pixels a metre across (the bitmap header's), as dots per inch.
    const uint32_t perMetre = u32(static_cast<const uint8_t*>(bitmap) + 24);
    const int dpi = perMetre > 0 && perMetre < 1000000
                        ? std::max(1, int(std::lround(perMetre * kMetresPerInch)))
                        : kDefaultDpi;
    ZXing::BarcodeFormats formats;
    for (const Symbology& s : kSymbologies)
      if (mask == 0 || (mask & s.bit)) formats |= s.formats;
    if (formats.empty()) return nullptr;
    ZXing::Results results;
    std::vector<Area> painted;
    for (int pass = 0; pass < kMaxResults; ++pass) {
      ZXing::Result r = readOne(pixels, w, h, dpi, formats);
      if (!r.isValid()) break;
      // A symbol read again where one was painted out: the painting missed it; stop there.
      ZXing::PointI c{0, 0};
      for (const auto& p : r.position()) c.x += p.x / 4, c.y += p.y / 4;
      if (std::any_of(painted.begin(), painted.end(), [&](const Area& a) {
            return c.x >= a.l && c.x <= a.r && c.y >= a.t && c.y <= a.b;
          }))
        break;
      painted.push_back(paintOut(pixels, w, h, r));
      results.push_back(std::move(r));
    }
    std::vector<uint8_t> block;
    put32(block, 0);
    uint32_t n = 0;
    for (const ZXing::Result& r : results) {
      if (!r.isValid()) continue;
      uint32_t bit = 0;
      for (const Symbology& s : kSymbologies)
        if (s.formats.testFlag(r.format())) bit = s.bit;
      if (bit == 0) continue;
      const std::string text = r.text();
      put32(block, bit);
      put32(block, uint32_t(text.size()));
      block.insert(block.end(), text.begin(), text.end());
      const ZXing::Position& pos = r.position();
      put32(block, uint32_t(pos.size()));
      for (const auto& p : pos) putFloat(block, float(p.x)), putFloat(block, float(p.y));
      ++n;
    }
    if (n == 0) return nullptr;
    for (int i = 0; i < 4; ++i) block[size_t(i)] = uint8_t(n >> (8 * i));
    void* out = malloc(block.size());
    if (!out) return nullptr;
    memcpy(out, block.data(), block.size());
    if (count) *count = int32_t(n);
    return out;
  } catch (const std::exception&) {
    return nullptr;  // memory ran out inside the reader: nothing found
  }
}
