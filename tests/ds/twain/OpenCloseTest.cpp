// Finding, opening, enabling, disabling and closing the data source through the host core,
// against the simulated scanners and the real driver, with the headless windows.
#include <gmock/gmock.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "OpenSupport.h"
#include "ds/twain/Options.h"

namespace {

using dstest::gSource;
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

class OpenClose : public dstest::OpenSourceTest {
 protected:
  // A device list of the test's own in the bundle's resources.
  void writeDeviceList(const foundation::Dictionary& list) {
    writePlist(bundle_ / "Resources" / "DeviceList.plist", list);
  }
  static foundation::Dictionary products(
      const std::vector<std::pair<std::string, std::string>>& rows) {
    foundation::Dictionary d;
    for (const auto& [product, library] : rows) d.set(product, library);
    return d;
  }
  size_t lineIndex(const std::vector<std::string>& lines, const std::string& part) {
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].find(part) != std::string::npos) return i;
    }
    ADD_FAILURE() << "no log line with " << part;
    return lines.size();
  }
};

TEST_F(OpenClose, OpensTheSimulatedScannerThroughTheDriver) {
  writeDebugConf("DebugLevel 1\n");
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  EXPECT_EQ(ds.mCurrentState, TWAIN_STATE_OPEN);
  EXPECT_TRUE(ds.scannerFound);
  EXPECT_EQ(ds.vidpid, 0xF11E0310u);
  EXPECT_TRUE(ds.newKrapi);
  EXPECT_EQ(ds.scannerName, "SIM-ADF300");
  EXPECT_EQ(ds.vendorName, "SIMVENDOR");
  // The ability as the scan layer rescaled it to 300 dpi, and the sizes and minimums from it.
  EXPECT_EQ(ds.deviceAbility.BaseRes, 300);
  EXPECT_EQ(ds.maxScanWidth, ds.deviceAbility.ADFMaxWidth);
  EXPECT_EQ(ds.maxScanLength, ds.deviceAbility.ADFMaxLength);
  EXPECT_EQ(ds.adfMinWidth, ds.deviceAbility.ADFMinWidth);
  EXPECT_EQ(ds.adfMinLength, ds.deviceAbility.ADFMinLength);
  // The NVRAM copy: the whole record, nothing beyond it.
  std::vector<uint8_t> copy(300, 0xAB);
  ds.getNVMData(copy.data(), copy.size());
  const NewNvmData& record = ds.scanObject->newNvmData();
  EXPECT_EQ(std::memcmp(copy.data(), &record, sizeof record), 0);
  EXPECT_EQ(copy[sizeof record], 0xAB);
  EXPECT_EQ(ds.scannerInfo.serialNumber.str(), "SIM0000001");
  // The steps in order: the scanner found, the button watcher stopped, the driver bound, the
  // settings read, the information gathered.
  const std::vector<std::string> lines = twainLogLines();
  const size_t search = lineIndex(lines, "Out 1: searchConnectedScanner : Vantrel");
  const size_t stop = lineIndex(lines, "stop: 1, vendor: Olmex");
  const size_t bind = lineIndex(lines, "KRInitializeDriver");
  const size_t minimum = lineIndex(lines, "ADF Minimum");
  const size_t model = lineIndex(lines, "Model name : SIM-ADF300");
  const size_t out = lineIndex(lines, "Out 0: openDS");
  EXPECT_LT(search, stop);
  EXPECT_LT(stop, bind);
  EXPECT_LT(bind, minimum);
  EXPECT_LT(minimum, model);
  EXPECT_LT(model, out);
  // The simulator saw the inquiry before the NVRAM read.
  const std::vector<sim::Exchange> log = scanner().CommandLog();
  auto first = [&](const std::string& command) {
    return std::find_if(log.begin(), log.end(),
                        [&](const sim::Exchange& e) { return e.command.find(command) == 0; }) -
           log.begin();
  };
  EXPECT_LT(first("INQUIRY"), first("READ 0x0069"));
}

TEST_F(OpenClose, TheButtonWatcherStopsAtOpenAndGoesAtClose) {
  writeDebugConf("DebugLevel 1\n");
  Open();
  ASSERT_TRUE(host.CloseSource().ok());
  const std::vector<std::string> lines = twainLogLines();
  const size_t stop = lineIndex(lines, "detectButtonEvent : stop: 1, vendor: Olmex");
  const size_t go = lineIndex(lines, "detectButtonEvent : stop: 0, vendor: Olmex");
  const size_t close = lineIndex(lines, "In  1: closeDS");
  EXPECT_LT(stop, close);
  EXPECT_LT(close, go);
}

TEST_F(OpenClose, TheLogNamesTheHostApplication) {
  writeDebugConf("DebugLevel 1\n");
  Open();
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
  const std::vector<std::string> lines = twainLogLines();
  const size_t id = lineIndex(lines, "App ID"), path = lineIndex(lines, "App path");
  ASSERT_LT(id, lines.size());
  ASSERT_LT(path, lines.size());
  EXPECT_THAT(lines[id], HasSubstr("App ID : " + program.filename().string()));
  EXPECT_THAT(lines[id], Not(HasSubstr(gSource->bundleIdentifier)));
  EXPECT_THAT(lines[path], HasSubstr("App path : " + program.string()));
}

TEST_F(OpenClose, AFeederOnlyScannerForcesTheFeederButKeepsMergedSides) {
  struct Case {
    int stored, opened;
  };
  for (const Case c : {Case{2, 1}, Case{4, 4}, Case{1, 1}}) {
    SCOPED_TRACE(c.stored);
    Open();
    ASSERT_EQ(gSource->deviceType() & 0xA0, 0x20u) << "the simulated model is feeder-only";
    gSource->scanSetting.bScanSource = static_cast<uint8_t>(c.stored);
    gSource->writeSetting(std::nullopt, false);
    ASSERT_TRUE(host.CloseSource().ok());
    Open();
    EXPECT_EQ(gSource->scanSetting.bScanSource, c.opened);
    ASSERT_TRUE(host.CloseSource().ok());
  }
}

TEST_F(OpenClose, TheHostIsRecognisedByItsIdentity) {
  struct Case {
    std::string manufacturer, name;
    bool oneValue, photoshop, acrobat, exactScan, twainSharp;
  };
  const std::vector<Case> cases = {
      {"Adobe Systems", "Adobe Photoshop CS6", true, true, false, false, false},
      {"adobe", "ImageReady", true, true, false, false, false},
      {"Adobe", "Acrobat Pro", false, false, true, false, false},
      {"ExactCODE", "exactscan pro", false, false, false, true, false},
      {"Somebody", "TWAIN Sharp Test", false, false, false, false, true},
      {"Other", "Photoshop Elements", true, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    twainhost::Identity application;
    application.manufacturer = c.manufacturer;
    application.productFamily = "Family";
    application.productName = c.name;
    host.SetApplication(application);
    Open();
    EXPECT_EQ(gSource->pixelTypeContainerOneValue, c.oneValue);
    EXPECT_EQ(gSource->photoshopFamily, c.photoshop);
    EXPECT_EQ(gSource->appAcrobat, c.acrobat);
    EXPECT_EQ(gSource->appExactScan, c.exactScan);
    EXPECT_EQ(gSource->appTWAINSharp, c.twainSharp);
    ASSERT_TRUE(host.CloseSource().ok());
  }
}

TEST_F(OpenClose, WithoutAScannerTheSupportedListIsShownAndTheNextOpenStartsClean) {
  writeDebugConf("DebugLevel 1\n");
  Load();
  unplugAll();
  const twainhost::Answer refused = host.OpenSource();
  EXPECT_EQ(refused.rc, TWRC_FAILURE);
  EXPECT_EQ(refused.cc, TWCC_SEQERROR);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_LOADED);
  EXPECT_EQ(gSource->scanObject, nullptr);
  EXPECT_EQ(gSource->mainDialog, nullptr);
  ASSERT_EQ(alerts().size(), 1u);
  EXPECT_EQ(alerts()[0].text, "Supported scanners:\nFerrolite");
  EXPECT_EQ(alerts()[0].style, ferrolite::kAlertStyleCritical);
  EXPECT_EQ(alerts()[0].buttons, std::vector<std::string>{"OK"});
  // The log mirrors the windows' journal.
  const std::vector<std::string> lines = twainLogLines();
  EXPECT_LT(lineIndex(lines, "UI : alert alert: Supported scanners:\\nFerrolite"), lines.size());

  scanner(0).Replug();
  scanner(1).Replug();
  ASSERT_TRUE(host.OpenSource().ok()) << host.DescribeJournal();
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_OPEN);
  EXPECT_EQ(alerts().size(), 1u);
}

TEST_F(OpenClose, AMissingImagePlugInFailsTheOpenAndReleasesEverything) {
  Load();
  const fs::path lumetra = bundle_ / "Resources" / "Lumetra.so";
  fs::remove(lumetra);
  const twainhost::Answer refused = host.OpenSource();
  EXPECT_EQ(refused.rc, TWRC_FAILURE);
  EXPECT_EQ(refused.cc, TWCC_SEQERROR);
  ASSERT_EQ(alerts().size(), 1u);
  EXPECT_EQ(alerts()[0].text, "Initialization failed.");
  EXPECT_EQ(gSource->scanObject, nullptr);
  EXPECT_EQ(gSource->imageProcess, nullptr);
  EXPECT_EQ(gSource->mainDialog, nullptr);
  EXPECT_EQ(gSource->dialogBox, nullptr);
  EXPECT_FALSE(twainhost::Host::IsResident(VANTREL_LIBRARY_PATH));

  dstest::link(LUMETRA_LIBRARY_PATH, lumetra);
  ASSERT_TRUE(host.OpenSource().ok()) << host.DescribeJournal();
  EXPECT_TRUE(gSource->scannerFound);
}

TEST_F(OpenClose, DemonstrationModeWithoutAScanner) {
  foundation::Dictionary defaults;
  defaults.set("UIAlwaysOn", 1);
  writeDefaults(defaults);
  Load();
  unplugAll();
  ASSERT_TRUE(host.OpenSource().ok()) << host.DescribeJournal();
  EXPECT_FALSE(gSource->scannerFound);
  EXPECT_EQ(gSource->scannerName, "Test Sample");
  EXPECT_EQ(gSource->scannerInfo.serialNumber.str(), "0123456789");
  EXPECT_EQ(alerts().size(), 1u);
  // Without the interface there is nothing to scan from.
  const twainhost::Answer enable = host.EnableDs(false);
  EXPECT_EQ(enable.rc, TWRC_FAILURE);
  EXPECT_EQ(enable.cc, TWCC_CHECKDEVICEONLINE);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_OPEN);
  // With it, the dialog runs in interface-only mode.
  ui::headless::Journal::shared().scriptAction(ui::headless::UserAction::kWait);
  ASSERT_TRUE(host.EnableDs(true).ok());
  EXPECT_TRUE(ferrolite::headlessCopies().uiOnly);
  EXPECT_TRUE(ferrolite::headlessCopies().extra.uiOnly);
  ASSERT_TRUE(host.DisableDs().ok());
}

TEST_F(OpenClose, TheDeviceListRules) {
  makeSource();
  ferrolite::TezFRLDS& ds = *gSource;
  const fs::path module = dstest::moduleResources();
  struct Case {
    std::string name;
    foundation::Dictionary list;
    std::vector<std::string> installed, inModule;  // libraries present in either folder
    bool found;
    std::string scannerList;
  };
  foundation::Dictionary tenIds;
  {
    std::vector<std::pair<std::string, std::string>> rows;
    for (int i = 0; i < 10; ++i) rows.push_back({"07" + std::to_string(10 + i), "Vantrel"});
    tenIds.set("F11E", products(rows));
  }
  foundation::Dictionary brand;
  brand.set("0B7A", products({{"0001", "Vantrel"}, {"0002", "Vantrel"}}));
  brand.set("F11E", products({{"0700", "Vantrel"}, {"0701", "Corvix"}}));
  foundation::Dictionary moduleOnly;
  moduleOnly.set("F11E", products({{"0700", "Wendrake"}, {"0701", "Other"}}));
  foundation::Dictionary connected;
  connected.set("F11E", products({{"0310", "Vantrel"}, {"0311", "Vantrel"}}));
  foundation::Dictionary secondOnly;
  secondOnly.set("F11E", products({{"0311", "Vantrel"}}));
  const std::vector<Case> cases = {
      {"ten ids, one library", tenIds, {"Vantrel"}, {}, false, "Ferrolite"},
      {"the brand's four names once",
       brand,
       {"Vantrel", "Corvix"},
       {},
       false,
       "Brinn K, Brinn KT410, Brinn KT430, Brinn KT450, Ferrolite, Glenmora"},
      {"a library only in the module's folder",
       moduleOnly,
       {},
       {"Wendrake", "Other"},
       false,
       "Other, Wendrake"},
      {"nothing installed", tenIds, {}, {}, false, ""},
      {"two connected: the first listed", connected, {"Vantrel"}, {}, true, ""},
      {"the second when only it is listed", secondOnly, {"Vantrel"}, {}, true, ""},
  };
  const fs::path resources = bundle_ / "Resources";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* library : {"Vantrel", "Corvix", "Wendrake", "Other"}) {
      fs::remove(resources / (std::string(library) + ".so"));
      fs::remove(module / (std::string(library) + ".so"));
    }
    for (const std::string& library : c.installed) {
      dstest::link(VANTREL_LIBRARY_PATH, resources / (library + ".so"));
    }
    for (const std::string& library : c.inModule) {
      dstest::link(VANTREL_LIBRARY_PATH, module / (library + ".so"));
    }
    writeDeviceList(c.list);
    ds.scannerList = "(unchanged)";
    ds.vidpid = 0;
    EXPECT_EQ(ds.searchConnectedScanner(), c.found);
    if (c.found) {
      EXPECT_EQ(ds.scannerName, "Vantrel");
      EXPECT_EQ(ds.vidpid, c.name.find("second") != std::string::npos ? 0xF11E0311u : 0xF11E0310u);
    } else {
      EXPECT_EQ(ds.scannerList, c.scannerList);
    }
  }
  for (const char* library : {"Wendrake", "Other"})
    fs::remove(module / (std::string(library) + ".so"));

  // An unreadable or malformed list: no, and the list is left alone.
  for (const std::string& text : {std::string("not a property list"), std::string()}) {
    SCOPED_TRACE(text);
    const fs::path file = resources / "DeviceList.plist";
    fs::remove(file);
    if (!text.empty()) writeText(file, text);
    ds.scannerList = "(unchanged)";
    EXPECT_FALSE(ds.searchConnectedScanner());
    EXPECT_EQ(ds.scannerList, "(unchanged)");
  }
}

TEST_F(OpenClose, EnableWithTheInterfaceHandsTheDialogItsRecords) {
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  ui::headless::Journal::shared().scriptAction(ui::headless::UserAction::kWait);
  ASSERT_TRUE(host.EnableDs(true).ok()) << host.DescribeJournal();
  EXPECT_EQ(ds.mCurrentState, TWAIN_STATE_ENABLED);
  const ferrolite::HeadlessCopies& copies = ferrolite::headlessCopies();
  EXPECT_EQ(copies.source, &ds);
  ASSERT_TRUE(copies.haveExtra);
  // The extra parameters, every field.
  ferrolite::ExtraParam expected{};
  expected.debugLevel = ds.debugLevel;
  expected.uiOnly = false;
  expected.enableChromalis = ds.enableChromalis;
  expected.adfAlignment = ds.scanObject->adfAlignment();
  expected.maxLongLength = ds.maxLongLength;
  expected.reverseRoller = ds.reverseRoller;
  expected.mergeSides = true;
  std::memcpy(expected.multiLongLength, ds.scanObject->LongPageLimited(),
              sizeof expected.multiLongLength);
  expected.sdUsbScanner = false;
  expected.adfMinWidth = ds.adfMinWidth;
  expected.adfMinLength = ds.adfMinLength;
  expected.flatbedMinWidth = ds.flatbedMinWidth;
  expected.flatbedMinLength = ds.flatbedMinLength;
  expected.newKrapi = true;
  expected.noSleep = false;
  expected.hidePunchHole = true;  // a white feeder background, the brand flag, no Lite model
  expected.checkPowerOff = ferrolite::gCheckPowerOff == 1;
  expected.photoshopFamily = false;
  expected.maxPowerSaving = 240;
  expected.maxPowerOff = 4320;
  expected.advColorDropOn = true;
  expected.hideCarrierSheet = false;
  EXPECT_TRUE(copies.extra == expected);
  EXPECT_GT(expected.maxLongLength, 0u);
  EXPECT_NE(expected.multiLongLength[12], 0u);
  // The settings, the paper table, the ability record and the scanner information.
  ASSERT_TRUE(copies.haveSetting);
  EXPECT_TRUE(copies.setting == ds.scanSetting);
  EXPECT_EQ(std::memcmp(&copies.paperSizes, &ferrolite::kStandardPaperTbl,
                        sizeof ferrolite::kStandardPaperTbl),
            0);
  ASSERT_EQ(copies.ability.size(), sizeof(DeviceAbility));
  EXPECT_EQ(std::memcmp(copies.ability.data(), &ds.deviceAbility, sizeof(DeviceAbility)), 0);
  EXPECT_EQ(copies.scannerName, "SIM-ADF300");
  EXPECT_FALSE(copies.uiOnly);
  EXPECT_EQ(copies.scannerInfo.serialNumber.str(), "SIM0000001");
  EXPECT_EQ(copies.scannerInfo.usbID, 0xF11E0310u);
  EXPECT_EQ(copies.title, "SIMVENDOR SIM-ADF300");
  // Disabled without a confirmation and with saving on: the model's entry is written.
  ASSERT_TRUE(host.DisableDs().ok());
  EXPECT_EQ(ds.mCurrentState, TWAIN_STATE_OPEN);
  EXPECT_EQ(readPlist(settingsFile()).dictionary("SIM-ADF300")->size(), 135u);
}

TEST_F(OpenClose, TheWindowTitleFollowsTheModelRules) {
  struct Case {
    std::string model;
    bool productLine;
    std::string title;
  };
  const std::vector<Case> cases = {
      {"KV-PY840", false, "SIMVENDOR KV-Papyrane 840"},
      {"SIM-ADF300", true, "SIMVENDOR Trailkeeper 3 Series"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    ferrolite::ModelTable table = ferrolite::modelTable();
    if (c.productLine) table.productLineModel = ferrolite::kSupportedVidPid;
    ferrolite::replaceModelTable(&table);
    Open();
    gSource->scannerName = c.model;
    ui::headless::Journal::shared().scriptAction(ui::headless::UserAction::kWait);
    ASSERT_TRUE(host.EnableDs(true).ok());
    EXPECT_EQ(ferrolite::headlessCopies().title, c.title);
    if (c.productLine) {
      EXPECT_EQ(gSource->scannerInfo.modelName.str(), "Trailkeeper 3 Series");
    }
    ASSERT_TRUE(host.DisableDs().ok());
    ASSERT_TRUE(host.CloseSource().ok());
    ferrolite::replaceModelTable(nullptr);
  }
}

TEST_F(OpenClose, InterfaceOnlyConfirmsAndTheDisableSaves) {
  for (const bool showUi : {true, false}) {
    SCOPED_TRACE(showUi);
    Open();
    std::filesystem::remove(settingsFile());
    TW_USERINTERFACE ui{};
    ui.ShowUI = showUi;
    // Interface only shows the interface whatever ShowUI says: it never scans.
    const twainhost::Answer enabled =
        host.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &ui);
    ASSERT_TRUE(enabled.ok()) << host.DescribeJournal();
    EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
    EXPECT_TRUE(ferrolite::headlessCopies().uiOnly);
    // The headless user pressed OK: MSG_CLOSEDSOK reached the application.
    const auto messages = Messages(1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, MSG_CLOSEDSOK);
    ASSERT_TRUE(host.DisableDs().ok());
    const foundation::Dictionary saved = readPlist(settingsFile());
    ASSERT_TRUE(saved.dictionary("SIM-ADF300"));
    EXPECT_EQ(saved.dictionary("SIM-ADF300")->size(), 135u);
    ASSERT_TRUE(host.CloseSource().ok());
  }
}

TEST_F(OpenClose, WithSavingOffTheDisableOnlyNotesIt) {
  Open();
  writeDefaults({});
  ui::headless::Journal::shared().scriptAction(ui::headless::UserAction::kWait);
  ASSERT_TRUE(host.EnableDs(true).ok());
  gSource->scanSetting.bSaveSetting = 0;
  ASSERT_TRUE(host.DisableDs().ok());
  const foundation::Dictionary saved = readPlist(settingsFile());
  ASSERT_TRUE(saved.dictionary("SIM-ADF300"));
  EXPECT_EQ(saved.dictionary("SIM-ADF300")->size(), 1u);
  EXPECT_EQ(*saved.dictionary("SIM-ADF300")->integer("SaveSetting"), 0);
}

TEST_F(OpenClose, AnEnableOutsideState40AndADisableOutside50) {
  Open();
  host.set_auto_status(false);
  ui::headless::Journal::shared().scriptAction(ui::headless::UserAction::kWait);
  ASSERT_TRUE(host.EnableDs(true).ok());
  EXPECT_EQ(host.EnableDs(true).rc, TWRC_FAILURE);
  EXPECT_EQ(host.GetStatus().value, TWCC_SEQERROR);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  ASSERT_TRUE(host.DisableDs().ok());
  EXPECT_EQ(host.DisableDs().rc, TWRC_FAILURE);
  EXPECT_EQ(host.GetStatus().value, TWCC_SEQERROR);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_OPEN);
  TW_USERINTERFACE ui{};
  EXPECT_EQ(host.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_GET, &ui).rc, TWRC_FAILURE);
  EXPECT_EQ(host.GetStatus().value, TWCC_BADPROTOCOL);
}

TEST_F(OpenClose, ThePowerTimesGoBackAtClose) {
  Open();
  const NewNvmData nvram = gSource->newNvmData;
  ASSERT_TRUE(host.CloseSource().ok());
  const uint16_t saving = nvram.PowerSavingTime, off = nvram.PowerOffTime;
  struct Row {
    std::string name;
    uint16_t energySaver;
    bool powerOff;
    uint16_t powerOffTime;
    std::vector<std::pair<long, uint32_t>> writes;
  };
  const std::vector<Row> rows = {
      {"nothing changed", saving, off != 0, off, {}},
      {"the energy saver changed", uint16_t(saving + 5), off != 0, off, {{6, saving + 5u}}},
      {"the power-off time changed", saving, true, uint16_t(off + 7), {{7, off + 7u}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Open();
    SpyOnNvramWrites();
    gSource->newNvmData.PowerSavingTime = saving;
    gSource->newNvmData.PowerOffTime = off;
    gSource->scanSetting.wEnergySaver = row.energySaver;
    gSource->scanSetting.bPowerOff = row.powerOff;
    gSource->scanSetting.wPowerOffTime = row.powerOffTime;
    dstest::gNvramWrites.clear();
    ASSERT_TRUE(host.CloseSource().ok());
    EXPECT_EQ(dstest::gNvramWrites, row.writes);
  }
  // Power-off switched off while the scanner has a time: 0 once.
  Open();
  SpyOnNvramWrites();
  gSource->newNvmData.PowerSavingTime = gSource->scanSetting.wEnergySaver;
  gSource->newNvmData.PowerOffTime = 30;
  gSource->scanSetting.bPowerOff = 0;
  dstest::gNvramWrites.clear();
  ASSERT_TRUE(host.CloseSource().ok());
  EXPECT_EQ(dstest::gNvramWrites, (std::vector<std::pair<long, uint32_t>>{{7, 0}}));
}

}  // namespace

namespace {

TEST_F(OpenClose, ThePerModelTableThroughItsSeam) {
  ferrolite::ModelTable table = ferrolite::modelTable();
  table.feederMinimums = {{ferrolite::kSupportedVidPid, 900, 1050}};
  table.maxLifeList = {{ferrolite::kSupportedVidPid, 1234, 5678}};
  table.sdUsbList = {ferrolite::kSupportedVidPid};
  ferrolite::replaceModelTable(&table);
  ferrolite::gCheckPowerOff = 1;
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  EXPECT_EQ(ds.adfMinWidth, 900);
  EXPECT_EQ(ds.adfMinLength, 1050);
  EXPECT_EQ(ds.maxLifePad, 1234);
  EXPECT_EQ(ds.maxLifeRoller, 5678);
  EXPECT_TRUE(ds.sdUsbScanner);
  // A power-limited model shows no power-off check box.
  EXPECT_EQ(ferrolite::gCheckPowerOff, 0);
  ui::headless::Journal::shared().scriptAction(ui::headless::UserAction::kWait);
  ASSERT_TRUE(host.EnableDs(true).ok());
  const ferrolite::ExtraParam& extra = ferrolite::headlessCopies().extra;
  EXPECT_TRUE(extra.sdUsbScanner);
  EXPECT_EQ(extra.adfMinWidth, 900);
  EXPECT_EQ(extra.adfMinLength, 1050);
  EXPECT_FALSE(extra.checkPowerOff);
  ASSERT_TRUE(host.DisableDs().ok());
}

}  // namespace

namespace {

TEST_F(OpenClose, TheHeadlessUserClosesWhenTheBatchIsOver) {
  Open();
  // Scan is the headless user's answer to an enable with the interface: the batch starts.
  scanner().LoadSheets(1);
  ASSERT_TRUE(host.EnableDs(true).ok());
  auto messages = Messages(1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message, MSG_XFERREADY);
  while (gSource->mCurrentState == TWAIN_STATE_XFERREADY) {
    for (auto strip = host.MemXfer(1 << 24); strip.rc == TWRC_SUCCESS;)
      strip = host.MemXfer(1 << 24);
    ASSERT_TRUE(host.PendingXfers(MSG_ENDXFER).ok());
  }
  // The batch is over: the user closes, once.
  messages = Messages(1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message, MSG_CLOSEDSREQ);
  gSource->mainDialog->setMainButtonsStatus(true);
  EXPECT_TRUE(NoMessage());
  ASSERT_TRUE(host.DisableDs().ok());
  std::vector<std::string> calls;
  for (const auto& entry : ui::headless::Journal::shared().entries()) {
    if (entry.window == "TwainDSDialog") calls.push_back(entry.call + " " + entry.text);
  }
  scanner().LoadSheets(3);  // the feeder as the other tests expect it
  EXPECT_THAT(calls, ::testing::ElementsAre("init ", "getDS ", "getExtraParam ",
                                            "guiSetting SIM-ADF300", "title SIMVENDOR SIM-ADF300",
                                            "orderFront ", "user Scan", "buttons off", "buttons on",
                                            "user Close", "buttons on", "close "));
}

}  // namespace
