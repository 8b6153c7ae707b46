// A development seam: with VT_UI_QT_SCRIPT naming a file, the UI thread plays its lines as a
// user would, at the level of outlets (no X input tool needed), so that a whole program with
// its windows can be run and photographed under a virtual display. Each line waits for the
// state it needs (a widget shown and enabled, a file written) up to a bounded time, checked on
// the UI thread's timer; a line that cannot be played ends the process with a message.
//
//   click OUTLET                  the button's click, once it is shown and enabled
//   select OUTLET ITEM...         the pop-up's item of that text, as the user picks it
//   drag OUTLET X1 Y1 X2 Y2       press, move and release in the widget's pixels
//   wait-enabled OUTLET           until the control is shown and enabled
//   wait-file PATH                until the file exists and is not empty
//   shot FILE                     a PNG of the whole screen, once the windows shown are mapped
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/ui/qt/Adapter.h"

namespace ui::qt {
namespace {

constexpr auto kPoll = std::chrono::milliseconds(20);
constexpr auto kStepLimit = std::chrono::seconds(60);
constexpr int kScriptFailure = 70;

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
      auto* popUp = qobject_cast<QComboBox*>(widget);
      if (!popUp) fail(step, "not a pop-up");
      std::string item = w[2];
      for (std::size_t i = 3; i < w.size(); ++i) item += " " + w[i];
      const int index = popUp->findText(QString::fromStdString(item));
      if (index < 0) fail(step, "no such item");
      popUp->setCurrentIndex(index);
      emit popUp->activated(index);
      return true;
    }
    if (verb == "drag" && w.size() == 6) {
      QWidget* widget = ready(w[1]);
      if (!widget) return false;
      const QPointF from(std::atof(w[2].c_str()), std::atof(w[3].c_str()));
      const QPointF to(std::atof(w[4].c_str()), std::atof(w[5].c_str()));
      // The events go to the widget that draws at the start (a view's picture inside its
      // frame), in its own pixels.
      QWidget* target = widget->childAt(from.toPoint());
      if (!target) target = widget;
      const QPointF offset = target->mapFrom(widget, QPointF(0, 0));
      send(target, QEvent::MouseButtonPress, from + offset, Qt::LeftButton);
      send(target, QEvent::MouseMove, (from + to) / 2 + offset, Qt::LeftButton);
      send(target, QEvent::MouseMove, to + offset, Qt::LeftButton);
      send(target, QEvent::MouseButtonRelease, to + offset, Qt::NoButton);
      return true;
    }
    if (verb == "wait-enabled" && w.size() == 2) return ready(w[1]) != nullptr;
    if (verb == "wait-file" && w.size() == 2) {
      std::error_code error;
      return std::filesystem::file_size(w[1], error) > 0 && !error;
    }
    if (verb == "shot" && w.size() == 2) {
      QScreen* screen = QGuiApplication::primaryScreen();
      if (!screen) fail(step, "no screen");
      // The display maps a window some time after it is shown: until each shown window is
      // exposed, the screen does not show it yet.
      for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && (!top->windowHandle() || !top->windowHandle()->isExposed()))
          return false;
      }
      QCoreApplication::processEvents();  // the paint the last steps asked for
      if (!screen->grabWindow(0).save(QString::fromStdString(w[1]), "PNG"))
        fail(step, "cannot write the picture");
      return true;
    }
    fail(step, "not understood");
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
