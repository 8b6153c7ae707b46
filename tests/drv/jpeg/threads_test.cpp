// The scan engine's decode and encode threads use the codec at the same time on different ids:
// the id pool, the first-use tables and the library's log are shared between them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "TestFolder.h"
#include "drv/jpeg/JPGJpeg.h"
#include "drv/jpeg/KRJFIFWriter.h"
#include "drv/jpeg/LMLib.h"
#include "tests/drv/jpeg/testutil.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes decodeInStrips(const Bytes& s, int32_t strip, int32_t seq) {
  Bytes out;
  uint8_t id = 0;
  for (int32_t y = 0;; y += strip) {
    uint8_t* img = nullptr;
    int32_t bits = 0, w = 0, h = 0, bpl = 0;
    int64_t status = 0;
    const int64_t msg = jpgDecoder(&id, s.data(), &img, uint32_t(s.size()), y, strip, seq, &bits,
                                   &w, &h, &bpl, nullptr, nullptr, &status);
    if (msg != 0 || status != 0) return {};
    const int32_t lines = std::min(strip, h - y);
    out.insert(out.end(), img, img + size_t(bpl) * size_t(lines));
    FreeMemory(img);
    if (y + strip >= h) break;
  }
  return out;
}

Bytes encodeWhole(const oracle::Picture& p, int32_t qualityByte) {
  uint8_t* out = nullptr;
  uint32_t size = 0;
  int64_t status = 0;
  const int32_t bits = p.comps * 8;
  if (jpgEncoder(p.pixels.data(), &out, 0, qualityByte, bits, 1, p.width, p.height,
                 p.width * p.comps, 300, 300, &size, &status) != 0)
    return {};
  Bytes s(out, out + size);
  FreeMemory(out);
  return s;
}

Bytes joinStrips(const Bytes& stream) {
  // Byte-split chunks of one stream joined again by the writer.
  _JFIF j{};
  const size_t cut = stream.size() / 2;
  Bytes a(stream.begin(), stream.begin() + long(cut)), b(stream.begin() + long(cut), stream.end());
  Bytes out;
  if (KRJFIFWrite(&j, a.data(), int(a.size()), 0) == 1 &&
      KRJFIFWrite(&j, b.data(), int(b.size()), 1) == 1)
    out.assign(j.pJFIF, j.pJFIF + j.nJFIFSize);
  KRJFIFFree(&j);
  return out;
}

TEST(CodecThreads, DecodeAndEncodeAtOnceOnDifferentIds) {
  // The library's log is on, so both threads also write lines through it.
  const std::string dir = testsupport::freshTestFolder("jpegthreads").string();
  SetDebugMode(0x80000001u, dir.c_str());

  // Inputs made with libjpeg-turbo only, so that no table of ours is filled before the threads.
  const auto colour = oracle::makePicture(96, 80, 3, 1);
  const auto grey = oracle::makePicture(120, 64, 1, 2);
  oracle::EncodeOptions opt;
  opt.h = opt.v = 2;
  opt.restartRows = 1;
  const Bytes colourJpeg = oracle::compress(colour, opt);
  const Bytes greyJpeg = oracle::compress(grey, {});

  constexpr int kRounds = 12;
  std::vector<Bytes> decoded(kRounds), encoded(kRounds), greyDecoded(kRounds), joined(kRounds);
  std::thread decoder([&] {
    for (int i = 0; i < kRounds; ++i) {
      decoded[i] = decodeInStrips(colourJpeg, 16, i % 2 ? 2 : 1);
      greyDecoded[i] = decodeInStrips(greyJpeg, 32, 0);
    }
  });
  std::thread encoder([&] {
    for (int i = 0; i < kRounds; ++i) {
      encoded[i] = encodeWhole(colour, 0x3A);
      joined[i] = joinStrips(encodeWhole(grey, 0x0C));
    }
  });
  decoder.join();
  encoder.join();
  SetDebugMode(0, "");

  // The same work done on one thread gives the same bytes.
  const Bytes rgb = decodeInStrips(colourJpeg, 16, 1), rgbx = decodeInStrips(colourJpeg, 16, 2);
  const Bytes g = decodeInStrips(greyJpeg, 32, 0);
  const Bytes enc = encodeWhole(colour, 0x3A);
  const Bytes j = joinStrips(encodeWhole(grey, 0x0C));
  ASSERT_FALSE(rgb.empty());
  ASSERT_FALSE(enc.empty());
  ASSERT_FALSE(j.empty());
  for (int i = 0; i < kRounds; ++i) {
    EXPECT_EQ(decoded[i], i % 2 ? rgbx : rgb) << i;
    EXPECT_EQ(greyDecoded[i], g) << i;
    EXPECT_EQ(encoded[i], enc) << i;
    EXPECT_EQ(joined[i], j) << i;
  }
  EXPECT_EQ(jpgIdsInUse(), 0);
  const auto check = oracle::decompress(j);
  EXPECT_TRUE(check.ok);
  EXPECT_EQ(check.warnings, 0);
}

}  // namespace
