#pragma once
// Whole jobs through the exports for the scan engine's tests: a client's page loop, what it
// received, and the process's thread count (every thread of a job is gone after it).
#include <dirent.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "EngineFixture.h"
#include "TestLog.h"
#include "drv/engine/ImageProcess.h"

namespace enginefix {

constexpr uint32_t kCtrlPage = 0x1;
constexpr uint32_t kCtrlFixed = 0x2;

// Threads of this process now.
inline size_t ThreadCount() {
  size_t n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

// What a job gave the client.
struct Job {
  long start = 0;
  std::vector<long> startScan;
  std::vector<long> stopScan;
  std::vector<ImageInformation> info;
  long stopJob = 0;
  std::vector<Receiver::Page> pages;
};

class JobTest : public EngineTest {
 protected:
  static void PrepareSuite(const char* name) {
    testlog::Prepare(name);
    // A sanitizer's runtime starts a thread of its own with the first thread: that happens
    // here, before any test counts threads.
    std::thread([] {}).join();
  }

  sim::SimScanner& OpenRaw(uint32_t sheets, sim::Config config = {}) {
    config.profile = sim::ImageProfile::Raw;
    config.sheets = sheets;
    return OpenAlone(config);
  }

  // The model's stages for a side (after a job set them up), run over a device page in the
  // engine's read units.
  Bytes RunStages(uint32_t side, const Bytes& raw) {
    uint32_t count = 0;
    CImageProcess_InitializeParameter* list = nullptr;
    Item()->pScanner->GetImageProcessVariable(side, &count, &list);
    EXPECT_GT(count, 0u) << "the job converts nothing";
    CImageProcess pipeline;
    EXPECT_TRUE(pipeline.Initialize(count, list));
    pipeline.Reset();
    Bytes out;
    // Blocks of whole lines, as the IO thread reads raw pages and the decoder hands on its
    // strips.
    SCANPARAMETER_UNION dev;
    Item()->pScanner->GetNewScanParameter(&dev);
    const size_t line = std::max<size_t>(size_t(dev.BytesPerLine), 1);
    const size_t unit = std::max(Item()->dwReadUnit / line, size_t(1)) * line;
    for (size_t at = 0; at < raw.size(); at += unit) {
      Bytes block(raw.begin() + long(at), raw.begin() + long(std::min(raw.size(), at + unit)));
      uint8_t* result = nullptr;
      uint32_t size = 0;
      EXPECT_TRUE(pipeline.Process(block.data(), uint32_t(block.size()), &result, &size));
      out.insert(out.end(), result, result + size);
    }
    return out;
  }

  // A client's job: pages until the feeder is empty (or `pages` were asked for).
  Job RunJob(const SCANPARAMETER_UNION& p, long blockSize, size_t pages = 16) {
    Job job;
    Receiver receiver;
    job.start = KRStartJob(kCtrl, &handle);
    EXPECT_EQ(SetParameter(p), 0);
    for (size_t page = 0; page < pages; ++page) {
      receiver.NextPage();
      const long r = KRStartScan(kCtrl, &handle, Receiver::Callback, blockSize);
      job.startScan.push_back(r);
      if (r != 0) break;
      EXPECT_TRUE(receiver.WaitForPageEnd()) << "page " << page + 1;
      void* info = nullptr;
      EXPECT_EQ(KRRequestImageInfo(kCtrl, &handle, &info), 0);
      if (info != nullptr) {
        job.info.push_back(*static_cast<ImageInformation*>(info));
        KRMemFree(kCtrl, info);
      }
      job.stopScan.push_back(KRStopScan(kCtrl, &handle, 0));
      long sensor = 0;
      uint8_t paper = 0;
      EXPECT_EQ(KRSensorStatus(kCtrl, &handle, &sensor, &paper, 0), 0);
      if (paper == 0) break;
    }
    job.stopJob = KRStopJob(kCtrl, &handle);
    job.pages = receiver.Pages();
    return job;
  }
};

}  // namespace enginefix
