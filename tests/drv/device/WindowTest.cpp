// The device-side parameter of the supported model and the window it sends, from client records.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "SupportedModel.h"
#include "drv/device/ScanParameters.h"
#include "drv/device/ScannerModels.h"
#include "drv/device/WindowDescriptor.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Hex bytes, blanks ignored; bytes not given are 0.
Bytes Window(const std::string& hex) {
  Bytes w;
  for (size_t i = 0; i < hex.size();) {
    if (hex[i] == ' ' || hex[i] == '\n') {
      ++i;
      continue;
    }
    w.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  w.resize(kWindowDataSize, 0);
  return w;
}

Bytes DeviceWindow(const SCANPARAMETER_UNION& ap, bool realRaw) {
  const Bytes inquiry = SupportedInquiry();
  const ScanModelInfo info(CQM310_DPI200with300X200::kTraits.features, inquiry.data(),
                           static_cast<uint32_t>(inquiry.size()));
  DeviceScanParameter derived;
  InitializeNewScanParameter(CQM310_DPI200with300X200::kTraits, info, ap, realRaw, &derived);
  KR_WindowDataSet_VER2 window;
  BuildWindowDescriptor(0xB6EA, derived.dev, &window);
  return Bytes(window.Data, window.Data + kWindowDataSize);
}

struct WindowCase {
  const char* name;
  std::function<SCANPARAMETER_UNION()> client;
  bool realRaw;
  const char* window;
};

SCANPARAMETER_UNION With(SCANPARAMETER_UNION p,
                         const std::function<void(SCANPARAMETER_UNION&)>& change) {
  change(p);
  return p;
}

const WindowCase kWindowCases[] = {
    {"colour 300 as device JPEG", [] { return ColourLetter(); }, false,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 01 2C 00 00 09 F0 00"
     "00 0C E8 00 00 1D D0 00 00 00 80 00 04 04 02 84"
     "00 00 80 80 00 FF 00 00 80 00 00 01 00 00 00 05"},
    {"colour 300 raw", [] { return ColourLetter(); }, true,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 01 2C 00 00 09 F0 00"
     "00 0C E4 00 00 1D D0 00 00 00 80 00 04 00 00 00"
     "00 00 80 80 00 FF 00 00 80 00 00 01 00 00 00 05"},
    {"grey 300 as device JPEG", [] { return Client(300, 2, 8); }, false,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 01 2C 00 00 09 F0 00"
     "00 0C E8 00 00 09 F0 00 00 00 10 00 04 04 04 84"
     "00 00 80 80 00 FF 00 00 80 00 00 01 00 00 00 05"},
    {"grey 300 raw", [] { return Client(300, 2, 8); }, true,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 01 2C 00 00 09 F0 00"
     "00 0C E4 00 00 09 F0 00 00 00 10 00 04 00 00 00"
     "00 00 80 80 00 FF 00 00 80 00 00 01 00 00 00 05"},
    {"grey 16 bits stays raw", [] { return Client(300, 2, 16); }, false,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 01 2C 00 00 09 F0 00"
     "00 0C E4 00 00 13 E0 00 00 00 20 00 04 00 00 00"
     "00 00 80 80 00 FF 00 00 80 00 00 01 00 00 00 05"},
    {"lineart 300", [] { return With(Client(300, 0, 1, 32), [](auto& p) { p.Width = 2528; }); },
     false,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 E0 00 00 0C E4 01 2C 01 2C 00 00 09 E0 00"
     "00 0C E4 00 00 01 3C 00 00 00 01 00 04 00 00 00"
     "00 00 80 80 00 FF 00 00 80 00 00 01 00 00 00 05"},
    {"colour 600", [] { return Client(600, 4, 24); }, false,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 02 58 02 58 00 00 13 E0 00"
     "00 19 C8 00 00 3B A0 00 00 00 80 00 04 04 02 84"
     "00 00 80 80 00 FF 00 00 80 00 00 01 00 00 00 05"},
    {"colour 200 scans 300 x 200", [] { return Client(200, 4, 24); }, false,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 00 C8 00 00 09 F0 00"
     "00 08 98 00 00 1D D0 00 00 00 80 00 04 04 02 84"
     "00 00 80 80 00 FF 00 00 80 00 00 01 00 00 00 05"},
    {"colour 150 maps to 200, then 300 x 200", [] { return Client(150, 4, 24); }, false,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 00 C8 00 00 09 F0 00"
     "00 08 98 00 00 1D D0 00 00 00 80 00 04 04 02 84"
     "00 00 80 80 00 FF 00 00 80 00 00 01 00 00 00 05"},
    {"colour 250 scans 300", [] { return Client(250, 4, 24); }, false,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 01 2C 00 00 09 F0 00"
     "00 0C E8 00 00 1D D0 00 00 00 80 00 04 04 02 84"
     "00 00 80 80 00 FF 00 00 80 00 00 01 00 00 00 05"},
    {"grey 250 raw scans 300", [] { return Client(250, 2, 8); }, true,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 01 2C 00 00 09 F0 00"
     "00 0C E4 00 00 09 F0 00 00 00 10 00 04 00 00 00"
     "00 00 80 80 00 FF 00 00 80 00 00 01 00 00 00 05"},
    {"contrast -128, brightness 127",
     [] {
       return With(ColourLetter(), [](auto& p) {
         p.Contrast = -128;
         p.Brightness = 127;
       });
     },
     true,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 01 2C 00 00 09 F0 00"
     "00 0C E4 00 00 1D D0 00 00 00 80 00 04 00 00 00"
     "00 00 00 FF 00 FF 00 00 80 00 00 01 00 00 00 05"},
    {"contrast 127, brightness -128",
     [] {
       return With(ColourLetter(), [](auto& p) {
         p.Contrast = 127;
         p.Brightness = -128;
       });
     },
     true,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 01 2C 00 00 09 F0 00"
     "00 0C E4 00 00 1D D0 00 00 00 80 00 04 00 00 00"
     "00 00 FF 00 00 FF 00 00 80 00 00 01 00 00 00 05"},
    {"duplex job of 11 pages counts 6 sheets",
     [] { return With(ColourLetter(), [](auto& p) { p.JobPages = 11; }); }, true,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 01 2C 00 00 09 F0 00"
     "00 0C E4 00 00 1D D0 00 00 00 80 00 04 00 00 00"
     "00 00 80 80 00 FF 00 00 80 00 06 01 00 00 00 05"},
    {"simplex job of 11 pages",
     [] {
       return With(ColourLetter(), [](auto& p) {
         p.JobPages = 11;
         p.ScanMethod = 1;
       });
     },
     true,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 01 2C 00 00 09 F0 00"
     "00 0C E4 00 00 1D D0 00 00 00 80 00 01 00 00 00"
     "00 00 80 80 00 FF 00 00 80 00 0B 01 00 00 00 05"},
    {"filter, invert, speed, dither, shadow, length detection",
     [] {
       return With(ColourLetter(), [](auto& p) {
         p.ColorFilter = 3;
         p.Invert = 9;
         p.SpeedMode = 5;
         p.DitherIndex = 2;
         p.Shadow = 7;
         p.DetectFeedLength = 3500;
         p.byBackgroundLines = 150;
       });
     },
     true,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 01 2C 00 00 09 F0 00"
     "00 0C E4 00 00 1D D0 00 00 00 80 00 04 00 00 00"
     "00 00 80 80 02 FF 07 A7 80 00 00 64 00 C8 00 05"},
    {"skew 1, multi-feed 1, ultrasonic, eject 5, continuous",
     [] {
       return With(ColourLetter(), [](auto& p) {
         p.ExtParam0 = (1u << 6) | (1u << 4) | (1u << 3) | 5u | (1u << 10) | (1u << 9) |
                       (1u << 11) | (1u << 13);
         p.CtrlMode = 4;
       });
     },
     false,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 01 2C 00 00 09 F0 00"
     "00 0C E8 00 00 1D D0 00 00 00 80 00 04 03 02 84"
     "00 00 80 80 00 FF 00 00 80 00 00 01 00 00 BD BC"
     "A0"},
    {"skew 2, multi-feed 2, page mode",
     [] {
       return With(ColourLetter(), [](auto& p) {
         p.ExtParam0 = (2u << 6) | (2u << 4) | (1u << 12);
         p.CtrlMode = 3;
       });
     },
     false,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 01 2C 00 00 09 F0 00"
     "00 0C E8 00 00 1D D0 00 00 00 80 00 04 04 02 84"
     "00 00 80 80 00 FF 00 00 80 00 00 01 00 00 E8 04"
     "40"},
    {"skew 3, multi-feed 3, continuous page mode",
     [] {
       return With(ColourLetter(), [](auto& p) {
         p.ExtParam0 = (3u << 6) | (3u << 4);
         p.CtrlMode = 5;
       });
     },
     true,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 00 00 0C E4 01 2C 01 2C 00 00 09 F0 00"
     "00 0C E4 00 00 1D D0 00 00 00 80 00 04 00 00 00"
     "00 00 80 80 00 FF 00 00 80 00 00 01 00 00 C0 04"},
    {"unknown page length keeps its markers",
     [] {
       return With(ColourLetter(), [](auto& p) {
         p.Length = p.LineNum = 0xFFFFFFFF;
         p.CtrlMode = 0;
       });
     },
     false,
     "B6 EA 02 00 60 01 2C 00 00 00 00 00 00 00 00 00"
     "00 09 F0 FF FF FF FF 01 2C 01 2C 00 00 09 F0 FF"
     "FF FF FF 00 00 1D D0 00 00 00 80 00 04 03 02 84"
     "00 00 80 80 00 FF 00 00 80 00 00 01 00 00 00 05"},
};

TEST(SupportedModelWindow, ClientRecordsGiveTheseWindows) {
  for (const WindowCase& c : kWindowCases) {
    EXPECT_EQ(DeviceWindow(c.client(), c.realRaw), Window(c.window)) << c.name;
  }
}

TEST(WindowDescriptor, ImageModeBitsAndTheDynamicThresholdFlag) {
  const struct {
    uint32_t mode;
    uint8_t bits;
    uint32_t modeBits;
  } cases[] = {{0, 1, 0x1},          {3, 1, 0x1},        {1, 1, 0x2},  {5, 1, 0x4},
               {6, 8, 0x400},        {7, 8, 0x800},      {2, 4, 0x8},  {2, 8, 0x10},
               {2, 16, 0x20},        {2, 12, 0},         {4, 8, 0x40}, {4, 24, 0x80},
               {4, 32, 0x100},       {4, 48, 0x200},     {4, 16, 0},   {0x4000004, 24, 0x80},
               {0x6000002, 8, 0x10}, {0x1000004, 16, 0}, {9, 8, 0}};
  for (const auto& c : cases) {
    SCANPARAMETER_UNION p = ColourLetter();
    p.ScanMode = c.mode;
    p.BitsPerPixel = c.bits;
    KR_WindowDataSet_VER2 w;
    BuildWindowDescriptor(0x2200, p, &w);
    const uint32_t bits = (w.Data[39] << 24) | (w.Data[40] << 16) | (w.Data[41] << 8) | w.Data[42];
    EXPECT_EQ(bits, c.modeBits) << std::hex << c.mode << std::dec << " at " << int(c.bits);
    EXPECT_EQ(w.Data[70], c.mode == 3 ? 1 : 0);
  }
}

TEST(WindowDescriptor, DataKindsOfTheExtendedModes) {
  const struct {
    uint32_t mode;
    uint16_t ctrl;
    uint8_t kind, sub, compression;
  } cases[] = {{0x1000004, 0, 1, 1, 0},    {0x2000004, 2, 2, 2, 0},    {0x3000004, 0, 3, 1, 0x84},
               {0x5000004, 2, 4, 3, 0x84}, {0x6000002, 0, 3, 4, 0x84}, {0x7000001, 0, 5, 0, 0},
               {0x7000003, 2, 6, 0, 0},    {0x8000004, 2, 0, 0, 0}};
  for (const auto& c : cases) {
    SCANPARAMETER_UNION p = ColourLetter();
    p.ScanMode = c.mode;
    p.CtrlMode = c.ctrl;
    p.Compression = 0x1284;
    KR_WindowDataSet_VER2 w;
    BuildWindowDescriptor(0x2200, p, &w);
    EXPECT_EQ(w.Data[45], c.kind) << std::hex << c.mode;
    EXPECT_EQ(w.Data[46], c.sub) << std::hex << c.mode;
    EXPECT_EQ(w.Data[47], c.compression) << std::hex << c.mode;
    EXPECT_EQ(w.Data[0], 0x22);
    EXPECT_EQ(w.Data[1], 0x00);
  }
}

}  // namespace
