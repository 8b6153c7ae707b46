#pragma once
// The frame of the scan engine's exports: entry line, handle look-up (-2005 for a null handle
// pointer, -2019 for a handle that names no device), the body under the guard, exit line.
#include <optional>

#include "drv/device/ExportFrame.h"
#include "drv/platform/DbgLog.h"

// `entryDetail` logs the export's own lines after the entry line (before the look-up).
template <class Body, class EntryDetail>
long RunEngineExport(const char* name, uint32_t* handle, Body body, EntryDetail entryDetail) {
  DbgPrintf(1, "=> %s -------> HDevice = %d", name, handle != nullptr ? *handle : 0);
  entryDetail();
  long status = Guarded([&]() -> long {
    if (handle == nullptr) return krstatus::kParameterError;
    CScannerManagerScannerItem* item = LookUpItem(handle);
    if (item == nullptr) return krstatus::kNotFound;
    return body(item);
  });
  DbgPrintf(1, "<= %s ret=%d", name, static_cast<int>(status));
  return status;
}

template <class Body>
long RunEngineExport(const char* name, uint32_t* handle, Body body) {
  return RunEngineExport(name, handle, body, [] {});
}
