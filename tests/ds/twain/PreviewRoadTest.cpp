// The preview's road from the scanner to the dialog's view: the data source's preview scan of
// the simulated scanner's preview page writes the preview file, and the dialog's decoder finds
// the page's margin, patches and marks where the scanner put them, at the file's resolution.
// The scanner's sides are preview pages in this program (one description per process).
#define DSTEST_SIM_DESCRIPTION \
  "serial SIM0000001\nsheets 3\npreview-page 10 200 180\nbackground front 40 40 40\n"
#include <gtest/gtest.h>

#include <cstdlib>

#include "OpenSupport.h"
#include "TransferSupport.h"
#include "ds/dialog/frame/MainDialog.h"
#include "ds/dialog/preview/PreviewGeometry.h"
#include "ds/dialog/preview/PreviewImage.h"
#include "ds/dialog/window/DialogWindows.h"
#include "ds/twain/DSPorts.h"
#include "ds/twain/DialogServices.h"
#include "ds/twain/HeadlessDialog.h"
#include "platform/ui/Controls.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Scripted.h"
#include "platform/ui/TabView.h"
#include "platform/ui/User.h"

namespace {

using dstest::gSource;
using namespace ferrolite;
namespace fs = std::filesystem;

// The data source's dialog on the headless widget layer, handed over as the enable hands it to
// the real window: the dialog edits the source's own record and calls the source itself.
class DrawerDialog final : public ferrolite::DialogController {
 public:
  explicit DrawerDialog(ferrolite::TezFRLDS& source)
      : source_(source), forDialog_(ferrolite::makeDialogServices(source)) {}
  void getDS(ferrolite::TezFRLDS*) override {}
  void getExtraParam(const ExtraParam& extra) override { extra_ = extra; }
  void guiSetting(const ScanSetting&, const PaperTbl& paperSizes, const void* ability,
                  std::size_t abilitySize, const std::string& scannerName, bool uiOnly,
                  const ScannerInfo& info) override {
    paper_ = paperSizes;
    if (abilitySize == sizeof(DeviceAbility)) current_ = static_cast<const DeviceAbility*>(ability);
    name_ = scannerName;
    uiOnly_ = uiOnly;
    info_ = info;
  }
  void setTitle(const std::string& title) override { title_ = title; }
  void makeKeyAndOrderFront() override {
    dialog = std::make_unique<ferrolite::dialog::MainDialog>(
        application, bridge,
        ferrolite::dialog::DialogPaths{source_.currentPath, source_.resourcePath}, nullptr);
    bridge.getDS(forDialog_.get());
    dialog->getExtraParam(extra_);
    dialog->guiSetting(&source_.scanSetting, &paper_, {current_, nullptr}, name_, uiOnly_ ? 1 : 0,
                       info_);
    dialog->show(title_);
  }
  void closeUI() override {
    if (dialog) dialog->hide();
  }
  void setMainButtonsStatus(bool enabled) override {
    if (dialog) dialog->setMainButtonsStatus(enabled);
  }
  void enableEnded(bool) override {}

  ui::ScriptedServices services;
  ui::Application application{services.services()};
  ferrolite::dialog::BridgeObject_V2 bridge;
  std::unique_ptr<ferrolite::dialog::MainDialog> dialog;

 private:
  ferrolite::TezFRLDS& source_;
  std::unique_ptr<ferrolite::dialog::DialogDataSource> forDialog_;
  ExtraParam extra_;
  PaperTbl paper_{};
  const DeviceAbility* current_ = nullptr;
  std::string name_, title_;
  bool uiOnly_ = false;
  ScannerInfo info_;
};

class DrawerFactory final : public ferrolite::DSFactory {
 public:
  std::unique_ptr<ferrolite::DialogController> makeMainDialog(
      ferrolite::TezFRLDS& source) override {
    auto made = std::make_unique<DrawerDialog>(source);
    last = made.get();
    return made;
  }
  std::unique_ptr<ferrolite::ProgressController> makeDialogBox(
      ferrolite::TezFRLDS& source) override {
    return headless_.makeDialogBox(source);
  }
  std::unique_ptr<ferrolite::ImagePlugIns> makeImagePlugIns() override {
    return headless_.makeImagePlugIns();
  }
  int runAlert(const ferrolite::AlertRequest& alert) override { return headless_.runAlert(alert); }
  DrawerDialog* last = nullptr;

 private:
  ferrolite::HeadlessFactory headless_;
};

class PreviewRoad : public dstest::TransferTest {
 protected:
  void SetUp() override {
    dstest::TransferTest::SetUp();
    ferrolite::replaceDSFactory(&factory_);
  }
  void TearDown() override {
    dstest::TransferTest::TearDown();
    ferrolite::replaceDSFactory(nullptr);
  }
  DrawerFactory factory_;
};

struct Spot {
  double x, y;  // inches
  uint8_t r, g, b;
};

TEST_F(PreviewRoad, ThePreviewFileShowsThePageWhereTheScannerPutIt) {
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  ds.previewScan();
  const fs::path file = bundle_ / (ds.scannerName + "_preview.tif");
  ASSERT_TRUE(fs::exists(file));
  std::string why;
  const auto image = ferrolite::dialog::readPreviewImage(file, why);
  ASSERT_TRUE(image) << why;
  ASSERT_GT(image->xResolution, 0);
  // The feeder's whole area: the view's rule then takes the feeder's length.
  const double lengthUnits = image->pointSize().height * 300 / 72;
  EXPECT_NEAR(lengthUnits, ds.deviceAbility.ADFMaxLength, 10);
  EXPECT_FALSE(ferrolite::dialog::previewIsFlatbedLength(image->pointSize().height,
                                                         ds.deviceAbility.FlatbedMaxLength));
  // The page's spots, the device's JPEG and the resolution change allowing for some drift.
  const Spot spots[] = {
      {0.1, 5, 40, 40, 40},  {0.6, 0.6, 255, 255, 255}, {1.5, 1.5, 220, 30, 40},
      {3, 1.5, 40, 160, 60}, {4.5, 1.5, 40, 70, 200},   {6, 1.5, 10, 200, 180},
      {1.5, 3.12, 0, 0, 0},  {6, 4.62, 0, 0, 0},        {1.5, 3.4, 255, 255, 255}};
  for (const Spot& s : spots) {
    SCOPED_TRACE(::testing::Message() << s.x << ", " << s.y);
    const ui::Color c = image->pixel(int(s.x * image->xResolution), int(s.y * image->yResolution));
    EXPECT_NEAR(c.red * 255, s.r, 40);
    EXPECT_NEAR(c.green * 255, s.g, 40);
    EXPECT_NEAR(c.blue * 255, s.b, 40);
  }
}

TEST_F(PreviewRoad, PreviewFromTheDialogShowsTheScannersPageInTheDrawer) {
  Open();
  ASSERT_TRUE(host.EnableDs(true).ok()) << host.DescribeJournal();
  ASSERT_NE(factory_.last, nullptr);
  DrawerDialog& d = *factory_.last;
  ASSERT_NE(d.dialog, nullptr);
  ferrolite::dialog::DialogShared& shared = d.dialog->shared();
  ui::User user;
  ASSERT_TRUE(user.click(shared.main<ui::Button>("mButtonPreview")));
  ASSERT_TRUE(user.click(shared.inDrawer<ui::Button>("mButtonDrawerPreview")));
  EXPECT_TRUE(fs::exists(shared.previewFile()));
  EXPECT_TRUE(shared.main<ui::Button>("mButtonScan").isEnabled());
  ferrolite::dialog::PreviewPane& pane = d.dialog->pages().preview;
  ASSERT_NE(pane.shownImage(), nullptr);
  // The page drawn at the view's scale: the red patch and a mark where the scale puts them.
  const auto& view = shared.inDrawer<ui::ImageView>("mPreviewView");
  const double in = pane.getMaxWidth() * 300.0 / gSource->deviceAbility.ADFMaxWidth;
  const auto red = view.picture().colorAt({1.5 * in, 1.5 * in}, true);
  ASSERT_TRUE(red);
  EXPECT_NEAR(red->red * 255, 220, 40);
  EXPECT_NEAR(red->green * 255, 30, 40);
  const auto mark = view.picture().colorAt({1.5 * in, 3.12 * in}, true);
  ASSERT_TRUE(mark);
  EXPECT_LT(mark->red, 0.2f);
  // Default deletes the preview, and the drawer shows no image.
  ASSERT_TRUE(user.click(shared.main<ui::Button>("mButtonDefault")));
  EXPECT_FALSE(fs::exists(shared.previewFile()));
  EXPECT_EQ(pane.shownImage(), nullptr);
  // Exit: one close request to the application.
  DropMessages();
  ASSERT_TRUE(user.click(shared.main<ui::Button>("mButtonCancel")));
  const auto messages = Messages(1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message, MSG_CLOSEDSREQ);
  ASSERT_TRUE(host.DisableDs().ok()) << host.DescribeJournal();
}

TEST_F(PreviewRoad, TheEyeDropperAndTheDataSourcesDropOutRemoveThePickedPatch) {
  Open();
  using twainhost::Container;
  ASSERT_TRUE(host.SetCapability(ICAP_PIXELTYPE, Container::OneValue(TWTY_UINT16, TWPT_GRAY)).ok());
  ASSERT_TRUE(host.EnableDs(true).ok()) << host.DescribeJournal();
  DrawerDialog& d = *factory_.last;
  ferrolite::dialog::DialogShared& shared = d.dialog->shared();
  ui::User user;
  // The grey front side with the custom drop-out (the page's own actions: its tab is not among
  // the pages this record shows).
  d.dialog->pages().image.selectImageType(2);
  ASSERT_EQ(shared.bridge.mScanModeSideSelect, 2);
  shared.properties.set("mColorDropout", int64_t{4});
  d.dialog->pages().colorDrop.colorDropColor();
  ASSERT_EQ(gSource->scanSetting.bFGColorDropOut, 4);
  ASSERT_TRUE(user.click(shared.main<ui::Button>("mButtonPreview")));
  ASSERT_TRUE(user.click(shared.inDrawer<ui::Button>("mButtonDrawerPreview")));
  auto& eyeDropper = shared.inDrawer<ui::Button>("mEyeDropperClick");
  ASSERT_TRUE(user.click(eyeDropper));
  auto& view = shared.inDrawer<ui::ImageView>("mPreviewView");
  ferrolite::dialog::PreviewPane& pane = d.dialog->pages().preview;
  const double in = pane.grummets();
  const ui::Point custom{6 * in, 1.5 * in}, red{1.5 * in, 1.5 * in};
  ASSERT_TRUE(user.mouseMoved(view, custom));
  const ScanSetting& record = gSource->scanSetting;
  EXPECT_NEAR(record.bFGCustomG, 200, 40);
  EXPECT_NEAR(record.bFGCustomB, 180, 40);
  // The press runs the data source's drop-out on the preview and shows the 8-bit result.
  ASSERT_TRUE(user.mouseDown(view, custom));
  const auto bmp = testsupport::ReadFile(pane.colorDropFile());
  ASSERT_GT(bmp.size(), 30u);
  EXPECT_EQ(uint8_t(bmp[28]), 8);
  auto shownLevel = [&](ui::Point p) {
    const auto c = view.picture().colorAt(p, true);
    return c ? c->green * 255 : -1.0f;
  };
  EXPECT_GT(shownLevel(custom), 200) << "the picked patch is dropped";
  EXPECT_LT(shownLevel(red), 160) << "the red patch stays";
  user.mouseUp(view, custom);
  // The preview again after the release.
  EXPECT_NEAR(view.picture().colorAt(red, true)->red * 255, 220, 40);
}

TEST_F(PreviewRoad, ScanFromTheDialogDeliversTheAreaDrawnOnThePreview) {
  Open();
  ASSERT_TRUE(host.EnableDs(true).ok()) << host.DescribeJournal();
  DrawerDialog& d = *factory_.last;
  ferrolite::dialog::DialogShared& shared = d.dialog->shared();
  ScanSetting& record = gSource->scanSetting;
  record.bPaperSize = 255;  // a custom size: the mouse draws the area
  ui::User user;
  ASSERT_TRUE(user.click(shared.main<ui::Button>("mButtonPreview")));
  ASSERT_TRUE(user.click(shared.inDrawer<ui::Button>("mButtonDrawerPreview")));
  // The paper page shows a small area away from the corner, as after a size typed there.
  record.wXPos = 1200, record.wYPos = 1800, record.wWidth = record.wLength = 300;
  d.dialog->pages().preview.setRetangleRect(1200, 1800, 300, 300);
  // A new area drawn from (1, 1) to (4, 4) inches of the view.
  auto& view = shared.inDrawer<ui::ImageView>("mPreviewView");
  const double in = d.dialog->pages().preview.grummets();
  ASSERT_TRUE(user.mouseDown(view, {1 * in, 1 * in}));
  user.mouseDragged(view, {2 * in, 2 * in});
  user.mouseDragged(view, {4 * in, 4 * in});
  user.mouseUp(view, {4 * in, 4 * in});
  EXPECT_NEAR(record.wXPos, 300, 2);
  EXPECT_NEAR(record.wYPos, 300, 2);
  EXPECT_NEAR(record.wWidth, 900, 2);
  EXPECT_NEAR(record.wLength, 900, 2);
  const uint16_t width = record.wWidth, length = record.wLength;
  // Scan: the transfer is ready, and the pages come in the drawn area's size.
  DropMessages();
  ASSERT_TRUE(user.click(shared.main<ui::Button>("mButtonScan")));
  const auto messages = Messages(1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message, MSG_XFERREADY);
  const std::vector<dstest::Image> images = TakeImages(dstest::Mechanism::kNative, ".tif", 1);
  ASSERT_FALSE(images.empty());
  const twainhost::ImageInfo& info = images[0].info;
  EXPECT_EQ(images[0].transferResult, TWRC_XFERDONE);
  EXPECT_NEAR(info.width, width * info.xResolution / 300, 8);
  EXPECT_NEAR(info.length, length * info.yResolution / 300, 8);
}

}  // namespace
