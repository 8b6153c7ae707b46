// A driver library that lacks KRMemFree: the module must refuse it. Any entry that were called
// anyway would report itself in the log file named by ICA_TEST_CALLED_LOG.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
long called(const char* name) {
  if (const char* path = std::getenv("ICA_TEST_CALLED_LOG")) {
    if (std::FILE* f = std::fopen(path, "a")) {
      std::fprintf(f, "%s\n", name);
      std::fclose(f);
    }
  }
  return 0;
}
}  // namespace

#define ENTRY(name) \
  extern "C" __attribute__((visibility("default"))) long name() { return called(#name); }
ENTRY(KRInitializeDriver)
ENTRY(KRTerminateDriver)
ENTRY(KRInitializeDevice)
ENTRY(KRGetDeviceAbility)
ENTRY(KRTerminateDevice)
ENTRY(KRStartJob)
ENTRY(KRStopJob)
ENTRY(KRSensorStatus)
ENTRY(KRSetParameter)
ENTRY(KRSetHWProcess)
ENTRY(KRSetGamma)
ENTRY(KRStartScan)
ENTRY(KRStopScan)
ENTRY(KRRequestImageInfo)
ENTRY(KRGeneralOperation)
ENTRY(KRReadPushButton)
