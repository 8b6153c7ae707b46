// One user session across the pages, ended by Scan: the record the data source reads when it is
// told to transfer holds every edit, each in the record's own unit.
#include <gtest/gtest.h>

#include <optional>

#include "PageFixture.h"

namespace ferrolite::dialog::testing {
namespace {

constexpr uint16_t kBWFront = 0x01;
constexpr uint16_t kGrayFront = 0x04;
constexpr uint8_t kMillimetres = 1;

// Replaces the field's text as the user does: focus, select all, type, Tab out.
void retype(FrameFixture& f, ui::TextField& field, std::string_view text) {
  ASSERT_TRUE(f.user.focus(field));
  ASSERT_TRUE(f.user.keyEquivalent(field, U'a', ui::kCtrl));
  ASSERT_TRUE(f.user.type(field, text));
  ASSERT_TRUE(f.user.pressKey(field, ui::SpecialKey::tab));
}

TEST(DialogSession, EditsOnEveryPageReachTheRecordTheScanStartsWith) {
  PageFixture f("dialog-session");
  f.record.wTabWindow = 0xBA | 0x80;  // the imprinter page too
  f.record.bImprinter = 1;
  f.record.bPrintArea = 3;
  std::optional<ScanSetting> atTransfer;
  f.dataSource.onXferReady = [&] { atTransfer = f.record; };
  f.open();

  // Image page: grey beside black and white on the front, then the grey row's resolution typed.
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabImage"));
  ASSERT_TRUE(f.user.click(f.get<ui::Button>("mBtnImageTypeImageGrayFrontCheck")));
  ASSERT_TRUE(f.user.click(f.get<ui::Button>("mBtnImageTypeImageGrayFront")));
  retype(f, f.get<ui::TextField>("mTextFieldResValue"), "300");
  auto& sizes = f.get<ui::PopUpButton>("mPopupPaperSize");
  ASSERT_TRUE(f.user.chooseTitled(sizes, {"A4"}));

  // Paper page: the A4 chosen on the image page in millimetres, then a width typed in them.
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabPaper"));
  ASSERT_TRUE(f.user.choose(f.get<ui::PopUpButton>("mPopupUnits"), kMillimetres));
  EXPECT_EQ(f.get<ui::TextField>("mTextFieldWidth").text(), "210.0");
  retype(f, f.get<ui::TextField>("mTextFieldWidth"), "200");
  EXPECT_EQ(f.get<ui::TextField>("mTextFieldWidth").text(), "200.0");

  // Option page: a left edge fill within the limit (half of 200 mm, rounded down: 99).
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KriTabEnhancement"));
  retype(f, f.get<ui::TextField>("mTextFieldLeft"), "12");

  // Imprinter page: the text printed before the counter.
  ASSERT_TRUE(f.user.selectTab(f.tabs(), "KRiImprinter"));
  retype(f, f.get<ui::TextField>("mTextFieldImprinterCustom"), "Batch ");

  f.dataSource.calls.clear();
  ASSERT_TRUE(f.click("mButtonScan"));
  EXPECT_EQ(f.dataSource.calls, (std::vector<std::string>{"checkScanParams", "xferReady"}));
  ASSERT_TRUE(atTransfer.has_value());
  const ScanSetting& r = *atTransfer;
  EXPECT_EQ(r.wImageType, kBWFront | kGrayFront);
  EXPECT_EQ(r.wGrayRes, 300);
  EXPECT_EQ(r.wBWRes, 200);  // the other type keeps its own
  EXPECT_EQ(r.bPaperSizeUnit, kMillimetres);
  EXPECT_EQ(r.bPaperSize, kPageCustom);
  EXPECT_EQ(r.wWidth, 2362);              // 200 mm at 300 dpi, truncated
  EXPECT_EQ(r.wLength, 3508);             // A4's
  EXPECT_EQ(r.wXPos, (2550 - 2480) / 2);  // A4 centred on the feeder, kept by the custom width
  EXPECT_EQ(r.wLeftEdge, 12);
  EXPECT_EQ(r.bImprinter, 1);
  EXPECT_EQ(r.strPrintText.view(), "Batch ");
  EXPECT_EQ(r.strProfile.view(), "Custom");
}

}  // namespace
}  // namespace ferrolite::dialog::testing
