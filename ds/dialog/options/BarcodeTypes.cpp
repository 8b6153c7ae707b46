#include "ds/dialog/options/BarcodeTypes.h"

namespace ferrolite::dialog {

namespace {
void checksFromBits(BarcodeSheet& s, uint32_t bits) {
  for (int bit = 0; bit < kBarcodeBits; ++bit) s.checked[bit] = (bits >> bit) & 1u;
  s.checked[9] = false;
}
}  // namespace

BarcodeSheet BarcodeTypes::load(ScanSetting& r) {
  BarcodeSheet s;
  if (r.dwSelectBarcode != 0) {
    s.symbologiesEnabled = true;
    s.allChecked = false;
    checksFromBits(s, r.dwSelectBarcode);
  } else {
    s.allChecked = true;
    s.symbologiesEnabled = false;
    checksFromBits(s, kBarcodeEverySymbology);
  }
  r.dwSelectBarcode &= ~kBarcodeMaxiCode;
  allChecked_ = s.allChecked;
  s.okEnabled = r.dwSelectBarcode != 0 || s.allChecked;
  return s;
}

BarcodeSheet BarcodeTypes::build(ScanSetting& r) {
  orgSelectBarCodeType_ = r.dwSelectBarcode;
  return load(r);
}

BarcodeSheet BarcodeTypes::open(ScanSetting& r) { return load(r); }

BarcodeSheet BarcodeTypes::symbologyChanged(ScanSetting& r, int bit, bool on) {
  if (bit >= 0 && bit < kBarcodeBits && bit != 9) {
    if (on) {
      r.dwSelectBarcode |= 1u << bit;
    } else {
      r.dwSelectBarcode &= ~(1u << bit);
    }
  }
  BarcodeSheet s;
  checksFromBits(s, r.dwSelectBarcode);
  s.allChecked = allChecked_;
  s.okEnabled = r.dwSelectBarcode != 0;
  return s;
}

BarcodeSheet BarcodeTypes::allChanged(ScanSetting& r, bool on) {
  BarcodeSheet s;
  if (on) {
    r.dwSelectBarcode = 0;
    checksFromBits(s, kBarcodeEverySymbology);
    s.symbologiesEnabled = false;
  } else {
    r.dwSelectBarcode = kBarcodeEverySymbology;
    checksFromBits(s, r.dwSelectBarcode);
    s.symbologiesEnabled = true;
  }
  s.allChecked = allChecked_ = on;
  s.okEnabled = !(r.dwSelectBarcode == 0 && !on);
  return s;
}

void BarcodeTypes::ok(ScanSetting& r, bool allChecked) {
  if (allChecked) r.dwSelectBarcode = 0;
  orgSelectBarCodeType_ = r.dwSelectBarcode;
}

void BarcodeTypes::cancel(ScanSetting& r) const { r.dwSelectBarcode = orgSelectBarCodeType_; }

}  // namespace ferrolite::dialog
