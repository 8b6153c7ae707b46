#include "plugins/KRCocoa/Watermark.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_STROKER_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plugins/KRCocoa/KRCocoa.h"

namespace krcocoa {

namespace {

constexpr int64_t kMaxSide = 1 << 16;   // pixels a side of an image the record may describe
constexpr double kMaxPixelSize = 2048;  // character height in pixels
constexpr const char* kFontDirEnv = "KRCOCOA_FONT_DIR";
constexpr int kStrokeDivisor = 32;  // hollow characters: outlines height / 32 pixels wide

// The coverage of the drawn text, 0 to 255.
struct Mask {
  int w = 0, h = 0;
  std::vector<uint8_t> v;
  Mask(int width, int height) : w(width), h(height), v(size_t(width) * size_t(height), 0) {}
  uint8_t& at(int x, int y) { return v[size_t(y) * size_t(w) + size_t(x)]; }
  uint8_t at(int x, int y) const { return v[size_t(y) * size_t(w) + size_t(x)]; }
};

Mask turnClockwise(const Mask& m, int quarters) {
  quarters &= 3;
  if (quarters == 0) return m;
  Mask out = (quarters & 1) ? Mask(m.h, m.w) : Mask(m.w, m.h);
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) {
      int nx = x, ny = y;
      if (quarters == 1) nx = m.h - 1 - y, ny = x;
      if (quarters == 2) nx = m.w - 1 - x, ny = m.h - 1 - y;
      if (quarters == 3) nx = y, ny = m.w - 1 - x;
      out.at(nx, ny) = m.at(x, y);
    }
  return out;
}

int64_t i64At(const uint8_t* r, size_t off) {
  int64_t v;
  memcpy(&v, r + off, sizeof v);
  return v;
}
double f64At(const uint8_t* r, size_t off) {
  double v;
  memcpy(&v, r + off, sizeof v);
  return v;
}

std::vector<uint32_t> codePoints(const uint16_t* text, size_t units) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < units; ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    if (c == 0) break;
    out.push_back(c);
  }
  return out;
}

std::string fontDir() {
  const char* env = getenv(kFontDirEnv);
  return env && *env ? env : KRCOCOA_FONT_DIR;
}

// FreeType objects of one call.
struct Face {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  FT_Stroker stroker = nullptr;
  bool embolden = false;  // no bold face file: the outlines are made heavier
  ~Face() {
    if (stroker) FT_Stroker_Done(stroker);
    if (face) FT_Done_Face(face);
    if (lib) FT_Done_FreeType(lib);
  }
  bool open(const Style& s) {
    if (FT_Init_FreeType(&lib) != 0) return false;
    const std::string base = fontDir() + (s.fixedWidth ? "/DejaVuSansMono" : "/DejaVuSans");
    if (s.bold && FT_New_Face(lib, (base + "-Bold.ttf").c_str(), 0, &face) == 0) {
    } else if (FT_New_Face(lib, (base + ".ttf").c_str(), 0, &face) == 0) {
      embolden = s.bold;
    } else {
      return false;
    }
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(s.pixels)) != 0) return false;
    if (s.hollow) {
      if (FT_Stroker_New(lib, &stroker) != 0) return false;
      FT_Stroker_Set(stroker, FT_Fixed(std::max(32, s.pixels * 32 / kStrokeDivisor)),
                     FT_STROKER_LINECAP_ROUND, FT_STROKER_LINEJOIN_ROUND, 0);
    }
    return true;
  }
  // The glyph of one character as a bitmap glyph (null when it cannot be drawn).
  FT_BitmapGlyph render(uint32_t c, int* advance) {
    *advance = 0;
    if (FT_Load_Char(face, c, FT_LOAD_DEFAULT) != 0) return nullptr;
    if (embolden) FT_Outline_Embolden(&face->glyph->outline, face->size->metrics.x_ppem * 4);
    *advance = int((face->glyph->advance.x + 63) >> 6);
    FT_Glyph g = nullptr;
    if (FT_Get_Glyph(face->glyph, &g) != 0) return nullptr;
    if (stroker && FT_Glyph_Stroke(&g, stroker, 1) != 0) {
      FT_Done_Glyph(g);
      return nullptr;
    }
    if (FT_Glyph_To_Bitmap(&g, FT_RENDER_MODE_NORMAL, nullptr, 1) != 0) {
      FT_Done_Glyph(g);
      return nullptr;
    }
    return reinterpret_cast<FT_BitmapGlyph>(g);
  }
};

void blit(Mask& m, FT_BitmapGlyph g, int x, int y) {
  const FT_Bitmap& b = g->bitmap;
  for (unsigned r = 0; r < b.rows; ++r)
    for (unsigned c = 0; c < b.width; ++c) {
      const int px = x + g->left + int(c), py = y - g->top + int(r);
      if (px < 0 || py < 0 || px >= m.w || py >= m.h) continue;
      uint8_t& d = m.at(px, py);
      d = std::max(d, b.buffer[int(r) * b.pitch + int(c)]);
    }
}

// The text laid out upright: in a row, or stacked in a column.
bool layOut(Face& f, const std::vector<uint32_t>& text, const Style& s, Mask* out) {
  const FT_Size_Metrics& m = f.face->size->metrics;
  const int ascent = int((m.ascender + 63) >> 6), descent = int((-m.descender + 63) >> 6);
  const int pad = s.hollow ? std::max(1, s.pixels / kStrokeDivisor) + 1 : 1;
  const int line = ascent + descent + 2 * pad;
  std::vector<FT_BitmapGlyph> glyphs;
  std::vector<int> advances;
  int total = 0, widest = 0;
  for (uint32_t c : text) {
    int advance = 0;
    glyphs.push_back(f.render(c, &advance));
    advances.push_back(advance);
    total += advance, widest = std::max(widest, advance);
  }
  const bool ok = total > 0;
  if (ok) {
    *out =
        s.vertical ? Mask(widest + 2 * pad, line * int(text.size())) : Mask(total + 2 * pad, line);
    int pen = pad;
    for (size_t i = 0; i < glyphs.size(); ++i) {
      if (!glyphs[i]) continue;
      if (s.vertical)
        blit(*out, glyphs[i], pad + (widest - advances[i]) / 2, int(i) * line + pad + ascent);
      else
        blit(*out, glyphs[i], pen, pad + ascent);
      pen += advances[i];
    }
    if (s.underline && !s.vertical) {
      const int thick = std::max(1, int(FT_MulFix(f.face->underline_thickness, m.y_scale) >> 6));
      const int at = pad + ascent - int(FT_MulFix(f.face->underline_position, m.y_scale) >> 6);
      for (int y = at; y < std::min(out->h, at + thick); ++y)
        for (int x = pad; x < pad + total; ++x) out->at(x, y) = 255;
    }
  }
  for (FT_BitmapGlyph g : glyphs)
    if (g) FT_Done_Glyph(reinterpret_cast<FT_Glyph>(g));
  return ok;
}

}  // namespace

bool readStyle(const uint8_t* record, Style* s) {
  s->kind = i64At(record, kWmImageKind);
  s->width = i64At(record, kWmWidth);
  s->length = i64At(record, kWmLength);
  s->ink = int(std::clamp<int64_t>(i64At(record, kWmInk), 0, 255));
  s->angle = i64At(record, kWmAngle);
  s->chars = i64At(record, kWmTextLength);
  s->opacity = int(std::clamp<int64_t>(i64At(record, kWmOpacity), 0, 100));
  s->position = record[kWmPosition];
  s->underline = record[kWmUnderline] != 0;
  s->bold = record[kWmBold] != 0;
  s->fixedWidth = record[kWmFixedWidth] != 0;
  s->vertical = record[kWmVertical] != 0;
  s->x = i64At(record, kWmX);
  s->y = i64At(record, kWmY);
  s->hollow = f64At(record, kWmHollow) != 0;
  const double size = f64At(record, kWmFontSize) * kKRCocoaPixelsPerSize;
  if (!(size >= 1)) return false;  // also refuses NaN
  // The largest sizes at high resolutions would be taller than a page: drawn at the cap.
  s->pixels = int(std::lround(std::min(size, kMaxPixelSize)));
  if (s->kind < 0 || s->kind > 2) return false;
  if (s->width <= 0 || s->length <= 0 || s->width > kMaxSide || s->length > kMaxSide) return false;
  if (s->angle % 90 != 0) return false;
  s->chars = std::clamp<int64_t>(s->chars, 0, int64_t(kKRCocoaTextUnits));
  return true;
}

bool drawText(uint8_t* image, const uint16_t* text, const Style& s) {
  const std::vector<uint32_t> chars = codePoints(text, size_t(s.chars));
  if (chars.empty()) return true;  // nothing to print
  Face f;
  if (!f.open(s)) return false;
  Mask upright(0, 0);
  if (!layOut(f, chars, s, &upright)) return true;
  const int quarters = int(((s.angle / 90) % 4 + 4) % 4);
  const Mask m = turnClockwise(upright, s.vertical ? quarters + 3 : quarters);
  // Where the text's box goes.
  const int64_t w = s.width, h = s.length;
  int64_t x0 = (w - m.w) / 2, y0 = 0;
  const int64_t margin = s.pixels / 2;
  switch (s.position) {
    case kWmTop:
      y0 = margin;
      break;
    case kWmBottom:
      y0 = h - m.h - margin;
      break;
    case kWmAt:
      // A box wholly beside the page draws nothing; checked before any sum with the record's
      // position, which may be anywhere in its 64-bit range.
      if (s.x >= w || s.y >= h || s.x <= -int64_t(m.w) || s.y <= -int64_t(m.h)) return true;
      x0 = s.x, y0 = s.y;
      break;
    default:  // middle
      y0 = (h - m.h) / 2;
  }
  const size_t stride = s.kind == 0 ? size_t(w) * 3 : (s.kind == 1 ? size_t(w) : size_t(w + 7) / 8);
  for (int my = 0; my < m.h; ++my) {
    const int64_t y = y0 + my;
    if (y < 0 || y >= h) continue;
    uint8_t* row = image + size_t(y) * stride;
    for (int mx = 0; mx < m.w; ++mx) {
      const int64_t x = x0 + mx;
      if (x < 0 || x >= w || m.at(mx, my) == 0) continue;
      const double a = m.at(mx, my) / 255.0 * s.opacity / 100.0;
      if (s.kind == 2) {
        if (a < 0.5) continue;
        const uint8_t bit = uint8_t(0x80 >> (x & 7));
        if (s.ink >= 128)
          row[x >> 3] |= bit;
        else
          row[x >> 3] &= uint8_t(~bit);
        continue;
      }
      const int n = s.kind == 0 ? 3 : 1;
      for (int c = 0; c < n; ++c) {
        uint8_t& p = row[size_t(x) * size_t(n) + size_t(c)];
        p = uint8_t(std::lround(p * (1 - a) + s.ink * a));
      }
    }
  }
  return true;
}

}  // namespace krcocoa
