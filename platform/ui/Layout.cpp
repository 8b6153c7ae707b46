#include "platform/ui/Layout.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "platform/ui/Controls.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TabView.h"

namespace ui {
namespace {

[[noreturn]] void fault(const WindowSpec& window, const ElementSpec& element,
                        const std::string& what) {
  throw std::logic_error("window description '" + std::string(window.outlet) + "', element '" +
                         std::string(element.outlet) + "': " + what);
}

bool hasRange(const ElementSpec& e) { return e.minimum != 0 || e.maximum != 0; }

Control* parentOf(Window& window, const WindowSpec& spec, const ElementSpec& e) {
  if (e.parent.empty()) return nullptr;
  if (Control* control = window.find(e.parent)) return control;
  if (TabViewItem* item = window.tabViewItem(e.parent)) return &item->view();
  fault(spec, e, "its parent '" + std::string(e.parent) + "' is not described before it");
}

// The texts of one element; also what a language change sets again.
void setTexts(Window& window, const ElementSpec& e, const Strings& strings) {
  if (e.element == Element::tabViewItem) {
    if (TabViewItem* item = window.tabViewItem(e.outlet)) {
      item->setLabel(localizedText(strings, e.text, e.fallback));
    }
    return;
  }
  if (e.element == Element::tableColumn) {
    if (auto* table = window.find<TableView>(e.parent); table && !e.text.empty()) {
      table->setColumnTitle(e.identifier, localizedText(strings, e.text, e.fallback));
    }
    return;
  }
  if (e.element != Element::control) return;
  Control* control = window.find(e.outlet);
  if (!control) return;
  const std::string text =
      e.text.empty() ? std::string() : localizedText(strings, e.text, e.fallback);
  if (auto* textControl = dynamic_cast<TextControl*>(control)) {
    if (!e.text.empty()) textControl->setText(text);
  } else if (auto* button = dynamic_cast<Button*>(control)) {
    if (!e.text.empty()) button->setTitle(text);
  } else if (auto* box = dynamic_cast<Box*>(control)) {
    if (!e.text.empty()) box->setTitle(text);
  } else if (auto* popUp = dynamic_cast<PopUpButton*>(control)) {
    Menu& menu = popUp->menu();
    for (std::size_t i = 0; i < e.items.size() && i < menu.size(); ++i) {
      menu.item(i).setTitle(localizedText(strings, e.items[i], Fallback::key));
    }
  } else if (auto* matrix = dynamic_cast<Matrix*>(control)) {
    for (std::size_t i = 0; i < e.items.size(); ++i) {
      int row = static_cast<int>(i) / matrix->columns();
      int column = static_cast<int>(i) % matrix->columns();
      if (row < matrix->rows()) {
        matrix->setCellTitle(row, column, localizedText(strings, e.items[i], e.fallback));
      }
    }
  }
}

std::unique_ptr<Control> makeControl(const WindowSpec& spec, const ElementSpec& e) {
  std::string outlet(e.outlet);
  switch (e.kind) {
    case ControlKind::view:
      return std::make_unique<View>(outlet);
    case ControlKind::label:
      return std::make_unique<Label>(outlet);
    case ControlKind::pushButton:
    case ControlKind::toggleButton:
    case ControlKind::checkBox:
    case ControlKind::radioButton:
      return std::make_unique<Button>(e.kind, outlet);
    case ControlKind::matrix:
      return std::make_unique<Matrix>(outlet, e.rows, e.columns);
    case ControlKind::popUpButton:
    case ControlKind::pullDownButton:
      return std::make_unique<PopUpButton>(e.kind, outlet);
    case ControlKind::slider:
      return std::make_unique<Slider>(outlet);
    case ControlKind::stepper:
      return std::make_unique<Stepper>(outlet);
    case ControlKind::textField:
      return std::make_unique<TextField>(outlet);
    case ControlKind::colorWell:
      return std::make_unique<ColorWell>(outlet);
    case ControlKind::box:
      return std::make_unique<Box>(outlet);
    case ControlKind::progressIndicator:
      return std::make_unique<ProgressIndicator>(outlet);
    case ControlKind::tabView:
      return std::make_unique<TabView>(outlet);
    case ControlKind::tableView:
      return std::make_unique<TableView>(outlet);
    case ControlKind::imageView:
      return std::make_unique<ImageView>(outlet);
    case ControlKind::scrollView:
      return std::make_unique<ScrollView>(outlet);
  }
  fault(spec, e, "unknown kind");
}

void configure(Window& window, Control& control, const ElementSpec& e) {
  control.setGridCell(e.cell);
  if (e.options & kFreeLayout) control.setContainerLayout(ContainerLayout::free);
  if (e.options & kHiddenAtStart) control.setHidden(true);
  if (e.options & kDisabledAtStart) control.setEnabled(false);
  if (e.size.width > 0 || e.size.height > 0 || e.origin.x != 0 || e.origin.y != 0) {
    control.setFrame({e.origin, e.size});
  }
  if (auto* button = dynamic_cast<Button*>(&control)) {
    button->setAllowsMixedState((e.options & kAllowsMixed) != 0);
    if (e.options & kDefaultButton) window.setDefaultButton(button);
  } else if (auto* popUp = dynamic_cast<PopUpButton*>(&control)) {
    auto menu = std::make_unique<Menu>(std::string(e.text));
    for (std::string_view key : e.items) menu->addItem(std::string(key));
    popUp->setMenu(std::move(menu));
  } else if (auto* slider = dynamic_cast<Slider*>(&control)) {
    if (hasRange(e)) {
      slider->setMinValue(e.minimum);
      slider->setMaxValue(e.maximum);
    }
  } else if (auto* stepper = dynamic_cast<Stepper*>(&control)) {
    if (hasRange(e)) {
      stepper->setMinValue(e.minimum);
      stepper->setMaxValue(e.maximum);
    }
    if (e.increment > 0) stepper->setIncrement(e.increment);
    stepper->setValueWraps((e.options & kValueWraps) != 0);
  } else if (auto* field = dynamic_cast<TextField*>(&control)) {
    if (e.options & kNotEditable) {
      field->setEditable(false);
      field->setSelectable(false);
    }
    field->setSendsActionOnEndEditing((e.options & kSendsActionOnEndEditing) != 0);
  } else if (auto* view = dynamic_cast<ImageView*>(&control)) {
    view->setFlipped((e.options & kFlipped) != 0);
  } else if (auto* scroll = dynamic_cast<ScrollView*>(&control)) {
    scroll->setHasHorizontalRuler((e.options & kHorizontalRuler) != 0);
    scroll->setHasVerticalRuler((e.options & kVerticalRuler) != 0);
  }
}

// The size a grid container needs for its children's cells.
Size gridExtent(const Control& container) {
  Size extent;
  for (const Control* child : container.children()) {
    const GridCell& cell = child->gridCell();
    const Size size = child->frame().size;
    extent.width =
        std::max(extent.width, cell.column * kGridCellWidth +
                                   std::max(size.width, cell.columnSpan * kGridCellWidth));
    extent.height =
        std::max(extent.height, cell.row * kGridCellHeight +
                                    std::max(size.height, cell.rowSpan * kGridCellHeight));
  }
  return extent;
}

// Bottom-up: a container described without a size takes what its children need (a tab view:
// its largest page and the row of tabs).
void measure(Control& control) {
  for (Control* child : control.children()) measure(*child);
  if (control.children().empty() || control.frame().size != Size{}) return;
  Size size;
  if (control.kind() == ControlKind::tabView) {
    for (const Control* page : control.children()) {
      Size extent = gridExtent(*page);
      size.width = std::max(size.width, extent.width);
      size.height = std::max(size.height, extent.height);
    }
    size.height += kGridCellHeight;
  } else if (control.containerLayout() == ContainerLayout::grid) {
    size = gridExtent(control);
  }
  control.setFrameSize(size);
}

// Top-down: children of a grid container get frames from their cells (columns from the left,
// rows from the top, in the lower-left convention; a child's own size wins over the cell's);
// tab pages fill their tab view below the tabs.
void place(Control& container) {
  const Size bounds = container.frame().size;
  if (container.kind() == ControlKind::tabView) {
    for (Control* page : container.children()) {
      page->setFrame({{0, 0}, {bounds.width, std::max(0.0, bounds.height - kGridCellHeight)}});
    }
  } else if (container.kind() != ControlKind::scrollView &&
             container.containerLayout() == ContainerLayout::grid) {
    for (Control* child : container.children()) {
      const GridCell& cell = child->gridCell();
      Size size = child->frame().size;
      if (size.width <= 0) size.width = cell.columnSpan * kGridCellWidth;
      if (size.height <= 0) size.height = cell.rowSpan * kGridCellHeight;
      const double top = cell.row * kGridCellHeight;
      child->setFrame({{cell.column * kGridCellWidth, bounds.height - top - size.height}, size});
    }
  }
  for (Control* child : container.children()) place(*child);
}

}  // namespace

std::unique_ptr<Window> buildWindow(Application& application, const WindowSpec& spec,
                                    const Strings& strings) {
  auto window =
      std::make_unique<Window>(application, spec.kind, std::string(spec.outlet), spec.size);
  window->contentView().setFrame({{0, 0}, spec.size});
  if (spec.freeLayout) window->contentView().setContainerLayout(ContainerLayout::free);
  if (spec.toolbar) window->makeToolbar();
  for (const ElementSpec& e : spec.elements) {
    Control* parent = parentOf(*window, spec, e);
    switch (e.element) {
      case Element::control: {
        if (!e.outlet.empty() && window->find(e.outlet)) fault(spec, e, "described twice");
        Control& control = window->add(makeControl(spec, e), parent);
        configure(*window, control, e);
        if (auto* scroll = dynamic_cast<ScrollView*>(parent)) scroll->setDocumentView(control);
        break;
      }
      case Element::tabViewItem: {
        auto* tabView = dynamic_cast<TabView*>(parent);
        if (!tabView) fault(spec, e, "a tab item's parent must be a tab view");
        TabViewItem& item =
            window->makeTabViewItem(std::string(e.outlet), std::string(e.identifier), *tabView);
        item.view().setGridCell(e.cell);
        if (e.options & kFreeLayout) item.view().setContainerLayout(ContainerLayout::free);
        tabView->addItem(item);
        break;
      }
      case Element::tableColumn: {
        auto* table = dynamic_cast<TableView*>(parent);
        if (!table) fault(spec, e, "a column's parent must be a table view");
        table->addColumn({std::string(e.identifier), localizedText(strings, e.text, e.fallback),
                          e.cellKind, e.size.width > 0 ? e.size.width : 100.0, std::string(e.key),
                          std::string(e.enabledKey)});
        break;
      }
      case Element::arrayController:
        window->makeArrayController(std::string(e.outlet));
        break;
    }
  }
  for (Control* child : window->contentView().children()) measure(*child);
  place(window->contentView());
  applyTexts(*window, spec, strings);
  return window;
}

void applyTexts(Window& window, const WindowSpec& spec, const Strings& strings) {
  if (!spec.title.empty()) window.setTitle(localizedText(strings, spec.title, spec.titleFallback));
  for (const ElementSpec& e : spec.elements) setTexts(window, e, strings);
}

}  // namespace ui
