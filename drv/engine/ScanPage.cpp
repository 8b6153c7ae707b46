// Page start and page end: the reader's state for the next page, and what the IO thread's end
// packets of a page say about the job.
#include <cstdio>
#include <cstring>

#include "drv/engine/ExtPipe.h"
#include "drv/engine/ScanJob.h"
#include "drv/platform/DbgLog.h"
#include "drv/platform/KrThread.h"

using namespace krstatus;

namespace {

void LogPacket(const char* side, const PIPE_PACKAGE_HEADER& h) {
  DbgPrintf(1, "%sGet Packet type=%d ", side, h.type);
  DbgPrintf(1, "%sGet Packet bADFStatus=%d ", side, h.bADFStatus);
  DbgPrintf(1, "%sGet Packet dwSize=%d ", side, h.dwSize);
  DbgPrintf(1, "%sGet Packet lStatusLong=%d ", side, h.lStatusLong);
  DbgPrintf(1, "%sGet Packet lMessageStatusLong=%d ", side, h.lMessageStatusLong);
  DbgPrintf(1, "%sGet Packet blJobFinished=%d ", side, h.blJobFinished);
}

bool ReadHeader(CExtPipe* pipe, PIPE_PACKAGE_HEADER* h) {
  return pipe != nullptr && pipe->Read(kHeaderSize, reinterpret_cast<uint8_t*>(h));
}

// The next header of a side: the end packet the reader took first, then the pipe's.
bool NextHeader(CScannerManagerScannerItem* item, CExtPipe* pipe, bool rear,
                PIPE_PACKAGE_HEADER* h) {
  const uint8_t side = rear ? 2 : 1;
  if (item->bEndPacketStashed == side) {
    std::memcpy(h, item->StashedEndPacket, kHeaderSize);
    item->bEndPacketStashed = 0;
    return true;
  }
  return ReadHeader(pipe, h);
}

uint8_t SideBit(bool rear) { return rear ? kJobEndSeenRear : kJobEndSeenFront; }

// Drops one side's packets up to its end packet (the job's last when `jobEnd`); true when that
// was the job's last. A side whose last packet was read already has nothing more to come.
bool DrainPipe(CExtPipe* pipe, bool rear, bool jobEnd) {
  PIPE_PACKAGE_HEADER h;
  while (ReadHeader(pipe, &h)) {
    LogPacket(rear ? " (Rear) " : " ", h);
    if (h.dwSize != 0) pipe->Read(h.dwSize, nullptr);
    if (h.type == kPacketEndOfPage) pipe->DecreasePageCount();
    if (h.type == kPacketEndOfCycle && (!jobEnd || h.blJobFinished)) return h.blJobFinished != 0;
  }
  return false;
}

void DrainSide(CScannerManagerScannerItem* item, CExtPipe* pipe, bool rear, bool jobEnd) {
  if ((item->bJobFinishedSeen & SideBit(rear)) != 0) return;
  if (DrainPipe(pipe, rear, jobEnd)) item->bJobFinishedSeen |= SideBit(rear);
}

// The other side of a cancelled page of the styles that send each side apart, drained to the
// job's end on a thread of its own while the page's side is read to its end: the IO thread
// writes both pipes and would stop on a full one that nobody reads.
struct SideDrain {
  CExtPipe* pipe = nullptr;
  bool rear = false;
  bool ended = false;
  KrThread thread;
  SideDrain() { InitialInvalidKrThread(&thread); }
};

void* SideDrainThread(void* arg) {
  auto* drain = static_cast<SideDrain*>(arg);
  drain->ended = DrainPipe(drain->pipe, drain->rear, true);
  return nullptr;
}

bool StartSideDrain(CScannerManagerScannerItem* item, CExtPipe* pipe, bool rear, SideDrain* drain) {
  if (pipe == nullptr || (item->bJobFinishedSeen & SideBit(rear)) != 0) return false;
  drain->pipe = pipe;
  drain->rear = rear;
  if (CreateKrThread(&drain->thread, SideDrainThread, drain, nullptr)) return true;
  InitialInvalidKrThread(&drain->thread);
  DbgPrintf(1, "  No thread to drain the %s pipe: drained after this side.",
            rear ? "rear" : "front");
  return false;
}

void FinishSideDrain(CScannerManagerScannerItem* item, SideDrain* drain) {
  if (!IsValidKrThread(&drain->thread)) return;
  WaitKrThread(&drain->thread);
  DestroyKrThread(&drain->thread);
  InitialInvalidKrThread(&drain->thread);
  if (drain->ended) item->bJobFinishedSeen |= SideBit(drain->rear);
}

void SetIOEndingPage(CScannerManagerScannerItem* item) {
  EnterKrCriticalSection(&item->ItemCriticalSection);
  if (item->bEOFPageFlow || item->bEOFDuplexStyle) {
    item->dwIOEndingPage = item->dwEOFPagesEnded;
    DbgPrintf(1, "  In EOF flow ending page (%d)", item->dwIOEndingPage);
  } else {
    item->dwIOEndingPage = item->dwPagesStarted;
  }
  LeaveKrCriticalSection(&item->ItemCriticalSection);
}

struct PageEnd {
  PIPE_PACKAGE_HEADER last{};
  bool result = true;
  bool seenLast = false;
};

// Reads one side's packets from `pipe` up to its end packet; `other` is drained when this side
// ended in a cancel or an error while the other side's pipe still fills (styles with headers on
// both sides), or takes the paired bytes (the paired style, when cancelled).
void ReadPageEnd(CScannerManagerScannerItem* item, CExtPipe* pipe, CExtPipe* other, bool rear,
                 PageEnd* end) {
  const char* side = rear ? " (Rear) " : " ";
  const bool cancelled = item->bCancel != 0;
  const bool apart = item->bEOFDuplexStyle || item->bGL310DuplexStyle;
  // A cancelled page is read to the job's end: the other side goes there at the same time.
  SideDrain drain;
  const bool drainingOther = apart && cancelled && StartSideDrain(item, other, !rear, &drain);
  PIPE_PACKAGE_HEADER h;
  while (NextHeader(item, pipe, rear, &h)) {
    LogPacket(side, h);
    if (h.type == kPacketImage && !rear && item->bTwoSides && !cancelled)
      item->dwForwardFrontBytes += h.dwSize;
    if (h.type == kPacketEndOfPage) {
      // The reader never took this page's end-of-page packet: count it down here.
      pipe->DecreasePageCount();
    }
    if (h.type == kPacketImage) {
      if (h.lStatusLong != 0) {
        item->lErrorStatus = h.lStatusLong;
        end->result = false;
        DbgPrintf(1, "  EndPage ImagePacket before ReleaseUnit packet get status %d.",
                  h.lStatusLong);
      } else if (h.lMessageStatusLong != 0) {
        item->lMessageStatus = h.lMessageStatusLong;
        DbgPrintf(1, "  EndPage: ImagePacket before ReleaseUnit packet get message %d.",
                  h.lMessageStatusLong);
      }
    }
    if (h.dwSize != 0) {
      pipe->Read(h.dwSize, nullptr);
      if (!apart && !rear && item->bTwoSides && h.type == kPacketImage && other != nullptr &&
          (cancelled || item->bContinuousDuplex))
        other->Read(h.dwSize, nullptr);
    }
    if (h.type != kPacketEndOfCycle) continue;
    const bool trouble = cancelled || h.lStatusLong != 0 || item->lErrorStatus != 0;
    if (apart && trouble && other != nullptr && !drainingOther) {
      DbgPrintf(1, cancelled ? "  Cancel in (%s) Page." : "  Error in (%s) Page.",
                rear ? "rear" : "front");
      DbgPrintf(1, "  EOF/GL310 duplex mode clear %s pipe data to prevent dead lock.",
                rear ? "front" : "rear");
      DrainSide(item, other, !rear, h.blJobFinished != 0);
    }
    if (!cancelled || h.blJobFinished) {
      end->last = h;
      end->seenLast = true;
      break;
    }
  }
  FinishSideDrain(item, &drain);
  if (!end->seenLast) return;
  const PIPE_PACKAGE_HEADER& last = end->last;
  if (last.lStatusLong != 0) {
    item->lErrorStatus = last.lStatusLong;
    end->result = false;
    DbgPrintf(1, "  EndPage release unit packet get status %d.", last.lStatusLong);
  } else if (last.lMessageStatusLong != 0) {
    item->lMessageStatus = last.lMessageStatusLong;
    DbgPrintf(1, "  EndPage release unit packet get message %d.", last.lMessageStatusLong);
  }
  if (last.blJobFinished) item->bJobFinishedSeen |= rear ? kJobEndSeenRear : kJobEndSeenFront;
}

bool PaperLeft(CScannerManagerScannerItem* item) { return (item->bMediaStatus & 0x01) != 0; }

}  // namespace

bool StartPage(CScannerManagerScannerItem* item) {
  DbgPrintf(1, "=>StartPage()");
  if (item->bContinuousMode) {
    DbgPrintf(1, "Start Page Do nothing in continous mode");
  } else if (item->bRearPageNext) {
    DbgPrintf(1, "StartPage rear page do nothing");
    ResetReadState(item, kReaderRearStage);
  } else {
    DbgPrintf(1, " StartPage (1) Reset variable");
    ResetReadState(item, kReaderSheetStage);
  }
  if (gdwDebugLevel > 2) {
    SCANPARAMETER_UNION ap;
    item->pScanner->GetAPScanParameter(&ap);
    const uint32_t kind = ModeKind(ap.ScanMode);
    const char* extension = kind >= 3 && kind <= 6 ? "jpg" : "raw";
    const unsigned number = item->dwPagesStarted + 1;
    std::snprintf(item->FrontRawDumpName, sizeof item->FrontRawDumpName, "%s-APRawFront%03u.%s",
                  item->DumpPrefix, number, extension);
    std::snprintf(item->RearRawDumpName, sizeof item->RearRawDumpName, "%s-APRawRear%03u.%s",
                  item->DumpPrefix, number, extension);
    DeleteDebugRawFile(item->FrontRawDumpName);
    if (item->bContinuousDuplex) DeleteDebugRawFile(item->RearRawDumpName);
  }
  DbgPrintf(1, "<=StartPage() ret=%d", 1);
  return true;
}

bool EndPage(CScannerManagerScannerItem* item) {
  DbgPrintf(1, "=>EndPage");
  bool result = true;
  const bool cancelled = item->bCancel != 0;
  const bool eofStyles = item->bEOFPageFlow || item->bEOFDuplexStyle;
  SCANPARAMETER_UNION ap, dev;
  item->pScanner->GetAPScanParameter(&ap);
  item->pScanner->GetNewScanParameter(&dev);
  const int32_t messageBefore = item->lMessageStatus;
  const bool skip =
      item->bContinuousMode || (item->bEOFCarryPending && !cancelled && item->lErrorStatus == 0);
  if (!skip) {
    if (eofStyles) ++item->dwEOFPagesEnded;
    if (!item->bRearPageNext) {
      PageEnd end;
      if (item->bJobStarted) {
        DbgPrintf(1, "  EndPage withdraw image data in pipe.");
        ReadScanWithdrawBuffer(item);
        DbgPrintf(1, "  EndPage wait release unit packet.");
        SetIOEndingPage(item);
        ReadPageEnd(item, item->Pipes[kPipeReadFront], item->Pipes[kPipeReadRear], false, &end);
        if (!end.result) result = false;
        if (end.seenLast && (!item->bGL310DuplexStyle || cancelled || item->lErrorStatus != 0))
          item->bJobStarted = end.last.blJobFinished ? 0 : 1;
      }
      // The page start cleared the message: whatever it holds now, the reader or the packets
      // above found on this page.
      const bool messageSet = item->lMessageStatus != 0;
      if (!item->bTwoSides && messageSet && item->lMessageStatus == kMultiFeed) {
        DbgPrintf(1, "  simplex multi-feed (message)");
        item->bPageMultiFeedMessage = 1;
      }
      const uint8_t adf = end.seenLast ? end.last.bADFStatus : item->bMediaStatus.load();
      const bool pageJobTwoSides = item->bTwoSides && !item->bContinuousDuplex;
      if (!pageJobTwoSides || cancelled) {
        if ((adf & 0x01) == 0 || cancelled || item->lErrorStatus != 0) item->bJobRunning = 0;
        // An error the reader took from the packets before (a cancel's -2010 too) is the page's
        // as much as one read here: the client hears it whoever read it.
        if (item->lErrorStatus != 0) result = false;
        item->bMediaStatus = adf;
      } else if (item->lErrorStatus == kMultiFeed) {
        if (item->pScanner->GetDuplexMultiFeedStyle() == 1) {
          item->bRearPageNext = 1;
          item->bForward = 1;
          item->bForwardAsMessage = 0;
          item->lForwardedStatus = kMultiFeed;
          item->lErrorStatus = 0;
          result = true;
          DbgPrintf(1, "  duplex multi-feed: forward to rear page. (status)");
        } else {
          result = false;
          item->bJobRunning = 0;
        }
      } else if (messageSet && item->lMessageStatus == kMultiFeed) {
        item->bRearPageNext = 1;
        item->bSavedFrontADFStatus = adf;
        const uint32_t style = item->pScanner->GetDuplexMultiFeedStyle();
        item->lForwardedStatus = kMultiFeed;
        if (style == 0) {
          item->bPageMultiFeedMessage = 1;
          item->bForward = 0;
        } else {
          item->bPageMultiFeedMessage = style == 2 ? 1 : 0;
          item->bForward = 1;
          item->bForwardAsMessage = 1;
          DbgPrintf(1, style == 2 ? "  duplex multi-feed: forward to rear page. (message)"
                                  : "  duplex multi-feed: forward to rear page. (message) Reset "
                                    "front page message.");
        }
      } else if (item->lErrorStatus != 0) {
        result = false;
        item->bJobRunning = 0;
      } else {
        item->bRearPageNext = 1;
        item->bSavedFrontADFStatus = adf;
      }
    } else {
      DbgPrintf(1, "  EndPage rear page.");
      DbgPrintf(1, "  EndPage withdraw rear image data in pipe.");
      ReadScanWithdrawBuffer(item);
      item->bRearPageNext = 0;
      item->bMediaStatus = item->bSavedFrontADFStatus;
      const bool apart = item->bEOFDuplexStyle || item->bGL310DuplexStyle;
      if (!apart && cancelled) {
        if (PaperLeft(item) && (!item->bForward || item->bForwardAsMessage)) {
          DbgPrintf(1, "  Cancel in (rear) Page wait release unit.");
          // The paired style's front pipe carries the headers of both sides.
          PIPE_PACKAGE_HEADER h;
          CExtPipe* front = item->Pipes[kPipeReadFront];
          CExtPipe* rearPipe = item->Pipes[kPipeReadRear];
          while (ReadHeader(front, &h)) {
            if (h.dwSize != 0) {
              front->Read(h.dwSize, nullptr);
              if (rearPipe != nullptr && h.type == kPacketImage) rearPipe->Read(h.dwSize, nullptr);
            }
            if (h.type == kPacketEndOfCycle && h.blJobFinished) {
              item->bJobFinishedSeen |= kJobEndSeenFront;
              break;
            }
          }
        }
        item->lErrorStatus = 0;
        item->lMessageStatus = 0;
        result = true;
        item->bJobStarted = 0;
      } else if (!apart && item->bForward) {
        if (item->bForwardAsMessage) {
          DbgPrintf(1, "  forward message(%d) in rear Page.", item->lForwardedStatus);
          item->lMessageStatus = item->lForwardedStatus;
          item->bPageMultiFeedMessage = 1;
        } else {
          DbgPrintf(1, "  forward status(%d) in rear Page.", item->lForwardedStatus);
          item->lErrorStatus = item->lForwardedStatus;
          result = false;
        }
      } else if (apart && item->bJobStarted) {
        DbgPrintf(1, "  (EOF/GL310 duplex mode) EndPage wait release unit packet.");
        EnterKrCriticalSection(&item->ItemCriticalSection);
        DbgPrintf(
            1, "  (EOF/GL310 duplex mode) Ending page (%d)",
            item->bEOFDuplexStyle ? item->dwEOFPagesEnded.load() : item->dwPagesStarted.load());
        LeaveKrCriticalSection(&item->ItemCriticalSection);
        SetIOEndingPage(item);
        PageEnd end;
        ReadPageEnd(item, item->Pipes[kPipeReadRear], item->Pipes[kPipeReadFront], true, &end);
        if (!end.result) result = false;
        if (end.seenLast) {
          item->bJobStarted = end.last.blJobFinished ? 0 : 1;
          item->bMediaStatus = end.last.bADFStatus;
        }
        const bool messageSet = item->lMessageStatus != 0 && item->lMessageStatus != messageBefore;
        if (!item->bTwoSides && messageSet && item->lMessageStatus == kMultiFeed)
          item->bPageMultiFeedMessage = 1;
      }
      if (!PaperLeft(item) || cancelled || item->lErrorStatus != 0) item->bJobRunning = 0;
    }
    if ((ap.JobPages != 0 && item->dwPagesStarted == ap.JobPages) ||
        (dev.JobPages != 0 && item->dwPagesStarted == dev.JobPages))
      item->bJobRunning = 0;
  } else if (!PaperLeft(item) || cancelled || item->lErrorStatus != 0) {
    item->bJobRunning = 0;
  }
  DbgPrintf(1, "<=EndPage Ret=%d", result);
  return result;
}
