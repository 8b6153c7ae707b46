#include "ds/twain/Options.h"

namespace ferrolite {

// gSingleCropDuplex, gLongPageCrop, gMergeAll, gDisableJpeg, gColorScan, gMaxLongLengthHighRes and
// gTezOlmex are defined once, by the scan layer and the common services that read them too.

bool gPhysicalLongPaper;
int gMergeSides;
int gBarcodeResult;
int gNoSleep;
int gCheckPowerOff;
int gMaxPowerSaving;
int gMaxPowerOff;
uint16_t defaultResolution = 200;
std::atomic<uint16_t> gConditionCode{0};

void resetOptions() {
  gSingleCropDuplex = 1;
  gLongPageCrop = 0;
  gPhysicalLongPaper = false;
  gMergeAll = 1;
  gMergeSides = -1;
  gBarcodeResult = 0;
  gDisableJpeg = 0;
  gNoSleep = 0;
  gCheckPowerOff = 0;
  gMaxPowerSaving = 240;
  gMaxPowerOff = 480;
  gAdvColorDropOn = -1;
  gColorScan = 0;
  gMaxLongLengthHighRes = 11400;
  gTezOlmex = 0;
}

}  // namespace ferrolite
