#pragma once
// Where the deliverables' bundles and resources live on this system.
//
// The Image Capture module's resources are one installed folder (the data source looks there for
// the driver library too); FERROLITE_SCANNER_RESOURCES names another one, for tests and for a
// module run from the build tree. The data source's bundle folder is the folder of its own
// shared object, wherever the TWAIN manager found it; its resources are "Resources" in it.
#include <filesystem>
#include <optional>

namespace foundation {

// The Image Capture module's resource folder.
std::filesystem::path scannerModuleResourceFolder();

// The folder of the loaded program or shared object that holds `address` (for example the
// address of an exported function); nothing when no loaded object holds it.
std::optional<std::filesystem::path> folderOfLoadedObject(const void* address);

// The data source's resource folder inside its bundle folder.
std::filesystem::path dataSourceResourceFolder(const std::filesystem::path& bundleFolder);

}  // namespace foundation
