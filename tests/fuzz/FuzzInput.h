#pragma once
// Taking a fuzz input apart: settings from its first bytes, the rest as data, JPEG strips split
// after each EOI.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace fuzz {

// Reads from the front; past the end every read gives 0.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
  bool Empty() const { return p_ == end_; }
  size_t Left() const { return size_t(end_ - p_); }
  uint8_t Byte() { return p_ < end_ ? *p_++ : 0; }
  uint16_t U16() {
    const uint16_t hi = Byte();
    return uint16_t(hi << 8 | Byte());
  }
  // The next n bytes (fewer at the end).
  std::vector<uint8_t> Take(size_t n) {
    if (n > Left()) n = Left();
    std::vector<uint8_t> out(p_, p_ + n);
    p_ += n;
    return out;
  }
  std::vector<uint8_t> Rest() { return Take(Left()); }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

// The bytes cut after each FF D9, at most `most` pieces (the last one takes the rest).
inline std::vector<std::vector<uint8_t>> SplitAfterEoi(const std::vector<uint8_t>& bytes,
                                                       size_t most) {
  std::vector<std::vector<uint8_t>> pieces;
  size_t start = 0;
  for (size_t i = 1; i < bytes.size() && pieces.size() + 1 < most; ++i) {
    if (bytes[i - 1] == 0xFF && bytes[i] == 0xD9) {
      pieces.emplace_back(bytes.begin() + long(start), bytes.begin() + long(i + 1));
      start = i + 1;
    }
  }
  if (start < bytes.size()) pieces.emplace_back(bytes.begin() + long(start), bytes.end());
  return pieces;
}

// A property the target checks: its failure is a finding, as a crash is.
inline void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// Pictures larger than this are passed over: they only cost memory and time.
constexpr int64_t kMaxPixels = int64_t(1) << 18;

}  // namespace fuzz
