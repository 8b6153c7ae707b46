#pragma once
// The driver's device registry: one item per supported device with its command and model
// object, a small numeric handle per item, the client's device list.
#include <cstdint>

#include "drv/device/CScanner.h"
#include "drv/device/DeviceDescription.h"
#include "drv/device/IoObject.h"
#include "drv/platform/KrThread.h"
#include "vantrel/kr_api.h"

class CImprinter;

// One transport: its device lister and the factory of its command object.
struct IoObjectTransport {
  void (*GetDeviceList)(KrDrvDeviceInformation** records, uint32_t* count);
  IoObject* (*Create)(const KrDrvDeviceInformation* record);
};
extern const IoObjectTransport IoObjects[];
// Tests may point the registry at another transport table (nullptr: the built-in one).
void SetIoObjectTransports(const IoObjectTransport* table);

struct CScannerManagerScannerItem {
  // Device side.
  IoObject* pIoObject;
  CScanner* pScanner;
  CScannerManagerScannerItem* pNext;
  KrDrvDeviceInformation DeviceInfo;
  uint8_t bInitialized;
  uint8_t bHardwareProcessing;
  uint8_t* pGammaTable;
  uint16_t wGammaLength;
  CImprinter* pImprinter;
  uint8_t RawDataControl[36];
  uint8_t ShadingResult[36];
  uint8_t LastControlBlock[20];
  uint8_t ControlResult[36];
  int32_t lErrorStatus;
  int32_t lMessageStatus;
  uint8_t DefaultLumaQuant[64];
  uint8_t DefaultChromaQuant[64];
  uint8_t DefaultHuffmanBits[4][16];
  uint8_t DefaultHuffmanValues[4][256];
  double GreyWeights[3];
  uint32_t StatusListCodes[6];
  // Scan engine side (the engine owns and extends these).
  uint8_t bGammaChanged;
  uint8_t PaddingValues[6];
  uint32_t BackgroundKey[4];
  uint8_t bJobRunning;
  uint32_t dwPagesStarted;
  KrMutex BackgroundMutex;
  KrCondition BackgroundCondition;
  KrMutex PageStartMutex;
  KrCondition PageStartCondition;
  KrCriticalSection ItemCriticalSection;
};

struct KrDrvDeviceHandleMapNode {
  char Name[256];
  char SecondName[256];
  uint32_t Handle;
  CScannerManagerScannerItem* pItem;
  KrDrvDeviceHandleMapNode* pNext;
};

// Where the registry calls into the scan engine. The engine installs these; until it does,
// a device has no job to stop and no background buffers to clear.
struct ScanEngineHooks {
  long (*StopJob)(uint32_t ctrlId, uint32_t* handle);
  void (*ClearBackground)(CScannerManagerScannerItem* item);
};
void SetScanEngineHooks(const ScanEngineHooks& hooks);
const ScanEngineHooks& GetScanEngineHooks();

class CScannerManager {
 public:
  CScannerManager();
  ~CScannerManager();
  CScannerManager(const CScannerManager&) = delete;
  CScannerManager& operator=(const CScannerManager&) = delete;

  void RefreshItemList();
  CScannerManagerScannerItem* GetTargetScannerItem(uint32_t handle);
  bool FindDeviceHandle(const char* name, uint32_t* handle);
  // False when the item cannot be made; the objects are destroyed then.
  bool AddItem(IoObject* io, CScanner* scanner, const KrDrvDeviceInformation* record);
  void AddInDeviceHandleMap(KrDrvDeviceHandleMapNode node);
  void FillDeviceName(IoObject* io, CScanner* scanner, char* out);
  long GetDeviceInformationArray(DEVLIST** list, uint32_t* count);
  void TerminateAllJobAndDevice();
  void DeleteAllItem();
  void DeleteDeviceHandleMap();
  void DeleteItem(CScannerManagerScannerItem* item);
  void RemoveFromDeviceHandleMap(uint32_t handle);
  void DestroyDeviceList(DEVLIST* list);
  void LockListOperate() { LockKrMutex(&m_listMutex); }
  void UnlockListOperate() { UnlockKrMutex(&m_listMutex); }
  uint32_t GetItemCount() const { return m_itemCount; }
  CScannerManagerScannerItem* GetFirstItem() const { return m_head; }

  static uint16_t GetCtrlID() { return CtrlID; }
  static void SetCtrlID(uint16_t id) { CtrlID = id; }

 private:
  static void DestroyItem(CScannerManagerScannerItem* item);
  long FillNode(CScannerManagerScannerItem* item, DeviceInformation* node, bool allocate,
                int index);

  static uint16_t CtrlID;
  KrMutex m_listMutex;
  uint32_t m_itemCount = 0;
  CScannerManagerScannerItem* m_head = nullptr;
  CScannerManagerScannerItem* m_tail = nullptr;
  KrDrvDeviceHandleMapNode* m_mapHead = nullptr;
  uint8_t m_handleTable[128] = {};
};

// Process-wide state of the driver.
class CLLDMemoryManager;
class CLumetra;
extern CScannerManager* pManager;
extern CLLDMemoryManager* pMemManager;
extern CLumetra* pLumetra;

// The status of an item as an export reports it.
bool GetLastStatusCode(const CScannerManagerScannerItem* item, bool* messageFlag, long* code);

// IP address list of tcpip target ids.
void AddInIPAddressList(const char* targetId);
void DeleteIPAddressList();
