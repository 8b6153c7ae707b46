// Throughput of the image-conversion stages that the models build, one read unit per
// iteration, beside memcpy of the same buffers in the same run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "drv/engine/ImageProcess.h"

namespace {

constexpr uint32_t kWidth = 2544;      // letter width at 300 dpi
constexpr uint32_t kColourLines = 34;  // a 256 KiB read unit of colour lines
constexpr uint32_t kGreyLines = 102;   // the same bytes of grey lines

std::vector<uint8_t> Page(size_t bytes) {
  std::vector<uint8_t> data(bytes);
  uint32_t x = 12345;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return data;
}

// Runs one stage over the same block again and again; the page restarts every 64 blocks so
// that stages with page state keep producing output.
template <class P>
void RunStage(benchmark::State& state, uint32_t id, const P& parameter, uint32_t lineBytes,
              uint32_t lines) {
  CImageProcess_InitializeParameter item{id, const_cast<P*>(&parameter)};
  CImageProcess ip;
  if (!ip.Initialize(1, &item)) {
    state.SkipWithError("stage initialisation failed");
    return;
  }
  std::vector<uint8_t> block = Page(size_t{lineBytes} * lines);
  uint32_t blocks = 0;
  ip.Reset();
  for (auto _ : state) {
    if (++blocks % 64 == 0) ip.Reset();
    uint8_t* out = nullptr;
    uint32_t size = 0;
    ip.Process(block.data(), static_cast<uint32_t>(block.size()), &out, &size);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(block.size()));
}

void BM_Memcpy(benchmark::State& state) {
  const size_t bytes = size_t{kWidth} * 3 * kColourLines;
  std::vector<uint8_t> src = Page(bytes), dst(bytes);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void BM_C24ToG8(benchmark::State& state) {
  CImageProcess_Parameter_ColorToGray p{kWidth, 0.212671, 0.71516, 0.072169, 0};
  RunStage(state, IP_C24ToG8, p, kWidth * 3, kColourLines);
}

void BM_BiLinearScale300To200Colour(benchmark::State& state) {
  CImageProcess_Parameter_Scale p{kWidth, 3300, kWidth * 2 / 3, 2200, 0, 0, 24, 0};
  RunStage(state, IP_BiLinearScale, p, kWidth * 3, kColourLines);
}

void BM_BiLinearScale300To250Grey(benchmark::State& state) {
  CImageProcess_Parameter_Scale p{kWidth, 3300, 2120, 2750, 0, 0, 8, 0};
  RunStage(state, IP_BiLinearScale, p, kWidth, kGreyLines);
}

void BM_NearestScale300To200Colour(benchmark::State& state) {
  CImageProcess_Parameter_Scale p{kWidth, 3300, kWidth * 2 / 3, 2200, 0, 0, 24, 0};
  RunStage(state, IP_NearestScale, p, kWidth * 3, kColourLines);
}

void BM_NearestScale300To250Lineart(benchmark::State& state) {
  CImageProcess_Parameter_Scale p{kWidth, 3300, 2112, 2750, 0, 0, 1, 0};
  RunStage(state, IP_NearestScale, p, kWidth / 8, kGreyLines * 8);
}

void BM_CutImageColour(benchmark::State& state) {
  CImageProcess_Parameter_CutImage p{};
  p.blColor = 1;
  p.Pixel = kWidth;
  p.dwCutRight = 16;
  RunStage(state, IP_CutImage, p, kWidth * 3, kColourLines);
}

void BM_LineDifference(benchmark::State& state) {
  CImageProcess_Parameter_LineDifference p{kWidth, {0, 4, 8}};
  RunStage(state, IP_LineDifference, p, kWidth * 3, kColourLines);
}

void BM_G8ToLineart(benchmark::State& state) {
  CImageProcess_Parameter_G8ToLineart p{kWidth, 128};
  RunStage(state, IP_G8ToLineart, p, kWidth, kGreyLines);
}

void BM_G8ToHalftone(benchmark::State& state) {
  CImageProcess_Parameter_G8ToHalftone p{};
  p.Pixel = kWidth;
  p.bTableIndex = 2;
  RunStage(state, IP_G8ToHalftone, p, kWidth, kGreyLines);
}

void BM_G8ToErrorDiffusion(benchmark::State& state) {
  CImageProcess_Parameter_Width p{kWidth};
  RunStage(state, IP_G8ToErrorDiffusion, p, kWidth, kGreyLines);
}

}  // namespace

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_C24ToG8);
BENCHMARK(BM_BiLinearScale300To200Colour);
BENCHMARK(BM_BiLinearScale300To250Grey);
BENCHMARK(BM_NearestScale300To200Colour);
BENCHMARK(BM_NearestScale300To250Lineart);
BENCHMARK(BM_CutImageColour);
BENCHMARK(BM_LineDifference);
BENCHMARK(BM_G8ToLineart);
BENCHMARK(BM_G8ToHalftone);
BENCHMARK(BM_G8ToErrorDiffusion);
BENCHMARK_MAIN();
