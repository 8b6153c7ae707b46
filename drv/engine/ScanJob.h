#pragma once
// The scan job inside the engine: job start and end, page start and end, the IO thread that
// reads the device, the reader thread that calls the client back, and the packets they pass
// through the job's pipes.
#include <vantrel/scan_records.h>

#include <cstddef>
#include <cstdint>

#include "drv/device/CScannerManager.h"

class CExtPipe;

// ---- packets ----

enum PipePacketType : uint32_t {
  kPacketImage = 0,  // image data, or an error with no data
  kPacketEndOfFile = 1,
  kPacketEndOfPage = 2,
  kPacketEndOfCycle = 3,  // after every page; blJobFinished ends the job
  kPacketPageInformation = 5,
};

// Precedes every packet in an engine pipe (host byte order).
struct PIPE_PACKAGE_HEADER {
  uint32_t type;
  uint8_t bADFStatus;  // bit 0: paper in the feeder
  uint8_t reserved1[3];
  uint32_t dwSize;           // payload bytes that follow
  uint32_t dwEffectiveSize;  // of them, image bytes
  int32_t lStatusLong;
  int32_t lMessageStatusLong;
  uint8_t blJobFinished;      // read in type-3 packets only
  uint8_t blLastImagePacket;  // type 0: the image's last packet
  uint8_t reserved2[2];
};
static_assert(sizeof(PIPE_PACKAGE_HEADER) == 28);
static_assert(offsetof(PIPE_PACKAGE_HEADER, bADFStatus) == 4);
static_assert(offsetof(PIPE_PACKAGE_HEADER, dwSize) == 8);
static_assert(offsetof(PIPE_PACKAGE_HEADER, dwEffectiveSize) == 12);
static_assert(offsetof(PIPE_PACKAGE_HEADER, lStatusLong) == 16);
static_assert(offsetof(PIPE_PACKAGE_HEADER, lMessageStatusLong) == 20);
static_assert(offsetof(PIPE_PACKAGE_HEADER, blJobFinished) == 24);
static_assert(offsetof(PIPE_PACKAGE_HEADER, blLastImagePacket) == 25);

constexpr uint32_t kHeaderSize = sizeof(PIPE_PACKAGE_HEADER);
// Page information: width, height, size (u32), restart interval (u16), bytes per line, mode
// bit (u32), then the job's 64-byte luminance and chrominance tables.
constexpr uint32_t kPageInformationSize = 150;
constexpr uint32_t kJpegTablesSize = 128;

void PutPageInformation(uint8_t* out, const PageInformation& page, const uint8_t* tables);
void GetPageInformation(const uint8_t* in, PageInformation* page, uint8_t* tables);

// Writes a header and its payload (null: none); false when the pipe failed.
bool WritePacket(CExtPipe* pipe, const PIPE_PACKAGE_HEADER& header, const uint8_t* payload);
// The end packet of a job: type 3 with blJobFinished.
PIPE_PACKAGE_HEADER EndJobPacket();

// ---- job and page ----

// Which Read pipes gave up the job's last end packet (the item's bJobFinishedSeen).
constexpr uint8_t kJobEndSeenFront = 1;
constexpr uint8_t kJobEndSeenRear = 2;

// Part one and two of the first page's job start; false with the status in the item.
bool StartJob(CScannerManagerScannerItem* item);
// While set, asked before each of the job start's own allocations (the work, client, JPEG and
// IR/UV buffers, the conversion pipelines) with the buffer's name; false makes it fail as the
// system's would. The pipes and threads have hooks of their own.
using JobStartAllocationHook = bool (*)(const char* what);
void SetJobStartAllocationHook(JobStartAllocationHook hook);
bool EndJob(CScannerManagerScannerItem* item);
// A job on the other tray (the job start's MEDIA CHECK said so) asks every window for the other
// side: the window's one-sided method 1 becomes 5 and 5 becomes 1.
void SwapWindowForTray(const CScannerManagerScannerItem* item, KR_WindowDataSet_VER2* window);
bool StartPage(CScannerManagerScannerItem* item);
bool EndPage(CScannerManagerScannerItem* item);
void DoCancel(CScannerManagerScannerItem* item);
// Tells the IO thread that waits between pages to go on (a page start or a cancel).
void WakeIOThread(CScannerManagerScannerItem* item, bool pageStart);

// ---- threads ----

void* IOThread(void* item);
void* APReadThread(void* item);

// ---- the reader's read path ----

struct READSCAN_PARAM {
  uint8_t* pBuffer;
  uint8_t* pBufferRear;
  uint32_t dwBufferSize;
  uint32_t dwEffectiveSize;
  uint8_t blEOP;
  uint8_t blEOF;
  uint8_t reserved[6];
  long lStatusLong;
  long lMessageLong;
};
static_assert(sizeof(READSCAN_PARAM) == 48);

bool ReadScanInternal(CScannerManagerScannerItem* item, READSCAN_PARAM* param);
void ReadScanWithdrawBuffer(CScannerManagerScannerItem* item);
// The reader's stages a page begins in: a sheet's first page, its rear page, a continuous scan.
constexpr uint32_t kReaderSheetStage = 0;
constexpr uint32_t kReaderContinuousStage = 3;
constexpr uint32_t kReaderRearStage = 4;
// The one place the reader's read state is set for the page it reads next (the page start, the
// continuous scan's job start).
void ResetReadState(CScannerManagerScannerItem* item, uint32_t stage);
// The read state of a continuous scan, set once at the job start for all its pages.
void PrepareContinuousRead(CScannerManagerScannerItem* item);
void EOPPadding(CScannerManagerScannerItem* item, uint8_t* buffer, uint32_t size,
                const uint8_t* values);
void AnalyzeStatusToList(long status, long message, uint8_t blEOP, uint8_t blEOF, STATUSLIST* list);
long AnalyzeKRJFIFWriterErr(int result);
// The most a page of the device's JPEG may bring, for a window of `bytesPerLine` raw bytes a
// line: the frame's largest height of such lines, twice over for data that does not compress,
// and room for its headers. A page that runs on past it (a scanner that never ends it) is
// refused with the device error before it piles up in memory.
uint64_t DeviceJpegPageLimit(uint32_t bytesPerLine);
bool DeviceJpegPageTooLong(uint32_t bytesPerLine, int64_t gathered, uint32_t more);
