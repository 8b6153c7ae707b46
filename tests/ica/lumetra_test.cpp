// The image-processing plug-in through the module's handler: the plug-in of this build, and one
// that is missing.
#include <dlfcn.h>
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

using RecordingLast = void (*)(NIDATA*, char*, void**, int*);

TEST(LumetraBinding, TheRecordHandedToTheCrop) {
  struct Case {
    const char* what;
    int bits, scanMethod, pageCounter, background;
    // expected
    uint8_t scanType, inputBackground;
    uint16_t curPages, maxWidth;
    int64_t size;
  };
  const Case cases[] = {
      {"duplex colour, light feeder", 24, 4, 6, 200, 2, 0x00, 7, 1700, 1500000},
      {"simplex grey, dark feeder", 8, 1, 0, 20, 1, 0xFF, 1, 1700, 500000},
      {"no feeder method", 8, 0, 3, 129, 0, 0x00, 0, 0, 500000},
  };
  LM_Handler handler;
  ASSERT_TRUE(handler.openLib(RECORDING_LUMETRA_PATH));
  void* library = dlopen(RECORDING_LUMETRA_PATH, RTLD_NOW);
  ASSERT_NE(library, nullptr);
  auto last = reinterpret_cast<RecordingLast>(dlsym(library, "RecordingLumetraLast"));
  ASSERT_NE(last, nullptr);
  ASSERT_TRUE(handler.initLibWithUSBid("04C5ABCD"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DeviceAbility a{};
    a.BaseRes = 600;  // ADFMaxWidth is in this unit
    a.ADFMaxWidth = 5100;
    a.FrontADFBackground_R = a.FrontADFBackground_G = a.FrontADFBackground_B =
        uint8_t(c.background);
    Data ability(sizeof a);
    std::memcpy(ability.data(), &a, sizeof a);
    Dictionary r = request(c.bits);
    r.set(icamodule::kCropAbility, ability);
    r.set(icamodule::kCropResolution, 200);
    r.set(icamodule::kCropScanMethod, c.scanMethod);
    r.set(icamodule::kCropPageCounter, c.pageCounter);
    std::vector<uint8_t> pixels = page(c.bits / 8);
    Dictionary reply = handler.autoCrop(std::move(r), pixels.data());

    NIDATA ni;
    char usbId[32];
    void* extra = nullptr;
    int freed = 0;
    last(&ni, usbId, &extra, &freed);
    EXPECT_EQ(ni.Size, 269u);
    EXPECT_STREQ(ni.Model, "04C5ABCD");
    EXPECT_STREQ(usbId, "04C5ABCD");
    EXPECT_EQ(extra, nullptr);
    EXPECT_EQ(ni.InImage.Pixel, uint32_t(kWidth));
    EXPECT_EQ(ni.InImage.Line, uint32_t(kHeight));
    EXPECT_EQ(ni.InImage.BitsPerPixel, c.bits);
    EXPECT_EQ(ni.InImage.BytesPerLine, uint32_t(kWidth * c.bits / 8));
    EXPECT_EQ(ni.InImage.ScanMode, c.bits == 24 ? 4 : 2);
    EXPECT_EQ(ni.OutImage.OutMode, ni.InImage.ScanMode);
    EXPECT_EQ(ni.InImage.SamplePerPixel, c.bits == 24 ? 3 : 1);
    EXPECT_EQ(ni.InImage.XRes, 200);
    EXPECT_EQ(ni.InImage.YRes, 200);
    EXPECT_EQ(ni.InImage.ScanType, c.scanType);
    EXPECT_EQ(ni.InImage.BackgroundColor, c.inputBackground);
    EXPECT_EQ(ni.InImage.CurPages, c.curPages);
    EXPECT_EQ(ni.InImage.ScanTypeMaxWidth, c.maxWidth);
    EXPECT_EQ(ni.OutImage.AutoCrop, 1);
    EXPECT_EQ(ni.OutImage.Rotate, 1);
    EXPECT_EQ(ni.OutImage.Gray.BackgroundColor, 0xFF);
    EXPECT_EQ(ni.OutImage.Color.BackgroundColorR & ni.OutImage.Color.BackgroundColorG &
                  ni.OutImage.Color.BackgroundColorB,
              0xFF);
    EXPECT_TRUE(reply.boolean(icamodule::kCropResult).valueOr(false));
    EXPECT_EQ(reply.integer(icamodule::kCropImageSize).valueOr(0), c.size);
    EXPECT_EQ(reply.integer(icamodule::kCropImageWidth).valueOr(0), 1000);
    EXPECT_EQ(reply.integer(icamodule::kCropImageHeight).valueOr(0), 500);
    EXPECT_GE(freed, 1) << "the plug-in's block is given back";
  }
  handler.terminateLib();
  handler.closeLib();
  dlclose(library);
}

TEST(LumetraBinding, AFailingStartIsRefused) {
  LM_Handler handler;
  ASSERT_TRUE(handler.openLib(RECORDING_LUMETRA_PATH));
  setenv("RECORDING_LUMETRA_INIT_FAILS", "1", 1);
  EXPECT_FALSE(handler.initLibWithUSBid("04C5ABCD"));
  unsetenv("RECORDING_LUMETRA_INIT_FAILS");
  EXPECT_TRUE(handler.initLibWithUSBid("04C5ABCD"));
}

}  // namespace
