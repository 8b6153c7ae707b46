#pragma once
// The printer object behind DbgPrintf: prefixes, indents and stores whole lines, either in a
// ring that its own printer thread appends to the log file, or straight into the file.
#include <cstdarg>
#include <cstdint>

#include "drv/platform/KrThread.h"

class CDbgPrint {
 public:
  // Constructor flags.
  static constexpr uint32_t kTimeStamp = 1;
  static constexpr uint32_t kProcessThread = 2;
  static constexpr uint32_t kBuffered = 4;
  // DebugSaveFileBin modes: low byte 1 replaces the file, anything else appends.
  static constexpr uint32_t kSaveReplace = 1;
  static constexpr uint32_t kSaveAppend = 2;
  static constexpr uint32_t kSaveRelative = 0x100;  // path is relative to szSavePath

  static constexpr uint32_t kRingSize = 0x80000;
  static constexpr uint32_t kMaxLine = 255;  // a whole line, "\r\n" included
  static constexpr int kColumns = 8;

  // Level 0 makes an inert object that writes nothing. Throws std::bad_alloc when the
  // ring or the printer thread cannot be had.
  CDbgPrint(const char* fileName, uint32_t flags, uint32_t level);
  ~CDbgPrint();
  CDbgPrint(const CDbgPrint&) = delete;
  CDbgPrint& operator=(const CDbgPrint&) = delete;

  // Each returns the stored line's length in bytes, 0 when the level is above the object's.
  int ThreadvPrintf(KrThread thread, uint32_t level, const char* format, va_list args);
  int ThreadPrintf(KrThread thread, uint32_t level, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  int Printf(uint32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  int Print(uint32_t level, const char* text);  // text is written as it is

  // The thread's lines are indented by the index of its entry (entry 0: the creator).
  bool NewThreadColumn(KrThread thread);
  bool DeleteThreadColumn(KrThread thread);

  // Ends the printer thread once the ring is drained; later lines go to the file at once.
  void StopPrinter();

  bool IsBuffered() const { return m_buffered; }

  static void DebugSaveFileBin(const char* path, const void* data, uint32_t length, uint32_t mode);

 private:
  void Release();
  int Column(KrThread thread) const;
  void StoreLine(const char* line, uint32_t length);
  void WriteRing(uint64_t from, uint64_t to) const;
  static void* DebugPrintThread(void* self);

  uint32_t m_level;
  bool m_timeStamp, m_processThread, m_buffered;
  char m_fileName[256];

  // Ring: bytes [m_readPos, m_writePos) (running totals) wait for the printer. The positions
  // and the two flags change under the ring lock; the writer copies into free space and the
  // printer reads the taken range, each under the lock or after taking the range under it.
  char* m_ring = nullptr;
  uint64_t m_readPos = 0, m_writePos = 0;
  bool m_stop = false, m_exited = false;
  KrCriticalSection m_ringLock;
  KrCondition m_dataReady, m_spaceFree;
  KrThread m_printer = 0;

  // Serialises whole lines and guards the thread table. Lock order: print, then ring.
  KrCriticalSection m_printLock;
  KrThread m_threads[kColumns] = {};
};
