// The reader thread: takes the page from the job's Read pipes, fills the client's buffer block
// by block, pads a page that ended early, and calls the client back with a status list.
#include <algorithm>
#include <cstring>

#include "drv/device/WindowDescriptor.h"
#include "drv/engine/ExtPipe.h"
#include "drv/engine/ScanJob.h"
#include "drv/jpeg/KRJFIFWriter.h"
#include "drv/platform/DbgLog.h"

using namespace krstatus;

namespace {

struct MultipleError {
  int64_t key;
  int32_t count;
  int64_t codes[6];
};
const MultipleError kMultipleErrorTable[] = {
    {kEopMultiFeed, 2, {kEndOfPage, kMultiFeed}},
    {kEopBlankPage, 2, {kEndOfPage, kBlankPage}},
    {0, 0, {}},
};

constexpr uint32_t kErrorSize = 0xFFFFFFFF;
// The client modes of the IR and the UV image of a sheet.
constexpr uint32_t kModeIR = 6;
constexpr uint32_t kModeUV = 7;

bool IsAdfMethod(uint32_t method) { return method == 1 || method == 4 || method == 5; }

// A pipe that gives no more: after the client's cancel it is the cancel's (its pipes were
// closed and dropped what found no room), else the pipe failed.
int32_t LostPipeStatus(const CScannerManagerScannerItem* item) {
  return item->bCancel != 0 ? kReadAbort : kSystemError;
}

// The pipe the current page's data comes from: the rear pipe while a rear page is read.
CExtPipe* DataSource(CScannerManagerScannerItem* item) {
  return item->dwReaderStage >= 4 ? item->pReadSourceRear : item->pReadSourceFront;
}

void StorePageInformation(CScannerManagerScannerItem* item, const PageInformation& page) {
  EnterKrCriticalSection(&item->ItemCriticalSection);
  item->LastPage = page;
  LeaveKrCriticalSection(&item->ItemCriticalSection);
}

// A page-information packet's payload: the page's record and the job's JPEG tables.
void TakePageInformation(CScannerManagerScannerItem* item, CExtPipe* pipe,
                         const PIPE_PACKAGE_HEADER& h) {
  uint8_t payload[kPageInformationSize];
  if (h.dwSize == kPageInformationSize && pipe->Read(kPageInformationSize, payload)) {
    PageInformation page{};
    uint8_t tables[kJpegTablesSize];
    GetPageInformation(payload, &page, tables);
    StorePageInformation(item, page);
    std::memcpy(item->DefaultLumaQuant, tables, 64);
    std::memcpy(item->DefaultChromaQuant, tables + 64, 64);
  } else if (h.dwSize != 0) {
    pipe->Read(h.dwSize, nullptr);
  }
}

// Reads the next header of `pipe` and acts on it; false when none was there (flexible reads)
// or it carried an error status.
bool TakeHeader(CScannerManagerScannerItem* item, CExtPipe* pipe, bool rear, uint32_t nextStage) {
  PIPE_PACKAGE_HEADER h;
  // Every header is waited for: a whole page (block size 0) arrives in one call however far
  // ahead of the scanner the client reads; a header that could not come (a failed pipe) ends
  // the call as one that was not there.
  const bool got = pipe->Read(kHeaderSize, reinterpret_cast<uint8_t*>(&h));
  item->bFirstHeader = 0;
  if (!got) {
    item->bReadNotEnoughData = 1;
    // Not a header that is yet to come: the cancelled page ends here.
    if (item->bCancel != 0) item->lErrorStatus = kReadAbort;
    return false;
  }
  DbgPrintf(2, "%sGet Packet type=%d size=%d", rear ? " (Rear) " : " (Front) ", h.type, h.dwSize);
  item->dwReadPreviousType = item->dwReadCurrentType;
  item->dwReadCurrentType = h.type;
  item->dwReadPending = h.type == kPacketImage ? h.dwSize : 0;
  // A two-sided page job whose model reports a front's multi-feed with the rear page: the rear
  // delivers the front's bytes up to the multi-feed clean, the rest with the code.
  const bool duplexPages = item->bTwoSides && !item->bContinuousDuplex && !rear;
  const uint32_t style = duplexPages ? item->pScanner->GetDuplexMultiFeedStyle() : 0;
  bool forwardedStatus = false, showMessage = h.lMessageStatusLong != 0;
  if (duplexPages && h.type == kPacketImage && !item->bForwardPending &&
      ((h.lMessageStatusLong == kMultiFeed && style != 0) ||
       (h.lStatusLong == kMultiFeed && style == 1))) {
    const bool asMessage = h.lStatusLong != kMultiFeed;
    item->bForwardPending = 1;
    item->bForwardedAsMessage = asMessage ? 1 : 0;
    item->lForwardedCode = kMultiFeed;
    item->dwForwardSize = item->dwForwardFrontBytes + h.dwSize;
    item->dwForwardCounter = 0;
    if (!asMessage) {
      DbgPrintf(1, "Get Multi Feed error : Forward multi feed error to rear");
      forwardedStatus = true;
    } else if (style == 2) {
      DbgPrintf(1, "Get Multi Feed Message: Forward multi feed message to rear");
    } else {
      DbgPrintf(1, "Get Multi Feed Message: Reset front message");
      showMessage = false;
    }
    // The page end decides from the page's message what the two pages report.
    if (asMessage) item->lMessageStatus = kMultiFeed;
  }
  if (showMessage) {
    item->bReadMessagePresent = 1;
    item->dwReadMessage = static_cast<uint32_t>(h.lMessageStatusLong);
  }
  if (h.type == kPacketEndOfCycle) {
    // Not the reader's: the page end reads it.
    std::memcpy(item->StashedEndPacket, &h, kHeaderSize);
    item->bEndPacketStashed = rear ? 2 : 1;
    item->dwReadCurrentType = kPacketEndOfPage;
    item->dwReaderStage = nextStage;
    return h.lStatusLong == 0 || (item->lErrorStatus = h.lStatusLong, false);
  }
  if (h.lStatusLong != 0 && !forwardedStatus) {
    item->lErrorStatus = h.lStatusLong;
    return false;
  }
  if (h.type == kPacketImage && !rear && item->bTwoSides) item->dwForwardFrontBytes += h.dwSize;
  const bool paired = !item->bEOFDuplexStyle && !item->bGL310DuplexStyle;
  if (duplexPages && paired && h.type == kPacketEndOfPage && h.lMessageStatusLong == kBlankPage)
    item->bPairedFrontBlank = 1;
  if (h.type == kPacketPageInformation) {
    TakePageInformation(item, pipe, h);
  } else if (h.type == kPacketEndOfFile || h.type == kPacketEndOfPage) {
    pipe->DecreasePageCount();
    item->dwReaderStage = nextStage;
  }
  return true;
}

bool GetImageToBufferPageScan(CScannerManagerScannerItem* item) {
  const bool duplexPages = item->bTwoSides && !item->bContinuousDuplex;
  const bool apart = item->bEOFDuplexStyle || item->bGL310DuplexStyle;
  switch (item->dwReaderStage) {
    case 0:
      return TakeHeader(item, item->pReadSourceFront, false, 1);
    case 1:
    case 5:
      item->dwReadPending = 0;
      item->dwReadPreviousType = kPacketImage;
      item->dwReadCurrentType = kPacketEndOfPage;
      item->bReadEndPadding = 1;
      item->dwReaderStage = item->dwReaderStage == 1 && duplexPages ? 4 : 0;
      return true;
    case 4:
      if (apart) return TakeHeader(item, item->pReadSourceRear, true, 5);
      // The paired style: the rear pipe holds exactly as many bytes as the front page brought.
      item->dwReadPreviousType = item->dwReadCurrentType;
      if (item->bForwardPending && !item->bRearCountTaken) {
        const uint32_t total = item->dwForwardFrontBytes;
        const uint32_t clean = std::min(item->dwForwardSize, total);
        item->dwReadCurrentType = kPacketImage;
        if (item->dwForwardCounter == 0) {
          item->dwForwardCounter = 1;
          DbgPrintf(1, "Raise Forwarded message/status (1st time) : Not send error");
          item->dwReadPending = clean;
          if (clean != 0) return true;
        }
        item->dwForwardCounter = 2;
        item->bRearCountTaken = 1;
        item->dwReadPending = total - clean;
        if (!item->bForwardedAsMessage) {
          DbgPrintf(1, "Raise forwarded status (2nd time) : set status");
          item->lErrorStatus = item->lForwardedCode;
          return false;
        }
        DbgPrintf(1, "Raise forwarded message (2nd time) : set message");
        item->bReadMessagePresent = 1;
        item->dwReadMessage = static_cast<uint32_t>(item->lForwardedCode);
        if (item->dwReadPending != 0) return true;
      }
      if (!item->bRearCountTaken) {
        item->bRearCountTaken = 1;
        if (item->bPairedFrontBlank) {
          item->bReadMessagePresent = 1;
          item->dwReadMessage = static_cast<uint32_t>(kBlankPage);
        }
        item->dwReadPending = item->dwForwardFrontBytes;
        item->dwReadCurrentType = kPacketImage;
        if (item->dwReadPending != 0) return true;
      }
      item->dwReadCurrentType = kPacketEndOfPage;
      item->dwReaderStage = 5;
      return true;
    default:
      item->bReadNotEnoughData = 1;
      return false;
  }
}

// Continuous scan: one stream of pages in the front Read pipe (and, for continuous duplex, the
// rear's bytes in step in the rear pipe). Every packet kind is acted on in every stage: a page
// information or end packet left unread would put its payload or its end into the next page.
bool GetImageToBufferContinuousScan(CScannerManagerScannerItem* item) {
  CExtPipe* pipe = item->pReadSourceFront;
  for (;;) {
    PIPE_PACKAGE_HEADER h;
    const bool got = pipe != nullptr && pipe->Read(kHeaderSize, reinterpret_cast<uint8_t*>(&h));
    item->bFirstHeader = 0;
    if (!got) {
      item->bReadNotEnoughData = 1;
      if (item->bCancel != 0) item->lErrorStatus = kReadAbort;
      return false;
    }
    DbgPrintf(2, " (Continuous) Get Packet type=%d size=%d", h.type, h.dwSize);
    item->bReadADFStatus = h.bADFStatus;
    if (h.type == kPacketEndOfCycle) {
      // Only the job's end has one: its status is the job's, taken by the job end as well.
      if (h.blJobFinished) item->bJobFinishedSeen |= kJobEndSeenFront;
      item->dwReadPreviousType = item->dwReadCurrentType;
      item->dwReadCurrentType = kPacketEndOfPage;
      item->dwReadPending = 0;
      if (h.lStatusLong != 0) item->lErrorStatus = h.lStatusLong;
      // A worker keeps a message it could put on no packet of its own for the end of cycle.
      if (h.lMessageStatusLong != 0) {
        item->bReadMessagePresent = 1;
        item->dwReadMessage = static_cast<uint32_t>(h.lMessageStatusLong);
      }
      // No page follows the job's end.
      if (item->lErrorStatus == 0) item->lErrorStatus = kNoPaper;
      return false;
    }
    if (item->bContinuousEndPending && h.type == kPacketImage && h.lStatusLong == 0) {
      // The rest of a page the client already took whole; a multi-feed or skew the scanner
      // reported in it still reaches the client, with the next call.
      if (h.lMessageStatusLong != 0) {
        item->bReadMessagePresent = 1;
        item->dwReadMessage = static_cast<uint32_t>(h.lMessageStatusLong);
      }
      if (h.dwSize != 0) {
        pipe->Read(h.dwSize, nullptr);
        if (item->bContinuousDuplex && item->pReadSourceRear != nullptr)
          item->pReadSourceRear->Read(h.dwSize, nullptr);
      }
      continue;
    }
    item->dwReadPreviousType = item->dwReadCurrentType;
    item->dwReadCurrentType = h.type;
    item->dwReadPending = h.type == kPacketImage ? h.dwSize : 0;
    if (h.lMessageStatusLong != 0) {
      item->bReadMessagePresent = 1;
      item->dwReadMessage = static_cast<uint32_t>(h.lMessageStatusLong);
    }
    if (h.lStatusLong != 0) {
      item->lErrorStatus = h.lStatusLong;
      return false;
    }
    switch (h.type) {
      case kPacketImage:
        break;
      case kPacketPageInformation:
        TakePageInformation(item, pipe, h);
        break;
      case kPacketEndOfPage:
        item->bMediaStatus = h.bADFStatus;
        pipe->DecreasePageCount();
        if (item->bContinuousEndPending) {
          // The end of the page already delivered: the next page begins behind it.
          item->bContinuousEndPending = 0;
          item->dwReadCurrentType = item->dwReadPreviousType = kPacketEndOfPage;
          continue;
        }
        break;
      default:
        DbgPrintf(1, "  [Error] Continous image to %d Packet Type", h.type);
        break;
    }
    // The stage follows the packets as the page scan's does; what a packet does is above.
    switch (item->dwReaderStage) {
      case 0:
        if (h.type == kPacketEndOfPage) item->dwReaderStage = 1;
        break;
      case 1:
        item->dwReaderStage = item->pScanner->GetFeature(kFeatureContinuousReading) ? 3 : 2;
        break;
      case 2:
        item->dwReaderStage = h.type == kPacketImage ? 3 : 0;
        break;
      default:
        item->dwReaderStage = 0;
        break;
    }
    return true;
  }
}

bool GetImageToBuffer(CScannerManagerScannerItem* item) {
  DbgPrintf(2, "=>GetImageToBuffer");
  if (item->bContinuousMode) return GetImageToBufferContinuousScan(item);
  return GetImageToBufferPageScan(item);
}

class PageReader {
 public:
  explicit PageReader(CScannerManagerScannerItem* item) : m_item(item) {
    item->pScanner->GetAPScanParameter(&m_ap);
    item->pScanner->GetNewScanParameter(&m_dev);
    item->pScanner->GetInquiryData(m_inquiry);
    DescribeImageOfSheet();
  }
  void Run();

 private:
  long Call(uint8_t* data, uint32_t size, long lines, long pixels) {
    DbgPrintf(1, " *** CallBack --> dwReceivedSize=%d, lReceivedLines=%ld, lReceivedPixels=%ld",
              size, lines, pixels);
    const STATUSLIST& list = m_item->StatusList;
    DbgPrintf(1, " *** CallBack --> lStatus=%d, lMessage=%ld, blEOP=%d, blEOF=%d",
              static_cast<int>(list.Status[0]), static_cast<long>(list.Status[1]), m_eop, m_eof);
    if (data != nullptr && size != kErrorSize && size != 0 && gdwDebugLevel > 2)
      AppendDebugRawFile(m_item->bRearPageNext ? m_item->RearRawDumpName : m_item->FrontRawDumpName,
                         data, size);
    SetInsideClientCallback(true);
    const long r = m_item->pfnCallBack(m_item->dwCallBackCtrlId, m_item->pCallBackDevice, data,
                                       size, lines, pixels, &m_item->StatusList);
    SetInsideClientCallback(false);
    DbgPrintf(1, " *** AP return --> lAPRet=%ld", r);
    return r;
  }
  long ErrorCall(long status) {
    AnalyzeStatusToList(status, 0, 0, 0, &m_item->StatusList);
    return Call(nullptr, kErrorSize, -1, -1);
  }
  void ClearCarry() {
    m_item->bEOFCarryPending = 0;
    m_item->dwEOFCarryLineOffset = 0;
    m_item->dwEOFCarryLastLines = 0;
  }
  // The end of an image of `lines` lines that began `offset` lines into the page: an end of
  // page ends the page; an end of file carries the page over to the next image, unless it
  // reaches the page's last line (then it is the page's end); each side of the EOF duplex style
  // ends with its own end of file, which ends that side's page.
  void EndImage(uint32_t lines, uint32_t offset, bool unknownLength) {
    if (!m_eof || m_item->bEOFDuplexStyle) {
      if (!m_eof) ClearCarry();
      m_eop = 1;
      return;
    }
    if (!unknownLength && uint64_t{offset} + lines >= m_ap.LineNum) {
      m_eof = 0;
      m_eop = 1;
      ClearCarry();
      return;
    }
    m_eop = 0;
    m_item->bEOFCarryPending = 1;
    m_item->dwEOFCarryLineOffset = offset + lines;
    m_item->dwEOFCarryLastLines = lines;
  }
  // IR and UV jobs deliver several images a sheet, told apart by the pages started: the
  // visible image in the client's mode without its IR/UV kind, then the IR (mode 6) and/or the
  // UV image (mode 7), one byte a pixel.
  void DescribeImageOfSheet() {
    const uint32_t kind = ModeKind(m_ap.ScanMode);
    const bool ir = kind == 8 || kind == 10, uv = kind == 9 || kind == 10;
    if (!ir && !uv) return;
    const uint32_t n = m_item->dwPagesStarted;
    uint32_t mode = BaseMode(m_ap.ScanMode);
    if (ir && uv) {
      if (n % 3 == 2) mode = kModeIR;
      if (n % 3 == 0) mode = kModeUV;
    } else if (n % 2 == 0) {
      mode = ir ? kModeIR : kModeUV;
    }
    m_ap.ScanMode = mode;
    if (mode == kModeIR || mode == kModeUV) {
      m_ap.BitsPerPixel = 8;
      m_ap.BytesPerLine = m_ap.PixelNum;
    }
  }
  void RewriteRawRecord(uint64_t lines, uint64_t bytes) {
    PageInformation page{};
    page.Width = m_ap.PixelNum;
    page.Height = static_cast<uint32_t>(lines);
    page.Size = static_cast<uint32_t>(bytes);
    page.BytesPerLine = m_ap.BytesPerLine;
    page.ScanMode = WindowImageModeBits(m_ap.ScanMode, m_ap.BitsPerPixel);
    StorePageInformation(m_item, page);
  }

  CScannerManagerScannerItem* m_item;
  SCANPARAMETER_UNION m_ap{};
  SCANPARAMETER_UNION m_dev{};
  uint8_t m_inquiry[kInquiryCopySize] = {};
  uint8_t m_eop = 0, m_eof = 0;
};

void PageReader::Run() {
  const uint32_t kind = ModeKind(m_ap.ScanMode);
  const bool processed = (kind >= 1 && kind <= 7) || m_item->pScanner->IsEnableHWImageProcess();
  const bool jfif = kind >= 3 && kind <= 7 && (m_inquiry[96] & 0x03) != 1 &&
                    !m_item->bJpegDecodeBeforeConversion && !m_item->bJpegReEncode;
  if (jfif) {
    KRJFIFFree(&m_item->JFIFRecord);
    std::memset(&m_item->JFIFRecord, 0, sizeof m_item->JFIFRecord);
    m_item->JFIFRecord.nWidth = static_cast<int32_t>(m_ap.PixelNum);
    m_item->JFIFRecord.nHeight = JfifHeightOf(m_ap.LineNum);
  }
  const bool unknownLength = m_ap.LineNum == 0xFFFFFFFF;
  const uint32_t bytesPerLine = m_ap.BytesPerLine != 0 ? m_ap.BytesPerLine : 1;
  uint64_t remaining = unknownLength ? UINT64_MAX : uint64_t{bytesPerLine} * m_ap.LineNum;
  // A long page the scanner cuts into images ending with end of file: this image begins where
  // the last one ended.
  const uint32_t lineOffset = m_item->bEOFCarryPending ? m_item->dwEOFCarryLineOffset : 0;
  if (lineOffset != 0 && !unknownLength) {
    if (m_dev.LineNum < lineOffset) {
      DbgPrintf(1, " *** EOF Wrong remain lines, EOF offset line = %d", lineOffset);
      ClearCarry();
      ErrorCall(kUnknown);
      return;
    }
    remaining =
        m_ap.LineNum > lineOffset ? uint64_t{bytesPerLine} * (m_ap.LineNum - lineOffset) : 0;
    if (remaining == 0) {
      RewriteRawRecord(0, 0);
      ClearCarry();
      DbgPrintf(1, " *** EOF remain lines = 0, set EOP!");
      AnalyzeStatusToList(kEndOfPage, 0, 0, 0, &m_item->StatusList);
      Call(nullptr, 0, 0, static_cast<long>(m_ap.PixelNum));
      return;
    }
  }
  // Whole page, or the client's block; never more than the buffer holds.
  uint64_t block = m_item->dwBlockSize != 0 ? m_item->dwBlockSize : remaining;
  block = std::min<uint64_t>(block, m_item->dwClientBufferSize);
  const bool toEnd = m_item->bToEndOfPage != 0;
  // The page's running totals: its lines come from its bytes, so blocks that end inside a line
  // add up to the page's whole lines.
  uint64_t bytesSoFar = 0;
  long result = 0;
  long heldMessage = 0;
  bool jfifFailed = false;
  // A continuous stream's sheet that ended before a fixed-length page: the rest of the page is
  // padding, not the next sheet (a page job pads through the end-padding flag).
  bool streamPageEnded = false;
  while (remaining > 0 && result == 0 && !jfifFailed && !m_item->bReaderStop) {
    READSCAN_PARAM p{};
    p.pBuffer = m_item->pClientBuffer;
    p.dwBufferSize = static_cast<uint32_t>(std::min<uint64_t>(block, remaining));
    long status = 0, message = 0;
    if (streamPageEnded) {
      DbgPrintf(2, "ReadScanInternal : Do useless data padding to AP buffer size = %d",
                p.dwBufferSize);
      std::memset(p.pBuffer, 0, p.dwBufferSize);
    } else if (!ReadScanInternal(m_item, &p)) {
      bool isMessage = false;
      long code = 0;
      GetLastStatusCode(m_item, &isMessage, &code);
      if (isMessage) {
        message = code;
      } else {
        status = code;
        // A message the packets brought before the error goes out with it.
        message = p.lMessageLong;
      }
      // A page wrapped into one JFIF here goes out in one call at its end: its message waits
      // for that call. A JPEG page the engine re-encoded goes out as it comes, with its
      // message in the call that met it (held, it would never reach the client's list).
      if (message != 0 && jfif) {
        heldMessage = message;
        message = 0;
      }
    }
    m_eop = p.blEOP;
    m_eof = p.blEOF;
    if (m_item->bContinuousMode && !toEnd && p.blEOP) streamPageEnded = true;
    uint32_t received = p.dwEffectiveSize;
    long lines = -1, pixels = -1;
    if (toEnd) {
      if (m_eop || m_eof) {
        if (processed) {
          EnterKrCriticalSection(&m_item->ItemCriticalSection);
          lines = m_item->LastPage.Height;
          pixels = m_item->LastPage.Width;
          LeaveKrCriticalSection(&m_item->ItemCriticalSection);
        } else {
          if (!unknownLength)
            received = static_cast<uint32_t>(std::min<uint64_t>(received, remaining));
          lines = static_cast<long>(received / bytesPerLine);
          pixels = static_cast<long>(m_ap.PixelNum);
          bytesSoFar += received;
          RewriteRawRecord(bytesSoFar / bytesPerLine, bytesSoFar);
        }
        // Each side of the EOF style ends with its own end of file: it ends the page here.
        const uint32_t imageLines =
            static_cast<uint32_t>(processed ? std::max<long>(lines, 0) : bytesSoFar / bytesPerLine);
        EndImage(imageLines, lineOffset, unknownLength);
        remaining = 0;
      } else if (processed) {
        // The device decides how long a page it processed is: only its end of page ends the
        // delivery (a count down to the window's size would end it without telling the
        // client, or cut a page the device made longer).
      } else {
        lines = static_cast<long>(received / bytesPerLine);
        pixels = static_cast<long>(m_ap.PixelNum);
        bytesSoFar += received;
        if (!unknownLength) {
          remaining -= std::min<uint64_t>(received, remaining);
          if (remaining == 0) {
            if (m_item->bContinuousMode && !p.blEOP && status == 0)
              m_item->bContinuousEndPending = 1;
            m_eop = 1;
            ClearCarry();
            RewriteRawRecord(bytesSoFar / bytesPerLine, bytesSoFar);
          }
        }
      }
    } else {
      // Fixed length: every block is delivered whole, padded after an early end of page; an
      // image of a long page ends with its last byte.
      const bool imageEnd = m_eof && !m_item->bEOFDuplexStyle;
      received = imageEnd ? p.dwEffectiveSize : p.dwBufferSize;
      m_eop = 0;
      m_eof = 0;
      lines = static_cast<long>(received / bytesPerLine);
      pixels = static_cast<long>(m_ap.PixelNum);
      bytesSoFar += received;
      remaining -= std::min<uint64_t>(received, remaining);
      if (imageEnd) {
        RewriteRawRecord(bytesSoFar / bytesPerLine, bytesSoFar);
        m_eof = 1;
        EndImage(static_cast<uint32_t>(bytesSoFar / bytesPerLine), lineOffset, unknownLength);
        remaining = 0;
      } else if (remaining == 0) {
        // A continuous page whose end packet no block reached: the rest is dropped.
        if (m_item->bContinuousMode && !streamPageEnded && status == 0)
          m_item->bContinuousEndPending = 1;
        m_eop = 1;
        ClearCarry();
        RewriteRawRecord(bytesSoFar / bytesPerLine, bytesSoFar);
      }
    }
    if (m_item->bContinuousMode && m_eop) ++m_item->dwPagesStarted;
    if (status != 0) {
      // The call with the status is the page's last: it says so, as a whole page's does. A
      // client cannot tell a skew or a multi-feed that stopped the page from one reported as a
      // message by the code alone, and would wait for an end that never comes.
      if (!m_eof) m_eop = 1;
      AnalyzeStatusToList(status, message, m_eop, m_eof, &m_item->StatusList);
      if (jfif) {
        DbgPrintf(1, " *** CallBack --> Has error lStatus=%ld", status);
        result = Call(nullptr, 0, 0, 0);
      } else {
        result = Call(received != 0 ? m_item->pClientBuffer : nullptr,
                      received != 0 ? received : kErrorSize, received != 0 ? lines : -1,
                      received != 0 ? pixels : -1);
      }
      break;
    }
    if (jfif && DeviceJpegPageTooLong(m_dev.BytesPerLine, m_item->JFIFRecord.nJFIFSize, received)) {
      // The page end reads what is left of it: the client hears the device error there too.
      m_item->lErrorStatus = kUnknown;
      result = ErrorCall(kUnknown);
      jfifFailed = true;
    } else if (jfif) {
      DbgPrintf(1, " *** Write to KRJFIF size=%d", received);
      int r =
          KRJFIFWrite(&m_item->JFIFRecord, m_item->pClientBuffer, static_cast<int>(received), 0);
      if (r >= 0 && (m_eop || m_eof)) {
        _JFIF& j = m_item->JFIFRecord;
        j.nBitPerPixel = m_ap.BitsPerPixel;
        EnterKrCriticalSection(&m_item->ItemCriticalSection);
        j.nWidth = static_cast<int32_t>(m_item->LastPage.Width);
        j.nHeight = static_cast<int32_t>(m_item->LastPage.Height);
        LeaveKrCriticalSection(&m_item->ItemCriticalSection);
        j.nResolutionX = m_ap.XRes;
        j.nResolutionY = m_ap.YRes;
        j.nSampling = m_ap.ScanMode == 0x3000004 ? 3 : m_ap.ScanMode == 0x4000004 ? 1 : 0;
        j.pLumaTable = m_item->DefaultLumaQuant;
        j.pChromaTable = m_item->DefaultChromaQuant;
        r = KRJFIFWrite(&j, nullptr, 0, 1);
        if (r >= 0) {
          AnalyzeStatusToList(0, heldMessage, m_eop, m_eof, &m_item->StatusList);
          EnterKrCriticalSection(&m_item->ItemCriticalSection);
          m_item->LastPage.Size = static_cast<uint32_t>(j.nJFIFSize);
          LeaveKrCriticalSection(&m_item->ItemCriticalSection);
          result = Call(j.pJFIF, static_cast<uint32_t>(j.nJFIFSize), lines, pixels);
        }
      }
      if (r < 0) {
        const long s = AnalyzeKRJFIFWriterErr(r);
        DbgPrintf(1, " ****** KRJFIFRet has error = %d", r);
        result = ErrorCall(s);
        jfifFailed = true;
      }
    } else {
      AnalyzeStatusToList(0, message, m_eop, m_eof, &m_item->StatusList);
      result = Call(m_item->pClientBuffer, received, lines, pixels);
    }
    if (m_eop || m_eof) break;
    if (result == 2) break;
  }
  if (result == 2) {
    m_item->bCallbackCancelled = 1;
    DoCancel(m_item);
  }
  if (jfif) KRJFIFFree(&m_item->JFIFRecord);
  if (m_item->bReaderStop) DbgPrintf(1, " AP call exit!!");
}

}  // namespace

void AnalyzeStatusToList(long status, long message, uint8_t blEOP, uint8_t blEOF,
                         STATUSLIST* list) {
  std::memset(list, 0, sizeof *list);
  list->Version = STATUSLIST_VERSION;
  list->Size = sizeof *list;
  int at = 0;
  auto add = [&](long code) {
    if (code < -59999) {
      for (const MultipleError* row = kMultipleErrorTable; row->key != 0; ++row) {
        if (row->key != code) continue;
        if (STATUSLIST_CODES - at < row->count) at = STATUSLIST_CODES - row->count;
        for (int i = 0; i < row->count; ++i) list->Status[at++] = row->codes[i];
      }
      return;
    }
    if (at < STATUSLIST_CODES) list->Status[at++] = code;
  };
  if (status != 0) add(status);
  if (message != 0) add(message);
  if (blEOF) add(kEndOfFile);
  if (blEOP) add(kEndOfPage);
}

uint64_t DeviceJpegPageLimit(uint32_t bytesPerLine) {
  constexpr uint64_t kLargestFrameHeight = 65535;
  constexpr uint64_t kIncompressible = 2;
  constexpr uint64_t kHeaderRoom = 1 << 20;
  return uint64_t{std::max<uint32_t>(bytesPerLine, 1)} * kLargestFrameHeight * kIncompressible +
         kHeaderRoom;
}

bool DeviceJpegPageTooLong(uint32_t bytesPerLine, int64_t gathered, uint32_t more) {
  const uint64_t limit = DeviceJpegPageLimit(bytesPerLine);
  if (uint64_t(std::max<int64_t>(gathered, 0)) + more <= limit) return false;
  DbgPrintf(1, " *** Device JPEG page runs on past %llu bytes: refused",
            static_cast<unsigned long long>(limit));
  return true;
}

long AnalyzeKRJFIFWriterErr(int result) {
  switch (result) {
    case -1:
    case -3:
    case -8:
      return kParameterError;
    case -2:
    case -4:
    case -7:
      return kUnknown;
    case -5:
    case -6:
      return kNoMemory;
    default:
      return 0;
  }
}

void EOPPadding(CScannerManagerScannerItem* item, uint8_t* buffer, uint32_t size,
                const uint8_t* values) {
  SCANPARAMETER_UNION ap;
  item->pScanner->GetAPScanParameter(&ap);
  auto fill16 = [&](uint32_t samples, uint32_t perPixel) {
    // A 16-bit sample of the same colour: v * 257 (v in both bytes), not v zero-extended.
    for (uint32_t i = 0; i < samples; ++i) {
      const uint16_t v = static_cast<uint16_t>(values[i % perPixel] * 257);
      std::memcpy(buffer + 2 * i, &v, 2);
    }
  };
  if (ap.ScanMode == 2 && ap.BitsPerPixel == 8) {
    std::memset(buffer, values[0], size);
  } else if (ap.ScanMode == 2 && ap.BitsPerPixel == 16) {
    fill16(size / 2, 1);
  } else if (ap.ScanMode == 4 && ap.BitsPerPixel == 24) {
    for (uint32_t i = 0; i + 3 <= size; i += 3) std::memcpy(buffer + i, values, 3);
  } else if (ap.ScanMode == 4 && ap.BitsPerPixel == 48) {
    fill16(size / 6 * 3, 3);
  } else {
    std::memset(buffer, values[0], size);
  }
}

void ResetReadState(CScannerManagerScannerItem* item, uint32_t stage) {
  item->dwReaderStage = stage;
  item->dwReadPending = 0;
  item->dwReadCurrentType = kPacketEndOfPage;
  item->bReadADFStatus = item->bMediaStatus;
  item->bReadEndPadding = 0;
  item->bReadMessagePresent = 0;
  item->dwReadMessage = 0;
  item->bReadNotEnoughData = 0;
  item->bRearCountTaken = 0;
  item->dwForwardFrontPacketSize = 0;
  // A rear page reads on from its front: the sources and the forward record are the sheet's.
  if (stage == kReaderRearStage) return;
  item->pReadSourceFront = item->Pipes[kPipeReadFront];
  item->pReadSourceRear = item->Pipes[kPipeReadRear];
  item->dwReadPreviousType = kPacketEndOfPage;
  item->bEndPacketStashed = 0;
  item->dwForwardFrontBytes = 0;
  item->bPairedFrontBlank = 0;
  item->bForwardPending = 0;
  item->dwForwardCounter = 0;
  item->bForward = 0;
  item->bContinuousEndPending = 0;
  // The page's own message: one left from the page before would be taken for this page's.
  item->lMessageStatus = 0;
  EnterKrCriticalSection(&item->ItemCriticalSection);
  item->bCancel = 0;
  LeaveKrCriticalSection(&item->ItemCriticalSection);
}

void PrepareContinuousRead(CScannerManagerScannerItem* item) {
  DbgPrintf(1, "Continuous scan reset variables");
  ResetReadState(item, kReaderContinuousStage);
}

void ReadScanWithdrawBuffer(CScannerManagerScannerItem* item) {
  CExtPipe* source = DataSource(item);
  DbgPrintf(1, "Skip pipe : Front=%d Rear=%d Size=%d", source == item->pReadSourceFront,
            source == item->pReadSourceRear, item->dwReadPending);
  if (source != nullptr && item->dwReadPending != 0) source->Read(item->dwReadPending, nullptr);
  if (item->bContinuousDuplex && item->pReadSourceRear != nullptr && item->dwReadPending != 0)
    item->pReadSourceRear->Read(item->dwReadPending, nullptr);
  item->dwReadPending = 0;
}

bool ReadScanInternal(CScannerManagerScannerItem* item, READSCAN_PARAM* p) {
  p->dwEffectiveSize = 0;
  p->blEOP = p->blEOF = 0;
  p->lStatusLong = p->lMessageLong = 0;
  item->bFirstHeader = 1;
  SCANPARAMETER_UNION ap;
  item->pScanner->GetAPScanParameter(&ap);
  uint8_t* out = p->pBuffer;
  const uint32_t want = p->dwBufferSize;
  uint32_t filled = 0, effective = 0;
  const bool noPaper = IsAdfMethod(ap.ScanMethod) && (item->bReadADFStatus & 0x01) == 0;
  bool zeroPadding = noPaper;
  if (noPaper) DbgPrintf(1, "ReadScanInternal : no paper, padding");
  bool ok = item->lErrorStatus == 0;
  while (ok && filled < want) {
    const uint32_t room = want - filled;
    if (item->bReadEndPadding) {
      const uint8_t* values = item->PaddingValues + (item->bRearPageNext ? 3 : 0);
      DbgPrintf(2, "ReadScanInternal : EOP padding to AP buffer size = %d", room);
      EOPPadding(item, out + filled, room, values);
      filled = want;
    } else if (zeroPadding) {
      DbgPrintf(2, "ReadScanInternal : Do useless data padding to AP buffer size = %d", room);
      std::memset(out + filled, 0, room);
      filled = want;
    } else if (item->dwReadPending != 0 && item->bContinuousEndPending) {
      // The rest of a packet whose page the client already took whole: dropped with the rest
      // of that page, not delivered as the next page's first bytes.
      const uint32_t n = item->dwReadPending;
      CExtPipe* rearInStep = item->bContinuousDuplex ? item->pReadSourceRear : nullptr;
      if ((rearInStep != nullptr && !rearInStep->Read(n, nullptr)) ||
          !DataSource(item)->Read(n, nullptr)) {
        item->lErrorStatus = LostPipeStatus(item);
        ok = false;
        break;
      }
      item->dwReadPending = 0;
    } else if (item->dwReadPending != 0) {
      const uint32_t n = std::min(item->dwReadPending, room);
      DbgPrintf(2, "ReadScanInternal : Copy from pipe to AP buffer size = %d", n);
      // Continuous duplex: the rear's bytes in step with the front's; the client takes one side.
      CExtPipe* rearInStep = item->bContinuousDuplex ? item->pReadSourceRear : nullptr;
      const bool rearWanted = rearInStep != nullptr && item->bRearSideByDuplex;
      if (rearInStep != nullptr && !rearInStep->Read(n, rearWanted ? out + filled : nullptr)) {
        item->lErrorStatus = LostPipeStatus(item);
        ok = false;
        break;
      }
      if (!DataSource(item)->Read(n, rearWanted ? nullptr : out + filled)) {
        item->lErrorStatus = LostPipeStatus(item);
        ok = false;
        break;
      }
      item->dwReadPending -= n;
      filled += n;
      effective += n;
    } else {
      if (!GetImageToBuffer(item)) break;
      const uint32_t current = item->dwReadCurrentType;
      const uint32_t previous = item->dwReadPreviousType;
      if (current == kPacketImage && previous == kPacketEndOfPage) effective = 0;
      if (previous == kPacketImage &&
          (current == kPacketEndOfPage || current == kPacketEndOfFile)) {
        if (current == kPacketEndOfPage) p->blEOP = 1;
        if (current == kPacketEndOfFile) p->blEOF = 1;
        if (item->bContinuousMode || item->bToEndOfPage)
          zeroPadding = true;
        else
          item->bReadEndPadding = 1;
      } else if (current == kPacketEndOfPage || current == kPacketEndOfFile) {
        // A page that ended before any data: it ends here as well.
        if (current == kPacketEndOfPage) p->blEOP = 1;
        if (current == kPacketEndOfFile) p->blEOF = 1;
        if (item->bContinuousMode || item->bToEndOfPage)
          zeroPadding = true;
        else
          item->bReadEndPadding = 1;
      }
    }
  }
  if (item->bReadNotEnoughData) {
    DbgPrintf(1, "Not enought data!!");
    item->bReadNotEnoughData = 0;
  }
  if (filled < want) std::memset(out + filled, 0, want - filled);
  p->dwEffectiveSize = effective;
  if (item->lErrorStatus != 0) {
    p->lStatusLong = item->lErrorStatus;
    if (item->bReadMessagePresent) {
      item->bReadMessagePresent = 0;
      p->lMessageLong = static_cast<int32_t>(item->dwReadMessage);
    }
    return false;
  }
  if (item->bReadMessagePresent) {
    item->bReadMessagePresent = 0;
    item->lMessageStatus = static_cast<int32_t>(item->dwReadMessage);
    p->lMessageLong = static_cast<int32_t>(item->dwReadMessage);
    DbgPrintf(1, "ReadScanInternal : Have Message = %d", static_cast<int>(p->lMessageLong));
    return false;
  }
  return true;
}

void* APReadThread(void* arg) {
  auto* item = static_cast<CScannerManagerScannerItem*>(arg);
  DbgNewThread(GetCurrentKrThreadId());
  DbgPrintf(1, " *** AP thread start!");
  if (item->pfnCallBack == nullptr) {
    DbgPrintf(1, " *** CallBackFunc is NULL!");
  } else {
    PageReader reader(item);
    reader.Run();
  }
  DbgPrintf(1, " *** AP thread end!");
  DbgDelThread(GetCurrentKrThreadId());
  return nullptr;
}

void PutPageInformation(uint8_t* out, const PageInformation& page, const uint8_t* tables) {
  std::memcpy(out + 0, &page.Width, 4);
  std::memcpy(out + 4, &page.Height, 4);
  std::memcpy(out + 8, &page.Size, 4);
  std::memcpy(out + 12, &page.JPEGDRI, 2);
  std::memcpy(out + 14, &page.BytesPerLine, 4);
  std::memcpy(out + 18, &page.ScanMode, 4);
  std::memcpy(out + 22, tables, kJpegTablesSize);
}

void GetPageInformation(const uint8_t* in, PageInformation* page, uint8_t* tables) {
  std::memcpy(&page->Width, in + 0, 4);
  std::memcpy(&page->Height, in + 4, 4);
  std::memcpy(&page->Size, in + 8, 4);
  std::memcpy(&page->JPEGDRI, in + 12, 2);
  std::memcpy(&page->BytesPerLine, in + 14, 4);
  std::memcpy(&page->ScanMode, in + 18, 4);
  std::memcpy(tables, in + 22, kJpegTablesSize);
}

bool WritePacket(CExtPipe* pipe, const PIPE_PACKAGE_HEADER& header, const uint8_t* payload) {
  if (!pipe->Write(kHeaderSize, reinterpret_cast<const uint8_t*>(&header))) return false;
  return payload == nullptr || header.dwSize == 0 || pipe->Write(header.dwSize, payload);
}

PIPE_PACKAGE_HEADER EndJobPacket() {
  PIPE_PACKAGE_HEADER h{};
  h.type = kPacketEndOfCycle;
  h.blJobFinished = 1;
  return h;
}
