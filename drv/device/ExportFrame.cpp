// What every device export shares: the item look-up and the one way a failure is recorded.
#include "drv/device/ExportFrame.h"

using namespace krstatus;

CScannerManagerScannerItem* LookUpItem(uint32_t* handle) {
  if (pManager == nullptr || handle == nullptr) return nullptr;
  return pManager->GetTargetScannerItem(*handle);
}

long FailureStatus(const CScannerManagerScannerItem* item) {
  long code = 0;
  if (item != nullptr) GetLastStatusCode(item, nullptr, &code);
  return code != 0 ? code : static_cast<long>(kUnknown);
}

long RecordFailure(CScannerManagerScannerItem* item, long status) {
  item->lErrorStatus = static_cast<int32_t>(status != 0 ? status : long{kUnknown});
  return FailureStatus(item);
}

long CommandFailure(CScannerManagerScannerItem* item) {
  const int32_t status = static_cast<int32_t>(item->pIoObject->GetStatusLong());
  return RecordFailure(item, status != 0 ? status : long{kSystemError});
}
