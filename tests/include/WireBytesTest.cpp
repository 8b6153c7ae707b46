// Big-endian wire fields: each width read and written at every offset of a buffer, including
// odd ones, without touching the bytes around the field.
#include <gtest/gtest.h>
#include <vantrel/wire_bytes.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

struct Case {
  unsigned width;              // 2, 3 or 4 bytes
  std::vector<uint8_t> bytes;  // as on the wire, most significant first
  uint32_t value;
};

const Case kCases[] = {
    {2, {0x00, 0x00}, 0x0000},
    {2, {0x12, 0x34}, 0x1234},
    {2, {0x80, 0x01}, 0x8001},  // top bit set: no sign extension
    {2, {0xFF, 0xFF}, 0xFFFF},
    {3, {0x00, 0x00, 0x01}, 0x000001},
    {3, {0x12, 0x34, 0x56}, 0x123456},
    {3, {0x80, 0x00, 0xFF}, 0x8000FF},
    {3, {0xFF, 0xFF, 0xFF}, 0xFFFFFF},
    {4, {0x00, 0x00, 0x00, 0x00}, 0x00000000},
    {4, {0x12, 0x34, 0x56, 0x78}, 0x12345678},
    {4, {0x80, 0x00, 0x00, 0x01}, 0x80000001},
    {4, {0xFF, 0xFE, 0xFD, 0xFC}, 0xFFFEFDFC},
    {4, {0x06, 0xB4, 0x9D, 0x20}, 112500000},
};

uint32_t Get(unsigned width, const uint8_t* p) {
  switch (width) {
    case 2:
      return wire::Get16(p);
    case 3:
      return wire::Get24(p);
    default:
      return wire::Get32(p);
  }
}

void Put(unsigned width, uint8_t* p, uint32_t v) {
  switch (width) {
    case 2:
      wire::Put16(p, static_cast<uint16_t>(v));
      break;
    case 3:
      wire::Put24(p, v);
      break;
    default:
      wire::Put32(p, v);
      break;
  }
}

constexpr uint8_t kFill = 0xA5;

TEST(WireBytes, ReadsAndWritesEachPatternAtEveryOffset) {
  for (const Case& c : kCases) {
    ASSERT_EQ(c.bytes.size(), c.width);
    for (size_t at = 0; at < 5; ++at) {
      SCOPED_TRACE(::testing::Message() << "width " << c.width << " value 0x" << std::hex << c.value
                                        << " offset " << std::dec << at);
      std::array<uint8_t, 10> buffer;
      buffer.fill(kFill);
      std::copy(c.bytes.begin(), c.bytes.end(), buffer.begin() + at);
      EXPECT_EQ(Get(c.width, buffer.data() + at), c.value);

      buffer.fill(kFill);
      Put(c.width, buffer.data() + at, c.value);
      for (size_t i = 0; i < buffer.size(); ++i) {
        const bool inField = i >= at && i < at + c.width;
        EXPECT_EQ(buffer[i], inField ? c.bytes[i - at] : kFill) << "byte " << i;
      }
    }
  }
}

TEST(WireBytes, WritesOnlyTheLowBytesOfTheValue) {
  uint8_t b[4] = {kFill, kFill, kFill, kFill};
  wire::Put24(b, 0xAB123456);
  EXPECT_EQ(b[0], 0x12);
  EXPECT_EQ(b[2], 0x56);
  EXPECT_EQ(b[3], kFill);
}

// Usable where records are laid out at compile time.
constexpr uint32_t RoundTrip32(uint32_t v) {
  uint8_t b[4] = {};
  wire::Put32(b, v);
  return wire::Get32(b);
}
static_assert(RoundTrip32(0xDEADBEEF) == 0xDEADBEEF);
static_assert(wire::Get16(std::array<uint8_t, 2>{0xBE, 0xEF}.data()) == 0xBEEF);

}  // namespace
