#pragma once
// Menus of pop-up and pull-down buttons: items with a title, a represented value, a tick, an
// enabled state, an action of their own, separators and submenus.
//
// A menu shown by a pop-up button (not a pull-down) ticks the item chosen and unticks the one
// chosen before, as the platform's pop-up buttons do; setTicksChosenItem gives a menu built on
// its own (for example a submenu) the same behaviour.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/PropertyList.h"
#include "platform/ui/Control.h"

namespace ui {

class Menu;

class MenuItem {
 public:
  using Action = std::function<void(MenuItem& sender)>;

  const std::string& title() const { return title_; }
  void setTitle(std::string title);
  const foundation::Value& representedObject() const { return represented_; }
  void setRepresentedObject(foundation::Value value) { represented_ = std::move(value); }
  ButtonState state() const { return state_; }
  void setState(ButtonState state);
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);
  bool isSeparator() const { return separator_; }
  std::int64_t tag() const { return tag_; }
  void setTag(std::int64_t tag) { tag_ = tag; }
  // An item with an action of its own sends it (with the item as sender) instead of the pop-up
  // button's action.
  void setAction(Action action) { action_ = std::move(action); }
  bool hasAction() const { return static_cast<bool>(action_); }

  Menu* submenu() const { return submenu_.get(); }
  void setSubmenu(std::unique_ptr<Menu> submenu);
  Menu* menu() const { return menu_; }

 private:
  friend class Menu;
  friend class PopUpButton;
  MenuItem(Menu& menu, std::string title, bool separator);
  void changed() const;

  Menu* menu_;
  std::string title_;
  foundation::Value represented_;
  ButtonState state_ = ButtonState::off;
  bool enabled_ = true;
  bool separator_ = false;
  std::int64_t tag_ = 0;
  Action action_;
  std::unique_ptr<Menu> submenu_;
};

class Menu {
 public:
  explicit Menu(std::string title = {});
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;

  const std::string& title() const { return title_; }
  std::size_t size() const { return items_.size(); }
  MenuItem& item(std::size_t index) const { return *items_.at(index); }

  MenuItem& addItem(std::string title);
  MenuItem& addSeparator();
  MenuItem& insertItem(std::string title, std::size_t index);
  void removeItemAt(std::size_t index);
  void removeAllItems();
  // -1 when no item has it.
  int indexOfItemWithTitle(std::string_view title) const;
  int indexOfItem(const MenuItem& item) const;

  bool autoenablesItems() const { return autoenables_; }
  void setAutoenablesItems(bool on) { autoenables_ = on; }
  bool ticksChosenItem() const { return ticks_; }
  void setTicksChosenItem(bool on) { ticks_ = on; }
  // What choosing an item does to the ticks of a menu that ticks its chosen item: the item
  // chosen before is unticked, this one ticked.
  void markChosen(int index);
  int chosenIndex() const { return chosen_; }

  // The item whose submenu this is, if any.
  MenuItem* supermenuItem() const { return superItem_; }
  // The pop-up button showing this menu (directly or as a submenu), if any.
  Control* owner() const;

 private:
  friend class MenuItem;
  friend class PopUpButton;
  void changed() const;

  std::string title_;
  std::vector<std::unique_ptr<MenuItem>> items_;
  bool autoenables_ = true;
  bool ticks_ = false;
  int chosen_ = -1;
  MenuItem* superItem_ = nullptr;
  Control* owner_ = nullptr;  // set for the top menu of a pop-up button
};

}  // namespace ui
