// The image, enhancement, imprinter and information pages on Qt's real widgets (offscreen): each
// image type and side shows its check box and its button as one choice in a grid of types by
// sides; the background box's labels stand beside their controls and its slider is no wider than
// it needs; the sample's faces resolve through fontconfig to a fixed-width and a proportional
// face, the padding of the underlined upside-down line follows the window's font metrics, the
// page's check box reaches the record through the adapter, and a language chosen in the real
// pop-up relabels the real tabs and buttons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "FrameSupport.h"
#include "QtHost.h"
#include "ds/dialog/window/ImagePageSpec.h"
#include "platform/ui/Host.h"

namespace ferrolite::dialog::testing {
namespace {

// On the image page and on the colour drop-out page: each check box stands just left of its own
// button, on its line, nearer to it than to the other side's button; the kinds go down in rows.
TEST(ImageTypesQt, EachTypeAndSideIsACheckBoxBesideItsButtonInAGridOfKindsBySides) {
  std::unique_ptr<ui::WindowHost> host = startHost();
  FrameFixture f{"dialog-image-types-qt", &host->services(), &host->toolkit()};
  f.open();
  constexpr int kNear = 8;  // px between a check box and its own button, at most
  for (const auto& [tab, row] : {std::pair{"KriTabImage", 0}, std::pair{"KriTabDropColor", 1}}) {
    SCOPED_TRACE(tab);
    ASSERT_TRUE(f.user.selectTab(f.tabs(), tab));
    QApplication::processEvents();
    auto* top = static_cast<QWidget*>(host->toolkit().widget(f.window(), ""));
    auto rect = [&](const std::string& outlet) {
      auto* w = static_cast<QWidget*>(host->toolkit().widget(f.window(), outlet));
      return w && w->isVisible() ? QRect(w->mapTo(top, QPoint(0, 0)), w->size()) : QRect();
    };
    int above = -1;
    for (int kind = 0; kind < 4; ++kind) {
      QRect front;
      for (int side = 0; side < 2; ++side) {
        const std::string button = std::string(kImageTypeRowPrefixes[row]) +
                                   std::string(kImageTypeKinds[kind]) +
                                   std::string(kImageTypeSides[side]);
        SCOPED_TRACE(button);
        const QRect b = rect(button), c = rect(button + "Check");
        ASSERT_FALSE(b.isEmpty());
        ASSERT_FALSE(c.isEmpty());
        EXPECT_LT(c.right(), b.left()) << "the check box comes first";
        EXPECT_LE(b.left() - c.right(), kNear);
        EXPECT_LE(std::abs(b.center().y() - c.center().y()), 2);
        if (side == 0) {
          EXPECT_GT(b.top(), above) << "the kinds go down in rows";
          above = b.bottom();
          front = b;
        } else {
          EXPECT_GT(c.left() - front.right(), b.left() - c.right())
              << "a rear check box lies nearer its own button than the front one";
          EXPECT_EQ(b.top(), front.top());
        }
      }
    }
  }
  f.dialog.reset();
  f.application.reset();
}

// The enhancement page's background box: each label on the line of its control, just left of
// it, and the slider as long as its track, not as wide as the page.
TEST(EnhancementQt, EachBackgroundLabelStandsBesideItsControlAndTheSliderKeepsItsLength) {
  std::unique_ptr<ui::WindowHost> host = startHost();
  FrameFixture f{"dialog-enhancement-qt", &host->services(), &host->toolkit()};
  f.open();
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabEnhancement"));
  QApplication::processEvents();
  auto* top = static_cast<QWidget*>(host->toolkit().widget(f.window(), ""));
  auto widget = [&](std::string_view outlet) {
    return static_cast<QWidget*>(host->toolkit().widget(f.window(), outlet));
  };
  auto rect = [&](std::string_view outlet) {
    QWidget* w = widget(outlet);
    return w && w->isVisible() ? QRect(w->mapTo(top, QPoint(0, 0)), w->size()) : QRect();
  };
  constexpr int kBeside = 24;  // px from a label to its control, at most
  for (const auto& [label, control] :
       {std::pair{"mStaticBackgroundSetting", "mPopupBackgroundSetting"},
        std::pair{"mStaticSpeed", "mSliderSensitive"},
        std::pair{"mStaticFillColor", "mPopupFillColor"}}) {
    SCOPED_TRACE(label);
    const QRect l = rect(label), c = rect(control);
    ASSERT_FALSE(l.isEmpty());
    ASSERT_FALSE(c.isEmpty());
    EXPECT_LT(l.right(), c.left());
    EXPECT_LE(c.left() - l.right(), kBeside);
    EXPECT_LE(std::abs(l.center().y() - c.center().y()), 3);
  }
  // A slider keeps the length of its track; the row's room is not all its own.
  QWidget* slider = widget("mSliderSensitive");
  EXPECT_LE(slider->width(), slider->sizeHint().width() * 3 / 2);
  f.dialog.reset();
  f.application.reset();
}

TEST(ImprinterQt, SampleFacesResolveToAFixedWidthAndAProportionalFace) {
  QFont courier(QStringLiteral("Courier"));
  QFont arial(QStringLiteral("Arial"));
  EXPECT_TRUE(QFontInfo(courier).fixedPitch()) << QFontInfo(courier).family().toStdString();
  EXPECT_FALSE(QFontInfo(arial).fixedPitch()) << QFontInfo(arial).family().toStdString();
  std::unique_ptr<ui::WindowHost> host = startHost();
  const ui::FontMetrics& metrics = host->toolkit().fonts();
  const ui::Font fixed{.family = "Courier", .size = 13};
  const ui::Font proportional{.family = "Arial", .size = 13};
  EXPECT_DOUBLE_EQ(metrics.width("iiii", fixed), metrics.width("MMMM", fixed));
  EXPECT_LT(metrics.width("iiii", proportional), metrics.width("MMMM", proportional));
}

TEST(ImprinterQt, UnderlinedUpsideDownLineIsPaddedInTheWindowsMetrics) {
  std::unique_ptr<ui::WindowHost> host = startHost();
  FrameFixture f{"dialog-imprinter-qt", &host->services(), &host->toolkit()};
  f.record.wTabWindow = 0xBA;
  f.record.bImprinter = 0;
  f.record.bPrintFontAttri = 1;    // underline
  f.record.bPrintOrientation = 1;  // rotated
  f.record.strPrintText = SharedText("Batch");
  f.record.strPrintCounter = SharedText("0042");
  f.open();
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KRiImprinter"));
  const ui::FontMetrics& metrics = host->toolkit().fonts();
  const ui::Font arial{.family = "Arial", .size = 13};
  const float line = static_cast<float>(metrics.width("Batch0042", arial));
  const float blank = static_cast<float>(metrics.width(" ", arial));
  const int blanks = 119 - static_cast<int>(std::trunc(line / blank));
  ASSERT_GT(blanks, 0);
  EXPECT_EQ(f.get<ui::TextField>("mTextFieldExampleText").text(),
            std::string(static_cast<std::size_t>(blanks), ' ') + "Batch0042");

  // The real check box turns the imprinter on.
  auto* box = qobject_cast<QCheckBox*>(
      static_cast<QWidget*>(host->toolkit().widget(f.window(), "mBtnDigtialPrinter")));
  ASSERT_NE(box, nullptr);
  // On its box: a check box wider than its title takes clicks on the box and the title only.
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
  EXPECT_EQ(f.record.bImprinter, 1);
  EXPECT_TRUE(f.get<ui::Button>("mBtnMore").isEnabled());
  f.dialog.reset();
  f.application.reset();
}

// Two languages: the second one's texts are the first one's in capitals.
class UpperCaseLanguage final : public LanguageBundle {
 public:
  explicit UpperCaseLanguage(const int32_t& id) : id_(id) {}
  std::string localizedStringForKey(std::string_view, std::string_view value) const override {
    std::string text(value);
    if (id_ == 1) {
      for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
  }

 private:
  const int32_t& id_;
};

TEST(InformationQt, ALanguageChosenInThePopUpRelabelsTheRealWidgets) {
  std::unique_ptr<ui::WindowHost> host = startHost();
  FrameFixture f{"dialog-info-qt", &host->services(), &host->toolkit()};
  UpperCaseLanguage language(f.dataSource.languageId);
  f.dataSource.language = &language;
  f.dataSource.languages = {{0, "English.lproj", "English"}, {1, "Upper.lproj", "Upper"}};
  f.open();
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabInfo"));
  auto widget = [&](ui::Window& window, std::string_view outlet) {
    return static_cast<QWidget*>(host->toolkit().widget(window, outlet));
  };
  auto* combo = qobject_cast<QComboBox*>(widget(f.window(), "mPopupSelectLanguage"));
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(combo->count(), 2);
  emit combo->activated(1);  // what the combo sends when the user picks an item
  EXPECT_NE(std::find(f.dataSource.calls.begin(), f.dataSource.calls.end(), "setLanguage(1)"),
            f.dataSource.calls.end());
  auto* tabs = qobject_cast<QTabWidget*>(widget(f.window(), kTabViewOutlet));
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->tabBar()->tabText(0).toStdString(), "IMAGE");
  EXPECT_EQ(tabs->tabBar()->tabText(tabs->count() - 1).toStdString(), "INFORMATION");
  auto* scan = qobject_cast<QPushButton*>(widget(f.window(), "mButtonScan"));
  ASSERT_NE(scan, nullptr);
  EXPECT_EQ(scan->text().toStdString(), "SCAN");
}

}  // namespace
}  // namespace ferrolite::dialog::testing
