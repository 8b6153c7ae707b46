#pragma once
// The dialog opened for a page's scenarios: the frame's fixture with the dialog's English table
// handed over by the data source, and profiles that carry their own names when loaded.
#include <filesystem>
#include <string>

#include "FrameSupport.h"
#include "ds/dialog/FoundationLanguage.h"

namespace ferrolite::dialog::testing {

inline const LanguageBundle& englishTable() {
  static const FoundationLanguageBundle bundle(*foundation::LanguageBundle::open(
      std::filesystem::path(VT_DIALOG_RESOURCES) / "English.lproj"));
  return bundle;
}

struct PageFixture : FrameFixture {
  explicit PageFixture(std::string_view folderName = "dialog-page",
                       const ui::Services* hosted = nullptr, ui::Toolkit* kit = nullptr)
      : FrameFixture(folderName, hosted, kit) {
    dataSource.language = &englishTable();
    dataSource.onProfileOperation = [this](std::string_view name, int32_t operation) {
      if (operation == kProfileLoad) record.strProfile = SharedText(std::string(name));
    };
  }
};

}  // namespace ferrolite::dialog::testing
