// JPEG through libjpeg-turbo: grey or RGB at 8 bits, JFIF density, an EXIF block for orientation,
// Make and Model; and the EXIF block put into an existing stream without touching its data.
//
// libjpeg reports errors by longjmp: the functions that call it under setjmp keep no object with
// a destructor of their own; everything such lives in the job record their caller owns.
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "platform/imageio/Internal.h"

namespace imageio::detail {
namespace {

constexpr uint8_t kMarker = 0xFF;
constexpr uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kApp0 = 0xE0, kApp1 = 0xE1;
constexpr uint8_t kTem = 0x01, kRst0 = 0xD0, kRst7 = 0xD7;
constexpr size_t kOutputChunk = 65536;
constexpr int kDensityDotsPerInch = 1;
constexpr int kDensityDotsPerCentimetre = 2;
constexpr unsigned kMaxDensity = 0xFFFF;

struct ErrorManager {
  jpeg_error_mgr manager;
  jmp_buf jump;
  std::string message;
  bool truncated = false;
};

void onErrorExit(j_common_ptr info) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  char text[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, text);
  if (errors->message.empty()) errors->message = std::string("JPEG: ") + text;
  longjmp(errors->jump, 1);
}

// Warnings are quiet; only the end of the data before the image's end counts, as an error.
void onMessage(j_common_ptr info, int level) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) errors->truncated = true;
}

void installErrors(ErrorManager& errors) {
  jpeg_std_error(&errors.manager);
  errors.manager.error_exit = onErrorExit;
  errors.manager.emit_message = onMessage;
}

struct Destination {
  jpeg_destination_mgr manager;
  ByteSink* sink;
  uint8_t buffer[kOutputChunk];
};

void initDestination(j_compress_ptr info) {
  auto* d = reinterpret_cast<Destination*>(info->dest);
  d->manager.next_output_byte = d->buffer;
  d->manager.free_in_buffer = kOutputChunk;
}

boolean emptyDestination(j_compress_ptr info) {
  auto* d = reinterpret_cast<Destination*>(info->dest);
  if (!d->sink->write(d->buffer, kOutputChunk)) ERREXIT(info, JERR_FILE_WRITE);
  initDestination(info);
  return TRUE;
}

void termDestination(j_compress_ptr info) {
  auto* d = reinterpret_cast<Destination*>(info->dest);
  const size_t used = kOutputChunk - d->manager.free_in_buffer;
  if (!d->sink->write(d->buffer, used)) ERREXIT(info, JERR_FILE_WRITE);
}

struct WriteJob {
  ErrorManager errors;
  jpeg_compress_struct info;
  Destination destination;
  RowReader* reader = nullptr;
  std::vector<uint8_t> samples;  // one row of 8-bit samples
  std::vector<uint8_t> exif;
  Resolution resolution;
  int quality = 90;
  bool nextRow(const uint8_t*& row) {
    Status s = reader->next(row);
    if (!s.ok()) errors.message = s.message();
    return s.ok();
  }
};

bool writeAll(WriteJob& job) {
  jpeg_compress_struct& info = job.info;
  if (setjmp(job.errors.jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  info.dest = &job.destination.manager;
  job.destination.manager.init_destination = initDestination;
  job.destination.manager.empty_output_buffer = emptyDestination;
  job.destination.manager.term_destination = termDestination;
  const PixelLayout& layout = job.reader->layout();
  info.image_width = layout.width;
  info.image_height = layout.height;
  info.input_components = layout.samplesPerPixel;
  info.in_color_space = layout.samplesPerPixel == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, job.quality, TRUE);
  info.write_JFIF_header = TRUE;
  if (job.resolution.x > 0 && job.resolution.y > 0) {
    info.density_unit = kDensityDotsPerInch;
    info.X_density = UINT16(std::min<double>(std::lround(job.resolution.x), kMaxDensity));
    info.Y_density = UINT16(std::min<double>(std::lround(job.resolution.y), kMaxDensity));
  }
  jpeg_start_compress(&info, TRUE);
  if (!job.exif.empty()) {
    jpeg_write_marker(&info, JPEG_APP0 + 1, job.exif.data(), unsigned(job.exif.size()));
  }
  job.reader->start();
  const bool direct = layout.bitsPerSample == 8;
  for (uint32_t y = 0; y < layout.height; ++y) {
    const uint8_t* row = nullptr;
    if (!job.nextRow(row)) {
      jpeg_destroy_compress(&info);
      return false;
    }
    if (!direct) rowTo8Bit(layout, row, job.samples.data());
    JSAMPROW line = const_cast<JSAMPROW>(direct ? row : job.samples.data());  // read only
    jpeg_write_scanlines(&info, &line, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

struct ReadJob {
  ErrorManager errors;
  jpeg_decompress_struct info;
  std::span<const uint8_t> bytes;
  DecodedImage* out = nullptr;
  bool incomplete = false;
  bool allocate(uint32_t width, uint32_t height, int samples) {
    Status s = allocateRaster(width, height, 8, uint16_t(samples), out->raster);
    if (!s.ok()) errors.message = s.message();
    return s.ok();
  }
  void takeMarkers() {
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
      if (m->marker == JPEG_APP0 + 1 && m->data_length >= sizeof kExifHeader &&
          std::memcmp(m->data, kExifHeader, sizeof kExifHeader) == 0) {
        readExif({m->data, m->data_length}, out->properties);
        return;
      }
    }
  }
};

bool readAll(ReadJob& job) {
  jpeg_decompress_struct& info = job.info;
  if (setjmp(job.errors.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, job.bytes.data(), static_cast<unsigned long>(job.bytes.size()));
  jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) ERREXIT(&info, JERR_NO_IMAGE);
  switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
      info.out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_YCbCr:
    case JCS_RGB:
      info.out_color_space = JCS_RGB;
      break;
    default:
      ERREXIT(&info, JERR_CONVERSION_NOTIMPL);
  }
  jpeg_calc_output_dimensions(&info);
  if (!job.allocate(info.output_width, info.output_height, info.out_color_components)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_start_decompress(&info);
  Raster& raster = job.out->raster;
  while (info.output_scanline < info.output_height && !job.errors.truncated) {
    JSAMPROW row = raster.pixels.data() + size_t(info.output_scanline) * raster.layout.bytesPerRow;
    jpeg_read_scanlines(&info, &row, 1);
  }
  if (info.density_unit == kDensityDotsPerInch) {
    raster.resolution = {double(info.X_density), double(info.Y_density)};
  } else if (info.density_unit == kDensityDotsPerCentimetre) {
    raster.resolution = {info.X_density * kCentimetresPerInch,
                         info.Y_density * kCentimetresPerInch};
  }
  job.takeMarkers();
  // Data that ends after the last row (a missing end marker) still gave the whole image.
  job.incomplete = job.errors.truncated;
  if (!job.incomplete) jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

Status encodeJpeg(ByteSink& sink, const BitmapImage& image, const ImageProperties& properties,
                  int quality) {
  const PixelLayout& layout = image.layout();
  RowReader reader(image);
  auto job = std::make_unique<WriteJob>();
  installErrors(job->errors);
  job->info.err = &job->errors.manager;
  job->destination.sink = &sink;
  job->reader = &reader;
  job->samples.resize(size_t(layout.width) * layout.samplesPerPixel);
  job->resolution = image.resolution();
  job->quality = std::clamp(quality, 1, 100);
  if (hasProperties(properties)) {
    if (Status s = buildExif({}, properties, image.resolution(), job->exif); !s.ok()) return s;
  }
  if (!writeAll(*job)) return Status::failure(job->errors.message);
  return Status::success();
}

Status decodeJpeg(std::span<const uint8_t> bytes, DecodedImage& out) {
  auto job = std::make_unique<ReadJob>();
  installErrors(job->errors);
  job->info.err = &job->errors.manager;
  job->bytes = bytes;
  job->out = &out;
  if (!readAll(*job)) return Status::failure(job->errors.message);
  if (job->incomplete) return Status::failure("JPEG: the data ends before the image does");
  out.kind = FileKind::Jpeg;
  return Status::success();
}

Status insertJpegExif(std::span<const uint8_t> jpeg, const ImageProperties& properties,
                      std::vector<uint8_t>& out) {
  if (jpeg.size() < 4 || jpeg[0] != kMarker || jpeg[1] != kSoi) {
    return Status::failure("not a JPEG file");
  }
  // The segments before the scan, as they are; the EXIF block goes behind SOI and any APP0
  // (JFIF wants its segment first) and replaces an old one, whose entries it keeps.
  struct Segment {
    size_t offset, size;
    uint8_t marker;
    bool exif;
  };
  std::vector<Segment> segments;
  std::span<const uint8_t> oldExif;
  size_t at = 2;
  for (;;) {
    if (at >= jpeg.size() || jpeg[at] != kMarker) {
      return Status::failure("the JPEG file has no marker where one belongs");
    }
    size_t start = at;
    while (at < jpeg.size() && jpeg[at] == kMarker) ++at;  // fill bytes
    if (at >= jpeg.size()) return Status::failure("the JPEG file ends early");
    const uint8_t marker = jpeg[at++];
    if (marker == kSos || marker == kEoi) {
      segments.push_back({start, jpeg.size() - start, marker, false});
      break;
    }
    size_t length = 0;
    if (marker != kTem && (marker < kRst0 || marker > kRst7)) {
      if (jpeg.size() - at < 2) return Status::failure("the JPEG file ends early");
      length = size_t(jpeg[at]) << 8 | jpeg[at + 1];
      if (length < 2 || jpeg.size() - at < length) {
        return Status::failure("a JPEG segment reaches past the end of the file");
      }
    }
    at += length;
    const std::span<const uint8_t> payload =
        length >= 2 ? jpeg.subspan(at - length + 2, length - 2) : std::span<const uint8_t>();
    const bool exif = marker == kApp1 && payload.size() >= sizeof kExifHeader &&
                      std::memcmp(payload.data(), kExifHeader, sizeof kExifHeader) == 0;
    if (exif && oldExif.empty()) oldExif = payload;
    segments.push_back({start, at - start, marker, exif});
  }
  std::vector<uint8_t> block;
  if (Status s = buildExif(oldExif, properties, {}, block); !s.ok()) return s;
  const size_t segmentLength = block.size() + 2;
  out.assign({kMarker, kSoi});
  bool placed = false;
  for (const Segment& segment : segments) {
    if (!placed && segment.marker != kApp0) {
      out.insert(out.end(), {kMarker, kApp1, uint8_t(segmentLength >> 8), uint8_t(segmentLength)});
      out.insert(out.end(), block.begin(), block.end());
      placed = true;
    }
    if (segment.exif) continue;
    out.insert(out.end(), jpeg.begin() + segment.offset,
               jpeg.begin() + segment.offset + segment.size);
  }
  return Status::success();
}

}  // namespace imageio::detail
