// Allocator and debug log of the image library.
#include "drv/jpeg/LMLib.h"

#include <malloc.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

void* AllocateMemory(void* old, uint32_t size, uint32_t flags) {
  const bool zero = (flags & kLMZeroFill) != 0;
  if (!old) return zero ? calloc(1, size ? size : 1) : malloc(size ? size : 1);
  if (malloc_usable_size(old) < size) {
    void* p = realloc(old, size);
    if (!p) return nullptr;
    if (zero) memset(p, 0, malloc_usable_size(p));
    return p;
  }
  if (zero) memset(old, 0, size);
  return old;
}

void* jpgAllocateRetry(void* old, uint32_t size) { return AllocateMemory(old, size, 0); }

long FreeMemory(void* p) {
  free(p);
  return 0;
}

namespace {
constexpr int kMaxNames = 50;
constexpr size_t kNameLen = 50;
constexpr const char* kDefaultName = "LMJPGDebugLog.Log";
constexpr long kMaxLogSize = 0x10000000;

// The level and folder are set by the driver at start, the name table is shared by the decode
// and encode threads: one mutex guards the table and the folder.
std::atomic<uint32_t> nDebugLevel{0};
std::mutex gLogMutex;
char DebugPath[256] = "";
char gNames[kMaxNames][kNameLen + 1];
int gNameCount = 0;
int gNameCurrent = -1;
bool gNameSeen = false;
}  // namespace

uint32_t LMGetDebugLevel() { return nDebugLevel.load(std::memory_order_relaxed); }
bool LMLogOn() { return LMGetDebugLevel() != 0; }

const char* LMGetDebugPath() { return DebugPath; }

long SetDebugMode(uint32_t level, const char* path) {
  std::lock_guard<std::mutex> lock(gLogMutex);
  nDebugLevel.store(level, std::memory_order_relaxed);
  const char* p = path ? path : "";
  size_t n = strnlen(p, sizeof DebugPath - 2);  // room for the slash and the terminator
  if (n == 0) {
    strcpy(DebugPath, "./");
  } else {
    memcpy(DebugPath, p, n);
    DebugPath[n] = 0;
    if (DebugPath[n - 1] != '/') {
      DebugPath[n] = '/';
      DebugPath[n + 1] = 0;
    }
  }
  if (level != 0) mkdir(DebugPath, 0777);
  return 0;
}

void DebugVarInitilize(uint32_t level) { nDebugLevel.store(level, std::memory_order_relaxed); }

void MDBG(uint32_t level, const char* logName, const char* prefix, const char* format, ...) {
  const uint32_t cur = LMGetDebugLevel();
  if (cur == 0) return;
  const char* name = (logName && *logName) ? logName : kDefaultName;
  if (strlen(name) > kNameLen) return;
  const bool byLevel = (level & 0x0FFFFFFF) <= (cur & 0x0FFFFFFF);
  const bool byFlag = (level & 0x80000000u) && (cur & 0x80000000u);
  if (!byLevel && !byFlag) return;

  std::lock_guard<std::mutex> lock(gLogMutex);
  if (gNameCount > kMaxNames) return;
  int idx = -1;
  for (int i = 0; i < gNameCount; ++i)
    if (strcmp(gNames[i], name) == 0) idx = i;
  gNameSeen = idx >= 0;
  if (idx < 0) {
    if (gNameCount >= kMaxNames) return;
    idx = gNameCount++;
    strcpy(gNames[idx], name);
  }
  gNameCurrent = idx;

  char path[sizeof DebugPath + kNameLen + 2];
  snprintf(path, sizeof path, "%s/%s", DebugPath, name);
  FILE* f = nullptr;
  for (int attempt = 0; attempt < 1024 && !f; ++attempt) f = fopen(path, "a");
  if (!f) return;
  if (!gNameSeen) {
    if (ftell(f) > kMaxLogSize || (fseek(f, 0, SEEK_END) == 0 && ftell(f) > kMaxLogSize)) {
      FILE* g = freopen(path, "w", f);
      if (!g) return;
      f = g;
      fputs("Delete the previous log data.\n", f);
    }
    time_t now = time(nullptr);
    struct tm tmv;
    char when[64];
    localtime_r(&now, &tmv);
    asctime_r(&tmv, when);
    fprintf(f, "\nStart time:\t%s\n", when);
  }
  if (prefix) fputs(prefix, f);
  va_list ap;
  va_start(ap, format);
  vfprintf(f, format, ap);
  va_end(ap);
  fclose(f);
}

void MDBG_IMG(const char*, const void*, uint32_t) {}
void MDBG_RAWLv(uint32_t, const char*, const void*, uint32_t) {}

LMResult LMMapCodecCode(int code) {
  if (code >= 0) return {kMsgOk, 0};
  switch (code) {
    case -2:
      return {kMsgBadValue, -1007};
    case -3:
      return {kMsgNoMemory, -1012};
    case -4:
      return {kMsgNotSupported, -1007};
    case -6:
      return {kMsgSequence, -1015};
    case -301:
      return {kMsgOk, -1007};
    case -302:
      return {kMsgSequence, -1007};
    default:
      return {kMsgFail, -1007};
  }
}
