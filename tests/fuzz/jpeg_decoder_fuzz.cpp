// The JPEG decoder on any bytes: the header-only parse, the engine's strip-wise decode and the
// decoder entry as the scan engine's decode thread calls it. The input is the stream; its size
// picks the strip height and the output form.
#include <cstring>
#include <vector>

#include "drv/jpeg/Interface.h"
#include "drv/jpeg/JPGJpegLib.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

void decodeThroughTheEngine(const uint8_t* data, uint32_t size) {
  int32_t bpp = 0, w = 0, h = 0, xr, yr, mcus, strips, perStrip, mcuW, mcuH;
  LMJPGWriteJFIF(nullptr, data, size, 1, &bpp, &w, &h, &xr, &yr, &mcus, &strips, &perStrip, &mcuW,
                 &mcuH);
  if (int64_t(w) * h > fuzz::kMaxPixels) return;
  uint32_t id = 0;
  if (LMJPGWriteJFIF(&id, data, size, 0, &bpp, &w, &h, &xr, &yr, &mcus, &strips, &perStrip, &mcuW,
                     &mcuH) < 0)
    return;
  const int bits = bpp == 8 ? 8 : (size & 1 ? 32 : 24);
  const int seq = int(size % 6);
  const int step = (size & 2) ? 16 : h;
  const int bpl = w * bits / 8 + 3;
  std::vector<uint8_t> strip(size_t(bpl) * size_t(step));
  for (int y = 0; y < h; y += step) {
    const int lines = y + step > h ? h - y : step;
    if (LMJPGJpegDecoderStrip(&id, strip.data(), bits, seq, y, lines, bpl) < 0) break;
  }
  LMJPGResetJpeg(&id);
}

void decodeThroughTheEntry(const uint8_t* data, uint32_t size) {
  NIDATA ni;
  std::memset(&ni, 0, sizeof ni);
  uint64_t n = size;
  long status = 0;
  // The page's facts first, as the decode thread asks for them.
  if (JpegDecoder(const_cast<uint8_t*>(data), nullptr, &ni, &n, &status) != 0) return;
  if (int64_t(ni.InImage.Pixel) * ni.InImage.Line > fuzz::kMaxPixels) return;
  ni.OutImage.OutMode = (size & 4) ? 4 : 8;
  ni.OutImage.JPEGDecodeLines = 32;
  for (uint32_t y = 0; y < ni.InImage.Line && y < 0x10000; y += 32) {
    ni.OutImage.JPEGDecodePosY = uint16_t(y);
    void* out = nullptr;
    n = size;
    const long msg = JpegDecoder(const_cast<uint8_t*>(data), &out, &ni, &n, &status);
    FreeMemory(out);
    if (msg != 0) break;
  }
  JpegDecoder(nullptr, nullptr, &ni, nullptr, &status);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > (1u << 24)) return 0;
  decodeThroughTheEngine(data, uint32_t(size));
  decodeThroughTheEntry(data, uint32_t(size));
  return 0;
}
