#pragma once
// The frame every device export runs in (entry line, the guard that keeps C++ exceptions inside
// the library, the handle look-up, exit line) and the one way a failure is recorded. The scan
// engine's exports use it too.
#include <new>

#include "drv/device/CScannerManager.h"
#include "drv/platform/DbgLog.h"

// The item behind a client's handle pointer; null for a null pointer or an unknown handle.
CScannerManagerScannerItem* LookUpItem(uint32_t* handle);

// Records a failure in the item's error word (kUnknown for a failure that carries no status)
// and returns what the export reports: the item's status (GetLastStatusCode).
long RecordFailure(CScannerManagerScannerItem* item, long status);
// The same with the command object's status: kSystemError where the command layer set none.
long CommandFailure(CScannerManagerScannerItem* item);
// What a failed export reports from the item's status words as they stand; never 0.
long FailureStatus(const CScannerManagerScannerItem* item);

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

// One device export's call: the constructor logs the entry line, Run logs the exit line.
//   return DeviceExport("KRDeviceStatus", handle).Run([&](CScannerManagerScannerItem* item) {...});
// A body returns 0, a code of its own (a bad argument, a busy device) or what RecordFailure gave.
class DeviceExport {
 public:
  // The usual entry line, "=> <name> -------> HDevice = %d".
  DeviceExport(const char* name, uint32_t* handle) : m_name(name), m_handle(handle) {
    DbgPrintf(1, "=> %s -------> HDevice = %d", name, HandleValue());
  }
  // An entry line of the export's own, formatted with the arguments.
  template <class... Args>
  DeviceExport(const char* name, uint32_t* handle, const char* entry, Args... args)
      : m_name(name), m_handle(handle) {
    if constexpr (sizeof...(Args) == 0) {
      DbgPrintf(1, "%s", entry);
    } else {
      DbgPrintf(1, entry, args...);
    }
  }
  DeviceExport(const DeviceExport&) = delete;
  DeviceExport& operator=(const DeviceExport&) = delete;

  // A null handle pointer: -2005; a handle no device has: -2019; else the body with the item.
  template <class Body>
  long Run(Body body) {
    return Finish([&]() -> long {
      CScannerManagerScannerItem* item = LookUpItem(m_handle);
      if (item == nullptr) return krstatus::kNotFound;
      return body(item);
    });
  }
  // As Run, but before KRInitializeDriver the call does nothing and answers 0.
  template <class Body>
  long RunIfDriverUp(Body body) {
    if (m_handle != nullptr && pManager == nullptr) return Finish([] { return 0L; });
    return Run(body);
  }
  // For an export that finds its device otherwise: only the null-pointer check and the guard.
  template <class Body>
  long RunWithoutLookUp(Body body) {
    return Finish([&]() -> long { return body(); });
  }

 private:
  int HandleValue() const { return m_handle != nullptr ? static_cast<int>(*m_handle) : 0; }
  template <class Body>
  long Finish(Body body) {
    const long status = m_handle == nullptr ? long{krstatus::kParameterError} : Guarded(body);
    DbgPrintf(1, "<= %s ret=%d", m_name, static_cast<int>(status));
    return status;
  }

  const char* m_name;
  uint32_t* m_handle;
};

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
