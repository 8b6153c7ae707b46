#include "ds/dialog/TextFieldFamily.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace ferrolite::dialog {

TextMovement textMovement(int64_t nsTextMovement) {
  if (nsTextMovement == kTextMovementTab) return TextMovement::Tab;
  if (nsTextMovement == kTextMovementBackTab) return TextMovement::BackTab;
  return TextMovement::Other;
}

EditCommand editKeyEquivalent(uint32_t modifiers, std::string_view characters) {
  if (modifiers != kModifierCommand || characters.size() != 1) return EditCommand::None;
  switch (characters[0]) {
    case 'x':
      return EditCommand::Cut;
    case 'c':
      return EditCommand::Copy;
    case 'v':
      return EditCommand::Paste;
    case 'a':
      return EditCommand::SelectAll;
    default:
      return EditCommand::None;
  }
}

std::string digitsOnly(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (isDigit(c)) out.push_back(c);
  }
  return out;
}

namespace {
bool continuesCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
}  // namespace

std::size_t characterCount(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) {
    if (!continuesCharacter(c)) ++n;
  }
  return n;
}

std::string firstCharacters(std::string_view text, std::size_t n) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!continuesCharacter(text[i]) && seen++ == n) return std::string(text.substr(0, i));
  }
  return std::string(text);
}

namespace {
// Skips leading blanks and reads an optional sign; answers the position after them.
std::size_t signedStart(std::string_view text, bool& negative) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
  negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  return i;
}
}  // namespace

int32_t intValue(std::string_view text) {
  bool negative = false;
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (std::size_t i = signedStart(text, negative); i < text.size() && isDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(
      value > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : value);
}

double doubleValue(std::string_view text) {
  bool negative = false;
  std::size_t i = signedStart(text, negative);
  const std::size_t start = i;
  while (i < text.size() && isDigit(text[i])) ++i;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) ++i;
  }
  double value = 0;
  // Correctly rounded and independent of the process's locale.
  std::from_chars(text.data() + start, text.data() + i, value, std::chars_format::fixed);
  return negative ? -value : value;
}

}  // namespace ferrolite::dialog
