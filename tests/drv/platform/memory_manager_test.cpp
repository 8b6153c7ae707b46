#include <gtest/gtest.h>

#include <vector>

#include "drv/platform/CLLDMemoryManager.h"

TEST(MemoryManager, GrowsByTenAndReusesTheLowestFreeSlot) {
  CLLDMemoryManager m;
  EXPECT_EQ(m.Capacity(), 0u);
  std::vector<void*> blocks;
  for (int i = 0; i < 10; ++i) blocks.push_back(m.NewMem(16));
  EXPECT_EQ(m.Capacity(), 10u);
  blocks.push_back(m.NewMem(16));
  EXPECT_EQ(m.Capacity(), 20u);
  EXPECT_EQ(m.Count(), 11u);
  // Slots keep their blocks across the growth.
  for (int i = 0; i < 11; ++i) EXPECT_EQ(m.SlotOf(blocks[i]), i);

  m.DeleteMem(blocks[7]);
  m.DeleteMem(blocks[3]);
  void* a = m.NewMem(8);
  void* b = m.NewMem(8);
  EXPECT_EQ(m.SlotOf(a), 3);
  EXPECT_EQ(m.SlotOf(b), 7);
  EXPECT_EQ(m.Count(), 11u);
  // The rest is freed with the manager (the sanitizer run checks).
}

TEST(MemoryManager, IgnoresPointersItDoesNotHold) {
  CLLDMemoryManager m;
  m.DeleteMem(nullptr);  // no table yet
  void* kept = m.NewMem(4);
  int local = 0;
  m.DeleteMem(nullptr);
  m.DeleteMem(&local);
  EXPECT_EQ(m.Count(), 1u);
  m.DeleteMem(kept);
  EXPECT_EQ(m.Count(), 0u);
  m.DeleteMem(kept);  // already freed
  EXPECT_EQ(m.Count(), 0u);
  void* zero = m.NewMem(0);
  EXPECT_NE(zero, nullptr);
  EXPECT_EQ(m.SlotOf(zero), 0);
}
