// Opening, enabling, disabling and closing the data source: the steps behind MSG_OPENDS,
// DAT_USERINTERFACE and MSG_CLOSEDS.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/scan/image/TezFRLImageProcess.h"
#include "ds/scan/scanner/TezFRLScan.h"
#include "ds/twain/DSHelpers.h"
#include "ds/twain/Options.h"
#include "ds/twain/TezFRLDS.h"
#include "platform/foundation/Files.h"
#include "platform/twain/Source.h"

namespace ferrolite {

namespace {

constexpr const char* kDemoModel = "Test Sample";
constexpr const char* kSeriesName = "Trailkeeper 3 Series";
constexpr const char* kSeriesKey = "strTK3Series";
constexpr const char* kSeriesLibraryName = "Trailkeeper3";
constexpr uint8_t kPowerTimeEnergySaver = 0, kPowerTimePowerOff = 1;

bool containsNoCase(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         }) != text.end();
}

// The vendor the Image Capture button watcher knows, completed at run time.
std::string buttonVendor() {
  std::string vendor = "Olme";
  vendor += 'x';
  return vendor;
}

}  // namespace

void TezFRLDS::detectHost() {
  const std::string manufacturer = mAppIdentity.Manufacturer;
  const std::string family = mAppIdentity.ProductFamily;
  const std::string name = mAppIdentity.ProductName;
  dsLog("Manufacturer", kLogBlank, 1, manufacturer);
  dsLog("App family", kLogBlank, 1, family);
  dsLog("App name", kLogBlank, 1, name);
  // The host application's own program, not this source's bundle.
  const std::filesystem::path program = foundation::mainProgramPath();
  dsLog("App ID", kLogBlank, 1, program.filename().string());
  dsLog("App path", kLogBlank, 1, program.string());
  pixelTypeContainerOneValue =
      containsNoCase(name, "Photoshop") || containsNoCase(name, "ImageReady");
  if (containsNoCase(manufacturer, "Adobe")) {
    dsLog("Adobe family", kLogBlank, 1, kLogNoData);
    if (containsNoCase(name, "Acrobat")) {
      appAcrobat = true;
      dsLog("Acrobat family", kLogBlank, 1, kLogNoData);
    } else {
      photoshopFamily = true;
      dsLog("Photoshop family", kLogBlank, 1, kLogNoData);
    }
    dsLog("App version", kLogBlank, 1, mAppIdentity.Version.MajorNum);
  }
  appExactScan = containsNoCase(name, "ExactScan");
  appTWAINSharp = containsNoCase(name, "TWAIN Sharp");
}

bool TezFRLDS::initialize() {
  scanObject = std::make_unique<TezFRLScan>();
  imageProcess = dsFactory().makeImagePlugIns();
  // The scan thread runs the page steps on the image-process object.
  scanObject->getOtherClass(imageProcess->process());
  imageProcess->initalizeKrCocoaLib(resourcePath);
  imageProcess->detectButtonEvent(1, buttonVendor());
  deviceName = scannerName;
  // The scan layer reads the id with the vendor in the low half.
  const uint32_t scanLayerId = (vidpid >> 16) | (vidpid << 16);
  bool result = scanObject->initalizeScanner(scannerName + ".so", resourcePath, scanLayerId);
  if (result) {
    imageProcess->scannerName(deviceName);
    result = imageProcess->initalizeLumetraLib(resourcePath, debugLevel, scanLayerId);
    if (result) enableChromalis = imageProcess->initalizeColorMatchLib(resourcePath);
  }
  return result;
}

void TezFRLDS::freeClasses() {
  scanObject.reset();
  if (imageProcess) {
    imageProcess->detectButtonEvent(0, buttonVendor());
    imageProcess.reset();
  }
  mainDialog.reset();
  dialogBox.reset();
}

TW_UINT16 TezFRLDS::openDS() {
  // 1.
  dsLog("openDS", kLogIn, 1, kLogNoData);
  gTezOlmex = 1;
  dsLog("******* Data source of Tessaline or Olmex *******", "", 0, kLogNoData);
  // 2.
  if (auto file = foundation::readDictionaryFile(settingsFile())) {
    if (auto defaults = file->dictionary(kDefaultEntry)) {
      if (auto language = defaults->integer("Language"))
        selLanguage = static_cast<int32_t>(*language);
    }
  }
  std::error_code ignored;
  std::filesystem::remove(currentPath / kBarcodeFileName, ignored);
  if (selLanguage == -1) selLanguage = sysLanguage;
  int index = 0;
  for (size_t i = 0; i < availableLanguage.size(); ++i) {
    if (availableLanguage[i].langID == selLanguage) {
      index = static_cast<int>(i);
      break;
    }
  }
  setLanguage(index);
  // 3.
  pixelTypeContainerOneValue = showIndicator = uiOnly = appExactScan = appAcrobat = false;
  sdUsbScanner = showSecond = reverseRoller = showReplace = isBarcode = isCloseDSOK = false;
  appTWAINSharp = disableMainButton = previewScanning = photoshopFamily = false;
  noneUI = true;
  processingError = 0;
  timeOut = 0;
  vidpid = 0;
  keepImageType = 0;
  xferPageNumber = 0;
  scannerErrorMsg[0] = 0;
  tk3Lite = false;
  scannerFound = false;
  // 4.
  dialogBox = dsFactory().makeDialogBox(*this);
  dsManufacturer = mIdentity.Manufacturer;
  dsProductName = mIdentity.ProductName;
  // 5.
  detectHost();
  // 6.
  if (gKrCommon) gKrCommon->removeDebugImage();
  scannerFound = searchConnectedScanner();
  if (!scannerFound) {
    const std::string list =
        replaceAll(scannerList, kSeriesLibraryName, localized(kSeriesKey, kSeriesName));
    showAlert(localized("Supported scanners", "Supported scanners") + ":\n" + list);
    mDeviceOnLine = 0;
    if (UIAlwaysOn != 1) {
      dsLog("openDS", kLogOut, TWRC_FAILURE, "no scanner");
      return fail(TWCC_SEQERROR);
    }
    scannerName = kDemoModel;
  }
  // 7.
  const bool initialized = initialize();
  if (!scannerFound) {
    scanObject->testScannerInfo();
  } else if (!initialized) {
    showAlert(std::string("Initialization failed."));
    dsLog("openDS", kLogOut, TWRC_FAILURE, "Initialization failed.");
    return fail(TWCC_SEQERROR);
  }
  newKrapi = scannerFound && gNewKrapi;
  deviceAbility = ferrolite::deviceAbility;
  scannerAbilityEx = ferrolite::scannerAbilityEx;
  // 8.
  std::string vendor, model;
  if (newKrapi) {
    vendor = deviceAbility.pVendorName ? deviceAbility.pVendorName : "";
    model = deviceAbility.pModelName ? deviceAbility.pModelName : "";
  } else {
    vendor.assign(scannerAbilityEx.VenderName,
                  strnlen(scannerAbilityEx.VenderName, sizeof scannerAbilityEx.VenderName));
    model.assign(scannerAbilityEx.ModelName,
                 strnlen(scannerAbilityEx.ModelName, sizeof scannerAbilityEx.ModelName));
  }
  if (vendor.find("Tessali") != std::string::npos) vendor = "Tessaline";
  if (vendor.find("Olmex") != std::string::npos) vendor = "Olmex";
  vendorName = vendor;
  scannerName = model;
  // 9.
  sdUsbScanner = models.isSdUsb(vidpid);
  if (const ModelLife* life = models.life(vidpid)) {
    maxLifePad = static_cast<int32_t>(life->padLife);
    maxLifeRoller = static_cast<int32_t>(life->rollerLife);
  }
  if (newKrapi) {
    newNvmData = scanObject->newNvmData();
    reverseRoller = newNvmData.ReverseRollerCount != 0xFFFFFFFFu;
  } else {
    nvmData = scanObject->nvmData();
  }
  if (sdUsbScanner && gCheckPowerOff == 1) gCheckPowerOff = 0;
  // 10.
  mCurrentState = TWAIN_STATE_OPEN;
  // 11.
  uint32_t flatbedWidth, flatbedLength, adfWidth, adfLength, type;
  if (newKrapi) {
    flatbedWidth = deviceAbility.FlatbedMaxWidth;
    flatbedLength = deviceAbility.FlatbedMaxLength;
    adfWidth = deviceAbility.ADFMaxWidth;
    adfLength = deviceAbility.ADFMaxLength;
    type = deviceAbility.DeviceType;
    flatbedMinWidth = deviceAbility.FlatbedMinWidth;
    flatbedMinLength = deviceAbility.FlatbedMinLength;
    adfMinWidth = deviceAbility.ADFMinWidth;
    adfMinLength = deviceAbility.ADFMinLength;
  } else {
    flatbedWidth = scannerAbilityEx.FlatbedMaxWidth;
    flatbedLength = scannerAbilityEx.FlatbedMaxLength;
    adfWidth = scannerAbilityEx.ADFMaxWidth;
    adfLength = scannerAbilityEx.ADFMaxLength;
    type = scannerAbilityEx.ScanMethod;
    flatbedMinWidth = flatbedMinLength = adfMinWidth = adfMinLength = kMinimumScanSize;
  }
  if (const FeederMinimum* minimum = models.feederMinimum(vidpid)) {
    adfMinWidth = minimum->width;
    adfMinLength = minimum->length;
  }
  dsLog("ADF Minimum", kLogBlank, 1,
        "adfMinWidth = " + std::to_string(adfMinWidth) +
            ",  adfMinLength = " + std::to_string(adfMinLength));
  // 12. A flatbed-only scanner has the flatbed bit and not the feeder bit.
  int forcedSource = -1;
  if (deviceHasFlatbed(type) && deviceHasFeeder(type)) {
    maxScanWidth = std::max(flatbedWidth, adfWidth);
    maxScanLength = std::max(flatbedLength, adfLength);
  } else if (deviceHasFlatbed(type)) {
    maxScanWidth = flatbedWidth;
    maxScanLength = flatbedLength;
    forcedSource = kSourceFlatbed;
  } else {
    maxScanWidth = adfWidth;
    maxScanLength = adfLength;
    forcedSource = kSourceFeeder;
  }
  // 13.
  maxLongLength = scanObject->maxLongLength();
  readSetting(std::nullopt, false);
  bool showWarning = false;
  accessSetting("openDS", [&] {
    if (forcedSource == kSourceFlatbed ||
        (forcedSource == kSourceFeeder && scanSetting.bScanSource != kSourceMergeTwoSides)) {
      scanSetting.bScanSource = static_cast<uint8_t>(forcedSource);
    }
    showWarning = scanSetting.bShowWarning != 0;
  });
  // 14.
  const bool flatbedOnly = !deviceHasFeeder(type);
  if (scannerFound && !flatbedOnly && !sdUsbScanner && showWarning) {
    alertRollerPadExceed();
  }
  // 15.
  if (vidpid == models.productLineModel && scannerName.find("Lite") != std::string::npos) {
    tk3Lite = true;
  }
  // 16.
  getScannerInfo();
  // The capabilities start from the settings just read and the opened scanner.
  adfAlignment = scanObject->adfAlignment();
  // The roller alert may have started the dialog's UI thread.
  accessSetting("initCaps", [this] { initCaps(); });
  dsLog("openDS", kLogOut, TWRC_SUCCESS, kLogNoData);
  return TWRC_SUCCESS;
}

TW_UINT16 TezFRLDS::controlUserInterface(TW_IDENTITY*, TW_UINT16 msg, TW_USERINTERFACE* ui) {
  switch (msg) {
    case MSG_DISABLEDS:
      return disableDS();
    case MSG_ENABLEDS:
    case MSG_ENABLEDSUIONLY:
      uiOnly = msg == MSG_ENABLEDSUIONLY;
      return enableDS(*ui);
    default:
      return fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 TezFRLDS::enableDS(const TW_USERINTERFACE& ui) {
  // 1.
  initXferTimeout = false;
  dsLog("enableDS", kLogIn, ui.ShowUI, kLogNoData);
  dsLog("Modal UI", kLogBlank, ui.ModalUI, kLogNoData);
  dsLog("UI only", kLogBlank, uiOnly, kLogNoData);
  keepImageType = 0;
  debugAction = false;
  // 2.
  if (mCurrentState != TWAIN_STATE_OPEN) {
    return fail(scannerFound ? TWCC_SEQERROR : TWCC_CHECKDEVICEONLINE);
  }
  mCurrentState = TWAIN_STATE_ENABLED;
  // 3.
  if (gAdvColorDropOn == 1) {
    accessSetting("enableDS", [this] {
      scanSetting.bFGAdvanceProcess = scanSetting.bRGAdvanceProcess = 1;
      scanSetting.bFBAdvanceProcess = scanSetting.bRBAdvanceProcess = 1;
    });
  }
  TW_UINT16 result = TWRC_FAILURE;
  // The dialog's window is made when first needed: no UI thread for scans without one.
  const bool wantsWindow = ui.ShowUI != 0 || uiOnly;
  if (wantsWindow && !mainDialog) mainDialog = dsFactory().makeMainDialog(*this);
  bool noWindow = false;
  // 4. Interface-only always shows the interface: it never starts a scan.
  if (wantsWindow && !mainDialog) {
    noWindow = true;
    dsLog("enableDS", kLogBlank, 0, "no window can be shown: no display and no headless script");
  } else if (wantsWindow) {
    noneUI = false;
    if (!scannerFound) uiOnly = true;
    ExtraParam extra{};
    extra.debugLevel = debugLevel;
    extra.uiOnly = uiOnly;
    extra.enableChromalis = enableChromalis;
    extra.adfAlignment = scanObject->adfAlignment();
    extra.maxLongLength = maxLongLength;
    extra.reverseRoller = reverseRoller;
    extra.mergeSides = mergeSides;
    std::memcpy(extra.multiLongLength, scanObject->LongPageLimited(), sizeof extra.multiLongLength);
    extra.sdUsbScanner = sdUsbScanner;
    extra.adfMinWidth = adfMinWidth;
    extra.adfMinLength = adfMinLength;
    extra.flatbedMinWidth = flatbedMinWidth;
    extra.flatbedMinLength = flatbedMinLength;
    extra.newKrapi = newKrapi;
    extra.noSleep = gNoSleep == 1;
    extra.hidePunchHole = !imageProcess->blackADF() && gTezOlmex && !tk3Lite;
    extra.checkPowerOff = gCheckPowerOff == 1;
    extra.photoshopFamily = photoshopFamily;
    extra.maxPowerSaving = static_cast<uint16_t>(gMaxPowerSaving);
    extra.maxPowerOff = static_cast<uint16_t>(gMaxPowerOff);
    extra.advColorDropOn = gAdvColorDropOn == 1;
    extra.hideCarrierSheet = gTezOlmex && (vidpid == models.productLineModel || tk3Lite);
    readSetting(std::nullopt, false);
    std::string model = scannerName;
    if (model.find("PY") != std::string::npos) model = replaceAll(model, "PY", "Papyrane ");
    if (vidpid == models.productLineModel) {
      model = localized(kSeriesKey, kSeriesName);
      scannerInfo.modelName = SharedText(model);
    }
    const std::string title = vendorName + " " + model;
    mainDialog->getDS(this);
    mainDialog->getExtraParam(extra);
    // The window's own dialog edits the record in place; a copy serves the others.
    const ScanSetting setting = settingCopy();
    if (newKrapi) {
      mainDialog->guiSetting(setting, kStandardPaperTbl, &deviceAbility, sizeof deviceAbility,
                             scannerName, uiOnly, scannerInfo);
    } else {
      mainDialog->guiSetting(setting, kStandardPaperTbl, &scannerAbilityEx, sizeof scannerAbilityEx,
                             scannerName, uiOnly, scannerInfo);
    }
    mainDialog->setTitle(title);
    mainDialog->makeKeyAndOrderFront();
    result = TWRC_SUCCESS;
  } else {
    // 5. Without an interface the scan starts at once.
    noneUI = true;
    if (scannerFound) result = xferReady();
  }
  // 6.
  if (dialogBox) dialogBox->makeKeyAndOrderFront();
  if (result != TWRC_SUCCESS) {
    mCurrentState = TWAIN_STATE_OPEN;
    // A refused start of the batch has set its own condition.
    if (!scannerFound || wantsWindow) {
      gConditionCode = scannerFound ? TWCC_SEQERROR : TWCC_CHECKDEVICEONLINE;
      if (scannerFound && scanObject->scannerError() != 0)
        setConditionCode(scanObject->scannerError());
    }
    if (noWindow) gConditionCode = TWCC_OPERATIONERROR;
  }
  dsLog("enableDS", kLogOut, result, mCurrentState.load());
  // The user acts on the window once it is up.
  if (result == TWRC_SUCCESS && mainDialog) mainDialog->enableEnded(uiOnly);
  return result;
}

TW_UINT16 TezFRLDS::disableDS() {
  // 1.
  dsLog("disableDS", kLogIn, 1, kLogNoData);
  // Outside state 50 a transfer may still come: it is to cancel, not to read freed buffers.
  if (mCurrentState != TWAIN_STATE_ENABLED) scanInterrupt = true;
  if (scanThread.exists()) finishScanThread();
  if (!noneUI && mainDialog) mainDialog->closeUI();
  // 2.
  bool saveSetting = false;
  accessSetting("disableDS", [&] {
    if (keepImageType != 0) scanSetting.wImageType = keepImageType;
    saveSetting = scanSetting.bSaveSetting != 0;
  });
  // 3.
  if (isCloseDSOK || (!uiOnly && saveSetting && !noneUI)) {
    writeSetting(std::nullopt, false);
  } else if (!uiOnly && !saveSetting) {
    offSaveSetting();
  }
  // 4.
  TW_UINT16 result = TWRC_SUCCESS;
  if (mCurrentState == TWAIN_STATE_ENABLED) {
    mCurrentState = TWAIN_STATE_OPEN;
  } else {
    result = fail(TWCC_SEQERROR);
  }
  // 5.
  dsLog("disableDS", kLogOut, result, kLogNoData);
  if (dialogBox) dialogBox->closeIndicatorWindow();
  // What was posted before this call has reached the application; no thread stays behind.
  poster.stop();
  return result;
}

TW_UINT16 TezFRLDS::closeDS() {
  // 1.
  dsLog("closeDS", kLogIn, 1, kLogNoData);
  // A host that closes without ending its batch: the scan thread goes with the batch.
  if (scanThread.exists()) finishScanThread();
  setCustomSetting();
  // 2.
  if (scannerFound && scanObject) {
    const ScanSetting setting = settingCopy();
    const uint16_t savingTime = newKrapi ? newNvmData.PowerSavingTime : nvmData.PowerSavingTime;
    const uint16_t offTime = newKrapi ? newNvmData.PowerOffTime : nvmData.PowerOffTime;
    if (setting.wEnergySaver != savingTime) {
      scanObject->sendPowerTime(kPowerTimeEnergySaver, setting.wEnergySaver);
    }
    if (setting.bPowerOff) {
      if (setting.wPowerOffTime != offTime) {
        scanObject->sendPowerTime(kPowerTimePowerOff, setting.wPowerOffTime);
      }
    } else if (offTime != 0) {
      scanObject->sendPowerTime(kPowerTimePowerOff, 0);
    }
  }
  // 3. What the application was not told before its close is of no use to it now.
  poster.stop();
  freeClasses();
  // 4. Revealing the log folder has no file browser to go to here.
  if (debugLevel > 0) {
    dsLog("Reveal", kLogBlank, 1,
          privateDebug > 0 ? currentPath.string() : logRootFolder().string());
  }
  // 5.
  mCurrentState = TWAIN_STATE_LOADED;
  dsLog("closeDS", kLogOut, TWRC_SUCCESS, kLogNoData);
  return TWRC_SUCCESS;
}

}  // namespace ferrolite
