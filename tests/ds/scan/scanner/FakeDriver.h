#pragma once
// A driver stand-in inside the test program for the scan object's page loop: its KRStartScan
// starts a reader thread that hands the scripted blocks of one page to the callback (stopping
// when the callback says so), KRStopScan joins it. Every entry the scan object calls is bound;
// calls are counted.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "ds/scan/scanner/TezFRLScan.h"

namespace fakedriver {

struct Block {
  std::vector<uint8_t> data;
  std::vector<int64_t> codes;  // the status list, up to six
  bool errorCounts = false;    // size, lines and pixels -1 (an error block without data)
};
using Page = std::vector<Block>;

struct Driver {
  std::mutex lock;
  std::vector<Page> pages;  // one per KRStartScan, in order
  size_t nextPage = 0;
  std::thread reader;
  std::vector<long> results;  // the callback's results, in order
  std::vector<SCANPARAMETER_UNION> parameters;
  std::vector<long> stopControls;
  int startJobs = 0, stopJobs = 0, startScans = 0;
  uint8_t paper = 1;
  long startScanResult = 0;
  long stopScanResult = 0;
  std::vector<uint8_t> paperAfterPage;  // the sensor between pages (1 paper), by page; then 0

  void join() {
    if (reader.joinable()) reader.join();
  }
};

inline Driver* gDriver = nullptr;

inline long StartJob(uint32_t, uint32_t*) { return ++gDriver->startJobs, 0L; }
inline long StopJob(uint32_t, uint32_t*) {
  gDriver->join();
  return ++gDriver->stopJobs, 0L;
}
inline long SetParameter(uint32_t, uint32_t*, SCANPARAMETER_UNION* p) {
  gDriver->parameters.push_back(*p);
  return 0;
}
inline long SetGamma(uint32_t, uint32_t*, uint8_t*, uint32_t, uint32_t, uint32_t, uint32_t) {
  return 0;
}
inline long SensorStatus(uint32_t, uint32_t*, long*, uint8_t* status, int) {
  std::lock_guard lock(gDriver->lock);
  const size_t done = gDriver->startScans;
  if (done == 0) {
    status[0] = gDriver->paper;
  } else {
    status[0] = done - 1 < gDriver->paperAfterPage.size() ? gDriver->paperAfterPage[done - 1] : 0;
  }
  return 0;
}
inline long StartScan(uint32_t ctrl, uint32_t* device, AP_CALLBACK callback, long) {
  Driver& d = *gDriver;
  d.join();
  if (d.startScanResult != 0) return d.startScanResult;
  Page page;
  {
    std::lock_guard lock(d.lock);
    ++d.startScans;
    if (d.nextPage < d.pages.size()) page = d.pages[d.nextPage++];
  }
  d.reader = std::thread([&d, page, ctrl, device, callback] {
    for (const Block& b : page) {
      STATUSLIST list;
      std::memset(&list, 0, sizeof list);
      list.Version = STATUSLIST_VERSION;
      list.Size = sizeof list;
      for (size_t i = 0; i < b.codes.size() && i < STATUSLIST_CODES; ++i)
        list.Status[i] = b.codes[i];
      std::vector<uint8_t> data = b.data;
      const uint32_t size = b.errorCounts ? 0xFFFFFFFFu : uint32_t(data.size());
      const long lines = b.errorCounts ? -1 : 1;
      const long result =
          callback(ctrl, device, data.empty() ? nullptr : data.data(), size, lines, lines, &list);
      {
        std::lock_guard lock(d.lock);
        d.results.push_back(result);
      }
      if (result != 0) break;
    }
  });
  return 0;
}
inline long StopScan(uint32_t, uint32_t*, long control) {
  gDriver->join();
  gDriver->stopControls.push_back(control);
  return gDriver->stopScanResult;
}
inline long MemFree(uint32_t, void*) { return 0; }

// Binds the stand-in into the scan object.
inline void Bind(ferrolite::TezFRLScan& scan, Driver& driver) {
  gDriver = &driver;
  ferrolite::KrEntries& e = scan.driverEntries();
  e.KRStartJob = StartJob;
  e.KRStopJob = StopJob;
  e.KRSetParameter = SetParameter;
  e.KRSetGamma = SetGamma;
  e.KRSensorStatus = SensorStatus;
  e.KRStartScan = StartScan;
  e.KRStopScan = StopScan;
  e.KRMemFree = MemFree;
}

}  // namespace fakedriver
