#pragma once
// The data source's process-wide options: read from the "Default" entry of "krscan.plist" when
// the data source object is made (then adjusted there), read by every part of the data source.
// They are set before any thread of the data source starts and only read afterwards.
#include <atomic>
#include <cstdint>

namespace ferrolite {

extern int gSingleCropDuplex;    // automatic-crop flags for flatbed and duplex pages
extern int gLongPageCrop;        // 1: automatic-size feeder scans stop at the long-page length
extern bool gPhysicalLongPaper;  // long paper is physically supported
extern int gMergeAll;            // merge every sheet of the batch
extern int gMergeSides;          // -1 untouched, 0 side merging off, 1 on
extern int gBarcodeResult;       // show barcode and patch-code results in an alert
extern int gDisableJpeg;         // 1: never ask the scanner for JPEG data
extern int gNoSleep;             // 1: energy saver 0 instead of 1 for manual-feeder scanners
extern int gCheckPowerOff;       // power-off region rule; 0: every load forces power-off on
extern int gMaxPowerSaving;      // minutes
extern int gMaxPowerOff;         // minutes
extern int
    gAdvColorDropOn;    // 1: the advanced drop-out defaults are on (the image process keeps it)
extern int gColorScan;  // 1: always scan in colour
extern uint32_t
    gMaxLongLengthHighRes;  // longest page at high resolution, 1/300 inch (the scan layer's)
extern int gTezOlmex;       // brand flag, set by construction and the open step

// The resolution every mode starts from (dpi).
extern uint16_t defaultResolution;

// The TWAIN condition code of the last failed request; 0 after a successful one.
extern std::atomic<uint16_t> gConditionCode;

// The built-in values, as before any settings file was read.
void resetOptions();

}  // namespace ferrolite
