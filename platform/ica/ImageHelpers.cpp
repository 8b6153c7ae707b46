// The image and colour-space helpers, document types and the framework library's place.
#include <cstdlib>
#include <map>

#include "platform/foundation/Resources.h"
#include "platform/ica/ICADevices.h"

namespace {
constexpr const char* kFrameworkOverride = "FERROLITE_ICA_FRAMEWORK";
constexpr const char* kFrameworkLibrary = "../lib/libICADevices.so";
}  // namespace

ICAError ICDAddImageInfoToNotificationDictionary(foundation::Dictionary* dict, uint32_t width,
                                                 uint32_t height, uint32_t bytesPerRow,
                                                 uint32_t dataStartRow, uint32_t dataNumberOfRows,
                                                 uint32_t dataSize, const void* dataBuffer) {
  if (!dict) return kICABadParameterErr;
  dict->set(kICAImageWidthKey, width);
  dict->set(kICAImageHeightKey, height);
  dict->set(kICAImageBytesPerRowKey, bytesPerRow);
  dict->set(kICAImageDataStartRowKey, dataStartRow);
  dict->set(kICAImageDataNumberOfRowsKey, dataNumberOfRows);
  dict->set(kICAImageDataSizeKey, dataSize);
  if (dataBuffer) {
    const auto* bytes = static_cast<const uint8_t*>(dataBuffer);
    dict->set(kICAImageDataKey, foundation::Data(bytes, bytes + dataSize));
  } else {
    dict->remove(kICAImageDataKey);
  }
  return kICANoErr;
}

std::string PreferredExtensionForType(const std::string& uti) {
  static const std::map<std::string, std::string> kExtensions = {
      {"public.tiff", "tiff"},      {"public.jpeg", "jpeg"},       {"public.png", "png"},
      {"com.microsoft.bmp", "bmp"}, {"com.compuserve.gif", "gif"}, {"public.jpeg-2000", "jp2"},
  };
  auto it = kExtensions.find(uti);
  return it == kExtensions.end() ? std::string() : it->second;
}

std::string ICAFrameworkLibraryPath() {
  const char* forced = std::getenv(kFrameworkOverride);
  if (forced && *forced) return forced;
  auto folder =
      foundation::folderOfLoadedObject(reinterpret_cast<const void*>(&ICAFrameworkLibraryPath));
  return ((folder ? *folder : std::filesystem::path(".")) / kFrameworkLibrary).lexically_normal();
}

ICAColorSpaceRef ICDCreateColorSpace(uint32_t bitsPerPixel, uint32_t samplesPerPixel,
                                     uint32_t /*icaObject*/, const std::string& colorSyncMode,
                                     const foundation::Data* /*abstractProfile*/,
                                     const std::string& profilePath) {
  ICAColorSpaceModel model;
  if (samplesPerPixel == 1) {
    model = ICAColorSpaceModel::monochrome;
  } else if (samplesPerPixel == 3) {
    model = ICAColorSpaceModel::rgb;
  } else {
    return nullptr;
  }
  return std::make_shared<const ICAColorSpace>(
      ICAColorSpace{model, bitsPerPixel, samplesPerPixel, colorSyncMode, profilePath});
}
