#include "drv/device/CScannerManager.h"

#include <pthread.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "drv/device/CImprinter.h"
#include "drv/device/DeviceExports.h"
#include "drv/jpeg/StandardJpegTables.h"
#include "drv/platform/CLLDMemoryManager.h"
#include "drv/platform/DbgLog.h"

using namespace krstatus;

uint16_t CScannerManager::CtrlID = 0;
// The registry of the running driver; null before KRInitializeDriver and after KRTerminateDriver.
CScannerManager* pManager = nullptr;

namespace {
const IoObjectTransport* gTransports = nullptr;
ScanEngineHooks gEngineHooks = {nullptr, nullptr};

struct IPAddressNode {
  char text[256];
  IPAddressNode* next;
};
IPAddressNode* pIPAddressListHead = nullptr;

const char* InterfaceText(uint32_t type) {
  switch (type) {
    case krbus::kUsb:
      return "usb";
    case krbus::kScsi:
    case krbus::kFirewire:
      return "scsi";
    case krbus::kTcpIp:
      return "tcpip";
    case krbus::kVirtual:
      return "virtual";
    case krbus::kDualUsb:
      return "dualusb";
    default:
      return "???";
  }
}

// Copies a fixed-size record field into a client buffer of the given size, always terminated.
void CopyField(char* to, size_t toSize, const char* from, size_t fromSize) {
  if (to == nullptr || toSize == 0) return;
  size_t n = strnlen(from, fromSize);
  if (n >= toSize) n = toSize - 1;
  std::memcpy(to, from, n);
  to[n] = 0;
}
}  // namespace

void SetIoObjectTransports(const IoObjectTransport* table) { gTransports = table; }
void SetScanEngineHooks(const ScanEngineHooks& hooks) { gEngineHooks = hooks; }

namespace {
CScannerFactory gModelFactory = nullptr;
// The threads now inside a client's callback. Kept in a locked list rather than thread-local
// storage: the library is loaded and unloaded at run time, and the dynamic thread-local block of
// an unloaded library is left dangling for leak checkers that walk every thread's blocks.
std::mutex gInsideCallbackLock;
std::vector<pthread_t> gInsideCallback;
}  // namespace
void SetScannerModelFactory(CScannerFactory factory) { gModelFactory = factory; }
bool InsideClientCallback() {
  std::lock_guard lock(gInsideCallbackLock);
  const pthread_t self = pthread_self();
  return std::any_of(gInsideCallback.begin(), gInsideCallback.end(),
                     [&](pthread_t t) { return pthread_equal(t, self) != 0; });
}
void SetInsideClientCallback(bool inside) {
  std::lock_guard lock(gInsideCallbackLock);
  const pthread_t self = pthread_self();
  std::erase_if(gInsideCallback, [&](pthread_t t) { return pthread_equal(t, self) != 0; });
  if (inside) gInsideCallback.push_back(self);
}
const ScanEngineHooks& GetScanEngineHooks() { return gEngineHooks; }

CScannerManager::CScannerManager() {
  CreateKrMutex(&m_listMutex);
  RefreshItemList();
}

CScannerManager::~CScannerManager() {
  DeleteAllItem();
  DestroyKrMutex(&m_listMutex);
}

void CScannerManager::RefreshItemList() {
  // Jobs still running on the old items must end before their items go.
  TerminateAllJobAndDevice();
  DeleteAllItem();
  const IoObjectTransport* transports = gTransports != nullptr ? gTransports : IoObjects;
  for (const IoObjectTransport* t = transports; t->GetDeviceList != nullptr; ++t) {
    KrDrvDeviceInformation* records = nullptr;
    uint32_t count = 0;
    t->GetDeviceList(&records, &count);
    for (uint32_t i = 0; i < count; ++i) {
      KrDrvDeviceInformation* record = &records[i];
      for (const CDeviceDescription* d = DeviceConfigurationArray; d->GetType() != krbus::kNone;
           ++d) {
        if (!d->CheckMatch(record)) continue;
        IoObject* io = t->Create(record);
        CScanner* scanner = nullptr;
        try {
          // Throws when memory runs out.
          scanner = gModelFactory != nullptr ? gModelFactory() : d->Create();
        } catch (const std::bad_alloc&) {
          DbgPrintf(1, "memory allocation failed : %s", "model object");
        }
        if (io != nullptr && scanner != nullptr) {
          if (AddItem(io, scanner, record)) {
            KrDrvDeviceHandleMapNode node;
            std::memset(&node, 0, sizeof node);
            FillDeviceName(io, scanner, node.Name);
            node.pItem = m_tail;
            AddInDeviceHandleMap(node);
          }
        } else {
          delete io;
          delete scanner;
        }
        break;
      }
    }
    if (count != 0) std::free(records);
  }
}

bool CScannerManager::AddItem(IoObject* io, CScanner* scanner,
                              const KrDrvDeviceInformation* record) {
  auto* item = new (std::nothrow) CScannerManagerScannerItem{};
  if (item == nullptr) {
    DbgPrintf(1, "memory allocation failed : %s", "device item");
    delete io;
    delete scanner;
    return false;
  }
  std::memcpy(item->DefaultLumaQuant, kStdLumaQ, 64);
  std::memcpy(item->DefaultChromaQuant, kStdChromaQ, 64);
  for (int t = 0; t < 4; ++t) {  // the values behind each table's count stay zero
    std::memcpy(item->DefaultHuffmanBits[t], kStdHuffmanTables[t].counts, 16);
    std::memcpy(item->DefaultHuffmanValues[t], kStdHuffmanTables[t].values,
                kStdHuffmanTables[t].count);
  }
  item->GreyWeights[0] = 0.299;
  item->GreyWeights[1] = 0.587;
  item->GreyWeights[2] = 0.114;
  for (int i = 0; i < 4; ++i) item->PaddingValues[i] = 220;
  for (uint32_t& key : item->BackgroundKey) key = 0xFFFFFFFF;
  CreateKrMutex(&item->BackgroundMutex);
  CreateKrCondition(&item->BackgroundCondition);
  CreateKrMutex(&item->PageStartMutex);
  CreateKrCondition(&item->PageStartCondition);
  CreateKrCriticalSection(&item->ItemCriticalSection);
  std::memcpy(&item->DeviceInfo, record, sizeof item->DeviceInfo);
  item->pIoObject = io;
  item->pScanner = scanner;
  item->pNext = nullptr;
  if (m_tail == nullptr) {
    m_head = item;
  } else {
    m_tail->pNext = item;
  }
  m_tail = item;
  ++m_itemCount;
  return true;
}

void CScannerManager::AddInDeviceHandleMap(KrDrvDeviceHandleMapNode node) {
  uint32_t handle = 0;
  for (uint32_t h = 1; h < sizeof m_handleTable; ++h) {
    if (m_handleTable[h] == 0) {
      handle = h;
      break;
    }
  }
  if (handle == 0) {
    // Every handle is taken: the device stays an item but gets no handle.
    DbgPrintf(1, "AddInDeviceHandleMap: no free device handle for %s", node.Name);
    return;
  }
  auto* n = new (std::nothrow) KrDrvDeviceHandleMapNode;
  if (n == nullptr) return;
  std::memset(n, 0, sizeof *n);
  std::memcpy(n->Name, node.Name, sizeof n->Name);
  std::memcpy(n->SecondName, node.SecondName, sizeof n->SecondName);
  n->Name[sizeof n->Name - 1] = 0;
  n->SecondName[sizeof n->SecondName - 1] = 0;
  n->pItem = node.pItem;
  n->Handle = handle;
  m_handleTable[handle] = 1;
  if (m_mapHead == nullptr) {
    m_mapHead = n;
  } else {
    KrDrvDeviceHandleMapNode* last = m_mapHead;
    while (last->pNext != nullptr) last = last->pNext;
    last->pNext = n;
  }
}

void CScannerManager::FillDeviceName(IoObject* io, CScanner* scanner, char* out) {
  if (out == nullptr) return;
  std::memset(out, 0, 256);
  for (CScannerManagerScannerItem* item = m_head; item != nullptr; item = item->pNext) {
    if (item->pIoObject == io && item->pScanner == scanner) {
      CDeviceDescription::FillDeviceName(&item->DeviceInfo);
      std::snprintf(out, 256, "%s", item->DeviceInfo.DeviceName);
      return;
    }
  }
}

CScannerManagerScannerItem* CScannerManager::GetTargetScannerItem(uint32_t handle) {
  for (KrDrvDeviceHandleMapNode* n = m_mapHead; n != nullptr; n = n->pNext) {
    if (n->Handle == handle) return n->pItem;
  }
  return nullptr;
}

bool CScannerManager::FindDeviceHandle(const char* name, uint32_t* handle) {
  bool found = false;
  if (m_mapHead != nullptr) {
    for (KrDrvDeviceHandleMapNode* n = m_mapHead; n != nullptr; n = n->pNext) {
      if (name == nullptr || strcasecmp(n->Name, name) == 0 ||
          strcasecmp(n->SecondName, name) == 0) {
        if (handle != nullptr) *handle = n->Handle;
        found = true;
        break;
      }
    }
  }
  DbgPrintf(1, "FindDeviceHandle ret=%d", found);
  return found;
}

long CScannerManager::FillNode(CScannerManagerScannerItem* item, DeviceInformation* node,
                               bool allocate, int index) {
  KrDrvDeviceInformation& rec = item->DeviceInfo;
  CDeviceDescription::FillDeviceName(&rec);
  if (allocate) {
    node->DeviceName = static_cast<char*>(pMemManager->NewMem(kDevListDeviceNameSize));
    node->VendorName = static_cast<char*>(pMemManager->NewMem(kDevListVendorNameSize));
    node->ModelName = static_cast<char*>(pMemManager->NewMem(kDevListModelNameSize));
    node->SerialNumber = static_cast<char*>(pMemManager->NewMem(kDevListSerialNumberSize));
    node->Interface = static_cast<char*>(pMemManager->NewMem(kDevListInterfaceSize));
    if (node->DeviceName == nullptr || node->VendorName == nullptr || node->ModelName == nullptr ||
        node->SerialNumber == nullptr || node->Interface == nullptr) {
      return kNoMemory;
    }
  }
  CopyField(node->DeviceName, kDevListDeviceNameSize, rec.DeviceName, sizeof rec.DeviceName);
  CopyField(node->VendorName, kDevListVendorNameSize, rec.VendorName, sizeof rec.VendorName);
  CopyField(node->ModelName, kDevListModelNameSize, rec.ModelName, sizeof rec.ModelName);
  CopyField(node->SerialNumber, kDevListSerialNumberSize, rec.SerialNumber,
            sizeof rec.SerialNumber);
  const char* itf = InterfaceText(rec.Type);
  CopyField(node->Interface, kDevListInterfaceSize, itf, std::strlen(itf) + 1);
  node->VID = kridentity::Word(rec.Identity, 0);
  node->PID = kridentity::Word(rec.Identity, 1);
  DbgPrintf(1, "******* Node %d", index);
  DbgPrintf(1, " DeviceName = %s", node->DeviceName ? node->DeviceName : "");
  DbgPrintf(1, " VendorName = %s", node->VendorName ? node->VendorName : "");
  DbgPrintf(1, " ModelName = %s", node->ModelName ? node->ModelName : "");
  DbgPrintf(1, " SerialNumber = %s", node->SerialNumber ? node->SerialNumber : "");
  DbgPrintf(1, " Interface = %s", node->Interface ? node->Interface : "");
  DbgPrintf(1, " VID = 0x%04X", node->VID);
  DbgPrintf(1, " PID = 0x%04X", node->PID);
  DbgPrintf(1, " Address = %s", node->Address ? node->Address : "(null)");
  return kOK;
}

long CScannerManager::GetDeviceInformationArray(DEVLIST** list, uint32_t* count) {
  if (list == nullptr || count == nullptr) return kParameterError;
  if (*list != nullptr) {
    // The client's own list: walk its chain, never past a null node.
    DEVLIST* header = *list;
    header->Reserved = 0;
    if (m_itemCount == 0) {
      *count = 0;
      return kOK;
    }
    DeviceInformation* node = header->pDevice;
    int index = 1;
    for (CScannerManagerScannerItem* item = m_head; item != nullptr; item = item->pNext) {
      if (node == nullptr) {
        DbgPrintf(1, "GetDeviceInformationArray: the client's list has %d nodes for %u devices",
                  index - 1, m_itemCount);
        *count = 0;
        return kParameterError;
      }
      FillNode(item, node, false, index++);
      if (item->pNext == nullptr) {
        node->next = nullptr;
      } else {
        node = node->next;
      }
    }
    *count = m_itemCount;
    return kOK;
  }

  if (pMemManager == nullptr) {
    DbgPrintf(1, "memory allocation failed : %s", "no memory manager");
    *count = 0;
    return kNoMemory;
  }
  std::vector<void*> taken;
  auto fail = [&](const char* what) {
    DbgPrintf(1, "memory allocation failed : %s", what);
    for (void* b : taken) pMemManager->DeleteMem(b);
    *count = 0;
    return static_cast<long>(kNoMemory);
  };
  auto* header = static_cast<DEVLIST*>(pMemManager->NewMem(sizeof(DEVLIST)));
  if (header == nullptr) return fail("device list header");
  taken.push_back(header);
  std::memset(header, 0, sizeof *header);
  if (m_itemCount == 0) {
    // Nothing to hand out: the client's pointer stays as it was.
    pMemManager->DeleteMem(header);
    *count = 0;
    return kOK;
  }
  auto* nodes = static_cast<DeviceInformation*>(
      pMemManager->NewMem(static_cast<uint32_t>(sizeof(DeviceInformation) * m_itemCount)));
  if (nodes == nullptr) return fail("device list nodes");
  taken.push_back(nodes);
  std::memset(nodes, 0, sizeof(DeviceInformation) * m_itemCount);
  uint32_t i = 0;
  for (CScannerManagerScannerItem* item = m_head; item != nullptr; item = item->pNext, ++i) {
    DeviceInformation* node = &nodes[i];
    long r = FillNode(item, node, true, static_cast<int>(i) + 1);
    for (char* s : {node->DeviceName, node->VendorName, node->ModelName, node->SerialNumber,
                    node->Interface}) {
      if (s != nullptr) taken.push_back(s);
    }
    if (r != kOK) return fail("device list strings");
    node->next = item->pNext != nullptr ? &nodes[i + 1] : nullptr;
  }
  header->pDevice = nodes;
  *count = m_itemCount;
  *list = header;
  return kOK;
}

void CScannerManager::TerminateAllJobAndDevice() {
  for (KrDrvDeviceHandleMapNode* n = m_mapHead; n != nullptr; n = n->pNext) {
    CScannerManagerScannerItem* item = n->pItem;
    if (item == nullptr || item->dwPagesStarted == 0) continue;
    uint32_t handle = n->Handle;
    // Both through the exports, so that the log shows them as for a client's calls.
    if (gEngineHooks.StopJob != nullptr) gEngineHooks.StopJob(0, &handle);
    KRTerminateDevice(0, &handle);
  }
}

void CScannerManager::DestroyItem(CScannerManagerScannerItem* item) {
  if (gEngineHooks.ClearBackground != nullptr) gEngineHooks.ClearBackground(item);
  DestroyKrMutex(&item->BackgroundMutex);
  DestroyKrCondition(&item->BackgroundCondition);
  DestroyKrMutex(&item->PageStartMutex);
  DestroyKrCondition(&item->PageStartCondition);
  DestroyKrCriticalSection(&item->ItemCriticalSection);
  std::free(item->pGammaTable);
  // The imprinter talks through the command object: it goes first.
  delete item->pImprinter;
  delete item->pIoObject;
  delete item->pScanner;
  delete item;
}

void CScannerManager::DeleteAllItem() {
  CScannerManagerScannerItem* item = m_head;
  while (item != nullptr) {
    CScannerManagerScannerItem* next = item->pNext;
    DestroyItem(item);
    item = next;
  }
  m_head = m_tail = nullptr;
  m_itemCount = 0;
  if (m_mapHead != nullptr) DeleteDeviceHandleMap();
}

void CScannerManager::DeleteDeviceHandleMap() {
  std::memset(m_handleTable, 0, sizeof m_handleTable);
  KrDrvDeviceHandleMapNode* n = m_mapHead;
  while (n != nullptr) {
    KrDrvDeviceHandleMapNode* next = n->pNext;
    delete n;
    n = next;
  }
  m_mapHead = nullptr;
}

void CScannerManager::DeleteItem(CScannerManagerScannerItem* item) {
  CScannerManagerScannerItem* prev = nullptr;
  CScannerManagerScannerItem* cur = m_head;
  while (cur != nullptr && cur != item) {
    prev = cur;
    cur = cur->pNext;
  }
  if (cur == nullptr) return;
  if (prev == nullptr) {
    m_head = cur->pNext;
  } else {
    prev->pNext = cur->pNext;
  }
  if (m_tail == cur) m_tail = prev;
  --m_itemCount;
  DestroyItem(cur);
}

void CScannerManager::RemoveFromDeviceHandleMap(uint32_t handle) {
  KrDrvDeviceHandleMapNode* prev = nullptr;
  KrDrvDeviceHandleMapNode* n = m_mapHead;
  while (n != nullptr && n->Handle != handle) {
    prev = n;
    n = n->pNext;
  }
  if (n == nullptr) return;
  if (prev == nullptr) {
    m_mapHead = n->pNext;
  } else {
    prev->pNext = n->pNext;
  }
  DeleteItem(n->pItem);
  if (handle < sizeof m_handleTable) m_handleTable[handle] = 0;
  delete n;
}

void CScannerManager::DestroyDeviceList(DEVLIST* list) {
  if (list == nullptr) return;
  if (m_itemCount != 0 && list->pDevice != nullptr) {
    for (DeviceInformation* n = list->pDevice; n != nullptr; n = n->next) {
      std::free(n->DeviceName);
      std::free(n->VendorName);
      std::free(n->ModelName);
      std::free(n->SerialNumber);
      std::free(n->Interface);
      std::free(n->Address);
    }
    std::free(list->pDevice);
  }
  std::free(list);
}

bool GetLastStatusCode(const CScannerManagerScannerItem* item, bool* messageFlag, long* code) {
  bool message = item->lErrorStatus == 0;
  long value = message ? item->lMessageStatus : item->lErrorStatus;
  if (messageFlag != nullptr) *messageFlag = message;
  if (code != nullptr) *code = value;
  return true;
}

void AddInIPAddressList(const char* targetId) {
  if (targetId == nullptr || strncasecmp(targetId, "tcpip:", 6) != 0) return;
  IPAddressNode* last = nullptr;
  for (IPAddressNode* n = pIPAddressListHead; n != nullptr; n = n->next) {
    if (strncasecmp(n->text, targetId, std::strlen(targetId)) == 0) return;
    last = n;
  }
  auto* node = new (std::nothrow) IPAddressNode{};
  if (node == nullptr) return;
  std::snprintf(node->text, sizeof node->text, "%s", targetId);
  if (last == nullptr) {
    pIPAddressListHead = node;
  } else {
    last->next = node;
  }
}

void DeleteIPAddressList() {
  IPAddressNode* n = pIPAddressListHead;
  while (n != nullptr) {
    IPAddressNode* next = n->next;
    delete n;
    n = next;
  }
  pIPAddressListHead = nullptr;
}
