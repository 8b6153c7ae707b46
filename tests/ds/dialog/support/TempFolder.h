#pragma once
// A folder of the test's own under the suite's temporary folder (VT_TEST_TMP), removed at the
// end, so tests that write files can run in parallel.
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ferrolite::dialog::testing {

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> serial{0};
    const char* base = std::getenv("VT_TEST_TMP");
    path_ = std::filesystem::path(base ? base : "/tmp") /
            ("dialog-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string path() const { return path_.string(); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

  static std::vector<uint8_t> read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::filesystem::path path_;
};

}  // namespace ferrolite::dialog::testing
