// Where the open step finds a plug-in or a driver library.
#include "ds/twain/PlugIns.h"

#include "platform/foundation/Resources.h"

namespace ferrolite {

std::filesystem::path locatePlugIn(const std::filesystem::path& resourceFolder,
                                   const std::string& name) {
  std::error_code error;
  for (const std::filesystem::path& folder :
       {resourceFolder, foundation::scannerModuleResourceFolder()}) {
    const std::filesystem::path file = folder / name;
    if (std::filesystem::exists(file, error)) return file;
  }
  return {};
}

}  // namespace ferrolite
