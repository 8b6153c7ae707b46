// Calibration, lamp, background lines, gamma tables, gains and colour matrix of the simulated
// scanner.
#include "sim/SimPreparation.h"

#include <vantrel/wire_bytes.h>

#include <algorithm>

#include "sim/SimCommands.h"

namespace sim::detail {
namespace {

constexpr uint32_t kInformationLength = 36;
constexpr uint8_t kNoCalibrationNeeded = 3;
constexpr uint32_t kReferenceHead = 5;
const std::vector<uint8_t> kCalibrationStartBlock = {0, 0, 1, 8, 0, 0, 0, 0};
constexpr uint32_t kCalibrationResultLength = 8;
constexpr uint32_t kLampLength = 5;
constexpr uint8_t kLampByte[] = {1, 0, 2};  // by LampState
const uint8_t kLampOnBlock[kLampLength] = {0, 0, 1, 5, 1};
constexpr size_t kMatrixLength = 18;
constexpr size_t kGammaHead = 8;

// Window fields the background lines follow.
constexpr size_t kWindowBytesPerLine = 35;
constexpr size_t kWindowModeBit = 39;
constexpr size_t kWindowMethod = 43;
constexpr size_t kWindowBackgroundLines = 59;
constexpr uint32_t kModeGrey16 = 0x20, kModeColour24 = 0x80, kModeColour48 = 0x200;

void Refuse(Reply& r) {
  r.checkCondition = true;
  r.sense = Sense{};
  r.sense.key = 5;
  r.sense.asc = 0x26;
}

// One background byte at `at` of a side's line, for the window's pixel format.
uint8_t BackgroundByte(const Rgb& c, uint32_t modeBit, uint64_t at) {
  const uint8_t luma = static_cast<uint8_t>((c.r * 299 + c.g * 587 + c.b * 114) / 1000);
  const uint8_t rgb[3] = {c.r, c.g, c.b};
  switch (modeBit) {
    case kModeColour24:
      return rgb[at % 3];
    case kModeColour48:
      return rgb[(at / 2) % 3];
    case kModeGrey16:
    default:
      return luma;
  }
}

}  // namespace

std::vector<uint8_t> CalibrationSamplesOf(const CalibrationSetup& setup, bool threeChannels) {
  if (!setup.samples.empty()) return setup.samples;
  const uint32_t s = setup.bytesPerSample == 2 ? 2 : 1;
  const uint32_t lines = threeChannels ? setup.lines / 3u : setup.lines;
  const uint32_t channels = threeChannels ? 3 : 1;
  const uint32_t step = s == 2 ? 64 : 1;
  std::vector<uint8_t> out;
  out.reserve(size_t{lines} * setup.width * channels * s);
  for (uint32_t l = 0; l < lines; ++l) {
    for (uint32_t c = 0; c < setup.width; ++c) {
      for (uint32_t k = 0; k < channels; ++k) {
        const uint32_t drop = ((c + 3 * l + 5 * k) % 8) * step;
        const uint32_t v = setup.level > drop ? setup.level - drop : 0;
        out.push_back(static_cast<uint8_t>(v));
        if (s == 2) out.push_back(static_cast<uint8_t>(v >> 8));
      }
    }
  }
  return out;
}

PreparationState InitialPreparation(const Config& config) {
  PreparationState p;
  p.calibration = config.calibration;
  SetLamp(p, config.lamp, config.lampWarmupReads);
  p.background[0] = config.background[0];
  p.background[1] = config.background[1];
  return p;
}

void NewWindow(PreparationState& p) { p.backgroundSent = 0; }

void SetLamp(PreparationState& p, LampState state, uint32_t warmupReads) {
  p.lamp = state;
  p.warmupReads = warmupReads;
  p.warmupLeft = warmupReads;
}

void ReadCalibrationInformation(DeviceState& s, const Command&, Reply& r) {
  const CalibrationSetup& c = s.preparation.calibration;
  r.data.assign(kInformationLength, 0);
  wire::Put16(&r.data[4], c.width);
  r.data[6] = c.bytesPerSample;
  r.data[7] = c.lines;
  r.data[8] = c.needed ? 0 : kNoCalibrationNeeded;
  r.data[9] = c.flags;
  for (int i = 0; i < 3; ++i) wire::Put16(&r.data[13 + 2 * i], c.targets[i]);
}

void ReadCalibrationReference(DeviceState& s, const Command& c, Reply& r) {
  const std::vector<uint8_t> samples =
      CalibrationSamplesOf(s.preparation.calibration, c.dataType == 0x62);
  r.data.assign(kReferenceHead, 0);
  r.data.insert(r.data.end(), samples.begin(), samples.end());
}

void StartCalibration(DeviceState& s, const Command& c, Reply& r) {
  if (c.dataOut != kCalibrationStartBlock) return Refuse(r);
  if (c.scriptedFailure) return;
  ++s.preparation.calibrationStarts;
}

// Byte 4 is 1 once a calibration start arrived, else 0.
void ReadCalibrationResult(DeviceState& s, const Command&, Reply& r) {
  r.data.assign(kCalibrationResultLength, 0);
  r.data[4] = s.preparation.calibrationStarts != 0 ? 1 : 0;
}

// L + 8 bytes: 00 00 01, the length, 0, the channel code, 8, then the table.
void SendGammaBlock(DeviceState& s, const Command& c, Reply& r) {
  const std::vector<uint8_t>& d = c.dataOut;
  const bool wellFormed = (d.size() == 256 + kGammaHead || d.size() == 512 + kGammaHead) &&
                          d[0] == 0 && d[1] == 0 && d[2] == 1 && wire::Get16(&d[3]) == d.size() &&
                          d[7] == kGammaHead;
  if (!wellFormed) return Refuse(r);
  if (c.scriptedFailure) return;
  s.preparation.record.gammaBlocks.push_back(d);
}

// A 7-byte head (bytes 0-5 zero) before the gains.
void SendGains(DeviceState& s, const Command& c, Reply& r) {
  const std::vector<uint8_t>& d = c.dataOut;
  if (d.size() < 7 || std::any_of(d.begin(), d.begin() + 6, [](uint8_t b) { return b != 0; }))
    return Refuse(r);
  if (c.scriptedFailure) return;
  s.preparation.record.gainBlocks.push_back(d);
}

void SendColourMatrix(DeviceState& s, const Command& c, Reply& r) {
  if (c.dataOut.size() != kMatrixLength) return Refuse(r);
  if (c.scriptedFailure) return;
  s.preparation.record.colourMatrices.push_back(c.dataOut);
}

void ReadLamp(DeviceState& s, const Command&, Reply& r) {
  PreparationState& p = s.preparation;
  r.data.assign(kLampLength, 0);
  r.data[4] = kLampByte[static_cast<size_t>(p.lamp)];
  if (p.lamp == LampState::Warming && p.warmupLeft != 0 && --p.warmupLeft == 0)
    p.lamp = LampState::Ready;
}

void SendLampOn(DeviceState& s, const Command& c, Reply& r) {
  if (!std::equal(c.dataOut.begin(), c.dataOut.end(), kLampOnBlock, kLampOnBlock + kLampLength) ||
      c.dataOut.size() != kLampLength)
    return Refuse(r);
  if (c.scriptedFailure) return;
  PreparationState& p = s.preparation;
  ++p.record.lampOnBlocks;
  if (p.lamp == LampState::Off) SetLamp(p, LampState::Warming, p.warmupReads);
}

// Lines of the window's format: for a duplex window the front's lines, then the rear's (a side
// being the window's line bytes times its background lines); else the window's one side, the
// rear for a rear-only window.
void ReadBackgroundLines(DeviceState& s, const Command& c, Reply& r) {
  PreparationState& p = s.preparation;
  ++p.record.backgroundReads;
  const std::vector<uint8_t>& w = s.window;
  uint64_t side = c.length;  // without a window: one READ a side
  uint32_t modeBit = kModeColour24;
  uint32_t firstSide = 0;
  if (w.size() > kWindowBackgroundLines) {
    const uint16_t method = wire::Get16(&w[kWindowMethod]);
    const uint64_t bytes =
        uint64_t{wire::Get32(&w[kWindowBytesPerLine])} * w[kWindowBackgroundLines];
    if (bytes != 0) side = bytes;
    if (method != 4) side = UINT64_MAX;  // one side only
    modeBit = wire::Get32(&w[kWindowModeBit]) & 0x00FFFFFF;
    firstSide = method == 5 ? 1 : 0;
  }
  r.data.resize(c.length);
  for (uint32_t i = 0; i < c.length; ++i) {
    const uint64_t at = p.backgroundSent + i;
    const uint32_t which = static_cast<uint32_t>((firstSide + at / side) % 2);
    r.data[i] = BackgroundByte(p.background[which], modeBit, at % side);
  }
  p.backgroundSent += c.length;
}

}  // namespace sim::detail

namespace sim {
std::vector<uint8_t> CalibrationSamples(const CalibrationSetup& setup, bool threeChannels) {
  return detail::CalibrationSamplesOf(setup, threeChannels);
}
}  // namespace sim
