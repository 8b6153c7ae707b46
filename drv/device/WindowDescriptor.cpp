#include "drv/device/WindowDescriptor.h"

#include <vantrel/wire_bytes.h>

#include <cstring>

#include "drv/platform/DbgLog.h"

namespace {

using wire::Put16;
using wire::Put32;

uint8_t DataKind(uint32_t scanMode, uint16_t ctrlMode) {
  const uint32_t kind = scanMode >> 24;
  uint8_t base;
  if (kind == 1 || kind == 2) {
    base = 1;
  } else if (kind >= 3 && kind <= 6) {
    base = 3;
  } else if (kind == 7) {
    base = 5;
  } else {
    return 0;
  }
  return static_cast<uint8_t>(base + ((ctrlMode & 0x2) != 0 ? 1 : 0));
}

uint8_t DataSubKind(uint32_t scanMode) {
  switch (scanMode) {
    case 0x1000004:
    case 0x3000004:
      return 1;
    case 0x2000004:
    case 0x4000004:
      return 2;
    case 0x5000004:
      return 3;
    case 0x6000002:
      return 4;
    default:
      return 0;
  }
}

}  // namespace

uint32_t WindowImageModeBits(uint32_t scanMode, uint8_t bits) {
  switch (scanMode & 0x00FFFFFFu) {
    case 0:
    case 3:
      return 0x1;
    case 1:
      return 0x2;
    case 5:
      return 0x4;
    case 6:
      return 0x400;
    case 7:
      return 0x800;
    case 2:
      return bits == 4 ? 0x8 : bits == 8 ? 0x10 : bits == 16 ? 0x20 : 0;
    case 4:
      return bits == 8 ? 0x40 : bits == 24 ? 0x80 : bits == 32 ? 0x100 : bits == 48 ? 0x200 : 0;
    default:
      return 0;
  }
}

void BuildWindowDescriptor(uint16_t ctrlId, const SCANPARAMETER_UNION& p,
                           KR_WindowDataSet_VER2* out) {
  DbgPrintf(1, "=>CScanner::GetWindowDescriptor");
  uint8_t* w = out->Data;
  std::memset(w, 0, kWindowDataSize);
  Put16(w + 0, ctrlId);
  w[2] = 2;
  Put16(w + 3, kWindowDataSize);
  Put16(w + 5, 300);
  Put32(w + 7, p.Left);
  Put32(w + 11, p.Top);
  Put32(w + 15, p.Width);
  Put32(w + 19, p.Length);
  Put16(w + 23, p.XRes);
  Put16(w + 25, p.YRes);
  Put32(w + 27, p.PixelNum);
  Put32(w + 31, p.LineNum);
  Put32(w + 35, static_cast<uint32_t>(uint64_t{p.BitsPerPixel} * p.PixelNum / 8));
  Put32(w + 39, WindowImageModeBits(p.ScanMode, p.BitsPerPixel));
  Put16(w + 43, p.ScanMethod);
  w[45] = DataKind(p.ScanMode, p.CtrlMode);
  w[46] = DataSubKind(p.ScanMode);
  const uint32_t kind = p.ScanMode >> 24;
  if (kind >= 3 && kind <= 6) w[47] = static_cast<uint8_t>(p.Compression);
  w[50] = static_cast<uint8_t>(p.Contrast + 128);
  w[51] = static_cast<uint8_t>(p.Brightness + 128);
  w[52] = p.DitherIndex;
  w[53] = p.Highlight;
  w[54] = p.Shadow;
  w[55] = static_cast<uint8_t>(((p.SpeedMode & 7) << 5) | ((p.ColorFilter & 15) << 1) |
                               (p.Invert != 0 ? 1 : 0));
  w[56] = p.Threshold;
  // Duplex jobs count sheets, not sides.
  const uint32_t pages = (p.ScanMethod == 4 && p.JobPages != 0) ? (p.JobPages + 1) / 2 : p.JobPages;
  Put16(w + 57, pages & 0xFFFF);
  w[59] = p.byBackgroundLines;
  if (p.DetectFeedLength != 0) Put16(w + 60, (p.DetectFeedLength - p.Length) & 0xFFFF);

  const uint32_t ext = p.ExtParam0;
  const bool pageMode = (p.CtrlMode & 0x1) != 0;
  const bool continuous = (p.CtrlMode & 0x4) != 0;
  uint8_t b62 = 0;
  const uint32_t skew = (ext >> 6) & 7;
  if (skew != 0) b62 |= 0x80;
  if (skew == 1) b62 |= 0x20;
  if (skew == 2) b62 |= 0x60;
  if (skew == 3) b62 |= 0x40;
  const uint32_t multiFeed = (ext >> 4) & 3;
  if (multiFeed == 1) b62 |= 0x0C;
  if (multiFeed == 2) b62 |= 0x08;
  if (ext & (1u << 3)) b62 |= 0x10;
  if (!pageMode && continuous) b62 |= 0x01;
  w[62] = b62;

  uint8_t b63 = static_cast<uint8_t>((ext & 7) << 5);
  if (ext & (1u << 10)) b63 |= 0x10;
  if (ext & (1u << 9)) b63 |= 0x08;
  b63 |= 0x04;
  if (!pageMode && !continuous) b63 |= 0x01;
  w[63] = b63;

  uint8_t b64 = 0;
  if (ext & (1u << 11)) b64 |= 0x80;
  if (ext & (1u << 12)) b64 |= 0x40;
  if (ext & (1u << 13)) b64 |= 0x20;
  w[64] = b64;

  if ((p.ScanMode & 0x00FFFFFFu) == 3) w[70] = 1;
  DbgPrintf(1, "<=CScanner::GetWindowDescriptor");
}
