#include "ds/dialog/diagnostics/DiagnosticSheet.h"

#include <cstdint>

#include "ds/scan/records/NvmData.h"

namespace ferrolite::dialog {

namespace {
constexpr std::string_view kAbilityEx = "ScannerAbilityEx";
constexpr std::string_view kOlderNvram = "NVRAM";
constexpr std::string_view kNewAbility = "newScannerAbility";
constexpr std::string_view kNewCapability = "newScannerCapability";
constexpr std::string_view kNewNvram = "newNVRAM";

// The older interface's bit panels follow the ability panel in the order of olderBitPanels().
constexpr DiagnosticPanelItem kOlderItems[] = {
    {kAbilityEx, "pPropertyScannerAbilityExView"},
    {"ScannerCapability", "pPropertyScannerCapabilityView"},
    {"ScannerCapability2", "pPropertyScannerCapability2View"},
    {"ScannerCapability3", "pPropertyScannerCapability3View"},
    {"DriverFunctionSupport", "pPropertyDriverfunctionSupportView"},
    {"DriverFunctionSupport2", "pPropertyDriverfunctionSupport2View"},
    {kOlderNvram, "pPropertyNVRAMView"},
};
constexpr std::size_t kFirstBitPanelItem = 1;

constexpr DiagnosticPanelItem kCurrentItems[] = {
    {kNewAbility, "pNewPropertyScannerAbilityView"},
    {kNewCapability, "pNewPropertyScannerCapabilityView"},
    {kNewNvram, "pNewPropertyNVRAMView"},
};

constexpr std::string_view kCapabilityItems[] = {"ScannerCapability0", "ScannerCapability1",
                                                 "ScannerCapability2"};
constexpr std::string_view kCapabilitySubviews[] = {"pNewPropertyScannerCapability0View",
                                                    "pNewPropertyScannerCapability1View",
                                                    "pNewPropertyScannerCapability2View"};

template <typename Record>
std::span<const uint8_t> bytesOf(const Record* record) {
  if (!record) return {};
  return {reinterpret_cast<const uint8_t*>(record), sizeof *record};
}

// The ability record of the interface in use, whichever pointers are set; none shows empty.
std::span<const uint8_t> olderAbility(const DialogContext& ctx) {
  return ctx.globals.gUINewKrapi ? std::span<const uint8_t>{}
                                 : bytesOf(ctx.bridge.mpScannerAbilityEx);
}
std::span<const uint8_t> currentAbility(const DialogContext& ctx) {
  return ctx.globals.gUINewKrapi ? bytesOf(ctx.bridge.mpDeviceAbility) : std::span<const uint8_t>{};
}

// The NVRAM record as the data source copies it now, in a buffer of the interface's record;
// without a data source there is nothing to show.
std::vector<uint8_t> readNvram(const DialogContext& ctx) {
  DialogDataSource* ds = ctx.bridge.ds();
  if (!ds) return {};
  std::vector<uint8_t> buffer(ctx.globals.gUINewKrapi ? sizeof(NewNvmData) : sizeof(NvmData));
  ds->getNVMData(buffer.data(), buffer.size());
  return buffer;
}
}  // namespace

std::span<const DiagnosticPanelItem> diagnosticPanelItems(bool newKrapi) {
  if (newKrapi) return kCurrentItems;
  return kOlderItems;
}

std::span<const std::string_view> capabilityPopupItems() { return kCapabilityItems; }
std::span<const std::string_view> capabilitySubviews() { return kCapabilitySubviews; }

std::optional<CapabilityShown> selectScannerCapability(const DialogContext& ctx, int index) {
  const auto panels = currentGroupPanels();
  if (index < 0 || static_cast<std::size_t>(index) >= panels.size()) return std::nullopt;
  const GroupPanel& panel = panels[static_cast<std::size_t>(index)];
  const std::span<const uint8_t> ability = currentAbility(ctx);
  const RecordField word{kCapabilityHeaderOutlet.data(), panel.wordOffset, 4, FieldFormat::Hex8};
  return CapabilityShown{formatField(word, ability), kCapabilitySubviews[index],
                         fillGroupPanel(panel, recordWord(ability, panel.wordOffset))};
}

std::optional<DiagnosticPanelFill> showDiagnosticPanel(const DialogContext& ctx,
                                                       std::string_view item) {
  const auto items = diagnosticPanelItems(ctx.globals.gUINewKrapi);
  std::size_t position = 0;
  while (position < items.size() && items[position].item != item) ++position;
  if (position == items.size()) return std::nullopt;

  DiagnosticPanelFill fill;
  fill.view = items[position].view;
  if (item == kAbilityEx) {
    fill.texts = fillPanel(kScannerAbilityExPrefix, scannerAbilityExFields(), olderAbility(ctx));
  } else if (item == kOlderNvram) {
    fill.texts = fillPanel(kNvramPrefix, nvmDataFields(), readNvram(ctx));
  } else if (item == kNewAbility) {
    fill.texts = fillPanel(kNewScannerAbilityPrefix, deviceAbilityFields(), currentAbility(ctx));
  } else if (item == kNewCapability) {
    fill.popupItems.assign(kCapabilityItems, kCapabilityItems + std::size(kCapabilityItems));
    fill.capability = selectScannerCapability(ctx, 0);
  } else if (item == kNewNvram) {
    fill.texts = fillPanel(kNewNvramPrefix, newNvmDataFields(), readNvram(ctx));
  } else {
    const BitPanel& panel = olderBitPanels()[position - kFirstBitPanelItem];
    fill.boxes = fillBitPanel(panel, recordWord(olderAbility(ctx), panel.wordOffset));
  }
  return fill;
}

DiagnosticSheet openDiagnosticSheet(const DialogContext& ctx) {
  DiagnosticSheet sheet;
  for (const DiagnosticPanelItem& i : diagnosticPanelItems(ctx.globals.gUINewKrapi)) {
    sheet.toolbarItems.push_back(i.item);
  }
  sheet.selectedItem = sheet.toolbarItems.front();
  sheet.panel = *showDiagnosticPanel(ctx, sheet.selectedItem);
  return sheet;
}

}  // namespace ferrolite::dialog
