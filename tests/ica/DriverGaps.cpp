// The exports the module binds that the built driver does not have yet; every other export comes
// from the real driver, which this library needs. Each answers "no device". The public header's
// declarations keep their types the driver's.
#include "driver_gaps.h"
#include "vantrel/kr_api.h"
#include "vantrel/status_codes.h"

#ifdef VT_DRIVER_LACKS_KRStartJob
long KRStartJob(uint32_t, uint32_t*) { return krstatus::kNotFound; }
#endif
#ifdef VT_DRIVER_LACKS_KRStopJob
long KRStopJob(uint32_t, uint32_t*) { return krstatus::kNotFound; }
#endif
#ifdef VT_DRIVER_LACKS_KRSensorStatus
long KRSensorStatus(uint32_t, uint32_t*, long*, uint8_t*, int) { return krstatus::kNotFound; }
#endif
#ifdef VT_DRIVER_LACKS_KRSetParameter
long KRSetParameter(uint32_t, uint32_t*, SCANPARAMETER_UNION*) { return krstatus::kNotFound; }
#endif
#ifdef VT_DRIVER_LACKS_KRSetHWProcess
long KRSetHWProcess(uint32_t, uint32_t*, HWIMAGEPROCPARAMETER_UNION*, int) {
  return krstatus::kNotFound;
}
#endif
#ifdef VT_DRIVER_LACKS_KRSetGamma
long KRSetGamma(uint32_t, uint32_t*, uint8_t*, uint32_t, uint32_t, uint32_t, uint32_t) {
  return krstatus::kNotFound;
}
#endif
#ifdef VT_DRIVER_LACKS_KRStartScan
long KRStartScan(uint32_t, uint32_t*, AP_CALLBACK, long) { return krstatus::kNotFound; }
#endif
#ifdef VT_DRIVER_LACKS_KRStopScan
long KRStopScan(uint32_t, uint32_t*, long) { return krstatus::kNotFound; }
#endif
#ifdef VT_DRIVER_LACKS_KRRequestImageInfo
long KRRequestImageInfo(uint32_t, uint32_t*, void**) { return krstatus::kNotFound; }
#endif
