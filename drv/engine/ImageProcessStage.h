#pragma once
// Helpers shared by the stage implementations.
#include <cstdint>

// SSE2 is part of every x86-64 processor; elsewhere, or built with VT_STAGES_SCALAR, the stages
// take their scalar paths, which also finish the lines' last bytes.
#if defined(__SSE2__) && !defined(VT_STAGES_SCALAR)
#include <emmintrin.h>
#define VT_STAGES_SSE2 1
#else
#define VT_STAGES_SSE2 0
#endif

#include "drv/engine/ImageProcess.h"

template <class T>
inline T* StageParameter(CImageProcess_StageInformation* stage) {
  return static_cast<T*>(stage->pParameter);
}

template <class T>
inline T* StagePrivate(CImageProcess_StageInformation* stage) {
  return static_cast<T*>(stage->pPrivate);
}

// Makes room for size output bytes and sets the output size; false (status set) when memory
// runs out, in which case the stage produces nothing for this block.
inline bool StageOutput(CImageProcess_StageInformation* stage, uint64_t size) {
  if (size > 0xFFFFFFFFu) {
    stage->lStatus = kImageProcessMemoryError;
    return false;
  }
  if (!CImageProcess::ResizeStageBuffer(stage, static_cast<uint32_t>(size))) return false;
  stage->dwOutputSize = static_cast<uint32_t>(size);
  return true;
}

// Allocates the stage's cleared work record; status -2006 when memory runs out.
template <class T>
inline T* StageCreatePrivate(CImageProcess_StageInformation* stage) {
  void* p = ImageProcessCalloc(1, sizeof(T));
  if (p == nullptr) stage->lStatus = kImageProcessMemoryError;
  stage->pPrivate = p;
  return static_cast<T*>(p);
}

inline uint8_t ClampByte(int64_t v) {
  return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}
