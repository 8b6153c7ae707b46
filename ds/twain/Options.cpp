#include "ds/twain/Options.h"

namespace ferrolite {

int gSingleCropDuplex;
int gLongPageCrop;
bool gPhysicalLongPaper;
int gMergeAll;
int gMergeSides;
int gBarcodeResult;
int gDisableJpeg;
int gNoSleep;
int gCheckPowerOff;
int gMaxPowerSaving;
int gMaxPowerOff;
int gAdvColorDropOn;
int gColorScan;
int gMaxLongLengthHighRes;
int gTezOlmex;
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
