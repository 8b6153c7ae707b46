#pragma once
// The software conversion a job needs: from what the device delivers to what the client asked
// for, as lists of pipeline stages with their parameter blocks. The model object keeps one list
// for the page lines, one for the background lines and, on IR/UV models, one for the IR/UV stream.
#include <cstdint>

#include "drv/device/ScanParameters.h"
#include "drv/engine/ImageProcess.h"

constexpr uint32_t kMaxStagesPerList = 8;

// A stage list and the parameter blocks its entries point to (one block per stage kind).
struct ImageProcessList {
  ImageProcessList() = default;
  ImageProcessList(const ImageProcessList&) = delete;
  ImageProcessList& operator=(const ImageProcessList&) = delete;

  void Clear();
  void Add(uint32_t stageId, void* parameter);

  uint32_t dwCount = 0;
  CImageProcess_InitializeParameter Items[kMaxStagesPerList] = {};

  CImageProcess_Parameter_CutImage Cut = {};
  CImageProcess_Parameter_Scale Scale = {};
  CImageProcess_Parameter_ColorToGray ColorToGray = {};
  CImageProcess_Parameter_G8ToLineart Lineart = {};
  CImageProcess_Parameter_G8ToHalftone Halftone = {};
  CImageProcess_Parameter_Width ErrorDiffusion = {};
  CImageProcess_Parameter_YCCToC24 YCCToC24 = {};
  CImageProcess_Parameter_C24ToR2YCC C24ToR2YCC = {};
  CImageProcess_Parameter_ModifyWidth ModifyWidth = {};
  CImageProcess_Parameter_Width ColorUnpack = {};
};

// What the lists are built from: the model, the client's and the device-side parameters.
struct ImageVariablesSource {
  const ModelTraits* model;
  const ScanModelInfo* info;
  const SCANPARAMETER_UNION* ap;
  const DeviceScanParameter* device;
  bool blQualityMode;        // bilinear instead of nearest scaling
  double YCCCoefficient[3];  // the device item's YCC conversion values (Kr, Kg, Kb)
};

// The page-line list; on the IR/UV family also the IR/UV list (left empty on other models).
void InitializeImageVariables(const ImageVariablesSource& source, ImageProcessList* image,
                              ImageProcessList* iruv);
// The background-line list.
void InitializeBackgroundVariables(const ImageVariablesSource& source,
                                   ImageProcessList* background);

// Logs each entry's stage and parameter fields at the given level.
void DumpImageProcessVariables(uint32_t level, uint32_t count,
                               const CImageProcess_InitializeParameter* list);
