#pragma once
// The codec's inner loops, built three ways: plain C++ (any processor), SSE2 (every x86-64
// processor) and AVX2 (taken when the processor has it). All three give the same bytes; the
// plain one is the reference the others are tested against. The AVX2 file keeps no global that
// needs code to initialise: that code would run as the library loads, on any processor.
#include <cstdint>

struct JpgQuantTable;

enum class JpgIsa : int { kScalar = 0, kSse2 = 1, kAvx2 = 2 };

struct JpgKernels {
  JpgIsa isa;
  const char* name;
  // Inverse transform of one block (coefficients in natural order, dequantised by mul on the
  // fly) into 8 rows of 8 samples, stride bytes apart.
  void (*idct)(const int16_t* coef, const int32_t* mul, uint8_t* out, uint32_t stride);
  // Forward transform of one block of level-shifted samples (-128..127, natural order),
  // quantised by truncation with the table's reciprocals, into coef (natural order). Returns
  // the non-zero coefficients in zig-zag order: bit k set when coef[pZz2Org[k]] is not zero.
  uint64_t (*fdctQuant)(const int16_t* block, const JpgQuantTable* t, int16_t* coef);
  // The same for two blocks of one table (masks[0] for a, masks[1] for b).
  void (*fdctQuant2)(const int16_t* a, const int16_t* b, const JpgQuantTable* t, int16_t* coefA,
                     int16_t* coefB, uint64_t* masks);
  // Colour conversion of the first pixels of a row: Y at y[x], Cb and Cr at cb[x >> shift],
  // cr[x >> shift] (shift 0 or 1), R, G, B at bytes seq[0..2] of each bpp-byte pixel (a fourth
  // byte, seq[3], is 0). Returns how many leading pixels it did (an even number); the caller
  // does the rest.
  int32_t (*yccRow)(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                    int32_t width, int shift, uint32_t bpp, const uint32_t* seq);
  // One MCU of luma factors h x v (chroma one block, taken at every h-th pixel of every v-th
  // row) from pixels of bpp bytes (R, G, B at bytes seq[0..2]) to level-shifted Y, Cb, Cr
  // blocks: luma blocks at blocks[0 .. h*v-1], Cb at blocks[4], Cr at blocks[5].
  void (*sampleRgb)(const uint8_t* src, uint32_t stride, uint32_t bpp, const uint32_t* seq, int h,
                    int v, int16_t (*blocks)[64]);
};

// The kernels of one instruction set, or null where this processor (or build) lacks it.
const JpgKernels* jpgKernelsFor(JpgIsa isa);
// The best kernels of this processor, chosen once.
const JpgKernels& jpgKernels();

// The fast transforms' multipliers, 8 fraction bits, shared by every kernel set.
// Inverse transform.
constexpr int32_t kJpgFix1_414 = 362;
constexpr int32_t kJpgFix1_847 = 473;
constexpr int32_t kJpgFix1_082 = 277;
constexpr int32_t kJpgFix2_613 = 669;
// Forward transform.
constexpr int32_t kJpgFix0_382 = 98;
constexpr int32_t kJpgFix0_541 = 139;
constexpr int32_t kJpgFix0_707 = 181;
constexpr int32_t kJpgFix1_306 = 334;

// The conversion coefficients the kernels share, 12 fraction bits.
struct JpgColourCoefficients {
  // Decoding: R = Y + cr*crR, G = Y + cb*cbG + cr*crG, B = Y + cb*cbB (chroma less 128).
  int32_t crR, cbG, crG, cbB;
  // Encoding: Y, Cb, Cr = sums of R, G, B times these (Cb and Cr plus 128).
  int32_t y[3], cb[3], cr[3];
};
extern const JpgColourCoefficients kJpgColour;

// Per instruction set (defined in their own files; null outside x86-64).
const JpgKernels* jpgSse2Kernels();
const JpgKernels* jpgAvx2Kernels();
