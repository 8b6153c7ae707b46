// Windows from a description: named controls in their parents and cells, texts from their keys
// with the right fallbacks, ranges and options; texts set again for another language.
#include <gtest/gtest.h>

#include "platform/ui/Controls.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Layout.h"
#include "platform/ui/TabView.h"
#include "tests/platform/ui/UiTesting.h"

namespace {

using namespace ui;
using uitest::UiFixture;

WindowSpec sampleWindow() {
  return {
      .outlet = "TwainDSDialog",
      .title = "Settings",
      .size = {600, 420},
      .elements =
          {
              {.outlet = "pMainTab", .kind = ControlKind::tabView, .cell = {0, 0, 1, 4}},
              {.outlet = "pmTabViewImage",
               .parent = "pMainTab",
               .text = "Image",
               .fallback = Fallback::key,
               .identifier = "KriTabImage",
               .element = Element::tabViewItem},
              {.outlet = "pmTabViewPaper",
               .parent = "pMainTab",
               .text = "Paper",
               .fallback = Fallback::key,
               .identifier = "KriTabPaper",
               .element = Element::tabViewItem},
              {.outlet = "mStaticBrightness",
               .kind = ControlKind::label,
               .parent = "pmTabViewImage",
               .cell = {0, 0},
               .text = "Brightness"},
              {.outlet = "mSliderBrightness",
               .kind = ControlKind::slider,
               .parent = "pmTabViewImage",
               .cell = {0, 1, 1, 2},
               .minimum = -100,
               .maximum = 100},
              {.outlet = "mPopupInvert",
               .kind = ControlKind::popUpButton,
               .parent = "pmTabViewImage",
               .cell = {1, 1},
               .text = "Invert",
               .items = {"BlackonWhite", "WhiteonBlack"}},
              {.outlet = "mStepperRes",
               .kind = ControlKind::stepper,
               .parent = "pmTabViewImage",
               .cell = {2, 2},
               .minimum = 72,
               .maximum = 600,
               .increment = 1,
               .options = kValueWraps},
              {.outlet = "pPortraitLanscape",
               .kind = ControlKind::matrix,
               .parent = "pmTabViewPaper",
               .cell = {0, 0},
               .items = {"Portrait", "Landscape"},
               .columns = 2},
              {.outlet = "mBoxFeeding",
               .kind = ControlKind::box,
               .parent = "pmTabViewPaper",
               .cell = {1, 0, 2, 2},
               .text = "Feeding",
               .fallback = Fallback::key},
              {.outlet = "mButtonUltraSonic",
               .kind = ControlKind::checkBox,
               .parent = "mBoxFeeding",
               .cell = {0, 0},
               .text = "UltraSonic"},
              {.outlet = "sample",
               .kind = ControlKind::view,
               .parent = "pmTabViewPaper",
               .cell = {3, 0},
               .size = {300, 90},
               .options = kFreeLayout},
              {.outlet = "mTextFieldExampleText",
               .kind = ControlKind::textField,
               .parent = "sample",
               .text = "Sample",
               .size = {280, 20},
               .origin = {10, 17},
               .options = kNotEditable},
              {.outlet = "mScaModeSideController", .element = Element::arrayController},
              {.outlet = "pImageTabTableView",
               .kind = ControlKind::tableView,
               .parent = "pmTabViewImage",
               .cell = {3, 0, 1, 3}},
              {.parent = "pImageTabTableView",
               .text = "Name",
               .fallback = Fallback::key,
               .size = {140, 0},
               .identifier = "name",
               .element = Element::tableColumn,
               .key = "mName",
               .enabledKey = "mEnabled"},
              {.parent = "pImageTabTableView",
               .identifier = "check",
               .element = Element::tableColumn,
               .cellKind = CellKind::check,
               .key = "mCheck"},
              {.outlet = "previewScroll",
               .kind = ControlKind::scrollView,
               .parent = "pmTabViewPaper",
               .cell = {0, 2, 3, 1},
               .options = kHorizontalRuler | kVerticalRuler},
              {.outlet = "mPreviewView",
               .kind = ControlKind::imageView,
               .parent = "previewScroll",
               .size = {232, 300},
               .options = kFlipped},
              {.outlet = "mButtonScan",
               .kind = ControlKind::pushButton,
               .cell = {1, 3},
               .text = "Scan",
               .fallback = Fallback::key,
               .options = kDefaultButton},
              {.outlet = "mButtonPreview",
               .kind = ControlKind::pushButton,
               .cell = {1, 2},
               .text = "PreviewWindow",
               .fallback = Fallback::key,
               .options = kHiddenAtStart | kDisabledAtStart},
          },
  };
}

TEST(Layout, ADescriptionBuildsNamedControlsInTheirParentsWithTheirTextsAndRanges) {
  UiFixture f;
  MapStrings english({{"Image", "Image"},
                      {"Brightness", "Brightness"},
                      {"Scan", "Scan"},
                      {"Portrait", "Portrait"},
                      {"BlackonWhite", "Black on white"}});
  const WindowSpec spec = sampleWindow();
  std::unique_ptr<Window> window = buildWindow(f.application, spec, english);

  EXPECT_EQ(window->title(), "Settings");
  auto& tabs = window->get<TabView>("pMainTab");
  ASSERT_EQ(tabs.numberOfItems(), 2u);
  EXPECT_EQ(tabs.itemAt(1).identifier(), "KriTabPaper");
  EXPECT_EQ(tabs.itemAt(1).label(), "Paper") << "a tab label falls back to its key";
  EXPECT_EQ(window->get<Label>("mStaticBrightness").text(), "Brightness");
  EXPECT_EQ(window->get<Button>("mButtonUltraSonic").title(), "UltraSonic?");
  EXPECT_EQ(window->get<Box>("mBoxFeeding").title(), "Feeding");
  auto& invert = window->get<PopUpButton>("mPopupInvert");
  EXPECT_EQ(invert.itemAt(0).title(), "Black on white");
  EXPECT_EQ(invert.itemAt(1).title(), "WhiteonBlack") << "menu items fall back to their keys";
  auto& matrix = window->get<Matrix>("pPortraitLanscape");
  EXPECT_EQ(matrix.cell(0, 0).title, "Portrait");
  EXPECT_EQ(matrix.cell(0, 1).title, "Landscape?");

  auto& slider = window->get<Slider>("mSliderBrightness");
  EXPECT_EQ(slider.minValue(), -100);
  EXPECT_EQ(slider.maxValue(), 100);
  auto& stepper = window->get<Stepper>("mStepperRes");
  EXPECT_EQ(stepper.minValue(), 72);
  EXPECT_TRUE(stepper.valueWraps());
  EXPECT_EQ(slider.parent(), &tabs.itemAt(0).view());
  EXPECT_EQ(window->get<Button>("mButtonUltraSonic").parent(), window->find("mBoxFeeding"));
  EXPECT_EQ(window->defaultButton(), window->find("mButtonScan"));
  auto& preview = window->get<Button>("mButtonPreview");
  EXPECT_TRUE(preview.isHidden());
  EXPECT_FALSE(preview.isEnabled());

  auto& table = window->get<TableView>("pImageTabTableView");
  ASSERT_EQ(table.columns().size(), 2u);
  EXPECT_EQ(table.columns()[0].width, 140);
  EXPECT_EQ(table.columns()[0].enabledKey, "mEnabled");
  EXPECT_EQ(table.columns()[1].cellKind, CellKind::check);
  EXPECT_NE(window->arrayController("mScaModeSideController"), nullptr);
  auto& scroll = window->get<ScrollView>("previewScroll");
  EXPECT_EQ(scroll.documentView(), window->find("mPreviewView"));
  EXPECT_TRUE(scroll.hasHorizontalRuler() && scroll.hasVerticalRuler());
  EXPECT_TRUE(window->get<ImageView>("mPreviewView").isFlipped());
  auto& sample = window->get<TextField>("mTextFieldExampleText");
  EXPECT_FALSE(sample.isEditable());
  EXPECT_EQ(sample.frame(), (Rect{{10, 17}, {280, 20}})) << "a free container keeps the frame";
}

TEST(Layout, GridCellsGiveFramesInTheLowerLeftConventionBeforeAToolkitLaysThemOut) {
  UiFixture f;
  MapStrings none;
  std::unique_ptr<Window> window = buildWindow(f.application, sampleWindow(), none);
  const Rect scan = window->get<Button>("mButtonScan").frame();
  EXPECT_EQ(scan.origin.x, 3 * kGridCellWidth);
  EXPECT_EQ(scan.maxY(), 420 - kGridCellHeight) << "row 1 is the second row from the top";
  const Rect page = window->get<TabView>("pMainTab").itemAt(0).view().frame();
  const Rect tabs = window->get<TabView>("pMainTab").frame();
  EXPECT_EQ(page.size.width, tabs.size.width);
  EXPECT_EQ(page.size.height, tabs.size.height - kGridCellHeight);
  const Rect ultrasonic = window->get<Button>("mButtonUltraSonic").frame();
  const Rect box = window->get<Box>("mBoxFeeding").frame();
  EXPECT_EQ(ultrasonic.maxY(), box.size.height) << "the first row of the box is at its top";
}

TEST(Layout, ApplyTextsRelabelsEveryDescribedTextForAnotherLanguage) {
  UiFixture f;
  MapStrings english({{"Image", "Image"}, {"Scan", "Scan"}});
  MapStrings german({{"Image", "Bild"},
                     {"Scan", "Scannen"},
                     {"Paper", "Papier"},
                     {"Settings", "Einstellungen"},
                     {"BlackonWhite", "Schwarz auf Weiss"},
                     {"Landscape", "Quer"},
                     {"Name", "Name der Seite"}});
  const WindowSpec spec = sampleWindow();
  std::unique_ptr<Window> window = buildWindow(f.application, spec, english);
  window->get<TabView>("pMainTab").removeItem(window->get<TabView>("pMainTab").itemAt(1));
  applyTexts(*window, spec, german);
  EXPECT_EQ(window->title(), "Einstellungen");
  EXPECT_EQ(window->get<Button>("mButtonScan").title(), "Scannen");
  EXPECT_EQ(window->tabViewItem("pmTabViewPaper")->label(), "Papier") << "also a hidden page";
  EXPECT_EQ(window->get<PopUpButton>("mPopupInvert").itemAt(0).title(), "Schwarz auf Weiss");
  EXPECT_EQ(window->get<Matrix>("pPortraitLanscape").cell(0, 1).title, "Quer");
  EXPECT_EQ(window->get<TableView>("pImageTabTableView").columns()[0].title, "Name der Seite");
}

TEST(Layout, AParentNotDescribedBeforeOrOfTheWrongKindIsAProgrammingError) {
  UiFixture f;
  MapStrings none;
  WindowSpec later{.outlet = "w",
                   .elements = {{.outlet = "child", .kind = ControlKind::label, .parent = "box"},
                                {.outlet = "box", .kind = ControlKind::box}}};
  EXPECT_THROW(buildWindow(f.application, later, none), std::logic_error);
  WindowSpec wrongKind{
      .outlet = "w",
      .elements = {{.outlet = "box", .kind = ControlKind::box},
                   {.outlet = "item", .parent = "box", .element = Element::tabViewItem}}};
  EXPECT_THROW(buildWindow(f.application, wrongKind, none), std::logic_error);
  WindowSpec twice{.outlet = "w",
                   .elements = {{.outlet = "a", .kind = ControlKind::label},
                                {.outlet = "a", .kind = ControlKind::label}}};
  EXPECT_THROW(buildWindow(f.application, twice, none), std::logic_error);
}

}  // namespace
