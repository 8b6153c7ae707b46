#pragma once
// Codec drivers of the image library: a whole-image encoder, a strip decoder driven line block by
// line block, a header reader and the reset of image ids. Each returns Msg and writes Status
// (LMLib.h), allocates output the caller did not provide and frees it again on failure.
#include <cstdint>

// Quality byte: bits 0-3 level (engine quality 20 + 78 * level / 15), bits 4-6 sampling selector
// (0: luma 2x1, 1: 4:4:4, 2: luma 1x2, 3: luma 2x2). False for selectors 4 to 7.
bool jpgUnpackQuality(int32_t qualityByte, int32_t* engineQuality, int32_t* sampling);

int64_t jpgEncoder(const uint8_t* pImage, uint8_t** ppJFIF, int32_t lCompactMode, int32_t lQuality,
                   int32_t lBitsPerPixel, int32_t lChannelSeq, int32_t lWidth, int32_t lHeight,
                   int32_t lBytesPerLine, int32_t lXResolution, int32_t lYResolution,
                   uint32_t* pulJFIFSize, int64_t* pStatus);

int64_t jpgDecoder(uint8_t* pbyImageId, const uint8_t* pJFIF, uint8_t** ppImage,
                   uint32_t ulJFIFSize, int32_t lPosY, int32_t lStripLines, int32_t lRGBChannelSeq,
                   int32_t* plBitsPerPixel, int32_t* plWidth, int32_t* plHeight,
                   int32_t* plBytesPerLine, int32_t* plXResolution, int32_t* plYResolution,
                   int64_t* pStatus);

int64_t jpgGetJFIFImageInfo(const uint8_t* pJFIF, uint32_t ulJFIFSize, int32_t* plBitsPerPixel,
                            int32_t* plWidth, int32_t* plHeight, int32_t* plXResolution,
                            int32_t* plYResolution, int32_t* plMCUCount, int32_t* plStripCount,
                            int32_t* plStripMCUCount, int32_t* plMCUWidth, int32_t* plMCUHeight,
                            int64_t* pStatus);

void jpgReset(uint8_t* pbyImageId, int32_t lResetAll);

// Hooks the entries call around their work; nothing to do in this library.
void jpgEncoderRun();
void jpgEncoderStop();
void jpgDecoderRun();
void jpgDecoderStop();
