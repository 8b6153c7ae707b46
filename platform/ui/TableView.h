#pragma once
// Tables and array controllers.
//
// An array controller holds rows of key-value coded values and a selection; pop-up buttons and
// tables bound to it follow both. A table shows rows either from its data source or from a bound
// controller (each column naming the key it shows and the key that enables its cells); its
// delegate decides selection, cells, their background before drawing, and row heights.
//
// The table keeps what it shows as a snapshot of cells, made by reloadData (and after every user
// edit), which a toolkit's peer draws.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/PropertyList.h"
#include "platform/ui/Control.h"

namespace ui {

class ArrayController {
 public:
  using Row = foundation::Dictionary;
  enum class Change : std::uint8_t { content, row, selection };
  using Observer = std::function<void(ArrayController&, Change)>;
  static constexpr std::size_t kNoSelection = static_cast<std::size_t>(-1);

  explicit ArrayController(std::string outlet) : outlet_(std::move(outlet)) {}
  ArrayController(const ArrayController&) = delete;
  ArrayController& operator=(const ArrayController&) = delete;

  const std::string& outlet() const { return outlet_; }
  const std::vector<Row>& content() const { return rows_; }
  std::size_t count() const { return rows_.size(); }
  const Row& row(std::size_t index) const { return rows_.at(index); }
  // New content keeps the selection index while it still names a row.
  void setContent(std::vector<Row> rows);
  void setValue(std::size_t row, std::string_view key, foundation::Value value);

  std::size_t selectionIndex() const { return selection_; }
  // False (and no change) for an index beyond the rows; kNoSelection clears the selection.
  bool setSelectionIndex(std::size_t index);

  std::uint64_t observe(Observer observer);
  void unobserve(std::uint64_t token);

 private:
  void tell(Change change);
  std::string outlet_;
  std::vector<Row> rows_;
  std::size_t selection_ = kNoSelection;
  std::vector<std::pair<std::uint64_t, Observer>> observers_;
  std::uint64_t next_ = 1;
};

enum class CellKind : std::uint8_t { none, text, check, button };

struct TableColumn {
  std::string identifier{};
  std::string title{};
  CellKind cellKind = CellKind::text;
  double width = 100;
  std::string valueKey{};    // bound tables: the row key the column shows
  std::string enabledKey{};  // bound tables: the row key that enables the cell (empty: enabled)
};

// What the delegate's dataCell answers for a cell made on purpose.
struct CellSpec {
  CellKind kind = CellKind::text;
  std::string title{};  // a button cell's title
  bool allowsMixedState = false;
  bool operator==(const CellSpec&) const = default;
};

// One cell as drawn; willDisplayCell may change its background.
struct Cell {
  CellKind kind = CellKind::text;
  std::string text;   // text cells
  int state = 0;      // check and button cells
  std::string title;  // button cells
  bool enabled = true;
  bool drawsBackground = false;
  Color background = Color::white();
};

class TableView : public Control {
 public:
  struct DataSource {
    std::function<int(TableView&)> numberOfRows;
    std::function<foundation::Value(TableView&, const TableColumn&, int row)> objectValue;
    std::function<void(TableView&, const foundation::Value&, const TableColumn&, int row)>
        setObjectValue;
  };
  struct Delegate {
    std::function<bool(TableView&, int row)> shouldSelectRow;
    std::function<void(TableView&)> selectionDidChange;
    std::function<std::optional<CellSpec>(TableView&, const TableColumn&, int row)> dataCell;
    std::function<void(TableView&, Cell&, const TableColumn&, int row)> willDisplayCell;
    std::function<double(TableView&, int row)> heightOfRow;
  };
  enum GridLines : unsigned { kNoGridLines = 0, kHorizontalGridLines = 1, kVerticalGridLines = 2 };

  explicit TableView(std::string outlet) : Control(ControlKind::tableView, std::move(outlet)) {}
  ~TableView() override;

  void addColumn(TableColumn column);
  const std::vector<TableColumn>& columns() const { return columns_; }
  int columnIndex(std::string_view identifier) const;
  // A column's title again (a language change); an unknown identifier changes nothing.
  void setColumnTitle(std::string_view identifier, std::string title);
  double rowHeight() const { return rowHeight_; }
  void setRowHeight(double height);
  unsigned gridLines() const { return gridLines_; }
  void setGridLines(unsigned lines);

  void setDataSource(DataSource source) { source_ = std::move(source); }
  void setDelegate(Delegate delegate) { delegate_ = std::move(delegate); }
  // Rows from the controller; the table's selection follows the controller's both ways.
  void bindContent(ArrayController& controller);

  // Asks the data source (or the controller) and the delegate again.
  void reloadData();
  int numberOfRows() const { return static_cast<int>(cells_.size()); }
  const Cell& cellAt(int row, std::size_t column) const { return cells_.at(row).at(column); }
  double heightOfRow(int row) const { return heights_.at(row); }

  int selectedRow() const { return selected_; }
  // The delegate's selectionDidChange hears of it; shouldSelectRow is the user's gate only.
  void selectRow(int row);

  virtual bool userSelectRow(int row);
  // A click on a check or button cell: its new state goes to the data source (and a bound row).
  virtual bool userClickCell(int row, std::size_t column);

 private:
  foundation::Value valueAt(const TableColumn& column, int row);
  void setSelected(int row, bool fromController);

  std::vector<TableColumn> columns_;
  double rowHeight_ = 24;
  unsigned gridLines_ = kNoGridLines;
  DataSource source_;
  Delegate delegate_;
  ArrayController* controller_ = nullptr;
  std::uint64_t controllerToken_ = 0;
  std::vector<std::vector<Cell>> cells_;
  std::vector<double> heights_;
  int selected_ = -1;
};

}  // namespace ui
