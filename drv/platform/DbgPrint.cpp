#include "drv/platform/DbgPrint.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "drv/platform/DbgLog.h"

CDbgPrint::CDbgPrint(const char* fileName, uint32_t flags, uint32_t level)
    : m_level(level),
      m_timeStamp(flags & kTimeStamp),
      m_processThread(flags & kProcessThread),
      m_buffered(flags & kBuffered) {
  std::snprintf(m_fileName, sizeof m_fileName, "%s", fileName);
  if (m_level == 0) return;
  m_threads[0] = GetCurrentKrThreadId();
  if (m_buffered) m_ring = new char[kRingSize];
  CreateKrCriticalSection(&m_printLock);
  CreateKrCriticalSection(&m_ringLock);
  CreateKrCondition(&m_dataReady);
  CreateKrCondition(&m_spaceFree);
  if (m_buffered && !CreateKrThread(&m_printer, DebugPrintThread, this, nullptr)) {
    InitialInvalidKrThread(&m_printer);
    Release();
    throw std::bad_alloc();
  }
}

CDbgPrint::~CDbgPrint() {
  if (m_level == 0) return;
  StopPrinter();
  Release();
}

void CDbgPrint::Release() {
  DestroyKrCondition(&m_spaceFree);
  DestroyKrCondition(&m_dataReady);
  DestroyKrCriticalSection(&m_ringLock);
  DestroyKrCriticalSection(&m_printLock);
  delete[] m_ring;
  m_ring = nullptr;
}

void CDbgPrint::StopPrinter() {
  if (m_level == 0 || !IsValidKrThread(&m_printer)) return;
  EnterKrCriticalSection(&m_ringLock);
  m_stop = true;
  SignalKrCondition(&m_dataReady);
  LeaveKrCriticalSection(&m_ringLock);
  WaitKrThread(&m_printer);
  DestroyKrThread(&m_printer);
}

int CDbgPrint::Column(KrThread thread) const {
  if (thread == 0) return 0;
  for (int i = 0; i < kColumns; ++i)
    if (m_threads[i] == thread) return i;
  return 0;
}

int CDbgPrint::ThreadvPrintf(KrThread thread, uint32_t level, const char* format, va_list args) {
  if (m_level == 0 || level > m_level) return 0;

  // The body may fill kMaxLine - 2 bytes; a longer one is cut and keeps its line end.
  constexpr size_t room = kMaxLine - 2;
  char line[kMaxLine + 1];
  size_t n = 0;
  auto advance = [&](int written) {
    if (written > 0) n = std::min(room, n + static_cast<size_t>(written));
  };

  EnterKrCriticalSection(&m_printLock);
  if (m_processThread)
    advance(std::snprintf(line + n, room + 1 - n, "%x-%x:", GetCurrentKrProcessId(),
                          static_cast<uint32_t>(thread)));
  if (m_timeStamp) advance(std::snprintf(line + n, room + 1 - n, "%.3f : ", MyGetTickCount()));
  size_t indent = std::min(room - n, static_cast<size_t>(4 * Column(thread)));
  std::memset(line + n, ' ', indent);
  n += indent;
  advance(std::vsnprintf(line + n, room + 1 - n, format, args));
  line[n++] = '\r';
  line[n++] = '\n';
  StoreLine(line, static_cast<uint32_t>(n));
  LeaveKrCriticalSection(&m_printLock);
  return static_cast<int>(n);
}

int CDbgPrint::ThreadPrintf(KrThread thread, uint32_t level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = ThreadvPrintf(thread, level, format, args);
  va_end(args);
  return n;
}

int CDbgPrint::Printf(uint32_t level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = ThreadvPrintf(GetCurrentKrThreadId(), level, format, args);
  va_end(args);
  return n;
}

int CDbgPrint::Print(uint32_t level, const char* text) { return Printf(level, "%s", text); }

bool CDbgPrint::NewThreadColumn(KrThread thread) {
  if (m_level == 0 || thread == 0) return false;
  EnterKrCriticalSection(&m_printLock);
  KrThread* free = std::find(m_threads, m_threads + kColumns, KrThread{0});
  bool taken = free != m_threads + kColumns;
  if (taken) *free = thread;
  LeaveKrCriticalSection(&m_printLock);
  return taken;
}

bool CDbgPrint::DeleteThreadColumn(KrThread thread) {
  if (m_level == 0 || thread == 0) return false;
  EnterKrCriticalSection(&m_printLock);
  KrThread* entry = std::find(m_threads, m_threads + kColumns, thread);
  bool found = entry != m_threads + kColumns;
  if (found) *entry = 0;
  LeaveKrCriticalSection(&m_printLock);
  return found;
}

// Called under the print lock, so lines enter the ring whole and in order.
void CDbgPrint::StoreLine(const char* line, uint32_t length) {
  if (!m_buffered) {
    DebugSaveFileBin(m_fileName, line, length, kSaveAppend);
    return;
  }
  EnterKrCriticalSection(&m_ringLock);
  if (m_exited) {
    // The printer left only after draining the ring: nothing to overtake, write directly.
    LeaveKrCriticalSection(&m_ringLock);
    DebugSaveFileBin(m_fileName, line, length, kSaveAppend);
    return;
  }
  // The printer frees room after each block and leaves only with the ring empty.
  while (kRingSize - (m_writePos - m_readPos) < length) WaitKrCondition(&m_spaceFree, &m_ringLock);
  uint32_t at = static_cast<uint32_t>(m_writePos % kRingSize);
  uint32_t first = std::min(length, kRingSize - at);
  std::memcpy(m_ring + at, line, first);
  std::memcpy(m_ring, line + first, length - first);
  m_writePos += length;
  SignalKrCondition(&m_dataReady);
  LeaveKrCriticalSection(&m_ringLock);
}

// Appends ring bytes [from, to) to the log: one piece, or two when they wrap.
void CDbgPrint::WriteRing(uint64_t from, uint64_t to) const {
  uint32_t at = static_cast<uint32_t>(from % kRingSize);
  uint32_t length = static_cast<uint32_t>(to - from);
  uint32_t first = std::min(length, kRingSize - at);
  DebugSaveFileBin(m_fileName, m_ring + at, first, kSaveAppend);
  if (first < length) DebugSaveFileBin(m_fileName, m_ring, length - first, kSaveAppend);
}

void* CDbgPrint::DebugPrintThread(void* self) {
  auto* p = static_cast<CDbgPrint*>(self);
  EnterKrCriticalSection(&p->m_ringLock);
  for (;;) {
    while (p->m_readPos == p->m_writePos && !p->m_stop)
      WaitKrCondition(&p->m_dataReady, &p->m_ringLock);
    // Stop only once everything stored before it is in the file.
    if (p->m_readPos == p->m_writePos) break;
    uint64_t from = p->m_readPos, to = p->m_writePos;
    LeaveKrCriticalSection(&p->m_ringLock);
    p->WriteRing(from, to);
    EnterKrCriticalSection(&p->m_ringLock);
    p->m_readPos = to;
    SignalKrCondition(&p->m_spaceFree);
  }
  p->m_exited = true;
  SignalKrCondition(&p->m_spaceFree);
  LeaveKrCriticalSection(&p->m_ringLock);
  ExitKrThread();
}

void CDbgPrint::DebugSaveFileBin(const char* path, const void* data, uint32_t length,
                                 uint32_t mode) {
  char full[512];
  if (mode & kSaveRelative) {
    if (std::snprintf(full, sizeof full, "%s%s", szSavePath, path) >= static_cast<int>(sizeof full))
      return;
    path = full;
  }
  bool replace = (mode & 0xFF) == kSaveReplace;
  if (replace && length == 0) {
    std::remove(path);
    return;
  }
  // Opened and closed per block, so the file can be read, moved or removed meanwhile.
  FILE* f = std::fopen(path, replace ? "wb" : "a+b");
  if (!f) return;
  std::fwrite(data, 1, length, f);
  std::fclose(f);
}
