#include "platform/ui/Control.h"

#include "platform/ui/Application.h"
#include "platform/ui/TabView.h"
#include "platform/ui/Window.h"

namespace ui {

const char* kindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::view:
      return "view";
    case ControlKind::label:
      return "label";
    case ControlKind::pushButton:
      return "push button";
    case ControlKind::toggleButton:
      return "toggle button";
    case ControlKind::checkBox:
      return "check box";
    case ControlKind::radioButton:
      return "radio button";
    case ControlKind::matrix:
      return "matrix";
    case ControlKind::popUpButton:
      return "pop-up button";
    case ControlKind::pullDownButton:
      return "pull-down button";
    case ControlKind::slider:
      return "slider";
    case ControlKind::stepper:
      return "stepper";
    case ControlKind::textField:
      return "text field";
    case ControlKind::colorWell:
      return "colour well";
    case ControlKind::box:
      return "box";
    case ControlKind::progressIndicator:
      return "progress indicator";
    case ControlKind::tabView:
      return "tab view";
    case ControlKind::tableView:
      return "table view";
    case ControlKind::imageView:
      return "image view";
    case ControlKind::scrollView:
      return "scroll view";
  }
  return "control";
}

Control::Control(ControlKind kind, std::string outlet) : kind_(kind), outlet_(std::move(outlet)) {}

Control::~Control() {
  if (peer_) peer_->released();
}

Application& Control::application() const { return window_->application(); }

void Control::setEnabled(bool enabled) {
  enabled_ = enabled;
  changed(Aspect::enabled);
}

void Control::setHidden(bool hidden) {
  hidden_ = hidden;
  changed(Aspect::hidden);
}

void Control::setFrame(const Rect& frame) {
  frame_ = frame;
  changed(Aspect::frame);
}

void Control::setFrameOrigin(Point origin) { setFrame({origin, frame_.size}); }

void Control::setFrameSize(Size size) { setFrame({frame_.origin, size}); }

void Control::setGridCell(GridCell cell) {
  cell_ = cell;
  changed(Aspect::frame);
}

bool Control::acceptsUserInput() const {
  if (!window_ || !window_->application().acceptsInput(*window_)) return false;
  if (!enabled_) return false;
  for (const Control* c = this; c; c = c->parent_) {
    if (c->hidden_) return false;
    if (c->tabItem_ &&
        (!c->tabItem_->tabView() || c->tabItem_->tabView()->selectedItem() != c->tabItem_)) {
      return false;
    }
  }
  return true;
}

void Control::sendAction() {
  if (!action_) return;
  Action action = action_;  // the action may replace itself
  action(*this);
}

}  // namespace ui
