// The image page on the headless widget layer against the recording data source: the image-type
// controls of both rows, the resolution controls, the scan source and the profiles, each
// reached through the user's clicks, choices and keystrokes.
#include <gtest/gtest.h>

#include <algorithm>

#include "PageFixture.h"
#include "ds/dialog/frame/Profiles.h"
#include "ds/scan/records/LongPageModels.h"
#include "platform/imageio/ImageIO.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Menu.h"

namespace ferrolite::dialog::testing {
namespace {

using Strings = std::vector<std::string>;

ui::Button& typeButton(PageFixture& f, std::string_view row, std::string_view name,
                       bool check = false) {
  return f.get<ui::Button>(std::string("mBtnImageType") + std::string(row) + std::string(name) +
                           (check ? "Check" : ""));
}
bool checked(PageFixture& f, std::string_view row, std::string_view name) {
  return typeButton(f, row, name, true).isOn();
}
bool clickCheck(PageFixture& f, std::string_view name) {
  return f.user.click(typeButton(f, "Image", name, true));
}

Strings titles(const ui::PopUpButton& popUp) {
  Strings out;
  for (std::size_t i = 0; i < popUp.numberOfItems(); ++i) out.push_back(popUp.itemAt(i).title());
  return out;
}

// A profile was saved ("A"), so a switch to custom is visible in the record.
void startOnProfile(PageFixture& f) {
  f.dataSource.profiles = Strings{"A"};
  f.record.strProfile = SharedText("A");
}

TEST(ImageTab, TypeCheckBoxesKeepBothRowsAndTheRecordInStep) {
  PageFixture f("dialog-image-page");
  startOnProfile(f);
  f.open();
  ASSERT_TRUE(checked(f, "Image", "BWFront"));
  ASSERT_TRUE(checked(f, "DropC", "BWFront"));

  // Grey front on: its bit, both rows' boxes, and it becomes the type on show.
  ASSERT_TRUE(clickCheck(f, "GrayFront"));
  EXPECT_EQ(f.record.wImageType, 0x05);
  EXPECT_TRUE(checked(f, "DropC", "GrayFront"));
  EXPECT_EQ(f.bridge.mScanModeSideSelect, 2);
  EXPECT_TRUE(typeButton(f, "Image", "GrayFront").isOn());
  EXPECT_FALSE(typeButton(f, "Image", "BWFront").isOn());
  EXPECT_EQ(f.get<ui::Label>("mStaticDocuTypeBinarization").text(), "Document type:");
  EXPECT_EQ(f.record.strProfile.view(), "Custom");

  // Off again, then the last type left is refused and stays checked.
  ASSERT_TRUE(clickCheck(f, "GrayFront"));
  EXPECT_EQ(f.record.wImageType, 0x01);
  EXPECT_FALSE(checked(f, "DropC", "GrayFront"));
  ASSERT_TRUE(clickCheck(f, "BWFront"));
  EXPECT_EQ(f.record.wImageType, 0x01);
  EXPECT_TRUE(checked(f, "Image", "BWFront"));
  EXPECT_TRUE(checked(f, "DropC", "BWFront"));
}

TEST(ImageTab, TheLastTypeRefusedDoesNotSwitchTheProfile) {
  PageFixture f("dialog-image-page");
  startOnProfile(f);
  f.open();
  ASSERT_TRUE(clickCheck(f, "BWFront"));
  EXPECT_EQ(f.record.wImageType, 0x01);
  EXPECT_EQ(f.record.strProfile.view(), "A");
  EXPECT_EQ(f.get<ui::PopUpButton>("mPopupProfile").titleOfSelectedItem(), "A");
}

TEST(ImageTab, AutomaticColourOnAndOffRestoresTheChecks) {
  PageFixture f("dialog-image-page");
  f.record.wImageType = 0x01 | 0x04 | 0x08;
  f.open();
  ASSERT_TRUE(clickCheck(f, "AutoColorFront"));
  EXPECT_EQ(f.record.wImageType, 0x4D);
  EXPECT_EQ(f.bridge.mScanModeSideSelect, 6);
  for (const char* name : {"ColorFront", "GrayFront", "BWFront", "GrayRear", "BWRear"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(checked(f, "Image", name));
    EXPECT_FALSE(typeButton(f, "Image", name, true).isEnabled());
    EXPECT_FALSE(typeButton(f, "DropC", name).isEnabled());
  }
  EXPECT_TRUE(checked(f, "DropC", "AutoColorFront"));
  EXPECT_EQ(f.get<ui::Label>("mStaticThreshSense").text(), "Sensitivity:");
  EXPECT_EQ(f.get<ui::Slider>("mSliderThreshSense").maxValue(), 100);

  ASSERT_TRUE(clickCheck(f, "AutoColorFront"));
  EXPECT_EQ(f.record.wImageType, 0x0D);
  for (const char* name : {"GrayFront", "BWFront", "GrayRear"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(checked(f, "Image", name));
    EXPECT_TRUE(checked(f, "DropC", name));
    EXPECT_TRUE(typeButton(f, "Image", name, true).isEnabled());
  }
  EXPECT_FALSE(checked(f, "Image", "ColorFront"));
  EXPECT_FALSE(checked(f, "Image", "AutoColorFront"));
  // The drop-out row offers no colour.
  EXPECT_FALSE(typeButton(f, "DropC", "ColorFront").isEnabled());
}

TEST(ImageTab, SimplexDeviceHasThreeRowsAndNoRearControls) {
  PageFixture f("dialog-image-page");
  f.current.DeviceType = 0x80 | 0x20;  // feeder and flatbed, one side
  f.record.wImageType = 0x01 | 0x08;
  f.open();
  EXPECT_EQ(f.record.wImageType, 0x01);
  auto& table = f.get<ui::TableView>("pImageTabTableView");
  ASSERT_EQ(table.numberOfRows(), 3);
  EXPECT_EQ(table.cellAt(0, 1).text, "Color");
  EXPECT_EQ(table.cellAt(2, 0).state, 1);
  for (const char* name : {"AutoColorRear", "ColorRear", "GrayRear", "BWRear"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(typeButton(f, "Image", name, true).isEnabled());
    EXPECT_FALSE(checked(f, "Image", name));
  }
  // Automatic colour off again enables the front controls only.
  ASSERT_TRUE(clickCheck(f, "AutoColorFront"));
  ASSERT_TRUE(clickCheck(f, "AutoColorFront"));
  EXPECT_TRUE(typeButton(f, "Image", "GrayFront", true).isEnabled());
  EXPECT_FALSE(typeButton(f, "Image", "GrayRear", true).isEnabled());
  EXPECT_EQ(f.record.wImageType, 0x01);
}

TEST(ImageTab, ModeSideTableChecksReconcileWithTheRecord) {
  PageFixture f("dialog-image-page");
  f.open();
  auto& table = f.get<ui::TableView>("pImageTabTableView");
  ASSERT_EQ(table.numberOfRows(), 8);
  ASSERT_TRUE(f.user.clickCell(table, 2, "check"));  // grey front
  EXPECT_EQ(f.record.wImageType, 0x05);
  ASSERT_TRUE(f.user.clickCell(table, 2, "check"));
  ASSERT_TRUE(f.user.clickCell(table, 4, "check"));  // the last one: kept
  EXPECT_EQ(f.record.wImageType, 0x01);
  EXPECT_EQ(table.cellAt(4, 0).state, 1);
  EXPECT_TRUE(f.get<ui::Button>("mButtonScan").isEnabled());
}

TEST(ImageTab, ModeSideTableFollowsTheTypeCheckBoxes) {
  PageFixture f("dialog-image-page");
  f.open();
  auto& table = f.get<ui::TableView>("pImageTabTableView");
  auto checks = [&table] {
    std::vector<int> on;
    for (int row = 0; row < table.numberOfRows(); ++row) {
      if (table.cellAt(row, 0).state == 1) on.push_back(row);
    }
    return on;
  };
  ASSERT_EQ(checks(), (std::vector<int>{4}));  // black and white front
  ASSERT_TRUE(clickCheck(f, "ColorFront"));
  ASSERT_TRUE(clickCheck(f, "ColorRear"));
  ASSERT_TRUE(clickCheck(f, "BWFront"));
  ASSERT_EQ(f.record.wImageType, 0x30);
  EXPECT_EQ(checks(), (std::vector<int>{0, 1}));
  // And the other way: a row checked in the table checks its box.
  ASSERT_TRUE(f.user.clickCell(table, 3, "check"));  // grey rear
  EXPECT_EQ(f.record.wImageType, 0x38);
  EXPECT_TRUE(checked(f, "Image", "GrayRear"));
  EXPECT_EQ(checks(), (std::vector<int>{0, 1, 3}));
}

TEST(ImageTab, ResolutionFieldShowsTheNumberAlone) {
  PageFixture f("dialog-image-page");
  f.record.wBWRes = 300;
  f.open();
  // The page once wrote the number with a line end into the one-line field.
  EXPECT_EQ(f.get<ui::TextField>("mTextFieldResValue").text(), "300");
  ASSERT_TRUE(f.user.click(typeButton(f, "Image", "GrayRear")));
  EXPECT_EQ(f.get<ui::TextField>("mTextFieldResValue").text(), "200");
}

TEST(ImageTab, ResolutionTypedFollowsInThePopupAndTheBridge) {
  struct Case {
    std::string typed;
    std::string whileTyping;
    std::string shown;    // the field after the edit ended
    uint16_t stored;      // wBWRes
    int popup;            // the popup's item
    uint32_t currentRes;  // the bridge's
  };
  for (const Case& c : {Case{"75", "75", "75", 75, 0, 75}, Case{"650", "65", "72", 72, 6, 72},
                        Case{"250", "250", "250", 250, 6, 250}, Case{"60", "60", "72", 72, 6, 72},
                        Case{"3a0", "30", "72", 72, 6, 72}}) {
    SCOPED_TRACE(c.typed);
    PageFixture f("dialog-image-page");
    f.open();
    auto& field = f.get<ui::TextField>("mTextFieldResValue");
    ASSERT_TRUE(f.user.focus(field));
    field.selectAll();
    ASSERT_TRUE(f.user.type(field, c.typed));
    EXPECT_EQ(field.text(), c.whileTyping);
    ASSERT_TRUE(f.user.pressKey(field, ui::SpecialKey::tab));
    EXPECT_EQ(field.text(), c.shown);
    EXPECT_EQ(f.record.wBWRes, c.stored);
    EXPECT_EQ(f.get<ui::PopUpButton>("mPopupRes").indexOfSelectedItem(), c.popup);
    EXPECT_EQ(f.bridge.currentRes, c.currentRes);
  }
}

TEST(ImageTab, ResolutionChosenAndCustomAndStepped) {
  PageFixture f("dialog-image-page");
  startOnProfile(f);
  f.open();
  auto& popUp = f.get<ui::PopUpButton>("mPopupRes");
  ASSERT_TRUE(f.user.choose(popUp, 4));  // 400
  EXPECT_EQ(f.record.wBWRes, 400);
  EXPECT_EQ(f.get<ui::TextField>("mTextFieldResValue").text(), "400");
  EXPECT_EQ(f.bridge.currentRes, 400u);
  EXPECT_EQ(f.record.strProfile.view(), "Custom");
  // "Custom" stores nothing and keeps the last resolution.
  ASSERT_TRUE(f.user.choose(popUp, 6));
  EXPECT_EQ(f.record.wBWRes, 400);
  EXPECT_EQ(f.get<ui::TextField>("mTextFieldResValue").text(), "400");
  EXPECT_EQ(f.bridge.currentRes, 400u);
  // The stepper: 401 is no preset.
  ASSERT_TRUE(f.user.choose(popUp, 3));  // 300
  ASSERT_TRUE(f.user.step(f.get<ui::Stepper>("mStepperRes"), ui::StepDirection::up));
  EXPECT_EQ(f.record.wBWRes, 301);
  EXPECT_EQ(popUp.indexOfSelectedItem(), 6);
  EXPECT_EQ(f.get<ui::TextField>("mTextFieldResValue").text(), "301");
}

TEST(ImageTab, ResolutionChangeFollowsOnThePaperPage) {
  {
    // Pixel units: the area's figures at the new resolution.
    PageFixture f("dialog-image-page");
    f.record.wImageType = 0x10;
    f.record.bPaperSizeUnit = 2;
    f.record.wWidth = 2550;
    f.open();
    ASSERT_EQ(f.bridge.mScanModeSideSelect, 0);
    ASSERT_TRUE(f.user.choose(f.get<ui::PopUpButton>("mPopupRes"), 2));  // 200
    EXPECT_EQ(f.get<ui::TextField>("mTextFieldWidth").text(), "1700");
    EXPECT_EQ(f.bridge.mPixelW, 1700);
  }
  {
    // The older interface: a long page above 300 dpi becomes custom at the feeder's length.
    PageFixture f("dialog-image-page");
    f.extra.newKrapi = false;
    f.record.wImageType = 0x04;
    f.record.bPaperSize = 19;
    f.open();
    ASSERT_TRUE(f.user.choose(f.get<ui::PopUpButton>("mPopupRes"), 4));  // 400
    EXPECT_EQ(f.record.bPaperSize, 255);
    EXPECT_EQ(f.record.wLength, 4200);
    auto& paper = f.get<ui::PopUpButton>("mPopupPaperSize");
    EXPECT_EQ(paper.indexOfSelectedItem(), static_cast<int>(paper.numberOfItems()) - 1);
  }
}

TEST(ImageTab, RearResolutionDisabledWhileItsFrontTypeIsChecked) {
  PageFixture f("dialog-image-page");
  f.record.wImageType = 0x01 | 0x02;
  f.open();
  ASSERT_TRUE(f.user.click(typeButton(f, "Image", "BWRear")));
  EXPECT_FALSE(f.get<ui::TextField>("mTextFieldResValue").isEnabled());
  EXPECT_FALSE(f.get<ui::PopUpButton>("mPopupRes").isEnabled());
  ASSERT_TRUE(clickCheck(f, "BWFront"));  // off: the rear's resolution is its own again
  EXPECT_TRUE(f.get<ui::TextField>("mTextFieldResValue").isEnabled());
}

TEST(ImageTab, ToneControlsWriteTheModesFields) {
  PageFixture f("dialog-image-page");
  f.record.wImageType = 0x01 | 0x04;
  f.record.bFBinaryProcess = 1;
  f.open();
  // Black-and-white front with fixed processing: threshold and brightness are its own.
  ASSERT_EQ(f.bridge.mScanModeSideSelect, 4);
  ASSERT_TRUE(f.user.slide(f.get<ui::Slider>("mSliderThreshSense"), 140));
  ASSERT_TRUE(f.user.slide(f.get<ui::Slider>("mSliderBrightness"), 20));
  EXPECT_EQ(f.record.bFBThreshold, 140);
  EXPECT_EQ(f.record.iFBBrightness, 20);
  EXPECT_FALSE(f.get<ui::Slider>("mSliderContrast").isEnabled());
  // Dynamic threshold: the slider becomes the sensitivity, brightness is off.
  ASSERT_TRUE(f.user.choose(f.get<ui::PopUpButton>("mPopupDocuTypeBinarization"), 0));
  EXPECT_EQ(f.record.bFBinaryProcess, 0);
  EXPECT_EQ(f.get<ui::Label>("mStaticThreshSense").text(), "Sensitivity:");
  EXPECT_EQ(f.get<ui::Slider>("mSliderThreshSense").maxValue(), 30);
  EXPECT_FALSE(f.get<ui::Slider>("mSliderBrightness").isEnabled());
  // Grey front: invert and contrast.
  ASSERT_TRUE(f.user.click(typeButton(f, "Image", "GrayFront")));
  ASSERT_TRUE(f.user.choose(f.get<ui::PopUpButton>("mPopupInvert"), 1));
  EXPECT_EQ(f.record.bFGInvert, 1);
  EXPECT_EQ(f.get<ui::PopUpButton>("mPopupDocuTypeBinarization").numberOfItems(), 3u);
}

TEST(ImageTab, ScanSourceMenuFromTheDeviceTypeWord) {
  struct Case {
    uint32_t deviceType;
    bool merge;
    Strings items;
    bool hidden;
  };
  for (const Case& c : {Case{0x80 | 0x20, false, {"Automatic", "Feeder", "Flatbed"}, false},
                        Case{0x20, false, {"Feeder"}, true},  // a feeder, no flatbed
                        Case{0x40, false, {"Feeder"}, true},
                        Case{0x80 | 0x40, false, {"Automatic", "Feeder", "Flatbed"}, false},
                        Case{0x40 | 0x04, true, {"Feeder", "Merge Two Sides"}, false}}) {
    SCOPED_TRACE(c.deviceType);
    PageFixture f("dialog-image-page");
    f.current.DeviceType = c.deviceType;
    f.extra.mergeSides = c.merge;
    f.record.bScanSource = 1;
    f.open();
    auto& popUp = f.get<ui::PopUpButton>("mPopupScanSource");
    EXPECT_EQ(titles(popUp), c.items);
    EXPECT_EQ(popUp.isHidden(), c.hidden);
    EXPECT_EQ(f.get<ui::Label>("mStaticScanSource").isHidden(), c.hidden);
    EXPECT_EQ(popUp.titleOfSelectedItem(), "Feeder");
  }
}

int itemTitled(const ui::PopUpButton& popUp, const std::string& title) {
  const Strings t = titles(popUp);
  return static_cast<int>(std::find(t.begin(), t.end(), title) - t.begin());
}

TEST(ImageTab, FlatbedWithTheRearGreyRowCurrentMovesToBlackAndWhiteFront) {
  PageFixture f("dialog-image-page");
  f.record.wImageType = 0x01 | 0x08;
  f.record.bScanSource = 1;
  f.open();
  ASSERT_TRUE(f.user.click(typeButton(f, "Image", "GrayRear")));
  ASSERT_EQ(f.bridge.mScanModeSideSelect, 3);
  auto& popUp = f.get<ui::PopUpButton>("mPopupScanSource");
  ASSERT_TRUE(f.user.choose(popUp, itemTitled(popUp, "Flatbed")));
  EXPECT_EQ(f.record.bScanSource, 2);
  EXPECT_EQ(f.record.wImageType, 0x01);
  EXPECT_EQ(f.bridge.mScanModeSideSelect, 4);
  auto& table = f.get<ui::TableView>("pImageTabTableView");
  EXPECT_EQ(table.selectedRow(), 4);
  for (int row : {1, 3, 5}) EXPECT_FALSE(table.cellAt(row, 0).enabled) << row;
  EXPECT_TRUE(table.cellAt(7, 0).enabled);
  EXPECT_FALSE(f.user.selectRow(table, 3));
  EXPECT_FALSE(typeButton(f, "Image", "GrayRear", true).isEnabled());
}

TEST(ImageTab, FlatbedWithAutomaticRearAndMerge) {
  {
    PageFixture f("dialog-image-page");
    f.record.wImageType = 0x80;
    f.record.bScanSource = 1;
    f.open();
    auto& popUp = f.get<ui::PopUpButton>("mPopupScanSource");
    ASSERT_TRUE(f.user.choose(popUp, itemTitled(popUp, "Flatbed")));
    EXPECT_EQ(f.record.wImageType, 0x41);
    EXPECT_TRUE(checked(f, "Image", "AutoColorFront"));
    EXPECT_FALSE(checked(f, "Image", "AutoColorRear"));
  }
  {
    PageFixture f("dialog-image-page");
    f.current.DeviceType = 0x40 | 0x04;
    f.extra.mergeSides = true;
    f.record.bScanSource = 1;
    f.record.bPaperSize = 2;
    f.record.wWidth = 1000;
    f.open();
    auto& popUp = f.get<ui::PopUpButton>("mPopupScanSource");
    ASSERT_TRUE(f.user.choose(popUp, itemTitled(popUp, "Merge Two Sides")));
    EXPECT_EQ(f.record.bScanSource, 4);
    EXPECT_EQ(f.record.bPaperSize, 0);
    EXPECT_EQ(f.record.wWidth, 2550);
    EXPECT_EQ(f.record.wLength, 4200);
    EXPECT_FALSE(f.get<ui::Button>("mButtonMergeOption").isHidden());
    EXPECT_FALSE(f.get<ui::PopUpButton>("mPopupPaperSize").isEnabled());
    EXPECT_FALSE(f.get<ui::PopUpButton>("mPopupPaperTabPaperSize").isEnabled());
    EXPECT_FALSE(f.get<ui::Button>("mButtonUltraSonic").isEnabled());
    EXPECT_FALSE(typeButton(f, "Image", "BWRear", true).isEnabled());
    ASSERT_TRUE(f.click("mButtonMergeOption"));
    EXPECT_EQ(f.record.bMergeOption, 1);
    // Back to the feeder: the merge option goes.
    ASSERT_TRUE(f.user.choose(popUp, itemTitled(popUp, "Feeder")));
    EXPECT_TRUE(f.get<ui::Button>("mButtonMergeOption").isHidden());
    EXPECT_TRUE(f.get<ui::PopUpButton>("mPopupPaperSize").isEnabled());
  }
}

TEST(ImageTab, AnotherSourceDropsThePreviewFileAndItsPicture) {
  PageFixture f("dialog-image-page");
  f.open();
  const std::filesystem::path preview = f.dialog->shared().previewFile();
  f.dataSource.onPreviewScan = [&preview] {
    imageio::Raster raster;
    raster.layout = imageio::PixelLayout::packed(40, 30, 8, 3);
    raster.pixels.assign(raster.layout.bytesPerRow * 30, 0x80);
    ASSERT_TRUE(imageio::writeImageFile(preview, imageio::FileKind::Tiff,
                                        imageio::BitmapImage(raster.view()))
                    .ok());
  };
  ASSERT_TRUE(f.click("mButtonPreview"));
  ASSERT_TRUE(f.user.click(f.drawer().get<ui::Button>("mButtonDrawerPreview")));
  const PreviewPane& pane = f.dialog->pages().preview;
  ASSERT_NE(pane.shownImage(), nullptr);
  auto& source = f.get<ui::PopUpButton>("mPopupScanSource");
  ASSERT_TRUE(f.user.chooseTitled(source, {"Flatbed"}));
  EXPECT_FALSE(std::filesystem::exists(preview));
  EXPECT_EQ(pane.shownImage(), nullptr) << "the view's redraw found no preview";
}

TEST(ImageTab, ChoosingTheSourceInForceChangesNothing) {
  PageFixture f("dialog-image-page");
  startOnProfile(f);
  f.record.bScanSource = 1;
  f.open();
  auto& popUp = f.get<ui::PopUpButton>("mPopupScanSource");
  ASSERT_TRUE(f.user.choose(popUp, itemTitled(popUp, "Feeder")));
  EXPECT_EQ(f.record.strProfile.view(), "A");
}

TEST(ImageTab, PaperListInBothPopups) {
  PageFixture f("dialog-image-page");
  f.record.bPaperSize = 2;
  f.open();
  auto& image = f.get<ui::PopUpButton>("mPopupPaperSize");
  auto& paper = f.get<ui::PopUpButton>("mPopupPaperTabPaperSize");
  EXPECT_EQ(titles(image), titles(paper));
  EXPECT_EQ(titles(image).front(), "Automatic");
  EXPECT_EQ(titles(image).back(), "Custom");
  EXPECT_EQ(image.titleOfSelectedItem(), "Letter");
  EXPECT_EQ(paper.titleOfSelectedItem(), "Letter");
  ASSERT_TRUE(f.user.choose(image, itemTitled(image, "A4")));
  EXPECT_EQ(f.record.bPaperSize, 6);
  EXPECT_EQ(paper.titleOfSelectedItem(), "A4");
}

TEST(ImageTab, LongPageChosenHereIsAppliedByThePaperPageWithBothSides) {
  // A model that halves the long page when both sides are scanned: the paper page applies the
  // choice with what it knows of the device and the type checks.
  for (const bool rear : {false, true}) {
    SCOPED_TRACE(rear);
    PageFixture f("dialog-image-page");
    f.info.usbID = kHalvedDuplexLongPageModels[0];
    f.record.wImageType = rear ? 0x01 | 0x02 : 0x01;
    f.record.bPaperSizeUnit = 0;  // inches: the length shown is the long page's kept one
    f.open();
    const ui::ArrayController& list = *f.window().arrayController("mPaperNameController");
    int longPage = -1;
    for (std::size_t i = 0; i < list.count(); ++i) {
      if (list.row(i).integer("mPageID").valueOr(-1) == kPageLong) longPage = static_cast<int>(i);
    }
    ASSERT_GE(longPage, 0);
    ASSERT_TRUE(f.user.choose(f.get<ui::PopUpButton>("mPopupPaperSize"), longPage));
    EXPECT_EQ(f.record.bPaperSize, kPageLong);
    EXPECT_EQ(f.get<ui::TextField>("mTextFieldLength").text(), rear ? "59.00" : "118.00");
  }
}

TEST(ImageTab, AddProfileWithAReplaceAnsweredCancelThenSelectAndDelete) {
  PageFixture f("dialog-image-page");
  f.dataSource.profiles = Strings{"Office"};
  f.open();
  auto& popUp = f.get<ui::PopUpButton>("mPopupProfile");
  EXPECT_EQ(titles(popUp), (Strings{"Office", "Custom"}));
  EXPECT_FALSE(f.get<ui::Button>("mButtonDeleteProfile").isEnabled());

  // An existing name: the replace question, answered Cancel, saves nothing.
  auto typeName = [](const std::string& name) {
    return [name](ui::Alert& alert) {
      ui::TextField& field = *alert.accessoryTextField();
      field.selectAll();
      ui::User().type(field, name);
      ui::User().click(alert.button(0));
    };
  };
  f.services.alerts.answer(typeName("Office"));
  f.services.alerts.answer(ui::kAlertFirstButtonReturn + 1);
  ASSERT_TRUE(f.click("mButtonAddProfile"));
  const auto& journal = f.services.alerts.journal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[0].informative, "Add Profile");
  EXPECT_EQ(journal[1].informative, "A profile of this name exists. Replace it?");
  EXPECT_EQ(std::count(f.dataSource.calls.begin(), f.dataSource.calls.end(),
                       "profileOperation(Office, 1)"),
            0);

  // A new name is saved and selected.
  f.services.alerts.answer(typeName("Home"));
  ASSERT_TRUE(f.click("mButtonAddProfile"));
  EXPECT_EQ(titles(popUp), (Strings{"Home", "Office", "Custom"}));
  EXPECT_EQ(popUp.titleOfSelectedItem(), "Home");
  EXPECT_EQ(f.record.strProfile.view(), "Home");
  EXPECT_TRUE(f.get<ui::Button>("mButtonDeleteProfile").isEnabled());

  // Selecting loads it; "Custom" only switches.
  f.dataSource.calls.clear();
  ASSERT_TRUE(f.user.choose(popUp, 1));
  EXPECT_EQ(f.dataSource.calls.at(0), "profileOperation(Office, 0)");
  EXPECT_TRUE(f.get<ui::Button>("mButtonDeleteProfile").isEnabled());
  ASSERT_TRUE(f.user.choose(popUp, 2));
  EXPECT_FALSE(f.get<ui::Button>("mButtonDeleteProfile").isEnabled());
  EXPECT_EQ(f.record.strProfile.view(), "Custom");

  // Delete both: the first left is loaded, then none is left and the record stays.
  for (const char* name : {"Home", "Office"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(f.user.choose(popUp, 0));
    ASSERT_EQ(popUp.titleOfSelectedItem(), name);
    ASSERT_EQ(f.record.strProfile.view(), name);
    f.dataSource.calls.clear();
    ASSERT_TRUE(f.click("mButtonDeleteProfile"));
    EXPECT_EQ(f.dataSource.calls.at(0), std::string("profileOperation(") + name + ", 2)");
  }
  EXPECT_EQ(std::count(f.dataSource.calls.begin(), f.dataSource.calls.end(),
                       "profileOperation(Custom, 0)"),
            0);
  EXPECT_EQ(titles(popUp), (Strings{"Custom"}));
  EXPECT_EQ(f.record.strProfile.view(), "Custom");
  EXPECT_FALSE(f.get<ui::Button>("mButtonDeleteProfile").isEnabled());
}

TEST(ImageTab, DeleteAnsweredCancelKeepsTheProfile) {
  PageFixture f("dialog-image-page");
  startOnProfile(f);
  f.open();
  f.services.alerts.answer(ui::kAlertFirstButtonReturn + 1);
  ASSERT_TRUE(f.click("mButtonDeleteProfile"));
  EXPECT_EQ(*f.dataSource.profiles, Strings{"A"});
  EXPECT_EQ(f.services.alerts.journal().back().style, 0);
}

}  // namespace
}  // namespace ferrolite::dialog::testing
