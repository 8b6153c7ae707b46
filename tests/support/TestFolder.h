#pragma once
// What tests that write files share: a fresh, empty folder for one test program under the
// build's test-tmp ($VT_TEST_TMP, which every vt_test gets), so that test cases run in parallel
// without sharing files, and reading a file whole.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace testsupport {

inline std::filesystem::path freshTestFolder(std::string_view name) {
  const char* base = std::getenv("VT_TEST_TMP");
  std::filesystem::path folder = std::filesystem::path(base && *base ? base : "/tmp") /
                                 (std::string(name) + "-" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

// The file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace testsupport
