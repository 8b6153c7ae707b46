#pragma once
// The paper page's six text fields: X offset, Y offset, width, length, length detection and
// reload time. Each filters what is typed, writes the record in the page's unit while the
// user types, holds the area inside the scanner at the end of editing, and posts.
#include <optional>
#include <string>
#include <string_view>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/TextFieldFamily.h"

namespace ferrolite::dialog {

enum class PaperField { XOffset, YOffset, Width, Length, Detection, ReloadTime };

inline constexpr uint16_t kReloadTimeLimit = 300;  // seconds
inline constexpr int32_t kOffsetTextLimit = 30000;

// A field's answer, and the length-detection field's text when the rule changed the detection
// length from another field.
struct PaperFieldResult {
  FieldResult field;
  std::optional<std::string> detectionText;
};

// The four size fields' change flags, set by typing and cleared when editing ends.
struct PaperFieldFlags {
  bool xOffsetChange = false, yOffsetChange = false, widthChange = false, lengthChange = false;
  bool& of(PaperField f);
};

// Each keystroke or paste.
PaperFieldResult paperFieldChanged(PaperField field, std::string_view before,
                                   std::string_view after, DialogContext& ctx,
                                   PaperFieldFlags& flags);
// The end of editing with the editor's text and how it ended.
PaperFieldResult paperFieldEnded(PaperField field, std::string_view text, TextMovement movement,
                                 DialogContext& ctx, PaperFieldFlags& flags);

}  // namespace ferrolite::dialog
