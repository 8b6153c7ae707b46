// The model classes: their factories, the operations each overrides, and the wiring of the
// model object to the derivation, stage lists and window builder.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SupportedModel.h"
#include "drv/device/DeviceDescription.h"
#include "drv/device/ScannerModels.h"

namespace {

struct ModelCase {
  const char* name;
  CScannerFactory create;
  uint32_t jpegBound;
  DeviceDuplexMode duplex;
  uint32_t flashCcd;
  bool feature65;
};

const ModelCase kModels[] = {
    {"CQM540", &CQM540::Create, 16, 0, 3, false},
    {"CQRS7000", &CQRS7000::Create, 16, 0, 3, false},
    {"CQW3434", &CQW3434::Create, 16, 0, 3, false},
    {"CQM310", &CQM310::Create, 32, 7, 0, true},
    {"CQM310_DPI200with300X200", &CQM310_DPI200with300X200::Create, 32, 7, 0, true},
    {"CPY272e", &CPY272e::Create, 32, 7, 0, true},
    {"CQM520PX", &CQM520PX::Create, 32, 7, 0, true},
    {"CQN70HT", &CQN70HT::Create, 32, 7, 0, false},
    {"CPY8150", &CPY8150::Create, 32, 7, 0, true},
    {"CSentrelH60", &CSentrelH60::Create, 32, 7, 0, true},
};

std::unique_ptr<CScanner> WithInquiry(CScannerFactory create) {
  std::unique_ptr<CScanner> model(create());
  std::vector<uint8_t> inquiry = SupportedInquiry();
  EXPECT_TRUE(model->SetInquiryData(inquiry.data(), static_cast<uint32_t>(inquiry.size())));
  return model;
}

}  // namespace

TEST(ScannerModels, EachClassAnswersWhatItOverrides) {
  for (const ModelCase& c : kModels) {
    SCOPED_TRACE(c.name);
    // Destroyed through the base: the classes' destructors run.
    std::unique_ptr<CScanner> model = WithInquiry(c.create);
    EXPECT_STREQ(model->Traits().name, c.name);  // the class's own traits
    EXPECT_EQ(model->GetJPEGSizeBoundary(), c.jpegBound);
    EXPECT_EQ(model->GetDuplexMode(), c.duplex);
    EXPECT_EQ(model->GetFlashRAMCCDType(), c.flashCcd);
    EXPECT_TRUE(model->GetQualityMode());
    EXPECT_FALSE(model->IsR2EOPStyle());
    EXPECT_EQ(model->GetFeature(kFeatureExtendedModes), c.feature65);
    EXPECT_TRUE(model->GetFeature(kFeaturePageModeContinuation));
    EXPECT_FALSE(model->GetFeature(kFeatureInquiryRetry));

    uint8_t flag = 9;
    uint32_t size = 9;
    model->SetDeMuxDuplex(0x1234);
    model->GetDeMuxDuplexInformation(&flag, &size);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(size, 0x1234u);

    // The models' transfer size 0x40000 is meant for 24-bit colour: whole whether the device
    // sends colour raw or as JPEG (feature 65).
    SCANPARAMETER_UNION p = Client(300, 4, 24);
    model->SetAPScanParameter(&p);
    model->TransformScanParameter(nullptr);
    EXPECT_EQ(model->GetTransferSize(), 0x40000u);
  }
}

// Transfer sizes worked out by hand: size x bits / 24 in general, the whole size for device
// JPEG, and one inch of lines (capped at the size) in continuous feeding (scan method 1, 4 or 5,
// control mode bit 2 set and bit 0 clear) unless feature 11 or 31 says otherwise.
TEST(ScannerModels, TransferSizeByModeDepthAndContinuousFeeding) {
  static const Device_Features kWithFeature11[] = {kFeatureTransferSizeIgnoresContinuous,
                                                   kFeatureNone};
  static const Device_Features kWithFeature31[] = {kFeatureContinuousTransfer, kFeatureNone};
  struct Case {
    const char* what;
    std::function<CScanner*()> create;
    uint16_t res;
    uint32_t mode;
    uint8_t bits;
    uint16_t method;
    uint16_t ctrl;
    uint32_t expected;
  };
  auto base = [] { return new CScanner; };                 // 0x10000
  auto qm540 = [] { return CQM540::Create(); };            // 0x40000
  auto f11 = [] { return new CScanner(kWithFeature11); };  // 0x10000
  auto f31 = [] { return new CScanner(kWithFeature31); };  // 0x10000
  const Case cases[] = {
      {"grey: 65536 x 8 / 24", base, 300, 2, 8, 4, 2, 21845},
      {"lineart: 65536 / 24", base, 300, 0, 1, 4, 2, 2730},
      {"device JPEG: whole", base, 300, 0x4000004, 24, 4, 2, 65536},
      {"model grey: 262144 x 8 / 24", qm540, 300, 2, 8, 4, 2, 87381},
      {"continuous grey: 300 x 2544 capped", qm540, 300, 2, 8, 4, 4, 262144},
      {"continuous lineart: 100 x 848 / 8", qm540, 100, 0, 1, 4, 4, 10600},
      {"continuous, method 1", qm540, 100, 0, 1, 1, 4, 10600},
      {"continuous, method 5", qm540, 100, 0, 1, 5, 4, 10600},
      {"page feeding (bit 0) is not continuous", qm540, 100, 0, 1, 4, 5, 10922},
      {"method 2 is not continuous", qm540, 100, 0, 1, 2, 4, 10922},
      {"continuous on the base: 10600 below 65536", base, 100, 0, 1, 4, 4, 10600},
      {"feature 11 keeps the depth rule", f11, 100, 0, 1, 4, 4, 2730},
      {"feature 31 keeps the depth rule", f31, 100, 0, 1, 4, 4, 2730},
      {"continuous device JPEG: whole", qm540, 300, 0x4000004, 24, 4, 4, 262144},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<CScanner> model(c.create());
    std::vector<uint8_t> inquiry = SupportedInquiry();
    ASSERT_TRUE(model->SetInquiryData(inquiry.data(), static_cast<uint32_t>(inquiry.size())));
    SCANPARAMETER_UNION p = Client(c.res, c.mode, c.bits);
    p.ScanMethod = c.method;
    p.CtrlMode = c.ctrl;
    model->SetAPScanParameter(&p);
    model->TransformScanParameter(nullptr);
    EXPECT_EQ(model->GetTransferSize(), c.expected);
  }
}

TEST(ScannerModels, BaseObjectKeepsTheBaseBehaviour) {
  CScanner base;
  EXPECT_EQ(base.GetJPEGSizeBoundary(), 16u);
  EXPECT_EQ(base.GetFlashRAMCCDType(), 0u);
  EXPECT_FALSE(base.GetFeature(kFeatureBackgroundLines));
  uint8_t flag = 9;
  uint32_t size = 9;
  base.SetDeMuxDuplex(64);
  base.GetDeMuxDuplexInformation(&flag, &size);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(size, 0u);
  // Default transfer size 0x10000, 8-bit grey: a third of it.
  SCANPARAMETER_UNION p = Client(300, 2, 8);
  base.SetAPScanParameter(&p);
  base.TransformScanParameter(nullptr);
  EXPECT_EQ(base.GetTransferSize(), 21845u);
  uint32_t count = 7;
  CImageProcess_InitializeParameter dummy{};
  CImageProcess_InitializeParameter* list = &dummy;
  base.GetImageProcessVariable(4, &count, &list);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(list, nullptr);
}

TEST(ScannerModels, InquiryOfAnotherVersionIsRefusedAndLongOnesAreCut) {
  CQM310 model;
  std::vector<uint8_t> inquiry = SupportedInquiry();
  inquiry[2] = 1;
  EXPECT_FALSE(model.SetInquiryData(inquiry.data(), 265));
  EXPECT_EQ(model.InquiryData()[16], 0);  // nothing kept
  std::vector<uint8_t> longer(400, 0x5A);
  std::copy(inquiry.begin(), inquiry.begin() + 128, longer.begin());
  longer[2] = 2;
  longer[3] = 0x01;  // 400 bytes announced
  longer[4] = 0x90;
  EXPECT_TRUE(model.SetInquiryData(longer.data(), static_cast<uint32_t>(longer.size())));
  uint8_t copy[kInquiryCopySize];
  model.GetInquiryData(copy);
  EXPECT_EQ(copy[264], 0x5A);
  // A block shorter than its size field says is read only as far as it goes.
  std::vector<uint8_t> shortBlock(inquiry.begin(), inquiry.begin() + 100);
  shortBlock[2] = 2;
  shortBlock[100 - 1] = 0x77;
  EXPECT_TRUE(model.SetInquiryData(shortBlock.data(), 100));
  EXPECT_EQ(model.InquiryData()[99], 0x77);
  EXPECT_EQ(model.InquiryData()[100], 0);
}

TEST(ScannerModels, DeviceTableCreatesTheSupportedModel) {
  ASSERT_NE(DeviceConfigurationArray[0].GetType(), krbus::kNone);
  std::unique_ptr<CScanner> model(DeviceConfigurationArray[0].Create());
  ASSERT_NE(model, nullptr);
  EXPECT_NE(dynamic_cast<CQM310_DPI200with300X200*>(model.get()), nullptr);
}

// The supported model at 200 dpi scans 300 across and 200 along, as device JPEG grey, and the
// job's lists and window follow the device-side record.
TEST(ScannerModels, SupportedModelDerivesItsWindowAndStages) {
  std::unique_ptr<CScanner> model = WithInquiry(&CQM310_DPI200with300X200::Create);
  SCANPARAMETER_UNION p = Client(200, 2, 8);
  model->SetAPScanParameter(&p);
  model->TransformScanParameter(nullptr);
  SCANPARAMETER_UNION dev;
  model->GetNewScanParameter(&dev);
  EXPECT_EQ(dev.XRes, 300);
  EXPECT_EQ(dev.YRes, 200);
  EXPECT_EQ(dev.ScanMode, 0x6000002u);
  EXPECT_TRUE(model->GetDeviceDerivation().blNeedsScaling);
  EXPECT_EQ(model->GetLineBoundary(), 8u);  // inquiry byte 118 for 0x6000002

  KR_WindowDataSet_VER2 window;
  model->GetWindowDescriptor(nullptr, &window);
  EXPECT_EQ(window.Data[23] << 8 | window.Data[24], 300);
  EXPECT_EQ(window.Data[25] << 8 | window.Data[26], 200);
  EXPECT_EQ(window.Data[46], 4);

  uint32_t count = 0;
  CImageProcess_InitializeParameter* list = nullptr;
  model->GetImageProcessVariable(1, &count, &list);
  ASSERT_GE(count, 1u);
  EXPECT_EQ(list[0].dwStageId, static_cast<uint32_t>(IP_BiLinearScale));
  model->GetIRUVImageProcessVariable(&count, &list);
  EXPECT_EQ(count, 0u);

  // The client's bound for grey is the device's grey bound (no feature 28).
  EXPECT_EQ(model->GetPixelBoundaryAPSide(nullptr, &p), 8u);
}

TEST(ScannerModels, QN70HTBuildsItsIRUVList) {
  std::unique_ptr<CScanner> model = WithInquiry(&CQN70HT::Create);
  SCANPARAMETER_UNION p = Client(250, 0x8000002, 8);
  model->SetAPScanParameter(&p);
  model->TransformScanParameter(nullptr);
  uint32_t count = 0;
  CImageProcess_InitializeParameter* list = nullptr;
  model->GetIRUVImageProcessVariable(&count, &list);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(list[0].dwStageId, static_cast<uint32_t>(IP_BiLinearScale));
}

TEST(ScannerModels, OnlyPY272eReshapesGammaTables) {
  SCANPARAMETER_UNION p = Client(300, 2, 8);
  p.ColorFilter = 2;
  std::vector<uint8_t> ramp(512);
  for (int i = 0; i < 256; ++i) ramp[2 * i + 1] = static_cast<uint8_t>(i);
  std::vector<uint8_t> table = ramp;
  std::unique_ptr<CScanner> plain(CQM310::Create());
  plain->AdjustSendingGammaTable(table.data(), 0, 512, &p);
  EXPECT_EQ(table, ramp);
  std::unique_ptr<CScanner> py(CPY272e::Create());
  py->AdjustSendingGammaTable(table.data(), 0, 512, &p);
  EXPECT_NE(table, ramp);
  EXPECT_EQ(table[2 * 200 + 1], 255);  // above the highlight level 71
}
