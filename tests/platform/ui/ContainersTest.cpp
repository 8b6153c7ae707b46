// Tab views and tables: identified items inserted, removed and selected with their delegate;
// tables from a data source or a bound controller, their delegate's cells and selection veto.
#include <gtest/gtest.h>

#include "platform/ui/TabView.h"
#include "platform/ui/TableView.h"
#include "tests/platform/ui/UiTesting.h"

namespace {

using namespace ui;
using uitest::UiFixture;

struct Tabs {
  explicit Tabs(UiFixture& f) : tabView(f.window->make<TabView>(nullptr, "pMainTab")) {
    for (const char* id : {"KriTabImage", "KriTabDropColor", "KriTabPaper", "Rotation",
                           "KriTabSetting", "KriTabInfo"}) {
      items.push_back(&f.window->makeTabViewItem(id, id, tabView));
    }
  }
  std::vector<std::string> identifiers() const {
    std::vector<std::string> out;
    for (TabViewItem* item : tabView.items()) out.push_back(item->identifier());
    return out;
  }
  TabView& tabView;
  std::vector<TabViewItem*> items;
};

TEST(TabViews, ItemsInsertedAndRemovedKeepTheirIdentifiersAndPages) {
  UiFixture f;
  Tabs tabs(f);
  for (TabViewItem* item : tabs.items) tabs.tabView.addItem(*item);
  auto& onRotation =
      f.window->make<Button>(&tabs.items[3]->view(), ControlKind::checkBox, "mButtonMirror");
  tabs.tabView.removeItem(*tabs.items[1]);
  tabs.tabView.removeItem(*tabs.items[3]);
  EXPECT_EQ(tabs.identifiers(), (std::vector<std::string>{"KriTabImage", "KriTabPaper",
                                                          "KriTabSetting", "KriTabInfo"}));
  EXPECT_EQ(tabs.tabView.indexOfItemWithIdentifier("KriTabDropColor"), -1);
  tabs.tabView.insertItem(*tabs.items[3], 2);
  tabs.tabView.insertItem(*tabs.items[1], 1);
  tabs.tabView.insertItem(*tabs.items[1], 4);  // already in: not twice
  EXPECT_EQ(tabs.identifiers(),
            (std::vector<std::string>{"KriTabImage", "KriTabDropColor", "KriTabPaper", "Rotation",
                                      "KriTabSetting", "KriTabInfo"}));
  EXPECT_EQ(onRotation.parent(), &tabs.items[3]->view()) << "the page came back with its controls";
}

TEST(TabViews, TheDelegateHearsOfEverySelectionAndMayRefuseAUsersClick) {
  UiFixture f;
  Tabs tabs(f);
  std::vector<std::string> selected;
  bool allowInfo = false;
  tabs.tabView.setDelegate(
      {[&](TabView&, TabViewItem& item) { return allowInfo || item.identifier() != "KriTabInfo"; },
       [&](TabView&, TabViewItem& item) { selected.push_back(item.identifier()); }});
  for (TabViewItem* item : tabs.items) tabs.tabView.addItem(*item);
  EXPECT_EQ(selected, std::vector<std::string>{"KriTabImage"}) << "the first one inserted";
  tabs.tabView.selectItemAtIndex(2);
  EXPECT_TRUE(f.user.selectTab(tabs.tabView, "KriTabSetting"));
  EXPECT_FALSE(f.user.selectTab(tabs.tabView, "KriTabInfo"));
  allowInfo = true;
  EXPECT_TRUE(f.user.selectTab(tabs.tabView, 5));
  tabs.tabView.removeItem(*tabs.items[5]);  // the selected one: its place goes to the last
  EXPECT_EQ(selected, (std::vector<std::string>{"KriTabImage", "KriTabPaper", "KriTabSetting",
                                                "KriTabInfo", "KriTabSetting"}));
}

struct InfoTable {
  std::vector<std::string> names{"ScannerModel", "SerialNumber", "PadCount", "RollerCount", ""};
  std::vector<int> resets{0, 0, 1, 2, 0};
  std::vector<std::string> calls;
};

TEST(Tables, ADataSourceTableAsksForCellsAndTheDelegateColoursAndSizesThem) {
  UiFixture f;
  InfoTable info;
  auto& table = f.window->make<TableView>(nullptr, "pInfoTabTableView");
  table.addColumn({"InfoTabName", "", CellKind::text});
  table.addColumn({"InfoTabButton", "", CellKind::text});
  table.setDataSource({[&](TableView&) { return static_cast<int>(info.names.size()); },
                       [&](TableView&, const TableColumn& column, int row) -> Value {
                         if (column.identifier == "InfoTabName") {
                           return info.names[row].empty() ? Value("text" + std::to_string(row))
                                                          : Value(info.names[row]);
                         }
                         return Value(0);
                       },
                       [&](TableView&, const Value& value, const TableColumn& column, int row) {
                         info.calls.push_back(column.identifier + " row " + std::to_string(row) +
                                              " value " +
                                              std::to_string(value.integer().valueOr(-1)));
                       }});
  TableView::Delegate delegate;
  delegate.dataCell = [&](TableView&, const TableColumn& column,
                          int row) -> std::optional<CellSpec> {
    if (column.identifier == "InfoTabButton" && info.resets[row]) {
      return CellSpec{CellKind::button, "Reset", true};
    }
    return std::nullopt;  // the column's own cell
  };
  delegate.willDisplayCell = [&](TableView&, Cell& cell, const TableColumn&, int row) {
    cell.drawsBackground = true;
    cell.background =
        (row % 2) != (5 % 2) ? Color::rgb(182 / 255.0f, 214 / 255.0f, 1) : Color::white();
  };
  delegate.heightOfRow = [](TableView&, int) { return 24.0; };
  table.setDelegate(delegate);
  table.reloadData();

  ASSERT_EQ(table.numberOfRows(), 5);
  EXPECT_EQ(table.cellAt(4, 0).text, "text4");
  EXPECT_EQ(table.cellAt(2, 1).kind, CellKind::button);
  EXPECT_EQ(table.cellAt(2, 1).title, "Reset");
  EXPECT_EQ(table.cellAt(0, 1).kind, CellKind::text);
  EXPECT_NE(table.cellAt(4, 0).background, Color::white()) << "the last row is blue";
  EXPECT_EQ(table.cellAt(3, 0).background, Color::white());
  EXPECT_EQ(table.heightOfRow(1), 24.0);

  EXPECT_TRUE(f.user.clickCell(table, 3, "InfoTabButton"));
  EXPECT_FALSE(f.user.clickCell(table, 0, "InfoTabButton")) << "a text cell takes no click";
  EXPECT_EQ(info.calls, std::vector<std::string>{"InfoTabButton row 3 value 1"});
}

TEST(Tables, ABoundTableShowsTheControllersRowsAndReconcilesChecksThroughItsDataSource) {
  UiFixture f;
  ArrayController& rows = f.window->makeArrayController("mScaModeSideController");
  std::vector<ArrayController::Row> content(6);
  const char* names[] = {"FrontColor", "RearColor", "FrontGray", "RearGray", "FrontBW", "RearBW"};
  for (int i = 0; i < 6; ++i) {
    content[i].set("mName", names[i]);
    content[i].set("mCheck", i == 4 ? 1 : 0);
    content[i].set("mEnabled", true);
  }
  rows.setContent(content);
  auto& table = f.window->make<TableView>(nullptr, "pImageTabTableView");
  table.addColumn({"name", "", CellKind::text, 100, "mName", "mEnabled"});
  table.addColumn({"check", "", CellKind::check, 30, "mCheck", "mEnabled"});
  table.bindContent(rows);
  std::vector<int> checkedInDataSource;
  table.setDataSource({nullptr, nullptr, [&](TableView&, const Value&, const TableColumn&, int) {
                         for (std::size_t i = 0; i < rows.count(); ++i) {
                           if (rows.row(i).integer("mCheck").valueOr(0)) {
                             checkedInDataSource.push_back(static_cast<int>(i));
                           }
                         }
                       }});
  bool flatbed = true;
  TableView::Delegate delegate;
  delegate.shouldSelectRow = [&](TableView&, int row) { return !flatbed || row % 2 == 0; };
  table.setDelegate(delegate);
  table.reloadData();

  EXPECT_EQ(table.cellAt(1, 0).text, "RearColor");
  EXPECT_TRUE(f.user.clickCell(table, 2, "check"));
  EXPECT_EQ(rows.row(2).integer("mCheck").valueOr(0), 1) << "the bound row changed first";
  EXPECT_EQ(checkedInDataSource, (std::vector<int>{2, 4})) << "then the data source reconciled";
  EXPECT_EQ(table.cellAt(2, 1).state, 1);

  EXPECT_FALSE(f.user.selectRow(table, 1)) << "a rear row refused on the flatbed";
  EXPECT_TRUE(f.user.selectRow(table, 4));
  EXPECT_EQ(rows.selectionIndex(), 4u);
  rows.setSelectionIndex(0);
  EXPECT_EQ(table.selectedRow(), 0) << "the controller's selection shows in the table";

  rows.setValue(3, "mEnabled", false);
  EXPECT_FALSE(table.cellAt(3, 1).enabled);
  EXPECT_FALSE(f.user.clickCell(table, 3, "check"));
}

}  // namespace
