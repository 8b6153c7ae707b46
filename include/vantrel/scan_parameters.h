#pragma once
// The client's scan records: the scan parameter of KRSetParameter and the per-side hardware
// image-processing parameter of KRSetHWProcess. Packed, host byte order, version 200.
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define VT_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define VT_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif

typedef struct __attribute__((packed)) SCANPARAMETER_UNION {
  uint16_t Version;  // 200
  uint16_t Size;     // 116
  uint16_t BaseRes;  // unit of the area fields, dots per inch
  uint8_t Reserved[2];
  uint32_t Left;
  uint32_t Top;
  uint32_t Width;
  uint32_t Length;  // 0xFFFFFFFF with LineNum 0xFFFFFFFF: a page of unknown length
  uint16_t XRes;
  uint16_t YRes;
  uint32_t PixelNum;
  uint32_t LineNum;
  uint32_t BytesPerLine;
  uint32_t ScanMode;  // low 24 bits the base mode, top byte the device-processing kind
  uint16_t ScanMethod;
  uint16_t Compression;
  uint8_t BitsPerPixel;
  uint8_t SpeedMode;
  int8_t Contrast;
  int8_t Brightness;
  uint8_t DitherIndex;  // 1-based halftone pattern number
  uint8_t Highlight;
  uint8_t Shadow;
  uint8_t ColorFilter;
  uint8_t Invert;
  uint16_t CtrlMode;
  uint8_t CacheMode;
  uint32_t CacheSize;
  uint32_t JobPages;
  uint32_t DetectFeedLength;
  uint8_t byBackgroundLines;
  uint8_t Threshold;
  uint16_t TuneScanLengthBottom;
  uint16_t TuneScanLengthTop;
  uint16_t TuneScanLengthLeft;
  uint16_t TuneScanLengthRight;
  uint8_t Reserved1[14];
  uint32_t ExtParam0;
  uint32_t ExtParam1;
  uint32_t ExtParam2;
  uint32_t ExtParam3;
  uint32_t ExtParam4;
} SCANPARAMETER_UNION;

typedef struct __attribute__((packed)) HWIMAGEPROCPARAMETER_UNION {
  uint16_t Version;  // 200
  uint16_t Size;     // 132
  uint8_t AutoColor;
  uint8_t BlurLevel;
  uint8_t SharpenLevel;
  uint8_t RemoveBG;
  uint8_t BlankDetect;
  uint8_t Hori_MagSwitch;
  uint8_t Ver_MagSwitch;
  uint8_t WatermarkSwitch;
  uint8_t ImageMode;
  uint8_t AutoOrientation;
  uint8_t CropDeskew;
  // Signed margins in sign-and-magnitude form: bit 7 the sign, bits 0-6 the magnitude.
  uint16_t CropDeskewMarginBottom;
  uint16_t CropDeskewMarginRight;
  uint16_t CropDeskewMarginTop;
  uint16_t CropDeskewMarginLeft;
  uint8_t Rotate;
  uint32_t ImageWidthResize;
  uint32_t ImageHeightResize;
  uint8_t CropBgPaddingR;
  uint8_t CropBgPaddingG;
  uint8_t CropBgPaddingB;
  uint8_t Reserved[97];
} HWIMAGEPROCPARAMETER_UNION;

#define VT_CHECK_OFFSET(type, field, offset) \
  VT_STATIC_ASSERT(offsetof(type, field) == (offset), #type "." #field " must be at " #offset)

VT_STATIC_ASSERT(sizeof(SCANPARAMETER_UNION) == 116, "SCANPARAMETER_UNION is 116 bytes");
VT_CHECK_OFFSET(SCANPARAMETER_UNION, Version, 0);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, Size, 2);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, BaseRes, 4);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, Reserved, 6);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, Left, 8);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, Top, 12);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, Width, 16);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, Length, 20);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, XRes, 24);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, YRes, 26);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, PixelNum, 28);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, LineNum, 32);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, BytesPerLine, 36);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, ScanMode, 40);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, ScanMethod, 44);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, Compression, 46);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, BitsPerPixel, 48);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, SpeedMode, 49);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, Contrast, 50);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, Brightness, 51);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, DitherIndex, 52);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, Highlight, 53);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, Shadow, 54);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, ColorFilter, 55);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, Invert, 56);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, CtrlMode, 57);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, CacheMode, 59);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, CacheSize, 60);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, JobPages, 64);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, DetectFeedLength, 68);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, byBackgroundLines, 72);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, Threshold, 73);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, TuneScanLengthBottom, 74);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, TuneScanLengthTop, 76);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, TuneScanLengthLeft, 78);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, TuneScanLengthRight, 80);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, Reserved1, 82);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, ExtParam0, 96);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, ExtParam1, 100);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, ExtParam2, 104);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, ExtParam3, 108);
VT_CHECK_OFFSET(SCANPARAMETER_UNION, ExtParam4, 112);

VT_STATIC_ASSERT(sizeof(HWIMAGEPROCPARAMETER_UNION) == 132,
                 "HWIMAGEPROCPARAMETER_UNION is 132 bytes");
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, Version, 0);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, Size, 2);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, AutoColor, 4);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, BlurLevel, 5);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, SharpenLevel, 6);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, RemoveBG, 7);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, BlankDetect, 8);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, Hori_MagSwitch, 9);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, Ver_MagSwitch, 10);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, WatermarkSwitch, 11);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, ImageMode, 12);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, AutoOrientation, 13);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, CropDeskew, 14);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, CropDeskewMarginBottom, 15);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, CropDeskewMarginRight, 17);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, CropDeskewMarginTop, 19);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, CropDeskewMarginLeft, 21);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, Rotate, 23);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, ImageWidthResize, 24);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, ImageHeightResize, 28);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, CropBgPaddingR, 32);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, CropBgPaddingG, 33);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, CropBgPaddingB, 34);
VT_CHECK_OFFSET(HWIMAGEPROCPARAMETER_UNION, Reserved, 35);

#undef VT_CHECK_OFFSET
