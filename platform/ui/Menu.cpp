#include "platform/ui/Menu.h"

#include <algorithm>

#include "platform/ui/Controls.h"

namespace ui {

MenuItem::MenuItem(Menu& menu, std::string title, bool separator)
    : menu_(&menu), title_(std::move(title)), separator_(separator) {}

void MenuItem::setTitle(std::string title) {
  title_ = std::move(title);
  changed();
}

void MenuItem::setState(ButtonState state) {
  state_ = state;
  changed();
}

void MenuItem::setEnabled(bool enabled) {
  enabled_ = enabled;
  changed();
}

void MenuItem::setSubmenu(std::unique_ptr<Menu> submenu) {
  if (submenu_) submenu_->superItem_ = nullptr;
  submenu_ = std::move(submenu);
  if (submenu_) submenu_->superItem_ = this;
  changed();
}

void MenuItem::changed() const { menu_->changed(); }

Menu::Menu(std::string title) : title_(std::move(title)) {}

MenuItem& Menu::addItem(std::string title) { return insertItem(std::move(title), items_.size()); }

MenuItem& Menu::addSeparator() {
  items_.push_back(std::unique_ptr<MenuItem>(new MenuItem(*this, std::string(), true)));
  changed();
  return *items_.back();
}

MenuItem& Menu::insertItem(std::string title, std::size_t index) {
  index = std::min(index, items_.size());
  auto it = items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index),
                          std::unique_ptr<MenuItem>(new MenuItem(*this, std::move(title), false)));
  if (chosen_ >= static_cast<int>(index)) ++chosen_;
  changed();
  return **it;
}

void Menu::removeItemAt(std::size_t index) {
  if (index >= items_.size()) return;
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  if (chosen_ == static_cast<int>(index)) {
    chosen_ = -1;
  } else if (chosen_ > static_cast<int>(index)) {
    --chosen_;
  }
  changed();
}

void Menu::removeAllItems() {
  items_.clear();
  chosen_ = -1;
  changed();
}

int Menu::indexOfItemWithTitle(std::string_view title) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (!items_[i]->separator_ && items_[i]->title_ == title) return static_cast<int>(i);
  }
  return -1;
}

int Menu::indexOfItem(const MenuItem& item) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].get() == &item) return static_cast<int>(i);
  }
  return -1;
}

void Menu::markChosen(int index) {
  if (chosen_ >= 0 && chosen_ != index && static_cast<std::size_t>(chosen_) < items_.size()) {
    items_[chosen_]->state_ = ButtonState::off;
  }
  if (index >= 0 && static_cast<std::size_t>(index) < items_.size()) {
    items_[index]->state_ = ButtonState::on;
    chosen_ = index;
  } else {
    chosen_ = -1;
  }
  changed();
}

Control* Menu::owner() const {
  const Menu* menu = this;
  while (menu->superItem_) menu = menu->superItem_->menu_;
  return menu->owner_;
}

void Menu::changed() const {
  if (auto* button = dynamic_cast<PopUpButton*>(owner())) button->menuChanged();
}

}  // namespace ui
