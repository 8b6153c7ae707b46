// The feeder scan through the module's callbacks, in this process, against the simulated scanner
// and the real driver: pages as document files and as bands, the notifications, the pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "ModuleHarness.h"
#include "ica/KR_ICA_Mark2_200.h"
#include "ica/ScanUtils.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/imageio/ImageIO.h"
#include "sim/SimScanner.h"
#include "tests/support/TestLog.h"
#include "vantrel/button_event.h"

namespace icatest {
namespace {

using foundation::Array;
using foundation::Value;

constexpr uint32_t kLocation = 0x14200000;
// A feeder-only scanner with duplex that delivers raw pages.
const std::string kDescription =
    "serial SIMICA0002\nlocation-id 0x14200000\ninquiry-byte 55 0x64\nprofile raw\n"
    "paper-length 600\nsheets 3\n";

struct ScanRequest {
  int pixelType = 1;
  int resolution = 300;
  bool duplex = false;
  bool crop = false;
  bool files = true;
  bool bands = false;
  int64_t bandSize = 0;  // 0: none given
  const char* format = "public.tiff";
  int64_t oddOrientation = 1, evenOrientation = 1;
  int64_t width = 2, height = 2;  // inches
};

class ScanTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = testsupport::freshTestFolder("ica-scan");
    useSimulator(root_, kDescription);
    testlog::Prepare("ica-scan-log");
    resources_ = makeResources(root_ / "resources", testDriver());
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("FERROLITE_ICA_FRAMEWORK", ICA_FRAMEWORK_PATH, 1);
    setenv("LANG", "C", 1);
  }
  void SetUp() override {
    setenv("FERROLITE_SCANNER_RESOURCES", resources_.c_str(), 1);
    unsetenv("FERROLITE_SCANNER_OS_RELEASE");
    scanner().ClearFaults();
    scanner().LoadSheets(3);
    out_ = root_ / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(out_);
    fs::create_directories(out_);
    object_ = module_.object(module_.open(kLocation));
    ASSERT_NE(object_, 0u);
    ASSERT_EQ(module_.result(module_.call(ica::kCallOpenSession, object_)), 0);
    Dictionary unit;
    unit.set("selectedFunctionalUnitType", 3);
    module_.setParameters(object_, unit);
    module_.framework().clearNotifications();
  }
  void TearDown() override {
    module_.call(ica::kCallCloseSession, object_);
    module_.close(object_);
  }
  static sim::SimScanner& scanner() { return *sim::LoadedScanner(); }
  icamodule::KR_ICA_Mark2_200& device() {
    return dynamic_cast<icamodule::KR_ICA_Mark2_200&>(*icamodule::OpenScanner(kLocation));
  }

  void set(const ScanRequest& r) {
    Dictionary area;
    auto value = [&](const char* key, int64_t v) { area.ensureDictionary(key).set("value", v); };
    value("ICAP_PIXELTYPE", r.pixelType);
    value("ICAP_XRESOLUTION", r.resolution);
    value("ICAP_YRESOLUTION", r.resolution);
    value("ICAP_UNITS", 0);
    value("CAP_DUPLEXENABLED", r.duplex ? 1 : 0);
    Dictionary crop;
    crop.set("feature", "KR_Crop");
    crop.set("value", r.crop ? 1 : 0);
    area.set("vendor features", Array{Value(crop)});
    area.set("progressNotificationNoData", r.files);
    area.set("progressNotificationWithScanData", r.bands);
    if (r.bandSize) area.set("progressNotificationWithScanDataMaxBandSize", r.bandSize);
    area.set("document folder", out_.string());
    area.set("document name", "page");
    area.set("document format", r.format);
    area.set("oddPageOrientation", r.oddOrientation);
    area.set("evenPageOrientation", r.evenOrientation);
    area.set("offsetX", 0);
    area.set("offsetY", 0);
    area.set("width", r.width);
    area.set("height", r.height);
    ASSERT_EQ(module_.result(module_.setParameters(object_, area)), 0);
  }
  int64_t scan(const ScanRequest& r) {
    set(r);
    module_.framework().clearNotifications();
    return module_.result(module_.call(ica::kCallStart, object_));
  }
  std::vector<Dictionary> notes(const char* type) {
    std::vector<Dictionary> found;
    for (const Dictionary& n : module_.framework().notifications())
      if (n.string(kICANotificationTypeKey).valueOr("") == type) found.push_back(n);
    return found;
  }
  std::vector<std::string> documents() {
    std::vector<std::string> paths;
    for (const Dictionary& n : notes(kICANotificationTypeScannerPageDone))
      paths.push_back(n.string(kICANotificationScannerDocumentNameKey).valueOr(""));
    return paths;
  }

  static fs::path root_, resources_;
  fs::path out_;
  uint32_t object_ = 0;
  ModuleUnderTest module_;
};
fs::path ScanTest::root_, ScanTest::resources_;

// The gamma table the module applies by default.
std::array<uint8_t, 256> defaultGamma() {
  std::array<uint8_t, 256> table;
  icamodule::ScanUtils::buildGamma(table.data(), 1.8, 0);
  return table;
}

TEST_F(ScanTest, ThreeGreyPagesBecomeThreeTiffFilesWithTheGammaApplied) {
  ScanRequest r;
  EXPECT_EQ(scan(r), 0);
  std::vector<std::string> paths = documents();
  ASSERT_EQ(paths.size(), 3u);
  EXPECT_EQ(notes(kICANotificationTypeScannerScanDone).size(), 1u);
  EXPECT_TRUE(notes(kICANotificationTypeTransactionCanceled).empty());
  auto gamma = defaultGamma();
  for (uint32_t sheet = 1; sheet <= 3; ++sheet) {
    SCOPED_TRACE(sheet);
    imageio::DecodedImage image;
    ASSERT_TRUE(imageio::readImageFile(paths[sheet - 1], image).ok());
    EXPECT_EQ(image.kind, imageio::FileKind::Tiff);
    const imageio::PixelLayout& l = image.raster.layout;
    EXPECT_EQ(l.samplesPerPixel, 1);
    EXPECT_EQ(l.width, 600u);
    EXPECT_EQ(l.height, 600u);
    std::vector<uint8_t> side = sim::SheetSide(sheet, 0, l.height, l.width);
    for (uint32_t y = 0; y < l.height; y += 37) {
      for (uint32_t x = 0; x < l.width; x += 13)
        ASSERT_EQ(image.raster.row(y)[x], gamma[side[size_t(y) * l.width + x]]) << y << "," << x;
    }
  }
}

}  // namespace
}  // namespace icatest
