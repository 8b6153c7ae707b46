// The English table beside the dialog: a walk through every page, the drawer, the diagnostic
// sheet's panels of both driver interfaces and the frame's alerts finds every key it looks up,
// and no text shown fell back to its key.
#include <gtest/gtest.h>

#include <set>

#include "FrameSupport.h"
#include "ds/dialog/FoundationLanguage.h"
#include "platform/foundation/Localization.h"

namespace ferrolite::dialog::testing {
namespace {

// The English bundle, noting every key its table lacks.
class NotingBundle final : public LanguageBundle {
 public:
  explicit NotingBundle(foundation::LanguageBundle bundle) : bundle_(std::move(bundle)) {}
  std::string localizedStringForKey(std::string_view key, std::string_view value) const override {
    static const std::string kAbsent = "\x01";
    std::string text = bundle_.localizedString(key, kAbsent);
    if (text != kAbsent) return text;
    missing.emplace(key);
    return std::string(value);
  }
  mutable std::set<std::string, std::less<>> missing;

 private:
  foundation::LanguageBundle bundle_;
};

void collectTexts(const ui::Window& window, std::vector<std::string>& texts) {
  std::vector<std::string> shown = shownTexts(window);
  texts.insert(texts.end(), shown.begin(), shown.end());
}

foundation::LanguageBundle englishBundle() {
  auto english = foundation::LanguageBundle::open(std::filesystem::path(VT_DIALOG_RESOURCES) /
                                                  "English.lproj");
  EXPECT_TRUE(english.ok());
  return *english;
}

// Every page, the drawer, the diagnostic sheet and the frame's alerts in `language`, with both
// driver interfaces: the texts shown, and the profile name an edit stored.
void walkTheDialog(const LanguageBundle& language, std::vector<std::string>& texts,
                   std::vector<std::string>& stored) {
  for (bool newKrapi : {true, false}) {
    FrameFixture f;
    f.extra.newKrapi = newKrapi;
    f.dataSource.language = &language;
    f.record.wLeftEdge = 2000;  // every page change shows the edge-fill alert
    f.open();
    for (std::size_t i = 0; i < f.tabs().numberOfItems(); ++i) {
      ASSERT_TRUE(f.user.selectTab(f.tabs(), i));
      collectTexts(f.window(), texts);
    }
    ASSERT_TRUE(f.user.selectTab(f.tabs(), 0));
    ASSERT_TRUE(f.click("mButtonPreview"));
    collectTexts(f.drawer(), texts);
    f.get<ui::TextField>("mTextFieldResValue").setText("");
    ASSERT_TRUE(f.click("mButtonScan"));
    ASSERT_TRUE(f.user.holdModifiers(f.window(), ui::kCtrl));
    ASSERT_TRUE(f.click("mButtonDefault"));
    for (const auto& item : f.sheet().toolbar()->items()) {
      ASSERT_TRUE(f.user.clickToolbarItem(*f.sheet().toolbar(), item.identifier));
    }
    collectTexts(f.sheet(), texts);
    ASSERT_TRUE(f.user.click(f.sheet().get<ui::Button>("mButtonPropertyOK")));
    ASSERT_TRUE(f.user.holdModifiers(f.window(), ui::kNoModifier));
    ASSERT_TRUE(f.click("mButtonDefault"));
    collectTexts(f.window(), texts);
    for (const auto& alert : f.services.alerts.journal()) {
      texts.push_back(alert.message);
      texts.push_back(alert.informative);
      for (const std::string& button : alert.buttons) texts.push_back(button);
    }
    EXPECT_GE(f.services.alerts.journal().size(), 2u);
    ASSERT_TRUE(f.user.selectTab(f.tabs(), 0));
    ASSERT_TRUE(f.user.click(f.get<ui::Button>("mBtnImageTypeImageGrayFrontCheck")));
    stored.emplace_back(f.record.strProfile.view());
  }
}

TEST(DialogLanguage, EnglishTableHasEveryKeyTheDialogShows) {
  NotingBundle language(englishBundle());
  std::vector<std::string> texts, stored;
  walkTheDialog(language, texts, stored);
  EXPECT_TRUE(language.missing.empty()) << [&] {
    std::string keys;
    for (const std::string& key : language.missing) keys += " \"" + key + "\"";
    return "keys missing from the English table:" + keys;
  }();
  for (const std::string& text : texts) {
    EXPECT_FALSE(fellBackToKey(text)) << "fell back to its key: " << text;
  }
  EXPECT_EQ(stored, (std::vector<std::string>{"Custom", "Custom"}));
}

// The data source's German table translates its own texts only: every other key shows in
// English, in every window and alert, and what an edit stores is no key either.
TEST(DialogLanguage, GermanShowsEnglishForTheKeysItLacks) {
  auto german =
      foundation::LanguageBundle::open(std::filesystem::path(FERROLITE_RESOURCES) / "de.lproj");
  ASSERT_TRUE(german.ok());
  FoundationLanguageBundle language(german->withFallback(englishBundle()));
  ASSERT_EQ(language.localizedStringForKey("Cancel", "Cancel?"), "Abbrechen");
  std::vector<std::string> texts, stored;
  walkTheDialog(language, texts, stored);
  for (const std::string& text : texts) {
    EXPECT_FALSE(fellBackToKey(text)) << "fell back to its key: " << text;
  }
  EXPECT_EQ(stored, (std::vector<std::string>{"Custom", "Custom"}));
}

}  // namespace
}  // namespace ferrolite::dialog::testing
