// The scan object against the real driver library, loaded by name as the data source loads it,
// and the simulated scanner: the binding (resource folder, module folder, missing library, a
// second binding), the ability and its long-page limits, the first-scan date, the exact scan
// parameters, gamma tables and hardware record the driver receives, the NVRAM services and the
// device list with two scanners.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "TestFolder.h"
#include "TestLog.h"
#include "ds/scan/common/Clock.h"
#include "ds/scan/scanner/TezFRLScan.h"
#include "ds/scan/scanner/UsbIO.h"
#include "sim/SimScanner.h"

using namespace ferrolite;
namespace fs = std::filesystem;

namespace {

constexpr const char* kLibraryName = "Vantrel.so";
constexpr uint32_t kUsbId = 0x0310F11E;  // product id high, vendor id low

fs::path gRoot;

// What the driver received, through wrappers around the bound entries.
struct Seen {
  std::vector<SCANPARAMETER_UNION> parameters;
  std::vector<long> parameterResults;
  std::vector<std::vector<uint8_t>> gammaTables;
  std::vector<std::vector<uint32_t>> gammaArguments;  // size, bits, filter, head
  std::vector<HWIMAGEPROCPARAMETER_UNION> hwRecords;
  std::vector<int> hwSides;
};
Seen gSeen;
KrEntries gReal;

long SetParameterSpy(uint32_t c, uint32_t* d, SCANPARAMETER_UNION* p) {
  gSeen.parameters.push_back(*p);
  const long r = gReal.KRSetParameter(c, d, p);
  gSeen.parameterResults.push_back(r);
  return r;
}
long SetGammaSpy(uint32_t c, uint32_t* d, uint8_t* t, uint32_t size, uint32_t bits, uint32_t filter,
                 uint32_t head) {
  gSeen.gammaTables.emplace_back(t, t + size);
  gSeen.gammaArguments.push_back({size, bits, filter, head});
  return gReal.KRSetGamma(c, d, t, size, bits, filter, head);
}
long SetHWProcessSpy(uint32_t c, uint32_t* d, HWIMAGEPROCPARAMETER_UNION* p, int side) {
  gSeen.hwRecords.push_back(*p);
  gSeen.hwSides.push_back(side);
  return gReal.KRSetHWProcess(c, d, p, side);
}
// Until the driver exports its job entries, a job that starts and a feeder with paper.
long StartJobStandIn(uint32_t, uint32_t*) { return 0; }
long SensorStandIn(uint32_t, uint32_t*, long*, uint8_t* status, int) {
  status[0] = 1;
  return 0;
}
long EmptyFeederSensor(uint32_t, uint32_t*, long*, uint8_t* status, int) {
  status[0] = 0;
  return 0;
}

class ScanDriver : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    gRoot = testsupport::freshTestFolder("ds-scan-driver");
    testlog::Prepare("ds-scan-driver");
    const fs::path description = gRoot / "scanners.txt";
    std::ofstream(description) << "serial SIMDS00001\nsheets 5\nscanner\nserial SIMDS00002\n"
                                  "product-id 0x0311\n";
    setenv("VANTREL_SIMULATOR", description.c_str(), 1);
    // The driver is loaded through links in other folders: it is told where the simulator is.
    setenv("VANTREL_SIM_LIBRARY", VANTREL_SIM_PATH, 1);
    // The data source's resources with the library, and the module's with it too.
    fs::create_directories(gRoot / "ds");
    fs::create_directories(gRoot / "module");
    fs::create_directories(gRoot / "empty");
    fs::create_symlink(VANTREL_LIBRARY_PATH, gRoot / "ds" / kLibraryName);
    fs::create_symlink(VANTREL_LIBRARY_PATH, gRoot / "module" / kLibraryName);
    setenv("FERROLITE_SCANNER_RESOURCES", (gRoot / "module").c_str(), 1);
  }
  void SetUp() override { gSeen = Seen{}; }

  bool Bind(TezFRLScan& scan, const fs::path& folder = gRoot / "ds") {
    return scan.initalizeScanner(kLibraryName, folder, kUsbId);
  }
  // The spies in front of the driver's entries.
  void Spy(TezFRLScan& scan) {
    KrEntries& e = scan.driverEntries();
    gReal = e;
    e.KRSetParameter = SetParameterSpy;
    e.KRSetGamma = SetGammaSpy;
    e.KRSetHWProcess = SetHWProcessSpy;
    if (e.KRStartJob == nullptr) e.KRStartJob = StartJobStandIn;
    if (e.KRSensorStatus == nullptr) e.KRSensorStatus = SensorStandIn;
  }
  // The first-scan date as the driver keeps it.
  void WriteFirstScanMonth(TezFRLScan& scan, uint16_t month) {
    uint16_t date[3] = {month, 2, 2024};
    ASSERT_EQ(scan.driverEntries().KRWriteNVMData(kControllerId, &gDeviceID, 3, 6, date, true), 0);
  }
};

TEST_F(ScanDriver, BindsFromTheResourceFolder) {
  TezFRLScan scan;
  ASSERT_TRUE(Bind(scan));
  EXPECT_TRUE(gNewKrapi);
  EXPECT_EQ(scan.libraryPath(), gRoot / "ds" / kLibraryName);
  EXPECT_EQ(scan.usbID(), "F11E0310");
  EXPECT_EQ(std::string(deviceAbility.pModelName), "SIM-ADF300");
  EXPECT_EQ(deviceAbility.BaseRes, 300);
  EXPECT_EQ(deviceAbility.ADFMaxWidth, 2550u);
  EXPECT_EQ(scan.adfAlignment(), 0);
  for (const auto* e :
       {(void*)scan.driverEntries().KRSetParameter, (void*)scan.driverEntries().KRReadNVMData,
        (void*)scan.driverEntries().KRGeneralOperation, (void*)scan.driverEntries().KRMemFree}) {
    EXPECT_NE(e, nullptr);
  }
}

TEST_F(ScanDriver, FallsBackToTheModuleFolderAndFailsWithoutALibrary) {
  {
    TezFRLScan scan;
    ASSERT_TRUE(Bind(scan, gRoot / "empty"));
    EXPECT_EQ(scan.libraryPath(), gRoot / "module" / kLibraryName);
  }
  setenv("FERROLITE_SCANNER_RESOURCES", (gRoot / "empty").c_str(), 1);
  TezFRLScan scan;
  EXPECT_FALSE(Bind(scan, gRoot / "empty"));
  EXPECT_FALSE(gNewKrapi);
  setenv("FERROLITE_SCANNER_RESOURCES", (gRoot / "module").c_str(), 1);
}

// A library of the older, unprefixed generation (here: any library without KRInitializeDriver)
// is refused.
TEST_F(ScanDriver, ALibraryWithoutTheCurrentEntriesIsRefused) {
  fs::create_directories(gRoot / "older");
  fs::create_symlink(VANTREL_SIM_PATH, gRoot / "older" / kLibraryName);
  TezFRLScan scan;
  EXPECT_FALSE(Bind(scan, gRoot / "older"));
  EXPECT_FALSE(gNewKrapi);
}

// The first binding's device is ended before the library goes: the exclusive device opens again.
TEST_F(ScanDriver, ASecondBindingEndsTheFirst) {
  TezFRLScan scan;
  ASSERT_TRUE(Bind(scan));
  ASSERT_TRUE(Bind(scan));
  EXPECT_EQ(scan.scannerError(), 0);
  EXPECT_EQ(std::string(deviceAbility.pModelName), "SIM-ADF300");
}

// The simulated scanner's long pages: colour and grey feeder entries at 300 dpi (35400 pixels)
// and 600 dpi (39600 pixels, 19800 at 300 dpi, capped to 11400).
TEST_F(ScanDriver, LongPageSlotsFromTheScanner) {
  TezFRLScan scan;
  ASSERT_TRUE(Bind(scan));
  EXPECT_EQ(scan.MaxLongPageRes(), 600);
  EXPECT_EQ(scan.maxLongLength(), 35400u);
  const uint32_t* slots = scan.LongPageLimited();
  const std::vector<uint32_t> feederGroup = {11400, 11400, 11400, 35400, 35400, 35400};
  for (int group : {12, 18}) {
    EXPECT_EQ(std::vector<uint32_t>(slots + group, slots + group + 6), feederGroup) << group;
  }
  for (int k : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}) EXPECT_EQ(slots[k], 0u) << k;
}

TEST_F(ScanDriver, FirstScanDateOutOfRangeIsRepaired) {
  const CivilTime today = localCivilTime(std::chrono::system_clock::now());
  struct Case {
    uint16_t month;
    uint16_t expected;
  };
  for (const Case c :
       {Case{0, uint16_t(today.month)}, Case{13, uint16_t(today.month)}, Case{12, 12}}) {
    SCOPED_TRACE(c.month);
    TezFRLScan scan;
    ASSERT_TRUE(Bind(scan));
    WriteFirstScanMonth(scan, c.month);
    ASSERT_TRUE(Bind(scan));
    EXPECT_EQ(scan.newNvmData().FirstScanMonth, c.expected);
    if (c.month != 12) {
      EXPECT_EQ(scan.newNvmData().FirstScanYear, uint16_t(today.year));
    }
  }
}

// ---- scan parameters --------------------------------------------------------------------------

struct ParameterCase {
  const char* what;
  std::function<void(ScanSetting&)> settings;
  std::function<void()> ability;  // changes to the scanner's ability copy
  std::function<void(SCANPARAMETER_UNION&)> expected;
  bool driverAccepts;
};

// Every field the settings do not reach, as the mapping leaves it.
SCANPARAMETER_UNION Base() {
  SCANPARAMETER_UNION p;
  std::memset(&p, 0, sizeof p);
  p.Version = 200;
  p.Size = 116;
  p.BaseRes = 300;
  p.Highlight = 255;
  p.Threshold = 128;
  return p;
}

ScanSetting FeederSettings() {
  ScanSetting s;
  s.wImageType = kImageColorFront;
  s.wColorRes = 200;
  s.wGrayRes = 200;
  s.wBWRes = 200;
  s.bScanSource = kSourceFeeder;
  s.bPaperSize = 1;  // a standard size: A4-like 2480 x 3508
  s.wWidth = 2480;
  s.wLength = 3508;
  return s;
}

std::string Differences(const SCANPARAMETER_UNION& want, const SCANPARAMETER_UNION& got) {
  std::string text;
  const auto* a = reinterpret_cast<const uint8_t*>(&want);
  const auto* b = reinterpret_cast<const uint8_t*>(&got);
  for (size_t i = 0; i < sizeof want; ++i) {
    if (a[i] != b[i])
      text += "byte " + std::to_string(i) + ": want " + std::to_string(a[i]) + " got " +
              std::to_string(b[i]) + "\n";
  }
  return text;
}

TEST_F(ScanDriver, ScanParametersTheDriverReceives) {
  TezFRLScan probe;
  ASSERT_TRUE(Bind(probe));
  // The scanner's overscan (1/600 inch, its optical resolution) read by tags 1, 3, 5, 7.
  uint16_t over[4] = {};
  const uint16_t tags[4] = {1, 3, 5, 7};
  for (int i = 0; i < 4; ++i)
    ASSERT_EQ(probe.driverEntries().KRGeneralOperation(kControllerId, &gDeviceID, 1, tags[i], 7, 1,
                                                       &over[i]),
              0);
  // The cases ask for device JPEG themselves; the driver takes it when the scanner offers it.
  const bool offersJpeg = (deviceAbility.ImageType & 0x11000) == 0x11000;
  deviceAbility.ImageType &= ~0x11000u;
  const DeviceAbility original = deviceAbility;

  auto automaticFeeder = [&](SCANPARAMETER_UNION& p, uint16_t res, uint32_t bpl) {
    p.PixelNum = res * 2550 / 300 + res * (over[2] + over[3]) / 600;
    p.PixelNum -= p.PixelNum % 8;
    p.Width = p.PixelNum * 300 / res;
    p.LineNum = res * 4200 / 300 + res * (over[0] + over[1]) / 600;
    p.Length = p.LineNum * 300 / res;
    p.BytesPerLine = p.PixelNum * bpl;
    p.TuneScanLengthTop = 0x8000 | over[0];
    p.TuneScanLengthBottom = 0x8000 | over[1];
    p.TuneScanLengthLeft = 0x8000 | over[2];
    p.TuneScanLengthRight = 0x8000 | over[3];
  };
  auto fixedColour200 = [](SCANPARAMETER_UNION& p) {
    p.XRes = p.YRes = 200;
    p.BitsPerPixel = 24;
    p.ScanMode = 4;
    p.Left = (2550 - 2480) / 2;
    p.PixelNum = 200 * 2480 / 300 / 8 * 8;  // 1653 -> 1648
    p.Width = p.PixelNum * 300 / 200;
    p.LineNum = 200 * 3508 / 300;
    p.Length = p.LineNum * 300 / 200;
    p.BytesPerLine = p.PixelNum * 3;
    p.CtrlMode = 2;
  };

  const std::vector<ParameterCase> cases = {
      {"feeder front colour, fixed size", [](ScanSetting&) {}, nullptr,
       [&](SCANPARAMETER_UNION& p) {
         fixedColour200(p);
         p.ScanMethod = 1;
       },
       true},
      {"flatbed rear only scans the rear types as front",
       [](ScanSetting& s) {
         s.bScanSource = kSourceFlatbed;
         s.wImageType = kImageGrayRear;
       },
       [] { deviceAbility.FlatbedMaxWidth = 2550, deviceAbility.FlatbedMaxLength = 3508; },
       [](SCANPARAMETER_UNION& p) {
         p.XRes = p.YRes = 200;
         p.BitsPerPixel = 8;
         p.ScanMode = 2;
         p.ScanMethod = 0;
         p.PixelNum = 1648;
         p.Width = 1648 * 300 / 200;
         p.LineNum = 2338;
         p.Length = 2338 * 300 / 200;
         p.BytesPerLine = 1648;
         p.CtrlMode = 3;
       },
       false},
      {"feeder duplex grey and black-and-white",
       [](ScanSetting& s) {
         s.wImageType = kImageGrayFront | kImageBWRear;
         s.wBWRes = 300;
       },
       nullptr,
       [&](SCANPARAMETER_UNION& p) {
         fixedColour200(p);
         p.XRes = p.YRes = 300;
         p.BitsPerPixel = 8;
         p.ScanMode = 2;
         p.ScanMethod = 4;
         p.PixelNum = 2480;
         p.Width = 2480;
         p.LineNum = 3508;
         p.Length = 3508;
         p.BytesPerLine = 2480;
       },
       true},
      {"a black-and-white side with colour drop-out 4 scans in colour",
       [](ScanSetting& s) {
         s.wImageType = kImageBWFront;
         s.bFBColorDropOut = 4;
       },
       nullptr,
       [&](SCANPARAMETER_UNION& p) {
         fixedColour200(p);
         p.ScanMethod = 1;
       },
       true},
      {"merged sides: automatic size, front types, duplex",
       [](ScanSetting& s) {
         s.bScanSource = kSourceMergeTwoSides;
         s.wImageType = kImageColorFront | kImageColorRear;
       },
       nullptr,
       [&](SCANPARAMETER_UNION& p) {
         p.XRes = p.YRes = 200;
         p.BitsPerPixel = 24;
         p.ScanMode = 4;
         p.ScanMethod = 4;
         automaticFeeder(p, 200, 3);
       },
       true},
      {"long page, 600 dpi colour: slot 12",
       [](ScanSetting& s) {
         s.bPaperSize = kPageLong;
         s.wColorRes = 600;
         s.dwLongWidth = 2400;
         s.dwLongLength = 20000;
       },
       nullptr,
       [&](SCANPARAMETER_UNION& p) {
         p.XRes = p.YRes = 600;
         p.BitsPerPixel = 24;
         p.ScanMode = 4;
         p.ScanMethod = 1;
         p.Left = (2550 - 2480) / 2;
         p.PixelNum = 4800;
         p.Width = 2400;
         p.LineNum = 600 * 11400 / 300;  // capped by slot 12
         p.Length = 11400;
         p.BytesPerLine = 4800 * 3;
         p.CtrlMode = 2;
         p.ExtParam0 = 0x400;
       },
       true},
      {"long page, 150 dpi grey: slot 23",
       [](ScanSetting& s) {
         s.bPaperSize = kPageLong;
         s.wImageType = kImageGrayFront;
         s.wGrayRes = 150;
         s.dwLongWidth = 2400;
         s.dwLongLength = 40000;
       },
       nullptr,
       [&](SCANPARAMETER_UNION& p) {
         p.XRes = p.YRes = 150;
         p.BitsPerPixel = 8;
         p.ScanMode = 2;
         p.ScanMethod = 1;
         p.Left = (2550 - 2480) / 2;
         p.PixelNum = 1200;
         p.Width = 2400;
         p.LineNum = 150 * 35400 / 300;  // capped by slot 23 (the 300 dpi limit inherited)
         p.Length = 35400;
         p.BytesPerLine = 1200;
         p.CtrlMode = 2;
         p.ExtParam0 = 0x400;
       },
       true},
      {"device JPEG on", [](ScanSetting&) {}, [] { deviceAbility.ImageType |= 0x11000; },
       [&](SCANPARAMETER_UNION& p) {
         fixedColour200(p);
         p.ScanMethod = 1;
         p.Compression = 132;
         p.ScanMode = 0x5000004;
       },
       offersJpeg},
      {"device JPEG switched off by the settings file", [](ScanSetting&) { gDisableJpeg = 1; },
       [] { deviceAbility.ImageType |= 0x11000; },
       [&](SCANPARAMETER_UNION& p) {
         fixedColour200(p);
         p.ScanMethod = 1;
       },
       true},
      {"custom resolution", [](ScanSetting&) {}, nullptr,
       [&](SCANPARAMETER_UNION& p) {
         fixedColour200(p);
         p.ScanMethod = 1;
         p.XRes = p.YRes = 240;
         p.PixelNum = 240 * 2480 / 300 / 8 * 8;
         p.Width = p.PixelNum * 300 / 240;
         p.LineNum = 240 * 3508 / 300;
         p.Length = p.LineNum * 300 / 240;
         p.BytesPerLine = p.PixelNum * 3;
       },
       true},
      {"length detection on a fixed size",
       [](ScanSetting& s) {
         s.bLengthDetection = 1;
         s.wLengthDetectionValue = 0;
       },
       nullptr,
       [&](SCANPARAMETER_UNION& p) {
         fixedColour200(p);
         p.ScanMethod = 1;
         p.DetectFeedLength = p.Length + 1;
       },
       true},
      {"ultrasonic with stop after multi-feed",
       [](ScanSetting& s) {
         s.bUltrasonic = 1;
         s.bStopAfterMultefeed = 1;
       },
       [] { deviceAbility.ScannerCapability2 = 4; },
       [&](SCANPARAMETER_UNION& p) {
         fixedColour200(p);
         p.ScanMethod = 1;
         p.ExtParam0 = 8 | 16;
       },
       true},
  };

  for (const ParameterCase& c : cases) {
    SCOPED_TRACE(c.what);
    gSeen = Seen{};
    gDisableJpeg = 0;
    deviceAbility = original;
    if (c.ability) c.ability();
    TezFRLScan& scan = probe;
    Spy(scan);
    scan.customScanRes(std::string(c.what) == "custom resolution" ? 240 : -1);
    ScanSetting s = FeederSettings();
    c.settings(s);
    scan.startScanJob(s);
    ASSERT_EQ(gSeen.parameters.size(), 1u);
    SCANPARAMETER_UNION want = Base();
    c.expected(want);
    EXPECT_EQ(std::memcmp(&want, &gSeen.parameters[0], sizeof want), 0)
        << Differences(want, gSeen.parameters[0]);
    if (c.driverAccepts) {
      EXPECT_EQ(gSeen.parameterResults[0], 0);
    } else {
      EXPECT_NE(gSeen.parameterResults[0], 0);
    }
    scan.driverEntries() = gReal;
    scan.endScanJob();
  }
  deviceAbility = original;
  gDisableJpeg = 0;
}

// The automatic source with an empty feeder: a scanner with a flatbed scans there; one without
// reports the empty feeder before any parameter reaches the driver.
TEST_F(ScanDriver, AnEmptyFeederTakesTheAutomaticSourceToAFlatbedOnlyWhereThereIsOne) {
  constexpr uint32_t kFeederFirst = 0x20, kFlatbed = 0x80;
  TezFRLScan scan;
  ASSERT_TRUE(Bind(scan));
  const DeviceAbility original = deviceAbility;
  struct Case {
    uint32_t deviceType;
    bool flatbedScan;
  };
  for (const Case c : {Case{kFeederFirst | 0x04, false}, Case{kFeederFirst | kFlatbed, true}}) {
    SCOPED_TRACE(c.deviceType);
    gSeen = Seen{};
    deviceAbility = original;
    deviceAbility.DeviceType = c.deviceType;
    deviceAbility.FlatbedMaxWidth = 2550, deviceAbility.FlatbedMaxLength = 3508;
    Spy(scan);
    scan.driverEntries().KRSensorStatus = EmptyFeederSensor;
    ScanSetting s = FeederSettings();
    s.bScanSource = kSourceAutomatic;
    const bool started = scan.startScanJob(s);
    if (c.flatbedScan) {
      ASSERT_EQ(gSeen.parameters.size(), 1u);
      EXPECT_EQ(gSeen.parameters[0].ScanMethod, 0) << "the flatbed";
    } else {
      EXPECT_FALSE(started);
      EXPECT_EQ(scan.scannerError(), kErrorNoPaper);
      EXPECT_TRUE(gSeen.parameters.empty());
    }
    scan.driverEntries() = gReal;
    scan.endScanJob();
  }
  deviceAbility = original;
}

TEST_F(ScanDriver, GammaTablesAndTheHardwareRecord) {
  TezFRLScan scan;
  ASSERT_TRUE(Bind(scan));
  Spy(scan);
  deviceAbility.ScannerCapability0 |= 0x01000000;  // crops in hardware
  ScanSetting s = FeederSettings();
  s.bPaperSize = kPageAutomatic;
  s.wColorRes = 300;
  scan.startScanJob(s);
  ASSERT_EQ(gSeen.gammaTables.size(), 3u);
  std::vector<uint8_t> identity(256);
  for (int i = 0; i < 256; ++i) identity[i] = uint8_t(i);
  for (uint32_t channel = 1; channel <= 3; ++channel) {
    EXPECT_EQ(gSeen.gammaTables[channel - 1], identity);
    EXPECT_EQ(gSeen.gammaArguments[channel - 1], (std::vector<uint32_t>{256, 8, channel, 0}));
  }
  ASSERT_EQ(gSeen.hwRecords.size(), 1u);
  HWIMAGEPROCPARAMETER_UNION want;
  std::memset(&want, 0, sizeof want);
  want.Version = 200;
  want.Size = 132;
  want.CropDeskew = 3;
  EXPECT_EQ(std::memcmp(&want, &gSeen.hwRecords[0], sizeof want), 0);
  EXPECT_EQ(gSeen.hwSides[0], 0);
  scan.driverEntries() = gReal;
  scan.endScanJob();
}

// ---- services ---------------------------------------------------------------------------------

TEST_F(ScanDriver, NvramReadsTheCurrentLayoutAsItIs) {
  TezFRLScan scan;
  ASSERT_TRUE(Bind(scan));
  NewNvmData nvm;
  ASSERT_TRUE(scan.readNewNVMData(&nvm));
  EXPECT_FALSE(scan.nvramV100());
  EXPECT_EQ(nvm.Version, 200);
  EXPECT_EQ(std::string(nvm.SN, 10), "SIMDS00001");
  EXPECT_EQ(nvm.ReverseRollerCount, 12345u);
}

TEST_F(ScanDriver, PowerTimesOnlyWithTheirCapability) {
  TezFRLScan scan;
  ASSERT_TRUE(Bind(scan));
  ASSERT_TRUE(scan.sendPowerTime(1, 120));
  NewNvmData nvm;
  ASSERT_TRUE(scan.readNewNVMData(&nvm));
  EXPECT_EQ(nvm.PowerOffTime, 120);
  ASSERT_TRUE(scan.sendPowerTime(0, 30));
  ASSERT_TRUE(scan.readNewNVMData(&nvm));
  EXPECT_EQ(nvm.PowerSavingTime, 30);

  deviceAbility.ScannerCapability1 &= ~0x60u;
  EXPECT_FALSE(scan.sendPowerTime(1, 60));
  EXPECT_FALSE(scan.sendPowerTime(0, 60));
  EXPECT_FALSE(scan.sendPowerTime(2, 60));
  ASSERT_TRUE(scan.readNewNVMData(&nvm));
  EXPECT_EQ(nvm.PowerOffTime, 120);
  EXPECT_EQ(nvm.PowerSavingTime, 30);
}

TEST_F(ScanDriver, FeederSensorAndGeneralOperations) {
  TezFRLScan scan;
  ASSERT_TRUE(Bind(scan));
  if (scan.driverEntries().KRSensorStatus != nullptr) {
    uint8_t paper = 0;
    ASSERT_TRUE(scan.getADFStatus(&paper, false));
    EXPECT_NE(paper, 0);
  }
  uint16_t head = 0;
  EXPECT_TRUE(scan.generalOperation(1, 1, 7, 1, &head));
}

TEST_F(ScanDriver, DeviceListHasBothScannersWithTheirPlaces) {
  UsbIO usb;
  ASSERT_TRUE(usb.Init());
  DEVICE list[UsbIO::kMaxEntries];
  uint32_t count = 0;
  ASSERT_TRUE(usb.GetDeviceList(list, &count));
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(list[0].VendorID, 0xF11E);
  EXPECT_EQ(list[0].ProductID, 0x0310);
  EXPECT_EQ(list[0].LocationID, 0x01100000u);
  EXPECT_EQ(list[1].ProductID, 0x0311);
  EXPECT_EQ(list[1].LocationID, 0x01200000u);
}

}  // namespace
