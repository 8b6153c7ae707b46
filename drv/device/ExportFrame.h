#pragma once
// What every device export shares: the item lookup, the status a failure reports, and the
// guard that keeps C++ exceptions inside the library.
#include <new>

#include "drv/device/CScannerManager.h"
#include "drv/platform/DbgLog.h"

// The item behind a client's handle pointer; null for a null pointer or an unknown handle.
CScannerManagerScannerItem* LookUpItem(uint32_t* handle);
// The same with the status a device export answers: -2005 for a null handle pointer (whether
// or not the driver runs), -2019 for a handle no device has, else 0.
long FindItem(uint32_t* handle, CScannerManagerScannerItem** item);

// The status a failed device export reports: the item's, and never 0 for a failure.
long FailureStatus(const CScannerManagerScannerItem* item);

// Records the command object's status as the item's error and returns what the export reports.
long CommandFailure(CScannerManagerScannerItem* item);

// No C++ exception may leave an export: an allocation that throws inside one becomes -2006.
template <class Body>
long Guarded(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    DbgPrintf(1, "memory allocation failed : %s", "out of memory");
    return krstatus::kNoMemory;
  } catch (...) {
    return krstatus::kUnknown;
  }
}

// IoLockStart ... IoLockEnd around a device export's commands; IoLockEnd runs on every way out.
class IoLockScope {
 public:
  explicit IoLockScope(IoObject* io) : m_io(io), m_ok(io->IoLockStart()) {}
  ~IoLockScope() { m_io->IoLockEnd(); }
  IoLockScope(const IoLockScope&) = delete;
  IoLockScope& operator=(const IoLockScope&) = delete;
  bool ok() const { return m_ok; }

 private:
  IoObject* m_io;
  bool m_ok;
};
