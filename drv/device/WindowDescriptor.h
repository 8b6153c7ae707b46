#pragma once
// The 96-byte SET WINDOW data: the device-side scan parameter as the device reads it,
// every number big-endian.
#include <vantrel/scan_parameters.h>

#include <cstdint>

constexpr uint32_t kWindowDataSize = 96;

struct KR_WindowDataSet_VER2 {
  uint8_t Data[kWindowDataSize];
};

// Image-mode bits of a mode and depth (window bytes 39-42, also the page information's mode).
uint32_t WindowImageModeBits(uint32_t scanMode, uint8_t bitsPerPixel);

// Builds the window from `param`; ctrlId is the driver's controller id.
void BuildWindowDescriptor(uint16_t ctrlId, const SCANPARAMETER_UNION& param,
                           KR_WindowDataSet_VER2* out);
