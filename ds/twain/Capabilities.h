#pragma once
// Helpers of the capability negotiation that the image layout shares: the paper table's size
// codes, list lookup, fixed-point conversions and the scan-area rules.
#include <cstdint>

#include "platform/twain/Twain.h"

namespace ferrolite {

class TezFRLDS;

// The 32 capabilities in the order of the CAP_SUPPORTEDCAPS answer.
inline constexpr TW_UINT16 kSupportedCapabilities[32] = {CAP_SUPPORTEDCAPS,
                                                         CAP_XFERCOUNT,
                                                         CAP_UICONTROLLABLE,
                                                         CAP_DEVICEONLINE,
                                                         CAP_FEEDERLOADED,
                                                         CAP_FEEDERENABLED,
                                                         CAP_DUPLEX,
                                                         CAP_DUPLEXENABLED,
                                                         CAP_INDICATORS,
                                                         ICAP_XFERMECH,
                                                         ICAP_COMPRESSION,
                                                         ICAP_PIXELTYPE,
                                                         ICAP_UNITS,
                                                         ICAP_XRESOLUTION,
                                                         ICAP_YRESOLUTION,
                                                         ICAP_MINIMUMWIDTH,
                                                         ICAP_MINIMUMHEIGHT,
                                                         ICAP_PHYSICALWIDTH,
                                                         ICAP_PHYSICALHEIGHT,
                                                         ICAP_BITORDER,
                                                         ICAP_PIXELFLAVOR,
                                                         ICAP_PLANARCHUNKY,
                                                         ICAP_BITDEPTH,
                                                         ICAP_BRIGHTNESS,
                                                         ICAP_CONTRAST,
                                                         ICAP_FRAMES,
                                                         ICAP_SUPPORTEDSIZES,
                                                         ICAP_AUTOMATICBORDERDETECTION,
                                                         CAP_KRMULTISTREAM,
                                                         ICAP_BARCODEDETECTIONENABLED,
                                                         ICAP_PATCHCODEDETECTIONENABLED,
                                                         ICAP_IMAGEFILEFORMAT};

// The TWAIN size code of a paper-table page id; -1 when it has none.
int matchSupportedSize(uint32_t pageId);
// Index of `value` in the first `count` entries of `list`; -1 when absent.
int FindIndex(int value, const int16_t* list, int count);

// Inches of a TW_FIX32, and the TW_FIX32 of inches the way the layout keeps them (the fraction
// times 65535, rounded).
double fix32ToInches(TW_FIX32 value);
TW_FIX32 inchesToLayoutFix32(double inches);

// A frame the scanner can take: every edge at least 0, left below right and top below bottom,
// right within the maximum width, bottom within the larger of the maximum and the long-page
// length.
bool frameFits(const TezFRLDS& source, double left, double top, double right, double bottom);

// The rules after a new scan area: a source of two merged sides becomes the feeder, and an area
// at X 0 is centred when the feeder centres its paper (never left of 0).
void centreScanArea(TezFRLDS& source, bool logIt);

}  // namespace ferrolite
