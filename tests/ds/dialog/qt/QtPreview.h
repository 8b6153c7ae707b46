#pragma once
// A preview fixture on a Qt host's real widgets (offscreen): the fixture made over the host's
// services and toolkit, the Qt widgets of its outlets and the pixels Qt paints in the view.
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <utility>

#include "PreviewFixture.h"
#include "QtHost.h"

namespace ferrolite::dialog::testing {

template <class Fixture>
struct QtPreview {
  std::unique_ptr<ui::WindowHost> host = startHost();
  Fixture f;

  // The fixture's own arguments; the host's services and toolkit follow them.
  template <class... Args>
  explicit QtPreview(Args&&... args)
      : f(std::forward<Args>(args)..., &host->services(), &host->toolkit()) {}
  ~QtPreview() {
    f.dialog.reset();
    f.application.reset();
  }
  template <class W>
  W* widget(ui::Window& window, std::string_view outlet) {
    return qobject_cast<W*>(static_cast<QWidget*>(host->toolkit().widget(window, outlet)));
  }
  QWidget* view() { return widget<QWidget>(f.drawer(), "mPreviewView"); }
  QColor painted(QPoint at) { return view()->grab().toImage().pixelColor(at); }
  QColor painted(int x, int y) { return painted(QPoint(x, y)); }
};

// A painted colour against a page colour, smoothing allowed for.
inline bool nearly(const QColor& c, Rgb want) {
  constexpr int kSmoothing = 8;
  return std::abs(c.red() - want.r) < kSmoothing && std::abs(c.green() - want.g) < kSmoothing &&
         std::abs(c.blue() - want.b) < kSmoothing;
}

}  // namespace ferrolite::dialog::testing
