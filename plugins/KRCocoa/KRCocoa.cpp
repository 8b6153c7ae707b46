// The plug-in KRCocoa: the imprinter text drawn into a page (the button notice is in
// ButtonEvent.cpp), and the JPEG-to-raw decoder entry that the driver's image library binds
// when it starts (the driver decodes every stream itself, so the entry decodes nothing).
#include "plugins/KRCocoa/KRCocoa.h"

#include <new>

#include "plugins/KRCocoa/Watermark.h"

#define KRCOCOA_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
constexpr uint32_t kVersion = 0x00010000;  // 1.0.0
}

KRCOCOA_EXPORT uint32_t LibraryCurrentVersion() { return kVersion; }

KRCOCOA_EXPORT long addWaterMark(uint8_t* image, const uint16_t* text, const uint8_t* record) {
  if (!image || !text || !record) return -1;
  krcocoa::Style style;
  if (!krcocoa::readStyle(record, &style)) return -1;
  try {
    return krcocoa::drawText(image, text, style) ? 0 : -1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

#ifndef KRCOCOA_WITHOUT_JPG2RAW
KRCOCOA_EXPORT long jpg2raw(const void* /*jpeg*/, uint64_t /*size*/, void** raw,
                            uint64_t* rawSize) {
  if (raw != nullptr) *raw = nullptr;
  if (rawSize != nullptr) *rawSize = 0;
  return -1;
}
#endif
