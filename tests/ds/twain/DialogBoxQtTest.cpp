// The progress and continue-scanning windows on Qt's real widgets (offscreen): their
// descriptions built by the adapter, their buttons clicked through QTest, and their pictures in
// build/<pass>/dialog-shots/. The rules are the headless tests'; these prove the descriptions.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <memory>

#include "ds/twain/TezFRLDialogBox.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Host.h"
#include "platform/ui/Scripted.h"
#include "platform/ui/Window.h"
#include "tests/support/QtHostApplication.h"
#include "tests/support/ThreadsGoneAtExit.h"

namespace {

[[maybe_unused]] ::testing::Environment* const gQtHost =
    ::testing::AddGlobalTestEnvironment(new testsupport::QtHostApplication("dialogbox-qt-test"));

class QtContext final : public ferrolite::DialogBoxContext {
 public:
  explicit QtContext(const ui::Services& services) : application_(services) {}
  ui::Application& application() override { return application_; }
  const ui::Strings& strings() const override { return strings_; }

 private:
  ui::MapStrings strings_;
  ui::Application application_;
};

struct QtBox {
  std::unique_ptr<ui::WindowHost> host;
  std::unique_ptr<ferrolite::TezFRLDialogBox> box;

  QtBox() {
    auto started = ui::WindowHost::start(VT_QT_ADAPTER);
    if (!started) throw std::runtime_error(started.error());
    host = std::move(*started);
    box =
        std::make_unique<ferrolite::TezFRLDialogBox>(std::make_unique<QtContext>(host->services()));
    host->toolkit().attach(box->indicatorWindow());
    host->toolkit().attach(box->transportWindow());
  }
  ~QtBox() {
    box.reset();
    host.reset();
  }
  template <class W>
  W* widget(ui::Window& window, std::string_view outlet) {
    return qobject_cast<W*>(static_cast<QWidget*>(host->toolkit().widget(window, outlet)));
  }
  void snapshot(ui::Window& window, const std::string& name) {
    const std::filesystem::path folder = DIALOG_SHOTS_OUT;
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(host->toolkit().writeSnapshot(window, folder / name)) << name;
    EXPECT_GT(std::filesystem::file_size(folder / name), 0u) << name;
  }
};

TEST(DialogBoxQt, TheProgressWindowShowsItsTextsAndCancels) {
  QtBox q;
  ferrolite::TezFRLDialogBox& box = *q.box;
  box.setIndicatorTitle("Ferrolite");
  box.textCancelButton("Cancel");
  box.textTransferring("Image 2 transferring");
  box.textElapsed("Time elapsed 0:05");
  box.indicatorValue(40);
  box.showIndicator(false);
  QWidget* top = q.widget<QWidget>(box.indicatorWindow(), "");
  ASSERT_NE(top, nullptr);
  EXPECT_TRUE(top->isVisible());
  EXPECT_EQ(top->windowTitle(), "Ferrolite");
  auto* bar = q.widget<QProgressBar>(box.indicatorWindow(), ferrolite::kProgressBarOutlet);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->value(), 40);
  q.snapshot(box.indicatorWindow(), "progress-window.png");

  auto* cancel = q.widget<QPushButton>(box.indicatorWindow(), ferrolite::kCancelButtonOutlet);
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(cancel->text(), "Cancel");
  QTest::mouseClick(cancel, Qt::LeftButton);
  EXPECT_TRUE(box.scanCancelled());
  EXPECT_FALSE(cancel->isEnabled());
  box.closeIndicatorWindow();
  EXPECT_FALSE(top->isVisible());
}

TEST(DialogBoxQt, TheTransportWindowCentresItsButtonsOnTheWidgets) {
  QtBox q;
  ferrolite::TezFRLDialogBox& box = *q.box;
  box.setTransportTitle("Paper detection");
  box.textPutPaper("Place paper on the scanner.");
  box.textTimeRemain("Time remaining 12");
  box.textContinue("Continue");
  box.textCancel("Cancel");
  box.showContinueButton(true);
  box.transportWindow().makeKeyAndOrderFront();
  auto* cont = q.widget<QPushButton>(box.transportWindow(), ferrolite::kContinueButtonOutlet);
  auto* cancel = q.widget<QPushButton>(box.transportWindow(), ferrolite::kCancelNextPageOutlet);
  ASSERT_NE(cont, nullptr);
  ASSERT_NE(cancel, nullptr);
  EXPECT_TRUE(cont->isVisible());
  const ui::Rect frame =
      box.transportWindow().get<ui::Button>(ferrolite::kContinueButtonOutlet).frame();
  EXPECT_EQ(cont->x(), int(frame.origin.x));  // the widget stands where the layer moved it
  EXPECT_EQ(cont->x() + cont->width(), cancel->x());
  q.snapshot(box.transportWindow(), "transport-window.png");

  QTest::mouseClick(cont, Qt::LeftButton);
  EXPECT_TRUE(box.beContinued());
  EXPECT_FALSE(q.widget<QWidget>(box.transportWindow(), "")->isVisible());
}

}  // namespace
