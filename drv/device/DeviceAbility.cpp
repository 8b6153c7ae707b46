// The client-facing ability record, built from the model object's inquiry copy and the
// transport's port texts.
#include "drv/device/DeviceAbility.h"

#include <strings.h>

#include <cstring>

#include "drv/device/ExportFrame.h"
#include "drv/device/IoObject.h"
#include "drv/platform/CLLDMemoryManager.h"
#include "drv/platform/DbgLog.h"
#include "vantrel/kr_api.h"

using namespace krstatus;

namespace {

// Reads the inquiry copy; nothing outside it is ever touched.
struct Inquiry {
  uint8_t bytes[kInquiryCopySize];

  uint32_t BE(uint32_t at, uint32_t n) const {
    uint32_t v = 0;
    for (uint32_t i = 0; i < n; ++i) v = (v << 8) | (at + i < sizeof bytes ? bytes[at + i] : 0);
    return v;
  }
  uint32_t Bit(uint32_t at, uint32_t bit) const { return (bytes[at] >> bit) & 1u; }
  // The two-bit field of "a / b": 0 without a, 1 with a only, 2 with both.
  uint32_t Pair(uint32_t at, uint32_t a, uint32_t b) const {
    return Bit(at, a) ? (Bit(at, b) ? 2 : 1) : 0;
  }
  // The text at the offset stored in `at`, or "" when it does not end inside the copy.
  const char* Text(uint32_t at) const {
    const uint32_t offset = BE(at, 2);
    if (offset == 0 || offset >= sizeof bytes) return "";
    if (std::memchr(bytes + offset, 0, sizeof bytes - offset) == nullptr) return "";
    return reinterpret_cast<const char*>(bytes + offset);
  }
  // Count byte of the list whose offset is stored in `at`, when the list with `entrySize`-byte
  // entries lies inside the copy (capped at `cap`); 0 otherwise.
  uint32_t ListCount(uint32_t at, uint32_t entrySize, uint32_t cap) const {
    const uint32_t offset = BE(at, 2);
    if (offset == 0 || offset >= sizeof bytes) return 0;
    uint32_t n = bytes[offset];
    if (n > cap) n = cap;
    if (offset + 1 + n * entrySize > sizeof bytes) return 0;
    return n;
  }
  uint32_t ListOffset(uint32_t at) const { return BE(at, 2); }
};

uint32_t Capability0(const Inquiry& q) {
  uint32_t c = 0;
  c |= q.Bit(89, 0) << 0;
  c |= q.Bit(90, 4) << 1;
  c |= q.Pair(98, 6, 7) << 2;
  c |= q.Bit(98, 5) << 4;
  c |= q.Bit(98, 4) << 5;
  c |= q.Pair(98, 3, 2) << 6;
  c |= q.Pair(98, 1, 0) << 8;
  c |= q.Pair(99, 7, 6) << 10;
  c |= q.Pair(99, 5, 4) << 12;
  c |= q.Pair(99, 3, 2) << 14;
  c |= q.Pair(99, 1, 0) << 16;
  c |= q.Pair(100, 7, 6) << 18;
  c |= q.Pair(100, 5, 4) << 20;
  c |= q.Pair(101, 7, 6) << 22;
  c |= q.Pair(100, 3, 2) << 24;
  c |= q.Pair(100, 1, 0) << 26;
  c |= q.Pair(101, 5, 4) << 28;
  c |= q.Pair(101, 3, 2) << 30;
  return c;
}

uint32_t Capability1(const Inquiry& q) {
  uint32_t c = 0;
  c |= q.Bit(88, 7) << 0;
  c |= q.Bit(88, 6) << 1;
  c |= q.Bit(88, 5) << 2;
  c |= q.Bit(88, 2) << 3;
  c |= q.Bit(88, 1) << 4;
  c |= q.Bit(89, 7) << 5;
  c |= q.Bit(89, 6) << 6;
  c |= q.Bit(89, 3) << 7;
  c |= q.Bit(89, 4) << 8;
  c |= q.Bit(89, 1) << 9;
  c |= q.Bit(89, 2) << 10;
  c |= q.Bit(90, 5) << 11;
  c |= q.Bit(90, 3) << 12;
  c |= q.Bit(96, 4) << 13;
  // Bit 14 (Endorsor) is never set.
  const uint32_t alignment = q.Bit(91, 6) ? 1 : (q.Bit(91, 5) ? 2 : 0);
  c |= alignment << 15;
  c |= q.Bit(96, 3) << 17;
  c |= q.Bit(96, 2) << 18;
  c |= q.Bit(91, 1) << 19;
  c |= q.Bit(91, 0) << 20;
  c |= q.Bit(92, 7) << 21;
  c |= q.Bit(92, 6) << 22;
  c |= static_cast<uint32_t>(q.bytes[92] & 0x3F) << 23;
  c |= q.Bit(97, 7) << 29;
  c |= q.Bit(97, 6) << 30;
  c |= q.Bit(97, 5) << 31;
  return c;
}

uint32_t Capability2(const Inquiry& q) {
  uint32_t c = 0;
  c |= static_cast<uint32_t>(q.bytes[90] & 0x07) << 0;
  c |= static_cast<uint32_t>((q.bytes[91] >> 2) & 0x07) << 4;
  c |= static_cast<uint32_t>(q.bytes[102] >> 4) << 8;
  c |= q.Bit(97, 3) << 12;
  c |= q.Bit(97, 2) << 13;
  return c;
}

// One of the record's strings: a fresh block when the driver allocates (or the reused record
// has none), else the client's buffer, which is never written past the text it held.
struct StringPlan {
  const char* text;
  char* given;
};

}  // namespace

void FillDeviceAbility(const CScanner& scanner, DeviceAbility* r) {
  Inquiry q;
  scanner.GetInquiryData(q.bytes);
  r->Version = 200;
  r->Size = sizeof(DeviceAbility);
  r->BaseRes = static_cast<uint16_t>(q.BE(16, 2));
  r->FlatbedMaxWidth = q.BE(18, 3);
  r->FlatbedMaxLength = q.BE(21, 3);
  r->ADFMaxWidth = q.BE(24, 3);
  r->ADFMaxLength = q.BE(27, 3);
  r->XPAMaxWidth = q.BE(30, 3);
  r->XPAMaxLength = q.BE(33, 3);
  r->FlatbedMinWidth = static_cast<uint16_t>(q.BE(36, 2));
  r->FlatbedMinLength = static_cast<uint16_t>(q.BE(38, 2));
  r->ADFMinWidth = static_cast<uint16_t>(q.BE(40, 2));
  r->ADFMinLength = static_cast<uint16_t>(q.BE(42, 2));
  r->XPAMinWidth = static_cast<uint16_t>(q.BE(44, 2));
  r->XPAMinLength = static_cast<uint16_t>(q.BE(46, 2));
  r->LongPageLength = q.ListCount(48, 6, 255);
  uint32_t imageType = q.BE(51, 3);
  if (scanner.ModelInfo().HasFeature(kFeatureExtendedModes)) imageType &= ~(0x1000u | 0x10000u);
  r->ImageType = imageType;
  r->DeviceType = q.BE(54, 2);
  r->ScanMethod = q.BE(56, 2);
  r->OpticalRes = static_cast<uint16_t>(q.BE(58, 2));
  r->ADFMotorRes = static_cast<uint16_t>(q.BE(60, 2));
  r->FlatbedMotorRes = static_cast<uint16_t>(q.BE(62, 2));
  r->ResolutionIndex = 0;
  r->HalftoneNum = static_cast<uint8_t>(q.ListCount(66, 1, 8));
  for (uint32_t i = 0; i < r->HalftoneNum; ++i)
    r->HalftoneIndex[i] = q.bytes[q.ListOffset(66) + 1 + i];
  r->ErrorDiffusionNum = static_cast<uint8_t>(q.ListCount(68, 1, 8));
  for (uint32_t i = 0; i < r->ErrorDiffusionNum; ++i)
    r->DiffusionIndex[i] = q.bytes[q.ListOffset(68) + 1 + i];
  if (scanner.ModelInfo().HasFeature(kFeatureFixedPixelBounds)) {
    r->LineartPixelBound = 8;
    r->GrayPixelBound = 1;
    r->ColorPixelBound = 1;
    r->HalftonePixelBound = 8;
    r->DiffusionPixelBound = 8;
    r->Gray4bitsPixelBound = 2;
  } else {
    r->LineartPixelBound = q.bytes[70];
    r->GrayPixelBound = q.bytes[71];
    r->ColorPixelBound = q.bytes[72];
    r->HalftonePixelBound = q.bytes[73];
    r->DiffusionPixelBound = q.bytes[74];
    r->Gray4bitsPixelBound = q.bytes[75];
  }
  r->ButtonFunctionNumber = q.bytes[76];
  r->Reserved2[0] = q.bytes[77];
  r->YCbCrCapability = q.bytes[93];
  r->MinimumRes = static_cast<uint16_t>(q.BE(94, 2));
  uint8_t* background = &r->FrontADFBackground_R;
  for (int i = 0; i < 9; ++i) background[i] = q.bytes[103 + i];
  r->Reserved0[0] = q.Bit(97, 4);
  r->ScannerCapability0 = Capability0(q);
  r->ScannerCapability1 = Capability1(q);
  r->ScannerCapability2 = Capability2(q);
  r->ScannerCapability3 = 0;
  r->ScannerCapability4 = 0;
}

long Inquiry2ToScannerDeviceAbility200(CScannerManagerScannerItem* item, DeviceAbility** pp) {
  if (pp == nullptr || pMemManager == nullptr) return kParameterError;
  DeviceAbility* given = *pp;
  // A client's record is filled only when its Size says the whole record fits.
  if (given != nullptr && given->Size < sizeof(DeviceAbility)) {
    DbgPrintf(1, "Client ability record size %d too small", given->Size);
    return kParameterError;
  }
  DeviceAbility built;
  std::memset(&built, 0, sizeof built);
  FillDeviceAbility(*item->pScanner, &built);

  Inquiry q;
  item->pScanner->GetInquiryData(q.bytes);
  const IoObject* io = item->pIoObject;
  const bool usbTexts = strncasecmp(io->GetPortName(), "usb", 3) == 0 &&
                        item->pScanner->GetFeature(kFeatureUsbPortTexts);
  StringPlan plan[5] = {
      {q.Text(8), given != nullptr ? given->pVendorName : nullptr},
      {q.Text(10), given != nullptr ? given->pModelName : nullptr},
      {q.Text(12), given != nullptr ? given->pFWVersion : nullptr},
      {usbTexts ? "USB" : io->GetPortName(), given != nullptr ? given->pPortType : nullptr},
      {usbTexts ? "USB" : io->GetPortAddress(), given != nullptr ? given->pPortAddress : nullptr},
  };
  char* fresh[5] = {};
  char* strings[5] = {};
  for (int i = 0; i < 5; ++i) {
    const size_t needed = std::strlen(plan[i].text) + 1;
    char* target = plan[i].given;
    size_t room = target != nullptr ? std::strlen(target) + 1 : needed;
    if (target == nullptr) {
      target = static_cast<char*>(pMemManager->NewMem(static_cast<uint32_t>(needed)));
      if (target == nullptr) {
        DbgPrintf(1, "memory allocation failed : %s", "ability string");
        for (char* block : fresh) pMemManager->DeleteMem(block);
        return kNoMemory;
      }
      fresh[i] = target;
    }
    const size_t copied = needed <= room ? needed - 1 : room - 1;
    std::memcpy(target, plan[i].text, copied);
    target[copied] = 0;
    strings[i] = target;
  }
  built.pVendorName = strings[0];
  built.pModelName = strings[1];
  built.pFWVersion = strings[2];
  built.pPortType = strings[3];
  built.pPortAddress = strings[4];
  if (given != nullptr) {
    std::memcpy(given, &built, sizeof built);
    return kOK;
  }
  auto* record = static_cast<DeviceAbility*>(pMemManager->NewMem(sizeof(DeviceAbility)));
  if (record == nullptr) {
    DbgPrintf(1, "memory allocation failed : %s", "ability record");
    for (char* block : fresh) pMemManager->DeleteMem(block);
    return kNoMemory;
  }
  std::memcpy(record, &built, sizeof built);
  *pp = record;
  return kOK;
}

KR_API long KRGetDeviceAbility(uint32_t /*ctrlId*/, uint32_t* handle, DeviceAbility** ability) {
  return DeviceExport("KRGetDeviceAbility", handle)
      .Run([&](CScannerManagerScannerItem* item) -> long {
        // Without an opening there is no inquiry copy to describe.
        if (!item->bInitialized) return kNotFound;
        if (ability == nullptr) return kParameterError;
        return Inquiry2ToScannerDeviceAbility200(item, ability);
      });
}
