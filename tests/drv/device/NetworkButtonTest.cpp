// KRReadPushButton, KRReadNetworkValue and KRWriteNetworkValue against the simulated scanner.
#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "DeviceFixture.h"
#include "drv/platform/CLLDMemoryManager.h"

using devicefix::Commands;
using devicefix::DeviceTest;
using devicefix::kCtrl;
using devicefix::Patch;

namespace {
using Bytes = std::vector<uint8_t>;

sim::Config Networked(uint8_t byte92 = 0xC0) {
  sim::Config c;
  c.inquiryPatches = {Patch(92, byte92)};
  return c;
}

Bytes RecordBytes(const void* record) {
  const auto* p = static_cast<const uint8_t*>(record);
  return Bytes(p, p + sizeof(KRPushButtonRecord));
}
}  // namespace

class PushButton : public DeviceTest {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("device-button"); }
};

TEST_F(PushButton, PacketComesBackOnceThenZeros) {
  sim::SimScanner& scanner = Open();
  KRPushButtonRecord record;
  void* p = &record;
  ASSERT_EQ(KRReadPushButton(kCtrl, &handle, &p), 0);  // starts the reader
  EXPECT_EQ(p, &record);
  scanner.PressButton(3, 1);
  // The reader takes the packet on its own thread; ask until it is there.
  do {
    ASSERT_EQ(KRReadPushButton(kCtrl, &handle, &p), 0);
    std::this_thread::yield();
  } while (record.ButtonState[1] == 0);
  const Bytes expected = {200, 0, 20, 0, 0, 3, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(RecordBytes(&record), expected);
  // Read once: then zeros.
  void* allocated = nullptr;
  ASSERT_EQ(KRReadPushButton(kCtrl, &handle, &allocated), 0);
  ASSERT_NE(allocated, nullptr);
  EXPECT_EQ(RecordBytes(allocated),
            (Bytes{200, 0, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(KRMemFree(kCtrl, allocated), 0);
  EXPECT_TRUE(scanner.CommandLog().empty());  // buttons travel on the interrupt pipe only
  EXPECT_TRUE(testlog::Contains("<= KRReadPushButton ret=0"));
}

TEST_F(PushButton, WithoutInterruptPipeTheStateIsZero) {
  sim::Config c;
  c.interruptPipe = false;
  Open(c);
  KRPushButtonRecord record;
  std::memset(&record, 0xFF, sizeof record);
  void* p = &record;
  ASSERT_EQ(KRReadPushButton(kCtrl, &handle, &p), 0);
  EXPECT_EQ(RecordBytes(&record),
            (Bytes{200, 0, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(PushButton, DuringAJobTheRecordIsAllZeroWithoutACommand) {
  sim::SimScanner& scanner = Open();
  scanner.PressButton(2, 1);
  Item()->bJobRunning = 1;
  KRPushButtonRecord record;
  std::memset(&record, 0xFF, sizeof record);
  void* p = &record;
  EXPECT_EQ(KRReadPushButton(kCtrl, &handle, &p), 0);
  EXPECT_EQ(RecordBytes(&record), Bytes(20, 0));
  EXPECT_TRUE(scanner.CommandLog().empty());
  EXPECT_EQ(scanner.PendingButtonPackets(), 1u);  // the reader was not even started
  Item()->bJobRunning = 0;
  uint32_t unknown = 99;
  EXPECT_EQ(KRReadPushButton(kCtrl, &unknown, &p), -2019);
  EXPECT_EQ(KRReadPushButton(kCtrl, &handle, nullptr), -2005);
}

class NetworkValue : public DeviceTest {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("device-network"); }
};

TEST_F(NetworkValue, ReadGivesTheReplyFromItsLengthWord) {
  sim::SimScanner& scanner = Open(Networked());
  void* value = nullptr;
  ASSERT_EQ(KRReadNetworkValue(kCtrl, &handle, 1, &value), 0);
  ASSERT_NE(value, nullptr);
  const std::string text = "SSID=SIM-WLAN;KEY=simulated";  // 27 bytes: the reply is 0x20 long
  Bytes expected(29, 0);
  expected[1] = 0x20;
  std::copy(text.begin(), text.end(), expected.begin() + 2);
  EXPECT_EQ(Bytes(static_cast<uint8_t*>(value), static_cast<uint8_t*>(value) + 29), expected);
  auto seen = Commands(scanner);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].command, "READ 0x00A8");
  EXPECT_EQ(seen[0].length, 5u);
  EXPECT_EQ(seen[1].command, "READ 0x00A8");
  EXPECT_EQ(seen[1].length, 0x20u);
  EXPECT_EQ(KRMemFree(kCtrl, value), 0);

  // Kind 0 into the client's buffer, exactly L - 3 bytes of it.
  Bytes buffer(40, 0xEE);
  void* p = buffer.data();
  scanner.ClearCommandLog();
  ASSERT_EQ(KRReadNetworkValue(kCtrl, &handle, 0, &p), 0);
  EXPECT_EQ(p, buffer.data());
  EXPECT_EQ(buffer[1], 20);  // "IP=192.168.1.20": 15 bytes + 5
  EXPECT_EQ(std::string(buffer.begin() + 2, buffer.begin() + 17), "IP=192.168.1.20");
  EXPECT_EQ(buffer[17], 0xEE);
  EXPECT_EQ(Commands(scanner)[0].command, "READ 0x00A7");
}

TEST_F(NetworkValue, ReplyLengthsOutsideTheBufferAreProtocolErrors) {
  for (uint32_t length : {2u, 4u, 1025u, 0xFFFFu}) {
    SCOPED_TRACE(length);
    sim::Config c = Networked(0x80);
    c.networkReplyLength = length;
    sim::SimScanner& scanner = Open(c);
    void* value = nullptr;
    EXPECT_EQ(KRReadNetworkValue(kCtrl, &handle, 0, &value), -2023);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(Commands(scanner).size(), 1u);  // no second READ
    KRTerminateDriver(kCtrl);
    scanner.Unplug();
  }
  // The largest reply that fits the receive buffer.
  sim::Config c = Networked(0x40);
  c.networkReplyLength = 1024;
  Open(c);
  void* value = nullptr;
  ASSERT_EQ(KRReadNetworkValue(kCtrl, &handle, 1, &value), 0);
  EXPECT_EQ(static_cast<uint8_t*>(value)[0], 0x04);
  EXPECT_EQ(static_cast<uint8_t*>(value)[1], 0x00);
  EXPECT_EQ(static_cast<uint8_t*>(value)[1020], 0);  // the last of 1021 bytes
  KRMemFree(kCtrl, value);
}

// A device whose value changes between the two READs: the block handed over is sized and filled
// from the reply it carries, and a reply that claims more than was read is refused.
TEST_F(NetworkValue, BlockAndCopyFollowTheReplyHandedOver) {
  // Kind 1's value is 27 bytes: the first reply says 0x20.
  struct Case {
    uint32_t later;  // the second reply's length word
    long status;
  };
  for (const Case& c : {Case{0x10, 0}, Case{0x40, -2023}, Case{4, -2023}}) {
    SCOPED_TRACE(c.later);
    sim::Config config = Networked();
    config.networkLaterReplyLength = c.later;
    sim::SimScanner& scanner = Open(config);
    void* value = nullptr;
    EXPECT_EQ(KRReadNetworkValue(kCtrl, &handle, 1, &value), c.status);
    auto seen = Commands(scanner);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].length, 0x20u);
    if (c.status == 0) {
      ASSERT_NE(value, nullptr);
      const auto* bytes = static_cast<const uint8_t*>(value);
      EXPECT_EQ(bytes[0] * 256 + bytes[1], 0x10);
      // 13 bytes: the length word and the first 11 bytes of the value, as far as ASan lets us.
      EXPECT_EQ(std::string(bytes + 2, bytes + 13), "SSID=SIM-WL");
      KRMemFree(kCtrl, value);

      // Into the client's buffer: exactly 13 bytes.
      Bytes buffer(40, 0xEE);
      void* p = buffer.data();
      ASSERT_EQ(KRReadNetworkValue(kCtrl, &handle, 1, &p), 0);
      EXPECT_EQ(buffer[1], 0x10);
      EXPECT_EQ(buffer[12], 'L');
      EXPECT_EQ(buffer[13], 0xEE);
    } else {
      EXPECT_EQ(value, nullptr);
      EXPECT_TRUE(
          testlog::Contains("Network value length changed from 32 to " + std::to_string(c.later)));
    }
    KRTerminateDriver(kCtrl);
    scanner.Unplug();
  }
}

TEST_F(NetworkValue, WritesBuildTheTagsMessage) {
  sim::SimScanner& scanner = Open(Networked());
  Bytes long_value(300);
  for (size_t i = 0; i < long_value.size(); ++i) long_value[i] = uint8_t(i * 7);
  ASSERT_EQ(KRWriteNetworkValue(kCtrl, &handle, 4, 300, long_value.data()), 0);
  Bytes short_value = {'1', '0', '.', '0', '.', '0', '.', '9'};
  ASSERT_EQ(KRWriteNetworkValue(kCtrl, &handle, 1, 8, short_value.data()), 0);
  ASSERT_EQ(KRWriteNetworkValue(kCtrl, &handle, 7, 0, nullptr), 0);
  auto seen = Commands(scanner);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].command, "SEND 0x00E6");
  ASSERT_EQ(seen[0].out.size(), 305u);
  EXPECT_EQ(Bytes(seen[0].out.begin(), seen[0].out.begin() + 5), (Bytes{0, 0, 1, 0x01, 0x2C}));
  EXPECT_EQ(Bytes(seen[0].out.begin() + 5, seen[0].out.end()), long_value);
  EXPECT_EQ(seen[1].command, "SEND 0x00E3");
  Bytes expected = {0, 0, 1, 8};
  expected.insert(expected.end(), short_value.begin(), short_value.end());
  EXPECT_EQ(seen[1].out, expected);
  EXPECT_EQ(seen[2].command, "SEND 0x00E9");
  EXPECT_EQ(seen[2].out, (Bytes{0, 0, 1, 0}));
  // The device now reports the written wired value.
  void* value = nullptr;
  ASSERT_EQ(KRReadNetworkValue(kCtrl, &handle, 0, &value), 0);
  EXPECT_EQ(static_cast<uint8_t*>(value)[0], 0x01);
  EXPECT_EQ(static_cast<uint8_t*>(value)[1], 0x31);  // 305
  EXPECT_EQ(Bytes(static_cast<uint8_t*>(value) + 2, static_cast<uint8_t*>(value) + 302),
            long_value);
  KRMemFree(kCtrl, value);
}

TEST_F(NetworkValue, RefusedWithoutCapabilityOrWithBadArguments) {
  {
    sim::SimScanner& scanner = Open();  // inquiry byte 92 is 0
    void* value = nullptr;
    uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(KRReadNetworkValue(kCtrl, &handle, 1, &value), -2005);
    EXPECT_EQ(KRWriteNetworkValue(kCtrl, &handle, 4, 4, data), -2005);
    EXPECT_EQ(value, nullptr);
    EXPECT_TRUE(scanner.CommandLog().empty());
    EXPECT_TRUE(testlog::Contains("Not support network/wifi"));
    KRTerminateDriver(kCtrl);
    scanner.Unplug();
  }
  sim::SimScanner& scanner = Open(Networked());
  Bytes data(600, 9);
  struct Case {
    uint32_t tag, size;
  };
  for (const Case& c :
       {Case{0, 4}, Case{8, 4}, Case{1, 256}, Case{6, 300}, Case{4, 508}, Case{5, 600}}) {
    EXPECT_EQ(KRWriteNetworkValue(kCtrl, &handle, c.tag, c.size, data.data()), -2005)
        << c.tag << " " << c.size;
  }
  EXPECT_EQ(KRWriteNetworkValue(kCtrl, &handle, 2, 4, nullptr), -2005);
  void* value = nullptr;
  EXPECT_EQ(KRReadNetworkValue(kCtrl, &handle, 2, &value), -2005);
  EXPECT_EQ(KRReadNetworkValue(kCtrl, &handle, 0, nullptr), -2005);
  EXPECT_TRUE(scanner.CommandLog().empty());
  // The longest values that fit: 255 bytes with a byte length, 507 with a word length.
  EXPECT_EQ(KRWriteNetworkValue(kCtrl, &handle, 6, 255, data.data()), 0);
  EXPECT_EQ(KRWriteNetworkValue(kCtrl, &handle, 5, 507, data.data()), 0);
  auto seen = Commands(scanner);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].out.size(), 259u);
  EXPECT_EQ(seen[1].out.size(), 512u);
  uint32_t unknown = 42;
  EXPECT_EQ(KRWriteNetworkValue(kCtrl, &unknown, 1, 1, data.data()), -2019);
}
