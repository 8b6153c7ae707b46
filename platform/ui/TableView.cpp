#include "platform/ui/TableView.h"

#include <algorithm>

#include "platform/ui/Application.h"
#include "platform/ui/Properties.h"

namespace ui {

void ArrayController::setContent(std::vector<Row> rows) {
  rows_ = std::move(rows);
  if (selection_ != kNoSelection && selection_ >= rows_.size()) selection_ = kNoSelection;
  tell(Change::content);
}

void ArrayController::setValue(std::size_t row, std::string_view key, foundation::Value value) {
  if (row >= rows_.size()) return;
  rows_[row].set(key, std::move(value));
  tell(Change::row);
}

bool ArrayController::setSelectionIndex(std::size_t index) {
  if (index != kNoSelection && index >= rows_.size()) return false;
  selection_ = index;
  tell(Change::selection);
  return true;
}

std::uint64_t ArrayController::observe(Observer observer) {
  observers_.emplace_back(next_, std::move(observer));
  return next_++;
}

void ArrayController::unobserve(std::uint64_t token) {
  std::erase_if(observers_, [&](const auto& entry) { return entry.first == token; });
}

void ArrayController::tell(Change change) {
  std::vector<std::uint64_t> tokens;
  for (const auto& entry : observers_) tokens.push_back(entry.first);
  for (std::uint64_t token : tokens) {
    auto it = std::find_if(observers_.begin(), observers_.end(),
                           [&](const auto& entry) { return entry.first == token; });
    if (it == observers_.end()) continue;
    Observer observer = it->second;
    observer(*this, change);
  }
}

TableView::~TableView() {
  if (controller_) controller_->unobserve(controllerToken_);
}

void TableView::addColumn(TableColumn column) {
  columns_.push_back(std::move(column));
  reloadData();
}

void TableView::setColumnTitle(std::string_view identifier, std::string title) {
  const int index = columnIndex(identifier);
  if (index < 0) return;
  columns_[static_cast<std::size_t>(index)].title = std::move(title);
  reloadData();
}

int TableView::columnIndex(std::string_view identifier) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i].identifier == identifier) return static_cast<int>(i);
  }
  return -1;
}

void TableView::setRowHeight(double height) {
  rowHeight_ = height;
  reloadData();
}

void TableView::setGridLines(unsigned lines) {
  gridLines_ = lines;
  changed(Aspect::rows);
}

void TableView::bindContent(ArrayController& controller) {
  if (controller_) controller_->unobserve(controllerToken_);
  controller_ = &controller;
  controllerToken_ = controller.observe([this](ArrayController& c, ArrayController::Change change) {
    if (change == ArrayController::Change::selection) {
      std::size_t index = c.selectionIndex();
      setSelected(index == ArrayController::kNoSelection ? -1 : static_cast<int>(index), true);
    } else {
      reloadData();
    }
  });
  reloadData();
}

foundation::Value TableView::valueAt(const TableColumn& column, int row) {
  if (controller_) {
    const foundation::Value* value = controller_->row(row).find(column.valueKey);
    return value ? *value : foundation::Value();
  }
  if (source_.objectValue) return source_.objectValue(*this, column, row);
  return foundation::Value();
}

void TableView::reloadData() {
  int rows = 0;
  if (controller_) {
    rows = static_cast<int>(controller_->count());
  } else if (source_.numberOfRows) {
    rows = std::max(0, source_.numberOfRows(*this));
  }
  std::vector<std::vector<Cell>> cells(rows);
  std::vector<double> heights(rows, rowHeight_);
  for (int row = 0; row < rows; ++row) {
    for (const TableColumn& column : columns_) {
      CellSpec spec{column.cellKind, std::string(), false};
      if (delegate_.dataCell) {
        if (std::optional<CellSpec> made = delegate_.dataCell(*this, column, row)) spec = *made;
      }
      Cell cell;
      cell.kind = spec.kind;
      cell.title = spec.title;
      foundation::Value value = valueAt(column, row);
      if (cell.kind == CellKind::text) cell.text = textOfValue(value);
      if (cell.kind == CellKind::check || cell.kind == CellKind::button) {
        cell.state = static_cast<int>(value.integer().valueOr(0));
      }
      if (controller_ && !column.enabledKey.empty()) {
        cell.enabled = controller_->row(row).boolean(column.enabledKey).valueOr(true);
      }
      if (delegate_.willDisplayCell) delegate_.willDisplayCell(*this, cell, column, row);
      cells[row].push_back(std::move(cell));
    }
    if (delegate_.heightOfRow) heights[row] = delegate_.heightOfRow(*this, row);
  }
  cells_ = std::move(cells);
  heights_ = std::move(heights);
  if (selected_ >= rows) selected_ = -1;
  changed(Aspect::rows);
}

void TableView::setSelected(int row, bool fromController) {
  if (row >= numberOfRows()) row = -1;
  selected_ = row;
  if (controller_ && !fromController) {
    controller_->setSelectionIndex(row < 0 ? ArrayController::kNoSelection
                                           : static_cast<std::size_t>(row));
  }
  changed(Aspect::selection);
  if (delegate_.selectionDidChange) delegate_.selectionDidChange(*this);
}

void TableView::selectRow(int row) { setSelected(row, false); }

bool TableView::userSelectRow(int row) {
  Application::UserEvent event(application());
  if (!acceptsUserInput() || row < 0 || row >= numberOfRows()) return false;
  if (delegate_.shouldSelectRow && !delegate_.shouldSelectRow(*this, row)) return false;
  setSelected(row, false);
  return true;
}

bool TableView::userClickCell(int row, std::size_t column) {
  Application::UserEvent event(application());
  if (!acceptsUserInput() || row < 0 || row >= numberOfRows() || column >= columns_.size()) {
    return false;
  }
  const Cell& cell = cells_[row][column];
  if (!cell.enabled || (cell.kind != CellKind::check && cell.kind != CellKind::button)) {
    return false;
  }
  const TableColumn columnCopy = columns_[column];  // handlers may rebuild the columns
  foundation::Value value(cell.state ? 0 : 1);
  if (controller_ && !columnCopy.valueKey.empty()) {
    controller_->setValue(static_cast<std::size_t>(row), columnCopy.valueKey, value);
  }
  if (source_.setObjectValue) source_.setObjectValue(*this, value, columnCopy, row);
  reloadData();
  return true;
}

}  // namespace ui
