#pragma once
// JFIF stream writer: joins JPEG strips from the device (bare entropy-coded data or small JPEG
// files with their own headers) in one growing block, turns strip ends into restart markers and
// puts a JFIF header (or, for 1-bit pages, a JBIG header) in front. Also the restart interval of
// a strip and the job's quantisation tables.
#include <vantrel/export.h>

#include <cstddef>
#include <cstdint>

struct _JFIF_IN {
  uint8_t* pJFIFMem;   // the block, allocated and freed by the writer
  int32_t nHasHeader;  // the first strip brought its own JPEG header
  int32_t nRSTCount;   // strips appended while nDRI is non-zero
  int32_t nHeightPos;  // offset in the block of the frame height of the data's header, 0 if none
  int32_t nDRINumPos;  // offset in the block of the data's restart-interval value, 0 if none
};

struct _JFIF {
  uint8_t* pJFIF;        // first byte of the stream
  int32_t nJFIFSize;     // bytes of the stream from pJFIF
  int32_t nJFIFMemSize;  // size of the block
  int32_t nBitPerPixel;  // 1, 8 or 24
  int32_t nWidth;
  int32_t nHeight;
  int32_t nHeightStrip;
  int32_t nResolutionX;
  int32_t nResolutionY;
  int32_t nSampling;    // 0 4:4:4, 1 luma 2x1, 2 luma 1x2, 3 luma 2x2
  int32_t nDRI;         // restart interval in MCUs; 0 none; -1 derived from the strip height
  uint8_t* pLumaTable;  // 64 bytes, natural order, owned by the caller
  uint8_t* pChromaTable;
  _JFIF_IN in;
};

static_assert(sizeof(_JFIF) == 88);
static_assert(offsetof(_JFIF, nJFIFSize) == 8);
static_assert(offsetof(_JFIF, nDRI) == 44);
static_assert(offsetof(_JFIF, pLumaTable) == 48);
static_assert(offsetof(_JFIF, pChromaTable) == 56);
static_assert(offsetof(_JFIF, in) == 64);
static_assert(offsetof(_JFIF, in.nHasHeader) == 72);
static_assert(offsetof(_JFIF, in.nDRINumPos) == 84);

// The scan engine's own: C names, but they do not leave libVantrel.so.
KR_EXTERN_C int KRJFIFWrite(_JFIF* pJFIF, uint8_t* pECSData, int nECSDataSize, int nDoWriteHeader);
KR_EXTERN_C int KRJFIFGetDRI(int nSampling, int nBitPerPixel, int nWidth, int nHeightStrip,
                             int* pnDRI);
KR_EXTERN_C void KRJFIFFree(_JFIF* pJFIF);
KR_EXTERN_C int KRJFIFGetQuantTb(int nSize, int nChannels, int nSampling, int nDocWidth,
                                 int nDocHeight, uint8_t* pLumaTable, uint8_t* pChromaTable);

void PutWordBuffer(uint16_t value, uint8_t* dst);
