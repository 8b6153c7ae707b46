#pragma once
// libjpeg-turbo as the test oracle, forced onto its C code paths (its SIMD transforms round
// differently), and deterministic test pictures.
#include <cstdint>
#include <string>
#include <vector>

namespace oracle {

struct Picture {
  int width = 0, height = 0, comps = 0;  // comps 1 (grey) or 3 (RGB)
  std::vector<uint8_t> pixels;           // rows of width * comps bytes
};

// A page-like picture: gradients, sharp strokes and a little noise, from a seed.
Picture makePicture(int width, int height, int comps, uint32_t seed);

struct EncodeOptions {
  int quality = 75;
  int h = 1, v = 1;          // luma sampling factors (colour; grey with greyFactors)
  bool greyFactors = false;  // a grey stream carries h x v too (as a colour file made grey does)
  int restartInterval = 0;   // in MCUs
  int restartRows = 0;       // in MCU rows (used when restartInterval is 0)
  bool ifast = true;
  int densityUnit = 0;  // JFIF: 0 aspect ratio only, 1 dots per inch, 2 dots per centimetre
  int xDensity = 1, yDensity = 1;
};
std::vector<uint8_t> compress(const Picture& pic, const EncodeOptions& opt);

struct Decoded {
  bool ok = false;
  int warnings = 0;
  std::string error;
  Picture pic;
};
// Decodes with the fast integer transform and without fancy upsampling.
Decoded decompress(const std::vector<uint8_t>& stream);

// Quantised coefficients of every component, blocks in raster order, natural order inside.
struct Coefficients {
  bool ok = false;
  int warnings = 0;
  std::vector<int> widthInBlocks, heightInBlocks;
  std::vector<std::vector<int16_t>> comps;
  std::vector<std::vector<uint16_t>> quant;  // natural order
};
Coefficients readCoefficients(const std::vector<uint8_t>& stream);

// Encodes the given component planes (already YCbCr and subsampled, padded to whole blocks)
// with the fast integer transform and the given quantisation tables (natural order), and
// returns the quantised coefficients that libjpeg computes for them.
Coefficients forwardCoefficients(const std::vector<std::vector<uint8_t>>& planes,
                                 const std::vector<int>& planeWidths,
                                 const std::vector<int>& planeHeights, int width, int height, int h,
                                 int v, const std::vector<std::vector<uint8_t>>& quantTables);

// Re-encodes a stream's coefficients with the standard Huffman tables and no restarts.
std::vector<uint8_t> transcode(const std::vector<uint8_t>& stream);

struct HeaderFacts {
  bool ok = false;
  int width = 0, height = 0, comps = 0, h0 = 0, v0 = 0;
  int densityUnit = 0, xDensity = 0, yDensity = 0;
  int restartInterval = 0;
  bool jfif = false;
};
HeaderFacts headerFacts(const std::vector<uint8_t>& stream);

// The entropy-coded bytes behind the first SOS up to EOI (exclusive).
std::vector<uint8_t> entropyData(const std::vector<uint8_t>& stream);

}  // namespace oracle
