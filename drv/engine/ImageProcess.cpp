#include "drv/engine/ImageProcess.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "drv/platform/DbgLog.h"

namespace {
std::atomic<uint32_t> gFailAllocationAfter{0};

bool AllocationMayProceed() {
  uint32_t n = gFailAllocationAfter.load(std::memory_order_relaxed);
  while (n != 0) {
    if (gFailAllocationAfter.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) {
      return n != 1;  // the n-th allocation from the arming call fails
    }
  }
  return true;
}

constexpr uint32_t kNoRow = 0xFFFFFFFFu;
constexpr uint32_t kMaxStages = 256;

uint64_t AlignedBlockSize(uint32_t size) {
  return (static_cast<uint64_t>(size) + 7) & ~uint64_t{7};
}
}  // namespace

void* ImageProcessAlloc(size_t size) {
  return AllocationMayProceed() ? std::malloc(size) : nullptr;
}
void* ImageProcessCalloc(size_t count, size_t size) {
  return AllocationMayProceed() ? std::calloc(count, size) : nullptr;
}
void ImageProcessFree(void* p) { std::free(p); }
void ImageProcessFailAllocationAfter(uint32_t n) {
  gFailAllocationAfter.store(n, std::memory_order_relaxed);
}

using IP = CImageProcess;
const CImageProcess_FunctionRow CImageProcess::CImageProcess_FunctionTable[] = {
    {IP_C24ToC48, 4, IP::Nothing, IP::Nothing, IP::DoC24ToC48, nullptr},
    {IP_C24ToG16, 40, IP::InitColorToGray, IP::Nothing, IP::DoC24ToG16, nullptr},
    {IP_C24ToG8, 40, IP::InitColorToGray, IP::Nothing, IP::DoC24ToG8, nullptr},
    {IP_G8ToG16, 4, IP::Nothing, IP::Nothing, IP::DoG8ToG16, nullptr},
    {IP_G8ToLineart, 8, IP::Nothing, IP::Nothing, IP::DoG8ToLineart, nullptr},
    {IP_G8ToHalftone, 72, IP::InitG8ToHalftone, IP::ResetG8ToHalftone, IP::DoG8ToHalftone, nullptr},
    {IP_G8ToErrorDiffusion, 4, IP::InitG8ToErrorDiffusion, IP::ResetG8ToErrorDiffusion,
     IP::DoG8ToErrorDiffusion, IP::TerminateG8ToErrorDiffusion},
    {IP_R2YCCToC24, 1064, IP::InitR2YCCToC24, IP::Nothing, IP::DoR2YCCToC24, nullptr},
    {IP_C24ToR2YCC, 32, IP::Nothing, IP::Nothing, IP::DoC24ToR2YCC, nullptr},
    {IP_RX417ColorPack, 4, IP::Nothing, IP::Nothing, IP::DoRX417ColorPack, nullptr},
    {IP_BiLinearScale, 32, IP::InitBiLinearScale, IP::ResetBiLinearScale, IP::DoBiLinearScale,
     IP::TerminateBiLinearScale},
    {IP_NearestScale, 32, IP::InitNearestScale, IP::ResetNearestScale, IP::DoNearestScale,
     IP::TerminateNearestScale},
    {IP_HighQualityScaleUp, 32, IP::Nothing, IP::Nothing, IP::DoHighQualityScaleUp, nullptr},
    {IP_CutImage, 20, IP::InitCutImage, IP::ResetCutImage, IP::DoCutImage, IP::TerminateCutImage},
    {IP_LineDifference, 16, IP::InitLineDifference, IP::ResetLineDifference, IP::DoLineDifference,
     IP::TerminateLineDifference},
    {IP_BackgroundColorUnpack, 4, IP::Nothing, IP::Nothing, IP::DoBackgroundColorUnpack, nullptr},
    {IP_SWGamma, 776, IP::Nothing, IP::Nothing, IP::DoSWGamma, nullptr},
    {IP_TrestleYCC422ToC24, 1064, IP::InitTrestleYCC422ToC24, IP::Nothing, IP::DoTrestleYCC422ToC24,
     nullptr},
    {IP_TrestleYCC422ToTrueGray, 264, IP::Nothing, IP::Nothing, IP::DoTrestleYCC422ToTrueGray,
     nullptr},
    {IP_TrestleCisPack, 28, IP::InitTrestleCisPack, IP::Nothing, IP::DoTrestleCisPack, nullptr},
    {IP_QF9000RgbCisPack, 32, IP::InitQF9000RgbCisPack, IP::Nothing, IP::DoQF9000RgbCisPack,
     nullptr},
    {IP_HorizontalMirror, 8, IP::Nothing, IP::Nothing, IP::DoHorizontalMirror, nullptr},
    {IP_LeftRightPadding, 16, IP::Nothing, IP::Nothing, IP::DoLeftRightPadding, nullptr},
    {IP_ModifyWidth, 12, IP::Nothing, IP::Nothing, IP::DoModifyWidth, nullptr},
    {IP_NoProcessing, 4, IP::Nothing, IP::Nothing, IP::DoNoProcessing, nullptr},
    {IP_EndOfTable, 0, nullptr, nullptr, nullptr, nullptr},
};

void CImageProcess::Nothing(CImageProcess_StageInformation*) {}

CImageProcess::CImageProcess()
    : m_dwStageCount(0),
      m_pStages(nullptr),
      m_pParameterStore(nullptr),
      m_pRows(nullptr),
      m_lStatus(0) {}

CImageProcess::~CImageProcess() { Clear(); }

void CImageProcess::Clear() {
  for (uint32_t i = 0; m_pStages != nullptr && i < m_dwStageCount; ++i) {
    CImageProcess_StageInformation* stage = &m_pStages[i];
    if (m_pRows != nullptr && m_pRows[i] != kNoRow) {
      const CImageProcess_FunctionRow& row = CImageProcess_FunctionTable[m_pRows[i]];
      if (row.Terminate != nullptr) row.Terminate(stage);
    }
    ImageProcessFree(stage->pPrivate);
    ImageProcessFree(stage->pOutputBuffer);
  }
  ImageProcessFree(m_pStages);
  ImageProcessFree(m_pParameterStore);
  ImageProcessFree(m_pRows);
  m_pStages = nullptr;
  m_pParameterStore = nullptr;
  m_pRows = nullptr;
  m_dwStageCount = 0;
}

bool CImageProcess::Initialize(uint32_t count, const CImageProcess_InitializeParameter* list) {
  Clear();
  m_lStatus = 0;
  if (count == 0) return true;
  // Models build lists of a few stages; anything far beyond that is a broken list.
  if (list == nullptr || count > kMaxStages) {
    m_lStatus = kImageProcessParameterError;
    DbgPrintf(1, "CImageProcess::Initialize bad stage list of %u stages", count);
    return false;
  }
  m_dwStageCount = count;
  m_pStages = static_cast<CImageProcess_StageInformation*>(
      ImageProcessCalloc(count, sizeof(CImageProcess_StageInformation)));
  m_pRows = static_cast<uint32_t*>(ImageProcessAlloc(sizeof(uint32_t) * count));
  if (m_pStages == nullptr || m_pRows == nullptr) {
    // Without the arrays there is nothing to terminate; keep the count consistent with them.
    ImageProcessFree(m_pStages);
    ImageProcessFree(m_pRows);
    m_pStages = nullptr;
    m_pRows = nullptr;
    m_dwStageCount = 0;
    m_lStatus = kImageProcessMemoryError;
    DbgPrintf(1, "CImageProcess::Initialize allocate memory failed");
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) m_pRows[i] = kNoRow;

  uint64_t total = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t row = 0;
    while (CImageProcess_FunctionTable[row].dwStageId != IP_EndOfTable &&
           CImageProcess_FunctionTable[row].dwStageId != list[i].dwStageId) {
      ++row;
    }
    if (CImageProcess_FunctionTable[row].dwStageId == IP_EndOfTable) {
      m_lStatus = kImageProcessParameterError;
      DbgPrintf(1, "CImageProcess::Initialize unknown stage id %u", list[i].dwStageId);
      return false;
    }
    m_pRows[i] = row;
    total += AlignedBlockSize(CImageProcess_FunctionTable[row].dwParameterSize);
  }

  m_pParameterStore = static_cast<uint8_t*>(ImageProcessAlloc(total));
  if (m_pParameterStore == nullptr) {
    m_lStatus = kImageProcessMemoryError;
    DbgPrintf(1, "CImageProcess::Initialize allocate memory failed");
    return false;
  }

  // Blocks follow each other in stage order, each on an 8-byte boundary so that the stages can
  // read their doubles in place.
  uint8_t* next = m_pParameterStore;
  for (uint32_t i = 0; i < count; ++i) {
    const CImageProcess_FunctionRow& row = CImageProcess_FunctionTable[m_pRows[i]];
    CImageProcess_StageInformation* stage = &m_pStages[i];
    std::memset(stage, 0, sizeof(*stage));
    stage->pParameter = next;
    if (list[i].pParameter != nullptr) {
      std::memcpy(next, list[i].pParameter, row.dwParameterSize);
    } else {
      std::memset(next, 0, row.dwParameterSize);
    }
    next += AlignedBlockSize(row.dwParameterSize);
    row.Init(stage);
    if (stage->lStatus != 0) {
      m_lStatus = stage->lStatus;
      DbgPrintf(1, "CImageProcess::Initialize stage %u (id %u) failed, status %d", i, row.dwStageId,
                stage->lStatus);
      return false;
    }
  }
  return true;
}

bool CImageProcess::Reset() {
  if (m_lStatus != 0) return false;
  for (uint32_t i = 0; i < m_dwStageCount; ++i) {
    CImageProcess_StageInformation* stage = &m_pStages[i];
    CImageProcess_FunctionTable[m_pRows[i]].Reset(stage);
    if (stage->lStatus != 0) {
      m_lStatus = stage->lStatus;
      return false;
    }
  }
  return true;
}

bool CImageProcess::Process(uint8_t* data, uint32_t size, uint8_t** resultData,
                            uint32_t* resultSize) {
  *resultData = nullptr;
  *resultSize = 0;
  if (m_lStatus != 0) return false;
  if (data == nullptr) size = 0;  // nothing to read from
  for (uint32_t i = 0; i < m_dwStageCount; ++i) {
    CImageProcess_StageInformation* stage = &m_pStages[i];
    stage->pInput = data;
    stage->dwInputSize = size;
    CImageProcess_FunctionTable[m_pRows[i]].Do(stage);
    if (stage->lStatus != 0) {
      m_lStatus = stage->lStatus;
      DbgPrintf(1, "CImageProcess::Process stage %u failed, status %d", i, stage->lStatus);
      return false;
    }
    data = stage->pOutput;
    size = stage->dwOutputSize;
  }
  *resultData = data;
  *resultSize = size;
  return true;
}

bool CImageProcess::GetStageResult(uint32_t index, uint32_t* size, uint8_t** data) const {
  if (index < m_dwStageCount && m_pStages[index].lStatus == 0) {
    *size = m_pStages[index].dwOutputSize;
    *data = m_pStages[index].pOutput;
    return true;
  }
  *size = 0;
  *data = nullptr;
  return false;
}

bool CImageProcess::ResizeStageBuffer(CImageProcess_StageInformation* stage, uint32_t size) {
  const uint64_t needed = static_cast<uint64_t>(size) + 32;
  if (stage->dwOutputCapacity >= needed) return true;
  ImageProcessFree(stage->pOutputBuffer);
  stage->pOutputBuffer = nullptr;
  stage->pOutput = nullptr;
  stage->dwOutputCapacity = 0;
  if (needed > 0xFFFFFFFFu) {
    stage->lStatus = kImageProcessMemoryError;
    return false;
  }
  stage->pOutputBuffer = static_cast<uint8_t*>(ImageProcessAlloc(needed));
  if (stage->pOutputBuffer == nullptr) {
    stage->lStatus = kImageProcessMemoryError;
    return false;
  }
  const uintptr_t start = reinterpret_cast<uintptr_t>(stage->pOutputBuffer);
  stage->pOutput = stage->pOutputBuffer + ((16 - (start & 15)) & 15);
  stage->dwOutputCapacity = static_cast<uint32_t>(needed);
  return true;
}
