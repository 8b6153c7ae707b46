// The three image transfers (native, memory, file), their setup triplets and the end of each
// transfer (DAT_PENDINGXFERS), which moves to the next image or ends the batch.
#include <chrono>
#include <cstring>

#include "ds/scan/scanner/ScanCallback.h"
#include "ds/twain/DSHelpers.h"
#include "ds/twain/Options.h"
#include "ds/twain/TezFRLDS.h"
#include "ds/twain/XferSupport.h"
#include "platform/twain/Source.h"

namespace ferrolite {

namespace {

constexpr const char* kNativeXferName = "ImageNativeXfer";
constexpr const char* kMemoryXferName = "ImageMemoryXfer";
constexpr const char* kFileXferName = "ImageFileXfer";

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

// ---- what the three transfers share ----

bool TezFRLDS::batchGone() const { return !scanThread.exists() && !scanInterrupt; }

bool TezFRLDS::beginTransfer(const char* name, bool firstStrip) {
  dsLog(name, kLogIn, 1, mCurrentState.load());
  processEvent();
  if (firstStrip) {
    batch.xferStart = std::chrono::steady_clock::now();
    setPercentage(0);
  }
  if (!imageInfoGo) getImageInfo();
  if ((dialogBox && dialogBox->scanCancelled())) {
    processingError = kProgressCancelled;
    scanInterrupt = true;
  }
  return !scanInterrupt && imageInfoGo;
}

TW_UINT16 TezFRLDS::cancelTransfer() {
  imageInfoGo = false;
  batch.bytesTransfered = 0;
  mCurrentState = TWAIN_STATE_XFERREADY;
  const int64_t error = scanObject ? scanObject->scannerError() : 0;
  gConditionCode = TWCC_SUCCESS;
  setConditionCode(error);
  dsLog("Transfer cancelled", kLogBlank, 0, error);
  return TWRC_CANCEL;
}

TW_UINT16 TezFRLDS::endTransfer(const char* name) {
  setPercentage(100);
  mCurrentState = TWAIN_STATE_TRANSFERRING;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - batch.xferStart)
                      .count();
  dsLog("Transfer time", kLogBlank, 1, std::to_string(static_cast<unsigned>(ms)));
  dsLog(name, kLogOut, TWRC_XFERDONE, mCurrentState.load());
  return TWRC_XFERDONE;
}

// ---- native ----

TW_UINT16 TezFRLDS::imageNativeXfer(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF data) {
  if (msg != MSG_GET) return fail(TWCC_BADPROTOCOL);
  if (mCurrentState != TWAIN_STATE_XFERREADY || batchGone()) return fail(TWCC_SEQERROR);
  if (!beginTransfer(kNativeXferName, true)) return cancelTransfer();
  // The host owns every handle it received: one already in its variable is left alone.
  std::optional<std::vector<uint8_t>> tiff =
      gKrCommon ? gKrCommon->createPictureHandle(batch.pXferBuffer, batch.xferImageInfo)
                : std::nullopt;
  TW_HANDLE block = tiff ? twain::AllocateBlock(tiff->size()) : nullptr;
  if (block == nullptr) {
    dsLog(kNativeXferName, kLogOut, 0, "no memory for the image");
    return fail(TWCC_LOWMEMORY);
  }
  {
    twain::LockedBlock memory(block);
    std::memcpy(memory.as<uint8_t>(), tiff->data(), tiff->size());
  }
  *static_cast<TW_HANDLE*>(data) = block;
  imageInfoGo = false;
  return endTransfer(kNativeXferName);
}

// ---- memory ----

TW_UINT16 TezFRLDS::imageMemXfer(TW_IDENTITY*, TW_UINT16 msg, TW_IMAGEMEMXFER* memXfer) {
  if (msg != MSG_GET) return fail(TWCC_BADPROTOCOL);
  const TW_INT16 state = mCurrentState;
  if (state != TWAIN_STATE_XFERREADY && state != TWAIN_STATE_TRANSFERRING) {
    return fail(TWCC_SEQERROR);
  }
  // The image is complete in 70: the next one starts only after MSG_ENDXFER.
  if (state == TWAIN_STATE_TRANSFERRING && batch.bytesTransfered == 0) return fail(TWCC_SEQERROR);
  if (batchGone()) return fail(TWCC_SEQERROR);
  if (!beginTransfer(kMemoryXferName, batch.bytesTransfered == 0)) return cancelTransfer();
  const XferImageInfo& info = batch.xferImageInfo;
  const uint32_t rowBytes = info.dwBytesPerLine;
  // 1. A handle is the block itself, reached through the manager's lock.
  TW_MEMORY& memory = memXfer->Memory;
  const bool handle = (memory.Flags & TWMF_HANDLE) != 0;
  uint8_t* destination = static_cast<uint8_t*>(
      handle && memory.TheMem != nullptr ? twain::LockBlock(memory.TheMem) : memory.TheMem);
  // 2.
  const uint32_t capacity = rowBytes == 0 ? 0 : memory.Length / rowBytes * rowBytes;
  if (destination == nullptr || capacity == 0) {
    if (handle && destination != nullptr) twain::UnlockBlock(memory.TheMem);
    dsLog(kMemoryXferName, kLogOut, 0,
          "buffer of " + std::to_string(memory.Length) + " bytes, rows of " +
              std::to_string(rowBytes));
    return fail(TWCC_BADVALUE);
  }
  const uint64_t total = uint64_t(info.dwLength) * rowBytes;
  const uint32_t n = uint32_t(std::min<uint64_t>(capacity, total - batch.bytesTransfered));
  // 3.
  std::memcpy(destination, batch.pXferBuffer + batch.bytesTransfered, n);
  if (handle) twain::UnlockBlock(memory.TheMem);
  memXfer->Compression = TWCP_NONE;
  memXfer->BytesPerRow = rowBytes;
  memXfer->Columns = info.dwWidth;
  memXfer->Rows = n / rowBytes;
  memXfer->XOffset = 0;
  memXfer->YOffset = batch.bytesTransfered / rowBytes;
  memXfer->BytesWritten = n;
  // 4.
  batch.bytesTransfered += n;
  dsLog("Bytes transfered", kLogBlank, 1, batch.bytesTransfered);
  setPercentage(int(uint64_t(batch.bytesTransfered) * 100 / total));
  // 5.
  if (batch.bytesTransfered < total) {
    dsLog(kMemoryXferName, kLogOut, TWRC_SUCCESS, mCurrentState.load());
    return TWRC_SUCCESS;
  }
  batch.bytesTransfered = 0;
  imageInfoGo = false;
  return endTransfer(kMemoryXferName);
}

// ---- file ----

TW_UINT16 TezFRLDS::imageFileXfer(TW_IDENTITY*, TW_UINT16 msg, TW_MEMREF) {
  if (msg != MSG_GET) return fail(TWCC_BADPROTOCOL);
  if (mCurrentState != TWAIN_STATE_XFERREADY || batchGone()) return fail(TWCC_SEQERROR);
  if (!beginTransfer(kFileXferName, true)) return cancelTransfer();
  // 1. The setup keeps its name zero-terminated (MSG_SET refuses one without).
  const std::filesystem::path path(mGlobalSetupFile.FileName);
  std::error_code ignored;
  dsLog("Current path", kLogBlank, 1, std::filesystem::current_path(ignored).string());
  dsLog("File path", kLogBlank, 1, path.string());
  // 2. The image stays prepared when it cannot be written: the host may name another file.
  if (!gKrCommon || !gKrCommon->saveImageFile(batch.pXferBuffer, batch.xferImageInfo, path)) {
    dsLog(kFileXferName, kLogOut, 0, "the file cannot be written");
    return fail(TWCC_FILEWRITEERROR);
  }
  imageInfoGo = false;
  // 3.
  const std::string name = lowered(path.string());
  if (gTezOlmex &&
      (name.find(".tif") != std::string::npos || name.find(".jpg") != std::string::npos)) {
    gKrCommon->appendExif(path, dsManufacturer,
                          replaceAll(dsProductName, dsManufacturer + " ", ""));
  }
  // 4.
  return endTransfer(kFileXferName);
}

// ---- setup triplets ----

TW_UINT16 TezFRLDS::controlSetupMemXfer(TW_IDENTITY*, TW_UINT16 msg, TW_SETUPMEMXFER* setup) {
  const TW_INT16 state = mCurrentState;
  if (state < TWAIN_STATE_OPEN || state > TWAIN_STATE_XFERREADY) return fail(TWCC_SEQERROR);
  dsLog("setupMemXfer", kLogIn, 1, state);
  dsLog("Message", kLogBlank, 1, msg);
  switch (msg) {
    case MSG_GET: {
      // The record is packed: its fields are read by value.
      const TW_INT32 width = mImageInfo.ImageWidth, length = mImageInfo.ImageLength;
      uint64_t n = uint64_t(std::max(width, 0)) * uint64_t(std::max(length, 0));
      if (mImageInfo.BitsPerPixel == 24) n *= 3;
      const uint64_t preferred = std::clamp<uint64_t>((n + 3) / 4, kPreferredMin, kPreferredMax);
      setup->MinBufSize = kMinBufSize;
      setup->MaxBufSize = setup->Preferred = uint32_t(preferred);
      return TWRC_SUCCESS;
    }
    case MSG_SET:
    case MSG_RESET:
      return TWRC_SUCCESS;
    default:
      return fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 TezFRLDS::controlSetupFileXfer(TW_IDENTITY*, TW_UINT16 msg, TW_SETUPFILEXFER* setup) {
  const TW_INT16 state = mCurrentState;
  if (state < TWAIN_STATE_OPEN || state > TWAIN_STATE_XFERREADY) return fail(TWCC_SEQERROR);
  auto setDefault = [](TW_SETUPFILEXFER* record) {
    *record = TW_SETUPFILEXFER{};
    twain::CopyText(record->FileName, kSetupFileName);
  };
  auto keep = [this](const TW_SETUPFILEXFER& record) {
    mGlobalSetupFile = record;
    twain::ToLengthPrefixed(mGlobalSetupFileName, sizeof mGlobalSetupFileName, record.FileName,
                            std::strlen(record.FileName) + 1);
  };
  switch (msg) {
    case MSG_GET:
    case MSG_GETCURRENT:
      *setup = mGlobalSetupFile;
      return TWRC_SUCCESS;
    case MSG_GETDEFAULT:
      setDefault(setup);
      return TWRC_SUCCESS;
    case MSG_SET:
      // A name must end within its 256 bytes, and say something.
      if (std::memchr(setup->FileName, 0, sizeof setup->FileName) == nullptr ||
          setup->FileName[0] == 0) {
        dsLog("setupFileXfer", kLogBlank, 0, "file name without its end");
        return fail(TWCC_BADVALUE);
      }
      keep(*setup);
      return TWRC_SUCCESS;
    case MSG_RESET: {
      TW_SETUPFILEXFER record;
      setDefault(&record);
      keep(record);
      *setup = mGlobalSetupFile;
      return TWRC_SUCCESS;
    }
    default:
      return fail(TWCC_BADPROTOCOL);
  }
}

// ---- pending transfers ----

TW_UINT16 TezFRLDS::controlPendingXfers(TW_IDENTITY*, TW_UINT16 msg, TW_PENDINGXFERS* pending) {
  const TW_INT16 state = mCurrentState;
  switch (msg) {
    case MSG_GET:
      // Asked in states 4 to 7, also in the middle of an image's transfer.
      if (state < TWAIN_STATE_OPEN || state > TWAIN_STATE_TRANSFERRING) {
        return fail(TWCC_SEQERROR);
      }
      pending->Count = jobSetting.bScanSource == kSourceFeeder && batch.scanDone ? 0 : kMoreImages;
      return TWRC_SUCCESS;
    case MSG_RESET:
      if (state != TWAIN_STATE_XFERREADY) return fail(TWCC_SEQERROR);
      mCurrentState = TWAIN_STATE_ENABLED;
      pending->Count = 0;
      scanInterrupt = true;
      finishScanThread();
      return TWRC_SUCCESS;
    case MSG_ENDXFER:
      break;
    default:
      return fail(TWCC_BADPROTOCOL);
  }
  pending->Count = 0;
  // An image the host skips (not transferred, or a memory transfer left after some strips) is
  // discarded and the batch goes on; a batch that a condition or a cancel stopped ends.
  bool skipped = false;
  if (state == TWAIN_STATE_XFERREADY && !batchGone() && !scanInterrupt) {
    if (!imageInfoGo) getImageInfo();  // the image comes from the next page: take it
    skipped = imageInfoGo && !scanInterrupt;
    if (skipped) {
      dsLog("Image skipped", kLogBlank, 1, currentImageNumber.load());
      imageInfoGo = false;
      batch.bytesTransfered = 0;
    }
  }
  if (state == TWAIN_STATE_XFERREADY && !skipped) {
    // 1. Cancelled: the batch ends with its error.
    mCurrentState = TWAIN_STATE_ENABLED;
    batch.bytesTransfered = 0;
    showAlert(std::nullopt);
  } else if (state == TWAIN_STATE_TRANSFERRING || skipped) {
    mCurrentState = TWAIN_STATE_TRANSFERRING;
    // 2.
    bool again = false;
    if (batch.onePageDone) {
      gPatchBarcodeReading = false;
      again = true;
      if (!batch.scanDone && scanObject->scannerError() != kErrorBlankLastPage) {
        again = false;
        if (jobSetting.bBlankPageRemoval && jobSetting.iImageCount < 1) {
          // A blank last page ends the batch without an image: look at the next page first.
          waitForPages(xferPageNumber + 1);
          again = scanObject->scannerError() == kErrorBlankLastPage;
        }
      }
    }
    if (jobSetting.iImageCount == currentImageNumber) {
      mCurrentState = TWAIN_STATE_ENABLED;
    } else if (again) {
      if (jobSetting.wTransportTimeout == 0 || !toBeContinued()) {
        mCurrentState = TWAIN_STATE_ENABLED;
      } else {
        scanThread.request();  // paper came: the batch goes on
      }
    }
    if (mCurrentState == TWAIN_STATE_TRANSFERRING) {
      mCurrentState = TWAIN_STATE_XFERREADY;
      pending->Count = kMoreImages;
    }
    pendingXferDone();
  } else {
    return fail(TWCC_SEQERROR);
  }
  if (mCurrentState == TWAIN_STATE_ENABLED) finishScanThread();
  return TWRC_SUCCESS;
}

void TezFRLDS::pendingXferDone() {
  // 1.
  dsLog("pendingXferDone", kLogBlank, 1, mCurrentState.load());
  if (debugLevel >= 3 && gKrCommon && batch.pXferBuffer != nullptr) {
    char name[16];
    std::snprintf(name, sizeof name, "%04d_ap", currentImageNumber.load());
    gKrCommon->saveDebugImage(batch.pXferBuffer, batch.xferImageInfo, name, false);
  }
  // 2.
  if (mCurrentState == TWAIN_STATE_ENABLED) {
    closeIndicatorWindow();
    if (!jobSetting.bStopAfterMultefeed &&
        (jobSetting.bUltrasonic || jobSetting.bLengthDetection)) {
      int count = 0;
      const std::string pages = scanObject->multifeedInfo(&count);
      if (count != 0) {
        showAlert(localized("MultifeedCount", "Multi-Feed Count") + ": " + std::to_string(count) +
                  "\n" + localized("PageNumber", "Page Number") + ": " + pages);
      }
    }
  }
  // 3.
  if (photoshopFamily) adobeXferDone();
  // 4.
  ++currentImageNumber;
}

void TezFRLDS::adobeXferDone() {
  dsLog("adobeXferDone", kLogBlank, 1, mCurrentState.load());
  if (mCurrentState != TWAIN_STATE_ENABLED) {
    postToManager(MSG_XFERREADY);
  } else {
    closeDSRequest();
  }
}

}  // namespace ferrolite
