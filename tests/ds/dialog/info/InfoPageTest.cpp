// The information page: its rows by device kind and driver interface, the power-on hours,
// the scroll view, the language popup and the copyright year.
#include <gtest/gtest.h>

#include <cstring>

#include "DialogFixture.h"
#include "ds/dialog/info/InfoPage.h"
#include "ds/scan/records/NvmData.h"

namespace ferrolite::dialog {
namespace {

struct Info : testing::DialogFixture {
  ScannerInfo scanner;
  testing::FixedClock clock{{2031, 5, 6, 7, 8, 9}};
  Info() {
    scanner.modelName = "F-310";
    NewNvmData n{};
    n.PadScanCount = 11;
    n.RollerCount = 22;
    n.ReverseRollerCount = 33;
    n.PickupRollerCount = 44;
    n.ADFSingleModeScanCount = 1000;
    n.ADFDuplexModeScanCount = 500;
    n.MultifeedCount = 5;
    n.JamCount = 6;
    n.FletbedScanCount = 77;
    n.PowerOnTime = 90;
    dataSource.nvram.resize(sizeof n);
    std::memcpy(dataSource.nvram.data(), &n, sizeof n);
  }
  InfoPage build() {
    DialogContext c = ctx();
    return doInfoTabInit(c, scanner, Frame{10, 20, 300, 400}, clock);
  }
  static std::vector<std::string> names(const InfoPage& p) {
    std::vector<std::string> out;
    for (const InfoRow& r : p.rows) out.push_back(r.name);
    return out;
  }
};

const std::vector<std::string> kIdentity = {"ScannerModel?", "SerialNumber?", "Version?",
                                            "IODriverVer?",  "FWVer?",        "BornDate?",
                                            "FirstScan?"};

std::vector<std::string> with(std::vector<std::string> rows) {
  std::vector<std::string> all = kIdentity;
  all.insert(all.end(), rows.begin(), rows.end());
  return all;
}

TEST(InfoPage, RowsByDeviceKind) {
  struct Case {
    const char* what;
    uint32_t deviceType;
    bool ultrasonic, reverseRoller;
    std::vector<std::string> rows;
  } cases[] = {
      {"feeder and flatbed, duplex", 0xA4, true, false,
       with({"PadCount?", "RollerCount?", "ADFCount?", "MultifeedCount?", "JamCount?",
             "Flatbed Count", "PowerOnTime?"})},
      {"duplex feeder: 0x20 names no flatbed", 0x24, true, false,
       with({"PadCount?", "RollerCount?", "ADFCount?", "MultifeedCount?", "JamCount?",
             "PowerOnTime?"})},
      {"flatbed only", 0x80, true, false, with({"Flatbed Count", "PowerOnTime?"})},
      {"feeder without ultrasonic", 0x40, false, false,
       with({"PadCount?", "RollerCount?", "ADFCount?", "JamCount?", "PowerOnTime?"})},
      {"reverse and pickup rollers", 0x40, false, true,
       with({"ReverseCount?", "PickupCount?", "ADFCount?", "JamCount?", "PowerOnTime?"})},
  };
  for (const Case& c : cases) {
    Info f;
    f.current.DeviceType = c.deviceType;
    f.current.ScannerCapability0 = c.ultrasonic ? 1 : 0;
    f.extra.reverseRoller = c.reverseRoller;
    const InfoPage p = f.build();
    EXPECT_EQ(Info::names(p), c.rows) << c.what;
    EXPECT_EQ(f.dataSource.calls[f.dataSource.calls.size() - 1],
              "getNVMData(" + std::to_string(sizeof(NewNvmData)) + ")");
  }
}

TEST(InfoPage, CountersAndResets) {
  Info f;
  f.current.DeviceType = 0x44;  // a duplex feeder
  InfoPage p = f.build();
  EXPECT_EQ(p.rows[7], (InfoRow{"PadCount?", "11", kResetPad}));
  EXPECT_EQ(p.rows[8], (InfoRow{"RollerCount?", "22", kResetFeedRoller}));
  EXPECT_EQ(p.rows[9].info, "1500");  // single and duplex scans
  EXPECT_EQ(p.rows.back().info, "1.5 Hours?");
  EXPECT_EQ(p.rows[1].info, "");  // a null text shows empty
  f.current.DeviceType = 0x40;
  EXPECT_EQ(f.build().rows[9].info, "1000");
}

TEST(InfoPage, OlderInterfaceAndIdentityOnlyScanners) {
  Info f;
  f.useOlderInterface();
  f.older.ScanMethod = 0x40;
  f.extra.reverseRoller = true;  // no effect with the older interface
  NvmData n{};
  n.PadScanCount = 3;
  f.dataSource.nvram.assign(reinterpret_cast<uint8_t*>(&n),
                            reinterpret_cast<uint8_t*>(&n) + sizeof n);
  InfoPage p = f.build();
  EXPECT_EQ(Info::names(p), with({"PadCount?", "RollerCount?", "ADFCount?", "JamCount?"}));
  EXPECT_EQ(p.rows[7].info, "3");
  EXPECT_EQ(f.dataSource.calls.back(), "getNVMData(128)");

  Info sd;
  sd.extra.sdUsbScanner = true;
  p = sd.build();
  EXPECT_EQ(p.rows.size(), 5u);
  for (const std::string& call : sd.dataSource.calls) EXPECT_NE(call.rfind("getNVMData", 0), 0u);
}

TEST(InfoPage, ScrollViewLanguagesAndCopyright) {
  Info f;
  f.current.DeviceType = 0x40;
  f.current.ScannerCapability0 = 1;
  f.globals.gUINewKrapi = true;
  InfoPage p = f.build();  // 7 identity + pad, roller, ADF, multifeed, jam = 12 with hours
  EXPECT_EQ(p.rows.size(), 13u);
  EXPECT_EQ(p.scrollView, std::nullopt);
  f.current.ScannerCapability0 = 0;
  f.globals.gUINewKrapi = true;
  f.extra.reverseRoller = false;
  f.current.DeviceType = 0x80;
  p = f.build();  // 7 + flatbed + hours
  EXPECT_EQ(p.scrollView, (Frame{10, 417 - 27 * 9, 300, 27 * 9}));
  Info eleven;  // the older interface: no power-on row
  eleven.useOlderInterface();
  eleven.older.ScanMethod = 0x40;
  eleven.dataSource.languages = {{0, "English.lproj", "English"}, {3, "German.lproj", "Deutsch"}};
  eleven.dataSource.languageId = 3;
  p = eleven.build();
  ASSERT_EQ(p.rows.size(), 11u);
  EXPECT_EQ(p.scrollView, (Frame{10, 120, 300, 297}));
  EXPECT_FALSE(p.languageHidden);
  EXPECT_EQ(p.languageSelected, 1u);
  EXPECT_TRUE(f.build().languageHidden);  // one language
  EXPECT_EQ(p.copyright, "Copyright (C) 2031 Olmex. All rights reserved.");
  EXPECT_EQ(p.resetTitle, "Reset?");
}

TEST(InfoPage, PowerOnHours) {
  testing::TableBundle language;
  language.texts()["Hours"] = "hours";
  EXPECT_EQ(powerOnHours(0, language), "0.0 hours");
  EXPECT_EQ(powerOnHours(90, language), "1.5 hours");
  EXPECT_EQ(powerOnHours(600, language), "10.0 hours");
  EXPECT_EQ(powerOnHours(0xFFFFFFFF, language), "71582788.2 hours");
}

}  // namespace
}  // namespace ferrolite::dialog
