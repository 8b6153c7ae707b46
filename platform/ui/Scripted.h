#pragma once
// Scripted implementations of the ports, for tests and for the data source's headless dialog:
// each one records what it was asked and answers as a script says, so every result is fixed.
//
//   ui::ScriptedServices services;
//   ui::Application application(services.services());
//   services.alerts.answer(ui::kAlertFirstButtonReturn + 1);   // the next alert: Cancel
//   services.timers.advance(ui::Seconds(0.1));                 // fires what fell due
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "platform/foundation/Localization.h"
#include "platform/foundation/MainThreadQueue.h"
#include "platform/ui/Ports.h"

namespace ui {

// Texts from a table; a key it lacks gets the fallback, and is noted.
class MapStrings : public Strings {
 public:
  MapStrings() = default;
  explicit MapStrings(std::map<std::string, std::string, std::less<>> texts)
      : texts_(std::move(texts)) {}
  void set(std::string key, std::string text) { texts_[std::move(key)] = std::move(text); }
  std::string localized(std::string_view key, std::string_view fallback) const override;
  const std::set<std::string, std::less<>>& missingKeys() const { return missing_; }

 private:
  std::map<std::string, std::string, std::less<>> texts_;
  mutable std::set<std::string, std::less<>> missing_;
};

// Texts of a language folder (".lproj"), read through the foundation's strings files; keys the
// table lacks get the fallback and are noted.
class BundleStrings : public Strings {
 public:
  explicit BundleStrings(foundation::LanguageBundle bundle) : bundle_(std::move(bundle)) {}
  std::string localized(std::string_view key, std::string_view fallback) const override;
  const foundation::LanguageBundle& bundle() const { return bundle_; }
  std::set<std::string, std::less<>> missingKeys() const;

 private:
  foundation::LanguageBundle bundle_;
  mutable std::set<std::string, std::less<>> missing_;
};

class MemoryPasteboard : public Pasteboard {
 public:
  std::string string() const override { return text_; }
  void setString(std::string text) override { text_ = std::move(text); }

 private:
  std::string text_;
};

class ScriptedCursors : public Cursors {
 public:
  void push(const Cursor& cursor) override;
  void pop() override;
  void set(const Cursor& cursor) override;
  // "push closedHand", "pop", "set image /path (0,0)", ... in order.
  const std::vector<std::string>& log() const { return log_; }
  const std::vector<Cursor>& stack() const { return stack_; }
  const Cursor& current() const { return current_; }

 private:
  std::vector<std::string> log_;
  std::vector<Cursor> stack_;
  Cursor current_;
};

// Timers on a clock that only the test moves.
class ScriptedTimers : public Timers {
 public:
  Id scheduleOnce(Seconds delay, std::function<void()> fire) override;
  void cancel(Id timer) override;
  Seconds now() const { return now_; }
  // Moves the clock on, firing every timer that falls due, earliest first (timers they schedule
  // fire too when they fall due within the step).
  void advance(Seconds step);
  std::size_t pending() const { return timers_.size(); }

 private:
  struct Pending {
    Id id;
    Seconds due;
    std::function<void()> fire;
  };
  std::vector<Pending> timers_;
  Seconds now_{0};
  Id next_ = 1;
};

class ScriptedRunLoop : public RunLoop {
 public:
  using ModalScript = std::function<void(Window&)>;

  void runShortPass(Seconds maxTime) override;
  int runModal(Window& window) override;
  void stopModal(Window& window) override;

  // Runs during the next short passes (a test trying to click while one runs).
  void setDuringShortPass(std::function<void()> hook) { duringShortPass_ = std::move(hook); }
  const std::vector<Seconds>& shortPasses() const { return shortPasses_; }
  // Scripts for the next modal sessions, one each; they act on the window (click its buttons).
  void script(ModalScript script) { scripts_.push_back(std::move(script)); }
  // What a session with no script left does until it is stopped: run posted work; false from
  // the pump ends the wait (the session then ends aborted).
  void setPump(std::function<bool()> pump) { pump_ = std::move(pump); }
  const std::vector<std::string>& modalWindows() const { return modalWindows_; }

 private:
  std::function<void()> duringShortPass_;
  std::vector<Seconds> shortPasses_;
  std::deque<ModalScript> scripts_;
  std::function<bool()> pump_;
  std::vector<std::string> modalWindows_;
};

// The UI queue of a thread that drains it itself (a test, the headless data source).
class QueueOnThread : public UiQueue {
 public:
  bool post(Task task) override { return queue_.post(std::move(task)); }
  bool performAndWait(Task task) override { return queue_.performAndWait(std::move(task)); }
  bool onUiThread() const override { return queue_.onOwnerThread(); }
  foundation::MainThreadQueue& queue() { return queue_; }

 private:
  foundation::MainThreadQueue queue_;
};

// Widths from a fixed table: fixed-width faces ("Courier", "Mono") 0.6 em a character; others
// 0.25 em for a blank and narrow letters, 0.8 em for m and w, 0.5 em for the rest; bold adds a
// tenth.
class FixedFontMetrics : public FontMetrics {
 public:
  double width(std::string_view text, const Font& font) const override;
};

class ScriptedAlerts : public AlertPresenter {
 public:
  struct Record {
    int style = 0;
    std::string message;
    std::string informative;
    std::vector<std::string> buttons;
    std::optional<std::string> accessory;  // the accessory field's text when the alert ended
    int response = 0;
  };
  using Answer = std::variant<int, std::function<void(Alert&)>>;

  int runModal(Alert& alert) override;
  // The next alerts' answers, in order: a response (the user clicks that button) or a script
  // (it types into the accessory field, clicks, ...). Without one the first button is clicked.
  void answer(Answer answer) { answers_.push_back(std::move(answer)); }
  const std::vector<Record>& journal() const { return journal_; }

 private:
  std::deque<Answer> answers_;
  std::vector<Record> journal_;
};

class ScriptedOpenPanel : public OpenPanel {
 public:
  std::optional<std::filesystem::path> runModal(const OpenPanelRequest& request) override;
  // The next panels' choices, in order; without one the user cancels.
  void answer(std::optional<std::filesystem::path> choice) {
    answers_.push_back(std::move(choice));
  }
  const std::vector<OpenPanelRequest>& requests() const { return requests_; }

 private:
  std::deque<std::optional<std::filesystem::path>> answers_;
  std::vector<OpenPanelRequest> requests_;
};

class RecordingSound : public Sound {
 public:
  bool play(const std::filesystem::path& file) override;
  const std::vector<std::filesystem::path>& played() const { return played_; }
  void setResult(bool result) { result_ = result; }

 private:
  std::vector<std::filesystem::path> played_;
  bool result_ = true;
};

class RecordingFileViewer : public FileViewer {
 public:
  bool reveal(const std::filesystem::path& path) override;
  const std::vector<std::filesystem::path>& revealed() const { return revealed_; }

 private:
  std::vector<std::filesystem::path> revealed_;
};

// Every port scripted, for one UI on the constructing thread.
struct ScriptedServices {
  MemoryPasteboard pasteboard;
  ScriptedCursors cursors;
  ScriptedTimers timers;
  ScriptedRunLoop runLoop;
  QueueOnThread queue;
  FixedFontMetrics fonts;
  ScriptedAlerts alerts;
  ScriptedOpenPanel openPanel;
  RecordingSound sound;
  RecordingFileViewer fileViewer;

  Services services() {
    return {&pasteboard, &cursors, &timers,    &runLoop, &queue,
            &fonts,      &alerts,  &openPanel, &sound,   &fileViewer};
  }
};

}  // namespace ui
