#pragma once
// Shared pieces of the codecs: where encoded bytes go, how rows come out of an image, the
// resolution units of the formats, EXIF blocks, and each codec's two entries.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "platform/imageio/ImageIO.h"

namespace imageio::detail {

// The largest raster a file may ask for; a header beyond it is refused before any allocation.
constexpr uint64_t kMaxRasterBytes = uint64_t(1) << 30;
// The largest picture a scanned page makes: the widest sheet (A3's 11.7 inches, rounded up) at the
// highest resolution across, a long page's length along, and no more than an A3 sheet's area at
// that resolution. Anything larger is no page, whatever its header says.
constexpr uint64_t kMaxPageDpi = 1200;
constexpr uint64_t kMaxPageWidthInches = 12;
constexpr uint64_t kMaxPageLengthInches = 132;
constexpr uint64_t kMaxPageSquareInches = 12 * 17;
// A failure for a width and height beyond a page (either side may be the long one).
Status checkPageSize(uint64_t width, uint64_t height);
constexpr double kMetresPerInch = 0.0254;
constexpr double kCentimetresPerInch = 2.54;

// Where an encoder writes: a file or a growing buffer, with seeking for the formats that patch
// their headers.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool write(const void* data, size_t count) = 0;
  virtual bool seek(uint64_t offset) = 0;
  virtual uint64_t tell() const = 0;
  virtual uint64_t size() const = 0;
  // For libtiff, which may read back what it wrote.
  virtual size_t read(void* data, size_t count) = 0;
};

class MemorySink final : public ByteSink {
 public:
  explicit MemorySink(std::vector<uint8_t>& bytes) : bytes_(bytes) { bytes_.clear(); }
  bool write(const void* data, size_t count) override;
  bool seek(uint64_t offset) override;
  uint64_t tell() const override { return position_; }
  uint64_t size() const override { return bytes_.size(); }
  size_t read(void* data, size_t count) override;

 private:
  std::vector<uint8_t>& bytes_;
  uint64_t position_ = 0;
};

class FileSink final : public ByteSink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}
  bool write(const void* data, size_t count) override;
  bool seek(uint64_t offset) override;
  uint64_t tell() const override;
  uint64_t size() const override;
  size_t read(void* data, size_t count) override;

 private:
  std::FILE* file_;
};

// A file written whole or not at all: bytes go to a new file beside the target, which replaces
// the target on commit(); without commit() the new file is removed.
class AtomicFile {
 public:
  explicit AtomicFile(std::filesystem::path target) : target_(std::move(target)) {}
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  Status open();
  std::FILE* file() { return file_; }
  const std::filesystem::path& temporaryPath() const { return temporary_; }
  Status commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::FILE* file_ = nullptr;
};

Status readWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes);

// The image's rows, top to bottom, each packedRowBytes() long (padding dropped).
class RowReader {
 public:
  explicit RowReader(const BitmapImage& image);
  // Rewinds a provider; call once before the first row.
  void start();
  // The next row, or a failure when a provider ran short.
  Status next(const uint8_t*& row);
  const PixelLayout& layout() const { return layout_; }

 private:
  const BitmapImage& image_;
  PixelLayout layout_;
  uint32_t y_ = 0;
  std::vector<uint8_t> buffer_;
};

// Every row of the image in one packed raster (for the formats that need the whole picture).
Status readAllRows(const BitmapImage& image, Raster& out);

// One row as 8-bit samples (1-bit pixels become 0 or 255, 16-bit samples keep their high byte);
// `out` holds width * samplesPerPixel bytes.
void rowTo8Bit(const PixelLayout& layout, const uint8_t* row, uint8_t* out);

// A packed raster of the given layout, refused when larger than kMaxRasterBytes.
Status allocateRaster(uint32_t width, uint32_t height, uint16_t bitsPerSample,
                      uint16_t samplesPerPixel, Raster& out);

// Pixels per metre for a resolution in dpi, and back: a value that came from a whole number of
// dpi gives that number again.
uint32_t pixelsPerMetre(double dpi);
double dpiFromPixelsPerMetre(uint32_t ppm);

Status checkProperties(const ImageProperties& properties);
bool hasProperties(const ImageProperties& properties);

// An EXIF block ("Exif\0\0" and the TIFF structure, as a JPEG's APP1 holds it) with the
// orientation, Make, Model and resolution that are set; `existing` (may be empty) is kept and
// what is set replaces its entries.
Status buildExif(std::span<const uint8_t> existing, const ImageProperties& properties,
                 Resolution resolution, std::vector<uint8_t>& out);
// Orientation, Make and Model from an EXIF block (with or without the "Exif\0\0" header).
void readExif(std::span<const uint8_t> block, ImageProperties& properties);
constexpr uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};

// The codecs. Encoders are handed a checked layout and properties.
Status encodeTiff(ByteSink& sink, const BitmapImage& image, const ImageProperties& properties);
Status decodeTiff(std::span<const uint8_t> bytes, DecodedImage& out);
Status setTiffMakeAndModel(const std::filesystem::path& file, std::string_view make,
                           std::string_view model);
Status encodePng(ByteSink& sink, const BitmapImage& image, const ImageProperties& properties);
Status decodePng(std::span<const uint8_t> bytes, DecodedImage& out);
Status insertPngExif(std::span<const uint8_t> png, const ImageProperties& properties,
                     std::vector<uint8_t>& out);
Status encodeJpeg(ByteSink& sink, const BitmapImage& image, const ImageProperties& properties,
                  int quality);
Status decodeJpeg(std::span<const uint8_t> bytes, DecodedImage& out);
Status insertJpegExif(std::span<const uint8_t> jpeg, const ImageProperties& properties,
                      std::vector<uint8_t>& out);
Status encodeGif(ByteSink& sink, const BitmapImage& image);
Status decodeGif(std::span<const uint8_t> bytes, DecodedImage& out);
Status encodeJp2(ByteSink& sink, const BitmapImage& image);
Status decodeJp2(std::span<const uint8_t> bytes, DecodedImage& out);
Status encodeBmp(ByteSink& sink, const BitmapImage& image);
Status decodeBmp(std::span<const uint8_t> bytes, DecodedImage& out);

}  // namespace imageio::detail
