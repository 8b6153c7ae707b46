// The host's records against bytes written by hand from the manager's layout: the host is the
// oracle of the data source's layout, so its own offsets are checked here once.
#include <gtest/gtest.h>

#include <vector>

#include "platform/twain/Twain.h"
#include "tools/twain/Records.h"

namespace {

using twainhost::Bytes;
using twainhost::Container;
using twainhost::Identity;

TEST(HostRecords, IdentityFieldsLieAtTheirOffsets) {
  Identity id;
  id.id = 3;
  id.major = 2;
  id.minor = 1;
  id.language = 13;
  id.country = 1;
  id.info = "2.1";
  id.protocolMajor = 1;
  id.protocolMinor = 9;
  id.supportedGroups = 0x40000003;
  id.manufacturer = "M";
  id.productFamily = "F";
  id.productName = std::string(40, 'n');  // longer than the field: cut, terminated
  const Bytes b = id.Write();
  ASSERT_EQ(b.size(), 156u);
  const std::vector<std::pair<size_t, std::vector<uint8_t>>> fields = {
      {0, {3, 0, 0, 0}},        {4, {2, 0}},    {6, {1, 0}},  {8, {13, 0}},          {10, {1, 0}},
      {12, {'2', '.', '1', 0}}, {46, {1, 0}},   {48, {9, 0}}, {50, {3, 0, 0, 0x40}}, {54, {'M', 0}},
      {88, {'F', 0}},           {122 + 33, {0}}};
  for (const auto& [at, bytes] : fields) {
    for (size_t i = 0; i < bytes.size(); ++i) EXPECT_EQ(b.data()[at + i], bytes[i]) << at + i;
  }
  EXPECT_EQ(b.data()[122 + 32], 'n');
  const Identity back = Identity::Read(b.data());
  EXPECT_EQ(back.productName, std::string(33, 'n'));
  EXPECT_EQ(back.supportedGroups, 0x40000003u);
  EXPECT_EQ(back.info, "2.1");
}

struct BuildCase {
  const char* name;
  Container container;
  std::vector<uint8_t> bytes;
};

TEST(HostRecords, ContainersAreBuiltAndReadAtTheTablesOffsets) {
  const std::vector<BuildCase> cases = {
      {"one UINT16", Container::OneValue(TWTY_UINT16, 0x1234), {4, 0, 0x34, 0x12, 0, 0}},
      {"one INT8 -2", Container::OneValue(TWTY_INT8, 0xFE), {0, 0, 0xFE, 0, 0, 0}},
      {"FIX32 1.5", Container::OneFix32(1.5), {7, 0, 1, 0, 0, 0x80}},
      {"FIX32 -1.5", Container::OneFix32(-1.5), {7, 0, 0xFE, 0xFF, 0, 0x80}},
      {"frame",
       Container::OneFrame(0, 0.25, 8.5, 11),
       {8, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 8, 0, 0, 0x80, 11, 0, 0, 0}},
      {"range",
       Container::Range(TWTY_INT32, 72, 600, 1, 200, 300),
       {2, 0, 72, 0, 0, 0, 0x58, 2, 0, 0, 1, 0, 0, 0, 200, 0, 0, 0, 0x2C, 1, 0, 0}},
      // Three UINT16 items: 20 bytes, the items at 14.
      {"enumeration",
       Container::Enumeration(TWTY_UINT16, {0, 1, 2}, 1, 0),
       {4, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2, 0}},
      {"array", Container::Array(TWTY_UINT16, {5, 6}), {4, 0, 2, 0, 0, 0, 5, 0, 6, 0}},
      // Type 13 has no size: no item bytes at all.
      {"enumeration of type 13",
       Container::Enumeration(13, {1, 2}, 0, 0),
       {13, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.container.Build().vector(), c.bytes);
    Container back;
    std::string error;
    ASSERT_TRUE(
        Container::Parse(c.container.conType, c.bytes.data(), c.bytes.size(), &back, &error))
        << error;
    EXPECT_EQ(back.Build().vector(), c.bytes);
  }
  Container e = Container::Enumeration(TWTY_INT16, {uint32_t(-5), 7}, 0, 1);
  EXPECT_EQ(e.Value(0), -5);
  EXPECT_EQ(Container::OneValue(TWTY_INT8, 0xFE).Value(), -2);
  EXPECT_DOUBLE_EQ(Container::OneFix32(-1.5).Fixed(), -1.5);
}

TEST(HostRecords, ShortOrUnknownContainersAreRefused) {
  const std::vector<uint8_t> enumeration =
      Container::Enumeration(TWTY_UINT16, {0, 1, 2}, 0, 0).Build().vector();
  struct Case {
    uint16_t conType;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {TWON_ENUMERATION, std::vector<uint8_t>(enumeration.begin(), enumeration.end() - 1)},
      {TWON_ENUMERATION, std::vector<uint8_t>(enumeration.begin(), enumeration.begin() + 10)},
      {TWON_RANGE, std::vector<uint8_t>(21, 0)},
      {TWON_ONEVALUE, {8, 0, 0, 0, 0, 0}},  // a frame needs 18
      {9, std::vector<uint8_t>(22, 0)},
  };
  for (const auto& c : cases) {
    Container out;
    std::string error;
    EXPECT_FALSE(Container::Parse(c.conType, c.bytes.data(), c.bytes.size(), &out, &error))
        << c.conType << " " << c.bytes.size();
    EXPECT_FALSE(error.empty());
  }
}

TEST(HostRecords, ItemSizes) {
  const size_t sizes[] = {1, 2, 4, 1, 2, 4, 2, 4, 16, 34, 66, 130, 256, 0};
  for (uint16_t type = 0; type < std::size(sizes); ++type) {
    EXPECT_EQ(twainhost::ItemSize(type), sizes[type]) << type;
  }
}

}  // namespace
