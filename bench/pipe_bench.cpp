// Bytes through one pipe, written by one thread and read by another in packets of a device read
// unit, beside one memcpy of the same bytes in the same packets into a ring as large as the
// pipe's. The pipe copies every byte twice (in and out), on two threads at once.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "drv/device/CScannerManager.h"
#include "drv/engine/ExtPipe.h"

namespace {

constexpr int64_t kMiB = 1024 * 1024;
constexpr int64_t kBytesPerRun = 256 * kMiB;
// As the job start sizes an IO pipe for a page of a few MiB: some blocks, room to grow.
constexpr int64_t kPipeMinimum = 4 * kMiB;
constexpr int64_t kPipeMaximum = 16 * kMiB;
// The ring such a pipe grows to: the maximum, block-aligned.
constexpr int64_t kRing = 18 * kMiB;

std::vector<uint8_t> Bytes(size_t n) {
  std::vector<uint8_t> v(n);
  uint32_t x = 7;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return v;
}

// One memcpy of every byte, in packets, into a ring as large as the pipe's.
void BM_Memcpy(benchmark::State& state) {
  const auto packet = static_cast<size_t>(state.range(0));
  const size_t ring = static_cast<size_t>(kRing);
  std::vector<uint8_t> src = Bytes(packet), dst(ring);
  for (auto _ : state) {
    size_t at = 0;
    for (int64_t moved = 0; moved < kBytesPerRun; moved += static_cast<int64_t>(packet)) {
      if (at + packet > ring) at = 0;
      std::memcpy(dst.data() + at, src.data(), packet);
      at += packet;
    }
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytesPerRun);
}

// One writer, one reader, kBytesPerRun through the pipe per iteration. The owner's hard limit
// as the job start gives it; below the pipe's minimum it puts the pipe on disk.
void RunPipe(benchmark::State& state, int64_t hardLimit) {
  const auto packet = static_cast<uint32_t>(state.range(0));
  std::vector<uint8_t> in = Bytes(packet), out(packet);
  CScannerManagerScannerItem owner{};
  owner.dwPipeMemoryDivider = 2;
  owner.llPipeDiskHardLimit = hardLimit;
  // One pipe for the whole run, as a job keeps its pipes from page to page.
  CExtPipe pipe(&owner, kPipeMinimum, kPipeMaximum);
  for (auto _ : state) {
    std::thread reader([&] {
      for (int64_t moved = 0; moved < kBytesPerRun; moved += packet) pipe.Read(packet, out.data());
    });
    for (int64_t moved = 0; moved < kBytesPerRun; moved += packet) pipe.Write(packet, in.data());
    reader.join();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * kBytesPerRun);
}

void BM_PipeMemory(benchmark::State& state) { RunPipe(state, CExtPipe::kDefaultDiskHardLimit); }
void BM_PipeDisk(benchmark::State& state) { RunPipe(state, kMiB); }

}  // namespace

// 256 KiB is the supported model's read unit; 64 KiB a small model's.
BENCHMARK(BM_Memcpy)->Arg(256 * 1024)->Arg(64 * 1024)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PipeMemory)
    ->Arg(256 * 1024)
    ->Arg(64 * 1024)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
// For reference: the pipe on its temporary file.
BENCHMARK(BM_PipeDisk)->Arg(256 * 1024)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
