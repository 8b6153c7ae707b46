#include "platform/ui/Window.h"

#include <algorithm>
#include <stdexcept>

#include "platform/ui/Application.h"
#include "platform/ui/Controls.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TabView.h"
#include "platform/ui/TableView.h"

namespace ui {
namespace {

// Drawn only where the user could see it: not hidden, on a shown tab page.
bool drawable(const Control& control) {
  for (const Control* c = &control; c; c = c->parent()) {
    if (c->isHidden()) return false;
    TabViewItem* item = c->tabViewItem();
    if (item && (!item->tabView() || item->tabView()->selectedItem() != item)) return false;
  }
  return true;
}

}  // namespace

bool ToolBar::insertItem(const std::string& identifier, std::size_t index) {
  if (!delegate_) return false;
  std::optional<ItemSpec> spec = delegate_(identifier);
  if (!spec) return false;
  Item item{identifier, spec->label, spec->selectable, true};
  specs_.insert_or_assign(identifier, std::move(*spec));
  index = std::min(index, items_.size());
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), std::move(item));
  changed();
  return true;
}

void ToolBar::removeItemAt(std::size_t index) {
  if (index >= items_.size()) return;
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  changed();
}

void ToolBar::setSelectedItemIdentifier(std::string identifier) {
  selected_ = std::move(identifier);
  changed();
}

bool ToolBar::userClickItem(const std::string& identifier) {
  Application::UserEvent event(window_->application());
  if (!window_->application().acceptsInput(*window_)) return false;
  auto item = std::find_if(items_.begin(), items_.end(),
                           [&](const Item& i) { return i.identifier == identifier; });
  if (item == items_.end() || !item->enabled) return false;
  if (item->selectable) setSelectedItemIdentifier(identifier);
  auto spec = specs_.find(identifier);
  if (spec != specs_.end() && spec->second.action) {
    auto action = spec->second.action;  // the action may rebuild the tool bar
    action(*this, identifier);
  }
  return true;
}

void ToolBar::changed() const { window_->changed(WindowAspect::toolbar); }

Window::Window(Application& application, WindowKind kind, std::string outlet, Size contentSize)
    : application_(&application),
      kind_(kind),
      outlet_(std::move(outlet)),
      contentSize_(contentSize) {
  application.windows_.push_back(this);
  content_ = &make<View>(nullptr, std::string());
}

Window::~Window() {
  if (peer_) peer_->released();
  peer_ = nullptr;
  // Controls first: tab views and bound controls still reach their items and controllers.
  while (!controls_.empty()) controls_.pop_back();
  auto& windows = application_->windows_;
  std::erase(windows, this);
  for (Window* other : windows) {
    if (other->parent_ == this) other->parent_ = nullptr;
    if (other->sheet_ == this) {
      other->sheet_ = nullptr;
      other->sheetEnd_ = nullptr;
    }
    if (other->sheetParent_ == this) other->sheetParent_ = nullptr;
  }
  for (auto& session : application_->sessions_) {
    if (session.window == this && !session.stopped) {
      session.stopped = true;
      session.code = kModalAbort;
    }
  }
}

void Window::setTitle(std::string title) {
  title_ = std::move(title);
  changed(WindowAspect::title);
}

void Window::setContentSize(Size size) {
  contentSize_ = size;
  changed(WindowAspect::frame);
}

void Window::center() {
  centered_ = true;
  changed(WindowAspect::frame);
}

void Window::makeKeyAndOrderFront() {
  for (Window* w : application_->windows()) {
    if (w != this && w->key_) {
      w->key_ = false;
      w->changed(WindowAspect::visible);
    }
  }
  visible_ = true;
  key_ = true;
  changed(WindowAspect::visible);
}

void Window::orderFront() {
  visible_ = true;
  changed(WindowAspect::visible);
}

void Window::orderOut() {
  visible_ = false;
  key_ = false;
  changed(WindowAspect::visible);
}

void Window::close() {
  if (delegate_.willClose) delegate_.willClose(*this);
  orderOut();
}

void Window::setContentView(View& view) {
  content_ = &view;
  changed(WindowAspect::contentView);
}

View& Window::makeRootView(std::string outlet) {
  auto owned = std::make_unique<View>(std::move(outlet));
  View& view = *owned;
  view.window_ = this;
  if (!view.outlet().empty()) byOutlet_[view.outlet()] = &view;
  controls_.push_back(std::move(owned));
  if (peer_) peer_->controlAdded(view);
  return view;
}

void Window::adopt(std::unique_ptr<Control> control, Control* parent) {
  Control* c = control.get();
  c->window_ = this;
  if (!parent) parent = content_;
  if (parent) {
    c->parent_ = parent;
    parent->children_.push_back(c);
  }
  if (!c->outlet().empty()) byOutlet_[c->outlet()] = c;
  controls_.push_back(std::move(control));
  if (peer_) peer_->controlAdded(*c);
}

Control* Window::find(std::string_view outlet) const {
  auto it = byOutlet_.find(outlet);
  return it == byOutlet_.end() ? nullptr : it->second;
}

void Window::missing(std::string_view outlet) {
  throw std::logic_error("the window has no control '" + std::string(outlet) +
                         "' of the class asked for");
}

TabViewItem& Window::makeTabViewItem(std::string outlet, std::string identifier, TabView& tabView) {
  View& page = make<View>(&tabView, std::string());
  auto item = std::make_unique<TabViewItem>(std::move(identifier), page);
  page.tabItem_ = item.get();
  TabViewItem& result = *item;
  if (!outlet.empty()) tabItemsByOutlet_[std::move(outlet)] = item.get();
  tabItems_.push_back(std::move(item));
  return result;
}

TabViewItem* Window::tabViewItem(std::string_view outlet) const {
  auto it = tabItemsByOutlet_.find(outlet);
  return it == tabItemsByOutlet_.end() ? nullptr : it->second;
}

ArrayController& Window::makeArrayController(std::string outlet) {
  controllers_.push_back(std::make_unique<ArrayController>(std::move(outlet)));
  return *controllers_.back();
}

ArrayController* Window::arrayController(std::string_view outlet) const {
  for (const auto& c : controllers_) {
    if (c->outlet() == outlet) return c.get();
  }
  return nullptr;
}

bool Window::makeFirstResponder(Control* control) {
  if (control == firstResponder_) return true;
  // The ended field's handler may choose a first responder itself; the caller's choice wins, so
  // a field it started editing ends too.
  while (editing_ && editing_ != control) {
    if (!editing_->endSession(TextMovement::other)) return false;
  }
  if (editing_ == control && control) return true;
  firstResponder_ = control;
  auto* field = dynamic_cast<TextField*>(control);
  if (field && field->isSelectable() && field->window() == this) {
    editing_ = field;
    field->beginSession();
  }
  changed(WindowAspect::firstResponder);
  return true;
}

bool Window::selectKeyViewFollowing(Control& control) {
  for (Control* c = control.nextKeyView(); c && c != &control; c = c->nextKeyView()) {
    if (c->acceptsUserInput()) return makeFirstResponder(c);
  }
  return false;
}

bool Window::selectKeyViewPreceding(Control& control) {
  // Walk backwards: the control whose next key view is the current one, and so on.
  const Control* current = &control;
  for (std::size_t guard = 0; guard < controls_.size(); ++guard) {
    Control* before = nullptr;
    for (const auto& c : controls_) {
      if (c->nextKeyView() == current) {
        before = c.get();
        break;
      }
    }
    if (!before || before == &control) return false;
    if (before->acceptsUserInput()) return makeFirstResponder(before);
    current = before;
  }
  return false;
}

void Window::setDefaultButton(Button* button) {
  defaultButton_ = button;
  changed(WindowAspect::defaultButton);
}

void Window::beginSheet(Window& sheet, SheetEnd didEnd) {
  if (sheet_ || &sheet == this) return;
  sheet_ = &sheet;
  sheet.sheetParent_ = this;
  sheetEnd_ = std::move(didEnd);
  changed(WindowAspect::sheet);
  sheet.makeKeyAndOrderFront();
}

void Window::endSheet(Window& sheet, int returnCode) {
  if (sheet_ != &sheet) return;
  sheet_ = nullptr;
  sheet.sheetParent_ = nullptr;
  SheetEnd end = std::move(sheetEnd_);
  sheetEnd_ = nullptr;
  changed(WindowAspect::sheet);
  if (end) end(sheet, returnCode);
}

void Window::openDrawer() {
  drawerOpen_ = true;
  changed(WindowAspect::visible);
}

void Window::closeDrawer() {
  drawerOpen_ = false;
  changed(WindowAspect::visible);
}

void Window::toggleDrawer() { drawerOpen_ ? closeDrawer() : openDrawer(); }

ToolBar& Window::makeToolbar() {
  if (!toolbar_) toolbar_ = std::make_unique<ToolBar>(*this);
  changed(WindowAspect::toolbar);
  return *toolbar_;
}

void Window::setKeyHandlers(FlagsHandler flagsChanged, KeyHandler keyDown) {
  flagsChanged_ = std::move(flagsChanged);
  keyDown_ = std::move(keyDown);
}

bool Window::userFlagsChanged(Modifiers modifiers) {
  Application::UserEvent event(*application_);
  application_->setModifierFlags(modifiers);
  if (!application_->acceptsInput(*this)) return false;
  if (flagsChanged_) flagsChanged_(*this, modifiers);
  return true;
}

bool Window::userKeyDown(const KeyEvent& key) {
  Application::UserEvent event(*application_);
  if (!application_->acceptsInput(*this)) return false;
  if (key.special == SpecialKey::returnKey && defaultButton_ &&
      defaultButton_->acceptsUserInput()) {
    defaultButton_->performClick();
    return true;
  }
  if (keyDown_) keyDown_(*this, key);
  return true;
}

bool Window::userClose() {
  Application::UserEvent event(*application_);
  if (!application_->acceptsInput(*this)) return false;
  if (delegate_.shouldClose && !delegate_.shouldClose(*this)) return false;
  close();
  return true;
}

void Window::displayIfNeeded() {
  if (!isVisible()) return;
  // Drawing may make controls; go by index.
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    auto* view = dynamic_cast<ImageView*>(controls_[i].get());
    if (view && view->needsDisplay() && drawable(*view)) view->display();
  }
}

}  // namespace ui
