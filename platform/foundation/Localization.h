#pragma once
// The user's locale and languages, and localized texts.
//
// The locale comes from the environment: LC_ALL, LC_MESSAGES, LANG, the first that is set and not
// empty ("pt_BR.UTF-8" is language "pt", country "BR"; "C", "POSIX" and unset mean English).
//
// Localized texts live in ".lproj" folders of a resource folder, one strings file per table
// ("Localizable.strings"), in the strings-file format:
//   /* comment */  // comment
//   "key" = "value with \"escapes\", \n, \t, \\ and \U00E9";
//   "key alone";            (the value is the key)
// in UTF-8 or UTF-16 with a byte-order mark.
//
//   auto folder = foundation::localizationFolder(resources, foundation::preferredLanguages());
//   auto bundle = foundation::LanguageBundle::open(*folder);
//   std::string text = bundle->localizedString("image.crop", "Automatic image cropping");
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Result.h"

namespace foundation {

struct LocaleName {
  std::string identifier;  // "pt_BR", or "en" for the C locale
  std::string language;    // lower case: "pt"
  std::string country;     // upper case: "BR"; empty when the name has none
};

// One POSIX locale name, e.g. "de_DE.UTF-8@euro". Codeset and modifier are dropped; a name that
// is not language[_COUNTRY] (2-3 letters, then 2 letters or 3 digits) counts as English.
LocaleName parseLocaleName(std::string_view name);
// From the environment (read on each call).
LocaleName currentLocale();
// Most preferred first: "pt-BR" then "pt" for a locale with a country, then "en" when the
// language is another one.
std::vector<std::string> preferredLanguages();

using StringsTable = std::map<std::string, std::string, std::less<>>;  // UTF-8 keys and texts

// A strings file's text; the error gives the line of the first fault. A key given twice keeps
// its last value.
Result<StringsTable> parseStrings(std::u16string_view text);
Result<StringsTable> readStringsFile(const std::filesystem::path& path);

// The ".lproj" folder of `resources` for the first language that has one: for "pt-BR" the
// folders "pt-BR", "pt_BR", then "pt"; when none of the languages has one, "en", "English" or
// "Base". Nothing when the resource folder has none of these.
std::optional<std::filesystem::path> localizationFolder(const std::filesystem::path& resources,
                                                        const std::vector<std::string>& languages);

// One ".lproj" folder. Tables are read on first use and kept; copies share them. Safe to use from
// several threads.
class LanguageBundle {
 public:
  // Fails when `folder` is not a folder.
  static Result<LanguageBundle> open(const std::filesystem::path& folder);

  // This bundle reading `fallback` for every key that its own tables lack: a language that
  // translates part of the texts shows the rest in the fallback's language, not as keys.
  LanguageBundle withFallback(const LanguageBundle& fallback) const;

  const std::filesystem::path& folder() const;
  // The text for `key` in "<table>.strings", else in the fallback's; `defaultText` when the table
  // or the key is missing in both (or the table is malformed), and the key itself when
  // `defaultText` is empty as well.
  std::string localizedString(std::string_view key, std::string_view defaultText = {},
                              std::string_view table = "Localizable") const;
  // Why a table could not be used; empty when it loaded or does not exist.
  std::string tableError(std::string_view table = "Localizable") const;

 private:
  struct State;
  explicit LanguageBundle(std::shared_ptr<State> state);
  std::shared_ptr<State> state_;
};

}  // namespace foundation
