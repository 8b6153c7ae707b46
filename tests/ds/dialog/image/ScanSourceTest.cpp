// The scan-source menu from the device-type word and what a source choice does.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "ds/dialog/image/ScanSource.h"

namespace ferrolite::dialog {
namespace {

using testing::DialogFixture;

std::vector<std::string> keys(const SourceMenu& m) {
  std::vector<std::string> out;
  for (const auto& i : m.items) out.push_back(i.key);
  return out;
}

TEST(DeviceTypeWord, OnlyTheFlatbedBitNamesAFlatbed) {
  struct Case {
    uint32_t w;
    bool feeder, flatbed;
  } cases[] = {
      {0x20, true, false}, {0x24, true, false}, {0x40, true, false}, {0x10, true, false},
      {0x80, false, true}, {0x84, false, true}, {0xA0, true, true},  {0xC0, true, true},
      {0x00, true, false},  // a word without the flatbed bit is a feeder's
  };
  for (const Case& c : cases) {
    EXPECT_EQ(deviceHasFeeder(c.w), c.feeder) << std::hex << c.w;
    EXPECT_EQ(deviceHasFlatbed(c.w), c.flatbed) << std::hex << c.w;
  }
}

TEST(ScanSourceMenu, OnlyTheSourcesTheScannerHas) {
  struct Case {
    uint32_t w;
    uint32_t adfWidth, flatbedWidth;  // the lengths are the same, or zero with the width
    bool merge;
    uint8_t source;
    std::vector<std::string> items;
    bool hidden;
    std::size_t selected;
  } cases[] = {
      {0x20, 2550, 0, false, 1, {"Feeder"}, true, 0},
      {0x24, 2550, 0, true, 4, {"Feeder", "MergeTwoSides"}, false, 1},
      {0x20, 2550, 2550, false, 1, {"Feeder"}, true, 0},  // 0x20 names no flatbed
      {0x40, 2550, 0, false, 1, {"Feeder"}, true, 0},
      {0x80, 0, 2550, false, 2, {"Flatbed"}, true, 0},
      {0x80, 2550, 2550, false, 2, {"Flatbed"}, true, 0},
      {0xC0, 2550, 2550, false, 0, {"Automatic", "Feeder", "Flatbed"}, false, 0},
      {0xA4, 2550, 2550, true, 4, {"Automatic", "Feeder", "Flatbed", "MergeTwoSides"}, false, 3},
      {0x50, 2550, 0, false, 1, {"Feeder"}, true, 0},  // one feeder item for two feeder bits
      {0xA0, 2550, 2550, false, 3, {"Automatic", "Feeder", "Flatbed"}, false, 2},  // 3: flatbed
      {0xA0, 2550, 0, false, 1, {"Feeder"}, true, 0},  // a flatbed of no area is not offered
      {0xA0, 0, 2550, false, 2, {"Flatbed"}, true, 0},
  };
  for (const Case& c : cases) {
    DeviceAbility a{};
    a.DeviceType = c.w;
    a.ADFMaxWidth = a.ADFMaxLength = c.adfWidth;
    a.FlatbedMaxWidth = a.FlatbedMaxLength = c.flatbedWidth;
    const SourceMenu m = scanSourceMenu(AbilityView(true, &a, nullptr), c.merge, c.source);
    const auto where = ::testing::Message()
                       << std::hex << c.w << " " << std::dec << c.adfWidth << " " << c.flatbedWidth;
    EXPECT_EQ(keys(m), c.items) << where;
    EXPECT_EQ(m.hidden, c.hidden) << where;
    EXPECT_EQ(m.selected, c.selected) << where;
  }
}

struct SourceFixture : DialogFixture {
  ImageTypeButtons buttons{record, bridge, true};
  std::vector<ScanModeSideSetting> rows = std::vector<ScanModeSideSetting>(8);
  PaperTblRow largest{0, 2550, 4200};
  SourceChoice choose(uint8_t value) {
    DialogContext c = ctx();
    return chooseScanSource(
        c, buttons, rows, largest,
        SourceItem{value == kSourceMergeTwoSides ? "MergeTwoSides" : "x", value});
  }
};

TEST(ScanSource, TheSourceInForceChangesNothing) {
  SourceFixture f;
  f.record.bScanSource = kSourceFeeder;
  f.record.wXPos = 17;
  const SourceChoice c = f.choose(kSourceFeeder);
  EXPECT_FALSE(c.changed);
  EXPECT_TRUE(c.calls.empty());
  EXPECT_EQ(f.record.wXPos, 17);
}

TEST(ScanSource, FlatbedMovesARearModeToTheNextFrontOne) {
  for (auto [from, to] : {std::pair{1, 2}, std::pair{3, 4}, std::pair{5, 0}, std::pair{2, 2}}) {
    SourceFixture f;
    f.record.bScanSource = kSourceFeeder;
    f.record.wImageType = 0x0D;
    f.buttons.initImageButtons();
    f.bridge.mScanModeSideSelect = from;
    const SourceChoice c = f.choose(kSourceFlatbed);
    EXPECT_EQ(f.bridge.mScanModeSideSelect, to) << from;
    EXPECT_EQ(f.record.wImageType, 0x05);  // the rear types leave with the rear
    EXPECT_FALSE(f.rows[3].mEnabled);
    EXPECT_EQ(f.record.wXPos, 0);
    EXPECT_TRUE(c.changed);
    EXPECT_EQ(describe(c.calls.back()), "doPaperTabInit");
  }
}

TEST(ScanSource, FlatbedWithAutomaticRearShowsTheAutomaticFront) {
  SourceFixture f;
  f.record.bScanSource = kSourceFeeder;
  f.record.wImageType = 0x80;
  f.buttons.initImageButtons();
  const SourceChoice c = f.choose(kSourceFlatbed);
  EXPECT_EQ(f.record.wImageType, 0x41);
  EXPECT_EQ(f.bridge.mScanModeSideSelect, 6);
  EXPECT_TRUE(f.buttons.check(ImageRow::Image, 6).on);
  EXPECT_FALSE(f.buttons.check(ImageRow::Image, 7).on);
  bool pageOfMode6 = false;
  for (const Call& call : c.calls) pageOfMode6 |= call == Call{PageCall::setImageTabItems, 6};
  EXPECT_TRUE(pageOfMode6);
}

TEST(ScanSource, MergingTwoSidesFillsTheLargestPage) {
  SourceFixture f;
  f.record.bScanSource = kSourceFeeder;
  f.record.bPaperSize = 6;
  f.record.wWidth = 2480;
  f.record.wXPos = 35;
  const SourceChoice c = f.choose(kSourceMergeTwoSides);
  EXPECT_EQ(f.record.bScanSource, kSourceMergeTwoSides);
  EXPECT_EQ(f.record.bPaperSize, kPageAutomatic);
  EXPECT_EQ(f.record.wWidth, 2550);
  EXPECT_EQ(f.record.wLength, 4200);
  EXPECT_EQ(f.record.wXPos, 0);
  EXPECT_FALSE(c.blankRemovalEnabled);
  EXPECT_TRUE(c.mergeOptionShown);
  EXPECT_FALSE(c.paperPopupsEnabled);
  EXPECT_FALSE(c.ultrasonicEnabled);
  EXPECT_FALSE(f.choose(kSourceMergeTwoSides).changed);
}

TEST(ScanSource, FeederCentringNeverWrapsAndRaisesToTheMinimum) {
  struct Case {
    uint32_t feederWidth;
    uint16_t width;
    uint8_t alignment;
    uint16_t x, widthAfter;
  } cases[] = {
      {2480, 2550, 0, 0, 2480},  // wider than the feeder: cut, never X 32733
      {2550, 2480, 0, 35, 2480},
      {2550, 100, 0, 1225, 150},  // centred, then raised to the feeder minimum
      {2550, 2480, 1, 0, 2480},   // aligned feeders start at 0
  };
  for (const Case& c : cases) {
    SourceFixture f;
    f.current.ADFMaxWidth = c.feederWidth;
    f.extra.adfAlignment = c.alignment;
    f.record.bScanSource = kSourceFlatbed;
    f.record.wWidth = c.width;
    f.record.wYPos = 40;
    const SourceChoice choice = f.choose(kSourceFeeder);
    EXPECT_EQ(f.record.wXPos, c.x) << c.width;
    EXPECT_EQ(f.record.wWidth, c.widthAfter) << c.width;
    EXPECT_EQ(f.record.wYPos, 0);
    bool maxArea = false;
    for (const Call& call : choice.calls) {
      maxArea |= call == Call{PageCall::setMaxScanArea, c.feederWidth, 4200};
    }
    EXPECT_TRUE(maxArea);
  }
}

}  // namespace
}  // namespace ferrolite::dialog
