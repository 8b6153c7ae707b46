#pragma once
// The baseline tables of ITU-T T.81 Annex K, shared by the codec, the JFIF writer and the device
// items (which hand them to clients).
#include <cstdint>

extern const uint8_t kStdLumaQ[64];    // K.1, natural order
extern const uint8_t kStdChromaQ[64];  // K.2
extern const uint8_t kStdDcLumaCounts[16], kStdDcLumaValues[12];
extern const uint8_t kStdDcChromaCounts[16], kStdDcChromaValues[12];
extern const uint8_t kStdAcLumaCounts[16], kStdAcLumaValues[162];
extern const uint8_t kStdAcChromaCounts[16], kStdAcChromaValues[162];

// A Huffman table as a DHT segment carries it: 16 code counts, then `count` symbol values.
struct JpgStdHuffmanTable {
  const uint8_t* counts;
  const uint8_t* values;
  uint32_t count;
};
// Luminance DC, luminance AC, chrominance DC, chrominance AC.
extern const JpgStdHuffmanTable kStdHuffmanTables[4];
