// The pipe's sizes, modes, waits and failures, one case at a time.
#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <thread>
#include <vector>

#include "PipeSupport.h"

using namespace pipetest;

namespace {

// Waits without sleeping until the pipe's reader (or writer) really waits inside the pipe.
void UntilReaderWaits(CExtPipe& pipe) {
  while (pipe.GetReadWaitSize() == 0) std::this_thread::yield();
}
void UntilWriterWaits(CExtPipe& pipe) {
  while (pipe.GetWriteWaitSize() == 0) std::this_thread::yield();
}

std::vector<uint8_t> ReadBack(CExtPipe& pipe, size_t n) {
  std::vector<uint8_t> out(n);
  EXPECT_TRUE(pipe.Read(static_cast<uint32_t>(n), out.data()));
  return out;
}

}  // namespace

TEST(ExtPipe, SizesAreBlockAligned) {
  FakeSystem system;
  Owner owner(2, CExtPipe::kDefaultDiskHardLimit);
  struct Case {
    int64_t min, max;
    int64_t minimum, maximum, total;
  };
  const Case cases[] = {
      // A whole number of blocks gains one; the ring starts with two blocks at least.
      {0, 0, 2 * kMiB, 2 * kMiB, 4 * kMiB},
      {2 * kMiB, 2 * kMiB, 4 * kMiB, 4 * kMiB, 4 * kMiB},
      {3 * kMiB, 1 * kMiB, 4 * kMiB, 4 * kMiB, 4 * kMiB},  // the maximum rises to the minimum
      {7 * kMiB, 20 * kMiB, 8 * kMiB, 22 * kMiB, 8 * kMiB},
  };
  for (const Case& c : cases) {
    CExtPipe pipe(owner.get(), c.min, c.max);
    EXPECT_FALSE(pipe.IsDiskMode());
    EXPECT_EQ(pipe.GetMinimumAllocateSize(), c.minimum) << c.min;
    EXPECT_EQ(pipe.GetMaximumAllocateSize(), c.maximum) << c.max;
    EXPECT_EQ(pipe.GetTotalSize(), c.total);
    EXPECT_EQ(pipe.GetFreeSize(), c.total);
    EXPECT_EQ(pipe.GetBlockCount(), c.total / CExtPipe::kBlockSize);
  }
}

TEST(ExtPipe, MinimumAndMaximumZeroNeverGrows) {
  FakeSystem system;
  Owner owner(2, CExtPipe::kDefaultDiskHardLimit);
  CExtPipe pipe(owner.get(), 0, 0);
  const std::vector<uint8_t> bytes = Pattern(4 * kMiB, 1);
  ASSERT_TRUE(pipe.Write(static_cast<uint32_t>(bytes.size()), bytes.data()));
  EXPECT_EQ(pipe.GetTotalSize(), 4 * kMiB);
  EXPECT_EQ(pipe.GetFreeSize(), 0);
  EXPECT_EQ(ReadBack(pipe, bytes.size()), bytes);
}

TEST(ExtPipe, MemoryLimitFromUserMemoryDividerAndHardLimit) {
  FakeSystem system;
  system.userMemory = 100 * kMiB;
  const struct {
    uint32_t divider;
    int64_t hardLimit, limit;
  } cases[] = {
      {4, 128 * kMiB, 25 * kMiB},
      {2, 10 * kMiB, 10 * kMiB},
      {0, 512 * kMiB, 100 * kMiB},  // an owner never set up divides by 1
  };
  for (const auto& c : cases) {
    Owner owner(c.divider, c.hardLimit);
    CExtPipe pipe(owner.get(), 0, 0);
    EXPECT_EQ(pipe.GetMemoryLimit(), c.limit) << c.divider;
  }
  CExtPipe defaults(nullptr, 0, 0);
  EXPECT_EQ(defaults.GetMemoryLimit(), 50 * kMiB);
}

TEST(ExtPipe, AMinimumAboveTheLimitGoesToDisk) {
  FakeSystem system;
  Owner owner(2, 8 * kMiB);
  CExtPipe pipe(owner.get(), 10 * kMiB, 11 * kMiB);
  EXPECT_TRUE(pipe.IsDiskMode());
  EXPECT_EQ(pipe.GetTotalSize(), 12 * kMiB);
  EXPECT_EQ(pipe.GetFreeSize(), 12 * kMiB);
  EXPECT_EQ(pipe.GetMinimumAllocateSize(), 12 * kMiB);
  EXPECT_EQ(pipe.GetBlockCount(), 0u);
  EXPECT_FALSE(pipe.EnlargeBuffer(0));
  // Any unread byte makes a disk pipe highly used.
  EXPECT_FALSE(pipe.IsHighUsage());
  const uint8_t one = 1;
  ASSERT_TRUE(pipe.Write(1, &one));
  EXPECT_TRUE(pipe.IsHighUsage());
}

TEST(ExtPipe, WritesWrapAtTheBlockEndAndTheFileEnd) {
  FakeSystem system;
  for (const bool disk : {false, true}) {
    SCOPED_TRACE(disk ? "disk" : "memory");
    Owner owner(2, disk ? kMiB : CExtPipe::kDefaultDiskHardLimit);
    CExtPipe pipe(owner.get(), 2 * kMiB, 2 * kMiB);  // 4 MiB: two blocks, or one file
    ASSERT_EQ(pipe.IsDiskMode(), disk);
    const int64_t edge = disk ? 4 * kMiB : 2 * kMiB;
    const std::vector<uint8_t> first = Pattern(static_cast<size_t>(edge - 10), 2);
    ASSERT_TRUE(pipe.Write(static_cast<uint32_t>(first.size()), first.data()));
    EXPECT_EQ(ReadBack(pipe, first.size()), first);
    const std::vector<uint8_t> across = Pattern(20, 3);
    ASSERT_TRUE(pipe.Write(20, across.data()));
    EXPECT_EQ(ReadBack(pipe, 20), across);
    // A write of nothing but the position and a read without copying keep the count right.
    ASSERT_TRUE(pipe.Write(100, nullptr));
    ASSERT_TRUE(pipe.Read(100, nullptr));
    EXPECT_EQ(pipe.GetDataSize(), 0);
    EXPECT_EQ(pipe.GetFreeSize(), pipe.GetTotalSize());
  }
}

TEST(ExtPipe, FlexibleReadsTakeNothingWhenShort) {
  FakeSystem system;
  CExtPipe pipe(nullptr, 0, 0);
  const std::vector<uint8_t> bytes = Pattern(28, 4);
  ASSERT_TRUE(pipe.Write(27, bytes.data()));
  pipe.SwitchReadFlexible(true);
  std::vector<uint8_t> out(28);
  EXPECT_FALSE(pipe.Read(28, out.data()));
  EXPECT_EQ(pipe.GetDataSize(), 27);

  // Without flexible reads the reader waits for the 28th byte.
  pipe.SwitchReadFlexible(false);
  std::atomic<bool> done{false};
  std::thread reader([&] {
    EXPECT_TRUE(pipe.Read(28, out.data()));
    done = true;
  });
  UntilReaderWaits(pipe);
  EXPECT_FALSE(done.load());
  ASSERT_TRUE(pipe.Write(1, bytes.data() + 27));
  reader.join();
  EXPECT_EQ(out, bytes);
}

TEST(ExtPipe, AWriterWaitsForRoomAndADiscardingReadMakesIt) {
  FakeSystem system;
  CExtPipe pipe(nullptr, 0, 0);  // 4 MiB, never grows
  const std::vector<uint8_t> bytes = Pattern(4 * kMiB, 5);
  ASSERT_TRUE(pipe.Write(static_cast<uint32_t>(bytes.size()), bytes.data()));
  const std::vector<uint8_t> more = Pattern(kMiB, 6);
  std::thread writer([&] { EXPECT_TRUE(pipe.Write(kMiB, more.data())); });
  UntilWriterWaits(pipe);
  ASSERT_TRUE(pipe.Read(kMiB / 2, nullptr));  // not yet enough room
  EXPECT_EQ(pipe.GetWriteWaitSize(), kMiB);
  ASSERT_TRUE(pipe.Read(kMiB / 2, nullptr));
  writer.join();
  std::vector<uint8_t> rest(bytes.begin() + kMiB, bytes.end());
  EXPECT_EQ(ReadBack(pipe, rest.size()), rest);
  EXPECT_EQ(ReadBack(pipe, more.size()), more);
}

TEST(ExtPipe, EnlargingNeverLandsInsideUnreadBytes) {
  FakeSystem system;
  CExtPipe pipe(nullptr, 2 * kMiB, 2 * kMiB);  // two blocks, no growth
  // The reader trails so far that the writer wraps into the reader's block, behind its
  // position: a block inserted after the write position would split the unread bytes.
  const std::vector<uint8_t> a = Pattern(2 * kMiB + 100, 7);
  ASSERT_TRUE(pipe.Write(static_cast<uint32_t>(a.size()), a.data()));
  ASSERT_TRUE(pipe.Read(100, nullptr));
  const std::vector<uint8_t> b = Pattern(2 * kMiB - 50, 8);
  ASSERT_TRUE(pipe.Write(static_cast<uint32_t>(b.size()), b.data()));
  EXPECT_FALSE(pipe.EnlargeBuffer(0));
  EXPECT_EQ(pipe.GetTotalSize(), 4 * kMiB);
  std::vector<uint8_t> expected(a.begin() + 100, a.end());
  expected.insert(expected.end(), b.begin(), b.end());
  EXPECT_EQ(ReadBack(pipe, expected.size()), expected);
  // Empty, the ring may grow beyond its maximum.
  EXPECT_TRUE(pipe.EnlargeBuffer(0));
  EXPECT_EQ(pipe.GetTotalSize(), 6 * kMiB);
  const std::vector<uint8_t> c = Pattern(5 * kMiB, 9);
  ASSERT_TRUE(pipe.Write(static_cast<uint32_t>(c.size()), c.data()));
  EXPECT_EQ(ReadBack(pipe, c.size()), c);
}

TEST(ExtPipe, WritesGrowTheRingUpToItsMaximum) {
  FakeSystem system;
  CExtPipe pipe(nullptr, 0, 8 * kMiB);  // 4 MiB, up to 10 MiB
  std::vector<uint8_t> expected;
  for (uint32_t i = 0; i < 9; ++i) {
    const std::vector<uint8_t> piece = Pattern(kMiB, 20 + i);
    ASSERT_TRUE(pipe.Write(kMiB, piece.data()));
    expected.insert(expected.end(), piece.begin(), piece.end());
  }
  EXPECT_EQ(pipe.GetTotalSize(), 10 * kMiB);
  EXPECT_EQ(ReadBack(pipe, expected.size()), expected);
}

TEST(ExtPipe, PageCountsHoldTheProducerBack) {
  FakeSystem system;
  CExtPipe pipe(nullptr, 0, 0);
  pipe.SetMaximumPageCount(2);
  pipe.IncreasePageCount();
  EXPECT_FALSE(pipe.IsHighUsage());
  pipe.IncreasePageCount();
  EXPECT_TRUE(pipe.IsHighUsage());
  pipe.DecreasePageCount();
  pipe.DecreasePageCount();
  pipe.DecreasePageCount();  // already 0: stays 0
  EXPECT_EQ(pipe.GetPageCount(), 0u);

  // At the cap with one page and too little room: no wait.
  const std::vector<uint8_t> bytes = Pattern(4 * kMiB - 10, 10);
  ASSERT_TRUE(pipe.Write(static_cast<uint32_t>(bytes.size()), bytes.data()));
  pipe.SetMaximumPageCount(1);
  pipe.IncreasePageCount();
  ASSERT_TRUE(pipe.IsHighUsage());
  pipe.WaitToLowUsage();
  EXPECT_EQ(pipe.GetWriteWaitSize(), 0);

  // Two pages behind and no room: the producer waits until there is room and a page is gone.
  pipe.SetMaximumPageCount(2);
  pipe.IncreasePageCount();
  std::thread producer([&] { pipe.WaitToLowUsage(); });
  UntilWriterWaits(pipe);
  ASSERT_TRUE(pipe.Read(static_cast<uint32_t>(bytes.size()), nullptr));  // room, still 2 pages
  EXPECT_NE(pipe.GetWriteWaitSize(), 0);
  pipe.DecreasePageCount();
  producer.join();
  EXPECT_EQ(pipe.GetWriteWaitSize(), 0);
}

TEST(ExtPipe, ATemporaryFileThatCannotBeMadeFailsTheConstruction) {
  FakeSystem system;
  system.fileFails = true;
  Owner owner(2, kMiB);
  EXPECT_THROW(CExtPipe(owner.get(), 2 * kMiB, 4 * kMiB), std::bad_alloc);
  system.fileFails = false;
  system.blocksLeft = 1;  // the ring's second block fails
  EXPECT_THROW(CExtPipe(nullptr, 0, 0), std::bad_alloc);
  system.blocksLeft = 3;  // a block of the minimum fails
  EXPECT_THROW(CExtPipe(nullptr, 7 * kMiB, 8 * kMiB), std::bad_alloc);
}

TEST(ExtPipe, AShortFileWriteOrReadFailsThePipe) {
  FakeSystem system;
  Owner owner(2, kMiB);
  const std::vector<uint8_t> bytes = Pattern(64 * 1024, 11);
  {
    system.writeLimit = 1000;
    CExtPipe pipe(owner.get(), 0, 0);
    ASSERT_TRUE(pipe.IsDiskMode());
    EXPECT_FALSE(pipe.Write(static_cast<uint32_t>(bytes.size()), bytes.data()));
    EXPECT_TRUE(pipe.IsFailed());
    EXPECT_FALSE(pipe.Write(1, bytes.data()));
    std::vector<uint8_t> out(1);
    EXPECT_FALSE(pipe.Read(1, out.data()));
  }
  {
    system.writeLimit = -1;
    system.readLimit = 1000;
    CExtPipe pipe(owner.get(), 0, 0);
    ASSERT_TRUE(pipe.Write(static_cast<uint32_t>(bytes.size()), bytes.data()));
    std::vector<uint8_t> out(bytes.size());
    EXPECT_FALSE(pipe.Read(static_cast<uint32_t>(out.size()), out.data()));
    EXPECT_TRUE(pipe.IsFailed());
    EXPECT_FALSE(pipe.Write(1, bytes.data()));
  }
  {
    // A reader waiting for bytes that a failed write will never bring is told so.
    system.readLimit = -1;
    system.writeLimit = 0;
    CExtPipe pipe(owner.get(), 0, 0);
    std::vector<uint8_t> out(100);
    std::thread reader([&] { EXPECT_FALSE(pipe.Read(100, out.data())); });
    UntilReaderWaits(pipe);
    EXPECT_FALSE(pipe.Write(100, bytes.data()));
    reader.join();
  }
}

TEST(ExtPipe, AWriteThatCanNeverFitIsRefused) {
  FakeSystem system;
  Owner owner(2, kMiB);
  CExtPipe disk(owner.get(), 0, 0);  // a 2 MiB file
  ASSERT_TRUE(disk.IsDiskMode());
  EXPECT_FALSE(disk.Write(static_cast<uint32_t>(3 * kMiB), nullptr));
  EXPECT_FALSE(disk.IsFailed());
  EXPECT_TRUE(disk.Write(static_cast<uint32_t>(2 * kMiB), nullptr));

  // An empty memory pipe that cannot grow for the bytes: no reader could ever make room.
  CExtPipe memory(nullptr, 0, 8 * kMiB);
  system.blocksLeft = 0;
  EXPECT_FALSE(memory.Write(static_cast<uint32_t>(5 * kMiB), nullptr));
  system.blocksLeft = -1;
  EXPECT_TRUE(memory.Write(static_cast<uint32_t>(5 * kMiB), nullptr));
  EXPECT_EQ(memory.GetTotalSize(), 6 * kMiB);
}

TEST(ExtPipe, ResetStartsAfresh) {
  FakeSystem system;
  CExtPipe pipe(nullptr, 0, 8 * kMiB);
  ASSERT_TRUE(pipe.Write(static_cast<uint32_t>(5 * kMiB), nullptr));
  pipe.IncreasePageCount();
  pipe.SetMaximumPageCount(3);
  pipe.SwitchReadFlexible(true);
  ASSERT_TRUE(pipe.Reset());
  EXPECT_EQ(pipe.GetTotalSize(), 4 * kMiB);
  EXPECT_EQ(pipe.GetDataSize(), 0);
  EXPECT_EQ(pipe.GetPageCount(), 0u);
  // The page cap and the flexible flag stay.
  EXPECT_FALSE(pipe.Read(1, nullptr));
  pipe.IncreasePageCount();
  pipe.IncreasePageCount();
  pipe.IncreasePageCount();
  EXPECT_TRUE(pipe.IsHighUsage());
}

// A pipe that may spill never holds its writer: past the ring's maximum the bytes go into the
// temporary file, the ring never grows past its maximum, and the reader gets every byte in
// order, ring first, then the file; once the file is empty the ring takes the writes again.
TEST(ExtPipe, ASpillingPipeNeverHoldsItsWriterNorGrowsPastItsMaximum) {
  FakeSystem system;
  CExtPipe pipe(nullptr, 0, 4 * kMiB);  // 4 MiB, up to 6 MiB
  pipe.AllowSpill();
  std::vector<uint8_t> expected;
  auto write = [&](uint32_t seed) {
    const std::vector<uint8_t> piece = Pattern(kMiB, seed);
    ASSERT_TRUE(pipe.Write(kMiB, piece.data()));
    expected.insert(expected.end(), piece.begin(), piece.end());
  };
  size_t taken = 0;
  auto readBack = [&](size_t n) {
    const std::vector<uint8_t> want(expected.begin() + long(taken),
                                    expected.begin() + long(taken + n));
    EXPECT_EQ(ReadBack(pipe, n), want) << "bytes " << taken << " on";
    taken += n;
  };
  for (uint32_t i = 0; i < 10; ++i) write(40 + i);
  EXPECT_EQ(pipe.GetTotalSize(), 6 * kMiB);
  EXPECT_EQ(pipe.GetDataSize() + pipe.GetSpillSize(), 10 * kMiB);
  // Across the ring's end into the file, and writes behind the file's bytes while it has some.
  readBack(3 * kMiB + 5);
  write(50);
  write(51);
  readBack(9 * kMiB - 5);
  EXPECT_EQ(pipe.GetSpillSize(), 0);
  write(52);
  EXPECT_EQ(pipe.GetSpillSize(), 0);
  readBack(kMiB);
  EXPECT_EQ(pipe.GetTotalSize(), 6 * kMiB);
}
