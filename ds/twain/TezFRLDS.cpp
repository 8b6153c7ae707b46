// Construction, the entry's dispatch, the state machine's small handlers and the messages to the
// manager.
#include "ds/twain/TezFRLDS.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/twain/Options.h"
#include "ds/twain/SettingValues.h"
#include "platform/foundation/Resources.h"
#include "platform/twain/Source.h"

namespace ferrolite {

unsigned char gSTR_MANUFACTURER[34];
unsigned char gSTR_PRODUCT_FAMILY[34];
unsigned char gSTR_PRODUCT_NAME[34];

namespace {

constexpr std::string_view kAsterisks =
    "*****************************************************************";
static_assert(kAsterisks.size() == 65);

// "Debug.conf": lines of at most this many characters; a longer one is skipped whole.
constexpr size_t kDebugConfLineMax = 1023;
constexpr size_t kDebugConfWordMax = 255;
constexpr const char* kDebugLevelKey = "DebugLevel";

// The identity.
constexpr TW_UINT16 kVersionMajor = 2, kVersionMinor = 1;
constexpr const char* kVersionInfo = "2.1";
constexpr TW_UINT16 kProtocolMajor = 1, kProtocolMinor = 9;
// Control and image; DF_DS2 so that the Linux manager hands over its entry points.
constexpr TW_UINT32 kSupportedGroups = DG_CONTROL | DG_IMAGE | DF_DS2;
constexpr size_t kIdentityTextMax = 32;
constexpr const char* kDefaultManufacturer = "Unknown";
constexpr const char* kDefaultProductName = "Unknown TWAIN";
constexpr const char* kDefaultProductFamily = "Pagewright";
constexpr const char* kInfoPlistName = "Info.plist";

// Capability defaults.
constexpr int32_t kResolutionMin = 72, kResolutionMax = 600, kResolutionStep = 1;
constexpr int32_t kToneMin = -1000, kToneMax = 1000, kToneStep = 10;
constexpr int16_t kBitDepths[3] = {1, 8, 24};
constexpr int16_t kPixelTypes[3] = {TWPT_BW, TWPT_GRAY, TWPT_RGB};
constexpr int16_t kPaperSizes[17] = {
    TWSS_NONE,  TWSS_USLETTER, TWSS_USLEGAL, TWSS_A3,    TWSS_A4,     TWSS_A5,
    TWSS_A6,    TWSS_A7,       TWSS_ISOB4,   TWSS_ISOB5, TWSS_ISOB6,  TWSS_ISOB7,
    TWSS_JISB4, TWSS_JISB5,    TWSS_JISB6,   TWSS_JISB7, TWSS_MAXSIZE};

// The option limits.
constexpr int kMaxPowerOffOld = 480, kMaxPowerOffFixed = 4320;
constexpr int kMaxPowerSavingBuiltIn = 240, kMaxPowerOffBuiltIn = 480;

std::string valueText(const foundation::Value& value) {
  switch (value.kind()) {
    case foundation::Kind::string:
      return *value.string();
    case foundation::Kind::integer:
    case foundation::Kind::boolean:
      return std::to_string(*value.integer());
    case foundation::Kind::real:
      return std::to_string(*value.real());
    default:
      return foundation::kindName(value.kind());
  }
}

void log(std::string_view name, std::string_view status, int result,
         const TezFRLCommon::LogData& data) {
  if (gKrCommon) gKrCommon->outputDebugLog(name, status, result, data);
}

void logTitle(std::string_view title) { log(title, "", 0, kLogNoData); }

}  // namespace

TezFRLDS::TezFRLDS(const std::filesystem::path& bundleFolder) {
  // 1. The services object; nothing logs before its paths are set.
  debugLevel = 0;
  privateDebug = 0;
  gKrCommon = std::make_unique<TezFRLCommon>();
  // 2.
  readDebugConf();
  // 3.
  currentPath = bundleFolder;
  resourcePath = foundation::dataSourceResourceFolder(bundleFolder);
  // 4.
  resetOptions();
  ScanRes = -1;
  UIAlwaysOn = 0;
  foundation::Dictionary defaults;
  bool haveDefaults = false;
  if (auto file = foundation::readDictionaryFile(settingsFile())) {
    if (auto entry = file->dictionary(kDefaultEntry)) {
      defaults = *entry;
      haveDefaults = true;
    }
  }
  if (haveDefaults) {
    auto integer = [&](const char* key, auto& variable) {
      if (const foundation::Value* value = defaults.find(key)) {
        variable = static_cast<std::remove_reference_t<decltype(variable)>>(integerValue(*value));
      }
    };
    int32_t level = privateDebug;
    integer("DebugLevel", level);
    privateDebug = level;
    if (privateDebug > 0) debugLevel = privateDebug;
    integer("ScanRes", ScanRes);
    integer("UIAlwaysOn", UIAlwaysOn);
    integer("SingleCropDuplex", gSingleCropDuplex);
    int debugImage = 1;
    integer("DebugImage", debugImage);
    gDebugImage = debugImage;
    integer("LongPageCrop", gLongPageCrop);
    if (const foundation::Value* value = defaults.find("PhysicalLongPaper")) {
      gPhysicalLongPaper = integerValue(*value) != 0;
    }
    integer("MergeAll", gMergeAll);
    integer("MergeSides", gMergeSides);
    integer("BarcodeResult", gBarcodeResult);
    integer("DisableJpeg", gDisableJpeg);
    integer("NoSleep", gNoSleep);
    integer("CheckPowerOff", gCheckPowerOff);
    integer("MaxPowerSaving", gMaxPowerSaving);
    integer("MaxPowerOff", gMaxPowerOff);
    integer("AdvColorDropOn", gAdvColorDropOn);
    integer("ColorScan", gColorScan);
    integer("MaxLongLengthHighRes", gMaxLongLengthHighRes);
    if (auto text = defaults.string("Version")) customVersion = *text;
    if (auto text = defaults.string("SupportedLanguage")) supportedLanguage = *text;
  } else {
    gDebugImage = 1;
  }
  // 5.
  gKrCommon->setDebugLevel(debugLevel);
  gKrCommon->setPrivateDebug(privateDebug);
  gKrCommon->setDS_ResourcePath(currentPath, resourcePath);
  logTitle(kAsterisks);
  logTitle("TWAIN Scan log");
  logTitle(kAsterisks);
  log("DebugLevel", kLogBlank, 1, debugLevel);
  if (haveDefaults) {
    logTitle("Custom");
    for (const auto& [key, value] : defaults) {
      log("Custom", kLogBlank, 1, "Key: " + key + " ,Value: " + valueText(value));
    }
  }
  // 6.
  fixLimits();
  // 7.
  osYosemite = false;
  getSystemInfo();
  bundleIdentifier.clear();
  if (auto info = foundation::readDictionaryFile(currentPath / kInfoPlistName)) {
    if (auto id = info->string("CFBundleIdentifier")) bundleIdentifier = *id;
  }
  logTitle("64-bit TWAIN");
  log("DS ID", kLogBlank, 1, bundleIdentifier);
  log("DS path", kLogBlank, 1, currentPath.string());
  // 8.
  scanSetting = ScanSetting{};
  scannerInfo = ScannerInfo{};
  deviceAbility = DeviceAbility{};
  scannerAbilityEx = ScannerAbilityEx{};
  mXferCount = -1;
  maxLifeRoller = -1;
  maxLifePad = -1;
  imageInfoGo = false;
  // 9.
  mResMinValue = kResolutionMin;
  mResMaxValue = kResolutionMax;
  mResStepSize = kResolutionStep;
  mResDefaultValue = mResCurrentValue = defaultResolution;
  mDeviceOnLine = mIndicators = mFeederEnabled = mAutomaticBorder = 1;
  mPatchcode = mBarcode = mDuplexEnabled = mFeederLoaded = mDuplex = 0;
  mTransferMode = 0;
  mCurUnits = 0;
  mMultiStream = 1;
  std::memcpy(mBitDepth, kBitDepths, sizeof mBitDepth);
  mBitDepthCount = 3;
  mBitDepthCurrent = mBitDepthDefault = 1;
  mBrightnessCurrent = mBrightnessDefault = mContrastCurrent = mContrastDefault = 0;
  mBrightnessMin = mContrastMin = kToneMin;
  mBrightnessMax = mContrastMax = kToneMax;
  mBrightnessStep = mContrastStep = kToneStep;
  std::memcpy(mPixelTypes, kPixelTypes, sizeof mPixelTypes);
  mPixelTypeCount = 3;
  mPixelTypeCurrent = mPixelTypeDefault = 0;
  std::memcpy(mPaperSize, kPaperSizes, sizeof mPaperSize);
  mPaperSizeCount = 17;
  mPaperSizeCurrent = mPaperSizeDefault = 1;
  mImageFileFormat = 0;
  // 10.
  gConditionCode = TWCC_SUCCESS;
  mCurrentState = TWAIN_STATE_LOADED;
  mRowsTransfered = 0;
  mInfoLoaded = false;
  // 11.
  fillIdentity();
  // 12.
  twain::ToLengthPrefixed(mGlobalSetupFileName, sizeof mGlobalSetupFileName, kSetupFileName,
                          std::strlen(kSetupFileName) + 1);
  mGlobalSetupFile = TW_SETUPFILEXFER{};
  twain::CopyText(mGlobalSetupFile.FileName, kSetupFileName);
  mGlobalSetupFile.Format = 0;
  mGlobalSetupFile.VRefNum = 0;
  // 13.
  processingError = 0;
  isPatchCode = isBarcode = false;
  flatbedMinLength = flatbedMinWidth = adfMinLength = adfMinWidth = kMinimumScanSize;
}

TezFRLDS::~TezFRLDS() = default;

void TezFRLDS::readDebugConf() {
  FILE* file = std::fopen((logRootFolder() / kDebugConfName).c_str(), "r");
  if (file == nullptr) return;
  char line[kDebugConfLineMax + 2];
  bool skipping = false;  // inside an overlong line
  while (std::fgets(line, sizeof line, file) != nullptr) {
    const size_t length = std::strlen(line);
    const bool complete = length > 0 && line[length - 1] == '\n';
    if (skipping || (!complete && !std::feof(file))) {
      // The rest of an overlong line, or its first part: the whole line is skipped.
      skipping = !complete;
      continue;
    }
    // Two blank-separated words, each of bounded width.
    char key[kDebugConfWordMax + 1], value[kDebugConfWordMax + 1];
    static_assert(kDebugConfWordMax == 255, "the widths below");
    int read = std::sscanf(line, "%255s %255s", key, value);
    if (read != 2) continue;
    if (std::strlen(key) == kDebugConfWordMax || std::strlen(value) == kDebugConfWordMax) continue;
    if (std::strcmp(key, kDebugLevelKey) == 0) debugLevel = std::atoi(value);
  }
  std::fclose(file);
}

void TezFRLDS::fixLimits() {
  if (gMaxPowerOff == kMaxPowerOffOld) gMaxPowerOff = kMaxPowerOffFixed;
  gColorScan = 1;
  if (gAdvColorDropOn == -1) gAdvColorDropOn = 1;
  if (gMaxPowerSaving < 1) gMaxPowerSaving = kMaxPowerSavingBuiltIn;
  if (gMaxPowerOff < 1) gMaxPowerOff = kMaxPowerOffBuiltIn;
  if (gMaxPowerSaving > gMaxPowerOff) gMaxPowerOff = gMaxPowerSaving;
  gTezOlmex = 1;
}

void TezFRLDS::fillIdentity() {
  std::string manufacturer = kDefaultManufacturer, productName = kDefaultProductName,
              productFamily = kDefaultProductFamily;
  if (auto info = foundation::readDictionaryFile(currentPath / kInfoPlistName)) {
    if (auto text = info->string("Manufacturer")) manufacturer = *text;
    if (auto text = info->string("ProductName")) productName = *text;
    if (auto text = info->string("ProductFamily")) productFamily = *text;
  }
  auto store = [](unsigned char(&prefixed)[34], const std::string& text) {
    const std::string cut = text.substr(0, kIdentityTextMax);
    twain::ToLengthPrefixed(prefixed, sizeof prefixed, cut.c_str(), cut.size() + 1);
  };
  store(gSTR_MANUFACTURER, manufacturer);
  store(gSTR_PRODUCT_NAME, productName);
  store(gSTR_PRODUCT_FAMILY, productFamily);

  mIdentity = TW_IDENTITY{};
  mIdentity.Id = 1;
  mIdentity.Version.MajorNum = kVersionMajor;
  mIdentity.Version.MinorNum = kVersionMinor;
  mIdentity.Version.Language = TWLG_ENGLISH_USA;
  mIdentity.Version.Country = TWCY_USA;
  twain::CopyText(mIdentity.Version.Info, kVersionInfo);
  mIdentity.ProtocolMajor = kProtocolMajor;
  mIdentity.ProtocolMinor = kProtocolMinor;
  mIdentity.SupportedGroups = kSupportedGroups;
  twain::FromLengthPrefixed(mIdentity.Manufacturer, gSTR_MANUFACTURER);
  twain::FromLengthPrefixed(mIdentity.ProductFamily, gSTR_PRODUCT_FAMILY);
  twain::FromLengthPrefixed(mIdentity.ProductName, gSTR_PRODUCT_NAME);
}

TW_UINT16 TezFRLDS::fail(TW_UINT16 conditionCode) {
  gConditionCode = conditionCode;
  return TWRC_FAILURE;
}

// ---- the entry ----

TW_UINT16 TezFRLDS::dsEntry(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                            TW_MEMREF data) {
  if (!mainQueueAdopted) {
    mainQueue.adoptCurrentThread();
    mainQueueAdopted = true;
  }
  // No message reaches the application while this call is inside.
  MessagePoster::Call inside(poster);
  if (gKrCommon) gKrCommon->outputTripletLog(dg, dat, msg, data);
  TW_UINT16 result = TWRC_FAILURE;
  auto dispatch = [&] {
    switch (dg) {
      case DG_CONTROL:
        result = control(origin, dat, msg, data);
        break;
      case DG_IMAGE:
        result = image(origin, dat, msg, data);
        break;
      case DG_AUDIO:
        // Accepted and ignored.
        result = TWRC_SUCCESS;
        break;
      default:
        result = fail(TWCC_BADPROTOCOL);
        break;
    }
  };
  // The negotiation and layout triplets read and write the settings record throughout: they run
  // where the record lives (the enable and disable route their own accesses).
  const bool touchesSetting =
      (dg == DG_CONTROL && dat == DAT_CAPABILITY) || (dg == DG_IMAGE && dat == DAT_IMAGELAYOUT);
  if (touchesSetting) {
    accessSetting("triplet", dispatch);
  } else {
    dispatch();
  }
  if (result == TWRC_SUCCESS) {
    gConditionCode = TWCC_SUCCESS;
  } else if (gKrCommon) {
    gKrCommon->outputResultLog(result, gConditionCode);
  }
  return result;
}

TW_UINT16 TezFRLDS::control(TW_IDENTITY* origin, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  switch (dat) {
    case DAT_CAPABILITY:
    case DAT_EVENT:
    case DAT_IDENTITY:
    case DAT_PENDINGXFERS:
    case DAT_SETUPMEMXFER:
    case DAT_SETUPFILEXFER:
    case DAT_STATUS:
    case DAT_USERINTERFACE:
    case DAT_XFERGROUP:
    case DAT_KRCUSTOMCOMMAND:
      break;
    default:
      return fail(TWCC_BADPROTOCOL);
  }
  // Every control triplet reads or writes its record.
  if (data == nullptr) return fail(TWCC_BADVALUE);
  switch (dat) {
    case DAT_CAPABILITY:
      return controlCapability(origin, msg, static_cast<TW_CAPABILITY*>(data));
    case DAT_EVENT:
      return controlEvent(origin, msg, static_cast<TW_EVENT*>(data));
    case DAT_IDENTITY:
      return controlIdentity(origin, msg, static_cast<TW_IDENTITY*>(data));
    case DAT_PENDINGXFERS:
      return controlPendingXfers(origin, msg, static_cast<TW_PENDINGXFERS*>(data));
    case DAT_SETUPMEMXFER:
      return controlSetupMemXfer(origin, msg, static_cast<TW_SETUPMEMXFER*>(data));
    case DAT_SETUPFILEXFER:
      return controlSetupFileXfer(origin, msg, static_cast<TW_SETUPFILEXFER*>(data));
    case DAT_STATUS:
      return controlStatus(origin, msg, static_cast<TW_STATUS*>(data));
    case DAT_USERINTERFACE:
      return controlUserInterface(origin, msg, static_cast<TW_USERINTERFACE*>(data));
    case DAT_XFERGROUP:
      return controlXferGroup(origin, msg, static_cast<TW_UINT32*>(data));
    default:
      return controlKRCustomCommand(origin, msg, static_cast<TW_KRCUSTOMCOMMAND*>(data));
  }
}

TW_UINT16 TezFRLDS::image(TW_IDENTITY* origin, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  switch (dat) {
    case DAT_IMAGEINFO:
    case DAT_IMAGELAYOUT:
    case DAT_IMAGEMEMXFER:
    case DAT_IMAGENATIVEXFER:
    case DAT_EXTIMAGEINFO:
      // These read or write the host's record.
      if (data == nullptr) return fail(TWCC_BADVALUE);
      break;
    case DAT_IMAGEFILEXFER:  // the file named by the setup carries the image: no record
      break;
    default:
      return fail(TWCC_BADPROTOCOL);
  }
  switch (dat) {
    case DAT_IMAGEINFO:
      return imageInfo(origin, msg, static_cast<TW_IMAGEINFO*>(data));
    case DAT_IMAGELAYOUT:
      return imageLayout(origin, msg, static_cast<TW_IMAGELAYOUT*>(data));
    case DAT_IMAGEMEMXFER:
      return imageMemXfer(origin, msg, static_cast<TW_IMAGEMEMXFER*>(data));
    case DAT_IMAGENATIVEXFER:
      return imageNativeXfer(origin, msg, data);
    case DAT_IMAGEFILEXFER:
      return imageFileXfer(origin, msg, data);
    default:
      return extImageInfo(origin, msg, static_cast<TW_EXTIMAGEINFO*>(data));
  }
}

// ---- the small handlers ----

TW_UINT16 TezFRLDS::controlEvent(TW_IDENTITY*, TW_UINT16, TW_EVENT* event) {
  // The data source never claims an event of the host's.
  event->TWMessage = MSG_NULL;
  return TWRC_NOTDSEVENT;
}

TW_UINT16 TezFRLDS::controlStatus(TW_IDENTITY*, TW_UINT16 msg, TW_STATUS* status) {
  if (msg != MSG_GET) return fail(TWCC_BADPROTOCOL);
  status->ConditionCode = gConditionCode.exchange(TWCC_SUCCESS);
  status->Reserved = 0;
  return TWRC_SUCCESS;
}

TW_UINT16 TezFRLDS::controlIdentity(TW_IDENTITY* origin, TW_UINT16 msg, TW_IDENTITY* identity) {
  switch (msg) {
    case MSG_GET: {
      // The Id is the manager's: it stays as the manager wrote it.
      const TW_UINT32 id = identity->Id;
      *identity = mIdentity;
      identity->Id = id;
      return TWRC_SUCCESS;
    }
    case MSG_OPENDS: {
      if (mCurrentState != TWAIN_STATE_LOADED) return fail(TWCC_SEQERROR);
      if (origin != nullptr) {
        mAppIdentity = *origin;
      } else {
        mAppIdentity = TW_IDENTITY{};
      }
      // The manager wrote the Id it gave this source; the messages to it carry that Id.
      mIdentity.Id = identity->Id;
      *identity = mIdentity;
      const TW_UINT16 result = openDS();
      if (result != TWRC_SUCCESS) freeClasses();
      return result;
    }
    case MSG_CLOSEDS: {
      if (mCurrentState != TWAIN_STATE_OPEN) return fail(TWCC_SEQERROR);
      const TW_UINT16 result = closeDS();
      mCurrentState = TWAIN_STATE_LOADED;
      return result;
    }
    default:
      return fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 TezFRLDS::controlXferGroup(TW_IDENTITY*, TW_UINT16 msg, TW_UINT32* xferGroup) {
  if (msg != MSG_GET) return fail(TWCC_BADPROTOCOL);
  if (mCurrentState < TWAIN_STATE_OPEN || mCurrentState > TWAIN_STATE_XFERREADY) {
    return fail(TWCC_SEQERROR);
  }
  // The whole 32-bit field: a host reads all of it.
  *xferGroup = DG_IMAGE;
  return TWRC_SUCCESS;
}

// ---- messages to the manager ----

TW_UINT16 TezFRLDS::postToManager(TW_UINT16 message) {
  if (twain::ManagerEntry() == nullptr) {
    log("DSM_Entry", kLogBlank, TWRC_FAILURE, "no data source manager to tell");
    return TWRC_FAILURE;
  }
  poster.post(message);
  return TWRC_SUCCESS;
}

TW_UINT16 TezFRLDS::sendToManager(TW_UINT16 message) {
  TW_IDENTITY source = mIdentity, application = mAppIdentity;
  const TW_UINT16 result = twain::PostToApplication(&source, &application, message);
  const char* name = message == MSG_XFERREADY    ? "MSG_XFERREADY"
                     : message == MSG_CLOSEDSREQ ? "MSG_CLOSEDSREQ"
                     : message == MSG_CLOSEDSOK  ? "MSG_CLOSEDSOK"
                                                 : "message";
  log("DSM_Entry", kLogBlank, result, name);
  return result;
}

TW_UINT16 TezFRLDS::closeDSRequest() { return postToManager(MSG_CLOSEDSREQ); }

TW_UINT16 TezFRLDS::closeDSOK() {
  isCloseDSOK = true;
  return postToManager(MSG_CLOSEDSOK);
}

std::filesystem::path TezFRLDS::settingsFile() const { return currentPath / kSettingsFileName; }
std::filesystem::path TezFRLDS::profileFile() const { return currentPath / kProfileFileName; }

}  // namespace ferrolite
