// The vector kernels (SSE2, AVX2 where the processor has it) give the plain kernels' bytes, for
// ordinary data and for the extremes each one's arithmetic has to survive, and write nothing
// outside their output.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "drv/jpeg/JPGCodec.h"
#include "drv/jpeg/JPGKernels.h"

namespace {

struct Rng {
  uint32_t s;
  uint32_t next() {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
  }
  int range(int lo, int hi) { return lo + int(next() % uint32_t(hi - lo + 1)); }
};

// The vector kernel sets this processor has, each to be held against the plain one.
std::vector<const JpgKernels*> vectorKernels() {
  std::vector<const JpgKernels*> v;
  for (JpgIsa isa : {JpgIsa::kSse2, JpgIsa::kAvx2})
    if (const JpgKernels* k = jpgKernelsFor(isa)) v.push_back(k);
  return v;
}

const JpgKernels& plain() { return *jpgKernelsFor(JpgIsa::kScalar); }

TEST(Kernels, BestChoiceIsOneOfTheSetsAndX86HasSse2) {
#if defined(__x86_64__)
  ASSERT_NE(jpgKernelsFor(JpgIsa::kSse2), nullptr);
  EXPECT_NE(jpgKernels().isa, JpgIsa::kScalar);
#endif
  const JpgKernels* chosen = jpgKernelsFor(jpgKernels().isa);
  EXPECT_EQ(chosen, &jpgKernels());
}

// Decoder multipliers of a quantisation table whose entries come from `pick`.
template <typename F>
JpgQuantTable decoderTable(F pick) {
  JpgQuantTable t{};
  for (int n = 0; n < 64; ++n) t.q[n] = uint8_t(pick(n));
  jpgBuildQuantTb(0, &t, 12);
  return t;
}

TEST(Kernels, InverseTransformMatchesThePlainOne) {
  Rng rng{7};
  struct Case {
    const char* name;
    int maxCoef;  // coefficients drawn from -maxCoef..maxCoef
    int maxQ;     // quantisers 1..maxQ
    int density;  // one coefficient in `density` is set
  };
  // Ordinary data, busy blocks, and damaged data far beyond what 16 bits could hold (the
  // arithmetic wraps as the plain kernel's does).
  const Case cases[] = {{"ordinary", 60, 40, 6},        {"busy", 400, 20, 1},
                        {"dc only", 2047, 16, 64},      {"full range", 32767, 255, 2},
                        {"large sparse", 2047, 255, 8}, {"unit quantisers", 1023, 1, 1}};
  for (const JpgKernels* k : vectorKernels())
    for (const Case& c : cases) {
      int bad = 0;
      for (int iter = 0; iter < 3000; ++iter) {
        const JpgQuantTable t = decoderTable([&](int) { return rng.range(1, c.maxQ); });
        alignas(32) int16_t coef[64] = {};
        for (int n = 0; n < 64; ++n)
          if (n == 0 || rng.range(1, c.density) == 1)
            coef[n] = int16_t(rng.range(-c.maxCoef, c.maxCoef));
        // Output in the middle of a wider area: the bytes around the block stay as they were.
        constexpr uint32_t kStride = 24;
        std::vector<uint8_t> want(kStride * 10, 0xA5), got(want);
        plain().idct(coef, t.mul, want.data() + kStride + 8, kStride);
        k->idct(coef, t.mul, got.data() + kStride + 8, kStride);
        bad += got != want;
      }
      EXPECT_EQ(bad, 0) << k->name << " " << c.name;
    }
}

TEST(Kernels, ForwardTransformMatchesThePlainOne) {
  Rng rng{11};
  // Blocks of samples by kind: noise, the extremes, stripes and checkerboards of 0 and 255
  // (the transform's largest outputs), gentle gradients.
  auto fill = [&](int kind, int16_t* b) {
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        int v;
        switch (kind) {
          case 0:
            v = rng.range(0, 255);
            break;
          case 1:
            v = 0;
            break;
          case 2:
            v = 255;
            break;
          case 3:
            v = ((x + y) & 1) ? 255 : 0;
            break;
          case 4:
            v = (x & 1) ? 255 : 0;
            break;
          case 5:
            v = (y & 1) ? 0 : 255;
            break;
          case 6:
            v = ((x / 2 + y / 2) & 1) ? 255 : 0;
            break;
          case 7:
            v = ((x ^ y) & 4) ? 0 : 255;
            break;
          default:
            v = 128 + 8 * x - 7 * y + rng.range(-3, 3);
            break;
        }
        b[8 * y + x] = int16_t(v - 128);
      }
  };
  for (const JpgKernels* k : vectorKernels())
    for (int quality : {0, 10, 50, 72, 90, 100}) {
      JpgQuantTable luma{}, chroma{};
      ASSERT_EQ(jpgInitQuantTables(&luma, &chroma, quality), 1);
      jpgBuildEncoderDivisors(&luma);
      jpgBuildEncoderDivisors(&chroma);
      int bad = 0;
      for (int iter = 0; iter < 2000; ++iter) {
        alignas(32) int16_t block[64];
        fill(iter % 9, block);
        const JpgQuantTable& t = (iter & 1) ? chroma : luma;
        alignas(32) int16_t want[64], got[64];
        const uint64_t wantMask = plain().fdctQuant(block, &t, want);
        const uint64_t gotMask = k->fdctQuant(block, &t, got);
        bad += memcmp(want, got, sizeof want) != 0 || wantMask != gotMask;
        // In pairs, with the other block of another kind: each half gives its own block's
        // result.
        alignas(32) int16_t other[64], pairA[64], pairB[64], otherWant[64];
        fill((iter + 4) % 9, other);
        const uint64_t otherMask = plain().fdctQuant(other, &t, otherWant);
        uint64_t masks[2];
        k->fdctQuant2(block, other, &t, pairA, pairB, masks);
        bad += memcmp(want, pairA, sizeof want) != 0 || masks[0] != wantMask;
        bad += memcmp(otherWant, pairB, sizeof want) != 0 || masks[1] != otherMask;
      }
      EXPECT_EQ(bad, 0) << k->name << " quality " << quality;
    }
  // The mask names exactly the non-zero coefficients, in zig-zag order.
  alignas(32) int16_t block[64], coef[64];
  JpgQuantTable t{};
  jpgInitQuantTables(&t, nullptr, 50);
  jpgBuildEncoderDivisors(&t);
  fill(0, block);
  std::vector<const JpgKernels*> all = vectorKernels();
  all.push_back(&plain());
  for (const JpgKernels* k : all) {
    const uint64_t mask = k->fdctQuant(block, &t, coef);
    for (int z = 0; z < 64; ++z)
      EXPECT_EQ((mask >> z) & 1, coef[pZz2Org[z]] != 0 ? 1u : 0u) << k->name << " " << z;
  }
}

TEST(Kernels, ColourRowsMatchThePlainOneAndStayInTheirRow) {
  Rng rng{3};
  for (const JpgKernels* k : vectorKernels())
    for (int shift = 0; shift <= 1; ++shift)
      for (uint32_t bpp : {3u, 4u})
        for (int seqCode = 0; seqCode < 6; ++seqCode) {
          uint32_t seq[4];
          ASSERT_EQ(jpgGetRGBChannelSequence(bpp, uint32_t(seqCode), seq), 1);
          if (seq[0] >= bpp || seq[1] >= bpp || seq[2] >= bpp) continue;
          for (int width : {1, 2, 7, 8, 15, 16, 17, 31, 32, 33, 47, 64, 100}) {
            const size_t n = size_t(width);
            std::vector<uint8_t> y(n), cb(n), cr(n);
            for (int i = 0; i < width; ++i) {
              // Extremes often, so that every clamp is reached.
              auto sample = [&]() {
                const int r = rng.range(0, 9);
                return uint8_t(r == 0 ? 0 : (r == 1 ? 255 : rng.range(0, 255)));
              };
              y[size_t(i)] = sample();
              cb[size_t(i)] = sample();
              cr[size_t(i)] = sample();
            }
            const size_t bytes = size_t(width) * bpp;
            std::vector<uint8_t> want(bytes + 16, 0x5A), got(want);
            EXPECT_EQ(
                plain().yccRow(y.data(), cb.data(), cr.data(), want.data(), width, shift, bpp, seq),
                width);
            const int32_t done =
                k->yccRow(y.data(), cb.data(), cr.data(), got.data(), width, shift, bpp, seq);
            ASSERT_GE(done, 0);
            ASSERT_LE(done, width);
            ASSERT_EQ(done % 2, 0);
            plain().yccRow(y.data() + done, cb.data() + (done >> shift),
                           cr.data() + (done >> shift), got.data() + size_t(done) * bpp,
                           width - done, shift, bpp, seq);
            EXPECT_EQ(got, want) << k->name << " shift " << shift << " bpp " << bpp << " order "
                                 << seqCode << " width " << width;
          }
        }
}

TEST(Kernels, ColourSamplingMatchesThePlainOneAtEveryFactorAndOrder) {
  Rng rng{5};
  for (const JpgKernels* k : vectorKernels())
    for (int h = 1; h <= 2; ++h)
      for (int v = 1; v <= 2; ++v)
        for (uint32_t bpp : {3u, 4u})
          for (int seqCode = 0; seqCode < 6; ++seqCode) {
            uint32_t seq[4];
            ASSERT_EQ(jpgGetRGBChannelSequence(bpp, uint32_t(seqCode), seq), 1);
            if (seq[0] >= bpp || seq[1] >= bpp || seq[2] >= bpp) continue;
            // The MCU's last byte is its buffer's last: a read past it is caught by the
            // address checker.
            const uint32_t rowBytes = uint32_t(8 * h) * bpp, stride = rowBytes + 8;
            const size_t rows = size_t(8 * v);
            std::vector<uint8_t> px(stride * (rows - 1) + rowBytes);
            for (int iter = 0; iter < 20; ++iter) {
              for (uint8_t& b : px) {
                const int r = rng.range(0, 5);
                b = uint8_t(r == 0 ? 0 : (r == 1 ? 255 : rng.range(0, 255)));
              }
              const uint8_t* mcu = px.data();
              alignas(32) int16_t want[kJpgMcuBlocks][64], got[kJpgMcuBlocks][64];
              memset(want, 0x11, sizeof want);
              memset(got, 0x11, sizeof got);
              plain().sampleRgb(mcu, stride, bpp, seq, h, v, want);
              k->sampleRgb(mcu, stride, bpp, seq, h, v, got);
              bool same = true;
              for (int b = 0; b < kJpgMcuBlocks; ++b) {
                const bool used = b < h * v || b >= 4;
                if (used) same = same && memcmp(want[b], got[b], sizeof want[b]) == 0;
              }
              EXPECT_TRUE(same) << k->name << " h " << h << " v " << v << " bpp " << bpp
                                << " order " << seqCode;
              if (!same) break;
            }
          }
}

}  // namespace
