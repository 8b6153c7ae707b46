// The image page on the widget layer: its controls wired to the page's rules (image types,
// mode/side rows, tone controls, resolution, paper list, scan source, profiles).
#include <system_error>

#include "ds/dialog/ModeResolution.h"
#include "ds/dialog/Notifications.h"
#include "ds/dialog/frame/Commit.h"
#include "ds/dialog/frame/PageControllers.h"
#include "ds/dialog/frame/Profiles.h"
#include "ds/dialog/image/Resolution.h"
#include "ds/dialog/image/ScanSource.h"
#include "ds/dialog/paper/PaperPage.h"
#include "ds/dialog/window/ImagePageSpec.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Menu.h"
#include "platform/ui/TableView.h"

namespace ferrolite::dialog {
namespace {

constexpr int kModeAutoFront = 6;
constexpr int kLastFixedMode = 5;  // modes 6 and 7 (automatic colour) keep mResValue as it is
constexpr ImageRow kImageRows[] = {ImageRow::Image, ImageRow::DropC};
constexpr ImageKind kImageKinds[] = {ImageKind::AutoColor, ImageKind::Color, ImageKind::Gray,
                                     ImageKind::BW};
constexpr Side kSides[] = {Side::Front, Side::Rear};
constexpr char kSettingsFile[] = "krscan.plist";
constexpr char kAlertIcon[] = "transparent.icns";
constexpr char kUntitledProfile[] = "Untitled";
constexpr ui::Size kProfileNameFieldSize{300, 24};

std::string imageTypeOutlet(ImageRow row, ImageKind kind, Side side, bool check) {
  std::string name = std::string(kImageTypeRowPrefixes[static_cast<int>(row)]) +
                     std::string(kImageTypeKinds[static_cast<int>(kind)]) +
                     std::string(kImageTypeSides[static_cast<int>(side)]);
  return check ? name + "Check" : name;
}

ui::Color labelColour(bool on) { return on ? ui::Color::black() : ui::Color::darkGray(); }

foundation::Value postValue(const PostValue& v) {
  return std::visit([](const auto& x) { return foundation::Value(x); }, v);
}

}  // namespace

// --- wiring ---

void ImageTab::wire() {
  if (wired_) return;
  wired_ = true;
  ui::Window& w = *s_.window;
  for (ImageRow row : kImageRows) {
    for (ImageKind kind : kImageKinds) {
      for (Side side : kSides) {
        const int mode = modeOf(kind, side);
        w.get<ui::Button>(imageTypeOutlet(row, kind, side, false))
            .setAction([this, mode](ui::Control&) { selectImageType(mode); });
        w.get<ui::Button>(imageTypeOutlet(row, kind, side, true))
            .setAction([this, mode](ui::Control& c) {
              imageTypeCheck(mode, static_cast<ui::Button&>(c).isOn());
            });
      }
    }
  }
  auto action = [this](void (ImageTab::*member)()) {
    return [this, member](ui::Control&) { (this->*member)(); };
  };
  auto& rows = *w.arrayController("mScaModeSideController");
  auto& table = s_.main<ui::TableView>("pImageTabTableView");
  table.bindContent(rows);
  ui::TableView::Delegate delegate;
  delegate.shouldSelectRow = [this](ui::TableView&, int row) {
    return modeSideRowSelectable(row, s_.ScanMethodDuplex != 0, s_.record().bScanSource);
  };
  table.setDelegate(std::move(delegate));
  rows.observe([this](ui::ArrayController&, ui::ArrayController::Change change) {
    if (change == ui::ArrayController::Change::row && !showingRows_) modeSideRowsEdited();
  });
  auto& papers = *w.arrayController("mPaperNameController");
  s_.main<ui::PopUpButton>("mPopupPaperSize").bindContent(papers, "mName");
  s_.main<ui::PopUpButton>("mPopupPaperTabPaperSize").bindContent(papers, "mName");
  s_.main<ui::PopUpButton>("mPopupPaperSize").setAction(action(&ImageTab::imageTabPaperSelect));

  s_.main<ui::PopUpButton>("mPopupDocuTypeBinarization")
      .bindSelectedIndex(s_.properties, "mDocuType");
  s_.main<ui::PopUpButton>("mPopupDocuTypeBinarization")
      .setAction(action(&ImageTab::imageTabDocuType));
  s_.main<ui::Slider>("mSliderThreshSense").bindValue(s_.properties, "mThreshSense");
  s_.main<ui::Slider>("mSliderThreshSense").setAction(action(&ImageTab::imageTabThresh));
  s_.main<ui::Slider>("mSliderBrightness").bindValue(s_.properties, "mBrightnessValue");
  s_.main<ui::Slider>("mSliderBrightness").setAction(action(&ImageTab::imageTabBrightness));
  s_.main<ui::Slider>("mSliderContrast").bindValue(s_.properties, "mContrastValue");
  s_.main<ui::Slider>("mSliderContrast").setAction(action(&ImageTab::imageTabContrast));
  s_.main<ui::PopUpButton>("mPopupInvert").setAction(action(&ImageTab::imageTabInvert));
  s_.main<ui::PopUpButton>("mPopupColorMatching")
      .setAction(action(&ImageTab::imageTabColorMatchingAction));
  s_.main<ui::Button>("mButtonMergeOption").setAction(action(&ImageTab::imageTabMergeOption));
  s_.main<ui::PopUpButton>("mPopupRes").setAction(action(&ImageTab::imageTabResPopup));
  s_.main<ui::Stepper>("mStepperRes").bindValue(s_.properties, "mResValue");
  s_.main<ui::Stepper>("mStepperRes").setAction(action(&ImageTab::imageTabResStepper));
  wireResolutionField();
  s_.main<ui::PopUpButton>("mPopupScanSource")
      .setAction(action(&ImageTab::imageTabScanSourceAction));
  s_.main<ui::PopUpButton>("mPopupProfile").setAction(action(&ImageTab::imageTabProfileAction));
  s_.main<ui::Button>("mButtonAddProfile").setAction(action(&ImageTab::imageTabAddProfileAction));
  s_.main<ui::Button>("mButtonDeleteProfile")
      .setAction(action(&ImageTab::imageTabDeleteProfileAction));
}

void ImageTab::wireResolutionField() {
  auto& field = s_.main<ui::TextField>("mTextFieldResValue");
  auto post = [this](const Posts& posts, const ui::TextField& sender) {
    for (const Post& p : posts) {
      foundation::Dictionary info;
      for (const auto& [key, value] : p.userInfo) info.set(key, postValue(value));
      s_.application.notifications().post(p.name, &sender, std::move(info));
    }
  };
  ui::TextField::Handlers& h = field.handlers();
  h.didChange = [this, post](ui::TextField& f) {
    DialogContext ctx = s_.ctx();
    const FieldResult r = resolutionFieldChanged({}, f.text(), ctx);
    if (r.editorText) f.setText(*r.editorText);
    post(r.posts, f);
  };
  h.shouldEndEditing = [this](ui::TextField& f) {
    DialogContext ctx = s_.ctx();
    if (auto refill = resolutionFieldShouldEnd(f.text(), ctx)) f.setText(*refill);
    return true;
  };
  h.didEndEditing = [this, post](ui::TextField& f, ui::TextMovement) {
    DialogContext ctx = s_.ctx();
    const FieldResult r = resolutionFieldEnded(f.text(), ctx);
    if (r.editorText) f.setText(*r.editorText);
    post(r.posts, f);
  };
}

// --- page build and per-mode refresh ---

void ImageTab::doImageTabInit() {
  wire();
  ScanSetting& r = s_.record();
  const LanguageBundle& lang = s_.language();
  DialogContext ctx = s_.ctx();
  // 1. The image-type buttons' titles.
  for (ImageRow row : kImageRows) {
    for (ImageKind kind : kImageKinds) {
      for (Side side : kSides) {
        const std::string_view key =
            kImageTypeTitles[static_cast<int>(kind)][static_cast<int>(side)];
        s_.main<ui::Button>(imageTypeOutlet(row, kind, side, false)).setTitle(s_.text(key, key));
      }
    }
  }
  // 2. The mode/side rows; on a two-sided scanner the checked rows check their buttons.
  if (ui::ArrayController* rows = s_.window->arrayController("mScaModeSideController");
      rows && rows->count() > 0) {
    rows->setSelectionIndex(rows->count() - 1);
  }
  rows_ = buildModeSideRows(r, s_.ScanMethodDuplex != 0, lang);
  if (s_.ScanMethodDuplex) s_.imageTypes->checksFromRecordBits();
  showRows();
  // 3.
  s_.main<ui::Button>("mButtonScan").setEnabled(r.wImageType != 0);
  // 4. Labels and the resolution menu's custom entry.
  s_.main<ui::Label>("mStaticBrightness").setText(s_.text("Brightness", "Brightness?"));
  s_.main<ui::Label>("mStaticContrast").setText(s_.text("Contrast", "Contrast?"));
  s_.main<ui::Label>("mStaticRes").setText(s_.text("Resolution", "Resolution?"));
  auto& res = s_.main<ui::PopUpButton>("mPopupRes");
  if (res.numberOfItems() > kCustomResolutionIndex) {
    res.itemAt(kCustomResolutionIndex).setTitle(s_.text("Custom", "Custom?"));
  }
  // 5. Invert.
  s_.main<ui::Label>("mStaticInvert").setText(s_.text("Invert", "Invert?"));
  auto& invert = s_.main<ui::PopUpButton>("mPopupInvert");
  invert.removeAllItems();
  invert.addItemWithTitle(s_.text("BlackonWhite", "BlackonWhite?"));
  invert.addItemWithTitle(s_.text("WhiteonBlack", "WhiteonBlack?"));
  // 6. Paper size.
  s_.main<ui::Label>("mStaticPaperSize").setText(s_.text("PageSize", "PageSize?"));
  scanPageInit();
  // 7. Scan source.
  s_.main<ui::Label>("mStaticScanSource").setText(s_.text("ScanSource", "ScanSource?"));
  const SourceMenu menu = scanSourceMenu(ctx.ability(), s_.curExtraParam.mergeSides, r.bScanSource);
  auto& source = s_.main<ui::PopUpButton>("mPopupScanSource");
  source.removeAllItems();
  for (const SourceItem& item : menu.items) {
    source.addItemWithTitle(s_.text(item.key, item.key + "?"))
        .setRepresentedObject(static_cast<int64_t>(item.value));
  }
  if (!menu.items.empty()) source.selectItemAtIndex(static_cast<int>(menu.selected));
  source.setHidden(menu.hidden);
  s_.main<ui::Label>("mStaticScanSource").setHidden(menu.hidden);
  // 8. Profiles.
  s_.main<ui::Label>("mStaticProfile").setText(s_.text("Profile", "Profile?"));
  fillProfilePopup();
  // 9. Colour matching, where the data source offers it.
  const bool matching = s_.curExtraParam.enableChromalis;
  s_.main<ui::Label>("mStaticColorMatching").setHidden(!matching);
  auto& colorMatching = s_.main<ui::PopUpButton>("mPopupColorMatching");
  colorMatching.setHidden(!matching);
  if (matching) {
    s_.main<ui::Label>("mStaticColorMatching").setText(s_.text("ColorMatch", "ColorMatch?"));
    colorMatching.removeAllItems();
    for (const char* key : {"None", "Photo", "Document", "Mix"}) {
      colorMatching.addItemWithTitle(s_.text(key, key));
    }
  }
  // 10. Colour drop-out applies to grey and black-and-white only.
  for (ImageKind kind : {ImageKind::AutoColor, ImageKind::Color}) {
    for (Side side : kSides) s_.imageTypes->at(ImageRow::DropC, kind, side).button.enabled = false;
  }
  showImageTypeButtons();
  // 11. Merge option.
  auto& merge = s_.main<ui::Button>("mButtonMergeOption");
  merge.setTitle(s_.text("Merge Vertically", "Merge Vertically"));
  merge.setState(r.bMergeOption ? ui::ButtonState::on : ui::ButtonState::off);
  merge.setHidden(r.bScanSource != kSourceMergeTwoSides);
}

void ImageTab::setImageTabItems(int64_t mode) {
  DialogContext ctx = s_.ctx();
  showModeControls(
      dialog::setImageTabItems(ctx, mode, s_.language(), s_.languageId, *s_.imageTypes));
}

namespace {
void showSlider(DialogShared& s, std::string_view label, std::string_view outlet,
                std::string_view key, const SliderRow& row) {
  auto& l = s.main<ui::Label>(label);
  auto& slider = s.main<ui::Slider>(outlet);
  if (row.labelKey) l.setText(s.text(*row.labelKey, *row.labelKey + "?"));
  if (row.minimum) slider.setMinValue(static_cast<double>(*row.minimum));
  if (row.maximum) slider.setMaxValue(static_cast<double>(*row.maximum));
  if (row.on) {
    slider.setEnabled(*row.on);
    l.setTextColor(labelColour(*row.on));
  }
  if (row.value) s.properties.set(std::string(key), *row.value);
}

void showSliders(DialogShared& s, const ImageModeControls& c) {
  showSlider(s, "mStaticThreshSense", "mSliderThreshSense", "mThreshSense", c.threshold);
  showSlider(s, "mStaticBrightness", "mSliderBrightness", "mBrightnessValue", c.brightness);
  showSlider(s, "mStaticContrast", "mSliderContrast", "mContrastValue", c.contrast);
}
}  // namespace

void ImageTab::showModeControls(const ImageModeControls& c) {
  auto& docLabel = s_.main<ui::Label>("mStaticDocuTypeBinarization");
  auto& doc = s_.main<ui::PopUpButton>("mPopupDocuTypeBinarization");
  if (c.docTypeLabelKey) docLabel.setText(s_.text(*c.docTypeLabelKey, *c.docTypeLabelKey + "?"));
  doc.removeAllItems();
  for (const std::string& title : c.docTypeItems) doc.addItemWithTitle(title);
  doc.setEnabled(c.docTypeEnabled);
  docLabel.setTextColor(labelColour(c.docTypeEnabled));
  if (c.docTypeSelected) s_.properties.set("mDocuType", *c.docTypeSelected);
  showSliders(s_, c);
  s_.main<ui::PopUpButton>("mPopupInvert").selectItemAtIndex(static_cast<int>(c.invert));
  s_.main<ui::Label>("mStaticColorMatching").setTextColor(labelColour(c.colorMatchingEnabled));
  auto& matching = s_.main<ui::PopUpButton>("mPopupColorMatching");
  matching.setEnabled(c.colorMatchingEnabled);
  if (c.colorMatching) matching.selectItemAtIndex(static_cast<int>(*c.colorMatching));
  s_.main<ui::TextField>("mTextFieldResValue").setText(c.resolutionText);
  s_.properties.set("mResValue", static_cast<int64_t>(c.resolution));
  s_.main<ui::Label>("mStaticRes").setTextColor(labelColour(c.resolutionEnabled));
  for (std::string_view outlet : {"mPopupRes", "mTextFieldResValue", "mStepperRes"}) {
    s_.window->get<ui::Control>(outlet).setEnabled(c.resolutionEnabled);
  }
}

// --- the image-type buttons ---

void ImageTab::showImageTypeButtons() {
  for (ImageRow row : kImageRows) {
    for (ImageKind kind : kImageKinds) {
      for (Side side : kSides) {
        const TypeControls& t = s_.imageTypes->at(row, kind, side);
        for (bool check : {false, true}) {
          const Toggle& state = check ? t.check : t.button;
          auto& button = s_.main<ui::Button>(imageTypeOutlet(row, kind, side, check));
          button.setState(state.on ? ui::ButtonState::on : ui::ButtonState::off);
          button.setEnabled(state.enabled);
        }
      }
    }
  }
  // The mode/side table names the same types: it follows every change of them.
  checkModeSideRows(rows_, s_.record(), s_.ScanMethodDuplex != 0);
  showRows();
}

void ImageTab::initImageButtons() {
  perform(s_.imageTypes->initImageButtons());
  showImageTypeButtons();
}

void ImageTab::imageTypeButtonSetState(bool rearEnabled, bool mergeTwoSides) {
  s_.imageTypes->setState(rearEnabled, mergeTwoSides);
  showImageTypeButtons();
}

void ImageTab::reCheckImageTypeStatus() { s_.imageTypes->reCheckImageTypeStatus(); }

void ImageTab::dropColorSetImageButtons() {
  s_.imageTypes->dropColorSetImageButtons();
  showImageTypeButtons();
}

void ImageTab::selectImageType(int mode) {
  perform(s_.imageTypes->select(mode));
  showImageTypeButtons();
}

void ImageTab::imageTypeCheck(int mode, bool on) {
  perform(s_.imageTypes->checkChanged(mode, on));
  showImageTypeButtons();
}

void ImageTab::restoreImageTypeDefaults() {
  perform(s_.imageTypes->restoreDefaults());
  showImageTypeButtons();
}

void ImageTab::perform(const Calls& calls) {
  DialogPages& pages = *s_.controllers;
  ScanSetting& r = s_.record();
  for (const Call& call : calls) {
    switch (call.what) {
      case PageCall::selectModeSideRow:
        selectModeSideRow(call.a);
        break;
      case PageCall::setImageTabItems:
        setImageTabItems(call.a);
        break;
      case PageCall::paperSizeInitial:
        paperSizeInitial();
        break;
      case PageCall::setColorDropTabItems:
        pages.colorDrop.setColorDropTabItems(call.a);
        break;
      case PageCall::setNoiseAttribute:
        // The noise captions and controls (the enhancement page's), where the window has them.
        for (std::string_view outlet : {"mStaticNoiseNumber", "mStaticNoiseRadius"}) {
          if (auto* label = s_.window->find<ui::Label>(outlet)) {
            label->setTextColor(labelColour(call.a != 0));
          }
        }
        for (std::string_view outlet : {"mTextFieldNoiseNumber", "mTextFieldNoiseRadius",
                                        "mStepperNoiseNumber", "mStepperNoiseRadius"}) {
          if (auto* control = s_.window->find(outlet)) control->setEnabled(call.a != 0);
        }
        break;
      case PageCall::changePixelByResolution:
        changePixelByResolution();
        break;
      case PageCall::checkResolutionBoundary:
        checkResolutionBoundary();
        break;
      case PageCall::enableResolutionControls:
        s_.main<ui::Label>("mStaticRes").setTextColor(ui::Color::black());
        for (std::string_view outlet : {"mPopupRes", "mTextFieldResValue", "mStepperRes"}) {
          s_.window->get<ui::Control>(outlet).setEnabled(true);
        }
        break;
      case PageCall::checkOldAvapiPaperSize:
        checkOldAvapiPaperSize();
        break;
      case PageCall::switch2CustomProfile:
        switch2CustomProfile();
        break;
      case PageCall::doImageTabInit:
        doImageTabInit();
        break;
      case PageCall::setResValue:
        setResValue(call.a);
        break;
      case PageCall::scanPageChangeCheck:
        scanPageChangeCheck();
        break;
      case PageCall::deletePreviewImageFile:
        pages.preview.deletePreviewImageFile();
        break;
      case PageCall::setMaxScanArea:
        pages.preview.setMaxScanArea(static_cast<uint32_t>(call.a), static_cast<uint32_t>(call.b));
        break;
      case PageCall::setPreviewRect:
        pages.preview.setRetangleRect(r.wXPos, r.wYPos, r.wWidth, r.wLength);
        break;
      case PageCall::doPaperTabInit:
        pages.paper.doPaperTabInit();
        break;
      case PageCall::enableFlipSide:
        pages.rotation.enableFlipSide();
        break;
      case PageCall::setBackgroundSettingState:
        pages.option.setBackgroundSettingState(call.a != 0);
        break;
    }
  }
}

// --- mode/side rows ---

void ImageTab::showRows() {
  ui::ArrayController* rows = s_.window->arrayController("mScaModeSideController");
  std::vector<ui::ArrayController::Row> content;
  for (const ScanModeSideSetting& row : rows_) {
    ui::ArrayController::Row d;
    d.set("mName", row.mName);
    d.set("mCheck", row.mCheck);
    d.set("mEnabled", row.mEnabled);
    content.push_back(std::move(d));
  }
  showingRows_ = true;
  rows->setContent(std::move(content));
  showingRows_ = false;
}

void ImageTab::modeSideRowsEdited() {
  ui::ArrayController* rows = s_.window->arrayController("mScaModeSideController");
  for (std::size_t i = 0; i < rows_.size() && i < rows->count(); ++i) {
    rows_[i].mCheck = rows->row(i).integer("mCheck").valueOr(0) != 0 ? 1 : 0;
  }
  const bool scan = reconcileModeSideRows(rows_, s_.record(), s_.ScanMethodDuplex != 0);
  // The check boxes name the same types: they follow the table as it follows them.
  s_.imageTypes->checksFollowRecordBits();
  showImageTypeButtons();
  s_.main<ui::Button>("mButtonScan").setEnabled(scan);
  switch2CustomProfile();
}

void ImageTab::selectModeSideRow(int64_t row) {
  if (row < 0) return;
  s_.window->arrayController("mScaModeSideController")->setSelectionIndex(std::size_t(row));
}

void ImageTab::setResValue(int64_t resolution) {
  s_.properties.set("mResValue", resolution);
  s_.main<ui::TextField>("mTextFieldResValue").setText(std::to_string(resolution));
}

// --- tone actions ---

void ImageTab::imageTabDocuType() {
  const int64_t mode = s_.bridge.mScanModeSideSelect;
  const int64_t value = s_.properties.integer("mDocuType");
  if (auto c = dialog::imageTabDocuType(s_.record(), mode, value)) showSliders(s_, *c);
  switch2CustomProfile();
}

void ImageTab::imageTabThresh() {
  dialog::imageTabThresh(s_.record(), s_.bridge.mScanModeSideSelect,
                         s_.properties.integer("mThreshSense"));
  switch2CustomProfile();
}

void ImageTab::imageTabBrightness() {
  dialog::imageTabBrightness(s_.record(), s_.bridge.mScanModeSideSelect,
                             s_.properties.integer("mBrightnessValue"));
  switch2CustomProfile();
}

void ImageTab::imageTabContrast() {
  dialog::imageTabContrast(s_.record(), s_.bridge.mScanModeSideSelect,
                           s_.properties.integer("mContrastValue"));
  switch2CustomProfile();
}

void ImageTab::imageTabInvert() {
  dialog::imageTabInvert(s_.record(), s_.bridge.mScanModeSideSelect,
                         s_.main<ui::PopUpButton>("mPopupInvert").indexOfSelectedItem());
  switch2CustomProfile();
}

void ImageTab::imageTabColorMatchingAction() {
  s_.record().bColorMatch = static_cast<uint8_t>(
      std::max(0, s_.main<ui::PopUpButton>("mPopupColorMatching").indexOfSelectedItem()));
  switch2CustomProfile();
}

void ImageTab::imageTabMergeOption() {
  s_.record().bMergeOption = s_.main<ui::Button>("mButtonMergeOption").isOn() ? 1 : 0;
}

// --- resolution ---

void ImageTab::imageTabResPopup() {
  DialogContext ctx = s_.ctx();
  const ResolutionChange change =
      resolutionPopupChosen(ctx, s_.main<ui::PopUpButton>("mPopupRes").indexOfSelectedItem(),
                            s_.properties.integer("mResValue"));
  if (change.fieldText) s_.main<ui::TextField>("mTextFieldResValue").setText(*change.fieldText);
  paperSizeInitial();
  changePaperSizeByResolution();
  switch2CustomProfile();
}

void ImageTab::imageTabResStepper() {
  DialogContext ctx = s_.ctx();
  const int64_t value = s_.main<ui::Stepper>("mStepperRes").intValue();
  if (resolutionStepped(ctx, value) == kCustomResolutionIndex) {
    s_.main<ui::PopUpButton>("mPopupRes").selectItemAtIndex(kCustomResolutionIndex);
  }
  s_.main<ui::TextField>("mTextFieldResValue").setText(std::to_string(value));
  changePaperSizeByResolution();
  switch2CustomProfile();
}

void ImageTab::resolutionInputNotification(const ui::Notification& notification) {
  DialogContext ctx = s_.ctx();
  const int64_t value = notification.userInfo.integer("resolution").valueOr(0);
  const ResolutionChange change = resolutionInput(ctx, value);
  // The popup follows through the transformer: a preset's item, else "Custom".
  s_.properties.set("mResValue", change.mResValue);
  changePaperSizeByResolution();
}

void ImageTab::checkResolutionBoundary() {
  const ResolutionBoundary b =
      dialog::checkResolutionBoundary(s_.record(), s_.bridge.mScanModeSideSelect);
  if (!b.fieldShows) return;
  s_.main<ui::TextField>("mTextFieldResValue").setText(std::to_string(*b.fieldShows));
  auto& popUp = s_.main<ui::PopUpButton>("mPopupRes");
  if (popUp.numberOfItems() > 0) {
    popUp.selectItemAtIndex(static_cast<int>(popUp.numberOfItems()) - 1);
  }
}

// --- the paper list and the resolution's follow-up ---

bool ImageTab::settingsFileExists() const {
  std::error_code error;
  return std::filesystem::exists(s_.paths.bundleFolder / kSettingsFile, error);
}

void ImageTab::showPaperList(const PaperList& list, std::size_t selected) {
  paperList_ = list;
  ui::ArrayController* papers = s_.window->arrayController("mPaperNameController");
  std::vector<ui::ArrayController::Row> content;
  for (const Paper_V2Tez_FRL& paper : list.items) {
    ui::ArrayController::Row d;
    d.set("mName", paper.mName);
    d.set("mPageID", paper.mPageID);
    content.push_back(std::move(d));
  }
  papers->setContent(std::move(content));
  papers->setSelectionIndex(selected);
  s_.main<ui::PopUpButton>("mPopupPaperSize").setEnabled(list.popupsEnabled);
  s_.main<ui::PopUpButton>("mPopupPaperTabPaperSize").setEnabled(list.popupsEnabled);
}

void ImageTab::scanPageInit() {
  DialogContext ctx = s_.ctx();
  const PaperList list = dialog::scanPageInit(ctx, *s_.mAllPaperSize, s_.longPage, s_.language(),
                                              settingsFileExists());
  showPaperList(list, paperListIndexOf(list, s_.record().bPaperSize));
}

void ImageTab::selectPaperSizeOfRecord() {
  s_.window->arrayController("mPaperNameController")
      ->setSelectionIndex(paperListIndexOf(paperList_, s_.record().bPaperSize));
}

void ImageTab::scanPageChangeCheck() {
  const int selected = s_.main<ui::PopUpButton>("mPopupPaperTabPaperSize").indexOfSelectedItem();
  const int64_t previous = selected >= 0 && std::size_t(selected) < paperList_.items.size()
                               ? paperList_.items[std::size_t(selected)].mPageID
                               : 0;
  DialogContext ctx = s_.ctx();
  const PaperList list = dialog::scanPageInit(ctx, *s_.mAllPaperSize, s_.longPage, s_.language(),
                                              settingsFileExists());
  const PaperReselection again = reselectPaper(s_.record(), list, previous);
  showPaperList(list, again.select);
  if (again.reapply) reapplyPaperSize();
}

void ImageTab::reapplyPaperSize() {
  // The paper page applies the record's size again and shows it.
  s_.controllers->paper.paperTabPaperSelect(nullptr);
}

void ImageTab::paperSizeInitial() {
  DialogContext ctx = s_.ctx();
  const auto p = dialog::paperSizeInitial(ctx, *s_.mAllPaperSize, s_.longPage, s_.language(),
                                          settingsFileExists());
  if (!p) return;
  showPaperList(p->list, p->selected);
  s_.main<ui::TextField>("mTextFieldLength").setText(p->lengthText);
}

void ImageTab::changePaperSizeByResolution() {
  changePixelByResolution();
  checkOldAvapiPaperSize();
}

void ImageTab::changePixelByResolution() {
  DialogContext ctx = s_.ctx();
  const auto figures = dialog::changePixelByResolution(ctx);
  if (!figures) return;
  s_.main<ui::TextField>("mTextFieldXOffset").setText(figures->x);
  s_.main<ui::TextField>("mTextFieldYOffset").setText(figures->y);
  s_.main<ui::TextField>("mTextFieldWidth").setText(figures->width);
  s_.main<ui::TextField>("mTextFieldLength").setText(figures->length);
}

void ImageTab::checkOldAvapiPaperSize() {
  DialogContext ctx = s_.ctx();
  if (!dialog::checkOldAvapiPaperSize(ctx, *s_.imageTypes)) return;
  ui::ArrayController* papers = s_.window->arrayController("mPaperNameController");
  if (papers->count() > 0) papers->setSelectionIndex(papers->count() - 1);
  s_.controllers->paper.doPaperTabInit();
}

void ImageTab::imageTabPaperSelect() {
  const int selected = s_.main<ui::PopUpButton>("mPopupPaperSize").indexOfSelectedItem();
  if (selected < 0 || std::size_t(selected) >= paperList_.items.size()) return;
  s_.record().bPaperSize = static_cast<uint8_t>(paperList_.items[std::size_t(selected)].mPageID);
  reapplyPaperSize();
  switch2CustomProfile();
}

// --- scan source ---

void ImageTab::imageTabScanSourceAction() {
  ui::Window& w = *s_.window;
  auto* blank = w.find<ui::Button>("mCheckBlankRemove");
  for (std::string_view outlet : {"mCheckBlankRemove", "mCheckBlankRemove_Enhancement"}) {
    if (auto* c = w.find(outlet)) c->setEnabled(true);
  }
  if (auto* slider = w.find("mSliderBlankRemove"); slider && blank && blank->isOn()) {
    slider->setEnabled(true);
  }
  const ui::MenuItem* item = s_.main<ui::PopUpButton>("mPopupScanSource").selectedItem();
  if (!item) return;
  const SourceItem chosen{item->title(),
                          static_cast<uint8_t>(item->representedObject().integer().valueOr(0))};
  DialogContext ctx = s_.ctx();
  const SourceChoice choice =
      chooseScanSource(ctx, *s_.imageTypes, rows_, s_.mAllPaperSize->rows[0], chosen);
  if (!choice.changed) return;
  // The rows' rear entries as the source left them, before the calls rebuild the page.
  showRows();
  perform(choice.calls);
  showRows();
  selectModeSideRow(s_.bridge.mScanModeSideSelect);
  showImageTypeButtons();
  w.get<ui::Button>("mButtonUltraSonic").setEnabled(choice.ultrasonicEnabled);
  s_.main<ui::Label>("mStaticPaperSize").setTextColor(labelColour(choice.paperPopupsEnabled));
  s_.main<ui::PopUpButton>("mPopupPaperSize").setEnabled(choice.paperPopupsEnabled);
  s_.main<ui::PopUpButton>("mPopupPaperTabPaperSize").setEnabled(choice.paperPopupsEnabled);
  s_.main<ui::Button>("mButtonMergeOption").setHidden(!choice.mergeOptionShown);
  w.get<ui::Control>("mPopupSplitImage").setEnabled(choice.splitImageEnabled);
  if (!choice.blankRemovalEnabled) {
    for (std::string_view outlet :
         {"mCheckBlankRemove", "mCheckBlankRemove_Enhancement", "mSliderBlankRemove",
          "mSliderBlankRemove_Enhancement", "pFlipSide"}) {
      if (auto* c = w.find(outlet)) c->setEnabled(false);
    }
  }
}

// --- profiles ---

void ImageTab::fillProfilePopup() {
  const ProfilePopup popup =
      profilePopup(s_.bridge.ds()->availableProfile(), s_.record().strProfile.view(),
                   customProfileName(s_.language()));
  auto& profiles = s_.main<ui::PopUpButton>("mPopupProfile");
  profiles.removeAllItems();
  for (const std::string& title : popup.titles) profiles.addItemWithTitle(title);
  profiles.selectItemAtIndex(static_cast<int>(popup.selected));
  s_.main<ui::Button>("mButtonDeleteProfile").setEnabled(popup.deleteEnabled);
}

void ImageTab::switch2CustomProfile() {
  auto& popUp = s_.main<ui::PopUpButton>("mPopupProfile");
  std::vector<std::string> titles;
  for (std::size_t i = 0; i < popUp.numberOfItems(); ++i) titles.push_back(popUp.itemAt(i).title());
  if (auto index =
          dialog::switch2CustomProfile(s_.record(), titles, customProfileName(s_.language()))) {
    popUp.selectItemAtIndex(static_cast<int>(*index));
  }
  s_.main<ui::Button>("mButtonDeleteProfile").setEnabled(false);
}

void ImageTab::rebuildPagesAfterProfile(bool imageTabItems) {
  DialogPages& pages = *s_.controllers;
  doImageTabInit();
  if (imageTabItems) setImageTabItems(s_.bridge.mScanModeSideSelect);
  pages.colorDrop.doColorDropTabInit();
  pages.paper.doPaperTabInit();
  pages.option.doOptionTabInit();
  pages.info.doInfoTabInit();
  pages.rotation.doRotationTabInit();
  pages.imprinter.doImprinterTabInit();
  pages.separation.doSeparationTabInit();
}

void ImageTab::imageTabProfileAction() {
  auto& delete_ = s_.main<ui::Button>("mButtonDeleteProfile");
  delete_.setEnabled(true);
  const std::string title = s_.main<ui::PopUpButton>("mPopupProfile").titleOfSelectedItem();
  if (title == customProfileName(s_.language())) {
    delete_.setEnabled(false);
    switch2CustomProfile();
    return;
  }
  ui::ArrayController* rows = s_.window->arrayController("mScaModeSideController");
  if (rows->count() > 0) rows->setSelectionIndex(rows->count() - 1);
  s_.bridge.ds()->profileOperation(title, kProfileLoad);
  rebuildPagesAfterProfile(true);
  initImageButtons();
  ScanSetting& r = s_.record();
  const uint8_t source = r.bScanSource;
  s_.main<ui::Button>("mButtonUltraSonic")
      .setEnabled(source != kSourceFlatbed && source != kSourceMergeTwoSides &&
                  r.bCarrierSheet == 0);
  if (source == kSourceMergeTwoSides) {
    imageTypeButtonSetState(false, true);
  } else if (source == kSourceFlatbed) {
    imageTypeButtonSetState(false, false);
  } else if ((r.wImageType & (kImageAutoColorFront | kImageAutoColorRear)) == 0) {
    imageTypeButtonSetState(true, false);
    if (s_.ScanMethodDuplex) {
      imageTypeButtonSetState(true, false);
    } else {
      // A one-sided scanner makes no rear image, whatever the profile says.
      imageTypeButtonSetState(false, false);
      for (ImageRow row : kImageRows) {
        for (ImageKind kind : kImageKinds) {
          s_.imageTypes->at(row, kind, Side::Rear).check.on = false;
        }
      }
      r.wImageType &= static_cast<uint16_t>(~kImageRearBits);
      showImageTypeButtons();
    }
  }
  const int64_t mode = s_.bridge.mScanModeSideSelect;
  selectModeSideRow(mode);
  if (mode <= kLastFixedMode) setResValue(resolutionOfMode(r, mode));
}

void ImageTab::imageTabAddProfileAction() {
  const std::string custom = customProfileName(s_.language());
  ui::Alert alert(s_.application);
  alert.setMessageText("");
  alert.setInformativeText(s_.text("AddProfile", "AddProfile?"));
  ui::Button& ok = alert.addButton(s_.text("OK", "OK"));
  alert.addButton(s_.text("Cancel", "Cancel"));
  alert.setIcon(s_.paths.resourceFolder / kAlertIcon);
  ui::TextField& name = alert.setAccessoryTextField(kProfileNameFieldSize, kUntitledProfile);
  // The name field: at most 16 characters; OK only for a name that can be saved.
  auto before = std::make_shared<std::string>(kUntitledProfile);
  name.handlers().didChange = [before, custom, &ok](ui::TextField& f) {
    const ProfileNameEdit edit = profileNameChanged(*before, f.text(), custom);
    if (edit.field.editorText) f.setText(*edit.field.editorText);
    *before = f.text();
    ok.setEnabled(edit.defaultButtonEnabled);
  };
  if (alert.runModal() != ui::kAlertFirstButtonReturn) return;
  const std::string entered = name.text();
  const AddProfileCheck check = addProfileCheck(
      entered, s_.bridge.ds()->availableProfile().value_or(std::vector<std::string>{}), custom);
  if (!check.allowed) return;
  if (check.asksReplace) {
    ui::Alert replace(s_.application);
    replace.setMessageText("");
    replace.setInformativeText(s_.text("ReplaceProfile", "ReplaceProfile?"));
    replace.addButton(s_.text("OK", "OK"));
    replace.addButton(s_.text("Cancel", "Cancel"));
    replace.setIcon(s_.paths.resourceFolder / kAlertIcon);
    if (replace.runModal() != ui::kAlertFirstButtonReturn) return;
  }
  s_.bridge.ds()->profileOperation(entered, kProfileSave);
  s_.record().strProfile = SharedText(entered);
  fillProfilePopup();
  s_.main<ui::Button>("mButtonDeleteProfile").setEnabled(true);
}

void ImageTab::imageTabDeleteProfileAction() {
  ui::Alert alert(s_.application);
  alert.setMessageText("");
  alert.setInformativeText(s_.text("DeleteProfile", "DeleteProfile"));
  alert.addButton(s_.text("OK", "OK"));
  alert.addButton(s_.text("Cancel", "Cancel"));
  alert.setStyle(ui::AlertStyle::warning);
  alert.setIcon(s_.paths.resourceFolder / kAlertIcon);
  if (alert.runModal() != ui::kAlertFirstButtonReturn) return;
  DialogDataSource& ds = *s_.bridge.ds();
  ds.profileOperation(s_.main<ui::PopUpButton>("mPopupProfile").titleOfSelectedItem(),
                      kProfileRemove);
  const AfterProfileDeleted after =
      afterProfileDeleted(ds.availableProfile(), customProfileName(s_.language()));
  ScanSetting& r = s_.record();
  r.strProfile = SharedText(after.strProfile);
  fillProfilePopup();
  if (after.load) ds.profileOperation(after.strProfile, kProfileLoad);
  rebuildPagesAfterProfile(false);
  const int64_t mode = s_.bridge.mScanModeSideSelect;
  if (mode <= kLastFixedMode) setResValue(resolutionOfMode(r, mode));
  selectModeSideRow(kModeAutoFront);
  selectModeSideRow(mode);
}

}  // namespace ferrolite::dialog
