#pragma once
// Small helpers of the codec tests: running the engine and comparing pictures.
#include <cstdint>
#include <vector>

#include "drv/jpeg/JPGJpegLib.h"
#include "tests/drv/jpeg/oracle.h"

namespace jt {

struct Result {
  int rc = 0;
  int width = 0, height = 0, bpp = 0;
  std::vector<uint8_t> pixels;  // rows of width * bpp / 8 bytes
};

// Decodes a stream through the engine in strips of `strip` lines (0 = whole), into pixels of
// `outBits` bits with channel order `seq`.
inline Result engineDecode(const std::vector<uint8_t>& s, int strip = 0, int outBits = 0,
                           int seq = 1) {
  Result r;
  uint32_t id = 0;
  int32_t bpp = 0, w = 0, h = 0;
  r.rc = LMJPGWriteJFIF(&id, s.data(), uint32_t(s.size()), 0, &bpp, &w, &h, nullptr, nullptr,
                        nullptr, nullptr, nullptr, nullptr, nullptr);
  if (r.rc < 0) return r;
  r.width = w;
  r.height = h;
  r.bpp = outBits ? outBits : bpp;
  const int bpl = w * r.bpp / 8;
  r.pixels.assign(size_t(bpl) * h, 0);
  const int step = strip > 0 ? strip : h;
  for (int y = 0; y < h; y += step) {
    const int lines = y + step > h ? h - y : step;
    const int rc =
        LMJPGJpegDecoderStrip(&id, &r.pixels[size_t(y) * bpl], r.bpp, seq, y, lines, bpl);
    if (rc < 0) {
      r.rc = rc;
      LMJPGResetJpeg(&id);
      return r;
    }
    r.rc = rc;
  }
  LMJPGResetJpeg(&id);
  return r;
}

// Largest per-byte difference; -1 when the sizes differ.
inline int maxDiff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size()) return -1;
  int m = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const int d = a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
    if (d > m) m = d;
  }
  return m;
}

}  // namespace jt

namespace jt {

struct Encoded {
  int rc = 0;
  std::vector<uint8_t> stream;
};

// Encodes a picture through the engine in strips of `strip` lines (0 = one whole-image write).
inline Encoded engineEncode(const oracle::Picture& p, int quality, int sampling, int strip = 0,
                            int bits = 0, int seq = 1,
                            const std::vector<uint8_t>* pixels = nullptr) {
  Encoded e;
  const int b = bits ? bits : p.comps * 8;
  const std::vector<uint8_t>& px = pixels ? *pixels : p.pixels;
  const int bpl = p.width * b / 8;
  uint32_t id = 0;
  e.rc = LMJPGJpegEncoder(&id, 0, sampling, quality, b, seq, p.width, p.height, 300, 200);
  if (e.rc < 0) return e;
  uint32_t size = 0;
  if (strip == 0) {
    e.rc = LMJPGWriteImage(&id, px.data(), bpl, &size);
  } else {
    for (int y = 0; y < p.height && e.rc >= 0; y += strip) {
      const int lines = y + strip > p.height ? p.height - y : strip;
      e.rc = LMJPGWriteStrip(&id, &px[size_t(y) * bpl], y, lines, bpl, &size);
    }
  }
  if (e.rc < 0) return e;
  e.stream.resize(size);
  e.rc = LMJPGReadJFIF(&id, e.stream.data(), size);
  return e;
}

}  // namespace jt
