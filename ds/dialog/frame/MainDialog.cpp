#include "ds/dialog/frame/MainDialog.h"

#include <system_error>

#include "ds/dialog/Notifications.h"
#include "ds/dialog/diagnostics/DiagnosticPanels.h"
#include "ds/dialog/diagnostics/DiagnosticSheet.h"
#include "ds/dialog/frame/Commit.h"
#include "ds/dialog/frame/PageChange.h"
#include "ds/dialog/frame/Profiles.h"
#include "ds/dialog/frame/Tables.h"
#include "ds/dialog/window/DialogWindows.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Controls.h"
#include "platform/ui/TabView.h"
#include "platform/ui/TableView.h"

namespace ferrolite::dialog {
namespace {

constexpr uint16_t kAnyImageType = 0xFF;
constexpr uint16_t kAutoColorBits = 0xC0;
constexpr uint16_t kRearBits = 0x80 | 0x20 | 0x08 | 0x02;
constexpr double kDefaultButtonWidening = 1.5;
constexpr ui::Seconds kShortPass{0.05};
// The key the original keyboard numbers 12, with the dialog's Control (Alt): reveal the folder.
constexpr char32_t kRevealKey = U'q';

std::string stateText(const foundation::Value& value) {
  if (auto text = value.string()) return *text;
  return std::to_string(value.integer().valueOr(0));
}

}  // namespace

MainDialog::MainDialog(ui::Application& application, BridgeObject_V2& bridge, DialogPaths paths,
                       ui::Toolkit* toolkit)
    : shared_(application, bridge, std::move(paths)), pages_(shared_), toolkit_(toolkit) {
  shared_.controllers = &pages_;
  shared_.toolkit = toolkit;
}

MainDialog::~MainDialog() {
  pages_.imprinter.releaseWindows();
  if (shared_.sheet) shared_.sheet.reset();
  if (shared_.drawer) shared_.drawer.reset();
  if (shared_.window) {
    shared_.window->setDelegate({});
    shared_.window.reset();
  }
}

// --- hand-over ---

void MainDialog::getExtraParam(const ExtraParam& extra) {
  shared_.curExtraParam = ExtraParam{};
  dialog::getExtraParam(extra, shared_.curExtraParam, shared_.longPage, shared_.globals);
}

void MainDialog::guiSetting(ScanSetting* record, PaperTbl* paperSizes, HandedAbility ability,
                            const std::string& scannerName, int32_t uiOnly,
                            const ScannerInfo& info) {
  shared_.handedRecord = record;
  shared_.mAllPaperSize = paperSizes;
  shared_.handedCurrent = shared_.globals.gUINewKrapi ? ability.current : nullptr;
  shared_.handedOlder = shared_.globals.gUINewKrapi ? nullptr : ability.older;
  shared_.handedName = scannerName;
  shared_.mUIOnly = uiOnly;
  shared_.mScannerInfo = info;
  shared_.mScannerInfo.flatbedScanCount = 0;  // the dialog keeps all but this one
}

ui::Window& MainDialog::window() {
  if (!setUpDone_) {
    setUpDone_ = true;
    setUp();
  }
  return *shared_.window;
}

void MainDialog::show(const std::string& title) {
  ui::Window& w = window();
  hostTold_ = false;
  w.setTitle(title);
  w.makeKeyAndOrderFront();
}

void MainDialog::hide() {
  if (shared_.window) shared_.window->orderOut();
}

// --- set-up ---

void MainDialog::buildWindows() {
  ui::Application& app = shared_.application;
  shared_.window = ui::buildWindow(app, mainWindowSpec(), shared_.strings);
  shared_.drawer = ui::buildWindow(app, previewDrawerSpec(), shared_.strings);
  shared_.drawer->setParentWindow(shared_.window.get());
  shared_.sheet = ui::buildWindow(app, diagnosticSheetSpec(), shared_.strings);
  wireFrame();
  if (toolkit_) {
    for (ui::Window* w : {shared_.window.get(), shared_.drawer.get(), shared_.sheet.get()}) {
      toolkit_->attach(*w);
    }
  }
  pages_.imprinter.buildWindows(toolkit_);
}

void MainDialog::setUp() {
  DialogShared& s = shared_;
  BridgeObject_V2& bridge = s.bridge;
  // The window description's texts are the language's (the set-up's language fetch, step 6).
  s.fetchLanguage();
  buildWindows();

  // 1. Drawer state and the custom colour.
  s.previewDrawerIsOpen = false;
  s.mColorRed = s.mColorGreen = s.mColorBlue = 128.0f / 255;
  s.mColorAlpha = 1.0f;
  // 2 to 4, 14. The bridge, the power limits, the OEM index, the millimetre values.
  handOverToBridge(bridge, s.globals, s.curExtraParam, s.handedRecord,
                   {s.handedCurrent, s.handedOlder}, s.handedName);
  s.DeviceName = kOemIndex;
  ScanSetting& r = s.record();
  // 5. A test sample cannot preview.
  if (bridge.mScannerName == "Test Sample") {
    s.inDrawer<ui::Button>("mButtonDrawerPreview").setEnabled(false);
    s.inDrawer<ui::Button>("mButtonDrawerPreviewPush").setEnabled(false);
  }
  // 7. Main button titles.
  pages_.info.titleMainButtons();
  auto& defaultButton = s.main<ui::Button>("mButtonDefault");
  // 8. Default is widened, its frame kept.
  s.mDefaultButtonRect = defaultButton.frame();
  defaultButton.setFrameSize(
      {s.mDefaultButtonRect.size.width * kDefaultButtonWidening, s.mDefaultButtonRect.size.height});
  // 9 to 11. Tab labels came with the description; the bookkeeping starts with all nine.
  s.pages = PageBook();
  hideOptionalPagesByRecord();
  // 12. A saved profile named by the record is applied before the pages read it.
  DialogDataSource& ds = *bridge.ds();
  if (loadProfileAtSetup(r, ds.availableProfile(), customProfileName(s.language()))) {
    ds.profileOperation(r.strProfile.view(), kProfileLoad);
  }
  // 13. Duplex.
  s.ScanMethodDuplex = s.ctx().ability().duplex() ? 1 : 0;
  s.imageTypes = std::make_unique<ImageTypeButtons>(r, bridge, s.ScanMethodDuplex != 0);
  // 15. The pages, in their fixed order.
  pages_.image.doImageTabInit();
  pages_.colorDrop.doColorDropTabInit();
  pages_.paper.doPaperTabInit();
  pages_.option.doOptionTabInit();
  pages_.info.doInfoTabInit();
  pages_.rotation.doRotationTabInit();
  pages_.imprinter.doImprinterTabInit();
  pages_.separation.doSeparationTabInit();
  pages_.image.initImageButtons();
  // 16, 17.
  pages_.image.selectPaperSizeOfRecord();
  s.main<ui::Button>("mButtonScan").setEnabled((r.wImageType & kAnyImageType) != 0);
  // 18. First tab, centred, in front.
  auto& tabs = s.main<ui::TabView>(kTabViewOutlet);
  tabs.selectItemAtIndex(0);
  s.window->center();
  s.window->makeKeyAndOrderFront();
  s.shiftPressed = s.commandPressed = false;
  // 19. The preview's limits.
  const AbilityView ability = s.ctx().ability();
  pages_.preview.setMaxScanArea(ability.maxWidth(r.bScanSource), ability.maxLength(r.bScanSource));
  pages_.preview.setMaxScanAreaFB(ability.flatbedMaxLength());
  pages_.preview.setMaxScanAreaADF(ability.adfMaxLength());
  // 20. The observers.
  registerObservers();
  // 21. The preview-result button.
  auto& result = s.inDrawer<ui::Button>("mPreviewResult");
  result.setContinuous(true);
  result.setState(ui::ButtonState::on);
  // 22, 23.
  multiFeedControls();
  pages_.separation.doSeparationTabInit();
  pages_.imprinter.doImprinterTabInit();
  // 24. The settings table and its caption.
  s.main<ui::View>("pSettingsView").setHidden(false);
  s.main<ui::Label>("mStaticSettingsTable").setHidden(false);
  s.main<ui::TableView>("pSettingsTableView").reloadData();
  // 25, 26.
  scanSourceAtSetUp(false);
  s.main<ui::TableView>("pInfoTabTableView")
      .setGridLines(ui::TableView::kHorizontalGridLines | ui::TableView::kVerticalGridLines);
}

void MainDialog::wireFrame() {
  DialogShared& s = shared_;
  ui::Window& w = *s.window;
  w.setDelegate({.shouldClose = {}, .willClose = [this](ui::Window&) {
                   // The close box asks the host to close the source; a close that follows
                   // Scan's OK or Cancel has told it already.
                   if (!hostTold_) shared_.bridge.ds()->closeDSRequest();
                   hostTold_ = false;
                 }});
  w.setKeyHandlers([this](ui::Window&, ui::Modifiers m) { flagsChanged(m); },
                   [this](ui::Window&, const ui::KeyEvent& key) { keyDown(key); });
  auto action = [](auto member, MainDialog* self) {
    return [self, member](ui::Control&) { (self->*member)(); };
  };
  s.main<ui::Button>("mButtonScan").setAction(action(&MainDialog::scanButton, this));
  s.main<ui::Button>("mButtonCancel").setAction(action(&MainDialog::cancelButton, this));
  s.main<ui::Button>("mButtonDefault").setAction(action(&MainDialog::defaultButton, this));
  s.main<ui::Button>("mButtonPreview").setAction(action(&MainDialog::previewDrawerButton, this));
  s.inDrawer<ui::Button>("mButtonDrawerPreview")
      .setAction(action(&MainDialog::previewButton, this));
  s.inDrawer<ui::Button>("mButtonDrawerPreviewPush")
      .setAction(action(&MainDialog::previewDrawerButton, this));
  s.sheet->get<ui::Button>("mButtonPropertyOK")
      .setAction(action(&MainDialog::propertyTabBarInfoOKButton, this));

  // The resolution popup shows mResValue through the transformer.
  s.main<ui::PopUpButton>("mPopupRes")
      .bindSelectedIndex(s.properties, "mResValue", &s.resolutionTransformer);
  // The preview-result button reports its presses to the colour drop-out page by notification.
  auto click = [this](ui::Button& button, int64_t down) {
    foundation::Dictionary info;
    info.set("Click", down);
    shared_.application.notifications().post(note::kClickPreviewResultButton, &button, info);
  };
  s.inDrawer<ui::Button>("mPreviewResult")
      .setMouseHandlers([click](ui::Button& b) { click(b, 1); },
                        [click](ui::Button& b) { click(b, 0); });
  // Every field takes the edit keys (Ctrl alone with x, c, v, a) and leaves the others.
  for (ui::Window* window : {s.window.get(), s.drawer.get(), s.sheet.get()}) {
    for (const auto& control : window->controls()) {
      if (auto* field = dynamic_cast<ui::TextField*>(control.get())) {
        field->handlers().performKeyEquivalent = &ui::TextField::standardEditKeys;
      }
    }
  }

  s.main<ui::TabView>(kTabViewOutlet)
      .setDelegate({.shouldSelect = {}, .didSelect = [this](ui::TabView&, ui::TabViewItem& item) {
                      tabDidSelect(item);
                    }});

  // The settings table: one row per optional page, its name and whether it is shown.
  auto& settings = s.main<ui::TableView>("pSettingsTableView");
  settings.setDataSource({.numberOfRows = [](ui::TableView&) { return kOptionalPageCount; },
                          .objectValue = [this](ui::TableView&, const ui::TableColumn& column,
                                                int row) -> foundation::Value {
                            if (column.identifier == "SettingName") {
                              return shared_.text(kSettingNames[row], kSettingNames[row]);
                            }
                            if (column.identifier == "check") {
                              return shared_.pages.settingStates()[row] == "1" ? 1 : 0;
                            }
                            return foundation::Value();
                          },
                          .setObjectValue =
                              [this](ui::TableView& table, const foundation::Value& value,
                                     const ui::TableColumn& column, int row) {
                                if (column.identifier != "check") return;
                                for (const TabChange& change : shared_.pages.settingsTableEdit(
                                         row, stateText(value), shared_.record().wTabWindow)) {
                                  applyTabChange(change);
                                }
                                table.reloadData();
                              }});
  ui::TableView::Delegate rows;
  rows.heightOfRow = [](ui::TableView&, int) -> double { return kRowHeight; };
  settings.setDelegate(rows);

  // The information table: names, values and reset buttons on alternating backgrounds.
  auto& info = s.main<ui::TableView>("pInfoTabTableView");
  info.setDataSource({.numberOfRows = [this](ui::TableView&) { return shared_.info.mInfoTabItems; },
                      .objectValue = [this](ui::TableView&, const ui::TableColumn& column,
                                            int row) -> foundation::Value {
                        if (row < 0 || row >= kInfoRows) return std::string();
                        if (column.identifier == "InfoTabName") {
                          return infoTableName(row, shared_.info.mInfoTabName[row]);
                        }
                        if (column.identifier == "InfoTabInfo") {
                          return infoTableInfo(row, shared_.info.mInfoTabInfo[row]);
                        }
                        return std::string();
                      },
                      .setObjectValue =
                          [this](ui::TableView& table, const foundation::Value&,
                                 const ui::TableColumn& column, int row) {
                            if (column.identifier == "InfoTabButton" && row >= 0 &&
                                row < kInfoRows) {
                              pages_.info.resetCounter(shared_.info.mInfoTabReset[row]);
                            }
                            table.reloadData();
                          }});
  ui::TableView::Delegate infoDelegate;
  infoDelegate.dataCell = [this](ui::TableView&, const ui::TableColumn& column,
                                 int row) -> std::optional<ui::CellSpec> {
    if (column.identifier == "InfoTabName" || column.identifier == "InfoTabInfo") {
      return ui::CellSpec{};
    }
    if (column.identifier != "InfoTabButton") return ui::CellSpec{.kind = ui::CellKind::none};
    if (row >= 0 && row < kInfoRows && shared_.info.mInfoTabReset[row] != 0) {
      return ui::CellSpec{.kind = ui::CellKind::button,
                          .title = shared_.info.mInfoTabResetStr,
                          .allowsMixedState = true};
    }
    return ui::CellSpec{};
  };
  infoDelegate.willDisplayCell = [this](ui::TableView&, ui::Cell& cell, const ui::TableColumn&,
                                        int row) {
    const RowColour c = infoRowColour(row, shared_.info.mInfoTabItems);
    cell.drawsBackground = true;
    cell.background = ui::Color::rgb(static_cast<float>(c.red), static_cast<float>(c.green),
                                     static_cast<float>(c.blue), static_cast<float>(c.alpha));
  };
  infoDelegate.heightOfRow = rows.heightOfRow;
  info.setDelegate(std::move(infoDelegate));
}

void MainDialog::hideOptionalPagesByRecord() {
  for (const TabChange& change : shared_.pages.hideByTabWindow(shared_.record().wTabWindow)) {
    applyTabChange(change);
  }
}

void MainDialog::applyTabChange(const TabChange& change) {
  ui::Window& w = *shared_.window;
  auto& tabs = w.get<ui::TabView>(kTabViewOutlet);
  ui::TabViewItem* item =
      w.tabViewItem(kTabItems[kOptionalPageNumbers[change.optionalPage]].outlet);
  if (!item) return;
  if (change.kind == TabChange::Removed) {
    tabs.removeItem(*item);
  } else {
    tabs.insertItem(*item, static_cast<std::size_t>(change.position));
  }
}

void MainDialog::registerObservers() {
  ui::NotificationCenter& centre = shared_.application.notifications();
  for (std::string_view name : kObserverRegistrationOrder) {
    centre.addObserver(std::string(name), nullptr,
                       [this, name](const ui::Notification& notification) {
                         if (notification.name != name) return;
                         pages_.notified(name, notification);
                       });
    shared_.observedNames.emplace_back(name);
  }
}

void MainDialog::multiFeedControls() {
  const MultiFeedVisibility v = multiFeedVisibility(shared_.ctx().ability());
  shared_.main<ui::Box>("mBoxMultiFeedGroup").setHidden(!v.boxShown);
  shared_.main<ui::Button>("mButtonUltraSonic").setHidden(!v.ultrasonicShown);
  for (std::string_view outlet :
       {"mButtonAdditionDetect", "mTextFieldAdditionDetect", "mStepperAdditionDetect"}) {
    shared_.window->get<ui::Control>(outlet).setHidden(!v.additionalShown);
  }
}

void MainDialog::scanSourceAtSetUp(bool atDefault) {
  ScanSetting& r = shared_.record();
  auto& ultrasonic = shared_.main<ui::Button>("mButtonUltraSonic");
  auto& split = shared_.main<ui::PopUpButton>("mPopupSplitImage");
  const uint8_t source = r.bScanSource;
  const bool duplex = shared_.ScanMethodDuplex != 0;
  if (source == kSourceFlatbed || source == kSourceMergeTwoSides) {
    ultrasonic.setEnabled(false);
    pages_.image.imageTypeButtonSetState(false, source == kSourceMergeTwoSides);
    split.setEnabled(source == kSourceFlatbed);
    return;
  }
  ultrasonic.setEnabled(r.bCarrierSheet == 0);
  if ((r.wImageType & kAutoColorBits) == 0) pages_.image.imageTypeButtonSetState(true, false);
  if (atDefault) {
    pages_.image.imageTypeButtonSetState(duplex, false);
    split.setEnabled(true);
  } else if (duplex) {
    pages_.image.imageTypeButtonSetState(true, false);
  } else {
    // A simplex device has no rear images, whatever the record says.
    pages_.image.imageTypeButtonSetState(false, false);
    for (ImageRow row : {ImageRow::Image, ImageRow::DropC}) {
      for (ImageKind kind :
           {ImageKind::AutoColor, ImageKind::Color, ImageKind::Gray, ImageKind::BW}) {
        shared_.imageTypes->at(row, kind, Side::Rear).check.on = false;
      }
    }
    r.wImageType &= static_cast<uint16_t>(~kRearBits);
    pages_.image.showImageTypeButtons();
  }
}

// --- changing page ---

void MainDialog::tabDidSelect(ui::TabViewItem& item) {
  DialogShared& s = shared_;
  if (!s.imageTypes) return;  // not yet set up: the window is still being built
  ScanSetting& r = s.record();
  const std::string& id = item.identifier();
  s.mKriTabSetting = 0;
  // The information page changes no setting: Default and the preview leave; Scan and Exit stay,
  // so that the user can still scan or close the dialog from there.
  const bool onInfo = id == kTabItems[8].identifier;
  for (std::string_view outlet : {"mButtonDefault", "mButtonPreview"}) {
    s.window->get<ui::Control>(outlet).setHidden(onInfo);
  }
  s.inDrawer<ui::Button>("mButtonDrawerPreviewPush").setHidden(onInfo);
  auto& paperPopup = s.main<ui::PopUpButton>("mPopupPaperTabPaperSize");
  if (id == kTabItems[1].identifier) {
    if (auto mode = s.imageTypes->dropColorPageSelection()) pages_.image.selectImageType(*mode);
    pages_.image.dropColorSetImageButtons();
    if (r.bScanSource == kSourceMergeTwoSides) paperPopup.setEnabled(false);
  } else if (id == kTabItems[0].identifier) {
    if (s.imageTypes->check(ImageRow::Image, 6).on) {
      pages_.image.selectImageType(6);
      if (r.bScanSource == kSourceMergeTwoSides) paperPopup.setEnabled(false);
    }
    auto& field = s.main<ui::TextField>("mTextFieldResValue");
    if (!field.text().empty() && std::atoi(field.text().c_str()) < kMinimumResolution) {
      field.setText(std::to_string(kMinimumResolution));
    }
  } else if (id == kTabItems[2].identifier) {
    DialogContext ctx = s.ctx();
    const PaperPageEntry entry = raiseToMinimumOnPaperPage(ctx);
    if (entry.lengthText) s.main<ui::TextField>("mTextFieldLength").setText(*entry.lengthText);
    if (entry.widthText) s.main<ui::TextField>("mTextFieldWidth").setText(*entry.widthText);
  } else if (id == kTabItems[7].identifier) {
    pages_.imprinter.showSampleString();
  } else if (onInfo) {
    pages_.info.doInfoTabInit();
  } else if (id == kTabItems[6].identifier) {
    s.mKriTabSetting = 1;
  }
  pages_.option.checkEdgeFillRange();
}

// --- main buttons ---

void MainDialog::checkResolutionBoundary() { pages_.image.checkResolutionBoundary(); }

void MainDialog::commitTypedValues() {
  checkResolutionBoundary();
  // A value still being typed ends its editing and is stored by its field.
  for (std::string_view outlet :
       {"mTextFieldXOffset", "mTextFieldYOffset", "mTextFieldWidth", "mTextFieldLength"}) {
    shared_.window->makeFirstResponder(&shared_.main<ui::TextField>(outlet));
  }
  DialogContext ctx = shared_.ctx();
  dialog::commitTypedValues(ctx);
  pages_.image.reCheckImageTypeStatus();
}

void MainDialog::scanButton() {
  DialogShared& s = shared_;
  if (!pages_.option.checkEdgeFillRange()) return;
  DialogDataSource& ds = *s.bridge.ds();
  if (ds.checkScanParams() != 0) return;
  if (s.main<ui::TextField>("mTextFieldResValue").text().empty()) {
    ui::Alert alert(s.application);
    alert.setMessageText("");
    alert.setInformativeText(s.text("Err116", "Err116?"));
    alert.addButton(s.text("OK", "OK"));
    alert.setIcon(s.paths.resourceFolder / "transparent.icns");
    alert.runModal();
    return;
  }
  commitTypedValues();
  if (s.mUIOnly) {
    ds.closeDSOK();
    closeAfterHostTold();
    return;
  }
  if (s.mKriTabSetting && s.curExtraParam.photoshopFamily) {
    s.main<ui::TabView>(kTabViewOutlet).selectItemAtIndex(0);
  }
  ds.xferReady();
}

void MainDialog::cancelButton() {
  DialogShared& s = shared_;
  DialogDataSource& ds = *s.bridge.ds();
  if (s.commandPressed) ds.printDebugLog(true);
  if (s.shiftPressed) ds.printDebugLog(false);
  commitTypedValues();
  ds.closeDSRequest();
  closeAfterHostTold();
}

void MainDialog::closeAfterHostTold() {
  hostTold_ = true;
  shared_.window->close();
  hostTold_ = false;
}

void MainDialog::previewButton() {
  DialogShared& s = shared_;
  ScanSetting& r = s.record();
  setMainButtonsStatus(false);
  if (r.bScanSource == kSourceAutomatic) {
    pages_.preview.setRetangleRect(r.wXPos, r.wYPos, r.wWidth, r.wLength);
  }
  s.bridge.ds()->previewScan();
  if (pages_.preview.showPreviewFile(s.previewFile())) {
    s.globals.gPreviewResult = true;
    pages_.colorDrop.setColorDropTabItems(s.bridge.mScanModeSideSelect);
  }
  setMainButtonsStatus(true);
}

void MainDialog::previewDrawerButton() {
  DialogShared& s = shared_;
  auto& result = s.inDrawer<ui::Button>("mPreviewResult");
  auto& eyeDropper = s.inDrawer<ui::Button>("mEyeDropperClick");
  if (s.previewDrawerIsOpen) {
    s.drawer->closeDrawer();
    s.previewDrawerIsOpen = false;
    result.setEnabled(false);
    eyeDropper.setEnabled(false);
  } else {
    s.drawer->openDrawer();
    s.previewDrawerIsOpen = true;
    const bool preview = pages_.colorDrop.previewFileExist();
    result.setEnabled(preview);
    eyeDropper.setEnabled(preview);
    if (preview) pages_.colorDrop.setColorDropTabItems(s.bridge.mScanModeSideSelect);
  }
  checkResolutionBoundary();
}

void MainDialog::setMainButtonsStatus(bool enabled) {
  ui::UiQueue& queue = *shared_.application.services().queue;
  if (queue.onUiThread()) {
    setMainButtonsStatusHere(enabled);
  } else {
    queue.performAndWait([this, enabled] { setMainButtonsStatusHere(enabled); });
  }
}

void MainDialog::setMainButtonsStatusHere(bool enabled) {
  if (!shared_.window) return;
  shared_.main<ui::Button>("mButtonScan").setEnabled(enabled);
  shared_.inDrawer<ui::Button>("mButtonDrawerPreview").setEnabled(enabled);
  shared_.main<ui::Button>("mButtonCancel").setEnabled(enabled);
  // The disabled buttons are drawn before the long work that follows; no click gets in.
  if (!enabled) shared_.application.runShortPass(kShortPass);
}

void MainDialog::deletePreviewImageFile() { pages_.preview.deletePreviewImageFile(); }

void MainDialog::defaultButton() {
  DialogShared& s = shared_;
  if (s.commandPressed) {
    openDiagnosticSheet();
    return;
  }
  ScanSetting& r = s.record();
  DialogDataSource& ds = *s.bridge.ds();
  ds.readSetting(std::nullopt, true);
  r.strProfile = SharedText(customProfileName(s.language()));
  pages_.image.doImageTabInit();
  pages_.colorDrop.doColorDropTabInit();
  pages_.preview.removeMouseTrackingArea();
  s.inDrawer<ui::Button>("mEyeDropperClick").setState(ui::ButtonState::off);
  pages_.preview.EnableEyeDropperCursor(false);
  pages_.paper.doPaperTabInit();
  pages_.option.doOptionTabInit();
  pages_.info.doInfoTabInit();
  pages_.image.restoreImageTypeDefaults();
  pages_.rotation.doRotationTabInit();
  pages_.imprinter.doImprinterTabInit();
  pages_.separation.doSeparationTabInit();
  if (ui::ArrayController* rows = s.window->arrayController("mScaModeSideController")) {
    rows->setSelectionIndex(4);
  }
  s.properties.set("mResValue", static_cast<int64_t>(r.wBWRes));
  pages_.image.selectImageType(4);
  s.main<ui::Button>("mButtonScan").setEnabled(true);
  s.main<ui::Label>("mStaticFilterThresh").setTextColor(ui::Color::darkGray());
  s.main<ui::Slider>("mSliderFilterThresh").setEnabled(false);
  s.main<ui::Slider>("mSliderBackLevel").setEnabled(false);
  deletePreviewImageFile();
  // Pages the user hid stay hidden; Default never shows one. The settings table shows the
  // pages as they now are.
  hideOptionalPagesByRecord();
  s.main<ui::TableView>("pSettingsTableView").reloadData();
  scanSourceAtSetUp(true);
  capLongPageAfterDefault(s.longPage, s.curExtraParam);
}

// --- the diagnostic sheet ---

void MainDialog::openDiagnosticSheet() {
  DialogShared& s = shared_;
  const DiagnosticSheet d = dialog::openDiagnosticSheet(s.ctx());
  s.window->beginSheet(*s.sheet);
  ui::ToolBar& toolbar = *s.sheet->toolbar();
  toolbar.setDelegate([this](const std::string& id) -> std::optional<ui::ToolBar::ItemSpec> {
    return ui::ToolBar::ItemSpec{
        .label = shared_.text(id, id),
        .action = [this](ui::ToolBar&, const std::string& item) { showDiagnosticPanel(item); }};
  });
  for (std::size_t i = toolbar.items().size(); i-- > 0;) toolbar.removeItemAt(i);
  for (std::size_t i = 0; i < d.toolbarItems.size(); ++i) {
    toolbar.insertItem(std::string(d.toolbarItems[i]), i);
  }
  showDiagnosticPanel(d.selectedItem);
  toolbar.setSelectedItemIdentifier(std::string(d.selectedItem));
  s.commandPressed = false;
}

void MainDialog::showDiagnosticPanel(std::string_view item) {
  const std::optional<DiagnosticPanelFill> fill = dialog::showDiagnosticPanel(shared_.ctx(), item);
  if (!fill) return;
  for (const DiagnosticPanelItem& panel : diagnosticPanelItems(shared_.globals.gUINewKrapi)) {
    shared_.sheet->get<ui::View>(panel.view).setHidden(panel.view != fill->view);
  }
  for (const DiagnosticPanelItem& panel : diagnosticPanelItems(!shared_.globals.gUINewKrapi)) {
    shared_.sheet->get<ui::View>(panel.view).setHidden(true);
  }
  fillDiagnosticPanel(*shared_.sheet, *fill,
                      [this](int index) { return selectScannerCapability(shared_.ctx(), index); });
}

void MainDialog::propertyTabBarInfoOKButton() {
  shared_.window->endSheet(*shared_.sheet);
  shared_.sheet->orderOut();
}

// --- keys ---

void MainDialog::flagsChanged(ui::Modifiers m) {
  DialogShared& s = shared_;
  s.controlPressed = s.shiftPressed = s.commandPressed = false;
  if (m & (ui::kShift | ui::kCapsLock)) {
    s.shiftPressed = true;
  } else if (m & ui::kAlt) {
    s.controlPressed = true;
  } else if (m & ui::kCtrl) {
    s.commandPressed = true;
  }
}

void MainDialog::keyDown(const ui::KeyEvent& key) {
  if (key.character == kRevealKey && shared_.controlPressed) {
    shared_.application.services().fileViewer->reveal(shared_.paths.bundleFolder);
  }
}

}  // namespace ferrolite::dialog
