#pragma once
// The simulated user of the tests: each member is one thing a user does, made of the controls'
// user...() entry points (the same ones the Qt adapter calls), so callbacks fire in the order a
// real window gives them. Every member answers false when the control or window refused the
// input (disabled, hidden, blocked by a sheet or a modal session, during the short pass, ...).
//
//   ui::User user;
//   user.type(field, "1a2");                    // three changes, one per character
//   user.pressKey(field, ui::SpecialKey::tab);  // editing ends with movement 17
//   user.holdModifiers(window, ui::kCtrl);
//   user.click(defaultButton);                  // a Ctrl-click
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Controls.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TabView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Window.h"

namespace ui {

class User {
 public:
  bool click(Button& button) { return button.userClick(); }
  bool press(Button& button) { return button.userPress(); }
  bool release(Button& button) { return button.userRelease(); }
  bool clickCell(Matrix& matrix, int row, int column) { return matrix.userClickCell(row, column); }
  bool choose(PopUpButton& popUp, int index) { return popUp.userChoose({index}); }
  // Through submenus: the index in the menu, then in the submenu, ...
  bool choose(PopUpButton& popUp, const std::vector<int>& path) { return popUp.userChoose(path); }
  // By titles, through submenus.
  bool chooseTitled(PopUpButton& popUp, const std::vector<std::string>& titles);
  bool slide(Slider& slider, double value) { return slider.userSlide(value); }
  bool step(Stepper& stepper, StepDirection direction) { return stepper.userStep(direction); }
  bool selectTab(TabView& tabView, std::size_t index) { return tabView.userSelectTab(index); }
  bool selectTab(TabView& tabView, std::string_view identifier);
  bool selectRow(TableView& table, int row) { return table.userSelectRow(row); }
  bool clickCell(TableView& table, int row, std::string_view column);
  bool clickToolbarItem(ToolBar& toolbar, const std::string& identifier) {
    return toolbar.userClickItem(identifier);
  }

  // Text: a click into the field, then one change per character typed at the caret (a selection
  // is replaced by the first).
  bool focus(TextField& field) { return field.userBeginEditing(); }
  bool type(TextField& field, std::string_view text);
  bool deleteBackward(TextField& field);
  // The pasteboard gets the text; Ctrl+V then goes to the field.
  bool paste(TextField& field, std::string_view text);
  bool keyEquivalent(TextField& field, char32_t character, Modifiers modifiers) {
    return field.userKeyEquivalent({character, SpecialKey::none, modifiers});
  }
  // Tab, Back-tab or Return in the field.
  bool pressKey(TextField& field, SpecialKey key);
  // A click on another control: the editing ends with movement 0.
  bool clickElsewhere(TextField& field) { return field.userEndEditing(TextMovement::other); }

  bool mouseDown(ImageView& view, Point at, Modifiers modifiers = kNoModifier) {
    return view.userMouseDown({at, modifiers});
  }
  bool mouseDragged(ImageView& view, Point at) { return view.userMouseDragged({at}); }
  bool mouseUp(ImageView& view, Point at) { return view.userMouseUp({at}); }
  bool mouseMoved(ImageView& view, Point at) { return view.userMouseMoved({at}); }
  bool mouseEntered(ImageView& view, Point at) { return view.userMouseEntered({at}); }
  bool mouseExited(ImageView& view, Point at) { return view.userMouseExited({at}); }

  bool holdModifiers(Window& window, Modifiers modifiers) {
    return window.userFlagsChanged(modifiers);
  }
  bool keyDown(Window& window, char32_t character, Modifiers modifiers = kNoModifier) {
    return window.userKeyDown({character, SpecialKey::none, modifiers});
  }
  bool closeWindow(Window& window) { return window.userClose(); }
};

}  // namespace ui
