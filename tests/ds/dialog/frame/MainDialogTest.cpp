// The dialog's frame on the headless widget layer against the recording data source: which
// pages the record opens with and how the settings table hides and shows them, the set-up's
// device rules, the roads of Scan, Exit, the close box, Default, the diagnostic sheet, the
// keys, and setMainButtonsStatus from the data source's thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "FrameSupport.h"
#include "ds/dialog/Notifications.h"
#include "ds/scan/records/NvmData.h"
#include "platform/imageio/ImageIO.h"
#include "platform/ui/ImageView.h"

namespace ferrolite::dialog::testing {
namespace {

using Strings = std::vector<std::string>;

const Strings kFourTabs = {"KriTabImage", "KriTabPaper", "KriTabSetting", "KriTabInfo"};
const Strings kNineTabs = {"KriTabImage",    "KriTabDropColor",  "KriTabPaper",
                           "KriTabRotation", "KriTabSeparation", "KriTabEnhancement",
                           "KriTabSetting",  "KRiImprinter",     "KriTabInfo"};

TEST(DialogFrame, OpensWithTheOptionalPagesTheRecordShows) {
  struct Case {
    uint16_t wTabWindow;
    Strings tabs;
  };
  for (const Case& c : {Case{0x0000, kFourTabs}, Case{0x0145, kFourTabs}, Case{0x00BA, kNineTabs},
                        Case{0x000A,
                             {"KriTabImage", "KriTabDropColor", "KriTabPaper", "KriTabRotation",
                              "KriTabSetting", "KriTabInfo"}}}) {
    SCOPED_TRACE(c.wTabWindow);
    FrameFixture f;
    f.record.wTabWindow = c.wTabWindow;
    f.open();
    EXPECT_EQ(f.tabIdentifiers(), c.tabs);
    // Gap-free bookkeeping: position i holds the i-th shown page and the page knows its place.
    const PageBook& book = f.dialog->shared().pages;
    EXPECT_EQ(book.lastPosition(), static_cast<int>(c.tabs.size()) - 1);
    for (std::size_t i = 0; i < c.tabs.size(); ++i) {
      const int page = book.pageAtPosition(static_cast<int>(i));
      EXPECT_EQ(kTabItems[page].identifier, c.tabs[i]);
      EXPECT_EQ(book.positionOfPage(page), static_cast<int>(i));
    }
    EXPECT_EQ(f.tabs().indexOfSelectedItem(), 0);
    EXPECT_TRUE(f.window().isVisible());
    EXPECT_EQ(f.window().title(), "fi-7160 1.0");
  }
}

TEST(DialogFrame, SettingsTableHidesAndShowsPagesInAnyOrder) {
  const std::vector<std::vector<int>> orders = {{0, 1, 2, 3, 4}, {4, 3, 2, 1, 0}, {2, 0, 4, 1, 3}};
  for (const auto& hideOrder : orders) {
    for (const auto& showOrder : orders) {
      FrameFixture f;
      f.open();
      ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabSetting"));
      auto& table = f.get<ui::TableView>("pSettingsTableView");
      ASSERT_EQ(table.numberOfRows(), kOptionalPageCount);
      for (int row : hideOrder) ASSERT_TRUE(f.user.clickCell(table, row, "check"));
      EXPECT_EQ(f.tabIdentifiers(), kFourTabs);
      EXPECT_EQ(f.record.wTabWindow, 0);
      EXPECT_EQ(table.cellAt(2, 1).state, 0);
      for (int row : showOrder) ASSERT_TRUE(f.user.clickCell(table, row, "check"));
      EXPECT_EQ(f.tabIdentifiers(), kNineTabs);
      EXPECT_EQ(f.record.wTabWindow, 0xBA);
      EXPECT_EQ(table.cellAt(2, 1).state, 1);
      EXPECT_EQ(table.heightOfRow(0), 24);
      // The table's edits never touch the profile.
      EXPECT_EQ(f.record.strProfile.view(), "Custom?");
    }
  }
}

TEST(DialogFrame, HidingOnePageClearsOnlyItsBitAndKeepsTheOthersInPlace) {
  FrameFixture f;
  f.open();
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabSetting"));
  auto& table = f.get<ui::TableView>("pSettingsTableView");
  ASSERT_TRUE(f.user.clickCell(table, 1, "check"));  // rotation
  EXPECT_EQ(f.record.wTabWindow, 0xBA & ~0x08);
  EXPECT_EQ(f.tabIdentifiers(),
            (Strings{"KriTabImage", "KriTabDropColor", "KriTabPaper", "KriTabSeparation",
                     "KriTabEnhancement", "KriTabSetting", "KRiImprinter", "KriTabInfo"}));
  // The page is still the selected one after the tabs moved.
  EXPECT_EQ(f.tabs().selectedItem()->identifier(), "KriTabSetting");
}

TEST(DialogFrame, SetUpFollowsTheDevice) {
  {
    SCOPED_TRACE("a simplex device has no rear images");
    FrameFixture f;
    f.current.DeviceType = 0x20;
    f.record.wImageType = 0x01 | 0x02 | 0x10 | 0x20 | 0x08;
    f.open();
    EXPECT_EQ(f.record.wImageType, 0x11);
    EXPECT_EQ(f.dialog->shared().ScanMethodDuplex, 0);
  }
  {
    SCOPED_TRACE("a duplex device keeps them");
    FrameFixture f;
    f.record.wImageType = 0x01 | 0x02;
    f.open();
    EXPECT_EQ(f.record.wImageType, 0x03);
  }
  for (const auto& [name, enabled] :
       std::vector<std::pair<std::string, bool>>{{"Test Sample", false}, {"fi-7160", true}}) {
    SCOPED_TRACE(name);
    FrameFixture f;
    f.open(name);
    EXPECT_EQ(f.drawer().get<ui::Button>("mButtonDrawerPreview").isEnabled(), enabled);
    EXPECT_EQ(f.drawer().get<ui::Button>("mButtonDrawerPreviewPush").isEnabled(), enabled);
  }
  {
    SCOPED_TRACE("UI-only titles, the settings table shown, the observers in order");
    FrameFixture f;
    f.uiOnly = 1;
    f.open();
    EXPECT_EQ(f.get<ui::Button>("mButtonScan").title(), "OK");
    EXPECT_EQ(f.get<ui::Button>("mButtonCancel").title(), "Cancel");
    EXPECT_FALSE(f.get<ui::View>("pSettingsView").isHidden());
    const auto& names = f.dialog->shared().observedNames;
    ASSERT_EQ(names.size(), kObserverRegistrationOrder.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
      EXPECT_EQ(names[i], kObserverRegistrationOrder[i]);
    }
    const ui::Rect& kept = f.dialog->shared().mDefaultButtonRect;
    EXPECT_DOUBLE_EQ(f.get<ui::Button>("mButtonDefault").frame().size.width, kept.size.width * 1.5);
  }
  {
    SCOPED_TRACE("no ultrasonic detection: the multi-feed box is hidden");
    FrameFixture f;
    f.current.ScannerCapability0 = 0;
    f.open();
    EXPECT_TRUE(f.get<ui::Box>("mBoxMultiFeedGroup").isHidden());
  }
}

TEST(DialogFrame, ScanRoad) {
  struct Case {
    const char* name;
    std::function<void(FrameFixture&)> arrange;
    Strings calls;
    bool alert;
    bool committed;  // the length below the minimum was raised by the commit
    bool windowOpen;
  };
  const std::vector<Case> cases = {
      {"edge fill out of range",
       [](FrameFixture& f) { f.record.wLeftEdge = 2000; },
       {},
       true,
       false,
       true},
      {"the data source refuses",
       [](FrameFixture& f) { f.dataSource.checkScanParamsAnswer = kScanParamsRefused; },
       {"checkScanParams"},
       false,
       false,
       true},
      {"empty resolution",
       [](FrameFixture& f) { f.get<ui::TextField>("mTextFieldResValue").setText(""); },
       {"checkScanParams"},
       true,
       false,
       true},
      {"scan", [](FrameFixture&) {}, {"checkScanParams", "xferReady"}, false, true, true},
      {"OK in user-interface-only mode",
       [](FrameFixture& f) { f.dialog->shared().mUIOnly = 1; },
       {"checkScanParams", "closeDSOK"},
       false,
       true,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameFixture f;
    f.open();
    f.record.wLength = 10;
    c.arrange(f);
    ASSERT_TRUE(f.click("mButtonScan"));
    EXPECT_EQ(f.dataSource.calls, c.calls);
    EXPECT_EQ(f.services.alerts.journal().size(), c.alert ? 1u : 0u);
    EXPECT_EQ(f.record.wLength, c.committed ? 150 : 10);
    EXPECT_EQ(f.window().isVisible(), c.windowOpen);
  }
}

TEST(DialogFrame, EmptyResolutionAlertShowsTheTextAsItStands) {
  FrameFixture f;
  f.dataSource.bundle.texts()["Err116"] = "Resolution 100% %s %n";
  f.open();
  f.get<ui::TextField>("mTextFieldResValue").setText("");
  ASSERT_TRUE(f.click("mButtonScan"));
  ASSERT_EQ(f.services.alerts.journal().size(), 1u);
  const auto& alert = f.services.alerts.journal()[0];
  EXPECT_EQ(alert.message, "");
  EXPECT_EQ(alert.informative, "Resolution 100% %s %n");
  EXPECT_EQ(alert.buttons, Strings{"OK"});
}

TEST(DialogFrame, OneMessageToTheHostPerDecision) {
  struct Case {
    const char* name;
    int32_t uiOnly;
    ui::Modifiers modifiers;
    bool closeBox;
    Strings calls;
  };
  const std::vector<Case> cases = {
      {"Exit", 0, ui::kNoModifier, false, {"closeDSRequest"}},
      {"Ctrl-click on Exit", 0, ui::kCtrl, false, {"printDebugLog(YES)", "closeDSRequest"}},
      {"Shift-click on Exit", 0, ui::kShift, false, {"printDebugLog(NO)", "closeDSRequest"}},
      {"Caps Lock counts as Shift",
       0,
       ui::kCapsLock,
       false,
       {"printDebugLog(NO)", "closeDSRequest"}},
      {"Alt-click on Exit", 0, ui::kAlt, false, {"closeDSRequest"}},
      {"Cancel", 1, ui::kNoModifier, false, {"closeDSRequest"}},
      {"the close box", 0, ui::kNoModifier, true, {"closeDSRequest"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameFixture f;
    f.uiOnly = c.uiOnly;
    f.open();
    f.record.wLength = 10;
    ASSERT_TRUE(f.user.holdModifiers(f.window(), c.modifiers));
    if (c.closeBox) {
      ASSERT_TRUE(f.user.closeWindow(f.window()));
    } else {
      ASSERT_TRUE(f.click("mButtonCancel"));
      EXPECT_EQ(f.record.wLength, 150);  // the record leaves the dialog consistent
    }
    EXPECT_EQ(f.dataSource.calls, c.calls);
    EXPECT_FALSE(f.window().isVisible());
  }
  {
    SCOPED_TRACE("the dialog shown again and closed by its box asks again, once");
    FrameFixture f;
    f.open();
    ASSERT_TRUE(f.click("mButtonCancel"));
    f.dialog->show("again");
    ASSERT_TRUE(f.user.closeWindow(f.window()));
    EXPECT_EQ(f.dataSource.calls, (Strings{"closeDSRequest", "closeDSRequest"}));
  }
}

TEST(DialogFrame, DefaultReloadsAndKeepsHiddenPagesHidden) {
  FrameFixture f;
  f.extra.maxLongLength = 50000;
  f.dataSource.onReadSetting = [&f](const std::optional<std::string>&, bool) {
    ScanSetting defaults;
    defaults.wImageType = 0x01;
    defaults.wBWRes = defaults.wGrayRes = defaults.wColorRes = 300;
    defaults.wWidth = 2550;
    defaults.wLength = 3300;
    defaults.wTabWindow = 0xBA & ~0x80;  // the defaults hide the imprinter
    f.record = defaults;
  };
  f.open();
  std::filesystem::path preview = f.folder / "fi-7160_preview.tif";
  { std::ofstream(preview) << "old"; }
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabSetting"));
  ASSERT_TRUE(f.user.clickCell(f.get<ui::TableView>("pSettingsTableView"), 1, "check"));
  f.dataSource.calls.clear();

  ASSERT_TRUE(f.click("mButtonDefault"));
  ASSERT_FALSE(f.dataSource.calls.empty());
  EXPECT_EQ(f.dataSource.calls[0], "readSetting(nil, YES)");
  // The rotation page the user hid stays hidden although the defaults show it; the imprinter
  // page the defaults hide goes.
  EXPECT_EQ(f.tabIdentifiers(),
            (Strings{"KriTabImage", "KriTabDropColor", "KriTabPaper", "KriTabSeparation",
                     "KriTabEnhancement", "KriTabSetting", "KriTabInfo"}));
  EXPECT_EQ(f.record.strProfile.view(), "Custom?");
  EXPECT_EQ(f.dialog->shared().longPage.mfSaveLongPageLength, 35400);
  EXPECT_EQ(f.dialog->shared().properties.integer("mResValue"), 300);
  EXPECT_EQ(f.bridge.mScanModeSideSelect, 4);
  EXPECT_TRUE(f.get<ui::Button>("mButtonScan").isEnabled());
  EXPECT_FALSE(f.get<ui::Slider>("mSliderFilterThresh").isEnabled());
  EXPECT_FALSE(std::filesystem::exists(preview));
  // The settings table shows the pages as they now are: rotation and imprinter unchecked.
  auto& settings = f.get<ui::TableView>("pSettingsTableView");
  std::vector<int> checks;
  for (int row = 0; row < settings.numberOfRows(); ++row) {
    checks.push_back(settings.cellAt(row, 1).state);
  }
  EXPECT_EQ(checks, (std::vector<int>{1, 0, 1, 1, 0}));
}

TEST(DialogFrame, CtrlClickOnDefaultOpensTheDiagnosticSheet) {
  struct Case {
    bool newKrapi;
    Strings items;
    std::string view;
  };
  for (const Case& c :
       {Case{true,
             {"newScannerAbility", "newScannerCapability", "newNVRAM"},
             "pNewPropertyScannerAbilityView"},
        Case{false,
             {"ScannerAbilityEx", "ScannerCapability", "ScannerCapability2", "ScannerCapability3",
              "DriverFunctionSupport", "DriverFunctionSupport2", "NVRAM"},
             "pPropertyScannerAbilityExView"}}) {
    SCOPED_TRACE(c.newKrapi);
    FrameFixture f;
    f.extra.newKrapi = c.newKrapi;
    f.open();
    ASSERT_TRUE(f.user.holdModifiers(f.window(), ui::kCtrl));
    ASSERT_TRUE(f.click("mButtonDefault"));
    EXPECT_TRUE(f.dataSource.calls.empty()) << "no defaults were read";
    ASSERT_EQ(f.window().attachedSheet(), &f.sheet());
    Strings items;
    for (const auto& item : f.sheet().toolbar()->items()) items.push_back(item.identifier);
    EXPECT_EQ(items, c.items);
    EXPECT_EQ(f.sheet().toolbar()->selectedItemIdentifier(), c.items[0]);
    EXPECT_FALSE(f.sheet().get<ui::View>(c.view).isHidden());
    // Another panel through the tool bar; the NVRAM one reads the record afresh.
    ASSERT_TRUE(f.user.clickToolbarItem(*f.sheet().toolbar(), c.items.back()));
    EXPECT_TRUE(f.sheet().get<ui::View>(c.view).isHidden());
    const std::size_t nvram = c.newKrapi ? sizeof(NewNvmData) : sizeof(NvmData);
    EXPECT_EQ(f.dataSource.calls, Strings{"getNVMData(" + std::to_string(nvram) + ")"});
    // The window takes no input while the sheet is on it; OK ends it.
    EXPECT_FALSE(f.click("mButtonScan"));
    ASSERT_TRUE(f.user.click(f.sheet().get<ui::Button>("mButtonPropertyOK")));
    EXPECT_EQ(f.window().attachedSheet(), nullptr);
    EXPECT_FALSE(f.dialog->shared().commandPressed);
  }
}

TEST(DialogFrame, AltQRevealsTheDataSourceFolder) {
  FrameFixture f;
  f.open();
  ASSERT_TRUE(f.user.keyDown(f.window(), U'q'));
  ASSERT_TRUE(f.user.holdModifiers(f.window(), ui::kCtrl));
  ASSERT_TRUE(f.user.keyDown(f.window(), U'q', ui::kCtrl));
  EXPECT_TRUE(f.services.fileViewer.revealed().empty());
  ASSERT_TRUE(f.user.holdModifiers(f.window(), ui::kAlt));
  ASSERT_TRUE(f.user.keyDown(f.window(), U'q', ui::kAlt));
  EXPECT_EQ(f.services.fileViewer.revealed(), std::vector<std::filesystem::path>{f.folder});
}

TEST(DialogFrame, ChangingPage) {
  FrameFixture f;
  f.open();
  f.record.wLength = 10;
  f.record.wWidth = 20;
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabPaper"));
  EXPECT_EQ(f.record.wLength, 150);
  EXPECT_EQ(f.record.wWidth, 150);
  EXPECT_EQ(f.get<ui::TextField>("mTextFieldLength").text(), "0.50");
  EXPECT_EQ(f.get<ui::TextField>("mTextFieldWidth").text(), "0.50");

  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabInfo"));
  for (const char* outlet : {"mButtonDefault", "mButtonPreview"}) {
    EXPECT_TRUE(f.get<ui::Button>(outlet).isHidden()) << outlet;
  }
  // The user can still scan or leave from the information page.
  for (const char* outlet : {"mButtonScan", "mButtonCancel"}) {
    EXPECT_FALSE(f.get<ui::Button>(outlet).isHidden()) << outlet;
  }
  EXPECT_TRUE(f.drawer().get<ui::Button>("mButtonDrawerPreviewPush").isHidden());
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabSetting"));
  EXPECT_FALSE(f.get<ui::Button>("mButtonScan").isHidden());
  EXPECT_EQ(f.dialog->shared().mKriTabSetting, 1);

  // Scan from the setting page of a Photoshop-family host goes back to the first page.
  f.dialog->shared().curExtraParam.photoshopFamily = true;
  ASSERT_TRUE(f.click("mButtonScan"));
  EXPECT_EQ(f.tabs().indexOfSelectedItem(), 0);
  EXPECT_EQ(f.dialog->shared().mKriTabSetting, 0);
}

TEST(DialogFrame, PreviewTakesNoSecondClickWhileItRuns) {
  FrameFixture f;
  f.open();
  ASSERT_TRUE(f.click("mButtonPreview"));  // the drawer opens
  EXPECT_TRUE(f.drawer().isDrawerOpen());
  EXPECT_FALSE(f.drawer().get<ui::Button>("mPreviewResult").isEnabled()) << "no preview yet";
  std::vector<bool> clicks;
  f.services.runLoop.setDuringShortPass([&f, &clicks] {
    clicks.push_back(f.user.click(f.drawer().get<ui::Button>("mButtonDrawerPreview")));
    clicks.push_back(f.click("mButtonScan"));
  });
  ASSERT_TRUE(f.user.click(f.drawer().get<ui::Button>("mButtonDrawerPreview")));
  EXPECT_EQ(clicks, (std::vector<bool>{false, false}));
  EXPECT_EQ(f.dataSource.calls, Strings{"previewScan"});
  ASSERT_EQ(f.services.runLoop.shortPasses().size(), 1u);
  EXPECT_DOUBLE_EQ(f.services.runLoop.shortPasses()[0].count(), 0.05);
  // No readable preview: the view stays as it was and the buttons come back.
  EXPECT_FALSE(f.dialog->shared().globals.gPreviewResult);
  EXPECT_TRUE(f.get<ui::Button>("mButtonScan").isEnabled());
  EXPECT_TRUE(f.drawer().get<ui::Button>("mButtonDrawerPreview").isEnabled());
  ASSERT_TRUE(f.click("mButtonPreview"));
  EXPECT_FALSE(f.drawer().isDrawerOpen());
}

TEST(DialogFrame, PreviewShowsTheFileTheDataSourceWrote) {
  FrameFixture f;
  f.record.bFBColorDropOut = 4;  // a custom drop-out colour: the side offers the result
  f.open();
  f.dataSource.onPreviewScan = [&f] {
    imageio::Raster raster;
    raster.layout = imageio::PixelLayout::packed(40, 30, 8, 3);
    raster.resolution = {100, 100};
    raster.pixels.assign(raster.layout.bytesPerRow * 30, 0x80);
    ASSERT_TRUE(imageio::writeImageFile(f.folder / "fi-7160_preview.tif", imageio::FileKind::Tiff,
                                        imageio::BitmapImage(raster.view()))
                    .ok());
  };
  ASSERT_TRUE(f.click("mButtonPreview"));
  ASSERT_TRUE(f.user.click(f.drawer().get<ui::Button>("mButtonDrawerPreview")));
  // The view's redraw after the click drew the new preview and took its flag.
  EXPECT_FALSE(f.dialog->shared().globals.gPreviewResult);
  const auto& shown = f.dialog->pages().preview.shownImage();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->width, 40);
  EXPECT_EQ(shown->height, 30);
  // The drawer closed and opened again finds the preview and offers its result.
  ASSERT_TRUE(f.click("mButtonPreview"));
  ASSERT_TRUE(f.click("mButtonPreview"));
  EXPECT_TRUE(f.drawer().get<ui::Button>("mPreviewResult").isEnabled());
  EXPECT_TRUE(f.drawer().get<ui::Button>("mEyeDropperClick").isEnabled());
}

TEST(DialogFrame, MainButtonsStatusFromTheScanThreadRunsOnTheUiThread) {
  FrameFixture f;
  f.open();
  const std::thread::id uiThread = std::this_thread::get_id();
  std::thread::id passThread;
  f.services.runLoop.setDuringShortPass([&] { passThread = std::this_thread::get_id(); });
  std::atomic<bool> done{false};
  std::thread scan([&] {
    f.dialog->setMainButtonsStatus(false);
    done = true;
  });
  while (!done) f.services.queue.queue().drainFor(std::chrono::milliseconds(10));
  scan.join();
  EXPECT_EQ(passThread, uiThread);
  EXPECT_FALSE(f.get<ui::Button>("mButtonScan").isEnabled());
  EXPECT_FALSE(f.get<ui::Button>("mButtonCancel").isEnabled());
  EXPECT_FALSE(f.drawer().get<ui::Button>("mButtonDrawerPreview").isEnabled());
  EXPECT_TRUE(f.get<ui::Button>("mButtonDefault").isEnabled());

  done = false;
  std::thread end([&] {
    f.dialog->setMainButtonsStatus(true);
    done = true;
  });
  while (!done) f.services.queue.queue().drainFor(std::chrono::milliseconds(10));
  end.join();
  EXPECT_TRUE(f.get<ui::Button>("mButtonScan").isEnabled());
  EXPECT_EQ(f.services.runLoop.shortPasses().size(), 1u) << "enabling lets nothing through";
}

TEST(DialogFrame, SavedProfileAtOpenAndTheCustomProfileRule) {
  FrameFixture f;
  f.dataSource.profiles = Strings{"Invoices", "Letters"};
  f.record.strProfile = SharedText("Letters");
  f.dialog =
      std::make_unique<MainDialog>(*f.application, f.bridge, DialogPaths{f.folder, f.folder});
  f.bridge.getDS(&f.dataSource);
  f.dialog->getExtraParam(f.extra);
  f.dialog->guiSetting(&f.record, &f.paper, {&f.current, &f.older}, "fi-7160", 0, f.info);
  f.dialog->window();
  const auto& calls = f.dataSource.calls;
  EXPECT_NE(std::find(calls.begin(), calls.end(), "profileOperation(Letters, 0)"), calls.end());
  auto& popUp = f.get<ui::PopUpButton>("mPopupProfile");
  EXPECT_EQ(popUp.titleOfSelectedItem(), "Letters");
  EXPECT_TRUE(f.get<ui::Button>("mButtonDeleteProfile").isEnabled());

  // Any edit turns the popup to the custom entry and disables Delete.
  f.dialog->pages().image.switch2CustomProfile();
  EXPECT_EQ(popUp.titleOfSelectedItem(), "Custom?");
  EXPECT_EQ(f.record.strProfile.view(), "Custom?");
  EXPECT_FALSE(f.get<ui::Button>("mButtonDeleteProfile").isEnabled());
}

TEST(DialogFrame, InformationTableRowsColoursAndResetButtons) {
  FrameFixture f;
  f.open();
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabInfo"));
  auto& table = f.get<ui::TableView>("pInfoTabTableView");
  const InfoTable& info = f.dialog->shared().info;
  ASSERT_GT(info.mInfoTabItems, 0);
  ASSERT_EQ(table.numberOfRows(), info.mInfoTabItems);
  const int last = info.mInfoTabItems - 1;
  EXPECT_EQ(table.cellAt(last, 0).background, ui::Color::rgb(182.0f / 255, 214.0f / 255, 1.0f));
  if (last > 0) {
    EXPECT_EQ(table.cellAt(last - 1, 0).background, ui::Color::white());
  }
  EXPECT_EQ(table.heightOfRow(0), 24);
  int padRow = -1;
  for (int row = 0; row < info.mInfoTabItems; ++row) {
    if (info.mInfoTabReset[row] == 1) padRow = row;
  }
  ASSERT_GE(padRow, 0);
  EXPECT_EQ(table.cellAt(padRow, 2).kind, ui::CellKind::button);
  EXPECT_EQ(table.cellAt(padRow, 2).title, "Reset?");
  f.dataSource.calls.clear();
  ASSERT_TRUE(f.user.clickCell(table, padRow, "InfoTabButton"));
  ASSERT_GE(f.dataSource.calls.size(), 2u);
  EXPECT_EQ(f.dataSource.calls[0], "resetRollerCount(0)");
  EXPECT_NE(std::find(f.dataSource.calls.begin(), f.dataSource.calls.end(),
                      "getNVMData(" + std::to_string(sizeof(NewNvmData)) + ")"),
            f.dataSource.calls.end())
      << "the counters are read again";
}

TEST(DialogFrame, SmallControlsResolutionPopupHoverButtonAndEditKeys) {
  FrameFixture f;
  f.open();
  ui::Properties& values = f.dialog->shared().properties;
  auto& popUp = f.get<ui::PopUpButton>("mPopupRes");
  for (const auto& [dpi, index] : std::vector<std::pair<int64_t, int>>{
           {75, 0}, {150, 1}, {200, 2}, {300, 3}, {400, 4}, {600, 5}, {100, 6}}) {
    values.set("mResValue", dpi);
    EXPECT_EQ(popUp.indexOfSelectedItem(), index) << dpi;
  }
  // The user's choice sets the resolution; the custom item keeps the last one seen (100).
  ASSERT_TRUE(f.user.choose(popUp, 1));
  EXPECT_EQ(values.integer("mResValue"), 150);
  values.set("mResValue", 100);
  ASSERT_TRUE(f.user.choose(popUp, 6));
  EXPECT_EQ(values.integer("mResValue"), 100);

  // The preview-result button posts its presses.
  std::vector<int64_t> clicks;
  f.application->notifications().addObserver(
      std::string(note::kClickPreviewResultButton), nullptr, [&clicks](const ui::Notification& n) {
        clicks.push_back(n.userInfo.integer("Click").valueOr(-1));
      });
  ASSERT_TRUE(f.click("mButtonPreview"));
  auto& result = f.drawer().get<ui::Button>("mPreviewResult");
  result.setHidden(false);
  result.setEnabled(true);
  ASSERT_TRUE(f.user.press(result));
  ASSERT_TRUE(f.user.release(result));
  EXPECT_EQ(clicks, (std::vector<int64_t>{1, 0}));

  // Ctrl+V pastes; Ctrl+Shift+V is not the field's.
  auto& field = f.get<ui::TextField>("mTextFieldResValue");
  f.services.pasteboard.setString("9");
  ASSERT_TRUE(f.user.focus(field));
  const std::string before = field.text();
  EXPECT_FALSE(f.user.keyEquivalent(field, U'v', ui::kCtrl | ui::kShift));
  EXPECT_EQ(field.text(), before);
  field.selectAll();  // the resolution field keeps at most three digits
  EXPECT_TRUE(f.user.keyEquivalent(field, U'v', ui::kCtrl));
  EXPECT_NE(field.text().find('9'), std::string::npos);
}

}  // namespace
}  // namespace ferrolite::dialog::testing
