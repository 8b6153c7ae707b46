#pragma once
// The 17 driver exports the device object binds by name, with the types the driver exports them
// with. The binding is all or nothing: a library that lacks any of them is refused, so no entry
// is ever called while null.
#include <cstdint>
#include <string>
#include <type_traits>

#include "vantrel/device_records.h"
#include "vantrel/general_records.h"
#include "vantrel/scan_parameters.h"

namespace icamodule {

// The driver's data callback, as KRStartScan takes it (the status list is the driver's 88-byte
// STATUSLIST).
using ScanDataCallback = long (*)(uint32_t ctrlId, uint32_t* phDevice, uint8_t* data,
                                  uint32_t receivedSize, long receivedLines, long receivedPixels,
                                  void* statusList);

#define ICA_DRIVER_EXPORTS(X)                                                                    \
  X(KRInitializeDriver, long (*)(uint32_t))                                                      \
  X(KRTerminateDriver, long (*)(uint32_t))                                                       \
  X(KRInitializeDevice, long (*)(uint32_t, char*, uint32_t*))                                    \
  X(KRGetDeviceAbility, long (*)(uint32_t, uint32_t*, DeviceAbility**))                          \
  X(KRTerminateDevice, long (*)(uint32_t, uint32_t*))                                            \
  X(KRStartJob, long (*)(uint32_t, uint32_t*))                                                   \
  X(KRStopJob, long (*)(uint32_t, uint32_t*))                                                    \
  X(KRSensorStatus, long (*)(uint32_t, uint32_t*, long*, uint8_t*, int))                         \
  X(KRSetParameter, long (*)(uint32_t, uint32_t*, SCANPARAMETER_UNION*))                         \
  X(KRSetHWProcess, long (*)(uint32_t, uint32_t*, HWIMAGEPROCPARAMETER_UNION*, int))             \
  X(KRSetGamma, long (*)(uint32_t, uint32_t*, uint8_t*, uint32_t, uint32_t, uint32_t, uint32_t)) \
  X(KRStartScan, long (*)(uint32_t, uint32_t*, ScanDataCallback, long))                          \
  X(KRStopScan, long (*)(uint32_t, uint32_t*, long))                                             \
  X(KRRequestImageInfo, long (*)(uint32_t, uint32_t*, void**))                                   \
  X(KRGeneralOperation,                                                                          \
    long (*)(uint32_t, uint32_t*, int, uint32_t, DDS_DATA_TYPE, uint32_t, void*))                \
  X(KRReadPushButton, long (*)(uint32_t, uint32_t*, void**))                                     \
  X(KRMemFree, long (*)(uint32_t, void*))

struct DriverEntries {
#define ICA_DRIVER_ENTRY(name, type) std::type_identity_t<type> _##name = nullptr;
  ICA_DRIVER_EXPORTS(ICA_DRIVER_ENTRY)
#undef ICA_DRIVER_ENTRY

  // Looks every export up in the loaded library; on the first missing one every entry stays
  // null and its name is given in `missing`.
  bool bind(void* library, std::string* missing);
  void clear() { *this = DriverEntries{}; }
  bool bound() const { return _KRInitializeDriver != nullptr; }
};

// The controller id the module passes first to every driver call.
inline constexpr uint32_t kModuleControllerId = 0x2200;

}  // namespace icamodule
