// The dialog's frame on Qt's real widgets (offscreen), replayed with QTest: the same roads as
// the headless scenarios give the same record and the same calls to the data source. The rules
// are the headless tests'; these prove the wiring through the adapter.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>
#include <memory>

#include "QtFrame.h"
#include "tests/support/QtLayouts.h"

namespace ferrolite::dialog::testing {
namespace {

using Strings = std::vector<std::string>;

TEST(DialogFrameQt, ScanThroughTheRealButtonCommitsThenStartsTheTransfer) {
  QtFrame q;
  // The host's application runs the dialog on its GUI thread: no thread and no application of
  // our own.
  EXPECT_FALSE(q.host->toolkit().ownsUiThread());
  EXPECT_TRUE(q.host->queue().onUiThread());
  const QCoreApplication* hosts = QCoreApplication::instance();
  q.f.open();
  EXPECT_EQ(QCoreApplication::instance(), hosts);
  q.f.record.wLength = 10;
  QPushButton* scan = q.button("mButtonScan");
  ASSERT_NE(scan, nullptr);
  EXPECT_EQ(scan->text(), "Scan");
  QTest::mouseClick(scan, Qt::LeftButton);
  EXPECT_EQ(q.f.dataSource.calls, (Strings{"checkScanParams", "xferReady"}));
  EXPECT_EQ(q.f.record.wLength, 150);
}

TEST(DialogFrameQt, ExitAndTheCloseBoxSendOneCloseRequest) {
  {
    SCOPED_TRACE("Ctrl-click on Exit");
    QtFrame q;
    q.f.open();
    QWidget* top = q.widget<QWidget>(q.f.window(), "");
    ASSERT_NE(top, nullptr);
    EXPECT_TRUE(top->isVisible());
    QTest::mouseClick(q.button("mButtonCancel"), Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(q.f.dataSource.calls, (Strings{"printDebugLog(YES)", "closeDSRequest"}));
    EXPECT_FALSE(top->isVisible());
  }
  {
    SCOPED_TRACE("the close box");
    QtFrame q;
    q.f.open();
    QWidget* top = q.widget<QWidget>(q.f.window(), "");
    ASSERT_NE(top, nullptr);
    top->close();
    EXPECT_EQ(q.f.dataSource.calls, Strings{"closeDSRequest"});
    EXPECT_FALSE(top->isVisible());
  }
}

TEST(DialogFrameQt, TheSettingsTableHidesAndShowsPagesOnTheRealTabs) {
  QtFrame q;
  q.f.record.wTabWindow = 0;
  q.f.open();
  auto* tabs = q.widget<QTabWidget>(q.f.window(), kTabViewOutlet);
  ASSERT_NE(tabs, nullptr);
  ASSERT_EQ(tabs->count(), 4);
  QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(2).center());
  EXPECT_EQ(q.f.tabs().selectedItem()->identifier(), "KriTabSetting");
  auto* table = q.widget<QTableWidget>(q.f.window(), "pSettingsTableView");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->rowCount(), kOptionalPageCount);
  for (int row : {4, 0}) table->item(row, 1)->setCheckState(Qt::Checked);  // a click on the box
  EXPECT_EQ(q.f.record.wTabWindow, 0x80 | 0x02);
  ASSERT_EQ(tabs->count(), 6);
  EXPECT_EQ(tabs->tabText(1), "ColorDrop");
  EXPECT_EQ(tabs->tabText(4), "Imprinter");
  EXPECT_EQ(q.f.tabIdentifiers(), (Strings{"KriTabImage", "KriTabDropColor", "KriTabPaper",
                                           "KriTabSetting", "KRiImprinter", "KriTabInfo"}));
}

// Pages shown through the settings table widen the window; hidden again (by the table or by
// Default) the window goes back to the size it had.
TEST(DialogFrameQt, TheWindowGoesBackToItsSizeWhenThePagesAreHiddenAgain) {
  QtFrame q;
  q.f.record.wTabWindow = 0;
  q.f.open();
  QApplication::processEvents();
  QWidget* top = q.widget<QWidget>(q.f.window(), "");
  auto* tabs = q.widget<QTabWidget>(q.f.window(), kTabViewOutlet);
  auto* table = q.widget<QTableWidget>(q.f.window(), "pSettingsTableView");
  ASSERT_TRUE(top && tabs && table);
  testsupport::settleQtLayouts();
  const QSize opened = top->size();
  ASSERT_TRUE(q.f.user.selectTab(q.f.tabs(), "KriTabSetting"));
  auto checkAll = [&](Qt::CheckState state) {
    for (int row = 0; row < kOptionalPageCount; ++row) table->item(row, 1)->setCheckState(state);
    testsupport::settleQtLayouts();
  };
  checkAll(Qt::Checked);
  ASSERT_EQ(tabs->count(), 9);
  ASSERT_GT(top->width(), opened.width()) << "nine tabs need a wider window";
  checkAll(Qt::Unchecked);
  ASSERT_EQ(tabs->count(), 4);
  EXPECT_EQ(top->size(), opened) << "hidden by the table: " << top->width() << " x "
                                 << top->height();
  checkAll(Qt::Checked);
  // The defaults show no optional page.
  q.f.dataSource.onReadSetting = [&q](const std::optional<std::string>&, bool) {
    q.f.record.wTabWindow = 0;
  };
  QTest::mouseClick(q.button("mButtonDefault"), Qt::LeftButton);
  testsupport::settleQtLayouts();
  ASSERT_EQ(tabs->count(), 4);
  EXPECT_EQ(top->size(), opened) << "hidden by Default: " << top->width() << " x " << top->height();
}

TEST(DialogFrameQt, CtrlClickOnDefaultOpensTheSheetOverTheWindow) {
  QtFrame q;
  q.f.open();
  QTest::mouseClick(q.button("mButtonDefault"), Qt::LeftButton, Qt::ControlModifier);
  EXPECT_TRUE(q.f.dataSource.calls.empty());
  QWidget* sheet = q.widget<QWidget>(q.f.sheet(), "");
  ASSERT_NE(sheet, nullptr);
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
  auto* toolbar = sheet->findChild<QToolBar*>("toolbar");
  ASSERT_NE(toolbar, nullptr);
  Strings items;
  for (QAction* action : toolbar->actions()) items.push_back(action->objectName().toStdString());
  EXPECT_EQ(items, (Strings{"newScannerAbility", "newScannerCapability", "newNVRAM"}));
  QTest::mouseClick(q.widget<QPushButton>(q.f.sheet(), "mButtonPropertyOK"), Qt::LeftButton);
  EXPECT_FALSE(sheet->isVisible());
  EXPECT_EQ(q.f.window().attachedSheet(), nullptr);
}

// The bottom row's buttons stand on one line at the style's height, Default widened by half
// from its title's size and no taller; the information page, which hides Default and Preview,
// leaves the pages where they were: nothing jumps as the user goes from page to page.
TEST(DialogFrameQt, TheMainButtonsShareOneHeightAndThePagesStayPutOnEveryPage) {
  QtFrame q;
  q.f.open();
  QApplication::processEvents();
  auto* tabs = q.widget<QTabWidget>(q.f.window(), kTabViewOutlet);
  ASSERT_NE(tabs, nullptr);
  tabs->setCurrentIndex(0);
  testsupport::settleQtLayouts();
  const QRect pages = tabs->geometry();
  QPushButton* defaults = q.button("mButtonDefault");
  ASSERT_NE(defaults, nullptr);
  for (const char* outlet : {"mButtonPreview", "mButtonCancel", "mButtonScan"}) {
    SCOPED_TRACE(outlet);
    QPushButton* other = q.button(outlet);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(defaults->height(), other->height());
    EXPECT_EQ(defaults->geometry().center().y(), other->geometry().center().y());
  }
  // Default is widened by half from the size its title needs, not from its cell's nominal width.
  QPushButton plain(defaults->text());
  plain.setFont(defaults->font());
  EXPECT_NEAR(defaults->width(), 1.5 * plain.sizeHint().width(), 1.0) << "Default is widened";
  for (int page = 0; page < tabs->count(); ++page) {
    tabs->setCurrentIndex(page);
    testsupport::settleQtLayouts();
    const QRect now = tabs->geometry();
    EXPECT_EQ(now, pages) << tabs->tabText(page).toStdString() << ": " << now.width() << " x "
                          << now.height() << " at " << now.x() << "," << now.y() << ", was "
                          << pages.width() << " x " << pages.height();
  }
}

}  // namespace
}  // namespace ferrolite::dialog::testing
