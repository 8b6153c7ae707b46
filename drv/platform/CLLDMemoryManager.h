#pragma once
// The driver's allocator for every block handed to a client; KRMemFree returns blocks here and
// destroying the manager frees whatever clients still hold.
#include <cstdint>

#include "drv/platform/KrThread.h"

class CLLDMemoryManager {
 public:
  struct Slot {
    uint8_t inUse;
    void* block;
  };

  CLLDMemoryManager();
  ~CLLDMemoryManager();
  CLLDMemoryManager(const CLLDMemoryManager&) = delete;
  CLLDMemoryManager& operator=(const CLLDMemoryManager&) = delete;

  void* NewMem(uint32_t size);
  void DeleteMem(void* block);

  // For tests: the table as it stands.
  uint32_t Capacity();
  uint32_t Count();
  int32_t SlotOf(const void* block);

 private:
  static constexpr uint32_t kGrowBy = 10;
  KrMutex m_mutex;
  Slot* m_slots = nullptr;
  uint32_t m_capacity = 0;
  uint32_t m_count = 0;
};
