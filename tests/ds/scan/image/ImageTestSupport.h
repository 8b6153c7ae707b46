#pragma once
// Small rasters for the image-process tests: a working image in a malloc'd buffer (the object
// may replace it), built from rows of pixel values.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "ds/scan/image/TezFRLImageProcess.h"

namespace imagetest {

using ferrolite::XferImageInfo;

inline XferImageInfo Info(uint8_t mode, uint32_t width, uint32_t length, uint16_t res = 300) {
  XferImageInfo i;
  i.bMode = mode;
  i.bBitsPerPixel = mode == 2 ? 24 : mode == 1 ? 8 : 1;
  i.dwWidth = width;
  i.dwLength = length;
  i.wXRes = i.wYRes = res;
  i.dwBytesPerLine = uint32_t((uint64_t(i.bBitsPerPixel) * width + 7) / 8);
  return i;
}

// A malloc'd copy of the bytes, as the scan layer's buffers are.
inline uint8_t* Malloced(const std::vector<uint8_t>& bytes) {
  auto* p = static_cast<uint8_t*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
  if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
  return p;
}

// The object's working image, freed at the end of the test.
class Working {
 public:
  Working(ferrolite::TezFRLImageProcess& p, const XferImageInfo& info,
          const std::vector<uint8_t>& bytes)
      : p_(p) {
    p_.setWorkingImage(info, Malloced(bytes), uint32_t(bytes.size()));
  }
  ~Working() { std::free(p_.workingBuffer()); }
  std::vector<uint8_t> bytes() const {
    const XferImageInfo& i = p_.workingInfo();
    const uint8_t* b = p_.workingBuffer();
    return std::vector<uint8_t>(b, b + size_t(i.dwBytesPerLine) * i.dwLength);
  }

 private:
  ferrolite::TezFRLImageProcess& p_;
};

}  // namespace imagetest
