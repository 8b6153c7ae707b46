// The simulated scanner under the driver's threads: a button reader waiting on the interrupt
// pipe while others post, abort, unplug and run commands.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sim/SimScanner.h"
#include "tests/sim/SimHarness.h"

namespace {

using namespace simtest;
using sim::Fault;
using sim::FaultKind;

constexpr uint16_t kId = 0x2200;

class SimThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    scanner_ = &bus_.AddScanner();
    ASSERT_EQ(Open(bus_, 0xF11E, 0x0310, &s_), kUsbSuccess);
  }
  // Returns once `n` transfers wait inside the device.
  void AwaitBlocked(size_t n) {
    while (scanner_->BlockedTransfers() < n) std::this_thread::yield();
  }
  sim::SimBus bus_;
  sim::SimScanner* scanner_ = nullptr;
  OpenScanner s_;
};

struct InterruptRead {
  UsbStatus rc = kUsbSuccess;
  std::array<uint8_t, 8> packet{};
  uint32_t size = 8;
};

TEST_F(SimThreads, InterruptReadEndsWithAPacketAnAbortOrAnUnplug) {
  // A posted packet.
  InterruptRead r1;
  std::thread reader(
      [&] { r1.rc = s_.interface->ReadInterruptPipe(s_.interrupt, r1.packet.data(), &r1.size); });
  AwaitBlocked(1);
  scanner_->PressButton(3, 1);
  reader.join();
  EXPECT_EQ(r1.rc, kUsbSuccess);
  EXPECT_EQ(r1.size, 8u);
  EXPECT_EQ(r1.packet, (sim::ButtonPacket{0, 3, 0, 0, 0, 0, 1, 0}));

  // AbortPipe from another thread.
  InterruptRead r2;
  reader = std::thread(
      [&] { r2.rc = s_.interface->ReadInterruptPipe(s_.interrupt, r2.packet.data(), &r2.size); });
  AwaitBlocked(1);
  EXPECT_EQ(s_.interface->AbortPipe(s_.interrupt), kUsbSuccess);
  reader.join();
  EXPECT_EQ(r2.rc, kUsbAborted);
  EXPECT_EQ(r2.size, 0u);

  // The device goes away.
  InterruptRead r3;
  reader = std::thread(
      [&] { r3.rc = s_.interface->ReadInterruptPipe(s_.interrupt, r3.packet.data(), &r3.size); });
  AwaitBlocked(1);
  scanner_->Unplug();
  reader.join();
  EXPECT_EQ(r3.rc, kUsbNoDevice);
}

TEST_F(SimThreads, ClosingTheInterfaceEndsAPendingRead) {
  InterruptRead r;
  std::thread reader(
      [&] { r.rc = s_.interface->ReadInterruptPipe(s_.interrupt, r.packet.data(), &r.size); });
  AwaitBlocked(1);
  EXPECT_EQ(s_.interface->Close(), kUsbSuccess);
  reader.join();
  EXPECT_EQ(r.rc, kUsbAborted);
  // A reader that comes back for the next packet finds the pipe closed instead of waiting.
  scanner_->PressButton(2, 1);
  r.size = 8;
  EXPECT_EQ(s_.interface->ReadInterruptPipe(s_.interrupt, r.packet.data(), &r.size), kUsbNotOpen);
}

TEST_F(SimThreads, SlowTransferEndsEarlyWhenTheDeviceGoesAway) {
  Fault slow{FaultKind::Slow};
  slow.delayMs = 60000;
  scanner_->InjectFault(slow);
  UsbStatus rc = kUsbSuccess;
  std::thread io([&] { rc = SendBlock(*s_.interface, InquiryBlock(kId, 5)); });
  AwaitBlocked(1);
  scanner_->Unplug();
  io.join();
  EXPECT_EQ(rc, kUsbNoDevice);
}

TEST_F(SimThreads, CommandsButtonsAndLogReadersRunTogether) {
  constexpr int kCommands = 200;
  constexpr int kPresses = 50;
  std::atomic<bool> done{false};
  int packets = 0;
  std::thread buttons([&] {
    for (int i = 0; i < kPresses + 1; ++i) {
      std::array<uint8_t, 8> p{};
      uint32_t size = 8;
      if (s_.interface->ReadInterruptPipe(s_.interrupt, p.data(), &size) != kUsbSuccess) break;
      ++packets;
    }
  });
  std::thread poster([&] {
    for (int i = 0; i < kPresses; ++i) scanner_->PressButton(2, uint8_t(1 + i % 3));
  });
  std::thread observer([&] {
    while (!done) (void)scanner_->CommandLog().size();
  });
  int good = 0;
  for (int i = 0; i < kCommands; ++i) {
    Outcome o = DoCommand(s_, InquiryBlock(kId, 5), 5);
    if (o.rc == kUsbSuccess && o.status[2] == 0) ++good;
  }
  poster.join();
  // The reader took every packet and waits for one more.
  while (scanner_->PendingButtonPackets() > 0) std::this_thread::yield();
  AwaitBlocked(1);
  EXPECT_EQ(s_.interface->AbortPipe(s_.interrupt), kUsbSuccess);
  buttons.join();
  done = true;
  observer.join();
  EXPECT_EQ(good, kCommands);
  EXPECT_EQ(packets, kPresses);
  EXPECT_EQ(scanner_->CommandLog().size(), size_t(kCommands));
}

}  // namespace
