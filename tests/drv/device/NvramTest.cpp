// KRReadNVMData and KRWriteNVMData against the simulated scanner in both NVRAM layouts.
#include <malloc.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "DeviceFixture.h"
#include "drv/device/Nvram.h"
#include "drv/platform/CLLDMemoryManager.h"

using devicefix::Commands;
using devicefix::DeviceTest;
using devicefix::kCtrl;
using devicefix::Patch;
using devicefix::Seen;

namespace {

sim::Config Layout(uint8_t layout) {
  sim::Config c;
  c.nvramLayout = layout;
  return c;
}

uint32_t Swap32(uint32_t v) { return __builtin_bswap32(v); }

// The last exchange of a command.
std::optional<Seen> Find(const std::vector<Seen>& seen, const char* command) {
  std::optional<Seen> found;
  for (const Seen& s : seen) {
    if (s.command == command) found = s;
  }
  return found;
}

}  // namespace

class Nvram : public DeviceTest, public ::testing::WithParamInterface<uint8_t> {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("device-nvram"); }

  // Reads the whole record into a driver-allocated block (freed by the test).
  std::vector<uint8_t> ReadWhole() {
    void* data = nullptr;
    EXPECT_EQ(KRReadNVMData(kCtrl, &handle, &data, 0, 0), 0);
    if (data == nullptr) return {};
    const size_t size = GetParam() == 2 ? sizeof(NewNvmData) : sizeof(NewNvmData_VER1);
    std::vector<uint8_t> bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    KRMemFree(kCtrl, data);
    return bytes;
  }
};

TEST_P(Nvram, WholeRecordArrivesInHostOrder) {
  sim::SimScanner& scanner = Open(Layout(GetParam()));
  std::vector<uint8_t> bytes = ReadWhole();
  std::vector<Seen> seen = Commands(scanner);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].command, "READ 0x0069");
  EXPECT_EQ(seen[0].length, 5u);
  EXPECT_EQ(seen[1].command, "READ 0x0069");
  EXPECT_EQ(seen[1].length, GetParam() == 2 ? 262u : 132u);
  EXPECT_EQ(pMemManager->Count(), 0u);

  if (GetParam() == 2) {
    NewNvmData r;
    std::memcpy(&r, bytes.data(), sizeof r);
    EXPECT_EQ(r.CtrlID, 0x2200);
    EXPECT_EQ(r.Version, 200);
    EXPECT_EQ(r.Size, 262);
    EXPECT_EQ(r.PadScanCount, 12345u);
    EXPECT_EQ(r.ADFSingleModeScanCount, 8000u);
    EXPECT_EQ(r.ADFDuplexModeScanCount, 4345u);
    EXPECT_EQ(r.SideEdgeADFFrontPage, -5);
    EXPECT_EQ(r.SideEdgeADFRearPage, -3);
    EXPECT_EQ(r.BornYear, 2023);
    EXPECT_EQ(r.FirstScanMonth, 4);
    EXPECT_EQ(r.CCDType, 1);
    EXPECT_STREQ(r.SN, "SIM0000001");
    EXPECT_EQ(r.PowerSavingTime, 15);
    EXPECT_EQ(r.RollerCount, 12345u);
    EXPECT_EQ(r.MultifeedCount, 12u);
    EXPECT_EQ(r.JamCount, 3u);
    EXPECT_STREQ(r.FormalName, "SIM-ADF300");
    EXPECT_EQ(r.PowerOffTime, 240);
    EXPECT_EQ(r.PowerOnTime, 5000u);
    EXPECT_EQ(r.ReverseRollerCount, 12345u);
    EXPECT_EQ(r.PickupRollerCount, 12345u);
    // The lives stay as the device stores them.
    EXPECT_EQ(r.PadLife, Swap32(100000));
    EXPECT_EQ(r.ReverseRollerLife, Swap32(200000));
    EXPECT_EQ(r.PickupRollerLife, Swap32(200000));
  } else {
    NewNvmData_VER1 r;
    std::memcpy(&r, bytes.data(), sizeof r);
    EXPECT_EQ(r.CtrlID, 0x2200);
    EXPECT_EQ(r.Version, 100);
    EXPECT_EQ(r.Size, 132);
    EXPECT_EQ(r.PadScanCount, 12345u);
    EXPECT_EQ(r.SideEdgeADFFrontPage, -5);
    EXPECT_STREQ(r.SN, "SIM0000001");
    EXPECT_EQ(r.PowerSavingTime, 15);
    EXPECT_EQ(r.JamCount, 3u);
    EXPECT_STREQ(r.IdentifyInfo, "SIMID");
    EXPECT_EQ(r.PowerOffTime, 240);
    EXPECT_EQ(r.PowerOnTime, 5000u);
  }
  EXPECT_TRUE(testlog::Contains("FW NVM version = " + std::to_string(GetParam())));
  EXPECT_TRUE(testlog::Contains("NVMData.PowerSavingTime = 15"));
}

// Read, change, write, read again: the device receives the exact message and keeps it.
TEST_P(Nvram, ReadModifyWriteRoundTrip) {
  const uint8_t layout = GetParam();
  sim::SimScanner& scanner = Open(Layout(layout));
  std::vector<uint8_t> record = ReadWhole();
  const std::vector<uint8_t> deviceBefore = scanner.NvramRecord();
  const size_t shift = layout == 2 ? 1 : 0;
  const uint16_t saving = 30;
  const uint32_t pad = 0;
  std::memcpy(&record[74 + shift], &saving, 2);
  std::memcpy(&record[4 + shift], &pad, 4);
  scanner.ClearCommandLog();
  ASSERT_EQ(KRWriteNVMData(kCtrl, &handle, 0, 0, record.data(), true), 0);

  std::optional<Seen> send = Find(Commands(scanner), "SEND 0x0085");
  ASSERT_TRUE(send.has_value());
  const size_t length = layout == 2 ? 264 : 134;
  ASSERT_EQ(send->length, length);
  ASSERT_EQ(send->out.size(), length);
  EXPECT_EQ(send->out[0], 0x22);
  EXPECT_EQ(send->out[1], 0x00);
  EXPECT_EQ(send->out[2], layout);
  size_t head;
  if (layout == 2) {
    EXPECT_EQ(send->out[3], 0x01);
    EXPECT_EQ(send->out[4], 0x08);
    EXPECT_EQ(send->out[5], 0x00);
    EXPECT_EQ(send->out[6], 0x14);
    head = 7;
  } else {
    EXPECT_EQ(send->out[3], 134);
    EXPECT_EQ(send->out[4], 0x00);
    EXPECT_EQ(send->out[5], 0x14);
    head = 6;
  }
  // Message byte k carries record byte k - 2, big-endian as the device keeps it.
  std::vector<uint8_t> expected = deviceBefore;
  expected[74 + shift] = 0;
  expected[75 + shift] = 30;
  std::fill(expected.begin() + 4 + shift, expected.begin() + 8 + shift, 0);
  for (size_t k = head; k < length; ++k)
    ASSERT_EQ(send->out[k], expected[k - 2]) << "message byte " << k;

  std::vector<uint8_t> again = ReadWhole();
  uint16_t readSaving;
  std::memcpy(&readSaving, &again[74 + shift], 2);
  EXPECT_EQ(readSaving, 30);
  EXPECT_EQ(std::vector<uint8_t>(again.begin() + 5, again.end()),
            std::vector<uint8_t>(record.begin() + 5, record.end()));
}

INSTANTIATE_TEST_SUITE_P(Layouts, Nvram, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<uint8_t>& info) {
                           return "Layout" + std::to_string(info.param);
                         });

namespace {
struct TagCase {
  long tag;
  uint32_t type;  // the write type whose width the tag takes
  uint32_t readLength;
  std::vector<uint8_t> deviceValue;  // host-order value the simulator's record gives
  std::vector<uint8_t> written;      // host-order value the test writes
  std::vector<uint8_t> wire;         // what the device receives for it
};

std::vector<uint8_t> Host16(std::initializer_list<uint16_t> words) {
  std::vector<uint8_t> b;
  for (uint16_t w : words) {
    b.push_back(static_cast<uint8_t>(w));
    b.push_back(static_cast<uint8_t>(w >> 8));
  }
  return b;
}
std::vector<uint8_t> Host32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}
std::vector<uint8_t> Text16(const char* text) {
  std::vector<uint8_t> b(16, 0);
  std::memcpy(b.data(), text, std::strlen(text));
  return b;
}

const TagCase kTags[] = {
    {1, 4, 20, Text16("SIMID"), Text16("NEWID"), Text16("NEWID")},
    {2, 4, 20, Text16("SIM-ADF300"), Text16("RENAMED"), Text16("RENAMED")},
    {3, 6, 10, Host16({4, 2, 2023}), Host16({12, 31, 2024}), {0, 12, 0, 31, 0x07, 0xE8}},
    {4, 3, 8, Host32(12345), Host32(0), {0, 0, 0, 0}},
    {5, 3, 8, Host32(12345), Host32(0x01020304), {1, 2, 3, 4}},
    {6, 2, 6, Host16({15}), Host16({15}), {0, 15}},
    {7, 2, 6, Host16({240}), Host16({0x0102}), {1, 2}},
    {8, 1, 5, {1}, {7}, {7}},
    {9, 1, 5, {2}, {9}, {9}},
    {10, 3, 8, Host32(5000), Host32(0xA0B0C0D0), {0xA0, 0xB0, 0xC0, 0xD0}},
    {11, 3, 8, Host32(12345), Host32(0), {0, 0, 0, 0}},
    {12, 3, 8, Host32(12345), Host32(77), {0, 0, 0, 77}},
};
}  // namespace

class NvramTags : public DeviceTest, public ::testing::WithParamInterface<TagCase> {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("device-nvram-tags"); }
};

TEST_P(NvramTags, ReadWriteAndReadBack) {
  const TagCase& c = GetParam();
  sim::SimScanner& scanner = Open(Layout(2));
  const std::string type = [&] {
    char t[16];
    std::snprintf(t, sizeof t, "0x%04lX", 0x100 + c.tag - 1);
    return std::string(t);
  }();

  void* value = nullptr;
  ASSERT_EQ(KRReadNVMData(kCtrl, &handle, &value, c.tag, 0), 0);
  std::vector<Seen> seen = Commands(scanner);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].command, "READ " + type);
  EXPECT_EQ(seen[0].length, c.readLength);
  EXPECT_EQ(std::vector<uint8_t>(static_cast<uint8_t*>(value),
                                 static_cast<uint8_t*>(value) + c.deviceValue.size()),
            c.deviceValue);
  KRMemFree(kCtrl, value);

  scanner.ClearCommandLog();
  std::vector<uint8_t> written = c.written;
  ASSERT_EQ(KRWriteNVMData(kCtrl, &handle, c.tag, c.type, written.data(), true), 0);
  seen = Commands(scanner);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].command, "SEND " + type);
  std::vector<uint8_t> message = {0, 0, 1, static_cast<uint8_t>(c.wire.size())};
  message.insert(message.end(), c.wire.begin(), c.wire.end());
  EXPECT_EQ(seen[0].out, message);

  // Into the caller's buffer: exactly the value's bytes.
  std::vector<uint8_t> buffer(c.written.size() + 4, 0xCD);
  void* mine = buffer.data();
  ASSERT_EQ(KRReadNVMData(kCtrl, &handle, &mine, c.tag, 0), 0);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + c.written.size()), c.written);
  EXPECT_EQ(buffer[c.written.size()], 0xCD);
}

INSTANTIATE_TEST_SUITE_P(Twelve, NvramTags, ::testing::ValuesIn(kTags),
                         [](const ::testing::TestParamInfo<TagCase>& info) {
                           return "Tag" + std::to_string(info.param.tag);
                         });

class NvramRefusals : public DeviceTest {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("device-nvram-refusals"); }
};

TEST_F(NvramRefusals, EachMissingInquiryBitRefusesWithoutACommand) {
  struct Case {
    uint8_t bit;
    bool write;
    long tag;
    const char* line;
  };
  const Case cases[] = {
      {0x10, false, 0, " Not support read whole NVRAM."},
      {0x08, false, 6, " Not support read specific tag NVRAM."},
      {0x04, true, 0, " Not support write whole NVRAM."},
      {0x02, true, 6, " Not support write specific tag NVRAM."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    simhelp::InstalledBus own;
    sim::Config config;
    config.inquiryPatches = {Patch(89, static_cast<uint8_t>(0xDF & ~c.bit))};
    sim::SimScanner& scanner = own.Add("SIM0000001", config);
    ASSERT_EQ(KRInitializeDriver(kCtrl), 0);
    uint32_t h = 0;
    ASSERT_EQ(KRInitializeDevice(kCtrl, nullptr, &h), 0);
    scanner.ClearCommandLog();
    NewNvmData record{};
    record.Version = 200;
    record.Size = sizeof record;
    uint16_t minutes = 15;
    void* out = nullptr;
    const long status =
        c.write ? KRWriteNVMData(kCtrl, &h, c.tag, 2,
                                 c.tag == 0 ? static_cast<void*>(&record) : &minutes, true)
                : KRReadNVMData(kCtrl, &h, &out, c.tag, 0);
    EXPECT_EQ(status, -2005);
    EXPECT_TRUE(scanner.CommandLog().empty());
    EXPECT_EQ(out, nullptr);
    EXPECT_TRUE(testlog::Contains(c.line));
    KRTerminateDriver(kCtrl);
  }
}

TEST_F(NvramRefusals, BadTagsTypesAndRecordsSendNothing) {
  sim::SimScanner& scanner = Open(Layout(1));
  uint32_t value = 0;
  void* out = nullptr;
  EXPECT_EQ(KRReadNVMData(kCtrl, &handle, &out, 11, 0), -2005);  // layout 1 has no tags 11, 12
  EXPECT_EQ(KRWriteNVMData(kCtrl, &handle, 12, 3, &value, true), -2005);
  EXPECT_EQ(KRWriteNVMData(kCtrl, &handle, 4, 2, &value, true), -2005);  // 2 bytes for a 4-byte tag
  EXPECT_EQ(KRWriteNVMData(kCtrl, &handle, 6, 7, &value, true), -2005);
  EXPECT_TRUE(testlog::Contains("Unknow Type."));
  EXPECT_EQ(KRReadNVMData(kCtrl, &handle, &out, 13, 0), -2005);
  EXPECT_EQ(KRWriteNVMData(kCtrl, &handle, -1, 3, &value, true), -2005);
  EXPECT_TRUE(testlog::Contains("Unknow Tag."));
  EXPECT_EQ(KRReadNVMData(kCtrl, &handle, nullptr, 0, 0), -2005);
  EXPECT_EQ(KRWriteNVMData(kCtrl, &handle, 6, 2, nullptr, true), -2005);
  NewNvmData wrong{};
  wrong.Version = 200;  // the device keeps layout 1
  wrong.Size = sizeof wrong;
  EXPECT_EQ(KRWriteNVMData(kCtrl, &handle, 0, 0, &wrong, true), -2005);
  EXPECT_TRUE(testlog::Contains(" Version not match!"));
  EXPECT_EQ(out, nullptr);
  EXPECT_TRUE(scanner.CommandLog().empty());
  uint32_t unknown = 9;
  EXPECT_EQ(KRReadNVMData(kCtrl, &unknown, &out, 0, 0), -2019);
  EXPECT_EQ(KRWriteNVMData(kCtrl, &unknown, 0, 0, &wrong, true), -2019);
}

TEST_F(NvramRefusals, AWriteTheDeviceRefusesGivesItsStatus) {
  sim::SimScanner& scanner = Open(Layout(2));
  void* data = nullptr;
  ASSERT_EQ(KRReadNVMData(kCtrl, &handle, &data, 0, 0), 0);
  const std::vector<uint8_t> before = scanner.NvramRecord();
  static_cast<NewNvmData*>(data)->JamCount = 0;
  scanner.InjectFault(simhelp::CheckCondition(0xAA, 4, 0x4403, 0, 0x85));
  EXPECT_EQ(KRWriteNVMData(kCtrl, &handle, 0, 0, data, true), -2024);
  EXPECT_EQ(scanner.NvramRecord(), before);
  KRMemFree(kCtrl, data);
}

// A client's record of 261 bytes, as the front ends size it: neither read nor written past.
TEST_F(NvramRefusals, AClientRecordOf261BytesIsNeverOverrun) {
  sim::SimScanner& scanner = Open(Layout(2));
  // The device's last record byte first becomes non-zero, so a cut record shows.
  void* whole = nullptr;
  ASSERT_EQ(KRReadNVMData(kCtrl, &handle, &whole, 0, 0), 0);
  static_cast<NewNvmData*>(whole)->Reserved1[108] = 0x5A;
  ASSERT_EQ(KRWriteNVMData(kCtrl, &handle, 0, 0, whole, true), 0);
  KRMemFree(kCtrl, whole);
  ASSERT_EQ(scanner.NvramRecord()[261], 0x5A);

  auto* mine = static_cast<uint8_t*>(std::malloc(261));
  std::memset(mine, 0, 261);
  const uint16_t size = 261;
  std::memcpy(mine + 3, &size, 2);
  void* out = mine;
  ASSERT_EQ(KRReadNVMData(kCtrl, &handle, &out, 0, 0), 0);
  EXPECT_EQ(out, mine);
  EXPECT_EQ(mine[2], 200);
  EXPECT_STREQ(reinterpret_cast<char*>(mine + 51), "SIM0000001");

  std::memcpy(mine + 3, &size, 2);  // the read put the device's length there
  scanner.ClearCommandLog();
  ASSERT_EQ(KRWriteNVMData(kCtrl, &handle, 0, 0, mine, true), 0);
  std::optional<Seen> send = Find(Commands(scanner), "SEND 0x0085");
  ASSERT_TRUE(send.has_value());
  ASSERT_EQ(send->out.size(), 264u);
  EXPECT_EQ(send->out[263], 0);  // record byte 261 lies beyond the client's record
  std::free(mine);

  uint8_t empty[262] = {};
  empty[2] = 200;  // Size 0: no room the driver may use
  out = empty;
  EXPECT_EQ(KRReadNVMData(kCtrl, &handle, &out, 0, 0), -2005);
  EXPECT_EQ(KRWriteNVMData(kCtrl, &handle, 0, 0, empty, true), -2005);
}

// The device's head may claim more than it sends; a client reads the driver's block by that
// Size field, so the block must reach as far (zero beyond what arrived).
TEST_F(NvramRefusals, ADriverBlockReachesAsFarAsItsSizeField) {
  sim::Config config = Layout(2);
  config.nvramHeadLayout = 2;
  config.nvramHeadLength = 140;
  Open(config);
  void* data = nullptr;
  ASSERT_EQ(KRReadNVMData(kCtrl, &handle, &data, 0, 0), 0);
  ASSERT_NE(data, nullptr);
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint16_t size = 0;
  std::memcpy(&size, bytes + 3, 2);
  EXPECT_GT(size, 140u);
  uint32_t beyond = 0;
  for (uint32_t i = 140; i < size; ++i) beyond |= bytes[i];  // ASan checks the reach
  EXPECT_EQ(beyond, 0u);
  KRMemFree(kCtrl, data);
}

// A record shorter than the layout, its Size saying so, is written without being read past that
// Size: the check's log of the fields included (ASan watches the block's end).
TEST_F(NvramRefusals, AShortClientRecordIsNotReadPastItsSize) {
  for (uint8_t layout : {1, 2}) {
    SCOPED_TRACE(layout);
    simhelp::InstalledBus own;
    sim::SimScanner& scanner = own.Add("SIM0000001", Layout(layout));
    ASSERT_EQ(KRInitializeDriver(kCtrl), 0);
    uint32_t h = 0;
    ASSERT_EQ(KRInitializeDevice(kCtrl, nullptr, &h), 0);
    scanner.ClearCommandLog();
    constexpr uint8_t kShort = 60;  // up to the serial number
    auto* mine = static_cast<uint8_t*>(std::malloc(kShort));
    std::memset(mine, 0x41, kShort);
    mine[2] = static_cast<uint8_t>(layout * 100);
    mine[3] = kShort;
    if (layout == 2) mine[4] = 0;
    EXPECT_EQ(KRWriteNVMData(kCtrl, &h, 0, 0, mine, true), 0);
    std::free(mine);
    std::optional<Seen> send = Find(Commands(scanner), "SEND 0x0085");
    ASSERT_TRUE(send.has_value());
    ASSERT_EQ(send->out.size(), layout == 2 ? 264u : 134u);
    EXPECT_EQ(send->out[kShort + 1], 0x41);  // record byte 59
    EXPECT_EQ(send->out[kShort + 2], 0);     // record byte 60 lies beyond the client's record
    KRTerminateDriver(kCtrl);
  }
}

// A layout-1 record keeps its Size in byte 3 alone (byte 4 is PadScanCount's first byte). With a
// device head that claims more than the 132-byte record, a reused client record is filled only
// up to its Size and a driver block is sized from byte 3, not from bytes 3-4.
TEST_F(NvramRefusals, ALayoutOneRecordIsSizedFromByteThree) {
  sim::Config config = Layout(1);
  config.nvramHeadLayout = 1;
  config.nvramHeadLength = 200;
  Open(config);
  constexpr size_t kRecord = sizeof(NewNvmData_VER1);

  void* data = nullptr;
  ASSERT_EQ(KRReadNVMData(kCtrl, &handle, &data, 0, 0), 0);
  ASSERT_NE(data, nullptr);
  const auto* bytes = static_cast<const uint8_t*>(data);
  EXPECT_EQ(bytes[2], 100);
  EXPECT_EQ(bytes[3], kRecord);  // the record's own Size; the head claimed 200
  EXPECT_EQ(bytes[4], 0x39);     // PadScanCount 12345 = 0x3039 in host order
  // 200 bytes read, at least the whole layout-2 record: 262; bytes 3-4 would say 0x3984 = 14724.
  EXPECT_LT(malloc_usable_size(data), 512u);
  KRMemFree(kCtrl, data);

  std::vector<uint8_t> mine(kRecord + 128, 0xCD);  // the record, then guard bytes
  mine[2] = 100;
  mine[3] = kRecord;
  mine[4] = 0x39;  // as a record read before leaves it
  void* out = mine.data();
  ASSERT_EQ(KRReadNVMData(kCtrl, &handle, &out, 0, 0), 0);
  EXPECT_EQ(out, mine.data());
  EXPECT_STREQ(reinterpret_cast<char*>(&mine[50]), "SIM0000001");
  EXPECT_EQ(std::count(mine.begin() + kRecord, mine.end(), 0xCD), 128);
}

// Found by fuzzing the device's replies: a client's layout-1 record, reused, while the device
// answers the next reads in layout 2 with a head that claims 213 bytes. The record is filled
// only up to the Size its own Version byte gives, and then never claims more than it can take,
// so that reading into it again stays inside it too.
TEST_F(NvramRefusals, AReusedRecordIsSizedByItsOwnLayout) {
  sim::SimScanner& scanner = Open(Layout(1));
  constexpr size_t kRecord = sizeof(NewNvmData_VER1);
  constexpr size_t kGuard = 256;
  std::vector<uint8_t> mine(kRecord + kGuard, 0xCD);  // the record, then guard bytes
  void* out = mine.data();
  mine[2] = 100;
  mine[3] = kRecord;
  ASSERT_EQ(KRReadNVMData(kCtrl, &handle, &out, 0, 0), 0);
  EXPECT_EQ(mine[3], kRecord);
  EXPECT_EQ(mine[4], 0x39);  // PadScanCount 12345 = 0x3039: bytes 3-4 would say 0x3984

  constexpr uint8_t kClaimed = 213;
  scanner.SetReplyHook([](const std::array<uint8_t, 12>& block, std::vector<uint8_t>* data,
                          std::array<uint8_t, 3>*) {
    if (data == nullptr || (block[3] << 8 | block[4]) != krnvm::kReadWhole || data->size() < 5)
      return;
    if (data->size() > 5) {
      data->resize(kClaimed);
      std::fill(data->begin() + 5, data->end(), 0x77);
    }
    (*data)[2] = 2;  // layout 2, Size big-endian
    (*data)[3] = 0;
    (*data)[4] = kClaimed;
  });
  for (int again = 0; again < 2; ++again) {
    SCOPED_TRACE(again);
    ASSERT_EQ(KRReadNVMData(kCtrl, &handle, &out, 0, 0), 0);
    EXPECT_EQ(mine[2], 200);
    uint16_t size = 0;
    std::memcpy(&size, &mine[3], 2);
    EXPECT_EQ(size, kRecord);  // what the record can take, not the 213 the device claimed
    EXPECT_EQ(mine[kRecord - 1], 0x77);
    EXPECT_EQ(std::count(mine.begin() + kRecord, mine.end(), 0xCD), long(kGuard));
  }
  scanner.SetReplyHook(nullptr);
}
