#pragma once
// The byte pipe between two threads of a scan job: one writer, one reader. Bytes live in a ring
// of 2 MiB blocks that grows on demand up to a maximum, or, when even the minimum would not fit
// under the memory limit, in a temporary file used as a ring (disk mode). The pipe also counts
// pages, so a producer can be held back while its consumer is pages behind.
#include <atomic>
#include <cstdint>
#include <cstdio>

#include "drv/platform/KrThread.h"

// What a pipe takes from the system; tests replace it to make allocations, the temporary file
// or the memory figure fail or change. A null member uses the system's own.
struct ExtPipeSystem {
  void* (*AllocateBlock)(size_t bytes);
  void (*FreeBlock)(void* block);
  FILE* (*OpenTemporaryFile)();
  uint64_t (*UserMemory)();
};
// Null puts the system's own back. Set it only while no pipe exists.
void SetExtPipeSystem(const ExtPipeSystem* system);

class CExtPipe {
 public:
  static constexpr int64_t kBlockSize = 2 * 1024 * 1024;
  // What the owner supplies when there is none (the job start's values for a one-sided job).
  static constexpr uint32_t kDefaultMemoryDivider = 2;
  static constexpr int64_t kDefaultDiskHardLimit = 128 * 1024 * 1024;

  // `owner` is the device item (its pipe memory divider and disk hard limit), or null for the
  // defaults. Throws std::bad_alloc when the minimum cannot be had: blocks in memory, or the
  // temporary file in disk mode (the creator reports -2006).
  CExtPipe(void* owner, int64_t minimum, int64_t maximum);
  ~CExtPipe();
  CExtPipe(const CExtPipe&) = delete;
  CExtPipe& operator=(const CExtPipe&) = delete;

  // Appends size bytes, waiting for room; null data only moves the write position. False when
  // the pipe failed (a short file write, here or earlier) or the bytes can never fit.
  bool Write(uint32_t size, const uint8_t* data);
  // Removes size bytes into data (null discards them), waiting until they are there unless
  // reads are flexible. False with flexible reads and too few bytes (nothing is taken), or when
  // the pipe failed.
  bool Read(uint32_t size, uint8_t* data);
  void SwitchReadFlexible(bool flexible);
  // The pipe's free room is below size.
  bool IsBufferFull(uint32_t size);
  // Adds one block behind the write position, beyond the maximum if need be. False in disk
  // mode, when the block cannot be had, or when the read position lies in the write block
  // ahead of the write position (the block would land inside unread bytes).
  bool EnlargeBuffer(uint32_t unused);

  // From now on the writer never waits: what does not fit in the ring within the pipe's limits
  // goes on in a temporary file behind it and is read back in order (the rear side of a page of
  // open length, written while the client still takes the front).
  void AllowSpill();
  // Bytes waiting in that file.
  int64_t GetSpillSize();

  // The job was cancelled: from now on no writer waits for room. A write that finds none is
  // dropped, and with it the rest of the stream: the reader then gets nothing more from the
  // pipe. Reads wait as before, for writers that no longer stop.
  void Close();

  // Producer back-pressure: the pipe is nearly full (or pages behind), then wait until it is not.
  bool IsHighUsage();
  void WaitToLowUsage();
  // The reader's counterpart of the producer's wait: returns once (data may still be short).
  void WaitData(int64_t size);

  void IncreasePageCount();
  void DecreasePageCount();
  void SetMaximumPageCount(uint32_t pages);

  // Frees everything and allocates anew for the sizes (block-aligned); both throw as the
  // constructor does.
  bool Reset(int64_t minimum, int64_t maximum);
  bool Reset();

  // What a test or a diagnosis looks at.
  bool IsFailed() const { return m_failed.load(); }
  bool IsDiskMode();
  int64_t GetTotalSize();
  int64_t GetFreeSize();
  int64_t GetDataSize();
  int64_t GetMemoryLimit() const { return m_memoryLimit; }
  int64_t GetMaximumAllocateSize();
  int64_t GetMinimumAllocateSize();
  uint32_t GetBlockCount();
  uint32_t GetPageCount();
  // Bytes a waiting reader needs, free bytes a waiting writer needs (0: nobody waits).
  int64_t GetReadWaitSize();
  int64_t GetWriteWaitSize();

 private:
  struct Block {
    Block* next;
    uint8_t* data;
  };
  struct Position {
    Block* block;
    int64_t offset;
  };

  void InitialThresholdValues();
  void DeleteBuffer();
  bool CreateMappingFile(int64_t size);
  void CloseMappingFile();
  bool WriteMappingFile(const uint8_t* data, int64_t size, int64_t offset);
  bool ReadMappingFile(uint8_t* data, int64_t size, int64_t offset);
  bool WriteFileAt(FILE* file, const uint8_t* data, int64_t size, int64_t offset);
  bool ReadFileAt(FILE* file, uint8_t* data, int64_t size, int64_t offset);
  void CloseSpill();
  void BreakLocked(uint32_t size);
  void WaitFree(int64_t size);
  void WaitFreeAndPageCount(int64_t size, uint32_t pages);

  // Under the mutex.
  int64_t SpillData() const { return m_spillWrite - m_spillRead; }
  Block* NewBlock();
  void InsertBlockAfterWrite(Block* block);
  void GrowFor(uint32_t size);
  bool WakeWriterLocked();
  void FailLocked(const char* why);
  // Outside the mutex: copies between a position and the caller's bytes; false after a short
  // file transfer.
  bool CopyIn(Position* at, const uint8_t* data, int64_t size);
  bool CopyOut(Position* at, uint8_t* data, int64_t size);
  unsigned Id() const { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)); }

  Block* m_head = nullptr;
  int64_t m_total = 0;
  int64_t m_free = 0;
  int64_t m_data = 0;
  int64_t m_requestedMinimum = 0;
  int64_t m_maximumAllocate = 0;
  int64_t m_minimumAllocate = 0;
  int64_t m_blockSize = kBlockSize;
  uint32_t m_memoryDivider = kDefaultMemoryDivider;
  int64_t m_hardLimit = kDefaultDiskHardLimit;
  Position m_read = {};
  Position m_write = {};
  KrCondition m_dataReady;
  KrCondition m_freeReady;
  int64_t m_readWait = 0;
  int64_t m_writeWait = 0;
  KrMutex m_mutex;
  FILE* m_file = nullptr;
  bool m_diskMode = false;
  KrCriticalSection m_fileLock;
  int64_t m_memoryLimit = 0;
  uint32_t m_maximumPages = 0;
  uint32_t m_pages = 0;
  uint32_t m_waitPages = 0;
  bool m_flexibleRead = false;
  // The spill file behind the ring: written at m_spillWrite (m_spillWriting while a write is on
  // its way, outside the mutex), read at m_spillRead; both go back to 0 when it is empty.
  bool m_spillAllowed = false;
  FILE* m_spill = nullptr;
  int64_t m_spillRead = 0;
  int64_t m_spillWrite = 0;
  bool m_spillWriting = false;
  // A short file transfer leaves the ring's contents unknown: every later transfer refuses.
  std::atomic<bool> m_failed{false};
  // Closed by a cancel; broken: a write was dropped, so the bytes no longer follow each other.
  bool m_closed = false;
  bool m_broken = false;
};
