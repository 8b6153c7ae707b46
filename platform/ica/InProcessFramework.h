#pragma once
// The framework inside the caller's process, for tests: a framework thread of its own runs every
// callback (as ICD_ScannerMain does for the module program), and the notifications are collected
// here instead of going to a host. A notification that waits for a reply gets replyCode().
//
//   ica::InProcessFramework framework;               // installs itself as the notification sink
//   auto response = framework.call(request);          // runs on the framework thread, waits
//   framework.waitForNotifications(1, std::chrono::seconds(5));
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/foundation/MainThreadQueue.h"
#include "platform/ica/Framework.h"

namespace ica {

class InProcessFramework final : public NotificationSink {
 public:
  InProcessFramework();
  ~InProcessFramework() override;  // cleans up and closes open devices, then ends the thread
  InProcessFramework(const InProcessFramework&) = delete;
  InProcessFramework& operator=(const InProcessFramework&) = delete;

  // One request, run on the framework thread.
  foundation::Dictionary call(const foundation::Dictionary& request);
  std::thread::id frameworkThread() const { return threadId_; }

  std::vector<foundation::Dictionary> notifications() const;
  void clearNotifications();
  // True once at least `count` notifications arrived; false after `timeout`.
  bool waitForNotifications(std::size_t count, std::chrono::milliseconds timeout) const;
  // What a notification that waits is answered with (0 by default).
  void setReplyCode(int32_t code);

  bool notify(const foundation::Dictionary& notification) override;
  std::optional<int32_t> notifyAndWait(const foundation::Dictionary& notification) override;

 private:
  void run();

  std::thread thread_;
  std::thread::id threadId_;
  std::unique_ptr<foundation::MainThreadQueue> queue_;
  Dispatcher* dispatcher_ = nullptr;  // lives on the framework thread
  bool stopping_ = false;             // guarded by mutex_
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<foundation::Dictionary> notifications_;
  int32_t replyCode_ = 0;
};

}  // namespace ica
