// The diagnostic panels: each table's offsets against the records' own layout, and the texts
// and boxes the panels show for byte-built records.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "ds/dialog/diagnostics/RecordPanels.h"
#include "ds/scan/records/NvmData.h"
#include "ds/scan/records/ScannerAbilityEx.h"
#include "vantrel/device_records.h"

namespace ferrolite::dialog {
namespace {

using Offsets = std::map<std::string, std::size_t>;
#define AT(record, field) \
  { #field, offsetof(record, field) }

void expectOffsets(std::span<const RecordField> fields, const Offsets& expected,
                   const char* record) {
  EXPECT_EQ(fields.size(), expected.size()) << record;
  for (const RecordField& f : fields) {
    auto it = expected.find(f.outlet);
    ASSERT_NE(it, expected.end()) << record << " " << f.outlet;
    EXPECT_EQ(f.offset, it->second) << record << " " << f.outlet;
  }
}

TEST(RecordPanels, TablesFollowTheRecordsLayout) {
  expectOffsets(scannerAbilityExFields(),
                {AT(ScannerAbilityEx, VenderName),
                 AT(ScannerAbilityEx, ModelName),
                 AT(ScannerAbilityEx, FirmwareVersion),
                 AT(ScannerAbilityEx, PortType),
                 AT(ScannerAbilityEx, PortAddress),
                 AT(ScannerAbilityEx, HalftoneIndex),
                 AT(ScannerAbilityEx, ScannerCapability),
                 AT(ScannerAbilityEx, DriverFunctionSupport),
                 AT(ScannerAbilityEx, FlatbedMaxWidth),
                 AT(ScannerAbilityEx, FlatbedMaxLength),
                 AT(ScannerAbilityEx, ADFMaxWidth),
                 AT(ScannerAbilityEx, ADFMaxLength),
                 AT(ScannerAbilityEx, OpticalRes),
                 AT(ScannerAbilityEx, MaxGrayXRes),
                 AT(ScannerAbilityEx, MaxGrayYRes),
                 AT(ScannerAbilityEx, MaxColorXRes),
                 AT(ScannerAbilityEx, MaxColorYRes),
                 AT(ScannerAbilityEx, ImageType),
                 AT(ScannerAbilityEx, ScanMethod),
                 AT(ScannerAbilityEx, ChannelsPerPixe),
                 AT(ScannerAbilityEx, BitsPerChannel),
                 AT(ScannerAbilityEx, HalftoneNum),
                 AT(ScannerAbilityEx, ErrorDiffusionNum),
                 AT(ScannerAbilityEx, LineartPixelBound),
                 AT(ScannerAbilityEx, GrayPixelBound),
                 AT(ScannerAbilityEx, ColorPixelBound),
                 AT(ScannerAbilityEx, HalftonePixelBound),
                 AT(ScannerAbilityEx, ErrorDiffusioPixelBound),
                 AT(ScannerAbilityEx, Gray4bitsPixelBound),
                 AT(ScannerAbilityEx, ScannerCapability2),
                 AT(ScannerAbilityEx, DriverFunctionSupport2),
                 AT(ScannerAbilityEx, TransparencyMaxWidth),
                 AT(ScannerAbilityEx, TransparencyMaxLength),
                 AT(ScannerAbilityEx, MaxShadingTarget),
                 AT(ScannerAbilityEx, ButtonNumber),
                 AT(ScannerAbilityEx, ExtIndex),
                 AT(ScannerAbilityEx, YCbCrCapability),
                 AT(ScannerAbilityEx, UltraSonicSensorCound),
                 AT(ScannerAbilityEx, ScannerCapability3),
                 AT(ScannerAbilityEx, LightSource),
                 AT(ScannerAbilityEx, BackgroundColor)},
                "ScannerAbilityEx");
  expectOffsets(nvmDataFields(),
                {AT(NvmData, PadScanCount),
                 AT(NvmData, ADFSingleModeScanCount),
                 AT(NvmData, ADFDuplexModeScanCount),
                 AT(NvmData, FlatbedScanCount),
                 AT(NvmData, LeadingEdgeFletbed),
                 AT(NvmData, SideEdgeFletbed),
                 AT(NvmData, LeadingEdgeADFFrontPage),
                 AT(NvmData, SideEdgeADFFrontPage),
                 AT(NvmData, LeadingEdgeADFRearPage),
                 AT(NvmData, SideEdgeADFRearPage),
                 AT(NvmData, BornMonth),
                 AT(NvmData, BornDay),
                 AT(NvmData, BornYear),
                 AT(NvmData, FirstScanMonth),
                 AT(NvmData, FirstScanDay),
                 AT(NvmData, FirstScanYear),
                 AT(NvmData, VerticalMagnification),
                 AT(NvmData, HorizontalMagnification),
                 AT(NvmData, CCDType),
                 AT(NvmData, ScanSpeed),
                 AT(NvmData, SN),
                 AT(NvmData, PowerSavingTime),
                 AT(NvmData, AutoFeed),
                 AT(NvmData, RollerCount),
                 AT(NvmData, MultifeedCount),
                 AT(NvmData, JamCount),
                 {"ReserveForFirmware", offsetof(NvmData, ReservedB)},
                 AT(NvmData, IdentifyInfo),
                 AT(NvmData, FormalName),
                 AT(NvmData, FunctionCode),
                 AT(NvmData, PreFeed),
                 AT(NvmData, PreFeedTime),
                 AT(NvmData, ButtonNumber),
                 AT(NvmData, PowerOffTime)},
                "NvmData");
  expectOffsets(deviceAbilityFields(),
                {AT(DeviceAbility, Version),
                 AT(DeviceAbility, Size),
                 AT(DeviceAbility, pVendorName),
                 AT(DeviceAbility, pModelName),
                 AT(DeviceAbility, pFWVersion),
                 AT(DeviceAbility, pPortType),
                 AT(DeviceAbility, pPortAddress),
                 AT(DeviceAbility, BaseRes),
                 {"FlatdbedMaxWidth", offsetof(DeviceAbility, FlatbedMaxWidth)},
                 AT(DeviceAbility, FlatbedMaxLength),
                 AT(DeviceAbility, ADFMaxWidth),
                 AT(DeviceAbility, ADFMaxLength),
                 AT(DeviceAbility, XPAMaxWidth),
                 AT(DeviceAbility, XPAMaxLength),
                 {"FlatdbedMinWidth", offsetof(DeviceAbility, FlatbedMinWidth)},
                 AT(DeviceAbility, FlatbedMinLength),
                 AT(DeviceAbility, ADFMinWidth),
                 AT(DeviceAbility, ADFMinLength),
                 AT(DeviceAbility, XPAMinWidth),
                 AT(DeviceAbility, XPAMinLength),
                 AT(DeviceAbility, Reserved),
                 AT(DeviceAbility, LongPageLength),
                 AT(DeviceAbility, ImageType),
                 AT(DeviceAbility, DeviceType),
                 AT(DeviceAbility, ScanMethod),
                 AT(DeviceAbility, OpticalRes),
                 AT(DeviceAbility, ADFMotorRes),
                 AT(DeviceAbility, FlatbedMotorRes),
                 {"ResolutionRes", offsetof(DeviceAbility, ResolutionIndex)},
                 AT(DeviceAbility, HalftoneNum),
                 AT(DeviceAbility, HalftoneIndex),
                 AT(DeviceAbility, ErrorDiffusionNum),
                 AT(DeviceAbility, DiffusionIndex),
                 {"LinearPixelBound", offsetof(DeviceAbility, LineartPixelBound)},
                 AT(DeviceAbility, GrayPixelBound),
                 AT(DeviceAbility, ColorPixelBound),
                 AT(DeviceAbility, HalftonePixelBound),
                 AT(DeviceAbility, DiffusionPixelBound),
                 AT(DeviceAbility, Gray4bitsPixelBound),
                 AT(DeviceAbility, ButtonFunctionNumber),
                 AT(DeviceAbility, Reserved2),
                 AT(DeviceAbility, YCbCrCapability),
                 AT(DeviceAbility, MinimumRes),
                 AT(DeviceAbility, FrontADFBackground_R),
                 AT(DeviceAbility, FrontADFBackground_G),
                 AT(DeviceAbility, FrontADFBackground_B),
                 AT(DeviceAbility, RearADFBackground_R),
                 AT(DeviceAbility, RearADFBackground_G),
                 AT(DeviceAbility, RearADFBackground_B),
                 {"FlatbedADFBackground_R", offsetof(DeviceAbility, FlatbedBackground_R)},
                 {"FlatbedADFBackground_G", offsetof(DeviceAbility, FlatbedBackground_G)},
                 {"FlatbedADFBackground_B", offsetof(DeviceAbility, FlatbedBackground_B)},
                 AT(DeviceAbility, Reserved0),
                 {"ScannerVapability0", offsetof(DeviceAbility, ScannerCapability0)},
                 {"ScannerVapability1", offsetof(DeviceAbility, ScannerCapability1)},
                 {"ScannerVapability2", offsetof(DeviceAbility, ScannerCapability2)},
                 {"ScannerVapability3", offsetof(DeviceAbility, ScannerCapability3)},
                 {"ScannerVapability4", offsetof(DeviceAbility, ScannerCapability4)}},
                "DeviceAbility");
  expectOffsets(newNvmDataFields(),
                {AT(NewNvmData, CtrlID),
                 AT(NewNvmData, Version),
                 AT(NewNvmData, Size),
                 AT(NewNvmData, PadScanCount),
                 AT(NewNvmData, ADFSingleModeScanCount),
                 AT(NewNvmData, ADFDuplexModeScanCount),
                 {"FlatbedScanCount", offsetof(NewNvmData, FletbedScanCount)},
                 AT(NewNvmData, LeadingEdgeFletbed),
                 AT(NewNvmData, SideEdgeFletbed),
                 AT(NewNvmData, LeadingEdgeADFFrontPage),
                 AT(NewNvmData, SideEdgeADFFrontPage),
                 AT(NewNvmData, LeadingEdgeADFRearPage),
                 AT(NewNvmData, SideEdgeADFRearPage),
                 AT(NewNvmData, BornMonth),
                 AT(NewNvmData, BornDay),
                 AT(NewNvmData, BornYear),
                 AT(NewNvmData, FirstScanMonth),
                 AT(NewNvmData, FirstScanDay),
                 AT(NewNvmData, FirstScanYear),
                 AT(NewNvmData, VerticalMagnification),
                 AT(NewNvmData, HorizontalMagnification),
                 AT(NewNvmData, CCDType),
                 AT(NewNvmData, ScanSpeed),
                 AT(NewNvmData, SN),
                 AT(NewNvmData, PowerSavingTime),
                 AT(NewNvmData, Reserved),
                 AT(NewNvmData, RollerCount),
                 AT(NewNvmData, MultifeedCount),
                 AT(NewNvmData, JamCount),
                 AT(NewNvmData, ReserveForFirmware),
                 AT(NewNvmData, IdentifyInfo),
                 AT(NewNvmData, FormalName),
                 AT(NewNvmData, FunctionCode),
                 AT(NewNvmData, PreFeed),
                 AT(NewNvmData, PreFeedTime),
                 AT(NewNvmData, FunctionIndex),
                 AT(NewNvmData, PowerOffTime),
                 AT(NewNvmData, Reserved1)},
                "NewNvmData");
}

template <typename Record>
std::span<const uint8_t> bytes(const Record& r) {
  return {reinterpret_cast<const uint8_t*>(&r), sizeof r};
}

std::string shown(const std::vector<PanelText>& panel, const std::string& outlet) {
  for (const PanelText& p : panel) {
    if (p.outlet == outlet) return p.text;
  }
  return "<none>";
}

TEST(RecordPanels, OlderAbilityAndNvram) {
  ScannerAbilityEx a{};
  std::memcpy(a.ModelName, "Test Sample", 11);
  std::memcpy(a.VenderName, "ABCDEFGHIJKL", 12);  // no terminator: at most the width
  a.ScanMethod = 224;
  a.ExtIndex = 300;
  auto panel = fillPanel(kScannerAbilityExPrefix, scannerAbilityExFields(), bytes(a));
  EXPECT_EQ(shown(panel, "mScannerAbilityEx_ModelName"), "Test Sample");
  EXPECT_EQ(shown(panel, "mScannerAbilityEx_VenderName"), "ABCDEFGHIJKL");
  EXPECT_EQ(shown(panel, "mScannerAbilityEx_ScannerCapability"), "0");  // %#x of zero
  EXPECT_EQ(shown(panel, "mScannerAbilityEx_ScanMethod"), "0xe0");
  EXPECT_EQ(shown(panel, "mScannerAbilityEx_HalftoneIndex"), "0,0,0,0,0,0,0,0,");
  EXPECT_EQ(shown(panel, "mScannerAbilityEx_ExtIndex"), "300");

  NvmData n{};
  n.SideEdgeFletbed = -3;
  n.PadScanCount = 0xFFFFFFFF;
  std::memcpy(n.SN, "SN0001", 6);
  panel = fillPanel(kNvramPrefix, nvmDataFields(), bytes(n));
  EXPECT_EQ(shown(panel, "mNVRAM_SideEdgeFletbed"), "-3");
  EXPECT_EQ(shown(panel, "mNVRAM_PadScanCount"), "4294967295");
  EXPECT_EQ(shown(panel, "mNVRAM_SN"), "SN0001");
  EXPECT_EQ(formatField(nvmDataFields()[0], std::span<const uint8_t>(bytes(n).data(), 2)), "");
}

TEST(RecordPanels, CurrentAbilityAndNvram) {
  DeviceAbility a{};
  char vendor[] = "Olmex";
  a.pVendorName = vendor;
  a.LongPageLength = 11400;
  a.Reserved[0] = 7;  // reserved fields always show 0
  a.Reserved0[3] = 9;
  a.DeviceType = 0x24;
  a.HalftoneIndex[0] = 1;
  auto panel = fillPanel(kNewScannerAbilityPrefix, deviceAbilityFields(), bytes(a));
  EXPECT_EQ(shown(panel, "mNewScannerAbility_pVendorName"), "Olmex");
  EXPECT_EQ(shown(panel, "mNewScannerAbility_pModelName"), "");  // a null string
  EXPECT_EQ(shown(panel, "mNewScannerAbility_LongPageLength"), "11400");
  EXPECT_EQ(shown(panel, "mNewScannerAbility_Reserved"), "0");
  EXPECT_EQ(shown(panel, "mNewScannerAbility_Reserved0"), "0");
  EXPECT_EQ(shown(panel, "mNewScannerAbility_DeviceType"), "0x00000024");
  EXPECT_EQ(shown(panel, "mNewScannerAbility_HalftoneIndex"), "1,0,0,0,0,0,0,0");

  NewNvmData n{};
  n.PadScanCount = 255;
  n.SideEdgeADFRearPage = -3;
  n.Reserved1[0] = 42;
  panel = fillPanel(kNewNvramPrefix, newNvmDataFields(), bytes(n));
  EXPECT_EQ(shown(panel, "mNewNVRAM_PadScanCount"), "0x000000FF");
  EXPECT_EQ(shown(panel, "mNewNVRAM_RollerCount"), "0x00000000");
  EXPECT_EQ(shown(panel, "mNewNVRAM_SideEdgeADFRearPage"), "-3");
  EXPECT_EQ(shown(panel, "mNewNVRAM_Reserved1"), "42");
}

TEST(RecordPanels, OlderBitPanels) {
  const auto panels = olderBitPanels();
  ASSERT_EQ(panels.size(), 5u);
  std::vector<std::string> on;
  for (const PanelBox& b : fillBitPanel(panels[0], 0x80000001u)) {
    if (b.on) on.push_back(b.outlet);
  }
  EXPECT_EQ(on, (std::vector<std::string>{"mScannerCapability_TransCap",
                                          "mScannerCapability_SupportParameterEx2400Base"}));
  EXPECT_EQ(panels[0].boxes.size(), 31u);  // no box for bit 27
  for (const PanelBox& b : fillBitPanel(panels[2], 1u << 26)) EXPECT_FALSE(b.on) << b.outlet;
  EXPECT_EQ(panels[4].boxes.size(), 20u);
  ScannerAbilityEx a{};
  a.ScannerCapability2 = 0x12345678;
  EXPECT_EQ(recordWord(bytes(a), panels[1].wordOffset), 0x12345678u);
}

TEST(RecordPanels, CurrentBitGroups) {
  const auto panels = currentGroupPanels();
  const auto cap0 = fillGroupPanel(panels[0], 0xC0000000u);
  EXPECT_EQ(cap0[0], (GroupText{"mNewScannerCapability0_ResizeImage", "Bit30-31(3)",
                                "mNewScannerCapability0_ResizeImageCheck", true}));
  EXPECT_FALSE(cap0[1].on);
  const auto blur = fillGroupPanel(panels[0], 1u << 7);
  EXPECT_EQ(blur[12].label, "Bit6-7(2)");  // two bits, as the label says
  EXPECT_TRUE(blur[12].on);
  EXPECT_EQ(fillGroupPanel(panels[0], 0xC)[14].label, "Bit2-3(3)");
  EXPECT_EQ(fillGroupPanel(panels[0], 1)[16].label, "Bit0(1)");
  const auto cap1 = fillGroupPanel(panels[1], 0x3Fu << 23);
  EXPECT_EQ(cap1[1].label, "Bit23-28(63)");
  EXPECT_EQ(cap1[0].label, "Bit29-31(0)");
  const auto cap2 = fillGroupPanel(panels[2], 0xA5);
  EXPECT_EQ(cap2[0].label, "Bit4-7(10)");
  EXPECT_EQ(cap2[1].label, "Bit0-3(5)");
  DeviceAbility a{};
  a.ScannerCapability1 = 0xFF;
  EXPECT_EQ(recordWord(bytes(a), panels[1].wordOffset), 0xFFu);
}

}  // namespace
}  // namespace ferrolite::dialog
