// The information page on the headless layer against the recording data source: its rows per
// kind of device and driver interface, a reset and the counters read again, the language
// pop-up, and a change of language that relabels every control of every window (hidden pages
// and sheets included) with the tab bookkeeping unchanged.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <set>

#include "FrameSupport.h"
#include "ds/scan/records/NvmData.h"
#include "platform/foundation/Localization.h"
#include "vantrel/device_records.h"

namespace ferrolite::dialog::testing {
namespace {

using Strings = std::vector<std::string>;

template <class Record>
std::vector<uint8_t> bytesOf(const Record& record) {
  std::vector<uint8_t> bytes(sizeof record);
  std::memcpy(bytes.data(), &record, sizeof record);
  return bytes;
}

struct InfoPageFixture : FrameFixture {
  InfoPageFixture() : FrameFixture("dialog-info") {
    info.modelName = SharedText("fi-7160");
    NewNvmData n{};
    n.PadScanCount = 11;
    n.RollerCount = 12;
    n.ReverseRollerCount = 13;
    n.PickupRollerCount = 14;
    n.ADFSingleModeScanCount = 100;
    n.ADFDuplexModeScanCount = 50;
    n.MultifeedCount = 3;
    n.JamCount = 4;
    n.FletbedScanCount = 7;
    n.PowerOnTime = 90;
    dataSource.nvram = bytesOf(n);
  }
  ui::TableView& table() { return get<ui::TableView>("pInfoTabTableView"); }
  std::vector<std::string> column(std::size_t c) {
    std::vector<std::string> cells;
    for (int row = 0; row < table().numberOfRows(); ++row)
      cells.push_back(table().cellAt(row, c).text);
    return cells;
  }
  int resetButtons() {
    int buttons = 0;
    for (int row = 0; row < table().numberOfRows(); ++row) {
      buttons += table().cellAt(row, 2).kind == ui::CellKind::button;
    }
    return buttons;
  }
};

TEST(InfoTab, RowsPerKindOfDevice) {
  const Strings identity = {"ScannerModel?", "SerialNumber?", "Version?", "IODriverVer?", "FWVer?"};
  auto with = [&identity](Strings more) {
    Strings all = identity;
    all.insert(all.end(), more.begin(), more.end());
    return all;
  };
  struct Case {
    const char* what;
    bool newKrapi;
    uint32_t deviceType;
    bool reverseRoller, sdUsb, ultrasonic;
    Strings names;
    int resets;
  };
  const Case cases[] = {
      {"duplex feeder and flatbed", true, 0xA4, false, false, true,
       with({"BornDate?", "FirstScan?", "PadCount?", "RollerCount?", "ADFCount?", "MultifeedCount?",
             "JamCount?", "Flatbed Count", "PowerOnTime?"}),
       2},
      {"reverse and pickup rollers", true, 0x04, true, false, false,
       with({"BornDate?", "FirstScan?", "ReverseCount?", "PickupCount?", "ADFCount?", "JamCount?",
             "PowerOnTime?"}),
       2},
      {"flatbed only", true, 0x80, false, false, true,
       with({"BornDate?", "FirstScan?", "Flatbed Count", "PowerOnTime?"}), 0},
      {"identity only", true, 0x24, false, true, true, identity, 0},
      {"older interface, reverse roller ignored", false, 0x00, true, false, false,
       with({"BornDate?", "FirstScan?", "PadCount?", "RollerCount?", "ADFCount?", "JamCount?"}), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InfoPageFixture f;
    f.extra.newKrapi = c.newKrapi;
    f.extra.reverseRoller = c.reverseRoller;
    f.extra.sdUsbScanner = c.sdUsb;
    f.current.DeviceType = c.deviceType;
    f.older.ScanMethod = static_cast<uint16_t>(c.deviceType);
    f.current.ScannerCapability0 = c.ultrasonic ? 1 : 0;
    if (!c.newKrapi) {
      NvmData n{};
      n.PadScanCount = 11;
      n.RollerCount = 12;
      n.ADFSingleModeScanCount = 100;
      n.JamCount = 4;
      f.dataSource.nvram = bytesOf(n);
    }
    f.open();
    ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabInfo"));
    EXPECT_EQ(f.column(0), c.names);
    EXPECT_EQ(f.resetButtons(), c.resets);
    EXPECT_EQ(f.column(1)[0], "fi-7160");
    const std::size_t rows = c.names.size();
    // Below twelve rows the table keeps its top edge and is as high as its rows; with more it
    // keeps the window's frame.
    const ui::Rect frame = f.table().frame();
    const double height = rows < 12 ? 27.0 * static_cast<double>(rows) : 330;
    EXPECT_EQ(frame.size.height, height);
    if (rows < 12) {
      EXPECT_EQ(frame.origin.y, 417 - height);
    }
    const bool nvramRead =
        std::find(f.dataSource.calls.begin(), f.dataSource.calls.end(),
                  "getNVMData(" +
                      std::to_string(c.newKrapi ? sizeof(NewNvmData) : sizeof(NvmData)) + ")") !=
        f.dataSource.calls.end();
    EXPECT_EQ(nvramRead, !c.sdUsb);
    EXPECT_TRUE(f.get<ui::Label>("mHyperLink").isHidden());
    EXPECT_TRUE(f.get<ui::ImageView>("mLogoImage").isHidden());
    EXPECT_NE(f.get<ui::Label>("mStaticCoppyRight").text().find("Copyright"), std::string::npos);
  }
}

TEST(InfoTab, CountersFromTheNvramAndAResetReadsThemAgain) {
  InfoPageFixture f;
  f.open();
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabInfo"));
  const Strings values = f.column(1);
  const Strings names = f.column(0);
  auto value = [&](const Strings& cells, std::string_view name) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] == name) return cells[i];
    }
    return std::string("(no row)");
  };
  EXPECT_EQ(value(values, "PadCount?"), "11");
  EXPECT_EQ(value(values, "ADFCount?"), "150");  // single and duplex: the duplex bit is set
  EXPECT_EQ(value(values, "Flatbed Count"), "7");
  EXPECT_EQ(value(values, "PowerOnTime?"), "1.5 Hours?");
  // The scanner zeroes the pad count; the page shows "0" and then what it reads again.
  NewNvmData zeroed{};
  std::memcpy(&zeroed, f.dataSource.nvram.data(), sizeof zeroed);
  zeroed.PadScanCount = 0;
  f.dataSource.nvram = bytesOf(zeroed);
  f.dataSource.calls.clear();
  int padRow = -1;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == "PadCount?") padRow = static_cast<int>(i);
  }
  ASSERT_GE(padRow, 0);
  ASSERT_TRUE(f.user.clickCell(f.table(), padRow, "InfoTabButton"));
  ASSERT_FALSE(f.dataSource.calls.empty());
  EXPECT_EQ(f.dataSource.calls.front(), "resetRollerCount(0)");
  EXPECT_EQ(f.get<ui::Label>("mStaticPadCountValue").text(), "0");
  EXPECT_EQ(value(f.column(1), "PadCount?"), "0");
  EXPECT_EQ(value(f.column(1), "RollerCount?"), "12");
}

TEST(InfoTab, LanguagePopUp) {
  struct Case {
    std::vector<LanguageEntry> languages;
    int32_t current;
    bool hidden;
    int selected;
  };
  const Case cases[] = {
      {{{0, "English.lproj", "English"}}, 0, true, 0},
      {{{0, "English.lproj", "English"}, {3, "de.lproj", "Deutsch"}}, 3, false, 1},
      {{{0, "English.lproj", "English"}, {3, "de.lproj", "Deutsch"}}, 9, false, 0},
  };
  for (const Case& c : cases) {
    InfoPageFixture f;
    f.dataSource.languages = c.languages;
    f.dataSource.languageId = c.current;
    f.open();
    auto& popUp = f.get<ui::PopUpButton>("mPopupSelectLanguage");
    EXPECT_EQ(popUp.isHidden(), c.hidden);
    EXPECT_EQ(f.get<ui::Label>("mStaticSelectLanguage").isHidden(), c.hidden);
    EXPECT_EQ(popUp.numberOfItems(), c.languages.size());
    EXPECT_EQ(popUp.indexOfSelectedItem(), c.selected);
    EXPECT_EQ(popUp.itemAt(0).title(), "English");
  }
}

// The English table and a second one made from it, used only here: every text of the first
// with a letter in it is another text in the second.
class TwoLanguages final : public LanguageBundle {
 public:
  TwoLanguages(foundation::StringsTable english, const int32_t& id)
      : english_(std::move(english)), id_(id) {}
  std::string localizedStringForKey(std::string_view key, std::string_view value) const override {
    const auto found = english_.find(key);
    if (found == english_.end()) return std::string(value);
    const std::string& text = found->second;
    return id_ == kSecond && hasLetter(text) ? "<<" + text + ">>" : text;
  }
  static bool hasLetter(std::string_view text) {
    for (char c : text) {
      if (std::isalpha(static_cast<unsigned char>(c))) return true;
    }
    return false;
  }
  // Every English text with a letter in it.
  std::set<std::string> englishTexts() const {
    std::set<std::string> texts;
    for (const auto& [key, value] : english_) {
      if (hasLetter(value)) texts.insert(value);
    }
    return texts;
  }
  static constexpr int32_t kSecond = 3;

 private:
  foundation::StringsTable english_;
  const int32_t& id_;
};

TEST(InfoTab, ChangingTheLanguageRelabelsEveryControlOfEveryWindow) {
  auto english = foundation::readStringsFile(std::filesystem::path(VT_DIALOG_RESOURCES) /
                                             "English.lproj" / "Localizable.strings");
  ASSERT_TRUE(english.ok());
  InfoPageFixture f;
  TwoLanguages languages(*english, f.dataSource.languageId);
  f.dataSource.language = &languages;
  f.dataSource.languages = {{0, "English.lproj", "English"},
                            {TwoLanguages::kSecond, "Test.lproj", "Test"}};
  f.record.wTabWindow = 0x02 | 0x80;  // rotation, separation and enhancement hidden
  f.record.bImprinter = 1;
  f.open();
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabInfo"));
  const Strings tabsBefore = f.tabIdentifiers();
  const uint16_t tabWindow = f.record.wTabWindow;
  const ui::Rect defaultFrame = f.get<ui::Button>("mButtonDefault").frame();
  for (int change = 0; change < 2; ++change) {
    ASSERT_TRUE(f.user.choose(f.get<ui::PopUpButton>("mPopupSelectLanguage"), 1));
  }
  EXPECT_NE(std::find(f.dataSource.calls.begin(), f.dataSource.calls.end(), "setLanguage(1)"),
            f.dataSource.calls.end());
  // The bookkeeping stays: the same tabs in the same order, the page in front, the bits.
  EXPECT_EQ(f.tabIdentifiers(), tabsBefore);
  EXPECT_EQ(f.tabs().selectedItem()->identifier(), "KriTabInfo");
  EXPECT_EQ(f.record.wTabWindow, tabWindow);
  EXPECT_EQ(f.get<ui::Button>("mButtonDefault").frame(), defaultFrame) << "not wider each time";
  EXPECT_EQ(f.get<ui::PopUpButton>("mPopupSelectLanguage").indexOfSelectedItem(), 1);

  // Every text of every window, the hidden pages' tab labels and both sheets.
  std::vector<std::string> texts;
  auto collect = [&texts](const ui::Window& window) {
    for (std::string& text : shownTexts(window)) texts.push_back(std::move(text));
  };
  collect(f.window());
  collect(f.drawer());
  for (const TabItemName& item : kTabItems)
    texts.push_back(f.window().tabViewItem(item.outlet)->label());
  collect(*f.dialog->pages().imprinter.moreSheet());
  ASSERT_TRUE(f.user.selectTab(f.tabs(), 0));  // Default is not on the information page
  ASSERT_TRUE(f.user.holdModifiers(f.window(), ui::kCtrl));
  ASSERT_TRUE(f.click("mButtonDefault"));
  collect(f.sheet());
  ASSERT_GT(texts.size(), 100u);
  const std::set<std::string> first = languages.englishTexts();
  for (const std::string& text : texts) {
    EXPECT_FALSE(first.contains(text)) << "still in the first language: " << text;
    EXPECT_FALSE(fellBackToKey(text)) << text;
  }
  EXPECT_EQ(f.window().tabViewItem("pmTabViewRotate")->label(), "<<Rotation>>");
  EXPECT_EQ(f.get<ui::Button>("mButtonScan").title(), "<<Scan>>");
}

}  // namespace
}  // namespace ferrolite::dialog::testing
