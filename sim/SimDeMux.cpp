// The de-multiplexed duplex styles' stream of a sheet.
#include "sim/SimDeMux.h"

#include <algorithm>

namespace sim::detail {

bool IsDeMuxStyle(uint8_t style) { return style >= kStyleInterleaved && style <= kStyleGap; }

DeMuxStream InterleaveSides(const std::vector<uint8_t>& front, const std::vector<uint8_t>& rear,
                            size_t unit, uint8_t style) {
  unit = std::max<size_t>(unit, 1);
  DeMuxStream s;
  s.bytes.reserve(front.size() + rear.size() + unit);
  for (size_t at = 0; at < front.size(); at += unit) {
    const size_t n = std::min(unit, front.size() - at);
    s.bytes.insert(s.bytes.end(), front.begin() + long(at), front.begin() + long(at + n));
    if (n < unit && style == kStyleGap) {
      s.gapAt = s.bytes.size();
      s.gapLength = unit - n;
      s.bytes.insert(s.bytes.end(), s.gapLength, 0);
    }
    const size_t m = std::min(n, rear.size() - std::min(rear.size(), at));
    s.bytes.insert(s.bytes.end(), rear.begin() + long(at), rear.begin() + long(at + m));
  }
  return s;
}

size_t CountedBytes(const DeMuxStream& stream, size_t from, size_t to) {
  const size_t gapEnd = stream.gapAt + stream.gapLength;
  const size_t overlap = std::min(to, gapEnd) > std::max(from, stream.gapAt)
                             ? std::min(to, gapEnd) - std::max(from, stream.gapAt)
                             : 0;
  return to - from - overlap;
}

}  // namespace sim::detail
