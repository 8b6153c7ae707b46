// Finding the scanner: the USB list against "DeviceList.plist", and the list of supported
// scanners when none is connected.
#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/scan/scanner/UsbIO.h"
#include "ds/twain/DSHelpers.h"
#include "ds/twain/PlugIns.h"
#include "ds/twain/TezFRLDS.h"

namespace ferrolite {

namespace {

constexpr const char* kDeviceListFile = "DeviceList.plist";
constexpr const char* kLibraryExtension = ".so";
// The brand whose entries are listed by model name rather than by library.
constexpr const char* kBrandVendorKey = "0B7A";
constexpr const char* kBrandModels[] = {"Brinn K", "Brinn KT410", "Brinn KT430", "Brinn KT450"};

std::string hex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

std::string displayName(const std::string& library) {
  if (library == "Vantrel") return "Ferrolite";
  if (library == "Corvix") return "Glenmora";
  if (library == "Wendrake") return "Wendrake";
  return library;
}

bool installed(const std::filesystem::path& resourceFolder, const std::string& library) {
  return !locatePlugIn(resourceFolder, library + kLibraryExtension).empty();
}

}  // namespace

bool TezFRLDS::searchConnectedScanner() {
  dsLog("searchConnectedScanner", kLogIn, 1, kLogNoData);
  std::vector<DEVICE> devices(UsbIO::kMaxEntries);
  uint32_t count = 0;
  {
    UsbIO usb;
    if (!usb.Init()) {
      dsLog("p_usbio->Init() error", kLogBlank, 0, kLogNoData);
      return false;
    }
    if (!usb.GetDeviceList(devices.data(), &count)) return false;
  }
  devices.resize(std::min<uint32_t>(count, UsbIO::kMaxEntries));

  auto list = foundation::readDictionaryFile(resourcePath / kDeviceListFile);
  if (!list) {
    dsLog("searchConnectedScanner", kLogOut, 0, "DeviceList.plist: " + list.error());
    return false;
  }

  int index = 0;
  for (const DEVICE& device : devices) {
    ++index;
    const std::string vendor = hex4(device.VendorID), product = hex4(device.ProductID);
    dsLog("Device", kLogBlank, index, "VID=0x" + vendor + ",PID=0x" + product);
    auto products = list->dictionary(vendor);
    if (!products) continue;
    auto library = products->string(product);
    if (!library || !installed(resourcePath, *library)) continue;
    vidpid = uint32_t{device.VendorID} << 16 | device.ProductID;
    scannerName = *library;
    dsLog("searchConnectedScanner", kLogOut, 1, scannerName);
    return true;
  }

  // None: the supported scanners whose libraries are installed.
  std::vector<std::string> names;
  bool brandAdded = false;
  for (const auto& [vendor, value] : *list) {
    if (value.kind() != foundation::Kind::dictionary) continue;
    for (const auto& [product, library] : *value.dictionary()) {
      if (library.kind() != foundation::Kind::string) continue;
      if (!installed(resourcePath, *library.string())) continue;
      if (vendor == kBrandVendorKey) {
        if (!brandAdded)
          names.insert(names.end(), std::begin(kBrandModels), std::end(kBrandModels));
        brandAdded = true;
        continue;
      }
      const std::string name = displayName(*library.string());
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  scannerList.clear();
  for (const std::string& name : names) {
    if (!scannerList.empty()) scannerList += ", ";
    scannerList += name;
  }
  dsLog("searchConnectedScanner", kLogOut, 0, scannerList);
  return false;
}

}  // namespace ferrolite
