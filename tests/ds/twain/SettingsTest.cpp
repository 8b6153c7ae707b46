// The settings record's defaults and load rules, the settings files, profiles, the debug level.
#include <gmock/gmock.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "DataSourceFixture.h"
#include "ds/scan/records/AlarmSound.h"
#include "ds/twain/SettingValues.h"

namespace {

using ferrolite::ScanSetting;
using ferrolite::TezFRLDS;
using ::testing::ElementsAre;

constexpr const char* kModel = "FL-1200";

class Settings : public dstest::DataSourceTest {
 protected:
  TezFRLDS& open() {
    TezFRLDS& ds = makeSource();
    ds.scannerName = kModel;
    return ds;
  }
  void writeEntry(const std::string& key, const foundation::Dictionary& entry,
                  const std::filesystem::path& file) {
    foundation::Dictionary top =
        std::filesystem::exists(file) ? readPlist(file) : foundation::Dictionary{};
    top.set(key, entry);
    writePlist(file, top);
  }
};

TEST_F(Settings, InitSettingGivesTheDefaults) {
  TezFRLDS& ds = open();
  ds.maxScanWidth = 0x12345;  // wider than 16 bits: the word fields keep the low half
  ds.maxScanLength = 4200;
  ds.maxLongLength = 30000;
  ds.initSetting();
  const ScanSetting& s = ds.scanSetting;
  EXPECT_EQ(s.wImageType, 1);
  EXPECT_EQ(s.bFDTSensitivity, 20);
  EXPECT_EQ(s.bRBThreshold, 128);
  EXPECT_EQ(s.bFDocumentThreshold, 230);
  EXPECT_EQ(s.bRACDSensitivity, 37);
  EXPECT_EQ(s.wBWRes, 200);
  EXPECT_EQ(s.wColorRes, 200);
  EXPECT_EQ(s.bColorMatch, 2);
  EXPECT_EQ(s.bRBFilterThreshold, 10);
  EXPECT_EQ(s.bFGCustomR, 128);
  EXPECT_EQ(s.bRBCustomB, 128);
  EXPECT_EQ(s.wWidth, 0x2345);
  EXPECT_EQ(s.wLength, 4200);
  EXPECT_EQ(s.dwLongWidth, 0x12345u);
  EXPECT_EQ(s.dwLongLength, 30000u);
  EXPECT_EQ(s.bBlankPageThreshold, 50);
  EXPECT_EQ(s.bNoiseRadius, 1);
  EXPECT_EQ(s.iImageCount, -1);
  EXPECT_EQ(s.wEnergySaver, 15);
  EXPECT_EQ(s.wPowerOffTime, 240);
  EXPECT_EQ(s.wTabWindow, 0x145);
  EXPECT_EQ(s.bPrintSize, 5);
  EXPECT_EQ(s.bSaveSetting, 1);
  EXPECT_EQ(s.bPowerOff, 1);
  EXPECT_EQ(s.bPaperWeight, 0);
  // AdvColorDropOn is 1 after construction unless the file says otherwise.
  EXPECT_EQ(s.bFGAdvanceProcess, 1);
  EXPECT_EQ(s.bRBAdvanceProcess, 1);
  EXPECT_EQ(s.strProfile.view(), "Custom");
  // The alarm is a sound the system has, in the folder the paper page's panel opens, of a type
  // the panel lists.
  const std::filesystem::path alarm(std::string(s.strAlarm.view()));
  EXPECT_TRUE(std::filesystem::is_regular_file(alarm)) << alarm;
  EXPECT_TRUE(alarm.string().starts_with(std::string(ferrolite::kSystemSoundFolder) + "/"));
  EXPECT_NE(std::find(ferrolite::kAlarmSoundExtensions.begin(),
                      ferrolite::kAlarmSoundExtensions.end(), alarm.extension().string().substr(1)),
            ferrolite::kAlarmSoundExtensions.end())
      << alarm;
  EXPECT_EQ(s.strPrintText.view(), "");
  EXPECT_EQ(s.strPrintCounter.view(), "0001");

  ferrolite::gAdvColorDropOn = 0;
  reinterpret_cast<uint8_t*>(&ds.scannerAbilityEx)[135] = 0x80;
  ds.initSetting();
  EXPECT_EQ(ds.scanSetting.bFGAdvanceProcess, 0);
  EXPECT_EQ(ds.scanSetting.bPaperWeight, 1);
}

// What a load makes of an entry, by the scanner's kind and the options.
TEST_F(Settings, LoadRules) {
  enum Kind : uint32_t { kFeeder = 0x20, kFlatbed = 0x80, kBoth = 0xA0 };
  struct Case {
    std::string name;
    uint32_t kind;
    bool newKrapi, manualFeeder;
    int noSleep, checkPowerOff;
    std::vector<std::pair<std::string, int>> entry;
    // expected
    int scanSource, width, length, tabWindow, powerOff, energySaver;
  };
  const std::vector<Case> cases = {
      {"only ImageType", kFeeder, true, false, 0, 0, {{"ImageType", 4}}, 1, 150, 150, 0x145, 1, 15},
      {"width 100",
       kFeeder,
       true,
       false,
       0,
       0,
       {{"Width", 100}, {"Length", 151}},
       1,
       150,
       151,
       0x145,
       1,
       15},
      {"width 150", kFeeder, true, false, 0, 0, {{"Width", 150}}, 1, 150, 150, 0x145, 1, 15},
      {"tab window 0", kFeeder, true, false, 0, 0, {{"TabWindow", 0}}, 1, 150, 150, 0x105, 1, 15},
      {"flatbed with 1",
       kFlatbed,
       true,
       false,
       0,
       0,
       {{"ScanSource", 1}},
       2,
       150,
       150,
       0x145,
       1,
       15},
      {"flatbed with 3",
       kFlatbed,
       true,
       false,
       0,
       0,
       {{"ScanSource", 3}},
       3,
       150,
       150,
       0x145,
       1,
       15},
      {"feeder with 3", kFeeder, true, false, 0, 0, {{"ScanSource", 3}}, 1, 150, 150, 0x145, 1, 15},
      {"feeder with 4", kFeeder, true, false, 0, 0, {{"ScanSource", 4}}, 4, 150, 150, 0x145, 1, 15},
      {"feeder with 0", kFeeder, true, false, 0, 0, {{"ScanSource", 0}}, 1, 150, 150, 0x145, 1, 15},
      {"both with 3", kBoth, true, false, 0, 0, {{"ScanSource", 3}}, 3, 150, 150, 0x145, 1, 15},
      {"both with 0", kBoth, true, false, 0, 0, {{"ScanSource", 0}}, 0, 150, 150, 0x145, 1, 15},
      // The older interface's record gives the kind.
      {"older flatbed",
       kFlatbed,
       false,
       false,
       0,
       0,
       {{"ScanSource", 0}},
       2,
       150,
       150,
       0x145,
       1,
       15},
      {"power off 0", kFeeder, true, false, 0, 0, {{"PowerOff", 0}}, 1, 150, 150, 0x145, 1, 15},
      {"power off 0, region rule",
       kFeeder,
       true,
       false,
       0,
       1,
       {{"PowerOff", 0}},
       1,
       150,
       150,
       0x145,
       0,
       15},
      {"manual feeder", kFeeder, true, true, 0, 0, {{"EnergySaver", 30}}, 1, 150, 150, 0x145, 1, 1},
      {"manual feeder, no sleep",
       kFeeder,
       true,
       true,
       1,
       0,
       {{"EnergySaver", 30}},
       1,
       150,
       150,
       0x145,
       1,
       0},
      {"manual feeder, no key",
       kFeeder,
       true,
       true,
       0,
       0,
       {{"ImageType", 1}},
       1,
       150,
       150,
       0x145,
       1,
       1},
      {"other scanner",
       kFeeder,
       true,
       false,
       1,
       0,
       {{"EnergySaver", 30}},
       1,
       150,
       150,
       0x145,
       1,
       30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(settingsFile());
    foundation::Dictionary entry;
    for (const auto& [key, value] : c.entry) entry.set(key, value);
    writeEntry(kModel, entry, settingsFile());
    TezFRLDS& ds = open();
    ds.newKrapi = c.newKrapi;
    if (c.newKrapi) {
      ds.deviceAbility.DeviceType = c.kind;
      ds.scannerAbilityEx.ScanMethod = kBoth;  // must not count
    } else {
      ds.scannerAbilityEx.ScanMethod = static_cast<uint16_t>(c.kind);
    }
    ds.sdUsbScanner = c.manualFeeder;
    ferrolite::gNoSleep = c.noSleep;
    ferrolite::gCheckPowerOff = c.checkPowerOff;
    ds.readSetting(std::nullopt, false);
    const ScanSetting& s = ds.scanSetting;
    EXPECT_EQ(s.bScanSource, c.scanSource);
    EXPECT_EQ(s.wWidth, c.width);
    EXPECT_EQ(s.wLength, c.length);
    EXPECT_EQ(s.wTabWindow, c.tabWindow);
    EXPECT_EQ(s.bPowerOff, c.powerOff);
    EXPECT_EQ(s.wEnergySaver, c.energySaver);
    EXPECT_EQ(s.wBWRes, 200);  // not in the entry: the default
  }
}

TEST_F(Settings, LoadsWithoutAnEntryKeepTheDefaultsAndNoRules) {
  TezFRLDS& ds = open();
  ds.scanSetting.wImageType = 99;
  ds.readSetting(std::nullopt, false);  // no file
  EXPECT_EQ(ds.scanSetting.wImageType, 1);
  EXPECT_EQ(ds.scanSetting.wWidth, 0);  // the rules apply only to a found entry
  writeEntry("Other", foundation::Dictionary{}, settingsFile());
  ds.readSetting(std::nullopt, false);
  EXPECT_EQ(ds.scanSetting.wWidth, 0);
  // The "Default" entry with the flag.
  foundation::Dictionary defaults;
  defaults.set("BWRes", 300);
  writeEntry("Default", defaults, settingsFile());
  ds.readSetting(std::nullopt, true);
  EXPECT_EQ(ds.scanSetting.wBWRes, 300);
  EXPECT_EQ(ds.scanSetting.wWidth, 150);
}

// Every field at an extreme of its type, saved and loaded again.
TEST_F(Settings, RoundTripOfEveryKey) {
  TezFRLDS& ds = open();
  ds.newKrapi = true;
  ds.deviceAbility.DeviceType = 0xA0;  // both kinds: the scan source is not checked
  ds.initSetting();
  std::map<std::string, int64_t> stored;
  int i = 0;
  for (const ferrolite::SettingNumber& n : ferrolite::settingNumbers()) {
    const bool high = i++ % 2 == 0;
    int64_t value = 0;
    switch (n.type) {
      case ferrolite::SettingType::u8:
        value = high ? 255 : 1;
        break;
      case ferrolite::SettingType::u16:
        value = high ? 65535 : 1;
        break;
      case ferrolite::SettingType::u32:
        value = high ? 4294967295 : 1;
        break;
      case ferrolite::SettingType::i32:
        value = high ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
        break;
    }
    // Values the load rules would change.
    if (n.key == "PowerOff") value = 1;
    if (n.key == "Width" || n.key == "Length" || n.key == "TabWindow") value = 65535;
    ferrolite::setSettingNumber(&ds.scanSetting, n, value);
    stored[std::string(n.key)] = value;
  }
  ds.scanSetting.strProfile = "Mine";
  ds.scanSetting.strAlarm = "/usr/share/sounds/alarm.oga";
  ds.scanSetting.strPrintText = "Ünïcode text";
  ds.scanSetting.strPrintCounter = "0042";
  ds.writeSetting(std::nullopt, false);

  const foundation::Dictionary top = readPlist(settingsFile());
  auto entry = top.dictionary(kModel);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->size(), ferrolite::kSettingKeyCount);  // no "AlertDate" while it is 0
  for (const auto& [key, value] : stored) EXPECT_EQ(entry->integer(key).valueOr(-1), value) << key;
  EXPECT_EQ(entry->string("PrintText").valueOr(""), "Ünïcode text");

  TezFRLDS& again = open();
  again.newKrapi = true;
  again.deviceAbility.DeviceType = 0xA0;
  again.readSetting(std::nullopt, false);
  for (const ferrolite::SettingNumber& n : ferrolite::settingNumbers()) {
    EXPECT_EQ(ferrolite::settingNumber(again.scanSetting, n), stored[std::string(n.key)]) << n.key;
  }
  EXPECT_EQ(again.scanSetting.strProfile.view(), "Mine");
  EXPECT_EQ(again.scanSetting.strAlarm.view(), "/usr/share/sounds/alarm.oga");
  EXPECT_EQ(again.scanSetting.strPrintText.view(), "Ünïcode text");
  EXPECT_EQ(again.scanSetting.strPrintCounter.view(), "0042");
}

TEST_F(Settings, SavesKeepOtherEntriesAndTheAlertDate) {
  foundation::Dictionary other;
  other.set("Anything", 7);
  writeEntry("Default", other, settingsFile());
  TezFRLDS& ds = open();
  ds.initSetting();
  ds.alertDate = 20261210;
  ds.writeSetting(std::nullopt, false);
  const foundation::Dictionary top = readPlist(settingsFile());
  EXPECT_EQ(top.dictionary("Default")->integer("Anything").valueOr(0), 7);
  EXPECT_EQ(top.dictionary(kModel)->integer("AlertDate").valueOr(0), 20261210);

  // The diagnosis copy goes to the log folder under the model, whatever the profile.
  ds.writeSetting(std::string("Ignored"), true);
  const foundation::Dictionary copy = readPlist(logFolder_ / "krscan.plist");
  EXPECT_TRUE(copy.dictionary(kModel));
  EXPECT_FALSE(copy.contains("Ignored"));
  EXPECT_EQ(ds.scanSetting.strProfile.view(), "Custom");
}

TEST_F(Settings, Profiles) {
  TezFRLDS& ds = open();
  EXPECT_FALSE(ds.availableProfile().has_value());
  ds.profileOperation("gone", ferrolite::kProfileDelete);
  EXPECT_FALSE(std::filesystem::exists(profileFile()));  // a delete writes no new file

  ds.initSetting();
  ds.alertDate = 20261210;
  for (const char* name : {"b", "A", "c"}) {
    ds.scanSetting.wBWRes = static_cast<uint16_t>(name[0]);
    ds.profileOperation(name, ferrolite::kProfileSave);
  }
  EXPECT_THAT(*ds.availableProfile(), ElementsAre("A", "b", "c"));
  EXPECT_EQ(ds.scanSetting.strProfile.view(), "c");
  const foundation::Dictionary profiles = readPlist(profileFile());
  auto a = profiles.dictionary("A");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->string("Profile").valueOr(""), "A");
  EXPECT_FALSE(a->contains("AlertDate"));
  EXPECT_EQ(a->size(), ferrolite::kSettingKeyCount);

  ds.profileOperation("b", ferrolite::kProfileDelete);
  EXPECT_THAT(*ds.availableProfile(), ElementsAre("A", "c"));
  EXPECT_EQ(readPlist(profileFile()).dictionary("A")->integer("BWRes").valueOr(0), 'A');

  ds.profileOperation("A", ferrolite::kProfileLoad);
  EXPECT_EQ(ds.scanSetting.wBWRes, 'A');
  EXPECT_EQ(ds.scanSetting.strProfile.view(), "A");
  ds.readSetting(std::string("missing"), false);
  EXPECT_EQ(ds.scanSetting.wBWRes, 200);
  EXPECT_EQ(ds.scanSetting.strProfile.view(), "Custom");
  ds.profileOperation("A", 7);  // unknown operations do nothing
  EXPECT_EQ(ds.scanSetting.strProfile.view(), "Custom");
}

TEST_F(Settings, OffSaveSetting) {
  TezFRLDS& ds = open();
  ds.offSaveSetting();
  EXPECT_FALSE(std::filesystem::exists(settingsFile()));  // only an existing file is changed

  writeEntry("Default", foundation::Dictionary{}, settingsFile());
  ds.offSaveSetting();
  const foundation::Dictionary first = readPlist(settingsFile());
  auto entry = first.dictionary(kModel);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->size(), 1u);
  EXPECT_EQ(entry->integer("SaveSetting").valueOr(-1), 0);

  ds.initSetting();
  ds.writeSetting(std::nullopt, false);
  ds.offSaveSetting();
  const foundation::Dictionary second = readPlist(settingsFile());
  entry = second.dictionary(kModel);
  EXPECT_EQ(entry->integer("SaveSetting").valueOr(-1), 0);
  EXPECT_EQ(entry->integer("BWRes").valueOr(0), 200);
}

TEST_F(Settings, DebugLevelOnAndOffWritesDebugConf) {
  TezFRLDS& ds = open();
  const std::filesystem::path conf = logFolder_ / "Debug.conf";
  ds.printDebugLog(true);
  EXPECT_EQ(ds.debugLevel, 2);
  EXPECT_EQ(readText(conf), "DebugLevel 2\n");
  ds.printDebugLog(true);
  EXPECT_EQ(ds.debugLevel, 3);
  EXPECT_EQ(ferrolite::gKrCommon->debugLevel(), 3);
  EXPECT_EQ(readText(conf), "DebugLevel 3\n");
  ds.printDebugLog(false);
  EXPECT_EQ(ds.debugLevel, 0);
  EXPECT_EQ(readText(conf), "DebugLevel 0\n");
  EXPECT_FALSE(std::filesystem::exists(settingsFile()));  // setCustomSetting writes no new file

  // The folder of "Debug.conf" is made when missing.
  std::filesystem::remove_all(logFolder_);
  ds.printDebugLog(true);
  EXPECT_EQ(readText(conf), "DebugLevel 2\n");
}

TEST_F(Settings, CustomSettingCreatesDefaultAndKeepsPrivateLevelsThere) {
  writeEntry(kModel, foundation::Dictionary{}, settingsFile());
  TezFRLDS& ds = open();
  ds.selLanguage = 3;
  ds.setCustomSetting();
  const foundation::Dictionary first = readPlist(settingsFile());
  auto defaults = first.dictionary("Default");
  ASSERT_TRUE(defaults);
  EXPECT_EQ(defaults->integer("Language").valueOr(-1), 3);
  EXPECT_FALSE(defaults->contains("DebugLevel"));  // the level did not change
  EXPECT_FALSE(std::filesystem::exists(logFolder_ / "Debug.conf"));

  // Private debugging keeps its level in the settings file, not in "Debug.conf".
  foundation::Dictionary privateLevel;
  privateLevel.set("DebugLevel", 1);
  writeEntry("Default", privateLevel, settingsFile());
  TezFRLDS& priv = open();
  priv.printDebugLog(true);
  EXPECT_EQ(priv.debugLevel, 2);
  const foundation::Dictionary second = readPlist(settingsFile());
  defaults = second.dictionary("Default");
  EXPECT_EQ(defaults->integer("DebugLevel").valueOr(0), 2);
  EXPECT_EQ(defaults->integer("Language").valueOr(0), -1);
  EXPECT_TRUE(readPlist(settingsFile()).contains(kModel));
  EXPECT_FALSE(std::filesystem::exists(logFolder_ / "Debug.conf"));
}

}  // namespace
