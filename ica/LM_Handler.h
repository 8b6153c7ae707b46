#pragma once
// The image-processing plug-in as the page consumer uses it: loads it, binds its entries,
// starts it for the scanner and crops and straightens a page, dictionary in and dictionary out,
// so that the consumer never fills the plug-in's record itself.
#include <cstdint>
#include <string>

#include "platform/foundation/PropertyList.h"
#include "plugins/Lumetra/Lumetra.h"

namespace icamodule {

// Keys of the crop request and reply.
inline constexpr const char* kCropAbility = "scanner.ability";
inline constexpr const char* kCropResolution = "resolution";
inline constexpr const char* kCropWidth = "raw.image.width";
inline constexpr const char* kCropHeight = "raw.image.height";
inline constexpr const char* kCropScanMethod = "scan.method";
inline constexpr const char* kCropPageCounter = "image.sn";
inline constexpr const char* kCropBitsPerPixel = "bits.per.pixel";
inline constexpr const char* kCropResult = "lm.ret";
inline constexpr const char* kCropImageData = "lm.image.data";
inline constexpr const char* kCropImageSize = "lm.image.size";
inline constexpr const char* kCropImageWidth = "lm.image.width";
inline constexpr const char* kCropImageHeight = "lm.image.height";

class LM_Handler {
 public:
  LM_Handler() = default;
  ~LM_Handler();
  LM_Handler(const LM_Handler&) = delete;
  LM_Handler& operator=(const LM_Handler&) = delete;

  // Loads the library and binds its entries (a missing one stays null). False, with "Failed to
  // load Lumetra: <reason>" in the log, when it does not load.
  bool openLib(const std::string& path);
  // Starts the plug-in for the scanner's USB id text ("%04X%04X").
  bool initLibWithUSBid(const std::string& usbID);
  // The automatic crop and deskew of one page: the request with "lm.ret" and, when a cropped
  // image came back, its pixels and size.
  foundation::Dictionary autoCrop(foundation::Dictionary request, const uint8_t* rawImage);
  void terminateLib();
  void closeLib();
  bool bound() const { return _lumetraLib != nullptr; }

 private:
  void* _lumetraLib = nullptr;
  LumetraInitializeLibFn LM_InitializeLib = nullptr;
  LumetraProcessFn LM_DeskewCrop = nullptr;
  LumetraIdentifyProductSettingFn LM_IdentifyProductSetting = nullptr;
  LumetraFreeMemoryFn LM_FreeMemory = nullptr;
  LumetraTerminateLibFn LM_TerminateLib = nullptr;
  char _usbID[16] = {};
};

}  // namespace icamodule
