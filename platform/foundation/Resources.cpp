#include "platform/foundation/Resources.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

namespace foundation {
namespace {

constexpr const char* kScannerModuleOverride = "FERROLITE_SCANNER_RESOURCES";
// The installed place, fixed when the project is configured.
constexpr const char* kScannerModuleInstalled = VT_SCANNER_MODULE_RESOURCES;
constexpr const char* kDataSourceResources = "Resources";

// The file mapped at `address`, from /proc/self/maps; empty when none is.
std::filesystem::path mappedFile(const void* address) {
  std::ifstream maps("/proc/self/maps");
  auto where = reinterpret_cast<std::uintptr_t>(address);
  std::string line;
  while (std::getline(maps, line)) {
    std::istringstream fields(line);
    std::string range, perms, offset, device, inode, path;
    fields >> range >> perms >> offset >> device >> inode;
    std::getline(fields >> std::ws, path);
    auto dash = range.find('-');
    if (dash == std::string::npos || path.empty() || path[0] != '/') continue;
    std::uintptr_t start = std::stoull(range.substr(0, dash), nullptr, 16);
    std::uintptr_t end = std::stoull(range.substr(dash + 1), nullptr, 16);
    if (where >= start && where < end) return path;
  }
  return {};
}

}  // namespace

std::filesystem::path scannerModuleResourceFolder() {
  const char* forced = std::getenv(kScannerModuleOverride);
  if (forced && *forced) return forced;
  return kScannerModuleInstalled;
}

std::optional<std::filesystem::path> folderOfLoadedObject(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info)) return std::nullopt;
  std::filesystem::path file = info.dli_fname ? info.dli_fname : "";
  if (file.is_relative()) {
    // The loader reports an object by the name it was loaded with (the main program by its
    // start name); the mapping's own entry has the full path.
    file = mappedFile(address);
    if (file.empty()) return std::nullopt;
  }
  std::error_code ec;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(file, ec);
  return (ec ? file : canonical).parent_path();
}

std::filesystem::path dataSourceResourceFolder(const std::filesystem::path& bundleFolder) {
  return bundleFolder / kDataSourceResources;
}

}  // namespace foundation
