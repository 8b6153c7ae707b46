#pragma once
// The services the widget layer and the dialog need from the desktop, each as a small port: the
// Qt adapter implements them for a real window, Scripted.h for tests and the headless dialog,
// Desktop.h the ones that hand a file to another program.
//
// Every port is used on the UI thread only, except UiQueue, which exists to reach that thread.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Geometry.h"

namespace ui {

class Alert;
class Window;

using Seconds = std::chrono::duration<double>;

// Localized texts of the current language.
class Strings {
 public:
  virtual ~Strings() = default;
  // The text for `key`; `fallback` when the language has none.
  virtual std::string localized(std::string_view key, std::string_view fallback) const = 0;
};

// The fallback a text takes when its key is missing: the key itself (menu items, box titles),
// the key followed by "?" (most labels), or no lookup at all (a literal title).
enum class Fallback : std::uint8_t { key, keyWithQuestionMark, literal };
std::string localizedText(const Strings& strings, std::string_view key, Fallback fallback);

// The clipboard's text.
class Pasteboard {
 public:
  virtual ~Pasteboard() = default;
  virtual std::string string() const = 0;
  virtual void setString(std::string text) = 0;
};

enum class CursorShape : std::uint8_t { arrow, closedHand, openHand, image };
struct Cursor {
  CursorShape shape = CursorShape::arrow;
  std::filesystem::path image{};  // a PNG, for CursorShape::image
  Point hotSpot{};                // from the image's top-left corner
  bool operator==(const Cursor&) const = default;
};

// The pointer's cursor: a stack (push and pop around a gesture) and its current shape.
class Cursors {
 public:
  virtual ~Cursors() = default;
  virtual void push(const Cursor& cursor) = 0;
  virtual void pop() = 0;
  virtual void set(const Cursor& cursor) = 0;
};

// One-shot timers that fire on the UI thread.
class Timers {
 public:
  using Id = std::uint64_t;
  virtual ~Timers() = default;
  virtual Id scheduleOnce(Seconds delay, std::function<void()> fire) = 0;
  // A timer that fired or was cancelled already is ignored.
  virtual void cancel(Id timer) = 0;
};

// The UI thread's event loop, as far as the dialog drives it.
class RunLoop {
 public:
  virtual ~RunLoop() = default;
  // Lets windows draw and posted work run for at most `maxTime`; takes no user input.
  virtual void runShortPass(Seconds maxTime) = 0;
  // Runs a modal session for `window` until Application::stopModal ends it; answers the code the
  // session ended with. Called by Application::runModal only.
  virtual int runModal(Window& window) = 0;
  // Wakes the session of runModal so that it returns (called after the session was marked ended).
  virtual void stopModal(Window& window) = 0;
};

// Work handed to the UI thread.
class UiQueue {
 public:
  using Task = std::function<void()>;
  virtual ~UiQueue() = default;
  // Runs the task later on the UI thread; false when the queue is closed.
  virtual bool post(Task task) = 0;
  // Runs the task on the UI thread and returns when it ran: at once when called there. False
  // when the queue closed before the task started (it then never runs).
  virtual bool performAndWait(Task task) = 0;
  virtual bool onUiThread() const = 0;
};

class FontMetrics {
 public:
  virtual ~FontMetrics() = default;
  // The width in points of `text` set in `font` alone.
  virtual double width(std::string_view text, const Font& font) const = 0;
};

// Shows an alert modally and answers the response (1000 for the first button, 1001 for the
// second, ...; kModalAbort when the session was aborted).
class AlertPresenter {
 public:
  virtual ~AlertPresenter() = default;
  virtual int runModal(Alert& alert) = 0;
};

struct OpenPanelRequest {
  std::filesystem::path directory{};      // where the panel starts
  std::vector<std::string> extensions{};  // offered file types, lower case without the dot
  bool filesOnly = true;
  bool operator==(const OpenPanelRequest&) const = default;
};

class OpenPanel {
 public:
  virtual ~OpenPanel() = default;
  // The chosen file; nothing when the user cancelled.
  virtual std::optional<std::filesystem::path> runModal(const OpenPanelRequest& request) = 0;
};

class Sound {
 public:
  virtual ~Sound() = default;
  // Starts playing the file; false when it cannot be played.
  virtual bool play(const std::filesystem::path& file) = 0;
};

class FileViewer {
 public:
  virtual ~FileViewer() = default;
  // Shows the file or folder in the desktop's file viewer; false when that cannot be done.
  virtual bool reveal(const std::filesystem::path& path) = 0;
};

// Every port the layer and the dialog use; none may be null.
struct Services {
  Pasteboard* pasteboard = nullptr;
  Cursors* cursors = nullptr;
  Timers* timers = nullptr;
  RunLoop* runLoop = nullptr;
  UiQueue* queue = nullptr;
  FontMetrics* fonts = nullptr;
  AlertPresenter* alerts = nullptr;
  OpenPanel* openPanel = nullptr;
  Sound* sound = nullptr;
  FileViewer* fileViewer = nullptr;
};

// Codes a modal session ends with when no button ended it.
constexpr int kModalStop = -1000;
constexpr int kModalAbort = -1001;
// The first button of an alert answers this, the second one more, and so on.
constexpr int kAlertFirstButtonReturn = 1000;

}  // namespace ui
