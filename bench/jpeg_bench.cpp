// The driver's JPEG codec against libjpeg-turbo (fast integer transform) on an A4 page at
// 300 dpi, colour and grey: decode and encode, with libjpeg-turbo's SIMD code on and forced off.
//
// libjpeg-turbo decides about SIMD once per process, so its C code paths run in a child process
// (forked before anything touches libjpeg-turbo) with JSIMD_FORCENONE set; the parent runs our
// codec and libjpeg-turbo with SIMD, then prints the ratios of all three.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "drv/jpeg/JPGJpegLib.h"
#include "drv/jpeg/JPGKernels.h"

namespace {

constexpr int kWidth = 2480, kHeight = 3508;
constexpr int kStripLines = 256;

struct Page {
  int comps;
  std::vector<uint8_t> pixels;
  std::vector<uint8_t> jpeg;  // made by our encoder, decoded by both
};

// A document page: white paper, lines of "text", a photo-like block and a coloured logo.
std::vector<uint8_t> makePage(int comps) {
  std::vector<uint8_t> px(size_t(kWidth) * kHeight * comps);
  uint32_t s = 12345;
  for (int y = 0; y < kHeight; ++y) {
    const bool textLine = (y % 50) >= 12 && (y % 50) < 36 && y > 300 && y < 3200;
    for (int x = 0; x < kWidth; ++x) {
      s = s * 1664525u + 1013904223u;
      const int noise = int(s >> 29) - 4;
      uint8_t* p = &px[(size_t(y) * kWidth + x) * comps];
      int v[3] = {246, 244, 240};
      if (textLine && x > 200 && x < 2280 && ((x / 9 + y / 5) % 7 < 2) && ((x / 40) % 6 != 5))
        v[0] = v[1] = v[2] = 30;
      if (y > 2000 && y < 2900 && x > 300 && x < 1500) {
        v[0] = (x * 3 + y) & 255;
        v[1] = (x + y * 2) & 255;
        v[2] = ((x ^ y) * 5) & 255;
      }
      if (y > 150 && y < 260 && x > 1900 && x < 2300) {
        v[0] = 200;
        v[1] = 30;
        v[2] = 40;
      }
      for (int c = 0; c < comps; ++c) {
        const int g = comps == 1 ? (v[0] * 3 + v[1] * 6 + v[2]) / 10 : v[c];
        const int o = g + noise;
        p[c] = uint8_t(o < 0 ? 0 : (o > 255 ? 255 : o));
      }
    }
  }
  return px;
}

// Engine quality 72 (level 10), luma 2 x 1 for colour: a scanner's usual JPEG output.
constexpr int kQuality = 72;

std::vector<uint8_t> oursEncode(const Page& page) {
  uint32_t id = 0, size = 0;
  if (LMJPGJpegEncoder(&id, 0, 32, kQuality, page.comps * 8, 1, kWidth, kHeight, 300, 300) != 1)
    return {};
  if (LMJPGWriteImage(&id, page.pixels.data(), kWidth * page.comps, &size) != 1) return {};
  std::vector<uint8_t> out(size);
  LMJPGReadJFIF(&id, out.data(), size);
  return out;
}

bool oursDecode(const std::vector<uint8_t>& jpeg, std::vector<uint8_t>& out, int comps) {
  uint32_t id = 0;
  int32_t bpp, w, h;
  if (LMJPGWriteJFIF(&id, jpeg.data(), uint32_t(jpeg.size()), 0, &bpp, &w, &h, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr, nullptr) != 1)
    return false;
  const int bpl = w * comps;
  for (int y = 0; y < h; y += kStripLines) {
    const int lines = std::min(kStripLines, h - y);
    if (LMJPGJpegDecoderStrip(&id, &out[size_t(y) * bpl], comps * 8, 1, y, lines, bpl) < 0)
      return false;
  }
  LMJPGResetJpeg(&id);
  return true;
}

std::vector<uint8_t> turboEncode(const Page& page) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buf, &size);
  c.image_width = kWidth;
  c.image_height = kHeight;
  c.input_components = page.comps;
  c.in_color_space = page.comps == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, kQuality, TRUE);
  c.dct_method = JDCT_IFAST;
  if (page.comps == 3) {
    c.comp_info[0].h_samp_factor = 2;
    c.comp_info[0].v_samp_factor = 1;
  }
  jpeg_start_compress(&c, TRUE);
  JSAMPROW rows[16];
  while (c.next_scanline < c.image_height) {
    const int n = std::min<int>(16, int(c.image_height - c.next_scanline));
    for (int i = 0; i < n; ++i)
      rows[i] =
          const_cast<JSAMPROW>(&page.pixels[size_t(c.next_scanline + i) * kWidth * page.comps]);
    jpeg_write_scanlines(&c, rows, JDIMENSION(n));
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<uint8_t> out(buf, buf + size);
  free(buf);
  return out;
}

void turboDecode(const std::vector<uint8_t>& jpeg, std::vector<uint8_t>& out, int comps) {
  jpeg_decompress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_decompress(&c);
  jpeg_mem_src(&c, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&c, TRUE);
  c.dct_method = JDCT_IFAST;
  c.do_fancy_upsampling = FALSE;
  c.out_color_space = comps == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_start_decompress(&c);
  JSAMPROW rows[16];
  while (c.output_scanline < c.output_height) {
    const int n = std::min<int>(16, int(c.output_height - c.output_scanline));
    for (int i = 0; i < n; ++i) rows[i] = &out[size_t(c.output_scanline + i) * kWidth * comps];
    jpeg_read_scanlines(&c, rows, JDIMENSION(n));
  }
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
}

Page gPages[2];  // colour, grey

// Each operation of every codec in `who`, the codecs of one operation next to each other so that
// a change in the machine's load touches them alike.
void registerAll(std::initializer_list<const char*> who) {
  for (int k = 0; k < 2; ++k) {
    const std::string kind = k == 0 ? "Colour" : "Grey";
    for (const char* w : who) {
      const bool ours = strcmp(w, "Ours") == 0;
      benchmark::RegisterBenchmark(("Decode/" + kind + "/" + w).c_str(),
                                   [k, ours](benchmark::State& st) {
                                     const Page& p = gPages[k];
                                     std::vector<uint8_t> out(size_t(kWidth) * kHeight * p.comps);
                                     for (auto _ : st) {
                                       if (ours) {
                                         if (!oursDecode(p.jpeg, out, p.comps))
                                           st.SkipWithError("decode failed");
                                       } else {
                                         turboDecode(p.jpeg, out, p.comps);
                                       }
                                       benchmark::DoNotOptimize(out.data());
                                     }
                                   })
          ->Unit(benchmark::kMillisecond)
          ->Repetitions(3);
    }
    for (const char* w : who) {
      const bool ours = strcmp(w, "Ours") == 0;
      benchmark::RegisterBenchmark(("Encode/" + kind + "/" + w).c_str(),
                                   [k, ours](benchmark::State& st) {
                                     const Page& p = gPages[k];
                                     for (auto _ : st) {
                                       auto s = ours ? oursEncode(p) : turboEncode(p);
                                       if (s.empty()) st.SkipWithError("encode failed");
                                       benchmark::DoNotOptimize(s.data());
                                     }
                                   })
          ->Unit(benchmark::kMillisecond)
          ->Repetitions(3);
    }
  }
}

// Shows the runs as usual and keeps each one's best processor time (the machine may be shared;
// processor time and the best of three repetitions keep the ratios steady).
class Collector : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ms;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
        std::string name = r.benchmark_name();
        const size_t tag = name.find("/repeats");
        if (tag != std::string::npos) name.erase(tag);
        const double t = r.GetAdjustedCPUTime();
        if (!ms.count(name) || t < ms[name]) ms[name] = t;
      }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  gPages[0].comps = 3;
  gPages[1].comps = 1;
  for (Page& p : gPages) {
    p.pixels = makePage(p.comps);
    p.jpeg = oursEncode(p);
    if (p.jpeg.empty()) {
      fprintf(stderr, "could not make the test page\n");
      return 1;
    }
  }
  fprintf(stderr,
          "A4 300 dpi page %d x %d: colour stream %zu bytes, grey stream %zu bytes; the codec's "
          "%s kernels\n",
          kWidth, kHeight, gPages[0].jpeg.size(), gPages[1].jpeg.size(), jpgKernels().name);

  std::map<std::string, double> times;
  int fds[2];
  if (pipe(fds) != 0) return 1;
  fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    setenv("JSIMD_FORCENONE", "1", 1);
    registerAll({"TurboC"});
    Collector c;
    benchmark::RunSpecifiedBenchmarks(&c);
    FILE* out = fdopen(fds[1], "w");
    for (const auto& [name, t] : c.ms) fprintf(out, "%s %.6f\n", name.c_str(), t);
    fclose(out);
    fflush(stdout);
    _exit(0);
  }
  close(fds[1]);
  if (child > 0) {
    FILE* in = fdopen(fds[0], "r");
    char name[256];
    double t;
    while (in && fscanf(in, "%255s %lf", name, &t) == 2) times[name] = t;
    if (in) fclose(in);
    int status = 0;
    waitpid(child, &status, 0);
  }
  registerAll({"Ours", "TurboSimd"});
  Collector c;
  benchmark::RunSpecifiedBenchmarks(&c);
  for (const auto& [n, t] : c.ms) times[n] = t;

  // Speeds relative to libjpeg-turbo's: its time over ours, so that 1.00x is as fast.
  printf("\n%-14s %10s %10s %10s %14s %14s\n", "operation", "ours ms", "C ms", "SIMD ms",
         "speed vs C", "speed vs SIMD");
  for (const char* op : {"Decode/Colour", "Encode/Colour", "Decode/Grey", "Encode/Grey"}) {
    const std::string o = op;
    const double ours = times[o + "/Ours"], cPath = times[o + "/TurboC"],
                 simd = times[o + "/TurboSimd"];
    printf("%-14s %10.1f %10.1f %10.1f %13.2fx %13.2fx\n", op, ours, cPath, simd,
           ours > 0 ? cPath / ours : 0.0, ours > 0 ? simd / ours : 0.0);
  }
  printf("targets: speed vs C at least 1.00x, speed vs SIMD at least 0.90x\n");
  benchmark::Shutdown();
  return 0;
}
