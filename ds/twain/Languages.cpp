// The known languages and the system language's choice among them.
#include "ds/twain/Languages.h"

namespace ferrolite {

const KnownLanguage kKnownLanguageTable[kKnownLanguages] = {
    {0, "English.lproj", "English"},
    {1, "zh_TW.lproj", "繁體中文"},
    {2, "zh_CN.lproj", "简体中文"},
    {3, "ja.lproj", "日本語"},
    {4, "ko.lproj", "한국어"},
    {5, "de.lproj", "Deutsch"},
    {6, "fr.lproj", "Français"},
    {7, "es.lproj", "Español"},
    {8, "it.lproj", "Italiano"},
    {9, "cs.lproj", "Čeština"},
    {10, "pt-BR.lproj", "Português (Brasil)"},
    {11, "ru.lproj", "Русский"},
    {12, "pt.lproj", "Português"},
    {13, "pl.lproj", "Polski"},
    {14, "bg.lproj", "Български"},
    {15, "da-DK.lproj", "Dansk"},
    {16, "nl.lproj", "Nederlands"},
    {17, "fi.lproj", "Suomi"},
    {18, "fr-CA.lproj", "Français (Canada)"},
    {19, "el.lproj", "Greek"},
    {20, "hu.lproj", "Magyar"},
    {21, "nb.lproj", "Norsk"},
    {22, "ro.lproj", "Română"},
    {23, "sk.lproj", "Slovenský"},
    {24, "sv.lproj", "Svenska"},
    {25, "tr.lproj", "Türkçe"},
    {26, "ar.lproj", "العربية"},
};

int32_t languageIdFor(std::string_view language, std::string_view country) {
  struct Code {
    std::string_view code;
    int32_t id;
  };
  static constexpr Code kPlain[] = {{"ja", 3},  {"ko", 4},  {"de", 5},  {"es", 7},  {"it", 8},
                                    {"cs", 9},  {"ru", 11}, {"pl", 13}, {"bg", 14}, {"da", 15},
                                    {"nl", 16}, {"fi", 17}, {"el", 19}, {"hu", 20}, {"no", 21},
                                    {"nb", 21}, {"nn", 21}, {"ro", 22}, {"sk", 23}, {"sv", 24},
                                    {"tr", 25}, {"ar", 26}};
  if (language == "zh") return country == "CN" ? 2 : 1;
  if (language == "fr") return country == "CA" ? 18 : 6;
  if (language == "pt") return country == "PT" ? 12 : 10;
  for (const Code& c : kPlain) {
    if (c.code == language) return c.id;
  }
  return 0;
}

}  // namespace ferrolite
