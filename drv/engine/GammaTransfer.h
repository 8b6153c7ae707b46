#pragma once
// What a job sends the device of its own image path: the gamma tables the client set and the
// colour matrix; and two operations on the gamma store that nothing calls yet.
#include <cstdint>

#include "drv/device/CScannerManager.h"

// False at the first failed SEND (the transport's status tells why), or with -2005 in the
// item's error word for a colour filter the store has no table for.
bool DoSendGammaTable(CScannerManagerScannerItem* item);
bool DoSendYCCMatrix(CScannerManagerScannerItem* item);
// A matrix word: bit 12 the sign, bits 10-11 the integer part (0-3), bits 0-9 thousandths.
// The value itself; it goes on the wire big-endian.
uint16_t ConvertDoubleToColorMatrixWord(double value);

void DoInvertGammaTable(CScannerManagerScannerItem* item);
bool IsInvertScan(CScannerManagerScannerItem* item);
