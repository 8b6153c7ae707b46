#include "ds/dialog/info/InfoPage.h"

#include <cstdio>
#include <vector>

#include "ds/scan/records/NvmData.h"
#include "vantrel/device_records.h"

namespace ferrolite::dialog {

namespace {
constexpr int kFullTableRows = 12;
constexpr double kRowPitch = 27;
constexpr double kTableTop = 417;

// The counters both NVRAM layouts give, read by name from the interface's record.
struct Counters {
  uint32_t pad = 0, roller = 0, reverseRoller = 0, pickupRoller = 0;
  uint32_t single = 0, duplex = 0, multifeed = 0, jam = 0, flatbed = 0, powerOnMinutes = 0;
};

Counters readCounters(DialogContext& ctx) {
  Counters c;
  DialogDataSource* ds = ctx.bridge.ds();
  if (ctx.globals.gUINewKrapi) {
    NewNvmData n{};
    if (ds) ds->getNVMData(&n, sizeof n);
    c = {n.PadScanCount,           n.RollerCount,
         n.ReverseRollerCount,     n.PickupRollerCount,
         n.ADFSingleModeScanCount, n.ADFDuplexModeScanCount,
         n.MultifeedCount,         n.JamCount,
         n.FletbedScanCount,       n.PowerOnTime};
  } else {
    NvmData n{};
    if (ds) ds->getNVMData(&n, sizeof n);
    c.pad = n.PadScanCount;
    c.roller = n.RollerCount;
    c.single = n.ADFSingleModeScanCount;
    c.duplex = n.ADFDuplexModeScanCount;
    c.multifeed = n.MultifeedCount;
    c.jam = n.JamCount;
    c.flatbed = n.FlatbedScanCount;
  }
  return c;
}

std::string label(const LanguageBundle& language, const char* key) {
  return language.localizedStringForKey(key, std::string(key) + "?");
}
}  // namespace

std::string powerOnHours(uint32_t minutes, const LanguageBundle& language) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.1f ", static_cast<double>(minutes) / 60.0);
  return buffer + language.localizedStringForKey("Hours", "Hours?");
}

std::string copyrightLine(int year, const LanguageBundle& language) {
  return "Copyright (C) " + std::to_string(year) + " Olmex. " +
         language.localizedStringForKey("RightsReserved", "All rights reserved.");
}

InfoPage doInfoTabInit(DialogContext& ctx, const ScannerInfo& info, const Frame& scrollView,
                       const Clock& clock) {
  InfoPage page;
  DialogDataSource* ds = ctx.bridge.ds();
  int32_t languageId = 0;
  static const struct NoTexts : LanguageBundle {
    std::string localizedStringForKey(std::string_view, std::string_view value) const override {
      return std::string(value);
    }
  } kFallbackOnly;
  const LanguageBundle& language = ds ? ds->getLanguage(&languageId) : kFallbackOnly;
  if (ds) {
    const std::vector<LanguageEntry> languages = ds->supportedLanguage();
    for (std::size_t i = 0; i < languages.size(); ++i) {
      page.languageItems.push_back(languages[i].displayName);
      if (languages[i].langID == languageId) page.languageSelected = i;
    }
  }
  page.languageHidden = page.languageItems.size() < 2;

  auto row = [&page, &language](const char* key, std::string value, int32_t reset = kResetNone) {
    page.rows.push_back({label(language, key), std::move(value), reset});
  };
  row("ScannerModel", info.modelName.str());
  row("SerialNumber", info.serialNumber.str());
  row("Version", info.driverVersion.str());
  row("IODriverVer", info.ioVersion.str());
  row("FWVer", info.fwVersion.str());
  const ExtraParam& extra = ctx.extra;
  if (!extra.sdUsbScanner) {
    row("BornDate", info.bornDate.str());
    row("FirstScan", info.firstScan.str());
    const Counters n = readCounters(ctx);
    const AbilityView ability = ctx.ability();
    const uint32_t w = ability.deviceType();
    const bool feeder = deviceHasFeeder(w);
    const bool flatbed = deviceHasFlatbed(w);
    const bool newKrapi = ctx.globals.gUINewKrapi;
    const bool rollerPair = extra.reverseRoller && newKrapi;
    if (feeder && !rollerPair) {
      row("PadCount", std::to_string(n.pad), kResetPad);
      row("RollerCount", std::to_string(n.roller), kResetFeedRoller);
    }
    if (feeder && rollerPair) {
      row("ReverseCount", std::to_string(n.reverseRoller), kResetReverseRoller);
      row("PickupCount", std::to_string(n.pickupRoller), kResetPickupRoller);
    }
    if (feeder) {
      const uint64_t scans = n.single + ((w & kDeviceDuplex) ? uint64_t{n.duplex} : 0);
      row("ADFCount", std::to_string(scans));
      if (ability.ultrasonicDetection()) row("MultifeedCount", std::to_string(n.multifeed));
      row("JamCount", std::to_string(n.jam));
    }
    if (flatbed) {
      page.rows.push_back({language.localizedStringForKey("FlatbedCount", "Flatbed Count"),
                           std::to_string(n.flatbed), kResetNone});
    }
    if (newKrapi) row("PowerOnTime", powerOnHours(n.powerOnMinutes, language));
  }
  const int count = static_cast<int>(page.rows.size());
  if (count < kFullTableRows) {
    const double height = kRowPitch * count;
    page.scrollView = Frame{scrollView.x, kTableTop - height, scrollView.width, height};
  }
  page.resetTitle = language.localizedStringForKey("Reset", "Reset?");
  page.copyright = copyrightLine(clock.now().year, language);
  return page;
}

}  // namespace ferrolite::dialog
