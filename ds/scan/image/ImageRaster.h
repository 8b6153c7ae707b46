#pragma once
// Small helpers the image-process object's files share: line sizes, buffer allocation that
// reports failure instead of throwing, and the log of the image steps.
#include <cstdint>
#include <new>
#include <string_view>
#include <vector>

#include "ds/scan/records/XferImageInfo.h"
#include "ds/scan/scanner/ScanLog.h"

namespace ferrolite::image {

// Bytes a packed line of `width` pixels at `bits` a pixel takes.
inline uint32_t packedLine(uint32_t bits, uint32_t width) {
  return uint32_t((uint64_t(bits) * width + 7) / 8);
}
inline uint32_t bitsOfMode(uint8_t mode) {
  return mode == kXferModeColor ? 24 : mode == kXferModeGray ? 8 : 1;
}
inline uint64_t imageBytes(const XferImageInfo& info) {
  return uint64_t(info.dwBytesPerLine) * info.dwLength;
}
// The description after a change of kind: mode, bits and packed lines.
inline void setKind(XferImageInfo& info, uint8_t mode) {
  info.bMode = mode;
  info.bBitsPerPixel = uint8_t(bitsOfMode(mode));
  info.dwBytesPerLine = packedLine(info.bBitsPerPixel, info.dwWidth);
}

// A zeroed block of `size` bytes, or false when memory runs out.
inline bool allocate(std::vector<uint8_t>& block, uint64_t size, uint8_t fill = 0) {
  try {
    block.assign(size_t(size), fill);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

inline bool bitAt(const uint8_t* line, uint32_t x) { return (line[x >> 3] >> (7 - (x & 7))) & 1; }
inline void putBit(uint8_t* line, uint32_t x, bool set) {
  const uint8_t mask = uint8_t(0x80 >> (x & 7));
  line[x >> 3] = set ? uint8_t(line[x >> 3] | mask) : uint8_t(line[x >> 3] & ~mask);
}

inline void imageLog(std::string_view name, std::string_view status, int ok = 1,
                     const TezFRLCommon::LogData& data = kLogNoData) {
  scanLog(name, status, ok, data);
}

}  // namespace ferrolite::image
