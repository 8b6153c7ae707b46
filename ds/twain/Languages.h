#pragma once
// The dialog's languages: the 27 the data source knows (id, ".lproj" folder, display name) and
// the system language that selects each.
#include <cstdint>
#include <string>
#include <string_view>

namespace ferrolite {

struct LanguageEntry {
  int32_t langID = 0;
  std::string langFolder;
  std::string displayName;
};

struct KnownLanguage {
  int32_t id;
  const char* folder;
  const char* displayName;
};

inline constexpr int kKnownLanguages = 27;
inline constexpr int kMaxLanguages = 64;
extern const KnownLanguage kKnownLanguageTable[kKnownLanguages];

// The language id for a system language and country ("pt", "BR" → 10); English (0) for any
// language not listed.
int32_t languageIdFor(std::string_view language, std::string_view country);

}  // namespace ferrolite
