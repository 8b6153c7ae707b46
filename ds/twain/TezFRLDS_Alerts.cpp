// Alerts, error messages and condition codes: every message the data source shows goes through
// showAlert; the same errors become the host's condition codes in setConditionCode.
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/scan/scanner/TezFRLScan.h"
#include "ds/scan/scanner/UsbIO.h"
#include "ds/twain/DSHelpers.h"
#include "ds/twain/Options.h"
#include "ds/twain/TezFRLDS.h"
#include "platform/foundation/TextFile.h"

namespace ferrolite {

namespace {

constexpr int64_t kCancelledPending = -100;
constexpr int64_t kCancelledAtScanner = 2010;
constexpr int64_t kCommunicationError = 2023;
constexpr int64_t kScannerGone = -4;
constexpr int64_t kManualFeederCode = 3201;
constexpr int64_t kDriverStatusFloor = -2000;
// The driver's statuses as setConditionCode sees them (absolute values).
constexpr int64_t kDriverCoverOpen = 2014, kDriverNoPaper = 2015;
constexpr int kUsbLooks = 2;
constexpr std::chrono::seconds kUsbLookPause{1};
constexpr int64_t kLongPageRefused = -1000;
constexpr uint16_t kColourResolutionLimit = 300;
constexpr uint16_t kColourTypes = 0xF0, kTwoSidedTypes = 0xAA;
constexpr uint8_t kLongPaper = 19;

// Whether the scanner `vidpid` is on the bus; nothing when the bus cannot be searched.
std::optional<bool> onBus(uint32_t vidpid) {
  UsbIO usb;
  if (!usb.Init()) return std::nullopt;
  std::vector<DEVICE> devices(UsbIO::kMaxEntries);
  uint32_t count = 0;
  if (!usb.GetDeviceList(devices.data(), &count)) return false;
  for (uint32_t i = 0; i < count && i < devices.size(); ++i) {
    if ((uint32_t{devices[i].VendorID} << 16 | devices[i].ProductID) == vidpid) return true;
  }
  return false;
}

}  // namespace

void TezFRLDS::closeIndicatorWindow() { closeIndicatorWindowAndTimer(); }

std::string TezFRLDS::scannerErrorText() const { return foundation::toUtf8(scannerErrorMsg); }

int64_t TezFRLDS::showAlert(const std::optional<std::string>& text) {
  // 1.
  closeIndicatorWindow();
  // 2.
  int64_t code = scanObject ? scanObject->scannerError() : 0;
  // 3.
  if (processingError >= 0) {
    if (!text && code == 0) return 0;
  } else if (processingError == kCancelledPending) {
    processingError = 0;
    code = kCancelledAtScanner;
  } else {
    code = processingError;
  }
  // 4.
  if (newKrapi && code <= kDriverStatusFloor) code = -code;
  // 5.
  if (!text && code == kCommunicationError) {
    for (int look = 0; look < kUsbLooks; ++look) {
      if (look > 0) std::this_thread::sleep_for(kUsbLookPause);
      const std::optional<bool> present = onBus(vidpid);
      if (!present) break;
      dsLog("DeviceOnLine", kLogBlank, *present ? 1 : 0, kLogNoData);
      if (!*present) {
        code = kScannerGone;
        break;
      }
    }
  }
  // 6.
  std::string message, details, kept;
  if (text) {
    message = localized(*text, *text);
  } else if (code < 0) {
    std::string chosen = "Please insert paper and try again.";
    switch (code) {
      case kScannerGone:
        chosen =
            localized("Err999", "Can not find the device driver or power off or cable failure.");
        break;
      case kErrorBlankLastPage:
        chosen = localized("ERR_BLANK_PAGE", "Stop scanning at the blank page.");
        break;
      case kErrorNoPaper:
        chosen = localized("ERR_NO_PAPER",
                           "No documents are loaded in the scanner. Please try your scan again.");
        break;
      case kErrorNoMemory:
        chosen = localized("ERR_NO_MEMORY", "Low memory. Please free some memory and try again.");
        break;
      default:
        break;
    }
    message = localized(chosen, chosen);
    kept = message;
  } else {
    const std::string unknown = localized("Err123", "Unknown Error.");
    message = localized("ErrorCode", "Error Code") + ": " + std::to_string(code);
    details = localized("Err" + std::to_string(code), unknown);
    if (sdUsbScanner && code == kManualFeederCode) {
      details = localized("Err" + std::to_string(code) + "TEZ", details);
    }
    if (details == unknown) details = localized("Err2999", unknown);
    kept = details;
  }
  if (!text) {
    // The custom operation answers this error with this text.
    lastScannerError = code;
    // Cleared whole; the text is cut to leave room for the ending zero, never inside a pair.
    std::fill(std::begin(scannerErrorMsg), std::end(scannerErrorMsg), u'\0');
    std::u16string units = foundation::toUtf16(kept);
    size_t length = std::min(units.size(), std::size(scannerErrorMsg) - 1);
    if (length > 0 && length < units.size() && units[length - 1] >= 0xD800 &&
        units[length - 1] <= 0xDBFF) {
      --length;
    }
    std::copy_n(units.begin(), length, scannerErrorMsg);
  }
  // 7.
  AlertRequest alert;
  alert.style = kAlertStyleCritical;
  alert.message = message;
  alert.details = details;
  alert.icon = resourcePath / "transparent.icns";
  alert.resourceFolder = resourcePath;
  alert.buttons = {localized("OK", "OK")};
  if (showSecond) alert.buttons.push_back(localized("Cancel", "Cancel"));
  showSecond = false;
  dsLog("showAlert", kLogBlank, static_cast<int>(code),
        message + (details.empty() ? "" : " / " + details));
  // With the dialog (a sheet on its window while it is open); its UI thread is started for the
  // alert when the window is not needed yet.
  if (!mainDialog) mainDialog = dsFactory().makeAlertDialog(*this);
  if (mainDialog) {
    if (const std::optional<int> response = mainDialog->runAlert(alert)) return *response;
  }
  return dsFactory().runAlert(alert);
}

void TezFRLDS::setConditionCode(int64_t code) {
  dsLog("setConditionCode", kLogBlank, 1, code);
  // Driver statuses come negative; they map as their absolute value.
  if (code <= kDriverStatusFloor) code = -code;
  switch (code) {
    case 103:
    case 2013:
      gConditionCode = TWCC_PAPERJAM;
      break;
    case 187:
    case 3101:
      gConditionCode = TWCC_PAPERDOUBLEFEED;
      break;
    case kErrorNoMemory:
      gConditionCode = TWCC_LOWMEMORY;
      break;
    // The conditions TWAIN 2.x has for an empty feeder and an open cover.
    case kErrorNoPaper:
    case kDriverNoPaper:
      gConditionCode = TWCC_NOMEDIA;
      break;
    case kDriverCoverOpen:
      gConditionCode = TWCC_INTERLOCK;
      break;
    default:
      break;
  }
}

int32_t TezFRLDS::checkScanParams() {
  const ScanSetting s = settingCopy();
  if (!models.checksLongPage(vidpid) || s.bPaperSize != kLongPaper) return 0;
  const bool colourHigh = (s.wImageType & kColourTypes) && s.wColorRes > kColourResolutionLimit;
  bool refused = colourHigh;
  if (s.wImageType & kTwoSidedTypes) {
    refused = colourHigh || (maxLongLength != 0 && s.dwLongLength > maxLongLength / 2);
  }
  if (!refused) return 0;
  showAlert(localized("Long page failed",
                      "Setting is invalid. Please change any of the following setting;\nDuplex, "
                      "Color, Resolution, Scan Area."));
  return static_cast<int32_t>(kLongPageRefused);
}

}  // namespace ferrolite
