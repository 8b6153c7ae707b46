#pragma once
// Whole jobs through the exports for the scan engine's tests: the suite's set-up and the model's
// stages run over a device page, to compare a converted job with.
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "EngineFixture.h"
#include "TestLog.h"
#include "drv/engine/ImageProcess.h"

namespace enginefix {

class JobTest : public EngineTest {
 protected:
  static void PrepareSuite(const char* name) {
    testlog::Prepare(name);
    // A sanitizer's runtime starts a thread of its own with the first thread: that happens
    // here, before any test counts threads.
    std::thread([] {}).join();
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
};

}  // namespace enginefix
