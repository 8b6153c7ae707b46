#include "ica/LM_Handler.h"

#include <dlfcn.h>

#include <cstddef>
#include <cstring>

#include "platform/foundation/SystemLog.h"
#include "vantrel/device_records.h"

using foundation::Data;
using foundation::Dictionary;
using foundation::LogLevel;
using foundation::systemLogf;

namespace icamodule {
namespace {

constexpr int kScanMethodDuplex = 4;
constexpr int kScanMethodSimplex = 1;
constexpr uint8_t kScanTypeDuplex = 2;
constexpr uint8_t kScanTypeFront = 1;
constexpr int kBitsColor = 24;
constexpr int kLightBackgroundAbove = 128;
constexpr uint8_t kBackgroundLight = 0x00;
constexpr uint8_t kBackgroundDark = 0xFF;
constexpr uint8_t kOutputBackground = 0xFF;

template <class T>
T fieldAt(const Data& record, std::size_t offset) {
  T value;
  std::memcpy(&value, record.data() + offset, sizeof value);
  return value;
}

template <class Fn>
Fn bindEntry(void* library, const char* name) {
  return reinterpret_cast<Fn>(dlsym(library, name));
}

}  // namespace

LM_Handler::~LM_Handler() { closeLib(); }

bool LM_Handler::openLib(const std::string& path) {
  closeLib();
  _lumetraLib = dlopen(path.c_str(), RTLD_NOW);
  if (!_lumetraLib) {
    const char* reason = dlerror();
    systemLogf(LogLevel::error, "Failed to load Lumetra: %s\n", reason ? reason : path.c_str());
    return false;
  }
  // The entries the module never calls (the detections, orientation and colour keeping) are not
  // bound.
  LM_InitializeLib = bindEntry<LumetraInitializeLibFn>(_lumetraLib, "InitializeLib");
  LM_DeskewCrop = bindEntry<LumetraProcessFn>(_lumetraLib, "DeskewCrop");
  LM_IdentifyProductSetting =
      bindEntry<LumetraIdentifyProductSettingFn>(_lumetraLib, "IdentifyProductSetting");
  LM_FreeMemory = bindEntry<LumetraFreeMemoryFn>(_lumetraLib, "FreeMemory");
  LM_TerminateLib = bindEntry<LumetraTerminateLibFn>(_lumetraLib, "TerminateLib");
  return true;
}

bool LM_Handler::initLibWithUSBid(const std::string& usbID) {
  if (LM_InitializeLib && LM_InitializeLib() < 0) return false;
  std::memset(_usbID, 0, sizeof _usbID);
  std::strncpy(_usbID, usbID.c_str(), sizeof _usbID - 1);
  long status = 0;
  if (LM_IdentifyProductSetting) LM_IdentifyProductSetting(_usbID, 0, &status);
  return true;
}

Dictionary LM_Handler::autoCrop(Dictionary request, const uint8_t* rawImage) {
  Dictionary reply = std::move(request);
  reply.set(kCropResult, false);
  const Data ability = reply.data(kCropAbility).valueOr(Data{});
  const int64_t resolution = reply.integer(kCropResolution).valueOr(0);
  const int64_t width = reply.integer(kCropWidth).valueOr(0);
  const int64_t height = reply.integer(kCropHeight).valueOr(0);
  const int64_t scanMethod = reply.integer(kCropScanMethod).valueOr(0);
  const int64_t pageCounter = reply.integer(kCropPageCounter).valueOr(0);
  const int64_t bitsPerPixel = reply.integer(kCropBitsPerPixel).valueOr(0);
  if (!LM_DeskewCrop || !rawImage || ability.size() < sizeof(DeviceAbility) || width <= 0 ||
      height <= 0 || width > UINT32_MAX / 3 || height > UINT32_MAX)
    return reply;

  const int mean = (fieldAt<uint8_t>(ability, offsetof(DeviceAbility, FrontADFBackground_R)) +
                    fieldAt<uint8_t>(ability, offsetof(DeviceAbility, FrontADFBackground_G)) +
                    fieldAt<uint8_t>(ability, offsetof(DeviceAbility, FrontADFBackground_B))) /
                   3;
  const bool color = bitsPerPixel == kBitsColor;
  const int bytesPerPixel = color ? 3 : 1;

  NIDATA ni;
  std::memset(&ni, 0, sizeof ni);
  ni.Size = sizeof ni;
  std::memcpy(ni.Model, _usbID, sizeof _usbID);
  ni.InImage.Pixel = uint32_t(width);
  ni.InImage.Line = uint32_t(height);
  ni.InImage.BitsPerPixel = color ? 24 : 8;
  ni.InImage.BytesPerLine = uint32_t(width * bytesPerPixel);
  ni.InImage.ScanMode = color ? 4 : 2;
  ni.InImage.SamplePerPixel = color ? 3 : 1;
  ni.InImage.XRes = ni.InImage.YRes = uint16_t(resolution);
  ni.InImage.ScanType = scanMethod == kScanMethodDuplex    ? kScanTypeDuplex
                        : scanMethod == kScanMethodSimplex ? kScanTypeFront
                                                           : 0;
  ni.InImage.BackgroundColor = mean > kLightBackgroundAbove ? kBackgroundLight : kBackgroundDark;
  ni.OutImage.AutoCrop = 1;
  ni.OutImage.Rotate = 1;
  if (ni.InImage.ScanType != 0) {
    // The feeder's width is in the device's base unit.
    const uint16_t baseRes = fieldAt<uint16_t>(ability, offsetof(DeviceAbility, BaseRes));
    const uint32_t maxWidth = fieldAt<uint32_t>(ability, offsetof(DeviceAbility, ADFMaxWidth));
    if (baseRes != 0)
      ni.InImage.ScanTypeMaxWidth = uint16_t(uint64_t(maxWidth) * uint64_t(resolution) / baseRes);
    ni.InImage.CurPages = uint16_t(pageCounter + 1);
  }
  ni.OutImage.OutMode = ni.InImage.ScanMode;
  ni.OutImage.Gray.BackgroundColor = kOutputBackground;
  ni.OutImage.Color.BackgroundColorR = kOutputBackground;
  ni.OutImage.Color.BackgroundColorG = kOutputBackground;
  ni.OutImage.Color.BackgroundColorB = kOutputBackground;

  long status = 0;
  void* output = nullptr;
  const long result = LM_DeskewCrop(const_cast<uint8_t*>(rawImage), &output, &ni, nullptr, &status);
  if (result == 0 && output) {
    const std::size_t size =
        std::size_t(ni.OutImage.ImageWidth) * bytesPerPixel * ni.OutImage.ImageHeight;
    const auto* bytes = static_cast<const uint8_t*>(output);
    reply.set(kCropResult, true);
    reply.set(kCropImageData, Data(bytes, bytes + size));
    reply.set(kCropImageSize, int64_t(size));
    reply.set(kCropImageWidth, int64_t(ni.OutImage.ImageWidth));
    reply.set(kCropImageHeight, int64_t(ni.OutImage.ImageHeight));
  }
  if (output && LM_FreeMemory) LM_FreeMemory(output);
  return reply;
}

void LM_Handler::terminateLib() {
  if (LM_TerminateLib) LM_TerminateLib();
}

void LM_Handler::closeLib() {
  if (_lumetraLib) dlclose(_lumetraLib);
  _lumetraLib = nullptr;
  LM_InitializeLib = nullptr;
  LM_DeskewCrop = nullptr;
  LM_IdentifyProductSetting = nullptr;
  LM_FreeMemory = nullptr;
  LM_TerminateLib = nullptr;
}

}  // namespace icamodule
