#pragma once
// Records and operations of the baseline JPEG codec shared by the decoder, the encoder and the
// per-image-id engine.
#include <cstdint>

#include "drv/jpeg/StandardJpegTables.h"

// Quantisation table: 64 quantisers in natural order, then the transform's multipliers
// (decoding) or divisors (encoding). The encoder also keeps exact reciprocals of its divisors.
struct JpgQuantTable {
  uint8_t q[64];
  int32_t mul[64];
  // Encoder: floor(a / divisor) for a < 2^15 from 16-bit reciprocals (jpgDivide).
  uint16_t qadd[64], qmul[64], qscale[64];
};

// Bits the decoder's Huffman tables look up at once: most codes with their value bits.
constexpr int kJpgFastBits = 11;

// Huffman table: DHT counts and values, canonical codes, and the decoder's fast lookups.
struct JpgHuffTable {
  int32_t nSymbols;
  uint8_t counts[16];
  uint8_t values[256];
  uint16_t code[256];
  uint8_t length[256];
  uint8_t groupStart[17];   // first index whose code begins with n one bits
  int32_t shortEnd;         // index just past the last code of at most 8 bits
  uint8_t look8[256];       // next 8 bits -> index of the short code, or 255
  uint8_t symToIndex[256];  // encoder: symbol value -> index
  uint32_t enc[256];        // encoder: symbol value -> code << 5 | length
  // Decoder: direct lookup of the next kJpgFastBits bits (length << 8 | symbol, 0 = longer
  // code) and the canonical limits for the longer ones.
  uint16_t fast[1 << kJpgFastBits];
  // AC decoding: for the next kJpgFastBits bits, a code and its value bits that fit in them at
  // once, the value within a byte: value << 8 | run << 4 | total length (value 0: a code
  // without value bits, EOB or ZRL); 0 = not such a pair.
  int16_t fastAc[1 << kJpgFastBits];
  int32_t maxcode[18];  // largest code of each length, -1 if none
  int32_t valoff[17];   // index of the first code of each length minus that code
  bool built;
};

// One restart interval of entropy-coded data.
struct JpgEcsNode {
  uint8_t* data;
  uint32_t size;  // capacity while filling, byte count once closed
  uint32_t bytePos;
  uint8_t bitPos;
  int32_t mcuCount;
  int32_t dcPred[4];
  JpgEcsNode* next;
  // Encoder: bits not yet in data, right-aligned, and their count.
  uint64_t bitAcc;
  int32_t bitCount;
};

// The per-image record of the engine.
struct JpgImage {
  uint8_t* pOut;
  uint32_t outSize;
  uint32_t lCompactMode;
  JpgEcsNode* first;
  JpgEcsNode* cur;
  int32_t lStripCount;
  uint32_t lStripMCUCount;
  uint32_t bytesPerPixel;
  uint32_t channelSeq;
  uint32_t comps;
  uint32_t precision;
  uint32_t width;
  uint32_t height;
  uint32_t xDensity;
  uint32_t yDensity;
  uint32_t frameType;
  uint8_t H[4], V[4], HRep[4], VRep[4];
  uint8_t quantId[4], dcId[4], acId[4];
  int32_t lMCUWidth;
  int32_t lMCUHeight;
  JpgQuantTable* quant[4];
  JpgHuffTable* dc[4];
  JpgHuffTable* ac[4];
  uint8_t* zeroPos;
  // Node i of the chain by index (decoding), built after the parse.
  JpgEcsNode** nodeIndex;
  int32_t nodeIndexCount;
  // Encoding: the first line the next strip must start at.
  uint32_t nextLine;
};

// Zeroed bytes that every entropy buffer carries behind its last byte, so that the bit reader's
// 8-byte look-ahead never leaves the block.
constexpr uint32_t kEcsSlack = 16;

// Zig-zag position -> natural index (constant, so that tables built from it need no code at
// load time).
inline constexpr uint8_t pZz2Org[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
extern const int32_t kAanScales[64];  // 2^14 * s(u) * s(v)
const uint8_t* jpgRangeByte();        // pRangeBYTE: 64 zeros, 0..255, 64 times 255

// Common routines.
int jpgGetRGBChannelSequence(uint32_t nChannels, uint32_t code, uint32_t out[4]);
int jpgIsBigEndian();
uint16_t jpgGetWord(const uint8_t* buf, uint32_t* pos);
uint32_t jpgGetDWord(const uint8_t* buf, uint32_t* pos);

// Table builders.
int jpgBuildQuantTb(int flag, JpgQuantTable* table, int shift);
int jpgBuildHuffTb(JpgHuffTable* table);
int jpgSortHuffTb(JpgHuffTable* table);
bool jpgHuffCountsValid(const uint8_t counts[16]);
int jpgBuildZeroPositionTable(int flag, uint8_t* table);
void jpgResetJpeg(JpgImage* img);

// Segment nodes.
JpgEcsNode* jpgAllocateFirstECS(int32_t* count, uint32_t initialSize, uint32_t growth);
int jpgAllocateECSData(JpgEcsNode* node, uint32_t used, uint32_t growth);
void jpgFreeECS(JpgEcsNode* first);

// Decoder.
int jpgReadJFIFInfo(JpgImage* img, const uint8_t* data, uint32_t size, uint32_t headerOnly);
int jpgDecodeMCU(JpgEcsNode* node, JpgImage* img, uint8_t* const planes[4],
                 const uint32_t strides[4]);
// Up to `count` MCUs one after the other (MCU i at planes[c] + i * 8 * H[c]). 1 when all were
// decoded; else the error, *done naming the MCU that failed (consumed as jpgDecodeMCU does).
int jpgDecodeMCUs(JpgEcsNode* node, JpgImage* img, uint8_t* const planes[4],
                  const uint32_t strides[4], int32_t count, int32_t* done);
int jpgConvertYCbCrToRGB(const uint8_t* src, uint8_t* dst, uint32_t precision, uint32_t comps,
                         uint32_t outBytesPerPixel, uint32_t channelSeq, int32_t srcWidth,
                         int32_t srcLines, uint32_t srcStride, int32_t dstWidth, int32_t dstLines,
                         uint32_t dstStride, uint32_t fractionBits);
// The inverse transform of one block, dequantised on the fly, into 8 rows of 8 samples.
void jpgIdctBlock(const int16_t* coef, const int32_t* mul, uint8_t* out, uint32_t stride);
// One output row from the component rows (component c's sample of pixel x at x >> shifts[c]):
// grey copied, colour converted with the 12-bit tables (jpgYccTablesOnce first).
void jpgYccTablesOnce();
void jpgConvertPlanarRow(const uint8_t* const rows[3], const uint8_t shifts[3], uint32_t comps,
                         uint8_t* out, int32_t width, uint32_t outBpp, const uint32_t seq[4]);

// Encoder.
int jpgInitQuantTables(JpgQuantTable* luma, JpgQuantTable* chroma, int quality);
int jpgInitHuffTables(JpgHuffTable* dc0, JpgHuffTable* dc1, JpgHuffTable* ac0, JpgHuffTable* ac1);
void jpgBuildEncoderDivisors(JpgQuantTable* t);
// The reciprocal form of a divisor (1..65535) used by the quantiser, and the division it gives:
// each step a 16 x 16-bit product's high half, so that eight lanes work at once.
void jpgReciprocal(uint32_t divisor, uint16_t* add, uint16_t* mul, uint16_t* scale);
inline uint32_t jpgDivide(uint32_t a, uint32_t add, uint32_t mul, uint32_t scale) {
  const uint32_t t = ((a + add) * mul) >> 16;
  return ((t << 1) * scale) >> 16;
}
void jpgSetBuffer(const uint8_t* src, uint8_t* dst, uint32_t bytesPerPixel, uint32_t width,
                  uint32_t lines, uint32_t srcStride, uint32_t paddedWidth, uint32_t paddedLines,
                  uint32_t dstStride);
// The level-shifted blocks of one MCU: luma (or grey) blocks 0..3 row by row, Cb 4, Cr 5.
constexpr int kJpgMcuBlocks = 6;
// Samples one MCU whose top-left pixel is at src.
void jpgSampling_C1(const uint8_t* src, uint32_t stride, const JpgImage* img,
                    int16_t blocks[kJpgMcuBlocks][64]);
void jpgSampling_C3(const uint8_t* src, uint32_t stride, const JpgImage* img,
                    int16_t blocks[kJpgMcuBlocks][64]);

// Codes one MCU into the node (bytes without stuffing); grows the node's buffer when the largest
// possible MCU might not fit. 1 or -3.
int jpgEncodeMCU(JpgEcsNode* node, const JpgImage* img, int16_t blocks[kJpgMcuBlocks][64]);
// Writes the pending bits of the node (the last byte padded with 0 bits) and closes its size.
void jpgCloseEncodedNode(JpgEcsNode* node);
int jpgWriteJFIFInfo(JpgImage* img);
