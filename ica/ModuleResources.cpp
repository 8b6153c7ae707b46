#include "ica/ModuleResources.h"

#include "platform/foundation/Localization.h"
#include "platform/foundation/Resources.h"

namespace icamodule {

std::filesystem::path resourceFolder() { return foundation::scannerModuleResourceFolder(); }

std::filesystem::path resourcePath(std::string_view name, std::string_view type) {
  return resourceFolder() / (std::string(name) + "." + std::string(type));
}

std::string localizedString(std::string_view key, std::string_view defaultText) {
  auto folder = foundation::localizationFolder(resourceFolder(), foundation::preferredLanguages());
  if (!folder) return std::string(defaultText);
  auto bundle = foundation::LanguageBundle::open(*folder);
  if (!bundle) return std::string(defaultText);
  return bundle->localizedString(key, defaultText);
}

}  // namespace icamodule
