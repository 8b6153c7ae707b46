#pragma once
// The ability record of the older driver interface (the unprefixed library generation): 142
// bytes, packed, host byte order, sizes in 1/300 inch.
#include <cstddef>
#include <cstdint>

namespace ferrolite {

struct __attribute__((packed)) ScannerAbilityEx {
  char VenderName[12];
  char ModelName[20];
  char FirmwareVersion[8];
  char PortType[12];
  char PortAddress[8];
  uint8_t HalftoneIndex[8];
  uint32_t ScannerCapability;  // bit 8: the calibration needs a sheet
  uint32_t DriverFunctionSupport;
  uint32_t Reserved0;
  uint16_t FlatbedMaxWidth;
  uint16_t FlatbedMaxLength;
  uint16_t ADFMaxWidth;
  uint16_t ADFMaxLength;
  uint16_t OpticalRes;
  uint16_t MaxGrayXRes;
  uint16_t MaxGrayYRes;
  uint16_t MaxColorXRes;
  uint16_t MaxColorYRes;
  uint16_t ImageType;
  uint16_t ScanMethod;  // the device-type bits: 0x04 two-sided, 0x10/0x20/0x40 feeder, 0x80 flatbed
  uint16_t Reserved1;
  uint8_t ChannelsPerPixe;
  uint8_t BitsPerChannel;
  uint8_t HalftoneNum;
  uint8_t ErrorDiffusionNum;
  uint8_t LineartPixelBound;
  uint8_t GrayPixelBound;
  uint8_t ColorPixelBound;
  uint8_t HalftonePixelBound;
  uint8_t ErrorDiffusioPixelBound;
  uint8_t Gray4bitsPixelBound;
  uint32_t ScannerCapability2;  // bit 17 additional multi-feed, 26 ultrasonic, 29 eject opposite
  uint32_t DriverFunctionSupport2;  // bit 5 calibration
  uint16_t TransparencyMaxWidth;
  uint16_t TransparencyMaxLength;
  uint16_t MaxShadingTarget;
  uint8_t ButtonNumber;
  uint16_t ExtIndex;
  uint8_t YCbCrCapability;
  uint8_t UltraSonicSensorCound;
  uint32_t ScannerCapability3;  // bit 11 power off, bit 23 paper weight
  uint8_t LightSource;
  uint8_t BackgroundColor;
  uint8_t Reserved2[3];
};

static_assert(sizeof(ScannerAbilityEx) == 142, "ScannerAbilityEx is 142 bytes");
static_assert(offsetof(ScannerAbilityEx, ModelName) == 12);
static_assert(offsetof(ScannerAbilityEx, FirmwareVersion) == 32);
static_assert(offsetof(ScannerAbilityEx, PortType) == 40);
static_assert(offsetof(ScannerAbilityEx, PortAddress) == 52);
static_assert(offsetof(ScannerAbilityEx, HalftoneIndex) == 60);
static_assert(offsetof(ScannerAbilityEx, ScannerCapability) == 68);
static_assert(offsetof(ScannerAbilityEx, DriverFunctionSupport) == 72);
static_assert(offsetof(ScannerAbilityEx, FlatbedMaxWidth) == 80);
static_assert(offsetof(ScannerAbilityEx, FlatbedMaxLength) == 82);
static_assert(offsetof(ScannerAbilityEx, ADFMaxWidth) == 84);
static_assert(offsetof(ScannerAbilityEx, ADFMaxLength) == 86);
static_assert(offsetof(ScannerAbilityEx, OpticalRes) == 88);
static_assert(offsetof(ScannerAbilityEx, MaxColorYRes) == 96);
static_assert(offsetof(ScannerAbilityEx, ImageType) == 98);
static_assert(offsetof(ScannerAbilityEx, ScanMethod) == 100);
static_assert(offsetof(ScannerAbilityEx, ChannelsPerPixe) == 104);
static_assert(offsetof(ScannerAbilityEx, HalftoneNum) == 106);
static_assert(offsetof(ScannerAbilityEx, LineartPixelBound) == 108);
static_assert(offsetof(ScannerAbilityEx, Gray4bitsPixelBound) == 113);
static_assert(offsetof(ScannerAbilityEx, ScannerCapability2) == 114);
static_assert(offsetof(ScannerAbilityEx, DriverFunctionSupport2) == 118);
static_assert(offsetof(ScannerAbilityEx, TransparencyMaxWidth) == 122);
static_assert(offsetof(ScannerAbilityEx, MaxShadingTarget) == 126);
static_assert(offsetof(ScannerAbilityEx, ButtonNumber) == 128);
static_assert(offsetof(ScannerAbilityEx, ExtIndex) == 129);
static_assert(offsetof(ScannerAbilityEx, YCbCrCapability) == 131);
static_assert(offsetof(ScannerAbilityEx, UltraSonicSensorCound) == 132);
static_assert(offsetof(ScannerAbilityEx, ScannerCapability3) == 133);
static_assert(offsetof(ScannerAbilityEx, LightSource) == 137);
static_assert(offsetof(ScannerAbilityEx, BackgroundColor) == 138);
static_assert(offsetof(ScannerAbilityEx, Reserved2) == 139);

}  // namespace ferrolite
