// The Qt adapter on real widgets (offscreen), in a host that runs its own Qt application: the
// windows live on its GUI thread; peers carry the outlets and show the layer's state without
// sending actions; the user's input through Qt reaches the layer as its user actions, in the
// layer's order. The rules themselves are the layer's tests'; these prove the wiring.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "platform/ui/Alert.h"
#include "platform/ui/Application.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Host.h"
#include "platform/ui/Properties.h"
#include "platform/ui/TabView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Window.h"
#include "tests/support/QtLayouts.h"
#include "tests/support/TestFolder.h"
#include "tests/support/ThreadsGoneAtExit.h"

namespace {

using namespace ui;

// The host's application object, made once on the main thread before any test.
class QtHostEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "qt-adapter-test";
    static char* argv[] = {name, nullptr};
    application_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { application_.reset(); }
  static QApplication* application() { return application_.get(); }

 private:
  static inline std::unique_ptr<QApplication> application_;
};
[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtHostEnvironment);

struct QtFixture {
  std::unique_ptr<WindowHost> host;
  std::unique_ptr<Application> application;
  std::unique_ptr<Window> window;
  Properties properties;
  std::vector<std::string> log;

  QtFixture() {
    auto started = WindowHost::start(VT_QT_ADAPTER);
    if (!started) throw std::runtime_error(started.error());
    host = std::move(*started);
    application = std::make_unique<Application>(host->services());
    window = std::make_unique<Window>(*application, WindowKind::window, "pMain", Size{480, 320});
  }
  ~QtFixture() {
    window.reset();
    application.reset();
    host.reset();
  }
  void show() {
    host->toolkit().attach(*window);
    window->makeKeyAndOrderFront();
  }
  template <class W>
  W* widget(std::string_view outlet, Window* of = nullptr) {
    return qobject_cast<W*>(
        static_cast<QWidget*>(host->toolkit().widget(of ? *of : *window, outlet)));
  }
  // An action that logs what it saw of its bound property (the one named as the outlet).
  Control::Action logsBound(std::string outlet) {
    return [this, outlet](Control&) {
      log.push_back(outlet + " " + std::to_string(properties.integer(outlet)));
    };
  }
};

TEST(QtAdapter, AHostsApplicationRunsTheWindowsOnItsGuiThreadWithNoSecondApplication) {
  QtFixture f;
  EXPECT_FALSE(f.host->toolkit().ownsUiThread());
  EXPECT_TRUE(f.host->queue().onUiThread());
  EXPECT_EQ(QCoreApplication::instance(), QtHostEnvironment::application());

  // A call from another thread runs on the GUI thread, while the host's loop runs.
  std::thread::id ranOn;
  bool done = false;
  std::thread caller([&] {
    f.host->queue().performAndWait([&] { ranOn = std::this_thread::get_id(); });
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { done = true; });
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  caller.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(QtAdapter, TheToolkitsPortsFireTimersInTurnKeepTheClipboardAndMeasureText) {
  QtFixture f;
  const Services& services = f.host->services();
  std::vector<std::string> fired;
  services.timers->scheduleOnce(Seconds(0.02), [&] { fired.push_back("late"); });
  const Timers::Id cancelled =
      services.timers->scheduleOnce(Seconds(0.01), [&] { fired.push_back("cancelled"); });
  services.timers->scheduleOnce(Seconds(0), [&] { fired.push_back("first"); });
  services.timers->cancel(cancelled);
  while (fired.size() < 2) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  EXPECT_EQ(fired, (std::vector<std::string>{"first", "late"}));

  services.pasteboard->setString("0012");
  EXPECT_EQ(services.pasteboard->string(), "0012");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "0012");

  const Font plain{"Sans", 13, false};
  const double one = services.fonts->width("W", plain);
  EXPECT_GT(one, 0);
  EXPECT_GT(services.fonts->width("WWW", plain), 2.5 * one);
  EXPECT_EQ(services.fonts->width("", plain), 0);
}

TEST(QtAdapter, PeersCarryTheOutletsAndShowProgrammaticChangesWithoutActions) {
  QtFixture f;
  auto& scan = f.window->make<Button>(nullptr, ControlKind::pushButton, "mBtnScan");
  auto& check = f.window->make<Button>(nullptr, ControlKind::checkBox, "mCheckBoxMulti");
  auto& field = f.window->make<TextField>(nullptr, "mTextFieldLeft");
  auto& popUp = f.window->make<PopUpButton>(nullptr, ControlKind::popUpButton, "mPopupRes");
  auto& slider = f.window->make<Slider>(nullptr, "mSliderBright");
  for (Control* c : std::initializer_list<Control*>{&scan, &check, &field, &popUp, &slider}) {
    c->setAction(f.logsBound(c->outlet()));
  }
  f.show();

  scan.setTitle("Scan");
  check.setState(ButtonState::on);
  field.setText("210");
  popUp.addItemWithTitle("150");
  popUp.addItemWithTitle("300");
  popUp.selectItemAtIndex(1);
  slider.setMinValue(-127);
  slider.setMaxValue(127);
  slider.setDoubleValue(40);

  ASSERT_NE(f.widget<QPushButton>("mBtnScan"), nullptr);
  EXPECT_EQ(f.widget<QPushButton>("mBtnScan")->objectName(), "mBtnScan");
  EXPECT_EQ(f.widget<QPushButton>("mBtnScan")->text(), "Scan");
  EXPECT_TRUE(f.widget<QCheckBox>("mCheckBoxMulti")->isChecked());
  EXPECT_EQ(f.widget<QLineEdit>("mTextFieldLeft")->text(), "210");
  EXPECT_EQ(f.widget<QComboBox>("mPopupRes")->currentText(), "300");
  EXPECT_EQ(f.widget<QSlider>("mSliderBright")->value(), 40);
  slider.setGridCell({2, 1, 1, 3});
  auto* grid = qobject_cast<QGridLayout*>(f.widget<QWidget>("")->findChild<QGridLayout*>());
  ASSERT_NE(grid, nullptr);
  int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
  grid->getItemPosition(grid->indexOf(f.widget<QSlider>("mSliderBright")), &row, &column, &rowSpan,
                        &columnSpan);
  EXPECT_EQ((GridCell{row, column, rowSpan, columnSpan}), (GridCell{2, 1, 1, 3}));
  scan.setEnabled(false);
  field.setHidden(true);
  EXPECT_FALSE(f.widget<QPushButton>("mBtnScan")->isEnabled());
  EXPECT_TRUE(f.widget<QLineEdit>("mTextFieldLeft")->isHidden());
  EXPECT_TRUE(f.log.empty());
}

TEST(QtAdapter, TheUsersInputThroughQtSetsTheBoundPropertyThenRunsTheActionOnce) {
  QtFixture f;
  auto& check = f.window->make<Button>(nullptr, ControlKind::checkBox, "mCheckBoxMulti");
  check.bindValue(f.properties, "mCheckBoxMulti");
  check.setAction(f.logsBound("mCheckBoxMulti"));
  auto& popUp = f.window->make<PopUpButton>(nullptr, ControlKind::popUpButton, "mPopupRes");
  for (const char* title : {"150", "200", "300"}) popUp.addItemWithTitle(title);
  popUp.bindSelectedIndex(f.properties, "mPopupRes");
  popUp.setAction(f.logsBound("mPopupRes"));
  auto& slider = f.window->make<Slider>(nullptr, "mSliderBright");
  slider.setMaxValue(255);
  slider.bindValue(f.properties, "mSliderBright");
  slider.setAction(f.logsBound("mSliderBright"));
  f.show();

  QCheckBox* box = f.widget<QCheckBox>("mCheckBoxMulti");
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));  // on the box
  QComboBox* combo = f.widget<QComboBox>("mPopupRes");
  combo->setCurrentIndex(2);
  emit combo->activated(2);  // what the combo sends when the user picks an item
  QTest::keyClick(f.widget<QSlider>("mSliderBright"), Qt::Key_Right);

  EXPECT_EQ(f.log,
            (std::vector<std::string>{"mCheckBoxMulti 1", "mPopupRes 2", "mSliderBright 1"}));
  EXPECT_TRUE(check.isOn());
  EXPECT_EQ(popUp.indexOfSelectedItem(), 2);
  EXPECT_EQ(slider.doubleValue(), 1);
}

TEST(QtAdapter, TabsTablesSteppersPullDownsAndThePreviewTakeTheUsersInputThroughQt) {
  QtFixture f;
  // Tabs: inserted and removed by the program, chosen by the user on the tab bar.
  auto& tabView = f.window->make<TabView>(nullptr, "pMainTab");
  std::vector<TabViewItem*> items;
  for (const char* id : {"KriTabImage", "KriTabPaper", "KriTabSetting"}) {
    items.push_back(&f.window->makeTabViewItem(id, id, tabView));
    items.back()->setLabel(id);
    tabView.addItem(*items.back());
  }
  tabView.setDelegate({.shouldSelect = {}, .didSelect = [&](TabView&, TabViewItem& item) {
                         f.log.push_back("tab " + item.identifier());
                       }});
  // A table with a check column.
  auto& table = f.window->make<TableView>(nullptr, "pImageTabTableView");
  table.addColumn({"Use", "", CellKind::check});
  std::vector<int> checks{0, 1};
  table.setDataSource(
      {[&](TableView&) { return static_cast<int>(checks.size()); },
       [&](TableView&, const TableColumn&, int row) -> foundation::Value {
         return foundation::Value(checks[row]);
       },
       [&](TableView&, const foundation::Value& value, const TableColumn&, int row) {
         checks[row] = static_cast<int>(value.integer().valueOr(-1));
         f.log.push_back("check " + std::to_string(row));
       }});
  table.reloadData();
  // A stepper, a pull-down with a submenu, and the preview's view (flipped, as the preview is).
  auto& stepper = f.window->make<Stepper>(nullptr, "mStepperCount");
  stepper.setMaxValue(10);
  stepper.setIncrement(2);
  stepper.setAction(
      [&](Control&) { f.log.push_back("step " + std::to_string(stepper.doubleValue())); });
  auto& pullDown =
      f.window->make<PopUpButton>(nullptr, ControlKind::pullDownButton, "mPullDownProfile");
  pullDown.addItemWithTitle("Profile");
  pullDown.addItemWithTitle("Save");
  MenuItem& more = pullDown.addItemWithTitle("More");
  auto submenu = std::make_unique<Menu>();
  submenu->addItem("Delete").setAction([&](MenuItem& item) { f.log.push_back(item.title()); });
  more.setSubmenu(std::move(submenu));
  auto& preview = f.window->make<ImageView>(nullptr, "mPreviewView");
  preview.setFlipped(true);
  preview.setFrameSize({100, 80});
  preview.setMouseHandlers({.down =
                                [&](ImageView&, const MouseEvent& e) {
                                  f.log.push_back("down " + std::to_string(int(e.location.x)) +
                                                  "," + std::to_string(int(e.location.y)) +
                                                  ((e.modifiers & kShift) ? " shift" : ""));
                                },
                            .dragged = {},
                            .up =
                                [&](ImageView&, const MouseEvent& e) {
                                  f.log.push_back("up " + std::to_string(int(e.location.x)) + "," +
                                                  std::to_string(int(e.location.y)));
                                },
                            .moved = {},
                            .entered = {},
                            .exited = {}});
  f.show();

  auto* tabs = f.widget<QTabWidget>("pMainTab");
  ASSERT_NE(tabs, nullptr);
  tabView.removeItem(*items[1]);
  ASSERT_EQ(tabs->count(), 2);
  EXPECT_EQ(tabs->tabText(1), "KriTabSetting") << "the program's removal leaves the others";
  QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
  EXPECT_EQ(tabView.selectedItem()->identifier(), "KriTabSetting");

  auto* grid = f.widget<QTableWidget>("pImageTabTableView");
  ASSERT_NE(grid, nullptr);
  grid->item(0, 0)->setCheckState(Qt::Checked);  // what a click on the box does
  EXPECT_EQ(checks, (std::vector<int>{1, 1}));

  auto* stepperBox = f.widget<QWidget>("mStepperCount");
  ASSERT_NE(stepperBox, nullptr);
  QTest::mouseClick(stepperBox->findChild<QToolButton*>("up"), Qt::LeftButton);

  auto* pullDownButton = f.widget<QToolButton>("mPullDownProfile");
  ASSERT_NE(pullDownButton, nullptr);
  QCoreApplication::processEvents();  // the menu is built once the program's changes are over
  ASSERT_NE(pullDownButton->menu(), nullptr);
  QList<QAction*> actions = pullDownButton->menu()->actions();
  ASSERT_EQ(actions.size(), 2);
  EXPECT_EQ(actions[0]->text(), "Save");
  ASSERT_NE(actions[1]->menu(), nullptr);
  actions[1]->menu()->actions().value(0)->trigger();

  QWidget* picture = f.widget<QWidget>("mPreviewView");
  ASSERT_NE(picture, nullptr);
  QTest::mousePress(picture, Qt::LeftButton, Qt::ShiftModifier, QPoint(10, 20));
  QTest::mouseRelease(picture, Qt::LeftButton, {}, QPoint(30, 40));

  EXPECT_EQ(f.log, (std::vector<std::string>{"tab KriTabSetting", "check 0", "step 2.000000",
                                             "Delete", "down 10,20 shift", "up 30,40"}));
}

TEST(QtAdapter, TypingThroughQtIsOneChangePerKeyAndTabBacktabAndReturnEndTheEditing) {
  QtFixture f;
  auto& field = f.window->make<TextField>(nullptr, "mTextFieldLeft");
  std::vector<std::string> seen;
  std::vector<TextMovement> ends;
  TextField::Handlers handlers;
  handlers.didChange = [&](TextField& changed) {
    seen.push_back(changed.text());
    std::string digits;
    for (char c : changed.text()) {
      if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
    }
    if (digits != changed.text()) changed.setText(digits);
  };
  handlers.didEndEditing = [&](TextField&, TextMovement movement) { ends.push_back(movement); };
  field.setHandlers(handlers);
  f.show();
  QLineEdit* edit = f.widget<QLineEdit>("mTextFieldLeft");
  ASSERT_NE(edit, nullptr);

  ASSERT_TRUE(f.window->makeFirstResponder(&field));
  QTest::keyClicks(edit, "1a2");
  EXPECT_EQ(seen, (std::vector<std::string>{"1", "1a", "12"}));
  EXPECT_EQ(edit->text(), "12");
  EXPECT_EQ(field.text(), "12");

  QTest::keyClick(edit, Qt::Key_Tab);
  ASSERT_TRUE(f.window->makeFirstResponder(&field));
  QTest::keyClick(edit, Qt::Key_Backtab, Qt::ShiftModifier);
  ASSERT_TRUE(f.window->makeFirstResponder(&field));
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(ends, (std::vector<TextMovement>{TextMovement::tab, TextMovement::backtab,
                                             TextMovement::returnKey}));
}

TEST(QtAdapter, AnAlertIsAModalDialogWhoseButtonsAnswer) {
  QtFixture f;
  f.show();
  Alert alert(*f.application);
  alert.setMessageText("Delete the profile?");
  alert.addButton("OK");
  alert.addButton("Cancel");
  TextField& name = alert.setAccessoryTextField({200, 24}, "Untitled");
  bool shown = false;
  QTimer::singleShot(0, [&] {
    QWidget* dialog = static_cast<QWidget*>(f.host->toolkit().widget(alert.window(), ""));
    ASSERT_NE(dialog, nullptr);
    shown = dialog->isVisible() && dialog->isModal();
    auto* accessory = dialog->findChild<QLineEdit*>("alertAccessory");
    ASSERT_NE(accessory, nullptr);
    QTest::keyClicks(accessory, "2");
    QTest::mouseClick(dialog->findChild<QPushButton*>("alertButton1"), Qt::LeftButton);
  });
  EXPECT_EQ(alert.runModal(), kAlertFirstButtonReturn + 1);
  EXPECT_TRUE(shown);
  EXPECT_EQ(name.text(), "2") << "the name is selected when the alert opens; typing replaces it";
  EXPECT_EQ(f.host->toolkit().widget(alert.window(), ""), nullptr) << "its widgets went";
}

TEST(QtAdapter, TheShortPassDrawsButTakesNoClickNowOrLater) {
  QtFixture f;
  auto& scan = f.window->make<Button>(nullptr, ControlKind::pushButton, "mBtnScan");
  scan.setAction(f.logsBound("mBtnScan"));
  f.show();
  QPushButton* button = f.widget<QPushButton>("mBtnScan");
  const QPoint centre = button->rect().center();
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QCoreApplication::postEvent(
        button, new QMouseEvent(type, centre, button->mapToGlobal(centre), Qt::LeftButton,
                                Qt::LeftButton, Qt::NoModifier));
  }
  f.application->runShortPass(Seconds(0.05));
  QCoreApplication::processEvents();
  EXPECT_TRUE(f.log.empty()) << "a click during the pass never comes through";
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(f.log, std::vector<std::string>{"mBtnScan 0"});
}

TEST(QtAdapter, TheCloseBoxAsksTheLayerOnceAndASheetIsWindowModalOverItsWindow) {
  QtFixture f;
  int closes = 0;
  f.window->setDelegate({.shouldClose = {}, .willClose = [&](Window&) { ++closes; }});
  Window sheet(*f.application, WindowKind::sheet, "pDiagnostic", {300, 200});
  sheet.make<Button>(nullptr, ControlKind::pushButton, "mBtnDone");
  f.show();
  f.host->toolkit().attach(sheet);
  f.window->beginSheet(sheet);
  auto* sheetWidget = f.widget<QWidget>("", &sheet);
  auto* windowWidget = f.widget<QWidget>("");
  ASSERT_NE(sheetWidget, nullptr);
  EXPECT_TRUE(sheetWidget->isVisible());
  EXPECT_EQ(sheetWidget->parentWidget(), windowWidget);
  EXPECT_EQ(sheetWidget->windowModality(), Qt::WindowModal);
  f.window->endSheet(sheet);
  sheet.orderOut();
  EXPECT_FALSE(sheetWidget->isVisible());

  windowWidget->close();
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(f.window->isVisible());
  EXPECT_FALSE(windowWidget->isVisible());
}

// Offscreen there is no window manager to place a new window: the adapter places it.
TEST(QtAdapter, AProgressWindowOrSheetOpensCentredOverItsWindow) {
  // Within the rounding of two centres of odd sizes.
  auto near = [](QPoint a, QPoint b) {
    return std::abs(a.x() - b.x()) <= 2 && std::abs(a.y() - b.y()) <= 2;
  };
  QtFixture f;
  {
    // The host's own window, away from the screen's centre.
    QWidget hostWindow;
    hostWindow.setGeometry(20, 30, 320, 240);
    hostWindow.show();
    Window progress(*f.application, WindowKind::window, "pProgress", {200, 80});
    f.host->toolkit().attach(progress);
    progress.center();
    progress.makeKeyAndOrderFront();
    auto* shown = f.widget<QWidget>("", &progress);
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(near(shown->frameGeometry().center(), hostWindow.frameGeometry().center()))
        << shown->frameGeometry().center().x() << "," << shown->frameGeometry().center().y();
    progress.orderOut();
  }
  // A sheet over the dialog's window, wherever that stands.
  f.show();
  auto* windowWidget = f.widget<QWidget>("");
  windowWidget->move(260, 140);
  Window sheet(*f.application, WindowKind::sheet, "pProgressSheet", {200, 80});
  f.host->toolkit().attach(sheet);
  f.window->beginSheet(sheet);
  auto* sheetWidget = f.widget<QWidget>("", &sheet);
  ASSERT_NE(sheetWidget, nullptr);
  EXPECT_TRUE(near(sheetWidget->frameGeometry().center(), windowWidget->frameGeometry().center()))
      << sheetWidget->frameGeometry().center().x() << ","
      << sheetWidget->frameGeometry().center().y() << " over "
      << windowWidget->frameGeometry().center().x() << ","
      << windowWidget->frameGeometry().center().y();
  f.window->endSheet(sheet);
  sheet.orderOut();
}

// Each kind of fault once, in a free container whose frames the test sets: the check names the
// control and the fault, and passes what is laid out well (a label that repeats its box's title
// is a fault, whatever its case and colon; another label in that box is none).
TEST(QtAdapter, TheLayoutCheckNamesEachControlAndItsFault) {
  QtFixture f;
  auto& free = f.window->make<Box>(nullptr, "mFree");
  free.setContainerLayout(ContainerLayout::free);
  free.setFrameSize({300, 300});
  auto place = [](Control& c, double x, double y, double w, double h) {
    c.setFrame({{x, y}, {w, h}});
  };
  auto& fits = f.window->make<Label>(&free, "mStaticFits");
  fits.setText("Fits");
  place(fits, 10, 270, 200, 24);
  auto& cut = f.window->make<Label>(&free, "mStaticCut");
  cut.setText("A label much wider than its frame");
  place(cut, 10, 240, 30, 24);
  auto& under = f.window->make<Button>(&free, ControlKind::pushButton, "mBtnUnder");
  under.setTitle("OK");
  place(under, 10, 180, 100, 30);
  auto& over = f.window->make<Button>(&free, ControlKind::pushButton, "mBtnOver");
  over.setTitle("Go");
  place(over, 60, 190, 100, 30);
  auto& empty = f.window->make<Box>(&free, "mBoxEmpty");
  empty.setTitle("Nothing");
  place(empty, 180, 150, 110, 80);
  auto& titled = f.window->make<Box>(&free, "mBoxTitled");
  titled.setTitle("Print position:");
  place(titled, 10, 20, 200, 90);
  auto& twice = f.window->make<Label>(&titled, "mStaticTwice");
  twice.setText("Print Position");
  auto& once = f.window->make<Label>(&titled, "mStaticOnce");
  once.setGridCell({1, 0});
  once.setText("X offset:");
  auto& away = f.window->make<Button>(&free, ControlKind::pushButton, "mBtnAway");
  away.setTitle("Far");
  place(away, 250, 20, 100, 30);
  f.show();
  std::map<std::string, std::string> faults;
  for (const LayoutFault& fault : f.host->toolkit().checkLayout(*f.window)) {
    faults[fault.control] += fault.problem + "; ";
  }
  auto has = [&faults](const std::string& control, const std::string& words) {
    return faults[control].find(words) != std::string::npos;
  };
  EXPECT_TRUE(has("mStaticCut", "cuts its text \"A label much wider than its frame\""))
      << faults["mStaticCut"];
  EXPECT_TRUE(has("mBtnUnder", "overlaps mBtnOver")) << faults["mBtnUnder"];
  EXPECT_TRUE(has("mBoxEmpty", "nothing shown in it")) << faults["mBoxEmpty"];
  EXPECT_TRUE(has("mBtnAway", "lies outside mFree")) << faults["mBtnAway"];
  EXPECT_TRUE(has("mStaticTwice", "repeats its box's title \"Print position:\""))
      << faults["mStaticTwice"];
  for (const char* fine : {"mStaticFits", "mStaticOnce", "mBoxTitled"}) {
    EXPECT_EQ(faults.count(fine), 0u) << fine << ": " << faults[fine];
  }
  EXPECT_EQ(faults.size(), 5u);
  // A window larger than the screen it must fit.
  f.window->setContentSize({kLayoutScreenWidth + 100.0, 500});
  bool tooLarge = false;
  for (const LayoutFault& fault : f.host->toolkit().checkLayout(*f.window)) {
    tooLarge =
        tooLarge || (fault.control == "pMain" && fault.problem.find("screen") != std::string::npos);
  }
  EXPECT_TRUE(tooLarge);
}

// A text that grows deep in nested boxes reaches the window's layout one level at a time: the
// check and the picture wait for the whole layout, not the first step of it.
TEST(QtAdapter, TheLayoutCheckAndThePictureSeeTheLayoutAfterAChangeDeepInsideTheWindow) {
  QtFixture f;
  Control* parent = nullptr;
  for (const char* outlet : {"mBoxOuter", "mBoxMiddle", "mBoxInner", "mBoxDeepest"}) {
    auto& box = f.window->make<Box>(parent, outlet);
    box.setTitle("Box");
    parent = &box;
  }
  auto& grows = f.window->make<Label>(parent, "mStaticGrows");
  grows.setText("Short");
  auto& beside = f.window->make<Label>(parent, "mStaticBeside");
  beside.setGridCell({0, 1});
  beside.setText("Beside");
  f.show();
  EXPECT_TRUE(f.host->toolkit().checkLayout(*f.window).empty());
  grows.setText("A text many times longer than the one the label had when it was shown first");
  for (const LayoutFault& fault : f.host->toolkit().checkLayout(*f.window)) {
    ADD_FAILURE() << fault.control << ": " << fault.problem;
  }
  const std::filesystem::path picture =
      testsupport::freshTestFolder("qt-adapter-deep-change") / "window.png";
  ASSERT_TRUE(f.host->toolkit().writeSnapshot(*f.window, picture));
  const QImage shown(QString::fromStdString(picture.string()));
  std::filesystem::remove(picture);
  auto* label = f.widget<QLabel>("mStaticGrows");
  ASSERT_NE(label, nullptr);
  EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
  EXPECT_GE(shown.width(), label->width());
}

// Content that grows widens the window; when it shrinks again (pages hidden) the window goes back
// to the size it had, unless the user made it larger meanwhile.
TEST(QtAdapter, AWindowFollowsItsContentBackDownUnlessTheUserEnlargedIt) {
  QtFixture f;
  auto& text = f.window->make<Label>(nullptr, "mStaticText");
  const std::string shortText = "Short";
  const std::string longText(120, 'W');
  text.setText(shortText);
  f.show();
  testsupport::settleQtLayouts();
  auto* top = f.widget<QWidget>("");
  ASSERT_NE(top, nullptr);
  const QSize opened = top->size();
  text.setText(longText);
  testsupport::settleQtLayouts();
  ASSERT_GT(top->width(), opened.width()) << "the long text widens the window";
  text.setText(shortText);
  testsupport::settleQtLayouts();
  EXPECT_EQ(top->size(), opened) << top->width() << " x " << top->height();

  const QSize enlarged = opened + QSize(120, 40);
  top->resize(enlarged);
  testsupport::settleQtLayouts();
  text.setText(std::string(20, 'W'));
  testsupport::settleQtLayouts();
  text.setText(shortText);
  testsupport::settleQtLayouts();
  EXPECT_EQ(top->size(), enlarged) << top->width() << " x " << top->height();
}

// A table of a few rows is as tall as its header and rows: no scrolling, no empty rows under them,
// also in a cell taller than they need and when rows come or go.
TEST(QtAdapter, ATableOfAFewRowsIsAsTallAsItsRows) {
  constexpr int kRowHeight = 24;
  QtFixture f;
  auto& table = f.window->make<TableView>(nullptr, "pSettingsTableView");
  table.setGridCell({0, 0, 8, 2});
  table.addColumn({"page", "Page", CellKind::text});
  table.addColumn({"show", "Show", CellKind::check});
  int rows = 3;
  table.setDataSource({[&rows](TableView&) { return rows; },
                       [](TableView&, const TableColumn&, int row) -> foundation::Value {
                         return foundation::Value(std::string("Row ") + std::to_string(row));
                       },
                       {}});
  TableView::Delegate rowHeights;
  rowHeights.heightOfRow = [](TableView&, int) { return double(kRowHeight); };
  table.setDelegate(rowHeights);
  table.reloadData();
  f.show();
  testsupport::settleQtLayouts();
  auto* grid = f.widget<QTableWidget>("pSettingsTableView");
  ASSERT_NE(grid, nullptr);
  for (int count : {3, 5, 2}) {
    SCOPED_TRACE(count);
    rows = count;
    table.reloadData();
    testsupport::settleQtLayouts();
    EXPECT_EQ(grid->viewport()->height(), count * kRowHeight);
    EXPECT_FALSE(grid->verticalScrollBar()->isVisible());
  }
}

TEST(QtAdapter, AnOpenDrawerFollowsItsWindowWhenItMovesOrShrinks) {
  QtFixture f;
  Window drawer(*f.application, WindowKind::drawer, "mPreviewDrawer", {160, 100});
  drawer.setParentWindow(f.window.get());
  f.show();
  f.host->toolkit().attach(drawer);
  drawer.openDrawer();
  auto* windowWidget = f.widget<QWidget>("");
  auto* drawerWidget = f.widget<QWidget>("", &drawer);
  ASSERT_NE(drawerWidget, nullptr);
  ASSERT_TRUE(drawerWidget->isVisible());
  auto besideItsWindow = [&] {
    QApplication::processEvents();
    const QRect w = windowWidget->frameGeometry(), d = drawerWidget->frameGeometry();
    return d.left() == w.right() + 1 && d.top() == w.top() && d.height() == w.height();
  };
  EXPECT_TRUE(besideItsWindow());
  windowWidget->move(windowWidget->pos() + QPoint(30, 20));
  EXPECT_TRUE(besideItsWindow()) << "moved";
  f.window->setContentSize({360, 240});  // the window shrinks, as when tabs are hidden
  EXPECT_TRUE(besideItsWindow()) << "shrunk";
  drawer.closeDrawer();
}

}  // namespace
