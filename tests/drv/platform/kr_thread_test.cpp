#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "drv/platform/KrThread.h"

namespace {

TEST(ByteOrder, ValuesAreReversed) {
  struct Word {
    uint16_t in, out;
  };
  for (Word c :
       {Word{0x1234, 0x3412}, Word{0x00FF, 0xFF00}, Word{0x0000, 0x0000}, Word{0xFFFF, 0xFFFF}}) {
    EXPECT_EQ(DeviceToHostWORD(c.in), c.out) << std::hex << c.in;
    EXPECT_EQ(DeviceToHostWORD(DeviceToHostWORD(c.in)), c.in);
  }
  struct Dword {
    uint32_t in, out;
  };
  for (Dword c : {Dword{0x12345678, 0x78563412}, Dword{0x000000FF, 0xFF000000},
                  Dword{0x80000001, 0x01000080}, Dword{0, 0}, Dword{0xFFFFFFFF, 0xFFFFFFFF}}) {
    EXPECT_EQ(DeviceToHostDWORD(c.in), c.out) << std::hex << c.in;
    EXPECT_EQ(DeviceToHostDWORD(DeviceToHostDWORD(c.in)), c.in);
  }
}

TEST(ByteOrder, DeviceBytesGiveTheirBigEndianValue) {
  const uint8_t wire[4] = {0x12, 0x34, 0x56, 0x78};
  uint32_t d;
  std::memcpy(&d, wire, 4);
  EXPECT_EQ(DeviceToHostDWORD(d), 0x12345678u);
  uint16_t w;
  std::memcpy(&w, wire, 2);
  EXPECT_EQ(DeviceToHostWORD(w), 0x1234u);
}

// Fields of packed records sit at odd offsets; the neighbours must stay untouched.
TEST(ByteOrder, InPlaceFormsAtOddOffsets) {
  struct Case {
    size_t width;
    void (*swap)(void*);
  };
  for (Case c : {Case{2, DeviceToHostWORDPtr}, Case{4, DeviceToHostDWORDPtr},
                 Case{8, DeviceToHostQWORDPtr}}) {
    for (size_t offset : {1u, 3u}) {
      uint8_t original[16], buffer[16], expected[16];
      for (size_t i = 0; i < sizeof original; ++i) original[i] = static_cast<uint8_t>(0xA0 + i);
      std::memcpy(buffer, original, sizeof buffer);
      std::memcpy(expected, original, sizeof expected);
      for (size_t i = 0; i < c.width; ++i)
        expected[offset + i] = original[offset + c.width - 1 - i];
      c.swap(buffer + offset);
      EXPECT_EQ(0, std::memcmp(buffer, expected, sizeof buffer)) << c.width << " at " << offset;
      c.swap(buffer + offset);
      EXPECT_EQ(0, std::memcmp(buffer, original, sizeof buffer)) << "twice gives the start value";
    }
  }
}

struct Gate {
  KrMutex mutex;
  KrCondition condition;
  bool open = false;
  bool passed = false;
  Gate() { CreateKrMutex(&mutex), CreateKrCondition(&condition); }
  ~Gate() { DestroyKrCondition(&condition), DestroyKrMutex(&mutex); }
  void Open() {
    LockKrMutex(&mutex);
    open = true;
    SignalKrCondition(&condition);
    UnlockKrMutex(&mutex);
  }
};

// Waits for the gate, notes that it passed, and ends through ExitKrThread.
void* WaitAtGate(void* arg) {
  auto* gate = static_cast<Gate*>(arg);
  LockKrMutex(&gate->mutex);
  while (!gate->open) WaitKrCondition(&gate->condition, &gate->mutex);
  gate->passed = true;
  UnlockKrMutex(&gate->mutex);
  ExitKrThread();
}

TEST(KrThread, HandleValidity) {
  KrThread never;
  InitialInvalidKrThread(&never);
  EXPECT_FALSE(IsValidKrThread(&never));
  EXPECT_FALSE(WaitKrThread(&never)) << "joining the invalid handle fails instead of crashing";

  Gate gate;
  KrThread thread;
  InitialInvalidKrThread(&thread);
  uint64_t id = 99;
  ASSERT_TRUE(CreateKrThread(&thread, WaitAtGate, &gate, &id));
  EXPECT_EQ(id, 0u);
  EXPECT_TRUE(IsValidKrThread(&thread));

  // Destroying only forgets the handle: the thread still runs and can be joined by a copy.
  KrThread copy = thread;
  EXPECT_TRUE(DestroyKrThread(&thread));
  EXPECT_FALSE(IsValidKrThread(&thread));
  gate.Open();
  EXPECT_TRUE(WaitKrThread(&copy));
  EXPECT_TRUE(gate.passed);
}

// Locks carry no invalid marker: marking one invalid leaves every byte as it was (a created
// mutex still locks), and asking whether one is valid answers true, created or not.
TEST(KrThread, LocksHaveNoInvalidMarker) {
  KrMutex mutex;
  ASSERT_TRUE(CreateKrMutex(&mutex));
  KrMutex created;
  std::memcpy(&created, &mutex, sizeof mutex);
  InitialInvalidKrMutex(&mutex);
  InitialInvalidKrCriticalSection(&mutex);
  EXPECT_EQ(std::memcmp(&created, &mutex, sizeof mutex), 0);
  EXPECT_TRUE(IsValidKrMutex(&mutex));
  EXPECT_EQ(pthread_mutex_trylock(&mutex), 0);
  EXPECT_EQ(UnlockKrMutex(&mutex), 0);
  EXPECT_TRUE(DestroyKrMutex(&mutex));

  // Never created: a byte pattern that no initialisation leaves.
  KrMutex never;
  KrCondition condition;
  std::memset(&never, 0xA5, sizeof never);
  std::memset(&condition, 0x5A, sizeof condition);
  InitialInvalidKrMutex(&never);
  InitialInvalidKrCondition(&condition);
  const auto* m = reinterpret_cast<const uint8_t*>(&never);
  const auto* c = reinterpret_cast<const uint8_t*>(&condition);
  EXPECT_EQ(std::count(m, m + sizeof never, 0xA5), static_cast<long>(sizeof never));
  EXPECT_EQ(std::count(c, c + sizeof condition, 0x5A), static_cast<long>(sizeof condition));
  EXPECT_TRUE(IsValidKrMutex(&never));
  EXPECT_TRUE(IsValidKrCriticalSection(&never));
  EXPECT_TRUE(IsValidKrCondition(&condition));
}

TEST(KrThread, CriticalSectionExcludes) {
  KrCriticalSection cs;
  ASSERT_TRUE(CreateKrCriticalSection(&cs));
  struct Shared {
    KrCriticalSection* cs;
    long count;
  } shared{&cs, 0};
  auto add = [](void* arg) -> void* {
    auto* s = static_cast<Shared*>(arg);
    for (int i = 0; i < 10000; ++i) {
      EnterKrCriticalSection(s->cs);
      ++s->count;
      LeaveKrCriticalSection(s->cs);
    }
    return nullptr;
  };
  KrThread threads[4];
  for (KrThread& t : threads) ASSERT_TRUE(CreateKrThread(&t, add, &shared, nullptr));
  for (KrThread& t : threads) EXPECT_TRUE(WaitKrThread(&t));
  EXPECT_EQ(shared.count, 40000);
  EXPECT_TRUE(DestroyKrCriticalSection(&cs));
}

TEST(HostInformation, MemoryFigures) {
  uint64_t physical = GetKrPhysicalMemory();
  uint64_t user = GetKrUserMemory();
  EXPECT_GT(user, 0u);
  EXPECT_LE(user, physical);
}

}  // namespace
