#include "platform/ui/Scripted.h"

#include <algorithm>
#include <cstdio>

#include "platform/ui/Alert.h"
#include "platform/ui/Application.h"

namespace ui {
namespace {

// A default text no table holds, to tell a missing key from a text equal to its fallback.
constexpr std::string_view kNotFound = "\x01\x02(missing)";

std::string describe(const Cursor& cursor) {
  switch (cursor.shape) {
    case CursorShape::arrow:
      return "arrow";
    case CursorShape::closedHand:
      return "closedHand";
    case CursorShape::openHand:
      return "openHand";
    case CursorShape::image: {
      char spot[64];
      std::snprintf(spot, sizeof spot, " (%g,%g)", cursor.hotSpot.x, cursor.hotSpot.y);
      return "image " + cursor.image.string() + spot;
    }
  }
  return "?";
}

}  // namespace

std::string MapStrings::localized(std::string_view key, std::string_view fallback) const {
  auto it = texts_.find(key);
  if (it != texts_.end()) return it->second;
  missing_.emplace(key);
  return std::string(fallback);
}

std::string BundleStrings::localized(std::string_view key, std::string_view fallback) const {
  std::string text = bundle_.localizedString(key, kNotFound);
  if (text != kNotFound) return text;
  missing_.emplace(key);
  return std::string(fallback);
}

std::set<std::string, std::less<>> BundleStrings::missingKeys() const { return missing_; }

void ScriptedCursors::push(const Cursor& cursor) {
  stack_.push_back(current_);
  current_ = cursor;
  log_.push_back("push " + describe(cursor));
}

void ScriptedCursors::pop() {
  log_.push_back("pop");
  if (stack_.empty()) return;
  current_ = stack_.back();
  stack_.pop_back();
}

void ScriptedCursors::set(const Cursor& cursor) {
  current_ = cursor;
  log_.push_back("set " + describe(cursor));
}

Timers::Id ScriptedTimers::scheduleOnce(Seconds delay, std::function<void()> fire) {
  Id id = next_++;
  timers_.push_back({id, now_ + std::max(delay, Seconds(0)), std::move(fire)});
  return id;
}

void ScriptedTimers::cancel(Id timer) {
  std::erase_if(timers_, [&](const Pending& p) { return p.id == timer; });
}

void ScriptedTimers::advance(Seconds step) {
  const Seconds end = now_ + step;
  for (;;) {
    // The earliest due timer within the step; ties by the order they were scheduled.
    auto next =
        std::min_element(timers_.begin(), timers_.end(), [](const Pending& a, const Pending& b) {
          return a.due < b.due || (a.due == b.due && a.id < b.id);
        });
    if (next == timers_.end() || next->due > end) break;
    now_ = std::max(now_, next->due);
    std::function<void()> fire = std::move(next->fire);
    timers_.erase(next);
    if (fire) fire();
  }
  now_ = end;
}

void ScriptedRunLoop::runShortPass(Seconds maxTime) {
  shortPasses_.push_back(maxTime);
  if (duringShortPass_) duringShortPass_();
}

int ScriptedRunLoop::runModal(Window& window) {
  modalWindows_.push_back(window.outlet());
  Application& application = window.application();
  if (!scripts_.empty()) {
    ModalScript script = std::move(scripts_.front());
    scripts_.pop_front();
    script(window);
  }
  while (!application.modalSessionStopped() && pump_ && pump_()) {
  }
  return 0;  // the application holds the code
}

void ScriptedRunLoop::stopModal(Window&) {}

double FixedFontMetrics::width(std::string_view text, const Font& font) const {
  const bool fixed = font.family.find("Courier") != std::string::npos ||
                     font.family.find("Mono") != std::string::npos;
  double ems = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) == 0x80) continue;  // a UTF-8 continuation byte: one character counts once
    if (fixed) {
      ems += 0.6;
    } else if (c == ' ' || c == 'i' || c == 'l' || c == 'j' || c == '.' || c == ',' || c == ':' ||
               c == ';' || c == '!' || c == '|' || c == '\'') {
      ems += 0.25;
    } else if (c == 'm' || c == 'w' || c == 'M' || c == 'W') {
      ems += 0.8;
    } else {
      ems += 0.5;
    }
  }
  return ems * font.size * (font.bold ? 1.1 : 1.0);
}

int ScriptedAlerts::runModal(Alert& alert) {
  Record record;
  record.style = static_cast<int>(alert.style());
  record.message = alert.messageText();
  record.informative = alert.informativeText();
  for (std::size_t i = 0; i < alert.numberOfButtons(); ++i) {
    record.buttons.push_back(alert.button(i).title());
  }
  Application& application = alert.window().application();
  application.beginModalSession(alert.window());
  Answer answer = kAlertFirstButtonReturn;
  if (!answers_.empty()) {
    answer = std::move(answers_.front());
    answers_.pop_front();
  }
  if (const int* response = std::get_if<int>(&answer)) {
    std::size_t index = static_cast<std::size_t>(*response - kAlertFirstButtonReturn);
    if (index < alert.numberOfButtons()) alert.button(index).userClick();
  } else {
    std::get<std::function<void(Alert&)>>(answer)(alert);
  }
  record.response = application.endModalSession();
  if (TextField* field = alert.accessoryTextField()) record.accessory = field->text();
  journal_.push_back(std::move(record));
  return journal_.back().response;
}

std::optional<std::filesystem::path> ScriptedOpenPanel::runModal(const OpenPanelRequest& request) {
  requests_.push_back(request);
  if (answers_.empty()) return std::nullopt;
  std::optional<std::filesystem::path> choice = std::move(answers_.front());
  answers_.pop_front();
  return choice;
}

bool RecordingSound::play(const std::filesystem::path& file) {
  played_.push_back(file);
  return result_;
}

bool RecordingFileViewer::reveal(const std::filesystem::path& path) {
  revealed_.push_back(path);
  return true;
}

}  // namespace ui
