#include "TestLog.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testlog {
namespace {
std::string gRoot;
}

std::string Prepare(const char* name) {
  const char* base = std::getenv("VT_TEST_TMP");
  std::filesystem::path root = std::filesystem::path(base != nullptr ? base : "/tmp") /
                               (std::string(name) + "-" + std::to_string(getpid()));
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  std::ofstream(root / "Debug.conf") << "DebugLevel 1\nBufferedLog 0\n";
  gRoot = root.string() + "/";
  setenv("VANTREL_LOG_ROOT", gRoot.c_str(), 1);
  return gRoot;
}

std::string Read() {
  std::ifstream in(gRoot + "KRDrv.txt");
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Contains(const std::string& text) { return Read().find(text) != std::string::npos; }

size_t Mark() { return Read().size(); }

std::string Since(size_t mark) {
  const std::string all = Read();
  return mark < all.size() ? all.substr(mark) : std::string();
}
}  // namespace testlog
