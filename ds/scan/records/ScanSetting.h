#pragma once
// The data source's scan-settings record: everything the user can set for a scan. The data
// source owns one; the dialog edits it in place, the scan layer copies it by value per job, and
// the settings files store it field by field under the field names.
//
// Natural alignment, 240 bytes on a 64-bit platform: 131 numbers, then four texts, each a
// SharedText handle of pointer size (see SharedText.h). Names: b u8, w u16, dw u32, i s32,
// str text; F/R front/rear side, then B/G/C black-and-white, grey, colour. Lengths and positions
// in 1/300 inch. A default-constructed record is all zeros with null texts.
#include <cstddef>
#include <cstdint>

#include "ds/scan/records/SharedText.h"

namespace ferrolite {

struct ScanSetting {
  uint16_t wImageType{};
  uint8_t bFBinaryProcess{};
  uint8_t bRBinaryProcess{};
  uint8_t bFDTSensitivity{};
  uint8_t bRDTSensitivity{};
  uint8_t bFBThreshold{};
  uint8_t bRBThreshold{};
  uint8_t bFDocumentThreshold{};
  uint8_t bRDocumentThreshold{};
  int32_t iFBBrightness{};
  int32_t iRBBrightness{};
  int32_t iFGBrightness{};
  int32_t iRGBrightness{};
  int32_t iFCBrightness{};
  int32_t iRCBrightness{};
  int32_t iFGContrast{};
  int32_t iRGContrast{};
  int32_t iFCContrast{};
  int32_t iRCContrast{};
  uint8_t bFGrayQuality{};
  uint8_t bRGrayQuality{};
  uint8_t bFNonColorSelection{};
  uint8_t bRNonColorSelection{};
  uint8_t bFACDSensitivity{};
  uint8_t bRACDSensitivity{};
  uint16_t wBWRes{};
  uint16_t wGrayRes{};
  uint16_t wColorRes{};
  uint8_t bFBInvert{};
  uint8_t bRBInvert{};
  uint8_t bFGInvert{};
  uint8_t bRGInvert{};
  uint8_t bFCInvert{};
  uint8_t bRCInvert{};
  uint8_t bColorMatch{};
  uint8_t bPaperSize{};
  uint8_t bScanSource{};
  uint8_t bFBColorDropOut{};
  uint8_t bRBColorDropOut{};
  uint8_t bFGColorDropOut{};
  uint8_t bRGColorDropOut{};
  uint8_t bFGAdvanceProcess{};
  uint8_t bRGAdvanceProcess{};
  uint8_t bFBAdvanceProcess{};
  uint8_t bRBAdvanceProcess{};
  uint8_t bFGAdvDropQuality{};
  uint8_t bRGAdvDropQuality{};
  uint8_t bFBAdvDropQuality{};
  uint8_t bRBAdvDropQuality{};
  uint8_t bFGFilterThreshold{};
  uint8_t bRGFilterThreshold{};
  uint8_t bFBFilterThreshold{};
  uint8_t bRBFilterThreshold{};
  uint8_t bFGCustomR{};
  uint8_t bRGCustomR{};
  uint8_t bFGCustomG{};
  uint8_t bRGCustomG{};
  uint8_t bFGCustomB{};
  uint8_t bRGCustomB{};
  uint8_t bFBCustomR{};
  uint8_t bRBCustomR{};
  uint8_t bFBCustomG{};
  uint8_t bRBCustomG{};
  uint8_t bFBCustomB{};
  uint8_t bRBCustomB{};
  uint8_t bPaperSizeUnit{};
  uint8_t bPaperDirection{};
  uint16_t wXPos{};
  uint16_t wYPos{};
  uint16_t wWidth{};
  uint16_t wLength{};
  uint32_t dwLongWidth{};
  uint32_t dwLongLength{};
  uint8_t bLengthDetection{};
  uint16_t wLengthDetectionValue{};
  uint8_t bUltrasonic{};
  uint8_t bStopAfterMultefeed{};
  uint8_t bMultifeedAlarm{};
  uint8_t bPaperWeight{};
  uint8_t bRotation{};
  uint8_t bBlankPageRemoval{};
  uint8_t bBlankPageThreshold{};
  uint8_t bEdgeColor{};
  uint8_t bEdgeExtend{};
  uint16_t wLeftEdge{};
  uint16_t wTopEdge{};
  uint16_t wRightEdge{};
  uint16_t wBottomEdge{};
  uint16_t wNoiseNumber{};
  uint8_t bNoiseRadius{};
  uint8_t bBackground{};
  int32_t iImageCount{};
  uint16_t wEnergySaver{};
  uint16_t wPowerOffTime{};
  uint16_t wTransportTimeout{};
  uint8_t bEjectOpposite{};
  uint8_t bMirror{};
  uint8_t bSplitImage{};
  uint8_t bPunchHole{};
  uint8_t bMergeOption{};
  uint8_t bBarcodeDetection{};
  uint8_t bPatchCode{};
  uint8_t bBackgroundProcessing{};
  uint8_t bBackgroundSpeed{};
  uint8_t bBackgroundMode{};
  uint8_t bBackgroundFill{};
  uint16_t wTabWindow{};
  uint8_t bImprinter{};
  uint8_t bPrintAll{};
  uint8_t bPrintArea{};
  uint16_t wPrintX{};
  uint16_t wPrintY{};
  uint8_t bPrintFormat{};
  uint8_t bPrintFixedWidth{};
  uint8_t bPrintFontAttri{};
  uint8_t bPrintOrientation{};
  uint8_t bPrintSize{};
  uint8_t bPrintDensity{};
  uint8_t bPrintTransparency{};
  uint8_t bPrintHollow{};
  uint8_t bPrintDate{};
  uint8_t bPrintTime{};
  uint8_t bSplitMode{};
  uint8_t bCarrierSheet{};
  uint32_t dwSelectBarcode{};
  uint8_t bFlipSide{};
  uint8_t bShowProgress{};
  uint8_t bShowWarning{};
  uint8_t bSaveSetting{};
  uint8_t bBackgroundSensitivity{};
  uint8_t bPowerOff{};
  SharedText strProfile{};
  SharedText strAlarm{};
  SharedText strPrintText{};
  SharedText strPrintCounter{};

  // Field by field: the padding between fields is no part of the record's value.
  friend bool operator==(const ScanSetting&, const ScanSetting&) = default;
};

// wImageType bits.
inline constexpr uint16_t kImageBWFront = 0x01;
inline constexpr uint16_t kImageBWRear = 0x02;
inline constexpr uint16_t kImageGrayFront = 0x04;
inline constexpr uint16_t kImageGrayRear = 0x08;
inline constexpr uint16_t kImageColorFront = 0x10;
inline constexpr uint16_t kImageColorRear = 0x20;
inline constexpr uint16_t kImageAutoColorFront = 0x40;
inline constexpr uint16_t kImageAutoColorRear = 0x80;
inline constexpr uint16_t kImageFrontBits = 0x55;
inline constexpr uint16_t kImageRearBits = 0xAA;
inline constexpr uint16_t kImageFixedTypeBits = 0x3F;  // colour, grey and black-and-white

// bScanSource values.
inline constexpr uint8_t kSourceAutomatic = 0;
inline constexpr uint8_t kSourceFeeder = 1;
inline constexpr uint8_t kSourceFlatbed = 2;
inline constexpr uint8_t kSourceFlatbedOther = 3;  // a second flatbed source the loader accepts
inline constexpr uint8_t kSourceMergeTwoSides = 4;

// bPaperSize page ids.
inline constexpr uint8_t kPageAutomatic = 0;
inline constexpr uint8_t kPageMaximum = 18;
inline constexpr uint8_t kPageLong = 19;
inline constexpr uint8_t kPageMultiCrop = 20;
inline constexpr uint8_t kPageCustom = 255;

// wTabWindow bits of the optional dialog pages.
inline constexpr uint16_t kTabColorDrop = 0x02;
inline constexpr uint16_t kTabRotation = 0x08;
inline constexpr uint16_t kTabSeparation = 0x10;
inline constexpr uint16_t kTabEnhancement = 0x20;
inline constexpr uint16_t kTabImprinter = 0x80;

#define SS_OFFSET(field, offset) \
  static_assert(offsetof(ScanSetting, field) == (offset), "ScanSetting." #field)
static_assert(sizeof(ScanSetting) == 240, "ScanSetting is 240 bytes");
SS_OFFSET(wImageType, 0);
SS_OFFSET(bFBinaryProcess, 2);
SS_OFFSET(bRBinaryProcess, 3);
SS_OFFSET(bFDTSensitivity, 4);
SS_OFFSET(bRDTSensitivity, 5);
SS_OFFSET(bFBThreshold, 6);
SS_OFFSET(bRBThreshold, 7);
SS_OFFSET(bFDocumentThreshold, 8);
SS_OFFSET(bRDocumentThreshold, 9);
SS_OFFSET(iFBBrightness, 12);
SS_OFFSET(iRBBrightness, 16);
SS_OFFSET(iFGBrightness, 20);
SS_OFFSET(iRGBrightness, 24);
SS_OFFSET(iFCBrightness, 28);
SS_OFFSET(iRCBrightness, 32);
SS_OFFSET(iFGContrast, 36);
SS_OFFSET(iRGContrast, 40);
SS_OFFSET(iFCContrast, 44);
SS_OFFSET(iRCContrast, 48);
SS_OFFSET(bFGrayQuality, 52);
SS_OFFSET(bRGrayQuality, 53);
SS_OFFSET(bFNonColorSelection, 54);
SS_OFFSET(bRNonColorSelection, 55);
SS_OFFSET(bFACDSensitivity, 56);
SS_OFFSET(bRACDSensitivity, 57);
SS_OFFSET(wBWRes, 58);
SS_OFFSET(wGrayRes, 60);
SS_OFFSET(wColorRes, 62);
SS_OFFSET(bFBInvert, 64);
SS_OFFSET(bRBInvert, 65);
SS_OFFSET(bFGInvert, 66);
SS_OFFSET(bRGInvert, 67);
SS_OFFSET(bFCInvert, 68);
SS_OFFSET(bRCInvert, 69);
SS_OFFSET(bColorMatch, 70);
SS_OFFSET(bPaperSize, 71);
SS_OFFSET(bScanSource, 72);
SS_OFFSET(bFBColorDropOut, 73);
SS_OFFSET(bRBColorDropOut, 74);
SS_OFFSET(bFGColorDropOut, 75);
SS_OFFSET(bRGColorDropOut, 76);
SS_OFFSET(bFGAdvanceProcess, 77);
SS_OFFSET(bRGAdvanceProcess, 78);
SS_OFFSET(bFBAdvanceProcess, 79);
SS_OFFSET(bRBAdvanceProcess, 80);
SS_OFFSET(bFGAdvDropQuality, 81);
SS_OFFSET(bRGAdvDropQuality, 82);
SS_OFFSET(bFBAdvDropQuality, 83);
SS_OFFSET(bRBAdvDropQuality, 84);
SS_OFFSET(bFGFilterThreshold, 85);
SS_OFFSET(bRGFilterThreshold, 86);
SS_OFFSET(bFBFilterThreshold, 87);
SS_OFFSET(bRBFilterThreshold, 88);
SS_OFFSET(bFGCustomR, 89);
SS_OFFSET(bRGCustomR, 90);
SS_OFFSET(bFGCustomG, 91);
SS_OFFSET(bRGCustomG, 92);
SS_OFFSET(bFGCustomB, 93);
SS_OFFSET(bRGCustomB, 94);
SS_OFFSET(bFBCustomR, 95);
SS_OFFSET(bRBCustomR, 96);
SS_OFFSET(bFBCustomG, 97);
SS_OFFSET(bRBCustomG, 98);
SS_OFFSET(bFBCustomB, 99);
SS_OFFSET(bRBCustomB, 100);
SS_OFFSET(bPaperSizeUnit, 101);
SS_OFFSET(bPaperDirection, 102);
SS_OFFSET(wXPos, 104);
SS_OFFSET(wYPos, 106);
SS_OFFSET(wWidth, 108);
SS_OFFSET(wLength, 110);
SS_OFFSET(dwLongWidth, 112);
SS_OFFSET(dwLongLength, 116);
SS_OFFSET(bLengthDetection, 120);
SS_OFFSET(wLengthDetectionValue, 122);
SS_OFFSET(bUltrasonic, 124);
SS_OFFSET(bStopAfterMultefeed, 125);
SS_OFFSET(bMultifeedAlarm, 126);
SS_OFFSET(bPaperWeight, 127);
SS_OFFSET(bRotation, 128);
SS_OFFSET(bBlankPageRemoval, 129);
SS_OFFSET(bBlankPageThreshold, 130);
SS_OFFSET(bEdgeColor, 131);
SS_OFFSET(bEdgeExtend, 132);
SS_OFFSET(wLeftEdge, 134);
SS_OFFSET(wTopEdge, 136);
SS_OFFSET(wRightEdge, 138);
SS_OFFSET(wBottomEdge, 140);
SS_OFFSET(wNoiseNumber, 142);
SS_OFFSET(bNoiseRadius, 144);
SS_OFFSET(bBackground, 145);
SS_OFFSET(iImageCount, 148);
SS_OFFSET(wEnergySaver, 152);
SS_OFFSET(wPowerOffTime, 154);
SS_OFFSET(wTransportTimeout, 156);
SS_OFFSET(bEjectOpposite, 158);
SS_OFFSET(bMirror, 159);
SS_OFFSET(bSplitImage, 160);
SS_OFFSET(bPunchHole, 161);
SS_OFFSET(bMergeOption, 162);
SS_OFFSET(bBarcodeDetection, 163);
SS_OFFSET(bPatchCode, 164);
SS_OFFSET(bBackgroundProcessing, 165);
SS_OFFSET(bBackgroundSpeed, 166);
SS_OFFSET(bBackgroundMode, 167);
SS_OFFSET(bBackgroundFill, 168);
SS_OFFSET(wTabWindow, 170);
SS_OFFSET(bImprinter, 172);
SS_OFFSET(bPrintAll, 173);
SS_OFFSET(bPrintArea, 174);
SS_OFFSET(wPrintX, 176);
SS_OFFSET(wPrintY, 178);
SS_OFFSET(bPrintFormat, 180);
SS_OFFSET(bPrintFixedWidth, 181);
SS_OFFSET(bPrintFontAttri, 182);
SS_OFFSET(bPrintOrientation, 183);
SS_OFFSET(bPrintSize, 184);
SS_OFFSET(bPrintDensity, 185);
SS_OFFSET(bPrintTransparency, 186);
SS_OFFSET(bPrintHollow, 187);
SS_OFFSET(bPrintDate, 188);
SS_OFFSET(bPrintTime, 189);
SS_OFFSET(bSplitMode, 190);
SS_OFFSET(bCarrierSheet, 191);
SS_OFFSET(dwSelectBarcode, 192);
SS_OFFSET(bFlipSide, 196);
SS_OFFSET(bShowProgress, 197);
SS_OFFSET(bShowWarning, 198);
SS_OFFSET(bSaveSetting, 199);
SS_OFFSET(bBackgroundSensitivity, 200);
SS_OFFSET(bPowerOff, 201);
SS_OFFSET(strProfile, 208);
SS_OFFSET(strAlarm, 216);
SS_OFFSET(strPrintText, 224);
SS_OFFSET(strPrintCounter, 232);
#undef SS_OFFSET

}  // namespace ferrolite
