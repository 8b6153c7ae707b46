#pragma once
// The ability record a client reads: built from the model's inquiry copy and the transport.
#include <vantrel/device_records.h>

#include "drv/device/CScannerManager.h"

// Every field but the five strings.
void FillDeviceAbility(const CScanner& scanner, DeviceAbility* record);
// Builds the record into *pp: a new one from the memory manager when *pp is null, else the
// client's, whose string buffers are kept. 0, -2005 or -2006.
long Inquiry2ToScannerDeviceAbility200(CScannerManagerScannerItem* item, DeviceAbility** pp);
