#pragma once
// Profiles: the custom-profile rule that turns the profile popup to its custom entry on any
// edit, the profile applied when the dialog opens, the popup's contents, and the decisions of
// adding and deleting a profile. The data source keeps the profiles; these rules decide.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ds/dialog/DataSource.h"
#include "ds/dialog/TextFieldFamily.h"
#include "ds/scan/records/ScanSetting.h"

namespace ferrolite::dialog {

// The custom entry's name in the current language ("Custom", fallback "Custom?").
std::string customProfileName(const LanguageBundle& language);

// switch2CustomProfile: at the first popup title equal to the custom name, strProfile becomes
// that name and the answer is the index to select; with no such title nothing changes. The
// delete button is disabled in every case.
std::optional<std::size_t> switch2CustomProfile(ScanSetting& record,
                                                const std::vector<std::string>& popupTitles,
                                                std::string_view customName);

// When the dialog opens: true when the profile named by strProfile must be loaded over the
// record, which is only when it is one of the saved profiles. Otherwise the record stays and
// strProfile becomes the custom name (a record saved in another language, or a profile that
// no longer exists, would otherwise reset every setting to its defaults).
bool loadProfileAtSetup(ScanSetting& record,
                        const std::optional<std::vector<std::string>>& savedProfiles,
                        std::string_view customName);

// The profile popup: the saved names, then the custom entry; the item titled strProfile is
// selected (the custom entry when none is); Delete is enabled only on a saved profile.
struct ProfilePopup {
  std::vector<std::string> titles;
  std::size_t selected = 0;
  bool deleteEnabled = false;
};
ProfilePopup profilePopup(const std::optional<std::vector<std::string>>& savedProfiles,
                          std::string_view strProfile, std::string_view customName);

// The add-profile sheet's name field: cut to 16 characters (a paste too); the sheet's default
// button is enabled only for a name that is neither empty nor the custom entry's.
inline constexpr std::size_t kProfileNameLimit = 16;
struct ProfileNameEdit {
  FieldResult field;
  bool defaultButtonEnabled = false;
};
ProfileNameEdit profileNameChanged(std::string_view before, std::string_view after,
                                   std::string_view customName);

// Adding under a name: whether the name may be saved, and whether it replaces a saved profile
// (which asks first).
struct AddProfileCheck {
  bool allowed = false;
  bool asksReplace = false;
};
AddProfileCheck addProfileCheck(std::string_view name,
                                const std::vector<std::string>& savedProfiles,
                                std::string_view customName);

// After a profile was removed: with profiles left the first is selected and loaded; with none
// left the record stays and only strProfile names the custom entry.
struct AfterProfileDeleted {
  std::string strProfile;
  bool load = false;
};
AfterProfileDeleted afterProfileDeleted(const std::optional<std::vector<std::string>>& remaining,
                                        std::string_view customName);

}  // namespace ferrolite::dialog
