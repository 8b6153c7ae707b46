#pragma once
// Parameter blocks of the image-conversion stages. The model object fills them and the pipeline
// copies each block by the byte size its stage row names, so every record keeps the natural
// alignment and the exact size asserted below.
#include <cstddef>
#include <cstdint>

struct CImageProcess_Parameter_Width {
  uint32_t Pixel;
};

struct CImageProcess_Parameter_ColorToGray {
  uint32_t Pixel;
  double CofficientR;
  double CofficientG;
  double CofficientB;
  uint8_t ColorFilter;  // 0 weighted sum; 1, 2, 3 red, green or blue alone
};

struct CImageProcess_Parameter_G8ToLineart {
  uint32_t Pixel;
  uint8_t bThreshold;
};

struct CImageProcess_Parameter_G8ToHalftone {
  uint32_t Pixel;
  uint8_t blCustomHalftoneTable;
  uint8_t bTableIndex;
  uint8_t CustomTable[64];
};

struct CImageProcess_Parameter_YCCToC24 {
  uint32_t Pixel;
  double Kr;
  double Kg;
  double Kb;
  uint8_t blUseTable;
  uint8_t Table[4][256];  // 1, 2, 3 map red, green, blue; 0 unused
};

struct CImageProcess_Parameter_C24ToR2YCC {
  uint32_t Pixel;
  double Kr;
  double Kg;
  double Kb;
};

struct CImageProcess_Parameter_SWGamma {
  uint32_t dwSamplesPerPixel;  // 1 or 3
  uint32_t dwPixelsPerLine;
  uint8_t Table[3][256];
};

struct CImageProcess_Parameter_TrueGray {
  uint32_t Pixel;
  uint8_t blUseTable;
  uint8_t Table[256];
};

struct CImageProcess_Parameter_TrestleCisPack {
  uint32_t dwResolution;
  uint32_t dwBytesPerPixel;
  uint32_t dwLeftOffset;
  uint32_t dwOutputPixel;
  uint8_t blMirror;
  uint8_t Reserved[11];  // the stage row copies 28 bytes
};

struct CImageProcess_Parameter_QF9000RgbCisPack {
  uint32_t dwSegmentPixel;
  uint32_t dwBytesPerPixel;
  uint32_t dwLeftOffset;
  uint32_t dwOutputPixel;
  uint8_t blMirror;
  uint8_t blNaturalOrder;
  uint8_t blWholeSegments;
  uint8_t Cut[4][2];  // pixels dropped at the start and at the end of each segment
  uint8_t Order[4];   // source segment of each output segment
};

struct CImageProcess_Parameter_Scale {
  uint32_t dwSrcWidth;
  uint32_t dwSrcLength;
  uint32_t dwDestWidth;
  uint32_t dwDestLength;
  uint32_t dwYRateNumerator;    // output resolution
  uint32_t dwYRateDenominator;  // input resolution
  uint32_t dwBitsPerPixel;
  uint8_t blUseYRateFraction;  // 1: pages of unknown length scale by the resolutions
};

struct CImageProcess_Parameter_CutImage {
  uint8_t blColor;
  uint8_t blDelayCutTop;  // 1: the lines are cut at the end of the page
  uint32_t Pixel;
  uint32_t dwCutLeft;
  uint32_t dwCutRight;
  uint32_t dwCutTop;
};

struct CImageProcess_Parameter_LineDifference {
  uint32_t Pixel;
  uint32_t dwDelay[3];
};

struct CImageProcess_Parameter_HorizontalMirror {
  uint32_t dwPixelsPerLine;
  uint32_t dwBytesPerPixel;
};

struct CImageProcess_Parameter_LeftRightPadding {
  uint32_t dwSrcBytesPerLine;
  uint32_t dwLeftPadding;
  uint32_t dwRightPadding;
  uint8_t bPaddingValue;
};

struct CImageProcess_Parameter_ModifyWidth {
  uint32_t dwSrcBytesPerLine;
  uint32_t dwDstBytesPerLine;
  uint8_t bPaddingValue;
};

static_assert(sizeof(CImageProcess_Parameter_Width) == 4);
static_assert(sizeof(CImageProcess_Parameter_ColorToGray) == 40);
static_assert(offsetof(CImageProcess_Parameter_ColorToGray, CofficientR) == 8);
static_assert(offsetof(CImageProcess_Parameter_ColorToGray, ColorFilter) == 32);
static_assert(sizeof(CImageProcess_Parameter_G8ToLineart) == 8);
static_assert(sizeof(CImageProcess_Parameter_G8ToHalftone) == 72);
static_assert(offsetof(CImageProcess_Parameter_G8ToHalftone, CustomTable) == 6);
static_assert(sizeof(CImageProcess_Parameter_YCCToC24) == 1064);
static_assert(offsetof(CImageProcess_Parameter_YCCToC24, blUseTable) == 32);
static_assert(offsetof(CImageProcess_Parameter_YCCToC24, Table) == 33);
static_assert(sizeof(CImageProcess_Parameter_C24ToR2YCC) == 32);
static_assert(sizeof(CImageProcess_Parameter_SWGamma) == 776);
static_assert(sizeof(CImageProcess_Parameter_TrueGray) == 264);
static_assert(sizeof(CImageProcess_Parameter_TrestleCisPack) == 28);
static_assert(sizeof(CImageProcess_Parameter_QF9000RgbCisPack) == 32);
static_assert(offsetof(CImageProcess_Parameter_QF9000RgbCisPack, Order) == 27);
static_assert(sizeof(CImageProcess_Parameter_Scale) == 32);
static_assert(offsetof(CImageProcess_Parameter_Scale, blUseYRateFraction) == 28);
static_assert(sizeof(CImageProcess_Parameter_CutImage) == 20);
static_assert(offsetof(CImageProcess_Parameter_CutImage, Pixel) == 4);
static_assert(sizeof(CImageProcess_Parameter_LineDifference) == 16);
static_assert(sizeof(CImageProcess_Parameter_HorizontalMirror) == 8);
static_assert(sizeof(CImageProcess_Parameter_LeftRightPadding) == 16);
static_assert(sizeof(CImageProcess_Parameter_ModifyWidth) == 12);
