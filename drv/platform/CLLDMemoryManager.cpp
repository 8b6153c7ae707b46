#include "drv/platform/CLLDMemoryManager.h"

#include <cstdlib>
#include <cstring>

namespace {
struct MutexHold {
  explicit MutexHold(KrMutex* m) : m_(m) { LockKrMutex(m_); }
  ~MutexHold() { UnlockKrMutex(m_); }
  KrMutex* m_;
};
}  // namespace

CLLDMemoryManager::CLLDMemoryManager() { CreateKrMutex(&m_mutex); }

CLLDMemoryManager::~CLLDMemoryManager() {
  {
    MutexHold hold(&m_mutex);
    for (uint32_t i = 0; i < m_capacity; ++i) {
      if (m_slots[i].inUse) std::free(m_slots[i].block);
    }
    std::free(m_slots);
    m_slots = nullptr;
    m_capacity = 0;
    m_count = 0;
  }
  DestroyKrMutex(&m_mutex);
}

void* CLLDMemoryManager::NewMem(uint32_t size) {
  MutexHold hold(&m_mutex);
  if (m_count == m_capacity) {
    auto* grown = static_cast<Slot*>(std::calloc(m_capacity + kGrowBy, sizeof(Slot)));
    if (grown == nullptr) return nullptr;
    if (m_slots != nullptr) std::memcpy(grown, m_slots, m_capacity * sizeof(Slot));
    std::free(m_slots);
    m_slots = grown;
    m_capacity += kGrowBy;
  }
  for (uint32_t i = 0; i < m_capacity; ++i) {
    if (m_slots[i].inUse) continue;
    // A zero-byte request still gets a distinct block, so it can be told apart and freed.
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) return nullptr;
    m_slots[i].block = block;
    m_slots[i].inUse = 1;
    ++m_count;
    return block;
  }
  return nullptr;
}

void CLLDMemoryManager::DeleteMem(void* block) {
  MutexHold hold(&m_mutex);
  if (m_slots == nullptr || block == nullptr) return;
  for (uint32_t i = 0; i < m_capacity; ++i) {
    if (m_slots[i].inUse && m_slots[i].block == block) {
      std::free(block);
      m_slots[i].block = nullptr;
      m_slots[i].inUse = 0;
      --m_count;
      return;
    }
  }
}

uint32_t CLLDMemoryManager::Capacity() {
  MutexHold hold(&m_mutex);
  return m_capacity;
}

uint32_t CLLDMemoryManager::Count() {
  MutexHold hold(&m_mutex);
  return m_count;
}

int32_t CLLDMemoryManager::SlotOf(const void* block) {
  MutexHold hold(&m_mutex);
  for (uint32_t i = 0; i < m_capacity; ++i) {
    if (m_slots[i].inUse && m_slots[i].block == block) return static_cast<int32_t>(i);
  }
  return -1;
}
