#pragma once
// Registers, once per test program, a wait at the program's end until the threads Qt left
// detached are gone (bounded): a thread still leaving while the leak checker stops the world at
// exit can crash the checker.
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>

#include "tests/support/ThreadCount.h"

namespace testsupport {

class ThreadsGoneAtExit : public ::testing::Environment {
 public:
  void SetUp() override { atStart_ = threadCount(); }
  void TearDown() override { threadCountSettledAt(atStart_, std::chrono::seconds(5)); }

 private:
  std::size_t atStart_ = 1;
};

// Registered before any environment of the including file, so it is torn down after them.
[[maybe_unused]] inline ::testing::Environment* const gThreadsGoneAtExit =
    ::testing::AddGlobalTestEnvironment(new ThreadsGoneAtExit);

}  // namespace testsupport
