// The headless journal and its script.
#include "platform/ui/Headless.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace ui::headless {

namespace {

bool parseAction(const std::string& word, UserAction* action) {
  if (word == "ok")
    *action = UserAction::kOk;
  else if (word == "cancel")
    *action = UserAction::kCancel;
  else if (word == "scan")
    *action = UserAction::kScan;
  else if (word == "wait")
    *action = UserAction::kWait;
  else
    return false;
  return true;
}

bool parseResponse(const std::string& word, int* response) {
  if (word == "ok") {
    *response = kOkResponse;
    return true;
  }
  if (word == "cancel") {
    *response = kCancelResponse;
    return true;
  }
  char* end = nullptr;
  const long value = std::strtol(word.c_str(), &end, 10);
  if (word.empty() || *end != '\0') return false;
  *response = static_cast<int>(value);
  return true;
}

}  // namespace

Journal::Journal() { resetLocked(); }

Journal& Journal::shared() {
  static Journal journal;
  return journal;
}

void Journal::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  resetLocked();
}

void Journal::resetLocked() {
  entries_.clear();
  alertsRun_ = 0;
  alertAnswers_.clear();
  actions_.clear();
  cancelAtImage_ = 0;
  transportActions_.clear();
  mirror_ = nullptr;
  scriptNamed_ = false;
  if (const char* file = std::getenv(kScriptVariable); file != nullptr && *file != '\0') {
    scriptNamed_ = true;
    std::ifstream in(file);
    if (in) {
      std::stringstream text;
      text << in.rdbuf();
      std::string error;
      parseLocked(text.str(), &error);
    }
  }
}

bool Journal::loadScript(const std::filesystem::path& file, std::string* error) {
  std::ifstream in(file);
  if (!in) {
    if (error) *error = "cannot read " + file.string();
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  return parseScript(text.str(), error);
}

bool Journal::parseScript(const std::string& text, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  return parseLocked(text, error);
}

bool Journal::parseLocked(const std::string& text, std::string* error) {
  scriptNamed_ = true;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string command, first, second;
    if (!(words >> command)) continue;
    words >> first >> second;
    bool good = false;
    if (command == "alert") {
      int response = 0;
      char* end = nullptr;
      const unsigned long n = std::strtoul(first.c_str(), &end, 10);
      if (!first.empty() && *end == '\0' && n > 0 && parseResponse(second, &response)) {
        alertAnswers_[n] = response;
        good = true;
      }
    } else if (command == "action") {
      UserAction action;
      if (second.empty() && parseAction(first, &action)) {
        actions_.push_back(action);
        good = true;
      }
    } else if (command == "progress") {
      char* end = nullptr;
      const unsigned long n = std::strtoul(second.c_str(), &end, 10);
      if (first == "cancel" && !second.empty() && *end == '\0' && n > 0 && n < 1000000) {
        cancelAtImage_ = static_cast<int>(n);
        good = true;
      }
    } else if (command == "transport" && second.empty()) {
      good = true;
      if (first == "continue") {
        transportActions_.push_back(TransportAction::kContinue);
      } else if (first == "cancel") {
        transportActions_.push_back(TransportAction::kCancel);
      } else if (first == "wait") {
        transportActions_.push_back(TransportAction::kWait);
      } else {
        good = false;
      }
    }
    if (!good) {
      if (error) *error = "line " + std::to_string(number) + ": not understood: " + line;
      return false;
    }
  }
  return true;
}

void Journal::scriptAlert(std::size_t n, int response) {
  std::lock_guard<std::mutex> lock(mutex_);
  alertAnswers_[n] = response;
  scriptNamed_ = true;
}

void Journal::scriptAction(UserAction action) {
  std::lock_guard<std::mutex> lock(mutex_);
  actions_.push_back(action);
  scriptNamed_ = true;
}

bool Journal::scriptNamed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return scriptNamed_;
}

void Journal::add(Entry entry) {
  std::function<void(const Entry&)> mirror;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(entry);
    mirror = mirror_;
  }
  // Outside the lock: the mirror may log, and logging must not wait on the journal.
  if (mirror) mirror(entry);
}

void Journal::record(const std::string& window, const std::string& call, const std::string& text) {
  Entry entry;
  entry.window = window;
  entry.call = call;
  entry.text = text;
  add(std::move(entry));
}

namespace {
Entry alertEntry(int style, const std::string& message, const std::string& details,
                 const std::vector<std::string>& buttons) {
  Entry entry;
  entry.window = "alert";
  entry.call = "alert";
  entry.text = message;
  entry.details = details;
  entry.style = style;
  entry.buttons = buttons;
  return entry;
}
}  // namespace

int Journal::runAlert(int style, const std::string& message, const std::string& details,
                      const std::vector<std::string>& buttons) {
  Entry entry = alertEntry(style, message, details, buttons);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t n = ++alertsRun_;
    const auto answer = alertAnswers_.find(n);
    entry.response = answer != alertAnswers_.end() ? answer->second : kOkResponse;
  }
  const int response = entry.response;
  add(std::move(entry));
  return response;
}

void Journal::recordAlert(int style, const std::string& message, const std::string& details,
                          const std::vector<std::string>& buttons, int response) {
  Entry entry = alertEntry(style, message, details, buttons);
  entry.response = response;
  {
    // It counts among the alerts, so that a script's numbers stay those the user saw.
    std::lock_guard<std::mutex> lock(mutex_);
    ++alertsRun_;
  }
  add(std::move(entry));
}

UserAction Journal::nextAction() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (actions_.empty()) return UserAction::kDefault;
  const UserAction action = actions_.front();
  actions_.pop_front();
  return action;
}

void Journal::scriptCancelAtImage(int n) {
  std::lock_guard<std::mutex> lock(mutex_);
  cancelAtImage_ = n;
  scriptNamed_ = true;
}

bool Journal::takeCancelAtImage(int shownImage) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (cancelAtImage_ <= 0 || shownImage != cancelAtImage_) return false;
  cancelAtImage_ = 0;
  return true;
}

void Journal::scriptTransport(TransportAction action) {
  std::lock_guard<std::mutex> lock(mutex_);
  transportActions_.push_back(action);
  scriptNamed_ = true;
}

TransportAction Journal::nextTransportAction() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (transportActions_.empty()) return TransportAction::kWait;
  const TransportAction action = transportActions_.front();
  transportActions_.pop_front();
  return action;
}

std::vector<Entry> Journal::entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

std::vector<Entry> Journal::alerts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Entry> alerts;
  for (const Entry& entry : entries_) {
    if (entry.call == "alert") alerts.push_back(entry);
  }
  return alerts;
}

std::size_t Journal::alertCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return alertsRun_;
}

void Journal::setMirror(std::function<void(const Entry&)> mirror) {
  std::lock_guard<std::mutex> lock(mutex_);
  mirror_ = std::move(mirror);
}

}  // namespace ui::headless
