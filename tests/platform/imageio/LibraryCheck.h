#pragma once
// Reads image files with the libraries themselves (libtiff, libpng, libjpeg-turbo with libexif,
// giflib, OpenJPEG) and BMP by its byte layout, independently of platform/imageio, so that the
// tests see what any other program would see in our files.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace imageio_check {

struct Facts {
  bool ok = false;
  std::string error;
  uint32_t width = 0, height = 0;
  int bitsPerSample = 0, samplesPerPixel = 0;  // as the file stores them
  double xDpi = 0, yDpi = 0;                   // 0 when the file states none
  int orientation = 0;                         // 0 when the file states none
  std::string make, model;
  // Every sample scaled to 8 bits (1-bit pixels 0 or 255, 16-bit samples their high byte),
  // rows of width * samplesPerPixel bytes.
  std::vector<uint8_t> samples8;
};

Facts tiffFacts(const std::filesystem::path& file);
Facts tiffFactsInMemory(const std::vector<uint8_t>& bytes);  // through libtiff's client I/O
Facts pngFacts(const std::filesystem::path& file);
Facts jpegFacts(const std::filesystem::path& file);  // EXIF entries through libexif
Facts gifFacts(const std::filesystem::path& file);   // samplesPerPixel 1 for a grey palette
Facts jp2Facts(const std::filesystem::path& file);   // no resolution: OpenJPEG does not read it
Facts bmpFacts(const std::filesystem::path& file);

std::vector<uint8_t> readBytes(const std::filesystem::path& file);

}  // namespace imageio_check
