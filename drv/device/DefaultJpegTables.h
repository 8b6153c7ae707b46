#pragma once
// The baseline tables of ITU-T T.81 Annex K, copied into every device item.
#include <cstdint>

extern const uint8_t kDefaultLumaQuant[64];
extern const uint8_t kDefaultChromaQuant[64];
// Luminance DC, luminance AC, chrominance DC, chrominance AC.
extern const uint8_t kDefaultHuffmanBits[4][16];
extern const uint8_t kDefaultHuffmanValues[4][256];
