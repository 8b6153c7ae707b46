#pragma once
// What sets one scanner model apart: its feature list and the traits of its family that the
// derivations, the stage lists and the model object's answers read. Each model class carries one
// (ScannerModels.h); nothing else names the models.
#include <cstdint>

#include "drv/device/DeviceFeatures.h"

// How the device delivers the two sides of a duplex page (0 to 7).
using DeviceDuplexMode = uint32_t;

// The resolutions a family's device scans, and what becomes of the others.
enum class ResolutionRule : uint8_t {
  AsAsked,           // no device-side derivation beyond background lines and alignment
  Native600300200,   // 600, 300, 200; others: 600 above 300, 200 up to 200, else 300
  Native600300,      // 600, 300; others as above (200 is scanned at 200 and scaled)
  Native600300Wide,  // as Native600300, but 200 is scanned 300 across and 200 along
  Only600300,        // 600, 300; others: 600 above 300, else 300
};

struct ModelTraits {
  const char* name;                 // the model class
  const Device_Features* features;  // the default list (null: every feature reads false)
  ResolutionRule resolutions;
  bool roundPixelsDown;  // device pixel count rounded down to the bound, else up
  // IR/UV family: the IR/UV modes, the pixel bound from the client's mode, no device-JPEG
  // substitution, the IR/UV stage list and its own background-mode folding.
  bool irUv;
  uint32_t transferSize;  // bytes of 24-bit colour per device read
  DeviceDuplexMode duplexMode;
  uint32_t jpegSizeBoundary;
  uint32_t flashRamCcdType;
  bool deMuxInformation;  // reports the de-multiplex block size (flag 1)
};
