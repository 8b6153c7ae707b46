#pragma once
// The JPEG part of the plug-in: the driver library's own image-library code, linked in once more
// (its names are C++ ones, so they never meet the plug-in's C entries).
#include <vantrel/nidata.h>

#include <cstdint>

namespace lumetra::jpeg {

long start();
long end();
long setDebugMode(uint32_t level, const char* path);
// The driver's strip-wise crop; with OutImage.AutoCrop bit 0 the page is cut to its content
// (the driver's own copy only converts).
long crop(void* pSrc, void** ppDes, NIDATA* pNi, uint64_t* pulDesJFIFSize, long* pStatus,
          uint64_t ulSrcJFIFSize, long* plDesStripHeight);

}  // namespace lumetra::jpeg
