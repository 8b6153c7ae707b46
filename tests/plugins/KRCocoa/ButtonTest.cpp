// queryICAButton, loaded by name: "stop" and "go" reach an observer of the button notification
// as the Image Capture module listens for it.
#include <unistd.h>
#include <vantrel/button_event.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>

#include "platform/foundation/Notifications.h"
#include "plugins/KRCocoa/KRCocoa.h"
#include "tests/support/Patience.h"
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
    arrived.wait_for(lock, testsupport::kPatience, [&] { return seen.size() >= 2; });
    EXPECT_EQ(seen, (std::vector<std::string>{"stop", "go"}));
  }
  observer.stop();
  // Nobody listening: the notice goes nowhere, and that is no failure.
  EXPECT_EQ(query(1, nullptr), 0);
  unsetenv("VANTREL_NOTIFICATION_DIR");
}

// With a module listening (its marker in the folder), a "stop" returns only once the module's
// reader has let the scanner go and said so.
TEST(ButtonEvent, StopReturnsOnceTheModulesReaderHasLetGo) {
  const auto folder = testsupport::freshTestFolder("krcocoa-button-release");
  setenv("VANTREL_NOTIFICATION_DIR", folder.c_str(), 1);
  const std::string module(vantrel::kScannerModuleBundleId);
  std::ofstream(folder /
                (std::string(vantrel::kButtonReaderMarker) + "." + std::to_string(::getpid())));
  std::atomic<bool> readerEnded{false};
  foundation::NotificationObserver reader;
  ASSERT_TRUE(reader
                  .start(vantrel::kButtonEventNotification, module,
                         [&](const foundation::Notification& n) {
                           if (n.userInfo.string(vantrel::kButtonEventKey).valueOr("") !=
                               vantrel::kButtonEventStop)
                             return;
                           readerEnded = true;
                           (void)foundation::postNotification(
                               {vantrel::kButtonReleasedNotification, module, {}});
                         })
                  .ok());
  Plugin lib(kKRCocoaLibraryName, RTLD_LAZY | RTLD_LOCAL);
  const auto query = lib.entry<KRCocoaQueryICAButtonFn>("queryICAButton");
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(query(1, "Olmex"), 0);
  EXPECT_TRUE(readerEnded.load());
  reader.stop();
  unsetenv("VANTREL_NOTIFICATION_DIR");
}

}  // namespace
}  // namespace plugtest
