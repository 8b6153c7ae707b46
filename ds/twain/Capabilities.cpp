// DAT_CAPABILITY: the 32 capabilities with MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET
// and MSG_SET, the set-up of their values from the stored settings (initCaps) and the write of
// every accepted value into the settings record, so that a scan without the dialog uses what the
// host negotiated.
//
// A host's container is checked whole before anything is stored: a refused set leaves the
// capability values and the settings as they were.
#include "ds/twain/Capabilities.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/scan/records/DeviceType.h"
#include "ds/scan/records/PaperTbl.h"
#include "ds/twain/Options.h"
#include "ds/twain/TWAINHandler.h"
#include "ds/twain/TezFRLDS.h"
#include "platform/twain/Source.h"

namespace ferrolite {
namespace {

constexpr double kUnitsPerInch = 300.0;

// Capability values fixed by this data source.
constexpr int32_t kResolutionMin = 72, kResolutionMax = 600, kResolutionStep = 1,
                  kResolutionDefault = 200;
constexpr int32_t kToneMin = -1000, kToneMax = 1000;
constexpr int kToneToSetting = 10;  // the settings keep brightness and contrast in tenths
constexpr int16_t kPixelTypes[3] = {TWPT_BW, TWPT_GRAY, TWPT_RGB};
constexpr int16_t kTransferModes[3] = {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY};
constexpr int16_t kFileFormats[4] = {TWFF_TIFF, TWFF_BMP, TWFF_JFIF, TWFF_PNG};
constexpr size_t kPixelTypeMax = 3, kBitDepthMax = 3, kPaperSizeMax = 17;
constexpr int16_t kBitDepthBW = 1, kBitDepthGray = 8, kBitDepthColor = 24;
// The depth of each pixel type, in the order of kPixelTypes.
constexpr int16_t kBitDepths[3] = {kBitDepthBW, kBitDepthGray, kBitDepthColor};
constexpr uint16_t kDefaultPaperSizeAnswer = TWSS_A4;
constexpr float kDefaultPhysicalWidth = 8.5f, kDefaultPhysicalHeight = 11.0f;
constexpr float kMinWidthInches = 0.5f, kMinHeightInches = 1.0f;
constexpr uint16_t kMaxImageTypeBits = 0xFF;

// wImageType bits of one side, whatever the type.
constexpr uint16_t kFrontTypeBits = 0x15, kRearTypeBits = 0x2A;

// wImageType of a pixel type, simplex and duplex.
constexpr uint16_t kSimplexImageType[3] = {0x01, 0x04, 0x10};
constexpr uint16_t kDuplexImageType[3] = {0x03, 0x0C, 0x30};

// Paper-table page id -> TWAIN size code.
struct SizeCode {
  uint32_t pageId;
  int code;
};
constexpr SizeCode kSizeCodes[] = {
    {1, TWSS_USLEGAL}, {2, TWSS_USLETTER}, {5, TWSS_A3},     {6, TWSS_A4},
    {7, TWSS_A5},      {8, TWSS_A6},       {9, TWSS_A7},     {10, TWSS_ISOB4},
    {11, TWSS_ISOB5},  {12, TWSS_ISOB6},   {13, TWSS_ISOB7}, {14, TWSS_JISB4},
    {15, TWSS_JISB5},  {16, TWSS_JISB6},   {17, TWSS_JISB7}, {18, TWSS_MAXSIZE}};

// The rows ICAP_SUPPORTEDSIZES looks at: page id 20 and the standard sizes 1 to 16.
bool sizeRow(uint32_t pageId) { return pageId == kPageMultiCrop || (pageId >= 1 && pageId <= 16); }

const std::initializer_list<TW_UINT16> kIntegerTypes = {TWTY_INT8,  TWTY_INT16,  TWTY_INT32,
                                                        TWTY_UINT8, TWTY_UINT16, TWTY_UINT32};
const std::initializer_list<TW_UINT16> kBoolTypes = {TWTY_BOOL};
const std::initializer_list<TW_UINT16> kFix32Types = {TWTY_FIX32};
const std::initializer_list<TW_UINT16> kListTypes = {TWTY_INT16, TWTY_UINT16};

bool oneOf(int value, std::initializer_list<TW_UINT16> set) {
  return std::find(set.begin(), set.end(), static_cast<TW_UINT16>(value)) != set.end();
}

void logLine(std::string_view name, const std::string& text) {
  if (gKrCommon) gKrCommon->outputDebugLog(name, kLogBlank, 1, text);
}

const char* operationName(TW_UINT16 msg) {
  switch (msg) {
    case MSG_GET:
      return "Get value";
    case MSG_GETCURRENT:
      return "Get current value";
    case MSG_GETDEFAULT:
      return "Get default value";
    case MSG_RESET:
      return "Reset value";
    case MSG_SET:
      return "Set value";
    default:
      return "Unknown operation";
  }
}

std::string capName(TW_UINT16 cap) {
  char text[32];
  std::snprintf(text, sizeof text, "Capability 0x%04X", cap);
  return text;
}

// The 32-bit slot of a whole number travelling as FIX32: Whole the number, Frac 0.
int fix32Slot(int whole) { return static_cast<int>(static_cast<uint16_t>(whole)); }
// The whole part of a FIX32 slot from the host.
int fix32Whole(int slot) { return static_cast<int16_t>(static_cast<uint32_t>(slot) & 0xFFFF); }

// The host's one value of one of `types`.
bool readOne(const TW_CAPABILITY* capability, std::initializer_list<TW_UINT16> types, int* value) {
  short type = 0;
  if (TWAINHandler::getOneValue(capability, &type, value) != kNoErr) return false;
  return oneOf(type, types);
}

// A one value, or the current item of an enumeration, of 16-bit items that fits `maxItems`; the
// enumeration's items come in `items`.
bool readList(const TW_CAPABILITY* capability, size_t maxItems, std::vector<int16_t>* items,
              int* current) {
  if (capability->ConType == TWON_ONEVALUE) {
    items->clear();
    short type = 0;
    if (TWAINHandler::getOneValue(capability, &type, current) != kNoErr) return false;
    return oneOf(type, kIntegerTypes);
  }
  if (capability->ConType != TWON_ENUMERATION) return false;
  std::vector<int16_t> buffer(maxItems);
  short type = 0, count = 0, currentIndex = 0, defaultIndex = 0;
  if (TWAINHandler::getEnumeration(capability, &type, &count, &currentIndex, &defaultIndex,
                                   buffer.data(),
                                   static_cast<unsigned short>(maxItems * 2)) != kNoErr) {
    return false;
  }
  if (!oneOf(type, kListTypes) || count <= 0) return false;
  buffer.resize(static_cast<size_t>(count));
  *items = buffer;
  *current = buffer[static_cast<size_t>(currentIndex)];
  return true;
}

// readList whose items and current value are all among `allowed`.
bool readListOf(const TW_CAPABILITY* capability, size_t maxItems, const int16_t* allowed,
                int allowedCount, std::vector<int16_t>* items, int* current) {
  if (!readList(capability, maxItems, items, current)) return false;
  for (int16_t item : *items) {
    if (FindIndex(item, allowed, allowedCount) < 0) return false;
  }
  return FindIndex(*current, allowed, allowedCount) >= 0;
}

// An enumeration's items replace a capability's list; a one value leaves it.
void storeList(const std::vector<int16_t>& items, int16_t* list, int16_t* count) {
  if (items.empty()) return;
  std::copy(items.begin(), items.end(), list);
  *count = static_cast<int16_t>(items.size());
}

// A whole number as a FIX32 one value (its current value), or a FIX32 range (all five values,
// `range` set); each taken by its Whole part.
struct WholeRange {
  int min = 0, max = 0, step = 0, def = 0, current = 0;
  bool range = false;
};
bool readWholeFix32(const TW_CAPABILITY* capability, WholeRange* out) {
  if (capability->ConType == TWON_ONEVALUE) {
    if (!readOne(capability, kFix32Types, &out->current)) return false;
    out->current = fix32Whole(out->current);
    return true;
  }
  short type = 0;
  if (capability->ConType != TWON_RANGE ||
      TWAINHandler::getRange(capability, &type, &out->min, &out->max, &out->step, &out->def,
                             &out->current) != kNoErr ||
      type != TWTY_FIX32) {
    return false;
  }
  for (int* slot : {&out->min, &out->max, &out->step, &out->def, &out->current}) {
    *slot = fix32Whole(*slot);
  }
  out->range = true;
  return true;
}

// A FRAME one value, or the current item of an enumeration of FRAMEs.
bool readFrame(const TW_CAPABILITY* capability, TW_FRAME* frame) {
  if (capability->ConType == TWON_ONEVALUE) {
    return TWAINHandler::getFrames(capability, frame) == kNoErr;
  }
  if (capability->ConType != TWON_ENUMERATION) return false;
  short type = 0, count = 0, current = 0;
  if (TWAINHandler::getEnumeration(capability, &type, &count, &current, nullptr, nullptr, 0) !=
          kNoErr ||
      type != TWTY_FRAME) {
    return false;
  }
  twain::LockedBlock block(capability->hContainer);
  const auto* bytes = block.as<const uint8_t>();
  if (bytes == nullptr) return false;
  std::memcpy(frame, bytes + TW_ENUMERATION_HEADER_SIZE + size_t(current) * sizeof(TW_FRAME),
              sizeof(TW_FRAME));
  return true;
}

uint16_t clampToU16(double value) {
  if (!(value > 0)) return 0;
  return value >= 65535.0 ? 65535 : static_cast<uint16_t>(value);
}

}  // namespace

// ---- shared helpers ----

int matchSupportedSize(uint32_t pageId) {
  for (const SizeCode& row : kSizeCodes) {
    if (row.pageId == pageId) return row.code;
  }
  return -1;
}

int FindIndex(int value, const int16_t* list, int count) {
  for (int i = 0; i < count; ++i) {
    if (list[i] == value) return i;
  }
  return -1;
}

double fix32ToInches(TW_FIX32 value) { return value.Whole + value.Frac / 65536.0; }

TW_FIX32 inchesToLayoutFix32(double inches) {
  const double whole = std::floor(inches);
  const double fraction = inches - whole;
  return TW_FIX32{static_cast<TW_INT16>(whole),
                  static_cast<TW_UINT16>(std::trunc(fraction * 65535.0 + 0.5))};
}

bool frameFits(const TezFRLDS& source, double left, double top, double right, double bottom) {
  const double maxRight = source.maxScanWidth / kUnitsPerInch;
  const double maxBottom = std::max(source.maxScanLength, source.maxLongLength) / kUnitsPerInch;
  return left >= 0 && top >= 0 && right - left >= source.mMinWidth &&
         bottom - top >= source.mMinHeight && right <= maxRight && bottom <= maxBottom;
}

void TezFRLDS::rememberFrame(double left, double top, double right, double bottom) {
  mImageLayout.Frame = TW_FRAME{inchesToLayoutFix32(left), inchesToLayoutFix32(top),
                                inchesToLayoutFix32(right), inchesToLayoutFix32(bottom)};
  mFramesLeft = float(left), mFramesTop = float(top), mFramesRight = float(right);
  mFramesBottom = float(bottom);
}

void TezFRLDS::setScanFrame(double left, double top, double right, double bottom,
                            bool logCentring) {
  ScanSetting& s = scanSetting;
  s.bPaperSize = kPageCustom;
  s.wXPos = clampToU16(left * kUnitsPerInch);
  s.wYPos = clampToU16(top * kUnitsPerInch);
  s.wWidth = clampToU16((right - left) * kUnitsPerInch);
  if (bottom <= maxScanLength / kUnitsPerInch) {
    s.wLength = clampToU16((bottom - top) * kUnitsPerInch);
  } else {
    // Past the feeder's length the scan layer takes the size from the long-page fields.
    s.bPaperSize = kPageLong;
    s.wYPos = 0;
    s.dwLongWidth = s.wWidth;
    s.dwLongLength = static_cast<uint32_t>(bottom * kUnitsPerInch);
  }
  centreScanArea(*this, logCentring);
  // What the host reads back: its frame, no standard size, no automatic border.
  rememberFrame(left, top, right, bottom);
  mPaperSizeCurrent = TWSS_NONE;
  mAutomaticBorder = false;
}

void centreScanArea(TezFRLDS& source, bool logIt) {
  ScanSetting& s = source.scanSetting;
  if (s.bScanSource == kSourceMergeTwoSides) s.bScanSource = kSourceFeeder;
  if (s.wXPos == 0 && source.adfAlignment == 0 && s.bScanSource != kSourceFlatbed) {
    if (logIt) logLine("Central layout automatically", "");
    const int64_t spare = int64_t(source.maxScanWidth) - int64_t(s.wWidth);
    s.wXPos = spare > 0 ? clampToU16(double(spare / 2)) : 0;
  }
}

// ---- the triplet ----

TW_UINT16 TezFRLDS::controlCapability(TW_IDENTITY*, TW_UINT16 msg, TW_CAPABILITY* capability) {
  const bool change = msg == MSG_SET || msg == MSG_RESET;
  if (mCurrentState == TWAIN_STATE_LOADED || (change && mCurrentState != TWAIN_STATE_OPEN)) {
    return fail(TWCC_SEQERROR);
  }
  switch (msg) {
    case MSG_GET:
      return controlCapabilityGet(capability);
    case MSG_GETCURRENT:
      return controlCapabilityGetCurrent(capability);
    case MSG_GETDEFAULT:
      return controlCapabilityGetDefault(capability);
    case MSG_SET: {
      const bool pixelTypeBefore = pixelTypeJustSet;
      const TW_UINT16 result = controlCapabilitySet(capability);
      // Only the set right after a pixel-type set keeps its pixel type.
      if (capability->Cap != ICAP_PIXELTYPE && pixelTypeBefore) pixelTypeJustSet = false;
      return result;
    }
    case MSG_RESET:
      return controlCapabilityReset(capability);
    default:
      return fail(TWCC_BADPROTOCOL);
  }
}

// One answer of a get or reset: the container is built here, by the capability and message.
namespace {

struct Answerer {
  TW_CAPABILITY* c;
  TW_UINT16 msg;

  int one(TW_UINT16 type, int value) const { return TWAINHandler::setupOneValue(c, type, value); }
  int fix(int whole) const { return one(TWTY_FIX32, fix32Slot(whole)); }
  int real(float value) const {
    char text[32];
    std::snprintf(text, sizeof text, "%5.2f", value);
    logLine(capName(c->Cap), std::string(operationName(msg)) + ": " + text);
    return TWAINHandler::setupFloatValue(c, value);
  }
  int frame(float left, float top, float right, float bottom) const {
    char text[96];
    std::snprintf(text, sizeof text, "{%5.2f, %5.2f, %5.2f, %5.2f}", left, top, right, bottom);
    logLine(capName(c->Cap), std::string(operationName(msg)) + ": " + text);
    return TWAINHandler::setupFrames(c, top, left, bottom, right);
  }
  int range(int min, int max, int step, int def, int cur) const {
    return TWAINHandler::setupRange(c, TWTY_FIX32, fix32Slot(min), fix32Slot(max), fix32Slot(step),
                                    fix32Slot(def), fix32Slot(cur));
  }
  int list(const int16_t* items, int count, int current, int def) const {
    return TWAINHandler::setupEnumeration(c, TWTY_UINT16, static_cast<short>(count),
                                          static_cast<short>(FindIndex(current, items, count)),
                                          static_cast<short>(FindIndex(def, items, count)), items);
  }
};

}  // namespace

// Answers of MSG_GET (and the gets that share them); kParamErr for a capability or message
// without one.
static int answerCapability(TezFRLDS& ds, TW_CAPABILITY* c, TW_UINT16 msg) {
  const Answerer a{c, msg};
  const bool get = msg == MSG_GET, current = msg == MSG_GETCURRENT, def = msg == MSG_GETDEFAULT,
             reset = msg == MSG_RESET;
  const bool anyGet = get || current || def;
  switch (c->Cap) {
    case CAP_SUPPORTEDCAPS:
      if (!get) return kParamErr;
      return TWAINHandler::setupArray(c, TWTY_UINT16, std::size(kSupportedCapabilities),
                                      kSupportedCapabilities);
    case CAP_XFERCOUNT:
      if (reset) return a.one(TWTY_INT16, 1);
      return a.one(TWTY_INT16, static_cast<int16_t>(ds.mXferCount));
    case CAP_UICONTROLLABLE:
      return get ? a.one(TWTY_BOOL, TWAIN_TRUE) : kParamErr;
    case CAP_DEVICEONLINE:
      return get || current ? a.one(TWTY_BOOL, ds.mDeviceOnLine) : kParamErr;
    case CAP_FEEDERLOADED:
      if (def) return a.one(TWTY_BOOL, TWAIN_FALSE);
      if (!(get || current)) return kParamErr;
      // The sensor is read again at every request: paper comes and goes between batches.
      ds.mFeederLoaded = ds.scannerFound && ds.feederLoaded() ? 1 : 0;
      return a.one(TWTY_BOOL, ds.mFeederLoaded);
    case CAP_FEEDERENABLED:
      return anyGet ? a.one(TWTY_BOOL, ds.mFeederEnabled) : kParamErr;
    case CAP_DUPLEX:
      return anyGet ? a.one(TWTY_UINT16, ds.mDuplex) : kParamErr;
    case CAP_DUPLEXENABLED:
      if (current) {
        const uint16_t type = ds.scanSetting.wImageType;
        ds.mDuplexEnabled = (type & kFrontTypeBits) != 0 && (type & kRearTypeBits) != 0;
      }
      if (def) return a.one(TWTY_BOOL, TWAIN_FALSE);
      return get || current ? a.one(TWTY_BOOL, ds.mDuplexEnabled) : kParamErr;
    case CAP_INDICATORS:
      if (def || reset) return a.one(TWTY_BOOL, TWAIN_TRUE);
      return a.one(TWTY_BOOL, ds.mIndicators);
    case ICAP_XFERMECH:
      if (get) return a.list(kTransferModes, 3, ds.mTransferMode, TWSX_NATIVE);
      if (reset) ds.mTransferMode = TWSX_NATIVE;
      return a.one(TWTY_UINT16, current ? ds.mTransferMode : TWSX_NATIVE);
    case ICAP_COMPRESSION:
      return a.one(TWTY_UINT16, TWCP_NONE);
    case ICAP_PIXELTYPE:
      if (reset) {
        std::memcpy(ds.mPixelTypes, kPixelTypes, sizeof ds.mPixelTypes);
        ds.mPixelTypeCount = 3;
        ds.mPixelTypeCurrent = TWPT_BW;
        return a.one(TWTY_UINT16, TWPT_BW);
      }
      if (get && !ds.pixelTypeContainerOneValue) {
        return a.list(ds.mPixelTypes, ds.mPixelTypeCount, ds.mPixelTypeCurrent,
                      ds.mPixelTypeDefault);
      }
      return a.one(TWTY_UINT16, def ? ds.mPixelTypeDefault : ds.mPixelTypeCurrent);
    case ICAP_UNITS:
      if (def || reset) return a.one(TWTY_UINT16, TWUN_INCHES);
      return a.one(TWTY_UINT16, ds.mCurUnits);
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION:
      if (reset) {
        ds.mResMinValue = kResolutionMin;
        ds.mResMaxValue = kResolutionMax;
        ds.mResStepSize = kResolutionStep;
        ds.mResDefaultValue = ds.mResCurrentValue = kResolutionDefault;
      }
      if (get || reset) {
        return a.range(ds.mResMinValue, ds.mResMaxValue, ds.mResStepSize, ds.mResDefaultValue,
                       ds.mResCurrentValue);
      }
      return a.fix(current ? ds.mResCurrentValue : ds.mResDefaultValue);
    case ICAP_MINIMUMWIDTH:
      return a.real(ds.mMinWidth);
    case ICAP_MINIMUMHEIGHT:
      return a.real(ds.mMinHeight);
    case ICAP_PHYSICALWIDTH:
      return a.real(ds.mPhysicalWidth);
    case ICAP_PHYSICALHEIGHT:
      return a.real(ds.mPhysicalHeight);
    case ICAP_BITORDER:
      return a.one(TWTY_UINT16, TWBO_MSBFIRST);
    case ICAP_PIXELFLAVOR:
      return a.one(TWTY_UINT16, TWPF_CHOCOLATE);
    case ICAP_PLANARCHUNKY:
      return anyGet ? a.one(TWTY_UINT16, TWPC_CHUNKY) : kParamErr;
    case ICAP_BITDEPTH:
      if (get) {
        return a.list(ds.mBitDepth, ds.mBitDepthCount, ds.mBitDepthCurrent, ds.mBitDepthDefault);
      }
      return anyGet ? a.one(TWTY_UINT16, current ? ds.mBitDepthCurrent : ds.mBitDepthDefault)
                    : kParamErr;
    case ICAP_BRIGHTNESS:
    case ICAP_CONTRAST: {
      const bool brightness = c->Cap == ICAP_BRIGHTNESS;
      int32_t& cur = brightness ? ds.mBrightnessCurrent : ds.mContrastCurrent;
      const int32_t defValue = brightness ? ds.mBrightnessDefault : ds.mContrastDefault;
      if (reset) cur = 0;
      if (get || reset) {
        return brightness ? a.range(ds.mBrightnessMin, ds.mBrightnessMax, ds.mBrightnessStep,
                                    ds.mBrightnessDefault, ds.mBrightnessCurrent)
                          : a.range(ds.mContrastMin, ds.mContrastMax, ds.mContrastStep,
                                    ds.mContrastDefault, ds.mContrastCurrent);
      }
      return a.fix(current ? cur : defValue);
    }
    case ICAP_FRAMES:
      if (get) {
        const float bottom = ds.maxLongLength > ds.maxScanLength
                                 ? float(ds.maxLongLength / kUnitsPerInch)
                                 : ds.mPhysicalHeight;
        return a.frame(0, 0, ds.mPhysicalWidth, bottom);
      }
      return a.frame(ds.mFramesLeft, ds.mFramesTop, ds.mFramesRight, ds.mFramesBottom);
    case ICAP_SUPPORTEDSIZES:
      if (get) {
        const std::vector<int16_t> sizes = ds.supportedSizes();
        std::copy(sizes.begin(), sizes.end(), ds.mPaperSize);
        ds.mPaperSizeCount = static_cast<int16_t>(sizes.size());
        return a.list(ds.mPaperSize, ds.mPaperSizeCount, ds.mPaperSizeCurrent,
                      ds.mPaperSizeDefault);
      }
      if (reset) return a.one(TWTY_UINT16, kDefaultPaperSizeAnswer);
      return a.one(TWTY_UINT16, current ? ds.mPaperSizeCurrent : ds.mPaperSizeDefault);
    case ICAP_AUTOMATICBORDERDETECTION:
      if (def || reset) return a.one(TWTY_BOOL, TWAIN_TRUE);
      return a.one(TWTY_BOOL, ds.mAutomaticBorder);
    case CAP_KRMULTISTREAM:
      if (def || reset) return a.one(TWTY_UINT16, 1);
      return a.one(TWTY_UINT16, ds.mMultiStream);
    case ICAP_BARCODEDETECTIONENABLED:
      if (def || reset) return a.one(TWTY_BOOL, TWAIN_FALSE);
      return a.one(TWTY_BOOL, ds.mBarcode);
    case ICAP_PATCHCODEDETECTIONENABLED:
      if (def || reset) return a.one(TWTY_BOOL, TWAIN_FALSE);
      return a.one(TWTY_BOOL, ds.mPatchcode);
    case ICAP_IMAGEFILEFORMAT:
      if (get) return a.list(kFileFormats, 4, ds.mImageFileFormat, TWFF_TIFF);
      if (reset) ds.mImageFileFormat = TWFF_TIFF;
      return a.one(TWTY_UINT16, ds.mImageFileFormat);
    default:
      return kParamErr;
  }
}

static TW_UINT16 answerOrFail(TezFRLDS& ds, TW_CAPABILITY* c, TW_UINT16 msg) {
  logLine(capName(c->Cap), operationName(msg));
  c->hContainer = nullptr;
  const int result = answerCapability(ds, c, msg);
  if (result == kNoErr) return TWRC_SUCCESS;
  gConditionCode = result == kMemFullErr ? TWCC_LOWMEMORY : TWCC_BADCAP;
  return TWRC_FAILURE;
}

TW_UINT16 TezFRLDS::controlCapabilityGet(TW_CAPABILITY* c) {
  return answerOrFail(*this, c, MSG_GET);
}
TW_UINT16 TezFRLDS::controlCapabilityGetCurrent(TW_CAPABILITY* c) {
  return answerOrFail(*this, c, MSG_GETCURRENT);
}
TW_UINT16 TezFRLDS::controlCapabilityGetDefault(TW_CAPABILITY* c) {
  return answerOrFail(*this, c, MSG_GETDEFAULT);
}
TW_UINT16 TezFRLDS::controlCapabilityReset(TW_CAPABILITY* c) {
  switch (c->Cap) {
    // These have no reset.
    case CAP_SUPPORTEDCAPS:
    case CAP_UICONTROLLABLE:
    case CAP_DEVICEONLINE:
    case CAP_FEEDERLOADED:
    case CAP_FEEDERENABLED:
    case CAP_DUPLEX:
    case CAP_DUPLEXENABLED:
    case ICAP_PLANARCHUNKY:
    case ICAP_BITDEPTH:
      return fail(TWCC_BADCAP);
    default:
      return answerOrFail(*this, c, MSG_RESET);
  }
}

// ---- MSG_SET ----

TW_UINT16 TezFRLDS::controlCapabilitySet(TW_CAPABILITY* c) {
  logLine(capName(c->Cap), operationName(MSG_SET));
  ScanSetting& s = scanSetting;
  auto refuse = [&] { return fail(TWCC_BADVALUE); };
  int value = 0;
  switch (c->Cap) {
    case CAP_XFERCOUNT:
      if (appAcrobat) {
        logLine("CAP_XFERCOUNT", "Acrobat: the count stays");
        return TWRC_SUCCESS;
      }
      if (!readOne(c, kIntegerTypes, &value)) return refuse();
      // -1 (all pages) or the number of images the batch ends after.
      if (value == 0 || value < -1 || value > INT16_MAX) return refuse();
      logLine("CAP_XFERCOUNT", std::to_string(value));
      mXferCount = value;
      return TWRC_SUCCESS;

    case CAP_FEEDERENABLED:
    case CAP_DUPLEXENABLED:
    case CAP_INDICATORS:
    case ICAP_AUTOMATICBORDERDETECTION:
    case ICAP_BARCODEDETECTIONENABLED:
    case ICAP_PATCHCODEDETECTIONENABLED: {
      if (!readOne(c, kBoolTypes, &value)) return refuse();
      const uint16_t on = value != 0 ? 1 : 0;
      switch (c->Cap) {
        case CAP_FEEDERENABLED:
          mFeederEnabled = on;
          break;
        case CAP_DUPLEXENABLED:
          mDuplexEnabled = on;
          setXferImageType();
          break;
        case CAP_INDICATORS:
          mIndicators = on;
          s.bShowProgress = static_cast<uint8_t>(on);
          break;
        case ICAP_BARCODEDETECTIONENABLED:
          mBarcode = on;
          s.bBarcodeDetection = static_cast<uint8_t>(on);
          break;
        case ICAP_PATCHCODEDETECTIONENABLED:
          mPatchcode = on;
          s.bPatchCode = static_cast<uint8_t>(on);
          break;
        default:  // automatic border detection
          mAutomaticBorder = on;
          if (on) {
            s.bPaperSize = kPageAutomatic;
            s.wXPos = s.wYPos = 0;
            s.wWidth = clampToU16(maxScanWidth);
            s.wLength = clampToU16(maxScanLength);
            rememberFrame(0, 0, s.wWidth / kUnitsPerInch, s.wLength / kUnitsPerInch);
            mPaperSizeCurrent = TWSS_NONE;
          } else if (s.bPaperSize == kPageAutomatic) {
            s.bPaperSize = kPageCustom;
          }
          break;
      }
      return TWRC_SUCCESS;
    }

    case ICAP_XFERMECH: {
      if (c->ConType == TWON_ONEVALUE) {
        if (!readOne(c, kIntegerTypes, &value)) return refuse();
      } else if (c->ConType == TWON_ENUMERATION) {
        short type = 0, count = 0, current = 0, def = 0;
        if (TWAINHandler::getEnumeration(c, &type, &count, &current, &def, nullptr, 0) != kNoErr ||
            !oneOf(type, {TWTY_INT8, TWTY_UINT8, TWTY_INT16, TWTY_UINT16})) {
          return refuse();
        }
        const size_t itemSize = size_t(TWAINHandler::getItemSize(type));
        twain::LockedBlock block(c->hContainer);
        const auto* items = block.as<const uint8_t>() + TW_ENUMERATION_HEADER_SIZE;
        auto item = [&](short index) {
          int v = 0;
          if (itemSize == 1) {
            v = type == TWTY_INT8 ? int(int8_t(items[index])) : int(items[index]);
          } else {
            uint16_t raw;
            std::memcpy(&raw, items + size_t(index) * 2, 2);
            v = type == TWTY_INT16 ? int(int16_t(raw)) : int(raw);
          }
          return v;
        };
        // A current index beyond the three mechanisms falls back to the default index.
        const short index = current > TWSX_MEMORY ? def : current;
        if (index < 0 || index >= count) return refuse();
        value = item(index);
      } else {
        return refuse();
      }
      if (value < 0 || value > TWSX_MEMORY) return refuse();
      mTransferMode = static_cast<TW_INT16>(value);
      return TWRC_SUCCESS;
    }

    case ICAP_COMPRESSION:
    case ICAP_UNITS:
      if (!readOne(c, kIntegerTypes, &value) || value != 0) return refuse();
      if (c->Cap == ICAP_UNITS) mCurUnits = TWUN_INCHES;
      return TWRC_SUCCESS;

    case ICAP_PIXELFLAVOR:
      // Accepted and not kept: the data source delivers chocolate pixels only.
      if (!readOne(c, kIntegerTypes, &value)) return refuse();
      return TWRC_SUCCESS;

    case ICAP_IMAGEFILEFORMAT:
      if (!readOne(c, kIntegerTypes, &value) || FindIndex(value, kFileFormats, 4) < 0) {
        return refuse();
      }
      mImageFileFormat = static_cast<uint16_t>(value);
      return TWRC_SUCCESS;

    case ICAP_PIXELTYPE: {
      std::vector<int16_t> items;
      if (!readListOf(c, kPixelTypeMax, kPixelTypes, 3, &items, &value)) return refuse();
      storeList(items, mPixelTypes, &mPixelTypeCount);
      mPixelTypeCurrent = static_cast<int16_t>(value);
      mBitDepthCurrent = kBitDepths[value];
      setXferImageType();
      pixelTypeJustSet = true;
      return TWRC_SUCCESS;
    }

    case ICAP_BITDEPTH: {
      std::vector<int16_t> items;
      if (!readListOf(c, kBitDepthMax, kBitDepths, 3, &items, &value)) return refuse();
      if (pixelTypeJustSet) {
        // The depth already follows the pixel type set just before.
        logLine("ICAP_BITDEPTH", "follows the pixel type: " + std::to_string(value));
        return TWRC_SUCCESS;
      }
      storeList(items, mBitDepth, &mBitDepthCount);
      mBitDepthCurrent = static_cast<int16_t>(value);
      mPixelTypeCurrent = kPixelTypes[FindIndex(value, kBitDepths, 3)];
      setXferImageType();
      return TWRC_SUCCESS;
    }

    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: {
      WholeRange r{mResMinValue, mResMaxValue, mResStepSize, mResDefaultValue, 0};
      if (!readWholeFix32(c, &r)) return refuse();
      // Only what the scanner offers (its RANGE); a host's own range does not widen it.
      if (r.current < kResolutionMin || r.current > kResolutionMax) return refuse();
      mResMinValue = r.min, mResMaxValue = r.max, mResStepSize = r.step, mResDefaultValue = r.def;
      mResCurrentValue = r.current;
      s.wBWRes = s.wGrayRes = s.wColorRes = static_cast<uint16_t>(r.current);
      return TWRC_SUCCESS;
    }

    case ICAP_BRIGHTNESS:
    case ICAP_CONTRAST: {
      const bool brightness = c->Cap == ICAP_BRIGHTNESS;
      WholeRange r;
      if (!readWholeFix32(c, &r)) return refuse();
      value = r.current;
      const bool range = r.range;
      const int min = r.min, max = r.max, step = r.step, def = r.def;
      if (value < kToneMin || value > kToneMax) return refuse();
      if (brightness) {
        if (range) {
          mBrightnessMin = min, mBrightnessMax = max, mBrightnessStep = step;
          mBrightnessDefault = def;
        }
        mBrightnessCurrent = value;
      } else {
        if (range) {
          mContrastMin = min, mContrastMax = max, mContrastStep = step, mContrastDefault = def;
        }
        mContrastCurrent = value;
      }
      const int32_t tenth = value / kToneToSetting;
      switch (mPixelTypeCurrent) {
        case TWPT_BW:
          if (!brightness) break;  // black-and-white has no contrast
          s.iFBBrightness = s.iRBBrightness = tenth;
          if (s.bFBinaryProcess == 0) s.bFBinaryProcess = 1;
          s.bRBinaryProcess = s.bFBinaryProcess;
          break;
        case TWPT_GRAY:
          if (brightness) {
            s.iFGBrightness = s.iRGBrightness = tenth;
          } else {
            s.iFGContrast = s.iRGContrast = tenth;
          }
          s.bFGrayQuality = s.bRGrayQuality = 2;
          break;
        default:
          if (brightness) {
            s.iFCBrightness = s.iRCBrightness = tenth;
          } else {
            s.iFCContrast = s.iRCContrast = tenth;
          }
          break;
      }
      return TWRC_SUCCESS;
    }

    case ICAP_FRAMES: {
      TW_FRAME frame{};
      if (!readFrame(c, &frame)) return refuse();
      const double left = fix32ToInches(frame.Left), top = fix32ToInches(frame.Top),
                   right = fix32ToInches(frame.Right), bottom = fix32ToInches(frame.Bottom);
      char text[96];
      std::snprintf(text, sizeof text, "{%5.2f, %5.2f, %5.2f, %5.2f}", left, top, right, bottom);
      logLine("ICAP_FRAMES", text);
      if (!frameFits(*this, left, top, right, bottom)) return refuse();
      setScanFrame(left, top, right, bottom);
      return TWRC_SUCCESS;
    }

    case ICAP_SUPPORTEDSIZES: {
      std::vector<int16_t> items;
      if (!readList(c, kPaperSizeMax, &items, &value)) return refuse();
      const std::vector<int16_t> offered = supportedSizes();
      auto offeredCode = [&](int code) {
        return FindIndex(code, offered.data(), int(offered.size())) >= 0;
      };
      for (int16_t item : items) {
        if (!offeredCode(item)) return refuse();
      }
      if (!offeredCode(value)) return refuse();
      if (!items.empty()) {
        std::copy(items.begin(), items.end(), mPaperSize);
        mPaperSizeCount = static_cast<int16_t>(items.size());
      }
      s.bPaperSize = kPageCustom;
      if (value == TWSS_MAXSIZE) {
        s.bPaperSize = gPhysicalLongPaper ? kPageLong : kPageMaximum;
        s.wXPos = s.wYPos = 0;
        s.wWidth = clampToU16(maxScanWidth);
        s.wLength = clampToU16(maxScanLength);
        if (gPhysicalLongPaper) s.dwLongWidth = s.wWidth;
      } else {
        s.wXPos = s.wYPos = 0;
        for (const PaperTblRow& row : kStandardPaperTbl.rows) {
          if (sizeRow(row.pageId) && matchSupportedSize(row.pageId) == value) {
            s.bPaperSize = static_cast<uint8_t>(row.pageId);
            s.wWidth = static_cast<uint16_t>(row.width);
            s.wLength = static_cast<uint16_t>(row.length);
            break;
          }
        }
      }
      // The frame a host reads back is the page's, before the feeder centres it.
      rememberFrame(0, 0, s.wWidth / kUnitsPerInch, s.wLength / kUnitsPerInch);
      mPaperSizeCurrent = static_cast<int16_t>(value);
      mAutomaticBorder = false;
      centreScanArea(*this, false);
      return TWRC_SUCCESS;
    }

    case CAP_KRMULTISTREAM:
      if (!readOne(c, kIntegerTypes, &value)) return refuse();
      // A set of the image-type bits; none, or a bit the scanner does not know, scans nothing.
      if (value <= 0 || value > kMaxImageTypeBits) return refuse();
      mMultiStream = static_cast<uint16_t>(value);
      s.wImageType = static_cast<uint16_t>(value);
      return TWRC_SUCCESS;

    case CAP_SUPPORTEDCAPS:
    case CAP_UICONTROLLABLE:
    case CAP_DEVICEONLINE:
    case CAP_FEEDERLOADED:
    case CAP_DUPLEX:
    case ICAP_MINIMUMWIDTH:
    case ICAP_MINIMUMHEIGHT:
    case ICAP_PHYSICALWIDTH:
    case ICAP_PHYSICALHEIGHT:
    case ICAP_BITORDER:
    case ICAP_PLANARCHUNKY:
    default:
      return fail(TWCC_BADCAP);
  }
}

// ---- helpers of the object ----

std::vector<int16_t> TezFRLDS::supportedSizes() const {
  std::vector<int16_t> sizes{static_cast<int16_t>(TWSS_NONE)};
  for (const PaperTblRow& row : kStandardPaperTbl.rows) {
    if (!sizeRow(row.pageId) || row.pageId == 3 || row.pageId == 4) continue;
    if (row.width > maxScanWidth || row.length > maxScanLength) continue;
    const int code = matchSupportedSize(row.pageId);
    if (code >= 0) sizes.push_back(static_cast<int16_t>(code));
  }
  sizes.push_back(static_cast<int16_t>(TWSS_MAXSIZE));
  return sizes;
}

void TezFRLDS::setXferImageType() {
  const int type = std::clamp<int>(mPixelTypeCurrent, TWPT_BW, TWPT_RGB);
  scanSetting.wImageType = mDuplexEnabled ? kDuplexImageType[type] : kSimplexImageType[type];
  logLine("setXferImageType", std::to_string(scanSetting.wImageType));
}

void TezFRLDS::initCaps() {
  const ScanSetting& s = scanSetting;
  // 1. The image type.
  mMultiStream = s.wImageType;
  if (s.wImageType & (kImageColorFront | kImageColorRear)) {
    mResCurrentValue = s.wColorRes;
    mPixelTypeCurrent = TWPT_RGB;
    mBitDepthCurrent = kBitDepthColor;
  } else if (s.wImageType & (kImageGrayFront | kImageGrayRear)) {
    mResCurrentValue = s.wGrayRes;
    mPixelTypeCurrent = TWPT_GRAY;
    mBitDepthCurrent = kBitDepthGray;
  } else {
    mResCurrentValue = s.wBWRes;
    mPixelTypeCurrent = TWPT_BW;
    mBitDepthCurrent = kBitDepthBW;
  }
  // 2. Feeder and duplex.
  mDeviceOnLine = 1;
  const uint32_t type = deviceType();
  // Each from this scanner alone: an earlier open of another scanner leaves nothing behind.
  mFeederEnabled = (type & kDeviceFeederBits) != 0;
  mDuplex = mFeederEnabled && (type & kDeviceDuplex) != 0;
  mDuplexEnabled =
      mDuplex && (s.wImageType & kFrontTypeBits) != 0 && (s.wImageType & kRearTypeBits) != 0;
  // 3. Units, layout and frames from the settings' area.
  mCurUnits = TWUN_INCHES;
  const double left = s.wXPos / kUnitsPerInch, top = s.wYPos / kUnitsPerInch,
               right = (s.wXPos + s.wWidth) / kUnitsPerInch,
               bottom = (s.wYPos + s.wLength) / kUnitsPerInch;
  rememberFrame(left, top, right, bottom);
  mImageLayout.DocumentNumber = mImageLayout.PageNumber = mImageLayout.FrameNumber = 1;
  // The standard size the record names; an automatic, user or long area is none.
  const int standard = s.bPaperSize == kPageMaximum ? int(TWSS_MAXSIZE)
                       : sizeRow(s.bPaperSize)      ? matchSupportedSize(s.bPaperSize)
                                                    : -1;
  mPaperSizeCurrent = static_cast<int16_t>(standard >= 0 ? standard : TWSS_NONE);
  // 4. The physical size.
  mPhysicalWidth = maxScanWidth != 0 ? float(maxScanWidth / kUnitsPerInch) : kDefaultPhysicalWidth;
  mPhysicalHeight =
      maxScanLength != 0 ? float(maxScanLength / kUnitsPerInch) : kDefaultPhysicalHeight;
  if (maxLongLength > maxScanLength) {
    if (gPhysicalLongPaper) mPhysicalHeight = float(maxLongLength / kUnitsPerInch);
  } else {
    gPhysicalLongPaper = false;
  }
  // 5. The rest.
  mMinHeight = kMinHeightInches;
  mMinWidth = kMinWidthInches;
  mAutomaticBorder = s.bPaperSize == kPageAutomatic;
  mBarcode = s.bBarcodeDetection != 0;
  mPatchcode = s.bPatchCode != 0;
  mIndicators = s.bShowProgress != 0;
}

}  // namespace ferrolite
