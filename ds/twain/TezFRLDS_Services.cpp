// Calibration, the preview, the barcode and patch-code results and the event pumps.
#include <cstdio>
#include <string>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/scan/scanner/TezFRLScan.h"
#include "ds/twain/DSHelpers.h"
#include "ds/twain/Options.h"
#include "ds/twain/TezFRLDS.h"

namespace ferrolite {

namespace {

constexpr uint32_t kCalibrationSheetBit = 1u << 8;
constexpr uint8_t kCalibrationPrepare = 0, kCalibrationRun = 1;
constexpr const char* kPreviewSuffix = "preview.tif";
// The supported-barcode table's names, by row.
constexpr const char* kBarcodeNames[] = {"Aztec",       "Codabar",  "Code 39",
                                         "Code 93",     "Code 128", "DataMatrix",
                                         "EAN-8",       "EAN-13",   "Interleaved 2 of 5",
                                         "MaxiCode",    "PDF-417",  "QR Code",
                                         "GS1 DataBar", "UPC-A",    "UPC-E",
                                         "Unknown"};
constexpr size_t kUnknownBarcode = std::size(kBarcodeNames) - 1;

}  // namespace

bool TezFRLDS::calibrateScanner() {
  dsLog("calibrateScanner", kLogIn, 1, kLogNoData);
  auto done = [](bool result) {
    dsLog("calibrateScanner", kLogOut, result ? 1 : 0, kLogNoData);
    return result;
  };
  if (!scanObject || !scannerFound) return done(false);
  // 1. The older interface's scanners may need a calibration sheet.
  if (!newKrapi && (scannerAbilityEx.ScannerCapability & kCalibrationSheetBit)) {
    const std::string message = sdUsbScanner ? "Insert the calibration sheet into the scanner."
                                             : "Put a calibration sheet on the scanner.";
    for (;;) {
      showSecond = true;
      if (showAlert(message) == kAlertSecondButton) return done(false);
      uint8_t paper = 0;
      if (scanObject->getADFStatus(&paper, false) && paper != 0) break;
    }
  }
  // 2.
  uint16_t jobs = 0;
  if (!scanObject->doCalibration(kCalibrationPrepare, &jobs)) {
    showAlert(std::nullopt);
    return done(false);
  }
  // 3.
  for (uint32_t k = 0; jobs != 0 && k <= jobs;) {
    uint16_t job = static_cast<uint16_t>(k);
    if (scanObject->doCalibration(kCalibrationRun, &job)) {
      ++k;
    } else if (scanObject->scannerError() != 0) {
      showAlert(std::nullopt);
      return done(false);
    } else {
      break;
    }
  }
  // 4.
  showAlert(std::string("Calibration was successful."));
  return done(true);
}

void TezFRLDS::previewScan() {
  if (!scannerFound || !scanObject) return;
  previewScanning = true;
  const std::filesystem::path file = currentPath / (scannerName + "_" + kPreviewSuffix);
  const ScanSetting setting = settingCopy();
  if (!scanObject->doPreviewScan(setting, file)) showAlert(std::nullopt);
  previewScanning = false;
  processEvent();
}

void TezFRLDS::barcodeResult(const std::vector<BarcodeResult>& results) {
  const std::filesystem::path file = currentPath / kBarcodeFileName;
  std::string text = std::to_string(results.size()) + " total barcodes found.\n";
  foundation::Dictionary top;
  top.set("Total", static_cast<int64_t>(results.size()));
  int n = 0;
  for (const BarcodeResult& result : results) {
    ++n;
    const size_t row = result.type < kUnknownBarcode ? result.type : kUnknownBarcode;
    text += "\n" + std::to_string(n) + ": " + kBarcodeNames[row] + ": " + result.text;
    foundation::Dictionary entry;
    entry.set("Type", static_cast<int64_t>(result.type));
    entry.set("Name", std::string(kBarcodeNames[row]));
    entry.set("Result", result.text);
    entry.set("X", std::to_string(result.x));
    entry.set("Y", std::to_string(result.y));
    entry.set("Width", std::to_string(result.width));
    entry.set("Height", std::to_string(result.height));
    top.set(std::to_string(n), entry);
  }
  // One atomic write of the whole file: a reader never sees a part of it.
  if (auto written = foundation::writePropertyList(file, foundation::Value(top)); !written) {
    dsLog("Barcode result", kLogBlank, 0, written.error());
  }
  if (gBarcodeResult) showAlert(text);
  dsLog("Barcode result", kLogBlank, 1, text);
}

void TezFRLDS::patchcodeResult() {
  if (gBarcodeResult) showAlert(std::string("Pathcode is detected."));
}

void TezFRLDS::processEvent() { mainQueue.drain(); }

void TezFRLDS::processAllEvent() {
  if (apCancelScan || scanInterrupt) return;
  mainQueue.runOne();
}

}  // namespace ferrolite
