#pragma once
// The simple controls: labels, buttons, the radio matrix, pop-up and pull-down buttons, sliders,
// steppers, text fields with their editing session, colour wells, boxes and progress bars.
// Control.h states the rules they share.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Control.h"
#include "platform/ui/Menu.h"
#include "platform/ui/Properties.h"

namespace ui {

class ArrayController;

// A control showing a text: a label, a text field, a button's title has its own class.
class TextControl : public Control {
 public:
  const std::string& text() const { return text_; }
  virtual void setText(std::string text);
  const Color& textColor() const { return textColor_; }
  void setTextColor(Color color);
  const Font& font() const { return font_; }
  void setFont(Font font);
  TextAlignment alignment() const { return alignment_; }
  void setAlignment(TextAlignment alignment);
  // The text drawn with a single underline (an attributed string whose only attribute is that).
  bool isUnderlined() const { return underlined_; }
  void setUnderlined(bool underlined);
  // Degrees, about the control's centre.
  double rotation() const { return rotation_; }
  void setRotation(double degrees);

 protected:
  TextControl(ControlKind kind, std::string outlet) : Control(kind, std::move(outlet)) {}
  std::string text_;

 private:
  Color textColor_ = Color::black();
  Font font_;
  TextAlignment alignment_ = TextAlignment::natural;
  bool underlined_ = false;
  double rotation_ = 0;
};

class Label : public TextControl {
 public:
  explicit Label(std::string outlet) : TextControl(ControlKind::label, std::move(outlet)) {}
};

struct TextRange {
  std::size_t location = 0;
  std::size_t length = 0;
  bool operator==(const TextRange&) const = default;
};

// A text field. Clicking into it (or making it first responder) begins an editing session; each
// change the user makes (a keystroke, a deletion, a paste) is one change: the field's text is the
// editor's, and the didChange handler runs once, free to rewrite the text before the next change.
// The session ends by Tab (17), Back-tab (18), Return (16) or a click elsewhere (0): the text
// stays as the editor had it and the didEndEditing handler runs with that movement.
//
// A handler left empty does what a plain field does: a change updates a continuously bound
// property; the end of editing updates the bound property, sends the action on Return (or on
// every end with sendsActionOnEndEditing), and Tab / Back-tab move to the next / previous key
// view. The standard edit keys (Ctrl with x, c, v, a) cut, copy, paste and select all.
class TextField : public TextControl {
 public:
  struct Handlers {
    std::function<void(TextField&)> didBeginEditing;  // before the first change of a session
    std::function<void(TextField&)> didChange;
    std::function<bool(TextField&)> shouldEndEditing;
    std::function<void(TextField&, TextMovement)> didEndEditing;
    // Answers whether it handled the key.
    std::function<bool(TextField&, const KeyEvent&)> performKeyEquivalent;
  };

  explicit TextField(std::string outlet) : TextControl(ControlKind::textField, std::move(outlet)) {}
  ~TextField() override;

  // Outside a session: the field's text. In a session: sets the editor's text (caret at the end)
  // without a change.
  void setText(std::string text) override;

  bool isEditable() const { return editable_; }
  void setEditable(bool editable);
  bool isSelectable() const { return selectable_ || editable_; }
  void setSelectable(bool selectable) { selectable_ = selectable; }
  bool sendsActionOnEndEditing() const { return sendsOnEnd_; }
  void setSendsActionOnEndEditing(bool on) { sendsOnEnd_ = on; }
  Handlers& handlers() { return handlers_; }
  void setHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

  bool isEditing() const { return editing_; }
  // The editor's selection (a caret when empty), in bytes of the UTF-8 text.
  const TextRange& selection() const { return selection_; }
  void setSelection(TextRange range);

  // The bound property holds the text (a number when the text is one); continuously bound, it
  // follows every change, otherwise the end of editing.
  void bindValue(Properties& properties, std::string key, bool continuous = false,
                 ValueTransformer* transformer = nullptr);

  // The editor's commands (what the edit keys send to the editor). Cut and paste are changes.
  void cut();
  void copy();
  void paste();
  void selectAll();

  // The user's side.
  virtual bool userBeginEditing();
  // One change as the editor now shows it.
  virtual bool userEdit(std::string text, TextRange selection);
  virtual bool userKeyEquivalent(const KeyEvent& key);
  virtual bool userEndEditing(TextMovement movement);

  // The standard edit keys: Ctrl alone with x, c, v or a. What the dialog's field family does.
  static bool standardEditKeys(TextField& field, const KeyEvent& key);

 private:
  friend class Window;
  void beginSession();                     // by the window, on becoming first responder
  bool endSession(TextMovement movement);  // false when the field refused to end
  void changedByUser();

  Handlers handlers_;
  Binding binding_;
  bool continuous_ = false;
  bool editable_ = true;
  bool selectable_ = true;
  bool sendsOnEnd_ = false;
  bool editing_ = false;
  bool begun_ = false;  // didBeginEditing sent in this session
  TextRange selection_;
};

class Button : public Control {
 public:
  // kind: pushButton, toggleButton, checkBox or radioButton.
  Button(ControlKind kind, std::string outlet);

  const std::string& title() const { return title_; }
  void setTitle(std::string title);
  ButtonState state() const { return state_; }
  void setState(ButtonState state);
  bool isOn() const { return state_ == ButtonState::on; }
  bool allowsMixedState() const { return allowsMixed_; }
  void setAllowsMixedState(bool on) { allowsMixed_ = on; }
  bool isContinuous() const { return continuous_; }
  void setContinuous(bool on) { continuous_ = on; }
  const std::optional<Color>& backgroundColor() const { return background_; }
  void setBackgroundColor(std::optional<Color> color);

  // A button that handles the mouse itself: press and release run these instead of the usual
  // click (no state change, no action).
  void setMouseHandlers(std::function<void(Button&)> press, std::function<void(Button&)> release);
  bool handlesMouseItself() const {
    return static_cast<bool>(press_) || static_cast<bool>(release_);
  }

  // The state as an integer property (check, toggle and radio buttons).
  void bindValue(Properties& properties, std::string key, ValueTransformer* transformer = nullptr);

  // What a click does, from the program (the default button taking Return).
  void performClick();

  virtual bool userClick();
  virtual bool userPress();
  virtual bool userRelease();

 private:
  ButtonState nextState() const;

  std::string title_;
  ButtonState state_ = ButtonState::off;
  bool allowsMixed_ = false;
  bool continuous_ = false;
  std::optional<Color> background_;
  std::function<void(Button&)> press_;
  std::function<void(Button&)> release_;
  Binding binding_;
};

// A matrix of radio cells: one selected cell; the matrix is the action's sender.
class Matrix : public Control {
 public:
  struct Cell {
    std::string title;
    bool enabled = true;
    ButtonState state = ButtonState::off;
  };

  Matrix(std::string outlet, int rows, int columns);

  int rows() const { return rows_; }
  int columns() const { return columns_; }
  const Cell& cell(int row, int column) const { return cells_.at(row * columns_ + column); }
  void setCellTitle(int row, int column, std::string title);
  void setCellEnabled(int row, int column, bool enabled);
  int selectedRow() const { return selectedRow_; }
  int selectedColumn() const { return selectedColumn_; }
  // Selects the cell and turns the others off.
  void selectCell(int row, int column);

  virtual bool userClickCell(int row, int column);

 private:
  Cell& at(int row, int column) { return cells_.at(row * columns_ + column); }
  int rows_;
  int columns_;
  std::vector<Cell> cells_;
  int selectedRow_ = -1;
  int selectedColumn_ = -1;
};

// A pop-up button (kind popUpButton) or a pull-down button (kind pullDownButton, which shows
// the title of its first item and does not select).
class PopUpButton : public Control {
 public:
  PopUpButton(ControlKind kind, std::string outlet);
  ~PopUpButton() override;

  bool pullsDown() const { return kind() == ControlKind::pullDownButton; }
  Menu& menu() const { return *menu_; }
  void setMenu(std::unique_ptr<Menu> menu);
  std::size_t numberOfItems() const { return menu_->size(); }
  MenuItem& itemAt(std::size_t index) const { return menu_->item(index); }
  int indexOfSelectedItem() const { return selected_; }
  MenuItem* selectedItem() const {
    return selected_ >= 0 && static_cast<std::size_t>(selected_) < menu_->size()
               ? &menu_->item(selected_)
               : nullptr;
  }
  std::string titleOfSelectedItem() const;
  // -1 selects nothing.
  void selectItemAtIndex(int index);
  bool selectItemWithTitle(std::string_view title);
  void removeAllItems();
  MenuItem& addItemWithTitle(std::string title);

  // The selected index as a property (through a transformer, for example resolution and item).
  void bindSelectedIndex(Properties& properties, std::string key,
                         ValueTransformer* transformer = nullptr);
  // Items from an array controller's rows (their titles from `titleKey`, each row's index as the
  // represented value), the selection following the controller's selection both ways.
  void bindContent(ArrayController& controller, std::string titleKey);

  // Chooses the item at `path`: an index into the menu, then into its submenus.
  virtual bool userChoose(const std::vector<int>& path);

  // A menu shown by this button changed.
  void menuChanged() const { changed(Aspect::menu); }

 private:
  void rebuildFromController();
  void adoptMenu();

  std::unique_ptr<Menu> menu_;
  int selected_ = -1;
  Binding binding_;
  ArrayController* controller_ = nullptr;
  std::string titleKey_;
  std::uint64_t controllerToken_ = 0;
};

class Slider : public Control {
 public:
  explicit Slider(std::string outlet) : Control(ControlKind::slider, std::move(outlet)) {}

  double minValue() const { return min_; }
  double maxValue() const { return max_; }
  void setMinValue(double value);
  void setMaxValue(double value);
  double doubleValue() const { return value_; }
  int intValue() const { return static_cast<int>(value_); }
  // Held within the range.
  void setDoubleValue(double value);
  bool isContinuous() const { return continuous_; }
  void setContinuous(bool on) { continuous_ = on; }
  void bindValue(Properties& properties, std::string key, ValueTransformer* transformer = nullptr);

  virtual bool userSlide(double value);

 private:
  double min_ = 0;
  double max_ = 100;
  double value_ = 0;
  bool continuous_ = true;
  Binding binding_;
};

enum class StepDirection : std::uint8_t { up, down };

// Two arrows over a value: a step moves it by the increment, within the range (or round it,
// when the value wraps). The action runs on every step, also one held at a limit.
class Stepper : public Control {
 public:
  explicit Stepper(std::string outlet) : Control(ControlKind::stepper, std::move(outlet)) {}

  double minValue() const { return min_; }
  double maxValue() const { return max_; }
  double increment() const { return increment_; }
  void setMinValue(double value);
  void setMaxValue(double value);
  void setIncrement(double value);
  bool valueWraps() const { return wraps_; }
  void setValueWraps(bool on) { wraps_ = on; }
  double doubleValue() const { return value_; }
  int intValue() const { return static_cast<int>(value_); }
  // Not held within the range: the program may set any value, as the dialog's code does.
  void setDoubleValue(double value);
  void bindValue(Properties& properties, std::string key, ValueTransformer* transformer = nullptr);

  virtual bool userStep(StepDirection direction);

 private:
  double min_ = 0;
  double max_ = 59;
  double increment_ = 1;
  double value_ = 0;
  bool wraps_ = false;
  Binding binding_;
};

class ColorWell : public Control {
 public:
  explicit ColorWell(std::string outlet) : Control(ControlKind::colorWell, std::move(outlet)) {}
  const Color& color() const { return color_; }
  void setColor(Color color);

 private:
  Color color_ = Color::white();
};

// A titled group of controls.
class Box : public Control {
 public:
  explicit Box(std::string outlet) : Control(ControlKind::box, std::move(outlet)) {}
  const std::string& title() const { return title_; }
  void setTitle(std::string title);

 private:
  std::string title_;
};

class ProgressIndicator : public Control {
 public:
  explicit ProgressIndicator(std::string outlet)
      : Control(ControlKind::progressIndicator, std::move(outlet)) {}
  bool isIndeterminate() const { return indeterminate_; }
  void setIndeterminate(bool on);
  bool isAnimating() const { return animating_; }
  void startAnimation();
  void stopAnimation();
  double minValue() const { return min_; }
  double maxValue() const { return max_; }
  double doubleValue() const { return value_; }
  void setDoubleValue(double value);

 private:
  bool indeterminate_ = true;
  bool animating_ = false;
  double min_ = 0;
  double max_ = 100;
  double value_ = 0;
};

}  // namespace ui
