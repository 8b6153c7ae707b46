// Throughput of every image-conversion stage that the models build, on A4 lines at 300 and
// 600 dpi, one read unit of lines per iteration, beside memcpy of the same bytes.
//
// Run it pinned to one core, e.g. `taskset -c 2 build/checked/bench/stages_bench`: the table at
// the end gives each stage's input MB/s (the best processor time of three repetitions, since the
// machine may be shared) and its ratio against the mark every stage must reach on one core:
// 400 MB/s, error diffusion 150 MB/s (each of its pixels waits for the one before).
#include <benchmark/benchmark.h>
#include <sched.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "drv/engine/ImageProcess.h"

namespace {

constexpr double kMarkMBps = 400;
constexpr double kErrorDiffusionMarkMBps = 150;
constexpr uint32_t kReadUnitBytes = 256 * 1024;
constexpr uint32_t kResolutions[] = {300, 600};

// A4 in pixels and lines at a resolution.
uint32_t A4Width(uint32_t dpi) { return dpi * 2100 / 254; }
uint32_t A4Length(uint32_t dpi) { return dpi * 2970 / 254; }

// Lines of a scanned document, byte by byte whatever the pixel format: paper with sensor noise,
// lines of dark strokes, and a photo that fills the right third. (Error diffusion carries its
// error from pixel to pixel only away from edges, so pure noise would not measure it.)
std::vector<uint8_t> DocumentLines(uint64_t lineBytes, uint32_t lines) {
  std::vector<uint8_t> data(lineBytes * lines);
  uint32_t seed = 12345;
  for (uint32_t y = 0; y < lines; ++y) {
    const bool textLine = y % 24 >= 6 && y % 24 < 18;
    for (uint64_t x = 0; x < lineBytes; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int noise = static_cast<int>(seed >> 28) - 8;
      int v = 238;
      if (textLine && (x / 7 + y / 3) % 5 < 2) v = 30;
      if (x > lineBytes * 2 / 3) v = static_cast<int>((x * 3 / 4 + y * 2) % 256);
      v += noise;
      data[x + y * lineBytes] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
  }
  return data;
}

// Runs one stage over the same block of `lines` lines again and again, with a page reset
// whenever the page's lines are used up, as the worker thread does.
template <class P>
void RunStage(benchmark::State& state, uint32_t id, const P& parameter, uint64_t lineBytes,
              uint32_t pageLines, uint32_t lineMultiple = 1) {
  uint32_t lines = static_cast<uint32_t>(kReadUnitBytes / lineBytes);
  lines = lines < lineMultiple ? lineMultiple : lines - lines % lineMultiple;
  CImageProcess_InitializeParameter item{id, const_cast<P*>(&parameter)};
  CImageProcess ip;
  if (!ip.Initialize(1, &item)) {
    state.SkipWithError("stage initialisation failed");
    return;
  }
  std::vector<uint8_t> block = DocumentLines(lineBytes, lines);
  uint32_t done = pageLines;
  for (auto _ : state) {
    if (done + lines > pageLines) {
      ip.Reset();
      done = 0;
    }
    done += lines;
    uint8_t* out = nullptr;
    uint32_t size = 0;
    if (!ip.Process(block.data(), static_cast<uint32_t>(block.size()), &out, &size)) {
      state.SkipWithError("stage failed");
      return;
    }
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(block.size()));
}

void Memcpy(benchmark::State& state, uint32_t dpi) {
  const size_t bytes = kReadUnitBytes / (size_t{A4Width(dpi)} * 3) * A4Width(dpi) * 3;
  std::vector<uint8_t> src = DocumentLines(bytes, 1), dst(bytes);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void ColourToGrey(benchmark::State& state, uint32_t dpi, uint32_t id) {
  const uint32_t w = A4Width(dpi);
  CImageProcess_Parameter_ColorToGray p{w, 0.212671, 0.71516, 0.072169, 0};
  RunStage(state, id, p, uint64_t{w} * 3, A4Length(dpi));
}

void ColourToR2YCC(benchmark::State& state, uint32_t dpi) {
  const uint32_t w = A4Width(dpi);
  CImageProcess_Parameter_C24ToR2YCC p{w, 0.299, 0.587, 0.114};
  RunStage(state, IP_C24ToR2YCC, p, uint64_t{w} * 3, A4Length(dpi), 2);
}

void TrestleYCCToColour(benchmark::State& state, uint32_t dpi) {
  const uint32_t w = A4Width(dpi);
  CImageProcess_Parameter_YCCToC24 p{};
  p.Pixel = w;
  p.Kr = 0.299;
  p.Kg = 0.587;
  p.Kb = 0.114;
  // One unit is a pair of lines: two luma lines, then the shared Cb and Cr lines.
  RunStage(state, IP_TrestleYCC422ToC24, p, uint64_t{w} * 4, A4Length(dpi) / 2);
}

void GreyToLineart(benchmark::State& state, uint32_t dpi) {
  const uint32_t w = A4Width(dpi);
  CImageProcess_Parameter_G8ToLineart p{w, 128};
  RunStage(state, IP_G8ToLineart, p, w, A4Length(dpi));
}

void GreyToHalftone(benchmark::State& state, uint32_t dpi) {
  CImageProcess_Parameter_G8ToHalftone p{};
  p.Pixel = A4Width(dpi);
  p.bTableIndex = 2;
  RunStage(state, IP_G8ToHalftone, p, p.Pixel, A4Length(dpi));
}

void GreyToErrorDiffusion(benchmark::State& state, uint32_t dpi) {
  CImageProcess_Parameter_Width p{A4Width(dpi)};
  RunStage(state, IP_G8ToErrorDiffusion, p, p.Pixel, A4Length(dpi));
}

void CutColour(benchmark::State& state, uint32_t dpi) {
  CImageProcess_Parameter_CutImage p{};
  p.blColor = 1;
  p.Pixel = A4Width(dpi);
  p.dwCutLeft = 8;
  p.dwCutRight = 16;
  RunStage(state, IP_CutImage, p, uint64_t{p.Pixel} * 3, A4Length(dpi));
}

void UnpackBackground(benchmark::State& state, uint32_t dpi) {
  CImageProcess_Parameter_Width p{A4Width(dpi)};
  RunStage(state, IP_BackgroundColorUnpack, p, uint64_t{p.Pixel} * 3, A4Length(dpi));
}

void WidenLines(benchmark::State& state, uint32_t dpi) {
  const uint32_t bytes = A4Width(dpi) * 3;
  CImageProcess_Parameter_ModifyWidth p{bytes, bytes + 4, 0};
  RunStage(state, IP_ModifyWidth, p, bytes, A4Length(dpi));
}

void AlignChannels(benchmark::State& state, uint32_t dpi) {
  CImageProcess_Parameter_LineDifference p{A4Width(dpi), {0, 4, 8}};
  RunStage(state, IP_LineDifference, p, uint64_t{p.Pixel} * 3, A4Length(dpi));
}

// Scaling `in` lines (and pixels) to `out`: by page lengths (a page of known length) or by
// resolutions.
struct ScaleCase {
  const char* name;
  uint32_t id, bits, in, out;
  bool byResolution;
};

const ScaleCase kScaleCases[] = {
    {"BiLinearScale 3:2 colour", IP_BiLinearScale, 24, 3, 2, false},
    {"BiLinearScale 6:5 grey", IP_BiLinearScale, 8, 6, 5, false},
    {"BiLinearScale 1:2 colour", IP_BiLinearScale, 24, 1, 2, true},
    {"BiLinearScale 3:4 grey", IP_BiLinearScale, 8, 3, 4, false},
    {"NearestScale 3:2 colour", IP_NearestScale, 24, 3, 2, false},
    {"NearestScale 1:2 colour", IP_NearestScale, 24, 1, 2, true},
    {"NearestScale 6:5 1-bit", IP_NearestScale, 1, 6, 5, false},
    {"NearestScale 1:2 1-bit", IP_NearestScale, 1, 1, 2, true},
};

void Scale(benchmark::State& state, uint32_t dpi, const ScaleCase& c) {
  const uint32_t outDpi = dpi * c.out / c.in;
  const uint32_t w = A4Width(dpi), outW = A4Width(outDpi) / 8 * 8;
  CImageProcess_Parameter_Scale p{
      w,      A4Length(dpi), outW,   A4Length(outDpi),
      outDpi, dpi,           c.bits, c.byResolution ? uint8_t{1} : uint8_t{0}};
  RunStage(state, c.id, p, c.bits == 1 ? uint64_t{w} / 8 : uint64_t{w} * c.bits / 8, A4Length(dpi));
}

struct Case {
  const char* name;
  double mark;  // MB/s; 0 for the reference
  std::function<void(benchmark::State&, uint32_t)> run;
};

const std::vector<Case>& Cases() {
  using S = benchmark::State;
  static const std::vector<Case> cases = [] {
    std::vector<Case> all = {
        {"memcpy", 0, Memcpy},
        {"C24ToG8", kMarkMBps, [](S& s, uint32_t d) { ColourToGrey(s, d, IP_C24ToG8); }},
        {"C24ToG16", kMarkMBps, [](S& s, uint32_t d) { ColourToGrey(s, d, IP_C24ToG16); }},
        {"C24ToR2YCC", kMarkMBps, ColourToR2YCC},
        {"TrestleYCC422ToC24", kMarkMBps, TrestleYCCToColour},
        {"G8ToLineart", kMarkMBps, GreyToLineart},
        {"G8ToHalftone", kMarkMBps, GreyToHalftone},
        {"G8ToErrorDiffusion", kErrorDiffusionMarkMBps, GreyToErrorDiffusion},
        {"CutImage colour", kMarkMBps, CutColour},
        {"BackgroundColorUnpack", kMarkMBps, UnpackBackground},
        {"ModifyWidth colour", kMarkMBps, WidenLines},
    };
    for (const ScaleCase& c : kScaleCases)
      all.push_back({c.name, kMarkMBps, [&c](S& s, uint32_t d) { Scale(s, d, c); }});
    all.push_back({"LineDifference (no model)", kMarkMBps, AlignChannels});
    return all;
  }();
  return cases;
}

std::string RunName(const Case& c, uint32_t dpi) {
  return std::string(c.name) + "/" + std::to_string(dpi) + "dpi";
}

// Shows the runs as usual and keeps each one's best input rate.
class Collector : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> bytesPerSecond;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
      std::string name = r.benchmark_name();
      const size_t tag = name.find("/repeats");
      if (tag != std::string::npos) name.erase(tag);
      const auto rate = r.counters.find("bytes_per_second");
      if (rate == r.counters.end()) continue;
      double& best = bytesPerSecond[name];
      if (rate->second.value > best) best = rate->second.value;
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  cpu_set_t cpus;
  if (sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) > 1) {
    fprintf(stderr, "not pinned to one core: run as `taskset -c N %s` for steady figures\n",
            argv[0]);
  }
  for (const Case& c : Cases()) {
    for (uint32_t dpi : kResolutions) {
      benchmark::RegisterBenchmark(RunName(c, dpi).c_str(), [&c, dpi](benchmark::State& s) {
        c.run(s, dpi);
      })->Repetitions(3);
    }
  }
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);

  printf("\n%-28s %5s %10s %8s %8s\n", "stage", "dpi", "MB/s", "mark", "x mark");
  bool allReached = true;
  for (const Case& c : Cases()) {
    for (uint32_t dpi : kResolutions) {
      const auto found = collector.bytesPerSecond.find(RunName(c, dpi));
      if (found == collector.bytesPerSecond.end()) continue;  // filtered out
      const double mbps = found->second / 1e6;
      if (c.mark == 0) {
        printf("%-28s %5u %10.0f %8s %8s\n", c.name, dpi, mbps, "-", "-");
        continue;
      }
      const double ratio = mbps / c.mark;
      allReached = allReached && ratio >= 1;
      printf("%-28s %5u %10.0f %8.0f %8.2f%s\n", c.name, dpi, mbps, c.mark, ratio,
             ratio >= 1 ? "" : "  below the mark");
    }
  }
  printf("%s\n", allReached ? "every stage reaches its mark" : "some stages miss their mark");
  benchmark::Shutdown();
  return 0;
}
