#include "tools/PageFiles.h"

#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace vtclient {
namespace {

constexpr const char* kSizeMismatch = "the page's size does not match its data";
constexpr const char* kSpoolName = ".vantrel-scan-XXXXXX";

bool Sixteen(const PageLayout& p) { return p.bitsPerPixel == 16 || p.bitsPerPixel == 48; }
uint32_t Channels(const PageLayout& p) { return p.bitsPerPixel >= 24 ? 3 : 1; }

uint32_t LineBytes(const PageLayout& p) {
  return static_cast<uint32_t>((uint64_t{p.width} * p.bitsPerPixel + 7) / 8);
}

// A line with 16-bit samples in big-endian order (PNM and PNG want them so).
void BigEndianLine(const uint8_t* in, uint32_t bytes, std::vector<uint8_t>* out) {
  out->assign(in, in + bytes);
  for (uint32_t i = 0; i + 1 < bytes; i += 2) {
    uint16_t v;
    std::memcpy(&v, in + i, 2);
    (*out)[i] = static_cast<uint8_t>(v >> 8);
    (*out)[i + 1] = static_cast<uint8_t>(v);
  }
}

// The layout's rows without their height: a file takes them.
bool Writable(const PageLayout& p, std::string* error) {
  const bool known = p.bitsPerPixel == 1 || p.bitsPerPixel == 8 || p.bitsPerPixel == 16 ||
                     p.bitsPerPixel == 24 || p.bitsPerPixel == 48;
  if (!known) {
    *error = "no image file takes " + std::to_string(p.bitsPerPixel) + " bits per pixel";
    return false;
  }
  if (p.width == 0 || LineBytes(p) > p.bytesPerLine) {
    *error = kSizeMismatch;
    return false;
  }
  return true;
}

// A regular file this write made or changed, or none (a device, a pipe, a file it never opened).
bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_ino == b.st_ino && a.st_dev == b.st_dev && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// An unnamed file for the rows of a page of unknown height, in `folder`.
std::FILE* SpoolIn(const std::string& folder, std::string* error) {
  std::string name = folder + "/" + kSpoolName;
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    *error = "no temporary file in " + folder + ": " + std::strerror(errno);
    return nullptr;
  }
  unlink(name.c_str());
  std::FILE* file = fdopen(fd, "w+b");
  if (file == nullptr) {
    *error = std::strerror(errno);
    close(fd);
  }
  return file;
}

}  // namespace

// One format's file: its header with the page's height, then its rows in order, then its end.
class PageWriter::Encoder {
 public:
  virtual ~Encoder() = default;
  virtual bool Begin(const PageLayout& page, const std::string& path, std::string* error) = 0;
  virtual bool Row(const uint8_t* row, std::string* error) = 0;
  virtual bool End(std::string* error) = 0;
};

namespace {

class PnmEncoder final : public PageWriter::Encoder {
 public:
  ~PnmEncoder() override { Close(); }
  bool Begin(const PageLayout& p, const std::string& path, std::string* error) override {
    page_ = p;
    toStdout_ = path == "-";
    file_ = toStdout_ ? stdout : std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
      *error = std::strerror(errno);
      return false;
    }
    const char* magic = p.bitsPerPixel == 1 ? "P4" : Channels(p) == 3 ? "P6" : "P5";
    std::fprintf(file_, "%s\n%u %u\n", magic, p.width, p.height);
    if (p.bitsPerPixel != 1) std::fprintf(file_, "%u\n", Sixteen(p) ? 65535 : 255);
    return true;
  }
  bool Row(const uint8_t* in, std::string* error) override {
    const uint32_t bytes = LineBytes(page_);
    if (Sixteen(page_)) {
      BigEndianLine(in, bytes, &line_);
      in = line_.data();
    }
    if (std::fwrite(in, 1, bytes, file_) == bytes) return true;
    *error = std::strerror(errno);
    return false;
  }
  bool End(std::string* error) override {
    const bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
    if (!ok) *error = std::strerror(errno);
    return Close() && ok;
  }

 private:
  bool Close() {
    std::FILE* file = file_;
    file_ = nullptr;
    return file == nullptr || toStdout_ || std::fclose(file) == 0;
  }
  PageLayout page_;
  std::FILE* file_ = nullptr;
  bool toStdout_ = false;
  std::vector<uint8_t> line_;
};

class TiffEncoder final : public PageWriter::Encoder {
 public:
  ~TiffEncoder() override {
    if (tif_ != nullptr) TIFFClose(tif_);
  }
  bool Begin(const PageLayout& p, const std::string& path, std::string* error) override {
    page_ = p;
    tif_ = TIFFOpen(path.c_str(), "w");
    if (tif_ == nullptr) {
      *error = "libtiff cannot create the file";
      return false;
    }
    const uint16_t bits = p.bitsPerPixel == 1 ? 1 : Sixteen(p) ? 16 : 8;
    TIFFSetField(tif_, TIFFTAG_IMAGEWIDTH, p.width);
    TIFFSetField(tif_, TIFFTAG_IMAGELENGTH, p.height);
    TIFFSetField(tif_, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif_, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(Channels(p)));
    TIFFSetField(tif_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    // Lineart as PBM has it: a set bit is black.
    TIFFSetField(tif_, TIFFTAG_PHOTOMETRIC,
                 Channels(p) == 3 ? PHOTOMETRIC_RGB
                 : bits == 1      ? PHOTOMETRIC_MINISWHITE
                                  : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif_, TIFFTAG_COMPRESSION, bits == 1 ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW);
    TIFFSetField(tif_, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif_, 0));
    if (p.resolution != 0) {
      TIFFSetField(tif_, TIFFTAG_XRESOLUTION, static_cast<float>(p.resolution));
      TIFFSetField(tif_, TIFFTAG_YRESOLUTION, static_cast<float>(p.resolution));
      TIFFSetField(tif_, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }
    line_.resize(LineBytes(p));
    return true;
  }
  bool Row(const uint8_t* in, std::string* error) override {
    // libtiff may work in the row it is given.
    std::memcpy(line_.data(), in, line_.size());
    if (TIFFWriteScanline(tif_, line_.data(), row_++, 0) == 1) return true;
    *error = "libtiff could not write the page";
    return false;
  }
  bool End(std::string* error) override {
    const bool ok = TIFFFlush(tif_) == 1;
    TIFFClose(tif_);
    tif_ = nullptr;
    if (!ok) *error = "libtiff could not write the page";
    return ok;
  }

 private:
  PageLayout page_;
  TIFF* tif_ = nullptr;
  uint32_t row_ = 0;
  std::vector<uint8_t> line_;
};

class PngEncoder final : public PageWriter::Encoder {
 public:
  ~PngEncoder() override { Close(); }
  bool Begin(const PageLayout& p, const std::string& path, std::string* error) override {
    page_ = p;
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
      *error = std::strerror(errno);
      return false;
    }
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    info_ = png_ != nullptr ? png_create_info_struct(png_) : nullptr;
    if (info_ == nullptr) {
      *error = "libpng cannot start";
      return false;
    }
    if (setjmp(png_jmpbuf(png_)) != 0) return Failed(error);
    png_init_io(png_, file_);
    const int bits = p.bitsPerPixel == 1 ? 1 : Sixteen(p) ? 16 : 8;
    png_set_IHDR(png_, info_, p.width, p.height, bits,
                 Channels(p) == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (p.resolution != 0) {
      const png_uint_32 perMetre = static_cast<png_uint_32>(p.resolution / 0.0254 + 0.5);
      png_set_pHYs(png_, info_, perMetre, perMetre, PNG_RESOLUTION_METER);
    }
    png_write_info(png_, info_);
    // Lineart as PBM has it: a set bit is black, and PNG's grey 1 is white.
    if (bits == 1) png_set_invert_mono(png_);
    return true;
  }
  bool Row(const uint8_t* in, std::string* error) override {
    const uint32_t bytes = LineBytes(page_);
    if (Sixteen(page_)) {
      BigEndianLine(in, bytes, &line_);
    } else {
      line_.assign(in, in + bytes);
    }
    if (setjmp(png_jmpbuf(png_)) != 0) return Failed(error);
    png_write_row(png_, line_.data());
    return true;
  }
  bool End(std::string* error) override {
    if (setjmp(png_jmpbuf(png_)) != 0) return Failed(error);
    png_write_end(png_, nullptr);
    const bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
    if (!ok) *error = std::strerror(errno);
    return Close() && ok;
  }

 private:
  bool Failed(std::string* error) {
    *error = "libpng could not write the page";
    return false;
  }
  bool Close() {
    if (png_ != nullptr) png_destroy_write_struct(&png_, info_ != nullptr ? &info_ : nullptr);
    png_ = nullptr;
    info_ = nullptr;
    std::FILE* file = file_;
    file_ = nullptr;
    return file == nullptr || std::fclose(file) == 0;
  }
  PageLayout page_;
  std::FILE* file_ = nullptr;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  std::vector<uint8_t> line_;
};

}  // namespace

PageWriter::PageWriter(PageFormat format, std::string path)
    : format_(format), path_(std::move(path)) {}

PageWriter::~PageWriter() { Abandon(); }

bool PageWriter::Start(const PageLayout& layout, std::string* error) {
  if (started_) return Failed(error, "the page was started already");
  if (!Writable(layout, error)) return false;
  if (path_ == "-" && format_ != PageFormat::Pnm) {
    *error = "only PNM goes to standard output";
    return false;
  }
  layout_ = layout;
  line_.assign(layout.bytesPerLine, 0);
  existed_ = path_ != "-" && stat(path_.c_str(), &before_) == 0;
  started_ = true;
  return true;
}

bool PageWriter::Open(std::string* error) {
  opened_ = true;
  switch (format_) {
    case PageFormat::Tiff:
      encoder_ = std::make_unique<TiffEncoder>();
      break;
    case PageFormat::Png:
      encoder_ = std::make_unique<PngEncoder>();
      break;
    case PageFormat::Pnm:
      encoder_ = std::make_unique<PnmEncoder>();
      break;
  }
  if (layout_.height != 0) return encoder_->Begin(layout_, path_, error) || Stop();
  // Beside the file (its file system holds the page anyway), else in the temporary folder: a
  // device or a pipe's folder may take no file.
  const char* tmp = std::getenv("TMPDIR");
  const std::string temporary = tmp != nullptr && *tmp != 0 ? tmp : "/tmp";
  if (path_ != "-") {
    std::string folder = std::filesystem::path(path_).parent_path().string();
    spool_ = SpoolIn(folder.empty() ? "." : folder, error);
  }
  if (spool_ == nullptr) spool_ = SpoolIn(temporary, error);
  return spool_ != nullptr || Stop();
}

bool PageWriter::Row(const uint8_t* row, std::string* error) {
  ++rows_;
  if (spool_ == nullptr) return encoder_->Row(row, error) || Stop();
  if (std::fwrite(row, 1, layout_.bytesPerLine, spool_) == layout_.bytesPerLine) return true;
  return Failed(error, std::strerror(errno));
}

bool PageWriter::Write(const uint8_t* data, size_t size, std::string* error) {
  if (!started_ || done_) return Failed(error, "the page is not being written");
  received_ += size;
  if (!opened_ && !Open(error)) return false;
  while (size > 0) {
    if (layout_.height != 0 && rows_ >= layout_.height) return true;  // past the page's end
    const size_t n = std::min<size_t>(size, layout_.bytesPerLine - filled_);
    std::memcpy(line_.data() + filled_, data, n);
    filled_ += n;
    data += n;
    size -= n;
    if (filled_ == layout_.bytesPerLine) {
      filled_ = 0;
      if (!Row(line_.data(), error)) return false;
    }
  }
  return true;
}

bool PageWriter::Finish(const PageLayout& final, std::string* error) {
  if (!started_ || done_) return Failed(error, "the page is not being written");
  const uint32_t height = layout_.height != 0 ? layout_.height : final.height;
  if (final.width != layout_.width || final.bytesPerLine != layout_.bytesPerLine ||
      final.height != height || height == 0) {
    return Failed(error, kSizeMismatch);
  }
  if (!opened_ && !Open(error)) return false;
  if (rows_ < height) return Failed(error, kSizeMismatch);
  if (spool_ != nullptr) {
    // The rows waited for the height: the file is written from them now.
    PageLayout page = layout_;
    page.height = height;
    if (!encoder_->Begin(page, path_, error)) return Stop();
    std::rewind(spool_);
    for (uint32_t y = 0; y < height; ++y) {
      if (std::fread(line_.data(), 1, line_.size(), spool_) != line_.size())
        return Failed(error, "the page's rows cannot be read back");
      if (!encoder_->Row(line_.data(), error)) return Stop();
    }
    std::fclose(spool_);
    spool_ = nullptr;
  }
  if (!encoder_->End(error)) return Stop();
  encoder_.reset();
  done_ = true;
  return true;
}

void PageWriter::Abandon() {
  if (done_) return;
  done_ = true;
  if (spool_ != nullptr) std::fclose(spool_);
  spool_ = nullptr;
  encoder_.reset();
  if (opened_) Remove();
}

bool PageWriter::Failed(std::string* error, const std::string& reason) {
  *error = reason;
  return Stop();
}

bool PageWriter::Stop() {
  Abandon();
  return false;
}

void PageWriter::Remove() {
  // A page that could not be written whole leaves no truncated file under its name.
  struct stat after {};
  if (path_ != "-" && stat(path_.c_str(), &after) == 0 && S_ISREG(after.st_mode) &&
      (!existed_ || !SameFile(before_, after)))
    std::remove(path_.c_str());
}

bool ParsePageFormat(const std::string& name, PageFormat* out) {
  if (name == "pnm") {
    *out = PageFormat::Pnm;
  } else if (name == "tiff" || name == "tif") {
    *out = PageFormat::Tiff;
  } else if (name == "png") {
    *out = PageFormat::Png;
  } else {
    return false;
  }
  return true;
}

std::string PageExtension(PageFormat format, uint32_t bitsPerPixel) {
  switch (format) {
    case PageFormat::Tiff:
      return "tif";
    case PageFormat::Png:
      return "png";
    case PageFormat::Pnm:
      break;
  }
  return bitsPerPixel == 1 ? "pbm" : bitsPerPixel >= 24 ? "ppm" : "pgm";
}

bool WritePage(const PageImage& page, PageFormat format, const std::string& path,
               std::string* error) {
  const PageLayout layout = page.layout();
  if (!Writable(layout, error)) return false;
  if (layout.height == 0 || uint64_t{layout.bytesPerLine} * layout.height > page.data.size()) {
    *error = kSizeMismatch;
    return false;
  }
  PageWriter writer(format, path);
  return writer.Start(layout, error) &&
         writer.Write(page.data.data(), size_t{layout.bytesPerLine} * layout.height, error) &&
         writer.Finish(layout, error);
}

}  // namespace vtclient
