// Gamma tables and the colour matrix on their way to the device.
#include "drv/engine/GammaTransfer.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "drv/device/ScanParameters.h"
#include "drv/engine/Calibration.h"
#include "drv/engine/GammaStore.h"
#include "drv/platform/DbgLog.h"

using namespace krstatus;

namespace {

constexpr uint32_t kGammaHead = 8;
constexpr uint32_t kRearFilter0 = 4;  // head 2's filter 0, counted in tables
constexpr uint32_t kMatrixWords = 9;

struct GammaBlock {
  uint32_t table;  // source table, counted in tables of L bytes
  uint8_t channel;
};

bool IsYcc(uint32_t mode) { return ModeKind(mode) == 1 || ModeKind(mode) == 2; }

bool IsColourMode(uint32_t mode) {
  return mode == 4 || IsYcc(mode) || mode == 0x3000004 || mode == 0x4000004 || mode == 0x5000004;
}

std::vector<GammaBlock> ChooseBlocks(CScanner* scanner, const SCANPARAMETER_UNION& dev) {
  const uint32_t mode = dev.ScanMode;
  const uint32_t cf = dev.ColorFilter;
  const bool threeChannels = IsColourMode(mode) || cf == 0;
  const uint8_t oneChannel = static_cast<uint8_t>(cf - 1);
  if (IsYcc(mode) && scanner->GetFeature(kFeatureYccGammaBlocks))
    return {{kRearFilter0, 0}, {kRearFilter0, 1}, {kRearFilter0, 2}};
  if (scanner->GetFeature(kFeatureGammaColourTable)) {
    if (threeChannels) return {{kRearFilter0, 0}, {kRearFilter0, 1}, {kRearFilter0, 2}};
    return {{kRearFilter0, oneChannel}};
  }
  if (threeChannels) return {{1, 0}, {2, 1}, {3, 2}};
  if (scanner->GetFeature(kFeatureGammaPerFilterTable)) return {{cf, 0}, {cf, 1}, {cf, 2}};
  return {{cf, oneChannel}};
}

}  // namespace

bool DoSendGammaTable(CScannerManagerScannerItem* item) {
  CScanner* scanner = item->pScanner;
  SCANPARAMETER_UNION dev;
  scanner->GetNewScanParameter(&dev);
  const uint32_t length = GammaTableLength(item);
  const std::vector<GammaBlock> blocks = ChooseBlocks(scanner, dev);
  for (const GammaBlock& b : blocks) {
    // A colour filter beyond the store's four would send bytes from outside its tables.
    if (length == 0 || (b.table >= kGammaFilters && b.table != kRearFilter0)) {
      DbgPrintf(1, "DoSendGammaTable: no table for colour filter %d", dev.ColorFilter);
      item->lErrorStatus = kParameterError;
      return false;
    }
  }
  std::vector<uint8_t> block(length + kGammaHead, 0);
  block[2] = 1;
  PutBE16(&block[3], static_cast<uint16_t>(length + kGammaHead));
  block[7] = kGammaHead;
  uint8_t* table = block.data() + kGammaHead;
  const bool inverted = scanner->GetFeature(kFeatureInvertedGamma);
  for (const GammaBlock& b : blocks) {
    block[6] = b.channel;
    std::copy_n(GammaTableAt(item, b.table), length, table);
    scanner->AdjustSendingGammaTable(table, static_cast<uint8_t>(b.table), length, &dev);
    if (inverted) {
      for (uint32_t i = 0; i < length; ++i) table[i] = static_cast<uint8_t>(~table[i]);
    }
    if (!item->pIoObject->Send(block.data(), length + kGammaHead, krdata::kGammaBlock))
      return false;
  }
  return true;
}

uint16_t ConvertDoubleToColorMatrixWord(double value) {
  constexpr uint16_t kSign = 0x1000;
  const double magnitude = std::fabs(value);
  uint16_t whole = 3, thousandths = 999;  // the largest magnitude a word holds
  if (magnitude < 4.0) {
    whole = static_cast<uint16_t>(magnitude);
    thousandths = static_cast<uint16_t>((magnitude - whole) * 1000.0);
  }
  return static_cast<uint16_t>((value < 0 ? kSign : 0) | (whole << 10) | thousandths);
}

bool DoSendYCCMatrix(CScannerManagerScannerItem* item) {
  SCANPARAMETER_UNION dev;
  item->pScanner->GetNewScanParameter(&dev);
  const double kr = item->GreyWeights[0], kg = item->GreyWeights[1], kb = item->GreyWeights[2];
  double m[kMatrixWords];
  if (IsYcc(dev.ScanMode)) {
    const double rows[kMatrixWords] = {
        kr,          kg,          kb,          (1 - kr) / 1.402, -kg / 1.402,
        -kb / 1.402, -kr / 1.772, -kg / 1.772, (1 - kb) / 1.772};
    std::copy_n(rows, kMatrixWords, m);
  } else if (dev.ScanMode == 4 || dev.ColorFilter != 0) {
    const double identity[kMatrixWords] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::copy_n(identity, kMatrixWords, m);
  } else {
    for (uint32_t row = 0; row < 3; ++row) {
      m[3 * row] = kr;
      m[3 * row + 1] = kg;
      m[3 * row + 2] = kb;
    }
  }
  uint8_t words[2 * kMatrixWords];
  for (uint32_t i = 0; i < kMatrixWords; ++i)
    PutBE16(words + 2 * i, ConvertDoubleToColorMatrixWord(m[i]));
  return item->pIoObject->Send(words, sizeof words, krdata::kColourMatrix);
}

void DoInvertGammaTable(CScannerManagerScannerItem* item) {
  const uint32_t length = GammaTableLength(item);
  if (length == 0) return;
  switch (item->pScanner->InquiryData()[120] >> 4) {
    case 0:
      // Every byte of head 1's four tables.
      for (uint8_t *p = GammaTableAt(item, 0), *end = p + kGammaFilters * length; p != end; ++p)
        *p = static_cast<uint8_t>(255 - *p);
      break;
    case 1:
      // The low byte of every two-byte entry of filters 0 and 2.
      for (uint32_t filter : {0u, 2u}) {
        uint8_t* table = GammaTableAt(item, filter);
        for (uint32_t i = 1; i < length; i += 2) table[i] = static_cast<uint8_t>(255 - table[i]);
      }
      break;
    default:
      break;
  }
}

bool IsInvertScan(CScannerManagerScannerItem* /*item*/) {
  DbgPrintf(1, "IsInvertScan = %d", 0);
  return false;
}
