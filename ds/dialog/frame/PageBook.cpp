#include "ds/dialog/frame/PageBook.h"

#include "ds/dialog/TextFieldFamily.h"

namespace ferrolite::dialog {

PageBook::PageBook() {
  tabArray_.fill(1);
  for (int i = 0; i < kPageCount; ++i) {
    tabSelfIndexArray_[i] = i;
    tabSequencyIndexArray_[i] = i;
  }
  settingStates_.fill("1");
}

void PageBook::rebuildSelfIndex() {
  tabSelfIndexArray_.fill(0);
  for (int i = 0; i <= tabIndexPoniter_; ++i) {
    const int page = tabSequencyIndexArray_[i];
    if (page != 0) tabSelfIndexArray_[page] = i;
  }
}

std::optional<TabChange> PageBook::hide(int k) {
  if (k < 0 || k >= kOptionalPageCount || !shown(k)) return std::nullopt;
  const int page = kOptionalPageNumbers[k];
  settingStates_[k] = "0";
  const int t = tabSelfIndexArray_[page];
  for (int i = t; i < tabIndexPoniter_; ++i)
    tabSequencyIndexArray_[i] = tabSequencyIndexArray_[i + 1];
  tabSequencyIndexArray_[tabIndexPoniter_] = 0;
  tabSelfIndexArray_[page] = 0;
  --tabIndexPoniter_;
  rebuildSelfIndex();
  tabArray_[k] = 0;
  return TabChange{TabChange::Removed, k, t};
}

std::optional<TabChange> PageBook::show(int k) {
  if (k < 0 || k >= kOptionalPageCount || shown(k)) return std::nullopt;
  const int page = kOptionalPageNumbers[k];
  int i = tabIndexPoniter_;
  while (i > 0 && tabSequencyIndexArray_[i] >= page) --i;
  const int at = i + 1;
  for (int n = page + 1; n < kPageCount; ++n) {
    if (tabSelfIndexArray_[n] != 0) ++tabSelfIndexArray_[n];
  }
  tabSelfIndexArray_[page] = at;
  for (int j = tabIndexPoniter_; j >= at; --j)
    tabSequencyIndexArray_[j + 1] = tabSequencyIndexArray_[j];
  tabSequencyIndexArray_[at] = page;
  ++tabIndexPoniter_;
  tabArray_[k] = 1;
  settingStates_[k] = "1";
  return TabChange{TabChange::Inserted, k, at};
}

std::vector<TabChange> PageBook::hideByTabWindow(uint16_t wTabWindow) {
  std::vector<TabChange> changes;
  for (int k = 0; k < kOptionalPageCount; ++k) {
    if ((wTabWindow & kOptionalPageBits[k]) == 0) {
      if (auto change = hide(k)) changes.push_back(*change);
    }
  }
  return changes;
}

std::vector<int> PageBook::pagesInOrder() const {
  return std::vector<int>(tabSequencyIndexArray_.begin(),
                          tabSequencyIndexArray_.begin() + tabIndexPoniter_ + 1);
}

std::vector<TabChange> PageBook::settingsTableEdit(int row, std::string_view value,
                                                   uint16_t& wTabWindow) {
  std::vector<TabChange> changes;
  if (row < 0 || row >= kOptionalPageCount) return changes;
  settingStates_[row] = std::string(value);
  for (int k = 0; k < kOptionalPageCount; ++k) {
    const int wanted = intValue(settingStates_[k]);
    if (wanted == tabArray_[k]) continue;
    if (wanted == 1) {
      if (auto change = show(k)) changes.push_back(*change);
      wTabWindow |= kOptionalPageBits[k];
    } else {
      if (auto change = hide(k)) changes.push_back(*change);
      wTabWindow &= static_cast<uint16_t>(~kOptionalPageBits[k]);
    }
  }
  return changes;
}

}  // namespace ferrolite::dialog
