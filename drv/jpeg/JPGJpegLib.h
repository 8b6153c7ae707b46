#pragma once
// Per-image-id JPEG engine: images in progress under small ids (1..64), encoded strip by strip
// into one JFIF stream, or parsed once and decoded strip by strip. Every operation returns 1 or a
// negative codec code. Ids are assigned under a lock; one thread works on one id at a time.
#include <cstdint>

constexpr uint32_t kJpgAllIds = 0xFFFFFFFFu;
constexpr int kJpgMaxIds = 64;

int LMJPGResetJpeg(uint32_t* pnJPGImageId);
int jpgAssignImageId(uint32_t* pnJPGImageId);

int LMJPGJpegEncoder(uint32_t* pnJPGImageId, int32_t lCompactMode, int32_t lJpgSampling,
                     int32_t lQuality, int32_t bitsPerPixel, int32_t channelSeq, int32_t width,
                     int32_t height, int32_t xResolution, int32_t yResolution);
int LMJPGWriteStrip(uint32_t* pnJPGImageId, const uint8_t* pBuffer, int32_t lPosY,
                    int32_t lLinesNum, int32_t lBytesPerLine, uint32_t* pulJFIFSize);
int LMJPGWriteImage(uint32_t* pnJPGImageId, const uint8_t* pBuffer, int32_t lBytesPerLine,
                    uint32_t* pulJFIFSize);
int LMJPGReadJFIF(uint32_t* pnJPGImageId, uint8_t* pDest, uint32_t ulDestSize);

int LMJPGWriteJFIF(uint32_t* pnJPGImageId, const uint8_t* pJFIF, uint32_t ulJFIFSize,
                   int32_t nDoReadInfoOnly, int32_t* bitsPerPixel, int32_t* width, int32_t* height,
                   int32_t* xResolution, int32_t* yResolution, int32_t* lMCUCount,
                   int32_t* lStripCount, int32_t* lStripMCUCount, int32_t* lMCUWidth,
                   int32_t* lMCUHeight);
int LMJPGGetJFIFInfo(uint32_t* pnJPGImageId, int32_t* bitsPerPixel, int32_t* width, int32_t* height,
                     int32_t* xResolution, int32_t* yResolution, int32_t* lMCUCount,
                     int32_t* lStripCount, int32_t* lStripMCUCount, int32_t* lMCUWidth,
                     int32_t* lMCUHeight);
int LMJPGJpegDecoderStrip(uint32_t* pnJPGImageId, uint8_t* pBuffer, int32_t lImgBitsPerPixel,
                          int32_t lImgChannelSeq, int32_t lPosY, int32_t lLinesNum,
                          int32_t lBytesPerLine);

// For tests: how many ids are in use.
int jpgIdsInUse();
