// The information page on the widget layer: the rows of the scanner's identity and counters in
// the table, the counter resets through the data source, the language pop-up and the change of
// language, which sets every described text of the dialog's windows again and rebuilds every
// page. The rows' rules are the page's (InfoPage.h).
#include "ds/dialog/frame/PageControllers.h"
#include "ds/dialog/image/PageCalls.h"
#include "ds/dialog/info/InfoPage.h"
#include "ds/dialog/window/DialogWindows.h"
#include "ds/dialog/window/ImprinterPageSpec.h"
#include "platform/ui/Controls.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TableView.h"

namespace ferrolite::dialog {
namespace {

constexpr double kDefaultButtonWidening = 1.5;
// Below this mode (the black-and-white ones) the image page's two labels are retitled.
constexpr int64_t kFirstGreyMode = 2;

// The label each reset sets to "0", by reset code 1 to 4.
constexpr std::string_view kResetLabels[] = {"mStaticPadCountValue", "mStaticRollerCountValue",
                                             "mStaticReverseRollerCountValue",
                                             "mStaticPickupRollerCountValue"};

}  // namespace

void InfoTab::doInfoTabInit() {
  static const SystemClock clock;
  DialogShared& s = s_;
  s.fetchLanguage();
  DialogContext ctx = s.ctx();
  auto& table = s.main<ui::TableView>("pInfoTabTableView");
  const ui::Rect f = table.frame();
  const InfoPage page = dialog::doInfoTabInit(
      ctx, s.mScannerInfo, {f.origin.x, f.origin.y, f.size.width, f.size.height}, clock);

  // The language pop-up: the languages the data source has tables for, the current one chosen.
  s.main<ui::Label>("mStaticSelectLanguage").setText(s.text("Language", "Language?"));
  auto menu = std::make_unique<ui::Menu>("Select Language");
  for (const std::string& name : page.languageItems) menu->addItem(name);
  auto& languages = s.main<ui::PopUpButton>("mPopupSelectLanguage");
  languages.setMenu(std::move(menu));
  languages.selectItemAtIndex(static_cast<int>(page.languageSelected));
  languages.setAction([this](ui::Control&) { InfoTabSetLanguage(); });
  s.main<ui::Label>("mStaticSelectLanguage").setHidden(page.languageHidden);
  languages.setHidden(page.languageHidden);

  InfoTable& info = s.info;
  info = InfoTable{};
  for (std::size_t i = 0; i < page.rows.size() && i < kInfoRows; ++i) {
    info.mInfoTabName[i] = page.rows[i].name;
    info.mInfoTabInfo[i] = page.rows[i].info;
    info.mInfoTabReset[i] = page.rows[i].reset;
    info.mInfoTabItems = static_cast<int>(i) + 1;
  }
  info.mInfoTabResetStr = page.resetTitle;
  if (page.scrollView) {
    const Frame& v = *page.scrollView;
    table.setFrame({{v.x, v.y}, {v.width, v.height}});
  }
  table.reloadData();
  s.main<ui::Label>("mHyperLink").setHidden(true);
  s.main<ui::ImageView>("mLogoImage").setHidden(true);
  s.main<ui::Label>("mStaticCoppyRight").setText(page.copyright);
}

void InfoTab::resetCounter(int32_t code) {
  if (code < kResetPad || code > kResetPickupRoller) return;
  // A failed reset is not reported: the label shows 0, then the table the counts read again.
  s_.bridge.ds()->resetRollerCount(code - 1);
  s_.main<ui::Label>(kResetLabels[code - 1]).setText("0");
  doInfoTabInit();
}

void InfoTab::titleMainButtons() {
  DialogShared& s = s_;
  s.main<ui::Button>("mButtonCancel")
      .setTitle(s.mUIOnly ? s.text("Cancel", "Cancel") : s.text("Exit", "Exit"));
  s.main<ui::Button>("mButtonScan")
      .setTitle(s.mUIOnly ? s.text("OK", "OK") : s.text("Scan", "Scan"));
  s.main<ui::Button>("mButtonPreview").setTitle(s.text("PreviewWindow", "PreviewWindow"));
  s.inDrawer<ui::Button>("mButtonDrawerPreview").setTitle(s.text("Preview", "Preview"));
  s.inDrawer<ui::Button>("mButtonDrawerPreviewPush")
      .setTitle(s.text("PreviewWindow", "PreviewWindow"));
  s.main<ui::Button>("mButtonDefault").setTitle(s.text("Default", "Default"));
}

void InfoTab::relabelWindows() {
  DialogShared& s = s_;
  // The windows are built from their descriptions with text keys, so one walk over those
  // keys relabels every control, whichever page fills it; the tab items are labelled whether
  // their page is shown or not, so a page shown later carries the new language.
  ui::applyTexts(*s.window, mainWindowSpec(), s.strings);
  ui::applyTexts(*s.drawer, previewDrawerSpec(), s.strings);
  ui::applyTexts(*s.sheet, diagnosticSheetSpec(), s.strings);
  if (ui::Window* more = s.controllers->imprinter.moreSheet()) {
    ui::applyTexts(*more, imprinterMoreSpec(), s.strings);
  }
  if (ui::ToolBar* toolbar = s.sheet->toolbar()) {
    std::vector<std::string> items;
    for (const auto& item : toolbar->items()) items.push_back(item.identifier);
    const std::string selected = toolbar->selectedItemIdentifier();
    for (std::size_t i = items.size(); i-- > 0;) toolbar->removeItemAt(i);
    for (std::size_t i = 0; i < items.size(); ++i) toolbar->insertItem(items[i], i);
    if (!selected.empty()) toolbar->setSelectedItemIdentifier(selected);
  }
}

void InfoTab::InfoTabSetLanguage() {
  DialogShared& s = s_;
  DialogPages& pages = *s.controllers;
  // 1. The data source takes the table index, then hands out its bundle.
  const int index = s.main<ui::PopUpButton>("mPopupSelectLanguage").indexOfSelectedItem();
  s.bridge.ds()->setLanguage(index < 0 ? 0 : index);
  s.fetchLanguage();
  // 2 to 4. The described texts (tabs, hidden pages and sheets too), the main buttons, the
  // Default button widened from its saved frame (never wider with each change).
  relabelWindows();
  titleMainButtons();
  s.main<ui::Button>("mButtonDefault")
      .setFrameSize({s.mDefaultButtonRect.size.width * kDefaultButtonWidening,
                     s.mDefaultButtonRect.size.height});
  // 5. Every page again, in the new language, and the mode row that was current.
  const int64_t mode = s.bridge.mScanModeSideSelect;
  pages.image.doImageTabInit();
  pages.colorDrop.doColorDropTabInit();
  pages.paper.doPaperTabInit();
  pages.option.doOptionTabInit();
  doInfoTabInit();
  pages.imprinter.doImprinterTabInit();
  pages.separation.doSeparationTabInit();
  pages.rotation.doRotationTabInit();
  pages.image.perform({Call{.what = PageCall::setImageTabItems, .a = mode}});
  if (ui::ArrayController* rows = s.window->arrayController("mScaModeSideController")) {
    if (mode >= 0) rows->setSelectionIndex(static_cast<std::size_t>(mode));
  }
  // 6. The black-and-white modes' two labels.
  if (mode < kFirstGreyMode) {
    if (auto* label = s.window->find<ui::Label>("mStaticDocuTypeBinarization")) {
      label->setText(s.text("Binarization", "Binarization?"));
    }
    if (auto* label = s.window->find<ui::Label>("mStaticThreshSense")) {
      label->setText(s.text("Sensitivity", "Sensitivity?"));
    }
  }
}

}  // namespace ferrolite::dialog
