// The scan engine's pipes: a ring of memory blocks, or a temporary file, between two threads.
#include "drv/engine/ExtPipe.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "drv/device/CScannerManager.h"
#include "drv/platform/DbgLog.h"

namespace {

constexpr uint32_t kTrace = 2;

const ExtPipeSystem* gSystem = nullptr;

void* AllocateBlockData(size_t bytes) {
  return gSystem != nullptr && gSystem->AllocateBlock != nullptr ? gSystem->AllocateBlock(bytes)
                                                                 : std::malloc(bytes);
}
void FreeBlockData(void* block) {
  if (gSystem != nullptr && gSystem->FreeBlock != nullptr) {
    gSystem->FreeBlock(block);
  } else {
    std::free(block);
  }
}
FILE* OpenTemporaryFile() {
  return gSystem != nullptr && gSystem->OpenTemporaryFile != nullptr ? gSystem->OpenTemporaryFile()
                                                                     : std::tmpfile();
}
uint64_t UserMemory() {
  return gSystem != nullptr && gSystem->UserMemory != nullptr ? gSystem->UserMemory()
                                                              : GetKrUserMemory();
}

// A whole number of blocks above x: one block more when x already is a whole number.
int64_t Aligned(int64_t x) {
  if (x < 0) x = 0;
  return (x + CExtPipe::kBlockSize) / CExtPipe::kBlockSize * CExtPipe::kBlockSize;
}

// Locks the pipe's mutex for a scope.
class PipeLock {
 public:
  explicit PipeLock(KrMutex* m) : m_(m) { LockKrMutex(m_); }
  ~PipeLock() { UnlockKrMutex(m_); }
  PipeLock(const PipeLock&) = delete;
  PipeLock& operator=(const PipeLock&) = delete;

 private:
  KrMutex* m_;
};

}  // namespace

void SetExtPipeSystem(const ExtPipeSystem* system) { gSystem = system; }

CExtPipe::CExtPipe(void* owner, int64_t minimum, int64_t maximum) {
  if (owner != nullptr) {
    const auto* item = static_cast<const CScannerManagerScannerItem*>(owner);
    m_memoryDivider = item->dwPipeMemoryDivider;
    m_hardLimit = item->llPipeDiskHardLimit;
  }
  InitialThresholdValues();
  CreateKrMutex(&m_mutex);
  CreateKrCondition(&m_dataReady);
  CreateKrCondition(&m_freeReady);
  CreateKrCriticalSection(&m_fileLock);
  try {
    Reset(minimum, maximum);
  } catch (...) {
    DestroyKrMutex(&m_mutex);
    DestroyKrCondition(&m_dataReady);
    DestroyKrCondition(&m_freeReady);
    DestroyKrCriticalSection(&m_fileLock);
    throw;
  }
}

CExtPipe::~CExtPipe() {
  DeleteBuffer();
  DestroyKrMutex(&m_mutex);
  DestroyKrCondition(&m_dataReady);
  DestroyKrCondition(&m_freeReady);
  DestroyKrCriticalSection(&m_fileLock);
}

void CExtPipe::InitialThresholdValues() {
  // A divider of 0 (an owner that was never set up) counts as 1.
  const uint64_t perPipe = UserMemory() / (m_memoryDivider != 0 ? m_memoryDivider : 1);
  const auto hardLimit = static_cast<uint64_t>(m_hardLimit);
  m_memoryLimit = static_cast<int64_t>(std::min(perPipe, hardLimit));
  DbgPrintf(kTrace, "Pipe=%x Memory limit = %lld", Id(), static_cast<long long>(m_memoryLimit));
}

bool CExtPipe::Reset(int64_t minimum, int64_t maximum) {
  m_requestedMinimum = minimum;
  m_maximumAllocate = Aligned(maximum);
  m_minimumAllocate = Aligned(minimum);
  if (m_maximumAllocate < m_minimumAllocate) m_maximumAllocate = m_minimumAllocate;
  DbgPrintf(kTrace, "Pipe=%x Allocate size = %lld ~ %lld", Id(),
            static_cast<long long>(m_minimumAllocate), static_cast<long long>(m_maximumAllocate));
  return Reset();
}

bool CExtPipe::Reset() {
  m_closed = m_broken = false;
  m_pages = 0;
  m_waitPages = 0;
  DeleteBuffer();
  m_failed = false;
  if (m_minimumAllocate > m_memoryLimit) {
    // Even the minimum would not fit in memory: the whole pipe is one file.
    const int64_t fileSize = m_maximumAllocate;
    m_minimumAllocate = fileSize;
    m_blockSize = fileSize;
    if (!CreateMappingFile(fileSize)) {
      DbgPrintf(1, "Pipe=%x cannot create its temporary file", Id());
      throw std::bad_alloc();
    }
    m_total = fileSize;
  } else {
    if (m_maximumAllocate > m_memoryLimit) m_maximumAllocate = m_memoryLimit;
    m_blockSize = kBlockSize;
    m_total = 0;
    Block* first = NewBlock();
    Block* second = first != nullptr ? NewBlock() : nullptr;
    if (second == nullptr) {
      if (first != nullptr) {
        FreeBlockData(first->data);
        delete first;
      }
      throw std::bad_alloc();
    }
    first->next = second;
    second->next = first;
    m_head = first;
    m_total = 2 * kBlockSize;
    m_write = {m_head, 0};
    while (m_total < m_minimumAllocate) {
      Block* block = NewBlock();
      if (block == nullptr) {
        DeleteBuffer();
        throw std::bad_alloc();
      }
      InsertBlockAfterWrite(block);
    }
  }
  m_free = m_total;
  m_data = 0;
  m_read = {m_head, 0};
  m_write = {m_head, 0};
  m_readWait = 0;
  m_writeWait = 0;
  DbgPrintf(kTrace, "Pipe=%x Reset Total=%lld Free=%lld Data=%lld", Id(),
            static_cast<long long>(m_total), static_cast<long long>(m_free),
            static_cast<long long>(m_data));
  return true;
}

CExtPipe::Block* CExtPipe::NewBlock() {
  auto* block = new (std::nothrow) Block{nullptr, nullptr};
  if (block == nullptr) return nullptr;
  block->data = static_cast<uint8_t*>(AllocateBlockData(static_cast<size_t>(kBlockSize)));
  if (block->data == nullptr) {
    delete block;
    return nullptr;
  }
  return block;
}

void CExtPipe::InsertBlockAfterWrite(Block* block) {
  block->next = m_write.block->next;
  m_write.block->next = block;
  m_total += kBlockSize;
  m_free += kBlockSize;
}

void CExtPipe::DeleteBuffer() {
  if (m_head != nullptr) {
    Block* block = m_head;
    do {
      Block* next = block->next;
      FreeBlockData(block->data);
      delete block;
      block = next;
    } while (block != m_head);
    m_head = nullptr;
  }
  if (m_diskMode) CloseMappingFile();
  CloseSpill();
  m_total = m_free = m_data = 0;
  m_read = m_write = {};
}

bool CExtPipe::CreateMappingFile(int64_t /*size*/) {
  m_file = OpenTemporaryFile();
  if (m_file == nullptr) return false;
  m_diskMode = true;
  return true;
}

void CExtPipe::CloseMappingFile() {
  if (m_file != nullptr) std::fclose(m_file);
  m_file = nullptr;
  m_diskMode = false;
}

bool CExtPipe::WriteFileAt(FILE* file, const uint8_t* data, int64_t size, int64_t offset) {
  EnterKrCriticalSection(&m_fileLock);
  // Flushed at once, so a full disk fails this write rather than a later read.
  const bool ok =
      fseeko(file, offset, SEEK_SET) == 0 &&
      std::fwrite(data, 1, static_cast<size_t>(size), file) == static_cast<size_t>(size) &&
      std::fflush(file) == 0 && std::ferror(file) == 0;
  LeaveKrCriticalSection(&m_fileLock);
  return ok;
}

bool CExtPipe::ReadFileAt(FILE* file, uint8_t* data, int64_t size, int64_t offset) {
  EnterKrCriticalSection(&m_fileLock);
  const bool ok =
      fseeko(file, offset, SEEK_SET) == 0 &&
      std::fread(data, 1, static_cast<size_t>(size), file) == static_cast<size_t>(size) &&
      std::ferror(file) == 0;
  LeaveKrCriticalSection(&m_fileLock);
  return ok;
}

bool CExtPipe::WriteMappingFile(const uint8_t* data, int64_t size, int64_t offset) {
  return WriteFileAt(m_file, data, size, offset);
}

bool CExtPipe::ReadMappingFile(uint8_t* data, int64_t size, int64_t offset) {
  return ReadFileAt(m_file, data, size, offset);
}

void CExtPipe::CloseSpill() {
  if (m_spill != nullptr) std::fclose(m_spill);
  m_spill = nullptr;
  m_spillRead = m_spillWrite = 0;
  m_spillWriting = false;
}

void CExtPipe::AllowSpill() {
  PipeLock lock(&m_mutex);
  m_spillAllowed = true;
}

int64_t CExtPipe::GetSpillSize() {
  PipeLock lock(&m_mutex);
  return SpillData();
}

void CExtPipe::FailLocked(const char* why) {
  DbgPrintf(1, "Pipe=%x failed: %s", Id(), why);
  m_failed = true;
  // Whoever waits on the pipe must see it.
  m_readWait = m_writeWait = 0;
  SignalKrCondition(&m_dataReady);
  SignalKrCondition(&m_freeReady);
}

bool CExtPipe::CopyIn(Position* at, const uint8_t* data, int64_t size) {
  while (size > 0) {
    const int64_t piece = std::min(size, m_blockSize - at->offset);
    if (data != nullptr) {
      if (m_diskMode) {
        if (!WriteMappingFile(data, piece, at->offset)) return false;
      } else {
        std::memcpy(at->block->data + at->offset, data, static_cast<size_t>(piece));
      }
      data += piece;
    }
    size -= piece;
    at->offset += piece;
    if (at->offset == m_blockSize) *at = {m_diskMode ? nullptr : at->block->next, 0};
  }
  return true;
}

bool CExtPipe::CopyOut(Position* at, uint8_t* data, int64_t size) {
  while (size > 0) {
    const int64_t piece = std::min(size, m_blockSize - at->offset);
    if (data != nullptr) {
      if (m_diskMode) {
        if (!ReadMappingFile(data, piece, at->offset)) return false;
      } else {
        std::memcpy(data, at->block->data + at->offset, static_cast<size_t>(piece));
      }
      data += piece;
    }
    size -= piece;
    at->offset += piece;
    if (at->offset == m_blockSize) *at = {m_diskMode ? nullptr : at->block->next, 0};
  }
  return true;
}

void CExtPipe::GrowFor(uint32_t size) {
  if (m_diskMode) return;
  while (m_total < m_maximumAllocate) {
    const bool sameBlock = m_write.block == m_read.block;
    if (sameBlock && m_read.offset > m_write.offset && m_read.offset - m_write.offset < size) {
      DbgPrintf(kTrace,
                "Pipe=%x graw size skipped (Need wait), write & read in same block and may "
                "overran existed data",
                Id());
      return;
    }
    if (sameBlock && m_read.offset == m_write.offset && m_data > 0) return;  // full ring
    bool grow = false;
    if (m_write.block->next == m_read.block) {
      grow = m_blockSize - m_write.offset <= size;
    } else {
      grow = m_free < size;
    }
    if (!grow) return;
    Block* block = NewBlock();
    if (block == nullptr) return;  // wait for the reader instead
    InsertBlockAfterWrite(block);
    DbgPrintf(kTrace, "Pipe=%x grows to %lld", Id(), static_cast<long long>(m_total));
  }
}

bool CExtPipe::WakeWriterLocked() {
  if (m_writeWait == 0 || m_free < m_writeWait) return false;
  if (m_waitPages != 0 && m_pages > m_waitPages) return false;
  m_writeWait = 0;
  m_waitPages = 0;
  DbgPrintf(kTrace, "Pipe=%x Set write data ready", Id());
  return true;
}

bool CExtPipe::Write(uint32_t size, const uint8_t* data) {
  Position at;
  int64_t spillAt = -1;
  {
    PipeLock lock(&m_mutex);
    if (m_failed) return false;
    if (size == 0 || m_broken) return true;
    GrowFor(size);
    // Behind bytes already in the file, or where the ring has no room: the file.
    if (m_spillAllowed && (SpillData() > 0 || m_free < static_cast<int64_t>(size))) {
      if (m_spill == nullptr) m_spill = OpenTemporaryFile();
      if (m_spill != nullptr) {
        spillAt = m_spillWrite;
        m_spillWriting = true;
      } else {
        DbgPrintf(1, "Pipe=%x cannot create its spill file: the writer waits", Id());
      }
    }
    while (spillAt < 0 && m_free < static_cast<int64_t>(size)) {
      if (m_closed) {
        BreakLocked(size);
        return true;
      }
      // Bytes that no reading can make room for would wait for ever.
      const int64_t reachable = m_diskMode ? m_total : std::max(m_total, m_maximumAllocate);
      if (static_cast<int64_t>(size) > reachable || m_data == 0) {
        DbgPrintf(1, "Pipe=%x Write size=%u can never fit (total=%lld)", Id(), size,
                  static_cast<long long>(m_total));
        return false;
      }
      m_writeWait = size;
      WaitKrCondition(&m_freeReady, &m_mutex);
      if (m_failed) return false;
      GrowFor(size);
    }
    at = m_write;
  }
  bool copied;
  if (spillAt >= 0) {
    // Null data only moves the write position: the file's bytes are left as they are.
    copied = data == nullptr || WriteFileAt(m_spill, data, size, spillAt);
  } else {
    copied = CopyIn(&at, data, size);
  }
  bool wakeReader = false;
  {
    PipeLock lock(&m_mutex);
    m_spillWriting = false;
    if (!copied) {
      FailLocked("short write to the temporary file");
      return false;
    }
    if (spillAt >= 0) {
      m_spillWrite = spillAt + size;
    } else {
      m_write = at;
      m_data += size;
      m_free -= size;
    }
    if (m_readWait != 0 && m_data + SpillData() >= m_readWait) {
      m_readWait = 0;
      wakeReader = true;
    }
  }
  if (wakeReader) SignalKrCondition(&m_dataReady);
  return true;
}

bool CExtPipe::Read(uint32_t size, uint8_t* data) {
  Position at;
  int64_t fromRing = 0, spillAt = 0;
  {
    PipeLock lock(&m_mutex);
    while (m_data + SpillData() < static_cast<int64_t>(size)) {
      if (m_failed || m_broken) return false;
      if (m_flexibleRead) {
        DbgPrintf(kTrace, "Not enough data for read package header!!");
        return false;
      }
      m_readWait = size;
      WaitKrCondition(&m_dataReady, &m_mutex);
    }
    if (m_failed || m_broken) return false;
    at = m_read;
    // The ring's bytes are older than the spill file's.
    fromRing = std::min<int64_t>(size, m_data);
    spillAt = m_spillRead;
  }
  const int64_t fromSpill = size - fromRing;
  bool copied = CopyOut(&at, data, fromRing);
  if (copied && fromSpill > 0 && data != nullptr)
    copied = ReadFileAt(m_spill, data + fromRing, fromSpill, spillAt);
  bool wakeWriter = false;
  {
    PipeLock lock(&m_mutex);
    if (!copied) {
      FailLocked("short read from the temporary file");
      return false;
    }
    m_read = at;
    m_free += fromRing;
    m_data -= fromRing;
    m_spillRead += fromSpill;
    if (SpillData() == 0 && !m_spillWriting) m_spillRead = m_spillWrite = 0;
    wakeWriter = WakeWriterLocked();
  }
  if (wakeWriter) SignalKrCondition(&m_freeReady);
  return true;
}

void CExtPipe::SwitchReadFlexible(bool flexible) {
  PipeLock lock(&m_mutex);
  m_flexibleRead = flexible;
}

bool CExtPipe::IsBufferFull(uint32_t size) {
  PipeLock lock(&m_mutex);
  return m_free < static_cast<int64_t>(size);
}

bool CExtPipe::EnlargeBuffer(uint32_t /*unused*/) {
  PipeLock lock(&m_mutex);
  if (m_diskMode || m_head == nullptr) return false;
  const bool sameBlock = m_write.block == m_read.block;
  if (sameBlock &&
      (m_read.offset > m_write.offset || (m_read.offset == m_write.offset && m_data > 0))) {
    DbgPrintf(1, "Pipe=%x EnlargeBuffer refused: unread bytes follow the write position", Id());
    return false;
  }
  Block* block = NewBlock();
  if (block == nullptr) return false;
  InsertBlockAfterWrite(block);
  DbgPrintf(kTrace, "Pipe=%x EnlargeBuffer Total=%lld", Id(), static_cast<long long>(m_total));
  return true;
}

bool CExtPipe::IsHighUsage() {
  PipeLock lock(&m_mutex);
  if (m_closed) return false;
  if (m_free + m_maximumAllocate - m_total < m_minimumAllocate) return true;
  return m_maximumPages != 0 && m_pages >= m_maximumPages;
}

void CExtPipe::WaitToLowUsage() {
  int64_t low = 0;
  bool capReached = false;
  {
    PipeLock lock(&m_mutex);
    low = std::min(m_total, std::max(m_minimumAllocate, m_maximumAllocate - m_minimumAllocate));
    capReached = m_maximumPages != 0 && m_pages >= m_maximumPages;
  }
  if (low == 0) return;
  if (capReached) {
    WaitFreeAndPageCount(low, 1);
  } else {
    WaitFree(low);
  }
}

void CExtPipe::WaitFree(int64_t size) {
  PipeLock lock(&m_mutex);
  if (size != 0 && m_free < size && !m_failed && !m_closed) {
    m_writeWait = size;
    WaitKrCondition(&m_freeReady, &m_mutex);
  }
}

void CExtPipe::WaitFreeAndPageCount(int64_t size, uint32_t pages) {
  PipeLock lock(&m_mutex);
  if (size != 0 && m_free < size && m_pages > pages && !m_failed && !m_closed) {
    m_writeWait = size;
    m_waitPages = pages;
    WaitKrCondition(&m_freeReady, &m_mutex);
  }
}

void CExtPipe::WaitData(int64_t size) {
  DbgPrintf(kTrace, "Pipe=%x WaitData==> size=%lld", Id(), static_cast<long long>(size));
  {
    PipeLock lock(&m_mutex);
    if (size != 0 && m_data + SpillData() < size && !m_failed && !m_broken) {
      m_readWait = size;
      WaitKrCondition(&m_dataReady, &m_mutex);
    }
  }
  DbgPrintf(kTrace, "Pipe=%x WaitData<== ", Id());
}

void CExtPipe::Close() {
  {
    PipeLock lock(&m_mutex);
    if (m_closed) return;
    DbgPrintf(kTrace, "Pipe=%x closed", Id());
    m_closed = true;
    m_writeWait = 0;
    m_waitPages = 0;
  }
  SignalKrCondition(&m_freeReady);
}

void CExtPipe::BreakLocked(uint32_t size) {
  DbgPrintf(1, "Pipe=%x closed and full: %u bytes and the rest of the stream dropped", Id(), size);
  m_broken = true;
  m_readWait = 0;
  SignalKrCondition(&m_dataReady);
}

void CExtPipe::IncreasePageCount() {
  PipeLock lock(&m_mutex);
  ++m_pages;
}

void CExtPipe::DecreasePageCount() {
  bool wakeWriter = false;
  {
    PipeLock lock(&m_mutex);
    if (m_pages != 0) --m_pages;
    wakeWriter = WakeWriterLocked();
  }
  if (wakeWriter) SignalKrCondition(&m_freeReady);
}

void CExtPipe::SetMaximumPageCount(uint32_t pages) {
  PipeLock lock(&m_mutex);
  m_maximumPages = pages;
}

bool CExtPipe::IsDiskMode() {
  PipeLock lock(&m_mutex);
  return m_diskMode;
}
int64_t CExtPipe::GetTotalSize() {
  PipeLock lock(&m_mutex);
  return m_total;
}
int64_t CExtPipe::GetFreeSize() {
  PipeLock lock(&m_mutex);
  return m_free;
}
int64_t CExtPipe::GetDataSize() {
  PipeLock lock(&m_mutex);
  return m_data;
}
int64_t CExtPipe::GetMaximumAllocateSize() {
  PipeLock lock(&m_mutex);
  return m_maximumAllocate;
}
int64_t CExtPipe::GetMinimumAllocateSize() {
  PipeLock lock(&m_mutex);
  return m_minimumAllocate;
}
uint32_t CExtPipe::GetBlockCount() {
  PipeLock lock(&m_mutex);
  if (m_head == nullptr) return 0;
  uint32_t n = 0;
  const Block* block = m_head;
  do {
    ++n;
    block = block->next;
  } while (block != m_head);
  return n;
}
int64_t CExtPipe::GetReadWaitSize() {
  PipeLock lock(&m_mutex);
  return m_readWait;
}
int64_t CExtPipe::GetWriteWaitSize() {
  PipeLock lock(&m_mutex);
  return m_writeWait;
}
uint32_t CExtPipe::GetPageCount() {
  PipeLock lock(&m_mutex);
  return m_pages;
}
