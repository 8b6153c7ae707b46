#include "tests/drv/jpeg/oracle.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace oracle {
namespace {

// The C code paths must be chosen before libjpeg-turbo first looks at the processor.
struct ForceC {
  ForceC() { setenv("JSIMD_FORCENONE", "1", 1); }
} const gForceC;

struct Err {
  jpeg_error_mgr mgr;
  jmp_buf jump;
  int warnings = 0;
  char last[JMSG_LENGTH_MAX] = "";
};

void onError(j_common_ptr c) {
  Err* e = reinterpret_cast<Err*>(c->err);
  (*c->err->format_message)(c, e->last);
  longjmp(e->jump, 1);
}

void onMessage(j_common_ptr c, int level) {
  if (level < 0) reinterpret_cast<Err*>(c->err)->warnings++;
}

void setup(Err& e, j_common_ptr c) {
  c->err = jpeg_std_error(&e.mgr);
  e.mgr.error_exit = onError;
  e.mgr.emit_message = onMessage;
}

// Opens a decompressor on the stream, reads its header and runs `body` on it; false when
// libjpeg-turbo raised an error on the way (its text is in e.last).
template <class Body>
bool readStream(const std::vector<uint8_t>& stream, Err& e, Body body) {
  jpeg_decompress_struct c;
  setup(e, reinterpret_cast<j_common_ptr>(&c));
  if (setjmp(e.jump)) {
    jpeg_destroy_decompress(&c);
    return false;
  }
  jpeg_create_decompress(&c);
  jpeg_mem_src(&c, stream.data(), static_cast<unsigned long>(stream.size()));
  jpeg_read_header(&c, TRUE);
  body(c);
  jpeg_destroy_decompress(&c);
  return true;
}

uint32_t next(uint32_t& s) {
  s = s * 1664525u + 1013904223u;
  return s >> 8;
}

}  // namespace

Picture makePicture(int width, int height, int comps, uint32_t seed) {
  Picture p;
  p.width = width;
  p.height = height;
  p.comps = comps;
  p.pixels.resize(size_t(width) * height * comps);
  uint32_t s = seed * 2654435761u + 1;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      // Paper background, a few gradients, "text" strokes and noise.
      const bool stroke = ((x / 3 + y / 7 + int(seed)) % 11 == 0) && ((y / 13) % 3 != 1);
      for (int c = 0; c < comps; ++c) {
        int v = 200 + ((x * (c + 1) + y * (3 - c)) * 40) / (width + height);
        if (stroke) v = 20 + 30 * c;
        if ((x / 16 + y / 16) % 5 == 0) v = (x * 7 + y * 3 + c * 50) & 255;
        v += int(next(s) % 9) - 4;
        p.pixels[(size_t(y) * width + x) * comps + c] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
      }
    }
  return p;
}

std::vector<uint8_t> compress(const Picture& pic, const EncodeOptions& opt) {
  jpeg_compress_struct c;
  Err e;
  setup(e, reinterpret_cast<j_common_ptr>(&c));
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  if (setjmp(e.jump)) {
    jpeg_destroy_compress(&c);
    free(buf);
    return {};
  }
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, &buf, &size);
  c.image_width = JDIMENSION(pic.width);
  c.image_height = JDIMENSION(pic.height);
  c.input_components = pic.comps;
  c.in_color_space = pic.comps == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, opt.quality, TRUE);
  if (opt.ifast) c.dct_method = JDCT_IFAST;
  if (pic.comps == 3 || opt.greyFactors) {
    c.comp_info[0].h_samp_factor = opt.h;
    c.comp_info[0].v_samp_factor = opt.v;
  }
  c.restart_interval = JDIMENSION(opt.restartInterval);
  c.restart_in_rows = opt.restartRows;
  c.density_unit = UINT8(opt.densityUnit);
  c.X_density = UINT16(opt.xDensity);
  c.Y_density = UINT16(opt.yDensity);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row =
        const_cast<JSAMPROW>(&pic.pixels[size_t(c.next_scanline) * pic.width * pic.comps]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<uint8_t> out(buf, buf + size);
  free(buf);
  return out;
}

Decoded decompress(const std::vector<uint8_t>& stream) {
  Decoded d;
  Err e;
  d.ok = readStream(stream, e, [&](jpeg_decompress_struct& c) {
    c.dct_method = JDCT_IFAST;
    c.do_fancy_upsampling = FALSE;
    c.out_color_space = c.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&c);
    d.pic.width = int(c.output_width);
    d.pic.height = int(c.output_height);
    d.pic.comps = c.output_components;
    d.pic.pixels.resize(size_t(d.pic.width) * d.pic.height * d.pic.comps);
    while (c.output_scanline < c.output_height) {
      JSAMPROW row = &d.pic.pixels[size_t(c.output_scanline) * d.pic.width * d.pic.comps];
      jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
  });
  if (d.ok)
    d.warnings = e.warnings;
  else
    d.error = e.last;
  return d;
}

Coefficients readCoefficients(const std::vector<uint8_t>& stream) {
  Coefficients out;
  Err e;
  out.ok = readStream(stream, e, [&](jpeg_decompress_struct& c) {
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&c);
    for (int ci = 0; ci < c.num_components; ++ci) {
      jpeg_component_info* comp = &c.comp_info[ci];
      const int wb = int(comp->width_in_blocks), hb = int(comp->height_in_blocks);
      out.widthInBlocks.push_back(wb);
      out.heightInBlocks.push_back(hb);
      std::vector<int16_t> all(size_t(wb) * hb * 64);
      for (int by = 0; by < hb; ++by) {
        JBLOCKARRAY rows = (*c.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&c),
                                                        arrays[ci], JDIMENSION(by), 1, FALSE);
        for (int bx = 0; bx < wb; ++bx)
          memcpy(&all[(size_t(by) * wb + bx) * 64], rows[0][bx], 64 * sizeof(int16_t));
      }
      out.comps.push_back(std::move(all));
      std::vector<uint16_t> q(64);
      for (int i = 0; i < 64; ++i) q[i] = comp->quant_table->quantval[i];
      out.quant.push_back(q);
    }
    jpeg_finish_decompress(&c);
  });
  if (out.ok) out.warnings = e.warnings;
  return out;
}

Coefficients forwardCoefficients(const std::vector<std::vector<uint8_t>>& planes,
                                 const std::vector<int>& planeWidths,
                                 const std::vector<int>& planeHeights, int width, int height, int h,
                                 int v, const std::vector<std::vector<uint8_t>>& quantTables) {
  // Raw-data compression into memory, then the coefficients read back.
  jpeg_compress_struct c;
  Err e;
  setup(e, reinterpret_cast<j_common_ptr>(&c));
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  if (setjmp(e.jump)) {
    jpeg_destroy_compress(&c);
    free(buf);
    return {};
  }
  const int nc = int(planes.size());
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, &buf, &size);
  c.image_width = JDIMENSION(width);
  c.image_height = JDIMENSION(height);
  c.input_components = nc;
  c.in_color_space = nc == 1 ? JCS_GRAYSCALE : JCS_YCbCr;
  jpeg_set_defaults(&c);
  jpeg_set_colorspace(&c, nc == 1 ? JCS_GRAYSCALE : JCS_YCbCr);
  c.dct_method = JDCT_IFAST;
  c.raw_data_in = TRUE;
  for (size_t t = 0; t < quantTables.size(); ++t) {
    unsigned int q[64];
    for (int i = 0; i < 64; ++i) q[i] = quantTables[t][i];
    jpeg_add_quant_table(&c, int(t), q, 100, TRUE);
  }
  c.comp_info[0].h_samp_factor = nc == 1 ? 1 : h;
  c.comp_info[0].v_samp_factor = nc == 1 ? 1 : v;
  for (int ci = 1; ci < nc; ++ci) {
    c.comp_info[ci].h_samp_factor = 1;
    c.comp_info[ci].v_samp_factor = 1;
  }
  jpeg_start_compress(&c, TRUE);
  const int maxV = nc == 1 ? 1 : v;
  std::vector<std::vector<JSAMPROW>> rowPtrs(static_cast<size_t>(nc));
  std::vector<JSAMPARRAY> compPtrs(static_cast<size_t>(nc));
  while (c.next_scanline < c.image_height) {
    for (int ci = 0; ci < nc; ++ci) {
      const int vs = ci == 0 ? maxV : 1;
      const int rows = 8 * vs;
      rowPtrs[ci].resize(size_t(rows));
      const int firstRow = int(c.next_scanline) / maxV * vs;
      for (int r = 0; r < rows; ++r) {
        int y = firstRow + r;
        if (y >= planeHeights[ci]) y = planeHeights[ci] - 1;
        rowPtrs[ci][r] = const_cast<JSAMPROW>(&planes[ci][size_t(y) * planeWidths[ci]]);
      }
      compPtrs[ci] = rowPtrs[ci].data();
    }
    jpeg_write_raw_data(&c, compPtrs.data(), JDIMENSION(8 * maxV));
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<uint8_t> stream(buf, buf + size);
  free(buf);
  return readCoefficients(stream);
}

std::vector<uint8_t> transcode(const std::vector<uint8_t>& stream) {
  jpeg_decompress_struct d;
  jpeg_compress_struct c;
  Err e;  // one handler for both objects
  setup(e, reinterpret_cast<j_common_ptr>(&d));
  c.err = d.err;
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_create_decompress(&d);
  jpeg_create_compress(&c);
  if (setjmp(e.jump)) {
    jpeg_destroy_compress(&c);
    jpeg_destroy_decompress(&d);
    free(buf);
    return {};
  }
  jpeg_mem_src(&d, stream.data(), static_cast<unsigned long>(stream.size()));
  jpeg_read_header(&d, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&d);
  jpeg_mem_dest(&c, &buf, &size);
  jpeg_copy_critical_parameters(&d, &c);
  c.optimize_coding = FALSE;
  c.restart_interval = 0;
  jpeg_write_coefficients(&c, arrays);
  jpeg_finish_compress(&c);
  jpeg_finish_decompress(&d);
  jpeg_destroy_compress(&c);
  jpeg_destroy_decompress(&d);
  std::vector<uint8_t> out(buf, buf + size);
  free(buf);
  return out;
}

HeaderFacts headerFacts(const std::vector<uint8_t>& stream) {
  HeaderFacts f;
  Err e;
  f.ok = readStream(stream, e, [&](jpeg_decompress_struct& c) {
    f.width = int(c.image_width);
    f.height = int(c.image_height);
    f.comps = c.num_components;
    f.h0 = c.comp_info[0].h_samp_factor;
    f.v0 = c.comp_info[0].v_samp_factor;
    f.jfif = c.saw_JFIF_marker;
    f.densityUnit = c.density_unit;
    f.xDensity = c.X_density;
    f.yDensity = c.Y_density;
    f.restartInterval = int(c.restart_interval);
  });
  return f;
}

std::vector<uint8_t> entropyData(const std::vector<uint8_t>& s) {
  size_t i = 2;
  while (i + 4 <= s.size()) {
    if (s[i] != 0xFF) return {};
    const uint8_t m = s[i + 1];
    const size_t len = size_t(s[i + 2]) << 8 | s[i + 3];
    if (m == 0xDA) {
      const size_t start = i + 2 + len;
      size_t end = s.size();
      if (end >= 2 && s[end - 2] == 0xFF && s[end - 1] == 0xD9) end -= 2;
      return std::vector<uint8_t>(s.begin() + long(start), s.begin() + long(end));
    }
    i += 2 + len;
  }
  return {};
}

}  // namespace oracle
