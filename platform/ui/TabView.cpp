#include "platform/ui/TabView.h"

#include <algorithm>

#include "platform/ui/Application.h"

namespace ui {

void TabViewItem::setLabel(std::string label) {
  label_ = std::move(label);
  if (tabView_) tabView_->labelsChanged();
}

TabView::~TabView() {
  for (TabViewItem* item : items_) item->tabView_ = nullptr;
}

int TabView::indexOfItem(const TabViewItem& item) const {
  auto it = std::find(items_.begin(), items_.end(), &item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

int TabView::indexOfItemWithIdentifier(std::string_view identifier) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i]->identifier() == identifier) return static_cast<int>(i);
  }
  return -1;
}

void TabView::insertItem(TabViewItem& item, std::size_t index) {
  if (item.tabView_) return;
  index = std::min(index, items_.size());
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), &item);
  item.tabView_ = this;
  changed(Aspect::tabs);
  if (!selected_) select(&item);
}

void TabView::removeItem(TabViewItem& item) {
  int index = indexOfItem(item);
  if (index < 0) return;
  items_.erase(items_.begin() + index);
  item.tabView_ = nullptr;
  changed(Aspect::tabs);
  if (selected_ != &item) return;
  if (items_.empty()) {
    selected_ = nullptr;
    changed(Aspect::selection);
    return;
  }
  select(items_[std::min(static_cast<std::size_t>(index), items_.size() - 1)]);
}

void TabView::selectItem(TabViewItem& item) {
  if (item.tabView_ != this) return;
  select(&item);
}

void TabView::select(TabViewItem* item) {
  selected_ = item;
  changed(Aspect::selection);
  if (item && delegate_.didSelect) {
    auto didSelect = delegate_.didSelect;
    didSelect(*this, *item);
  }
}

bool TabView::userSelectTab(std::size_t index) {
  Application::UserEvent event(application());
  if (!acceptsUserInput() || index >= items_.size()) return false;
  TabViewItem& item = *items_[index];
  if (&item == selected_) return true;
  if (delegate_.shouldSelect && !delegate_.shouldSelect(*this, item)) return false;
  select(&item);
  return true;
}

}  // namespace ui
