// The pipeline itself: building stages from the table, passing blocks along, failures.
#include <gtest/gtest.h>

#include <cstring>

#include "StageRunner.h"

namespace {

class FailAllocations {
 public:
  explicit FailAllocations(uint32_t nth) { ImageProcessFailAllocationAfter(nth); }
  ~FailAllocations() { ImageProcessFailAllocationAfter(0); }
};

CImageProcess_Parameter_Width WidthParam(uint32_t w) { return CImageProcess_Parameter_Width{w}; }

TEST(ImageProcessPipeline, EmptyPipelineHandsTheBlockItselfOn) {
  CImageProcess ip;
  ASSERT_TRUE(ip.Initialize(0, nullptr));
  EXPECT_EQ(ip.GetStageCount(), 0u);
  uint8_t block[5] = {1, 2, 3, 4, 5};
  uint8_t* out = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(ip.Process(block, sizeof block, &out, &size));
  EXPECT_EQ(out, block);
  EXPECT_EQ(size, 5u);
  EXPECT_TRUE(ip.Reset());
  EXPECT_EQ(ip.GetStatusLong(), 0);
}

TEST(ImageProcessPipeline, UnknownStageIdFailsWithParameterErrorAndSticks) {
  auto grey = GreyParam(4);
  CImageProcess_InitializeParameter list[] = {{IP_C24ToG8, &grey}, {7, &grey}};
  CImageProcess ip;
  EXPECT_FALSE(ip.Initialize(2, list));
  EXPECT_EQ(ip.GetStatusLong(), -2005);

  uint8_t block[12] = {};
  uint8_t* out = block;
  uint32_t size = 99;
  EXPECT_FALSE(ip.Process(block, sizeof block, &out, &size));
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(size, 0u);
  EXPECT_FALSE(ip.Reset());
  EXPECT_EQ(ip.GetStatusLong(), -2005);

  // No list at all, or a count no model builds, fails the same way before any allocation.
  CImageProcess none, huge;
  EXPECT_FALSE(none.Initialize(3, nullptr));
  EXPECT_EQ(none.GetStatusLong(), -2005);
  EXPECT_FALSE(huge.Initialize(0xFFFFFFFFu, list));
  EXPECT_EQ(huge.GetStatusLong(), -2005);
  EXPECT_EQ(huge.GetStageCount(), 0u);
}

TEST(ImageProcessPipeline, FailingInitLeavesLaterStagesClearedAndTheDestructorCopes) {
  // Allocations: stage array, row array, parameter store, then the stages' own. The third stage
  // (colour to grey) makes the fourth allocation; stages four and five have work records and
  // terminate functions that must cope with never having been initialised.
  auto none = WidthParam(4);
  auto grey = GreyParam(4);
  CImageProcess_Parameter_CutImage cut{};
  cut.Pixel = 4;
  CImageProcess_InitializeParameter list[] = {{IP_NoProcessing, &none},
                                              {IP_NoProcessing, &none},
                                              {IP_C24ToG8, &grey},
                                              {IP_G8ToErrorDiffusion, &none},
                                              {IP_CutImage, &cut}};
  CImageProcess ip;
  {
    FailAllocations fail(4);
    EXPECT_FALSE(ip.Initialize(5, list));
  }
  EXPECT_EQ(ip.GetStatusLong(), -2006);
  EXPECT_EQ(ip.GetStageCount(), 5u);
  for (uint32_t later : {3u, 4u}) {
    uint32_t size = 1;
    uint8_t* data = nullptr;
    EXPECT_TRUE(ip.GetStageResult(later, &size, &data));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(data, nullptr);
  }
  uint8_t block[12] = {};
  uint8_t* out = nullptr;
  uint32_t size = 0;
  EXPECT_FALSE(ip.Process(block, sizeof block, &out, &size));
  EXPECT_EQ(ip.GetStatusLong(), -2006);
}

TEST(ImageProcessPipeline, EveryAllocationFailureOfInitializeReportsMemoryError) {
  auto none = WidthParam(8);
  auto grey = GreyParam(8);
  CImageProcess_Parameter_Scale scale{8, 4, 16, 8, 0, 0, 8, 0};
  CImageProcess_Parameter_LineDifference diff{8, {0, 1, 2}};
  CImageProcess_InitializeParameter list[] = {{IP_C24ToG8, &grey},
                                              {IP_BiLinearScale, &scale},
                                              {IP_G8ToErrorDiffusion, &none},
                                              {IP_LineDifference, &diff}};
  // The number of allocations a full build makes, found by failing later and later ones.
  for (uint32_t nth = 1;; ++nth) {
    CImageProcess ip;
    bool ok;
    {
      FailAllocations fail(nth);
      ok = ip.Initialize(4, list);
    }
    if (ok) {
      EXPECT_GT(nth, 8u);
      break;
    }
    EXPECT_EQ(ip.GetStatusLong(), -2006) << "allocation " << nth;
    ASSERT_LT(nth, 100u);
  }
}

TEST(ImageProcessPipeline, ChainPassesEachStageOutputToTheNext) {
  auto grey = GreyParam(8);
  CImageProcess_Parameter_G8ToLineart lineart{8, 128};
  CImageProcess_InitializeParameter list[] = {{IP_C24ToG8, &grey}, {IP_G8ToLineart, &lineart}};
  CImageProcess ip;
  ASSERT_TRUE(ip.Initialize(2, list));
  // Eight pixels: white, black, then alternating around the threshold.
  Bytes line = {255, 255, 255, 0,  0,  0,  129, 129, 129, 128, 128, 128,
                200, 200, 200, 10, 10, 10, 130, 130, 130, 0,   0,   0};
  uint8_t* out = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(ip.Process(line.data(), 24, &out, &size));
  ASSERT_EQ(size, 1u);
  // Grey: 254, 0, 128, 127, 199, 9, 129, 0 -> white bits (0) for 254, 199, 129.
  EXPECT_EQ(out[0], 0b01110101);
  uint32_t stageSize = 0;
  uint8_t* stageData = nullptr;
  ASSERT_TRUE(ip.GetStageResult(0, &stageSize, &stageData));
  EXPECT_EQ(Bytes(stageData, stageData + stageSize), (Bytes{254, 0, 128, 127, 199, 9, 129, 0}));
  EXPECT_FALSE(ip.GetStageResult(2, &stageSize, &stageData));
  EXPECT_EQ(stageSize, 0u);
  EXPECT_EQ(stageData, nullptr);
}

TEST(ImageProcessPipeline, EmptyStageOutputFlowsOnAsAnEmptyBlock) {
  CImageProcess_Parameter_CutImage cut{};
  cut.blColor = 1;
  cut.Pixel = 2;
  cut.dwCutTop = 10;
  auto grey = GreyParam(2);
  CImageProcess_InitializeParameter list[] = {{IP_CutImage, &cut}, {IP_C24ToG8, &grey}};
  CImageProcess ip;
  ASSERT_TRUE(ip.Initialize(2, list));
  ASSERT_TRUE(ip.Reset());
  Bytes block(4 * 6, 255);
  uint8_t* out = nullptr;
  uint32_t size = 7;
  ASSERT_TRUE(ip.Process(block.data(), static_cast<uint32_t>(block.size()), &out, &size));
  EXPECT_EQ(size, 0u);
  uint32_t stageSize = 1;
  uint8_t* stageData = nullptr;
  ASSERT_TRUE(ip.GetStageResult(1, &stageSize, &stageData));
  EXPECT_EQ(stageSize, 0u);
}

TEST(ImageProcessPipeline, OutputBuffersAreAlignedAndReusedForSmallerBlocks) {
  auto none = WidthParam(1);
  CImageProcess_InitializeParameter list[] = {{IP_NoProcessing, &none}};
  CImageProcess ip;
  ASSERT_TRUE(ip.Initialize(1, list));
  Bytes big(1000, 7), small(300, 9);
  uint8_t* first = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(ip.Process(big.data(), 1000, &first, &size));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % 16, 0u);
  uint8_t* second = nullptr;
  ASSERT_TRUE(ip.Process(small.data(), 300, &second, &size));
  EXPECT_EQ(second, first);
  EXPECT_EQ(size, 300u);
  EXPECT_EQ(Bytes(second, second + 300), small);
}

TEST(ImageProcessPipeline, ResizeStageBufferGrowsOnlyAndKeepsSpareBytes) {
  CImageProcess_StageInformation stage{};
  ASSERT_TRUE(CImageProcess::ResizeStageBuffer(&stage, 100));
  EXPECT_EQ(stage.dwOutputCapacity, 132u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(stage.pOutput) % 16, 0u);
  EXPECT_GE(stage.pOutputBuffer + stage.dwOutputCapacity - (stage.pOutput + 100), 17);
  stage.pOutput[0] = 0x5A;
  uint8_t* before = stage.pOutput;
  ASSERT_TRUE(CImageProcess::ResizeStageBuffer(&stage, 100));
  EXPECT_EQ(stage.pOutput, before);
  EXPECT_EQ(stage.pOutput[0], 0x5A);
  ASSERT_TRUE(CImageProcess::ResizeStageBuffer(&stage, 101));
  EXPECT_EQ(stage.dwOutputCapacity, 133u);
  {
    FailAllocations fail(1);
    EXPECT_FALSE(CImageProcess::ResizeStageBuffer(&stage, 4096));
  }
  EXPECT_EQ(stage.lStatus, -2006);
  ImageProcessFree(stage.pOutputBuffer);
}

TEST(ImageProcessPipeline, FailureDuringProcessSticks) {
  auto none = WidthParam(1);
  CImageProcess_InitializeParameter list[] = {{IP_NoProcessing, &none}, {IP_NoProcessing, &none}};
  CImageProcess ip;
  ASSERT_TRUE(ip.Initialize(2, list));
  Bytes block(64, 1);
  uint8_t* out = nullptr;
  uint32_t size = 0;
  {
    FailAllocations fail(2);  // the second stage's output buffer
    EXPECT_FALSE(ip.Process(block.data(), 64, &out, &size));
  }
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(ip.GetStatusLong(), -2006);
  uint32_t stageSize = 0;
  uint8_t* stageData = nullptr;
  EXPECT_TRUE(ip.GetStageResult(0, &stageSize, &stageData));
  EXPECT_FALSE(ip.GetStageResult(1, &stageSize, &stageData));
  EXPECT_FALSE(ip.Process(block.data(), 64, &out, &size));
  EXPECT_FALSE(ip.Reset());
  EXPECT_EQ(ip.GetStatusLong(), -2006);
}

TEST(ImageProcessPipeline, ParameterBlocksAreCopiedAtInitialisation) {
  CImageProcess_Parameter_G8ToLineart lineart{8, 100};
  CImageProcess_InitializeParameter list[] = {{IP_G8ToLineart, &lineart}};
  CImageProcess ip;
  ASSERT_TRUE(ip.Initialize(1, list));
  lineart.bThreshold = 0;  // the model object's record changes for the next job
  Bytes line = {50, 50, 50, 50, 150, 150, 150, 150};
  uint8_t* out = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(ip.Process(line.data(), 8, &out, &size));
  EXPECT_EQ(out[0], 0xF0);
}

TEST(ImageProcessPipeline, EveryTableRowKnowsItsParameterSize) {
  struct Row {
    uint32_t id, size;
  };
  const Row expected[] = {{4, 4},   {5, 40},   {6, 40},    {12, 4},   {13, 8},
                          {14, 72}, {15, 4},   {16, 1064}, {17, 32},  {18, 4},
                          {19, 32}, {20, 32},  {21, 32},   {22, 20},  {23, 16},
                          {26, 4},  {28, 776}, {29, 1064}, {30, 264}, {31, 28},
                          {32, 32}, {33, 8},   {34, 16},   {35, 12},  {65534, 4}};
  size_t row = 0;
  for (const Row& r : expected) {
    const CImageProcess_FunctionRow& t = CImageProcess::CImageProcess_FunctionTable[row++];
    EXPECT_EQ(t.dwStageId, r.id);
    EXPECT_EQ(t.dwParameterSize, r.size) << "stage " << r.id;
  }
  EXPECT_EQ(CImageProcess::CImageProcess_FunctionTable[row].dwStageId, 65535u);
}

}  // namespace

namespace {

// Every stage with parameter blocks of zeros or small random values and blocks of odd sizes:
// whatever the builder hands over, a stage either fails with a status or converts, never
// reading or writing outside its buffers (the sanitizer runs show that).
TEST(ImageProcessPipeline, EveryStageSurvivesOddParametersAndBlocks) {
  uint32_t seed = 1;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 16;
  };
  for (uint32_t row = 0; CImageProcess::CImageProcess_FunctionTable[row].dwStageId != IP_EndOfTable;
       ++row) {
    const uint32_t id = CImageProcess::CImageProcess_FunctionTable[row].dwStageId;
    for (int round = 0; round < 40; ++round) {
      alignas(8) uint8_t parameter[1064] = {};
      if (round > 0) {
        // Small numbers in every 32-bit field, random bytes elsewhere.
        for (size_t i = 0; i < sizeof parameter; ++i) parameter[i] = static_cast<uint8_t>(next());
        for (size_t i = 0; i + 4 <= 32; i += 4) {
          const uint32_t v = next() % (round < 20 ? 8 : 70);
          std::memcpy(parameter + i, &v, 4);
        }
      }
      CImageProcess_InitializeParameter item{id, parameter};
      CImageProcess ip;
      if (!ip.Initialize(1, &item)) {
        EXPECT_NE(ip.GetStatusLong(), 0) << id;
        continue;
      }
      ASSERT_TRUE(ip.Reset());
      for (uint32_t size : {0u, 1u, 7u, 64u, 333u, 4096u}) {
        std::vector<uint8_t> block(size);
        for (auto& b : block) b = static_cast<uint8_t>(next());
        uint8_t* out = nullptr;
        uint32_t outSize = 0;
        ASSERT_TRUE(ip.Process(block.data(), size, &out, &outSize)) << id;
        if (outSize > 0) {
          volatile uint8_t sink = out[outSize - 1];
          (void)sink;
        }
      }
    }
  }
}

}  // namespace
