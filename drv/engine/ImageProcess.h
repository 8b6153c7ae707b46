#pragma once
// The driver's software image conversion: an ordered list of stages through which blocks of
// whole image lines pass. Each stage is a row of a static function table plus a copy of its
// parameter block; the model object chooses the stages per job and stream.
#include <cstddef>
#include <cstdint>

#include "drv/engine/ImageProcessParameters.h"
#include "vantrel/status_codes.h"

// The pipeline's names for the two codes it reports.
constexpr int32_t kImageProcessParameterError = krstatus::kParameterError;
constexpr int32_t kImageProcessMemoryError = krstatus::kNoMemory;

enum CImageProcess_StageId : uint32_t {
  IP_C24ToC48 = 4,
  IP_C24ToG16 = 5,
  IP_C24ToG8 = 6,
  IP_G8ToG16 = 12,
  IP_G8ToLineart = 13,
  IP_G8ToHalftone = 14,
  IP_G8ToErrorDiffusion = 15,
  IP_R2YCCToC24 = 16,
  IP_C24ToR2YCC = 17,
  IP_RX417ColorPack = 18,
  IP_BiLinearScale = 19,
  IP_NearestScale = 20,
  IP_HighQualityScaleUp = 21,
  IP_CutImage = 22,
  IP_LineDifference = 23,
  IP_BackgroundColorUnpack = 26,
  IP_SWGamma = 28,
  IP_TrestleYCC422ToC24 = 29,
  IP_TrestleYCC422ToTrueGray = 30,
  IP_TrestleCisPack = 31,
  IP_QF9000RgbCisPack = 32,
  IP_HorizontalMirror = 33,
  IP_LeftRightPadding = 34,
  IP_ModifyWidth = 35,
  IP_NoProcessing = 65534,
  IP_EndOfTable = 65535,
};

// One entry of a stage list that the model object builds.
struct CImageProcess_InitializeParameter {
  uint32_t dwStageId;
  void* pParameter;
};

struct CImageProcess_StageInformation {
  void* pParameter;      // the stage's own copy, inside the pipeline's parameter store
  void* pPrivate;        // work record made by the stage's Init
  uint32_t dwInputSize;  // set before each Do
  uint8_t* pInput;       // not owned
  uint32_t dwOutputCapacity;
  uint32_t dwOutputSize;
  uint8_t* pOutput;        // first 16-byte aligned byte of pOutputBuffer
  uint8_t* pOutputBuffer;  // owned
  int32_t lStatus;         // 0 while the stage is sound
};

using CImageProcess_StageFunction = void (*)(CImageProcess_StageInformation*);

struct CImageProcess_FunctionRow {
  uint32_t dwStageId;
  uint32_t dwParameterSize;
  CImageProcess_StageFunction Init;
  CImageProcess_StageFunction Reset;
  CImageProcess_StageFunction Do;
  CImageProcess_StageFunction Terminate;  // may be null
};

class CImageProcess {
 public:
  CImageProcess();
  ~CImageProcess();
  CImageProcess(const CImageProcess&) = delete;
  CImageProcess& operator=(const CImageProcess&) = delete;

  bool Initialize(uint32_t count, const CImageProcess_InitializeParameter* list);
  bool Reset();
  bool Process(uint8_t* data, uint32_t size, uint8_t** resultData, uint32_t* resultSize);
  bool GetStageResult(uint32_t index, uint32_t* size, uint8_t** data) const;
  uint32_t GetStageCount() const { return m_dwStageCount; }
  int32_t GetStatusLong() const { return m_lStatus; }

  static bool ResizeStageBuffer(CImageProcess_StageInformation* stage, uint32_t size);
  static const CImageProcess_FunctionRow CImageProcess_FunctionTable[];
  static const uint8_t CImageProcess_HalftoneTable[16][64];

  // Stage functions, one row of the table each (empty Init and Reset share Nothing).
  static void Nothing(CImageProcess_StageInformation*);
  static void DoC24ToC48(CImageProcess_StageInformation*);
  static void InitColorToGray(CImageProcess_StageInformation*);
  static void DoC24ToG16(CImageProcess_StageInformation*);
  static void DoC24ToG8(CImageProcess_StageInformation*);
  static void DoG8ToG16(CImageProcess_StageInformation*);
  static void DoG8ToLineart(CImageProcess_StageInformation*);
  static void InitG8ToHalftone(CImageProcess_StageInformation*);
  static void ResetG8ToHalftone(CImageProcess_StageInformation*);
  static void DoG8ToHalftone(CImageProcess_StageInformation*);
  static void InitG8ToErrorDiffusion(CImageProcess_StageInformation*);
  static void ResetG8ToErrorDiffusion(CImageProcess_StageInformation*);
  static void DoG8ToErrorDiffusion(CImageProcess_StageInformation*);
  static void TerminateG8ToErrorDiffusion(CImageProcess_StageInformation*);
  static void InitR2YCCToC24(CImageProcess_StageInformation*);
  static void DoR2YCCToC24(CImageProcess_StageInformation*);
  static void DoC24ToR2YCC(CImageProcess_StageInformation*);
  static void DoRX417ColorPack(CImageProcess_StageInformation*);
  static void InitBiLinearScale(CImageProcess_StageInformation*);
  static void ResetBiLinearScale(CImageProcess_StageInformation*);
  static void DoBiLinearScale(CImageProcess_StageInformation*);
  static void TerminateBiLinearScale(CImageProcess_StageInformation*);
  static void InitNearestScale(CImageProcess_StageInformation*);
  static void ResetNearestScale(CImageProcess_StageInformation*);
  static void DoNearestScale(CImageProcess_StageInformation*);
  static void TerminateNearestScale(CImageProcess_StageInformation*);
  static void DoHighQualityScaleUp(CImageProcess_StageInformation*);
  static void InitCutImage(CImageProcess_StageInformation*);
  static void ResetCutImage(CImageProcess_StageInformation*);
  static void DoCutImage(CImageProcess_StageInformation*);
  static void TerminateCutImage(CImageProcess_StageInformation*);
  static void InitLineDifference(CImageProcess_StageInformation*);
  static void ResetLineDifference(CImageProcess_StageInformation*);
  static void DoLineDifference(CImageProcess_StageInformation*);
  static void TerminateLineDifference(CImageProcess_StageInformation*);
  static void DoBackgroundColorUnpack(CImageProcess_StageInformation*);
  static void DoSWGamma(CImageProcess_StageInformation*);
  static void InitTrestleYCC422ToC24(CImageProcess_StageInformation*);
  static void DoTrestleYCC422ToC24(CImageProcess_StageInformation*);
  static void DoTrestleYCC422ToTrueGray(CImageProcess_StageInformation*);
  static void InitTrestleCisPack(CImageProcess_StageInformation*);
  static void DoTrestleCisPack(CImageProcess_StageInformation*);
  static void InitQF9000RgbCisPack(CImageProcess_StageInformation*);
  static void DoQF9000RgbCisPack(CImageProcess_StageInformation*);
  static void DoHorizontalMirror(CImageProcess_StageInformation*);
  static void DoLeftRightPadding(CImageProcess_StageInformation*);
  static void DoModifyWidth(CImageProcess_StageInformation*);
  static void DoNoProcessing(CImageProcess_StageInformation*);

  static bool InitBilinearArray(CImageProcess_StageInformation* stage);
  static void RGBtoYCrCb(const CImageProcess_Parameter_C24ToR2YCC* parameter, int32_t* r,
                         int32_t* g, int32_t* b);

 private:
  void Clear();

  uint32_t m_dwStageCount;
  CImageProcess_StageInformation* m_pStages;
  uint8_t* m_pParameterStore;
  uint32_t* m_pRows;
  int32_t m_lStatus;
};

// Allocation of the pipeline and its stages. Tests make the n-th allocation from now fail to
// show how every stage reports exhausted memory; n = 0 switches that off.
void* ImageProcessAlloc(size_t size);
void* ImageProcessCalloc(size_t count, size_t size);
void ImageProcessFree(void* p);
void ImageProcessFailAllocationAfter(uint32_t n);

// Number of whole units of unitBytes in size; 0 when a unit has no bytes.
inline uint32_t WholeUnits(uint64_t size, uint64_t unitBytes) {
  return unitBytes == 0 ? 0u : static_cast<uint32_t>(size / unitBytes);
}
