// queryICAButton: the data source tells the Image Capture module's button reader to give the
// scanner up (stop) when it takes it, and to take it again (go) when it lets it go.
#include <signal.h>
#include <vantrel/button_event.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

#include "platform/foundation/Notifications.h"
#include "plugins/KRCocoa/KRCocoa.h"

#define KRCOCOA_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// How long the data source waits for a module's reader to let the scanner go before it opens
// the scanner all the same.
constexpr std::chrono::seconds kReleaseWait{3};

// A module listens for the notices: a marker of a running process is in the folder.
bool moduleListens() {
  std::error_code ec;
  const std::string prefix = std::string(vantrel::kButtonReaderMarker) + ".";
  for (const auto& entry :
       std::filesystem::directory_iterator(foundation::notificationFolder(), ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
    if (pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM)) return true;
  }
  return false;
}

}  // namespace

// The vendor text names the caller in its own log; the notice is the same for every vendor.
KRCOCOA_EXPORT long queryICAButton(int32_t stop, const char* /*vendor*/) {
  try {
    const std::string module(vantrel::kScannerModuleBundleId);
    foundation::Notification n{vantrel::kButtonEventNotification, module, {}};
    n.userInfo.set(vantrel::kButtonEventKey,
                   stop ? vantrel::kButtonEventStop : vantrel::kButtonEventGo);
    // A module's reader answers a "stop" once it has let the scanner go: the scanner is opened
    // after that answer (or after a bounded wait), never while the reader may still hold it.
    std::mutex mutex;
    std::condition_variable answered;
    bool released = false;
    foundation::NotificationObserver answer;
    const bool wait = stop && moduleListens() &&
                      answer
                          .start(vantrel::kButtonReleasedNotification, module,
                                 [&](const foundation::Notification&) {
                                   std::lock_guard<std::mutex> lock(mutex);
                                   released = true;
                                   answered.notify_all();
                                 })
                          .ok();
    // No module listening is no failure: there is no reader to stop.
    const bool posted = foundation::postNotification(n).ok();
    if (wait && posted) {
      std::unique_lock<std::mutex> lock(mutex);
      answered.wait_for(lock, kReleaseWait, [&] { return released; });
    }
    answer.stop();
    return posted ? 0 : -1;
  } catch (const std::exception&) {
    return -1;
  }
}
