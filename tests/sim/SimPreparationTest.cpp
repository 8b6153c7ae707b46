// The simulated scanner's job preparation: calibration, lamp, background lines, and what it
// keeps of the host's gamma tables, gains and colour matrix.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/SimScanner.h"
#include "tests/sim/SimHarness.h"

namespace {

using namespace simtest;
using sim::Config;

constexpr uint16_t kVendor = 0xF11E;
constexpr uint16_t kProduct = 0x0310;
constexpr uint16_t kId = 0x2200;

class SimPreparation : public ::testing::Test {
 protected:
  sim::SimScanner& Start(const Config& config = {}) {
    scanner_ = &bus_.AddScanner(config);
    EXPECT_EQ(Open(bus_, kVendor, kProduct, &s_), kUsbSuccess);
    return *scanner_;
  }
  Outcome Read(uint16_t type, uint32_t length) {
    return DoCommand(s_, ReadBlock(0xA8, kId, type, length), length);
  }
  Outcome Send(uint16_t type, const std::vector<uint8_t>& data) {
    return DoCommand(s_, ReadBlock(0xAA, kId, type, uint32_t(data.size())), 0, data);
  }
  sim::SimBus bus_;
  sim::SimScanner* scanner_ = nullptr;
  OpenScanner s_;
};

std::vector<uint8_t> Window(uint32_t bytesPerLine, uint32_t modeBit, uint16_t method,
                            uint8_t lines) {
  return ScanWindow({bytesPerLine, modeBit, method, lines});
}
Block WindowBlock() { return SetWindowBlock(kId); }

}  // namespace

TEST(SimPreparationDescription, ReadsItsKeys) {
  Config c;
  std::string error;
  ASSERT_TRUE(
      sim::ParseDescription("calibration 64 2 9 0x09 100 200 300\n"
                            "calibration-level 50000\n"
                            "lamp warming\n"
                            "lamp-warmup 3\n"
                            "background front 1 2 3\n"
                            "background rear 4 5 6\n",
                            &c, &error))
      << error;
  EXPECT_TRUE(c.calibration.needed);
  EXPECT_EQ(c.calibration.width, 64);
  EXPECT_EQ(c.calibration.bytesPerSample, 2);
  EXPECT_EQ(c.calibration.lines, 9);
  EXPECT_EQ(c.calibration.flags, 0x09);
  EXPECT_EQ(c.calibration.targets[2], 300);
  EXPECT_EQ(c.calibration.level, 50000);
  EXPECT_EQ(c.lamp, sim::LampState::Warming);
  EXPECT_EQ(c.lampWarmupReads, 3u);
  EXPECT_EQ(c.background[0].b, 3);
  EXPECT_EQ(c.background[1].r, 4);
  const char* bad[] = {
      "calibration 64 3 9 0 1 2 3\n", "calibration 64 2 9\n",       "lamp dim\n",
      "background side 1 2 3\n",      "background front 1 2 300\n", "lamp-warmup x\n"};
  for (const char* text : bad) EXPECT_FALSE(sim::ParseDescription(text, &c, &error)) << text;
}

TEST_F(SimPreparation, CalibrationInformationAndReference) {
  Config config;
  config.calibration.needed = true;
  config.calibration.width = 4;
  config.calibration.bytesPerSample = 2;
  config.calibration.lines = 6;
  config.calibration.flags = 0x08;
  config.calibration.targets[0] = 0x0102;
  config.calibration.level = 1000;
  Start(config);
  Outcome info = Read(0x60, 36);
  ASSERT_EQ(info.status[2], 0);
  EXPECT_EQ(info.data[0], 0x22);  // the id
  EXPECT_EQ(info.data[5], 4);
  EXPECT_EQ(info.data[6], 2);
  EXPECT_EQ(info.data[7], 6);
  EXPECT_EQ(info.data[8], 0);  // calibration needed
  EXPECT_EQ(info.data[9], 0x08);
  EXPECT_EQ(info.data[13], 1);
  EXPECT_EQ(info.data[14], 2);
  // Three channels: two lines of twelve little-endian samples after a 5-byte head.
  Outcome three = Read(0x62, 6 * 4 * 2 + 5);
  const std::vector<uint8_t> samples = sim::CalibrationSamples(config.calibration, true);
  ASSERT_EQ(samples.size(), 2u * 12 * 2);
  EXPECT_EQ(std::vector<uint8_t>(three.data.begin() + 5, three.data.end()), samples);
  // Sample (line 1, pixel 2, green): 1000 - ((2 + 3 + 5) % 8) * 64.
  const size_t at = (1 * 12 + 2 * 3 + 1) * 2;
  EXPECT_EQ(samples[at] | samples[at + 1] << 8, 1000 - 2 * 64);
  Outcome one = Read(0x61, 6 * 4 * 2 + 5);
  EXPECT_EQ(std::vector<uint8_t>(one.data.begin() + 5, one.data.end()),
            sim::CalibrationSamples(config.calibration, false));
}

TEST_F(SimPreparation, KeepsWellFormedBlocksAndRefusesOthers) {
  sim::SimScanner& scanner = Start();
  std::vector<uint8_t> gamma(264, 7);
  gamma[0] = gamma[1] = 0;
  gamma[2] = 1;
  gamma[3] = 1;
  gamma[4] = 8;
  gamma[7] = 8;
  EXPECT_EQ(Send(0x81, gamma).status[2], 0);
  gamma[4] = 9;  // a wrong length field
  EXPECT_EQ(Send(0x81, gamma).status[2], 2);
  std::vector<uint8_t> gains(15, 0);
  gains[7] = 0x40;
  EXPECT_EQ(Send(0x82, gains).status[2], 0);
  gains[0] = 1;
  EXPECT_EQ(Send(0x82, gains).status[2], 2);
  EXPECT_EQ(Send(0x83, std::vector<uint8_t>(18, 4)).status[2], 0);
  EXPECT_EQ(Send(0x83, std::vector<uint8_t>(17, 4)).status[2], 2);
  const sim::PreparationRecord kept = scanner.Prepared();
  ASSERT_EQ(kept.gammaBlocks.size(), 1u);
  EXPECT_EQ(kept.gammaBlocks[0][4], 8);
  ASSERT_EQ(kept.gainBlocks.size(), 1u);
  EXPECT_EQ(kept.gainBlocks[0][7], 0x40);
  EXPECT_EQ(kept.colourMatrices.size(), 1u);
  scanner.ClearPrepared();
  EXPECT_TRUE(scanner.Prepared().gammaBlocks.empty());
}

TEST_F(SimPreparation, LampStatesAndSwitchingOn) {
  Config config;
  config.lamp = sim::LampState::Off;
  config.lampWarmupReads = 2;
  sim::SimScanner& scanner = Start(config);
  EXPECT_EQ(Read(0xA0, 5).data[4], 0);
  EXPECT_EQ(Send(0xA0, {0, 0, 1, 5, 0}).status[2], 2);  // not the lamp-on block
  EXPECT_EQ(Send(0xA0, {0, 0, 1, 5, 1}).status[2], 0);
  EXPECT_EQ(scanner.Prepared().lampOnBlocks, 1u);
  EXPECT_EQ(Read(0xA0, 5).data[4], 2);  // warming up, twice
  EXPECT_EQ(Read(0xA0, 5).data[4], 2);
  EXPECT_EQ(Read(0xA0, 5).data[4], 1);
  scanner.SetLamp(sim::LampState::Warming, 0);  // for good
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Read(0xA0, 5).data[4], 2);
  EXPECT_EQ(scanner.Lamp(), sim::LampState::Warming);
}

TEST_F(SimPreparation, BackgroundLinesFollowTheWindow) {
  Config config;
  config.background[0] = {10, 20, 30};
  config.background[1] = {200, 100, 50};
  sim::SimScanner& scanner = Start(config);
  // Duplex colour, 4 pixels a line, 2 lines: front then rear, in one READ or in two.
  ASSERT_EQ(DoCommand(s_, WindowBlock(), 0, Window(12, 0x80, 4, 2)).status[2], 0);
  Outcome both = Read(0x9B, 48);
  ASSERT_EQ(both.data.size(), 48u);
  EXPECT_EQ(both.data[0], 10);
  EXPECT_EQ(both.data[23], 30);
  EXPECT_EQ(both.data[24], 200);
  EXPECT_EQ(both.data[47], 50);
  ASSERT_EQ(DoCommand(s_, WindowBlock(), 0, Window(12, 0x80, 4, 2)).status[2], 0);
  EXPECT_EQ(Read(0x9B, 24).data[1], 20);
  EXPECT_EQ(Read(0x9B, 24).data[1], 100);
  // Grey from the rear only: the rear's luma, whatever the length.
  ASSERT_EQ(DoCommand(s_, WindowBlock(), 0, Window(4, 0x10, 5, 1)).status[2], 0);
  const Outcome grey = Read(0x9B, 40);
  EXPECT_EQ(grey.data, std::vector<uint8_t>(40, (200 * 299 + 100 * 587 + 50 * 114) / 1000));
  EXPECT_EQ(scanner.Prepared().backgroundReads, 4u);
}
