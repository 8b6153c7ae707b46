#pragma once
// Test pictures, a scratch folder and small byte helpers of the image file tests.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TestFolder.h"
#include "platform/imageio/ImageIO.h"

namespace imageio_test {

// A folder of its own per test, under VT_TEST_TMP when the suite sets it.
class TempFolder : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = testsupport::freshTestFolder("imageio"); }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::filesystem::path path(const std::string& name) const { return folder_ / name; }
  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
};

// A picture without sharp edges (so JPEG stays close), different in every channel, never all
// black or white; 16-bit samples carry a low byte of their own.
inline imageio::Raster makePattern(uint32_t width, uint32_t height, uint16_t bits,
                                   uint16_t samples) {
  imageio::Raster r;
  r.layout = imageio::PixelLayout::packed(width, height, bits, samples);
  r.pixels.assign(r.layout.bytesPerRow * height, 0);
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = r.pixels.data() + y * r.layout.bytesPerRow;
    for (uint32_t x = 0; x < width; ++x) {
      for (uint32_t c = 0; c < samples; ++c) {
        const uint32_t t = (x * 3 + y * 5 + c * 40 + 37) % 510;
        const uint8_t v = uint8_t(t < 256 ? t : 509 - t);
        if (bits == 1) {
          if ((x / 3 + y) % 2 == 0) row[x / 8] |= uint8_t(0x80 >> (x % 8));
        } else if (bits == 8) {
          row[x * samples + c] = v;
        } else {
          const uint16_t w = uint16_t(v << 8 | ((x * 17 + y) & 0xFF));
          std::memcpy(row + 2 * (x * samples + c), &w, 2);
        }
      }
    }
  }
  return r;
}

// Every sample scaled to 8 bits: 1-bit pixels 0 or 255, 16-bit samples their high byte.
inline std::vector<uint8_t> samples8(const imageio::Raster& r) {
  std::vector<uint8_t> out;
  const imageio::PixelLayout& l = r.layout;
  for (uint32_t y = 0; y < l.height; ++y) {
    const uint8_t* row = r.row(y);
    for (size_t i = 0; i < size_t(l.width) * l.samplesPerPixel; ++i) {
      if (l.bitsPerSample == 1) {
        out.push_back((row[i / 8] >> (7 - i % 8)) & 1 ? 255 : 0);
      } else if (l.bitsPerSample == 16) {
        uint16_t w;
        std::memcpy(&w, row + 2 * i, 2);
        out.push_back(uint8_t(w >> 8));
      } else {
        out.push_back(row[i]);
      }
    }
  }
  return out;
}

// Same size, no sample further off than maxDiff, and on average no more than meanDiff.
inline void expectClose(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want,
                        int maxDiff, double meanDiff) {
  ASSERT_EQ(got.size(), want.size());
  int worst = 0;
  double sum = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    const int d = std::abs(int(got[i]) - int(want[i]));
    worst = std::max(worst, d);
    sum += d;
  }
  EXPECT_LE(worst, maxDiff);
  EXPECT_LE(sum / double(got.size()), meanDiff);
}

inline std::string readFile(const std::filesystem::path& file) {
  return testsupport::ReadFile(file);
}

inline void writeBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline size_t filesIn(const std::filesystem::path& folder) {
  return size_t(std::distance(std::filesystem::directory_iterator(folder), {}));
}

// The bytes of a JPEG from its first SOS marker on.
inline std::vector<uint8_t> scanData(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return {jpeg.begin() + i, jpeg.end()};
  }
  return {};
}

// How many segments of the marker come before the scan.
inline int countSegments(const std::vector<uint8_t>& jpeg, uint8_t marker) {
  int count = 0;
  size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
    if (jpeg[at + 1] == marker) ++count;
    at += 2 + (size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]);
  }
  return count;
}

}  // namespace imageio_test
