// JPEG 2000 through OpenJPEG: lossless JP2 files written in bands of rows (so a page is never
// held as 32-bit samples whole), with the capture resolution in a 'res ' box that we add to the
// header box ourselves (OpenJPEG neither writes nor reads it). Reads JP2 files and bare
// code streams.
#include <openjpeg.h>

#include <cmath>
#include <cstring>

#include "platform/imageio/Internal.h"

namespace imageio::detail {
namespace {

constexpr uint8_t kJp2Signature[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', '\r', '\n', 0x87, '\n'};
constexpr uint8_t kCodestreamStart[4] = {0xFF, 0x4F, 0xFF, 0x51};
constexpr uint32_t kBandRows = 256;
constexpr int kMaxResolutions = 6;
constexpr size_t kBoxHeader = 8;
constexpr size_t kResolutionFields = 10;  // resc/resd: VR_N VR_D HR_N HR_D (16 bits) VR_E HR_E
constexpr uint16_t kResolutionDenominator = 254;  // dots per inch x 10^4 / 254 = per metre
constexpr uint32_t kStreamChunk = 1 << 20;

struct Messages {
  std::string error;
};

void onError(const char* text, void* user) {
  auto* messages = static_cast<Messages*>(user);
  if (messages->error.empty()) {
    messages->error = std::string("JPEG 2000: ") + text;
    while (!messages->error.empty() && messages->error.back() == '\n') messages->error.pop_back();
  }
}

void quiet(const char*, void*) {}

// OpenJPEG's own message when it gave one.
Status failure(const Messages& messages, const char* what) {
  return Status::failure(messages.error.empty() ? std::string("JPEG 2000: ") + what
                                                : messages.error);
}

void install(opj_codec_t* codec, Messages& messages) {
  opj_set_error_handler(codec, onError, &messages);
  opj_set_warning_handler(codec, quiet, nullptr);
  opj_set_info_handler(codec, quiet, nullptr);
}

struct CodecDeleter {
  void operator()(opj_codec_t* codec) const { opj_destroy_codec(codec); }
};
struct StreamDeleter {
  void operator()(opj_stream_t* stream) const { opj_stream_destroy(stream); }
};
struct ImageDeleter {
  void operator()(opj_image_t* image) const { opj_image_destroy(image); }
};
using CodecPtr = std::unique_ptr<opj_codec_t, CodecDeleter>;
using StreamPtr = std::unique_ptr<opj_stream_t, StreamDeleter>;
using ImagePtr = std::unique_ptr<opj_image_t, ImageDeleter>;

OPJ_SIZE_T sinkWrite(void* data, OPJ_SIZE_T count, void* user) {
  return static_cast<ByteSink*>(user)->write(data, count) ? count : OPJ_SIZE_T(-1);
}
OPJ_OFF_T sinkSkip(OPJ_OFF_T count, void* user) {
  auto* sink = static_cast<ByteSink*>(user);
  return sink->seek(sink->tell() + count) ? count : -1;
}
OPJ_BOOL sinkSeek(OPJ_OFF_T offset, void* user) {
  return static_cast<ByteSink*>(user)->seek(uint64_t(offset));
}

struct Input {
  std::span<const uint8_t> bytes;
  uint64_t position = 0;
};
OPJ_SIZE_T inputRead(void* data, OPJ_SIZE_T count, void* user) {
  auto* in = static_cast<Input*>(user);
  if (in->position >= in->bytes.size()) return OPJ_SIZE_T(-1);
  const size_t n = std::min<uint64_t>(count, in->bytes.size() - in->position);
  std::memcpy(data, in->bytes.data() + in->position, n);
  in->position += n;
  return n;
}
OPJ_OFF_T inputSkip(OPJ_OFF_T count, void* user) {
  auto* in = static_cast<Input*>(user);
  const int64_t target = int64_t(in->position) + count;
  if (target < 0) return -1;
  in->position = uint64_t(target);
  return count;
}
OPJ_BOOL inputSeek(OPJ_OFF_T offset, void* user) {
  auto* in = static_cast<Input*>(user);
  if (offset < 0 || uint64_t(offset) > in->bytes.size()) return OPJ_FALSE;
  in->position = uint64_t(offset);
  return OPJ_TRUE;
}

uint32_t readBig(std::span<const uint8_t> bytes, size_t at, int count) {
  uint32_t v = 0;
  for (int i = 0; i < count; ++i) v = v << 8 | bytes[at + i];
  return v;
}

void putBig(std::vector<uint8_t>& out, uint32_t v, int count) {
  for (int i = count - 1; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
}

struct Box {
  size_t offset = 0, header = 0, size = 0;  // size includes the header
  uint32_t type = 0;
};

constexpr uint32_t boxType(const char (&name)[5]) {
  return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 |
         uint32_t(uint8_t(name[2])) << 8 | uint8_t(name[3]);
}

// The boxes of [begin, end); false when one does not fit.
bool listBoxes(std::span<const uint8_t> bytes, size_t begin, size_t end, std::vector<Box>& boxes) {
  size_t at = begin;
  while (end - at >= kBoxHeader) {
    Box box{at, kBoxHeader, readBig(bytes, at, 4), readBig(bytes, at + 4, 4)};
    if (box.size == 1) {
      if (end - at < 16) return false;
      const uint64_t large = uint64_t(readBig(bytes, at + 8, 4)) << 32 | readBig(bytes, at + 12, 4);
      if (large > end - at) return false;
      box.header = 16;
      box.size = size_t(large);
    } else if (box.size == 0) {
      box.size = end - at;
    }
    if (box.size < box.header || box.size > end - at) return false;
    boxes.push_back(box);
    at += box.size;
  }
  return true;
}

const Box* findBox(const std::vector<Box>& boxes, uint32_t type) {
  for (const Box& box : boxes) {
    if (box.type == type) return &box;
  }
  return nullptr;
}

// Adds a 'res ' box with the capture resolution to the end of the header box.
Status addResolutionBox(std::vector<uint8_t>& file, Resolution resolution) {
  std::vector<Box> boxes;
  const Box* header =
      listBoxes(file, 0, file.size(), boxes) ? findBox(boxes, boxType("jp2h")) : nullptr;
  if (!header || header->header != kBoxHeader) {
    return Status::failure("JPEG 2000: no header box to hold the resolution");
  }
  // Grid points per metre = N / 254 x 10^E, with N the dpi in tenths when that fits 16 bits.
  auto fields = [](double dpi, uint16_t& numerator, int8_t& exponent) {
    const double tenths = std::round(dpi * 10);
    if (tenths <= 0xFFFF) {
      numerator = uint16_t(tenths);
      exponent = 3;
    } else {
      numerator = uint16_t(std::min(std::round(dpi), 65535.0));
      exponent = 4;
    }
  };
  uint16_t vertical = 0, horizontal = 0;
  int8_t verticalExponent = 0, horizontalExponent = 0;
  fields(resolution.y, vertical, verticalExponent);
  fields(resolution.x, horizontal, horizontalExponent);
  std::vector<uint8_t> box;
  putBig(box, uint32_t(2 * kBoxHeader + kResolutionFields), 4);
  putBig(box, boxType("res "), 4);
  putBig(box, uint32_t(kBoxHeader + kResolutionFields), 4);
  putBig(box, boxType("resc"), 4);
  putBig(box, vertical, 2);
  putBig(box, kResolutionDenominator, 2);
  putBig(box, horizontal, 2);
  putBig(box, kResolutionDenominator, 2);
  box.push_back(uint8_t(verticalExponent));
  box.push_back(uint8_t(horizontalExponent));
  const size_t end = header->offset + header->size;
  const uint32_t grown = uint32_t(header->size + box.size());
  const size_t at = header->offset;
  file.insert(file.begin() + end, box.begin(), box.end());
  for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(grown >> (8 * (3 - i)));
  return Status::success();
}

// The capture resolution, else the display resolution, of a JP2 file.
Resolution readResolution(std::span<const uint8_t> file) {
  std::vector<Box> top, inHeader, inRes;
  if (!listBoxes(file, 0, file.size(), top)) return {};
  const Box* header = findBox(top, boxType("jp2h"));
  if (!header ||
      !listBoxes(file, header->offset + header->header, header->offset + header->size, inHeader)) {
    return {};
  }
  const Box* res = findBox(inHeader, boxType("res "));
  if (!res || !listBoxes(file, res->offset + res->header, res->offset + res->size, inRes)) {
    return {};
  }
  for (uint32_t type : {boxType("resc"), boxType("resd")}) {
    const Box* box = findBox(inRes, type);
    if (!box || box->size - box->header < kResolutionFields) continue;
    const size_t at = box->offset + box->header;
    auto perInch = [&](size_t numeratorAt, size_t exponentAt) {
      const uint32_t numerator = readBig(file, numeratorAt, 2);
      const uint32_t denominator = readBig(file, numeratorAt + 2, 2);
      if (numerator == 0 || denominator == 0) return 0.0;
      const double dpi = double(numerator) / denominator *
                         std::pow(10.0, int8_t(file[exponentAt])) * kMetresPerInch;
      const double whole = std::round(dpi);
      return std::fabs(dpi - whole) < 1e-6 * std::max(1.0, whole) ? whole : dpi;
    };
    return {perInch(at + 4, at + 9), perInch(at, at + 8)};
  }
  return {};
}

}  // namespace

Status encodeJp2(ByteSink& sink, const BitmapImage& image) {
  const PixelLayout& layout = image.layout();
  const uint32_t components = layout.samplesPerPixel;
  const uint32_t bandRows = std::min(layout.height, kBandRows);
  opj_image_cmptparm_t parameters[3] = {};
  for (uint32_t c = 0; c < components; ++c) {
    parameters[c].dx = parameters[c].dy = 1;
    parameters[c].w = layout.width;
    parameters[c].h = layout.height;
    parameters[c].prec = layout.bitsPerSample;
    parameters[c].sgnd = 0;
  }
  ImagePtr picture(opj_image_tile_create(components, parameters,
                                         components == 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY));
  if (!picture) return Status::failure("no memory for a JPEG 2000 image");
  picture->x0 = picture->y0 = 0;
  picture->x1 = layout.width;
  picture->y1 = layout.height;

  opj_cparameters_t settings;
  opj_set_default_encoder_parameters(&settings);
  settings.tcp_numlayers = 1;
  settings.tcp_rates[0] = 0;  // lossless
  settings.cp_disto_alloc = 1;
  settings.irreversible = 0;
  settings.tcp_mct = components == 3 ? 1 : 0;
  settings.tile_size_on = OPJ_TRUE;
  settings.cp_tx0 = settings.cp_ty0 = 0;
  settings.cp_tdx = int(layout.width);
  settings.cp_tdy = int(bandRows);
  // Each level halves the band; a small image has fewer of them.
  int levels = 1;
  while (levels < kMaxResolutions && (std::min(layout.width, bandRows) >> levels) > 0) ++levels;
  settings.numresolution = levels;

  Messages messages;
  CodecPtr codec(opj_create_compress(OPJ_CODEC_JP2));
  if (!codec) return Status::failure("no memory for a JPEG 2000 encoder");
  install(codec.get(), messages);
  if (!opj_setup_encoder(codec.get(), &settings, picture.get())) {
    return failure(messages, "bad settings");
  }
  std::vector<uint8_t> file;
  MemorySink memory(file);
  StreamPtr stream(opj_stream_create(kStreamChunk, OPJ_FALSE));
  if (!stream) return Status::failure("no memory for a JPEG 2000 stream");
  opj_stream_set_user_data(stream.get(), &memory, nullptr);
  opj_stream_set_write_function(stream.get(), sinkWrite);
  opj_stream_set_skip_function(stream.get(), sinkSkip);
  opj_stream_set_seek_function(stream.get(), sinkSeek);
  if (!opj_start_compress(codec.get(), picture.get(), stream.get())) {
    return failure(messages, "cannot start");
  }
  // A band's samples, component after component, one or two bytes each.
  const size_t sampleBytes = layout.bitsPerSample > 8 ? 2 : 1;
  std::vector<uint8_t> band(size_t(layout.width) * bandRows * components * sampleBytes);
  std::vector<uint8_t> bits(layout.bitsPerSample == 1 ? layout.width : 0);
  RowReader reader(image);
  reader.start();
  uint32_t tile = 0;
  for (uint32_t top = 0; top < layout.height; top += bandRows, ++tile) {
    const uint32_t rows = std::min(bandRows, layout.height - top);
    const size_t plane = size_t(layout.width) * rows;
    for (uint32_t r = 0; r < rows; ++r) {
      const uint8_t* row = nullptr;
      if (Status s = reader.next(row); !s.ok()) return s;
      for (uint32_t x = 0; x < layout.width; ++x) {
        for (uint32_t c = 0; c < components; ++c) {
          const size_t to = (c * plane + size_t(r) * layout.width + x) * sampleBytes;
          const size_t sample = size_t(x) * components + c;
          if (layout.bitsPerSample == 1) {
            band[to] = (row[x / 8] >> (7 - x % 8)) & 1;
          } else {
            std::memcpy(&band[to], row + sample * sampleBytes, sampleBytes);
          }
        }
      }
    }
    if (!opj_write_tile(codec.get(), tile, band.data(),
                        OPJ_UINT32(plane * components * sampleBytes), stream.get())) {
      return failure(messages, "cannot write a band");
    }
  }
  if (!opj_end_compress(codec.get(), stream.get())) return failure(messages, "cannot finish");
  stream.reset();
  const Resolution resolution = image.resolution();
  if (resolution.x > 0 && resolution.y > 0) {
    if (Status s = addResolutionBox(file, resolution); !s.ok()) return s;
  }
  if (!sink.write(file.data(), file.size())) return Status::failure("cannot write the stream");
  return Status::success();
}

Status decodeJp2(std::span<const uint8_t> bytes, DecodedImage& out) {
  const bool jp2 = bytes.size() >= sizeof kJp2Signature &&
                   std::memcmp(bytes.data(), kJp2Signature, sizeof kJp2Signature) == 0;
  const bool codestream = bytes.size() >= sizeof kCodestreamStart &&
                          std::memcmp(bytes.data(), kCodestreamStart, sizeof kCodestreamStart) == 0;
  if (!jp2 && !codestream) return Status::failure("not a JPEG 2000 file");
  Messages messages;
  CodecPtr codec(opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
  if (!codec) return Status::failure("no memory for a JPEG 2000 decoder");
  install(codec.get(), messages);
  opj_dparameters_t settings;
  opj_set_default_decoder_parameters(&settings);
  // Strict: a stream cut short is an error, not a picture with its lower part missing.
  if (!opj_setup_decoder(codec.get(), &settings) ||
      !opj_decoder_set_strict_mode(codec.get(), OPJ_TRUE)) {
    return Status::failure("JPEG 2000: bad settings");
  }
  Input input{bytes};
  StreamPtr stream(opj_stream_create(kStreamChunk, OPJ_TRUE));
  if (!stream) return Status::failure("no memory for a JPEG 2000 stream");
  opj_stream_set_user_data(stream.get(), &input, nullptr);
  opj_stream_set_user_data_length(stream.get(), bytes.size());
  opj_stream_set_read_function(stream.get(), inputRead);
  opj_stream_set_skip_function(stream.get(), inputSkip);
  opj_stream_set_seek_function(stream.get(), inputSeek);
  opj_image_t* raw = nullptr;
  if (!opj_read_header(stream.get(), codec.get(), &raw)) {
    opj_image_destroy(raw);
    return failure(messages, "cannot read the header");
  }
  ImagePtr picture(raw);
  const uint32_t width = picture->x1 - picture->x0;
  const uint32_t height = picture->y1 - picture->y0;
  const uint32_t components = picture->numcomps;
  if (picture->x1 <= picture->x0 || picture->y1 <= picture->y0 ||
      (components != 1 && components != 3)) {
    return Status::failure("JPEG 2000 images of " + std::to_string(components) +
                           " components are not supported");
  }
  const uint32_t precision = picture->comps[0].prec;
  for (uint32_t c = 0; c < components; ++c) {
    const opj_image_comp_t& comp = picture->comps[c];
    if (comp.dx != 1 || comp.dy != 1 || comp.prec != precision || precision == 0 ||
        precision > 16) {
      return Status::failure(
          "JPEG 2000 images with subsampled or mixed components are not "
          "supported");
    }
  }
  const uint16_t bits = precision == 1 ? 1 : precision <= 8 ? 8 : 16;
  if (Status s = allocateRaster(width, height, bits, uint16_t(components), out.raster); !s.ok()) {
    return s;
  }
  if (!opj_decode(codec.get(), stream.get(), picture.get()) ||
      !opj_end_decompress(codec.get(), stream.get())) {
    return failure(messages, "cannot decode the image");
  }
  for (uint32_t c = 0; c < components; ++c) {
    const opj_image_comp_t& comp = picture->comps[c];
    if (!comp.data || comp.w != width || comp.h != height) {
      return Status::failure("JPEG 2000: a component does not cover the image");
    }
  }
  // Samples scaled to the raster's depth; signed ones shifted to start at 0.
  const int64_t top = (int64_t(1) << precision) - 1;
  const int64_t outTop = (int64_t(1) << bits) - 1;
  Raster& raster = out.raster;
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = raster.pixels.data() + size_t(y) * raster.layout.bytesPerRow;
    for (uint32_t x = 0; x < width; ++x) {
      for (uint32_t c = 0; c < components; ++c) {
        const opj_image_comp_t& comp = picture->comps[c];
        int64_t v = comp.data[size_t(y) * width + x];
        if (comp.sgnd) v += int64_t(1) << (precision - 1);
        v = std::clamp<int64_t>(v, 0, top);
        const int64_t scaled = top == outTop ? v : (v * outTop + top / 2) / top;
        const size_t sample = size_t(x) * components + c;
        if (bits == 1) {
          if (scaled) row[x / 8] |= uint8_t(0x80 >> (x % 8));
        } else if (bits == 8) {
          row[sample] = uint8_t(scaled);
        } else {
          const uint16_t v16 = uint16_t(scaled);
          std::memcpy(row + 2 * sample, &v16, 2);
        }
      }
    }
  }
  if (jp2) raster.resolution = readResolution(bytes);
  out.kind = FileKind::Jpeg2000;
  return Status::success();
}

}  // namespace imageio::detail
