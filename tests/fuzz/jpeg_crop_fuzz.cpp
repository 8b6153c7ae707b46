// Device JPEG strips through the crop entry, as the scan engine's encode thread and the data
// source hand them on. Byte 0 sets the page: bit 0 compact, bit 1 JPEG output, bit 2 one call
// for the whole page, bit 3 a page long enough to go the strip-wise way; byte 1 is the output
// quality byte. The rest is cut into strips after each EOI.
#include <cstring>
#include <vector>

#include "drv/jpeg/JPGJpegLib.h"
#include "tests/drv/jpeg/croputil.h"
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

  NIDATA ni = ct::deviceJpegRecord(24, page & 1, page & 2, quality, (page & 8) ? 1 : 100);
  long status = 0;
  if (page & 4) {
    ni.InImage.Line = 64;
    ct::cropOutput(ni, strips[0].data(), strips[0].size());
  } else {
    bool ok = true;
    for (std::vector<uint8_t>& s : strips) {
      ni.InImage.Line = 64;
      if (JpegCrop(s.data(), nullptr, &ni, nullptr, &status, s.size(), nullptr) != 0) {
        ok = false;
        break;
      }
    }
    for (int round = 0; ok && round < 16; ++round) {
      const ct::CropOutput o = ct::cropOutput(ni);
      if (o.msg != 0 || o.status != -1036) break;
    }
  }
  JpegCrop(nullptr, nullptr, &ni, nullptr, &status, 0, nullptr);
  return 0;
}
