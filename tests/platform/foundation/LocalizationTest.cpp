// The locale from the environment, strings files, and looking texts up in language folders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/foundation/Localization.h"
#include "platform/foundation/TextFile.h"
#include "tests/support/TestFolder.h"

namespace {

using namespace foundation;
namespace fs = std::filesystem;

TEST(Locale, NamesFromTheEnvironment) {
  struct Case {
    const char* name;
    const char* identifier;
    const char* language;
    const char* country;
  } cases[] = {
      {"pt_BR.UTF-8", "pt_BR", "pt", "BR"},
      {"pt_PT", "pt_PT", "pt", "PT"},
      {"de_DE.UTF-8@euro", "de_DE", "de", "DE"},
      {"nn_NO", "nn_NO", "nn", "NO"},
      {"zh_HK.Big5", "zh_HK", "zh", "HK"},
      {"fil_PH", "fil_PH", "fil", "PH"},
      {"es_419", "es_419", "es", "419"},
      {"ja", "ja", "ja", ""},
      {"FR_ca", "fr_CA", "fr", "CA"},
      {"sr_RS@latin", "sr_RS", "sr", "RS"},
      {"C", "en", "en", ""},
      {"C.UTF-8", "en", "en", ""},
      {"POSIX", "en", "en", ""},
      {"", "en", "en", ""},
      {"../../etc/x", "en", "en", ""},
      {"english_US", "en", "en", ""},
      {"de_DEU", "en", "en", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LocaleName n = parseLocaleName(c.name);
    EXPECT_EQ(n.identifier, c.identifier);
    EXPECT_EQ(n.language, c.language);
    EXPECT_EQ(n.country, c.country);
  }
}

TEST(Locale, TheFirstVariableSetWins) {
  struct Case {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    const char* identifier;
    std::vector<std::string> preferred;
  } cases[] = {
      {"pt_BR.UTF-8", "de_DE", "fr_FR", "pt_BR", {"pt-BR", "pt", "en"}},
      {"", "de_DE", "fr_FR", "de_DE", {"de-DE", "de", "en"}},
      {nullptr, nullptr, "fr_CA.UTF-8", "fr_CA", {"fr-CA", "fr", "en"}},
      {nullptr, nullptr, "en_US.UTF-8", "en_US", {"en-US", "en"}},
      {nullptr, "C", "ja_JP", "en", {"en"}},
      {nullptr, nullptr, "ja", "ja", {"ja", "en"}},
      {nullptr, nullptr, nullptr, "en", {"en"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.identifier);
    auto put = [](const char* variable, const char* value) {
      value ? setenv(variable, value, 1) : unsetenv(variable);
    };
    put("LC_ALL", c.lcAll);
    put("LC_MESSAGES", c.lcMessages);
    put("LANG", c.lang);
    EXPECT_EQ(currentLocale().identifier, c.identifier);
    EXPECT_EQ(preferredLanguages(), c.preferred);
  }
}

TEST(StringsFile, ParsesTheFormat) {
  auto table = parseStrings(
      u"/* Ferrolite's texts\n   over two lines */\n"
      u"\"Supported scanners\" = \"Unterst\u00FCtzte Scanner\";\n"
      u"// a line comment \"not = a key\";\n"
      u"\"Err2013\"=\"Paper jam\";  \"Err2015\" = \"No paper in ADF\" ;\n"
      u"\"escapes\" = \"say \\\"hi\\\"\\n\\ttab \\\\ \\U00E9\\u00e8 \\101\";\n"
      u"\"image.crop\";\n"
      u"bare.key = bare/value-1;\n"
      u"\"\" = \"empty key\";\n"
      u"\"twice\" = \"first\"; \"twice\" = \"second\";\n"
      u"\"pair\" = \"\\UD83D\\UDCC4\";");
  ASSERT_TRUE(table) << table.error();
  StringsTable expected = {
      {"Supported scanners", "Unterst\xC3\xBCtzte Scanner"},
      {"Err2013", "Paper jam"},
      {"Err2015", "No paper in ADF"},
      {"escapes", "say \"hi\"\n\ttab \\ \xC3\xA9\xC3\xA8 A"},
      {"image.crop", "image.crop"},
      {"bare.key", "bare/value-1"},
      {"", "empty key"},
      {"twice", "second"},
      {"pair", "\xF0\x9F\x93\x84"},
  };
  EXPECT_EQ(*table, expected);
  EXPECT_TRUE(parseStrings(u"")->empty());
  EXPECT_TRUE(parseStrings(u"  /* only a comment */ // and another")->empty());
}

TEST(StringsFile, FaultsGiveTheirLine) {
  struct Case {
    const char16_t* text;
    const char* error;
  } cases[] = {
      {u"\"a\" = \"b\"\n\"c\" = \"d\";", "line 2: \";\" expected"},
      {u"\"a\" = \"b;\n", "line 1: a quoted string is not closed"},
      {u"\"a\" = ;", "line 1: a quoted string expected"},
      {u"\n\n\"a\" = ", "line 3: a value is missing"},
      {u"\"a\" = \"b\"; /* open", "line 1: a comment is not closed"},
      {u"= \"b\";", "line 1: a quoted string expected"},
      {u"\"a\" = \"\\U\";", "\\U without hexadecimal digits"},
      {u"\"a\" \"b\";", "\";\" expected"},
  };
  for (const Case& c : cases) {
    auto table = parseStrings(c.text);
    ASSERT_FALSE(table) << c.error;
    EXPECT_NE(table.error().find(c.error), std::string::npos) << table.error();
  }
}

class LanguageFolders : public ::testing::Test {
 protected:
  void makeFolder(const char* name, const std::string& strings = "") {
    fs::create_directories(resources / name);
    if (!strings.empty()) std::ofstream(resources / name / "Localizable.strings") << strings;
  }
  fs::path resources = testsupport::freshTestFolder("lproj");
};

TEST_F(LanguageFolders, ChoosesTheFolderOfThePreferredLanguage) {
  for (const char* name :
       {"English.lproj", "de.lproj", "pt-BR.lproj", "pt.lproj", "zh_TW.lproj", "fr-CA.lproj"}) {
    makeFolder(name);
  }
  struct Case {
    std::vector<std::string> languages;
    const char* folder;
  } cases[] = {
      {{"pt-BR", "pt", "en"}, "pt-BR.lproj"},
      {{"pt-PT", "pt", "en"}, "pt.lproj"},
      {{"zh-TW", "zh", "en"}, "zh_TW.lproj"},
      {{"de-AT", "de", "en"}, "de.lproj"},
      {{"fr-CA", "fr", "en"}, "fr-CA.lproj"},
      {{"fr-FR", "fr", "en"}, "English.lproj"},
      {{"en"}, "English.lproj"},
      {{}, "English.lproj"},
  };
  for (const Case& c : cases) {
    auto folder = localizationFolder(resources, c.languages);
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->filename(), c.folder);
  }
  EXPECT_FALSE(localizationFolder(resources / "absent", {"en"}));
}

TEST_F(LanguageFolders, LooksTextsUpWithDefaults) {
  makeFolder("de.lproj", "\"Supported scanners\" = \"Unterst\xC3\xBCtzte Scanner\";\n");
  // UTF-16 with a mark, as these files often are.
  fs::create_directories(resources / "fr.lproj");
  auto utf16 = encodeText(u"\"Err2013\" = \"Bourrage papier\";", "UTF-16");
  ASSERT_TRUE(utf16);
  std::ofstream(resources / "fr.lproj" / "Localizable.strings", std::ios::binary)
      .write(reinterpret_cast<const char*>(utf16->data()), utf16->size());
  makeFolder("ja.lproj", "\"Err2013\" = \"broken");

  auto german = LanguageBundle::open(resources / "de.lproj");
  ASSERT_TRUE(german) << german.error();
  EXPECT_EQ(german->localizedString("Supported scanners"), "Unterst\xC3\xBCtzte Scanner");
  EXPECT_EQ(german->localizedString("Err2999", "Unknown error"), "Unknown error");
  EXPECT_EQ(german->localizedString("Err2999"), "Err2999") << "no default: the key";
  EXPECT_EQ(german->localizedString("Supported scanners", "", "Other"), "Supported scanners");
  EXPECT_EQ(german->tableError(), "");

  auto french = LanguageBundle::open(resources / "fr.lproj");
  ASSERT_TRUE(french);
  EXPECT_EQ(french->localizedString("Err2013", "Paper jam"), "Bourrage papier");

  auto japanese = LanguageBundle::open(resources / "ja.lproj");
  ASSERT_TRUE(japanese);
  EXPECT_EQ(japanese->localizedString("Err2013", "Paper jam"), "Paper jam");
  EXPECT_NE(japanese->tableError().find("line 1"), std::string::npos) << japanese->tableError();

  EXPECT_FALSE(LanguageBundle::open(resources / "absent.lproj"));
}

TEST_F(LanguageFolders, AKeyTheLanguageLacksComesFromTheFallback) {
  makeFolder("English.lproj", "\"Custom\" = \"Custom\";\n\"Profile\" = \"Profile\";\n");
  makeFolder("de.lproj", "\"Profile\" = \"Profil\";\n");
  auto english = LanguageBundle::open(resources / "English.lproj");
  auto german = LanguageBundle::open(resources / "de.lproj");
  ASSERT_TRUE(english && german);
  const LanguageBundle both = german->withFallback(*english);
  EXPECT_EQ(both.localizedString("Profile", "Profile?"), "Profil");
  EXPECT_EQ(both.localizedString("Custom", "Custom?"), "Custom");
  EXPECT_EQ(both.localizedString("Absent", "Absent?"), "Absent?");
  EXPECT_EQ(both.localizedString("Custom", "", "Other"), "Custom") << "a table neither has";
  EXPECT_EQ(both.folder(), german->folder());
  // The bundle it was made from is left without the fallback, and a bundle is no fallback of
  // itself.
  EXPECT_EQ(german->localizedString("Custom", "Custom?"), "Custom?");
  EXPECT_EQ(english->withFallback(*english).localizedString("Absent", "x"), "x");
}

}  // namespace
