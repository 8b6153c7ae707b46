#include <gtest/gtest.h>

#include <vector>

#include "drv/device/CLLDMemoryManager.h"
#include "drv/device/KRObj.h"

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
  m.DeleteMem(nullptr);   // no table yet
  void* kept = m.NewMem(4);
  int local = 0;
  m.DeleteMem(nullptr);
  m.DeleteMem(&local);
  EXPECT_EQ(m.Count(), 1u);
  m.DeleteMem(kept);
  EXPECT_EQ(m.Count(), 0u);
  m.DeleteMem(kept);      // already freed
  EXPECT_EQ(m.Count(), 0u);
  void* zero = m.NewMem(0);
  EXPECT_NE(zero, nullptr);
  EXPECT_EQ(m.SlotOf(zero), 0);
}

TEST(ErrorTable, ListsEveryCodeInOrderAndEndsWithTheMark) {
  const KRErrorRecord* t = KRObj::ErrorTable;
  EXPECT_EQ(t[0].code, 0);
  EXPECT_STREQ(t[0].text, "OK");
  EXPECT_EQ(t[12].code, -3101);
  EXPECT_STREQ(t[12].text, "Multiple feed");
  EXPECT_EQ(t[24].code, 172);
  EXPECT_STREQ(t[24].text, "Read data time out");
  EXPECT_EQ(t[25].code, 172);
  EXPECT_STREQ(t[25].text, "Send data time out");
  EXPECT_EQ(t[29].code, -60001);
  EXPECT_STREQ(t[29].text, "EOP+Blank peper");
  EXPECT_EQ(t[30].code, 65535);
  EXPECT_STREQ(t[30].text, "");
  EXPECT_STREQ(KRObj::ErrorText(-2023), "System error");
  EXPECT_STREQ(KRObj::ErrorText(-2999), "unknow error");
  EXPECT_STREQ(KRObj::ErrorText(-3001), "");
}
