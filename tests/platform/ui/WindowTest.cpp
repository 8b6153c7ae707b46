// Windows: closing and its delegate, sheets, drawers, the tool bar, modal sessions, the short
// pass, and the keys.
#include <gtest/gtest.h>

#include "platform/ui/Alert.h"
#include "tests/platform/ui/UiTesting.h"

namespace {

using namespace ui;
using uitest::UiFixture;

TEST(Windows, TheProgramsCloseAndTheCloseBoxBothTellWillCloseOnce) {
  UiFixture f;
  int willClose = 0;
  bool mayClose = false;
  f.window->setDelegate({[&](Window&) { return mayClose; }, [&](Window&) { ++willClose; }});
  EXPECT_FALSE(f.user.closeWindow(*f.window)) << "shouldClose refused the close box";
  EXPECT_TRUE(f.window->isVisible());
  mayClose = true;
  EXPECT_TRUE(f.user.closeWindow(*f.window));
  EXPECT_FALSE(f.window->isVisible());
  EXPECT_EQ(willClose, 1);
  f.window->makeKeyAndOrderFront();
  f.window->close();
  EXPECT_EQ(willClose, 2) << "closing from the program tells the delegate too";
}

TEST(Windows, ASheetTakesTheWindowsInputUntilItEndsAndEndingRunsItsHandler) {
  UiFixture f;
  auto& scan = f.window->make<Button>(nullptr, ControlKind::pushButton, "mButtonScan");
  Window sheet(f.application, WindowKind::sheet, "pEnhancementSelecBarcodeTypes");
  auto& ok = sheet.make<Button>(nullptr, ControlKind::pushButton, "mBtnSelecBarcodeTypesOK");
  ok.setAction([&](Control&) {
    f.window->endSheet(sheet, 7);
    sheet.orderOut();
  });
  int ended = 0;
  f.window->beginSheet(sheet, [&](Window& s, int code) {
    EXPECT_EQ(&s, &sheet);
    ended = code;
  });
  EXPECT_EQ(f.window->attachedSheet(), &sheet);
  EXPECT_FALSE(f.user.click(scan));
  EXPECT_FALSE(f.user.closeWindow(*f.window));
  EXPECT_TRUE(f.user.click(ok));
  EXPECT_EQ(ended, 7);
  EXPECT_EQ(f.window->attachedSheet(), nullptr);
  EXPECT_FALSE(sheet.isVisible());
  EXPECT_TRUE(f.user.click(scan));
}

TEST(Windows, ADrawerShowsWithItsWindowWhileOpen) {
  UiFixture f;
  Window drawer(f.application, WindowKind::drawer, "mPreviewDrawer");
  drawer.setParentWindow(f.window.get());
  auto& preview = drawer.make<Button>(nullptr, ControlKind::pushButton, "mButtonDrawerPreview");
  EXPECT_FALSE(drawer.isVisible());
  EXPECT_FALSE(f.user.click(preview));
  drawer.toggleDrawer();
  EXPECT_TRUE(drawer.isDrawerOpen());
  EXPECT_TRUE(f.user.click(preview));
  f.window->orderOut();
  EXPECT_FALSE(drawer.isVisible()) << "a drawer goes with its window";
  f.window->makeKeyAndOrderFront();
  Window sheet(f.application, WindowKind::sheet, "sheet");
  f.window->beginSheet(sheet);
  EXPECT_FALSE(f.user.click(preview)) << "the window's sheet blocks its drawer too";
}

TEST(Windows, AToolBarGetsItsItemsFromTheDelegateAndAClickSelectsThenActs) {
  UiFixture f;
  Window sheet(f.application, WindowKind::sheet, "pPropertyTabBarInfo");
  ToolBar& toolbar = sheet.makeToolbar();
  toolbar.setDelegate([&](const std::string& id) -> std::optional<ToolBar::ItemSpec> {
    if (id == "unknown") return std::nullopt;
    return ToolBar::ItemSpec{id + " label", [&](ToolBar& t, const std::string& clicked) {
                               f.log.push_back(clicked + " selected " + t.selectedItemIdentifier());
                             }};
  });
  for (const char* id : {"newScannerAbility", "newScannerCapability", "newNVRAM"}) {
    EXPECT_TRUE(toolbar.insertItem(id, toolbar.items().size()));
  }
  EXPECT_FALSE(toolbar.insertItem("unknown", 0));
  while (!toolbar.items().empty()) toolbar.removeItemAt(toolbar.items().size() - 1);
  EXPECT_TRUE(toolbar.insertItem("ScannerAbilityEx", 0));
  EXPECT_TRUE(toolbar.insertItem("NVRAM", 1));
  f.window->beginSheet(sheet);
  toolbar.setSelectedItemIdentifier("ScannerAbilityEx");
  EXPECT_TRUE(f.user.clickToolbarItem(toolbar, "NVRAM"));
  EXPECT_FALSE(f.user.clickToolbarItem(toolbar, "newNVRAM")) << "removed";
  EXPECT_EQ(f.log, std::vector<std::string>{"NVRAM selected NVRAM"});
  EXPECT_EQ(toolbar.items()[1].label, "NVRAM label");
}

TEST(Windows, ModifiersAndKeysReachTheWindowsHandlers) {
  UiFixture f;
  f.window->setKeyHandlers(
      [&](Window&, Modifiers m) { f.log.push_back("flags " + std::to_string(m)); },
      [&](Window&, const KeyEvent& k) {
        f.log.push_back("key " + std::string(1, static_cast<char>(k.character)) + " " +
                        std::to_string(k.modifiers));
      });
  f.user.holdModifiers(*f.window, kCtrl);
  EXPECT_EQ(f.application.modifierFlags(), kCtrl);
  f.user.keyDown(*f.window, U'q', kAlt);
  f.user.holdModifiers(*f.window, kNoModifier);
  EXPECT_EQ(f.log, (std::vector<std::string>{"flags 4", "key q 8", "flags 0"}));
}

TEST(Windows, AModalSessionTakesInputAloneUntilStoppedAndAnswersItsCode) {
  UiFixture f;
  auto& scan = f.window->make<Button>(nullptr, ControlKind::pushButton, "scan");
  Window transport(f.application, WindowKind::panel, "transportWindow");
  auto& cont = transport.make<Button>(nullptr, ControlKind::pushButton, "continueButton");
  cont.setAction([&](Control&) { f.application.stopModal(1); });
  f.services.runLoop.script([&](Window& w) {
    EXPECT_EQ(&w, &transport);
    f.log.push_back(f.user.click(scan) ? "scan taken" : "scan refused");
    f.user.click(cont);
  });
  EXPECT_EQ(f.application.runModal(transport), 1);
  EXPECT_EQ(f.log, std::vector<std::string>{"scan refused"});
  EXPECT_EQ(f.application.modalWindow(), nullptr);

  // Without a script the session runs posted work until something stops it.
  f.services.runLoop.setPump([&] { return f.services.queue.queue().drain() > 0; });
  f.services.queue.post([&] { f.application.stopModal(2); });
  EXPECT_EQ(f.application.runModal(transport), 2);
  EXPECT_EQ(f.application.runModal(transport), kModalAbort) << "nothing left to stop it";
}

TEST(Windows, TheShortPassDrawsAndTakesNoClicks) {
  UiFixture f;
  auto& scan = f.window->make<Button>(nullptr, ControlKind::pushButton, "mButtonScan");
  auto& view = f.window->make<ImageView>(nullptr, "mPreviewView");
  view.setFrameSize({100, 100});
  int draws = 0;
  view.setDrawHook([&](ImageView&, Canvas&) { ++draws; });
  scan.setAction([&](Control&) {
    f.log.push_back("scan");
    scan.setEnabled(false);
    view.setNeedsDisplay();
    f.application.runShortPass(Seconds(0.05));  // what setMainButtonsStatus: does
  });
  f.services.runLoop.setDuringShortPass([&] {
    scan.setEnabled(true);  // even an enabled button takes no click now
    f.log.push_back(f.user.click(scan) ? "second scan" : "refused");
  });
  EXPECT_TRUE(f.user.click(scan));
  EXPECT_EQ(f.log, (std::vector<std::string>{"scan", "refused"}));
  EXPECT_EQ(draws, 1) << "the pass drew what asked for it";
  ASSERT_EQ(f.services.runLoop.shortPasses().size(), 1u);
  EXPECT_DOUBLE_EQ(f.services.runLoop.shortPasses()[0].count(), 0.05);
}

TEST(Alerts, AnAlertIsShownThroughThePresenterAndItsAccessoryFieldDrivesTheDefaultButton) {
  UiFixture f;
  Alert alert(f.application);
  alert.setInformativeText("AddProfile?");
  Button& ok = alert.addButton("OK");
  alert.addButton("Cancel");
  TextField& name = alert.setAccessoryTextField({300, 24}, "Untitled");
  name.handlers().didChange = [&ok](TextField& field) { ok.setEnabled(!field.text().empty()); };
  f.services.alerts.answer([&](Alert& a) {
    TextField& field = *a.accessoryTextField();
    EXPECT_TRUE(field.isEditing()) << "the name field has the focus when the alert opens";
    f.user.keyEquivalent(field, U'a', kCtrl);
    f.user.deleteBackward(field);
    EXPECT_FALSE(f.user.click(a.button(0))) << "an empty name disables OK";
    EXPECT_TRUE(f.user.pressKey(field, SpecialKey::returnKey));
    EXPECT_FALSE(field.isEditing()) << "with OK disabled, Return only ends the editing";
    EXPECT_FALSE(f.application.modalSessionStopped());
    f.user.type(field, "Office");
    f.user.pressKey(field, SpecialKey::returnKey);  // the default button takes Return
  });
  EXPECT_EQ(alert.runModal(), kAlertFirstButtonReturn);
  EXPECT_EQ(name.text(), "Office");
  f.services.alerts.answer(kAlertFirstButtonReturn + 1);
  EXPECT_EQ(alert.runModal(), kAlertFirstButtonReturn + 1);
  const auto& journal = f.services.alerts.journal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[0].informative, "AddProfile?");
  EXPECT_EQ(journal[0].buttons, (std::vector<std::string>{"OK", "Cancel"}));
  EXPECT_EQ(journal[0].accessory, "Office");
  EXPECT_EQ(journal[1].response, 1001);
  EXPECT_FALSE(alert.window().isVisible());
}

TEST(Alerts, AsASheetTheAlertHangsOnItsWindowWhileItRunsAndAppModalWhenTheWindowHasOne) {
  UiFixture f;
  Window other(f.application, WindowKind::sheet, "other", {200, 100});
  for (bool busy : {false, true}) {
    SCOPED_TRACE(busy);
    if (busy) f.window->beginSheet(other);
    Alert alert(f.application);
    alert.setMessageText("Error Code: 2013");
    Window* parentSeen = nullptr;
    Window* attachedSeen = nullptr;
    f.services.alerts.answer([&](Alert& a) {
      parentSeen = a.window().sheetParent();
      attachedSeen = f.window->attachedSheet();
      f.user.click(a.button(0));
    });
    EXPECT_EQ(alert.runSheetModal(*f.window), kAlertFirstButtonReturn);
    EXPECT_EQ(parentSeen, busy ? nullptr : f.window.get());
    EXPECT_EQ(attachedSeen, busy ? &other : &alert.window());
    EXPECT_EQ(f.window->attachedSheet(), busy ? &other : nullptr) << "the alert's sheet ended";
    EXPECT_FALSE(alert.window().isVisible());
  }
  f.window->endSheet(other);
}

}  // namespace
