#pragma once
// The device preparation of a job: the lamp check, the shading calibration against the white
// reference the device scans, and the arithmetic they and the buffer sizing share.
#include <vantrel/scan_parameters.h>

#include <cstdint>

#include "drv/device/CScannerManager.h"
#include "drv/device/PreparationData.h"

// The gain that leaves a column as it is.
constexpr uint16_t kUnityGain = 16384;

// Reads the device's calibration information and, unless it needs none, its white reference;
// sends the per-column gains. False after a failed command (the transport's status tells why),
// an unusable reply or a failed allocation (the item's error word tells why).
bool DoCalibration(CScannerManagerScannerItem* item, SCANPARAMETER_UNION* unused);
// True when the lamp is ready; otherwise the item's error word says why (-2041 off, after the
// lamp-on block where the device takes it; -2009 warming up; the transport's status).
bool DoLightCheck(CScannerManagerScannerItem* item);

// Trimmed mean of `count` samples (the smallest and largest few dropped); reorders them.
uint16_t BubbleSort(uint16_t* values, uint8_t count);
uint32_t GetGCD(uint32_t a, uint32_t b);
// a / gcd * b; 0 when both are 0.
uint32_t GetLCM(uint32_t a, uint32_t b);
