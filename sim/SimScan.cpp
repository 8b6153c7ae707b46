// The scanner's side of a scan: feeder, pages, image reads, duplex styles and job blocks.
#include "sim/SimScan.h"

#include <vantrel/wire_bytes.h>

#include <algorithm>
#include <cmath>

#include "sim/SimCommands.h"
#include "sim/SimDeMux.h"
#include "sim/SimDocuments.h"
#include "sim/SimEvents.h"

namespace sim {

uint8_t SheetByte(uint32_t sheet, uint32_t side, uint32_t row, uint32_t column) {
  switch (column) {
    case 0:
      return uint8_t(sheet);
    case 1:
      return uint8_t(side);
    case 2:
      return uint8_t(row >> 8);
    case 3:
      return uint8_t(row);
    default:
      return uint8_t(column * 7 + row * 3 + sheet * 13 + side * 29);
  }
}

std::vector<uint8_t> SheetSide(uint32_t sheet, uint32_t side, uint32_t lines,
                               uint32_t bytesPerLine) {
  std::vector<uint8_t> bytes(size_t(lines) * bytesPerLine);
  for (uint32_t row = 0; row < lines; ++row)
    for (uint32_t column = 0; column < bytesPerLine; ++column)
      bytes[size_t(row) * bytesPerLine + column] = SheetByte(sheet, side, row, column);
  return bytes;
}

std::vector<uint8_t> IrUvImage(uint32_t sheet, uint32_t lines, uint32_t bytesPerLine) {
  return SheetSide(sheet, 2, lines, bytesPerLine);
}

std::vector<uint8_t> PreviewPage(uint32_t pixels, uint32_t lines, uint32_t bytesPerLine,
                                 uint32_t xResolution, uint32_t yResolution, Rgb background,
                                 Rgb custom) {
  if (pixels == 0 || xResolution == 0 || yResolution == 0)
    return std::vector<uint8_t>(size_t(lines) * bytesPerLine, 0);
  // Inches in quarters: what lies under the pixel whose top-left corner is at (x, y) quarters.
  auto colourAt = [&](double qx, double qy) -> Rgb {
    const double pageRight = double(pixels) * 4 / xResolution,
                 pageBottom = double(lines) * 4 / yResolution;
    if (qx < 1 || qy < 1 || qx >= pageRight - 1 || qy >= pageBottom - 1) return background;
    for (int p = 0; p < 4; ++p) {
      const double left = 4 + 6 * p;
      if (qx >= left && qx < left + 4 && qy >= 4 && qy < 8)
        return p < 3 ? kPreviewPatches[p] : custom;
    }
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) {
        const double left = 4 + 6 * i, top = 12 + 2 * j;
        if (qx >= left && qx < left + 4 && qy >= top && qy < top + 1) return Rgb{0, 0, 0};
      }
    }
    return Rgb{255, 255, 255};
  };
  std::vector<uint8_t> rgb(size_t(pixels) * lines * 3);
  for (uint32_t y = 0; y < lines; ++y) {
    for (uint32_t x = 0; x < pixels; ++x) {
      const Rgb c = colourAt((x + 0.5) * 4 / xResolution, (y + 0.5) * 4 / yResolution);
      uint8_t* p = &rgb[(size_t(y) * pixels + x) * 3];
      p[0] = c.r, p[1] = c.g, p[2] = c.b;
    }
  }
  return LayOutRgb(rgb.data(), pixels, lines, bytesPerLine);
}

const Document* DocumentFor(const std::vector<SheetDocument>& documents, uint32_t sheet,
                            uint32_t side) {
  const Document* found = nullptr;
  for (const SheetDocument& d : documents)
    if ((d.sheet == 0 || d.sheet == sheet) && (d.side < 0 || uint32_t(d.side) == side))
      found = &d.document;
  return found;
}

uint32_t ImageChecksum(const uint8_t* data, size_t length) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (size_t i = 0; i < length; ++i) h = (h ^ data[i]) * 16777619u;
  return h;
}

namespace detail {
namespace {

// Sense codes of a page's end.
constexpr uint8_t kAscScan = 0x80;
constexpr uint8_t kAscqEndOfFile = 0x22;
constexpr uint8_t kAscqNoPaper = 0x03;
constexpr uint32_t kScanMethodDuplex = 4;
constexpr uint32_t kScanMethodRear = 5;
constexpr uint32_t kUnknownLines = 0xFFFFFFFF;

// What the last window asks for.
struct Window {
  uint16_t xRes = 300;
  uint16_t yRes = 300;
  uint32_t pixels = 0;
  uint32_t lines = 0;
  uint32_t bytesPerLine = 0;
  uint32_t modeBits = 0;
  uint16_t method = 1;
  uint8_t dataKind = 0;  // 3 or 4: JPEG
  uint8_t subKind = 0;   // the JPEG's kind: 1 to 3 colour (luma 2 x 2, 2 x 1, 1 x 1), 4 grey
  uint8_t compression = 0;
};

Window ParseWindow(const std::vector<uint8_t>& w) {
  Window v;
  if (w.size() < 45) return v;
  v.xRes = wire::Get16(&w[23]);
  v.yRes = wire::Get16(&w[25]);
  v.pixels = wire::Get32(&w[27]);
  v.lines = wire::Get32(&w[31]);
  v.bytesPerLine = wire::Get32(&w[35]);
  v.modeBits = wire::Get32(&w[39]);
  v.method = wire::Get16(&w[43]);
  v.dataKind = w[45];
  v.subKind = w[46];
  v.compression = w[47];
  return v;
}

bool Duplex(const Window& w) { return w.method == kScanMethodDuplex; }

uint32_t SheetLength(const Config& c, uint32_t index) {
  if (index < c.sheetLengths.size() && c.sheetLengths[index] != 0) return c.sheetLengths[index];
  return c.paperLength;
}

constexpr uint16_t kDataJpegTables = 0x8B;
constexpr uint32_t kJpegTableBlock = 132;
constexpr uint8_t kHostTables = 132;

bool DeviceJpeg(const Window& w) {
  return (w.dataKind == 3 || w.dataKind == 4) && w.subKind >= 1 && w.subKind <= 4;
}

// The side compressed as the window asks: with the host's tables (SEND 0x8B) under
// compression 132, else with the device's own (those READ 0x8B answers).
std::vector<uint8_t> JpegSide(const DeviceState& s, const Window& w,
                              const std::vector<uint8_t>& raw, uint32_t lines) {
  std::vector<uint8_t> tables = DeviceJpegTables();
  if (w.compression == kHostTables) {
    const auto& blocks = s.scan.record.jobBlocks;
    for (auto b = blocks.rbegin(); b != blocks.rend(); ++b)
      if (b->dataType == kDataJpegTables && b->bytes.size() >= kJpegTableBlock) {
        tables.assign(b->bytes.begin() + 4, b->bytes.begin() + kJpegTableBlock);
        break;
      }
  }
  const uint32_t components = w.subKind == 4 ? 1 : 3;
  return DeviceJpegFile(raw, w.pixels, lines, components, w.subKind, &tables[0], &tables[64]);
}

// The side as the record keeps it, before compression.
void RecordSide(ScanState& scan, const Window& w, uint32_t sheet, uint32_t side, uint32_t lines) {
  SideFed fed;
  fed.sheet = sheet;
  fed.side = side;
  fed.xRes = w.xRes;
  fed.yRes = w.yRes;
  fed.pixels = w.pixels;
  fed.lines = lines;
  fed.bytesPerLine = w.bytesPerLine;
  fed.rawBytes = scan.side[side].size();
  fed.rawChecksum = ImageChecksum(scan.side[side].data(), scan.side[side].size());
  std::vector<SideFed>& sides = scan.record.sides;
  if (sides.size() >= kSidesFedKept) {
    sides.erase(sides.begin());
    ++scan.record.sidesDropped;
  }
  sides.push_back(std::move(fed));
}

// Styles 1 to 3: one stream of both sides, read as the front side.
void Interleave(DeviceState& s, const Window& w) {
  ScanState& scan = s.scan;
  const size_t unit = size_t{s.config.deMuxLines} * w.bytesPerLine;
  DeMuxStream both = InterleaveSides(scan.side[0], scan.side[1], unit, s.config.duplexStyle);
  scan.side[0] = std::move(both.bytes);
  scan.gapAt = both.gapAt;
  scan.gapLength = both.gapLength;
  scan.side[1].clear();
  scan.position[1] = 0;
  scan.sideEnded[1] = true;
}

bool DeMultiplexed(const DeviceState& s, const Window& w) {
  return Duplex(w) && IsDeMuxStyle(s.config.duplexStyle);
}

// Background the scanner reads beyond a document's paper before it sees the sheet's end.
constexpr double kDocumentTrail = 0.25;

// A sheet with documents and without its own length: where its longest side's paper ends (in
// 1/300 inch); 0 otherwise.
uint32_t DocumentSheetLength(const Config& c, uint32_t index) {
  if (index < c.sheetLengths.size() && c.sheetLengths[index] != 0) return 0;
  double reach = 0;
  for (uint32_t side = 0; side < 2; ++side) {
    const Document* doc = DocumentFor(c.documents, index + 1, side);
    double right = 0, bottom = 0;
    std::string error;
    if (doc && DocumentReach(*doc, &right, &bottom, &error)) reach = std::max(reach, bottom);
  }
  return reach > 0 ? uint32_t(std::ceil((reach + kDocumentTrail) * 300)) : 0;
}

uint32_t SheetLines(const Config& c, uint32_t index, const Window& w) {
  const uint32_t documentLength = DocumentSheetLength(c, index);
  const uint64_t physical =
      uint64_t(documentLength ? documentLength : SheetLength(c, index)) * w.yRes / 300;
  uint32_t lines = uint32_t(std::min<uint64_t>(physical, 0xFFFFFFF0u));
  if (w.lines != kUnknownLines) lines = std::min(lines, w.lines);
  return lines;
}

// A side rendered from its document on the side's background; one that cannot be rendered (its
// image file gone since the description was read) is background only, and the log says why.
void DocumentSide(DeviceState& s, const Window& w, const Document& doc, uint32_t sheet,
                  uint32_t side, uint32_t lines, Reply& reply) {
  const Rgb background = s.preparation.background[side];
  std::string error;
  if (RenderDocument(doc, w.pixels, lines, w.bytesPerLine, w.xRes, w.yRes, background,
                     &s.scan.side[side], &error))
    return;
  reply.messages.push_back("sheet " + std::to_string(sheet) + (side ? " rear" : " front") +
                           ": cannot render its document: " + error);
  std::vector<uint8_t> plain(size_t(w.pixels) * lines * 3);
  for (size_t i = 0; i < plain.size(); i += 3)
    plain[i] = background.r, plain[i + 1] = background.g, plain[i + 2] = background.b;
  s.scan.side[side] = LayOutRgb(plain.data(), w.pixels, lines, w.bytesPerLine);
}

// Feeds the next sheet into the transport: both sides built from the window.
void OpenPage(DeviceState& s, const Window& w, Reply& reply) {
  ScanState& scan = s.scan;
  const uint32_t sheet = scan.sheetsTaken + 1;
  const uint32_t lines = SheetLines(s.config, scan.sheetsTaken, w);
  for (uint32_t side = 0; side < 2; ++side) {
    const bool wanted = Duplex(w) || (side == 1) == (w.method == kScanMethodRear);
    scan.side[side] =
        wanted ? SheetSide(sheet, side, lines, w.bytesPerLine) : std::vector<uint8_t>{};
    if (wanted && s.config.previewPatch) {
      scan.side[side] = PreviewPage(w.pixels, lines, w.bytesPerLine, w.xRes, w.yRes,
                                    s.config.background[side], *s.config.previewPatch);
    }
    if (const Document* doc = DocumentFor(s.config.documents, sheet, side); wanted && doc)
      DocumentSide(s, w, *doc, sheet, side, lines, reply);
    if (wanted && scan.irUvImageNext) scan.side[side] = IrUvImage(sheet, lines, w.bytesPerLine);
    if (wanted) RecordSide(scan, w, sheet, side, lines);
    if (wanted && DeviceJpeg(w)) {
      std::vector<uint8_t> file = JpegSide(s, w, scan.side[side], lines);
      scan.side[side] = DeviceJpegScanData(file);
      // A scanner that runs on: filler in front of the closing FF D9, no byte of it a marker.
      constexpr uint8_t kFiller = 0x55;
      if (s.config.deviceJpegRunOn != 0 && scan.side[side].size() >= 2)
        scan.side[side].insert(scan.side[side].end() - 2, s.config.deviceJpegRunOn, kFiller);
      scan.record.sides.back().jpegFile = std::move(file);
    }
    // What the last sheet's end of page carried of this one is not sent again.
    scan.position[side] = wanted ? std::min<size_t>(scan.carried, scan.side[side].size()) : 0;
    scan.lines[side] = wanted ? lines : 0;
    scan.sideEnded[side] = !wanted;
    scan.endOwed[side] = false;
  }
  scan.nextSide = w.method == kScanMethodRear ? 1 : 0;
  scan.gapAt = scan.gapLength = 0;
  if (DeMultiplexed(s, w)) {
    Interleave(s, w);
    scan.position[0] = std::min<size_t>(scan.carried, scan.side[0].size());
  }
  scan.carried = 0;
  scan.pageOpen = true;
}

void EndSense(Reply& r, const Window& w, const ScanState& scan, uint32_t side, uint16_t code,
              uint32_t valid) {
  r.checkCondition = true;
  r.sense = Sense{};
  r.sense.asc = uint8_t(code >> 8);
  r.sense.ascq = uint8_t(code);
  r.sense.information = valid;
  r.sense.imageWidth = w.pixels;
  r.sense.imageHeight = scan.lines[side];
  r.sense.imageSize = uint32_t(scan.side[side].size());
  r.sense.bytesPerLine = w.bytesPerLine;
  r.sense.imageScanMode = w.modeBits;
}

// The record's side is sent whole once its last byte went out (one stream carries both sides
// of the styles that interleave them).
void MarkIfSent(DeviceState& s, const Window& w, uint32_t side) {
  ScanState& scan = s.scan;
  if (scan.position[side] < scan.side[side].size()) return;
  MarkSideEnded(scan, side, false);
  if (DeMultiplexed(s, w)) MarkSideEnded(scan, 1, false);
}

// The side the next READ delivers, by the duplex style.
uint32_t SideOfRead(const DeviceState& s, const Window& w) {
  const ScanState& scan = s.scan;
  if (!Duplex(w)) return scan.nextSide;
  // One stream of both sides: every READ takes it, to its end and past it into the next sheet.
  if (IsDeMuxStyle(s.config.duplexStyle)) return 0;
  switch (s.config.duplexStyle) {
    case 0:
    case 7:
      if (scan.sideEnded[scan.nextSide]) return 1 - scan.nextSide;
      return scan.nextSide;
    default: {  // 4, 5, 6: the front side, then the rear
      // A host that knows the page length reads the front exactly and goes on with the rear;
      // one that reads to the end of the page, or a front shorter than the window, meets the
      // front's end first.
      const bool frontRead = w.lines != kUnknownLines && scan.lines[0] >= w.lines &&
                             scan.position[0] >= scan.side[0].size() && !scan.endOwed[0];
      return scan.sideEnded[0] || frontRead ? 1 : 0;
    }
  }
}

}  // namespace

ScanState InitialScan(const Config&) { return ScanState{}; }

bool SideCameBlank(const ScanState& scan, uint32_t side) {
  const uint32_t sheet = scan.sheetsTaken + 1;
  for (auto f = scan.record.sides.rbegin(); f != scan.record.sides.rend(); ++f)
    if (f->sheet == sheet && f->side == side) return f->blank;
  return false;
}

void MarkSideEnded(ScanState& scan, uint32_t side, bool blank) {
  const uint32_t sheet = scan.sheetsTaken + 1;
  for (auto f = scan.record.sides.rbegin(); f != scan.record.sides.rend(); ++f) {
    if (f->sheet == sheet && f->side == side) {
      f->ended = true;
      f->blank = f->blank || blank;
      return;
    }
  }
}

std::vector<uint8_t> DeviceJpegTables() {
  std::vector<uint8_t> tables(kJpegTableBlock - 4);
  for (size_t i = 0; i < tables.size(); ++i) tables[i] = uint8_t(i < 64 ? 1 + i : 2 + (i - 64));
  return tables;
}

// Raw data and image reads outside a scan: they start with data, not with the controller id.
void ImageLikeData(DeviceState&, const Command& c, Reply& r) {
  r.data.resize(c.length);
  for (uint32_t i = 0; i < c.length; ++i) r.data[i] = uint8_t(i);
}

// A continuous window (byte 62 bit 0x01) feeds sheet after sheet in one stream of READs: a
// sheet whose sides have ended leaves without a RELEASE UNIT, and the next READ takes the next.
bool ContinuousWindow(const DeviceState& s) {
  return s.window.size() > 62 && (s.window[62] & 0x01) != 0;
}
void LeaveContinuousSheet(DeviceState& s) {
  ScanState& scan = s.scan;
  if (!scan.sideEnded[0] || !scan.sideEnded[1]) return;
  scan.pageOpen = false;
  --s.sheets;
  ++scan.sheetsTaken;
  ++scan.record.sheetsFed;
}

void ReadImageData(DeviceState& s, const Command& c, Reply& r) {
  ScanState& scan = s.scan;
  const Window w = ParseWindow(s.window);
  if (w.bytesPerLine == 0) {
    // No scan set up (no window, or one without lines): the transport's test pattern, byte i
    // the low byte of i, so a reader can tell where a block was cut.
    ImageLikeData(s, c, r);
    return;
  }
  r.data.assign(c.length, 0);
  if (!scan.pageOpen) {
    if (s.sheets == 0) {
      r.checkCondition = true;
      r.sense = Sense{};
      r.sense.key = 3;
      r.sense.asc = kAscScan;
      r.sense.ascq = kAscqNoPaper;
      return;
    }
    OpenPage(s, w, r);
  }
  const uint32_t side = SideOfRead(s, w);
  const bool alternating = Duplex(w) && (s.config.duplexStyle == 0 || s.config.duplexStyle == 7);
  // The paired style reads both sides in one pass: a blank side blanks the sheet, found at its
  // first READ.
  const bool paired = Duplex(w) && s.config.duplexStyle == 0;
  if (paired) {
    for (SheetEvent& e : s.events.pending)
      if (e.kind == SheetEventKind::BlankPage && e.sheet == scan.sheetsTaken + 1) e.side = side;
  }
  if (SheetEventOnRead(s, side, SideFacts{w.pixels, w.bytesPerLine, w.modeBits}, c, r)) {
    if (alternating) scan.nextSide = 1 - side;
    // A blank side ends the one stream of both sides: the sheet came blank.
    if (DeMultiplexed(s, w) && SideCameBlank(scan, side)) MarkSideEnded(scan, 1, true);
    if (paired && SideCameBlank(scan, side)) {
      const uint32_t other = 1 - side;
      scan.position[other] = scan.side[other].size();
      scan.sideEnded[other] = true;
      MarkSideEnded(scan, other, true);
    }
    if (ContinuousWindow(s) && SideCameBlank(scan, side)) LeaveContinuousSheet(s);
    MarkIfSent(s, w, side);
    return;
  }
  std::vector<uint8_t>& bytes = scan.side[side];
  size_t& at = scan.position[side];
  at = std::min(at, bytes.size());
  const size_t n = std::min<size_t>(c.length, bytes.size() - at);
  std::copy_n(bytes.begin() + long(at), n, r.data.begin());
  at += n;
  if (alternating) scan.nextSide = 1 - side;
  MarkIfSent(s, w, side);
  if (n < c.length) {
    scan.sideEnded[side] = true;
    // The EOF style ends the front with an end of file, the rear with an end of page.
    const bool endOfFile = Duplex(w) && s.config.duplexStyle == 6 && side == 0;
    const bool continuous = ContinuousWindow(s);
    // Styles 2 and 3 end a continuous sheet with a fixed-size block padded behind its end:
    // the next sheet begins with the next READ.
    const bool fixedEndBlock = DeMultiplexed(s, w) && (s.config.duplexStyle == kStyleCarried ||
                                                       s.config.duplexStyle == kStyleGap);
    const bool carries = continuous ? !fixedEndBlock
                                    : (DeMultiplexed(s, w) ? s.config.duplexStyle == kStyleCarried
                                                           : !Duplex(w) && s.config.endOfPageCarry);
    if (!endOfFile && carries && s.sheets > 1) {
      // The stream runs on into the next sheet: the rest of the block is its first bytes.
      const uint32_t next = scan.sheetsTaken + 2;
      const uint32_t nextLines = SheetLines(s.config, scan.sheetsTaken + 1, w);
      std::vector<uint8_t> stream = SheetSide(next, side, nextLines, w.bytesPerLine);
      if (DeMultiplexed(s, w))
        stream = InterleaveSides(stream, SheetSide(next, 1, nextLines, w.bytesPerLine),
                                 size_t{s.config.deMuxLines} * w.bytesPerLine, kStyleCarried)
                     .bytes;
      const size_t carry = std::min<size_t>(c.length - n, stream.size());
      std::copy_n(stream.begin(), carry, r.data.begin() + long(n));
      scan.carried = uint32_t(carry);
    }
    const uint16_t code =
        endOfFile ? uint16_t(kAscScan << 8 | kAscqEndOfFile) : EndOfPageCode(s, side);
    // Style 3's gap is no image data: the count leaves it out.
    const DeMuxStream gap{{}, scan.gapAt, scan.gapLength};
    EndSense(r, w, scan, side, code, uint32_t(CountedBytes(gap, at - n, at)));
    ++scan.record.sidesDelivered;
    if (continuous) LeaveContinuousSheet(s);
  }
}

void ReserveUnit(DeviceState& s, const Command& c, Reply& r) {
  s.scan.record.reserveArguments.push_back(c.block[11]);
  ReserveRefused(s, c, r);
}

// The sheet leaves the transport once what the host reads of it is read: styles 4 and 5 release
// the unit after the front side too, and the sheet stays for its rear.
void ReleaseUnit(DeviceState& s, const Command& c, Reply& r) {
  ScanState& scan = s.scan;
  scan.record.releaseArguments.push_back(c.block[11]);
  // The job's end: what a stream of sheets carried into the next one is not the next job's.
  if (c.block[11] == 2) scan.carried = 0;
  if (!scan.pageOpen) return;
  const Window w = ParseWindow(s.window);
  const bool sidesApart = Duplex(w) && (s.config.duplexStyle == 4 || s.config.duplexStyle == 5);
  const bool frontStarted = scan.sideEnded[0] || scan.position[0] > 0;
  // Between the sides the sheet stays for its rear; a cancel's or the job end's release (1, 2)
  // lets it go.
  const bool betweenSides = c.block[11] == 0;
  if (sidesApart && betweenSides && frontStarted && !scan.sideEnded[1] && scan.position[1] == 0) {
    ReleaseEvents(s, false, r);
    scan.sideEnded[0] = true;
    return;
  }
  if (s.config.profile == ImageProfile::IrUv && !scan.irUvImageNext) {
    // The visible image is read: the sheet stays for its IR/UV image.
    ReleaseEvents(s, false, r);
    scan.pageOpen = false;
    scan.irUvImageNext = true;
    return;
  }
  scan.irUvImageNext = false;
  ReleaseEvents(s, true, r);
  scan.pageOpen = false;
  if (s.sheets > 0) --s.sheets;
  ++scan.sheetsTaken;
  ++scan.record.sheetsFed;
}

void ReadDuplexStyle(DeviceState& s, const Command& c, Reply& r) {
  r.data.assign(std::max<uint32_t>(c.length, 7), 0);
  r.data[4] = s.config.duplexStyle;
  r.data[5] = uint8_t(s.config.deMuxLines >> 8);
  r.data[6] = uint8_t(s.config.deMuxLines);
}

void ReadJpegTables(DeviceState&, const Command& c, Reply& r) {
  r.data.assign(std::max<uint32_t>(c.length, kJpegTableBlock), 0);
  r.data[2] = 1;
  r.data[3] = kJpegTableBlock;
  const std::vector<uint8_t> tables = DeviceJpegTables();
  std::copy(tables.begin(), tables.end(), r.data.begin() + 4);
}

void SendJobBlock(DeviceState& s, const Command& c, Reply&) {
  if (c.scriptedFailure) return;
  s.scan.record.jobBlocks.push_back({c.dataType, c.dataOut});
}

}  // namespace detail
}  // namespace sim
