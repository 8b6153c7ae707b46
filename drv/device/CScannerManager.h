#pragma once
// The driver's device registry: one item per supported device with its command and model
// object, a small numeric handle per item, the client's device list.
#include <atomic>
#include <cstdint>

#include "drv/device/CScanner.h"
#include "drv/device/DeviceDescription.h"
#include "drv/device/IoObject.h"
#include "drv/jpeg/KRJFIFWriter.h"
#include "drv/platform/KrThread.h"
#include "vantrel/kr_api.h"
#include "vantrel/scan_records.h"

class CImprinter;

// One transport: its device lister and the factory of its command object.
struct IoObjectTransport {
  void (*GetDeviceList)(KrDrvDeviceInformation** records, uint32_t* count);
  IoObject* (*Create)(const KrDrvDeviceInformation* record);
};
extern const IoObjectTransport IoObjects[];
// Tests may point the registry at another transport table (nullptr: the built-in one).
void SetIoObjectTransports(const IoObjectTransport* table);
// Tests may have every matched device made with another model class (nullptr: the device
// table's own), so a simulated device runs as a model the table does not give it.
void SetScannerModelFactory(CScannerFactory factory);

class CExtPipe;
class CImageProcess;

// The last page as the IO and reader threads describe it (KRRequestImageInfo reads it).
struct PageInformation {
  uint32_t Width;
  uint32_t Height;
  uint32_t Size;
  uint32_t BytesPerLine;
  uint32_t ScanMode;  // the device's mode bit
  uint16_t JPEGDRI;
};

// The job's pipes by role; several slots may name one pipe.
enum ScanPipeSlot : uint32_t {
  kPipeIoFront,
  kPipeIoRear,
  kPipeJpegDecodeFront,
  kPipeJpegDecodeRear,
  kPipeJpegEncodeInFront,
  kPipeJpegEncodeInRear,
  kPipeJpegEncodeOutFront,
  kPipeJpegEncodeOutRear,
  kPipeDeDuplexFront,
  kPipeDeDuplexRear,
  kPipeDeIRUVMain,
  kPipeDeIRUVIR,
  kPipeDeIRUVUV,
  kPipeImageProcessInFront,
  kPipeImageProcessInRear,
  kPipeImageProcessOutFront,
  kPipeImageProcessOutRear,
  kPipeReadFront,
  kPipeReadRear,
  kPipeSlotCount
};
constexpr uint32_t kJobPipeListLength = 8;

// The job's threads in the order the job end joins them.
enum ScanThreadSlot : uint32_t {
  kThreadIo,
  kThreadDeDuplex,
  kThreadDeIRUV,
  kThreadJpegDecode,
  kThreadJpegEncode,
  kThreadImageProcessing,
  kThreadReader,
  kThreadSlotCount
};

// One item per device. Created zeroed; fields that one thread writes while another reads them
// are atomic or guarded by the lock their comment names.
struct CScannerManagerScannerItem {
  // Device side.
  IoObject* pIoObject;
  CScanner* pScanner;
  CScannerManagerScannerItem* pNext;
  KrDrvDeviceInformation DeviceInfo;
  uint8_t bInitialized;
  uint8_t bHardwareProcessing;
  uint8_t* pGammaTable;   // the gamma store: two heads of four tables
  uint16_t wGammaLength;  // bytes of one head (four tables)
  CImprinter* pImprinter;
  uint8_t RawDataControl[36];
  uint8_t ShadingResult[36];
  uint8_t LastControlBlock[20];
  uint8_t ControlResult[36];
  std::atomic<int32_t> lErrorStatus;
  std::atomic<int32_t> lMessageStatus;
  uint8_t DefaultLumaQuant[64];
  uint8_t DefaultChromaQuant[64];
  uint8_t DefaultHuffmanBits[4][16];
  uint8_t DefaultHuffmanValues[4][256];
  double GreyWeights[3];  // Kr, Kg, Kb
  STATUSLIST StatusList;  // the reader thread's, handed to the client's callback
  // Scan engine side (the engine owns and extends these).
  uint8_t bGammaChanged;
  uint8_t PaddingValues[6];   // front red, green, blue, rear red, green, blue
  uint32_t BackgroundKey[4];  // kept background lines: client XRes, ScanMode, ScanMethod, lines
  std::atomic<uint8_t> bJobRunning;
  std::atomic<uint32_t> dwPagesStarted;
  KrMutex BackgroundMutex;
  KrCondition BackgroundCondition;
  KrMutex PageStartMutex;
  KrCondition PageStartCondition;
  KrCriticalSection ItemCriticalSection;
  // The rest of the engine's fields.
  _JFIF JFIFRecord;
  // Job flags, set by the job start before any thread of the job runs.
  uint8_t bContinuousMode;
  uint8_t bUnknownPageLength;
  uint8_t bContinuousDuplex;
  uint8_t bTwoSides;
  uint8_t bIRUVJob;
  std::atomic<uint8_t> bEOFPageFlow;  // the IO thread sets it
  uint8_t bEOFDuplexStyle;
  uint8_t bGL310DuplexStyle;
  uint8_t bRearSideByDuplex;
  uint8_t bR2EOPStyle;
  uint8_t bDeMultiplexed;
  uint8_t bMultiFeedAsMessage;
  uint8_t bSkewAsMessage;
  uint8_t bDeviceJpeg;
  uint8_t bJpegReEncode;
  uint8_t bJpegDecodeBeforeConversion;
  uint8_t bRawFromDeviceJpeg;
  uint32_t dwDeMuxBlockSize;
  uint32_t dwPipeMemoryDivider;  // 2, or 4 with two sides
  int64_t llPipeDiskHardLimit;   // bytes
  uint32_t dwBatchPageRange[2];  // low, high
  int64_t llBatchDisableThreshold;
  uint32_t dwTransferSize;
  uint32_t dwDuplexTransferMode;
  std::atomic<uint32_t> dwEOFPagesEnded;
  uint32_t dwIOEndingPage;  // under ItemCriticalSection
  uint8_t bJobStarted;
  std::atomic<uint8_t> bCancel;  // set under ItemCriticalSection
  char FrontRawDumpName[256];
  char RearRawDumpName[256];
  // End-of-file carry-over from one page to the next.
  uint8_t bEOFCarryPending;
  uint32_t dwEOFCarryLineOffset;
  uint32_t dwEOFCarryLastLines;
  CImageProcess* pFrontPipeline;
  CImageProcess* pRearPipeline;
  CImageProcess* pIRUVPipeline;
  uint8_t bRearPageNext;
  std::atomic<uint8_t> bMediaStatus;  // bit 0: paper in the feeder
  uint8_t bSavedFrontADFStatus;
  int64_t llPageSizeEstimate;
  uint8_t* pWorkBuffer;  // 16 transfer sizes; the three views below lie in it
  uint8_t* pFrontReadBuffer;
  uint8_t* pRearReadBuffer;
  uint8_t* pImageBuffer;
  uint8_t* pIRUVWorkBuffer;  // 3 transfer sizes, one view each
  uint8_t* pIRUVViews[3];
  uint8_t* pJpegDecodeBuffer;
  uint8_t* pJpegEncodeBuffer;
  uint8_t* pClientBuffer;
  uint32_t dwLineBlock;
  uint32_t dwReadUnit;
  CExtPipe* Pipes[kPipeSlotCount];
  CExtPipe* JobPipes[kJobPipeListLength];  // every distinct pipe of the job once
  // Background lines kept between jobs (under no lock: only the IO thread's job start and the
  // item's deletion touch them).
  uint32_t dwBackgroundSideSize;
  uint32_t dwBackgroundPixels;
  uint8_t* pBackgroundFront;
  uint8_t* pBackgroundRear;
  uint8_t bBackgroundReadFailed;
  uint8_t bBackgroundReady;   // under BackgroundMutex
  uint8_t bBackgroundWaiter;  // under BackgroundMutex
  // Duplex multi-feed forwarded from the front page to the rear page.
  uint8_t bForward;
  uint8_t bForwardAsMessage;
  int32_t lForwardedStatus;
  uint8_t bPageMultiFeedMessage;
  KrThread Threads[kThreadSlotCount];
  // The handshake between the page start and the waiting IO thread (event bytes 0 to 3).
  std::atomic<uint8_t> bFirstPageStarted;
  std::atomic<uint8_t> bIOThreadWaiting;
  std::atomic<uint8_t> bIOThreadWoken;
  std::atomic<uint8_t> bIOThreadEnded;
  // The client's callback and the two values it gets back, set before the reader starts.
  AP_CALLBACK pfnCallBack;
  uint32_t dwCallBackCtrlId;
  uint32_t* pCallBackDevice;
  std::atomic<uint8_t> bReaderStop;
  // The callback answered 2 (cancel) on the page: KRStopScan reports the page cancelled.
  std::atomic<uint8_t> bCallbackCancelled;
  // The IO thread's own.
  uint8_t bIOADFStatus;
  char IOFrontRawDumpName[64];
  char IORearRawDumpName[194];
  int32_t lIOStatus;
  int32_t lIOMessage;
  // The reader's read state.
  uint32_t dwReadPending;
  CExtPipe* pReadSourceFront;
  CExtPipe* pReadSourceRear;
  uint8_t bReadADFStatus;
  uint8_t bReadEndPadding;
  uint8_t bReadMessagePresent;
  uint32_t dwReadMessage;
  uint8_t bReadNotEnoughData;
  uint32_t dwReadPreviousType;
  uint32_t dwReadCurrentType;
  uint8_t bToEndOfPage;
  uint32_t dwReaderStage;
  // The reader's duplex forward record.
  uint32_t dwForwardFrontPacketSize;
  uint32_t dwForwardFrontBytes;
  uint8_t bForwardPending;
  uint8_t bForwardedAsMessage;
  uint32_t dwForwardSize;
  int32_t lForwardedCode;
  uint32_t dwForwardCounter;
  uint32_t dwBlockSize;  // bytes per callback, 0 = whole page
  uint8_t bFirstHeader;
  uint8_t bReducedBlock;
  PageInformation LastPage;
  // The stored scan parameter passed its check; the job start refuses a job without it.
  uint8_t bScanParameterChecked;
  // A page start asked of the IO thread, under PageStartMutex: the IO thread's wait tests it
  // (and the cancel flag), so a wake-up without one never starts a page.
  uint8_t bPageStartRequested;
  // The job's last end packet (the one that finishes the job) reached the client's side.
  uint8_t bJobFinishedSeen;
  // The IO thread's per-side byte count (duplex styles 6 and 7 count each side on its own).
  uint8_t bSidesCountedApart;
  // A job's end packet the reader took from a pipe before the page end could (a page that ended
  // before it began): the page end reads it from here first.
  uint8_t StashedEndPacket[28];
  uint8_t bEndPacketStashed;
  // Continuous scan: a page the client took whole by its length before its end packet came; the
  // reader drops what is left of it, up to that end, before the next page.
  uint8_t bContinuousEndPending;
  // The rear page of the paired style has taken its byte count.
  uint8_t bRearCountTaken;
  // The front page of the paired style ended blank: the device read both sides as one page, so
  // its word covers the rear page too, which it never sent.
  uint8_t bPairedFrontBlank;
  // The tray the job start found (MEDIA CHECK byte 4 0x21 or 0x11): the IO thread swaps the
  // sides of the block-flagged duplex style. Kept per device, so one scanner's job never
  // swaps another's sides.
  uint8_t TessalineTrayStatus;
  // The client buffer's size in bytes: no read asks for more.
  uint32_t dwClientBufferSize;
  // The item's dump-file prefix (raw dumps of the threads at debug level 3 and above).
  char DumpPrefix[64];
};

struct KrDrvDeviceHandleMapNode {
  char Name[256];
  char SecondName[256];
  uint32_t Handle;
  CScannerManagerScannerItem* pItem;
  KrDrvDeviceHandleMapNode* pNext;
};

// Where the registry calls into the scan engine. The engine installs these (StopJob is its
// KRStopJob export); until it does, a device has no job to stop and no background buffers to
// clear.
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

// The client's data callback runs on the scan engine's reader thread; exports that would join
// or free the job it runs in refuse while the calling thread is inside it (-2001).
bool InsideClientCallback();
void SetInsideClientCallback(bool inside);

// The status of an item as an export reports it.
bool GetLastStatusCode(const CScannerManagerScannerItem* item, bool* messageFlag, long* code);

// IP address list of tcpip target ids.
void AddInIPAddressList(const char* targetId);
void DeleteIPAddressList();
