#include "platform/ica/InProcessFramework.h"

namespace ica {

using foundation::Dictionary;

InProcessFramework::InProcessFramework() {
  std::unique_lock lock(mutex_);
  thread_ = std::thread([this] { run(); });
  changed_.wait(lock, [this] { return queue_ != nullptr; });
  lock.unlock();
  setNotificationSink(this);
}

InProcessFramework::~InProcessFramework() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  queue_->post([] {});
  thread_.join();
  setNotificationSink(nullptr);
}

void InProcessFramework::run() {
  Dispatcher dispatcher;
  {
    std::lock_guard lock(mutex_);
    threadId_ = std::this_thread::get_id();
    dispatcher_ = &dispatcher;
    queue_ = std::make_unique<foundation::MainThreadQueue>();
    changed_.notify_all();
  }
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) break;
    }
    queue_->drainFor(std::chrono::milliseconds(1000));
  }
  queue_->drain();
  dispatcher.closeAll();  // while this is still the sink: close may notify
}

Dictionary InProcessFramework::call(const Dictionary& request) {
  Dictionary response;
  queue_->performAndWait([&] { response = dispatcher_->handle(request); });
  return response;
}

std::vector<Dictionary> InProcessFramework::notifications() const {
  std::lock_guard lock(mutex_);
  return notifications_;
}

void InProcessFramework::clearNotifications() {
  std::lock_guard lock(mutex_);
  notifications_.clear();
}

bool InProcessFramework::waitForNotifications(std::size_t count,
                                              std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return notifications_.size() >= count; });
}

void InProcessFramework::setReplyCode(int32_t code) {
  std::lock_guard lock(mutex_);
  replyCode_ = code;
}

bool InProcessFramework::notify(const Dictionary& notification) {
  std::lock_guard lock(mutex_);
  notifications_.push_back(notification);
  changed_.notify_all();
  return true;
}

std::optional<int32_t> InProcessFramework::notifyAndWait(const Dictionary& notification) {
  std::lock_guard lock(mutex_);
  notifications_.push_back(notification);
  changed_.notify_all();
  return replyCode_;
}

}  // namespace ica
