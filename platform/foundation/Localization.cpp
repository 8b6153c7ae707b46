// Locale names from the environment, strings files and language folders.
#include "platform/foundation/Localization.h"

#include <cctype>
#include <cstdlib>
#include <mutex>
#include <system_error>

#include "platform/foundation/TextFile.h"

namespace foundation {
namespace {

constexpr const char* kLocaleVariables[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
constexpr std::string_view kEnglish = "en";
constexpr std::string_view kStringsExtension = ".strings";
constexpr std::string_view kLocalizationExtension = ".lproj";
// Tried after every preferred language, in this order.
constexpr std::string_view kFallbackFolders[] = {"en", "English", "Base"};

bool allOf(std::string_view s, int (*test)(int)) {
  for (char c : s) {
    if (!test(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

LocaleName english() { return {std::string(kEnglish), std::string(kEnglish), ""}; }

}  // namespace

LocaleName parseLocaleName(std::string_view name) {
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return english();
  std::string_view language = name.substr(0, name.find('_'));
  std::string_view country;
  if (language.size() < name.size()) country = name.substr(language.size() + 1);
  bool languageOk = (language.size() == 2 || language.size() == 3) && allOf(language, isalpha);
  bool countryOk = country.empty() || (country.size() == 2 && allOf(country, isalpha)) ||
                   (country.size() == 3 && allOf(country, isdigit));
  if (!languageOk || !countryOk) return english();
  LocaleName out;
  out.language = lower(language);
  out.country = upper(country);
  out.identifier = out.country.empty() ? out.language : out.language + "_" + out.country;
  return out;
}

LocaleName currentLocale() {
  for (const char* variable : kLocaleVariables) {
    const char* value = std::getenv(variable);
    if (value && *value) return parseLocaleName(value);
  }
  return english();
}

std::vector<std::string> preferredLanguages() {
  LocaleName locale = currentLocale();
  std::vector<std::string> out;
  if (!locale.country.empty()) out.push_back(locale.language + "-" + locale.country);
  out.push_back(locale.language);
  if (locale.language != kEnglish) out.emplace_back(kEnglish);
  return out;
}

// ---- strings files

namespace {

class StringsParser {
 public:
  explicit StringsParser(std::u16string_view text) : text_(text) {}

  Result<StringsTable> parse() {
    StringsTable table;
    for (;;) {
      if (!skipSpaceAndComments()) return fail("a comment is not closed");
      if (atEnd()) break;
      std::u16string key, value;
      if (!readString(&key)) return fail(error_);
      if (!skipSpaceAndComments()) return fail("a comment is not closed");
      if (peek() == u'=') {
        ++pos_;
        if (!skipSpaceAndComments()) return fail("a comment is not closed");
        if (atEnd()) return fail("a value is missing after \"=\"");
        if (!readString(&value)) return fail(error_);
        if (!skipSpaceAndComments()) return fail("a comment is not closed");
      } else {
        value = key;
      }
      if (peek() != u';') return fail("\";\" expected");
      ++pos_;
      table[toUtf8(key)] = toUtf8(value);
    }
    return table;
  }

 private:
  bool atEnd() const { return pos_ >= text_.size(); }
  char16_t peek() const { return atEnd() ? u'\0' : text_[pos_]; }

  // The line is that of `where` (by default the current position).
  Result<StringsTable> fail(const std::string& what) {
    std::size_t where = faultAt_ != npos ? faultAt_ : pos_;
    std::size_t line = 1;
    for (std::size_t i = 0; i < where && i < text_.size(); ++i) {
      if (text_[i] == u'\n') ++line;
    }
    return Result<StringsTable>::failure("line " + std::to_string(line) + ": " + what);
  }

  // False for a block comment that runs to the end.
  bool skipSpaceAndComments() {
    while (!atEnd()) {
      char16_t c = text_[pos_];
      if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v' ||
          c == 0xFEFF) {
        ++pos_;
      } else if (text_.substr(pos_, 2) == u"//") {
        while (!atEnd() && text_[pos_] != u'\n') ++pos_;
      } else if (text_.substr(pos_, 2) == u"/*") {
        std::size_t end = text_.find(u"*/", pos_ + 2);
        if (end == npos) {
          faultAt_ = pos_;
          pos_ = text_.size();
          return false;
        }
        pos_ = end + 2;
      } else {
        break;
      }
    }
    return true;
  }

  static bool isBareChar(char16_t c) {
    return (c < 0x80 && (std::isalnum(static_cast<int>(c)) || c == u'_' || c == u'$' || c == u'+' ||
                         c == u'/' || c == u':' || c == u'.' || c == u'-'));
  }

  bool readString(std::u16string* out) {
    if (peek() == u'"') return readQuoted(out);
    std::size_t start = pos_;
    while (!atEnd() && isBareChar(text_[pos_])) {
      if (text_.substr(pos_, 2) == u"//" || text_.substr(pos_, 2) == u"/*") break;
      ++pos_;
    }
    if (pos_ == start) {
      error_ = "a quoted string expected";
      return false;
    }
    out->assign(text_.substr(start, pos_ - start));
    return true;
  }

  // \n, \t and the other one-letter escapes of control characters.
  static const char16_t* controlEscape(char16_t letter) {
    static constexpr char16_t kEscapes[][2] = {{u'n', u'\n'}, {u't', u'\t'}, {u'r', u'\r'},
                                               {u'a', u'\a'}, {u'b', u'\b'}, {u'f', u'\f'},
                                               {u'v', u'\v'}};
    for (const auto& e : kEscapes) {
      if (e[0] == letter) return &e[1];
    }
    return nullptr;
  }

  static int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
  }

  bool readQuoted(std::u16string* out) {
    std::size_t opening = pos_++;
    while (!atEnd()) {
      char16_t c = text_[pos_++];
      if (c == u'"') return true;
      if (c != u'\\') {
        out->push_back(c);
        continue;
      }
      if (atEnd()) break;
      char16_t e = text_[pos_++];
      if (const char16_t* control = controlEscape(e)) {
        out->push_back(*control);
        continue;
      }
      switch (e) {
        case u'U':
        case u'u': {
          // Up to four hexadecimal digits: one UTF-16 unit.
          int value = 0, digits = 0;
          while (digits < 4 && !atEnd() && hexDigit(text_[pos_]) >= 0) {
            value = value * 16 + hexDigit(text_[pos_++]);
            ++digits;
          }
          if (digits == 0) {
            error_ = "\\U without hexadecimal digits";
            return false;
          }
          out->push_back(static_cast<char16_t>(value));
          break;
        }
        default:
          if (e >= u'0' && e <= u'7') {
            // Up to three octal digits.
            int value = e - u'0', digits = 1;
            while (digits < 3 && !atEnd() && text_[pos_] >= u'0' && text_[pos_] <= u'7') {
              value = value * 8 + (text_[pos_++] - u'0');
              ++digits;
            }
            out->push_back(static_cast<char16_t>(value));
          } else {
            out->push_back(e);  // \" \\ \' and any other character stand for themselves
          }
      }
    }
    faultAt_ = opening;
    error_ = "a quoted string is not closed";
    return false;
  }

  static constexpr std::size_t npos = std::u16string_view::npos;
  std::u16string_view text_;
  std::size_t pos_ = 0;
  std::size_t faultAt_ = npos;  // where a fault that spans lines began
  std::string error_;
};

}  // namespace

Result<StringsTable> parseStrings(std::u16string_view text) { return StringsParser(text).parse(); }

Result<StringsTable> readStringsFile(const std::filesystem::path& path) {
  auto text = readTextFile(path);
  if (!text) return Result<StringsTable>::failure(text.error());
  auto table = parseStrings(text->text);
  if (!table) return Result<StringsTable>::failure("\"" + path.string() + "\" " + table.error());
  return table;
}

// ---- language folders

std::optional<std::filesystem::path> localizationFolder(const std::filesystem::path& resources,
                                                        const std::vector<std::string>& languages) {
  std::error_code ec;
  auto existing = [&](std::string_view name) -> std::optional<std::filesystem::path> {
    std::filesystem::path p = resources / (std::string(name) + std::string(kLocalizationExtension));
    if (std::filesystem::is_directory(p, ec)) return p;
    return std::nullopt;
  };
  for (const std::string& language : languages) {
    std::string underscored = language;
    for (char& c : underscored) {
      if (c == '-') c = '_';
    }
    std::string bare = language.substr(0, language.find('-'));
    for (const std::string& name : {language, underscored, bare}) {
      if (auto p = existing(name)) return p;
    }
  }
  for (std::string_view name : kFallbackFolders) {
    if (auto p = existing(name)) return p;
  }
  return std::nullopt;
}

struct LanguageBundle::State {
  std::filesystem::path folder;
  std::shared_ptr<State> fallback;  // set before the state is shared, read-only after
  std::mutex mutex;
  struct Table {
    StringsTable entries;
    std::string error;
  };
  std::map<std::string, Table, std::less<>> tables;

  const Table& table(std::string_view name) {
    auto it = tables.find(name);
    if (it != tables.end()) return it->second;
    Table t;
    std::filesystem::path file = folder / (std::string(name) + std::string(kStringsExtension));
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
      auto read = readStringsFile(file);
      if (read) {
        t.entries = std::move(*read);
      } else {
        t.error = read.error();
      }
    }
    return tables.emplace(std::string(name), std::move(t)).first->second;
  }
};

LanguageBundle::LanguageBundle(std::shared_ptr<State> state) : state_(std::move(state)) {}

Result<LanguageBundle> LanguageBundle::open(const std::filesystem::path& folder) {
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    return Result<LanguageBundle>::failure("\"" + folder.string() + "\" is not a folder");
  }
  auto state = std::make_shared<State>();
  state->folder = folder;
  return LanguageBundle(std::move(state));
}

LanguageBundle LanguageBundle::withFallback(const LanguageBundle& fallback) const {
  auto state = std::make_shared<State>();
  state->folder = state_->folder;
  state->fallback = fallback.state_ == state_ ? nullptr : fallback.state_;
  return LanguageBundle(std::move(state));
}

const std::filesystem::path& LanguageBundle::folder() const { return state_->folder; }

std::string LanguageBundle::localizedString(std::string_view key, std::string_view defaultText,
                                            std::string_view table) const {
  for (State* s = state_.get(); s != nullptr; s = s->fallback.get()) {
    std::lock_guard lock(s->mutex);
    const State::Table& t = s->table(table);
    auto it = t.entries.find(key);
    if (it != t.entries.end()) return it->second;
  }
  return std::string(defaultText.empty() ? key : defaultText);
}

std::string LanguageBundle::tableError(std::string_view table) const {
  std::lock_guard lock(state_->mutex);
  return state_->table(table).error;
}

}  // namespace foundation
