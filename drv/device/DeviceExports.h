#pragma once
// Opening and releasing the device behind an item, shared by the device exports and the
// registry's shutdown; the lamp-status read and the calibration start.
#include "drv/device/CScannerManager.h"

bool InternalInitializeScanner(CScannerManagerScannerItem* item);
bool InternalTerminateScanner(CScannerManagerScannerItem* item);
// The gamma table of the opening: 2*N bytes of identity ramps, N 2048 or 1024 by inquiry byte 120.
bool BuildIdentityGamma(CScannerManagerScannerItem* item, const uint8_t* inquiry);

// READs one byte of the lamp-status data type into *data; on failure *error receives the command
// object's status.
bool Internal_GetLightStatus(IoObject* io, uint8_t* data, int32_t* error);
// With `start` non-zero SENDs the calibration start block first; then READs the 8-byte result
// and hands back its byte 4. On failure *error receives the command object's status.
bool Internal_DoCalibrationData(IoObject* io, uint8_t* result, uint8_t start, uint32_t* error);
