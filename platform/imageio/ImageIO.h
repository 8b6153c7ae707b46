#pragma once
// Our image file layer: what the data source and the Image Capture module need of the platform's
// image services. Bitmaps over the caller's rows or over a sequential data provider; image files
// (TIFF, PNG, JPEG, GIF, JPEG 2000, BMP) written whole or not at all and read back into a raster;
// an image destination with orientation, Make and Model; Make and Model put into an existing JPEG
// (without re-encoding) or TIFF; TIFF and the other formats encoded into and decoded from memory.
//
// Pixels: rows top to bottom, samples interleaved (RGB), 1-bit rows packed from the highest bit,
// 16-bit samples in host byte order. Grey is stored with 0 as black (for 1 bit a set bit is white).
// Every operation reports a Status: bad input (a layout, a file, a provider that runs short) gives
// a message for the caller's log, never a crash.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace imageio {

class [[nodiscard]] Status {
 public:
  static Status success() { return Status(); }
  static Status failure(std::string message) { return Status(std::move(message)); }
  bool ok() const { return !failed_; }
  const std::string& message() const { return message_; }

 private:
  Status() = default;
  explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}
  bool failed_ = false;
  std::string message_;
};

enum class FileKind { Tiff, Jpeg, Png, Gif, Jpeg2000, Bmp };

// Type identifiers as an Image Capture host names its document format ("public.tiff", ...).
std::optional<FileKind> fileKindForTypeIdentifier(std::string_view identifier);
std::string_view typeIdentifier(FileKind kind);
// The file-name extension a document of that kind gets ("tiff", "jpeg", "png", "gif", "jp2",
// "bmp").
std::string_view preferredExtension(FileKind kind);
// The kind a stream's first bytes announce.
std::optional<FileKind> sniffFileKind(std::span<const uint8_t> bytes);

// Dots per inch; 0 when not stated.
struct Resolution {
  double x = 0;
  double y = 0;
};

struct PixelLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t bitsPerSample = 8;    // 1 (grey only), 8 or 16
  uint16_t samplesPerPixel = 1;  // 1 grey, 3 RGB
  size_t bytesPerRow = 0;  // at least packedRowBytes(); extra bytes at a row's end are padding

  uint32_t bitsPerPixel() const { return uint32_t(bitsPerSample) * samplesPerPixel; }
  size_t packedRowBytes() const { return (size_t(bitsPerPixel()) * width + 7) / 8; }
  // A layout without padding.
  static PixelLayout packed(uint32_t width, uint32_t height, uint16_t bitsPerSample,
                            uint16_t samplesPerPixel);
};

// Whether the layout is one this layer handles (sizes non-zero, depths known, rows long enough).
Status checkLayout(const PixelLayout& layout);

// A bitmap over the caller's rows (no copy).
struct RasterView {
  PixelLayout layout;
  Resolution resolution;
  const uint8_t* pixels = nullptr;  // layout.height rows of layout.bytesPerRow bytes
};

// A bitmap that owns its rows.
struct Raster {
  PixelLayout layout;
  Resolution resolution;
  std::vector<uint8_t> pixels;

  RasterView view() const { return RasterView{layout, resolution, pixels.data()}; }
  const uint8_t* row(uint32_t y) const { return pixels.data() + size_t(y) * layout.bytesPerRow; }
};

// The source of a bitmap's bytes, read front to back: the image's rows, bytes per row each.
// Before every read of the image it is rewound; `release` runs once, when the last image that
// uses the provider is gone.
class SequentialDataProvider {
 public:
  struct Callbacks {
    std::function<size_t(uint8_t* buffer, size_t count)> getBytes;  // bytes delivered, 0 at end
    std::function<void()> rewind;
    std::function<void()> release;  // may be empty
  };
  explicit SequentialDataProvider(Callbacks callbacks) : callbacks_(std::move(callbacks)) {}
  ~SequentialDataProvider();
  SequentialDataProvider(const SequentialDataProvider&) = delete;
  SequentialDataProvider& operator=(const SequentialDataProvider&) = delete;

  // Reads exactly `count` bytes unless the provider ends first; answers the bytes read.
  size_t read(uint8_t* buffer, size_t count);
  void rewind();

 private:
  Callbacks callbacks_;
};

// An image to write: rows in memory or pulled from a provider.
class BitmapImage {
 public:
  // The rows must outlive the image.
  BitmapImage(const RasterView& view);  // NOLINT: a view is an image
  BitmapImage(const PixelLayout& layout, Resolution resolution,
              std::shared_ptr<SequentialDataProvider> provider);

  const PixelLayout& layout() const { return layout_; }
  Resolution resolution() const { return resolution_; }
  const uint8_t* pixels() const { return pixels_; }  // null for a provider's image
  const std::shared_ptr<SequentialDataProvider>& provider() const { return provider_; }

 private:
  PixelLayout layout_;
  Resolution resolution_;
  const uint8_t* pixels_ = nullptr;
  std::shared_ptr<SequentialDataProvider> provider_;
};

// What a file says beside its pixels. TIFF, JPEG (EXIF) and PNG (eXIf) keep all three; GIF, BMP
// and JPEG 2000 keep none of them (they are left out when written).
struct ImageProperties {
  int orientation = 0;  // 1-8 as TIFF and EXIF number it; 0 = not stated
  std::string make;     // empty = not stated
  std::string model;
};

struct WriteOptions {
  int jpegQuality = 90;  // 1-100
};

// An image file as read back.
struct DecodedImage {
  FileKind kind = FileKind::Tiff;
  Raster raster;  // with the file's resolution
  ImageProperties properties;
};

// A file of the given kind holding one image. Nothing is written before finalize(), which
// writes the file whole (through a temporary file beside it) or leaves the folder as it was.
// The added image's rows (or its provider) are read in finalize(): they must last until then.
class ImageDestination {
 public:
  ImageDestination(std::filesystem::path path, FileKind kind, WriteOptions options = {});
  // One image per destination: a second one is refused.
  Status addImage(const BitmapImage& image, const ImageProperties& properties = {});
  Status finalize();

 private:
  std::filesystem::path path_;
  FileKind kind_;
  WriteOptions options_;
  std::optional<BitmapImage> image_;
  ImageProperties properties_;
  bool finalized_ = false;
};

// The same in one call.
Status writeImageFile(const std::filesystem::path& path, FileKind kind, const BitmapImage& image,
                      const ImageProperties& properties = {}, const WriteOptions& options = {});
// The file's bytes in memory (a TIFF for the native transfer, for instance).
Status encodeImage(FileKind kind, const BitmapImage& image, const ImageProperties& properties,
                   std::vector<uint8_t>& out, const WriteOptions& options = {});

// Reads any of the kinds above (recognised by content, not by name).
Status readImageFile(const std::filesystem::path& path, DecodedImage& out);
Status decodeImage(std::span<const uint8_t> bytes, DecodedImage& out);

// Puts Make and Model into an existing file, keeping everything else: a JPEG gets them in its
// EXIF block (merged with one that is there; the compressed data is copied unchanged), a TIFF in
// its first directory, a PNG in its eXIf chunk. Other kinds answer a failure and stay unchanged.
Status setMakeAndModel(const std::filesystem::path& path, std::string_view make,
                       std::string_view model);

}  // namespace imageio
