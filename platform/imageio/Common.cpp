// Sinks, files written whole, rows out of an image, unit conversions.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/imageio/Internal.h"

namespace imageio {

PixelLayout PixelLayout::packed(uint32_t width, uint32_t height, uint16_t bitsPerSample,
                                uint16_t samplesPerPixel) {
  PixelLayout layout{width, height, bitsPerSample, samplesPerPixel, 0};
  layout.bytesPerRow = layout.packedRowBytes();
  return layout;
}

Status checkLayout(const PixelLayout& layout) {
  if (layout.width == 0 || layout.height == 0) {
    return Status::failure("image of " + std::to_string(layout.width) + " x " +
                           std::to_string(layout.height) + " pixels has no pixels");
  }
  if (layout.samplesPerPixel != 1 && layout.samplesPerPixel != 3) {
    return Status::failure(std::to_string(layout.samplesPerPixel) +
                           " samples per pixel (1 or 3 are handled)");
  }
  const uint16_t bits = layout.bitsPerSample;
  if (bits != 1 && bits != 8 && bits != 16) {
    return Status::failure(std::to_string(bits) + " bits per sample (1, 8 or 16 are handled)");
  }
  if (bits == 1 && layout.samplesPerPixel != 1) {
    return Status::failure("1-bit images have one sample per pixel");
  }
  if (layout.bytesPerRow < layout.packedRowBytes()) {
    return Status::failure("rows of " + std::to_string(layout.bytesPerRow) +
                           " bytes are shorter than " + std::to_string(layout.packedRowBytes()) +
                           " bytes of pixels");
  }
  return Status::success();
}

SequentialDataProvider::~SequentialDataProvider() {
  if (callbacks_.release) callbacks_.release();
}

size_t SequentialDataProvider::read(uint8_t* buffer, size_t count) {
  size_t done = 0;
  while (done < count && callbacks_.getBytes) {
    const size_t got = callbacks_.getBytes(buffer + done, count - done);
    if (got == 0 || got > count - done) break;
    done += got;
  }
  return done;
}

void SequentialDataProvider::rewind() {
  if (callbacks_.rewind) callbacks_.rewind();
}

BitmapImage::BitmapImage(const RasterView& view)
    : layout_(view.layout), resolution_(view.resolution), pixels_(view.pixels) {}

BitmapImage::BitmapImage(const PixelLayout& layout, Resolution resolution,
                         std::shared_ptr<SequentialDataProvider> provider)
    : layout_(layout), resolution_(resolution), provider_(std::move(provider)) {}

namespace detail {

bool MemorySink::write(const void* data, size_t count) {
  if (count == 0) return true;
  const uint64_t end = position_ + count;
  if (end > bytes_.size()) bytes_.resize(end);
  std::memcpy(bytes_.data() + position_, data, count);
  position_ = end;
  return true;
}

bool MemorySink::seek(uint64_t offset) {
  if (offset > kMaxRasterBytes * 4) return false;
  if (offset > bytes_.size()) bytes_.resize(offset);
  position_ = offset;
  return true;
}

size_t MemorySink::read(void* data, size_t count) {
  if (position_ >= bytes_.size()) return 0;
  const size_t n = std::min<uint64_t>(count, bytes_.size() - position_);
  std::memcpy(data, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

bool FileSink::write(const void* data, size_t count) {
  return std::fwrite(data, 1, count, file_) == count;
}

bool FileSink::seek(uint64_t offset) { return fseeko(file_, off_t(offset), SEEK_SET) == 0; }

uint64_t FileSink::tell() const {
  const off_t at = ftello(file_);
  return at < 0 ? 0 : uint64_t(at);
}

uint64_t FileSink::size() const {
  const off_t at = ftello(file_);
  if (at < 0 || fseeko(file_, 0, SEEK_END) != 0) return 0;
  const off_t end = ftello(file_);
  fseeko(file_, at, SEEK_SET);
  return end < 0 ? 0 : uint64_t(end);
}

size_t FileSink::read(void* data, size_t count) { return std::fread(data, 1, count, file_); }

namespace {
std::string systemError(const std::string& what, const std::filesystem::path& path) {
  return what + " " + path.string() + ": " + std::strerror(errno);
}
}  // namespace

AtomicFile::~AtomicFile() {
  if (file_) std::fclose(file_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

Status AtomicFile::open() {
  static std::atomic<unsigned> counter{0};
  // A name that no other writer in this or another process picks; the mode follows the umask
  // as for any new file.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = target_;
    candidate += ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return Status::failure(systemError("cannot create", candidate));
    }
    file_ = ::fdopen(fd, "w+b");
    if (!file_) {
      ::close(fd);
      ::unlink(candidate.c_str());
      return Status::failure(systemError("cannot open", candidate));
    }
    temporary_ = candidate;
    return Status::success();
  }
  return Status::failure("cannot find a free temporary name beside " + target_.string());
}

Status AtomicFile::commit() {
  if (!file_) return Status::failure("no file open for " + target_.string());
  const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
  const int closed = std::fclose(file_);
  file_ = nullptr;
  if (!flushed || closed != 0) return Status::failure(systemError("cannot write", temporary_));
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    return Status::failure(systemError("cannot replace", target_));
  }
  temporary_.clear();
  return Status::success();
}

Status readWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return Status::failure(systemError("cannot open", path));
  bytes.clear();
  uint8_t chunk[65536];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    if (bytes.size() + got > kMaxRasterBytes * 2) {
      std::fclose(file);
      return Status::failure(path.string() + " is too large for an image file");
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  const bool failed = std::ferror(file);
  std::fclose(file);
  if (failed) return Status::failure(systemError("cannot read", path));
  return Status::success();
}

RowReader::RowReader(const BitmapImage& image) : image_(image), layout_(image.layout()) {}

void RowReader::start() {
  y_ = 0;
  if (image_.provider()) {
    buffer_.resize(layout_.bytesPerRow);
    image_.provider()->rewind();
  } else if (layout_.bitsPerSample == 1 && layout_.width % 8 != 0) {
    buffer_.resize(layout_.packedRowBytes());
  }
}

Status RowReader::next(const uint8_t*& row) {
  if (y_ >= layout_.height) return Status::failure("no rows left in the image");
  const uint8_t* source = nullptr;
  if (image_.provider()) {
    const size_t got = image_.provider()->read(buffer_.data(), layout_.bytesPerRow);
    if (got != layout_.bytesPerRow) {
      return Status::failure("the image's data ended in row " + std::to_string(y_ + 1) + " of " +
                             std::to_string(layout_.height));
    }
    source = buffer_.data();
  } else {
    source = image_.pixels() + size_t(y_) * layout_.bytesPerRow;
  }
  ++y_;
  // Bits past the last pixel of a 1-bit row are cleared so that files do not depend on them.
  const uint32_t spare = layout_.bitsPerSample == 1 ? layout_.width % 8 : 0;
  if (spare != 0) {
    const size_t n = layout_.packedRowBytes();
    if (source != buffer_.data()) std::memcpy(buffer_.data(), source, n);
    buffer_[n - 1] &= uint8_t(0xFF00 >> spare);
    source = buffer_.data();
  }
  row = source;
  return Status::success();
}

Status checkPageSize(uint64_t width, uint64_t height) {
  const uint64_t shorter = std::min(width, height), longer = std::max(width, height);
  if (shorter <= kMaxPageWidthInches * kMaxPageDpi &&
      longer <= kMaxPageLengthInches * kMaxPageDpi &&
      shorter * longer <= kMaxPageSquareInches * kMaxPageDpi * kMaxPageDpi) {
    return Status::success();
  }
  return Status::failure("an image of " + std::to_string(width) + " x " + std::to_string(height) +
                         " pixels is larger than any scanned page");
}

Status allocateRaster(uint32_t width, uint32_t height, uint16_t bitsPerSample,
                      uint16_t samplesPerPixel, Raster& out) {
  if (Status s = checkPageSize(width, height); !s.ok()) return s;
  const PixelLayout layout = PixelLayout::packed(width, height, bitsPerSample, samplesPerPixel);
  if (Status s = checkLayout(layout); !s.ok()) return s;
  const uint64_t bytes = uint64_t(layout.bytesPerRow) * height;
  if (bytes > kMaxRasterBytes) {
    return Status::failure("an image of " + std::to_string(width) + " x " + std::to_string(height) +
                           " pixels is too large");
  }
  out.layout = layout;
  out.resolution = {};
  out.pixels.assign(bytes, 0);
  return Status::success();
}

Status readAllRows(const BitmapImage& image, Raster& out) {
  const PixelLayout& layout = image.layout();
  if (Status s = allocateRaster(layout.width, layout.height, layout.bitsPerSample,
                                layout.samplesPerPixel, out);
      !s.ok()) {
    return s;
  }
  out.resolution = image.resolution();
  RowReader reader(image);
  reader.start();
  for (uint32_t y = 0; y < layout.height; ++y) {
    const uint8_t* row = nullptr;
    if (Status s = reader.next(row); !s.ok()) return s;
    std::memcpy(out.pixels.data() + size_t(y) * out.layout.bytesPerRow, row,
                out.layout.bytesPerRow);
  }
  return Status::success();
}

void rowTo8Bit(const PixelLayout& layout, const uint8_t* row, uint8_t* out) {
  const size_t samples = size_t(layout.width) * layout.samplesPerPixel;
  switch (layout.bitsPerSample) {
    case 1:
      for (size_t i = 0; i < samples; ++i) out[i] = (row[i / 8] >> (7 - i % 8)) & 1 ? 0xFF : 0;
      break;
    case 16: {
      for (size_t i = 0; i < samples; ++i) {
        uint16_t v;
        std::memcpy(&v, row + 2 * i, 2);
        out[i] = uint8_t(v >> 8);
      }
      break;
    }
    default:
      std::memcpy(out, row, samples);
  }
}

uint32_t pixelsPerMetre(double dpi) {
  if (!(dpi > 0)) return 0;
  const double ppm = std::round(dpi / kMetresPerInch);
  return ppm >= 4294967295.0 ? 0xFFFFFFFFu : uint32_t(ppm);
}

double dpiFromPixelsPerMetre(uint32_t ppm) {
  if (ppm == 0) return 0;
  const double dpi = ppm * kMetresPerInch;
  const double whole = std::round(dpi);
  return whole > 0 && pixelsPerMetre(whole) == ppm ? whole : dpi;
}

Status checkProperties(const ImageProperties& properties) {
  if (properties.orientation < 0 || properties.orientation > 8) {
    return Status::failure("orientation " + std::to_string(properties.orientation) +
                           " is not one of 1 to 8");
  }
  return Status::success();
}

bool hasProperties(const ImageProperties& properties) {
  return properties.orientation != 0 || !properties.make.empty() || !properties.model.empty();
}

}  // namespace detail
}  // namespace imageio
