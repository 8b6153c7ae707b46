#pragma once
// Image files of scanned pages: PNM (PBM, PGM, PPM), TIFF through libtiff and PNG through
// libpng, written a row at a time as the page's bytes arrive, or from a page held whole.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vtclient {

enum class PageFormat { Pnm, Tiff, Png };

// A page's shape: lines of bytesPerLine bytes, each pixel `bitsPerPixel` bits (1 lineart, 8 or
// 16 grey, 24 or 48 colour); 16-bit samples in the host's byte order.
struct PageLayout {
  uint32_t width = 0;
  uint32_t height = 0;  // for a page being written: 0 when it is known only at the page's end
  uint32_t bytesPerLine = 0;
  uint32_t bitsPerPixel = 0;
  uint32_t resolution = 0;  // dots per inch
};

// A page as the driver delivered it.
struct PageImage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bytesPerLine = 0;
  uint32_t bitsPerPixel = 0;
  uint32_t resolution = 0;  // dots per inch
  std::vector<uint8_t> data;

  PageLayout layout() const { return {width, height, bytesPerLine, bitsPerPixel, resolution}; }
};

// The format a name stands for ("pnm", "tiff", "png"); false for any other.
bool ParsePageFormat(const std::string& name, PageFormat* out);
// The usual file extension of the format for this page ("pbm", "pgm", "ppm", "tif", "png").
std::string PageExtension(PageFormat format, uint32_t bitsPerPixel);

// One page's file, written as the page's bytes arrive, in blocks of any size: memory for a row
// whatever the page's length. The file is opened with the first bytes. A page whose height is
// known at the start goes straight to its file; one whose height comes with its end (a page as
// long as its sheet) waits in an unnamed temporary file beside its file (in the temporary folder
// for standard output, or when the file's folder takes none) until Finish gives the height. A file
// that is not finished, or fails, is removed when this write made or changed it.
class PageWriter {
 public:
  // `path` "-": standard output (PNM only).
  PageWriter(PageFormat format, std::string path);
  ~PageWriter();
  PageWriter(const PageWriter&) = delete;
  PageWriter& operator=(const PageWriter&) = delete;

  // The layout the page's bytes will have; false, with the reason, for one no file takes.
  bool Start(const PageLayout& layout, std::string* error);
  // The next bytes of the page; bytes past a known height are not written.
  bool Write(const uint8_t* data, size_t size, std::string* error);
  // The page ended as `final` describes it (its height when it was not known): the file is
  // completed. False, the file removed, when the page does not match the layout it started with
  // or its bytes, or when the file cannot be completed.
  bool Finish(const PageLayout& final, std::string* error);
  // Stops, removing the file.
  void Abandon();

  // Every byte the page brought, written or not.
  uint64_t bytesReceived() const { return received_; }

  class Encoder;

 private:
  bool Open(std::string* error);
  bool Row(const uint8_t* row, std::string* error);
  bool Failed(std::string* error, const std::string& reason);  // abandons with the reason
  bool Stop();  // abandons after a step that gave its reason
  void Remove();

  PageFormat format_;
  std::string path_;
  PageLayout layout_;
  bool started_ = false, opened_ = false, done_ = false;
  struct stat before_ {};
  bool existed_ = false;
  std::unique_ptr<Encoder> encoder_;
  std::FILE* spool_ = nullptr;  // the rows of a page of unknown height
  std::vector<uint8_t> line_;   // a row being gathered from blocks
  size_t filled_ = 0;
  uint32_t rows_ = 0;  // rows written (or spooled)
  uint64_t received_ = 0;
};

// Writes a whole page to `path` ("-": standard output, PNM only); false with the reason.
bool WritePage(const PageImage& page, PageFormat format, const std::string& path,
               std::string* error);

}  // namespace vtclient
