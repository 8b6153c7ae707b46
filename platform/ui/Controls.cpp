#include "platform/ui/Controls.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Application.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Window.h"

namespace ui {
namespace {

// Slider and stepper values go to their properties as whole numbers when they are whole.
Value valueOfNumber(double number) {
  if (std::isfinite(number) && number == std::trunc(number) && std::fabs(number) < 9.0e15) {
    return Value(static_cast<std::int64_t>(number));
  }
  return Value(number);
}

}  // namespace

// --- text controls ---------------------------------------------------------------------------

void TextControl::setText(std::string text) {
  text_ = std::move(text);
  changed(Aspect::text);
}

void TextControl::setTextColor(Color color) {
  textColor_ = color;
  changed(Aspect::textStyle);
}

void TextControl::setFont(Font font) {
  font_ = std::move(font);
  changed(Aspect::textStyle);
}

void TextControl::setAlignment(TextAlignment alignment) {
  alignment_ = alignment;
  changed(Aspect::textStyle);
}

void TextControl::setUnderlined(bool underlined) {
  underlined_ = underlined;
  changed(Aspect::textStyle);
}

void TextControl::setRotation(double degrees) {
  rotation_ = degrees;
  changed(Aspect::textStyle);
}

TextField::~TextField() {
  Window* w = window();
  if (w && w->editing_ == this) w->editing_ = nullptr;
  if (w && w->firstResponder_ == this) w->firstResponder_ = nullptr;
}

void TextField::setText(std::string text) {
  text_ = std::move(text);
  if (editing_) selection_ = {text_.size(), 0};
  changed(Aspect::text);
}

void TextField::setEditable(bool editable) {
  editable_ = editable;
  changed(Aspect::enabled);
}

void TextField::setSelection(TextRange range) {
  range.location = std::min(range.location, text_.size());
  range.length = std::min(range.length, text_.size() - range.location);
  selection_ = range;
  changed(Aspect::text);
}

void TextField::bindValue(Properties& properties, std::string key, bool continuous,
                          ValueTransformer* transformer) {
  continuous_ = continuous;
  binding_.connect(properties, std::move(key), transformer,
                   [this](const Value& value) { setText(textOfValue(value)); });
}

void TextField::beginSession() {
  editing_ = true;
  begun_ = false;
  selection_ = {0, text_.size()};
  changed(Aspect::editing);
}

bool TextField::endSession(TextMovement movement) {
  if (!editing_) return true;
  if (handlers_.shouldEndEditing && !handlers_.shouldEndEditing(*this)) return false;
  editing_ = false;
  begun_ = false;
  selection_ = {};
  Window* w = window();
  if (w->editing_ == this) w->editing_ = nullptr;
  if (w->firstResponder_ == this) {
    w->firstResponder_ = nullptr;
    w->changed(WindowAspect::firstResponder);
  }
  changed(Aspect::editing);
  if (handlers_.didEndEditing) {
    auto handler = handlers_.didEndEditing;
    handler(*this, movement);
    return true;
  }
  // A plain field: the binding takes the text, Return sends the action, Tab moves on.
  binding_.push(valueOfText(text_));
  if (movement == TextMovement::returnKey || sendsOnEnd_) sendAction();
  if (movement == TextMovement::tab) w->selectKeyViewFollowing(*this);
  if (movement == TextMovement::backtab) w->selectKeyViewPreceding(*this);
  return true;
}

void TextField::changedByUser() {
  if (!begun_) {
    begun_ = true;
    if (handlers_.didBeginEditing) handlers_.didBeginEditing(*this);
  }
  if (handlers_.didChange) {
    auto handler = handlers_.didChange;
    handler(*this);
  } else if (continuous_) {
    binding_.push(valueOfText(text_));
  }
  changed(Aspect::text);
}

void TextField::cut() {
  if (!editing_ || selection_.length == 0) return;
  application().services().pasteboard->setString(
      text_.substr(selection_.location, selection_.length));
  text_.erase(selection_.location, selection_.length);
  selection_.length = 0;
  changedByUser();
}

void TextField::copy() {
  if (!editing_ || selection_.length == 0) return;
  application().services().pasteboard->setString(
      text_.substr(selection_.location, selection_.length));
}

void TextField::paste() {
  if (!editing_) return;
  std::string clip = application().services().pasteboard->string();
  text_.replace(selection_.location, selection_.length, clip);
  selection_ = {selection_.location + clip.size(), 0};
  changedByUser();
}

void TextField::selectAll() {
  if (!editing_) return;
  setSelection({0, text_.size()});
}

bool TextField::userBeginEditing() {
  Application::UserEvent event(application());
  if (!acceptsUserInput() || !isSelectable()) return false;
  if (editing_) return true;
  if (!window()->makeFirstResponder(this) || !editing_) return false;
  // A click puts the caret where it lands; the end of the text stands for that.
  selection_ = {text_.size(), 0};
  changed(Aspect::text);
  return true;
}

bool TextField::userEdit(std::string text, TextRange selection) {
  Application::UserEvent event(application());
  if (!acceptsUserInput() || !editable_) return false;
  if (!editing_ && (!window()->makeFirstResponder(this) || !editing_)) return false;
  text_ = std::move(text);
  selection.location = std::min(selection.location, text_.size());
  selection.length = std::min(selection.length, text_.size() - selection.location);
  selection_ = selection;
  changedByUser();
  return true;
}

bool TextField::userKeyEquivalent(const KeyEvent& key) {
  Application::UserEvent event(application());
  if (!acceptsUserInput() || !editing_) return false;
  if (handlers_.performKeyEquivalent) {
    auto handler = handlers_.performKeyEquivalent;
    return handler(*this, key);
  }
  return standardEditKeys(*this, key);
}

bool TextField::userEndEditing(TextMovement movement) {
  Application::UserEvent event(application());
  if (!editing_) return false;
  // Return goes to the window's default button first, as the platform's key equivalents do.
  if (movement == TextMovement::returnKey) {
    Button* button = window()->defaultButton();
    if (button && button->acceptsUserInput()) {
      button->performClick();
      return true;
    }
  }
  return endSession(movement);
}

bool TextField::standardEditKeys(TextField& field, const KeyEvent& key) {
  if (key.modifiers != kCtrl || key.special != SpecialKey::none) return false;
  switch (key.character) {
    case U'x':
      field.cut();
      return true;
    case U'c':
      field.copy();
      return true;
    case U'v':
      field.paste();
      return true;
    case U'a':
      field.selectAll();
      return true;
    default:
      return false;
  }
}

// --- buttons ---------------------------------------------------------------------------------

Button::Button(ControlKind kind, std::string outlet) : Control(kind, std::move(outlet)) {}

void Button::setTitle(std::string title) {
  title_ = std::move(title);
  changed(Aspect::title);
}

void Button::setState(ButtonState state) {
  if (state == ButtonState::mixed && !allowsMixed_) state = ButtonState::on;
  state_ = state;
  changed(Aspect::state);
}

void Button::setBackgroundColor(std::optional<Color> color) {
  background_ = color;
  changed(Aspect::color);
}

void Button::setMouseHandlers(std::function<void(Button&)> press,
                              std::function<void(Button&)> release) {
  press_ = std::move(press);
  release_ = std::move(release);
}

void Button::bindValue(Properties& properties, std::string key, ValueTransformer* transformer) {
  binding_.connect(properties, std::move(key), transformer, [this](const Value& value) {
    std::int64_t v = value.integer().valueOr(0);
    setState(v < 0 ? ButtonState::mixed : v ? ButtonState::on : ButtonState::off);
  });
}

ButtonState Button::nextState() const {
  // Two states toggle; three go on, off, mixed, on.
  switch (state_) {
    case ButtonState::on:
      return ButtonState::off;
    case ButtonState::off:
      return allowsMixed_ ? ButtonState::mixed : ButtonState::on;
    case ButtonState::mixed:
      return ButtonState::on;
  }
  return ButtonState::on;
}

void Button::performClick() {
  if (!isEnabled()) return;
  switch (kind()) {
    case ControlKind::checkBox:
    case ControlKind::toggleButton:
      setState(nextState());
      break;
    case ControlKind::radioButton:
      setState(ButtonState::on);
      break;
    default:
      break;
  }
  if (kind() != ControlKind::pushButton) binding_.push(Value(static_cast<int>(state_)));
  sendAction();
}

bool Button::userClick() {
  Application::UserEvent event(application());
  if (!acceptsUserInput()) return false;
  if (handlesMouseItself()) {
    if (press_) press_(*this);
    if (release_) release_(*this);
    return true;
  }
  performClick();
  return true;
}

bool Button::userPress() {
  Application::UserEvent event(application());
  if (!acceptsUserInput()) return false;
  if (press_) press_(*this);
  return true;
}

bool Button::userRelease() {
  Application::UserEvent event(application());
  if (!acceptsUserInput()) return false;
  if (handlesMouseItself()) {
    if (release_) release_(*this);
    return true;
  }
  performClick();
  return true;
}

// --- matrix ----------------------------------------------------------------------------------

Matrix::Matrix(std::string outlet, int rows, int columns)
    : Control(ControlKind::matrix, std::move(outlet)),
      rows_(std::max(rows, 1)),
      columns_(std::max(columns, 1)),
      cells_(static_cast<std::size_t>(rows_ * columns_)) {}

void Matrix::setCellTitle(int row, int column, std::string title) {
  at(row, column).title = std::move(title);
  changed(Aspect::title);
}

void Matrix::setCellEnabled(int row, int column, bool enabled) {
  at(row, column).enabled = enabled;
  changed(Aspect::enabled);
}

void Matrix::selectCell(int row, int column) {
  for (Cell& c : cells_) c.state = ButtonState::off;
  if (row >= 0 && row < rows_ && column >= 0 && column < columns_) {
    at(row, column).state = ButtonState::on;
    selectedRow_ = row;
    selectedColumn_ = column;
  } else {
    selectedRow_ = selectedColumn_ = -1;
  }
  changed(Aspect::state);
}

bool Matrix::userClickCell(int row, int column) {
  Application::UserEvent event(application());
  if (!acceptsUserInput()) return false;
  if (row < 0 || row >= rows_ || column < 0 || column >= columns_) return false;
  if (!at(row, column).enabled) return false;
  selectCell(row, column);
  sendAction();
  return true;
}

// --- pop-up and pull-down buttons --------------------------------------------------------------

PopUpButton::PopUpButton(ControlKind kind, std::string outlet)
    : Control(kind, std::move(outlet)), menu_(std::make_unique<Menu>()) {
  adoptMenu();
}

PopUpButton::~PopUpButton() {
  if (controller_) controller_->unobserve(controllerToken_);
  if (menu_) menu_->owner_ = nullptr;
}

void PopUpButton::adoptMenu() {
  menu_->owner_ = this;
  if (pullsDown()) {
    selected_ = -1;
    return;
  }
  // A pop-up shows the ticked item, or its first one.
  menu_->ticks_ = true;
  selected_ = menu_->size() ? 0 : -1;
  for (std::size_t i = 0; i < menu_->size(); ++i) {
    if (menu_->item(i).state() == ButtonState::on) {
      selected_ = static_cast<int>(i);
      break;
    }
  }
  menu_->chosen_ = selected_;
}

void PopUpButton::setMenu(std::unique_ptr<Menu> menu) {
  if (!menu) menu = std::make_unique<Menu>();
  menu_->owner_ = nullptr;
  menu_ = std::move(menu);
  adoptMenu();
  changed(Aspect::menu);
  changed(Aspect::selection);
}

std::string PopUpButton::titleOfSelectedItem() const {
  MenuItem* item = selectedItem();
  return item ? item->title() : std::string();
}

void PopUpButton::selectItemAtIndex(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= menu_->size()) index = -1;
  selected_ = index;
  if (!pullsDown()) menu_->markChosen(index);
  changed(Aspect::selection);
}

bool PopUpButton::selectItemWithTitle(std::string_view title) {
  int index = menu_->indexOfItemWithTitle(title);
  if (index < 0) return false;
  selectItemAtIndex(index);
  return true;
}

void PopUpButton::removeAllItems() {
  menu_->removeAllItems();
  selected_ = -1;
  changed(Aspect::selection);
}

MenuItem& PopUpButton::addItemWithTitle(std::string title) {
  MenuItem& item = menu_->addItem(std::move(title));
  if (selected_ < 0 && !pullsDown()) selectItemAtIndex(0);
  return item;
}

void PopUpButton::bindSelectedIndex(Properties& properties, std::string key,
                                    ValueTransformer* transformer) {
  binding_.connect(properties, std::move(key), transformer, [this](const Value& value) {
    selectItemAtIndex(static_cast<int>(value.integer().valueOr(-1)));
  });
}

void PopUpButton::bindContent(ArrayController& controller, std::string titleKey) {
  if (controller_) controller_->unobserve(controllerToken_);
  controller_ = &controller;
  titleKey_ = std::move(titleKey);
  controllerToken_ = controller.observe([this](ArrayController& c, ArrayController::Change change) {
    if (change == ArrayController::Change::selection) {
      std::size_t index = c.selectionIndex();
      selectItemAtIndex(index == ArrayController::kNoSelection ? -1 : static_cast<int>(index));
    } else {
      rebuildFromController();
    }
  });
  rebuildFromController();
}

void PopUpButton::rebuildFromController() {
  menu_->removeAllItems();
  for (std::size_t i = 0; i < controller_->count(); ++i) {
    MenuItem& item = menu_->addItem(controller_->row(i).string(titleKey_).valueOr(std::string()));
    item.setRepresentedObject(Value(static_cast<std::int64_t>(i)));
  }
  std::size_t index = controller_->selectionIndex();
  selectItemAtIndex(index == ArrayController::kNoSelection ? -1 : static_cast<int>(index));
}

bool PopUpButton::userChoose(const std::vector<int>& path) {
  Application::UserEvent event(application());
  if (!acceptsUserInput() || path.empty()) return false;
  // A pull-down's first item is its title, not an entry of the menu it pulls down.
  if (pullsDown() && path.front() == 0) return false;
  Menu* menu = menu_.get();
  MenuItem* item = nullptr;
  for (std::size_t k = 0; k < path.size(); ++k) {
    if (!menu || path[k] < 0 || static_cast<std::size_t>(path[k]) >= menu->size()) return false;
    item = &menu->item(static_cast<std::size_t>(path[k]));
    if (item->isSeparator() || !item->isEnabled()) return false;
    menu = item->submenu();
  }
  if (item->submenu()) return false;  // an item with a submenu only opens it
  Menu& shown = *item->menu();
  if (path.size() == 1) {
    selected_ = path.front();
    if (!pullsDown()) shown.markChosen(path.front());
    changed(Aspect::selection);
    binding_.push(Value(path.front()));
    if (controller_) controller_->setSelectionIndex(static_cast<std::size_t>(path.front()));
  } else if (shown.ticksChosenItem()) {
    shown.markChosen(path.back());
  }
  if (item->hasAction()) {
    MenuItem::Action action = item->action_;
    action(*item);
  } else {
    sendAction();
  }
  return true;
}

// --- sliders and steppers --------------------------------------------------------------------

void Slider::setMinValue(double value) {
  min_ = value;
  changed(Aspect::range);
}

void Slider::setMaxValue(double value) {
  max_ = value;
  changed(Aspect::range);
}

void Slider::setDoubleValue(double value) {
  value_ = std::clamp(value, std::min(min_, max_), std::max(min_, max_));
  changed(Aspect::value);
}

void Slider::bindValue(Properties& properties, std::string key, ValueTransformer* transformer) {
  binding_.connect(properties, std::move(key), transformer,
                   [this](const Value& value) { setDoubleValue(value.real().valueOr(0)); });
}

bool Slider::userSlide(double value) {
  Application::UserEvent event(application());
  if (!acceptsUserInput()) return false;
  setDoubleValue(value);
  binding_.push(valueOfNumber(value_));
  sendAction();
  return true;
}

void Stepper::setMinValue(double value) {
  min_ = value;
  changed(Aspect::range);
}

void Stepper::setMaxValue(double value) {
  max_ = value;
  changed(Aspect::range);
}

void Stepper::setIncrement(double value) {
  increment_ = value;
  changed(Aspect::range);
}

void Stepper::setDoubleValue(double value) {
  value_ = value;
  changed(Aspect::value);
}

void Stepper::bindValue(Properties& properties, std::string key, ValueTransformer* transformer) {
  binding_.connect(properties, std::move(key), transformer,
                   [this](const Value& value) { setDoubleValue(value.real().valueOr(0)); });
}

bool Stepper::userStep(StepDirection direction) {
  Application::UserEvent event(application());
  if (!acceptsUserInput()) return false;
  double next = value_ + (direction == StepDirection::up ? increment_ : -increment_);
  if (next > max_) next = wraps_ ? min_ : max_;
  if (next < min_) next = wraps_ ? max_ : min_;
  setDoubleValue(next);
  binding_.push(valueOfNumber(value_));
  sendAction();
  return true;
}

// --- the rest --------------------------------------------------------------------------------

void ColorWell::setColor(Color color) {
  color_ = color;
  changed(Aspect::color);
}

void Box::setTitle(std::string title) {
  title_ = std::move(title);
  changed(Aspect::title);
}

void ProgressIndicator::setIndeterminate(bool on) {
  indeterminate_ = on;
  changed(Aspect::value);
}

void ProgressIndicator::startAnimation() {
  animating_ = true;
  changed(Aspect::value);
}

void ProgressIndicator::stopAnimation() {
  animating_ = false;
  changed(Aspect::value);
}

void ProgressIndicator::setDoubleValue(double value) {
  value_ = std::clamp(value, min_, max_);
  changed(Aspect::value);
}

}  // namespace ui
