// The framework library's band helper, which a module looks up by name at each page.
#include <type_traits>

#include "platform/ica/ICADevices.h"

extern "C" __attribute__((visibility("default"))) ICAError ICDAddBandInfoToNotificationDictionary(
    foundation::Dictionary* dict, uint32_t width, uint32_t height, uint32_t bitsPerPixel,
    uint32_t bitsPerComponent, uint32_t numComponents, uint32_t endianness, uint32_t pixelDataType,
    uint32_t bytesPerRow, uint32_t dataStartRow, uint32_t dataNumberOfRows, uint32_t dataSize,
    const void* dataBuffer) {
  if (!dict) return kICABadParameterErr;
  dict->set(kICABandBitsPerPixelKey, bitsPerPixel);
  dict->set(kICABandBitsPerComponentKey, bitsPerComponent);
  dict->set(kICABandNumComponentsKey, numComponents);
  dict->set(kICABandEndiannessKey, endianness);
  dict->set(kICABandPixelDataTypeKey, pixelDataType);
  return ICDAddImageInfoToNotificationDictionary(dict, width, height, bytesPerRow, dataStartRow,
                                                 dataNumberOfRows, dataSize, dataBuffer);
}

// The type must stay the one modules cast the symbol to.
static_assert(std::is_same_v<decltype(&ICDAddBandInfoToNotificationDictionary),
                             ICDAddBandInfoToNotificationDictionaryProc>);
