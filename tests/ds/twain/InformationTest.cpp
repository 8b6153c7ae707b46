// Languages, scanner information, the wear counters and their alert, calibration, the preview,
// the barcode results, the event pumps and the headless user's script.
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <ctime>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "OpenSupport.h"
#include "ds/twain/DialogServices.h"
#include "ds/twain/Languages.h"
#include "ds/twain/Options.h"

namespace {

using dstest::gSource;
using ui::headless::Journal;
namespace fs = std::filesystem;

class Information : public dstest::OpenSourceTest {
 protected:
  static uint32_t today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return uint32_t((local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday);
  }
  // An NVRAM counter of the simulated scanner: 5 the feed roller, 11 the reverse roller.
  void setCounter(uint32_t tag, uint32_t count) {
    ASSERT_TRUE(gSource->scanObject->writeNewNVMData(tag, 3, &count));
  }
};

TEST(Languages, TheSystemLanguageSelects) {
  struct Case {
    const char* language;
    const char* country;
    int32_t id;
  };
  const std::vector<Case> cases = {
      {"nn", "NO", 21}, {"nb", "", 21},  {"pt", "PT", 12}, {"pt", "BR", 10},
      {"zh", "HK", 1},  {"zh", "CN", 2}, {"fr", "CA", 18}, {"fr", "FR", 6},
      {"en", "US", 0},  {"xx", "", 0},   {"ar", "EG", 26},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.language) + "_" + c.country);
    EXPECT_EQ(ferrolite::languageIdFor(c.language, c.country), c.id);
  }
}

TEST_F(Information, TheLanguagesOnOfferAndTheirTexts) {
  // Shipped: English and German.
  makeSource();
  int count = 0;
  std::vector<int32_t> ids;
  for (const auto& entry : gSource->supportedLanguages(&count)) ids.push_back(entry.langID);
  EXPECT_EQ(ids, (std::vector<int32_t>{0, 5}));
  EXPECT_EQ(count, 2);
  gSource->setLanguage(1);
  int32_t id = -1;
  ASSERT_NE(gSource->getLanguage(&id), nullptr);
  EXPECT_EQ(id, 5);
  EXPECT_EQ(gSource->localized("ErrorCode", "Error Code"), "Fehlercode");
  // A key the folder lacks shows its English text, and one no language has its default.
  EXPECT_EQ(gSource->localized("Err2010", "the default"), "The scan was cancelled at the scanner.");
  EXPECT_EQ(gSource->localized("Err99999", "the default"), "the default");

  // "SupportedLanguage" keeps only the ids it lists.
  fs::create_directories(bundle_ / "Resources" / "fr.lproj");
  foundation::Dictionary defaults;
  defaults.set("SupportedLanguage", "0005");
  writeDefaults(defaults);
  makeSource();
  ids.clear();
  for (const auto& entry : gSource->supportedLanguages(&count)) ids.push_back(entry.langID);
  EXPECT_EQ(ids, (std::vector<int32_t>{0, 5}));

  // No language folder: English alone, and the defaults show.
  fs::remove(settingsFile());
  for (const char* folder : {"English.lproj", "de.lproj", "fr.lproj"}) {
    fs::remove_all(bundle_ / "Resources" / folder);
  }
  makeSource();
  ASSERT_EQ(gSource->supportedLanguages(&count).size(), 1u);
  EXPECT_EQ(gSource->supportedLanguages(&count)[0].langFolder, "English.lproj");
  EXPECT_EQ(gSource->localized("ErrorCode", "Error Code"), "Error Code");
}

TEST_F(Information, TheOpenChoosesTheStoredLanguage) {
  foundation::Dictionary defaults;
  defaults.set("Language", 5);
  writeDefaults(defaults);
  Open();
  int32_t id = -1;
  gSource->getLanguage(&id);
  EXPECT_EQ(id, 5);
}

TEST_F(Information, TheScannerInformationWithAScanner) {
  Open();
  const ferrolite::ScannerInfo& info = gSource->scannerInfo;
  EXPECT_EQ(info.modelName.str(), "SIM-ADF300");
  EXPECT_EQ(info.serialNumber.str(), "SIM0000001");
  EXPECT_EQ(info.usbID, 0xF11E0310u);
  EXPECT_THAT(info.ioVersion.str(), ::testing::MatchesRegex("[0-9]+\\.[0-9]+\\.[0-9]+"));
  EXPECT_EQ(info.fwVersion.str(), gSource->deviceAbility.pFWVersion);
  const NewNvmData& r = gSource->newNvmData;
  EXPECT_EQ(info.bornDate.str(), std::to_string(r.BornYear) + "/" + std::to_string(r.BornMonth) +
                                     "/" + std::to_string(r.BornDay));
  EXPECT_EQ(info.adfScanCount, r.ADFSingleModeScanCount + r.ADFDuplexModeScanCount);
  // The build date as the maker's time zone (UTC+8) sees the file's modification.
  Dl_info where{};
  ASSERT_NE(dladdr(reinterpret_cast<const void*>(&ferrolite::languageIdFor), &where), 0);
  struct stat file {};
  ASSERT_EQ(stat(where.dli_fname, &file), 0);
  const std::time_t shifted = file.st_mtime + 8 * 3600;
  std::tm east{};
  gmtime_r(&shifted, &east);
  char expected[16];
  std::strftime(expected, sizeof expected, "2.1.%y.%m%d", &east);
  EXPECT_EQ(info.driverVersion.str(), expected);
}

TEST_F(Information, WithoutAScannerAndWithAVersionOfTheSettings) {
  foundation::Dictionary defaults;
  defaults.set("UIAlwaysOn", 1);
  defaults.set("Version", "3.4.5");
  writeDefaults(defaults);
  Load();
  unplugAll();
  ASSERT_TRUE(host.OpenSource().ok());
  const ferrolite::ScannerInfo& info = gSource->scannerInfo;
  EXPECT_EQ(info.serialNumber.str(), "0123456789");
  EXPECT_EQ(info.driverVersion.str(), "3.4.5");
  const uint32_t day = today();
  const std::string text = std::to_string(day / 10000) + "/" + std::to_string(day / 100 % 100) +
                           "/" + std::to_string(day % 100);
  EXPECT_EQ(info.bornDate.str(), text);
  EXPECT_EQ(info.firstScan.str(), text);
  EXPECT_FALSE(gSource->resetRollerCount(0));
}

TEST_F(Information, TheWearAlertOnceADay) {
  struct Case {
    std::string name;
    uint32_t roller, reverse;
    std::string text;
  };
  // The simulated model counts its reverse roller; without that counter the feed roller's
  // count is checked.
  const std::vector<Case> cases = {
      {"the feed roller of a model without a reverse counter", 200001, 0xFFFFFFFF,
       "Roller count exceeds 200000. Please replace the roller and reset the roller count."},
      {"the reverse roller", 0, 100001,
       "Reverse roller count exceeds 100000. Please replace the reverse roller and reset its "
       "count."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Open();
    const uint32_t reverse = gSource->newNvmData.ReverseRollerCount;
    setCounter(5, c.roller);
    setCounter(11, c.reverse);
    fs::remove(settingsFile());
    gSource->alertDate = 0;
    gSource->writeSetting(std::nullopt, false);  // the model's entry, without an alert date
    ASSERT_TRUE(host.CloseSource().ok());
    Journal::shared().reset();
    Open();
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].text, c.text);
    EXPECT_EQ(*readPlist(settingsFile()).dictionary("SIM-ADF300")->integer("AlertDate"), today());
    ASSERT_TRUE(host.CloseSource().ok());
    Journal::shared().reset();
    Open();
    EXPECT_TRUE(alerts().empty());
    setCounter(5, 0);
    setCounter(11, reverse);
    ASSERT_TRUE(host.CloseSource().ok());
  }
}

TEST_F(Information, ResettingTheCounters) {
  Open();
  SpyOnNvramWrites();
  for (int which = 0; which < 4; ++which) EXPECT_TRUE(gSource->resetRollerCount(which)) << which;
  EXPECT_FALSE(gSource->resetRollerCount(4));
  EXPECT_FALSE(gSource->resetRollerCount(-1));
  const std::vector<std::pair<long, uint32_t>> expected = {{4, 0}, {5, 0}, {11, 0}, {12, 0}};
  EXPECT_EQ(dstest::gNvramWrites, expected);
  EXPECT_EQ(gSource->scannerInfo.adfRollerCount, 0u);
}

TEST_F(Information, CalibrationPreviewAndBarcodes) {
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  EXPECT_TRUE(ds.calibrateScanner());
  ASSERT_FALSE(alerts().empty());
  EXPECT_EQ(alerts().back().text, "Calibration was successful.");

  Journal::shared().reset();
  // The preview scans a page at its low resolution (the driver converts it) into the model's
  // preview file, with no alert.
  ds.previewScan();
  EXPECT_TRUE(fs::exists(bundle_ / "SIM-ADF300_preview.tif"));
  EXPECT_GT(fs::file_size(bundle_ / "SIM-ADF300_preview.tif"), 0u);
  EXPECT_TRUE(alerts().empty());
  EXPECT_FALSE(ds.previewScanning);
  ds.scanObject->setScannerError(0);

  ferrolite::gBarcodeResult = 1;
  Journal::shared().reset();
  ds.barcodeResult(
      {{2, "ABC-123", 10, 20, 300, 40}, {4, "X", 1, 2, 3, 4}, {99, "odd", 0, 0, 0, 0}});
  const foundation::Dictionary file = readPlist(bundle_ / "barcode.plist");
  EXPECT_EQ(*file.integer("Total"), 3);
  ASSERT_TRUE(file.dictionary("1"));
  EXPECT_EQ(*file.dictionary("1")->string("Name"), "Code 39");
  EXPECT_EQ(*file.dictionary("1")->string("Result"), "ABC-123");
  EXPECT_EQ(*file.dictionary("1")->string("Width"), "300");
  EXPECT_EQ(*file.dictionary("2")->string("Name"), "Code 128");
  EXPECT_EQ(*file.dictionary("3")->string("Name"), "Unknown");
  ASSERT_EQ(alerts().size(), 1u);
  EXPECT_EQ(alerts()[0].text,
            "3 total barcodes found.\n\n1: Code 39: ABC-123\n2: Code 128: X\n3: Unknown: odd");
  // The open deletes the last results.
  ASSERT_TRUE(host.CloseSource().ok());
  Open();
  EXPECT_FALSE(fs::exists(bundle_ / "barcode.plist"));
  ferrolite::gBarcodeResult = 0;
}

TEST_F(Information, TheEventPumps) {
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  int ran = 0;
  for (int i = 0; i < 3; ++i) ds.mainQueue.post([&] { ++ran; });
  ds.processAllEvent();
  EXPECT_EQ(ran, 1);
  ds.scanInterrupt = true;
  ds.processAllEvent();
  EXPECT_EQ(ran, 1);
  ds.scanInterrupt = false;
  ds.apCancelScan = true;
  ds.processAllEvent();
  EXPECT_EQ(ran, 1);
  ds.apCancelScan = false;
  ds.processEvent();
  EXPECT_EQ(ran, 3);
}

TEST_F(Information, TheHeadlessUsersScript) {
  const fs::path script = root_ / "ui-script.txt";
  writeText(script, "# the second alert is cancelled\nalert 2 cancel\naction cancel\n");
  setenv(ui::headless::kScriptVariable, script.c_str(), 1);
  Journal::shared().reset();
  unsetenv(ui::headless::kScriptVariable);
  Open();
  EXPECT_EQ(gSource->showAlert(std::string("one")), ferrolite::kAlertFirstButton);
  EXPECT_EQ(gSource->showAlert(std::string("two")), ferrolite::kAlertSecondButton);
  // The user cancels the dialog: the application hears MSG_CLOSEDSREQ.
  ASSERT_TRUE(host.EnableDs(true).ok());
  const auto messages = Messages(1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message, MSG_CLOSEDSREQ);
  ASSERT_TRUE(host.DisableDs().ok());
}

}  // namespace

namespace {

TEST_F(Information, TheDialogsCallsReachTheDataSource) {
  Open();
  std::unique_ptr<ferrolite::dialog::DialogDataSource> services =
      ferrolite::makeDialogServices(*gSource);
  // Languages: the table, a choice by position, the texts of the chosen one.
  const auto languages = services->supportedLanguage();
  ASSERT_EQ(languages.size(), 2u);
  EXPECT_EQ(languages[1].displayName, "Deutsch");
  services->setLanguage(1);
  int32_t id = -1;
  const ferrolite::dialog::LanguageBundle& bundle = services->getLanguage(&id);
  EXPECT_EQ(id, 5);
  EXPECT_EQ(bundle.localizedStringForKey("ErrorCode", "Error Code"), "Fehlercode");
  // The NVRAM copy into the dialog's buffer, never beyond it.
  std::vector<uint8_t> small(16, 0xEE);
  services->getNVMData(small.data(), 8);
  EXPECT_EQ(std::memcmp(small.data(), &gSource->newNvmData, 8), 0);
  EXPECT_EQ(small[8], 0xEE);
  EXPECT_FALSE(services->resetRollerCount(4));
  EXPECT_EQ(services->checkScanParams(), 0);
  // Profiles: saved, listed, removed.
  services->profileOperation("Office", ferrolite::dialog::kProfileSave);
  EXPECT_EQ(services->availableProfile(), (std::vector<std::string>{"Office"}));
  services->profileOperation("Office", ferrolite::dialog::kProfileRemove);
  EXPECT_EQ(services->availableProfile(), std::vector<std::string>{});
  EXPECT_TRUE(services->calibrateScanner());
  // OK of the dialog: the application hears MSG_CLOSEDSOK.
  services->closeDSOK();
  const auto messages = Messages(1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message, MSG_CLOSEDSOK);
}

}  // namespace

namespace {

TEST_F(Information, ACalibrationSheetIsAskedForAndMayBeCancelled) {
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  // A scanner of the older interface that calibrates with a sheet.
  ds.newKrapi = false;
  ds.scannerAbilityEx.ScannerCapability |= 1u << 8;
  struct Case {
    bool manualFeeder;
    int answer;
    bool result;
    std::string prompt;
  };
  const std::vector<Case> cases = {
      {false, ui::headless::kCancelResponse, false, "Put a calibration sheet on the scanner."},
      {true, ui::headless::kCancelResponse, false,
       "Insert the calibration sheet into the scanner."},
      {false, ui::headless::kOkResponse, true, "Put a calibration sheet on the scanner."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prompt + (c.result ? " OK" : " Cancel"));
    Journal::shared().reset();
    Journal::shared().scriptAlert(1, c.answer);
    ds.sdUsbScanner = c.manualFeeder;
    EXPECT_EQ(ds.calibrateScanner(), c.result);
    const auto shown = alerts();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown[0].text, c.prompt);
    EXPECT_EQ(shown[0].buttons, (std::vector<std::string>{"OK", "Cancel"}));
    // With OK and paper in the feeder, the runs follow and end in the success message.
    EXPECT_EQ(shown.size(), c.result ? 2u : 1u);
    if (c.result) {
      EXPECT_EQ(shown.back().text, "Calibration was successful.");
    }
  }
  ds.newKrapi = true;
}

}  // namespace
