// The parts every page shares: the ability view chosen by the interface switch, the text-field
// family's edit keys and number readings, the notification protocol's data, and the recording
// data source.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "DialogFixture.h"
#include "ds/dialog/FoundationLanguage.h"
#include "ds/dialog/TextFieldFamily.h"
#include "tests/support/TestFolder.h"

namespace ferrolite::dialog {
namespace {

using testing::DialogFixture;

TEST(AbilityView, TheSwitchChoosesTheRecordNeverThePointer) {
  DialogFixture f;
  f.current.ADFMaxWidth = 3000;
  f.older.ADFMaxWidth = 2000;
  EXPECT_EQ(f.ctx().ability().adfMaxWidth(), 3000u);
  f.useOlderInterface();
  EXPECT_EQ(f.ctx().ability().adfMaxWidth(), 2000u);
  // The current interface without its record reads no abilities, not the older record's.
  f.globals.gUINewKrapi = true;
  f.bridge.mpDeviceAbility = nullptr;
  EXPECT_EQ(f.ctx().ability().adfMaxWidth(), 0u);
  EXPECT_FALSE(f.ctx().ability().duplex());
}

TEST(AbilityView, CapabilityBitsOfBothInterfaces) {
  DeviceAbility current{};
  current.ScannerCapability0 = 1;
  current.ScannerCapability1 = (1u << 4) | (1u << 6) | (1u << 24);
  current.DeviceType = 0x84;
  const AbilityView now(true, &current, nullptr);
  EXPECT_TRUE(now.ultrasonicDetection());
  EXPECT_TRUE(now.needsCalibration());
  EXPECT_TRUE(now.powerOff());
  EXPECT_TRUE(now.ejectOpposite());
  EXPECT_TRUE(now.duplex());
  EXPECT_FALSE(now.additionalMultifeedDetection());

  ScannerAbilityEx older{};
  older.ScannerCapability2 = (1u << 17) | (1u << 26) | (1u << 29);
  older.ScannerCapability3 = 1u << 11;
  older.DriverFunctionSupport2 = 1u << 5;
  older.ScanMethod = 0x40;
  const AbilityView before(false, nullptr, &older);
  EXPECT_TRUE(before.additionalMultifeedDetection());
  EXPECT_TRUE(before.ultrasonicDetection());
  EXPECT_TRUE(before.needsCalibration());
  EXPECT_TRUE(before.powerOff());
  EXPECT_TRUE(before.ejectOpposite());
  EXPECT_FALSE(before.duplex());

  const AbilityView none(false, nullptr, nullptr);
  EXPECT_FALSE(none.powerOff());
  EXPECT_EQ(none.deviceType(), 0u);
}

TEST(AbilityView, FlatbedSources) {
  EXPECT_TRUE(isFlatbedSource(2));
  EXPECT_TRUE(isFlatbedSource(3));
  EXPECT_FALSE(isFlatbedSource(0));
  EXPECT_FALSE(isFlatbedSource(1));
  EXPECT_FALSE(isFlatbedSource(4));
  DialogFixture f;
  EXPECT_EQ(f.ctx().ability().maxLength(3), 3508u);
  EXPECT_EQ(f.ctx().ability().maxLength(4), 4200u);
}

TEST(TextFieldFamily, EditKeysAreExactlyCommandWithXCVA) {
  struct Case {
    uint32_t modifiers;
    const char* key;
    EditCommand command;
  } cases[] = {
      {kModifierCommand, "x", EditCommand::Cut},
      {kModifierCommand, "c", EditCommand::Copy},
      {kModifierCommand, "v", EditCommand::Paste},
      {kModifierCommand, "a", EditCommand::SelectAll},
      {kModifierCommand | kModifierShift, "v", EditCommand::None},
      {kModifierCommand | kModifierCapsLock, "a", EditCommand::None},
      {kModifierControl, "v", EditCommand::None},
      {0, "v", EditCommand::None},
      {kModifierCommand, "z", EditCommand::None},
      {kModifierCommand, "V", EditCommand::None},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(editKeyEquivalent(c.modifiers, c.key), c.command) << c.modifiers << c.key;
  }
}

TEST(TextFieldFamily, NumberReadings) {
  EXPECT_EQ(intValue("12a3"), 12);
  EXPECT_EQ(intValue(""), 0);
  EXPECT_EQ(intValue("abc"), 0);
  EXPECT_EQ(intValue(" -5"), -5);
  EXPECT_EQ(intValue("007"), 7);
  EXPECT_EQ(intValue("2147483647"), 2147483647);
  EXPECT_EQ(intValue("99999999999999"), 2147483647);
  EXPECT_EQ(intValue("-99999999999999"), -2147483647 - 1);
  EXPECT_DOUBLE_EQ(doubleValue("215.9"), 215.9);
  EXPECT_DOUBLE_EQ(doubleValue("1."), 1.0);
  EXPECT_DOUBLE_EQ(doubleValue(".5"), 0.5);
  EXPECT_DOUBLE_EQ(doubleValue("1.2.3"), 1.2);
  EXPECT_DOUBLE_EQ(doubleValue(""), 0.0);
  EXPECT_EQ(textMovement(17), TextMovement::Tab);
  EXPECT_EQ(textMovement(18), TextMovement::BackTab);
  EXPECT_EQ(textMovement(16), TextMovement::Other);
  EXPECT_EQ(digitsOnly("3a0"), "30");
}

TEST(Notifications, TwentyThreeNamesRegisteredOnceEach) {
  std::set<std::string_view> names(kObserverRegistrationOrder.begin(),
                                   kObserverRegistrationOrder.end());
  EXPECT_EQ(names.size(), 23u);
  EXPECT_EQ(kObserverRegistrationOrder.front(), "pageSizeByStepper");
  EXPECT_EQ(kObserverRegistrationOrder.back(), "LandScapeAndPortraitCheck");
  EXPECT_EQ(describe(whichPost(note::kOptionNoise, "noiseNumber")),
            "optionNoise {which: noiseNumber}");
  EXPECT_EQ(describe(Post(note::kPreviewWin2Text, {{"left", int64_t{1}}, {"top", int64_t{2}}})),
            "PreviewWin2Text {left: 1, top: 2}");
}

TEST(FoundationLanguage, TextsOfTheTableAndFallbacks) {
  const auto folder = testsupport::freshTestFolder("dialog-language") / "German.lproj";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "Localizable.strings") << "\"Custom\" = \"Benutzerdefiniert\";\n";
  auto opened = foundation::LanguageBundle::open(folder);
  ASSERT_TRUE(opened.ok());
  const FoundationLanguageBundle language(*opened);
  EXPECT_EQ(language.localizedStringForKey("Custom", "Custom?"), "Benutzerdefiniert");
  EXPECT_EQ(language.localizedStringForKey("Reset", "Reset?"), "Reset?");
}

TEST(RecordingDataSource, LogsEachCallWithItsArgumentsInOrder) {
  testing::RecordingDataSource ds;
  ds.nvram = {1, 2, 3};
  uint8_t buffer[2] = {};
  int32_t id = -1;
  ds.getLanguage(&id);
  ds.readSetting(std::nullopt, true);
  ds.profileOperation("Invoices", kProfileSave);
  ds.getNVMData(buffer, sizeof buffer);
  ds.printDebugLog(false);
  ds.resetRollerCount(2);
  EXPECT_EQ(ds.calls, (std::vector<std::string>{"getLanguage", "readSetting(nil, YES)",
                                                "profileOperation(Invoices, 1)", "getNVMData(2)",
                                                "printDebugLog(NO)", "resetRollerCount(2)"}));
  EXPECT_EQ(id, 0);
  EXPECT_EQ(buffer[1], 2);
  EXPECT_EQ(ds.availableProfile(), (std::vector<std::string>{"Invoices"}));
}

}  // namespace
}  // namespace ferrolite::dialog
