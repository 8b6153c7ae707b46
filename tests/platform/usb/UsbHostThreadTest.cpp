// The button reader's pattern through the host layer: a read pending on the interrupt pipe on
// one thread, AbortPipe from another.
#include <gtest/gtest.h>

#include <thread>

#include "platform/usb/UsbHost.h"
#include "sim/SimScanner.h"
#include "tests/sim/SimHarness.h"

namespace {

using namespace simtest;

TEST(UsbHostThreads, AbortPipeCompletesAPendingInterruptRead) {
  sim::SimBus bus;
  sim::SimScanner& scanner = bus.AddScanner();
  InstallHost(&bus);
  OpenScanner s;
  ASSERT_EQ(Open(Host(), 0xF11E, 0x0310, &s), kUsbSuccess);

  UsbStatus rc = kUsbSuccess;
  std::array<uint8_t, 8> packet{};
  uint32_t size = 8;
  std::thread buttonThread(
      [&] { rc = s.interface->ReadInterruptPipe(s.interrupt, packet.data(), &size); });
  while (scanner.BlockedTransfers() == 0) std::this_thread::yield();
  EXPECT_EQ(s.interface->AbortPipe(s.interrupt), kUsbSuccess);
  buttonThread.join();
  EXPECT_EQ(rc, 0xE00002EBu);  // "kIOReturnAborted"
  EXPECT_EQ(size, 0u);

  // The pipe works again for the next read.
  scanner.PressButton(3, 2);
  size = 8;
  EXPECT_EQ(s.interface->ReadInterruptPipe(s.interrupt, packet.data(), &size), kUsbSuccess);
  EXPECT_EQ(packet[1], 3);
  EXPECT_EQ(packet[6], 2);
  InstallHost(nullptr);
}

}  // namespace
