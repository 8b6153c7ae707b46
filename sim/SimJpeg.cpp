// The device's JPEG compression of a side, through libjpeg-turbo (the simulator's own, not the
// driver's codec): the stream the device sends in form A, its entropy-coded data.
// clang-format off
#include <cstdio>  // jpeglib.h needs FILE
#include <jpeglib.h>
// clang-format on
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "sim/SimScanner.h"

namespace sim {
namespace {

struct ErrorExit {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void Leave(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorExit*>(info->err)->jump, 1); }

// Compresses in one go; empty on failure. Kept apart from the caller's C++ objects so that a
// long jump out of the library passes no destructor.
bool Compress(const uint8_t* pixels, uint32_t width, uint32_t lines, uint32_t components,
              uint32_t subKind, const uint8_t* luma, const uint8_t* chroma, unsigned char** out,
              unsigned long* size) {
  jpeg_compress_struct info;
  ErrorExit error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = Leave;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, out, size);
  info.image_width = width;
  info.image_height = lines;
  info.input_components = static_cast<int>(components);
  info.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  unsigned int table[64];
  for (int i = 0; i < 64; ++i) table[i] = luma[i] != 0 ? luma[i] : 1;
  jpeg_add_quant_table(&info, 0, table, 100, TRUE);
  for (int i = 0; i < 64; ++i) table[i] = chroma[i] != 0 ? chroma[i] : 1;
  jpeg_add_quant_table(&info, 1, table, 100, TRUE);
  if (components == 3) {
    info.comp_info[0].h_samp_factor = subKind == 3 ? 1 : 2;
    info.comp_info[0].v_samp_factor = subKind == 1 ? 2 : 1;
  }
  info.restart_interval = 0;
  info.optimize_coding = FALSE;
  info.write_JFIF_header = TRUE;
  jpeg_start_compress(&info, TRUE);
  const size_t stride = size_t{width} * components;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(pixels + info.next_scanline * stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

std::vector<uint8_t> DeviceJpegFile(const std::vector<uint8_t>& pixels, uint32_t width,
                                    uint32_t lines, uint32_t components, uint32_t subKind,
                                    const uint8_t* luma, const uint8_t* chroma) {
  if (width == 0 || lines == 0 || width > 65500 || lines > 65500 ||
      pixels.size() < size_t{width} * lines * components)
    return {};
  unsigned char* out = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> file;
  if (Compress(pixels.data(), width, lines, components, subKind, luma, chroma, &out, &size))
    file.assign(out, out + size);
  std::free(out);
  return file;
}

std::vector<uint8_t> DeviceJpegScanData(const std::vector<uint8_t>& file) {
  // Segments from behind SOI up to SOS; the data runs from behind SOS's header to the end.
  size_t at = 2;
  while (at + 4 <= file.size() && file[at] == 0xFF) {
    const uint8_t marker = file[at + 1];
    const size_t length = size_t{file[at + 2]} << 8 | file[at + 3];
    at += 2 + length;
    if (marker == 0xDA) return std::vector<uint8_t>(file.begin() + long(at), file.end());
  }
  return {};
}

}  // namespace sim
