// Text fields: one change per keystroke with the handler free to rewrite the editor's text, the
// end of editing and its movement, the edit keys, the default button and the focus chain.
#include <gtest/gtest.h>

#include <cctype>

#include "tests/platform/ui/UiTesting.h"

namespace {

using namespace ui;
using uitest::UiFixture;

// A digits-only field, as the dialog's numeric fields filter: each change drops what is not a
// digit and puts the cleaned text back into the editor.
TextField::Handlers digitsOnly(std::vector<std::string>& seen) {
  TextField::Handlers h;
  h.didChange = [&seen](TextField& field) {
    seen.push_back(field.text());
    std::string cleaned;
    for (char c : field.text()) {
      if (std::isdigit(static_cast<unsigned char>(c))) cleaned += c;
    }
    if (cleaned != field.text()) field.setText(cleaned);
  };
  return h;
}

TEST(Editing, TypingGivesOneChangePerCharacterEachSeeingThePreviousRewrite) {
  UiFixture f;
  auto& field = f.window->make<TextField>(nullptr, "mTextFieldLeft");
  std::vector<std::string> seen;
  field.setHandlers(digitsOnly(seen));
  ASSERT_TRUE(f.user.type(field, "1a2"));
  EXPECT_EQ(seen, (std::vector<std::string>{"1", "1a", "12"}));
  EXPECT_EQ(field.text(), "12");
  EXPECT_TRUE(field.isEditing());
  EXPECT_EQ(field.selection(), (TextRange{2, 0}));
}

TEST(Editing, APasteIsOneChangeAndTheEditKeysWorkOnlyWithCtrlAlone) {
  UiFixture f;
  auto& field = f.window->make<TextField>(nullptr, "mTextFieldImprinterCounter");
  std::vector<std::string> seen;
  field.setHandlers(digitsOnly(seen));
  field.handlers().performKeyEquivalent = TextField::standardEditKeys;
  ASSERT_TRUE(f.user.paste(field, "00a12"));
  EXPECT_EQ(seen, std::vector<std::string>{"00a12"});
  EXPECT_EQ(field.text(), "0012");

  EXPECT_TRUE(f.user.keyEquivalent(field, U'a', kCtrl));
  EXPECT_EQ(field.selection(), (TextRange{0, 4}));
  EXPECT_TRUE(f.user.keyEquivalent(field, U'x', kCtrl));
  EXPECT_EQ(field.text(), "");
  EXPECT_EQ(f.services.pasteboard.string(), "0012");
  EXPECT_FALSE(f.user.keyEquivalent(field, U'v', kCtrl | kShift)) << "Ctrl-Shift-V is no paste";
  EXPECT_EQ(field.text(), "");
  EXPECT_TRUE(f.user.keyEquivalent(field, U'v', kCtrl));
  EXPECT_EQ(field.text(), "0012");
  EXPECT_EQ(seen.size(), 3u) << "paste, cut, paste: one change each";
}

TEST(Editing, TheEndOfEditingCarriesTheMovement) {
  struct Case {
    const char* name;
    std::function<bool(UiFixture&, TextField&, TextField&)> end;
    TextMovement movement;
  };
  const Case cases[] = {
      {"Tab",
       [](UiFixture& f, TextField& t, TextField&) { return f.user.pressKey(t, SpecialKey::tab); },
       TextMovement::tab},
      {"Back-tab",
       [](UiFixture& f, TextField& t, TextField&) {
         return f.user.pressKey(t, SpecialKey::backtab);
       },
       TextMovement::backtab},
      {"Return",
       [](UiFixture& f, TextField& t, TextField&) {
         return f.user.pressKey(t, SpecialKey::returnKey);
       },
       TextMovement::returnKey},
      {"a click elsewhere",
       [](UiFixture& f, TextField& t, TextField&) { return f.user.clickElsewhere(t); },
       TextMovement::other},
      {"a click into another field",
       [](UiFixture& f, TextField&, TextField& other) { return f.user.focus(other); },
       TextMovement::other},
      {"the program making another control first responder",
       [](UiFixture& f, TextField&, TextField& other) {
         return f.window->makeFirstResponder(&other);
       },
       TextMovement::other},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UiFixture f;
    auto& field = f.window->make<TextField>(nullptr, "mTextFieldXOffset");
    auto& other = f.window->make<TextField>(nullptr, "mTextFieldYOffset");
    std::vector<int> movements;
    field.handlers().didEndEditing = [&](TextField& t, TextMovement m) {
      EXPECT_FALSE(t.isEditing());
      EXPECT_EQ(t.text(), "1.5") << "the text stays as the editor had it";
      movements.push_back(static_cast<int>(m));
    };
    ASSERT_TRUE(f.user.type(field, "1.5"));
    ASSERT_TRUE(c.end(f, field, other));
    EXPECT_EQ(movements, std::vector<int>{static_cast<int>(c.movement)});
  }
}

TEST(Editing, ReturnClicksAnEnabledDefaultButtonAndOtherwiseEndsTheEditing) {
  UiFixture f;
  auto& field = f.window->make<TextField>(nullptr, "name");
  auto& ok = f.window->make<Button>(nullptr, ControlKind::pushButton, "ok");
  f.window->setDefaultButton(&ok);
  ok.setAction(f.logs("ok"));
  field.handlers().didEndEditing = [&](TextField&, TextMovement m) {
    f.log.push_back("end " + std::to_string(static_cast<int>(m)));
  };
  f.user.type(field, "x");
  EXPECT_TRUE(f.user.pressKey(field, SpecialKey::returnKey));
  EXPECT_TRUE(field.isEditing());
  ok.setEnabled(false);
  EXPECT_TRUE(f.user.pressKey(field, SpecialKey::returnKey));
  EXPECT_EQ(f.log, (std::vector<std::string>{"ok", "end 16"}));
}

TEST(Editing, AFieldThatRefusesToEndKeepsTheFocus) {
  UiFixture f;
  auto& field = f.window->make<TextField>(nullptr, "a");
  auto& other = f.window->make<TextField>(nullptr, "b");
  bool allow = false;
  field.handlers().shouldEndEditing = [&](TextField&) { return allow; };
  f.user.type(field, "7");
  EXPECT_FALSE(f.window->makeFirstResponder(&other));
  EXPECT_EQ(f.window->firstResponder(), &field);
  EXPECT_TRUE(field.isEditing());
  allow = true;
  EXPECT_TRUE(f.window->makeFirstResponder(&other));
  EXPECT_TRUE(other.isEditing());
  EXPECT_EQ(other.selection(), (TextRange{0, 0})) << "the program's focus selects all (empty)";
}

TEST(Editing, AHandlerMayMoveTheFocusAtTheEndOfEditingAsTheDialogsChainsDo) {
  UiFixture f;
  auto& x = f.window->make<TextField>(nullptr, "x");
  auto& y = f.window->make<TextField>(nullptr, "y");
  auto& width = f.window->make<TextField>(nullptr, "width");
  x.setNextKeyView(&y);  // ignored: the handler moves the focus itself
  x.handlers().didEndEditing = [&](TextField&, TextMovement m) {
    if (m == TextMovement::tab) f.window->makeFirstResponder(&width);
  };
  width.setText("2550");
  f.user.type(x, "3");
  f.user.pressKey(x, SpecialKey::tab);
  EXPECT_EQ(f.window->firstResponder(), &width);
  EXPECT_TRUE(width.isEditing());
  EXPECT_FALSE(y.isEditing());
  EXPECT_EQ(width.selection(), (TextRange{0, 4}));
  f.user.type(width, "9");
  EXPECT_EQ(width.text(), "9") << "typing replaces the selected text";
}

TEST(Editing, APlainFieldUpdatesItsBindingAtTheEndSendsOnReturnAndTabsAlongTheKeyViews) {
  UiFixture f;
  auto& a = f.window->make<TextField>(nullptr, "a");
  auto& disabled = f.window->make<TextField>(nullptr, "disabled");
  auto& c = f.window->make<TextField>(nullptr, "c");
  a.setNextKeyView(&disabled);
  disabled.setNextKeyView(&c);
  c.setNextKeyView(&a);
  disabled.setEnabled(false);
  a.bindValue(f.properties, "mImageCount");
  a.setAction(f.logs("action"));
  int begins = 0;
  a.handlers().didBeginEditing = [&](TextField&) { ++begins; };

  f.user.type(a, "15");
  EXPECT_EQ(begins, 1) << "once per session, before the first change";
  EXPECT_EQ(f.properties.integer("mImageCount"), 0) << "not continuous: nothing while typing";
  f.user.pressKey(a, SpecialKey::tab);
  EXPECT_EQ(f.properties.integer("mImageCount"), 15);
  EXPECT_TRUE(f.log.empty()) << "Tab does not send the action";
  EXPECT_EQ(f.window->firstResponder(), &c) << "the disabled key view is skipped";
  f.user.pressKey(c, SpecialKey::backtab);
  EXPECT_EQ(f.window->firstResponder(), &a);
  f.user.type(a, "7");
  f.user.pressKey(a, SpecialKey::returnKey);
  EXPECT_EQ(f.log, std::vector<std::string>{"action"});
  EXPECT_EQ(begins, 2);

  a.setSendsActionOnEndEditing(true);
  f.user.type(a, "1");
  f.user.clickElsewhere(a);
  EXPECT_EQ(f.log.size(), 2u);
}

TEST(Editing, AContinuousBindingFollowsEveryChangeAndTheProgramsTextIsNoChange) {
  UiFixture f;
  auto& field = f.window->make<TextField>(nullptr, "mTextFieldResValue");
  field.bindValue(f.properties, "mResValue", /*continuous=*/true);
  std::vector<std::int64_t> values;
  f.properties.observe("mResValue", [&](std::string_view, const Value& v) {
    values.push_back(v.integer().valueOr(-1));
  });
  f.user.type(field, "30");
  EXPECT_EQ(values, (std::vector<std::int64_t>{3, 30}));
  f.properties.set("mResValue", 600);
  EXPECT_EQ(field.text(), "600");
  field.setText("72");
  EXPECT_EQ(values.size(), 3u) << "setText while editing changes no property";
}

}  // namespace
