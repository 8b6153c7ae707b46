// The lamp-status read and the calibration start with its result byte: device operations the
// scan engine's calibration sits beside.
#include "drv/device/DeviceExports.h"
#include "drv/device/IoObject.h"
#include "drv/device/PreparationData.h"
#include "drv/platform/DbgLog.h"

namespace {
constexpr uint8_t kCalibrationStartBlock[8] = {0, 0, 1, 8, 0, 0, 0, 0};
constexpr uint32_t kCalibrationResultLength = 8;
}  // namespace

bool Internal_GetLightStatus(IoObject* io, uint8_t* data, int32_t* error) {
  DbgPrintf(1, "=> Internal_GetLightStatus");
  bool ok = false;
  if (data == nullptr) {
    if (error != nullptr) *error = krstatus::kParameterError;
  } else {
    ok = io->IoLockStart() && io->Read(data, 1, krdata::kLamp);
    io->IoLockEnd();
    if (!ok && error != nullptr) *error = static_cast<int32_t>(io->GetStatusLong());
  }
  DbgPrintf(1, "<= Internal_GetLightStatus ret=%d", ok ? 1 : 0);
  return ok;
}

bool Internal_DoCalibrationData(IoObject* io, uint8_t* result, uint8_t start, uint32_t* error) {
  uint8_t reply[kCalibrationResultLength] = {};
  bool ok = io->IoLockStart();
  if (ok && start != 0)
    ok = io->Send(kCalibrationStartBlock, sizeof kCalibrationStartBlock, krdata::kCalibrationStart);
  if (ok) ok = io->Read(reply, sizeof reply, krdata::kCalibrationResult);
  io->IoLockEnd();
  if (ok && result != nullptr) *result = reply[4];
  if (!ok && error != nullptr) *error = io->GetStatusLong();
  return ok;
}
