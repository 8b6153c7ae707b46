#pragma once
// The de-multiplexed duplex styles' stream of a sheet: front and rear alternating in units,
// front first. Styles 1 and 2 put a short last unit's rear right behind its front; style 3
// leaves the rest of the unit as a gap between them, bytes the end of page does not count.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim::detail {

struct DeMuxStream {
  std::vector<uint8_t> bytes;
  size_t gapAt = 0;
  size_t gapLength = 0;
};

constexpr uint8_t kStyleInterleaved = 1;
constexpr uint8_t kStyleCarried = 2;  // the end of page's block runs on into the next sheet
constexpr uint8_t kStyleGap = 3;

bool IsDeMuxStyle(uint8_t style);
DeMuxStream InterleaveSides(const std::vector<uint8_t>& front, const std::vector<uint8_t>& rear,
                            size_t unit, uint8_t style);
// The bytes of the stream in [from, to) that are image data (the gap's are not).
size_t CountedBytes(const DeMuxStream& stream, size_t from, size_t to);

}  // namespace sim::detail
