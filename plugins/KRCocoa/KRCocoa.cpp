// Stand-in of the outside library KRCocoa: the JPEG-to-raw decoder entry that the driver's
// image library binds when it starts. The driver decodes every stream itself, so the entry
// only reports that it decodes nothing.
#include <cstdint>

#ifndef KRCOCOA_WITHOUT_JPG2RAW
extern "C" __attribute__((visibility("default"))) long jpg2raw(const void* /*jpeg*/,
                                                               uint64_t /*size*/, void** raw,
                                                               uint64_t* rawSize) {
  if (raw != nullptr) *raw = nullptr;
  if (rawSize != nullptr) *rawSize = 0;
  return -1;
}
#endif
