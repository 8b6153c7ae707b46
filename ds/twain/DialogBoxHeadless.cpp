// The progress and transport windows without a toolkit, on the host's thread of the data source:
// the run loop drains the source's main queue and fires the timers that fall due, every change of
// the windows goes into the headless journal, and the journal's script plays the user.
#include <cctype>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "ds/twain/DSHelpers.h"
#include "ds/twain/TezFRLDS.h"
#include "ds/twain/TezFRLDialogBox.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/Headless.h"
#include "platform/ui/Scripted.h"
#include "platform/ui/Window.h"

namespace ferrolite {

namespace {

using ui::headless::Journal;
using Clock = std::chrono::steady_clock;

// How long one wait of the transport window's modal loop lasts before it looks at its timers and
// its end again.
constexpr std::chrono::milliseconds kModalWait{20};

// Timers that fire when the host's thread turns its run loop.
class DueTimers final : public ui::Timers {
 public:
  Id scheduleOnce(ui::Seconds delay, std::function<void()> fire) override {
    const auto due = Clock::now() + std::chrono::duration_cast<Clock::duration>(delay);
    timers_.push_back({next_, due, std::move(fire)});
    return next_++;
  }
  void cancel(Id timer) override {
    std::erase_if(timers_, [timer](const Pending& p) { return p.id == timer; });
  }
  void fireDue() {
    const auto now = Clock::now();
    std::vector<Pending> due;
    std::erase_if(timers_, [&](Pending& p) {
      if (p.due > now) return false;
      due.push_back(std::move(p));
      return true;
    });
    for (Pending& p : due) p.fire();
  }

 private:
  struct Pending {
    Id id;
    Clock::time_point due;
    std::function<void()> fire;
  };
  std::vector<Pending> timers_;
  Id next_ = 1;
};

class SourceRunLoop final : public ui::RunLoop {
 public:
  SourceRunLoop(foundation::MainThreadQueue& queue, DueTimers& timers)
      : queue_(queue), timers_(timers) {}

  void runShortPass(ui::Seconds maxTime) override {
    timers_.fireDue();
    queue_.drainFor(std::chrono::duration_cast<std::chrono::milliseconds>(maxTime));
  }

  int runModal(ui::Window& window) override {
    ui::Application& application = window.application();
    if (window.outlet() == kTransportWindowOutlet) {
      const ui::headless::TransportAction action = Journal::shared().nextTransportAction();
      const char* button = action == ui::headless::TransportAction::kContinue ? "continueButton"
                           : action == ui::headless::TransportAction::kCancel ? "cancelNextPage"
                                                                              : nullptr;
      if (button) {
        Journal::shared().record(std::string(kDialogBoxName), "user", button);
        if (auto* b = window.find<ui::Button>(button)) b->userClick();
      }
    }
    // Until a button or the countdown thread (through the queue) ends the session.
    while (!application.modalSessionStopped()) {
      timers_.fireDue();
      queue_.drainFor(kModalWait);
    }
    return 0;
  }

  void stopModal(ui::Window&) override {}

 private:
  foundation::MainThreadQueue& queue_;
  DueTimers& timers_;
};

// The texts of the selected language.
class SourceStrings final : public ui::Strings {
 public:
  explicit SourceStrings(const TezFRLDS& source) : source_(source) {}
  std::string localized(std::string_view key, std::string_view fallback) const override {
    return source_.localized(key, fallback);
  }

 private:
  const TezFRLDS& source_;
};

}  // namespace

std::unique_ptr<ui::Strings> makeSourceStrings(const TezFRLDS& source) {
  return std::make_unique<SourceStrings>(source);
}

namespace {

// The first number in a text, 0 when there is none: the image the progress window shows.
int shownNumber(const std::string& text) {
  int number = 0;
  bool in = false;
  for (const char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      if (number < 1000000) number = number * 10 + (c - '0');
      in = true;
    } else if (in) {
      break;
    }
  }
  return number;
}

// Writes every change of a window and its controls into the journal; the user of the script
// presses Cancel when the progress window shows the image it names.
class JournalPeers {
 public:
  void attach(ui::Window& window) {
    windows_.push_back(std::make_unique<WindowRecorder>(window));
    window.setPeer(windows_.back().get());
    for (const auto& control : window.controls()) {
      controls_.push_back(std::make_unique<ControlRecorder>(*control));
      control->setPeer(controls_.back().get());
    }
  }

 private:
  static void record(const std::string& call, const std::string& text) {
    Journal::shared().record(std::string(kDialogBoxName), call, text);
  }

  class WindowRecorder final : public ui::WindowPeer {
   public:
    explicit WindowRecorder(ui::Window& window) : window_(&window) {}
    void changed(ui::WindowAspect aspect) override {
      if (!window_) return;
      if (aspect == ui::WindowAspect::visible) {
        record(window_->outlet() + " visible", window_->isVisible() ? "yes" : "no");
      } else if (aspect == ui::WindowAspect::title) {
        record(window_->outlet() + " title", window_->title());
      }
    }
    void controlAdded(ui::Control&) override {}
    void released() override { window_ = nullptr; }

   private:
    ui::Window* window_;
  };

  class ControlRecorder final : public ui::Peer {
   public:
    explicit ControlRecorder(ui::Control& control) : control_(&control) {}
    void changed(ui::Aspect aspect) override {
      if (!control_) return;
      const std::string& outlet = control_->outlet();
      switch (aspect) {
        case ui::Aspect::text:
          if (auto* text = dynamic_cast<ui::TextControl*>(control_)) {
            record(outlet + " text", text->text());
            if (outlet == kTextTransferringOutlet &&
                Journal::shared().takeCancelAtImage(shownNumber(text->text()))) {
              record("user", std::string(kCancelButtonOutlet));
              if (auto* cancel =
                      control_->window()->find<ui::Button>(std::string(kCancelButtonOutlet))) {
                cancel->userClick();
              }
            }
          }
          break;
        case ui::Aspect::title:
          if (auto* button = dynamic_cast<ui::Button*>(control_)) {
            record(outlet + " title", button->title());
          }
          break;
        case ui::Aspect::value:
          if (auto* bar = dynamic_cast<ui::ProgressIndicator*>(control_)) {
            record(outlet + " value", bar->isIndeterminate()
                                          ? "indeterminate"
                                          : std::to_string(static_cast<int>(bar->doubleValue())));
          }
          break;
        case ui::Aspect::enabled:
          record(outlet + " enabled", control_->isEnabled() ? "yes" : "no");
          break;
        case ui::Aspect::hidden:
          record(outlet + " hidden", control_->isHidden() ? "yes" : "no");
          break;
        case ui::Aspect::frame:
          record(outlet + " x", std::to_string(static_cast<int>(control_->frame().origin.x)));
          break;
        default:
          break;
      }
    }
    void released() override { control_ = nullptr; }

   private:
    ui::Control* control_;
  };

  std::vector<std::unique_ptr<WindowRecorder>> windows_;
  std::vector<std::unique_ptr<ControlRecorder>> controls_;
};

class HeadlessContext final : public DialogBoxContext {
 public:
  // Made at open and released at close, the dialog box carries the journal's mirror: the data
  // source's log shows what the windows and alerts are asked to do, the dialog made only when a
  // window is needed included.
  explicit HeadlessContext(TezFRLDS& source)
      : strings_(source), runLoop_(source.mainQueue, timers_), application_(services()) {
    Journal::shared().setMirror([](const ui::headless::Entry& entry) {
      dsLog("UI", kLogBlank, entry.response,
            entry.window + " " + entry.call + (entry.text.empty() ? "" : ": " + entry.text) +
                (entry.details.empty() ? "" : " / " + entry.details));
    });
    Journal::shared().record(std::string(kDialogBoxName), "init");
  }
  ~HeadlessContext() override {
    Journal::shared().record(std::string(kDialogBoxName), "release");
    Journal::shared().setMirror(nullptr);
  }

  ui::Application& application() override { return application_; }
  const ui::Strings& strings() const override { return strings_; }
  JournalPeers& peers() { return peers_; }

 private:
  ui::Services services() {
    return {&scripted_.pasteboard, &scripted_.cursors,   &timers_,          &runLoop_,
            &scripted_.queue,      &scripted_.fonts,     &scripted_.alerts, &scripted_.openPanel,
            &scripted_.sound,      &scripted_.fileViewer};
  }

  SourceStrings strings_;
  ui::ScriptedServices scripted_;  // the ports the two windows never use
  DueTimers timers_;
  SourceRunLoop runLoop_;
  ui::Application application_;
  JournalPeers peers_;
};

}  // namespace

std::unique_ptr<ProgressController> makeHeadlessDialogBox(TezFRLDS& source) {
  auto context = std::make_unique<HeadlessContext>(source);
  HeadlessContext& kept = *context;
  auto box = std::make_unique<TezFRLDialogBox>(std::move(context));
  kept.peers().attach(box->indicatorWindow());
  kept.peers().attach(box->transportWindow());
  return box;
}

}  // namespace ferrolite
