// The small services: TWAIN fixed-point numbers, library versions, the imprinter line through
// the services object, and the settings copy.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>

#include "tests/ds/scan/common/CommonTestSupport.h"

namespace ferrolite_test {
namespace {

using ferrolite::CivilTime;
using ferrolite::DateOrder;
using ferrolite::ScanSetting;
using ferrolite::TezFRLCommon;

TEST(CommonServices, Fix32IsWholeInTheLowWordAndFractionInTheHigh) {
  const std::pair<uint32_t, float> cases[] = {
      {0x00000000, 0.0f},     {0x00000001, 1.0f},      {0x80000001, 1.5f},
      {0x0000FFFF, -1.0f},    {0x8000FFFE, -1.5f},     {0x4000012C, 300.25f},
      {0x00007FFF, 32767.0f}, {0x00008000, -32768.0f}, {0xC0000008, 8.75f},
  };
  for (const auto& [fix32, value] : cases) {
    EXPECT_FLOAT_EQ(TezFRLCommon::FIX32Tofloat(fix32), value) << std::hex << fix32;
  }
  EXPECT_NEAR(TezFRLCommon::FIX32Tofloat(0xFFFF0000), 65535.0f / 65536.0f, 1e-7);
}

bool isLoaded(const char* path) {
  void* handle = dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

TEST(CommonServices, LibraryVersionIsTheLibrarysOwnEntry) {
  // The driver and the plug-ins export the same entry.
  EXPECT_EQ(TezFRLCommon::dylibVersion(VANTREL_LIBRARY_FILE), 0x00010000u);
  EXPECT_EQ(TezFRLCommon::dylibVersion(KRCOCOA_LIBRARY_FILE), 0x00010000u);
  EXPECT_EQ(TezFRLCommon::dylibVersion(VERSIONED_LIBRARY_FILE), 0x00020304u);
  // An entry of a library it needs is not its own.
  EXPECT_EQ(TezFRLCommon::dylibVersion(PLAIN_LIBRARY_FILE), 0u);
  // Loaded for the question only.
  EXPECT_FALSE(isLoaded(PLAIN_LIBRARY_FILE));
  EXPECT_FALSE(isLoaded(VERSIONED_LIBRARY_FILE));

  const std::filesystem::path folder = testsupport::freshTestFolder("dylib-version");
  std::ofstream(folder / "text.so") << "not a library";
  EXPECT_EQ(TezFRLCommon::dylibVersion(folder / "text.so"), 0u);
  EXPECT_EQ(TezFRLCommon::dylibVersion(folder / "missing.so"), 0u);
  EXPECT_EQ(TezFRLCommon::dylibVersion(""), 0u);
  std::filesystem::remove_all(folder);
}

class FixedOrder final : public ferrolite::LocaleDateOrder {
 public:
  explicit FixedOrder(DateOrder order) : order_(order) {}
  DateOrder dateOrder() const override { return order_; }

 private:
  DateOrder order_;
};

// 30 December 2024 lies in week 1 of 2025, and 1 January 2021 in week 53 of 2020: the printed
// year is the calendar year.
TEST(CommonServices, ImprinterLineForThreeLocalesAndTheTurnOfTheYear) {
  const CivilTime newYearsEve{2024, 12, 30, 23, 59, 58, 0};
  const CivilTime newYear{2021, 1, 1, 0, 0, 1, 0};
  struct Case {
    const char* locale;
    CivilTime now;
    uint8_t date, time, format;
    const char* line;
  };
  const Case cases[] = {
      {"en_US", newYearsEve, 1, 1, 3, "12/30/2024 23:59:58-Invoice 0007"},
      {"de_DE", newYearsEve, 4, 1, 3, "30.12.2024 23:59:58-Invoice 0007"},
      {"ja_JP", newYearsEve, 3, 2, 3, "2024-12-30 23 59 58-Invoice 0007"},
      {"en_US", newYear, 0, 0, 1, "01012021-Invoice 0007"},
      {"de_DE", newYear, 5, 0, 1, "01 01 2021-Invoice 0007"},
      {"ja_JP", newYear, 2, 0, 1, "2021,01,01-Invoice 0007"},
      {"ja_JP", newYear, 1, 1, 2, "00:00:01-Invoice 0007"},
      {"en_US", newYear, 1, 1, 0, "Invoice 0007"},
  };
  for (const Case& c : cases) {
    TezFRLCommon common(std::make_shared<FixedClock>(c.now),
                        std::make_shared<ferrolite::IcuDateOrder>(c.locale));
    EXPECT_EQ(common.imprinterString("Invoice ", "0007", c.date, c.time, c.format), c.line)
        << c.locale;
  }
  // Without ports: the machine's clock and locale give a line of the right shape.
  TezFRLCommon machine;
  EXPECT_EQ(machine.imprinterString("A", "1", 1, 1, 3).size(),
            std::string("00/00/0000 00:00:00-A1").size());
  EXPECT_EQ(TezFRLCommon(std::make_shared<FixedClock>(newYear),
                         std::make_shared<FixedOrder>(DateOrder::YearMonthDay))
                .imprinterString("", "", 1, 0, 1),
            "2021/01/01-");
}

TEST(CommonServices, SettingCopyKeepsTheImprinterTexts) {
  ScanSetting source;
  source.wImageType = 0x15;
  source.iRCContrast = -40;
  source.bPaperSize = 19;
  source.dwLongLength = 35400;
  source.iImageCount = -1;
  source.dwSelectBarcode = 0xDDFF;
  source.bPowerOff = 1;
  source.strProfile = "Invoices";
  source.strAlarm = "/usr/share/sounds/alarm.oga";
  source.strPrintText = "Source text";
  source.strPrintCounter = "0001";

  ScanSetting destination;
  destination.wImageType = 1;
  destination.bPowerOff = 0;
  destination.strProfile = "Custom";
  destination.strPrintText = "Kept text";
  destination.strPrintCounter = "0099";

  TezFRLCommon::settingCopy(&destination, source);
  EXPECT_EQ(destination.wImageType, 0x15);
  EXPECT_EQ(destination.iRCContrast, -40);
  EXPECT_EQ(destination.bPaperSize, 19);
  EXPECT_EQ(destination.dwLongLength, 35400u);
  EXPECT_EQ(destination.iImageCount, -1);
  EXPECT_EQ(destination.dwSelectBarcode, 0xDDFFu);
  EXPECT_EQ(destination.bPowerOff, 1);
  EXPECT_EQ(destination.strProfile.view(), "Invoices");
  EXPECT_EQ(destination.strAlarm.view(), "/usr/share/sounds/alarm.oga");
  EXPECT_EQ(destination.strPrintText.view(), "Kept text");
  EXPECT_EQ(destination.strPrintCounter.view(), "0099");
  // The texts are shared with the source, not copied, and the source is untouched.
  EXPECT_EQ(destination.strProfile.view().data(), source.strProfile.view().data());
  EXPECT_EQ(source.strPrintText.view(), "Source text");

  // A destination that had no texts keeps none; copying onto itself changes nothing.
  ScanSetting fresh;
  TezFRLCommon::settingCopy(&fresh, source);
  EXPECT_TRUE(fresh.strPrintText.isNull());
  EXPECT_TRUE(fresh.strPrintCounter.isNull());
  TezFRLCommon::settingCopy(&source, source);
  EXPECT_EQ(source.strProfile.view(), "Invoices");
  EXPECT_EQ(source.strPrintText.view(), "Source text");
  TezFRLCommon::settingCopy(nullptr, source);
}

}  // namespace
}  // namespace ferrolite_test
