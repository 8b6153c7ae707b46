// DG_IMAGE / DAT_EXTIMAGEINFO (the barcodes and the patch code of the image just transferred)
// and the data source's own operation DAT_KRCUSTOMCOMMAND (the last scanner error and its text).
#include "ds/twain/ExtImageInfo.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/twain/Options.h"
#include "ds/twain/TezFRLDS.h"
#include "platform/twain/Source.h"

namespace ferrolite {
namespace {

// TWAIN barcode types by row of the supported-barcode table.
constexpr uint32_t kBarcodeTypeCodes[] = {144, 6, 0, 3, 4, 139, 9, 10, 1, 19, 12, 20, 145, 7, 8, 0};

// What the custom operation reports for the data source's own errors.
constexpr int64_t kOwnErrorNoMemory = -1, kOwnErrorNoPaper = -2;
constexpr uint32_t kReportedNoMemory = 127, kReportedNoPaper = 2015;

bool barcodeEntry(TW_UINT16 id) {
  return id == TWEI_BARCODEX || id == TWEI_BARCODEY || id == TWEI_BARCODETEXT ||
         id == TWEI_BARCODETYPE || id == TWEI_BARCODECOUNT || id == TWEI_BARCODETEXTLENGTH;
}

void logLine(std::string_view name, const std::string& text) {
  if (gKrCommon) gKrCommon->outputDebugLog(name, kLogBlank, 1, text);
}

}  // namespace

uint32_t barcodeTypeCode(uint8_t typeIndex) {
  return typeIndex < std::size(kBarcodeTypeCodes) ? kBarcodeTypeCodes[typeIndex] : 0;
}

void TezFRLDS::extBarcodeInfo(TW_EXTIMAGEINFO* info) {
  const std::vector<TezFRLDS::PageBarcode>& codes = pageCodes.barcodes;
  const size_t n = std::min(codes.size(), kMaxPageBarcodes);
  auto text = [&](size_t i) {
    const std::string& t = codes[i].text;
    return std::string_view(t).substr(0, std::min(kMaxBarcodeText, t.size()));
  };
  for (TW_UINT32 e = 0; e < info->NumInfos; ++e) {
    TW_INFO& entry = info->Info[e];
    if (entry.InfoID == TWEI_BARCODECOUNT) {
      entry.ItemType = TWTY_UINT32;
      entry.NumItems = 1;
      entry.ReturnCode = TWRC_SUCCESS;
      entry.Item = n;
      continue;
    }
    if (!barcodeEntry(entry.InfoID)) continue;
    entry.ItemType = TWTY_UINT32;
    entry.NumItems = static_cast<TW_UINT16>(n);
    entry.ReturnCode = TWRC_SUCCESS;
    entry.Item = 0;
    if (entry.InfoID == TWEI_BARCODETEXT) {
      // The texts one after the other, no terminators: the block holds their sum (at least one
      // byte, so that an empty text still hands over a block).
      size_t total = 0;
      for (size_t i = 0; i < n; ++i) total += text(i).size();
      auto* block = static_cast<char*>(twain::AllocateBlock(std::max<size_t>(total, 1)));
      if (block == nullptr) continue;
      size_t at = 0;
      for (size_t i = 0; i < n; ++i) {
        const std::string_view t = text(i);
        std::memcpy(block + at, t.data(), t.size());
        at += t.size();
      }
      entry.Item = reinterpret_cast<TW_UINTPTR>(block);
      continue;
    }
    auto value = [&](size_t i) -> uint32_t {
      switch (entry.InfoID) {
        case TWEI_BARCODEX:
          return codes[i].x;
        case TWEI_BARCODEY:
          return codes[i].y;
        case TWEI_BARCODETYPE:
          return barcodeTypeCode(codes[i].typeIndex);
        default:  // the text lengths
          return static_cast<uint32_t>(text(i).size());
      }
    };
    if (n == 1) {
      entry.Item = value(0);
      continue;
    }
    auto* block = static_cast<uint32_t*>(twain::AllocateBlock(n * sizeof(uint32_t)));
    if (block == nullptr) continue;
    for (size_t i = 0; i < n; ++i) block[i] = value(i);
    entry.Item = reinterpret_cast<TW_UINTPTR>(block);
  }
}

TW_UINT16 TezFRLDS::extImageInfo(TW_IDENTITY*, TW_UINT16 msg, TW_EXTIMAGEINFO* info) {
  if (msg != MSG_GET) return fail(TWCC_BADPROTOCOL);
  bool barcodesAnswered = false;
  if (isBarcode && !pageCodes.barcodes.empty()) {
    for (TW_UINT32 e = 0; e < info->NumInfos; ++e) {
      if (info->Info[e].InfoID == TWEI_BARCODECOUNT) {
        extBarcodeInfo(info);
        barcodesAnswered = true;
        break;
      }
    }
  }
  for (TW_UINT32 e = 0; e < info->NumInfos; ++e) {
    TW_INFO& entry = info->Info[e];
    if (barcodeEntry(entry.InfoID)) {
      if (!barcodesAnswered) entry.ReturnCode = TWRC_DATANOTAVAILABLE;
    } else if (entry.InfoID == TWEI_PATCHCODE) {
      if (isPatchCode && pageCodes.patchCode) {
        entry.ItemType = TWTY_UINT32;
        entry.NumItems = 1;
        entry.ReturnCode = TWRC_SUCCESS;
        entry.Item = 0;
      } else {
        entry.ReturnCode = TWRC_DATANOTAVAILABLE;
      }
    } else {
      entry.ReturnCode = TWRC_INFONOTSUPPORTED;
    }
  }
  logLine("extImageInfo", std::to_string(info->NumInfos) + " entries");
  return TWRC_SUCCESS;
}

TW_UINT16 TezFRLDS::controlKRCustomCommand(TW_IDENTITY*, TW_UINT16 msg,
                                           TW_KRCUSTOMCOMMAND* command) {
  if (msg == MSG_SET) return fail(TWCC_SEQERROR);
  if (msg != MSG_GET || command->Command != KRCUSTOMCOMMAND_LASTERROR) {
    return fail(TWCC_BADPROTOCOL);
  }
  const int64_t error = lastScannerError;
  command->Error = error == kOwnErrorNoMemory  ? kReportedNoMemory
                   : error == kOwnErrorNoPaper ? kReportedNoPaper
                                               : static_cast<TW_UINT32>(error);
  // UTF-16 little-endian whatever the host's byte order.
  static_assert(sizeof(TW_KRCUSTOMCOMMAND::Message) == sizeof(TezFRLDS::scannerErrorMsg));
  auto* bytes = reinterpret_cast<uint8_t*>(command->Message);
  for (size_t i = 0; i < std::size(scannerErrorMsg); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(scannerErrorMsg[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>(scannerErrorMsg[i] >> 8);
  }
  logLine("KRCustomCommand", std::to_string(error));
  return TWRC_SUCCESS;
}

}  // namespace ferrolite
