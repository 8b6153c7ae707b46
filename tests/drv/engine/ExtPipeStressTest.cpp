// Two threads through one pipe under load: packets of random sizes, with the producer's
// back-pressure and page counting as the IO thread uses them, in memory (growing and enlarged)
// and on disk, with page caps and flexible reads. Every packet is checked by its checksum.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "PipeSupport.h"

using namespace pipetest;

namespace {

struct Header {
  uint32_t sequence;
  uint32_t size;
  uint32_t checksum;
  uint32_t pageEnd;
};

uint32_t Checksum(const uint8_t* data, size_t n) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (size_t i = 0; i < n; ++i) h = (h ^ data[i]) * 16777619u;
  return h;
}

struct Scenario {
  const char* name;
  int64_t minimum, maximum;
  int64_t hardLimit;  // the owner's: below the minimum puts the pipe on disk
  uint32_t maximumPages;
  bool flexibleReads;
  bool enlarge;  // the producer adds blocks when a packet does not fit
  uint64_t bytes;
  uint32_t largestPacket;
};

// Reads n bytes; with flexible reads a short pipe answers false and the reader waits for data.
bool ReadAll(CExtPipe& pipe, uint32_t n, uint8_t* out, bool flexible) {
  while (!pipe.Read(n, out)) {
    if (!flexible || pipe.IsFailed()) return false;
    pipe.WaitData(n);
  }
  return true;
}

struct Result {
  uint64_t packets = 0, bytes = 0, pages = 0, enlarged = 0;
  bool failed = false;
};

void Produce(CExtPipe& pipe, const Scenario& s, uint32_t seed, Result* r) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<uint32_t> size(1, s.largestPacket);
  std::uniform_int_distribution<uint32_t> pageLength(1, 8);
  std::vector<uint8_t> body(s.largestPacket);
  uint32_t untilPageEnd = pageLength(random);
  bool pageStart = true;
  for (uint32_t sequence = 0; r->bytes < s.bytes; ++sequence) {
    if (pageStart && pipe.IsHighUsage()) pipe.WaitToLowUsage();  // once a page, as the IO thread
    pageStart = false;
    Header h{sequence, size(random), 0, --untilPageEnd == 0 ? 1u : 0u};
    for (uint32_t i = 0; i < h.size; ++i) body[i] = static_cast<uint8_t>(random());
    h.checksum = Checksum(body.data(), h.size);
    if (s.enlarge && pipe.IsBufferFull(h.size + sizeof h) && pipe.EnlargeBuffer(0)) ++r->enlarged;
    // The page is counted before its last packet goes in: a reader that takes the packet at
    // once must find the count it decreases.
    if (h.pageEnd) pipe.IncreasePageCount();
    if (!pipe.Write(sizeof h, reinterpret_cast<const uint8_t*>(&h)) ||
        !pipe.Write(h.size, body.data())) {
      r->failed = true;
      break;
    }
    r->bytes += h.size;
    ++r->packets;
    if (h.pageEnd) {
      ++r->pages;
      untilPageEnd = pageLength(random);
      pageStart = true;
    }
  }
  // The end: a packet of size 0.
  const Header end{0xFFFFFFFF, 0, 0, 0};
  if (!pipe.Write(sizeof end, reinterpret_cast<const uint8_t*>(&end))) r->failed = true;
}

void Consume(CExtPipe& pipe, const Scenario& s, Result* r) {
  pipe.SwitchReadFlexible(s.flexibleReads);
  std::vector<uint8_t> body(s.largestPacket);
  for (uint32_t expected = 0;; ++expected) {
    Header h;
    if (!ReadAll(pipe, sizeof h, reinterpret_cast<uint8_t*>(&h), s.flexibleReads)) {
      r->failed = true;
      return;
    }
    if (h.sequence == 0xFFFFFFFF) return;
    if (h.sequence != expected || h.size > s.largestPacket ||
        !ReadAll(pipe, h.size, body.data(), s.flexibleReads) ||
        Checksum(body.data(), h.size) != h.checksum) {
      r->failed = true;
      return;
    }
    r->bytes += h.size;
    ++r->packets;
    if (h.pageEnd) {
      pipe.DecreasePageCount();
      ++r->pages;
    }
  }
}

constexpr uint64_t kBytes = 24 * kMiB;

const Scenario kScenarios[] = {
    {"memory, growing", 0, 8 * kMiB, CExtPipe::kDefaultDiskHardLimit, 0, false, false, kBytes,
     300 * 1024},
    {"memory, fixed, page cap", 2 * kMiB, 2 * kMiB, CExtPipe::kDefaultDiskHardLimit, 2, false,
     false, kBytes, 300 * 1024},
    {"memory, enlarged, flexible reads", 0, 0, CExtPipe::kDefaultDiskHardLimit, 0, true, true,
     kBytes, 300 * 1024},
    {"disk", 2 * kMiB, 3 * kMiB, kMiB, 0, false, false, kBytes / 2, 200 * 1024},
    {"disk, page cap, flexible reads", 0, 0, kMiB, 1, true, false, kBytes / 2, 100 * 1024},
};

}  // namespace

TEST(ExtPipeStress, TwoThreadsMoveEveryPacketIntact) {
  uint32_t seed = 1;
  for (const Scenario& s : kScenarios) {
    SCOPED_TRACE(s.name);
    Owner owner(2, s.hardLimit);
    CExtPipe pipe(owner.get(), s.minimum, s.maximum);
    EXPECT_EQ(pipe.IsDiskMode(), s.hardLimit < s.minimum + CExtPipe::kBlockSize);
    if (s.maximumPages != 0) pipe.SetMaximumPageCount(s.maximumPages);
    Result produced, consumed;
    std::thread consumer([&] { Consume(pipe, s, &consumed); });
    Produce(pipe, s, seed++, &produced);
    consumer.join();
    EXPECT_FALSE(produced.failed);
    EXPECT_FALSE(consumed.failed);
    EXPECT_EQ(consumed.packets, produced.packets);
    EXPECT_EQ(consumed.bytes, produced.bytes);
    EXPECT_EQ(consumed.pages, produced.pages);
    EXPECT_GT(produced.pages, 0u);
    EXPECT_EQ(pipe.GetDataSize(), 0);
    EXPECT_EQ(pipe.GetPageCount(), 0u);
  }
}
