#pragma once
// The model features the scan engine asks for (CScanner::GetFeature), by what they mean to it.
#include <cstdint>

namespace enginefeature {
// Any of these lets a device scan YCC colour.
constexpr uint32_t kYcc1 = 1;
constexpr uint32_t kYcc2 = 2;
constexpr uint32_t kYcc3 = 3;
constexpr uint32_t kYcc4 = 4;
constexpr uint32_t kYcc7 = 7;
// Gamma transfer: YCC modes send head 2's filter 0 three times.
constexpr uint32_t kGammaYccFromRearTable = 6;
// Gamma transfer: every block comes from head 2's filter 0.
constexpr uint32_t kGammaFromRearTable = 43;
// Gamma transfer: a one-filter scan still sends three blocks of its filter's table.
constexpr uint32_t kGammaThreeBlocksPerFilter = 27;
// Gamma transfer: the device takes inverted tables.
constexpr uint32_t kGammaInverted = 33;
// Background width is the device's pixel count rather than the feeder width.
constexpr uint32_t kBackgroundDevicePixels = 19;
// Calibration: a three-channel reference when the flags of the information say so.
constexpr uint32_t kCalibrationThreeChannelFlag = 25;
// Calibration: a three-channel reference for every scan without a colour filter.
constexpr uint32_t kCalibrationThreeChannel = 26;
// Fixed pixel bounds (8 for the binary modes) instead of the inquiry data's.
constexpr uint32_t kFixedPixelBounds = 28;
// The lineart padding value is inverted.
constexpr uint32_t kInvertedBinaryPadding = 59;
// The device knows the extended scan modes (top byte non-zero).
constexpr uint32_t kExtendedModes = 65;
}  // namespace enginefeature
