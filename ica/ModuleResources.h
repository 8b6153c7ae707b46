#pragma once
// The module's resources (one folder: foundation::scannerModuleResourceFolder), its localized
// texts and its user defaults.
#include <filesystem>
#include <string>
#include <string_view>

namespace icamodule {

inline constexpr const char* kScannerPropertiesResource = "ScannerProperties";
inline constexpr const char* kDeviceInfoResource = "DeviceInfo";
inline constexpr const char* kPaperInfoResource = "PaperInfo";
inline constexpr const char* kPlistType = "plist";
inline constexpr const char* kDeviceListFile = "DeviceList.plist";
inline constexpr const char* kLcdStringsFile = "lcd_str.loc";
inline constexpr const char* kLocaleTableFile = "locale.plist";
// A driver library's file: "%@/%@.so" of the folder and the base name.
inline constexpr const char* kLibraryExtension = ".so";

std::filesystem::path resourceFolder();
// "<folder>/<name>.<type>".
std::filesystem::path resourcePath(std::string_view name, std::string_view type);
// The text for `key` in the user's language, else `defaultText`.
std::string localizedString(std::string_view key, std::string_view defaultText);

// User defaults of the module.
inline constexpr const char* kDefaultsGamma = "gamma";
inline constexpr const char* kDefaultsLastCrop = "last_crop";

}  // namespace icamodule
