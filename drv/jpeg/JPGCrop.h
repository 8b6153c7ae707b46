#pragma once
// Crop contexts (pages collected strip by strip as raw or JFIF chunks), content bounds and the
// whole-image and strip-wise crop drivers, and the loading of the outside decoder library.
// Every operation answers with Msg and Status (LMLib.h).
#include <vantrel/nidata.h>

#include <cstdint>

// ---------------------------------------------------------------------------------------------
// Pixel layouts

// Bytes per pixel and the byte offsets of R, G, B and the fill byte (grey: one byte at 0).
struct JpgPixelLayout {
  int32_t bpp = 1;
  uint32_t off[4] = {0, 1, 2, 3};
};
// False for bits other than 8, 24 or 32 or an order code outside 0..5.
bool jpgPixelLayout(int32_t bits, int32_t seq, JpgPixelLayout* out);
// Converts count pixels between layouts (colour to grey as (R + 2G + B) / 4, a fill byte 0).
void jpgConvertPixels(const uint8_t* src, const JpgPixelLayout& s, uint8_t* dst,
                      const JpgPixelLayout& d, int32_t count);

// ---------------------------------------------------------------------------------------------
// Crop contexts

struct LMImageChunk {
  int32_t nStrips;      // JPEG strips in it
  int32_t nClosed;      // the next input starts a new chunk
  uint8_t* pMemory;     // capacity + 1,024 bytes
  int32_t nMemorySize;  // capacity
  int32_t nImageSize;   // bytes used
  int32_t nLines;
  int32_t nStripHeight;  // height of its first strip
  int32_t nHeightPos;    // frame height field inside a JPEG chunk
  int32_t nMCUWidth, nMCUHeight;
  LMImageChunk* next;
};

struct LMJpegCropContext {
  LMImageChunk* pImage;
  int32_t nIsJpeg;  // the page is held as JFIF chunks
  int32_t nDirectJpegOut;
  int32_t nBytesPerPixel;
  int32_t nPrecision;
  int32_t nIsColour;
  int32_t nXRes, nYRes;
  int32_t nWidth;
  int32_t nLines;         // lines received so far
  int32_t nBytesPerLine;  // of raw chunks: width x bytes per pixel
  int32_t nChunkCount;
  int32_t nChannelSeq;  // order of the raw input
  int32_t nLinesOut;    // lines handed out by the direct ways
  // Strip-wise crop: bounds, output size and progress.
  int32_t nCropStarted;
  int32_t nLeft, nTop, nRight, nBottom;
  int32_t nOutWidth, nOutHeight, nOutStride;
  int32_t nNextLine;
  int32_t nDataRanOut;  // a strip so far was decoded from damaged or short data
  // Raw lines awaiting JPEG encoding.
  uint8_t* pStripBuf;
  int32_t nStripLines;
  int32_t nStripHeight;
  int32_t nStripCapLines;
};

constexpr int kLMCropIds = 9;  // contexts 0..8; ids 1..8 are handed out

void jpgLMReset(uint8_t* pbyJPGImageId, int32_t all);
int64_t jpgLMAssignedImageId(uint8_t* pbyJPGImageId, int64_t* pStatus);
// The context of an id (0..8); null above 8.
LMJpegCropContext* jpgLMContext(uint8_t id);
int jpgLMIdsInUse();

LMImageChunk* jpgLMCreateImage(uint8_t byJPGImageId, int32_t nImageSize, LMImageChunk* pImage);
int jpgLMDoJpegResize(LMImageChunk* pImage, int32_t nAddSize);

int64_t jpgLMSetInput(uint8_t* pbyId, int32_t lIsRearSide, int32_t lIsJpeg,
                      int32_t lDoDirectJpegOut, int32_t lIsCompactMode, int32_t lIsJpegOut,
                      uint8_t byJpegQuality, const uint8_t* pSrc, uint64_t ulSrcJFIFSize,
                      int32_t lBitsPerPixel, int32_t lChannelSeq, int32_t lWidth, int32_t lHeight,
                      int32_t lWidthStep, int32_t lResolutionX, int32_t lResolutionY,
                      int64_t* pStatus);
int64_t jpgLMFinishInput(uint8_t* pbyId, int32_t lIsRearSide, int32_t lIsJpegOut,
                         uint8_t byJpegQuality, int64_t* pStatus);
int64_t jpgLMJpegCrop(int32_t lIsContScan, int32_t lDoDirectJpegOutput, const uint8_t* pSrc,
                      uint64_t ulSrcJFIFSize, const uint8_t* pSrcRequest,
                      uint64_t ulSrcRequestJFIFSize, int32_t lSrcRequestLines, void** pDes,
                      uint64_t* pulDesJFIFSize, NIDATA* pNi, int64_t* pStatus);
int64_t jpgLMJpegCropStrip(int32_t lIsContScan, const uint8_t* pSrcRequest,
                           uint64_t ulSrcRequestJFIFSize, int32_t lSrcRequestLines, void** pDes,
                           uint64_t* pulDesJFIFSize, int64_t* plDesStripHeight, NIDATA* pNi,
                           int64_t* pStatus);

// The first byte of the record's raw area (x, y, Pixel, Line) in a raster of the record's
// BytesPerLine and, when srcSize is not 0, of srcSize bytes; null, with a log line, when the
// area runs past the raster's right edge or its end.
const uint8_t* jpgLMRawArea(const uint8_t* src, uint64_t srcSize, const NIDATA_InImage& in);

// Outside decoder library.
int64_t jpgLMLoadKRCocoa(const char* filename, int32_t load, int64_t* pStatus);
void jpgLMFreeKRCocoa();
bool jpgLMIsKRCocoaLoaded();
// For tests: whether the library is open and jpg2raw bound.
bool jpgLMKRCocoaBound();

// ---------------------------------------------------------------------------------------------
// Content bounds and crop drivers

int jpgPositionHistogram(const uint8_t* strip, int32_t bitsPerSample, int32_t channels,
                         int32_t channelSeq, int32_t width, int32_t height, int32_t stride,
                         int32_t firstLine, int32_t stripLines, int32_t gap, uint32_t* colHist,
                         uint32_t* rowHist, uint32_t* bgRef, int32_t bgLines, int32_t bgThreshold,
                         int32_t neighbourThreshold);
int jpgGetPosition(const uint32_t* hist, int32_t count, int32_t radius, uint32_t threshold,
                   int32_t minSpan, int32_t* pStart, int32_t* pEnd);

// Crop parameters from the resolutions.
struct JpgCropParams {
  int32_t radius, bgLines, colThreshold, rowThreshold, minCols, minRows;
};
JpgCropParams jpgCropParams(int32_t xRes, int32_t yRes, bool stripVariant);

int64_t JPGKRJpegCrop(int32_t lNumThreads, int32_t lDoCrop, int32_t lDoInputJpeg,
                      const uint8_t* pSrc, uint64_t ulJpegSizeSrc, int32_t lBitsPerPixel,
                      int32_t lChannelSeq, int32_t lSrcWidth, int32_t lSrcHeight,
                      int32_t lSrcBytesPerLine, int32_t lXResolution, int32_t lYResolution,
                      int32_t lDoOutputJpeg, int32_t lQuality, uint8_t** pDes,
                      uint64_t* pulJpegSizeDes, int32_t lDesRGBChannelSeq, int32_t* plDesWidth,
                      int32_t* plDesHeight, int32_t* plDesBytesPerLine, int64_t* pStatus);
int64_t JPGKRJpegCropStrip(int32_t lNumThreads, int32_t lDoCrop, int32_t lDoInputJpeg,
                           LMJpegCropContext* pJPGCrop, int32_t lDoOutputJpeg,
                           int32_t lDesStripHeight, int32_t lQuality, uint8_t** pDes,
                           uint64_t* pulJpegSizeDes, int32_t lDesRGBChannelSeq,
                           int32_t* plDesStripHeight, int32_t* plDesWidth, int32_t* plDesHeight,
                           int32_t* plDesBytesPerLine, int64_t* pStatus);
