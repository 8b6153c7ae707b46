// The page book: which pages are tabs and where, through set-up, the settings table and every
// order of hiding and showing.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "ds/dialog/frame/PageBook.h"

namespace ferrolite::dialog {
namespace {

// Every shown page maps to its position and back; hidden pages map to 0.
void expectConsistent(const PageBook& book) {
  const std::vector<int> pages = book.pagesInOrder();
  for (int pos = 0; pos < static_cast<int>(pages.size()); ++pos) {
    EXPECT_EQ(book.positionOfPage(pages[pos]), pos);
  }
  for (int k = 0; k < kOptionalPageCount; ++k) {
    const bool present = std::count(pages.begin(), pages.end(), kOptionalPageNumbers[k]) == 1;
    EXPECT_EQ(book.shown(k), present);
    EXPECT_EQ(book.settingStates()[k], present ? "1" : "0");
    if (!present) {
      EXPECT_EQ(book.positionOfPage(kOptionalPageNumbers[k]), 0);
    }
  }
}

TEST(PageBook, SetUpFromTabWindow) {
  struct Case {
    uint16_t wTabWindow;
    std::vector<int> pages;
  } cases[] = {
      {0x000, {0, 2, 6, 8}},
      {0x145, {0, 2, 6, 8}},
      {0x0BA, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
      {0x002 | 0x080, {0, 1, 2, 6, 7, 8}},
      {0x010, {0, 2, 4, 6, 8}},
  };
  for (const Case& c : cases) {
    PageBook book;
    book.hideByTabWindow(c.wTabWindow);
    EXPECT_EQ(book.pagesInOrder(), c.pages) << std::hex << c.wTabWindow;
    EXPECT_EQ(book.lastPosition(), static_cast<int>(c.pages.size()) - 1);
    expectConsistent(book);
  }
}

TEST(PageBook, HidingTellsTheTabViewWhichPositionLeft) {
  PageBook book;
  EXPECT_EQ(book.hide(1), (TabChange{TabChange::Removed, 1, 3}));  // rotation at position 3
  EXPECT_EQ(book.hide(1), std::nullopt);                           // already hidden
  EXPECT_EQ(book.show(1), (TabChange{TabChange::Inserted, 1, 3}));
  EXPECT_EQ(book.show(1), std::nullopt);
}

TEST(PageBook, EveryOrderOfShowingRestoresAFreshSetUp) {
  const std::vector<int> fresh = PageBook().pagesInOrder();
  std::array<int, kOptionalPageCount> order;
  std::iota(order.begin(), order.end(), 0);
  do {
    PageBook book;
    book.hideByTabWindow(0);
    for (int k : order) {
      book.show(k);
      expectConsistent(book);
    }
    ASSERT_EQ(book.pagesInOrder(), fresh);
    // And hiding in that order, showing in the reverse.
    for (int k : order) book.hide(k);
    EXPECT_EQ(book.pagesInOrder(), (std::vector<int>{0, 2, 6, 8}));
    for (auto it = order.rbegin(); it != order.rend(); ++it) book.show(*it);
    ASSERT_EQ(book.pagesInOrder(), fresh);
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST(PageBook, SettingsTableSetsAndClearsTheTabWindowBits) {
  PageBook book;
  uint16_t wTabWindow = 0x1BF;
  auto changes = book.settingsTableEdit(2, "0", wTabWindow);  // separation
  EXPECT_EQ(changes, (std::vector<TabChange>{{TabChange::Removed, 2, 4}}));
  EXPECT_EQ(wTabWindow, 0x1AF);
  changes = book.settingsTableEdit(2, "1", wTabWindow);
  EXPECT_EQ(changes, (std::vector<TabChange>{{TabChange::Inserted, 2, 4}}));
  EXPECT_EQ(wTabWindow, 0x1BF);
  // A hidden page stays hidden at the next opening with the same record.
  book.settingsTableEdit(4, "0", wTabWindow);
  PageBook reopened;
  reopened.hideByTabWindow(wTabWindow);
  EXPECT_EQ(reopened.pagesInOrder(), book.pagesInOrder());
  EXPECT_TRUE(book.settingsTableEdit(7, "0", wTabWindow).empty());  // no such row
}

}  // namespace
}  // namespace ferrolite::dialog
