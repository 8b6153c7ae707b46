// The exports the module binds that the built driver does not have yet; every other export comes
// from the real driver, which this library needs. Each answers "no device".
#include <cstdint>

#include "driver_gaps.h"

namespace {
constexpr long kNoDevice = -2019;
}

#define GAP extern "C" __attribute__((visibility("default"))) long

#ifdef VT_DRIVER_LACKS_KRStartJob
GAP KRStartJob(uint32_t, uint32_t*) { return kNoDevice; }
#endif
#ifdef VT_DRIVER_LACKS_KRStopJob
GAP KRStopJob(uint32_t, uint32_t*) { return kNoDevice; }
#endif
#ifdef VT_DRIVER_LACKS_KRSensorStatus
GAP KRSensorStatus(uint32_t, uint32_t*, long*, uint8_t*, int) { return kNoDevice; }
#endif
#ifdef VT_DRIVER_LACKS_KRSetParameter
GAP KRSetParameter(uint32_t, uint32_t*, void*) { return kNoDevice; }
#endif
#ifdef VT_DRIVER_LACKS_KRSetHWProcess
GAP KRSetHWProcess(uint32_t, uint32_t*, void*, int) { return kNoDevice; }
#endif
#ifdef VT_DRIVER_LACKS_KRSetGamma
GAP KRSetGamma(uint32_t, uint32_t*, uint8_t*, uint32_t, uint32_t, uint32_t, uint32_t) {
  return kNoDevice;
}
#endif
#ifdef VT_DRIVER_LACKS_KRStartScan
GAP KRStartScan(uint32_t, uint32_t*, void*, long) { return kNoDevice; }
#endif
#ifdef VT_DRIVER_LACKS_KRStopScan
GAP KRStopScan(uint32_t, uint32_t*, long) { return kNoDevice; }
#endif
#ifdef VT_DRIVER_LACKS_KRRequestImageInfo
GAP KRRequestImageInfo(uint32_t, uint32_t*, void**) { return kNoDevice; }
#endif
