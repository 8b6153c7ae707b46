#pragma once
// READ/SEND data types of a job's device preparation: calibration, gamma, gains, colour matrix,
// background lines and the lamp. The device layer's lamp and calibration operations and the scan
// engine's preparation both use them.
#include <cstdint>

namespace krdata {
constexpr uint16_t kCalibrationInformation = 0x60;  // READ
constexpr uint16_t kCalibrationStart = 0x60;        // SEND
constexpr uint16_t kCalibrationReference = 0x61;
constexpr uint16_t kCalibrationReferenceThreeChannel = 0x62;
constexpr uint16_t kCalibrationResult = 0x6D;  // READ, 8 bytes
constexpr uint16_t kGammaBlock = 0x81;
constexpr uint16_t kCalibrationGains = 0x82;
constexpr uint16_t kColourMatrix = 0x83;
constexpr uint16_t kBackgroundLines = 0x9B;
constexpr uint16_t kLamp = 0xA0;  // READ: the status; SEND: lamp on
}  // namespace krdata
