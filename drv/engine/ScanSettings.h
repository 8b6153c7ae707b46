#pragma once
// A client's settings of the next job: the scan parameter, the gamma tables and the hardware
// image-processing records, taken in by KRSetParameter, KRSetGamma and KRSetHWProcess and
// checked against what the device reports.
#include <vantrel/scan_parameters.h>

#include <cstdint>

#include "drv/device/CScannerManager.h"

constexpr uint16_t kRecordVersion = 200;

// Copies the client's record when its version is 200 (whatever its size field says).
bool TransToUnionScanParameter(SCANPARAMETER_UNION* dst, const void* src);
bool TransToUnionHWImageProcParm(HWIMAGEPROCPARAMETER_UNION* dst, const void* src);

// Stores one table of `size` bytes (the store's table length) for a filter and a head, or fans
// out for head 0; 0 or -2005.
long IntenalSetGamma(CScannerManagerScannerItem* item, const void* table, int size, int bits,
                     int filter, int head);

// The text of the first check the parameter fails against the model's inquiry data and
// features, or null when it passes.
const char* ScanParameterFault(CScanner* scanner, const SCANPARAMETER_UNION& param);
// Checks the stored client parameter; logs "Check Scan Parameter error = %s" when it fails.
bool CheckScanParameter(CScannerManagerScannerItem* item);

// Logs a scan parameter field by field under a prefix ("AP.ScanParameter", "IO.ScanParameter").
void LogScanParameter(const char* prefix, const SCANPARAMETER_UNION& param);
