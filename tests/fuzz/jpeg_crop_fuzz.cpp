// Device JPEG strips through the crop entry, as the scan engine's encode thread and the data
// source hand them on. Byte 0 sets the page: bit 0 compact, bit 1 JPEG output, bit 2 one call
// for the whole page, bit 3 a page long enough to go the strip-wise way; byte 1 is the output
// quality byte. The rest is cut into strips after each EOI.
#include <cstring>
#include <vector>

#include "drv/jpeg/Interface.h"
#include "drv/jpeg/JPGJpegLib.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  fuzz::Input in(data, size);
  const uint8_t page = in.Byte();
  const uint8_t quality = in.Byte();
  std::vector<std::vector<uint8_t>> strips = fuzz::SplitAfterEoi(in.Rest(), 8);
  if (strips.empty()) return 0;
  // Pages that only cost memory and time are passed over.
  int64_t pixels = 0;
  for (const std::vector<uint8_t>& s : strips) {
    int32_t bpp = 0, w = 0, h = 0;
    LMJPGWriteJFIF(nullptr, s.data(), uint32_t(s.size()), 1, &bpp, &w, &h, nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr, nullptr);
    pixels += int64_t(w) * h;
  }
  if (pixels > fuzz::kMaxPixels) return 0;

  NIDATA ni;
  std::memset(&ni, 0, sizeof ni);
  ni.InImage.ScanType = 1;
  ni.InImage.ScanMode = 0x80 | 4;
  ni.InImage.BitsPerPixel = 24;
  ni.InImage.XRes = ni.InImage.YRes = (page & 8) ? 1 : 100;
  ni.OutImage.OutMode = (page & 1) ? 0x2000 : 0;
  const uint8_t compression = (page & 2) ? 2 : 0;
  ni.OutImage.Color.Compression = ni.OutImage.Gray.Compression = compression;
  ni.OutImage.Color.JPEGQuality = ni.OutImage.Gray.JPEGQuality = quality;
  long status = 0;
  auto output = [&](void* src, uint64_t srcSize) {
    void* out = nullptr;
    uint64_t outSize = 0;
    long lines = 0;
    const long msg = JpegCrop(src, &out, &ni, &outSize, &status, srcSize, &lines);
    FreeMemory(out);
    return msg == 0 && status == -1036;
  };
  if (page & 4) {
    ni.InImage.Line = 64;
    output(strips[0].data(), strips[0].size());
  } else {
    bool ok = true;
    for (std::vector<uint8_t>& s : strips) {
      ni.InImage.Line = 64;
      if (JpegCrop(s.data(), nullptr, &ni, nullptr, &status, s.size(), nullptr) != 0) {
        ok = false;
        break;
      }
    }
    for (int round = 0; ok && round < 16 && output(nullptr, 0); ++round) {
    }
  }
  JpegCrop(nullptr, nullptr, &ni, nullptr, &status, 0, nullptr);
  return 0;
}
