// Profiles: the custom-profile rule, the profile at set-up, the popup, the name field and the
// add and delete decisions.
#include <gtest/gtest.h>

#include "RecordingDataSource.h"
#include "ds/dialog/frame/Profiles.h"

namespace ferrolite::dialog {
namespace {

using Names = std::vector<std::string>;

TEST(Profiles, CustomNameFromTheLanguage) {
  testing::TableBundle withKey;
  withKey.texts()["Custom"] = "Benutzerdefiniert";
  testing::TableBundle without;
  EXPECT_EQ(customProfileName(withKey), "Benutzerdefiniert");
  EXPECT_EQ(customProfileName(without), "Custom?");
}

TEST(Profiles, SwitchToCustomSelectsTheCustomEntry) {
  ScanSetting r;
  r.strProfile = "Invoices";
  EXPECT_EQ(switch2CustomProfile(r, {"Invoices", "Photos", "Custom?"}, "Custom?"), 2u);
  EXPECT_EQ(r.strProfile.view(), "Custom?");
  r.strProfile = "Invoices";
  EXPECT_EQ(switch2CustomProfile(r, {"Invoices"}, "Custom?"), std::nullopt);
  EXPECT_EQ(r.strProfile.view(), "Invoices");
}

TEST(Profiles, ProfileAtSetUp) {
  struct Case {
    std::optional<Names> saved;
    const char* strProfile;
    bool load;
    const char* after;
  } cases[] = {
      {Names{"Invoices", "Photos"}, "Photos", true, "Photos"},
      {Names{"Invoices"}, "Custom", false, "Custom"},
      {Names{"Invoices"}, "Eigene", false, "Custom"},  // saved in another language
      {Names{}, "Invoices", false, "Custom"},          // profile no longer there
      {std::nullopt, "Invoices", false, "Custom"},     // no profile file
      {std::nullopt, "Custom", false, "Custom"},
  };
  for (const Case& c : cases) {
    ScanSetting r;
    r.strProfile = c.strProfile;
    EXPECT_EQ(loadProfileAtSetup(r, c.saved, "Custom"), c.load) << c.strProfile;
    EXPECT_EQ(r.strProfile.view(), c.after) << c.strProfile;
  }
}

TEST(Profiles, PopupSelectsTheRecordsProfile) {
  ProfilePopup p = profilePopup(Names{"A", "B"}, "B", "Custom");
  EXPECT_EQ(p.titles, (Names{"A", "B", "Custom"}));
  EXPECT_EQ(p.selected, 1u);
  EXPECT_TRUE(p.deleteEnabled);
  p = profilePopup(Names{"A"}, "gone", "Custom");
  EXPECT_EQ(p.selected, 1u);
  EXPECT_FALSE(p.deleteEnabled);
  p = profilePopup(std::nullopt, "Custom", "Custom");
  EXPECT_EQ(p.titles, (Names{"Custom"}));
  EXPECT_FALSE(p.deleteEnabled);
}

TEST(Profiles, NameFieldCutsAndEnablesTheDefaultButton) {
  struct Case {
    const char* before;
    const char* after;
    std::optional<std::string> editor;
    bool enabled;
  } cases[] = {
      {"Untitled", "Untitled1", std::nullopt, true},
      {"0123456789abcdef", "0123456789abcdefg", "0123456789abcdef", true},  // 17th typed
      {"", "0123456789abcdefghijklmn", "0123456789abcdef", true},           // pasted
      {"\xC3\xA4",
       "\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4"
       "\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4",
       std::nullopt, true},  // sixteen two-byte characters fit
      {"a", "", std::nullopt, false},
      {"Custo", "Custom", std::nullopt, false},  // the custom entry's name
  };
  for (const Case& c : cases) {
    ProfileNameEdit e = profileNameChanged(c.before, c.after, "Custom");
    EXPECT_EQ(e.field.editorText, c.editor) << c.after;
    EXPECT_EQ(e.defaultButtonEnabled, c.enabled) << c.after;
    EXPECT_TRUE(e.field.posts.empty());
  }
}

TEST(Profiles, AddAndDeleteDecisions) {
  EXPECT_TRUE(addProfileCheck("New", Names{"A"}, "Custom").allowed);
  EXPECT_FALSE(addProfileCheck("New", Names{"A"}, "Custom").asksReplace);
  EXPECT_TRUE(addProfileCheck("A", Names{"A"}, "Custom").asksReplace);
  EXPECT_FALSE(addProfileCheck("Custom", Names{"A"}, "Custom").allowed);
  EXPECT_FALSE(addProfileCheck("", Names{"A"}, "Custom").allowed);

  AfterProfileDeleted left = afterProfileDeleted(Names{"B", "C"}, "Custom");
  EXPECT_EQ(left.strProfile, "B");
  EXPECT_TRUE(left.load);
  AfterProfileDeleted last = afterProfileDeleted(Names{}, "Custom");
  EXPECT_EQ(last.strProfile, "Custom");
  EXPECT_FALSE(last.load);  // the record stays: no load of a profile that no longer exists
  EXPECT_FALSE(afterProfileDeleted(std::nullopt, "Custom").load);
}

}  // namespace
}  // namespace ferrolite::dialog
