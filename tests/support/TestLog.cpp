#include "TestLog.h"

#include <cstdlib>
#include <fstream>

#include "TestFolder.h"

namespace testlog {
namespace {
std::string gRoot;
}

std::string Prepare(const char* name) {
  const std::filesystem::path root = testsupport::freshTestFolder(name);
  std::ofstream(root / "Debug.conf") << "DebugLevel 1\nBufferedLog 0\n";
  gRoot = root.string() + "/";
  setenv("VANTREL_LOG_ROOT", gRoot.c_str(), 1);
  return gRoot;
}

std::string Read() { return testsupport::ReadFile(gRoot + "KRDrv.txt"); }

bool Contains(const std::string& text) { return Read().find(text) != std::string::npos; }

size_t Mark() { return Read().size(); }

std::string Since(size_t mark) {
  const std::string all = Read();
  return mark < all.size() ? all.substr(mark) : std::string();
}
}  // namespace testlog
