#pragma once
// Which of the dialog's nine pages are in its tab view, and where: the page number of each tab
// position and the tab position of each page, kept gap-free as optional pages are hidden and
// shown again. Pages: 0 image, 1 colour drop-out, 2 paper, 3 rotation, 4 separation,
// 5 enhancement, 6 setting, 7 imprinter, 8 information; 1, 3, 4, 5 and 7 are optional.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolite::dialog {

inline constexpr int kPageCount = 9;
inline constexpr int kOptionalPageCount = 5;
// The optional pages k = 0..4 in the order of the settings table.
inline constexpr std::array<std::string_view, kOptionalPageCount> kSettingNames = {
    "ColorDrop", "Rotation", "Separation", "Enhancement", "Imprinter"};
inline constexpr std::array<int, kOptionalPageCount> kOptionalPageNumbers = {1, 3, 4, 5, 7};
inline constexpr std::array<uint16_t, kOptionalPageCount> kOptionalPageBits = {0x02, 0x08, 0x10,
                                                                               0x20, 0x80};
// Tab labels (localization keys) by page number.
inline constexpr std::array<std::string_view, kPageCount> kPageLabels = {
    "Image",       "ColorDrop", "Paper",     "Rotation",   "Separation",
    "Enhancement", "Setting",   "Imprinter", "Information"};

// What the tab view must do for a hidden or shown page.
struct TabChange {
  enum Kind { Removed, Inserted } kind;
  int optionalPage;  // k, 0..4
  int position;      // the tab position inserted at (for Removed: the one it left)
  bool operator==(const TabChange&) const = default;
};

class PageBook {
 public:
  PageBook();  // all nine pages shown, in page order

  // Set-up and Default: hides, in settings-table order, each shown optional page whose
  // wTabWindow bit is clear. Never shows a page.
  std::vector<TabChange> hideByTabWindow(uint16_t wTabWindow);
  std::optional<TabChange> hide(int k);
  std::optional<TabChange> show(int k);

  bool shown(int k) const { return tabArray_[k] != 0; }
  int pageAtPosition(int position) const { return tabSequencyIndexArray_[position]; }
  // The tab position of a shown page; 0 for a hidden one.
  int positionOfPage(int page) const { return tabSelfIndexArray_[page]; }
  int lastPosition() const { return tabIndexPoniter_; }
  std::vector<int> pagesInOrder() const;
  // "1" when the optional page at that row is shown, "0" when hidden.
  const std::array<std::string, kOptionalPageCount>& settingStates() const {
    return settingStates_;
  }

  // A change of the settings table's check column: the row's state becomes the value; then
  // every optional page whose state differs from its presence is shown (state 1) or hidden
  // (anything else), with its wTabWindow bit set or cleared.
  std::vector<TabChange> settingsTableEdit(int row, std::string_view value, uint16_t& wTabWindow);

 private:
  void rebuildSelfIndex();

  std::array<int, 10> tabArray_{};
  std::array<int, 10> tabSequencyIndexArray_{};
  std::array<int, 10> tabSelfIndexArray_{};
  int tabIndexPoniter_ = kPageCount - 1;
  std::array<std::string, kOptionalPageCount> settingStates_;
};

}  // namespace ferrolite::dialog
