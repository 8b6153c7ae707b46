// The data-source object's construction: "Debug.conf", the option table of "krscan.plist" with
// its limit fixes and log lines, the identity and the defaults.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "DataSourceFixture.h"

namespace {

using ferrolite::gAdvColorDropOn;
using ferrolite::gColorScan;
using ferrolite::gMaxPowerOff;
using ferrolite::gMaxPowerSaving;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class Construction : public dstest::DataSourceTest {
 protected:
  void writeDefaults(const foundation::Dictionary& defaults) {
    foundation::Dictionary top;
    top.set("Default", defaults);
    writePlist(settingsFile(), top);
  }
};

struct Options {
  int maxPowerSaving, maxPowerOff, colorScan, advColorDropOn;
};

TEST_F(Construction, OptionTableAndItsLimitFixes) {
  struct Case {
    std::string name;
    std::vector<std::pair<std::string, foundation::Value>> defaults;  // none: no settings file
    Options expected;
  };
  const std::vector<Case> cases = {
      {"no settings file", {}, {240, 4320, 1, 1}},
      {"MaxPowerOff 480", {{"MaxPowerOff", 480}}, {240, 4320, 1, 1}},
      {"saving above off", {{"MaxPowerSaving", 600}, {"MaxPowerOff", 300}}, {600, 600, 1, 1}},
      // Zeros take the built-in values, after the 480 rule: 480 stays 480.
      {"zeros", {{"MaxPowerSaving", 0}, {"MaxPowerOff", 0}}, {240, 480, 1, 1}},
      {"colour always, drop-out off kept",
       {{"ColorScan", 0}, {"AdvColorDropOn", 0}},
       {240, 4320, 1, 0}},
      {"drop-out -1 turned on", {{"AdvColorDropOn", -1}}, {240, 4320, 1, 1}},
      {"a number as text", {{"MaxPowerSaving", "300"}}, {300, 4320, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(settingsFile());
    if (!c.defaults.empty()) {
      foundation::Dictionary defaults;
      for (const auto& [key, value] : c.defaults) defaults.set(key, value);
      writeDefaults(defaults);
    }
    makeSource();
    EXPECT_EQ(gMaxPowerSaving, c.expected.maxPowerSaving);
    EXPECT_EQ(gMaxPowerOff, c.expected.maxPowerOff);
    EXPECT_EQ(gColorScan, c.expected.colorScan);
    EXPECT_EQ(gAdvColorDropOn, c.expected.advColorDropOn);
    EXPECT_EQ(ferrolite::gTezOlmex, 1);
  }
}

TEST_F(Construction, EveryOptionKeyAndAFreshStart) {
  foundation::Dictionary defaults;
  const std::vector<std::pair<const char*, int>> numbers = {{"ScanRes", 300},
                                                            {"UIAlwaysOn", 1},
                                                            {"SingleCropDuplex", 0},
                                                            {"DebugImage", 2},
                                                            {"LongPageCrop", 1},
                                                            {"PhysicalLongPaper", 5},
                                                            {"MergeAll", 0},
                                                            {"MergeSides", 1},
                                                            {"BarcodeResult", 1},
                                                            {"DisableJpeg", 1},
                                                            {"NoSleep", 1},
                                                            {"CheckPowerOff", 1},
                                                            {"MaxLongLengthHighRes", 9000}};
  for (const auto& [key, value] : numbers) defaults.set(key, value);
  defaults.set("Version", "9.9.9");
  defaults.set("SupportedLanguage", "en,de");
  writeDefaults(defaults);
  ferrolite::TezFRLDS& ds = makeSource();
  EXPECT_EQ(ds.ScanRes, 300);
  EXPECT_EQ(ds.UIAlwaysOn, 1);
  EXPECT_EQ(ferrolite::gSingleCropDuplex, 0);
  EXPECT_EQ(ferrolite::gDebugImage, 2);
  EXPECT_EQ(ferrolite::gLongPageCrop, 1);
  EXPECT_TRUE(ferrolite::gPhysicalLongPaper);
  EXPECT_EQ(ferrolite::gMergeAll, 0);
  EXPECT_EQ(ferrolite::gMergeSides, 1);
  EXPECT_EQ(ferrolite::gBarcodeResult, 1);
  EXPECT_EQ(ferrolite::gDisableJpeg, 1);
  EXPECT_EQ(ferrolite::gNoSleep, 1);
  EXPECT_EQ(ferrolite::gCheckPowerOff, 1);
  EXPECT_EQ(ferrolite::gMaxLongLengthHighRes, 9000);
  EXPECT_EQ(ds.customVersion, "9.9.9");
  EXPECT_EQ(ds.supportedLanguage, "en,de");

  // The next object starts from the built-in values, not from the last one's.
  std::filesystem::remove(settingsFile());
  ferrolite::TezFRLDS& fresh = makeSource();
  EXPECT_EQ(fresh.ScanRes, -1);
  EXPECT_EQ(fresh.UIAlwaysOn, 0);
  EXPECT_EQ(ferrolite::gSingleCropDuplex, 1);
  EXPECT_EQ(ferrolite::gDebugImage, 1);
  EXPECT_FALSE(ferrolite::gPhysicalLongPaper);
  EXPECT_EQ(ferrolite::gMergeSides, -1);
  EXPECT_EQ(ferrolite::gNoSleep, 0);
  EXPECT_EQ(ferrolite::gCheckPowerOff, 0);
  EXPECT_EQ(ferrolite::gMaxLongLengthHighRes, 11400);
  EXPECT_TRUE(fresh.customVersion.empty());
}

TEST_F(Construction, DebugLevelFromDebugConfAndTheSettingsFile) {
  const std::string longLine(1500, ' ');
  struct Case {
    std::string name, conf;
    int defaultLevel;  // -100: no "DebugLevel" in "Default"
    int debugLevel, privateDebug;
  };
  const std::vector<Case> cases = {
      {"no file", "", -100, 0, 0},
      {"level 3", "DebugLevel 3\n", -100, 3, 0},
      {"the last line wins", "DebugLevel 3\nSavePath /tmp\nDebugLevel 1\n", -100, 1, 0},
      {"no line feed at the end", "DebugLevel 4", -100, 4, 0},
      {"the settings file overrides", "DebugLevel 3\n", 2, 2, 2},
      {"a private 0 keeps the file's level", "DebugLevel 3\n", 0, 3, 0},
      // An overlong line is skipped whole, also the part past the buffer that reads like a line.
      {"overlong line", "DebugLevel 2\n" + longLine + "DebugLevel 9\nBufferedLog 1\n", -100, 2, 0},
      {"overlong value", "DebugLevel 2\nDebugLevel " + std::string(300, '7') + "\n", -100, 2, 0},
      {"overlong key", "DebugLevel 2\n" + std::string(300, 'K') + " 5\n", -100, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(logFolder_ / "Debug.conf");
    std::filesystem::remove(settingsFile());
    if (!c.conf.empty()) writeDebugConf(c.conf);
    if (c.defaultLevel != -100) {
      foundation::Dictionary defaults;
      defaults.set("DebugLevel", c.defaultLevel);
      writeDefaults(defaults);
    }
    ferrolite::TezFRLDS& ds = makeSource();
    EXPECT_EQ(ds.debugLevel, c.debugLevel);
    EXPECT_EQ(ds.privateDebug, c.privateDebug);
    EXPECT_EQ(ferrolite::gKrCommon->debugLevel(), c.debugLevel);
    // Private debugging keeps the log in the bundle folder.
    if (c.debugLevel > 0) {
      EXPECT_EQ(ferrolite::gKrCommon->logPath(),
                (c.privateDebug > 0 ? bundle_ : logFolder_) / "twainlog.txt");
    }
  }
}

TEST_F(Construction, LogsItsHeaderTheCustomKeysAndWhereItIs) {
  writeDebugConf("DebugLevel 1\n");
  foundation::Dictionary defaults;
  defaults.set("MaxPowerOff", 480);
  defaults.set("Version", "1.2");
  writeDefaults(defaults);
  const std::string stars(65, '*');
  // The system information's lines (system, locale, language, country) come between the custom
  // keys and the module's place.
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  setenv("LANG", "de_CH.UTF-8", 1);
  makeSource();
  EXPECT_THAT(twainLogLines(),
              ElementsAre(stars, std::string("TWAIN Scan log"), stars,
                          std::string("    1: DebugLevel : 1"), std::string("Custom"),
                          std::string("    1: Custom : Key: MaxPowerOff ,Value: 480"),
                          std::string("    1: Custom : Key: Version ,Value: 1.2"),
                          ::testing::StartsWith("    1: System version : "),
                          std::string("    1: Current locale : de_CH"),
                          std::string("    1: Language code : de"),
                          std::string("    1: Country code : CH"), std::string("64-bit TWAIN"),
                          std::string("    1: DS ID : org.vantrel.twain.ferrolite"),
                          "    1: DS path : " + bundle_.string()));
}

TEST_F(Construction, IdentityFromTheInformationDictionary) {
  struct Case {
    std::string name;
    bool infoFile;
    std::vector<std::pair<std::string, std::string>> keys;
    std::string manufacturer, family, product;
  };
  const std::string longName(40, 'N');
  const std::vector<Case> cases = {
      {"shipped",
       true,
       {{"Manufacturer", "Olmex"}, {"ProductFamily", "Pagewright"}, {"ProductName", "Ferrolite"}},
       "Olmex",
       "Pagewright",
       "Ferrolite"},
      {"no family", true, {{"Manufacturer", "M"}, {"ProductName", "P"}}, "M", "Pagewright", "P"},
      {"no file", false, {}, "Unknown", "Pagewright", "Unknown TWAIN"},
      {"cut to 32",
       true,
       {{"ProductName", longName}},
       "Unknown",
       "Pagewright",
       longName.substr(0, 32)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(bundle_ / "Info.plist");
    if (c.infoFile) {
      foundation::Dictionary info;
      for (const auto& [key, value] : c.keys) info.set(key, value);
      writePlist(bundle_ / "Info.plist", info);
    }
    const TW_IDENTITY& id = makeSource().mIdentity;
    EXPECT_EQ(TW_UINT32{id.Id}, 1u);
    EXPECT_EQ(id.Version.MajorNum, 2);
    EXPECT_EQ(id.Version.MinorNum, 1);
    EXPECT_EQ(id.Version.Language, TWLG_ENGLISH_USA);
    EXPECT_EQ(id.Version.Country, TWCY_USA);
    EXPECT_STREQ(id.Version.Info, "2.1");
    EXPECT_EQ(id.ProtocolMajor, 1);
    EXPECT_EQ(id.ProtocolMinor, 9);
    EXPECT_EQ(TW_UINT32{id.SupportedGroups}, 0x40000003u);
    EXPECT_STREQ(id.Manufacturer, c.manufacturer.c_str());
    EXPECT_STREQ(id.ProductFamily, c.family.c_str());
    EXPECT_STREQ(id.ProductName, c.product.c_str());
    EXPECT_EQ(ferrolite::gSTR_PRODUCT_NAME[0], c.product.size());
  }
}

TEST_F(Construction, StartsLoadedWithTheCapabilityDefaults) {
  ferrolite::gConditionCode = TWCC_BADVALUE;
  const ferrolite::TezFRLDS& ds = makeSource();
  EXPECT_EQ(ds.mCurrentState, 35);
  EXPECT_EQ(ferrolite::gConditionCode, 0);
  EXPECT_EQ(std::vector<int>({ds.mResMinValue, ds.mResMaxValue, ds.mResStepSize,
                              ds.mResDefaultValue, ds.mResCurrentValue}),
            std::vector<int>({72, 600, 1, 200, 200}));
  EXPECT_EQ(std::vector<int>(ds.mPaperSize, ds.mPaperSize + 17),
            std::vector<int>({0, 3, 4, 11, 1, 5, 13, 22, 6, 29, 7, 30, 38, 2, 39, 40, 54}));
  EXPECT_EQ(ds.mPaperSizeCurrent, 1);
  EXPECT_EQ(std::vector<int>(ds.mBitDepth, ds.mBitDepth + 3), std::vector<int>({1, 8, 24}));
  EXPECT_EQ(std::vector<int>({ds.mBrightnessMin, ds.mBrightnessMax, ds.mBrightnessStep,
                              ds.mContrastMin, ds.mContrastMax, ds.mContrastStep}),
            std::vector<int>({-1000, 1000, 10, -1000, 1000, 10}));
  EXPECT_EQ(ds.mMultiStream, 1);
  EXPECT_EQ(ds.mXferCount, -1);
  EXPECT_STREQ(ds.mGlobalSetupFile.FileName, "TwainDS.tif");
  EXPECT_EQ(ds.mGlobalSetupFileName[0], 11);
  EXPECT_EQ(ds.adfMinWidth, 150);
  EXPECT_EQ(ds.flatbedMinLength, 150);
}

}  // namespace
