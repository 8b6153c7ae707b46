#include "ds/dialog/frame/Profiles.h"

#include <algorithm>

namespace ferrolite::dialog {

namespace {
bool contains(const std::optional<std::vector<std::string>>& names, std::string_view name) {
  return names && std::find(names->begin(), names->end(), name) != names->end();
}
}  // namespace

std::string customProfileName(const LanguageBundle& language) {
  return language.localizedStringForKey("Custom", "Custom?");
}

std::optional<std::size_t> switch2CustomProfile(ScanSetting& record,
                                                const std::vector<std::string>& popupTitles,
                                                std::string_view customName) {
  for (std::size_t i = 0; i < popupTitles.size(); ++i) {
    if (popupTitles[i] == customName) {
      record.strProfile = customName;
      return i;
    }
  }
  return std::nullopt;
}

bool loadProfileAtSetup(ScanSetting& record,
                        const std::optional<std::vector<std::string>>& savedProfiles,
                        std::string_view customName) {
  if (record.strProfile == customName) return false;
  if (contains(savedProfiles, record.strProfile.view())) return true;
  record.strProfile = customName;
  return false;
}

ProfilePopup profilePopup(const std::optional<std::vector<std::string>>& savedProfiles,
                          std::string_view strProfile, std::string_view customName) {
  ProfilePopup popup;
  if (savedProfiles) popup.titles = *savedProfiles;
  popup.titles.emplace_back(customName);
  auto it = std::find(popup.titles.begin(), popup.titles.end(), strProfile);
  popup.selected = it != popup.titles.end() ? static_cast<std::size_t>(it - popup.titles.begin())
                                            : popup.titles.size() - 1;
  const bool noneSaved = !savedProfiles || savedProfiles->empty();
  popup.deleteEnabled = !noneSaved && popup.titles[popup.selected] != customName;
  return popup;
}

ProfileNameEdit profileNameChanged(std::string_view /*before*/, std::string_view after,
                                   std::string_view customName) {
  ProfileNameEdit edit;
  std::string text(after);
  if (characterCount(text) > kProfileNameLimit) {
    text = firstCharacters(text, kProfileNameLimit);
    edit.field.editorText = text;
  }
  edit.defaultButtonEnabled = !text.empty() && text != customName;
  return edit;
}

AddProfileCheck addProfileCheck(std::string_view name,
                                const std::vector<std::string>& savedProfiles,
                                std::string_view customName) {
  AddProfileCheck check;
  check.allowed = !name.empty() && name != customName;
  check.asksReplace = check.allowed && std::find(savedProfiles.begin(), savedProfiles.end(),
                                                 name) != savedProfiles.end();
  return check;
}

AfterProfileDeleted afterProfileDeleted(const std::optional<std::vector<std::string>>& remaining,
                                        std::string_view customName) {
  if (remaining && !remaining->empty()) return {remaining->front(), true};
  return {std::string(customName), false};
}

}  // namespace ferrolite::dialog
