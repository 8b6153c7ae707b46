#pragma once
// A driver with one simulated scanner opened through the exports, for the device-record tests.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "SimHelpers.h"
#include "TestLog.h"
#include "drv/device/CScannerManager.h"
#include "vantrel/kr_api.h"
#include "vantrel/wire_bytes.h"

namespace devicefix {

constexpr uint32_t kCtrl = 0x2200;

// Command (READ/SEND data type or opcode name) and data of one exchange, as a test reads it.
struct Seen {
  std::string command;
  std::vector<uint8_t> out;  // what the driver sent
  uint32_t length;           // READ/SEND: block bytes 7-10; others: byte 10
};

inline std::vector<Seen> Commands(const sim::SimScanner& s) {
  std::vector<Seen> seen;
  for (const sim::Exchange& e : s.CommandLog()) {
    const bool typed = e.block[0] == 0xA8 || e.block[0] == 0xAA;
    const uint32_t length = typed ? wire::Get32(&e.block[7]) : e.block[10];
    seen.push_back({e.command, e.dataOut, length});
  }
  return seen;
}

inline std::vector<std::string> Names(const sim::SimScanner& s) {
  std::vector<std::string> names;
  for (const Seen& c : Commands(s)) names.push_back(c.command);
  return names;
}

// A case description as a test name: its letters and digits.
inline std::string CaseName(const char* what) {
  std::string name;
  for (const char* p = what; *p != 0; ++p) {
    if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
  }
  return name;
}

inline sim::InquiryPatch Patch(uint32_t offset, uint8_t value) { return {offset, value}; }

class DeviceTest : public ::testing::Test {
 protected:
  void TearDown() override { KRTerminateDriver(kCtrl); }

  // Starts the driver with one scanner of this description and opens it; the command log is
  // cleared afterwards unless `keepLog`.
  sim::SimScanner& Open(sim::Config config = {}, bool keepLog = false) {
    return OpenOn(host, config, keepLog);
  }
  // The same on another bus (installed as the process's USB host).
  sim::SimScanner& OpenOn(simhelp::InstalledBus& bus, sim::Config config = {},
                          bool keepLog = false) {
    sim::SimScanner& s = bus.Add("SIM0000001", config);
    EXPECT_EQ(KRInitializeDriver(kCtrl), 0);
    if (keepLog) s.ClearCommandLog();
    EXPECT_EQ(KRInitializeDevice(kCtrl, nullptr, &handle), 0);
    if (!keepLog) s.ClearCommandLog();
    return s;
  }
  CScannerManagerScannerItem* Item() { return pManager->GetTargetScannerItem(handle); }

  simhelp::InstalledBus host;
  uint32_t handle = 0;
};

}  // namespace devicefix
