// A development seam: with VT_UI_QT_SCRIPT naming a file, the UI thread plays its lines as a
// user would, at the level of outlets (no X input tool needed), so that a whole program with
// its windows can be run and photographed under a virtual display. Each line waits for the
// state it needs (a widget shown and enabled, a file written) up to a bounded time, checked on
// the UI thread's timer; a line that cannot be played ends the process with a message.
//
//   click OUTLET                  the button's click, once it is shown and enabled
//   select OUTLET ITEM...         the pop-up's item or the tab of that text, as the user picks it
//   check OUTLET ROW COLUMN       the table's check box in that cell turned over
//   drag OUTLET X1 Y1 X2 Y2       press, move and release in the widget's pixels
//   hover OUTLET X Y              the pointer moved there, no button held
//   press OUTLET [X Y]            the button pressed there and held (the widget's middle if no
//   release OUTLET [X Y]          point is given), then let go
//   leave OUTLET                  the pointer gone from the widget
//   wait-enabled OUTLET           until the control is shown and enabled
//   wait-file PATH                until the file exists and is not empty
//   shot FILE                     a PNG of the whole screen, once the windows shown are mapped
//   shot FILE windows             a PNG of the windows shown, side by side as on the screen
//   shot FILE OUTLET              a PNG of that control as it is drawn
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/ui/qt/Adapter.h"

namespace ui::qt {
namespace {

constexpr auto kPoll = std::chrono::milliseconds(20);
constexpr auto kStepLimit = std::chrono::seconds(60);
constexpr int kScriptFailure = 70;
constexpr const char* kShownWindows = "windows";

struct Step {
  int line = 0;
  std::vector<std::string> words;
};

class ScriptPlayer : public QObject {
 public:
  ScriptPlayer(std::vector<Step> steps, WidgetFinder find)
      : steps_(std::move(steps)), find_(std::move(find)) {
    connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
    timer_.start(kPoll);
    started_ = std::chrono::steady_clock::now();
  }

 private:
  void poll() {
    while (next_ < steps_.size()) {
      if (!play(steps_[next_])) {
        if (std::chrono::steady_clock::now() - started_ > kStepLimit)
          fail(steps_[next_], "timed out waiting");
        return;  // not yet: the timer asks again
      }
      ++next_;
      started_ = std::chrono::steady_clock::now();
    }
    timer_.stop();
  }

  [[noreturn]] static void fail(const Step& step, const char* why) {
    std::fprintf(stderr, "ui script: line %d: %s\n", step.line, why);
    std::fflush(stderr);
    std::_Exit(kScriptFailure);
  }

  QWidget* ready(const std::string& outlet) const {
    QWidget* widget = find_(outlet);
    return widget && widget->isVisible() && widget->isEnabled() ? widget : nullptr;
  }

  // True when the step was played; false while the state it waits for is not there.
  bool play(const Step& step) {
    const auto& w = step.words;
    const std::string& verb = w[0];
    if (verb == "click" && w.size() == 2) {
      QWidget* widget = ready(w[1]);
      if (!widget) return false;
      auto* button = qobject_cast<QAbstractButton*>(widget);
      if (!button) fail(step, "not a button");
      button->click();
      return true;
    }
    if (verb == "select" && w.size() >= 3) {
      QWidget* widget = ready(w[1]);
      if (!widget) return false;
      std::string item = w[2];
      for (std::size_t i = 3; i < w.size(); ++i) item += " " + w[i];
      const QString text = QString::fromStdString(item);
      if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
        for (int index = 0; index < tabs->count(); ++index) {
          if (tabs->tabText(index) == text) {
            tabs->setCurrentIndex(index);
            return true;
          }
        }
        fail(step, "no such tab");
      }
      auto* popUp = qobject_cast<QComboBox*>(widget);
      if (!popUp) fail(step, "not a pop-up");
      const int index = popUp->findText(text);
      if (index < 0) fail(step, "no such item");
      popUp->setCurrentIndex(index);
      emit popUp->activated(index);
      return true;
    }
    if (verb == "check" && w.size() == 4) {
      QWidget* widget = ready(w[1]);
      if (!widget) return false;
      auto* table = qobject_cast<QTableWidget*>(widget);
      if (!table) fail(step, "not a table");
      QTableWidgetItem* cell = table->item(std::atoi(w[2].c_str()), std::atoi(w[3].c_str()));
      if (!cell || !(cell->flags() & Qt::ItemIsUserCheckable)) fail(step, "no check box there");
      cell->setCheckState(cell->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
      return true;
    }
    if (verb == "drag" && w.size() == 6) {
      QWidget* widget = ready(w[1]);
      if (!widget) return false;
      const QPointF from(std::atof(w[2].c_str()), std::atof(w[3].c_str()));
      const QPointF to(std::atof(w[4].c_str()), std::atof(w[5].c_str()));
      // The events go to the widget that draws at the start (a view's picture inside its
      // frame), in its own pixels.
      const auto [target, offset] = drawingAt(widget, from);
      send(target, QEvent::MouseButtonPress, from + offset, Qt::LeftButton);
      send(target, QEvent::MouseMove, (from + to) / 2 + offset, Qt::LeftButton);
      send(target, QEvent::MouseMove, to + offset, Qt::LeftButton);
      send(target, QEvent::MouseButtonRelease, to + offset, Qt::NoButton);
      return true;
    }
    if ((verb == "hover" && w.size() == 4) ||
        ((verb == "press" || verb == "release") && (w.size() == 2 || w.size() == 4))) {
      QWidget* widget = ready(w[1]);
      if (!widget) return false;
      const QPointF at = w.size() == 4 ? QPointF(std::atof(w[2].c_str()), std::atof(w[3].c_str()))
                                       : QRectF(widget->rect()).center();
      const auto [target, offset] = drawingAt(widget, at);
      if (verb == "hover") {
        send(target, QEvent::MouseMove, at + offset, Qt::NoButton);
      } else if (verb == "press") {
        send(target, QEvent::MouseButtonPress, at + offset, Qt::LeftButton);
      } else {
        send(target, QEvent::MouseButtonRelease, at + offset, Qt::NoButton);
      }
      return true;
    }
    if (verb == "leave" && w.size() == 2) {
      QWidget* widget = ready(w[1]);
      if (!widget) return false;
      QWidget* target = drawingAt(widget, QRectF(widget->rect()).center()).first;
      QEvent left(QEvent::Leave);
      QCoreApplication::sendEvent(target, &left);
      return true;
    }
    if (verb == "wait-enabled" && w.size() == 2) return ready(w[1]) != nullptr;
    if (verb == "wait-file" && w.size() == 2) {
      std::error_code error;
      return std::filesystem::file_size(w[1], error) > 0 && !error;
    }
    if (verb == "shot" && (w.size() == 2 || w.size() == 3)) {
      QWidget* control = nullptr;
      if (w.size() == 3 && w[2] != kShownWindows) {
        control = ready(w[2]);
        if (!control) return false;
      }
      // The display maps a window some time after it is shown: until each shown window is
      // exposed, the screen does not show it yet.
      for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && (!top->windowHandle() || !top->windowHandle()->isExposed()))
          return false;
      }
      QCoreApplication::processEvents();  // the paint the last steps asked for
      QImage picture;
      if (control) {
        picture = control->grab().toImage();
      } else if (w.size() == 3) {
        picture = shownWindows();
      } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        picture = screen->grabWindow(0).toImage();
      }
      if (picture.isNull()) fail(step, "nothing to picture");
      if (!picture.save(QString::fromStdString(w[1]), "PNG"))
        fail(step, "cannot write the picture");
      return true;
    }
    fail(step, "not understood");
  }

  // The widget that draws at a point of a control (a view's picture inside its frame), and the
  // offset from the control's pixels to its own.
  static std::pair<QWidget*, QPointF> drawingAt(QWidget* widget, QPointF at) {
    QWidget* target = widget->childAt(at.toPoint());
    if (!target) target = widget;
    return {target, target->mapFrom(widget, QPointF(0, 0))};
  }

  // The windows shown (a dialog with its drawer), each drawn where it stands on the screen, on
  // one picture that holds them all; what lies between them stays transparent. A dialog window
  // (a sheet, an alert, a progress window) stands over the windows it belongs to: drawn last.
  static QImage shownWindows() {
    QRect all;
    std::vector<QWidget*> shown;
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (!top->isVisible()) continue;
      shown.push_back(top);
      all |= top->geometry();
    }
    std::stable_partition(shown.begin(), shown.end(),
                          [](const QWidget* top) { return top->windowType() != Qt::Dialog; });
    if (shown.empty()) return {};
    QImage picture(all.size(), QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    for (QWidget* top : shown)
      painter.drawPixmap(top->geometry().topLeft() - all.topLeft(), top->grab());
    return picture;
  }

  static void send(QWidget* widget, QEvent::Type type, QPointF at, Qt::MouseButtons held) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
  }

  std::vector<Step> steps_;
  WidgetFinder find_;
  QTimer timer_;
  std::size_t next_ = 0;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace

void startDevScript(QObject* parent, WidgetFinder find) {
  const char* file = std::getenv(kDevScriptVariable);
  if (file == nullptr || *file == '\0') return;
  std::ifstream in(file);
  if (!in) {
    std::fprintf(stderr, "ui script: cannot read %s\n", file);
    std::_Exit(kScriptFailure);
  }
  std::vector<Step> steps;
  std::string text;
  for (int line = 1; std::getline(in, text); ++line) {
    if (const auto hash = text.find('#'); hash != std::string::npos) text.erase(hash);
    std::istringstream words(text);
    Step step{line, {}};
    for (std::string word; words >> word;) step.words.push_back(word);
    if (!step.words.empty()) steps.push_back(std::move(step));
  }
  auto* player = new ScriptPlayer(std::move(steps), std::move(find));
  player->setParent(parent);
}

}  // namespace ui::qt
