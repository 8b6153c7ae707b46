// The host layer: what needs no hardware (speed texts, libusb code mapping), and the
// transport's whole use of it against the simulated scanner installed as the process's bus.
#include <gtest/gtest.h>
#include <libusb.h>
#include <vantrel/device_ids.h>

#include <algorithm>

#include "platform/usb/LibusbBackend.h"
#include "platform/usb/UsbHost.h"
#include "sim/SimScanner.h"
#include "tests/sim/SimHarness.h"

namespace {

using namespace simtest;
using sim::Fault;
using sim::FaultKind;

constexpr uint16_t kVendor = vantrel::kSupportedVendorId;
constexpr uint16_t kProduct = vantrel::kSupportedProductId;
constexpr uint16_t kId = 0xB6EA;

// ---- no hardware needed ---------------------------------------------------------------------

TEST(UsbHostSpeed, TextsAsTheTransportShowsThem) {
  EXPECT_STREQ(SpeedText(Speed::Low), "USB 1.1");
  EXPECT_STREQ(SpeedText(Speed::Full), "USB 1.1");
  EXPECT_STREQ(SpeedText(Speed::High), "USB 2.0");
  EXPECT_STREQ(SpeedText(Speed::Super), "USB");
  EXPECT_STREQ(SpeedText(Speed::Unknown), "USB");
}

TEST(LibusbMapping, ErrorCodes) {
  struct {
    int libusb;
    UsbStatus expected;
  } cases[] = {
      {LIBUSB_SUCCESS, kUsbSuccess},
      {12, kUsbSuccess},  // a byte count is no error
      {LIBUSB_ERROR_IO, kUsbIoError},
      {LIBUSB_ERROR_INVALID_PARAM, kUsbBadArgument},
      {LIBUSB_ERROR_ACCESS, kUsbNotPermitted},
      {LIBUSB_ERROR_NO_DEVICE, 0xE00002C0},  // the transport's "kIOReturnNoDevice"
      {LIBUSB_ERROR_NOT_FOUND, kUsbNotFound},
      {LIBUSB_ERROR_BUSY, kUsbExclusiveAccess},
      {LIBUSB_ERROR_TIMEOUT, kUsbTimeout},
      {LIBUSB_ERROR_OVERFLOW, kUsbOverrun},
      {LIBUSB_ERROR_PIPE, kUsbPipeStalled},
      {LIBUSB_ERROR_INTERRUPTED, 0xE00002EB},  // "kIOReturnAborted"
      {LIBUSB_ERROR_NO_MEM, kUsbNoMemory},
      {LIBUSB_ERROR_NOT_SUPPORTED, kUsbUnsupported},
      {LIBUSB_ERROR_OTHER, kUsbError},
      {-1000, kUsbError},
  };
  for (const auto& c : cases) EXPECT_EQ(libusb::MapError(c.libusb), c.expected) << c.libusb;
}

TEST(LibusbMapping, TransferStates) {
  struct {
    int status;
    UsbStatus expected;
  } cases[] = {
      {LIBUSB_TRANSFER_COMPLETED, kUsbSuccess},
      {LIBUSB_TRANSFER_ERROR, kUsbIoError},
      {LIBUSB_TRANSFER_TIMED_OUT, kUsbTimeout},
      {LIBUSB_TRANSFER_CANCELLED, 0xE00002EB},  // AbortPipe ends a pending read so
      {LIBUSB_TRANSFER_STALL, kUsbPipeStalled},
      {LIBUSB_TRANSFER_NO_DEVICE, 0xE00002C0},
      {LIBUSB_TRANSFER_OVERFLOW, kUsbOverrun},
      {99, kUsbError},
  };
  for (const auto& c : cases)
    EXPECT_EQ(libusb::MapTransferStatus(c.status), c.expected) << c.status;
}

TEST(LibusbMapping, SpeedsAndTheirTexts) {
  struct {
    int libusb;
    const char* text;
  } cases[] = {
      {LIBUSB_SPEED_LOW, "USB 1.1"},    {LIBUSB_SPEED_FULL, "USB 1.1"},
      {LIBUSB_SPEED_HIGH, "USB 2.0"},   {LIBUSB_SPEED_SUPER, "USB"},
      {LIBUSB_SPEED_SUPER_PLUS, "USB"}, {LIBUSB_SPEED_UNKNOWN, "USB"},
  };
  for (const auto& c : cases)
    EXPECT_STREQ(SpeedText(libusb::MapSpeed(c.libusb)), c.text) << c.libusb;
}

// A search by ids, on a bus of simulated scanners of three id pairs: every device found has the
// wanted ids (0 wanting any), and the search finds each one that has them.
TEST(UsbBusSearch, ReturnsOnlyDevicesWithTheIds) {
  sim::SimBus bus;
  for (auto [vendor, product] :
       {std::pair<uint16_t, uint16_t>{kVendor, kProduct}, {kVendor, 0x0311}, {0x1234, kProduct}}) {
    sim::Config c;
    c.vendorId = vendor;
    c.productId = product;
    bus.AddScanner(c);
  }
  struct {
    uint16_t vendor, product;
    size_t count;
  } cases[] = {{kVendor, kProduct, 1}, {kVendor, 0, 2},       {0, kProduct, 2},
               {0x1234, 0x0311, 0},    {0xF11F, kProduct, 0}, {0, 0, 3}};
  for (const auto& c : cases) {
    std::vector<std::unique_ptr<UsbDevice>> found;
    ASSERT_EQ(bus.FindDevices(c.vendor, c.product, &found), kUsbSuccess);
    ASSERT_EQ(found.size(), c.count) << std::hex << c.vendor << ":" << c.product;
    for (auto& d : found) {
      uint16_t v = 0, p = 0;
      ASSERT_EQ(d->GetDeviceVendor(&v), kUsbSuccess);
      ASSERT_EQ(d->GetDeviceProduct(&p), kUsbSuccess);
      EXPECT_TRUE(c.vendor == 0 || v == c.vendor) << std::hex << v;
      EXPECT_TRUE(c.product == 0 || p == c.product) << std::hex << p;
    }
  }
}

// ---- against the simulated scanner ----------------------------------------------------------

class UsbHostOnSim : public ::testing::Test {
 protected:
  void SetUp() override {
    scanner_ = &bus_.AddScanner();
    usbhost::InstallHost(&bus_);
  }
  void TearDown() override { usbhost::InstallHost(nullptr); }
  void OpenIt() { ASSERT_EQ(Open(Host(), kVendor, kProduct, &s_), kUsbSuccess); }

  sim::SimBus bus_;
  sim::SimScanner* scanner_ = nullptr;
  OpenScanner s_;
};

TEST_F(UsbHostOnSim, DeviceIsFoundByItsIdsOnly) {
  sim::Config other;
  other.vendorId = 0x1234;
  other.productId = 0x5678;
  bus_.AddScanner(other);
  ASSERT_EQ(&Host(), &bus_);
  struct {
    uint16_t vendor, product;
    size_t count;
    uint16_t foundVendor;
  } cases[] = {
      {kVendor, kProduct, 1, kVendor}, {kVendor, 0x0311, 0, 0},     {0xF11F, kProduct, 0, 0},
      {kVendor, 0, 1, kVendor},        {0x1234, 0x5678, 1, 0x1234}, {0, 0, 2, kVendor},
  };
  for (const auto& c : cases) {
    std::vector<std::unique_ptr<UsbDevice>> found;
    ASSERT_EQ(Host().FindDevices(c.vendor, c.product, &found), kUsbSuccess);
    ASSERT_EQ(found.size(), c.count) << std::hex << c.vendor << ":" << c.product;
    if (!c.count) continue;
    uint16_t v = 0;
    EXPECT_EQ(found[0]->GetDeviceVendor(&v), kUsbSuccess);
    EXPECT_EQ(v, c.foundVendor);
  }
}

TEST_F(UsbHostOnSim, InquiryExchangeCarriesTheExactBytes) {
  OpenIt();
  Speed speed = Speed::Unknown;
  ASSERT_EQ(s_.device->GetDeviceSpeed(&speed), kUsbSuccess);
  EXPECT_STREQ(SpeedText(speed), "USB 2.0");

  Block block = InquiryBlock(kId, 5);
  Outcome first = DoCommand(s_, block, 5);
  ASSERT_EQ(first.rc, kUsbSuccess);
  std::vector<uint8_t> inquiry = scanner_->InquiryData(kId);
  EXPECT_EQ(first.data, std::vector<uint8_t>(inquiry.begin(), inquiry.begin() + 5));
  EXPECT_EQ(first.status, (std::array<uint8_t, 3>{0xB6, 0xEA, 0x00}));

  uint16_t length = uint16_t(first.data[3] << 8 | first.data[4]);
  Outcome full = DoCommand(s_, InquiryBlock(kId, uint8_t(length)), length);
  ASSERT_EQ(full.rc, kUsbSuccess);
  EXPECT_EQ(full.data, inquiry);
  EXPECT_EQ(TextAt(full.data, 14), "SIM0000001");

  auto log = scanner_->CommandLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].block, (Block{0xE2, 0xB6, 0xEA, 0, 0, 0, 0, 0, 0, 0, 5, 0}));
  EXPECT_EQ(log[0].command, "INQUIRY");
  EXPECT_EQ(log[0].dataIn, first.data);
  EXPECT_EQ(log[0].dataInTaken, 5u);
  EXPECT_TRUE(log[0].dataOut.empty());
  EXPECT_EQ(log[0].status, (std::array<uint8_t, 3>{0xB6, 0xEA, 0x00}));
  EXPECT_TRUE(log[0].statusTaken);
  EXPECT_EQ(log[1].block[10], 232);
  EXPECT_EQ(log[1].dataIn.size(), 232u);
  EXPECT_TRUE(log[1].notes.empty());
}

TEST_F(UsbHostOnSim, RequestSenseAfterACheckConditionGivesTheSense) {
  OpenIt();
  Fault check{FaultKind::CheckCondition};
  check.opcode = 0xE6;  // RESERVE UNIT
  check.senseKey = 2;
  check.asc = 0x80;
  check.ascq = 0x03;  // no paper
  check.information = 0x01020304;
  scanner_->InjectFault(check);
  Block reserve = MakeBlock(0xE6, kId);
  reserve[11] = 2;
  Outcome o = DoCommand(s_, reserve, 0);
  ASSERT_EQ(o.rc, kUsbSuccess);
  EXPECT_EQ(o.status, (std::array<uint8_t, 3>{0xB6, 0xEA, 0x02}));

  Outcome sense = DoCommand(s_, SenseBlock(kId), 44);
  ASSERT_EQ(sense.rc, kUsbSuccess);
  std::vector<uint8_t> expected(44, 0);
  expected[0] = 0xB6;
  expected[1] = 0xEA;
  expected[4] = 0x70;
  expected[5] = 2;
  expected[7] = 0x80;
  expected[8] = 0x03;
  expected[9] = 1, expected[10] = 2, expected[11] = 3, expected[12] = 4;
  EXPECT_EQ(sense.data, expected);
  EXPECT_EQ(sense.status, (std::array<uint8_t, 3>{0xB6, 0xEA, 0x00}));

  // Reported once: the next sense has no condition.
  Outcome again = DoCommand(s_, SenseBlock(kId), 44);
  EXPECT_EQ(again.data[5], 0);
  EXPECT_EQ(again.data[7], 0);
  auto log = scanner_->CommandLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[1].block, (Block{0xE3, 0xB6, 0xEA, 0, 0, 0, 0, 0, 0, 0, 44, 0}));
}

TEST_F(UsbHostOnSim, UnplugFailsThePipeStatusAndReplugFindsTheSameSerial) {
  OpenIt();
  ASSERT_EQ(s_.interface->GetPipeStatus(s_.bulkOut), kUsbSuccess);
  std::string serial = TextAt(DoCommand(s_, InquiryBlock(kId, 232), 232).data, 14);

  scanner_->Unplug();
  EXPECT_EQ(s_.interface->GetPipeStatus(s_.bulkOut), 0xE00002C0u);
  EXPECT_EQ(SendBlock(*s_.interface, InquiryBlock(kId, 5)), 0xE00002C0u);
  uint32_t size = 3;
  uint8_t buffer[3];
  EXPECT_EQ(s_.interface->ReadPipe(s_.bulkIn, buffer, &size), 0xE00002C0u);
  std::vector<std::unique_ptr<UsbDevice>> found;
  ASSERT_EQ(Host().FindDevices(kVendor, kProduct, &found), kUsbSuccess);
  EXPECT_TRUE(found.empty());

  scanner_->Replug();
  OpenScanner again;
  ASSERT_EQ(Open(Host(), kVendor, kProduct, &again), kUsbSuccess);
  Outcome o = DoCommand(again, InquiryBlock(kId, 232), 232);
  ASSERT_EQ(o.rc, kUsbSuccess);
  EXPECT_EQ(TextAt(o.data, 14), serial);
  EXPECT_EQ(again.interface->GetPipeStatus(again.bulkOut), kUsbSuccess);
}

TEST_F(UsbHostOnSim, InterruptPacketIsRead) {
  OpenIt();
  ASSERT_NE(s_.interrupt, 0);
  scanner_->PressButton(2, 1);
  std::array<uint8_t, 8> packet{};
  uint32_t size = 8;
  ASSERT_EQ(s_.interface->ReadInterruptPipe(s_.interrupt, packet.data(), &size), kUsbSuccess);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(packet, (std::array<uint8_t, 8>{0, 2, 0, 0, 0, 0, 1, 0}));
}

TEST_F(UsbHostOnSim, ShortCompletionsDeliverTheDataInPieces) {
  OpenIt();
  Fault shortBulk{FaultKind::ShortBulk};
  shortBulk.chunk = 7;
  scanner_->InjectFault(shortBulk);
  ASSERT_EQ(SendBlock(*s_.interface, InquiryBlock(kId, 232)), kUsbSuccess);
  ReadResult r = ReadExactly(*s_.interface, s_.bulkIn, 232);
  ASSERT_EQ(r.rc, kUsbSuccess);
  EXPECT_EQ(r.completions, 34);  // 33 of 7 bytes and one of 1
  EXPECT_EQ(r.bytes, scanner_->InquiryData(kId));
  EXPECT_EQ(ReadExactly(*s_.interface, s_.bulkIn, 3).bytes, (std::vector<uint8_t>{0xB6, 0xEA, 0}));
}

TEST_F(UsbHostOnSim, EmptyCompletionsAreVisibleAndTheWatchdogEndsAReadWithNothingPending) {
  OpenIt();
  Fault empty{FaultKind::EmptyCompletions};
  empty.empties = 3;
  scanner_->InjectFault(empty);
  ASSERT_EQ(SendBlock(*s_.interface, InquiryBlock(kId, 5)), kUsbSuccess);
  uint8_t buffer[8];
  for (int i = 0; i < 3; ++i) {
    uint32_t size = 5;
    ASSERT_EQ(s_.interface->ReadPipe(s_.bulkIn, buffer, &size), kUsbSuccess);
    EXPECT_EQ(size, 0u) << "completion " << i;
  }
  uint32_t size = 5;
  ASSERT_EQ(s_.interface->ReadPipe(s_.bulkIn, buffer, &size), kUsbSuccess);
  EXPECT_EQ(size, 5u);
  size = 3;
  ASSERT_EQ(s_.interface->ReadPipe(s_.bulkIn, buffer, &size), kUsbSuccess);
  EXPECT_EQ(size, 3u);

  // The exchange is over: a read for more would wait for ever on a real device.
  size = 8;
  EXPECT_EQ(s_.interface->ReadPipe(s_.bulkIn, buffer, &size), kUsbNotResponding);
  EXPECT_EQ(size, 0u);
  auto messages = scanner_->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("watchdog: bulk IN read of 8 bytes", 0), 0u);
  auto log = scanner_->CommandLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(std::count(log[0].notes.begin(), log[0].notes.end(), "zero-length completion"), 3);
  EXPECT_EQ(log[0].notes.back().rfind("watchdog", 0), 0u);
}

TEST_F(UsbHostOnSim, WatchdogAlsoEndsAReadWhileTheDeviceWaitsForData) {
  OpenIt();
  Block window = MakeBlock(0xE4, kId);
  window[10] = 96;
  ASSERT_EQ(SendBlock(*s_.interface, window), kUsbSuccess);
  // The host skips the data phase and reads the status.
  ReadResult r = ReadExactly(*s_.interface, s_.bulkIn, 3);
  EXPECT_EQ(r.rc, kUsbNotResponding);
  ASSERT_EQ(scanner_->Messages().size(), 1u);
  EXPECT_NE(scanner_->Messages()[0].find("waits for 96 bytes on bulk OUT"), std::string::npos);
}

}  // namespace
