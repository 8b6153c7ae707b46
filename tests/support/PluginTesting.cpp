#include "tests/support/PluginTesting.h"

#include <BitMatrix.h>
#include <MultiFormatWriter.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace plugtest {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr uint8_t kPrint = 30;  // grey of the print lines
}  // namespace

std::string pluginDir() { return VT_PLUGIN_DIR; }

std::string fontDir() {
  const char* env = getenv("KRCOCOA_FONT_DIR");
  return env && *env ? env : VT_FONT_DIR;
}

Plugin::Plugin(const std::string& fileName, int flags) {
  handle_ = dlopen((pluginDir() + "/" + fileName).c_str(), flags);
  if (!handle_) ADD_FAILURE() << "dlopen " << fileName << ": " << dlerror();
}

Plugin::~Plugin() {
  if (handle_) dlclose(handle_);
}

Page::Page(int w, int h, int b, uint8_t fill, size_t padding)
    : width(w),
      height(h),
      bits(b),
      stride((size_t(b) * size_t(w) + 7) / 8 + padding),
      data(stride * size_t(h), b == 1 ? (fill ? 0xFF : 0) : fill) {}

void Page::rgb(int x, int y, uint8_t out[3]) const {
  const uint8_t* p = row(y);
  if (bits == 24) {
    out[0] = p[3 * x], out[1] = p[3 * x + 1], out[2] = p[3 * x + 2];
  } else if (bits == 8) {
    out[0] = out[1] = out[2] = p[x];
  } else {
    out[0] = out[1] = out[2] = ((p[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
  }
}

uint8_t Page::grey(int x, int y) const {
  uint8_t c[3];
  rgb(x, y, c);
  return uint8_t((3 * c[0] + 6 * c[1] + c[2]) / 10);
}

void Page::set(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  uint8_t* p = row(y);
  if (bits == 24) {
    p[3 * x] = r, p[3 * x + 1] = g, p[3 * x + 2] = b;
  } else if (bits == 8) {
    p[x] = uint8_t((3 * r + 6 * g + b) / 10);
  } else {
    const uint8_t m = uint8_t(0x80 >> (x & 7));
    if ((3 * r + 6 * g + b) / 10 >= 128)
      p[x >> 3] |= m;
    else
      p[x >> 3] &= uint8_t(~m);
  }
}

NIDATA recordFor(const Page& p, int dpi) {
  NIDATA ni{};
  ni.Size = sizeof(NIDATA);
  memcpy(ni.Model, "0A2B0C3D", 8);
  ni.InImage.Pixel = uint32_t(p.width);
  ni.InImage.Line = uint32_t(p.height);
  ni.InImage.BitsPerPixel = uint8_t(p.bits);
  ni.InImage.BytesPerLine = uint32_t(p.stride);
  ni.InImage.XRes = ni.InImage.YRes = uint16_t(dpi);
  ni.InImage.ScanMode = p.bits == 1 ? 1 : (p.bits == 8 ? 2 : 4);
  ni.InImage.SamplePerPixel = p.bits == 24 ? 3 : 1;
  ni.InImage.ScanType = 1;
  ni.InImage.CurPages = 1;
  ni.OutImage.OutMode = ni.InImage.ScanMode;
  ni.OutImage.Gray.BackgroundColor = 255;
  ni.OutImage.Color.BackgroundColorR = ni.OutImage.Color.BackgroundColorG =
      ni.OutImage.Color.BackgroundColorB = 255;
  ni.OutImage.BW.BackgroundColor = 255;
  return ni;
}

Page pageFromOutput(const void* block, const NIDATA& ni, int bits) {
  Page p(int(ni.OutImage.ImageWidth), int(ni.OutImage.ImageHeight), bits);
  memcpy(p.data.data(), block, p.data.size());
  return p;
}

void drawDocuments(Page& p, uint8_t background, const std::vector<Doc>& docs, bool print) {
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) p.set(x, y, background);
  for (const Doc& d : docs) {
    const double a = d.angle * kPi / 180, c = std::cos(a), s = std::sin(a);
    const double reach = std::hypot(d.w, d.h) / 2 + 2;
    const int l = std::max(0, int(d.cx - reach)), r = std::min(p.width, int(d.cx + reach) + 1);
    const int t = std::max(0, int(d.cy - reach)), b = std::min(p.height, int(d.cy + reach) + 1);
    for (int y = t; y < b; ++y) {
      for (int x = l; x < r; ++x) {
        // The pixel centre in the document's own axes.
        const double dx = x + 0.5 - d.cx, dy = y + 0.5 - d.cy;
        const double u = dx * c + dy * s, v = -dx * s + dy * c;
        if (std::fabs(u) > d.w / 2 || std::fabs(v) > d.h / 2) continue;
        // Print: bars of lines in the middle of the document, 10% margins.
        const double fu = (u + d.w / 2) / d.w, fv = (v + d.h / 2) / d.h;
        const int lineNo = int(fv * 20);
        const bool inkLine = print && fu > 0.1 && fu < 0.9 && fv > 0.1 && fv < 0.9 &&
                             std::fmod(fv * 20, 1.0) < 0.35 && lineNo % 2 == 0 &&
                             std::fmod(fu * 30, 1.0) < 0.8;
        if (inkLine)
          p.set(x, y, kPrint);
        else
          p.set(x, y, d.paper[0], d.paper[1], d.paper[2]);
      }
    }
  }
}

void fillRect(Page& p, int l, int t, int r, int b, uint8_t red, uint8_t green, uint8_t blue) {
  for (int y = std::max(0, t); y < std::min(p.height, b); ++y)
    for (int x = std::max(0, l); x < std::min(p.width, r); ++x) p.set(x, y, red, green, blue);
}

void fillDisc(Page& p, double cx, double cy, double radius, uint8_t v) {
  for (int y = int(cy - radius) - 1; y <= int(cy + radius) + 1; ++y)
    for (int x = int(cx - radius) - 1; x <= int(cx + radius) + 1; ++x)
      if (std::hypot(x + 0.5 - cx, y + 0.5 - cy) <= radius) p.set(x, y, v);
}

void drawText(Page& p, int x, int y, const std::string& text, int pixels, uint8_t ink) {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  ASSERT_EQ(FT_Init_FreeType(&lib), 0);
  ASSERT_EQ(FT_New_Face(lib, (fontDir() + "/DejaVuSans.ttf").c_str(), 0, &face), 0);
  FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixels));
  const int baseline = y + int(face->size->metrics.ascender >> 6);
  int penX = x;
  for (unsigned char ch : text) {
    if (FT_Load_Char(face, ch, FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot g = face->glyph;
    for (unsigned row = 0; row < g->bitmap.rows; ++row)
      for (unsigned col = 0; col < g->bitmap.width; ++col) {
        const uint8_t cover = g->bitmap.buffer[row * unsigned(g->bitmap.pitch) + col];
        if (cover < 128) continue;
        p.set(penX + g->bitmap_left + int(col), baseline - g->bitmap_top + int(row), ink);
      }
    penX += int(g->advance.x >> 6);
  }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
}

void addNoise(Page& p, int amplitude, uint32_t seed) {
  uint32_t state = seed;
  for (uint8_t& v : p.data) {
    state = state * 1664525u + 1013904223u;
    const int n = int((state >> 16) % uint32_t(2 * amplitude + 1)) - amplitude;
    v = uint8_t(std::clamp(int(v) + n, 0, 255));
  }
}

Page turnClockwise(const Page& p, int quarters) {
  quarters &= 3;
  Page out = (quarters & 1) ? Page(p.height, p.width, p.bits) : Page(p.width, p.height, p.bits);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      uint8_t c[3];
      p.rgb(x, y, c);
      int nx = x, ny = y;
      if (quarters == 1) nx = p.height - 1 - y, ny = x;
      if (quarters == 2) nx = p.width - 1 - x, ny = p.height - 1 - y;
      if (quarters == 3) nx = y, ny = p.width - 1 - x;
      out.set(nx, ny, c[0], c[1], c[2]);
    }
  return out;
}

double meanDifference(const Page& a, const Page& b, int l, int t, int r, int bottom) {
  double sum = 0;
  long n = 0;
  for (int y = t; y < bottom; ++y)
    for (int x = l; x < r; ++x) sum += std::abs(int(a.grey(x, y)) - int(b.grey(x, y))), ++n;
  return n ? sum / double(n) : 0;
}

Drawn drawSymbol(Page& page, ZXing::BarcodeFormat format, const std::string& text, int x, int y,
                 int width, int height) {
  const ZXing::BitMatrix m = ZXing::MultiFormatWriter(format).setMargin(0).encode(
      std::wstring(text.begin(), text.end()), width, height);
  Drawn d{1 << 30, 1 << 30, -1, -1};
  for (int r = 0; r < m.height(); ++r)
    for (int c = 0; c < m.width(); ++c)
      if (m.get(c, r)) {
        page.set(x + c, y + r, 0);
        d = {std::min(d.l, x + c), std::min(d.t, y + r), std::max(d.r, x + c + 1),
             std::max(d.b, y + r + 1)};
      }
  return d;
}

Page invoiceSheet(int dpi, int width, int height, int bits, uint8_t paper, Drawn* code128,
                  Drawn* qr) {
  Page p(width, height, bits, paper);
  const int margin = dpi / 2, line = std::max(8, dpi / 8);
  drawText(p, margin, margin, "INVOICE 2026-0412", dpi / 4);
  fillRect(p, width - margin - dpi, margin, width - margin - dpi / 2, margin + dpi / 2, 200, 30,
           30);
  fillRect(p, width - margin - dpi / 2 + dpi / 10, margin, width - margin, margin + dpi / 2, 30, 60,
           190);
  fillRect(p, margin, margin + dpi * 6 / 10, width - margin, margin + dpi * 6 / 10 + 2, 0, 0, 0);
  int y = margin + dpi * 8 / 10;
  for (int i = 0; i < 12 && y + line < height * 6 / 10; ++i, y += line * 3 / 2)
    drawText(p, margin, y, "Item " + std::to_string(i + 1) + "  paper, toner and binding  12.50",
             line);
  const Drawn c = drawSymbol(p, ZXing::BarcodeFormat::Code128, "VT-2026-0412", margin,
                             height * 7 / 10, dpi * 2, dpi / 2);
  const Drawn q =
      drawSymbol(p, ZXing::BarcodeFormat::QRCode, "https://example.org/invoice/2026-0412",
                 width - margin - dpi, height * 7 / 10, dpi, dpi);
  if (code128) *code128 = c;
  if (qr) *qr = q;
  return p;
}

Page textSheet(int dpi, int width, int height, int bits, int lines, int pixels) {
  Page p(width, height, bits, 250);
  const int margin = dpi * 3 / 4;
  drawText(p, margin, margin, "Quarterly report of the reading room", pixels * 2);
  static const char* kWords[] = {"The committee agreed that the", "quarterly figures show a",
                                 "steady rise in requests for",   "bound volumes, and proposed",
                                 "longer opening hours during",   "the examination weeks of June."};
  int y = margin + pixels * 4;
  for (int i = 0; i < lines && y + pixels < height - margin; ++i, y += pixels * 3 / 2)
    drawText(p, margin, y, std::string(kWords[i % 6]) + " " + kWords[(i + 2) % 6], pixels);
  return p;
}

void placeSheet(Page& page, uint8_t background, const Page& sheet, double cx, double cy,
                double angle) {
  const double a = angle * kPi / 180, c = std::cos(a), s = std::sin(a);
  constexpr int kSub = 4;  // samples a side within a pixel, for the blended edges
  for (int y = 0; y < page.height; ++y) {
    for (int x = 0; x < page.width; ++x) {
      double sum[3] = {0, 0, 0};
      for (int sy = 0; sy < kSub; ++sy) {
        for (int sx = 0; sx < kSub; ++sx) {
          const double dx = x + (sx + 0.5) / kSub - cx, dy = y + (sy + 0.5) / kSub - cy;
          const double u = dx * c + dy * s + sheet.width / 2.0,
                       v = -dx * s + dy * c + sheet.height / 2.0;
          uint8_t px[3] = {background, background, background};
          if (u >= 0 && v >= 0 && u < sheet.width && v < sheet.height)
            sheet.rgb(int(u), int(v), px);
          for (int k = 0; k < 3; ++k) sum[k] += px[k];
        }
      }
      constexpr double kSamples = kSub * kSub;
      page.set(x, y, uint8_t(sum[0] / kSamples + 0.5), uint8_t(sum[1] / kSamples + 0.5),
               uint8_t(sum[2] / kSamples + 0.5));
    }
  }
}

Page patchSheet(const char* pattern, int dpi) {
  Page page(int(8.5 * dpi), 11 * dpi, 8, 245);
  double x = 3.0 * dpi;
  for (int i = 0; i < 4; ++i) {
    const double w = (pattern[i] == 'W' ? 0.20 : 0.08) * dpi;
    fillRect(page, int(x), 2 * dpi, int(x + w), 9 * dpi, 15, 15, 15);
    x += w + 0.08 * dpi;
  }
  addNoise(page, 5);
  return page;
}

std::vector<uint8_t> barcodeBitmap(const Page& p, int dpi) {
  const uint32_t stride = ((uint32_t(p.width) * uint32_t(p.bits) + 31) / 32) * 4;
  const uint32_t palette = p.bits == 1 ? 2 : (p.bits == 8 ? 256 : 0);
  std::vector<uint8_t> b(40 + palette * 4 + stride * uint32_t(p.height), 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  constexpr double kInchesPerMetre = 39.37;
  put32(0, 40);
  put32(4, uint32_t(p.width));
  put32(8, uint32_t(p.height));
  b[12] = 1;
  b[14] = uint8_t(p.bits);
  put32(20, stride * uint32_t(p.height));
  put32(24, uint32_t(dpi * kInchesPerMetre + 0.5));
  put32(28, uint32_t(dpi * kInchesPerMetre + 0.5));
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

std::vector<FoundBarcode> parseBarcodes(const void* block, int32_t count) {
  std::vector<FoundBarcode> out;
  const uint8_t* p = static_cast<const uint8_t*>(block);
  auto u32 = [&]() {
    uint32_t v;
    memcpy(&v, p, 4);
    p += 4;
    return v;
  };
  EXPECT_EQ(u32(), uint32_t(count));
  for (int32_t i = 0; i < count; ++i) {
    FoundBarcode f{};
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

}  // namespace plugtest
