// The image-type machine driven through sequences of clicks: the record's bits, the 32
// controls and the calls it asks of the other pages.
#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "ds/dialog/image/ImageTypeButtons.h"

namespace ferrolite::dialog {
namespace {

using testing::DialogFixture;

std::vector<std::string> names(const Calls& calls) {
  std::vector<std::string> out;
  for (const Call& c : calls) out.push_back(describe(c));
  return out;
}

bool contains(const Calls& calls, PageCall what) {
  for (const Call& c : calls) {
    if (c.what == what) return true;
  }
  return false;
}

struct Machine {
  DialogFixture f;
  ImageTypeButtons buttons;
  explicit Machine(uint16_t bits, bool duplex = true) : buttons(f.record, f.bridge, duplex) {
    f.record.wImageType = bits;
    f.record.wGrayRes = 300;
    f.record.wBWRes = 200;
    f.record.wColorRes = 150;
    buttons.initImageButtons();
  }
  bool checked(int mode) const { return buttons.check(ImageRow::Image, mode).on; }
  bool dropChecked(int mode) const { return buttons.check(ImageRow::DropC, mode).on; }
  const TypeControls& image(ImageKind k, Side s) const { return buttons.at(ImageRow::Image, k, s); }
};

TEST(ImageTypeButtons, SelectionAsksForThePagesOfTheMode) {
  Machine m(0x01);
  EXPECT_EQ(names(m.buttons.select(2)),
            (std::vector<std::string>{"selectModeSideRow(2)", "setImageTabItems(2)",
                                      "paperSizeInitial", "setColorDropTabItems(2)",
                                      "setNoiseAttribute(0)", "changePixelByResolution",
                                      "checkResolutionBoundary", "setBackgroundSettingState(1)"}));
  EXPECT_EQ(m.f.bridge.mScanModeSideSelect, 2);
  EXPECT_TRUE(m.image(ImageKind::Gray, Side::Front).button.on);
  EXPECT_FALSE(m.image(ImageKind::BW, Side::Front).button.on);
  const Calls rear = m.buttons.select(5);
  EXPECT_FALSE(contains(rear, PageCall::changePixelByResolution));  // rear selections
  EXPECT_EQ(describe(rear[4]), "setNoiseAttribute(1)");
  EXPECT_EQ(describe(rear.back()), "setBackgroundSettingState(0)");
  // A colour selection leaves the DropC row's colour buttons alone and clears its others.
  m.buttons.at(ImageRow::DropC, ImageKind::Color, Side::Front).button.on = true;
  m.buttons.select(0);
  EXPECT_TRUE(m.buttons.at(ImageRow::DropC, ImageKind::Color, Side::Front).button.on);
  EXPECT_FALSE(m.buttons.at(ImageRow::DropC, ImageKind::BW, Side::Rear).button.on);
}

TEST(ImageTypeButtons, TheLastTypeCannotBeUnchecked) {
  Machine m(0x01);
  const Calls calls = m.buttons.checkChanged(4, false);
  EXPECT_TRUE(calls.empty());  // no profile switch, nothing else
  EXPECT_EQ(m.f.record.wImageType, 0x01);
  EXPECT_TRUE(m.checked(4));
  EXPECT_TRUE(m.dropChecked(4));
}

TEST(ImageTypeButtons, CheckingAndUncheckingTypes) {
  Machine m(0x01);
  Calls calls = m.buttons.checkChanged(2, true);
  EXPECT_EQ(m.f.record.wImageType, 0x05);
  EXPECT_TRUE(m.checked(2) && m.dropChecked(2));
  EXPECT_EQ(m.f.bridge.mScanModeSideSelect, 2);
  EXPECT_EQ(describe(calls.back()), "switch2CustomProfile");
  calls = m.buttons.checkChanged(4, false);
  EXPECT_EQ(m.f.record.wImageType, 0x04);
  EXPECT_FALSE(m.checked(4));
  EXPECT_EQ(names(calls),
            (std::vector<std::string>{"enableResolutionControls", "enableFlipSide",
                                      "checkOldAvapiPaperSize", "switch2CustomProfile"}));
  m.buttons.checkChanged(3, true);
  calls = m.buttons.checkChanged(3, false);  // a rear type: resolution controls untouched
  EXPECT_FALSE(contains(calls, PageCall::enableResolutionControls));
}

TEST(ImageTypeButtons, AutomaticColourOnAndOffRestoresTheChecks) {
  Machine m(0x15 | 0x08);
  m.buttons.checkChanged(6, true);
  EXPECT_EQ(m.f.record.wImageType, 0x5D);
  for (int mode = 0; mode <= 5; ++mode) {
    EXPECT_FALSE(m.checked(mode)) << mode;
    EXPECT_FALSE(m.buttons.check(ImageRow::Image, mode).enabled) << mode;
  }
  EXPECT_TRUE(m.checked(6) && m.dropChecked(6));
  const Calls off = m.buttons.checkChanged(6, false);
  EXPECT_EQ(m.f.record.wImageType, 0x1D);
  for (int mode : {0, 2, 4, 3}) EXPECT_TRUE(m.checked(mode) && m.dropChecked(mode)) << mode;
  for (int mode : {1, 5}) EXPECT_FALSE(m.checked(mode)) << mode;
  EXPECT_TRUE(m.image(ImageKind::Gray, Side::Rear).check.enabled);
  EXPECT_FALSE(m.buttons.at(ImageRow::DropC, ImageKind::Color, Side::Front).check.enabled);
  EXPECT_TRUE(m.buttons.at(ImageRow::DropC, ImageKind::Gray, Side::Front).check.enabled);
  EXPECT_EQ(describe(off.back()), "switch2CustomProfile");
}

TEST(ImageTypeButtons, AutomaticFrontOffWithAutomaticRearOnEnablesNothing) {
  Machine m(0xC0);
  m.buttons.checkChanged(6, false);
  EXPECT_EQ(m.f.record.wImageType, 0x80);
  for (int mode = 0; mode <= 5; ++mode) {
    EXPECT_FALSE(m.buttons.check(ImageRow::Image, mode).enabled) << mode;
    EXPECT_FALSE(m.buttons.at(ImageRow::Image, kindOfMode(mode), sideOfMode(mode)).button.enabled);
  }
}

TEST(ImageTypeButtons, SimplexAutomaticFrontOffEnablesOnlyTheFront) {
  Machine m(0x40, false);
  m.buttons.checkChanged(6, false);
  EXPECT_EQ(m.f.record.wImageType, 0x01);  // never left without a type
  EXPECT_TRUE(m.checked(4));
  EXPECT_TRUE(m.image(ImageKind::Color, Side::Front).check.enabled);
  EXPECT_FALSE(m.image(ImageKind::Color, Side::Rear).check.enabled);
  EXPECT_FALSE(m.image(ImageKind::Gray, Side::Rear).button.enabled);
}

TEST(ImageTypeButtons, AutomaticRearOffNeverLeavesTheRecordWithoutAType) {
  Machine m(0x80);
  EXPECT_EQ(m.f.bridge.mScanModeSideSelect, 7);
  m.buttons.checkChanged(7, false);
  EXPECT_EQ(m.f.record.wImageType, 0x01);
  EXPECT_TRUE(m.checked(4));
  EXPECT_FALSE(m.buttons.at(ImageRow::DropC, ImageKind::Color, Side::Rear).check.enabled);
  EXPECT_TRUE(m.buttons.at(ImageRow::DropC, ImageKind::Color, Side::Front).check.enabled);
}

TEST(ImageTypeButtons, SetUpChoosesTheSelection) {
  struct Case {
    uint16_t bits;
    uint8_t source;
    int64_t mode;
    int64_t resolution;
  } cases[] =
      {
          {0x01, 1, 4, 200}, {0x04, 1, 2, 300}, {0x30, 1, 0, 150}, {0x08, 1, 3, 300},
          {0x22, 1, 5, 200}, {0x40, 1, 6, 150}, {0x80, 1, 7, 150}, {0xC0, 1, 6, 150},
          {0x81, 4, 4, 200},  // merging two sides has no automatic rear
      };
  for (const Case& c : cases) {
    DialogFixture f;
    f.record.wImageType = c.bits;
    f.record.bScanSource = c.source;
    f.record.wGrayRes = 300;
    f.record.wBWRes = 200;
    f.record.wColorRes = 150;
    ImageTypeButtons buttons(f.record, f.bridge, true);
    const Calls calls = buttons.initImageButtons();
    EXPECT_EQ(f.bridge.mScanModeSideSelect, c.mode) << std::hex << c.bits;
    EXPECT_EQ(calls.back(), (Call{PageCall::setResValue, c.resolution})) << std::hex << c.bits;
  }
  // Only rear bits: the black-and-white front selection runs once first.
  DialogFixture f;
  f.record.wImageType = 0x08;
  ImageTypeButtons buttons(f.record, f.bridge, true);
  const Calls calls = buttons.initImageButtons();
  EXPECT_EQ(describe(calls.front()), "selectModeSideRow(4)");
  EXPECT_TRUE(buttons.check(ImageRow::Image, 3).on);
  EXPECT_TRUE(buttons.check(ImageRow::DropC, 3).on);
  // Colour is checked in the Image row only.
  Machine colour(0x10);
  EXPECT_TRUE(colour.checked(0));
  EXPECT_FALSE(colour.dropChecked(0));
}

TEST(ImageTypeButtons, SourceWithoutRearAndTheStateCall) {
  Machine m(0x0A);  // grey and black-and-white rear only
  const Calls calls = m.buttons.fbUncheck();
  EXPECT_EQ(m.f.record.wImageType, 0x01);
  EXPECT_EQ(m.f.bridge.mScanModeSideSelect, 4);
  EXPECT_EQ(describe(calls[calls.size() - 2]), "doImageTabInit");
  EXPECT_EQ(describe(calls.back()), "setImageTabItems(4)");
  EXPECT_FALSE(m.checked(3));

  Machine a(0x40);
  a.buttons.setState(true, false);
  EXPECT_TRUE(a.image(ImageKind::AutoColor, Side::Rear).check.enabled);
  EXPECT_FALSE(a.buttons.at(ImageRow::DropC, ImageKind::Color, Side::Rear).check.enabled);
  EXPECT_FALSE(a.image(ImageKind::Gray, Side::Front).check.enabled);  // automatic colour on
  a.buttons.setState(false, true);
  EXPECT_TRUE(a.image(ImageKind::AutoColor, Side::Front).check.enabled);
  EXPECT_FALSE(a.image(ImageKind::Gray, Side::Front).check.enabled);  // still automatic
  Machine b(0x01);
  b.buttons.setState(false, true);
  EXPECT_TRUE(b.image(ImageKind::Gray, Side::Front).check.enabled);
  EXPECT_FALSE(b.image(ImageKind::Gray, Side::Rear).check.enabled);
}

TEST(ImageTypeButtons, ScanNeverRemovesABitACheckBoxShows) {
  Machine m(0x01);
  m.buttons.checkChanged(2, true);
  m.f.record.wImageType = 0x01;  // a bit lost elsewhere
  m.buttons.reCheckImageTypeStatus();
  EXPECT_EQ(m.f.record.wImageType, 0x05);
}

TEST(ImageTypeButtons, ColourDropPageMovesAColourSelectionToGreyOrBW) {
  Machine m(0x19);  // colour, grey rear, black-and-white front
  m.buttons.select(0);
  EXPECT_EQ(m.buttons.dropColorPageSelection(), 3);
  m.buttons.select(4);
  EXPECT_EQ(m.buttons.dropColorPageSelection(), std::nullopt);
  Machine colourOnly(0x10);
  EXPECT_EQ(colourOnly.buttons.dropColorPageSelection(), std::nullopt);
  colourOnly.buttons.dropColorSetImageButtons();
  EXPECT_FALSE(
      colourOnly.buttons.at(ImageRow::DropC, ImageKind::AutoColor, Side::Front).button.enabled);
}

TEST(ImageTypeButtons, DefaultState) {
  Machine m(0xC0);
  const Calls calls = m.buttons.restoreDefaults();
  for (int mode = 0; mode < kModeCount; ++mode) {
    EXPECT_EQ(m.checked(mode), mode == 4) << mode;
    EXPECT_EQ(m.dropChecked(mode), mode == 4) << mode;
    EXPECT_TRUE(m.buttons.check(ImageRow::Image, mode).enabled);
  }
  EXPECT_FALSE(m.buttons.at(ImageRow::DropC, ImageKind::Color, Side::Front).check.enabled);
  EXPECT_TRUE(m.buttons.at(ImageRow::DropC, ImageKind::BW, Side::Rear).button.enabled);
  EXPECT_EQ(describe(calls[0]), "selectModeSideRow(4)");
  EXPECT_EQ(describe(calls[1]), "setResValue(200)");
  EXPECT_EQ(m.f.bridge.mScanModeSideSelect, 4);
}

}  // namespace
}  // namespace ferrolite::dialog
