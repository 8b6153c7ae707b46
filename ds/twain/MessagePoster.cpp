#include "ds/twain/MessagePoster.h"

#include <utility>

namespace ferrolite {

MessagePoster::MessagePoster(Send send) : send_(std::move(send)) {}

MessagePoster::~MessagePoster() { stop(); }

void MessagePoster::enter() {
  std::unique_lock<std::mutex> hold(mutex_);
  // What was posted before this call goes first. A call from inside the application's callback
  // (on the sending thread) or beside another call inside cannot wait for it.
  const bool fromCallback = sending_ && sender_ == std::this_thread::get_id();
  if (inside_ == 0 && !fromCallback) {
    changed_.wait_for(hold, kOrderPatience,
                      [this] { return stopping_ || (held_.empty() && !sending_); });
    // A delivery thread that has left its loop is joined here: none outlives the next call.
    joinEndedLocked();
  }
  ++inside_;
}

void MessagePoster::leave() {
  std::lock_guard<std::mutex> hold(mutex_);
  if (--inside_ == 0) changed_.notify_all();
}

void MessagePoster::post(TW_UINT16 message) {
  std::lock_guard<std::mutex> hold(mutex_);
  held_.push_back(message);
  startThreadLocked();
  changed_.notify_all();
}

void MessagePoster::joinEndedLocked() {
  // A thread that has left its loop only returns now; the one calling from it cannot wait.
  if (!threadRunning_ && thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
    thread_.join();
}

void MessagePoster::startThreadLocked() {
  if (threadRunning_) return;
  joinEndedLocked();
  // Only the calling thread itself can still be the last one: it goes on as it is.
  if (thread_.joinable()) thread_.detach();
  threadRunning_ = true;
  thread_ = std::thread([this] { threadMain(); });
}

void MessagePoster::threadMain() {
  std::unique_lock<std::mutex> hold(mutex_);
  for (;;) {
    changed_.wait(hold, [this] { return stopping_ || held_.empty() || inside_ == 0; });
    if (stopping_ || held_.empty()) break;
    const TW_UINT16 message = held_.front();
    held_.pop_front();
    sending_ = true;
    sender_ = std::this_thread::get_id();
    hold.unlock();
    send_(message);
    hold.lock();
    sending_ = false;
    sender_ = std::thread::id();
    changed_.notify_all();
  }
  threadRunning_ = false;
  changed_.notify_all();
}

void MessagePoster::stop() {
  std::unique_lock<std::mutex> hold(mutex_);
  held_.clear();
  stopping_ = true;
  changed_.notify_all();
  // A close from inside the application's callback runs on the delivery thread: it ends as soon
  // as the callback returns, and the next start or the destructor joins it.
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
    std::thread ending = std::move(thread_);
    hold.unlock();
    ending.join();
    hold.lock();
  }
  stopping_ = false;
}

bool MessagePoster::waitUntilSent(std::chrono::milliseconds patience) {
  std::unique_lock<std::mutex> hold(mutex_);
  if (!changed_.wait_for(hold, patience,
                         [this] { return held_.empty() && !sending_ && !threadRunning_; })) {
    return false;
  }
  joinEndedLocked();
  return true;
}

std::size_t MessagePoster::pending() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return held_.size() + (sending_ ? 1 : 0);
}

}  // namespace ferrolite
