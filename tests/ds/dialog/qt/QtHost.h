#pragma once
// What the dialog's Qt replays share: the host's application object, made once on the main
// thread before any test, and the window host over the Qt adapter.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>
#include <stdexcept>

#include "platform/ui/Host.h"
#include "tests/support/ThreadsGoneAtExit.h"

namespace ferrolite::dialog::testing {

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
[[maybe_unused]] inline ::testing::Environment* const gQtHostEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtHostEnvironment);

inline std::unique_ptr<ui::WindowHost> startHost() {
  auto started = ui::WindowHost::start(VT_QT_ADAPTER);
  if (!started) throw std::runtime_error(started.error());
  return std::move(*started);
}

}  // namespace ferrolite::dialog::testing
