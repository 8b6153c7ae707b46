// The scanner's small services: NVRAM, the feeder sensor, power times, general operations and
// the last error.
#include <cstdio>
#include <cstring>
#include <string>

#include "ds/scan/scanner/ScanLog.h"
#include "ds/scan/scanner/TezFRLScan.h"

namespace ferrolite {

namespace {

constexpr uint8_t kNvmVersion100 = 100;
constexpr uint8_t kNvmVersion200 = 200;
constexpr uint16_t kNvmSize200 = 261;
constexpr uint8_t kNvmSize100 = 132;
// The head before the shared body: CtrlID, Version, Size (one byte in version 100, two in 200).
constexpr size_t kNvmHead100 = 4;
constexpr size_t kNvmHead200 = 5;
constexpr size_t kNvmBody = 128;
constexpr uint32_t kNvmTagWhole = 0;
constexpr uint32_t kNvmTagEnergySaver = 6;
constexpr uint32_t kNvmTagPowerOff = 7;
constexpr uint32_t kNvmTypeWord = 2;
constexpr uint32_t kPowerTimeEnergySaver = 0;
constexpr uint32_t kPowerTimePowerOff = 1;
constexpr uint32_t kCapabilityEnergySaver = 0x20;  // ScannerCapability1
constexpr uint32_t kCapabilityPowerOff = 0x40;
constexpr size_t kSensorStatusSize = 20;

// One value of type T from a buffer that need not be aligned, printed with `format`.
template <class T, class Printed>
std::string ValueText(const void* buffer, const char* format) {
  T value;
  std::memcpy(&value, buffer, sizeof value);
  char text[64];
  std::snprintf(text, sizeof text, format, static_cast<Printed>(value));
  return text;
}

// The value of a general operation as its log line shows it.
std::string OperationValueText(uint32_t dataType, const void* buffer, size_t count) {
  switch (dataType) {
    case 2: {
      // A text need not end inside its count.
      const auto* text = static_cast<const char*>(buffer);
      return std::string(text, strnlen(text, count));
    }
    case 3:
      return ValueText<int16_t, int>(buffer, "%d");
    case 4:
      return ValueText<int64_t, long>(buffer, "%ld");
    case 6:
      return ValueText<uint8_t, int>(buffer, "%d");
    case 7:
      return ValueText<uint16_t, int>(buffer, "%d");
    case 8:
      return ValueText<uint32_t, unsigned long>(buffer, "%lu");
    case 14:
      return ValueText<float, double>(buffer, "%f");
    default:
      return ValueText<uint8_t, int>(buffer, "0x%02X");  // other types: the first byte
  }
}

}  // namespace

bool TezFRLScan::readNewNVMData(NewNvmData* out) {
  scanLog("KRReadNVMData", kLogIn, 1);
  if (kr_.KRReadNVMData == nullptr) return false;
  void* record = nullptr;
  scannerError_ = kr_.KRReadNVMData(kControllerId, &gDeviceID, &record, kNvmTagWhole, 0);
  const bool ok = scannerError_ == 0 && record != nullptr;
  if (ok) {
    const auto* bytes = static_cast<const uint8_t*>(record);
    const uint8_t version = bytes[2];
    scanLog("NVRam Version", kLogBlank, 1, version);
    nvramV100_ = version == kNvmVersion100;
    if (nvramV100_) {
      // The older layout becomes the current one: the same body after a wider head, the
      // roller counts it does not keep marked unknown.
      std::memset(out, 0, sizeof *out);
      std::memcpy(&out->CtrlID, bytes, sizeof out->CtrlID);
      out->Version = kNvmVersion200;
      out->Size = kNvmSize200;
      std::memcpy(reinterpret_cast<uint8_t*>(out) + kNvmHead200, bytes + kNvmHead100, kNvmBody);
      out->ReverseRollerCount = 0xFFFFFFFFu;
      out->PickupRollerCount = 0xFFFFFFFFu;
    } else {
      std::memcpy(out, record, sizeof *out);
    }
  }
  if (record != nullptr && kr_.KRMemFree != nullptr) kr_.KRMemFree(kControllerId, record);
  scanLog("KRReadNVMData", kLogOut, ok);
  return ok;
}

bool TezFRLScan::writeNewNVMData(uint32_t tag, uint32_t type, void* value) {
  scanLog("KRWriteNVMData", kLogIn, 1, tag);
  if (kr_.KRWriteNVMData == nullptr) return false;
  void* sent = value;
  NewNvmData_VER1 older;
  if (tag == kNvmTagWhole && nvramV100_) {
    const auto* whole = static_cast<const uint8_t*>(value);
    std::memset(&older, 0, sizeof older);
    std::memcpy(&older.CtrlID, whole, sizeof older.CtrlID);
    older.Version = kNvmVersion100;
    older.Size = kNvmSize100;
    std::memcpy(reinterpret_cast<uint8_t*>(&older) + kNvmHead100, whole + kNvmHead200, kNvmBody);
    sent = &older;
    scanLog("NVMDATA_VER100", kLogBlank, 1);
  }
  scannerError_ = kr_.KRWriteNVMData(kControllerId, &gDeviceID, tag, type, sent, true);
  const bool ok = scannerError_ == 0;
  scanLog("KRWriteNVMData", kLogOut, ok, tag);
  return ok;
}

// The older driver generation's NVRAM: not supported, so nothing is read or written.
bool TezFRLScan::readNVMData(NvmData* /*out*/) { return false; }
bool TezFRLScan::setNVRAMValue(void* /*buffer*/, uint32_t /*size*/, uint16_t /*tag*/) {
  return false;
}

bool TezFRLScan::getADFStatus(uint8_t* paper, bool fromScanThread) {
  scanLog("GetADFStatus", fromScanThread ? kLogThreadIn : kLogIn, 1);
  bool ok = false;
  if (kr_.KRSensorStatus != nullptr) {
    long sensor = 0;
    uint8_t status[kSensorStatusSize] = {};
    scannerError_ = kr_.KRSensorStatus(kControllerId, &gDeviceID, &sensor, status, 0);
    ok = scannerError_ == 0;
    if (ok) *paper = status[0];
  }
  scanLog("GetADFStatus", fromScanThread ? kLogThreadOut : kLogOut, ok);
  return ok;
}

bool TezFRLScan::sendPowerTime(uint8_t which, uint16_t minutes) {
  uint32_t tag;
  if (which == kPowerTimeEnergySaver &&
      (deviceAbility.ScannerCapability1 & kCapabilityEnergySaver)) {
    tag = kNvmTagEnergySaver;
  } else if (which == kPowerTimePowerOff &&
             (deviceAbility.ScannerCapability1 & kCapabilityPowerOff)) {
    tag = kNvmTagPowerOff;
  } else {
    return false;
  }
  return writeNewNVMData(tag, kNvmTypeWord, &minutes);
}

// Calibration is the older generation's; with the current one there is nothing to do.
bool TezFRLScan::doCalibration(uint8_t /*op*/, uint16_t* /*job*/) { return true; }

bool TezFRLScan::generalOperation(uint8_t op, uint16_t tag, uint32_t dataType, uint16_t count,
                                  void* buffer) {
  char key[8];
  std::snprintf(key, sizeof key, "0x%04X", tag);
  scanLog("KRGeneralOperation", kLogIn, 1, key);
  bool ok = false;
  if (kr_.KRGeneralOperation != nullptr) {
    const long result =
        kr_.KRGeneralOperation(kControllerId, &gDeviceID, op, tag, dataType, count, buffer);
    scannerError_ = result;
    ok = result == 0;
  }
  if (ok && gKrCommon && gKrCommon->debugLevel() != 0 && buffer != nullptr) {
    const std::string name = funDict_.string(key).valueOr(key);
    const std::string value = OperationValueText(dataType, buffer, count);
    scanLog(op == KR_GENERAL_READ ? "Read " + name + " value" : "Write " + name + " value",
            kLogBlank, 1, value);
  }
  scanLog("KRGeneralOperation", kLogOut, ok);
  return ok;
}

// With the current driver generation the driver's status is already in scannerError.
bool TezFRLScan::getScannerError(uint32_t* /*code*/) { return true; }

std::string TezFRLScan::multifeedInfo(int* count) const {
  if (count != nullptr) *count = multifeedCount_;
  return multifeedPages_;
}

}  // namespace ferrolite
