// queryICAButton, loaded by name: "stop" and "go" reach an observer of the button notification
// as the Image Capture module listens for it.
#include <vantrel/button_event.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/foundation/Notifications.h"
#include "plugins/KRCocoa/KRCocoa.h"
#include "tests/support/PluginTesting.h"
#include "tests/support/TestFolder.h"

namespace plugtest {
namespace {

TEST(ButtonEvent, StopAndGoReachTheModulesObserver) {
  const auto folder = testsupport::freshTestFolder("krcocoa-button");
  setenv("VANTREL_NOTIFICATION_DIR", folder.c_str(), 1);
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<std::string> seen;
  foundation::NotificationObserver observer;
  ASSERT_TRUE(observer
                  .start(vantrel::kButtonEventNotification,
                         std::string(vantrel::kScannerModuleBundleId),
                         [&](const foundation::Notification& n) {
                           std::lock_guard<std::mutex> lock(mutex);
                           seen.push_back(n.userInfo.string(vantrel::kButtonEventKey).valueOr("?"));
                           arrived.notify_all();
                         })
                  .ok());
  Plugin lib(kKRCocoaLibraryName, RTLD_LAZY | RTLD_LOCAL);
  const auto query = lib.entry<KRCocoaQueryICAButtonFn>("queryICAButton");
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(query(1, "Olmex"), 0);
  EXPECT_EQ(query(0, "Olmex"), 0);
  {
    std::unique_lock<std::mutex> lock(mutex);
    arrived.wait_for(lock, std::chrono::seconds(10), [&] { return seen.size() >= 2; });
    EXPECT_EQ(seen, (std::vector<std::string>{"stop", "go"}));
  }
  observer.stop();
  // Nobody listening: the notice goes nowhere, and that is no failure.
  EXPECT_EQ(query(1, nullptr), 0);
  unsetenv("VANTREL_NOTIFICATION_DIR");
}

}  // namespace
}  // namespace plugtest
