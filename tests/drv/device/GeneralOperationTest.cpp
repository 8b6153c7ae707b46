// KRGeneralOperation against the simulated scanner: the read tags from the inquiry data, the
// item's JPEG tables and the device's records; the write tags' messages byte by byte; the
// refused sizes and capabilities; the tags that do nothing.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "DeviceFixture.h"
#include "drv/device/GeneralOperation.h"

using devicefix::Commands;
using devicefix::DeviceTest;
using devicefix::kCtrl;
using devicefix::Patch;

namespace {

using Bytes = std::vector<uint8_t>;

// The simulator's model with the display table, tags 20 to 24, writes 0x400E and 0x4011 and
// the network bits.
sim::Config Capable() {
  sim::Config c;
  c.inquiryPatches = {Patch(92, 0xC0), Patch(96, 0xF0), Patch(97, 0x88)};
  return c;
}

Bytes Le16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }

}  // namespace

class GeneralOperation : public DeviceTest {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("device-general"); }

  // Reads `count` elements of `type`; the buffer has 8 guard bytes behind them.
  long Read(uint32_t tag, uint32_t type, uint32_t count, Bytes* out) {
    const size_t bytes = size_t(DdsElementSize(type)) * count;
    out->assign(bytes + 8, 0xEE);
    long status = KRGeneralOperation(kCtrl, &handle, 1, tag, type, count, out->data());
    guard.assign(out->begin() + long(bytes), out->end());
    out->resize(bytes);
    return status;
  }
  long Write(uint32_t tag, uint32_t type, uint32_t count, Bytes data) {
    return KRGeneralOperation(kCtrl, &handle, 2, tag, type, count, data.data());
  }
  Bytes guard;
};

TEST_F(GeneralOperation, ReadTagsAnswerFromInquiryTablesAndDevice) {
  sim::SimScanner& scanner = Open(Capable());
  struct Case {
    uint32_t tag, type, count;
    Bytes expected;       // the rest of the buffer stays 0
    const char* command;  // the READ it takes, or "" for none
  };
  Bytes entry0(260, 0), entry1(260, 0);
  entry0[2] = 0, entry0[3] = 5, std::memcpy(&entry0[6], "Ready", 5);
  entry1[0] = 1, entry1[2] = 1, entry1[3] = 8;
  for (int i = 0; i < 4; ++i) entry1[6 + 2 * i] = uint8_t("Scan"[i]);  // host order: low byte first
  Bytes entries = entry0;
  entries.insert(entries.end(), entry1.begin(), entry1.end());
  const Case cases[] = {
      // Tuning words 0x4014 and 0x400A, selector 1, scaled by 600 / 300.
      {1, 7, 2, Le16(40), ""},
      {2, 7, 2, Le16(40), ""},
      {4, 7, 1, Le16(40), ""},
      {5, 7, 2, Le16(20), ""},
      {8, 7, 2, Le16(20), ""},
      // The default tables in row order.
      {9, 10, 8, {16, 11, 10, 16, 24, 40, 51, 61}, ""},
      {10, 10, 8, {17, 18, 24, 47, 99, 99, 99, 99}, ""},
      {11, 10, 16, {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D}, ""},
      {12, 10, 6, {0x01, 0x02, 0x03, 0x00, 0x04, 0x11}, ""},
      {13, 10, 16, {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, ""},
      {14, 10, 16, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, ""},  // 12 values, then zeros
      {15, 10, 16, {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77}, ""},
      {16, 10, 5, {0x00, 0x01, 0x02, 0x03, 0x11}, ""},
      {17, 10, 16, {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, ""},
      {18, 10, 12, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, ""},
      {19, 10, 4, {}, ""},
      {20, 2, 1, {1}, ""},
      {21, 2, 1, {1}, ""},
      {22, 3, 1, Le16(0x0123), "READ 0x009D"},
      {23, 2, 1, {1}, ""},
      {24, 2, 1, {7}, "READ 0x009D"},
      {25, 10, 16, {1, 0, 0, 0, 0x09, 0x04, 'e', 'n', '-', 'U', 'S', 0, 0, 0, 0, 0}, "READ 0x00E0"},
      {26, 6, 260, entry0, "READ 0x00E1"},
      {27, 6, 520, entries, "READ 0x00E2"},
      // The long-page list: mode bits, resolution / 10, the length in host order.
      {28, 10, 14, {0x24, 30, 0x48, 0x8A, 0, 0, 0x22, 30, 0x48, 0x8A, 0, 0, 0x24, 60}, ""},
      {0, 10, 4, {}, ""},
      {29, 10, 4, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("tag " + std::to_string(c.tag));
    scanner.ClearCommandLog();
    Bytes out;
    ASSERT_EQ(Read(c.tag, c.type, c.count, &out), 0);
    Bytes expected = c.expected;
    expected.resize(out.size(), 0);
    EXPECT_EQ(out, expected);
    EXPECT_EQ(guard, Bytes(8, 0xEE));
    auto seen = Commands(scanner);
    if (*c.command == 0) {
      EXPECT_TRUE(seen.empty());
    } else {
      ASSERT_EQ(seen.size(), 1u);
      EXPECT_EQ(seen[0].command, c.command);
    }
  }
}

TEST_F(GeneralOperation, ReadLengthsStayInsideTablesAndTheInquiryCopy) {
  sim::Config c = Capable();
  c.inquiryLength = 265;
  // Long-page list at 250 claiming 200 entries: only two fit in the 265-byte copy.
  c.inquiryPatches.push_back(Patch(48, 0));
  c.inquiryPatches.push_back(Patch(49, 250));
  c.inquiryPatches.push_back(Patch(250, 200));
  for (uint32_t i = 251; i < 265; ++i) c.inquiryPatches.push_back(Patch(i, uint8_t(i)));
  Open(c);
  Bytes out;
  ASSERT_EQ(Read(28, 10, 1200, &out), 0);
  // Bytes 251.. hold their offset's low byte; each entry's word at 2 comes in host order.
  const Bytes expected = {251, 252, 0, 255, 254, 253, 1, 2, 6, 5, 4, 3};
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 12), expected);
  EXPECT_EQ(Bytes(out.begin() + 12, out.end()), Bytes(1200 - 12, 0));

  // The Huffman values: as many as the counts add up to (162), however many the client asks.
  ASSERT_EQ(Read(12, 10, 256, &out), 0);
  EXPECT_EQ(out[161], 0xFA);
  EXPECT_EQ(Bytes(out.begin() + 162, out.end()), Bytes(94, 0));
  // Fewer asked for than the table has: exactly those, and nothing behind the client's count.
  ASSERT_EQ(Read(12, 10, 2, &out), 0);
  EXPECT_EQ(out, (Bytes{0x01, 0x02}));
  EXPECT_EQ(guard, Bytes(8, 0xEE));
}

TEST_F(GeneralOperation, TuningLengthsBySelectorAndDivisor) {
  struct Case {
    uint16_t word, divisor;
    uint8_t caps91;
    uint16_t odd, even;  // tags 1 and 2
  };
  const Case cases[] = {
      {0x4000 + 100, 300, 0x03, 200, 200},  // selector 1: both tags
      {100, 300, 0x03, 200, 0},             // selector 0: the odd tag only
      {0x8000 + 100, 300, 0x03, 0, 0},      // selector 2: neither
      {0xC000 + 100, 300, 0x03, 0, 0},      // selector 3: neither
      {0x4000 + 100, 0, 0x03, 0, 0},        // no divisor: 0 rather than a crash
      {0x4000 + 100, 300, 0x02, 0, 0},      // no vertical tuning capability
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.word);
    sim::Config c;
    c.inquiryPatches = {Patch(80, uint8_t(k.word >> 8)), Patch(81, uint8_t(k.word)),
                        Patch(16, uint8_t(k.divisor >> 8)), Patch(17, uint8_t(k.divisor)),
                        Patch(91, k.caps91)};
    sim::SimScanner& scanner = Open(c);
    Bytes out;
    ASSERT_EQ(Read(1, 7, 1, &out), 0);
    EXPECT_EQ(out, Le16(k.odd));
    ASSERT_EQ(Read(2, 7, 1, &out), 0);
    EXPECT_EQ(out, Le16(k.even));
    KRTerminateDriver(kCtrl);
    scanner.Unplug();  // the next case opens a scanner of its own
  }
}

TEST_F(GeneralOperation, WriteTagsSendTheirMessages) {
  sim::SimScanner& scanner = Open(Capable());
  Bytes language = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 'd', 'e', '-', 'D', 'E', 0, 0, 0, 0, 0};
  Bytes entry(260, 0);
  entry[0] = 5;  // index 5 in host order
  entry[2] = 1;
  entry[3] = 4;
  entry[6] = 'A';
  entry[8] = 'B';
  Bytes entryOnWire(entry);
  entryOnWire[0] = 0, entryOnWire[1] = 5;
  entryOnWire[6] = 0, entryOnWire[7] = 'A', entryOnWire[8] = 0, entryOnWire[9] = 'B';
  Bytes entries = {7, 2};
  for (uint8_t i = 0; i < 16; ++i) entries.push_back(i);
  struct Case {
    uint32_t tag, type, count;
    Bytes data;
    const char* command;
    Bytes message;
  };
  auto concat = [](Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  Bytes languageWire = {0, 0, 1, 20, 0x04, 0x03, 0x02, 0x01};
  languageWire.insert(languageWire.end(), language.begin() + 4, language.end());
  const Case cases[] = {
      {0x400B, 9, 16, language, "SEND 0x00E0", languageWire},
      {0x400C, 3, 1, Le16(0x1234), "SEND 0x00E1", {0, 0, 1, 6, 0x12, 0x34}},
      {0x400D, 6, 260, entry, "SEND 0x00E2", concat({0, 0, 1, 0x01, 0x09}, entryOnWire)},
      {0x400E, 10, 18, entries, "SEND 0x008C", concat({0, 0, 1, 0, 0, 0, 0}, entries)},
      {0x400F,
       2,
       9,
       {1, 2, 3, 4, 5, 6, 7, 8, 9},
       "SEND 0x009C",
       {0, 0, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {0x4010, 6, 1, {0x5A}, "SEND 0x009D", {0, 0, 1, 0x5A}},
      {0x4011, 10, 4, {1, 2, 3, 4}, "SEND 0x00F0", {0, 0, 1, 0, 0, 0, 11, 2, 1, 3, 4}},
      {0x4011, 10, 1, {0xAA}, "SEND 0x00F0", {0, 0, 1, 0, 0, 0, 8, 0xAA}},  // no byte 8 to swap
      {0x4011, 3, 2, {1, 2, 3, 4}, "SEND 0x00F0", {0, 0, 1, 0, 0, 0, 9, 2, 1}},  // element count
                                                                                 // bytes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    scanner.ClearCommandLog();
    ASSERT_EQ(Write(c.tag, c.type, c.count, c.data), 0);
    auto seen = Commands(scanner);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].command, c.command);
    EXPECT_EQ(seen[0].out, c.message);
    EXPECT_EQ(seen[0].length, c.message.size());
  }
  // What was written reads back: the language, the device byte and the text entry.
  Bytes out;
  ASSERT_EQ(Read(25, 10, 16, &out), 0);
  // The write converts only the first 32-bit word, the read also the 16-bit word behind it.
  Bytes readBack = language;
  std::swap(readBack[4], readBack[5]);
  EXPECT_EQ(out, readBack);
  ASSERT_EQ(Read(24, 2, 1, &out), 0);
  EXPECT_EQ(out, Bytes{0x5A});
  ASSERT_EQ(Read(27, 6, 6 * 260, &out), 0);
  EXPECT_EQ(Bytes(out.begin() + 5 * 260, out.end()), entry);
  // 0x400C picked entry 0x1234 for READ 0xE1; an entry never written comes back empty.
  ASSERT_EQ(Read(26, 6, 260, &out), 0);
  EXPECT_EQ(out[0], 0x34);
  EXPECT_EQ(out[1], 0x12);
  EXPECT_EQ(out[3], 0);
}

TEST_F(GeneralOperation, RefusedWritesSendNothing) {
  sim::SimScanner& scanner = Open(Capable());
  struct Case {
    uint32_t tag, type, count;
  };
  const Case cases[] = {
      {0x400B, 10, 15},  {0x400C, 3, 2},  {0x400C, 0, 2},
      {0x400D, 10, 259}, {0x400E, 10, 1},  // no count byte
      {0x400E, 10, 9},                     // count 2 asks for 16 more bytes than given
      {0x400F, 10, 8},   {0x4010, 10, 2}, {0x4011, 0, 4},  // a type that moves no data
  };
  Bytes data(300, 0);
  data[1] = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    EXPECT_EQ(KRGeneralOperation(kCtrl, &handle, 2, c.tag, c.type, c.count, data.data()), -2005);
  }
  // Null data with a count, and operations other than read and write.
  EXPECT_EQ(KRGeneralOperation(kCtrl, &handle, 2, 0x4010, 10, 1, nullptr), -2005);
  EXPECT_EQ(KRGeneralOperation(kCtrl, &handle, 1, 9, 10, 64, nullptr), -2005);
  EXPECT_EQ(KRGeneralOperation(kCtrl, &handle, 3, 9, 10, 64, data.data()), -2005);
  EXPECT_EQ(KRGeneralOperation(kCtrl, &handle, 0, 0x4010, 10, 1, data.data()), -2005);
  EXPECT_TRUE(scanner.CommandLog().empty());
  EXPECT_TRUE(testlog::Contains("  Operation=Unknow, Tag=9, DataType=a , Data Count=64"));
}

TEST_F(GeneralOperation, WithoutCapabilitiesWritesAreRefusedAndReadsEmpty) {
  sim::SimScanner& scanner = Open();  // inquiry bytes 96 and 97 are 0
  Bytes data(260, 1);
  for (uint32_t tag : {0x400Bu, 0x400Cu, 0x400Du, 0x400Eu, 0x400Fu, 0x4010u, 0x4011u}) {
    const uint32_t count[] = {16, 1, 260, 10, 9, 1, 4};
    const uint32_t type[] = {10, 3, 10, 10, 10, 10, 10};
    EXPECT_EQ(Write(tag, type[tag - 0x400B], count[tag - 0x400B], data), -2005) << tag;
  }
  EXPECT_TRUE(testlog::Contains("Not support tag 0x400B"));
  EXPECT_TRUE(testlog::Contains("Not support tag 0x4011"));
  for (uint32_t tag : {20u, 21u, 22u, 23u, 24u, 25u, 26u, 27u}) {
    Bytes out;
    ASSERT_EQ(Read(tag, 10, 260, &out), 0) << tag;
    EXPECT_EQ(out, Bytes(260, 0)) << tag;
  }
  EXPECT_TRUE(scanner.CommandLog().empty());
}

TEST_F(GeneralOperation, TagsThatDoNothingSucceedWithoutTraffic) {
  sim::SimScanner& scanner = Open(Capable());
  Bytes data(16, 1);
  EXPECT_EQ(Write(0x5000, 10, 16, data), 0);
  EXPECT_EQ(Write(9, 10, 16, data), 0);
  Bytes out;
  EXPECT_EQ(Read(27, 10, 261, &out), 0);  // not a whole number of entries
  EXPECT_EQ(out, Bytes(261, 0));
  EXPECT_TRUE(scanner.CommandLog().empty());
}

TEST_F(GeneralOperation, FailedReadReportsTheDeviceStatus) {
  sim::SimScanner& scanner = Open(Capable());
  scanner.InjectFault(simhelp::CheckCondition(0xA8, 2, 0x0000, 0, 0xE0));
  Bytes out;
  EXPECT_EQ(Read(25, 10, 16, &out), -2009);
  EXPECT_EQ(out, Bytes(16, 0));
  scanner.InjectFault(simhelp::CheckCondition(0xAA, 5, 0x2600, 0, 0x9D));
  EXPECT_EQ(Write(0x4010, 10, 1, {3}), -2005);
  uint32_t unknown = 77;
  EXPECT_EQ(KRGeneralOperation(kCtrl, &unknown, 1, 9, 10, 0, nullptr), -2019);
}

// No elements need no buffer: every read tag answers nothing, and nothing is copied to the null
// pointer (UBSan reports a copy of zero bytes to it).
TEST_F(GeneralOperation, ReadsOfNoElementsTakeANullBuffer) {
  Open(Capable());
  for (uint32_t tag = 0; tag <= 30; ++tag) {
    EXPECT_EQ(KRGeneralOperation(kCtrl, &handle, 1, tag, 10, 0, nullptr), 0) << tag;
  }
}
