// The IO thread: the device side of the job start, then page after page the reads of image data
// from the device into the job's IO pipes as packets.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "drv/engine/Background.h"
#include "drv/engine/Calibration.h"
#include "drv/engine/ExtPipe.h"
#include "drv/engine/GammaTransfer.h"
#include "drv/engine/ScanJob.h"
#include "drv/platform/DbgLog.h"

using namespace krstatus;

namespace {

constexpr uint16_t kDataImage = 0x0000;
constexpr uint16_t kDataOffsetsBottomRight = 0x95;
constexpr uint16_t kDataOffsetsTopLeft = 0x96;
constexpr uint16_t kDataJpegTables = 0x8B;
constexpr uint32_t kJpegTableBlock = 132;
// The window's image mode word, and what IR/UV jobs put there from the second page on.
constexpr size_t kWindowModeAt = 39;
constexpr uint32_t kIrUvVisibleWindow = 0x03000000;
constexpr uint32_t kIrUvImageWindow = 0x02000400;
// The remaining count of data the device compresses or processes: never counted down.
constexpr int64_t kUncountedBytes = 1234567;

enum Stage : int {
  kStageJobStart = 0,
  kStagePageSetUp,
  kStageReading,
  kStagePageEnd,
  kStageLeaving
};

struct IOThreadStage {
  int stage;
};

bool IsAdfMethod(uint32_t method) { return method == 1 || method == 4 || method == 5; }

class IoJob {
 public:
  explicit IoJob(CScannerManagerScannerItem* item)
      : m_item(item), m_io(item->pIoObject), m_scanner(item->pScanner) {
    m_scanner->GetNewScanParameter(&m_dev);
    m_scanner->GetInquiryData(m_inquiry);
    m_bytesPerLine = static_cast<uint32_t>(uint64_t{m_dev.PixelNum} * m_dev.BitsPerPixel / 8);
    const uint32_t kind = ModeKind(m_dev.ScanMode);
    m_compressed = kind >= 3 && kind <= 7;
    m_ir = kind == 8 || kind == 10;
    m_uv = kind == 9 || kind == 10;
    m_hardware = m_scanner->IsEnableHWImageProcess();
    m_adf = IsAdfMethod(m_dev.ScanMethod);
    if (m_dev.ScanMethod == 4) {
      const uint32_t mode = m_scanner->GetDuplexMode();
      m_paired = mode == 0;
      m_sidesAsPages = mode == 4 || mode == 5;
      m_releaseAfterRearOnly = mode == 5;
      m_eofStyle = mode == 6;
      m_gl310 = mode == 7;
    }
    m_apart = m_eofStyle || m_gl310;
    m_twoSideStyle = m_paired || m_apart || m_item->bDeMultiplexed;
    m_maxPages = m_dev.JobPages;
    if (m_twoSideStyle) m_maxPages = (m_maxPages + 1) / 2;
    m_continuous = m_item->bContinuousMode != 0;
    // The client counts three images of a sheet with IR and UV, the scanner two pages.
    if (m_ir && m_uv) m_maxPages = 2 * ((m_maxPages + 2) / 3);
    // The multi-feed forward holds a page's news for its end packet: a continuous page has none.
    m_multiFeedForward = !m_continuous && m_scanner->GetFeature(kFeatureMultiFeedForward);
    m_fixedEndBlocks = m_item->bDeMultiplexed &&
                       (m_item->dwDuplexTransferMode == 2 || m_item->dwDuplexTransferMode == 3);
    m_continuousCycle =
        m_continuous && (m_scanner->GetFeature(kFeatureTransferSizeIgnoresContinuous) ||
                         m_scanner->GetFeature(kFeatureContinuousMediaCheck));
    const uint32_t duplexMode = m_dev.ScanMethod == 4 ? m_scanner->GetDuplexMode() : 0;
    m_dropAfterEndOfPage =
        m_scanner->GetFeature(kFeatureDropAfterEndOfPage) || duplexMode == 2 || duplexMode == 3;
  }

  void Run();

 private:
  // ---- writing packets ----
  CExtPipe* SidePipe(uint32_t side) const {
    return m_item->Pipes[side == 0 ? kPipeIoFront : kPipeIoRear];
  }
  // The pipe a side's data goes to: the block-flagged style swaps them for the other tray.
  CExtPipe* DataPipe(uint32_t side) const {
    if (m_gl310 && m_item->TessalineTrayStatus == 1) side = 1 - side;
    return SidePipe(side);
  }
  void Write(CExtPipe* pipe, const uint8_t* data, uint32_t size) {
    if (pipe == nullptr) return;
    if (!pipe->Write(size, data)) {
      m_item->lIOStatus = kNoMemory;
      throw IOThreadStage{m_stage};
    }
  }
  void WriteHeader(CExtPipe* pipe, const PIPE_PACKAGE_HEADER& h) {
    Write(pipe, reinterpret_cast<const uint8_t*>(&h), kHeaderSize);
  }
  PIPE_PACKAGE_HEADER DataHeader(bool last, uint32_t size, uint32_t effective) {
    PIPE_PACKAGE_HEADER h{};
    h.type = kPacketImage;
    h.bADFStatus = m_item->bIOADFStatus;
    h.dwSize = size;
    h.dwEffectiveSize = effective;
    h.lMessageStatusLong = m_item->lIOMessage;
    h.blLastImagePacket = last ? 1 : 0;
    m_item->lIOMessage = 0;
    m_item->lIOStatus = 0;
    return h;
  }
  void Dump(uint32_t side, const uint8_t* data, uint32_t size) {
    if (gdwDebugLevel > 2)
      AppendDebugRawFile(side == 0 ? m_item->IOFrontRawDumpName : m_item->IORearRawDumpName, data,
                         size);
  }
  // Image data of the side being read (`side` 0 for one-sided and paired pages).
  void WriteData(uint32_t side, bool last, uint32_t size, uint32_t effective) {
    const PIPE_PACKAGE_HEADER h = DataHeader(last, size, effective);
    if (m_apart) {
      CExtPipe* pipe = DataPipe(side);
      DbgPrintf(1,
                m_eofStyle ? "IOThread: EOF duplex write data to (%s) pipe."
                           : "IOThread: GL310 duplex write data to (%s) pipe.",
                side == 0 ? "Front" : "Rear");
      WriteHeader(pipe, h);
      Write(pipe, m_item->pFrontReadBuffer, size);
      Dump(side, m_item->pFrontReadBuffer, size);
      return;
    }
    CExtPipe* front = SidePipe(0);
    WriteHeader(front, h);
    Write(front, m_item->pFrontReadBuffer, size);
    Dump(0, m_item->pFrontReadBuffer, size);
    if (m_paired) {
      Write(SidePipe(1), m_item->pRearReadBuffer, size);
      Dump(1, m_item->pRearReadBuffer, size);
    }
  }
  // The R2 end-of-page style: the bytes behind the last page's end in its block, the first data
  // of this page (one stream: the front pipe).
  void WriteCarried(bool last) {
    const uint32_t size = static_cast<uint32_t>(m_carried.size());
    const PIPE_PACKAGE_HEADER h = DataHeader(last, size, size);
    CExtPipe* front = SidePipe(0);
    WriteHeader(front, h);
    Write(front, m_carried.data(), size);
    Dump(0, m_carried.data(), size);
  }
  void WriteControl(CExtPipe* pipe, uint32_t type, int32_t status, int32_t message,
                    bool jobFinished) {
    PIPE_PACKAGE_HEADER h{};
    h.type = type;
    h.bADFStatus = m_item->bIOADFStatus;
    h.lStatusLong = status;
    h.lMessageStatusLong = message;
    h.blJobFinished = jobFinished ? 1 : 0;
    WriteHeader(pipe, h);
  }
  // The end of one image: page information and its end packet; the page count goes up first,
  // so the reader never counts the page down before it was counted.
  void WriteImageEnd(CExtPipe* pipe, uint32_t type, int32_t message) {
    pipe->IncreasePageCount();
    PageInformation page{};
    page.Width = m_io->GetImageWidth();
    page.Height = m_io->GetImageHeight();
    page.Size = m_io->GetImageSize();
    page.JPEGDRI = m_io->GetImageJpegDRI();
    page.BytesPerLine = m_io->GetImageBytesPerLine();
    page.ScanMode = m_io->GetImageScanMode();
    uint8_t payload[kPageInformationSize];
    PutPageInformation(payload, page, m_tables);
    PIPE_PACKAGE_HEADER h{};
    h.type = kPacketPageInformation;
    h.bADFStatus = m_item->bIOADFStatus;
    h.dwSize = kPageInformationSize;
    h.dwEffectiveSize = kPageInformationSize;
    WriteHeader(pipe, h);
    Write(pipe, payload, kPageInformationSize);
    WriteControl(pipe, type, 0, message, false);
  }

  // ---- steps ----
  void Fail(int32_t status) {
    m_item->lIOStatus = status;
    throw IOThreadStage{m_stage};
  }
  int32_t IoStatus() const { return static_cast<int32_t>(m_io->GetStatusLong()); }
  void CommandFailed() { Fail(IoStatus() != 0 ? IoStatus() : kSystemError); }
  // The preparation functions keep their status in the item's error word when it is theirs.
  void PreparationFailed() {
    const int32_t own = m_item->lErrorStatus;
    Fail(own != 0 ? own : (IoStatus() != 0 ? IoStatus() : kUnknown));
  }
  void SendOffsets();
  void JobStart();
  bool WaitForPageStart();
  // False when the job was cancelled before the next sheet was fed.
  bool PageSetUp();
  // The job's end packets without another page (a cancel between sheets).
  void EndJobBetweenSheets();
  void ReadPage();
  void EndOfPage();
  enum class ContinuousEnd { kNextSheet, kNoPaper, kCancelled };
  // `ahead`: bytes of the next sheet left at the read buffer's start for the next READ's block.
  ContinuousEnd ContinuousEndOfPage(uint32_t valid, uint32_t size, uint32_t* ahead);
  void ContinuousNextSheet();
  bool Cancelled() {
    EnterKrCriticalSection(&m_item->ItemCriticalSection);
    const bool c = m_item->bCancel != 0;
    LeaveKrCriticalSection(&m_item->ItemCriticalSection);
    return c;
  }
  void FailurePath();

  CScannerManagerScannerItem* m_item;
  IoObject* m_io;
  CScanner* m_scanner;
  SCANPARAMETER_UNION m_dev{};
  uint8_t m_inquiry[kInquiryCopySize] = {};
  uint8_t m_tables[kJpegTablesSize] = {};
  uint32_t m_bytesPerLine = 0;
  bool m_compressed = false, m_hardware = false, m_adf = false;
  bool m_paired = false, m_sidesAsPages = false, m_releaseAfterRearOnly = false;
  bool m_eofStyle = false, m_gl310 = false, m_apart = false, m_twoSideStyle = false;
  bool m_multiFeedForward = false;
  bool m_fixedEndBlocks = false;
  bool m_ir = false, m_uv = false;    // the job's sheets give a visible and an IR/UV image
  bool m_continuous = false;          // pages follow each other in one stream of READs
  bool m_continuousCycle = false;     // ... with the unit let go and checked at each end of page
  bool m_dropAfterEndOfPage = false;  // the rest of an end-of-page block is not the next page's
  uint32_t m_maxPages = 0;
  int m_stage = kStageJobStart;
  uint32_t m_pageCounter = 0;
  uint32_t m_frontImageBytes = 0;
  bool m_frontBlank = false;  // the front side of the pair came as a blank page, with no bytes
  bool m_endJob = false;
  // The page being read.
  bool m_ok = true, m_multiFeed = false, m_skew = false, m_blank = false;
  bool m_cancelled = false, m_ioErrorCancel = false, m_hardwareCancel = false;
  bool m_sideDone[2] = {false, false};
  bool m_sideEndWritten[2] = {false, false};
  int64_t m_remaining[2] = {0, 0};
  uint32_t m_side = 0;  // the side being read (styles 6 and 7)
  uint64_t m_sideBytes[2] = {0, 0};
  std::vector<uint8_t> m_carried;  // R2 end-of-page style: the next page's first bytes
  uint32_t m_carriedOffset = 0;
};

void IoJob::SendOffsets() {
  const uint8_t bits = m_inquiry[91];
  if (!m_adf || (bits & 0x03) == 0) return;
  auto block = [&](uint16_t type, uint16_t first, uint16_t second) {
    uint8_t b[10] = {};
    b[2] = 1;
    b[3] = 10;
    const uint16_t a = (bits & 0x01) != 0 ? first : 0;
    const uint16_t c = (bits & 0x02) != 0 ? second : 0;
    uint16_t flags = 0;
    if ((a & 0x8000) != 0) flags |= 0x1;
    if (((a ^ c) & 0x8000) != 0) flags |= 0x2;
    PutBE16(b + 4, flags);
    PutBE16(b + 6, a & 0x7FFF);
    PutBE16(b + 8, c & 0x7FFF);
    if (!m_io->Send(b, sizeof b, type)) CommandFailed();
  };
  block(kDataOffsetsBottomRight, m_dev.TuneScanLengthBottom, m_dev.TuneScanLengthRight);
  block(kDataOffsetsTopLeft, m_dev.TuneScanLengthTop, m_dev.TuneScanLengthLeft);
}

void IoJob::JobStart() {
  m_stage = kStageJobStart;
  const uint32_t kind = ModeKind(m_dev.ScanMode);
  const bool jpegKind = kind >= 3 && kind <= 6;
  const bool backgroundWanted = m_adf && m_dev.byBackgroundLines != 0 &&
                                (!m_scanner->GetFeature(kFeatureExtendedModes) || !jpegKind);
  if (backgroundWanted && m_scanner->GetFeature(kFeatureBackgroundScan)) {
    DbgPrintf(1, "IOThread: ScanBackground");
    if (!ScanBackgroundToBuffer(m_item)) PreparationFailed();
  }
  SendOffsets();
  std::memcpy(m_tables, m_item->DefaultLumaQuant, 64);
  std::memcpy(m_tables + 64, m_item->DefaultChromaQuant, 64);
  if (jpegKind) {
    uint8_t block[kJpegTableBlock] = {};
    if (m_dev.Compression == 132) {
      block[2] = 1;
      block[3] = kJpegTableBlock;
      std::memcpy(block + 4, m_tables, kJpegTablesSize);
      if (!m_io->Send(block, kJpegTableBlock, kDataJpegTables)) CommandFailed();
    } else {
      if (!m_io->Read(block, kJpegTableBlock, kDataJpegTables)) CommandFailed();
      std::memcpy(m_tables, block + 4, kJpegTablesSize);
    }
  }
  if (!m_scanner->GetFeature(kFeatureNoLaterCalibration) && !DoCalibration(m_item, &m_dev))
    PreparationFailed();
  if ((kind == 1 || kind == 2 || m_scanner->GetFeature(kFeatureColourMatrix)) &&
      !DoSendYCCMatrix(m_item))
    PreparationFailed();
  DbgPrintf(1, "IOThread:Send Gamma");
  if (!DoSendGammaTable(m_item)) PreparationFailed();
  if (backgroundWanted && !m_scanner->GetFeature(kFeatureBackgroundScan)) {
    DbgPrintf(1, "IOThread: ReadBackground");
    if (!GetBackgroundToBuffer(m_item)) PreparationFailed();
  }
  if (m_adf) {
    DbgPrintf(1, "IOThread: Counting Padding Values");
    CountingPaddingValues(m_item);
  }
}

// Waits until the client starts the next page or cancels; false after a cancel.
bool IoJob::WaitForPageStart() {
  DbgPrintf(1, "IOTHREAD: waiting for StartScan");
  LockKrMutex(&m_item->PageStartMutex);
  m_item->bIOThreadWaiting = 1;
  while (!m_item->bPageStartRequested && !m_item->bCancel)
    WaitKrCondition(&m_item->PageStartCondition, &m_item->PageStartMutex);
  m_item->bPageStartRequested = 0;
  m_item->bIOThreadWaiting = 0;
  m_item->bIOThreadWoken = 1;
  UnlockKrMutex(&m_item->PageStartMutex);
  return !Cancelled();
}

void IoJob::EndJobBetweenSheets() {
  DbgPrintf(1, "IOTHREAD: Do End Job , Reason=(User/IoError) Cancel");
  m_endJob = true;
  const PIPE_PACKAGE_HEADER end = EndJobPacket();
  for (uint32_t side = 0; side < (m_apart ? 2u : 1u); ++side) WriteHeader(SidePipe(side), end);
}

bool IoJob::PageSetUp() {
  m_stage = kStagePageSetUp;
  if (gdwDebugLevel >= 3) {
    std::snprintf(m_item->IOFrontRawDumpName, sizeof m_item->IOFrontRawDumpName,
                  "%.40s-IORawFront%03u.raw", m_item->DumpPrefix, m_pageCounter);
    std::snprintf(m_item->IORearRawDumpName, sizeof m_item->IORearRawDumpName,
                  "%.100s-IORawRear%03u.raw", m_item->DumpPrefix, m_pageCounter);
    DeleteDebugRawFile(m_item->IOFrontRawDumpName);
    DeleteDebugRawFile(m_item->IORearRawDumpName);
  }
  DbgPrintf(1, "IOThread: Wait Pipe");
  CExtPipe* front = SidePipe(0);
  if (front->IsHighUsage()) front->WaitToLowUsage();
  const bool rearOfPair = m_sidesAsPages && m_pageCounter % 2 == 0;
  if (rearOfPair) return true;
  // A cancel that came while the client was pages behind (the wait above) ends the job before
  // another sheet is fed only to be thrown away.
  if (Cancelled()) return false;
  if (m_pageCounter >= 2 && (m_inquiry[88] & 0x08) == 0) {
    KR_WindowDataSet_VER2 window;
    std::memset(&window, 0, sizeof window);
    m_scanner->GetWindowDescriptor(m_item, &window);
    if ((m_ir || m_uv) && m_scanner->GetFeature(kFeatureIrUvWindowKind)) {
      // Odd pages are a sheet's visible image, even pages its IR/UV image.
      const uint32_t mode = GetBE32(window.Data + kWindowModeAt);
      PutBE32(window.Data + kWindowModeAt,
              m_pageCounter % 2 == 1 ? mode | kIrUvVisibleWindow : kIrUvImageWindow);
    }
    SwapWindowForTray(m_item, &window);
    DbgPrintf(1, "Dump Window Descriptor");
    DbgDump(1, window.Data, sizeof window.Data);
    DbgPrintf(1, "IOThread:Set Window");
    if (!m_io->SetWindow(window.Data, sizeof window.Data)) CommandFailed();
    SendOffsets();
  }
  if (m_pageCounter >= 2 && (m_inquiry[88] & 0x10) == 0) {
    DbgPrintf(1, "IOThread:Send Gamma");
    if (!DoSendGammaTable(m_item)) PreparationFailed();
  }
  if (m_pageCounter >= 2 && m_scanner->GetFeature(kFeatureCalibrateLaterPages) &&
      !m_scanner->GetFeature(kFeatureNoLaterCalibration) && (m_inquiry[88] & 0x08) == 0 &&
      !DoCalibration(m_item, &m_dev))
    PreparationFailed();
  DbgPrintf(1, "IOThread: Reserve Unit(0)");
  if (!m_io->ReserveUnit(0)) CommandFailed();
  return true;
}

void IoJob::ReadPage() {
  m_stage = kStageReading;
  m_ok = true;
  m_multiFeed = m_skew = m_blank = false;
  m_cancelled = m_ioErrorCancel = m_hardwareCancel = false;
  const bool rearOfPair = m_sidesAsPages && m_pageCounter % 2 == 0;
  const bool counted = !m_compressed && !m_hardware && !m_item->bUnknownPageLength && !m_continuous;
  int64_t pageBytes = m_item->llPageSizeEstimate;
  if (m_item->bDeMultiplexed) pageBytes *= 2;  // one stream carries both sides
  // Style 3 leaves a short last unit's rest as a gap between its front and its rear: the
  // stream is longer by as much, and the last block's image data shorter.
  uint32_t gap = 0;
  const uint32_t unit = m_item->dwDeMuxBlockSize;
  if (counted && m_item->bDeMultiplexed && m_item->dwDuplexTransferMode == 3 && unit != 0 &&
      m_item->llPageSizeEstimate % unit != 0)
    gap = unit - static_cast<uint32_t>(m_item->llPageSizeEstimate % unit);
  pageBytes += gap;
  if (m_compressed || m_hardware) pageBytes = kUncountedBytes;
  // The rear side is as long as its front, but a blank front brought no bytes to tell.
  if (rearOfPair && !m_frontBlank) pageBytes = m_frontImageBytes;
  // Styles 6 and 7 count each side on its own: one count for both would end the page after one
  // side's bytes.
  m_remaining[0] = m_remaining[1] = pageBytes;
  m_sideDone[0] = m_sideDone[1] = false;
  m_sideEndWritten[0] = m_sideEndWritten[1] = false;
  m_sideBytes[0] = m_sideBytes[1] = 0;
  m_side = 0;
  if (!m_apart) m_sideDone[1] = true;
  // The de-multiplexer splits every packet from a unit boundary: there the carried bytes open
  // the page's first block, whose read is shorter by as much, so the blocks stay whole units.
  uint32_t ahead = 0;
  if (!m_carried.empty() && m_item->bDeMultiplexed) {
    DbgPrintf(1, "IOThread: R2 EOP Mark=> put last result in first block , from shift %d size %d",
              m_carriedOffset, static_cast<int>(m_carried.size()));
    ahead = static_cast<uint32_t>(m_carried.size());
    std::memcpy(m_item->pFrontReadBuffer, m_carried.data(), ahead);
    m_carried.clear();
  } else if (!m_carried.empty()) {
    DbgPrintf(1, "IOThread: R2 EOP Mark=> put last result in first block , from shift %d size %d",
              m_carriedOffset, static_cast<int>(m_carried.size()));
    const int64_t size = static_cast<int64_t>(m_carried.size());
    WriteCarried(counted && m_remaining[0] - size <= 0);
    if (counted) m_remaining[0] -= size;
    m_sideBytes[0] += m_carried.size();
    m_carried.clear();
    if (counted && m_remaining[0] <= 0) m_sideDone[0] = true;
  }
  bool pageDone = m_sideDone[0] && m_sideDone[1];
  while (!pageDone) {
    const uint32_t side = m_apart ? m_side : 0;
    uint32_t size = m_item->dwReadUnit;
    if (counted && m_remaining[side] < size) size = static_cast<uint32_t>(m_remaining[side]);
    DbgPrintf(1, "IOThread: Read image %d Bytes remain %lld bytes", size,
              static_cast<long long>(m_remaining[side]));
    uint32_t got = 0;
    bool readOk = true;
    if (ahead < size)
      readOk = m_io->ReadImage(m_item, m_item->pFrontReadBuffer + ahead,
                               m_paired ? m_item->pRearReadBuffer : nullptr, size - ahead,
                               kDataImage, &got);
    else
      size = ahead;
    got += ahead;
    ahead = 0;
    bool endOfPage = false, endOfFile = false, failed = false;
    bool continuousEnd = false, noPaper = false;
    // This read met a blank side: its end says so (styles that read the sides apart end the
    // other side on its own).
    bool blankRead = false;
    int32_t status = 0;
    if (!readOk) {
      status = IoStatus();
      switch (status) {
        case kBlankPage:
          DbgPrintf(1, "IOThread: Set BlankPaper as EOP");
          endOfPage = m_blank = blankRead = true;
          break;
        case kEndOfPage:
          DbgPrintf(1, "IOThread: Set EOP for get EOP");
          endOfPage = true;
          break;
        case kEndOfFile:
          DbgPrintf(1, "IOThread: Set EOF for get EOF");
          endOfFile = true;
          if (m_dev.ScanMethod != 4) m_item->bEOFPageFlow = 1;
          break;
        case kSkew:
          DbgPrintf(1, "IOThread: Get skew error in read image");
          if (m_item->bSkewAsMessage) {
            DbgPrintf(1, "IOThread: set skew error message");
            m_item->lIOMessage = kSkew;
          } else {
            m_skew = true;
            failed = true;
          }
          break;
        case kMultiFeed:
        case kEopMultiFeed:
          DbgPrintf(1, status == kMultiFeed ? "IOThread: Get multi feed in read image"
                                            : "IOThread: Get EOP with multi feed in read image");
          if (status == kEopMultiFeed) endOfPage = true;
          if (m_item->bMultiFeedAsMessage) {
            if (m_multiFeedForward) {
              DbgPrintf(1, "IOThread: Foward multifeed to release uit");
              m_multiFeed = true;
            } else {
              DbgPrintf(1, "IOThread: set multi feed message");
              m_item->lIOMessage = kMultiFeed;
            }
          } else if (m_multiFeedForward) {
            DbgPrintf(1, "IOThread: Foward multifeed status and virtual set EOP");
            m_multiFeed = true;
            endOfPage = true;
          } else {
            m_multiFeed = true;
            failed = true;
          }
          break;
        default:
          failed = true;
          break;
      }
      if (!failed) m_io->ResetStatus();
    } else {
      got = size;
    }
    // A read the client's cancel broke off (its transfer aborted) is no device error: the page
    // ends as cancelled, and the device is let go with the cancel's control value.
    bool brokenOff = false;
    if (failed && status != kReadAbort && !m_multiFeed && !m_skew && Cancelled()) {
      DbgPrintf(1, "IOThread: read broken off by the cancel (status %d)", status);
      m_io->ResetStatus();
      failed = false;
      brokenOff = true;
    }

    if (brokenOff) {
      // Nothing arrived.
    } else if (failed) {
      m_item->lIOStatus = status != 0 ? status : kSystemError;
      const int32_t reported = m_multiFeed ? kMultiFeed : m_skew ? kSkew : m_item->lIOStatus;
      WriteControl(m_apart ? DataPipe(side) : SidePipe(0), kPacketImage, reported, 0, false);
      // The other side's page, not read to its end yet, is cut short by the same condition.
      if (m_apart && !m_sideDone[1 - side])
        WriteControl(DataPipe(1 - side), kPacketImage, reported, 0, false);
      m_ok = false;
    } else if (m_continuous && endOfPage) {
      DbgPrintf(1, "IOThread: Get EOP size=%d", got);
      const ContinuousEnd end = ContinuousEndOfPage(got, size, &ahead);
      noPaper = end == ContinuousEnd::kNoPaper;
      continuousEnd = end == ContinuousEnd::kCancelled;
    } else if (!endOfPage && !endOfFile) {
      m_sideEndWritten[side] = false;
      const bool last = counted && m_remaining[side] - size <= 0;
      WriteData(side, last, size, last ? size - std::min(gap, size) : size);
      if (counted) m_remaining[side] -= size;
      m_sideBytes[side] += size;
      DbgPrintf(1, "IOThread: get image OK");
    } else {
      if (!endOfFile)
        DbgPrintf(1, "IOThread: Get EOP size=%d", got);
      else if (side == 0)
        DbgPrintf(1, "IOThread: Get EOF(F) size=%d", got);
      else
        DbgPrintf(1, "IOThread: Get EOF(R) size=%d", got);
      const uint32_t valid = got;
      if (BaseMode(m_dev.ScanMode) < (endOfFile ? 5u : 6u) && !m_hardware && !m_compressed &&
          m_bytesPerLine != 0)
        got -= got % m_bytesPerLine;
      if (!endOfFile && m_item->bR2EOPStyle && !m_apart && !m_paired && valid < size &&
          !blankRead) {
        // The block's bytes behind the end are the next page's first (a blank side's read
        // brought none).
        m_carriedOffset = valid;
        m_carried.assign(m_item->pFrontReadBuffer + valid, m_item->pFrontReadBuffer + size);
        DbgPrintf(1, "IOThread: R2 EOP Mark=> Shift from %d size %d", valid, size - valid);
      }
      // Styles 2 and 3 send their end blocks whole: the de-multiplexer finds a short last
      // unit's rear (behind style 3's gap) in the block beyond the valid bytes.
      WriteData(side, true, m_fixedEndBlocks ? size : got, got);
      m_sideBytes[side] += got;
      CExtPipe* pipe = m_apart ? DataPipe(side) : SidePipe(0);
      WriteImageEnd(pipe, endOfFile ? kPacketEndOfFile : kPacketEndOfPage,
                    blankRead ? kBlankPage : 0);
      if (endOfFile && !m_eofStyle) {
        // An image of a long page ended; the sheet goes on: the next image follows on the same
        // page, counted by what arrived.
        if (counted) m_remaining[side] -= got;
      } else {
        m_sideEndWritten[side] = true;
        m_sideDone[side] = true;
        m_remaining[side] = 0;
      }
    }
    if (counted && m_remaining[side] <= 0) m_sideDone[side] = true;
    if (m_apart && !m_sideDone[1 - side] && (m_gl310 || m_sideDone[side])) m_side = 1 - side;

    // Page-done decision.
    EnterKrCriticalSection(&m_item->ItemCriticalSection);
    const bool cancel = m_item->bCancel != 0;
    const bool allDone = m_sideDone[0] && m_sideDone[1];
    if (failed) {
      // A failed read ends the page whatever else holds: reading again would wait on a device
      // that already said no (or stopped answering).
      m_cancelled = true;
      if (status == kReadAbort) {
        DbgPrintf(1, "IOThread: *user press HW cancel");
        m_hardwareCancel = true;
      } else {
        DbgPrintf(1, "IOThread: *IoErrorCancel");
        m_ioErrorCancel = true;
      }
      pageDone = true;
    } else if (noPaper) {
      DbgPrintf(1, "IOThread: Continuous scan no paper");
      pageDone = true;
    } else if (brokenOff) {
      m_cancelled = true;
      pageDone = true;
      DbgPrintf(1, "IOThread: Remaining size=%lld *User Cancel",
                static_cast<long long>(m_remaining[side]));
    } else if (cancel) {
      m_cancelled = true;
      // A continuous page never counts down: it ends at its end of page.
      pageDone = allDone || continuousEnd;
      DbgPrintf(1, "IOThread: Remaining size=%lld *User Cancel",
                static_cast<long long>(m_remaining[side]));
    } else if (!allDone) {
      if (m_item->dwIOEndingPage != 0) {
        const uint32_t ending = m_item->dwIOEndingPage;
        uint32_t sheet = ending;
        if (m_twoSideStyle) sheet = (sheet + 1) / 2;
        // The client's images of an IR/UV sheet come from two device pages, the visible image
        // and the IR/UV image: the client's page names the device page it came from.
        if (m_ir && m_uv)
          sheet = ending % 3 == 1 ? 2 * ((ending + 2) / 3) - 1 : 2 * ((ending + 2) / 3);
        // A client that ended the front page of a sheet still takes its rear: only the end of
        // a rear page ends the sheet (the front's end would cut the rear short).
        if (m_twoSideStyle && ending % 2 == 1) sheet = 0;
        const bool mayEnd =
            m_gl310 ? !(m_sideDone[0] && !m_sideDone[1]) : (!m_eofStyle || m_side == 1);
        if (sheet == m_pageCounter && mayEnd) {
          DbgPrintf(1, "IOThread: AP end current scanning page (page %d)", m_pageCounter);
          pageDone = true;
        }
        m_item->dwIOEndingPage = 0;
      }
    } else {
      DbgPrintf(1, "IOThread: Remaining size=0");
      pageDone = true;
    }
    LeaveKrCriticalSection(&m_item->ItemCriticalSection);
  }
  if (m_sidesAsPages && !rearOfPair) {
    m_frontImageBytes = static_cast<uint32_t>(m_sideBytes[0]);
    m_frontBlank = m_blank;
  }
}

// A continuous page's end: the page's last data and end, and the rest of the block as the next
// page's first data. A cancel is taken here, before the page's last bytes go out: one that
// comes later (the client's answer to this page) ends the next page.
IoJob::ContinuousEnd IoJob::ContinuousEndOfPage(uint32_t valid, uint32_t size, uint32_t* ahead) {
  const bool cancelled = Cancelled();
  uint32_t got = valid;
  if (BaseMode(m_dev.ScanMode) < 6u && !m_hardware && !m_compressed && m_bytesPerLine != 0)
    got -= got % m_bytesPerLine;
  WriteData(0, true, got, got);
  m_sideBytes[0] += got;
  if (m_continuousCycle) {
    m_stage = kStagePageEnd;
    if (!m_io->ReleaseUnit(0)) CommandFailed();
    DbgPrintf(1, "IOThread: Continuous scan media check ");
    uint8_t status[5] = {};
    if (!m_io->MediaCheck(status, sizeof status, 0)) {
      const int32_t s = IoStatus();
      if (s == kMultiFeed && m_item->bMultiFeedAsMessage) {
        DbgPrintf(1, "IOThread: Continuous scan get multi feed and continue");
        m_item->lIOMessage = kMultiFeed;
      } else if (s == kSkew && m_item->bSkewAsMessage) {
        DbgPrintf(1, "IOThread: Continuous scan get skew error and continue");
        m_item->lIOMessage = kSkew;
      } else {
        CommandFailed();
      }
      m_io->ResetStatus();
    }
    m_item->bIOADFStatus = status[4];
  }
  WriteImageEnd(SidePipe(0), kPacketEndOfPage, m_blank ? kBlankPage : 0);
  m_sideEndWritten[0] = true;
  m_blank = false;
  if (!m_dropAfterEndOfPage && !cancelled && valid < size && m_item->bDeMultiplexed) {
    // The de-multiplexer splits every packet from a unit boundary, and the next sheet's stream
    // starts with one: its first bytes open the next READ's block (shorter by as much), so the
    // blocks stay whole units. Written as a packet of their own, a rest that is not whole
    // units would put the sheet's front bytes into its rear and the sides out of step.
    m_sideEndWritten[0] = false;
    *ahead = size - valid;
    std::memmove(m_item->pFrontReadBuffer, m_item->pFrontReadBuffer + valid, *ahead);
  } else if (!m_dropAfterEndOfPage && !cancelled && valid < size) {
    // The stream ran on into the next sheet: the block's bytes behind the end are its first.
    m_sideEndWritten[0] = false;
    const uint32_t rest = size - valid;
    const PIPE_PACKAGE_HEADER h = DataHeader(false, rest, rest);
    WriteHeader(SidePipe(0), h);
    Write(SidePipe(0), m_item->pFrontReadBuffer + valid, rest);
    Dump(0, m_item->pFrontReadBuffer + valid, rest);
    if (m_paired) {
      Write(SidePipe(1), m_item->pRearReadBuffer + valid, rest);
      Dump(1, m_item->pRearReadBuffer + valid, rest);
    }
  }
  if (cancelled) return ContinuousEnd::kCancelled;
  if ((m_item->bIOADFStatus & 0x01) == 0) return ContinuousEnd::kNoPaper;
  DbgPrintf(1, "IOThread: Continuous scan in EOP Wait Pipe");
  CExtPipe* front = SidePipe(0);
  if (front->IsHighUsage()) front->WaitToLowUsage();
  ++m_pageCounter;
  if (m_continuousCycle) ContinuousNextSheet();
  m_stage = kStageReading;
  return ContinuousEnd::kNextSheet;
}

// The unit taken again for the next sheet of a continuous scan, set up as a first page was.
void IoJob::ContinuousNextSheet() {
  m_stage = kStagePageSetUp;
  if (m_scanner->GetFeature(kFeatureWindowEachPage)) {
    DbgPrintf(1, "IOThread: continuous scan simulate Set Window");
    KR_WindowDataSet_VER2 window;
    std::memset(&window, 0, sizeof window);
    m_scanner->GetWindowDescriptor(m_item, &window);
    SwapWindowForTray(m_item, &window);
    if (!m_io->SetWindow(window.Data, sizeof window.Data)) CommandFailed();
    if (m_scanner->GetFeature(kFeatureCalibrateLaterPages) && !DoCalibration(m_item, &m_dev))
      PreparationFailed();
    if ((BaseMode(m_dev.ScanMode) == 6 || m_scanner->GetFeature(kFeatureColourMatrix)) &&
        !DoSendYCCMatrix(m_item))
      PreparationFailed();
  }
  DbgPrintf(1, "IOThread: Reserve Unit");
  if (!m_io->ReserveUnit(0)) CommandFailed();
}

void IoJob::EndOfPage() {
  m_stage = kStagePageEnd;
  const bool frontOfPair = m_sidesAsPages && m_pageCounter % 2 == 1;
  const char* reason = "?";
  if (!m_adf) {
    reason = "Not ADF mode";
    m_endJob = true;
  } else if (m_multiFeed && !m_item->bMultiFeedAsMessage) {
    reason = "Stop for Multi feed";
    m_ok = false;
    m_endJob = true;
  } else if (m_skew && !m_item->bSkewAsMessage) {
    reason = "Stop for Skew error";
    m_endJob = true;
  } else if (!m_ok) {
    m_endJob = true;
  } else if (m_cancelled) {
    reason = "(User/IoError) Cancel";
    m_endJob = true;
  } else if (m_maxPages != 0 && m_pageCounter == m_maxPages) {
    reason = "till max scan count";
    m_endJob = true;
  } else if (m_continuous) {
    reason = "Continuous scan end job";
    m_endJob = true;
  }
  const bool userCancel = m_cancelled && !m_ioErrorCancel;
  bool released = true;
  if (!(frontOfPair && m_releaseAfterRearOnly && !m_endJob)) {
    const uint8_t control = m_scanner->GetFeature(kFeatureCancelControl) && userCancel ? 1 : 0;
    DbgPrintf(1, "IOThread: Release unit Control link = %d", control);
    if (!m_io->ReleaseUnit(control)) {
      const int32_t s = IoStatus();
      // A condition taken as a message is the page's news, not a failed release: the sheet
      // left and the job goes on to its media check (else it would end for want of paper).
      if (s == kMultiFeed && m_item->bMultiFeedAsMessage) {
        DbgPrintf(1, "IOThread: set multi feed message");
        m_item->lIOMessage = kMultiFeed;
      } else if (s == kSkew && m_item->bSkewAsMessage) {
        DbgPrintf(1, "IOThread: set skew message");
        m_item->lIOMessage = kSkew;
      } else {
        released = false;
        if (s == kMultiFeed) DbgPrintf(1, "IOThread: treat multi feed as error");
        if (s == kSkew) DbgPrintf(1, "IOThread: treat skew as error");
        m_item->lIOStatus = s != 0 ? s : kSystemError;
        m_ok = false;
      }
    }
  }
  if (!frontOfPair) m_item->bIOADFStatus = 0;
  const bool check =
      (!m_endJob && released && !frontOfPair) || m_scanner->GetFeature(kFeatureMediaCheckAlways);
  if (check) {
    uint8_t status[5] = {};
    if (!m_io->MediaCheck(status, sizeof status, 0)) {
      const int32_t s = IoStatus();
      DbgPrintf(1, "IOThread: Get error in Media Check");
      if (s == kMultiFeed && m_item->bMultiFeedAsMessage) {
        m_item->lIOMessage = kMultiFeed;
      } else if (s == kSkew && m_item->bSkewAsMessage) {
        DbgPrintf(1, "IOThread: Get skew in Media Check");
        m_item->lIOMessage = kSkew;
      } else {
        m_item->lIOStatus = s != 0 ? s : kSystemError;
        m_ok = false;
      }
    }
    // The answer's data came before its condition: a multi-feed taken as a message still says
    // whether paper is left.
    m_item->bIOADFStatus = status[4];
  }
  if (!m_ok) {
    reason = "Have Error (After Release/MediaCheck)";
    m_endJob = true;
  } else if (!m_endJob && !frontOfPair && (m_item->bIOADFStatus & 0x01) == 0) {
    reason = "No paper in ADF";
    m_endJob = true;
  }
  if (m_endJob) DbgPrintf(1, "IOTHREAD: Do End Job , Reason=%s", reason);

  // The end packets: into the front pipe, and for the styles with headers on both sides a copy
  // into the rear pipe.
  const uint32_t pipes = m_apart ? 2 : 1;
  for (uint32_t side = 0; side < pipes; ++side) {
    CExtPipe* pipe = m_apart ? DataPipe(side) : SidePipe(0);
    if (userCancel) WriteControl(pipe, kPacketImage, kReadAbort, 0, m_endJob);
    if (!m_sideEndWritten[side]) {
      pipe->IncreasePageCount();
      WriteControl(pipe, kPacketEndOfPage, 0, 0, false);
    }
  }
  int32_t message = m_item->lIOMessage;
  int32_t status = 0;
  if (m_ok) {
    if (m_multiFeed && m_item->bMultiFeedAsMessage) {
      message = kMultiFeed;
      if (userCancel) status = kReadAbort;
    } else if (m_skew && m_item->bSkewAsMessage) {
      message = kSkew;
      if (userCancel) status = kReadAbort;
    }
  } else {
    status = m_multiFeed && !m_item->bMultiFeedAsMessage ? kMultiFeed
             : m_skew && !m_item->bSkewAsMessage         ? kSkew
                                                         : m_item->lIOStatus;
    if (status == 0) status = kSystemError;
  }
  m_item->lIOMessage = 0;
  for (uint32_t side = 0; side < pipes; ++side)
    WriteControl(m_apart ? DataPipe(side) : SidePipe(0), kPacketEndOfCycle, status, message,
                 m_endJob);
  if (m_endJob && !m_ok) m_item->bIOThreadEnded = 1;
}

void IoJob::FailurePath() {
  DbgPrintf(1, "IOTHREAD: Get Exception stage %d", m_stage);
  if (m_stage <= kStagePageEnd) {
    DbgPrintf(1, "IOTHREAD: Get Exception stage Scanning Withdraw paper");
    m_io->ReleaseUnit(0);
  }
  const int32_t status = Cancelled()              ? kReadAbort
                         : m_item->lIOStatus != 0 ? m_item->lIOStatus
                                                  : kSystemError;
  const uint32_t pipes = m_apart ? 2 : 1;
  for (uint32_t side = 0; side < pipes; ++side) {
    CExtPipe* pipe = SidePipe(side);
    if (pipe == nullptr || pipe->IsFailed()) continue;
    PIPE_PACKAGE_HEADER h{};
    h.type = kPacketImage;
    h.lStatusLong = status;
    pipe->Write(kHeaderSize, reinterpret_cast<uint8_t*>(&h));
    pipe->IncreasePageCount();
    h.type = kPacketEndOfPage;
    h.lStatusLong = 0;
    pipe->Write(kHeaderSize, reinterpret_cast<uint8_t*>(&h));
    const PIPE_PACKAGE_HEADER end = EndJobPacket();
    pipe->Write(kHeaderSize, reinterpret_cast<const uint8_t*>(&end));
  }
  LockKrMutex(&m_item->BackgroundMutex);
  m_item->bBackgroundReady = 1;
  if (m_item->bBackgroundWaiter) {
    m_item->bBackgroundWaiter = 0;
    SignalKrCondition(&m_item->BackgroundCondition);
  }
  UnlockKrMutex(&m_item->BackgroundMutex);
}

void IoJob::Run() {
  m_item->bIOADFStatus = m_item->bMediaStatus;
  try {
    JobStart();
    const bool pageMode =
        (m_dev.CtrlMode & 0x1) != 0 && m_scanner->GetFeature(kFeaturePageModeContinuation);
    for (;;) {
      if (m_endJob) {
        m_stage = kStageLeaving;
        break;
      }
      const bool rearOfPair = m_sidesAsPages && m_pageCounter % 2 == 1;
      if (pageMode) {
        if (m_pageCounter == 0) {
          m_item->bFirstPageStarted = 1;
        } else if (!rearOfPair && !WaitForPageStart()) {
          EndJobBetweenSheets();
          continue;
        }
      }
      ++m_pageCounter;
      if (!PageSetUp()) {
        EndJobBetweenSheets();
        continue;
      }
      ReadPage();
      EndOfPage();
    }
  } catch (const IOThreadStage& stage) {
    m_stage = stage.stage;
    FailurePath();
  }
}

}  // namespace

void* IOThread(void* arg) {
  auto* item = static_cast<CScannerManagerScannerItem*>(arg);
  DbgNewThread(GetCurrentKrThreadId());
  {
    IoJob job(item);
    job.Run();
  }
  item->bIOThreadEnded = 1;
  DbgDelThread(GetCurrentKrThreadId());
  // Threads leave by returning: a forced unwind would run through the callers' catch-alls.
  return nullptr;
}
