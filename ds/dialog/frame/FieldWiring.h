#pragma once
// Puts the dialog's rule-driven text fields and posts onto the widget layer: a field's change
// and its end of editing run the field's rule, the editor takes the rule's text, then the
// rule's posts go to the notification centre with the field as their object.
#include <functional>
#include <string_view>

#include "ds/dialog/Notifications.h"
#include "ds/dialog/TextFieldFamily.h"
#include "platform/ui/Controls.h"
#include "platform/ui/NotificationCenter.h"

namespace ferrolite::dialog {

// Posts in order; a userInfo value keeps its kind (integer, real, text).
void postAll(ui::NotificationCenter& centre, const Posts& posts, const void* object);

TextMovement dialogMovement(ui::TextMovement movement);

struct FieldRules {
  // The editor's text after a keystroke or paste.
  std::function<FieldResult(std::string_view text)> changed;
  // The editor's text when editing ends, and how it ended.
  std::function<FieldResult(std::string_view text, TextMovement movement)> ended;
};

// The field's didChange, shouldEndEditing (always yes) and didEndEditing run the rules; its
// edit keys stay as the frame set them.
void wireRuleField(ui::TextField& field, ui::NotificationCenter& centre, FieldRules rules);

}  // namespace ferrolite::dialog
