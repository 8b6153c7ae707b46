#pragma once
// A bound on calls that must return: when the watchdog still lives after its time, the process
// ends naming what hung, so a hang fails the run with its case instead of the runner's time-out
// on the whole program. The bound is for hangs only, far above any run on a loaded machine.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace testsupport {

class Watchdog {
 public:
  static constexpr std::chrono::seconds kHangBound{150};

  explicit Watchdog(std::string what, std::chrono::seconds bound = kHangBound)
      : what_(std::move(what)) {
    thread_ = std::thread([this, bound] {
      std::unique_lock lock(m_);
      if (!cv_.wait_for(lock, bound, [this] { return done_; })) {
        std::fprintf(stderr, "HUNG: %s\n", what_.c_str());
        std::fflush(stderr);
        std::abort();
      }
    });
  }
  ~Watchdog() {
    {
      std::lock_guard lock(m_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::string what_;
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace testsupport
