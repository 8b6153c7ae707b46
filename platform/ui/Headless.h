#pragma once
// The headless back end of the data source's windows: no window is shown; every call made on a
// window (title, order front, texts, button states, progress values) and every alert (style,
// message, details, buttons) goes into a journal that tests read, and the user is played by a
// script: alerts are answered at once (OK, 1000, unless the script names another answer for the
// n-th alert) and the window's user acts at once when the caller asks what the user does.
//
// The script comes from the test API or from a file named by FERROLITE_UI_SCRIPT, one command a
// line ('#' starts a comment):
//   alert <n> ok|cancel|<response>   the n-th alert (from 1) answers so
//   action ok|cancel|scan|wait       the next question to the user answers so (in order)
//   progress cancel <n>              Cancel in the progress window once it shows image n
//   transport continue|cancel|wait   the next transport window: a button, or wait for its end
//
//   ui::headless::Journal& journal = ui::headless::Journal::shared();
//   journal.scriptAlert(2, ui::headless::kCancelResponse);
//   int response = journal.runAlert(2, "Error Code: 2013", "Paper jam.", {"OK", "Cancel"});
//
// Every member is safe to call from any thread.
#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace ui::headless {

inline constexpr int kOkResponse = 1000;
inline constexpr int kCancelResponse = 1001;
inline constexpr const char* kScriptVariable = "FERROLITE_UI_SCRIPT";

// What the user does when asked at the end of an enable or of a batch.
enum class UserAction { kDefault, kOk, kCancel, kScan, kWait };
// What the user does in the transport window ("insert paper"): nothing (the countdown ends it),
// or one of its buttons.
enum class TransportAction { kWait, kContinue, kCancel };

struct Entry {
  std::string window;  // "alert" for alerts
  std::string call;    // "title", "orderFront", "text", "button", "progress", "close", "alert", ...
  std::string text;    // the value; for an alert its message
  std::string details;               // an alert's details
  int style = 0;                     // an alert's style
  std::vector<std::string> buttons;  // an alert's buttons
  int response = 0;                  // an alert's answer
};

class Journal {
 public:
  // The process's journal; it reads FERROLITE_UI_SCRIPT when first used and after reset().
  static Journal& shared();

  // Forgets entries, scripts and the mirror, and reads FERROLITE_UI_SCRIPT again.
  void reset();
  // False with the line's fault when the file cannot be read or a line is not understood (the
  // lines before it apply).
  bool loadScript(const std::filesystem::path& file, std::string* error);
  bool parseScript(const std::string& text, std::string* error);

  void scriptAlert(std::size_t n, int response);
  void scriptAction(UserAction action);
  // A script was named since the last reset: by FERROLITE_UI_SCRIPT or through the calls above.
  bool scriptNamed() const;

  // One call on a window.
  void record(const std::string& window, const std::string& call, const std::string& text = {});
  // Records the alert and answers it: the script's answer for this alert, else OK.
  int runAlert(int style, const std::string& message, const std::string& details,
               const std::vector<std::string>& buttons);
  // Records an alert that a real window showed, with the answer its user gave.
  void recordAlert(int style, const std::string& message, const std::string& details,
                   const std::vector<std::string>& buttons, int response);
  // The next scripted action, or kDefault when the script has none left.
  UserAction nextAction();

  // Cancel in the progress window at image `n` (from 1; 0 never).
  void scriptCancelAtImage(int n);
  // True once when the progress window shows the scripted image: the user presses Cancel.
  bool takeCancelAtImage(int shownImage);
  void scriptTransport(TransportAction action);
  // The next scripted transport action, kWait when the script has none left.
  TransportAction nextTransportAction();

  std::vector<Entry> entries() const;
  std::vector<Entry> alerts() const;
  std::size_t alertCount() const;

  // Called with every entry as it is recorded (the data source mirrors them into its log).
  void setMirror(std::function<void(const Entry&)> mirror);

 private:
  Journal();
  void resetLocked();
  bool parseLocked(const std::string& text, std::string* error);
  void add(Entry entry);

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  std::size_t alertsRun_ = 0;
  std::map<std::size_t, int> alertAnswers_;
  std::deque<UserAction> actions_;
  int cancelAtImage_ = 0;
  std::deque<TransportAction> transportActions_;
  bool scriptNamed_ = false;
  std::function<void(const Entry&)> mirror_;
};

}  // namespace ui::headless
