// What a host negotiates reaches the scanner: capability sets on the opened source write through
// into its settings record, and a job started from that record hands the driver the parameter
// record (the 116 bytes of KRSetParameter) the sets ask for, against the simulated scanner. And
// the scanner's last error, once shown, is what the custom operation reports.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "OpenSupport.h"
#include "ds/scan/scanner/TezFRLScan.h"

namespace {

using dstest::gSource;
using twainhost::Container;

// The driver's scan methods in the record.
constexpr uint16_t kMethodFeederFront = 1, kMethodDuplex = 4;

// The parameter records the driver received, through a wrapper around the bound entry.
std::vector<SCANPARAMETER_UNION> gParameters;
decltype(ferrolite::KrEntries::KRSetParameter) gRealSetParameter = nullptr;
long SetParameterSpy(uint32_t c, uint32_t* d, SCANPARAMETER_UNION* p) {
  gParameters.push_back(*p);
  return gRealSetParameter(c, d, p);
}

class WriteThrough : public dstest::OpenSourceTest {
 protected:
  void SetUp() override {
    dstest::OpenSourceTest::SetUp();
    scanner().LoadSheets(3);  // a job starts only with paper in the feeder
    Open();
    ferrolite::KrEntries& entries = gSource->scanObject->driverEntries();
    gRealSetParameter = entries.KRSetParameter;
    entries.KRSetParameter = SetParameterSpy;
  }
  // A job from the source's settings record as the sets left it: the driver's parameter record.
  SCANPARAMETER_UNION jobParameters() {
    gParameters.clear();
    ferrolite::TezFRLScan& scan = *gSource->scanObject;
    EXPECT_TRUE(scan.startScanJob(gSource->scanSetting)) << scan.scannerError();
    scan.endScanJob();
    EXPECT_EQ(gParameters.size(), 1u);
    return gParameters.empty() ? SCANPARAMETER_UNION{} : gParameters.back();
  }
};

// The source scans every pixel type in colour and converts in software (its "ColorScan" rule),
// so the pixel type and the tone stay out of the driver's record; resolution, area and sides
// are in it.
TEST_F(WriteThrough, CapabilitySetsReachTheNextJobsParameters) {
  using Check = std::function<void(const SCANPARAMETER_UNION&)>;
  struct Row {
    std::string name;
    std::vector<std::pair<uint16_t, Container>> sets;
    Check check;
  };
  const Row rows[] = {
      {"grey at 150 dpi",
       {{ICAP_PIXELTYPE, Container::OneValue(TWTY_UINT16, TWPT_GRAY)},
        {ICAP_XRESOLUTION, Container::OneFix32(150)}},
       [](const SCANPARAMETER_UNION& p) {
         EXPECT_EQ(p.XRes, 150);
         EXPECT_EQ(p.YRes, 150);
       }},
      {"black and white at 300 dpi",
       {{ICAP_PIXELTYPE, Container::OneValue(TWTY_UINT16, TWPT_BW)},
        {ICAP_YRESOLUTION, Container::OneFix32(300)}},
       [](const SCANPARAMETER_UNION& p) {
         EXPECT_EQ(p.XRes, 300);
         EXPECT_EQ(p.YRes, 300);
       }},
      {"colour at 200 dpi on a 4 x 5 inch frame",
       {{ICAP_PIXELTYPE, Container::OneValue(TWTY_UINT16, TWPT_RGB)},
        {ICAP_XRESOLUTION, Container::OneFix32(200)},
        {ICAP_FRAMES, Container::OneFrame(0, 0, 4, 5)}},
       [](const SCANPARAMETER_UNION& p) {
         EXPECT_EQ(p.XRes, 200);
         EXPECT_EQ(p.BitsPerPixel, 24);
         ASSERT_GT(p.BaseRes, 0);
         EXPECT_EQ(p.Width, 4u * p.BaseRes);
         EXPECT_EQ(p.Length, 5u * p.BaseRes);
         EXPECT_EQ(p.PixelNum, 4u * 200);
         EXPECT_EQ(p.LineNum, 5u * 200);
       }},
      {"duplex",
       {{CAP_DUPLEXENABLED, Container::OneValue(TWTY_BOOL, 1)}},
       [](const SCANPARAMETER_UNION& p) { EXPECT_EQ(p.ScanMethod, kMethodDuplex); }},
      {"simplex again",
       {{CAP_DUPLEXENABLED, Container::OneValue(TWTY_BOOL, 0)}},
       [](const SCANPARAMETER_UNION& p) { EXPECT_EQ(p.ScanMethod, kMethodFeederFront); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (const auto& [cap, value] : row.sets)
      ASSERT_TRUE(host.SetCapability(cap, value).ok()) << cap << "\n" << host.DescribeJournal();
    const SCANPARAMETER_UNION p = jobParameters();
    EXPECT_EQ(p.Version, 200);
    EXPECT_EQ(p.Size, 116);
    row.check(p);
  }
}

TEST_F(WriteThrough, TheCustomOperationReportsTheScanObjectsLastError) {
  gSource->scanObject->setScannerError(ferrolite::kErrorNoPaper);
  gSource->showAlert(std::nullopt);
  EXPECT_EQ(gSource->lastScannerError, ferrolite::kErrorNoPaper);
  const auto r = host.Custom(MSG_GET);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.value.error, 2015u);
  EXPECT_EQ(r.value.message,
            u"No documents are loaded in the scanner. Please try your scan again.");
  // A driver status is reported as its code, with the text the alert showed.
  gSource->scanObject->setScannerError(3201);
  gSource->showAlert(std::nullopt);
  const auto driver = host.Custom(MSG_GET);
  ASSERT_TRUE(driver.ok());
  EXPECT_EQ(driver.value.error, 3201u);
  EXPECT_FALSE(driver.value.message.empty());
}

}  // namespace
