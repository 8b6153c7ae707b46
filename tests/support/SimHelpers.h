#pragma once
// Small helpers for the device layer's tests on a simulated bus of their own.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "drv/device/DeviceDescription.h"
#include "platform/usb/UsbHost.h"
#include "sim/SimScanner.h"

namespace simhelp {

// A bus installed as the process's USB host for the life of the object.
struct InstalledBus {
  InstalledBus() { usbhost::InstallHost(&bus); }
  ~InstalledBus() { usbhost::InstallHost(nullptr); }
  sim::SimScanner& Add(const std::string& serial, sim::Config config = {}) {
    config.serial = serial;
    return bus.AddScanner(config);
  }
  sim::SimBus bus;
};

inline sim::Fault CheckCondition(int opcode, uint8_t key, uint16_t code, uint32_t info = 0,
                                 int dataType = -1) {
  sim::Fault f;
  f.kind = sim::FaultKind::CheckCondition;
  f.opcode = opcode;
  f.dataType = dataType;
  f.senseKey = key;
  f.asc = static_cast<uint8_t>(code >> 8);
  f.ascq = static_cast<uint8_t>(code);
  f.information = info;
  return f;
}

// The condition the next REQUEST SENSE reports, with good status.
inline sim::Fault CurrentSense(uint8_t key, uint16_t code, uint8_t responseCode = 0x70) {
  sim::Fault f = CheckCondition(0xE3, key, code);
  f.kind = sim::FaultKind::Sense;
  f.responseCode = responseCode;
  return f;
}

inline sim::Fault OnCommand(sim::FaultKind kind, int opcode, int dataType = -1) {
  sim::Fault f;
  f.kind = kind;
  f.opcode = opcode;
  f.dataType = dataType;
  return f;
}

inline size_t Count(const sim::SimScanner& s, uint8_t opcode) {
  size_t n = 0;
  for (const sim::Exchange& e : s.CommandLog()) n += e.block[0] == opcode;
  return n;
}

inline size_t Resets(const sim::SimScanner& s) {
  size_t n = 0;
  for (const std::string& m : s.Messages()) n += m == "USB reset";
  return n;
}

// Command blocks that arrived while an earlier exchange was still open.
inline size_t Overlaps(const sim::SimScanner& s) {
  size_t n = 0;
  for (const std::string& m : s.Messages()) n += m.find("was still open") != std::string::npos;
  return n;
}

inline KrDrvDeviceInformation UsbRecord(const sim::Config& c, const char* serial = "") {
  KrDrvDeviceInformation r;
  std::memset(&r, 0, sizeof r);
  r.Type = krbus::kUsb;
  kridentity::SetWord(r.Identity, 0, c.vendorId);
  kridentity::SetWord(r.Identity, 1, c.productId);
  std::snprintf(r.SerialNumber, sizeof r.SerialNumber, "%s", serial);
  return r;
}

}  // namespace simhelp
