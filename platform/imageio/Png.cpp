// PNG through libpng: grey (1, 8, 16 bits) and RGB (8, 16 bits), pHYs for the resolution and an
// eXIf chunk for orientation, Make and Model.
//
// libpng reports errors by longjmp: the functions that call it under setjmp keep no object with
// a destructor of their own; everything such lives in the job record their caller owns.
#include <png.h>
#include <zlib.h>

#include <bit>
#include <csetjmp>
#include <cstring>

#include "platform/imageio/Internal.h"

namespace imageio::detail {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kChunkOverhead = 12;  // length, type, CRC
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;

struct Job {
  std::string error;
};

void onError(png_structp png, png_const_charp message) {
  auto* job = static_cast<Job*>(png_get_error_ptr(png));
  if (job->error.empty()) job->error = std::string("PNG: ") + message;
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

struct WriteJob : Job {
  ByteSink* sink = nullptr;
  RowReader* reader = nullptr;
  std::vector<uint8_t> exif;  // eXIf payload, empty for none
  Resolution resolution;
  bool nextRow(const uint8_t*& row) {
    Status s = reader->next(row);
    if (!s.ok()) error = s.message();
    return s.ok();
  }
};

void writeData(png_structp png, png_bytep data, size_t count) {
  auto* job = static_cast<WriteJob*>(png_get_io_ptr(png));
  if (!job->sink->write(data, count)) png_error(png, "cannot write the stream");
}

void flushData(png_structp) {}

bool writeAll(png_structp png, png_infop info, WriteJob& job) {
  if (setjmp(png_jmpbuf(png))) return false;
  const PixelLayout& layout = job.reader->layout();
  png_set_IHDR(png, info, layout.width, layout.height, layout.bitsPerSample,
               layout.samplesPerPixel == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (job.resolution.x > 0 && job.resolution.y > 0) {
    png_set_pHYs(png, info, pixelsPerMetre(job.resolution.x), pixelsPerMetre(job.resolution.y),
                 PNG_RESOLUTION_METER);
  }
  if (!job.exif.empty()) png_set_eXIf_1(png, info, png_uint_32(job.exif.size()), job.exif.data());
  png_write_info(png, info);
  if (layout.bitsPerSample == 16 && std::endian::native == std::endian::little) png_set_swap(png);
  job.reader->start();
  for (uint32_t y = 0; y < layout.height; ++y) {
    const uint8_t* row = nullptr;
    if (!job.nextRow(row)) return false;
    png_write_row(png, row);
  }
  png_write_end(png, info);
  return true;
}

struct ReadJob : Job {
  std::span<const uint8_t> bytes;
  size_t position = 0;
  DecodedImage* out = nullptr;
  std::vector<png_bytep> rows;
  bool allocate(uint32_t width, uint32_t height, int bits, int samples) {
    Status s = allocateRaster(width, height, uint16_t(bits), uint16_t(samples), out->raster);
    if (!s.ok()) {
      error = s.message();
      return false;
    }
    rows.resize(height);
    for (uint32_t y = 0; y < height; ++y) {
      rows[y] = out->raster.pixels.data() + size_t(y) * out->raster.layout.bytesPerRow;
    }
    return true;
  }
  void takeExif(png_structp png, png_infop info) {
    png_bytep exif = nullptr;
    png_uint_32 size = 0;
    if (png_get_eXIf_1(png, info, &size, &exif) && size > 0 && exif) {
      readExif({exif, size}, out->properties);
    }
  }
};

void readData(png_structp png, png_bytep data, size_t count) {
  auto* job = static_cast<ReadJob*>(png_get_io_ptr(png));
  if (job->bytes.size() - job->position < count) png_error(png, "the file ends early");
  std::memcpy(data, job->bytes.data() + job->position, count);
  job->position += count;
}

bool readAll(png_structp png, png_infop info, ReadJob& job) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bits = 0, colour = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &bits, &colour, &interlace, nullptr, nullptr);
  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colour == PNG_COLOR_TYPE_GRAY && bits > 1 && bits < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (colour & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
  if (bits == 16 && std::endian::native == std::endian::little) png_set_swap(png);
  if (interlace != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const int outBits = png_get_bit_depth(png, info);
  const int samples = png_get_channels(png, info);
  if (!job.allocate(width, height, outBits, samples)) return false;
  if (png_get_rowbytes(png, info) != job.out->raster.layout.bytesPerRow) {
    png_error(png, "unexpected row size");
  }
  png_read_image(png, job.rows.data());
  png_read_end(png, info);
  png_uint_32 x = 0, y = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &x, &y, &unit) && unit == PNG_RESOLUTION_METER) {
    job.out->raster.resolution = {dpiFromPixelsPerMetre(x), dpiFromPixelsPerMetre(y)};
  }
  job.takeExif(png, info);
  return true;
}

uint32_t bigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void appendChunk(std::vector<uint8_t>& out, const char type[4], std::span<const uint8_t> data) {
  const uint32_t length = uint32_t(data.size());
  const uint8_t header[8] = {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8),
                             uint8_t(length),       uint8_t(type[0]),      uint8_t(type[1]),
                             uint8_t(type[2]),      uint8_t(type[3])};
  out.insert(out.end(), header, header + 8);
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0, header + 4, 4);
  crc = crc32(crc, data.data(), uInt(data.size()));
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(crc >> shift));
}

}  // namespace

Status encodePng(ByteSink& sink, const BitmapImage& image, const ImageProperties& properties) {
  RowReader reader(image);
  WriteJob job;
  job.sink = &sink;
  job.reader = &reader;
  job.resolution = image.resolution();
  if (hasProperties(properties)) {
    std::vector<uint8_t> block;
    if (Status s = buildExif({}, properties, {}, block); !s.ok()) return s;
    job.exif.assign(block.begin() + sizeof kExifHeader, block.end());
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, onError, onWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return Status::failure("no memory for a PNG stream");
  }
  png_set_write_fn(png, &job, writeData, flushData);
  const bool ok = writeAll(png, info, job);
  png_destroy_write_struct(&png, &info);
  return ok ? Status::success() : Status::failure(job.error);
}

Status decodePng(std::span<const uint8_t> bytes, DecodedImage& out) {
  ReadJob job;
  job.bytes = bytes;
  job.out = &out;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, onError, onWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return Status::failure("no memory for a PNG stream");
  }
  png_set_read_fn(png, &job, readData);
  const bool ok = readAll(png, info, job);
  png_destroy_read_struct(&png, &info, nullptr);
  if (!ok) return Status::failure(job.error);
  out.kind = FileKind::Png;
  return Status::success();
}

Status insertPngExif(std::span<const uint8_t> png, const ImageProperties& properties,
                     std::vector<uint8_t>& out) {
  if (png.size() < sizeof kSignature || std::memcmp(png.data(), kSignature, sizeof kSignature)) {
    return Status::failure("not a PNG file");
  }
  // Chunks as they are, the eXIf chunk (merged with any old one) right behind IHDR.
  struct Chunk {
    size_t offset, size;
    bool exif;
  };
  std::vector<Chunk> chunks;
  std::span<const uint8_t> oldExif;
  size_t at = sizeof kSignature;
  bool ended = false;
  while (!ended) {
    if (png.size() - at < kChunkOverhead) return Status::failure("the PNG file ends early");
    const uint32_t length = bigEndian32(&png[at]);
    if (length > kMaxChunkLength || png.size() - at - kChunkOverhead < length) {
      return Status::failure("the PNG file ends inside a chunk");
    }
    const char* type = reinterpret_cast<const char*>(&png[at + 4]);
    const bool exif = std::memcmp(type, "eXIf", 4) == 0;
    if (exif) oldExif = png.subspan(at + 8, length);
    if (chunks.empty() && std::memcmp(type, "IHDR", 4) != 0) {
      return Status::failure("the PNG file does not start with its header chunk");
    }
    ended = std::memcmp(type, "IEND", 4) == 0;
    chunks.push_back({at, kChunkOverhead + length, exif});
    at += kChunkOverhead + length;
  }
  std::vector<uint8_t> block;
  if (Status s = buildExif(oldExif, properties, {}, block); !s.ok()) return s;
  out.assign(png.begin(), png.begin() + sizeof kSignature);
  for (size_t i = 0; i < chunks.size(); ++i) {
    if (chunks[i].exif) continue;
    out.insert(out.end(), png.begin() + chunks[i].offset,
               png.begin() + chunks[i].offset + chunks[i].size);
    if (i == 0) {
      appendChunk(out, "eXIf", std::span<const uint8_t>(block).subspan(sizeof kExifHeader));
    }
  }
  return Status::success();
}

}  // namespace imageio::detail
