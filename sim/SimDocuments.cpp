// The documents the simulated scanner feeds: each kind drawn on its paper at the window's
// resolutions, then the paper laid, turned and shifted, on the feeder's background.
#include "sim/SimDocuments.h"

#include <BarcodeFormat.h>
#include <BitMatrix.h>
#include <MultiFormatWriter.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "platform/imageio/ImageIO.h"
#include "plugins/Lumetra/Lumetra.h"

namespace sim {
namespace {

constexpr double kPi = 3.14159265358979323846;
struct NamedSize {
  const char* name;
  double width, height;
};
constexpr NamedSize kSizes[] = {
    {"letter", 8.5, 11}, {"legal", 8.5, 14},    {"a4", 8.27, 11.69},
    {"a5", 5.83, 8.27},  {"card", 3.37, 2.125},
};
constexpr const NamedSize& kLetter = kSizes[0];
constexpr const NamedSize& kCard = kSizes[4];
constexpr double kDefaultImageDpi = 300;
// Background shown beyond the paper when the caller leaves the window's size to the page.
constexpr double kTrailingBackground = 0.25;
constexpr Rgb kInk{25, 25, 30};
constexpr Rgb kWhite{255, 255, 255};

struct KindName {
  DocumentKind kind;
  const char* name;
};
constexpr KindName kKindNames[] = {
    {DocumentKind::Text, "text"},        {DocumentKind::Invoice, "invoice"},
    {DocumentKind::Photo, "photo"},      {DocumentKind::NearlyBlank, "nearly-blank"},
    {DocumentKind::PatchSheet, "patch"}, {DocumentKind::Card, "card"},
    {DocumentKind::Image, "image"},
};

// The invoice's own barcodes: where they lie (inches on the paper) and what they say.
constexpr const char* kInvoiceLinearText = "INV-2026-0417";
constexpr const char* kInvoiceMatrixText = "https://example.com/invoice/INV-2026-0417";

// A patch code's bars (the width the image plug-in expects of a wide and a narrow bar).
constexpr double kWideBar = 0.20, kNarrowBar = 0.08, kBarGap = 0.08;
constexpr char kPatchNames[] = {'1', '2', '3', '4', '6', 'T'};
static_assert(std::size(kPatchNames) == std::size(kLumetraPatchPatterns));

// The paper being drawn: RGB pixels at the window's resolutions, drawing in inches.
class Canvas {
 public:
  Canvas(double width, double height, double xRes, double yRes, Rgb paper)
      : xRes_(xRes),
        yRes_(yRes),
        width_(uint32_t(std::lround(width * xRes))),
        height_(uint32_t(std::lround(height * yRes))),
        pixels_(size_t(width_) * height_ * 3) {
    for (size_t i = 0; i < pixels_.size(); i += 3) {
      pixels_[i] = paper.r;
      pixels_[i + 1] = paper.g;
      pixels_[i + 2] = paper.b;
    }
  }
  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  double xRes() const { return xRes_; }
  double yRes() const { return yRes_; }
  const std::vector<uint8_t>& pixels() const { return pixels_; }
  uint8_t* at(uint32_t x, uint32_t y) { return &pixels_[(size_t(y) * width_ + x) * 3]; }

  // Mixes `c` into a pixel by `alpha` (0 to 1); outside the paper nothing happens.
  void Blend(int x, int y, Rgb c, double alpha) {
    if (x < 0 || y < 0 || uint32_t(x) >= width_ || uint32_t(y) >= height_ || alpha <= 0) return;
    uint8_t* p = at(uint32_t(x), uint32_t(y));
    const double a = std::min(alpha, 1.0);
    p[0] = uint8_t(std::lround(p[0] + (c.r - p[0]) * a));
    p[1] = uint8_t(std::lround(p[1] + (c.g - p[1]) * a));
    p[2] = uint8_t(std::lround(p[2] + (c.b - p[2]) * a));
  }

  // A rectangle in inches; pixels it covers in part get their share of the colour.
  void Fill(double l, double t, double r, double b, Rgb c) {
    FillPixels(l * xRes_, t * yRes_, r * xRes_, b * yRes_, c);
  }
  void FillPixels(double l, double t, double r, double b, Rgb c) {
    const int x0 = std::max(0, int(std::floor(l))), x1 = std::min(int(width_), int(std::ceil(r)));
    const int y0 = std::max(0, int(std::floor(t))), y1 = std::min(int(height_), int(std::ceil(b)));
    for (int y = y0; y < y1; ++y) {
      const double cy = std::min(b, y + 1.0) - std::max(t, double(y));
      for (int x = x0; x < x1; ++x) {
        const double cx = std::min(r, x + 1.0) - std::max(l, double(x));
        Blend(x, y, c, cx * cy);
      }
    }
  }
  // Lines of a rectangle's frame, `weight` inches thick.
  void Frame(double l, double t, double r, double b, double weight, Rgb c) {
    Fill(l, t, r, t + weight, c);
    Fill(l, b - weight, r, b, c);
    Fill(l, t, l + weight, b, c);
    Fill(r - weight, t, r, b, c);
  }
  // A disc in inches, its rim smoothed over a pixel.
  void Disc(double cx, double cy, double radius, Rgb c) {
    const double px = cx * xRes_, py = cy * yRes_;
    for (int y = int(std::floor((cy - radius) * yRes_)) - 1;
         y <= int(std::ceil((cy + radius) * yRes_)); ++y)
      for (int x = int(std::floor((cx - radius) * xRes_)) - 1;
           x <= int(std::ceil((cx + radius) * xRes_)); ++x) {
        const double d = std::hypot((x + 0.5 - px) / xRes_, (y + 0.5 - py) / yRes_);
        Blend(x, y, c, std::clamp((radius - d) * std::max(xRes_, yRes_) + 0.5, 0.0, 1.0));
      }
  }

 private:
  double xRes_, yRes_;
  uint32_t width_, height_;
  std::vector<uint8_t> pixels_;
};

// The DejaVu faces through FreeType, sized in points at the canvas's resolutions.
enum class Face { Sans, SansBold, Serif, SerifBold, Mono };

class Fonts {
 public:
  Fonts() {
    if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
  }
  ~Fonts() {
    for (FT_Face f : faces_)
      if (f) FT_Done_Face(f);
    if (library_) FT_Done_FreeType(library_);
  }
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;

  // The face at `points` for the canvas; null (and the reason) when the font is missing.
  FT_Face Get(Face face, double points, const Canvas& canvas, std::string* error) {
    static const char* const kFiles[] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSerif.ttf",
                                         "DejaVuSerif-Bold.ttf", "DejaVuSansMono.ttf"};
    FT_Face& f = faces_[size_t(face)];
    if (!f) {
      const std::string path = std::string(VT_SIM_FONT_DIR) + "/" + kFiles[size_t(face)];
      if (!library_ || FT_New_Face(library_, path.c_str(), 0, &f) != 0) {
        f = nullptr;
        *error = "cannot load the font " + path;
        return nullptr;
      }
    }
    FT_Set_Char_Size(f, 0, FT_F26Dot6(std::lround(points * 64)),
                     FT_UInt(std::lround(canvas.xRes())), FT_UInt(std::lround(canvas.yRes())));
    return f;
  }

 private:
  FT_Library library_ = nullptr;
  FT_Face faces_[5] = {};
};

// Text drawing on one canvas: measure, draw a line, wrap a paragraph.
class Writer {
 public:
  Writer(Canvas& canvas, Fonts& fonts) : canvas_(canvas), fonts_(fonts) {}
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  // Width of the text in inches.
  double Measure(const std::string& text, Face face, double points) {
    FT_Face f = fonts_.Get(face, points, canvas_, &error_);
    if (!f) return 0;
    long advance = 0;
    for (unsigned char ch : text)
      if (FT_Load_Char(f, ch, FT_LOAD_DEFAULT) == 0) advance += f->glyph->advance.x;
    return double(advance) / 64 / canvas_.xRes();
  }
  // Draws the text with its baseline at `baseline` inches, starting at `x` inches.
  void Line(double x, double baseline, const std::string& text, Face face, double points,
            Rgb ink = kInk) {
    FT_Face f = fonts_.Get(face, points, canvas_, &error_);
    if (!f) return;
    long pen = std::lround(x * canvas_.xRes() * 64);
    const int base = int(std::lround(baseline * canvas_.yRes()));
    for (unsigned char ch : text) {
      if (FT_Load_Char(f, ch, FT_LOAD_RENDER) != 0) continue;
      const FT_GlyphSlot g = f->glyph;
      const int left = int((pen + 32) >> 6) + g->bitmap_left, top = base - g->bitmap_top;
      for (unsigned row = 0; row < g->bitmap.rows; ++row)
        for (unsigned col = 0; col < g->bitmap.width; ++col) {
          const uint8_t cover = g->bitmap.buffer[row * unsigned(g->bitmap.pitch) + col];
          canvas_.Blend(left + int(col), top + int(row), ink, cover / 255.0);
        }
      pen += g->advance.x;
    }
  }
  void Centred(double centre, double baseline, const std::string& text, Face face, double points,
               Rgb ink = kInk) {
    Line(centre - Measure(text, face, points) / 2, baseline, text, face, points, ink);
  }
  void RightAligned(double right, double baseline, const std::string& text, Face face,
                    double points, Rgb ink = kInk) {
    Line(right - Measure(text, face, points), baseline, text, face, points, ink);
  }
  // Words wrapped between `left` and `right`, lines `leading` points apart from the first
  // baseline; answers the baseline after the last line.
  double Paragraph(double left, double right, double baseline, const std::string& text, Face face,
                   double points, double leading, double bottom) {
    const double step = leading / 72;
    std::string line, word;
    auto flush = [&] {
      if (!line.empty() && baseline <= bottom) Line(left, baseline, line, face, points);
      line.clear();
      baseline += step;
    };
    size_t i = 0;
    while (i <= text.size()) {
      const size_t end = std::min(text.find(' ', i), text.size());
      word = text.substr(i, end - i);
      i = end + 1;
      if (word.empty()) continue;
      const std::string candidate = line.empty() ? word : line + " " + word;
      if (!line.empty() && left + Measure(candidate, face, points) > right) {
        flush();
        line = word;
      } else {
        line = candidate;
      }
    }
    if (!line.empty()) flush();
    return baseline;
  }

 private:
  Canvas& canvas_;
  Fonts& fonts_;
  std::string error_;
};

// A deterministic sequence for specks and the choice of sentences.
class Sequence {
 public:
  explicit Sequence(uint32_t seed) : state_(seed * 2654435761u + 12345u) {}
  uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  double Unit() { return double(Next() % 1000000) / 1000000; }

 private:
  uint32_t state_;
};

const char* const kSentences[] = {
    "The committee met on Tuesday to review the quarterly figures and the plans for the new "
    "warehouse.",
    "Deliveries to the northern depots were delayed by two days because of the weather, but all "
    "orders were filled before the end of the month.",
    "Please keep this letter with your records; it confirms the terms agreed at our last "
    "meeting.",
    "Sales of the smaller models rose by eleven percent, while the larger machines held steady.",
    "A copy of the signed contract is enclosed, together with the schedule of payments.",
    "Staff who wish to attend the training course should register with the office by Friday.",
    "The survey found that most customers prefer to receive their statements by post.",
    "Maintenance of the heating system is planned for the first week of the next month.",
    "Any questions about this notice may be sent to the address printed at the top of the page.",
    "The board thanks everyone who contributed to a successful year.",
};

// `count` different sentences in a row, from a place the sequence picks.
std::string Sentences(Sequence& seq, int count) {
  std::string out;
  const size_t first = seq.Next() % std::size(kSentences);
  for (int i = 0; i < count; ++i) {
    if (!out.empty()) out += ' ';
    out += kSentences[(first + size_t(i)) % std::size(kSentences)];
  }
  return out;
}

void DrawPageNumber(Writer& w, const Canvas& c, const Document& doc) {
  if (doc.pageNumber == 0) return;
  const double width = c.width() / c.xRes(), height = c.height() / c.yRes();
  w.Centred(width / 2, height - 0.6, "- " + std::to_string(doc.pageNumber) + " -", Face::Sans, 10);
}

void DrawText(Canvas& c, Writer& w, const Document& doc) {
  const double width = c.width() / c.xRes(), height = c.height() / c.yRes();
  const double left = 1, right = width - 1, bottom = height - 1;
  Sequence seq(doc.pageNumber);
  double y = 1.2;
  w.Line(left, y, "Annual Report of the Regional Office", Face::SansBold, 20);
  y += 0.45;
  w.Line(left, y, "Prepared for the members of the board", Face::Sans, 12, Rgb{90, 90, 95});
  y += 0.2;
  c.Fill(left, y, right, y + 0.015, kInk);
  y += 0.45;
  static const char* const kHeadings[] = {"1. Summary of the year", "2. Operations",
                                          "3. Staff and training", "4. Outlook"};
  for (const char* heading : kHeadings) {
    if (y > bottom - 0.6) break;
    w.Line(left, y, heading, Face::SansBold, 14);
    y += 0.32;
    for (int p = 0; p < 2 && y < bottom; ++p)
      y = w.Paragraph(left, right, y, Sentences(seq, 4), Face::Serif, 11, 15, bottom) + 0.12;
    y += 0.15;
  }
  DrawPageNumber(w, c, doc);
}

// A barcode symbol by ZXing's writer, its modules whole pixels, in the box (inches).
bool DrawSymbol(Canvas& c, const DocumentBarcode& code, std::string* error) {
  try {
    const ZXing::BarcodeFormat format = ZXing::BarcodeFormatFromString(code.format);
    const ZXing::BitMatrix m = ZXing::MultiFormatWriter(format).setMargin(0).encode(
        std::wstring(code.text.begin(), code.text.end()), 1, 1);
    const bool linear = m.height() == 1;
    const int moduleX = std::max(1, int(code.width * c.xRes()) / m.width());
    const int moduleY = linear ? 1 : std::max(1, int(code.height * c.yRes()) / m.height());
    const int left = int(std::lround(code.left * c.xRes())),
              top = int(std::lround(code.top * c.yRes()));
    const int rows = linear ? int(std::lround(code.height * c.yRes())) : m.height() * moduleY;
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < m.width() * moduleX; ++x)
        if (m.get(x / moduleX, linear ? 0 : y / moduleY)) c.Blend(left + x, top + y, kInk, 1);
  } catch (const std::exception& e) {
    *error = "cannot make the " + code.format + " symbol: " + e.what();
    return false;
  }
  return true;
}

void DrawInvoice(Canvas& c, Writer& w, const Document& doc, std::string* error) {
  const double width = c.width() / c.xRes();
  const double left = 0.8, right = width - 0.8;
  // Logo block and sender.
  c.Fill(left, 0.7, left + 0.9, 1.6, Rgb{30, 80, 160});
  c.Disc(left + 0.45, 1.15, 0.3, Rgb{240, 180, 40});
  w.Centred(left + 0.45, 1.24, "NW", Face::SansBold, 16, Rgb{30, 80, 160});
  w.Line(left + 1.15, 0.98, "Northwind Supplies Ltd.", Face::SansBold, 16);
  w.Line(left + 1.15, 1.24, "14 Harbour Road, Portsmouth PO1 3AB", Face::Sans, 9);
  w.Line(left + 1.15, 1.42, "Telephone 023 9200 4100 - accounts@northwind.example", Face::Sans, 9);
  w.RightAligned(right, 1.05, "INVOICE", Face::SansBold, 26, Rgb{30, 80, 160});
  // Invoice data and the customer.
  const std::string linear = doc.linearText.empty() ? kInvoiceLinearText : doc.linearText;
  w.Line(left, 2.2, "Bill to:", Face::SansBold, 10);
  w.Line(left, 2.4, "Harrow & Lane Stationers", Face::Sans, 10);
  w.Line(left, 2.58, "2 Market Street, Winchester SO23 8EX", Face::Sans, 10);
  w.RightAligned(right, 2.2, "Invoice no. " + linear, Face::Sans, 10);
  w.RightAligned(right, 2.4, "Date: 17 April 2026", Face::Sans, 10);
  w.RightAligned(right, 2.58, "Due: 17 May 2026", Face::Sans, 10);
  // The table.
  struct Item {
    const char* text;
    int quantity;
    int unitCents;
  };
  static const Item kItems[] = {
      {"Copier paper A4, 80 g, box of 5 reams", 12, 2450},
      {"Ink cartridges, black", 6, 3199},
      {"Ink cartridges, colour set", 4, 5480},
      {"Archive boxes, brown", 25, 315},
      {"Ring binders, 2 rings, blue", 40, 189},
      {"Delivery and handling", 1, 1500},
  };
  const double top = 3.0, rowHeight = 0.32;
  const double columns[] = {left, left + 3.7, left + 4.4, right - 1.25, right};
  c.Fill(left, top, right, top + rowHeight, Rgb{215, 225, 240});
  const char* const kHeads[] = {"Description", "Qty", "Unit price", "Amount"};
  for (int i = 0; i < 4; ++i) w.Line(columns[i] + 0.08, top + 0.22, kHeads[i], Face::SansBold, 10);
  long total = 0;
  auto money = [](long cents) {
    return std::to_string(cents / 100) + "." + (cents % 100 < 10 ? "0" : "") +
           std::to_string(cents % 100);
  };
  double y = top + rowHeight;
  for (const Item& item : kItems) {
    const long amount = long(item.quantity) * item.unitCents;
    total += amount;
    w.Line(columns[0] + 0.08, y + 0.22, item.text, Face::Sans, 10);
    w.RightAligned(columns[2] - 0.08, y + 0.22, std::to_string(item.quantity), Face::Sans, 10);
    w.RightAligned(columns[3] - 0.08, y + 0.22, money(item.unitCents), Face::Sans, 10);
    w.RightAligned(columns[4] - 0.08, y + 0.22, money(amount), Face::Sans, 10);
    y += rowHeight;
  }
  for (int r = 0; r <= int(std::size(kItems)) + 1; ++r)
    c.Fill(left, top + r * rowHeight, right, top + r * rowHeight + 0.01, kInk);
  for (double x : columns) c.Fill(x, top, x + 0.01, y, kInk);
  w.RightAligned(columns[3] - 0.08, y + 0.3, "Total due", Face::SansBold, 11);
  w.RightAligned(columns[4] - 0.08, y + 0.3, money(total), Face::SansBold, 11);
  // Colour patches, the barcodes and the terms.
  static const Rgb kPatches[] = {{210, 40, 45}, {40, 150, 70}, {40, 80, 190}, {240, 200, 40}};
  for (int i = 0; i < 4; ++i) c.Fill(left + i * 0.7, 6.2, left + i * 0.7 + 0.5, 6.7, kPatches[i]);
  for (const DocumentBarcode& code : DocumentBarcodes(doc))
    if (!DrawSymbol(c, code, error)) return;
  w.Line(left, 9.6, "Payment within 30 days to account 40-11-22 31926819.", Face::Serif, 10);
  w.Line(left, 9.8, "Thank you for your order.", Face::Serif, 10);
}

void DrawPhoto(Canvas& c) {
  // A landscape: sky, sun, hills and a lake, all smooth, inside a white border.
  const double border = 0.3;
  const double width = c.width() / c.xRes(), height = c.height() / c.yRes();
  for (uint32_t y = 0; y < c.height(); ++y) {
    const double v = (y + 0.5) / c.yRes();
    for (uint32_t x = 0; x < c.width(); ++x) {
      const double u = (x + 0.5) / c.xRes();
      if (u < border || v < border || u > width - border || v > height - border) continue;
      const double fu = (u - border) / (width - 2 * border),
                   fv = (v - border) / (height - 2 * border);
      double r, g, b;
      const double hill = 0.55 + 0.06 * std::sin(fu * 2 * kPi * 1.3) + 0.03 * std::sin(fu * 11);
      if (fv < hill) {  // the sky, lighter towards the horizon, with the sun's glow
        const double glow =
            std::exp(-(std::pow((fu - 0.7) / 0.18, 2) + std::pow((fv - 0.3) / 0.14, 2)));
        r = 70 + 130 * fv + 120 * glow;
        g = 120 + 100 * fv + 100 * glow;
        b = 200 + 40 * fv - 40 * glow;
      } else if (fv < 0.8) {  // hills, darker further down
        const double d = (fv - hill) / (0.8 - hill);
        r = 60 + 40 * d;
        g = 120 - 40 * d + 20 * std::sin(fu * 17);
        b = 50 + 10 * d;
      } else {  // the lake reflects the sky
        const double d = (fv - 0.8) / 0.2;
        r = 50 + 40 * (1 - d);
        g = 90 + 50 * (1 - d);
        b = 150 + 50 * (1 - d) + 10 * std::sin(fv * 180);
      }
      uint8_t* p = c.at(x, y);
      p[0] = uint8_t(std::clamp(std::lround(r), 0L, 255L));
      p[1] = uint8_t(std::clamp(std::lround(g), 0L, 255L));
      p[2] = uint8_t(std::clamp(std::lround(b), 0L, 255L));
    }
  }
  c.Disc(border + (width - 2 * border) * 0.7, border + (height - 2 * border) * 0.3, 0.45,
         Rgb{255, 240, 190});
}

void DrawNearlyBlank(Canvas& c, Writer& w, const Document& doc) {
  const double width = c.width() / c.xRes(), height = c.height() / c.yRes();
  Sequence seq(doc.pageNumber + 1000);
  for (int i = 0; i < 6; ++i) {
    const double x = 0.5 + seq.Unit() * (width - 1), y = 0.5 + seq.Unit() * (height - 1.5);
    c.Disc(x, y, 0.004 + 0.004 * seq.Unit(), Rgb{80, 80, 80});
  }
  DrawPageNumber(w, c, doc);
}

void DrawPatchSheet(Canvas& c, Writer& w, const Document& doc, std::string* error) {
  const char* pattern = nullptr;
  for (size_t i = 0; i < std::size(kPatchNames); ++i)
    if (kPatchNames[i] == doc.patch) pattern = kLumetraPatchPatterns[i];
  if (!pattern) {
    *error = std::string("no patch code '") + doc.patch + "'";
    return;
  }
  const double width = c.width() / c.xRes(), height = c.height() / c.yRes();
  double total = 3 * kBarGap;
  for (int i = 0; i < 4; ++i) total += pattern[i] == 'W' ? kWideBar : kNarrowBar;
  double x = (width - total) / 2;
  for (int i = 0; i < 4; ++i) {
    const double bar = pattern[i] == 'W' ? kWideBar : kNarrowBar;
    c.Fill(x, 1.5, x + bar, height - 1.5, Rgb{15, 15, 15});
    x += bar + kBarGap;
  }
  w.Centred(width / 2, 1.0, std::string("PATCH ") + doc.patch, Face::SansBold, 18);
}

void DrawCard(Canvas& c, Writer& w) {
  const double width = c.width() / c.xRes(), height = c.height() / c.yRes();
  c.Fill(0, 0, width, 0.45, Rgb{150, 30, 50});
  w.Line(0.15, 0.31, "MEMBER CARD", Face::SansBold, 12, kWhite);
  // The photo block: a soft portrait-like gradient.
  const double pl = 0.15, pt = 0.6, pw = 0.85, ph = 1.1;
  for (uint32_t y = uint32_t(pt * c.yRes()); y < uint32_t((pt + ph) * c.yRes()); ++y)
    for (uint32_t x = uint32_t(pl * c.xRes()); x < uint32_t((pl + pw) * c.xRes()); ++x) {
      const double fu = ((x + 0.5) / c.xRes() - pl) / pw, fv = ((y + 0.5) / c.yRes() - pt) / ph;
      uint8_t* p = c.at(x, y);
      p[0] = uint8_t(120 + 80 * fv);
      p[1] = uint8_t(150 + 60 * fu);
      p[2] = uint8_t(190 - 50 * fv);
    }
  c.Disc(pl + pw / 2, pt + 0.4, 0.22, Rgb{225, 185, 160});
  c.Fill(pl + 0.15, pt + 0.7, pl + pw - 0.15, pt + ph, Rgb{60, 70, 110});
  w.Line(1.15, 0.8, "Jane Q. Example", Face::SansBold, 11);
  w.Line(1.15, 1.02, "Member no. 0042 1977", Face::Sans, 8);
  w.Line(1.15, 1.2, "Valid until 12/2028", Face::Sans, 8);
  c.Fill(1.15, height - 0.45, width - 0.2, height - 0.25, Rgb{200, 160, 40});
}

// An image file's pixels as RGB, and its size in inches.
struct LoadedImage {
  imageio::Raster raster;
  double dpiX = 0, dpiY = 0;
};

bool LoadImage(const Document& doc, LoadedImage* out, std::string* error) {
  imageio::DecodedImage decoded;
  const imageio::Status st = imageio::readImageFile(doc.imageFile, decoded);
  if (!st.ok()) {
    *error = doc.imageFile + ": " + st.message();
    return false;
  }
  if (decoded.kind != imageio::FileKind::Png && decoded.kind != imageio::FileKind::Tiff) {
    *error = doc.imageFile + ": not a PNG or TIFF file";
    return false;
  }
  out->raster = std::move(decoded.raster);
  const imageio::Resolution& r = out->raster.resolution;
  out->dpiX = doc.imageDpi > 0 ? doc.imageDpi : r.x > 0 ? r.x : kDefaultImageDpi;
  out->dpiY = doc.imageDpi > 0 ? doc.imageDpi : r.y > 0 ? r.y : out->dpiX;
  return true;
}

// Sample (x, y) of the image as 8-bit R, G, B.
void ImageSample(const imageio::Raster& r, uint32_t x, uint32_t y, double out[3]) {
  const imageio::PixelLayout& l = r.layout;
  const uint8_t* row = r.row(y);
  for (uint32_t k = 0; k < 3; ++k) {
    const uint32_t channel = l.samplesPerPixel >= 3 ? k : 0;
    const uint32_t index = x * l.samplesPerPixel + channel;
    double v;
    if (l.bitsPerSample == 1)
      v = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
    else if (l.bitsPerSample == 16)
      v = reinterpret_cast<const uint16_t*>(row)[index] / 257.0;
    else
      v = row[index];
    out[k] = v;
  }
}

// The image scaled to the canvas: each paper pixel the mean of the image's samples under it
// (nearest sample when the paper's pixels are smaller).
void DrawImage(Canvas& c, const LoadedImage& img) {
  const imageio::PixelLayout& l = img.raster.layout;
  const double sx = img.dpiX / c.xRes(), sy = img.dpiY / c.yRes();
  for (uint32_t y = 0; y < c.height(); ++y) {
    const uint32_t y0 = std::min(l.height - 1, uint32_t(y * sy));
    const uint32_t y1 = std::clamp(uint32_t(std::ceil((y + 1) * sy)), y0 + 1, l.height);
    for (uint32_t x = 0; x < c.width(); ++x) {
      const uint32_t x0 = std::min(l.width - 1, uint32_t(x * sx));
      const uint32_t x1 = std::clamp(uint32_t(std::ceil((x + 1) * sx)), x0 + 1, l.width);
      double sum[3] = {0, 0, 0}, s[3];
      for (uint32_t iy = y0; iy < y1; ++iy)
        for (uint32_t ix = x0; ix < x1; ++ix) {
          ImageSample(img.raster, ix, iy, s);
          for (int k = 0; k < 3; ++k) sum[k] += s[k];
        }
      const double n = double(y1 - y0) * (x1 - x0);
      uint8_t* p = c.at(x, y);
      for (int k = 0; k < 3; ++k) p[k] = uint8_t(std::lround(sum[k] / n));
    }
  }
}

bool PaperSize(const Document& doc, double* width, double* height, LoadedImage* image,
               std::string* error) {
  double w = kLetter.width, h = kLetter.height;
  if (doc.kind == DocumentKind::Card) w = kCard.width, h = kCard.height;
  if (doc.kind == DocumentKind::Image) {
    if (!LoadImage(doc, image, error)) return false;
    w = image->raster.layout.width / image->dpiX;
    h = image->raster.layout.height / image->dpiY;
  }
  *width = doc.width > 0 ? doc.width : w;
  *height = doc.height > 0 ? doc.height : h;
  return true;
}

// The paper drawn at the resolutions.
bool DrawPaper(const Document& doc, double width, double height, const LoadedImage& image,
               double xRes, double yRes, std::unique_ptr<Canvas>* out, std::string* error) {
  auto canvas = std::make_unique<Canvas>(width, height, xRes, yRes, doc.paper);
  Fonts fonts;
  Writer writer(*canvas, fonts);
  std::string problem;
  switch (doc.kind) {
    case DocumentKind::Text:
      DrawText(*canvas, writer, doc);
      break;
    case DocumentKind::Invoice:
      DrawInvoice(*canvas, writer, doc, &problem);
      break;
    case DocumentKind::Photo:
      DrawPhoto(*canvas);
      break;
    case DocumentKind::NearlyBlank:
      DrawNearlyBlank(*canvas, writer, doc);
      break;
    case DocumentKind::PatchSheet:
      DrawPatchSheet(*canvas, writer, doc, &problem);
      break;
    case DocumentKind::Card:
      DrawCard(*canvas, writer);
      break;
    case DocumentKind::Image:
      DrawImage(*canvas, image);
      break;
  }
  if (problem.empty() && !writer.ok()) problem = writer.error();
  if (!problem.empty()) {
    *error = problem;
    return false;
  }
  *out = std::move(canvas);
  return true;
}

// The paper on the background: each window pixel looks up its place on the unturned paper;
// pixels the paper's edge crosses get their share of paper and background.
void Compose(const Document& doc, const Canvas& paper, double width, double height, Rgb background,
             RgbPage* out) {
  const double xRes = paper.xRes(), yRes = paper.yRes();
  const double a = doc.skew * kPi / 180, cs = std::cos(a), sn = std::sin(a);
  const double cx = doc.left + width / 2, cy = doc.top + height / 2;
  const std::vector<uint8_t>& src = paper.pixels();
  const int pw = int(paper.width()), ph = int(paper.height());
  for (uint32_t y = 0; y < out->height; ++y) {
    for (uint32_t x = 0; x < out->width; ++x) {
      // Turn the pixel's centre back by the skew about the paper's centre (inches).
      const double dx = (x + 0.5) / xRes - cx, dy = (y + 0.5) / yRes - cy;
      const double u = cs * dx + sn * dy + width / 2, v = -sn * dx + cs * dy + height / 2;
      const double inside = std::min(std::min(u, width - u) * xRes, std::min(v, height - v) * yRes);
      const double cover = std::clamp(inside + 0.5, 0.0, 1.0);
      uint8_t* p = &out->rgb[(size_t(y) * out->width + x) * 3];
      if (cover <= 0) {
        p[0] = background.r, p[1] = background.g, p[2] = background.b;
        continue;
      }
      // Bilinear between the paper's pixel centres.
      const double fx = std::clamp(u * xRes - 0.5, 0.0, double(pw - 1));
      const double fy = std::clamp(v * yRes - 0.5, 0.0, double(ph - 1));
      const int x0 = int(fx), y0 = int(fy);
      const int x1 = std::min(x0 + 1, pw - 1), y1 = std::min(y0 + 1, ph - 1);
      const double wx = fx - x0, wy = fy - y0;
      const uint8_t bg[3] = {background.r, background.g, background.b};
      for (int k = 0; k < 3; ++k) {
        auto s = [&](int sx, int sy) { return double(src[(size_t(sy) * pw + sx) * 3 + k]); };
        const double top = s(x0, y0) + (s(x1, y0) - s(x0, y0)) * wx;
        const double bottom = s(x0, y1) + (s(x1, y1) - s(x0, y1)) * wx;
        const double value = top + (bottom - top) * wy;
        p[k] = uint8_t(std::lround(bg[k] + (value - bg[k]) * cover));
      }
    }
  }
}

}  // namespace

const char* DocumentKindName(DocumentKind kind) {
  for (const KindName& k : kKindNames)
    if (k.kind == kind) return k.name;
  return "?";
}

bool DocumentKindFromName(const std::string& name, DocumentKind* kind) {
  for (const KindName& k : kKindNames)
    if (name == k.name) {
      *kind = k.kind;
      return true;
    }
  return false;
}

bool PaperSizeFromName(const std::string& name, double* width, double* height) {
  for (const NamedSize& size : kSizes)
    if (name == size.name) {
      *width = size.width;
      *height = size.height;
      return true;
    }
  return false;
}

bool DocumentReach(const Document& doc, double* right, double* bottom, std::string* error) {
  double width = 0, height = 0;
  if (!DocumentSize(doc, &width, &height, error)) return false;
  *right = *bottom = 0;
  for (const Point& p : PaperCorners(doc, width, height, 1, 1))
    *right = std::max(*right, p.x), *bottom = std::max(*bottom, p.y);
  return true;
}

bool DocumentSize(const Document& doc, double* width, double* height, std::string* error) {
  LoadedImage image;
  return PaperSize(doc, width, height, &image, error);
}

std::array<Point, 4> PaperCorners(const Document& doc, double width, double height,
                                  uint32_t xResolution, uint32_t yResolution) {
  const double a = doc.skew * kPi / 180, cs = std::cos(a), sn = std::sin(a);
  const double cx = doc.left + width / 2, cy = doc.top + height / 2;
  const double us[4] = {0, width, width, 0}, vs[4] = {0, 0, height, height};
  std::array<Point, 4> corners;
  for (int i = 0; i < 4; ++i) {
    const double du = us[i] - width / 2, dv = vs[i] - height / 2;
    corners[size_t(i)] = {(cx + cs * du - sn * dv) * xResolution,
                          (cy + sn * du + cs * dv) * yResolution};
  }
  return corners;
}

std::vector<DocumentBarcode> DocumentBarcodes(const Document& doc) {
  if (doc.kind != DocumentKind::Invoice) return {};
  return {
      {"Code128", doc.linearText.empty() ? kInvoiceLinearText : doc.linearText, 0.8, 7.2, 3.0, 0.7},
      {"QRCode", doc.matrixText.empty() ? kInvoiceMatrixText : doc.matrixText, 6.2, 6.9, 1.4, 1.4},
  };
}

bool RenderPage(const Document& doc, uint32_t xResolution, uint32_t yResolution, Rgb background,
                RgbPage* out, std::string* error, uint32_t pixels, uint32_t lines) {
  if (xResolution == 0 || yResolution == 0) {
    *error = "no resolution";
    return false;
  }
  double width = 0, height = 0;
  LoadedImage image;
  if (!PaperSize(doc, &width, &height, &image, error)) return false;
  if (width <= 0 || height <= 0 || width > 100 || height > 100) {
    *error = "the paper's size is out of range";
    return false;
  }
  if (pixels == 0 || lines == 0) {
    double right = 0, bottom = 0;
    for (const Point& p : PaperCorners(doc, width, height, xResolution, yResolution))
      right = std::max(right, p.x), bottom = std::max(bottom, p.y);
    if (pixels == 0) pixels = uint32_t(std::ceil(right + kTrailingBackground * xResolution));
    if (lines == 0) lines = uint32_t(std::ceil(bottom + kTrailingBackground * yResolution));
  }
  std::unique_ptr<Canvas> paper;
  if (!DrawPaper(doc, width, height, image, xResolution, yResolution, &paper, error)) return false;
  out->width = pixels;
  out->height = lines;
  out->rgb.assign(size_t(pixels) * lines * 3, 0);
  Compose(doc, *paper, width, height, background, out);
  return true;
}

bool RenderDocument(const Document& doc, uint32_t pixels, uint32_t lines, uint32_t bytesPerLine,
                    uint32_t xResolution, uint32_t yResolution, Rgb background,
                    std::vector<uint8_t>* out, std::string* error) {
  if (pixels == 0 || lines == 0) {
    out->assign(size_t(lines) * bytesPerLine, 0);
    return true;
  }
  RgbPage page;
  if (!RenderPage(doc, xResolution, yResolution, background, &page, error, pixels, lines))
    return false;
  *out = LayOutRgb(page.rgb.data(), pixels, lines, bytesPerLine);
  return true;
}

std::vector<uint8_t> LayOutRgb(const uint8_t* rgb, uint32_t pixels, uint32_t lines,
                               uint32_t bytesPerLine) {
  std::vector<uint8_t> out(size_t(lines) * bytesPerLine, 0);
  const size_t p = pixels;
  const int bytesPerPixel = bytesPerLine >= 6 * p   ? 6
                            : bytesPerLine >= 3 * p ? 3
                            : bytesPerLine >= 2 * p ? 2
                            : bytesPerLine >= p     ? 1
                                                    : 0;
  for (uint32_t y = 0; y < lines; ++y) {
    uint8_t* row = out.data() + size_t(y) * bytesPerLine;
    const uint8_t* in = rgb + size_t(y) * p * 3;
    for (uint32_t x = 0; x < pixels; ++x) {
      const uint8_t* c = in + size_t(x) * 3;
      const uint8_t grey = uint8_t((c[0] + c[1] + c[2]) / 3);
      switch (bytesPerPixel) {
        case 6:  // a 16-bit sample of v is v * 257: both bytes v, whatever the byte order
          for (int k = 0; k < 3; ++k) row[x * 6 + 2 * k] = row[x * 6 + 2 * k + 1] = c[k];
          break;
        case 3:
          std::copy(c, c + 3, row + size_t(x) * 3);
          break;
        case 2:
          row[x * 2] = row[x * 2 + 1] = grey;
          break;
        case 1:
          row[x] = grey;
          break;
        default:
          if (grey >= 128 && x / 8 < bytesPerLine) row[x / 8] |= uint8_t(0x80 >> (x % 8));
      }
    }
  }
  return out;
}

}  // namespace sim
