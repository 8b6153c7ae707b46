#pragma once
// What the pipe tests share: an owner with chosen memory settings, a system whose memory figure,
// blocks and temporary file a test controls, and byte patterns to check what comes out.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "drv/device/CScannerManager.h"
#include "drv/engine/ExtPipe.h"

namespace pipetest {

constexpr int64_t kMiB = 1024 * 1024;

// A device item as far as a pipe reads it.
struct Owner {
  Owner(uint32_t divider, int64_t hardLimit) {
    item.dwPipeMemoryDivider = divider;
    item.llPipeDiskHardLimit = hardLimit;
  }
  void* get() { return &item; }
  CScannerManagerScannerItem item{};
};

// Bytes that tell their position: a test sees where a copy went wrong.
inline std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    v[i] = static_cast<uint8_t>(x >> 24);
  }
  return v;
}

// The system a pipe sees while the object lives: a memory figure, a failing allocation after
// `blocksLeft` blocks, and a temporary file that transfers only so many bytes.
class FakeSystem {
 public:
  FakeSystem() {
    Current() = this;
    m_system = {&Allocate, &Free, &Open, &Memory};
    SetExtPipeSystem(&m_system);
  }
  ~FakeSystem() {
    SetExtPipeSystem(nullptr);
    Current() = nullptr;
  }
  FakeSystem(const FakeSystem&) = delete;
  FakeSystem& operator=(const FakeSystem&) = delete;

  uint64_t userMemory = 8ull << 30;
  int64_t blocksLeft = -1;  // -1: no limit
  bool fileFails = false;   // the temporary file cannot be made
  int64_t writeLimit = -1;  // bytes the file takes before its writes fail; -1: all
  int64_t readLimit = -1;   // bytes it gives before its reads come back short; -1: all

 private:
  struct File {
    FakeSystem* owner;
    std::vector<uint8_t> bytes;
    off64_t pos = 0;
    int64_t written = 0, read = 0;
  };
  static FakeSystem*& Current() {
    static FakeSystem* current = nullptr;
    return current;
  }
  static void* Allocate(size_t n) {
    FakeSystem* s = Current();
    if (s->blocksLeft == 0) return nullptr;
    if (s->blocksLeft > 0) --s->blocksLeft;
    return std::malloc(n);
  }
  static void Free(void* p) { std::free(p); }
  static uint64_t Memory() { return Current()->userMemory; }
  static ssize_t Write(void* cookie, const char* data, size_t n) {
    auto* f = static_cast<File*>(cookie);
    if (f->owner->writeLimit >= 0) {
      const int64_t room = f->owner->writeLimit - f->written;
      if (room <= 0) return -1;
      if (static_cast<int64_t>(n) > room) n = static_cast<size_t>(room);
    }
    if (f->bytes.size() < f->pos + n) f->bytes.resize(f->pos + n);
    std::memcpy(f->bytes.data() + f->pos, data, n);
    f->pos += static_cast<off64_t>(n);
    f->written += static_cast<int64_t>(n);
    return static_cast<ssize_t>(n);
  }
  static ssize_t Read(void* cookie, char* data, size_t n) {
    auto* f = static_cast<File*>(cookie);
    if (f->owner->readLimit >= 0) {
      const int64_t left = f->owner->readLimit - f->read;
      if (left <= 0) return 0;
      if (static_cast<int64_t>(n) > left) n = static_cast<size_t>(left);
    }
    const size_t have = f->pos < static_cast<off64_t>(f->bytes.size())
                            ? f->bytes.size() - static_cast<size_t>(f->pos)
                            : 0;
    if (n > have) n = have;
    std::memcpy(data, f->bytes.data() + f->pos, n);
    f->pos += static_cast<off64_t>(n);
    f->read += static_cast<int64_t>(n);
    return static_cast<ssize_t>(n);
  }
  static int Seek(void* cookie, off64_t* offset, int whence) {
    auto* f = static_cast<File*>(cookie);
    if (whence != SEEK_SET) return -1;
    f->pos = *offset;
    return 0;
  }
  static int Close(void* cookie) {
    delete static_cast<File*>(cookie);
    return 0;
  }
  static FILE* Open() {
    FakeSystem* s = Current();
    if (s->fileFails) return nullptr;
    FILE* file = fopencookie(new File{s, {}, 0, 0, 0}, "w+",
                             cookie_io_functions_t{&Read, &Write, &Seek, &Close});
    if (file != nullptr) setvbuf(file, nullptr, _IONBF, 0);
    return file;
  }

  ExtPipeSystem m_system{};
};

}  // namespace pipetest
