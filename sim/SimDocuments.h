#pragma once
// Documents the simulated scanner feeds: generated pages that look like what people scan (a text
// page, an invoice with barcodes, a photo-like page, a nearly blank page, a patch sheet, a card)
// and image files, each laid on the feeder's background with its own paper colour, size, offset
// and skew. Rendering is deterministic: the same document at the same resolutions gives the same
// bytes. Tests link `vt_sim_documents` and render a page into a buffer with RenderPage; the
// scanner renders its sides with RenderDocument in the window's line layout.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimTypes.h"

namespace sim {

enum class DocumentKind : uint8_t {
  Text,         // headings and body text in the DejaVu faces
  Invoice,      // a logo block, a table, colour patches, a Code 128 and a QR code
  Photo,        // smooth gradients and soft shapes, edge to edge inside a thin white border
  NearlyBlank,  // a few specks and the page number at the foot
  PatchSheet,   // the four bars of a patch code across the page
  Card,         // a small card with a photo block and a few lines, for the flatbed
  Image,        // an image file (PNG or TIFF), at its own resolution
};
SIM_API const char* DocumentKindName(DocumentKind kind);
SIM_API bool DocumentKindFromName(const std::string& name, DocumentKind* kind);

// A barcode printed on a document: its format (ZXing's name, "Code128", "QRCode"), its text and
// where it lies on the paper before any skew (inches from the paper's top-left corner).
struct DocumentBarcode {
  std::string format;
  std::string text;
  double left = 0, top = 0, width = 0, height = 0;
};

struct Document {
  DocumentKind kind = DocumentKind::Text;
  // The paper in inches (0: the kind's own, Letter for pages, 3.37 x 2.125 for a card, the
  // file's size for an image).
  double width = 0, height = 0;
  // Where the paper's top-left corner lies before the skew, in inches from the window's top-left.
  double left = 0, top = 0;
  // Degrees clockwise the paper is turned about its centre.
  double skew = 0;
  Rgb paper{250, 250, 246};
  // The page number printed at the foot (text and nearly blank pages; 0: none); also varies the
  // text.
  uint32_t pageNumber = 1;
  // The patch sheet's code: 1, 2, 3, 4, 6 or T.
  char patch = '2';
  // The invoice's barcodes' texts (empty: the kind's own, see InvoiceBarcodes).
  std::string linearText, matrixText;
  // Image: the file and the resolution it was made at (0: the file's own, else 300).
  std::string imageFile;
  double imageDpi = 0;
};

// The paper's size in inches, with the kind's defaults applied; false (and the reason) when an
// image file cannot be read.
SIM_API bool DocumentSize(const Document& doc, double* width, double* height, std::string* error);

// A named paper size in inches: letter, legal, a4, a5, card (ID-1); false for another name.
SIM_API bool PaperSizeFromName(const std::string& name, double* width, double* height);

// How far right and down the turned paper reaches, in inches from the window's top-left.
SIM_API bool DocumentReach(const Document& doc, double* right, double* bottom, std::string* error);

// The paper's corners in window pixels (pixel centres at +0.5), top-left, top-right,
// bottom-right, bottom-left as the paper was before the skew.
struct Point {
  double x = 0, y = 0;
};
SIM_API std::array<Point, 4> PaperCorners(const Document& doc, double width, double height,
                                          uint32_t xResolution, uint32_t yResolution);

// The barcodes a document carries (the invoice's, on the paper before skew).
SIM_API std::vector<DocumentBarcode> DocumentBarcodes(const Document& doc);

// A rendered page: `width` x `height` pixels of R, G, B.
struct RgbPage {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* at(uint32_t x, uint32_t y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};

// The document on `background`, in a window of `pixels` x `lines` at the resolutions (0 pixels or
// lines: just wide and long enough for the turned paper and a quarter inch of background beyond
// its offset). False (and the reason) when the document cannot be made (an unreadable image).
SIM_API bool RenderPage(const Document& doc, uint32_t xResolution, uint32_t yResolution,
                        Rgb background, RgbPage* out, std::string* error, uint32_t pixels = 0,
                        uint32_t lines = 0);

// The same laid out in a window's lines as the scanner sends them (LayOutRgb).
SIM_API bool RenderDocument(const Document& doc, uint32_t pixels, uint32_t lines,
                            uint32_t bytesPerLine, uint32_t xResolution, uint32_t yResolution,
                            Rgb background, std::vector<uint8_t>* out, std::string* error);

// An RGB raster of `pixels` x `lines` laid out in a window's line of `bytesPerLine` bytes: 6
// bytes a pixel (16-bit big-endian samples), 3 (RGB), 2 (16-bit grey), 1 (grey) or 1 bit (most
// significant first, a set bit white), told apart by the bytes per line. Grey is the mean of
// the three channels; black and white sets pixels of 128 or more.
SIM_API std::vector<uint8_t> LayOutRgb(const uint8_t* rgb, uint32_t pixels, uint32_t lines,
                                       uint32_t bytesPerLine);

}  // namespace sim
