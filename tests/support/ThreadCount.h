#pragma once
// The process's threads, but for Qt's D-Bus thread: on a desktop (xcb) the accessibility bridge
// starts it once per process and Qt keeps it while its libraries are loaded, which is for good.
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/Patience.h"

namespace testsupport {

inline std::string threadName(const std::filesystem::path& task) {
  std::ifstream comm(task / "comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// A joined thread is left out: its join returns once it has let go of the process's memory, but
// the system lists it until its exit has run, which a loaded machine delays; such a thread no
// longer shows the process's memory in its status.
inline bool holdsProcessMemory(const std::filesystem::path& task) {
  std::ifstream status(task / "status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmSize:", 0) == 0) return true;
  return false;  // also a thread gone between the listing and the read
}

inline std::size_t threadCount() {
  std::size_t n = 0;
  std::error_code ignored;  // a thread may go while the list is read
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ignored))
    if (threadName(task.path()) != "QDBusConnection" && holdsProcessMemory(task.path())) ++n;
  return n;
}

// The names of the counted threads, for a failure's message.
inline std::string threadNames() {
  std::string names;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    const std::string name = threadName(task.path());
    if (name != "QDBusConnection") names += (names.empty() ? "" : ", ") + name;
  }
  return names;
}

// The thread count once it has fallen to `expected`, or what it is after `patience`. Qt's pool
// threads are detached: Qt has waited for them when its application is gone, but the system
// lists each one until its exit has run, which a loaded machine delays. Nothing can join them,
// so the test watches the list.
inline std::size_t threadCountSettledAt(std::size_t expected,
                                        std::chrono::milliseconds patience = kPatience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  std::size_t n = threadCount();
  while (n > expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    n = threadCount();
  }
  return n;
}

}  // namespace testsupport
