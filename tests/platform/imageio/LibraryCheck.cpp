#include "tests/platform/imageio/LibraryCheck.h"

#include <gif_lib.h>
#include <libexif/exif-data.h>
#include <openjpeg.h>
#include <png.h>
#include <tiffio.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "TestFolder.h"
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

namespace imageio_check {
namespace {

uint8_t to8(uint32_t value, int bits) {
  if (bits == 1) return value ? 0xFF : 0;
  if (bits == 16) return uint8_t(value >> 8);
  return uint8_t(value);
}

// Samples of a packed row at the given depth, scaled to 8 bits.
void appendRow(const uint8_t* row, size_t samples, int bits, std::vector<uint8_t>& out) {
  for (size_t i = 0; i < samples; ++i) {
    uint32_t v = 0;
    if (bits == 1) {
      v = (row[i / 8] >> (7 - i % 8)) & 1;
    } else if (bits == 16) {
      uint16_t w;
      std::memcpy(&w, row + 2 * i, 2);
      v = w;
    } else {
      v = row[i];
    }
    out.push_back(to8(v, bits));
  }
}

Facts tiffFactsOf(TIFF* tiff) {
  Facts f;
  if (!tiff) {
    f.error = "libtiff cannot open it";
    return f;
  }
  uint16_t bits = 0, samples = 0, unit = RESUNIT_INCH, orientation = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &f.width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &f.height);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  f.bitsPerSample = bits;
  f.samplesPerPixel = samples;
  float x = 0, y = 0;
  if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x) && TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y)) {
    TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    const double scale = unit == RESUNIT_CENTIMETER ? 2.54 : 1;
    f.xDpi = x * scale;
    f.yDpi = y * scale;
  }
  if (TIFFGetField(tiff, TIFFTAG_ORIENTATION, &orientation)) f.orientation = orientation;
  char* text = nullptr;
  if (TIFFGetField(tiff, TIFFTAG_MAKE, &text)) f.make = text;
  if (TIFFGetField(tiff, TIFFTAG_MODEL, &text)) f.model = text;
  std::vector<uint8_t> row(TIFFScanlineSize(tiff));
  for (uint32_t r = 0; r < f.height; ++r) {
    if (TIFFReadScanline(tiff, row.data(), r, 0) < 0) {
      f.error = "libtiff cannot read row " + std::to_string(r);
      TIFFClose(tiff);
      return f;
    }
    appendRow(row.data(), size_t(f.width) * samples, bits, f.samples8);
  }
  TIFFClose(tiff);
  f.ok = true;
  return f;
}

struct Memory {
  const std::vector<uint8_t>* bytes;
  toff_t at = 0;
};
tmsize_t memRead(thandle_t h, void* data, tmsize_t n) {
  auto* m = static_cast<Memory*>(h);
  const size_t left = m->at < m->bytes->size() ? m->bytes->size() - m->at : 0;
  const size_t count = std::min<size_t>(size_t(n), left);
  std::memcpy(data, m->bytes->data() + m->at, count);
  m->at += count;
  return tmsize_t(count);
}
tmsize_t memWrite(thandle_t, void*, tmsize_t) { return -1; }
toff_t memSeek(thandle_t h, toff_t off, int whence) {
  auto* m = static_cast<Memory*>(h);
  if (whence == SEEK_SET) m->at = off;
  if (whence == SEEK_CUR) m->at += off;
  if (whence == SEEK_END) m->at = m->bytes->size() + off;
  return m->at;
}
int memClose(thandle_t) { return 0; }
toff_t memSize(thandle_t h) { return static_cast<Memory*>(h)->bytes->size(); }
int memMap(thandle_t, void**, toff_t*) { return 0; }
void memUnmap(thandle_t, void*, toff_t) {}

struct JpegErrors {
  jpeg_error_mgr manager;
  jmp_buf jump;
};
void jpegFail(j_common_ptr info) { longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }

void exifFacts(const std::filesystem::path& file, Facts& f) {
  ExifData* data = exif_data_new_from_file(file.c_str());
  if (!data) return;
  const ExifByteOrder order = exif_data_get_byte_order(data);
  if (ExifEntry* e = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION)) {
    f.orientation = exif_get_short(e->data, order);
  }
  auto text = [&](ExifTag tag) {
    ExifEntry* e = exif_content_get_entry(data->ifd[EXIF_IFD_0], tag);
    return e ? std::string(reinterpret_cast<char*>(e->data), strnlen((char*)e->data, e->size))
             : std::string();
  };
  f.make = text(EXIF_TAG_MAKE);
  f.model = text(EXIF_TAG_MODEL);
  exif_data_unref(data);
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

}  // namespace

std::vector<uint8_t> readBytes(const std::filesystem::path& file) {
  const std::string bytes = testsupport::ReadFile(file);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

Facts tiffFacts(const std::filesystem::path& file) {
  return tiffFactsOf(TIFFOpen(file.c_str(), "r"));
}

Facts tiffFactsInMemory(const std::vector<uint8_t>& bytes) {
  Memory memory{&bytes};
  return tiffFactsOf(TIFFClientOpen("memory", "r", &memory, memRead, memWrite, memSeek, memClose,
                                    memSize, memMap, memUnmap));
}

Facts pngFacts(const std::filesystem::path& file) {
  Facts f;
  std::FILE* in = std::fopen(file.c_str(), "rb");
  if (!in) {
    f.error = "cannot open";
    return f;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  std::vector<uint8_t> pixels;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(in);
    f.error = "libpng failed";
    return f;
  }
  png_init_io(png, in);
  png_read_info(png, info);
  f.width = png_get_image_width(png, info);
  f.height = png_get_image_height(png, info);
  f.bitsPerSample = png_get_bit_depth(png, info);
  f.samplesPerPixel = png_get_channels(png, info);
  png_uint_32 x = 0, y = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &x, &y, &unit) && unit == PNG_RESOLUTION_METER) {
    f.xDpi = x * 0.0254;
    f.yDpi = y * 0.0254;
  }
  png_uint_32 exifSize = 0;
  png_bytep exif = nullptr;
  if (png_get_eXIf_1(png, info, &exifSize, &exif) && exifSize > 0) {
    std::vector<uint8_t> block = {'E', 'x', 'i', 'f', 0, 0};
    block.insert(block.end(), exif, exif + exifSize);
    if (ExifData* data = exif_data_new_from_data(block.data(), unsigned(block.size()))) {
      const ExifByteOrder order = exif_data_get_byte_order(data);
      if (ExifEntry* e = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION)) {
        f.orientation = exif_get_short(e->data, order);
      }
      if (ExifEntry* e = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_MAKE)) {
        f.make = reinterpret_cast<char*>(e->data);
      }
      if (ExifEntry* e = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_MODEL)) {
        f.model = reinterpret_cast<char*>(e->data);
      }
      exif_data_unref(data);
    }
  }
  png_set_strip_16(png);
  png_set_expand_gray_1_2_4_to_8(png);
  png_read_update_info(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  pixels.resize(rowBytes * f.height);
  for (uint32_t r = 0; r < f.height; ++r) rows.push_back(pixels.data() + r * rowBytes);
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(in);
  // Grey expanded from 1 bit reads 0 or 1 per byte: scale it like the rest.
  if (f.bitsPerSample == 1) {
    for (uint8_t& v : pixels) v = v ? 0xFF : 0;
  }
  f.samples8 = pixels;
  f.ok = true;
  return f;
}

Facts jpegFacts(const std::filesystem::path& file) {
  Facts f;
  const std::vector<uint8_t> bytes = readBytes(file);
  jpeg_decompress_struct info;
  JpegErrors errors;
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = jpegFail;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    f.error = "libjpeg failed";
    return f;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), bytes.size());
  jpeg_read_header(&info, TRUE);
  jpeg_start_decompress(&info);
  f.width = info.output_width;
  f.height = info.output_height;
  f.bitsPerSample = info.data_precision;
  f.samplesPerPixel = info.output_components;
  if (info.density_unit == 1) {
    f.xDpi = info.X_density;
    f.yDpi = info.Y_density;
  }
  std::vector<uint8_t> row(size_t(f.width) * f.samplesPerPixel);
  while (info.output_scanline < info.output_height) {
    JSAMPROW r = row.data();
    jpeg_read_scanlines(&info, &r, 1);
    f.samples8.insert(f.samples8.end(), row.begin(), row.end());
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  exifFacts(file, f);
  f.ok = true;
  return f;
}

Facts gifFacts(const std::filesystem::path& file) {
  Facts f;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(file.c_str(), &error);
  if (!gif || DGifSlurp(gif) == GIF_ERROR || gif->ImageCount < 1) {
    f.error = "giflib failed";
    if (gif) DGifCloseFile(gif, &error);
    return f;
  }
  const SavedImage& image = gif->SavedImages[0];
  const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
  f.width = gif->SWidth;
  f.height = gif->SHeight;
  f.bitsPerSample = 8;
  bool grey = true;
  for (int i = 0; i < map->ColorCount; ++i) {
    const GifColorType& c = map->Colors[i];
    grey = grey && c.Red == c.Green && c.Green == c.Blue;
  }
  f.samplesPerPixel = grey ? 1 : 3;
  for (size_t i = 0; i < size_t(f.width) * f.height; ++i) {
    const GifColorType& c = map->Colors[image.RasterBits[i]];
    f.samples8.push_back(c.Red);
    if (!grey) {
      f.samples8.push_back(c.Green);
      f.samples8.push_back(c.Blue);
    }
  }
  DGifCloseFile(gif, &error);
  f.ok = true;
  return f;
}

Facts jp2Facts(const std::filesystem::path& file) {
  Facts f;
  opj_stream_t* stream = opj_stream_create_default_file_stream(file.c_str(), OPJ_TRUE);
  opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_JP2);
  opj_dparameters_t settings;
  opj_set_default_decoder_parameters(&settings);
  opj_image_t* image = nullptr;
  if (stream && opj_setup_decoder(codec, &settings) && opj_read_header(stream, codec, &image) &&
      opj_decode(codec, stream, image) && opj_end_decompress(codec, stream)) {
    f.width = image->x1 - image->x0;
    f.height = image->y1 - image->y0;
    f.bitsPerSample = int(image->comps[0].prec);
    f.samplesPerPixel = int(image->numcomps);
    for (size_t i = 0; i < size_t(f.width) * f.height; ++i) {
      for (int c = 0; c < f.samplesPerPixel; ++c) {
        f.samples8.push_back(to8(uint32_t(image->comps[c].data[i]), f.bitsPerSample));
      }
    }
    f.ok = true;
  } else {
    f.error = "OpenJPEG failed";
  }
  opj_image_destroy(image);
  opj_destroy_codec(codec);
  opj_stream_destroy(stream);
  return f;
}

Facts bmpFacts(const std::filesystem::path& file) {
  Facts f;
  const std::vector<uint8_t> b = readBytes(file);
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || le32(b, 2) != b.size() || le32(b, 14) != 40) {
    f.error = "not a BMP with a 40-byte header and its own size";
    return f;
  }
  f.width = le32(b, 18);
  f.height = le32(b, 22);
  const int bits = b[28] | b[29] << 8;
  f.bitsPerSample = bits == 24 ? 8 : bits;
  f.samplesPerPixel = bits == 24 ? 3 : 1;
  f.xDpi = le32(b, 38) * 0.0254;
  f.yDpi = le32(b, 42) * 0.0254;
  const size_t stride = (size_t(bits) * f.width + 31) / 32 * 4;
  const uint32_t offset = le32(b, 10);
  if (le32(b, 34) != stride * f.height || offset + stride * f.height != b.size()) {
    f.error = "image size or offset does not match the rows";
    return f;
  }
  // Bottom-up rows; palettes are grey ramps (or black, white) here.
  for (uint32_t r = 0; r < f.height; ++r) {
    const uint8_t* row = &b[offset + (f.height - 1 - r) * stride];
    for (uint32_t x = 0; x < f.width; ++x) {
      if (bits == 24) {
        f.samples8.insert(f.samples8.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
      } else if (bits == 8) {
        f.samples8.push_back(b[54 + 4 * row[x]]);
      } else {
        f.samples8.push_back(b[54 + 4 * ((row[x / 8] >> (7 - x % 8)) & 1)]);
      }
    }
  }
  f.ok = true;
  return f;
}

}  // namespace imageio_check
