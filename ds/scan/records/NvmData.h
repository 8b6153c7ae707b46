#pragma once
// The NVRAM record of the older driver interface: 128 bytes, packed, host byte order. The
// current interface's record is the driver's NewNvmData (include/vantrel/device_records.h).
#include <cstddef>
#include <cstdint>

namespace ferrolite {

struct __attribute__((packed)) NvmData {
  uint32_t PadScanCount;
  uint32_t ADFSingleModeScanCount;
  uint32_t ADFDuplexModeScanCount;
  uint32_t FlatbedScanCount;
  int16_t LeadingEdgeFletbed;
  int16_t SideEdgeFletbed;
  int16_t LeadingEdgeADFFrontPage;
  int16_t SideEdgeADFFrontPage;
  int16_t LeadingEdgeADFRearPage;
  int16_t SideEdgeADFRearPage;
  uint16_t BornMonth;
  uint16_t BornDay;
  uint16_t BornYear;
  uint16_t FirstScanMonth;
  uint16_t FirstScanDay;
  uint16_t FirstScanYear;
  uint16_t VerticalMagnification;
  uint16_t HorizontalMagnification;
  uint8_t CCDType;
  uint8_t ScanSpeed;
  char SN[24];
  uint16_t PowerSavingTime;
  uint8_t AutoFeed;
  uint32_t RollerCount;
  uint32_t MultifeedCount;
  uint32_t JamCount;
  uint8_t ReservedB;
  char IdentifyInfo[16];
  char FormalName[16];
  uint8_t FunctionCode;
  uint8_t PreFeed;
  uint8_t PreFeedTime;
  uint8_t ButtonNumber;
  uint16_t PowerOffTime;
  int32_t PrintOutCount;
};

static_assert(sizeof(NvmData) == 128, "NvmData is 128 bytes");
static_assert(offsetof(NvmData, FlatbedScanCount) == 12);
static_assert(offsetof(NvmData, LeadingEdgeFletbed) == 16);
static_assert(offsetof(NvmData, SideEdgeADFRearPage) == 26);
static_assert(offsetof(NvmData, BornMonth) == 28);
static_assert(offsetof(NvmData, HorizontalMagnification) == 42);
static_assert(offsetof(NvmData, CCDType) == 44);
static_assert(offsetof(NvmData, SN) == 46);
static_assert(offsetof(NvmData, PowerSavingTime) == 70);
static_assert(offsetof(NvmData, AutoFeed) == 72);
static_assert(offsetof(NvmData, RollerCount) == 73);
static_assert(offsetof(NvmData, MultifeedCount) == 77);
static_assert(offsetof(NvmData, JamCount) == 81);
static_assert(offsetof(NvmData, ReservedB) == 85);
static_assert(offsetof(NvmData, IdentifyInfo) == 86);
static_assert(offsetof(NvmData, FormalName) == 102);
static_assert(offsetof(NvmData, FunctionCode) == 118);
static_assert(offsetof(NvmData, ButtonNumber) == 121);
static_assert(offsetof(NvmData, PowerOffTime) == 122);
static_assert(offsetof(NvmData, PrintOutCount) == 124);

}  // namespace ferrolite
