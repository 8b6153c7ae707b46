#include "platform/foundation/MainThreadQueue.h"

#include <utility>

namespace foundation {

struct MainThreadQueue::Item {
  enum class State { pending, running, done, dropped };
  Task task;
  State state = State::pending;  // guarded by the queue's mutex
};

MainThreadQueue::MainThreadQueue() : owner_(std::this_thread::get_id()) {}

MainThreadQueue::~MainThreadQueue() { close(); }

void MainThreadQueue::adoptCurrentThread() {
  std::lock_guard lock(mutex_);
  owner_ = std::this_thread::get_id();
}

bool MainThreadQueue::onOwnerThread() const {
  std::lock_guard lock(mutex_);
  return owner_ == std::this_thread::get_id();
}

bool MainThreadQueue::post(Task task) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    auto item = std::make_shared<Item>();
    item->task = std::move(task);
    items_.push_back(std::move(item));
  }
  posted_.notify_all();
  return true;
}

std::shared_ptr<MainThreadQueue::Item> MainThreadQueue::takeOne() {
  if (items_.empty()) return nullptr;
  std::shared_ptr<Item> item = std::move(items_.front());
  items_.pop_front();
  item->state = Item::State::running;
  return item;
}

void MainThreadQueue::run(Item& item) {
  if (item.task) item.task();
}

bool MainThreadQueue::runOne() {
  std::shared_ptr<Item> item;
  {
    std::lock_guard lock(mutex_);
    item = takeOne();
  }
  if (!item) return false;
  run(*item);
  {
    std::lock_guard lock(mutex_);
    item->state = Item::State::done;
  }
  finished_.notify_all();
  return true;
}

std::size_t MainThreadQueue::drain() {
  std::size_t count;
  {
    std::lock_guard lock(mutex_);
    count = items_.size();
  }
  std::size_t ran = 0;
  // Only what was pending on entry, so a task that posts again cannot keep the owner here.
  while (ran < count && runOne()) ++ran;
  return ran;
}

std::size_t MainThreadQueue::drainFor(std::chrono::milliseconds maxWait) {
  {
    std::unique_lock lock(mutex_);
    posted_.wait_for(lock, maxWait, [this] { return closed_ || !items_.empty(); });
  }
  return drain();
}

bool MainThreadQueue::performAndWait(Task task) {
  return performAndWaitUntil(std::move(task), nullptr);
}

bool MainThreadQueue::performAndWait(Task task, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  return performAndWaitUntil(std::move(task), &deadline);
}

bool MainThreadQueue::performAndWaitUntil(Task task,
                                          const std::chrono::steady_clock::time_point* deadline) {
  auto item = std::make_shared<Item>();
  item->task = std::move(task);
  bool here;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    here = owner_ == std::this_thread::get_id();
    if (!here) items_.push_back(item);
  }
  if (here) {
    run(*item);
    return true;
  }
  posted_.notify_all();

  std::unique_lock lock(mutex_);
  auto settled = [&] {
    return item->state == Item::State::done || item->state == Item::State::dropped;
  };
  if (deadline) {
    if (!finished_.wait_until(lock, *deadline, settled) && item->state == Item::State::pending) {
      // Not started: take it back so it never runs after its caller has gone.
      std::erase(items_, item);
      item->state = Item::State::dropped;
      return false;
    }
  }
  finished_.wait(lock, settled);  // a started task is always waited for
  return item->state == Item::State::done;
}

void MainThreadQueue::close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (auto& item : items_) item->state = Item::State::dropped;
    items_.clear();
  }
  posted_.notify_all();
  finished_.notify_all();
}

std::size_t MainThreadQueue::pending() const {
  std::lock_guard lock(mutex_);
  return items_.size();
}

}  // namespace foundation
