// DAT_IMAGELAYOUT through the host core: the default layout, the area a set or reset makes in
// the settings, and the requests that must leave the settings alone.
#include <gmock/gmock.h>

#include "CapabilityFixture.h"

namespace {

using dstest::gSource;
using twainhost::ImageLayout;

class ImageLayoutTest : public dstest::CapabilityTest {
 protected:
  static std::string Text(const twainhost::Reply<ImageLayout>& r) {
    if (!r.ok()) return "FAIL " + std::to_string(r.cc);
    char text[128];
    std::snprintf(text, sizeof text, "%g %g %g %g / %u %u %u", r.value.left, r.value.top,
                  r.value.right, r.value.bottom, r.value.document, r.value.page, r.value.frame);
    return text;
  }
  std::string Layout(uint16_t msg, const ImageLayout& value = {}) {
    return Text(host.Layout(msg, value));
  }
};

constexpr const char* kDefault = "0 0 8.5 11 / 1 1 1";

TEST_F(ImageLayoutTest, DefaultAndStates) {
  Open();
  for (int16_t state : {35, 40, 50, 60, 70}) {
    SCOPED_TRACE(state);
    const bool gets = state >= 40 && state <= 60;
    Fresh(state);
    EXPECT_EQ(Layout(MSG_GETDEFAULT), gets ? kDefault : "FAIL 11");
    EXPECT_EQ(Layout(MSG_GET), gets ? "0 0 8.5 14 / 1 1 1" : "FAIL 11");
    const ferrolite::ScanSetting before = gSource->scanSetting;
    EXPECT_EQ(Layout(MSG_SET, {0, 0, 4, 4, 1, 1, 1}), state == 40 ? "0 0 4 4 / 1 1 1" : "FAIL 11");
    if (state != 40) {
      EXPECT_EQ(Layout(MSG_RESET), "FAIL 11");
      EXPECT_EQ(SettingsDiff(before, gSource->scanSetting), "");
      EXPECT_EQ(Layout(MSG_GET), gets ? "0 0 8.5 14 / 1 1 1" : "FAIL 11");
    }
    Fresh(state);
    EXPECT_EQ(Layout(MSG_GETCURRENT), "FAIL 9");  // no message of this triplet
  }
}

TEST_F(ImageLayoutTest, SetMakesTheAreaCentredOnAFeederThatCentres) {
  Open();
  struct Row {
    uint8_t source, alignment;
    const char* changed;
  } rows[] = {
      {1, 0, "PaperSize=255 XPos=479 Length=3300"},
      {0, 0, "PaperSize=255 XPos=479 Length=3300"},
      {4, 0, "PaperSize=255 ScanSource=1 XPos=479 Length=3300"},
      {2, 0, "PaperSize=255 Length=3300"},
      {1, 2, "PaperSize=255 Length=3300"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.changed);
    ferrolite::TezFRLDS& ds = Fresh();
    ds.maxScanWidth = 3508;  // wider than the page
    ds.scanSetting.bScanSource = row.source;
    ds.scanSetting.wWidth = 2550, ds.scanSetting.wLength = 4200;
    ds.adfAlignment = row.alignment;
    const ferrolite::ScanSetting before = ds.scanSetting;
    EXPECT_EQ(Layout(MSG_SET, {0, 0, 8.5, 11, 1, 1, 1}), "0 0 8.5 11 / 1 1 1");
    EXPECT_EQ(SettingsDiff(before, ds.scanSetting), row.changed);
    EXPECT_EQ(Layout(MSG_GET), "0 0 8.5 11 / 1 1 1");
  }
}

TEST_F(ImageLayoutTest, ALongPageOnALongPaperScanner) {
  Open();
  ferrolite::TezFRLDS& ds = Fresh(TWAIN_STATE_OPEN, 35400);
  ferrolite::gPhysicalLongPaper = true;
  EXPECT_EQ(Layout(MSG_SET, {0, 0, 8.5, 30, 1, 1, 1}), "0 0 8.5 30 / 1 1 1");
  EXPECT_EQ(ds.scanSetting.bPaperSize, ferrolite::kPageLong);
  EXPECT_EQ(ds.scanSetting.dwLongLength, 9000u);
  EXPECT_EQ(ds.scanSetting.dwLongWidth, 2550u);
  // Within the feeder's length it stays a user area.
  EXPECT_EQ(Layout(MSG_SET, {0, 0, 8.5, 14, 1, 1, 1}), "0 0 8.5 14 / 1 1 1");
  EXPECT_EQ(ds.scanSetting.bPaperSize, ferrolite::kPageCustom);
  // Without the option too, as ICAP_FRAMES takes the same frame: the scan is as long as the
  // layout says, never cut at the feeder's length.
  ferrolite::gPhysicalLongPaper = false;
  EXPECT_EQ(Layout(MSG_SET, {0, 0, 8.5, 30, 1, 1, 1}), "0 0 8.5 30 / 1 1 1");
  EXPECT_EQ(ds.scanSetting.bPaperSize, ferrolite::kPageLong);
  EXPECT_EQ(ds.scanSetting.dwLongLength, 9000u);
  const ferrolite::ScanSetting byLayout = ds.scanSetting;
  ASSERT_TRUE(host.SetCapability(ICAP_FRAMES, twainhost::Container::OneFrame(0, 0, 8.5, 30)).ok());
  EXPECT_EQ(SettingsDiff(byLayout, ds.scanSetting), "");
}

TEST_F(ImageLayoutTest, GetsAndRefusedSetsChangeNothing) {
  Open();
  ferrolite::TezFRLDS& ds = Fresh();
  ASSERT_EQ(Layout(MSG_SET, {1, 1, 5, 6, 2, 3, 4}), "1 1 5 6 / 2 3 4");
  const ferrolite::ScanSetting before = ds.scanSetting;
  EXPECT_EQ(Layout(MSG_GET), "1 1 5 6 / 2 3 4");
  EXPECT_EQ(Layout(MSG_GETDEFAULT), kDefault);
  const ImageLayout refused[] = {
      {0, 0, 8.75, 11, 1, 1, 1},    // wider than the feeder
      {0, 0, 8.5, 15, 1, 1, 1},     // longer, and no long page
      {3, 0, 2, 11, 1, 1, 1},       // right of left
      {0, 5, 8, 5, 1, 1, 1},        // no length
      {-1, 0, 8, 5, 1, 1, 1},       // left of 0
      {0, 0, 0.01, 0.01, 1, 1, 1},  // below the minimum width and height
  };
  for (const ImageLayout& layout : refused) {
    EXPECT_EQ(Layout(MSG_SET, layout), "FAIL 10");
  }
  EXPECT_EQ(SettingsDiff(before, ds.scanSetting), "");
  EXPECT_EQ(Layout(MSG_GET), "1 1 5 6 / 2 3 4");
}

TEST_F(ImageLayoutTest, ResetTakesTheDefaultAndNeverCentresLeftOfZero) {
  Open();
  ferrolite::TezFRLDS& ds = Fresh();
  ASSERT_EQ(Layout(MSG_SET, {1, 1, 5, 6, 2, 3, 4}), "1 1 5 6 / 2 3 4");
  EXPECT_EQ(Layout(MSG_RESET), kDefault);
  EXPECT_EQ(Layout(MSG_GET), kDefault);
  EXPECT_EQ(ds.scanSetting.wXPos, 0);
  EXPECT_EQ(ds.scanSetting.wWidth, 2550);
  EXPECT_EQ(ds.scanSetting.wLength, 3300);
  // A scanner narrower than the default page: the area starts at 0, it does not wrap.
  ds.maxScanWidth = 1800;
  EXPECT_EQ(Layout(MSG_RESET), kDefault);
  EXPECT_EQ(ds.scanSetting.wXPos, 0);
}

}  // namespace
