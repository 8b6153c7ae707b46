// The layer's contract per control kind: the program's changes fire nothing; a user's change
// sets the bound property, then runs the action once; input is refused where a user could not
// give it.
#include <gtest/gtest.h>

#include <functional>

#include "platform/ui/TabView.h"
#include "tests/platform/ui/UiTesting.h"

namespace {

using namespace ui;
using uitest::RecordingPeer;
using uitest::UiFixture;

// Resolution to item index and back, keeping the last resolution for the custom item.
class ResolutionTransformer : public ValueTransformer {
 public:
  Value transformed(const Value& value) override {
    last_ = value.integer().valueOr(0);
    for (int i = 0; i < 6; ++i) {
      if (kResolutions[i] == last_) return Value(i);
    }
    return Value(6);
  }
  Value reverseTransformed(const Value& value) override {
    std::int64_t index = value.integer().valueOr(0);
    if (index >= 0 && index < 6) last_ = kResolutions[index];
    return Value(last_);
  }

 private:
  static constexpr std::int64_t kResolutions[6] = {75, 150, 200, 300, 400, 600};
  std::int64_t last_ = 0;
};

struct ContractCase {
  const char* name;
  // Makes the control, bound to the property "bound", with `action` as its action.
  std::function<Control&(UiFixture&, Control::Action)> make;
  std::function<void(Control&)> programmatic;
  std::function<bool(UiFixture&, Control&)> userChange;
  std::int64_t expected;  // the property's value when the action runs
};

ResolutionTransformer gTransformer;

const ContractCase kCases[] = {
    {"check box",
     [](UiFixture& f, Control::Action a) -> Control& {
       auto& b = f.window->make<Button>(nullptr, ControlKind::checkBox, "check");
       b.bindValue(f.properties, "bound");
       b.setAction(a);
       return b;
     },
     [](Control& c) { static_cast<Button&>(c).setState(ButtonState::on); },
     [](UiFixture& f, Control& c) {
       static_cast<Button&>(c).setState(ButtonState::off);
       return f.user.click(static_cast<Button&>(c));
     },
     1},
    {"toggle button",
     [](UiFixture& f, Control::Action a) -> Control& {
       auto& b = f.window->make<Button>(nullptr, ControlKind::toggleButton, "toggle");
       b.bindValue(f.properties, "bound");
       b.setAction(a);
       return b;
     },
     [](Control& c) { static_cast<Button&>(c).setState(ButtonState::off); },
     [](UiFixture& f, Control& c) { return f.user.click(static_cast<Button&>(c)); }, 1},
    {"radio button",
     [](UiFixture& f, Control::Action a) -> Control& {
       auto& b = f.window->make<Button>(nullptr, ControlKind::radioButton, "radio");
       b.bindValue(f.properties, "bound");
       b.setAction(a);
       return b;
     },
     [](Control& c) { static_cast<Button&>(c).setState(ButtonState::on); },
     [](UiFixture& f, Control& c) { return f.user.click(static_cast<Button&>(c)); }, 1},
    {"pop-up button",
     [](UiFixture& f, Control::Action a) -> Control& {
       auto& p = f.window->make<PopUpButton>(nullptr, ControlKind::popUpButton, "popup");
       for (const char* t : {"None", "Smooth", "Removal"}) p.addItemWithTitle(t);
       p.bindSelectedIndex(f.properties, "bound");
       p.setAction(a);
       return p;
     },
     [](Control& c) { static_cast<PopUpButton&>(c).selectItemAtIndex(1); },
     [](UiFixture& f, Control& c) { return f.user.choose(static_cast<PopUpButton&>(c), 2); }, 2},
    {"pop-up button through a transformer",
     [](UiFixture& f, Control::Action a) -> Control& {
       auto& p = f.window->make<PopUpButton>(nullptr, ControlKind::popUpButton, "res");
       for (const char* t : {"75", "150", "200", "300", "400", "600", "Custom"}) {
         p.addItemWithTitle(t);
       }
       p.bindSelectedIndex(f.properties, "bound", &gTransformer);
       p.setAction(a);
       return p;
     },
     [](Control& c) { static_cast<PopUpButton&>(c).selectItemAtIndex(4); },
     [](UiFixture& f, Control& c) { return f.user.choose(static_cast<PopUpButton&>(c), 3); }, 300},
    {"slider",
     [](UiFixture& f, Control::Action a) -> Control& {
       auto& s = f.window->make<Slider>(nullptr, "slider");
       s.setMaxValue(255);
       s.bindValue(f.properties, "bound");
       s.setAction(a);
       return s;
     },
     [](Control& c) { static_cast<Slider&>(c).setDoubleValue(7); },
     [](UiFixture& f, Control& c) { return f.user.slide(static_cast<Slider&>(c), 40); }, 40},
    {"stepper",
     [](UiFixture& f, Control::Action a) -> Control& {
       auto& s = f.window->make<Stepper>(nullptr, "stepper");
       s.setMaxValue(100);
       s.setIncrement(5);
       s.setDoubleValue(5);
       s.bindValue(f.properties, "bound");
       f.properties.set("bound", 5);
       s.setAction(a);
       return s;
     },
     [](Control& c) { static_cast<Stepper&>(c).setDoubleValue(50); },
     [](UiFixture& f, Control& c) {
       static_cast<Stepper&>(c).setDoubleValue(5);
       return f.user.step(static_cast<Stepper&>(c), StepDirection::up);
     },
     10},
    {"text field (Return ends the editing)",
     [](UiFixture& f, Control::Action a) -> Control& {
       auto& t = f.window->make<TextField>(nullptr, "field");
       t.bindValue(f.properties, "bound");
       t.setAction(a);
       return t;
     },
     [](Control& c) { static_cast<TextField&>(c).setText("9"); },
     [](UiFixture& f, Control& c) {
       auto& t = static_cast<TextField&>(c);
       t.setText("");
       return f.user.type(t, "42") && f.user.pressKey(t, SpecialKey::returnKey);
     },
     42},
};

TEST(ControlContract, ProgrammaticChangesFireNothingAndUserChangesSetThePropertyBeforeTheAction) {
  for (const ContractCase& c : kCases) {
    SCOPED_TRACE(c.name);
    UiFixture f;
    int actions = 0;
    int sets = 0;
    std::int64_t seenByAction = -1;
    Control& control = c.make(f, [&](Control&) {
      ++actions;
      seenByAction = f.properties.integer("bound");
    });
    f.properties.observe("bound", [&](std::string_view, const Value&) { ++sets; });

    c.programmatic(control);
    EXPECT_EQ(actions, 0);
    EXPECT_EQ(sets, 0) << "a programmatic change does not write the property";

    ASSERT_TRUE(c.userChange(f, control));
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(sets, 1);
    EXPECT_EQ(seenByAction, c.expected) << "the action sees the property already set";
  }
}

TEST(ControlContract, InputIsRefusedWhereAUserCouldNotGiveIt) {
  // Each arrangement may make a window that must live while the click is tried.
  using Kept = std::unique_ptr<Window>;
  struct Refusal {
    const char* name;
    std::function<Kept(UiFixture&, Button&, View&)> arrange;
  };
  const Refusal refusals[] = {
      {"disabled",
       [](UiFixture&, Button& b, View&) {
         b.setEnabled(false);
         return Kept();
       }},
      {"hidden",
       [](UiFixture&, Button& b, View&) {
         b.setHidden(true);
         return Kept();
       }},
      {"in a hidden box",
       [](UiFixture&, Button&, View& box) {
         box.setHidden(true);
         return Kept();
       }},
      {"window not shown",
       [](UiFixture& f, Button&, View&) {
         f.window->orderOut();
         return Kept();
       }},
      {"a sheet on the window",
       [](UiFixture& f, Button&, View&) {
         auto sheet = std::make_unique<Window>(f.application, WindowKind::sheet, "sheet");
         f.window->beginSheet(*sheet);
         return sheet;
       }},
      {"another window's modal session",
       [](UiFixture& f, Button&, View&) {
         auto panel = std::make_unique<Window>(f.application, WindowKind::panel, "transport");
         f.application.beginModalSession(*panel);
         return panel;
       }},
      {"during the short pass",
       [](UiFixture& f, Button& b, View&) {
         f.services.runLoop.setDuringShortPass(
             [&f, &b] { f.log.push_back(f.user.click(b) ? "click taken" : "click refused"); });
         f.application.runShortPass(Seconds(0.05));
         return Kept();
       }},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.name);
    UiFixture f;
    View& box = f.window->make<View>(nullptr, "box");
    Button& button = f.window->make<Button>(&box, ControlKind::pushButton, "button");
    button.setAction(f.logs("action"));
    Kept kept = r.arrange(f, button, box);
    if (f.log.empty()) {
      EXPECT_FALSE(f.user.click(button));
      EXPECT_TRUE(f.log.empty());
    } else {
      EXPECT_EQ(f.log, std::vector<std::string>{"click refused"});
    }
    if (f.application.modalWindow()) f.application.endModalSession();
  }
}

TEST(ControlContract, ControlsOnATabPageTakeInputOnlyWhileThePageIsShown) {
  UiFixture f;
  auto& tabs = f.window->make<TabView>(nullptr, "tabs");
  TabViewItem& first = f.window->makeTabViewItem("first", "KriTabImage", tabs);
  TabViewItem& second = f.window->makeTabViewItem("second", "KriTabPaper", tabs);
  tabs.addItem(first);
  tabs.addItem(second);
  auto& button = f.window->make<Button>(&second.view(), ControlKind::pushButton, "onSecond");
  button.setAction(f.logs("clicked"));
  EXPECT_FALSE(f.user.click(button));
  tabs.selectItem(second);
  EXPECT_TRUE(f.user.click(button));
  tabs.removeItem(second);
  EXPECT_FALSE(f.user.click(button)) << "a page taken out of its tab view is not shown";
  EXPECT_EQ(f.log, std::vector<std::string>{"clicked"});
}

TEST(ControlContract, EverySetOfABoundPropertyRedrawsItsControlsEvenWithTheSameValue) {
  UiFixture f;
  auto& slider = f.window->make<Slider>(nullptr, "mSliderBrightness");
  auto& stepper = f.window->make<Stepper>(nullptr, "mStepperBrightness");
  slider.bindValue(f.properties, "mBrightnessValue");
  stepper.bindValue(f.properties, "mBrightnessValue");
  RecordingPeer peer;
  slider.setPeer(&peer);
  f.properties.set("mBrightnessValue", 0);
  f.properties.set("mBrightnessValue", 40);
  f.properties.set("mBrightnessValue", 40);
  EXPECT_EQ(peer.count(Aspect::value), 3);
  EXPECT_EQ(slider.intValue(), 40);
  EXPECT_EQ(stepper.intValue(), 40);
  // A user change moves the other bound control, not an action.
  stepper.setAction(f.logs("stepper"));
  slider.setAction(f.logs("slider"));
  EXPECT_TRUE(f.user.slide(slider, 12));
  EXPECT_EQ(stepper.intValue(), 12);
  EXPECT_EQ(f.log, std::vector<std::string>{"slider"});
  slider.setPeer(nullptr);
}

TEST(ControlContract, AUserChosenCustomItemKeepsTheLastValueThroughTheTransformer) {
  UiFixture f;
  ResolutionTransformer transformer;
  auto& popUp = f.window->make<PopUpButton>(nullptr, ControlKind::popUpButton, "mPopupRes");
  for (const char* t : {"75", "150", "200", "300", "400", "600", "Custom"}) {
    popUp.addItemWithTitle(t);
  }
  popUp.bindSelectedIndex(f.properties, "mResValue", &transformer);
  f.properties.set("mResValue", 100);
  EXPECT_EQ(popUp.indexOfSelectedItem(), 6);
  f.properties.set("mResValue", 400);
  EXPECT_EQ(popUp.indexOfSelectedItem(), 4);
  EXPECT_TRUE(f.user.choose(popUp, 6));
  EXPECT_EQ(f.properties.integer("mResValue"), 400) << "the custom entry answers the last value";
  EXPECT_EQ(popUp.indexOfSelectedItem(), 6) << "the pop-up is not moved back by its own change";
}

TEST(Buttons, ChecksToggleTwoStatesAndCycleOnOffMixedWhenMixedIsAllowed) {
  UiFixture f;
  auto& check = f.window->make<Button>(nullptr, ControlKind::checkBox, "check");
  std::vector<ButtonState> seen;
  check.setAction([&](Control& c) { seen.push_back(static_cast<Button&>(c).state()); });
  f.user.click(check);
  f.user.click(check);
  check.setAllowsMixedState(true);
  f.user.click(check);
  f.user.click(check);
  f.user.click(check);
  EXPECT_EQ(seen, (std::vector<ButtonState>{ButtonState::on, ButtonState::off, ButtonState::mixed,
                                            ButtonState::on, ButtonState::off}));
  check.setAllowsMixedState(false);
  check.setState(ButtonState::mixed);
  EXPECT_EQ(check.state(), ButtonState::on) << "no mixed state where it is not allowed";
}

TEST(Buttons, AButtonHandlingTheMouseItselfGetsPressAndReleaseAndSendsNoAction) {
  UiFixture f;
  auto& hover = f.window->make<Button>(nullptr, ControlKind::pushButton, "mPreviewResult");
  hover.setAction(f.logs("action"));
  hover.setMouseHandlers([&](Button&) { f.log.push_back("down"); },
                         [&](Button&) { f.log.push_back("up"); });
  EXPECT_TRUE(f.user.press(hover));
  EXPECT_TRUE(f.user.release(hover));
  EXPECT_TRUE(f.user.click(hover));
  EXPECT_EQ(f.log, (std::vector<std::string>{"down", "up", "down", "up"}));
}

TEST(Matrix, AClickSelectsItsCellAloneAndADisabledCellRefuses) {
  UiFixture f;
  auto& matrix = f.window->make<Matrix>(nullptr, "pPortraitLanscape", 1, 2);
  std::vector<int> columns;
  matrix.setAction(
      [&](Control& c) { columns.push_back(static_cast<Matrix&>(c).selectedColumn()); });
  matrix.selectCell(0, 0);
  EXPECT_TRUE(f.user.clickCell(matrix, 0, 1));
  EXPECT_EQ(matrix.cell(0, 0).state, ButtonState::off);
  EXPECT_EQ(matrix.cell(0, 1).state, ButtonState::on);
  matrix.setCellEnabled(0, 0, false);
  EXPECT_FALSE(f.user.clickCell(matrix, 0, 0));
  EXPECT_EQ(columns, std::vector<int>{1});
}

TEST(Menus, ItemsCarryValuesTicksFollowTheChoiceAndItemActionsGoFirst) {
  UiFixture f;
  auto& popUp = f.window->make<PopUpButton>(nullptr, ControlKind::popUpButton, "mPopupScanSource");
  auto menu = std::make_unique<Menu>("ScanSource");
  menu->addItem("Automatic").setRepresentedObject(0);
  menu->addItem("Feeder").setRepresentedObject(1);
  menu->addSeparator();
  menu->addItem("Flatbed").setRepresentedObject(2);
  popUp.setMenu(std::move(menu));
  popUp.setAction([&](Control& c) {
    auto& p = static_cast<PopUpButton&>(c);
    f.log.push_back("popup " + std::to_string(*p.selectedItem()->representedObject().integer()));
  });
  popUp.selectItemAtIndex(1);
  EXPECT_EQ(popUp.itemAt(1).state(), ButtonState::on);
  EXPECT_FALSE(f.user.choose(popUp, 2)) << "a separator cannot be chosen";
  EXPECT_TRUE(f.user.choose(popUp, 3));
  EXPECT_EQ(popUp.itemAt(1).state(), ButtonState::off);
  EXPECT_EQ(popUp.itemAt(3).state(), ButtonState::on);
  popUp.itemAt(0).setEnabled(false);
  EXPECT_FALSE(f.user.choose(popUp, 0));
  EXPECT_EQ(f.log, std::vector<std::string>{"popup 2"});
}

TEST(Menus, APullDownChoosesThroughSubmenusWhoseItemsSendTheirOwnActions) {
  UiFixture f;
  auto& pullDown = f.window->make<PopUpButton>(nullptr, ControlKind::pullDownButton,
                                               "mBtnPrinterDateTimeDivide");
  pullDown.setAction(f.logs("pull-down action"));
  auto menu = std::make_unique<Menu>("DateTime Divide");
  menu->addItem("None");
  auto dates = std::make_unique<Menu>("Date Divide");
  for (const char* t : {"Separator", "", "None", "/", ",", "-", ".", "Space"}) {
    if (*t) {
      dates->addItem(t).setAction([&](MenuItem& item) { f.log.push_back("date " + item.title()); });
    } else {
      dates->addSeparator();
    }
  }
  dates->setTicksChosenItem(true);
  dates->markChosen(2);
  menu->addItem("Date").setSubmenu(std::move(dates));
  pullDown.setMenu(std::move(menu));
  EXPECT_EQ(pullDown.indexOfSelectedItem(), -1) << "a pull-down shows its title, not a choice";

  EXPECT_FALSE(f.user.choose(pullDown, 0)) << "the first item is the title";
  EXPECT_FALSE(f.user.choose(pullDown, 1)) << "an item with a submenu only opens it";
  EXPECT_TRUE(f.user.chooseTitled(pullDown, {"Date", "-"}));
  Menu& dateMenu = *pullDown.itemAt(1).submenu();
  EXPECT_EQ(dateMenu.item(5).state(), ButtonState::on);
  EXPECT_EQ(dateMenu.item(2).state(), ButtonState::off) << "the tick moved";
  EXPECT_EQ(f.log, std::vector<std::string>{"date -"});
}

TEST(Menus, TwoPopUpsBoundToOneControllerShowItsRowsAndFollowOneSelection) {
  UiFixture f;
  ArrayController& papers = f.window->makeArrayController("mPaperNameController");
  auto& image = f.window->make<PopUpButton>(nullptr, ControlKind::popUpButton, "mPopupPaperSize");
  auto& paper =
      f.window->make<PopUpButton>(nullptr, ControlKind::popUpButton, "mPopupPaperTabPaperSize");
  image.bindContent(papers, "mName");
  paper.bindContent(papers, "mName");
  std::vector<ArrayController::Row> rows(3);
  rows[0].set("mName", "Automatic");
  rows[1].set("mName", "A4");
  rows[2].set("mName", "Custom");
  papers.setContent(rows);
  papers.setSelectionIndex(2);
  EXPECT_EQ(image.numberOfItems(), 3u);
  EXPECT_EQ(paper.titleOfSelectedItem(), "Custom");
  EXPECT_TRUE(f.user.choose(image, 1));
  EXPECT_EQ(papers.selectionIndex(), 1u);
  EXPECT_EQ(paper.titleOfSelectedItem(), "A4");
}

}  // namespace
