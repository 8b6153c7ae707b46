#pragma once
// The dialog's frame fixture on a Qt host's real widgets (offscreen), over the host's services
// and toolkit.
#include <gtest/gtest.h>

#include <QPushButton>
#include <memory>
#include <string_view>

#include "FrameSupport.h"
#include "QtHost.h"

namespace ferrolite::dialog::testing {

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
