#pragma once
// Opening and releasing the device behind an item; shared by the device exports and the
// registry's shutdown.
#include "drv/device/CScannerManager.h"

bool InternalInitializeScanner(CScannerManagerScannerItem* item);
bool InternalTerminateScanner(CScannerManagerScannerItem* item);
// The gamma table of the opening: 2*N bytes of identity ramps, N 2048 or 1024 by inquiry byte 120.
bool BuildIdentityGamma(CScannerManagerScannerItem* item, const uint8_t* inquiry);
