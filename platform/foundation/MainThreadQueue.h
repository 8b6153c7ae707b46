#pragma once
// The main-thread queue: work that other threads hand to one owner thread (the host's thread of
// the data source), which runs it when it pumps the queue.
//
//   foundation::MainThreadQueue queue;                 // owned by the constructing thread
//   queue.post([&] { updateUI(); });                   // any thread, does not wait
//   queue.performAndWait([&] { updateUI(); });         // any thread; runs at once on the owner
//   queue.drainFor(std::chrono::milliseconds(100));    // owner: wait a little, run what came
//
// Every member may be called from any thread. Tasks run on the thread that drains, one at a time,
// in the order posted, without the queue's lock held (a task may post again).
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace foundation {

class MainThreadQueue {
 public:
  using Task = std::function<void()>;

  MainThreadQueue();   // the owner is the constructing thread
  ~MainThreadQueue();  // closes: pending tasks never run, waiters are released
  MainThreadQueue(const MainThreadQueue&) = delete;
  MainThreadQueue& operator=(const MainThreadQueue&) = delete;

  // Makes the calling thread the owner.
  void adoptCurrentThread();
  bool onOwnerThread() const;

  // False once the queue is closed (the task is dropped).
  bool post(Task task);

  // Runs every task that is pending now (not those they post); answers how many ran.
  std::size_t drain();
  // Waits up to `maxWait` for a task to be pending, then drains.
  std::size_t drainFor(std::chrono::milliseconds maxWait);
  // Runs the oldest pending task, if any.
  bool runOne();

  // On the owner thread runs the task at once. Elsewhere posts it and waits until a drain has
  // run it: true then. False when the queue is closed first, or `timeout` passes before the task
  // has started; the task then never runs. A task that has started is always waited for.
  bool performAndWait(Task task);
  bool performAndWait(Task task, std::chrono::milliseconds timeout);

  // Refuses new tasks, drops the pending ones and releases every waiter.
  void close();
  std::size_t pending() const;

 private:
  struct Item;
  bool performAndWaitUntil(Task task, const std::chrono::steady_clock::time_point* deadline);
  std::shared_ptr<Item> takeOne();  // with mutex_ held
  static void run(Item& item);

  mutable std::mutex mutex_;
  std::condition_variable posted_;    // a task arrived, or the queue closed
  std::condition_variable finished_;  // a task ran, or the queue closed
  std::deque<std::shared_ptr<Item>> items_;
  std::thread::id owner_;
  bool closed_ = false;
};

}  // namespace foundation
