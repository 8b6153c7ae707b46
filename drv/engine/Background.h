#pragma once
// Background lines (what the device sees behind the paper), kept per device and side in the
// client's format, and the six padding values the read path fills a short page with.
#include "drv/device/CScannerManager.h"

// Reads and converts the background lines unless the kept ones fit the job. A failed read or
// conversion zeroes the kept lines and still answers true (the next job reads again); false
// only when the lines cannot be allocated.
bool GetBackgroundToBuffer(CScannerManagerScannerItem* item);
// Sets the six padding values from the kept lines, else from the gamma tables; always true.
bool CountingPaddingValues(CScannerManagerScannerItem* item);
// Frees the kept lines and forgets their key; the next job reads them again.
void DoClearBackground(CScannerManagerScannerItem* item);
// The device scans no background of its own accord: nothing to do.
bool ScanBackgroundToBuffer(CScannerManagerScannerItem* item);
