#pragma once
// Shared by the plug-in tests and the data source's image-process tests: loading a plug-in by
// name as the front ends do, and synthetic pages (documents on scanner backgrounds, turned by
// known angles, with print, holes, bars, barcode symbols).
#include <BarcodeFormat.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <vantrel/nidata.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace plugtest {

// The plug-in folder of the build (VT_PLUGIN_DIR).
std::string pluginDir();

// A plug-in opened by file name from the plug-in folder, closed at the end of the test.
class Plugin {
 public:
  explicit Plugin(const std::string& fileName, int flags = RTLD_NOW | RTLD_LOCAL);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;
  bool loaded() const { return handle_ != nullptr; }
  template <typename F>
  F entry(const char* name) const {
    return reinterpret_cast<F>(handle_ ? dlsym(handle_, name) : nullptr);
  }

 private:
  void* handle_ = nullptr;
};

// A raster with packed (or padded) rows: 1 bit (set = white), 8-bit grey or 24-bit R, G, B.
struct Page {
  int width = 0, height = 0, bits = 8;
  size_t stride = 0;
  std::vector<uint8_t> data;

  Page() = default;
  Page(int w, int h, int b, uint8_t fill = 255, size_t padding = 0);
  uint8_t* row(int y) { return data.data() + size_t(y) * stride; }
  const uint8_t* row(int y) const { return data.data() + size_t(y) * stride; }
  // Colour of a pixel (grey and bits give three equal values).
  void rgb(int x, int y, uint8_t out[3]) const;
  uint8_t grey(int x, int y) const;
  void set(int x, int y, uint8_t r, uint8_t g, uint8_t b);
  void set(int x, int y, uint8_t v) { set(x, y, v, v, v); }
};

// A record describing the page as the data source's initSIData does.
NIDATA recordFor(const Page& p, int dpi);
// A page made from a producing entry's output block (packed rows, size from the record).
Page pageFromOutput(const void* block, const NIDATA& ni, int bits);

// A document on the page: centre, size and clockwise angle in degrees, and its paper colour.
struct Doc {
  double cx, cy, w, h, angle;
  uint8_t paper[3] = {245, 245, 245};
};
// Fills the page with the background and draws each document, with dark print lines inside it
// (lines of bars laid out in the document's own axes, so they turn with it).
void drawDocuments(Page& p, uint8_t background, const std::vector<Doc>& docs, bool print = true);
// A filled rectangle in the page's axes.
void fillRect(Page& p, int l, int t, int r, int b, uint8_t red, uint8_t green, uint8_t blue);
void fillDisc(Page& p, double cx, double cy, double radius, uint8_t v);

// Text in the DejaVu face (FreeType), dark on the page, top-left at (x, y), `pixels` high.
void drawText(Page& p, int x, int y, const std::string& text, int pixels, uint8_t ink = 0);

// Deterministic noise of +-amplitude on every sample.
void addNoise(Page& p, int amplitude, uint32_t seed = 1);

// Quarter turns clockwise.
Page turnClockwise(const Page& p, int quarters);

// Mean absolute difference of two pages' grey values over a window.
double meanDifference(const Page& a, const Page& b, int l, int t, int r, int bottom);

// A barcode symbol drawn by ZXing's writer at (x, y) in a box of width x height pixels, dark
// modules on the page; the rectangle its dark modules cover (right and bottom exclusive).
struct Drawn {
  int l, t, r, b;
};
Drawn drawSymbol(Page& page, ZXing::BarcodeFormat format, const std::string& text, int x, int y,
                 int width, int height);

// An invoice as printed, upright on white paper (`paper`), at `dpi`, `width` x `height` pixels:
// a heading, body text, a rule, a red and a blue square, a Code 128 and a QR code; the two
// symbols' places come back when asked.
Page invoiceSheet(int dpi, int width, int height, int bits, uint8_t paper = 250,
                  Drawn* code128 = nullptr, Drawn* qr = nullptr);
// A page of `lines` lines of body text (`pixels` high) under a heading, upright.
Page textSheet(int dpi, int width, int height, int bits, int lines, int pixels);
// The page filled with the feeder background and the sheet laid on it, its centre at (cx, cy),
// turned clockwise by `angle` degrees (its edges blended as a scanner's optics blend them).
void placeSheet(Page& page, uint8_t background, const Page& sheet, double cx, double cy,
                double angle);

// A patch sheet on Letter paper at `dpi`: four bars down the page, each 'W' wide or 'N' narrow
// as `pattern` says.
Page patchSheet(const char* pattern, int dpi);

// The bitmap the data source hands the barcode plug-in: a 40-byte header, the palette, rows
// bottom to top padded to four bytes, R and B swapped for colour.
std::vector<uint8_t> barcodeBitmap(const Page& p, int dpi);

// One symbol of the barcode plug-in's answer, its corners' bounding box in top-left-origin
// pixels.
struct FoundBarcode {
  uint32_t type;
  std::string text;
  float l, t, r, b;
};
// The symbols of the barcode plug-in's answer block of `count` results.
std::vector<FoundBarcode> parseBarcodes(const void* block, int32_t count);

// The packaged font's folder.
std::string fontDir();

}  // namespace plugtest
