#include "ds/dialog/frame/FieldWiring.h"

#include <string>
#include <utility>
#include <variant>

namespace ferrolite::dialog {

void postAll(ui::NotificationCenter& centre, const Posts& posts, const void* object) {
  for (const Post& post : posts) {
    foundation::Dictionary info;
    for (const auto& entry : post.userInfo) {
      const auto& key = entry.first;
      std::visit([&info, &key](const auto& v) { info.set(key, foundation::Value(v)); },
                 entry.second);
    }
    centre.post(post.name, object, std::move(info));
  }
}

TextMovement dialogMovement(ui::TextMovement movement) {
  return textMovement(static_cast<int64_t>(movement));
}

namespace {
void show(ui::TextField& field, ui::NotificationCenter& centre, const FieldResult& result) {
  if (result.editorText) field.setText(*result.editorText);
  postAll(centre, result.posts, &field);
}
}  // namespace

void wireRuleField(ui::TextField& field, ui::NotificationCenter& centre, FieldRules rules) {
  ui::TextField::Handlers& h = field.handlers();
  h.didChange = [&centre, changed = rules.changed](ui::TextField& f) {
    show(f, centre, changed(f.text()));
  };
  h.shouldEndEditing = [](ui::TextField&) { return true; };
  h.didEndEditing = [&centre, ended = rules.ended](ui::TextField& f, ui::TextMovement movement) {
    show(f, centre, ended(f.text(), dialogMovement(movement)));
  };
}

}  // namespace ferrolite::dialog
