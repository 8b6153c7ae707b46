#pragma once
// The feeder scan through the module's callbacks, in this process, against a simulated scanner
// and the real driver: a host's request, the scan, and the notifications it gave.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <string>
#include <vector>

#include "ModuleHarness.h"
#include "ica/ScanUtils.h"
#include "platform/ica/Framework.h"
#include "platform/ica/ICADevices.h"
#include "sim/SimScanner.h"
#include "tests/support/TestLog.h"

namespace icatest {

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
  int64_t threshold = 0;          // black and white; 0: none given
  std::string make, model;        // the host's metadata; none when both are empty
};

// The gamma table the module applies by default.
inline std::array<uint8_t, 256> defaultGamma() {
  std::array<uint8_t, 256> table;
  icamodule::ScanUtils::buildGamma(table.data(), 1.8, 0);
  return table;
}

class FeederScanTest : public ::testing::Test {
 protected:
  // Once per program: the simulated bus of `description`, the driver's log, the resources.
  static void PrepareSuite(const char* name, const std::string& description) {
    root_ = testsupport::freshTestFolder(name);
    useSimulator(root_, description);
    testlog::Prepare((std::string(name) + "-log").c_str());
    resources_ = makeResources(root_ / "resources", testDriver());
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("FERROLITE_ICA_FRAMEWORK", ICA_FRAMEWORK_PATH, 1);
    setenv("LANG", "C", 1);
  }
  // Opens the scanner at `location` (the bus's `index`-th) with a session on its feeder, and a
  // fresh output folder named after the test.
  void OpenScanner(uint32_t location, size_t index = 0) {
    setenv("FERROLITE_SCANNER_RESOURCES", resources_.c_str(), 1);
    unsetenv("FERROLITE_SCANNER_OS_RELEASE");
    scanner_ = sim::LoadedScanner(index);
    ASSERT_NE(scanner_, nullptr);
    out_ = root_ / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(out_);
    fs::create_directories(out_);
    object_ = module_.object(module_.open(location));
    ASSERT_NE(object_, 0u);
    ASSERT_EQ(module_.result(module_.call(ica::kCallOpenSession, object_)), 0);
    Dictionary unit;
    unit.set("selectedFunctionalUnitType", 3);
    module_.setParameters(object_, unit);
    module_.framework().clearNotifications();
  }
  void CloseScanner() {
    if (object_ == 0) return;
    module_.call(ica::kCallCloseSession, object_);
    module_.close(object_);
    object_ = 0;
  }
  void TearDown() override { CloseScanner(); }
  sim::SimScanner& scanner() { return *scanner_; }

  void set(const ScanRequest& r) {
    Dictionary area;
    auto value = [&](const char* key, int64_t v) { area.ensureDictionary(key).set("value", v); };
    value("ICAP_PIXELTYPE", r.pixelType);
    value("ICAP_XRESOLUTION", r.resolution);
    value("ICAP_YRESOLUTION", r.resolution);
    value("ICAP_UNITS", 0);
    value("CAP_DUPLEXENABLED", r.duplex ? 1 : 0);
    if (r.threshold) value("ICAP_THRESHOLD", r.threshold);
    if (!r.make.empty() || !r.model.empty()) {
      Dictionary tiff;
      tiff.set("Make", r.make);
      tiff.set("Model", r.model);
      area.ensureDictionary("metadata").set("{TIFF}", tiff);
    }
    Dictionary crop;
    crop.set("feature", "KR_Crop");
    crop.set("value", r.crop ? 1 : 0);
    area.set("vendor features", foundation::Array{foundation::Value(crop)});
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
    firstSheet_ = scanner().Scanned().sheetsFed + 1;  // the sheets are numbered from the start
    module_.framework().clearNotifications();
    return module_.result(module_.call(ica::kCallStart, object_));
  }
  std::vector<Dictionary> notes(const char* type) { return module_.notes(type); }
  std::vector<std::string> documents() { return module_.documents(); }

  inline static fs::path root_, resources_;
  fs::path out_;
  uint32_t firstSheet_ = 1;  // the number of the scan's first sheet
  uint32_t object_ = 0;
  sim::SimScanner* scanner_ = nullptr;
  ModuleUnderTest module_;
};

}  // namespace icatest
