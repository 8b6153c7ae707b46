// The JFIF writer on any device strips: bare entropy-coded data or JPEG files with their own
// headers, joined into one page and given a header; the page it writes then goes through the
// decoder. Bytes 0-7 set the page (bits per pixel, width, height, strip height, sampling,
// restart interval); the rest is cut into strips after each EOI.
#include <cstring>
#include <vector>

#include "drv/jpeg/JPGJpegLib.h"
#include "drv/jpeg/KRJFIFWriter.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  fuzz::Input in(data, size);
  static const int kBits[3] = {1, 8, 24};
  const int bits = kBits[in.Byte() % 3];
  _JFIF j;
  std::memset(&j, 0, sizeof j);
  j.nBitPerPixel = bits;
  j.nWidth = in.U16();
  j.nHeight = in.U16();
  j.nHeightStrip = in.U16() & 0x3FFF;
  j.nSampling = in.Byte() & 7;
  j.nDRI = int8_t(in.Byte());
  j.nResolutionX = j.nResolutionY = 300;
  if (int64_t(j.nWidth) * (j.nHeight ? j.nHeight : 65535) > fuzz::kMaxPixels) return 0;
  uint8_t luma[64], chroma[64];
  KRJFIFGetQuantTb(5, bits == 24 ? 3 : 1, j.nSampling & 3, j.nWidth, j.nHeight, luma, chroma);
  j.pLumaTable = luma;
  j.pChromaTable = bits == 24 ? chroma : nullptr;
  int dri = 0;
  KRJFIFGetDRI(j.nSampling, bits, j.nWidth, j.nHeightStrip, &dri);

  bool ok = true;
  for (std::vector<uint8_t>& strip : fuzz::SplitAfterEoi(in.Rest(), 64)) {
    if (KRJFIFWrite(&j, strip.data(), int(strip.size()), 0) != 1) {
      ok = false;
      break;
    }
  }
  if (ok && KRJFIFWrite(&j, nullptr, 0, 1) == 1 && j.pJFIF && j.nJFIFSize > 0 && bits != 1) {
    uint32_t id = 0;
    int32_t bpp = 0, w = 0, h = 0;
    if (LMJPGWriteJFIF(&id, j.pJFIF, uint32_t(j.nJFIFSize), 0, &bpp, &w, &h, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr) >= 0 &&
        int64_t(w) * h <= fuzz::kMaxPixels) {
      const int bpl = w * bpp / 8;
      std::vector<uint8_t> pixels(size_t(bpl) * size_t(h));
      LMJPGJpegDecoderStrip(&id, pixels.data(), bpp, 1, 0, h, bpl);
    }
    LMJPGResetJpeg(&id);
  }
  KRJFIFFree(&j);
  return 0;
}
