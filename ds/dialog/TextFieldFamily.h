#pragma once
// What every text field of the dialog shares: the shape of a field rule's answer, the end of
// editing's movement, the Command-key editing shortcuts, and the character filters and number
// readings the fields are built from.
//
// A field rule maps (text before, text after a keystroke or paste, context) to the editor's new
// text, the record it writes and the notifications to post; and (text, movement) at the end of
// editing to the same. The widget layer's field classes only call the rules.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ds/dialog/Notifications.h"

namespace ferrolite::dialog {

// How editing ended ("NSTextMovement" of the end-of-editing notification).
enum class TextMovement { Other, Tab, BackTab };
inline constexpr int64_t kTextMovementTab = 17;
inline constexpr int64_t kTextMovementBackTab = 18;
TextMovement textMovement(int64_t nsTextMovement);

struct FieldResult {
  std::optional<std::string> editorText;  // set when the rule rewrote the editor's text
  Posts posts;                            // in the order they are posted
};

// Modifier keys of a key event, device-independent.
inline constexpr uint32_t kModifierShift = 1u << 0;
inline constexpr uint32_t kModifierControl = 1u << 1;
inline constexpr uint32_t kModifierOption = 1u << 2;
inline constexpr uint32_t kModifierCommand = 1u << 3;
inline constexpr uint32_t kModifierCapsLock = 1u << 4;

enum class EditCommand { None, Cut, Copy, Paste, SelectAll };

// A key equivalent the field handles itself: exactly Command with x, c, v or a (the characters
// ignoring modifiers). Anything else goes to the inherited handling.
EditCommand editKeyEquivalent(uint32_t modifiers, std::string_view charactersIgnoringModifiers);

// Character filters.
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isNonZeroDigit(char c) { return c >= '1' && c <= '9'; }
std::string digitsOnly(std::string_view text);

// Texts count characters (code points of their UTF-8 form), as the fields' length limits do.
std::size_t characterCount(std::string_view text);
// The first n characters of a text.
std::string firstCharacters(std::string_view text, std::size_t n);

// The integer value of a text as a text field reads it: leading blanks, an optional sign, then
// digits up to the first other character; 0 when none; held to the signed 32-bit range.
int32_t intValue(std::string_view text);
// The decimal value the same way, with an optional point and fraction.
double doubleValue(std::string_view text);

}  // namespace ferrolite::dialog
