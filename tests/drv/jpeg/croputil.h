#pragma once
// Helpers of the image-library entry tests: the scan engine's calling patterns of JpegCrop and
// JpegDecoder, the join of output strips with the JFIF writer, and picture comparison.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "drv/jpeg/Interface.h"
#include "drv/jpeg/KRJFIFWriter.h"
#include "tests/drv/jpeg/oracle.h"

namespace ct {

using Bytes = std::vector<uint8_t>;

// How the encode thread describes its pages.
struct EncodeJob {
  int bits = 24;           // 8 or 24
  uint8_t quality = 0x1A;  // the engine's quality bytes: 0x1A (4:4:4), 0x3A (2x2), 0x0A (2x1)
  bool compact = false;
  bool jpegOut = true;
  int dpi = 100;
  int padding = 0;  // bytes behind each raw line
};

inline NIDATA jobRecord(const EncodeJob& job, int width) {
  NIDATA ni;
  memset(&ni, 0, sizeof ni);
  ni.InImage.ScanMode = uint8_t(job.bits == 8 ? 2 : 4);
  ni.InImage.BitsPerPixel = uint8_t(job.bits);
  ni.InImage.SamplePerPixel = uint8_t(job.bits / 8);
  ni.InImage.Pixel = uint32_t(width);
  ni.InImage.BytesPerLine = uint32_t(width * job.bits / 8 + job.padding);
  ni.InImage.XRes = ni.InImage.YRes = uint16_t(job.dpi);
  ni.OutImage.OutMode = job.compact ? 0x2000 : 0;
  const uint8_t compression = job.jpegOut ? 2 : 0;
  ni.OutImage.Gray.Compression = ni.OutImage.Color.Compression = compression;
  ni.OutImage.Gray.JPEGQuality = ni.OutImage.Color.JPEGQuality = job.quality;
  return ni;
}

// The record of a page of device JPEG strips (front side) for the crop entry: colour (24 bits)
// or grey (8), handed out as JPEG of the quality byte or as raw lines, held as JPEG if compact.
inline NIDATA deviceJpegRecord(int bits, bool compact, bool jpegOut, uint8_t quality = 0x1A,
                               int dpi = 100) {
  NIDATA ni;
  memset(&ni, 0, sizeof ni);
  ni.InImage.ScanType = 1;
  ni.InImage.ScanMode = uint8_t(0x80 | (bits == 8 ? 2 : 4));
  ni.InImage.BitsPerPixel = uint8_t(bits);
  ni.InImage.XRes = ni.InImage.YRes = uint16_t(dpi);
  ni.OutImage.OutMode = compact ? 0x2000 : 0;
  if (bits == 8) {
    ni.OutImage.Gray.Compression = jpegOut ? 2 : 0;
    ni.OutImage.Gray.JPEGQuality = quality;
  } else {
    ni.OutImage.Color.Compression = jpegOut ? 2 : 0;
    ni.OutImage.Color.JPEGQuality = quality;
  }
  return ni;
}

// One output call of the crop entry: Msg, Status and the strip it hands out. With src the call
// also carries the page's only input (the whole-page way).
struct CropOutput {
  long msg = 0, status = 0, lines = 0;
  Bytes bytes;
};
inline CropOutput cropOutput(NIDATA& ni, void* src = nullptr, uint64_t srcSize = 0) {
  CropOutput o;
  void* p = nullptr;
  uint64_t size = 0;
  o.msg = JpegCrop(src, &p, &ni, &size, &o.status, srcSize, &o.lines);
  if (p) o.bytes.assign(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + size);
  FreeMemory(p);
  return o;
}

// Raw lines with the job's padding.
inline Bytes padded(const oracle::Picture& p, int padding) {
  const size_t row = size_t(p.width) * p.comps;
  Bytes out(size_t(p.height) * (row + padding), 0xEE);
  for (int y = 0; y < p.height; ++y) memcpy(&out[y * (row + padding)], &p.pixels[y * row], row);
  return out;
}

struct PageResult {
  std::string failure;        // empty on success
  std::vector<Bytes> strips;  // output strips in order
  std::vector<long> heights;
  uint32_t imageWidth = 0, imageHeight = 0;
};

// One page as the encode thread runs it: raw strips of random heights, then output calls until
// Status 0, then the page-end call. The record keeps its crop id across the calls.
inline PageResult encodePage(NIDATA& ni, const Bytes& raw, int height, uint32_t seed,
                             int maxStrip = 97) {
  PageResult r;
  std::mt19937 rng(seed);
  const uint32_t bpl = ni.InImage.BytesPerLine;
  long status = 0;
  for (int y = 0; y < height;) {
    int h = int(rng() % uint32_t(maxStrip)) + 1;
    if (h > height - y) h = height - y;
    ni.InImage.Line = uint32_t(h);
    void* src = const_cast<uint8_t*>(&raw[size_t(y) * bpl]);
    const long msg = JpegCrop(src, nullptr, &ni, nullptr, &status, 0, nullptr);
    if (msg != 0 || status != 0) {
      r.failure = "input at line " + std::to_string(y) + ": " + std::to_string(msg) + "/" +
                  std::to_string(status);
      return r;
    }
    y += h;
  }
  for (int round = 0; round < 1000; ++round) {
    void* out = nullptr;
    uint64_t size = 0;
    long strip = 0;
    const long msg = JpegCrop(nullptr, &out, &ni, &size, &status, 0, &strip);
    if (msg != 0 || (status != 0 && status != -1036)) {
      FreeMemory(out);
      r.failure = "output: " + std::to_string(msg) + "/" + std::to_string(status);
      return r;
    }
    if (out) r.strips.emplace_back(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + size);
    r.heights.push_back(strip);
    r.imageWidth = ni.OutImage.ImageWidth;
    r.imageHeight = ni.OutImage.ImageHeight;
    FreeMemory(out);
    if (status == 0) break;
  }
  const long msg = JpegCrop(nullptr, nullptr, &ni, nullptr, &status, 0, nullptr);
  if (msg != 0 || status != 0 || ni.OutImage.InternalUse != 0) r.failure = "page end";
  return r;
}

// Output strips joined into one stream the way the engine's reader joins JPEG strips: a strip
// is a restart interval of the joined stream.
inline Bytes joinStrips(const std::vector<Bytes>& strips) {
  _JFIF j;
  memset(&j, 0, sizeof j);
  j.nDRI = strips.size() > 1 ? -1 : 0;
  Bytes out;
  for (const Bytes& s : strips) {
    Bytes copy = s;
    if (KRJFIFWrite(&j, copy.data(), int(copy.size()), 0) != 1) {
      KRJFIFFree(&j);
      return out;
    }
  }
  if (KRJFIFWrite(&j, nullptr, 0, 1) == 1) out.assign(j.pJFIF, j.pJFIF + j.nJFIFSize);
  KRJFIFFree(&j);
  return out;
}

// Peak signal-to-noise ratio in dB (infinity for equal pictures); -1 when the sizes differ.
inline double psnr(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size() || a.empty()) return -1;
  double se = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = double(a[i]) - double(b[i]);
    se += d * d;
  }
  if (se == 0) return INFINITY;
  return 10 * std::log10(255.0 * 255.0 * double(a.size()) / se);
}

}  // namespace ct
