// The capability containers against bytes written by hand in the Linux manager's layout, and the
// readers' refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ds/twain/TWAINHandler.h"
#include "platform/twain/Source.h"

namespace {

using ferrolite::TWAINHandler;
using Bytes = std::vector<uint8_t>;

// A manager whose allocator tells the size of the last block.
size_t gLastAllocation = 0;
TW_UINT16 NoManager(TW_IDENTITY*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF) {
  return TWRC_FAILURE;
}
TW_HANDLE Allocate(TW_UINT32 size) {
  gLastAllocation = size;
  return std::calloc(1, size);
}
void Free(TW_HANDLE block) { std::free(block); }
TW_MEMREF Lock(TW_HANDLE block) { return block; }
void Unlock(TW_HANDLE) {}

TW_UINT16 NoDispatch(TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF) {
  return TWRC_FAILURE;
}

// A capability whose container the test owns, allocated through that manager.
struct Cap {
  TW_CAPABILITY cap{};
  Cap() {
    TW_ENTRYPOINT entry{sizeof(TW_ENTRYPOINT), NoManager, Allocate, Free, Lock, Unlock};
    const twain::SourceHooks hooks{NoDispatch, nullptr};
    EXPECT_EQ(twain::EnterSource(hooks, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &entry),
              TWRC_SUCCESS);
    gLastAllocation = 0;
  }
  ~Cap() { std::free(cap.hContainer); }
  Bytes bytes(size_t n) const {
    const auto* p = static_cast<const uint8_t*>(cap.hContainer);
    return p ? Bytes(p, p + n) : Bytes{};
  }
  // A container the host built: these bytes in a block of their own.
  void hold(TW_UINT16 conType, const Bytes& bytes) {
    cap.ConType = conType;
    cap.hContainer = std::calloc(1, bytes.size() + 1);
    std::memcpy(cap.hContainer, bytes.data(), bytes.size());
  }
};

TEST(Containers, SetupWritesTheLinuxLayout) {
  const uint16_t items[3] = {0x0102, 0x0304, 0x0506};
  struct Case {
    std::string name;
    std::function<int(TW_CAPABILITY*)> setup;
    uint16_t conType;
    Bytes expected;  // the whole block: its size is the one allocated
  };
  const std::vector<Case> cases = {
      {"one UINT16",
       [](TW_CAPABILITY* c) { return TWAINHandler::setupOneValue(c, TWTY_UINT16, 2); },
       TWON_ONEVALUE,
       {4, 0, 2, 0, 0, 0}},
      {"one INT32 -2",
       [](TW_CAPABILITY* c) { return TWAINHandler::setupOneValue(c, TWTY_INT32, -2); },
       TWON_ONEVALUE,
       {2, 0, 0xFE, 0xFF, 0xFF, 0xFF}},
      {"FIX32 1.5",
       [](TW_CAPABILITY* c) { return TWAINHandler::setupFloatValue(c, 1.5f); },
       TWON_ONEVALUE,
       {7, 0, 1, 0, 0x00, 0x80}},
      {"FIX32 -1.5",
       [](TW_CAPABILITY* c) { return TWAINHandler::setupFloatValue(c, -1.5f); },
       TWON_ONEVALUE,
       {7, 0, 0xFE, 0xFF, 0x00, 0x80}},
      // Half a unit of the last place rounds away from zero: -1/131072 becomes -1/65536.
      {"FIX32 -2^-17",
       [](TW_CAPABILITY* c) { return TWAINHandler::setupFloatValue(c, -1.0f / 131072); },
       TWON_ONEVALUE,
       {7, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
      // Frames always add a half: the same value rounds to 0; the arguments come top, left,
      // bottom, right and the record holds left, top, right, bottom.
      {"frame",
       [](TW_CAPABILITY* c) {
         return TWAINHandler::setupFrames(c, 0.25f, -1.0f / 131072, 11.5f, 8.5f);
       },
       TWON_ONEVALUE,
       {8, 0, /*left*/ 0, 0, 0, 0, /*top*/ 0, 0, 0, 0x40, /*right*/ 8, 0, 0, 0x80,
        /*bottom*/ 11, 0, 0, 0x80}},
      {"range",
       [](TW_CAPABILITY* c) {
         return TWAINHandler::setupRange(c, TWTY_INT32, -1000, 1000, 10, 0, -20);
       },
       TWON_RANGE,
       {2, 0, 0x18, 0xFC, 0xFF, 0xFF, 0xE8, 0x03, 0,    0,    10,
        0, 0, 0,    0,    0,    0,    0,    0xEC, 0xFF, 0xFF, 0xFF}},
      {"enumeration of three UINT16",
       [&](TW_CAPABILITY* c) {
         return TWAINHandler::setupEnumeration(c, TWTY_UINT16, 3, 2, 1, items);
       },
       TWON_ENUMERATION,
       {4, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0x02, 0x01, 0x04, 0x03, 0x06, 0x05}},
      // Type 13 has no size: the header only. Negative 16-bit arguments widen with their sign.
      {"enumeration of type 13",
       [&](TW_CAPABILITY* c) { return TWAINHandler::setupEnumeration(c, 13, 3, -1, 0, items); },
       TWON_ENUMERATION,
       {13, 0, 3, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}},
      {"array of two UINT16",
       [&](TW_CAPABILITY* c) { return TWAINHandler::setupArray(c, TWTY_UINT16, 2, items); },
       TWON_ARRAY,
       {4, 0, 2, 0, 0, 0, 0x02, 0x01, 0x04, 0x03}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Cap cap;
    cap.cap.Cap = ICAP_PIXELTYPE;
    ASSERT_EQ(c.setup(&cap.cap), ferrolite::kNoErr);
    EXPECT_EQ(cap.cap.Cap, ICAP_PIXELTYPE);
    EXPECT_EQ(cap.cap.ConType, c.conType);
    ASSERT_NE(TW_HANDLE{cap.cap.hContainer}, nullptr);
    EXPECT_EQ(cap.bytes(c.expected.size()), c.expected);
    // The block is exactly as long as the layout needs.
    EXPECT_EQ(gLastAllocation, c.expected.size());
  }
}

TEST(Containers, ItemSizesAndCopies) {
  const int sizes[] = {1, 2, 4, 1, 2, 4, 2, 4, 16, 34, 66, 130, 256, 0};
  for (short type = 0; type < short(std::size(sizes)); ++type) {
    EXPECT_EQ(TWAINHandler::getItemSize(type), sizes[type]) << type;
  }
  EXPECT_EQ(TWAINHandler::getItemSize(-1), 0);

  uint8_t source[8] = {1, 2, 3, 4, 5, 6, 7, 8}, destination[8] = {};
  TWAINHandler::copyItems(source, destination, TWTY_UINT16, 3);
  EXPECT_EQ(Bytes(destination, destination + 8), (Bytes{1, 2, 3, 4, 5, 6, 0, 0}));
  TWAINHandler::copyItems(source, destination + 6, TWTY_UINT16, 0);
  TWAINHandler::copyItems(source, destination + 6, 13, 5);
  EXPECT_EQ(destination[6], 0);
}

TEST(Containers, GetOneValueConvertsByType) {
  struct Case {
    uint16_t type;
    Bytes item;  // the four bytes of Item
    int value;
  };
  const std::vector<Case> cases = {
      {TWTY_INT8, {0xFF, 0x12, 0x34, 0x56}, -1},
      {TWTY_INT16, {0xFE, 0xFF, 0x34, 0x56}, -2},
      {TWTY_UINT8, {0xFF, 0x12, 0, 0}, 255},
      {TWTY_UINT16, {0xFE, 0xFF, 0x34, 0x56}, 65534},
      {TWTY_BOOL, {1, 0, 0x34, 0x56}, 1},
      {TWTY_INT32, {0xFF, 0xFF, 0xFF, 0xFF}, -1},
      {TWTY_UINT32, {0x78, 0x56, 0x34, 0x12}, 0x12345678},
      {TWTY_FIX32, {1, 0, 0, 0x80}, int(0x80000001)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    Cap cap;
    Bytes block = {uint8_t(c.type), 0};
    block.insert(block.end(), c.item.begin(), c.item.end());
    cap.hold(TWON_ONEVALUE, block);
    short type = -1;
    int value = 0;
    ASSERT_EQ(TWAINHandler::getOneValue(&cap.cap, &type, &value), ferrolite::kNoErr);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(value, c.value);
  }
}

TEST(Containers, GetRangeEnumerationAndFrame) {
  Cap range;
  range.hold(TWON_RANGE, {2, 0, 0x18, 0xFC, 0xFF, 0xFF, 0xE8, 0x03, 0,    0,    10,
                          0, 0, 0,    5,    0,    0,    0,    0xEC, 0xFF, 0xFF, 0xFF});
  short type = 0;
  int lo = 0, hi = 0, step = 0, def = 0, cur = 0;
  ASSERT_EQ(TWAINHandler::getRange(&range.cap, &type, &lo, &hi, &step, &def, &cur), 0);
  EXPECT_EQ(std::vector<int>({type, lo, hi, step, def, cur}),
            std::vector<int>({TWTY_INT32, -1000, 1000, 10, 5, -20}));
  EXPECT_EQ(TWAINHandler::getRange(&range.cap, nullptr, nullptr, &hi, nullptr, nullptr, nullptr),
            0);

  Cap enumeration;
  enumeration.hold(TWON_ENUMERATION,
                   {4, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0x02, 0x01, 0x04, 0x03, 0x06, 0x05});
  short count = 0, current = 0, defaultIndex = 0;
  uint16_t items[3] = {};
  ASSERT_EQ(TWAINHandler::getEnumeration(&enumeration.cap, &type, &count, &current, &defaultIndex,
                                         items, sizeof items),
            0);
  EXPECT_EQ(std::vector<int>({type, count, current, defaultIndex, items[0], items[1], items[2]}),
            std::vector<int>({TWTY_UINT16, 3, 2, 1, 0x0102, 0x0304, 0x0506}));

  Cap frame;
  frame.hold(TWON_ONEVALUE, {8, 0, 1, 0, 0, 0x80, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0});
  TW_FRAME f{};
  ASSERT_EQ(TWAINHandler::getFrames(&frame.cap, &f), 0);
  EXPECT_EQ(f.Left.Whole, 1);
  EXPECT_EQ(f.Left.Frac, 0x8000);
  EXPECT_EQ(f.Top.Whole, 2);
  EXPECT_EQ(f.Right.Whole, 3);
  EXPECT_EQ(f.Bottom.Whole, 4);
}

// Every refusal answers -50 and leaves the outputs as they were.
TEST(Containers, ReadersRefuseWithoutWriting) {
  const Bytes enumeration3 = {4, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 2, 1, 4, 3, 6, 5};
  const Bytes currentPastEnd = {4, 0, 3, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 2, 1, 4, 3, 6, 5};
  const Bytes range = Bytes(22, 0);
  const Bytes oneUint16 = {4, 0, 2, 0, 0, 0};
  struct Case {
    std::string name;
    uint16_t conType;
    Bytes block;  // empty: a null handle
    std::function<int(const TW_CAPABILITY*, short*, int*, uint16_t*)> read;
  };
  const std::vector<Case> cases = {
      {"one value of a range", TWON_RANGE, range,
       [](const TW_CAPABILITY* c, short* t, int* v, uint16_t*) {
         return TWAINHandler::getOneValue(c, t, v);
       }},
      {"one value of a null handle",
       TWON_ONEVALUE,
       {},
       [](const TW_CAPABILITY* c, short* t, int* v, uint16_t*) {
         return TWAINHandler::getOneValue(c, t, v);
       }},
      {"range of a one value", TWON_ONEVALUE, oneUint16,
       [](const TW_CAPABILITY* c, short* t, int* v, uint16_t*) {
         return TWAINHandler::getRange(c, t, v, v, v, v, v);
       }},
      {"enumeration of an array", TWON_ARRAY, enumeration3,
       [](const TW_CAPABILITY* c, short* t, int*, uint16_t* items) {
         short n, cur, def;
         return TWAINHandler::getEnumeration(c, t, &n, &cur, &def, items, 6);
       }},
      {"enumeration into 4 bytes", TWON_ENUMERATION, enumeration3,
       [](const TW_CAPABILITY* c, short* t, int*, uint16_t* items) {
         short n, cur, def;
         return TWAINHandler::getEnumeration(c, t, &n, &cur, &def, items, 4);
       }},
      {"enumeration without its count output", TWON_ENUMERATION, enumeration3,
       [](const TW_CAPABILITY* c, short* t, int*, uint16_t* items) {
         return TWAINHandler::getEnumeration(c, t, nullptr, nullptr, nullptr, items, 6);
       }},
      {"enumeration whose current index is its count", TWON_ENUMERATION, currentPastEnd,
       [](const TW_CAPABILITY* c, short* t, int*, uint16_t* items) {
         short n, cur, def;
         return TWAINHandler::getEnumeration(c, t, &n, &cur, &def, items, 6);
       }},
      {"frame of a UINT16 one value", TWON_ONEVALUE, oneUint16,
       [](const TW_CAPABILITY* c, short* t, int*, uint16_t*) {
         TW_FRAME f{};
         f.Left.Whole = 99;
         const int r = TWAINHandler::getFrames(c, &f);
         if (f.Left.Whole != 99) *t = -7;
         return r;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Cap cap;
    if (c.block.empty()) {
      cap.cap.ConType = c.conType;
    } else {
      cap.hold(c.conType, c.block);
    }
    short type = 77;
    int value = 77;
    uint16_t items[3] = {77, 77, 77};
    EXPECT_EQ(c.read(&cap.cap, &type, &value, items), ferrolite::kParamErr);
    EXPECT_EQ(type, 77);
    EXPECT_EQ(value, 77);
    EXPECT_EQ(items[0], 77);
  }
  EXPECT_EQ(TWAINHandler::getOneValue(nullptr, nullptr, nullptr), ferrolite::kParamErr);
}

TEST(Containers, PstrcopyCopiesTheLengthAndTheCharacters) {
  unsigned char destination[8];
  std::memset(destination, 0xAA, sizeof destination);
  const unsigned char empty[] = {0, 'x'};
  TWAINHandler::pstrcopy(destination, empty);
  EXPECT_EQ(destination[0], 0);
  EXPECT_EQ(destination[1], 0xAA);  // one byte only

  const unsigned char name[] = {3, 'a', 'b', 'c', 'd'};
  TWAINHandler::pstrcopy(destination, name);
  EXPECT_EQ(Bytes(destination, destination + 5), (Bytes{3, 'a', 'b', 'c', 0xAA}));
}

}  // namespace
