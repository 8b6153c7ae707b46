#pragma once
// What the open, alert and information tests share: the hosted source over the simulated
// scanners with the headless windows, a fresh journal per test, every simulated scanner plugged
// in, and spies on the driver's NVRAM writes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "DataSourceFixture.h"
#include "ds/scan/scanner/TezFRLScan.h"
#include "ds/scan/scanner/UsbIO.h"
#include "ds/twain/HeadlessDialog.h"
#include "platform/ui/Headless.h"
#include "sim/SimScanner.h"

namespace dstest {

// The driver's NVRAM writes the source made: tag and the first 32-bit word of the value.
inline std::vector<std::pair<long, uint32_t>> gNvramWrites;
inline ferrolite::KrEntries gRealEntries;

inline long WriteNvmSpy(uint32_t c, uint32_t* d, long tag, uint32_t type, void* data, bool flag) {
  uint32_t word = 0;
  if (type == 2) {
    uint16_t half = 0;
    std::memcpy(&half, data, sizeof half);
    word = half;
  } else {
    std::memcpy(&word, data, sizeof word);
  }
  gNvramWrites.emplace_back(tag, word);
  return gRealEntries.KRWriteNVMData(c, d, tag, type, data, flag);
}

class OpenSourceTest : public HostedSourceTest {
 protected:
  void SetUp() override {
    HostedSourceTest::SetUp();
    ui::headless::Journal::shared().reset();
    gNvramWrites.clear();
    // The bus is made on first use; every scanner starts plugged in.
    ferrolite::DEVICE devices[ferrolite::UsbIO::kMaxEntries];
    uint32_t count = 0;
    ferrolite::UsbIO().GetDeviceList(devices, &count);
    for (size_t i = 0; i < sim::LoadedScannerCount(); ++i) {
      if (!sim::LoadedScanner(i)->Attached()) sim::LoadedScanner(i)->Replug();
    }
  }
  void TearDown() override {
    for (size_t i = 0; i < sim::LoadedScannerCount(); ++i) {
      if (!sim::LoadedScanner(i)->Attached()) sim::LoadedScanner(i)->Replug();
    }
    HostedSourceTest::TearDown();
    ferrolite::replaceModelTable(nullptr);
  }

  sim::SimScanner& scanner(size_t index = 0) { return *sim::LoadedScanner(index); }
  void unplugAll() {
    for (size_t i = 0; i < sim::LoadedScannerCount(); ++i) sim::LoadedScanner(i)->Unplug();
  }
  // Makes the object and the manager, without opening the source.
  void Load() {
    makeSource();
    std::string error;
    ASSERT_TRUE(host.OpenManagerInProcess(InProcessEntry, &error)) << error;
  }
  void SpyOnNvramWrites() {
    ferrolite::KrEntries& entries = gSource->scanObject->driverEntries();
    gRealEntries = entries;
    entries.KRWriteNVMData = WriteNvmSpy;
  }
  std::vector<ui::headless::Entry> alerts() const {
    return ui::headless::Journal::shared().alerts();
  }
  void writeDefaults(const foundation::Dictionary& defaults) {
    foundation::Dictionary top = std::filesystem::exists(settingsFile()) ? readPlist(settingsFile())
                                                                         : foundation::Dictionary{};
    top.set("Default", defaults);
    writePlist(settingsFile(), top);
  }
};

}  // namespace dstest
