// Content bounds from difference histograms, and the crop of an image to them, whole or strip
// by strip, from raw or JPEG input to raw or JPEG output.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "drv/jpeg/JPGCodec.h"
#include "drv/jpeg/JPGCrop.h"
#include "drv/jpeg/JPGJpeg.h"
#include "drv/jpeg/JPGJpegLib.h"
#include "drv/jpeg/LMLib.h"

#define LM_UNIT "./JPGKRJpegCrop.c"

bool jpgPixelLayout(int32_t bits, int32_t seq, JpgPixelLayout* out) {
  if (bits == 8) {
    *out = JpgPixelLayout{};
    return true;
  }
  if ((bits != 24 && bits != 32) || seq < 0 || seq > 5) return false;
  out->bpp = bits / 8;
  if (jpgGetRGBChannelSequence(uint32_t(out->bpp), uint32_t(seq), out->off) < 0) return false;
  // A 3-byte pixel has no room for the orders that put a colour at offset 3.
  return out->off[0] < uint32_t(out->bpp) && out->off[1] < uint32_t(out->bpp) &&
         out->off[2] < uint32_t(out->bpp);
}

void jpgConvertPixels(const uint8_t* src, const JpgPixelLayout& s, uint8_t* dst,
                      const JpgPixelLayout& d, int32_t count) {
  const bool same = s.bpp == d.bpp &&
                    (s.bpp == 1 || (s.off[0] == d.off[0] && s.off[1] == d.off[1] &&
                                    s.off[2] == d.off[2] && (s.bpp == 3 || s.off[3] == d.off[3])));
  if (same) {
    memcpy(dst, src, size_t(count) * size_t(s.bpp));
    return;
  }
  for (int32_t x = 0; x < count; ++x, src += s.bpp, dst += d.bpp) {
    if (s.bpp == 1 && d.bpp == 1) {
      dst[0] = src[0];
      continue;
    }
    uint8_t r, g, b;
    if (s.bpp == 1) {
      r = g = b = src[0];
    } else {
      r = src[s.off[0]];
      g = src[s.off[1]];
      b = src[s.off[2]];
    }
    if (d.bpp == 1) {
      dst[0] = uint8_t((r + 2 * g + b) / 4);
      continue;
    }
    if (d.bpp == 4) dst[d.off[3]] = 0;
    dst[d.off[0]] = r;
    dst[d.off[1]] = g;
    dst[d.off[2]] = b;
  }
}

// ---------------------------------------------------------------------------------------------
// Content bounds

namespace {

inline int greyOf(const uint8_t* p, int32_t channels, const uint32_t* off) {
  return channels == 1 ? p[0] : (p[off[0]] + 2 * p[off[1]] + p[off[2]]) / 4;
}

}  // namespace

JpgCropParams jpgCropParams(int32_t xRes, int32_t yRes, bool stripVariant) {
  JpgCropParams p;
  const int32_t xr = xRes, yr = yRes;  // whole dpi already
  p.radius = yr <= 150 ? 1 : (yr <= 400 ? 3 : 5);
  p.bgLines = int32_t(std::lround((stripVariant ? 0.05 : 0.2) * yr));
  p.colThreshold = int32_t(std::lround(double(xr) * 0.8 * p.radius));
  p.rowThreshold = int32_t(std::lround(0.8 * p.radius * double(yr)));
  p.minCols = xr;
  p.minRows = yr;
  return p;
}

int jpgPositionHistogram(const uint8_t* strip, int32_t bitsPerSample, int32_t channels,
                         int32_t channelSeq, int32_t width, int32_t height, int32_t stride,
                         int32_t firstLine, int32_t stripLines, int32_t gap, uint32_t* colHist,
                         uint32_t* rowHist, uint32_t* bgRef, int32_t bgLines, int32_t bgThreshold,
                         int32_t neighbourThreshold) {
  if (firstLine >= height - gap) return 1;
  if (!strip || bitsPerSample != 8 || !(channels == 1 || channels == 3 || channels == 4) ||
      width <= 0 || height <= 0 || int64_t(channels) * width > stride || firstLine < 0 ||
      stripLines <= 0 || gap <= 0 || !colHist || !rowHist || neighbourThreshold < 8 ||
      neighbourThreshold > 64)
    return -2;
  // A strip no taller than the gap has no neighbours to compare: its lines meet the reference
  // only, as the last gap lines of any strip do.
  uint32_t off[4];
  if (jpgGetRGBChannelSequence(uint32_t(channels), uint32_t(channelSeq), off) < 0) return -2;
  if (channels > 1 && (off[0] >= uint32_t(channels) || off[1] >= uint32_t(channels) ||
                       off[2] >= uint32_t(channels)))
    return -2;
  const bool useRef = bgRef && bgLines > 0;
  if (useRef && firstLine == 0) {
    const int32_t n = bgLines < stripLines ? bgLines : stripLines;
    for (int32_t x = 0; x < width; ++x) {
      uint32_t sum = 0;
      for (int32_t y = 0; y < n; ++y)
        sum += uint32_t(greyOf(strip + size_t(y) * stride + size_t(x) * channels, channels, off));
      bgRef[x] = (sum + uint32_t(n) / 2) / uint32_t(n);
    }
  }
  int32_t lines = stripLines;
  if (firstLine + lines > height) lines = height - firstLine;
  for (int32_t i = 0; i < lines; ++i) {
    const uint8_t* row = strip + size_t(i) * stride;
    const uint8_t* below = i + gap < lines ? strip + size_t(i + gap) * stride : nullptr;
    if (!below && !useRef) continue;
    uint32_t count = 0;
    for (int32_t x = 0; x < width; ++x) {
      const int g = greyOf(row + size_t(x) * channels, channels, off);
      bool counts = false;
      if (useRef && std::abs(int(bgRef[x]) - g) >= bgThreshold) {
        counts = true;
      } else if (below) {
        counts =
            std::abs(greyOf(below + size_t(x) * channels, channels, off) - g) >= neighbourThreshold;
      }
      if (counts) {
        ++colHist[x];
        ++count;
      }
    }
    rowHist[firstLine + i] += count;
  }
  return 1;
}

int jpgGetPosition(const uint32_t* hist, int32_t count, int32_t radius, uint32_t threshold,
                   int32_t minSpan, int32_t* pStart, int32_t* pEnd) {
  if (!pStart || !pEnd) return -2;
  *pStart = 0;
  *pEnd = count;
  if (!hist || count <= 0 || radius < 0 || radius > 16) return -2;
  int32_t start = -1, end = -1;
  for (int32_t i = 0; i < count; ++i) {
    uint64_t s = hist[i];
    for (int32_t k = 1; k <= radius; ++k)
      s += uint64_t(hist[i - k]) + hist[i + k];  // 16 spare words each side
    if (s >= threshold) {
      if (start < 0) start = i;
      end = i + 1;
    }
  }
  if (start >= 0 && end - start >= minSpan) {
    *pStart = start;
    *pEnd = end;
  }
  return 1;
}

// ---------------------------------------------------------------------------------------------
// Line sources and output writers shared by the crop drivers

namespace {

constexpr int32_t kBlockLines = 128;

// The lines of one stored image in ascending order: raw lines in place, JPEG lines decoded block
// by block into one buffer (never the whole image).
class LineSource {
 public:
  ~LineSource() { close(); }

  void openRaw(const uint8_t* data, int32_t stride, int32_t width, int32_t height,
               const JpgPixelLayout& layout) {
    close();
    raw_ = data;
    stride_ = stride;
    width_ = width;
    height_ = height;
    layout_ = layout;
  }
  // Parses the stream; its facts come back through the pointers. Codec code.
  int openJpeg(const uint8_t* data, uint32_t size, int32_t* bits, int32_t* width, int32_t* height,
               int32_t* xRes, int32_t* yRes) {
    close();
    jpeg_ = data;
    size_ = size;
    const int rc = LMJPGWriteJFIF(&id_, data, size, 0, bits, width, height, xRes, yRes, nullptr,
                                  nullptr, nullptr, nullptr, nullptr);
    if (rc < 0) return rc;
    width_ = *width;
    height_ = *height;
    // Decoded colour lines are R, G, B.
    jpgPixelLayout(*bits == 8 ? 8 : 24, 1, &layout_);
    stride_ = width_ * layout_.bpp;
    return rc;
  }
  const JpgPixelLayout& layout() const { return layout_; }
  int32_t stride() const { return stride_; }
  int32_t height() const { return height_; }
  // Some stream this source decoded was damaged or cut short: its lines came out, the missing
  // part grey, and the caller must say so. Kept over reopening.
  bool dataRanOut() const { return dataRanOut_; }

  // Line y and how many lines follow it in memory (at least 1). Null on a decoding failure.
  const uint8_t* line(int32_t y, int32_t* avail, int* code) {
    *code = 1;
    if (raw_) {
      *avail = height_ - y;
      return raw_ + size_t(y) * size_t(stride_);
    }
    if (y < bufStart_ || y >= bufStart_ + bufLines_) {
      if (!buf_) {
        buf_ = static_cast<uint8_t*>(AllocateMemory(nullptr, uint32_t(stride_) * kBlockLines, 0));
        if (!buf_) {
          *code = -3;
          return nullptr;
        }
      }
      if (id_ == 0) {
        // The decoder let the id go at the last line: an earlier line needs a new parse.
        int32_t b = 0, w = 0, h = 0;
        const int rc = LMJPGWriteJFIF(&id_, jpeg_, size_, 0, &b, &w, &h, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr);
        if (rc < 0) {
          *code = rc;
          return nullptr;
        }
      }
      const int32_t start = y & ~15;
      const int32_t n = height_ - start < kBlockLines ? height_ - start : kBlockLines;
      const int rc = LMJPGJpegDecoderStrip(&id_, buf_, layout_.bpp * 8, 1, start, n, stride_);
      if (rc < 0 && rc != -301) {
        *code = rc;
        id_ = 0;
        return nullptr;
      }
      if (rc == -301) dataRanOut_ = true;
      if (start + n >= height_) id_ = 0;  // the decoder has reset it
      bufStart_ = start;
      bufLines_ = n;
    }
    *avail = bufStart_ + bufLines_ - y;
    return buf_ + size_t(y - bufStart_) * size_t(stride_);
  }

  void close() {
    if (id_) LMJPGResetJpeg(&id_);
    FreeMemory(buf_);
    buf_ = nullptr;
    raw_ = nullptr;
    jpeg_ = nullptr;
    bufStart_ = bufLines_ = 0;
  }

 private:
  const uint8_t* raw_ = nullptr;
  const uint8_t* jpeg_ = nullptr;
  uint32_t size_ = 0;
  uint32_t id_ = 0;
  uint8_t* buf_ = nullptr;
  int32_t bufStart_ = 0, bufLines_ = 0;
  int32_t stride_ = 0, width_ = 0, height_ = 0;
  JpgPixelLayout layout_;
  bool dataRanOut_ = false;
};

// Output lines of a known count, to a raw block or through the encoder in blocks of whole MCU
// rows.
class OutputWriter {
 public:
  ~OutputWriter() {
    if (id_) LMJPGResetJpeg(&id_);
    FreeMemory(acc_);
  }
  int openJpeg(int32_t width, int32_t height, const JpgPixelLayout& layout, int32_t seq,
               int32_t sampling, int32_t quality, int32_t xRes, int32_t yRes) {
    jpeg_ = true;
    height_ = height;
    stride_ = width * layout.bpp;
    acc_ = static_cast<uint8_t*>(AllocateMemory(nullptr, uint32_t(stride_) * kBlockLines, 0));
    if (!acc_) return -3;
    return LMJPGJpegEncoder(&id_, 0, sampling, quality, layout.bpp * 8, seq, width, height, xRes,
                            yRes);
  }
  void openRaw(uint8_t* dest, int32_t stride, int32_t height) {
    jpeg_ = false;
    dest_ = dest;
    stride_ = stride;
    height_ = height;
  }
  uint8_t* next() {
    return jpeg_ ? acc_ + size_t(accLines_) * size_t(stride_)
                 : dest_ + size_t(done_) * size_t(stride_);
  }
  int commit() {
    ++done_;
    if (!jpeg_) return 1;
    ++accLines_;
    if (accLines_ == kBlockLines || done_ == height_) {
      const int rc = LMJPGWriteStrip(&id_, acc_, done_ - accLines_, accLines_, stride_, &jfifSize_);
      accLines_ = 0;
      return rc;
    }
    return 1;
  }
  // Copies the finished stream into *pDes (allocated when null). Codec code.
  int takeStream(uint8_t** pDes, uint64_t* size) {
    const bool allocated = *pDes == nullptr;
    if (allocated) {
      *pDes = static_cast<uint8_t*>(AllocateMemory(nullptr, jfifSize_, 0));
      if (!*pDes) return -3;
    }
    const int rc = LMJPGReadJFIF(&id_, *pDes, jfifSize_);
    if (rc < 0 && allocated) {
      FreeMemory(*pDes);
      *pDes = nullptr;
    }
    *size = rc < 0 ? 0 : jfifSize_;
    return rc;
  }

 private:
  bool jpeg_ = false;
  uint32_t id_ = 0;
  uint8_t* acc_ = nullptr;
  uint8_t* dest_ = nullptr;
  int32_t accLines_ = 0, done_ = 0, height_ = 0, stride_ = 0;
  uint32_t jfifSize_ = 0;
};

// Histograms with 16 spare words in front of and behind each array.
struct Histograms {
  std::vector<uint32_t> block;
  uint32_t *col = nullptr, *row = nullptr, *ref = nullptr;
  bool init(int32_t width, int32_t height) {
    try {
      block.assign(size_t(height) + 2 * size_t(width) + 96, 0);
    } catch (...) {
      return false;
    }
    col = block.data() + 16;
    row = col + width + 32;
    ref = row + height + 32;
    return true;
  }
};

// Output format of the crop drivers from the output channel-order code.
void outputFormat(const JpgPixelLayout& in, int32_t inSeq, int32_t desSeq, JpgPixelLayout* out,
                  int32_t* outSeq) {
  if (in.bpp == 1) {
    *out = JpgPixelLayout{};
    *outSeq = 0;
    return;
  }
  int32_t bits = in.bpp * 8;
  int32_t seq = desSeq;
  if (desSeq == 0) {
    seq = inSeq;
  } else {
    bits = (desSeq == 1 || desSeq == 3) ? 24 : 32;
  }
  if (!jpgPixelLayout(bits, seq, out)) {
    seq = bits == 32 ? 2 : 1;
    jpgPixelLayout(bits, seq, out);
  }
  *outSeq = seq;
}

// Fills the histograms from a line source over the lines [0, height) of it, counting them
// from firstLine of the whole image. Codec code.
int histogramPass(LineSource& src, int32_t width, int32_t imageHeight, int32_t firstLine,
                  int32_t gap, Histograms& h, const JpgCropParams& p,
                  std::vector<uint8_t>& scratch) {
  const JpgPixelLayout& lay = src.layout();
  const int32_t channels = lay.bpp;
  // The grey test needs the channel-order code of the layout: 0 for R first, 3 for B first,
  // 5 for a fill byte first.
  const int32_t seq = channels == 1 ? 0 : (lay.off[0] == 0 ? 1 : (lay.off[0] == 2 ? 3 : 5));
  for (int32_t y = 0; y < src.height();) {
    int32_t lines = src.height() - y + 15;
    lines = (lines > 143 ? 143 : lines) & ~15;
    if (lines > src.height() - y) lines = src.height() - y;
    int32_t avail = 0;
    int code = 1;
    const uint8_t* data = src.line(y, &avail, &code);
    if (!data) return code;
    if (avail < lines) {
      // Lines that straddle decoded blocks are gathered into one run.
      scratch.resize(size_t(lines) * size_t(src.stride()));
      for (int32_t k = 0; k < lines; ++k) {
        const uint8_t* l = src.line(y + k, &avail, &code);
        if (!l) return code;
        memcpy(scratch.data() + size_t(k) * size_t(src.stride()), l, size_t(src.stride()));
      }
      data = scratch.data();
    }
    const int rc =
        jpgPositionHistogram(data, 8, channels, seq, width, imageHeight, src.stride(),
                             firstLine + y, lines, gap, h.col, h.row, h.ref, p.bgLines, 48, 20);
    if (rc < 0) return rc;
    y += lines;
  }
  return 1;
}

int64_t done(int64_t msg, int64_t status, int64_t* pStatus, const char* fn, int line) {
  if (msg != 0 && LMLogOn()) {
    MDBG(kLvEntry, "", "", "[%s:%d] %s Error!!Jpeg failed: Out=%d, Status=%d\n", LM_UNIT, line, fn,
         int(msg), int(status));
  }
  *pStatus = status;
  return msg;
}
#define DONE(msg, status) done((msg), (status), pStatus, __func__, __LINE__)

int64_t doneCode(int code, int64_t* pStatus, const char* fn, int line) {
  const LMResult r = LMMapCodecCode(code);
  return done(r.msg, r.status, pStatus, fn, line);
}
#define DONE_CODE(code) doneCode((code), pStatus, __func__, __LINE__)

// Success, or success on damaged data: the output is complete in size, the data error is reported
// as the codec reports data that ran out.
int64_t doneOk(const LineSource& src, int64_t* pStatus, const char* fn, int line) {
  if (!src.dataRanOut()) return done(kMsgOk, 0, pStatus, fn, line);
  if (LMLogOn())
    MDBG(kLvEntry, "", "", "[%s:%d] %s Warning!!Jpeg data ran out: Out=%d, Status=%d\n", LM_UNIT,
         line, fn, int(kMsgOk), -1007);
  const LMResult r = LMMapCodecCode(-301);
  return done(r.msg, r.status, pStatus, fn, line);
}
#define DONE_OK(src) doneOk((src), pStatus, __func__, __LINE__)

bool unpackCropQuality(int32_t q, int32_t* quality, int32_t* sampling) {
  int32_t dummy = 0;
  if (!jpgUnpackQuality(q, &dummy, sampling)) return false;
  *quality = 25 + 5 * (q & 15);
  return true;
}

}  // namespace

int64_t JPGKRJpegCrop(int32_t lNumThreads, int32_t lDoCrop, int32_t lDoInputJpeg,
                      const uint8_t* pSrc, uint64_t ulJpegSizeSrc, int32_t lBitsPerPixel,
                      int32_t lChannelSeq, int32_t lSrcWidth, int32_t lSrcHeight,
                      int32_t lSrcBytesPerLine, int32_t lXResolution, int32_t lYResolution,
                      int32_t lDoOutputJpeg, int32_t lQuality, uint8_t** pDes,
                      uint64_t* pulJpegSizeDes, int32_t lDesRGBChannelSeq, int32_t* plDesWidth,
                      int32_t* plDesHeight, int32_t* plDesBytesPerLine, int64_t* pStatus) {
  if (!pStatus) return kMsgBadValue;
  if (lNumThreads < 1) return DONE(kMsgBadValue, -1007);
  if (!pSrc || !pDes || !pulJpegSizeDes || !plDesWidth || !plDesHeight || !plDesBytesPerLine)
    return DONE(kMsgBadValue, -1013);
  JpgPixelLayout inLay;
  if (!lDoInputJpeg) {
    if (lBitsPerPixel != 8 && lBitsPerPixel != 24 && lBitsPerPixel != 32)
      return DONE(kMsgNotSupported, -1008);
    if (lSrcWidth <= 0 || lSrcHeight <= 0 ||
        int64_t(lSrcBytesPerLine) < int64_t(lBitsPerPixel) * lSrcWidth / 8)
      return DONE(kMsgBadValue, -1007);
    if (!jpgPixelLayout(lBitsPerPixel, lChannelSeq, &inLay)) return DONE(kMsgBadValue, -1007);
  } else if (ulJpegSizeSrc == 0 || ulJpegSizeSrc > 0xFFFFFFFFull) {
    return DONE(kMsgBadValue, -1007);
  }
  int32_t quality = 0, sampling = 0;
  if (lDoOutputJpeg && !unpackCropQuality(lQuality, &quality, &sampling))
    return DONE(kMsgBadValue, -1007);

  // Output "as the input" means the caller's input, also when it is turned into JPEG below.
  const bool rawCaller = !lDoInputJpeg;
  const int32_t callerSeq = lChannelSeq;
  // Output written over the input: the input moves to a block of its own first.
  const uint8_t* src = pSrc;
  uint8_t* ownInput = nullptr;
  uint64_t inCapacity = 0;
  bool inPlace = *pDes == pSrc;
  struct Freer {
    uint8_t*& p;
    ~Freer() { FreeMemory(p); }
  } freeInput{ownInput};
  if (inPlace) {
    if (lDoInputJpeg) {
      inCapacity = ulJpegSizeSrc;
      ownInput = static_cast<uint8_t*>(AllocateMemory(nullptr, uint32_t(ulJpegSizeSrc), 0));
      if (!ownInput) return DONE(kMsgNoMemory, -1012);
      memcpy(ownInput, pSrc, ulJpegSizeSrc);
    } else {
      const uint64_t bytes = uint64_t(lSrcBytesPerLine) * uint64_t(lSrcHeight);
      inCapacity = bytes;
      if (lSrcHeight < 32 * int64_t(lYResolution > 0 ? lYResolution : 1) && bytes < 0xFFFFFFF0ull)
        ownInput = static_cast<uint8_t*>(AllocateMemory(nullptr, uint32_t(bytes), 0));
      if (ownInput) {
        memcpy(ownInput, pSrc, bytes);
      } else {
        LMLOG(kLvEntry, "Convert RAW image into Jpeg format.\n");
        uint32_t size = 0;
        int64_t st = 0;
        const int64_t m =
            jpgEncoder(pSrc, &ownInput, 1, 44, lBitsPerPixel, lChannelSeq, lSrcWidth, lSrcHeight,
                       lSrcBytesPerLine, lXResolution, lYResolution, &size, &st);
        if (m != 0) return DONE(m, st);
        lDoInputJpeg = 1;
        ulJpegSizeSrc = size;
      }
    }
    src = ownInput;
  }

  LineSource source;
  int32_t width = lSrcWidth, height = lSrcHeight, xRes = lXResolution, yRes = lYResolution;
  if (lDoInputJpeg) {
    int32_t bits = 0;
    const int rc =
        source.openJpeg(src, uint32_t(ulJpegSizeSrc), &bits, &width, &height, &xRes, &yRes);
    if (rc < 0) return DONE_CODE(rc);
    if ((bits != 8 && bits != 24 && bits != 32) || width < 1 || width > 65535 || height < 1 ||
        height > 65535)
      return DONE(kMsgNotSupported, -1014);
    xRes = lXResolution > 0 ? lXResolution : xRes;
    yRes = lYResolution > 0 ? lYResolution : yRes;
    lChannelSeq = 1;
  } else {
    source.openRaw(src, lSrcBytesPerLine, width, height, inLay);
  }
  JpgPixelLayout outLay;
  int32_t outSeq = 0;
  outputFormat(rawCaller ? inLay : source.layout(), rawCaller ? callerSeq : lChannelSeq,
               lDesRGBChannelSeq, &outLay, &outSeq);

  int32_t left = 0, top = 0, right = width, bottom = height;
  std::vector<uint8_t> scratch;
  if (lDoCrop) {
    const JpgCropParams p = jpgCropParams(xRes, yRes, false);
    Histograms h;
    if (!h.init(width, height)) return DONE(kMsgNoMemory, -1012);
    const int rc = histogramPass(source, width, height, 0, p.radius, h, p, scratch);
    if (rc < 0) return DONE_CODE(rc);
    jpgGetPosition(h.col, width, p.radius, uint32_t(p.colThreshold), p.minCols, &left, &right);
    jpgGetPosition(h.row, height, p.radius, uint32_t(p.rowThreshold), p.minRows, &top, &bottom);
    if (lDoInputJpeg) {
      int32_t b = 0;
      const int rc2 =
          source.openJpeg(src, uint32_t(ulJpegSizeSrc), &b, &width, &height, &xRes, &yRes);
      if (rc2 < 0) return DONE_CODE(rc2);
      xRes = lXResolution > 0 ? lXResolution : xRes;
      yRes = lYResolution > 0 ? lYResolution : yRes;
    }
  }
  const int32_t outW = right - left, outH = bottom - top;
  const int32_t outStride = outW * outLay.bpp;

  OutputWriter writer;
  const bool allocated = *pDes == nullptr;
  uint8_t* rawDest = nullptr;
  if (lDoOutputJpeg) {
    const int rc = writer.openJpeg(outW, outH, outLay, outSeq, sampling, quality, xRes, yRes);
    if (rc < 0) return DONE_CODE(rc);
  } else {
    const uint64_t bytes = uint64_t(outStride) * uint64_t(outH);
    if (inPlace && bytes > inCapacity) return DONE(kMsgBadValue, -1007);
    rawDest = allocated ? static_cast<uint8_t*>(bytes < 0xFFFFFFF0ull
                                                    ? AllocateMemory(nullptr, uint32_t(bytes), 0)
                                                    : nullptr)
                        : *pDes;
    if (!rawDest) {
      LMLOG(kLvEntry, "Error!!Memory allocated failed, size=%u\n", unsigned(bytes));
      return DONE(kMsgNoMemory, -1012);
    }
    writer.openRaw(rawDest, outStride, outH);
  }
  auto failRaw = [&](int code) {
    if (allocated) FreeMemory(rawDest);
    return DONE_CODE(code);
  };
  for (int32_t y = top; y < bottom; ++y) {
    int32_t avail = 0;
    int code = 1;
    const uint8_t* l = source.line(y, &avail, &code);
    if (!l) return failRaw(code);
    jpgConvertPixels(l + size_t(left) * size_t(source.layout().bpp), source.layout(), writer.next(),
                     outLay, outW);
    const int rc = writer.commit();
    if (rc < 0) return failRaw(rc);
  }
  if (lDoOutputJpeg) {
    uint8_t* target = inPlace ? nullptr : *pDes;
    uint64_t size = 0;
    const int rc = writer.takeStream(&target, &size);
    if (rc < 0) return DONE_CODE(rc);
    if (inPlace) {
      if (size > inCapacity) {
        FreeMemory(target);
        return DONE(kMsgBadValue, -1007);
      }
      memcpy(*pDes, target, size);
      FreeMemory(target);
    } else {
      *pDes = target;
    }
    *pulJpegSizeDes = size;
    *plDesBytesPerLine = 0;
  } else {
    *pDes = rawDest;
    *pulJpegSizeDes = 0;
    *plDesBytesPerLine = outStride;
  }
  *plDesWidth = outW;
  *plDesHeight = outH;
  return DONE_OK(source);
}

namespace {

// The bytes and geometry of a stored chunk as an image of its own.
struct ChunkView {
  const LMImageChunk* chunk;
  int32_t firstLine;
};

// Chunks in order with the page line at which each starts.
std::vector<ChunkView> chunksOf(const LMJpegCropContext* c) {
  std::vector<ChunkView> v;
  int32_t y = 0;
  for (const LMImageChunk* k = c->pImage; k; k = k->next) {
    v.push_back({k, y});
    y += k->nLines;
  }
  return v;
}

int openChunk(LineSource& src, const LMJpegCropContext* c, const LMImageChunk* k,
              const JpgPixelLayout& rawLay) {
  if (c->nIsJpeg) {
    int32_t b = 0, w = 0, h = 0, xr = 0, yr = 0;
    const int rc = src.openJpeg(k->pMemory, uint32_t(k->nImageSize), &b, &w, &h, &xr, &yr);
    if (rc < 0) return rc;
    if (w != c->nWidth || h != k->nLines) return -2;
    return rc;
  }
  src.openRaw(k->pMemory, c->nBytesPerLine, c->nWidth, k->nLines, rawLay);
  return 1;
}

}  // namespace

int64_t JPGKRJpegCropStrip(int32_t lNumThreads, int32_t lDoCrop, int32_t lDoInputJpeg,
                           LMJpegCropContext* pJPGCrop, int32_t lDoOutputJpeg,
                           int32_t lDesStripHeight, int32_t lQuality, uint8_t** pDes,
                           uint64_t* pulJpegSizeDes, int32_t lDesRGBChannelSeq,
                           int32_t* plDesStripHeight, int32_t* plDesWidth, int32_t* plDesHeight,
                           int32_t* plDesBytesPerLine, int64_t* pStatus) {
  if (!pStatus) return kMsgBadValue;
  if (lDesStripHeight <= 0 || lDesStripHeight > 65520) lDesStripHeight = 65520;
  if (!pJPGCrop || !pJPGCrop->pImage) return DONE(kMsgBadValue, -1013);
  if (lNumThreads < 1) return DONE(kMsgBadValue, -1007);
  if (!pDes || !pulJpegSizeDes || !plDesWidth || !plDesHeight || !plDesBytesPerLine ||
      !plDesStripHeight)
    return DONE(kMsgBadValue, -1013);
  (void)lDoInputJpeg;  // the context knows what it holds
  LMJpegCropContext* c = pJPGCrop;
  int32_t quality = 0, sampling = 0;
  if (lDoOutputJpeg && !unpackCropQuality(lQuality, &quality, &sampling))
    return DONE(kMsgBadValue, -1007);
  JpgPixelLayout rawLay;
  if (!c->nIsJpeg && !jpgPixelLayout(c->nBytesPerPixel * 8, c->nChannelSeq, &rawLay))
    return DONE(kMsgBadValue, -1007);
  JpgPixelLayout srcLay = rawLay;
  if (c->nIsJpeg) jpgPixelLayout(c->nBytesPerPixel == 1 ? 8 : 24, 1, &srcLay);
  const int32_t srcSeq = c->nIsJpeg ? 1 : c->nChannelSeq;
  JpgPixelLayout outLay;
  int32_t outSeq = 0;
  outputFormat(srcLay, srcSeq, lDesRGBChannelSeq, &outLay, &outSeq);
  const std::vector<ChunkView> chunks = chunksOf(c);
  const int32_t total = chunks.back().firstLine + chunks.back().chunk->nLines;

  LineSource source;
  std::vector<uint8_t> scratch;
  if (!c->nCropStarted) {
    c->nLeft = 0;
    c->nRight = c->nWidth;
    c->nTop = 0;
    c->nBottom = total;
    if (lDoCrop) {
      const JpgCropParams p = jpgCropParams(c->nXRes, c->nYRes, true);
      Histograms h;
      if (!h.init(c->nWidth, total)) return DONE(kMsgNoMemory, -1012);
      for (const ChunkView& v : chunks) {
        int rc = openChunk(source, c, v.chunk, rawLay);
        if (rc >= 0)
          rc = histogramPass(source, c->nWidth, total, v.firstLine, p.radius, h, p, scratch);
        if (rc < 0) return DONE_CODE(rc);
      }
      source.close();
      jpgGetPosition(h.col, c->nWidth, p.radius, uint32_t(p.colThreshold), p.minCols, &c->nLeft,
                     &c->nRight);
      jpgGetPosition(h.row, total, p.radius, uint32_t(p.rowThreshold), p.minRows, &c->nTop,
                     &c->nBottom);
    }
    c->nOutWidth = c->nRight - c->nLeft;
    c->nOutHeight = c->nBottom - c->nTop;
    c->nOutStride = c->nOutWidth * outLay.bpp;
    c->nNextLine = c->nTop;
    c->nCropStarted = 1;
  }
  *plDesWidth = 0;
  *plDesHeight = 0;
  *plDesBytesPerLine = 0;
  *plDesStripHeight = 0;
  *pulJpegSizeDes = 0;
  if (c->nNextLine >= c->nBottom) return DONE(kMsgOk, 0);

  const ChunkView* view = nullptr;
  for (const ChunkView& v : chunks)
    if (c->nNextLine >= v.firstLine && c->nNextLine < v.firstLine + v.chunk->nLines) view = &v;
  if (!view) return DONE(kMsgBadValue, -1007);
  const int32_t first = c->nNextLine;
  int32_t end = view->firstLine + view->chunk->nLines;
  if (end > first + lDesStripHeight) end = first + lDesStripHeight;
  if (end > c->nBottom) end = c->nBottom;

  uint8_t* rawDest = nullptr;
  const bool allocated = *pDes == nullptr;
  if (!lDoOutputJpeg) {
    if (allocated) {
      for (;;) {
        const uint64_t bytes = uint64_t(c->nOutStride) * uint64_t(end - first);
        rawDest = bytes < 0xFFFFFFF0ull
                      ? static_cast<uint8_t*>(AllocateMemory(nullptr, uint32_t(bytes), 0))
                      : nullptr;
        if (rawDest) break;
        const int32_t shorter = ((end - 4096) - first) / 16 * 16 + first;
        if (shorter - first <= 2048) {
          rawDest = bytes < 0xFFFFFFF0ull
                        ? static_cast<uint8_t*>(AllocateMemory(nullptr, uint32_t(bytes), 0))
                        : nullptr;
          if (!rawDest) {
            LMLOG(kLvEntry, "Error!!Memory allocated failed, size=%u\n", unsigned(bytes));
            return DONE(kMsgNoMemory, -1012);
          }
          break;
        }
        end = shorter;
      }
    } else {
      rawDest = *pDes;
    }
  }
  int rc = openChunk(source, c, view->chunk, rawLay);
  if (rc < 0) {
    if (allocated) FreeMemory(rawDest);
    return DONE_CODE(rc);
  }
  OutputWriter writer;
  if (lDoOutputJpeg) {
    rc = writer.openJpeg(c->nOutWidth, end - first, outLay, outSeq, sampling, quality, c->nXRes,
                         c->nYRes);
  } else {
    writer.openRaw(rawDest, c->nOutStride, end - first);
  }
  for (int32_t y = first; rc >= 0 && y < end; ++y) {
    int32_t avail = 0;
    int code = 1;
    const uint8_t* l = source.line(y - view->firstLine, &avail, &code);
    if (!l) {
      rc = code;
      break;
    }
    jpgConvertPixels(l + size_t(c->nLeft) * size_t(source.layout().bpp), source.layout(),
                     writer.next(), outLay, c->nOutWidth);
    rc = writer.commit();
  }
  if (rc >= 0 && lDoOutputJpeg) rc = writer.takeStream(pDes, pulJpegSizeDes);
  if (rc < 0) {
    if (allocated && !lDoOutputJpeg) FreeMemory(rawDest);
    return DONE_CODE(rc);
  }
  if (!lDoOutputJpeg) {
    *pDes = rawDest;
    *plDesBytesPerLine = c->nOutStride;
  }
  *plDesStripHeight = end - first;
  *plDesWidth = c->nOutWidth;
  *plDesHeight = c->nOutHeight;
  c->nNextLine = end;
  // Only this call's decoding counts here (the bounds pass included); the crop context's owner
  // keeps the warning over the page's strips.
  return DONE_OK(source);
}
