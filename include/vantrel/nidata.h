#pragma once
// NIDATA: the image library's 269-byte image description record. Shared by the driver's own
// image library, the scan engine and the front ends (which hand it to the outside plug-in), so
// it is declared once here, packed, host byte order.
#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

struct NIDATA_InImage {
  uint8_t ScanType;  // 1 front, 3 rear, 2 duplex (odd CurPages front)
  uint8_t ScanMode;  // bits 0-6 image kind, bit 7 input is a JPEG stream
  uint8_t BitsPerPixel;
  uint8_t SamplePerPixel;
  uint16_t x;
  uint16_t y;
  uint32_t Pixel;
  uint32_t Line;
  uint16_t CurPages;
  uint16_t ScanTypeMaxWidth;
  uint16_t XRes;
  uint16_t YRes;
  uint32_t BytesPerLine;
  uint8_t ColorFilter;
  uint8_t BackgroundColor;
  uint16_t EOPGap;
  uint8_t RefSkewAngle[2];
  uint8_t Reserved1[2];
};

struct NIDATA_OutBW {
  uint8_t Mode;
  uint8_t AdvDrop;
  uint8_t ColorFilter;
  uint8_t DropThreshold;
  uint16_t BytesPerLine;
  uint8_t BackgroundColor;
  uint8_t BWThreshold;
  uint8_t DyThreshold;
  uint8_t HalftoneSize[2];
  uint8_t BitsGTable;
  uint8_t* HalftoneTable;
  uint8_t* TableM;
  uint8_t Compression;
  uint8_t RDropValue;
  uint8_t GDropValue;
  uint8_t BDropValue;
  uint8_t DropTolerance;
  uint8_t Reserved1[3];
};

struct NIDATA_OutGray {
  uint8_t Mode;
  uint8_t AdvDrop;
  uint8_t ColorFilter;
  uint8_t DropThreshold;
  uint8_t BackgroundLevel;
  uint8_t BackgroundColor;
  uint8_t Compression;  // 2 = JPEG
  uint8_t BitsGTable;
  uint8_t* TableM;
  uint8_t JPEGQuality;
  uint8_t RDropValue;
  uint8_t GDropValue;
  uint8_t BDropValue;
  uint8_t DropTolerance;
  uint8_t Reserved1[11];
};

struct NIDATA_OutColor {
  uint8_t Mode;
  uint8_t IccProfile;
  uint8_t BackgroundColorR;
  uint8_t BackgroundColorG;
  uint8_t BackgroundColorB;
  uint8_t Reserved[2];
  uint8_t BitsGTable;
  uint8_t* TableM;
  uint8_t* TableR;
  uint8_t* TableG;
  uint8_t* TableB;
  uint8_t Compression;  // 2 = JPEG
  uint8_t JPEGQuality;
  uint8_t Reserved1[2];
};

struct NIDATA_Rect16 {
  uint16_t Left;
  uint16_t Top;
  uint16_t Right;
  uint16_t Bottom;
};

struct NIDATA_AdjCrop {
  int16_t Left;
  int16_t Top;
  int16_t Right;
  int16_t Bottom;
};

struct NIDATA_Noise {
  int8_t isZeroBlack;
  uint8_t ratio;
  uint8_t dotsNumber;
};

struct NIDATA_OutImage {
  uint16_t OutMode;  // bits 0-6 raw output kind, bit 7 JPEG, 0x2000 compact mode
  uint8_t ACThreshold;
  uint8_t Reserved2[2];
  NIDATA_OutBW BW;
  NIDATA_OutGray Gray;
  NIDATA_OutColor Color;
  uint8_t Merge2Side;
  uint8_t Despeckle;
  uint8_t AutoCrop;
  uint8_t Rotate;
  uint32_t ImageWidth;
  uint32_t ImageHeight;
  uint32_t RefBlankSize;
  uint8_t BlankPageDetect;
  uint8_t BlankThreshold;
  uint8_t HoleRemoval;
  uint8_t InternalUse;  // image id of this image's codec or crop state, 0 = none
  uint8_t BackgroundSmooth;
  uint8_t Filter;
  uint8_t Mask;
  uint8_t EdgeCleanup;
  NIDATA_Rect16 Edge;
  NIDATA_AdjCrop AdjCrop;
  NIDATA_Noise Noise;
  uint8_t AOMode;
  NIDATA_Rect16 AO;
  uint16_t JPEGDecodePosY;   // first word of the reserved area
  uint16_t JPEGDecodeLines;  // second word: a multiple of 16, 0 = whole image
  uint8_t Reserved[32];
};

struct NIDATA {
  uint32_t Size;
  char Model[24];
  NIDATA_InImage InImage;
  NIDATA_OutImage OutImage;
};

#pragma pack(pop)

static_assert(sizeof(NIDATA) == 269);
static_assert(offsetof(NIDATA, Model) == 4);
static_assert(offsetof(NIDATA, InImage) == 28);
static_assert(offsetof(NIDATA, InImage.ScanMode) == 29);
static_assert(offsetof(NIDATA, InImage.SamplePerPixel) == 31);
static_assert(offsetof(NIDATA, InImage.x) == 32);
static_assert(offsetof(NIDATA, InImage.y) == 34);
static_assert(offsetof(NIDATA, InImage.Pixel) == 36);
static_assert(offsetof(NIDATA, InImage.Line) == 40);
static_assert(offsetof(NIDATA, InImage.CurPages) == 44);
static_assert(offsetof(NIDATA, InImage.ScanTypeMaxWidth) == 46);
static_assert(offsetof(NIDATA, InImage.XRes) == 48);
static_assert(offsetof(NIDATA, InImage.YRes) == 50);
static_assert(offsetof(NIDATA, InImage.BytesPerLine) == 52);
static_assert(offsetof(NIDATA, InImage.ColorFilter) == 56);
static_assert(offsetof(NIDATA, InImage.EOPGap) == 58);
static_assert(offsetof(NIDATA, InImage.RefSkewAngle) == 60);
static_assert(offsetof(NIDATA, InImage.Reserved1) == 62);
static_assert(offsetof(NIDATA, OutImage) == 64);
static_assert(offsetof(NIDATA, OutImage.ACThreshold) == 66);
static_assert(offsetof(NIDATA, OutImage.Reserved2) == 67);
static_assert(offsetof(NIDATA, OutImage.BW) == 69);
static_assert(offsetof(NIDATA, OutImage.BW.BytesPerLine) == 73);
static_assert(offsetof(NIDATA, OutImage.BW.BackgroundColor) == 75);
static_assert(offsetof(NIDATA, OutImage.BW.HalftoneSize) == 78);
static_assert(offsetof(NIDATA, OutImage.BW.BitsGTable) == 80);
static_assert(offsetof(NIDATA, OutImage.BW.HalftoneTable) == 81);
static_assert(offsetof(NIDATA, OutImage.BW.TableM) == 89);
static_assert(offsetof(NIDATA, OutImage.BW.Compression) == 97);
static_assert(offsetof(NIDATA, OutImage.BW.DropTolerance) == 101);
static_assert(offsetof(NIDATA, OutImage.BW.Reserved1) == 102);
static_assert(offsetof(NIDATA, OutImage.Gray) == 105);
static_assert(offsetof(NIDATA, OutImage.Gray.Compression) == 111);
static_assert(offsetof(NIDATA, OutImage.Gray.BitsGTable) == 112);
static_assert(offsetof(NIDATA, OutImage.Gray.TableM) == 113);
static_assert(offsetof(NIDATA, OutImage.Gray.JPEGQuality) == 121);
static_assert(offsetof(NIDATA, OutImage.Gray.DropTolerance) == 125);
static_assert(offsetof(NIDATA, OutImage.Gray.Reserved1) == 126);
static_assert(offsetof(NIDATA, OutImage.Color) == 137);
static_assert(offsetof(NIDATA, OutImage.Color.Reserved) == 142);
static_assert(offsetof(NIDATA, OutImage.Color.BitsGTable) == 144);
static_assert(offsetof(NIDATA, OutImage.Color.TableM) == 145);
static_assert(offsetof(NIDATA, OutImage.Color.TableR) == 153);
static_assert(offsetof(NIDATA, OutImage.Color.TableG) == 161);
static_assert(offsetof(NIDATA, OutImage.Color.TableB) == 169);
static_assert(offsetof(NIDATA, OutImage.Color.Compression) == 177);
static_assert(offsetof(NIDATA, OutImage.Color.JPEGQuality) == 178);
static_assert(offsetof(NIDATA, OutImage.Color.Reserved1) == 179);
static_assert(offsetof(NIDATA, OutImage.Merge2Side) == 181);
static_assert(offsetof(NIDATA, OutImage.AutoCrop) == 183);
static_assert(offsetof(NIDATA, OutImage.Rotate) == 184);
static_assert(offsetof(NIDATA, OutImage.ImageWidth) == 185);
static_assert(offsetof(NIDATA, OutImage.ImageHeight) == 189);
static_assert(offsetof(NIDATA, OutImage.RefBlankSize) == 193);
static_assert(offsetof(NIDATA, OutImage.BlankPageDetect) == 197);
static_assert(offsetof(NIDATA, OutImage.HoleRemoval) == 199);
static_assert(offsetof(NIDATA, OutImage.InternalUse) == 200);
static_assert(offsetof(NIDATA, OutImage.Mask) == 203);
static_assert(offsetof(NIDATA, OutImage.EdgeCleanup) == 204);
static_assert(offsetof(NIDATA, OutImage.Edge) == 205);
static_assert(offsetof(NIDATA, OutImage.AdjCrop) == 213);
static_assert(offsetof(NIDATA, OutImage.Noise) == 221);
static_assert(offsetof(NIDATA, OutImage.AOMode) == 224);
static_assert(offsetof(NIDATA, OutImage.AO) == 225);
static_assert(offsetof(NIDATA, OutImage.JPEGDecodePosY) == 233);
static_assert(offsetof(NIDATA, OutImage.JPEGDecodeLines) == 235);
static_assert(offsetof(NIDATA, OutImage.Reserved) == 237);
