#pragma once
// The model features, named once: a model's feature list holds these numbers (0 to 71, the
// bitmap has 9 bytes) and every part of the driver asks CScanner::GetFeature by name.
#include <cstdint>

enum Device_Features : uint32_t {
  kFeatureNone = 0,                            // ends a model's list
  kFeatureYcc1 = 1,                            // any of 1, 2, 3, 4, 7: the device scans YCC colour
  kFeatureYcc2 = 2,                            // as 1
  kFeatureYcc3 = 3,                            // as 1
  kFeatureYcc4 = 4,                            // as 1
  kFeatureYccGammaBlocks = 6,                  // gamma: YCC modes send three blocks of table 4
  kFeatureYcc7 = 7,                            // as 1
  kFeatureBackgroundLines = 8,                 // background lines: default count, at most 100
  kFeatureUnconsulted9 = 9,                    // listed by models, asked by nothing
  kFeatureCalibrateLaterPages = 10,            // calibration again from the second page on
  kFeatureTransferSizeIgnoresContinuous = 11,  // also: a continuous page cycle (IO thread)
  kFeatureContinuousReading = 12,              // continuous-scan reading of the reader
  kFeatureBackgroundScan = 13,                 // background lines by a scan of their own
  kFeatureWindowEachPage = 15,                 // window, calibration, matrix before later pages
  kFeatureColourMatrix = 16,                   // the colour matrix goes to the device
  kFeatureWholeDeviceWidth = 19,               // background width is the device pixel count
  kFeatureContinuousMediaCheck = 20,           // media check at each continuous end of page
  kFeatureMediaCheckAlways = 21,               // media check after every page
  kFeatureR2EndOfPage = 22,                    // R2 end-of-page style
  kFeatureR2EndOfPageByModel = 23,             // R2 end-of-page style as the model's flag says
  kFeatureThreeChannelReference = 25,          // three-channel white reference when asked
  kFeatureThreeChannelUnfiltered = 26,         // three-channel reference without colour filter
  kFeatureGammaPerFilterTable = 27,            // gamma: three blocks of the filter's table
  kFeatureFixedPixelBounds = 28,               // client pixel bounds 8, 1, 1, 8, 8, 2
  kFeatureNvramAtJobStart = 29,                // the job start reads the NVRAM record again
  kFeatureSoftwareHalftone = 30,               // halftone made in software from 8-bit grey
  kFeatureContinuousTransfer = 31,             // transfer size keeps the depth rule
  kFeatureInvertedGamma = 33,                  // gamma bytes go to the device inverted
  kFeatureMultiFeedForward = 34,               // multi-feed forwarded outside continuous scan
  kFeatureUsbPortTexts = 35,                   // port type and address "USB"
  kFeatureUnconsulted36 = 36,                  // listed by models, asked by nothing
  kFeatureDropAfterEndOfPage = 37,             // data after an end of page is dropped
  kFeatureSoftwareErrorDiffusion = 38,         // error diffusion made in software from grey
  kFeatureInquiryRetry = 41,                   // a failed INQUIRY at opening is sent once more
  kFeatureNoLaterCalibration = 42,             // no calibration before later pages
  kFeatureGammaColourTable = 43,               // gamma: colour blocks of table 4
  kFeatureContinuousDuplex = 44,               // duplex in continuous mode the device handles
  kFeatureWholeDemuxReadUnit = 48,             // duplex read unit of two de-multiplex blocks
  kFeatureInvertedPadding = 59,                // padding values inverted
  kFeaturePageModeContinuation = 60,           // page-mode scan start and cancel
  kFeatureCancelControl = 61,                  // cancel tells the device by a control value
  kFeatureUnconsulted62 = 62,                  // listed by models, asked by nothing
  kFeatureIrUvWindowKind = 63,                 // IR/UV kind in the window's mode word
  kFeatureJpegReencode = 64,                   // device JPEG re-encoded, padding of fixed pages
  kFeatureExtendedModes = 65,                  // scan modes with a non-zero top byte
};
// A model's feature list: zero-terminated, 16 entries long.
constexpr uint32_t kFeatureListLength = 16;
