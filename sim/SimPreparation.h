#pragma once
// What the scanner does for a job's preparation: the calibration information and white
// reference, the calibration start and its result, the lamp, the background lines, and the gamma
// tables, gains and colour matrix it keeps. The handlers of their READ and SEND data types
// (registered in kCommands).
#include <cstdint>
#include <vector>

#include "sim/SimScanner.h"

namespace sim::detail {

struct DeviceState;
struct Command;
struct Reply;

struct PreparationState {
  CalibrationSetup calibration;
  LampState lamp = LampState::Ready;
  uint32_t warmupReads = 1;  // as configured
  uint32_t warmupLeft = 1;   // "warming up" answers before the lamp is ready
  Rgb background[2];
  uint64_t backgroundSent = 0;     // bytes of background lines since the last window
  uint32_t calibrationStarts = 0;  // SEND 0x60 blocks taken
  PreparationRecord record;
};

// The reference bytes behind the head of READ 0x61 or, with three channels, 0x62.
std::vector<uint8_t> CalibrationSamplesOf(const CalibrationSetup& setup, bool threeChannels);

PreparationState InitialPreparation(const Config& config);
// A new window starts the background lines from the first side again.
void NewWindow(PreparationState& p);
void SetLamp(PreparationState& p, LampState state, uint32_t warmupReads);

void ReadCalibrationInformation(DeviceState& s, const Command& c, Reply& r);
void ReadCalibrationReference(DeviceState& s, const Command& c, Reply& r);
void StartCalibration(DeviceState& s, const Command& c, Reply& r);
void ReadCalibrationResult(DeviceState& s, const Command& c, Reply& r);
void SendGammaBlock(DeviceState& s, const Command& c, Reply& r);
void SendGains(DeviceState& s, const Command& c, Reply& r);
void SendColourMatrix(DeviceState& s, const Command& c, Reply& r);
void ReadLamp(DeviceState& s, const Command& c, Reply& r);
void SendLampOn(DeviceState& s, const Command& c, Reply& r);
void ReadBackgroundLines(DeviceState& s, const Command& c, Reply& r);

}  // namespace sim::detail
