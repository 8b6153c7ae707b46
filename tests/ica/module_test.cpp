// The module through its callbacks, in this process, against the simulated scanner and the real
// driver library: opening by location id, the driver calls it makes, the host's requests and
// messages, the display texts as the device receives them, the scan entry's early answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "ModuleHarness.h"
#include "ica/ScanUtils.h"
#include "platform/foundation/SystemLog.h"
#include "sim/SimScanner.h"
#include "tests/support/TestLog.h"

namespace icatest {
namespace {

constexpr uint32_t kLocation = 0x14100000;
constexpr uint32_t kNoDeviceThere = 0x0F000000;
// A feeder-only scanner with duplex (device type 0x64) and a text display.
const std::string kDescription =
    "serial SIMICA0001\nlocation-id 0x14100000\ninquiry-byte 55 0x64\ninquiry-byte 96 0x10\n";

class ModuleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = testsupport::freshTestFolder("ica-module");
    useSimulator(root_, kDescription);
    testlog::Prepare("ica-module-log");
    resources_ = makeResources(root_ / "resources", testDriver());
    setenv("FERROLITE_SCANNER_RESOURCES", resources_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("LANG", "C", 1);
  }
  void SetUp() override {
    setenv("FERROLITE_SCANNER_RESOURCES", resources_.c_str(), 1);
    setenv("LANG", "C", 1);
  }
  static sim::SimScanner& scanner() { return *sim::LoadedScanner(); }
  // The driver calls since the last clearDriverLog.
  static std::vector<std::string> driverCalls() {
    std::istringstream log(testlog::Since(logMark_));
    std::vector<std::string> calls;
    std::string line;
    std::regex entry("=> (KR[A-Za-z]+)");
    std::smatch m;
    while (std::getline(log, line))
      if (std::regex_search(line, m, entry)) calls.push_back(m[1]);
    return calls;
  }
  static void clearDriverLog() { logMark_ = testlog::Mark(); }

  static fs::path root_, resources_;
  static size_t logMark_;
  ModuleUnderTest module_;
};
fs::path ModuleTest::root_, ModuleTest::resources_;
size_t ModuleTest::logMark_ = 0;

TEST_F(ModuleTest, OpeningFillsTheRecordAndCallsTheDriverInOrder) {
  foundation::SystemLogCapture log;
  clearDriverLog();
  Dictionary opened = module_.open(kLocation);
  ASSERT_EQ(module_.result(opened), 0);
  ScannerObjectInfo info{};
  ASSERT_TRUE(ica::objectInfoFromBytes(*opened.data(ica::kOutObjectInfo), &info));
  EXPECT_EQ(uint32_t(info.icaObjectInfo.objectType), kICADeviceType);
  EXPECT_EQ(uint32_t(info.icaObjectInfo.objectSubtype), kICADeviceScanner);
  EXPECT_STREQ(info.name, "SIM-ADF300") << "the model, no vendor";
  EXPECT_EQ(uint32_t(info.thumbnailSize), 1u);
  EXPECT_EQ(uint32_t(info.dataSize), 0u);
  EXPECT_EQ(uint32_t(info.flags), 0u);
  EXPECT_TRUE(std::regex_match(std::string(info.creationDate),
                               std::regex(R"(\d{4}:\d\d:\d\d \d\d:\d\d:\d\d)")))
      << info.creationDate;
  EXPECT_TRUE(log.contains("--> _ICD_ScannerOpenUSBDevice\n"));
  EXPECT_TRUE(log.contains("<-- _ICD_ScannerOpenUSBDevice\n"));
  EXPECT_TRUE(log.contains("FWVersion: 1.00"));

  std::vector<std::string> calls = driverCalls();
  // The device's language read, the language and the seven texts of "[English]" in between.
  std::vector<std::string> expected = {"KRInitializeDriver", "KRInitializeDevice",
                                       "KRGetDeviceAbility"};
  expected.insert(expected.end(), 9, "KRGeneralOperation");
  expected.insert(expected.end(), {"KRMemFree", "KRTerminateDevice", "KRTerminateDriver"});
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(icamodule::OpenScannerCount(), 1u);
  module_.close(module_.object(opened));
}

TEST_F(ModuleTest, SecondOpenUnknownLocationAndMissingOrIncompleteLibraryGiveBadParameter) {
  Dictionary first = module_.open(kLocation);
  ASSERT_EQ(module_.result(first), 0);
  EXPECT_EQ(module_.result(module_.open(kLocation)), kICABadParameterErr);
  EXPECT_EQ(icamodule::OpenScannerCount(), 1u) << "the first object stays";
  EXPECT_EQ(module_.result(module_.call(ica::kCallPeriodicTask, module_.object(first))), 0);
  EXPECT_EQ(module_.result(module_.open(kNoDeviceThere)), kICABadParameterErr);
  module_.close(module_.object(first));
  uint16_t vid = 0, pid = 0;
  EXPECT_EQ(icamodule::ScanUtils::deviceIDByLocationID(kLocation, &vid, &pid), 0);
  EXPECT_EQ(vid, 0xF11E);
  EXPECT_EQ(pid, 0x0310);
  EXPECT_EQ(icamodule::ScanUtils::deviceIDByLocationID(kNoDeviceThere, &vid, &pid), 1000);

  foundation::SystemLogCapture log;
  fs::path bare = makeResources(root_ / "no-driver", {});
  setenv("FERROLITE_SCANNER_RESOURCES", bare.c_str(), 1);
  EXPECT_EQ(module_.result(module_.open(kLocation)), kICABadParameterErr);
  EXPECT_TRUE(log.contains((bare / "Vantrel.so").string() + " not found"));

  fs::path called = root_ / "called.txt";
  fs::remove(called);
  setenv("ICA_TEST_CALLED_LOG", called.c_str(), 1);
  fs::path lacking = makeResources(root_ / "lacking", LACKING_DRIVER_PATH);
  setenv("FERROLITE_SCANNER_RESOURCES", lacking.c_str(), 1);
  EXPECT_EQ(module_.result(module_.open(kLocation)), kICABadParameterErr);
  EXPECT_TRUE(log.contains("Vantrel lacks the export KRMemFree"));
  EXPECT_FALSE(fs::exists(called)) << "no entry of a refused library is called";
  EXPECT_EQ(icamodule::OpenScannerCount(), 0u);
}

TEST_F(ModuleTest, ObjectInfoPastTheEndAndTheObjectList) {
  foundation::SystemLogCapture log;
  uint32_t object = module_.object(module_.open(kLocation));
  Dictionary request;
  request.set(ica::kArgIndex, 0);
  EXPECT_EQ(module_.result(module_.call(ica::kCallGetObjectInfo, object, request)),
            kICANoSuchObjectErr);
  EXPECT_TRUE(log.contains("--> _ICD_ScannerGetObjectInfo\n"));
  EXPECT_FALSE(log.contains("<-- _ICD_ScannerGetObjectInfo\n"));
  EXPECT_EQ(module_.result(module_.call(ica::kCallGetObjectInfo, 0xDEAD, request)),
            kICABadParameterErr)
      << "no record";
  module_.close(object);
}

TEST_F(ModuleTest, Messages) {
  uint32_t object = module_.object(module_.open(kLocation));
  struct Case {
    const char* type;
    std::size_t size;
    int64_t result;
    bool completed;
    int64_t blockResult;
  } cases[] = {
      {"area", 0, 0, true, 0},
      {"btn?", 4, 0, true, 0},
      {"btn?", 2, kICABadParameterErr, false, 0},
      {"del1", 0, kICABadParameterErr, false, 0},
      {"zzzz", 0, kICABadParameterErr, false, kICABadParameterErr},
  };
  for (const Case& c : cases) {
    Dictionary request;
    request.set(ica::kArgMessageType, c.type);
    if (c.size) request.set(ica::kArgData, foundation::Data(c.size, 0xEE));
    Dictionary response = module_.call(ica::kCallSendMessage, object, request);
    SCOPED_TRACE(c.type);
    EXPECT_EQ(module_.result(response), c.result);
    EXPECT_EQ(response.integer(ica::kOutBlockErr).valueOr(1), c.result) << "bytes 0-1";
    EXPECT_EQ(response.boolean(ica::kOutCompleted).valueOr(true), c.completed);
    EXPECT_EQ(response.integer(ica::kOutBlockResult).valueOr(1), c.blockResult) << "bytes 54-57";
  }
  Dictionary request;
  request.set(ica::kArgMessageType, "area");
  EXPECT_EQ(module_.result(module_.call(ica::kCallSendMessage, 0xDEAD, request)),
            kICABadParameterErr);
  module_.close(object);
}

TEST_F(ModuleTest, PropertiesForTheHost) {
  uint32_t object = module_.object(module_.open(kLocation));
  Dictionary response = module_.call(ica::kCallAddProperties, object);
  ASSERT_EQ(module_.result(response), 0);
  Dictionary properties = *response.dictionary(ica::kOutProperties);
  EXPECT_EQ(properties.string(kICAUserAssignedDeviceNameKey).valueOr(""), "SIM-ADF300");
  EXPECT_EQ(properties.integer("supportsICARawFileFormat").valueOr(0), 1);
  ASSERT_TRUE(properties.array("Buttons"));
  EXPECT_EQ(properties.array("Buttons")->at(0).string().valueOr(""), "scan");
  EXPECT_EQ(module_.result(module_.call(ica::kCallAddProperties, 0xDEAD)), kICABadParameterErr);
  module_.close(object);
}

TEST_F(ModuleTest, TheFeederUnitDescribesTheDevice) {
  uint32_t object = module_.object(module_.open(kLocation));
  Dictionary unit = module_.device(object);
  auto value = [&](const char* key) { return unit.dictionary(key)->find("value"); };
  EXPECT_EQ(value("ICAP_XNATIVERESOLUTION")->integer().valueOr(0), 600);
  EXPECT_EQ(value("ICAP_PHYSICALWIDTH")->integer().valueOr(0), 5100);
  EXPECT_EQ(value("ICAP_PHYSICALHEIGHT")->integer().valueOr(0), 8400);
  std::vector<int64_t> resolutions, sizes;
  for (const auto& v : *value("ICAP_XRESOLUTION")->array()) resolutions.push_back(*v.integer());
  for (const auto& v : *value("ICAP_SUPPORTEDSIZES")->array()) sizes.push_back(*v.integer());
  EXPECT_EQ(resolutions, (std::vector<int64_t>{100, 150, 200, 240, 300, 400, 600}));
  EXPECT_EQ(sizes, (std::vector<int64_t>{1, 2, 3, 4, 5, 10, 13, 53}));
  EXPECT_TRUE(unit.contains("CAP_DUPLEX")) << "the device scans both sides";
  auto units = unit.dictionary("functionalUnits")->array("availableFunctionalUnitTypes");
  ASSERT_EQ(units->size(), 1u);
  EXPECT_EQ(*units->at(0).integer(), 3);
  auto crop = unit.array("vendor features")->at(0).dictionary();
  EXPECT_EQ(crop->string("feature").valueOr(""), "KR_Crop");
  EXPECT_EQ(crop->integer("current").valueOr(-1), 1);
  EXPECT_EQ(crop->string("label").valueOr(""), "Automatic image cropping");
  module_.close(object);
}

// The display texts as the device got them: SEND of data type 0xE0 (language) and 0xE2 (texts).
struct DisplayTraffic {
  std::vector<std::vector<uint8_t>> languages, texts;
};
DisplayTraffic displayTraffic(const sim::SimScanner& scanner) {
  DisplayTraffic t;
  for (const sim::Exchange& e : scanner.CommandLog()) {
    if (e.dataOut.empty()) continue;
    uint16_t type = uint16_t(e.block[3] << 8 | e.block[4]);
    if (type == 0xE0) t.languages.push_back(e.dataOut);
    if (type == 0xE2) t.texts.push_back(e.dataOut);
  }
  return t;
}
std::u16string textOf(const std::vector<uint8_t>& entry) {
  std::u16string text;
  for (std::size_t i = 0; i < entry[8] / 2u; ++i)
    text += char16_t(entry[11 + 2 * i] << 8 | entry[12 + 2 * i]);
  return text;
}
uint32_t languageOf(const std::vector<uint8_t>& block) {
  return uint32_t(block[4]) << 24 | uint32_t(block[5]) << 16 | uint32_t(block[6]) << 8 | block[7];
}

TEST_F(ModuleTest, DisplayTextsArriveAtTheDeviceInTheUsersLanguage) {
  struct Case {
    const char* lang;
    uint32_t code;
    std::u16string first;
  } cases[] = {
      {"de_DE.UTF-8", 0x407, u"Bereit"},
      {"fr_FR.UTF-8", 0x40C, u"Prêt"},
      {"pt_BR.UTF-8", 1033, u"Ready"},  // no entry: English
      {"C", 1033, u"Ready"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lang);
    setenv("LANG", c.lang, 1);
    scanner().ClearCommandLog();
    uint32_t object = module_.object(module_.open(kLocation));
    DisplayTraffic t = displayTraffic(scanner());
    ASSERT_EQ(t.languages.size(), 1u);
    ASSERT_EQ(t.languages[0].size(), 20u);
    EXPECT_EQ(languageOf(t.languages[0]), c.code);
    EXPECT_TRUE(std::all_of(t.languages[0].begin() + 8, t.languages[0].end(),
                            [](uint8_t b) { return b == 0; }));
    ASSERT_EQ(t.texts.size(), 7u);
    const std::vector<uint8_t>& first = t.texts[0];
    ASSERT_EQ(first.size(), 265u);
    EXPECT_EQ(first[5] << 8 | first[6], 1) << "the index";
    EXPECT_EQ(first[7], 1);
    EXPECT_EQ(first[8], c.first.size() * 2);
    EXPECT_EQ(textOf(first), c.first);
    module_.close(object);
  }
}

TEST_F(ModuleTest, DisplayTextsAreCutAndASecondEqualsSignEndsTheText) {
  fs::path folder = makeResources(root_ / "lcd", testDriver());
  std::ofstream(folder / "lcd_str.loc", std::ios::trunc)
      << "[English]\n12=Scan=Now\n13=" << std::string(200, 'x') << "\n[German]\n1=Bereit\n";
  setenv("FERROLITE_SCANNER_RESOURCES", folder.c_str(), 1);
  scanner().ClearCommandLog();
  uint32_t object = module_.object(module_.open(kLocation));
  DisplayTraffic t = displayTraffic(scanner());
  ASSERT_EQ(t.texts.size(), 2u);
  EXPECT_EQ(t.texts[0][5] << 8 | t.texts[0][6], 12);
  EXPECT_EQ(textOf(t.texts[0]), u"Scan");
  EXPECT_EQ(t.texts[1][8], 254) << "127 characters";
  EXPECT_EQ(textOf(t.texts[1]), std::u16string(127, u'x'));
  module_.close(object);
}

TEST_F(ModuleTest, SessionsAndParametersThroughTheCallbacks) {
  uint32_t object = module_.object(module_.open(kLocation));
  EXPECT_EQ(module_.result(module_.call(ica::kCallOpenSession, object)), 0);
  EXPECT_EQ(module_.result(module_.call(ica::kCallOpenSession, object)), kICASessionStateErr);
  Dictionary noDict;
  noDict.set(ica::kArgNoDict, true);
  EXPECT_EQ(module_.result(module_.call(ica::kCallGetParameters, object, noDict)),
            kICABadParameterErr);
  EXPECT_EQ(module_.result(module_.call(ica::kCallSetParameters, object, noDict)), -1);
  Dictionary area;
  area.ensureDictionary("ICAP_XRESOLUTION").set("value", 200);
  EXPECT_EQ(module_.result(module_.setParameters(object, area)), 0);
  EXPECT_EQ(module_.device(object).dictionary("ICAP_XRESOLUTION")->integer("current").valueOr(-1),
            2);
  EXPECT_EQ(module_.result(module_.call(ica::kCallCloseSession, object)), 0);
  EXPECT_EQ(module_.result(module_.call(ica::kCallCloseSession, object)), kICASessionStateErr);
  EXPECT_EQ(module_.result(module_.call(ica::kCallStatus, object)), 0);
  module_.close(object);
}

TEST_F(ModuleTest, ScanStartAnswersByScanMethodAndAFailedDeviceIsBusy) {
  foundation::SystemLogCapture log;
  uint32_t object = module_.object(module_.open(kLocation));
  auto select = [&](int unit) {
    Dictionary area;
    area.set("selectedFunctionalUnitType", unit);
    module_.setParameters(object, area);
  };
  select(5);
  EXPECT_EQ(module_.result(module_.call(ica::kCallStart, object)), kICAScannerBusyErr);
  select(0);
  EXPECT_EQ(module_.result(module_.call(ica::kCallStart, object)), kICABadParameterErr);
  EXPECT_TRUE(log.contains("--> _ICD_ScannerScannerStart\n"));

  module_.framework().clearNotifications();
  clearDriverLog();
  sim::Fault noDevice;
  noDevice.opcode = 0xE2;  // every INQUIRY fails: the device does not open
  noDevice.count = 0;
  noDevice.senseKey = 2;
  noDevice.asc = 0x80;
  noDevice.ascq = 0x03;
  scanner().InjectFault(noDevice);
  EXPECT_EQ(module_.result(module_.call(ica::kCallStart, object)), kICAScannerBusyErr);
  scanner().ClearFaults();
  auto notes = module_.framework().notifications();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].string(kICANotificationSubTypeKey).valueOr(""), "kICAErrStrScannerBusyErr");
  auto calls = driverCalls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "KRTerminateDriver"), 1);

  // After the clean-up the library is gone: nothing is called, the scanner is not available.
  module_.call(ica::kCallCleanup, object);
  clearDriverLog();
  EXPECT_EQ(module_.result(module_.call(ica::kCallStart, object)), kICAScannerBusyErr);
  EXPECT_TRUE(driverCalls().empty());
  EXPECT_EQ(module_.result(module_.call(ica::kCallCloseDevice, object)), 0);
}

TEST_F(ModuleTest, FireWireAndNetworkObjectsLeaveTheTableWhenClosed) {
  for (int round = 0; round < 2; ++round) {
    Dictionary fw;
    fw.set(ica::kMsgCall, ica::kCallOpenFireWireDevice);
    fw.set(ica::kArgGuid, int64_t(0x0123456789ABCDEF));
    fw.set(ica::kArgIORegPath, "IOService:/fw0");
    Dictionary net = fw;
    net.set(ica::kMsgCall, ica::kCallOpenTCPIPDevice);
    Dictionary parameters;
    parameters.set(kICABonjourServiceNameKey, "scanner on the net");
    net.set(ica::kArgParameters, parameters);
    Dictionary a = module_.framework().call(fw), b = module_.framework().call(net);
    ASSERT_EQ(module_.result(a), 0) << "round " << round;
    ASSERT_EQ(module_.result(b), 0) << "round " << round;
    EXPECT_EQ(module_.result(module_.framework().call(fw)), kICABadParameterErr);
    EXPECT_EQ(icamodule::OpenScannerCount(), 2u);
    // Without a driver the scan is refused.
    EXPECT_EQ(module_.result(module_.call(ica::kCallStart, module_.object(a))), kICAScannerBusyErr);
    module_.close(module_.object(a));
    module_.close(module_.object(b));
    EXPECT_EQ(icamodule::OpenScannerCount(), 0u);
  }
}

TEST(ModuleOptions, DebugArgumentIsCutToThirtyCharacters) {
  std::string argument(40, 'a');
  char program[] = "/usr/lib/ferrolite-scanner";
  char flag[] = "-d";
  char other[] = "-x";
  char* argv[] = {program, other, flag, argument.data(), nullptr};
  icamodule::ReadModuleOptions(4, argv);
  ASSERT_EQ(gArgc, 2);
  EXPECT_STREQ(gArgv[0], program);
  EXPECT_EQ(std::string(gArgv[1]), std::string(30, 'a'));
}

}  // namespace
}  // namespace icatest
