// The diagnostic sheet's panels on the headless layer: a Ctrl-click on Default, then each
// tool-bar item, shows its panel with every value field and box filled from records built byte
// by byte at their layouts' offsets; the capability popup switches the word shown.
#include <gtest/gtest.h>

#include <cstring>

#include "FrameSupport.h"
#include "ds/dialog/diagnostics/DiagnosticSheet.h"
#include "ds/scan/records/NvmData.h"

namespace ferrolite::dialog::testing {
namespace {

using Strings = std::vector<std::string>;

template <class Record, class Value>
void put(Record& record, std::size_t offset, Value value) {
  static_assert(std::is_trivially_copyable_v<Value>);
  ASSERT_LE(offset + sizeof value, sizeof record);
  std::memcpy(reinterpret_cast<uint8_t*>(&record) + offset, &value, sizeof value);
}
template <class Record>
void putText(Record& record, std::size_t offset, std::string_view text) {
  std::memcpy(reinterpret_cast<uint8_t*>(&record) + offset, text.data(), text.size());
}

struct DiagnosticFixture : FrameFixture {
  DiagnosticFixture() : FrameFixture("dialog-diagnostics") {}
  void openSheet() {
    open();
    ASSERT_TRUE(user.holdModifiers(window(), ui::kCtrl));
    ASSERT_TRUE(click("mButtonDefault"));
    ASSERT_EQ(window().attachedSheet(), &sheet());
  }
  bool show(const std::string& item) { return user.clickToolbarItem(*sheet().toolbar(), item); }
  std::string text(std::string_view outlet) { return sheet().get<ui::TextField>(outlet).text(); }
  bool on(std::string_view outlet) { return sheet().get<ui::Button>(outlet).isOn(); }
  // The value fields of a panel's view and of its sub-views.
  std::vector<ui::TextField*> valueFields(std::string_view view) {
    std::vector<ui::Control*> open{&sheet().get<ui::View>(view)};
    std::vector<ui::TextField*> fields;
    while (!open.empty()) {
      ui::Control* c = open.back();
      open.pop_back();
      for (ui::Control* child : c->children()) open.push_back(child);
      if (auto* field = dynamic_cast<ui::TextField*>(c)) fields.push_back(field);
    }
    return fields;
  }
  // Marks every value field, runs what fills the panel, and finds each one written.
  template <class Fill>
  void expectEveryValueWritten(std::string_view view, Fill fill) {
    static const std::string kUnset = "(unset)";
    const std::vector<ui::TextField*> fields = valueFields(view);
    ASSERT_FALSE(fields.empty()) << view;
    for (ui::TextField* field : fields) field->setText(kUnset);
    fill();
    for (const ui::TextField* field : fields) {
      if (field->isHidden() || sheet().get<ui::View>(view).isHidden()) continue;
      EXPECT_NE(field->text(), kUnset) << field->outlet();
    }
  }
};

TEST(DiagnosticPanels, OlderInterface) {
  DiagnosticFixture f;
  f.extra.newKrapi = false;
  // ScannerAbilityEx, 142 bytes.
  putText(f.older, 0, "OLMEX");
  put(f.older, 60, std::array<uint8_t, 8>{});    // HalftoneIndex
  put(f.older, 68, uint32_t{0x80000001});        // ScannerCapability: bits 0 and 31
  put(f.older, 72, uint32_t{0});                 // DriverFunctionSupport
  put(f.older, 114, uint32_t{1u << 26});         // ScannerCapability2
  put(f.older, 118, uint32_t{1u << 20});         // DriverFunctionSupport2
  put(f.older, 133, uint32_t{(1u << 26) | 1u});  // ScannerCapability3 (packed)
  // NvmData, 128 bytes.
  NvmData nvram{};
  put(nvram, 18, int16_t{-3});  // SideEdgeFletbed
  putText(nvram, 46, "SIM0000001");
  f.dataSource.nvram.assign(reinterpret_cast<const uint8_t*>(&nvram),
                            reinterpret_cast<const uint8_t*>(&nvram) + sizeof nvram);
  f.openSheet();

  // The sheet opens on the ability panel.
  EXPECT_EQ(f.text("mScannerAbilityEx_VenderName"), "OLMEX");
  EXPECT_EQ(f.text("mScannerAbilityEx_ScannerCapability"), "0x80000001");
  EXPECT_EQ(f.text("mScannerAbilityEx_DriverFunctionSupport"), "0");
  EXPECT_EQ(f.text("mScannerAbilityEx_HalftoneIndex"), "0,0,0,0,0,0,0,0,");
  EXPECT_EQ(f.text("mScannerAbilityEx_ADFMaxWidth"), "2550");
  f.expectEveryValueWritten("pPropertyScannerAbilityExView",
                            [&f] { ASSERT_TRUE(f.show("ScannerAbilityEx")); });

  struct Box {
    const char* item;
    const char* outlet;
    bool on;
  };
  const Box boxes[] = {
      {"ScannerCapability", "mScannerCapability_TransCap", true},
      {"ScannerCapability", "mScannerCapability_SupportParameterEx2400Base", true},
      {"ScannerCapability", "mScannerCapability_ExposureTimeCtlCap", false},
      {"ScannerCapability2", "mScannerCapability2_HaveUltraSonicSensor", true},
      {"ScannerCapability2", "mScannerCapability2_IsPushButtonScanner", false},
      {"ScannerCapability3", "mScannerCapability3_SupportSendUltrasonicArea", true},
      {"ScannerCapability3", "mScannerCapability3_SupportMotorSpeedDataRead", false},
      {"DriverFunctionSupport", "mDriverFunctionSupport_InitializeDriver", false},
      {"DriverFunctionSupport2", "mDriverFunctionSupport2_GetFallback", true},
  };
  for (const Box& b : boxes) {
    ASSERT_TRUE(f.show(b.item));
    EXPECT_EQ(f.on(b.outlet), b.on) << b.outlet;
    EXPECT_FALSE(f.sheet().get<ui::Button>(b.outlet).isEnabled()) << "display only";
  }
  f.dataSource.calls.clear();
  ASSERT_TRUE(f.show("NVRAM"));
  EXPECT_EQ(f.dataSource.calls, Strings{"getNVMData(" + std::to_string(sizeof(NvmData)) + ")"});
  EXPECT_FALSE(f.sheet().get<ui::View>("pPropertyNVRAMView").isHidden());
  EXPECT_TRUE(f.sheet().get<ui::View>("pPropertyScannerAbilityExView").isHidden());
  EXPECT_EQ(f.text("mNVRAM_SideEdgeFletbed"), "-3");
  EXPECT_EQ(f.text("mNVRAM_SN"), "SIM0000001");
  f.expectEveryValueWritten("pPropertyNVRAMView", [&f] { ASSERT_TRUE(f.show("NVRAM")); });
}

TEST(DiagnosticPanels, CurrentInterface) {
  DiagnosticFixture f;
  put(f.current, 84, uint32_t{11400});        // LongPageLength
  f.current.ScannerCapability0 = 0xC0000080;  // bits 30-31 and 7
  f.current.ScannerCapability1 = 0x1F800000;  // bits 23 to 28
  f.current.ScannerCapability2 = 0x000000A3;
  NewNvmData nvram{};
  nvram.PadScanCount = 255;
  f.dataSource.nvram.assign(reinterpret_cast<const uint8_t*>(&nvram),
                            reinterpret_cast<const uint8_t*>(&nvram) + sizeof nvram);
  f.openSheet();
  EXPECT_EQ(f.text("mNewScannerAbility_LongPageLength"), "11400");
  EXPECT_EQ(f.text("mNewScannerAbility_Reserved"), "0");
  EXPECT_EQ(f.text("mNewScannerAbility_ScannerVapability0"), "0xC0000080");
  f.expectEveryValueWritten("pNewPropertyScannerAbilityView",
                            [&f] { ASSERT_TRUE(f.show("newScannerAbility")); });

  ASSERT_TRUE(f.show("newScannerCapability"));
  auto& popUp = f.sheet().get<ui::PopUpButton>("mPopupCapability");
  ASSERT_EQ(popUp.numberOfItems(), 3u);
  EXPECT_EQ(popUp.indexOfSelectedItem(), 0);
  struct Word {
    int index;
    const char* header;
    const char* subview;
    const char* group;
    const char* label;
    bool on;
  };
  const Word words[] = {
      {0, "0xC0000080", "pNewPropertyScannerCapability0View", "mNewScannerCapability0_ResizeImage",
       "Bit30-31(3)", true},
      {0, "0xC0000080", "pNewPropertyScannerCapability0View",
       "mNewScannerCapability0_UltrasonicDetection", "Bit0(0)", false},
      {1, "0x1F800000", "pNewPropertyScannerCapability1View",
       "mNewScannerCapability1_DirectionPeperEject", "Bit23-28(63)", true},
      {2, "0x000000A3", "pNewPropertyScannerCapability2View",
       "mNewScannerCapability2_SkewEjectControl", "Bit4-7(10)", true},
      {2, "0x000000A3", "pNewPropertyScannerCapability2View",
       "mNewScannerCapability2_MultifeedEjectControl", "Bit0-3(3)", true},
  };
  for (const Word& w : words) {
    SCOPED_TRACE(w.group);
    if (w.index != 0) {
      ASSERT_TRUE(f.user.choose(popUp, w.index));
    }
    EXPECT_EQ(f.text("mNewScannerCapability"), w.header);
    for (std::string_view subview : capabilitySubviews()) {
      EXPECT_EQ(f.sheet().get<ui::View>(subview).isHidden(), subview != w.subview) << subview;
    }
    EXPECT_EQ(f.text(w.group), w.label);
    EXPECT_EQ(f.on(std::string(w.group) + "Check"), w.on);
    f.expectEveryValueWritten(w.subview, [&] { ASSERT_TRUE(f.user.choose(popUp, w.index)); });
  }

  f.dataSource.calls.clear();
  ASSERT_TRUE(f.show("newNVRAM"));
  EXPECT_EQ(f.dataSource.calls, Strings{"getNVMData(" + std::to_string(sizeof(NewNvmData)) + ")"});
  EXPECT_EQ(f.text("mNewNVRAM_PadScanCount"), "0x000000FF");
  EXPECT_EQ(f.text("mNewNVRAM_RollerCount"), "0x00000000");
  f.expectEveryValueWritten("pNewPropertyNVRAMView", [&f] { ASSERT_TRUE(f.show("newNVRAM")); });
  // Shown again, a panel reads the record afresh.
  nvram.PadScanCount = 256;
  std::memcpy(f.dataSource.nvram.data(), &nvram, sizeof nvram);
  ASSERT_TRUE(f.show("newScannerAbility"));
  ASSERT_TRUE(f.show("newNVRAM"));
  EXPECT_EQ(f.text("mNewNVRAM_PadScanCount"), "0x00000100");
}

}  // namespace
}  // namespace ferrolite::dialog::testing
