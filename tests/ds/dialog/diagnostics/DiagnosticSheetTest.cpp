// The diagnostic sheet per driver interface: the tool bar's items, the panel each one shows, the
// NVRAM read through the data source at every show, and the capability popup.
#include <gtest/gtest.h>

#include <cstring>

#include "DialogFixture.h"
#include "ds/dialog/diagnostics/DiagnosticSheet.h"
#include "ds/scan/records/NvmData.h"

namespace ferrolite::dialog {
namespace {

using testing::DialogFixture;

template <typename Record>
std::vector<uint8_t> bytesOf(const Record& r) {
  const auto* p = reinterpret_cast<const uint8_t*>(&r);
  return {p, p + sizeof r};
}

std::string shown(const DiagnosticPanelFill& fill, std::string_view outlet) {
  for (const PanelText& t : fill.texts) {
    if (t.outlet == outlet) return t.text;
  }
  return "<none>";
}

std::vector<std::string> boxesOn(const DiagnosticPanelFill& fill) {
  std::vector<std::string> on;
  for (const PanelBox& b : fill.boxes) {
    if (b.on) on.push_back(b.outlet);
  }
  return on;
}

TEST(DiagnosticSheet, OpensOnTheAbilityPanelOfTheInterfaceInUse) {
  DialogFixture f;
  std::memcpy(f.older.ModelName, "Older", 5);
  f.current.LongPageLength = 11400;
  f.useOlderInterface();  // both records stay set: the switch chooses
  DiagnosticSheet sheet = openDiagnosticSheet(f.ctx());
  EXPECT_EQ(sheet.toolbarItems,
            (std::vector<std::string_view>{
                "ScannerAbilityEx", "ScannerCapability", "ScannerCapability2", "ScannerCapability3",
                "DriverFunctionSupport", "DriverFunctionSupport2", "NVRAM"}));
  EXPECT_EQ(sheet.selectedItem, "ScannerAbilityEx");
  EXPECT_EQ(sheet.panel.view, "pPropertyScannerAbilityExView");
  EXPECT_EQ(shown(sheet.panel, "mScannerAbilityEx_ModelName"), "Older");

  f.globals.gUINewKrapi = true;
  sheet = openDiagnosticSheet(f.ctx());
  EXPECT_EQ(sheet.toolbarItems, (std::vector<std::string_view>{
                                    "newScannerAbility", "newScannerCapability", "newNVRAM"}));
  EXPECT_EQ(sheet.selectedItem, "newScannerAbility");
  EXPECT_EQ(sheet.panel.view, "pNewPropertyScannerAbilityView");
  EXPECT_EQ(shown(sheet.panel, "mNewScannerAbility_LongPageLength"), "11400");
  EXPECT_EQ(shown(sheet.panel, "mNewScannerAbility_Reserved2"), "0");
  EXPECT_TRUE(f.dataSource.calls.empty());  // the ability panels ask the data source nothing

  // An item of the other interface's tool bar shows nothing.
  EXPECT_FALSE(showDiagnosticPanel(f.ctx(), "NVRAM"));
  f.useOlderInterface();
  EXPECT_FALSE(showDiagnosticPanel(f.ctx(), "newNVRAM"));
}

TEST(DiagnosticSheet, AMissingRecordShowsEmptyTexts) {
  DialogFixture f;
  f.bridge.mpDeviceAbility = nullptr;
  const DiagnosticPanelFill fill = openDiagnosticSheet(f.ctx()).panel;
  ASSERT_FALSE(fill.texts.empty());
  for (const PanelText& t : fill.texts) EXPECT_EQ(t.text, "") << t.outlet;
}

TEST(DiagnosticSheet, OlderBitPanelsReadTheirWords) {
  DialogFixture f;
  f.useOlderInterface();
  f.older.ScannerCapability = 0x80000001u;
  f.older.ScannerCapability3 = 1u << 26;
  f.older.DriverFunctionSupport2 = 1u << 5;
  struct Case {
    std::string_view item, view;
    std::vector<std::string> on;
  };
  const Case cases[] = {
      {"ScannerCapability",
       "pPropertyScannerCapabilityView",
       {"mScannerCapability_TransCap", "mScannerCapability_SupportParameterEx2400Base"}},
      {"ScannerCapability2", "pPropertyScannerCapability2View", {}},
      {"ScannerCapability3", "pPropertyScannerCapability3View", {}},  // bit 26 has no box
      {"DriverFunctionSupport", "pPropertyDriverfunctionSupportView", {}},
      {"DriverFunctionSupport2",
       "pPropertyDriverfunctionSupport2View",
       {"mDriverFunctionSupport2_DoCalibrationData"}},
  };
  for (const Case& c : cases) {
    const auto fill = showDiagnosticPanel(f.ctx(), c.item);
    ASSERT_TRUE(fill) << c.item;
    EXPECT_EQ(fill->view, c.view);
    EXPECT_FALSE(fill->boxes.empty()) << c.item;
    EXPECT_EQ(boxesOn(*fill), c.on) << c.item;
  }
}

TEST(DiagnosticSheet, NvramPanelsReadTheRecordAtEveryShowIntoTheInterfacesBuffer) {
  DialogFixture f;
  f.useOlderInterface();
  NvmData older{};
  older.SideEdgeFletbed = -3;
  older.JamCount = 7;
  f.dataSource.nvram = bytesOf(older);
  auto fill = showDiagnosticPanel(f.ctx(), "NVRAM");
  ASSERT_TRUE(fill);
  EXPECT_EQ(fill->view, "pPropertyNVRAMView");
  EXPECT_EQ(shown(*fill, "mNVRAM_SideEdgeFletbed"), "-3");
  EXPECT_EQ(shown(*fill, "mNVRAM_JamCount"), "7");
  older.JamCount = 8;  // the device's record changed: the next show reads it again
  f.dataSource.nvram = bytesOf(older);
  EXPECT_EQ(shown(*showDiagnosticPanel(f.ctx(), "NVRAM"), "mNVRAM_JamCount"), "8");

  f.globals.gUINewKrapi = true;
  NewNvmData current{};
  current.PadScanCount = 255;
  current.SideEdgeADFRearPage = -3;
  f.dataSource.nvram = bytesOf(current);
  fill = showDiagnosticPanel(f.ctx(), "newNVRAM");
  ASSERT_TRUE(fill);
  EXPECT_EQ(fill->view, "pNewPropertyNVRAMView");
  EXPECT_EQ(shown(*fill, "mNewNVRAM_PadScanCount"), "0x000000FF");
  EXPECT_EQ(shown(*fill, "mNewNVRAM_RollerCount"), "0x00000000");
  EXPECT_EQ(shown(*fill, "mNewNVRAM_SideEdgeADFRearPage"), "-3");
  EXPECT_EQ(f.dataSource.calls,
            (std::vector<std::string>{"getNVMData(" + std::to_string(sizeof(NvmData)) + ")",
                                      "getNVMData(" + std::to_string(sizeof(NvmData)) + ")",
                                      "getNVMData(" + std::to_string(sizeof(NewNvmData)) + ")"}));

  f.bridge.getDS(nullptr);  // no data source: nothing to show, no crash
  EXPECT_EQ(shown(*showDiagnosticPanel(f.ctx(), "newNVRAM"), "mNewNVRAM_PadScanCount"), "");
}

TEST(DiagnosticSheet, CapabilityPopupShowsEachWordWithItsGroups) {
  DialogFixture f;
  f.current.ScannerCapability0 = 0xC0000000u;
  f.current.ScannerCapability1 = 0x3Fu << 23;
  f.current.ScannerCapability2 = 0xA5;
  const auto fill = showDiagnosticPanel(f.ctx(), "newScannerCapability");
  ASSERT_TRUE(fill);
  EXPECT_EQ(fill->view, "pNewPropertyScannerCapabilityView");
  EXPECT_EQ(fill->popupItems,
            (std::vector<std::string_view>{"ScannerCapability0", "ScannerCapability1",
                                           "ScannerCapability2"}));
  ASSERT_TRUE(fill->capability);
  EXPECT_EQ(fill->capability->header, "0xC0000000");
  EXPECT_EQ(fill->capability->subview, "pNewPropertyScannerCapability0View");
  EXPECT_EQ(fill->capability->groups[0].label, "Bit30-31(3)");
  EXPECT_TRUE(fill->capability->groups[0].on);

  struct Case {
    int index;
    const char* header;
    const char* subview;
    std::size_t group;
    const char* label;
  };
  const Case cases[] = {
      {0, "0xC0000000", "pNewPropertyScannerCapability0View", 0, "Bit30-31(3)"},
      {1, "0x1F800000", "pNewPropertyScannerCapability1View", 1, "Bit23-28(63)"},
      {2, "0x000000A5", "pNewPropertyScannerCapability2View", 0, "Bit4-7(10)"},
  };
  for (const Case& c : cases) {
    const auto shown = selectScannerCapability(f.ctx(), c.index);
    ASSERT_TRUE(shown) << c.index;
    EXPECT_EQ(shown->header, c.header);
    EXPECT_EQ(shown->subview, c.subview);
    EXPECT_EQ(shown->groups[c.group].label, c.label);
  }
  EXPECT_FALSE(selectScannerCapability(f.ctx(), 3));
  EXPECT_FALSE(selectScannerCapability(f.ctx(), -1));
}

}  // namespace
}  // namespace ferrolite::dialog
