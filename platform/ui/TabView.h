#pragma once
// A tab view: identified items, each with a page (a view), inserted, removed and selected; its
// delegate hears of every selection, the program's included (as the platform's tab view does),
// while a user's click on a tab may first be refused by shouldSelect.
//
// Items are owned by their window (Window::makeTabViewItem); removing one from the tab view
// keeps it, so it can be inserted again with its page.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Control.h"

namespace ui {

class TabView;

class TabViewItem {
 public:
  TabViewItem(std::string identifier, View& view)
      : identifier_(std::move(identifier)), view_(&view) {}
  TabViewItem(const TabViewItem&) = delete;
  TabViewItem& operator=(const TabViewItem&) = delete;

  const std::string& identifier() const { return identifier_; }
  const std::string& label() const { return label_; }
  void setLabel(std::string label);
  View& view() const { return *view_; }
  // The tab view showing the item; null while it is not in one.
  TabView* tabView() const { return tabView_; }

 private:
  friend class TabView;
  std::string identifier_;
  std::string label_;
  View* view_;
  TabView* tabView_ = nullptr;
};

class TabView : public Control {
 public:
  struct Delegate {
    std::function<bool(TabView&, TabViewItem&)> shouldSelect;
    std::function<void(TabView&, TabViewItem&)> didSelect;
  };

  explicit TabView(std::string outlet) : Control(ControlKind::tabView, std::move(outlet)) {}
  ~TabView() override;

  void setDelegate(Delegate delegate) { delegate_ = std::move(delegate); }

  std::size_t numberOfItems() const { return items_.size(); }
  TabViewItem& itemAt(std::size_t index) const { return *items_.at(index); }
  const std::vector<TabViewItem*>& items() const { return items_; }
  // -1 when the item is not in this tab view.
  int indexOfItem(const TabViewItem& item) const;
  int indexOfItemWithIdentifier(std::string_view identifier) const;

  // The first item inserted into an empty tab view becomes the selected one. An item already in
  // a tab view is not inserted again.
  void addItem(TabViewItem& item) { insertItem(item, items_.size()); }
  void insertItem(TabViewItem& item, std::size_t index);
  // Removing the selected item selects the one now at its place (or the last one).
  void removeItem(TabViewItem& item);

  TabViewItem* selectedItem() const { return selected_; }
  int indexOfSelectedItem() const { return selected_ ? indexOfItem(*selected_) : -1; }
  void selectItem(TabViewItem& item);
  void selectItemAtIndex(std::size_t index) { selectItem(itemAt(index)); }

  virtual bool userSelectTab(std::size_t index);

  // A label of one of the items changed.
  void labelsChanged() const { changed(Aspect::tabs); }

 private:
  void select(TabViewItem* item);
  std::vector<TabViewItem*> items_;
  TabViewItem* selected_ = nullptr;
  Delegate delegate_;
};

}  // namespace ui
