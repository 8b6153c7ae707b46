#pragma once
// Entry points of the image library inside the driver: start and end, debug settings, the JPEG
// decoder, the strip-fed crop context and the whole-image encoder. Every entry takes the image
// record NIDATA and answers Msg, writing Status through the caller's pointer (LMLib.h).
#include <vantrel/nidata.h>

#include <cstdint>

#include "drv/jpeg/LMLib.h"  // SetDebugMode, FreeMemory

long InitializeLib();
long TerminateLib();
long JpegDecoder(void* pSrc, void** ppDes, NIDATA* pNi, uint64_t* pulJpegSize, long* pStatus);
long JpegCrop(void* pSrc, void** ppDes, NIDATA* pNi, uint64_t* pulDesJFIFSize, long* pStatus,
              uint64_t ulSrcJFIFSize, long* plDesStripHeight);
long JpegEncoder(void* pSrc, void** ppDes, NIDATA* pNi, uint64_t* pulJFIFSize, long* pStatus);
// Where the outside plug-in would straighten and crop; nothing to do here.
long DeskewCrop(void* pSrc, void** ppDes, NIDATA* pNi);
long DeskewCropCont(void* pSrc, void** ppDes, NIDATA* pNi);
long GetDeskewCropContImage(void* pSrc, void** ppDes, NIDATA* pNi);

// The file the library's start loads the outside decoder from, relative to the current folder.
extern const char* const kKRCocoaPath;

namespace lumetra {
// How many starts are not yet ended.
int StartCount();
// Test hook: makes the next InitializeLib calls fail with the code (0 to stop).
void InjectInitializeFailure(long code);
}  // namespace lumetra
