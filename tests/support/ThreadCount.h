#pragma once
// The process's threads, but for Qt's D-Bus thread: on a desktop (xcb) the accessibility bridge
// starts it once per process and Qt keeps it while its libraries are loaded, which is for good.
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>

namespace testsupport {

inline std::size_t threadCount() {
  std::size_t n = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    if (name != "QDBusConnection") ++n;
  }
  return n;
}

}  // namespace testsupport
