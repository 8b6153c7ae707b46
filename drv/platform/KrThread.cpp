// Thin layer over POSIX threads, plus the byte-order, timing and host-information helpers.
#include "drv/platform/KrThread.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

double fCPUSpeed = 100.0;

namespace {
std::atomic<KrThreadCreateHook> gCreateHook{nullptr};
}

void SetKrThreadCreateHook(KrThreadCreateHook hook) { gCreateHook = hook; }

bool CreateKrThread(KrThread* thread, KrThreadRoutine routine, void* arg, uint64_t* threadId) {
  if (threadId) *threadId = 0;  // pthreads has no separate numeric id
  if (const KrThreadCreateHook hook = gCreateHook.load(); hook != nullptr && !hook()) return false;
  return pthread_create(thread, nullptr, routine, arg) == 0;
}

bool WaitKrThread(KrThread* thread) {
  // Joining handle 0 would crash inside the thread library; it names no thread.
  if (!IsValidKrThread(thread)) return false;
  return pthread_join(*thread, nullptr) == 0;
}

bool DestroyKrThread(KrThread* thread) {
  *thread = 0;
  return true;
}

void InitialInvalidKrThread(KrThread* thread) { *thread = 0; }
bool IsValidKrThread(const KrThread* thread) { return *thread != 0; }
void ExitKrThread() { pthread_exit(nullptr); }
KrThread GetCurrentKrThreadId() { return pthread_self(); }
uint32_t GetCurrentKrProcessId() { return static_cast<uint32_t>(getpid()); }

bool CreateKrMutex(KrMutex* m) { return pthread_mutex_init(m, nullptr) == 0; }
bool DestroyKrMutex(KrMutex* m) { return pthread_mutex_destroy(m) == 0; }
int LockKrMutex(KrMutex* m) { return pthread_mutex_lock(m); }
int UnlockKrMutex(KrMutex* m) { return pthread_mutex_unlock(m); }
// Locks carry no invalid marker; their owners keep their own flags.
void InitialInvalidKrMutex(KrMutex*) {}
bool IsValidKrMutex(const KrMutex*) { return true; }

bool CreateKrCriticalSection(KrCriticalSection* cs) { return CreateKrMutex(cs); }
bool DestroyKrCriticalSection(KrCriticalSection* cs) { return DestroyKrMutex(cs); }
int EnterKrCriticalSection(KrCriticalSection* cs) { return LockKrMutex(cs); }
int LeaveKrCriticalSection(KrCriticalSection* cs) { return UnlockKrMutex(cs); }
void InitialInvalidKrCriticalSection(KrCriticalSection*) {}
bool IsValidKrCriticalSection(const KrCriticalSection*) { return true; }

bool CreateKrCondition(KrCondition* c) { return pthread_cond_init(c, nullptr) == 0; }
bool DestroyKrCondition(KrCondition* c) { return pthread_cond_destroy(c) == 0; }
int SignalKrCondition(KrCondition* c) { return pthread_cond_signal(c); }
int WaitKrCondition(KrCondition* c, KrMutex* m) { return pthread_cond_wait(c, m); }
void InitialInvalidKrCondition(KrCondition*) {}
bool IsValidKrCondition(const KrCondition*) { return true; }

// The device is big-endian and the host little-endian: always reverse.
uint16_t DeviceToHostWORD(uint16_t v) { return __builtin_bswap16(v); }
uint32_t DeviceToHostDWORD(uint32_t v) { return __builtin_bswap32(v); }

// Fields of packed records may sit at odd offsets: go through a local copy.
static void ReverseBytes(void* p, size_t n) {
  uint8_t b[8];
  std::memcpy(b, p, n);
  for (size_t i = 0; i < n / 2; ++i) {
    uint8_t t = b[i];
    b[i] = b[n - 1 - i];
    b[n - 1 - i] = t;
  }
  std::memcpy(p, b, n);
}

void DeviceToHostWORDPtr(void* p) { ReverseBytes(p, 2); }
void DeviceToHostDWORDPtr(void* p) { ReverseBytes(p, 4); }
void DeviceToHostQWORDPtr(void* p) { ReverseBytes(p, 8); }

double MyGetTickCount() { return static_cast<double>(clock()) * 1000.0 / CLOCKS_PER_SEC; }

// First "cpu MHz" of /proc/cpuinfo, else the cpufreq maximum (kHz); 0 when neither says.
static double ReadCPUMHz() {
  double mhz = 0.0;
  if (FILE* f = std::fopen("/proc/cpuinfo", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f))
      if (std::strncmp(line, "cpu MHz", 7) == 0) {
        const char* colon = std::strchr(line, ':');
        if (colon) mhz = std::strtod(colon + 1, nullptr);
        break;
      }
    std::fclose(f);
  }
  if (mhz > 0.0) return mhz;
  if (FILE* f = std::fopen("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq", "r")) {
    unsigned long long khz = 0;
    if (std::fscanf(f, "%llu", &khz) == 1) mhz = static_cast<double>(khz) / 1000.0;
    std::fclose(f);
  }
  return mhz;
}

void DetectCPUSpeed() {
  double mhz = ReadCPUMHz();
  if (mhz > 0.0) fCPUSpeed = mhz;
}

static uint64_t PagesToBytes(int pagesName) {
  long pages = sysconf(pagesName), size = sysconf(_SC_PAGESIZE);
  return pages > 0 && size > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(size) : 0;
}

uint64_t GetKrPhysicalMemory() { return PagesToBytes(_SC_PHYS_PAGES); }

uint64_t GetKrUserMemory() {
  // The memory that user processes can still get: "MemAvailable", else the free pages.
  if (FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[256];
    unsigned long long kb = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f))
      found = std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1;
    std::fclose(f);
    if (found) return static_cast<uint64_t>(kb) * 1024;
  }
  return PagesToBytes(_SC_AVPHYS_PAGES);
}
