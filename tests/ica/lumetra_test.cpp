// The image-processing plug-in through the module's handler: the plug-in of this build, and one
// that is missing.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ica/LM_Handler.h"
#include "platform/foundation/SystemLog.h"
#include "vantrel/device_records.h"

namespace {

using foundation::Data;
using foundation::Dictionary;
using icamodule::LM_Handler;

constexpr int kWidth = 240, kHeight = 320;
// A light document on the dark feeder background.
constexpr int kDocLeft = 60, kDocTop = 80, kDocWidth = 120, kDocHeight = 160;

Data darkFeederAbility() {
  DeviceAbility a{};
  a.Version = 200;
  a.BaseRes = 300;
  a.ADFMaxWidth = 2550;
  a.FrontADFBackground_R = a.FrontADFBackground_G = a.FrontADFBackground_B = 20;
  Data bytes(sizeof a);
  std::memcpy(bytes.data(), &a, sizeof a);
  return bytes;
}

Dictionary request(int bitsPerPixel) {
  Dictionary r;
  r.set(icamodule::kCropAbility, darkFeederAbility());
  r.set(icamodule::kCropResolution, 100);
  r.set(icamodule::kCropWidth, kWidth);
  r.set(icamodule::kCropHeight, kHeight);
  r.set(icamodule::kCropScanMethod, 4);
  r.set(icamodule::kCropPageCounter, 0);
  r.set(icamodule::kCropBitsPerPixel, bitsPerPixel);
  return r;
}

std::vector<uint8_t> page(int bytesPerPixel) {
  std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * bytesPerPixel, 20);
  for (int y = kDocTop; y < kDocTop + kDocHeight; ++y)
    std::memset(&pixels[(size_t(y) * kWidth + kDocLeft) * bytesPerPixel], 235,
                size_t(kDocWidth) * bytesPerPixel);
  return pixels;
}

TEST(LumetraBinding, CropsAPageThroughThePlugIn) {
  LM_Handler handler;
  ASSERT_TRUE(handler.openLib(LUMETRA_PATH));
  ASSERT_TRUE(handler.initLibWithUSBid("04C51234"));
  for (int bits : {8, 24}) {
    SCOPED_TRACE(bits);
    const int bytesPerPixel = bits / 8;
    std::vector<uint8_t> pixels = page(bytesPerPixel);
    Dictionary reply = handler.autoCrop(request(bits), pixels.data());
    ASSERT_TRUE(reply.boolean(icamodule::kCropResult).valueOr(false));
    const int64_t width = reply.integer(icamodule::kCropImageWidth).valueOr(0);
    const int64_t height = reply.integer(icamodule::kCropImageHeight).valueOr(0);
    EXPECT_NEAR(width, kDocWidth, 4);
    EXPECT_NEAR(height, kDocHeight, 4);
    EXPECT_EQ(reply.integer(icamodule::kCropImageSize).valueOr(0), width * height * bytesPerPixel);
    EXPECT_EQ(int64_t(reply.data(icamodule::kCropImageData).valueOr(Data{}).size()),
              width * height * bytesPerPixel);
    EXPECT_EQ(reply.integer(icamodule::kCropPageCounter).valueOr(-1), 0) << "the request's keys";
  }
  handler.terminateLib();
  handler.closeLib();
  EXPECT_FALSE(handler.bound());
}

TEST(LumetraBinding, AMissingPlugInIsLoggedAndCropsNothing) {
  foundation::SystemLogCapture log;
  LM_Handler handler;
  EXPECT_FALSE(handler.openLib("/nonexistent/Lumetra.so"));
  EXPECT_TRUE(log.contains("Failed to load Lumetra: "));
  EXPECT_FALSE(handler.bound());
  std::vector<uint8_t> pixels = page(1);
  Dictionary reply = handler.autoCrop(request(8), pixels.data());
  EXPECT_FALSE(reply.boolean(icamodule::kCropResult).valueOr(true));
  EXPECT_FALSE(reply.data(icamodule::kCropImageData));
}

TEST(LumetraBinding, AShortAbilityRecordCropsNothing) {
  LM_Handler handler;
  ASSERT_TRUE(handler.openLib(LUMETRA_PATH));
  ASSERT_TRUE(handler.initLibWithUSBid("04C51234"));
  Dictionary r = request(8);
  r.set(icamodule::kCropAbility, Data(10, 0));
  std::vector<uint8_t> pixels = page(1);
  EXPECT_FALSE(
      handler.autoCrop(std::move(r), pixels.data()).boolean(icamodule::kCropResult).valueOr(true));
  handler.terminateLib();
}

}  // namespace
