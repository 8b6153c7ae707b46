#include "ds/dialog/window/DialogWindows.h"

#include "ds/dialog/frame/PageBook.h"
#include "ds/dialog/window/ColorDropPageSpec.h"
#include "ds/dialog/window/DiagnosticSheetSpec.h"
#include "ds/dialog/window/ElementShapes.h"
#include "ds/dialog/window/ImagePageSpec.h"
#include "ds/dialog/window/ImprinterPageSpec.h"
#include "ds/dialog/window/InfoPageSpec.h"
#include "ds/dialog/window/PaperOptionSpecs.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Menu.h"
#include "platform/ui/TabView.h"

namespace ferrolite::dialog {
namespace {

using pagespec::control;
using ui::CellKind;
using ui::ControlKind;
using ui::Element;
using ui::ElementSpec;
using ui::Fallback;
using ui::GridCell;

ElementSpec tabItem(int page) {
  return {.outlet = kTabItems[page].outlet,
          .parent = kTabViewOutlet,
          .text = kPageLabels[page],
          .fallback = Fallback::key,
          .identifier = kTabItems[page].identifier,
          .element = Element::tabViewItem};
}

ui::WindowSpec makeMainWindow() {
  constexpr std::string_view image = "pmTabViewImage";
  constexpr std::string_view drop = "pmTabViewDropColor";
  constexpr std::string_view paper = "pmTabViewPaper";
  constexpr std::string_view rotate = "pmTabViewRotate";
  constexpr std::string_view separation = "pmTabViewSeparation";
  constexpr std::string_view options = "pmTabViewOptions";
  constexpr std::string_view setting = "pmTabViewSetting";
  constexpr std::string_view imprinter = "pmTabVieImprinter";
  constexpr std::string_view info = "pmTabViewInfo";
  ui::WindowSpec spec{.outlet = kMainWindowOutlet, .size = {660, 520}};
  auto& e = spec.elements;
  e.push_back({.outlet = kTabViewOutlet, .kind = ControlKind::tabView, .cell = {0, 0, 1, 5}});
  for (int page = 0; page < kPageCount; ++page) e.push_back(tabItem(page));

  addImagePage(e, image);
  addColorDropPage(e, drop);
  addPaperPage(e, paper);
  addRotationPage(e, rotate);
  addSeparationPage(e, separation);
  addEnhancementPage(e, options);
  addSettingPage(e, setting);

  // Imprinter page.
  appendImprinterPage(e, imprinter);

  // Information page.
  appendInformationPage(e, info);

  // The main buttons; the set-up gives them their titles.
  e.push_back(control("mButtonPreview", ControlKind::pushButton, {}, {1, 0}, "PreviewWindow",
                      Fallback::key));
  e.push_back(
      control("mButtonDefault", ControlKind::pushButton, {}, {1, 2}, "Default", Fallback::key));
  e.push_back(control("mButtonCancel", ControlKind::pushButton, {}, {1, 3}, "Exit", Fallback::key));
  e.push_back(control("mButtonScan", ControlKind::pushButton, {}, {1, 4}, "Scan", Fallback::key));
  e.back().options = ui::kDefaultButton;
  return spec;
}

ui::WindowSpec makePreviewDrawer() {
  ui::WindowSpec spec{
      .outlet = kPreviewDrawerOutlet, .kind = ui::WindowKind::drawer, .size = {420, 520}};
  auto& e = spec.elements;
  e.push_back({.outlet = "mPreviewScroll",
               .kind = ControlKind::scrollView,
               .cell = {0, 0, 1, 3},
               .size = {400, 440},
               .options = ui::kHorizontalRuler | ui::kVerticalRuler});
  e.push_back({.outlet = "mPreviewView",
               .kind = ControlKind::imageView,
               .parent = "mPreviewScroll",
               .size = {380, 420},
               .options = ui::kFlipped});
  e.push_back(control("mButtonDrawerPreview", ControlKind::pushButton, {}, {1, 0}, "Preview",
                      Fallback::key));
  e.push_back(control("mPreviewResult", ControlKind::pushButton, {}, {1, 1}, "PreviewResult",
                      Fallback::key));
  e.push_back(control("mEyeDropperClick", ControlKind::toggleButton, {}, {1, 2}, "EyeDropper",
                      Fallback::key));
  e.push_back(control("mButtonDrawerPreviewPush", ControlKind::pushButton, {}, {2, 2},
                      "PreviewWindow", Fallback::key));
  return spec;
}

ui::WindowSpec makeDiagnosticSheet() { return makeDiagnosticSheetSpec(); }

}  // namespace

const ui::WindowSpec& mainWindowSpec() {
  static const ui::WindowSpec spec = makeMainWindow();
  return spec;
}
const ui::WindowSpec& previewDrawerSpec() {
  static const ui::WindowSpec spec = makePreviewDrawer();
  return spec;
}
const ui::WindowSpec& diagnosticSheetSpec() {
  static const ui::WindowSpec spec = makeDiagnosticSheet();
  return spec;
}
std::array<const ui::WindowSpec*, 3> dialogWindowSpecs() {
  return {&mainWindowSpec(), &previewDrawerSpec(), &diagnosticSheetSpec()};
}

std::vector<std::string> shownTexts(const ui::Window& window) {
  std::vector<std::string> texts;
  for (const auto& control : window.controls()) {
    if (auto* label = dynamic_cast<const ui::Label*>(control.get())) {
      texts.push_back(label->text());
    } else if (auto* button = dynamic_cast<const ui::Button*>(control.get())) {
      texts.push_back(button->title());
    } else if (auto* box = dynamic_cast<const ui::Box*>(control.get())) {
      texts.push_back(box->title());
    } else if (auto* popUp = dynamic_cast<const ui::PopUpButton*>(control.get())) {
      for (std::size_t i = 0; i < popUp->numberOfItems(); ++i) {
        texts.push_back(popUp->itemAt(i).title());
      }
    } else if (auto* tabs = dynamic_cast<const ui::TabView*>(control.get())) {
      for (const ui::TabViewItem* item : tabs->items()) texts.push_back(item->label());
    } else if (auto* table = dynamic_cast<const ui::TableView*>(control.get())) {
      for (const ui::TableColumn& column : table->columns()) texts.push_back(column.title);
      for (int row = 0; row < table->numberOfRows(); ++row) {
        for (std::size_t c = 0; c < table->columns().size(); ++c) {
          texts.push_back(table->cellAt(row, c).text);
        }
      }
    }
  }
  if (const ui::ToolBar* toolbar = window.toolbar()) {
    for (const auto& item : toolbar->items()) texts.push_back(item.label);
  }
  return texts;
}

bool fellBackToKey(std::string_view text) { return !text.empty() && text.back() == '?'; }

}  // namespace ferrolite::dialog
