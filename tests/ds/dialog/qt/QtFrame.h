#pragma once
// The dialog on a Qt host's real widgets (offscreen): the host's application object, made once
// before any test, and the frame fixture on the host's services and toolkit.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "FrameSupport.h"
#include "platform/ui/Host.h"

namespace ferrolite::dialog::testing {

// The host's application object, made once on the main thread before any test.
class QtHostEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "dialog-qt-test";
    static char* argv[] = {name, nullptr};
    application_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { application_.reset(); }

 private:
  std::unique_ptr<QApplication> application_;
};
// Registers the environment once per test program.
inline ::testing::Environment* const gQtHostEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtHostEnvironment);

inline std::unique_ptr<ui::WindowHost> startHost() {
  auto started = ui::WindowHost::start(VT_QT_ADAPTER);
  if (!started) throw std::runtime_error(started.error());
  return std::move(*started);
}

// The frame on the host's Qt widgets.
struct QtFrame {
  std::unique_ptr<ui::WindowHost> host = startHost();
  FrameFixture f;

  // Each test program its own folder: programs run side by side.
  explicit QtFrame(std::string_view folder = "dialog-frame-qt")
      : f(folder, &host->services(), &host->toolkit()) {}

  ~QtFrame() {
    f.dialog.reset();
    f.application.reset();
  }
  template <class W>
  W* widget(ui::Window& window, std::string_view outlet) {
    return qobject_cast<W*>(static_cast<QWidget*>(host->toolkit().widget(window, outlet)));
  }
  QPushButton* button(std::string_view outlet) { return widget<QPushButton>(f.window(), outlet); }
};

}  // namespace ferrolite::dialog::testing
