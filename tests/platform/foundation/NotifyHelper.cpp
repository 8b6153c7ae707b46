// A second process on the notification channel, for the tests:
//   foundation_notify_helper observe <folder> <name> <object> <count>
//     prints "ready", then one line "<object> StopOrGo=<value>" per notification, and ends
//     after <count> of them (status 2 when they do not come within ten seconds);
//   foundation_notify_helper post <folder> <name> <object> <StopOrGo value>
//     posts one and prints how many observers took it.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>

#include "platform/foundation/Notifications.h"
#include "tests/support/Patience.h"

namespace {

constexpr const char* kKey = "StopOrGo";

int observe(const char* folder, const char* name, const char* object, int count) {
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<std::string> lines;
  foundation::NotificationObserver observer;
  auto started = observer.start(folder, name, std::string(object), [&](const auto& n) {
    std::lock_guard lock(mutex);
    lines.push_back(n.object.value_or("-") + " " + kKey + "=" +
                    n.userInfo.string(kKey).valueOr("?"));
    arrived.notify_all();
  });
  if (!started) {
    std::fprintf(stderr, "%s\n", started.error().c_str());
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  std::unique_lock lock(mutex);
  for (int i = 0; i < count; ++i) {
    if (!arrived.wait_for(lock, testsupport::kPatience, [&] { return !lines.empty(); })) return 2;
    std::printf("%s\n", lines.front().c_str());
    std::fflush(stdout);
    lines.pop_front();
  }
  lock.unlock();
  observer.stop();
  return 0;
}

int post(const char* folder, const char* name, const char* object, const char* value) {
  foundation::Notification n{name, std::string(object), {}};
  n.userInfo.set(kKey, value);
  auto delivered = foundation::postNotification(n, folder);
  if (!delivered) {
    std::fprintf(stderr, "%s\n", delivered.error().c_str());
    return 1;
  }
  std::printf("%d\n", *delivered);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "observe" && argc == 6) return observe(argv[2], argv[3], argv[4], std::atoi(argv[5]));
  if (mode == "post" && argc == 6) return post(argv[2], argv[3], argv[4], argv[5]);
  std::fprintf(stderr, "usage: %s observe|post <folder> <name> <object> <count|value>\n", argv[0]);
  return 64;
}
