// The bridge: one per process however many threads ask first, a bag of values otherwise.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "RecordingDataSource.h"
#include "ds/dialog/Bridge.h"

namespace ferrolite::dialog {
namespace {

TEST(Bridge, ConcurrentFirstCallsCreateOneInstance) {
  BridgeObject_V2::releaseInstance();
  std::vector<BridgeObject_V2*> seen(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = &BridgeObject_V2::instance(); });
  }
  for (auto& t : threads) t.join();
  for (BridgeObject_V2* b : seen) EXPECT_EQ(b, seen.front());
  EXPECT_EQ(&BridgeObject_V2::instance(), seen.front());
  BridgeObject_V2::releaseInstance();
}

TEST(Bridge, HoldsTheDataSourceAndPlainValues) {
  BridgeObject_V2& bridge = BridgeObject_V2::instance();
  testing::RecordingDataSource ds;
  bridge.getDS(&ds);
  bridge.currentRes = 150;
  EXPECT_EQ(bridge.ds(), &ds);
  EXPECT_EQ(BridgeObject_V2::instance().currentRes, 150u);
  BridgeObject_V2::releaseInstance();
  EXPECT_EQ(BridgeObject_V2::instance().ds(), nullptr);
  BridgeObject_V2::releaseInstance();
}

}  // namespace
}  // namespace ferrolite::dialog
