#pragma once
// Device records that the driver hands to its clients or takes from them: the ability record,
// the NVRAM record in its two layouts and the imprinter records. Packed, host byte order, each
// starting with a version and a size. Front ends include this header and size their buffers
// with sizeof.
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define VT_RECORD_ASSERT(c, m) static_assert(c, m)
#else
#define VT_RECORD_ASSERT(c, m) _Static_assert(c, m)
#endif
#define VT_RECORD_OFFSET(type, field, offset) \
  VT_RECORD_ASSERT(offsetof(type, field) == (offset), #type "." #field " must be at " #offset)

VT_RECORD_ASSERT(sizeof(void*) == 8, "the records carry 8-byte string pointers");

// ---- ability record (KRGetDeviceAbility)
// ---------------------------------------------------------

typedef struct __attribute__((packed)) DeviceAbility {
  uint16_t Version;  // 200
  uint16_t Size;     // 242
  char* pVendorName;
  char* pModelName;
  char* pFWVersion;
  char* pPortType;
  char* pPortAddress;
  uint16_t BaseRes;
  uint32_t FlatbedMaxWidth;
  uint32_t FlatbedMaxLength;
  uint32_t ADFMaxWidth;
  uint32_t ADFMaxLength;
  uint32_t XPAMaxWidth;
  uint32_t XPAMaxLength;
  uint16_t FlatbedMinWidth;
  uint16_t FlatbedMinLength;
  uint16_t ADFMinWidth;
  uint16_t ADFMinLength;
  uint16_t XPAMinWidth;
  uint16_t XPAMinLength;
  uint8_t Reserved[2];
  uint32_t LongPageLength;  // entries of the device's long-page list
  uint32_t ImageType;
  uint32_t DeviceType;
  uint32_t ScanMethod;
  uint16_t OpticalRes;
  uint16_t ADFMotorRes;
  uint16_t FlatbedMotorRes;
  uint8_t ResolutionIndex;
  uint8_t HalftoneNum;
  uint8_t HalftoneIndex[8];
  uint8_t ErrorDiffusionNum;
  uint8_t DiffusionIndex[8];
  uint8_t LineartPixelBound;
  uint8_t GrayPixelBound;
  uint8_t ColorPixelBound;
  uint8_t HalftonePixelBound;
  uint8_t DiffusionPixelBound;
  uint8_t Gray4bitsPixelBound;
  uint8_t ButtonFunctionNumber;
  uint8_t Reserved2[3];
  uint8_t YCbCrCapability;
  uint16_t MinimumRes;
  uint8_t FrontADFBackground_R;
  uint8_t FrontADFBackground_G;
  uint8_t FrontADFBackground_B;
  uint8_t RearADFBackground_R;
  uint8_t RearADFBackground_G;
  uint8_t RearADFBackground_B;
  uint8_t FlatbedBackground_R;
  uint8_t FlatbedBackground_G;
  uint8_t FlatbedBackground_B;
  uint8_t Reserved0[11];
  uint32_t ScannerCapability0;
  uint32_t ScannerCapability1;
  uint32_t ScannerCapability2;
  uint32_t ScannerCapability3;
  uint32_t ScannerCapability4;
  uint8_t Reserved1[64];
} DeviceAbility;

VT_RECORD_ASSERT(sizeof(DeviceAbility) == 242, "DeviceAbility is 242 bytes");
VT_RECORD_OFFSET(DeviceAbility, Version, 0);
VT_RECORD_OFFSET(DeviceAbility, Size, 2);
VT_RECORD_OFFSET(DeviceAbility, pVendorName, 4);
VT_RECORD_OFFSET(DeviceAbility, pModelName, 12);
VT_RECORD_OFFSET(DeviceAbility, pFWVersion, 20);
VT_RECORD_OFFSET(DeviceAbility, pPortType, 28);
VT_RECORD_OFFSET(DeviceAbility, pPortAddress, 36);
VT_RECORD_OFFSET(DeviceAbility, BaseRes, 44);
VT_RECORD_OFFSET(DeviceAbility, FlatbedMaxWidth, 46);
VT_RECORD_OFFSET(DeviceAbility, FlatbedMaxLength, 50);
VT_RECORD_OFFSET(DeviceAbility, ADFMaxWidth, 54);
VT_RECORD_OFFSET(DeviceAbility, ADFMaxLength, 58);
VT_RECORD_OFFSET(DeviceAbility, XPAMaxWidth, 62);
VT_RECORD_OFFSET(DeviceAbility, XPAMaxLength, 66);
VT_RECORD_OFFSET(DeviceAbility, FlatbedMinWidth, 70);
VT_RECORD_OFFSET(DeviceAbility, FlatbedMinLength, 72);
VT_RECORD_OFFSET(DeviceAbility, ADFMinWidth, 74);
VT_RECORD_OFFSET(DeviceAbility, ADFMinLength, 76);
VT_RECORD_OFFSET(DeviceAbility, XPAMinWidth, 78);
VT_RECORD_OFFSET(DeviceAbility, XPAMinLength, 80);
VT_RECORD_OFFSET(DeviceAbility, Reserved, 82);
VT_RECORD_OFFSET(DeviceAbility, LongPageLength, 84);
VT_RECORD_OFFSET(DeviceAbility, ImageType, 88);
VT_RECORD_OFFSET(DeviceAbility, DeviceType, 92);
VT_RECORD_OFFSET(DeviceAbility, ScanMethod, 96);
VT_RECORD_OFFSET(DeviceAbility, OpticalRes, 100);
VT_RECORD_OFFSET(DeviceAbility, ADFMotorRes, 102);
VT_RECORD_OFFSET(DeviceAbility, FlatbedMotorRes, 104);
VT_RECORD_OFFSET(DeviceAbility, ResolutionIndex, 106);
VT_RECORD_OFFSET(DeviceAbility, HalftoneNum, 107);
VT_RECORD_OFFSET(DeviceAbility, HalftoneIndex, 108);
VT_RECORD_OFFSET(DeviceAbility, ErrorDiffusionNum, 116);
VT_RECORD_OFFSET(DeviceAbility, DiffusionIndex, 117);
VT_RECORD_OFFSET(DeviceAbility, LineartPixelBound, 125);
VT_RECORD_OFFSET(DeviceAbility, GrayPixelBound, 126);
VT_RECORD_OFFSET(DeviceAbility, ColorPixelBound, 127);
VT_RECORD_OFFSET(DeviceAbility, HalftonePixelBound, 128);
VT_RECORD_OFFSET(DeviceAbility, DiffusionPixelBound, 129);
VT_RECORD_OFFSET(DeviceAbility, Gray4bitsPixelBound, 130);
VT_RECORD_OFFSET(DeviceAbility, ButtonFunctionNumber, 131);
VT_RECORD_OFFSET(DeviceAbility, Reserved2, 132);
VT_RECORD_OFFSET(DeviceAbility, YCbCrCapability, 135);
VT_RECORD_OFFSET(DeviceAbility, MinimumRes, 136);
VT_RECORD_OFFSET(DeviceAbility, FrontADFBackground_R, 138);
VT_RECORD_OFFSET(DeviceAbility, RearADFBackground_R, 141);
VT_RECORD_OFFSET(DeviceAbility, FlatbedBackground_R, 144);
VT_RECORD_OFFSET(DeviceAbility, FlatbedBackground_B, 146);
VT_RECORD_OFFSET(DeviceAbility, Reserved0, 147);
VT_RECORD_OFFSET(DeviceAbility, ScannerCapability0, 158);
VT_RECORD_OFFSET(DeviceAbility, ScannerCapability1, 162);
VT_RECORD_OFFSET(DeviceAbility, ScannerCapability2, 166);
VT_RECORD_OFFSET(DeviceAbility, ScannerCapability3, 170);
VT_RECORD_OFFSET(DeviceAbility, ScannerCapability4, 174);
VT_RECORD_OFFSET(DeviceAbility, Reserved1, 178);

// ---- NVRAM record (KRReadNVMData, KRWriteNVMData with tag 0)
// ------------------------------------- The device chooses the layout: Version 100 (132 bytes) or
// 200 (262 bytes). PadLife, ReverseRollerLife and PickupRollerLife stay in the device's byte order;
// every other number is in host order.

// The fields both layouts share, from PadScanCount to PowerOnTime (128 bytes).
#define KR_NVM_COMMON_FIELDS        \
  uint32_t PadScanCount;            \
  uint32_t ADFSingleModeScanCount;  \
  uint32_t ADFDuplexModeScanCount;  \
  uint32_t FletbedScanCount;        \
  int16_t LeadingEdgeFletbed;       \
  int16_t SideEdgeFletbed;          \
  int16_t LeadingEdgeADFFrontPage;  \
  int16_t SideEdgeADFFrontPage;     \
  int16_t LeadingEdgeADFRearPage;   \
  int16_t SideEdgeADFRearPage;      \
  uint16_t BornMonth;               \
  uint16_t BornDay;                 \
  uint16_t BornYear;                \
  uint16_t FirstScanMonth;          \
  uint16_t FirstScanDay;            \
  uint16_t FirstScanYear;           \
  uint16_t VerticalMagnification;   \
  uint16_t HorizontalMagnification; \
  uint8_t CCDType;                  \
  uint8_t ScanSpeed;                \
  char SN[24];                      \
  uint16_t PowerSavingTime;         \
  uint8_t Reserved;                 \
  uint32_t RollerCount;             \
  uint32_t MultifeedCount;          \
  uint32_t JamCount;                \
  uint8_t ReserveForFirmware;       \
  char IdentifyInfo[16];            \
  char FormalName[16];              \
  uint8_t FunctionCode;             \
  uint8_t PreFeed;                  \
  uint8_t PreFeedTime;              \
  uint8_t FunctionIndex;            \
  uint16_t PowerOffTime;            \
  uint32_t PowerOnTime;

typedef struct __attribute__((packed)) NewNvmData_VER1 {
  uint16_t CtrlID;
  uint8_t Version;  // 100
  uint8_t Size;     // record length as the device reports it
  KR_NVM_COMMON_FIELDS
} NewNvmData_VER1;

typedef struct __attribute__((packed)) NewNvmData {
  uint16_t CtrlID;
  uint8_t Version;  // 200
  uint16_t Size;    // record length as the device reports it
  KR_NVM_COMMON_FIELDS
  uint32_t ReverseRollerCount;
  uint32_t PickupRollerCount;
  uint32_t PadLife;            // device byte order
  uint32_t ReverseRollerLife;  // device byte order
  uint32_t PickupRollerLife;   // device byte order
  uint8_t Reserved1[109];
} NewNvmData;

VT_RECORD_ASSERT(sizeof(NewNvmData_VER1) == 132, "NewNvmData_VER1 is 132 bytes");
VT_RECORD_OFFSET(NewNvmData_VER1, Version, 2);
VT_RECORD_OFFSET(NewNvmData_VER1, Size, 3);
VT_RECORD_OFFSET(NewNvmData_VER1, PadScanCount, 4);
VT_RECORD_OFFSET(NewNvmData_VER1, ADFSingleModeScanCount, 8);
VT_RECORD_OFFSET(NewNvmData_VER1, ADFDuplexModeScanCount, 12);
VT_RECORD_OFFSET(NewNvmData_VER1, FletbedScanCount, 16);
VT_RECORD_OFFSET(NewNvmData_VER1, LeadingEdgeFletbed, 20);
VT_RECORD_OFFSET(NewNvmData_VER1, SideEdgeADFRearPage, 30);
VT_RECORD_OFFSET(NewNvmData_VER1, BornMonth, 32);
VT_RECORD_OFFSET(NewNvmData_VER1, FirstScanYear, 42);
VT_RECORD_OFFSET(NewNvmData_VER1, VerticalMagnification, 44);
VT_RECORD_OFFSET(NewNvmData_VER1, HorizontalMagnification, 46);
VT_RECORD_OFFSET(NewNvmData_VER1, CCDType, 48);
VT_RECORD_OFFSET(NewNvmData_VER1, ScanSpeed, 49);
VT_RECORD_OFFSET(NewNvmData_VER1, SN, 50);
VT_RECORD_OFFSET(NewNvmData_VER1, PowerSavingTime, 74);
VT_RECORD_OFFSET(NewNvmData_VER1, Reserved, 76);
VT_RECORD_OFFSET(NewNvmData_VER1, RollerCount, 77);
VT_RECORD_OFFSET(NewNvmData_VER1, MultifeedCount, 81);
VT_RECORD_OFFSET(NewNvmData_VER1, JamCount, 85);
VT_RECORD_OFFSET(NewNvmData_VER1, ReserveForFirmware, 89);
VT_RECORD_OFFSET(NewNvmData_VER1, IdentifyInfo, 90);
VT_RECORD_OFFSET(NewNvmData_VER1, FormalName, 106);
VT_RECORD_OFFSET(NewNvmData_VER1, FunctionCode, 122);
VT_RECORD_OFFSET(NewNvmData_VER1, PreFeed, 123);
VT_RECORD_OFFSET(NewNvmData_VER1, PreFeedTime, 124);
VT_RECORD_OFFSET(NewNvmData_VER1, FunctionIndex, 125);
VT_RECORD_OFFSET(NewNvmData_VER1, PowerOffTime, 126);
VT_RECORD_OFFSET(NewNvmData_VER1, PowerOnTime, 128);

VT_RECORD_ASSERT(sizeof(NewNvmData) == 262, "NewNvmData (layout 2) is 262 bytes");
VT_RECORD_OFFSET(NewNvmData, Version, 2);
VT_RECORD_OFFSET(NewNvmData, Size, 3);
VT_RECORD_OFFSET(NewNvmData, PadScanCount, 5);
VT_RECORD_OFFSET(NewNvmData, ADFSingleModeScanCount, 9);
VT_RECORD_OFFSET(NewNvmData, ADFDuplexModeScanCount, 13);
VT_RECORD_OFFSET(NewNvmData, FletbedScanCount, 17);
VT_RECORD_OFFSET(NewNvmData, LeadingEdgeFletbed, 21);
VT_RECORD_OFFSET(NewNvmData, SideEdgeADFRearPage, 31);
VT_RECORD_OFFSET(NewNvmData, BornMonth, 33);
VT_RECORD_OFFSET(NewNvmData, FirstScanYear, 43);
VT_RECORD_OFFSET(NewNvmData, VerticalMagnification, 45);
VT_RECORD_OFFSET(NewNvmData, HorizontalMagnification, 47);
VT_RECORD_OFFSET(NewNvmData, CCDType, 49);
VT_RECORD_OFFSET(NewNvmData, ScanSpeed, 50);
VT_RECORD_OFFSET(NewNvmData, SN, 51);
VT_RECORD_OFFSET(NewNvmData, PowerSavingTime, 75);
VT_RECORD_OFFSET(NewNvmData, Reserved, 77);
VT_RECORD_OFFSET(NewNvmData, RollerCount, 78);
VT_RECORD_OFFSET(NewNvmData, MultifeedCount, 82);
VT_RECORD_OFFSET(NewNvmData, JamCount, 86);
VT_RECORD_OFFSET(NewNvmData, ReserveForFirmware, 90);
VT_RECORD_OFFSET(NewNvmData, IdentifyInfo, 91);
VT_RECORD_OFFSET(NewNvmData, FormalName, 107);
VT_RECORD_OFFSET(NewNvmData, FunctionCode, 123);
VT_RECORD_OFFSET(NewNvmData, PreFeed, 124);
VT_RECORD_OFFSET(NewNvmData, PreFeedTime, 125);
VT_RECORD_OFFSET(NewNvmData, FunctionIndex, 126);
VT_RECORD_OFFSET(NewNvmData, PowerOffTime, 127);
VT_RECORD_OFFSET(NewNvmData, PowerOnTime, 129);
VT_RECORD_OFFSET(NewNvmData, ReverseRollerCount, 133);
VT_RECORD_OFFSET(NewNvmData, PickupRollerCount, 137);
VT_RECORD_OFFSET(NewNvmData, PadLife, 141);
VT_RECORD_OFFSET(NewNvmData, ReverseRollerLife, 145);
VT_RECORD_OFFSET(NewNvmData, PickupRollerLife, 149);
VT_RECORD_OFFSET(NewNvmData, Reserved1, 153);

// Value types of a tagged NVRAM write (KRWriteNVMData with tags 1 to 12).
enum {
  KR_NVM_TYPE_BYTE = 1,    // 1 byte
  KR_NVM_TYPE_WORD = 2,    // 2 bytes
  KR_NVM_TYPE_DWORD = 3,   // 4 bytes
  KR_NVM_TYPE_TEXT16 = 4,  // 16 bytes
  KR_NVM_TYPE_TEXT24 = 5,  // 24 bytes
  KR_NVM_TYPE_DATE = 6,    // 6 bytes: three 16-bit words
};

// ---- imprinter records
// ----------------------------------------------------------------------------

// Imprinter inquiry (71 bytes as the device sends it): byte 7 bit 0x01 an imprinter is fitted,
// bit 0x02 its head is fitted.
typedef struct __attribute__((packed)) KR_Imprinter_Inquiry_VER1 {
  uint8_t Head[7];
  uint8_t Status;
  uint8_t Reserved[6];
  uint8_t Identity[4];  // bytes 14-17
  uint8_t Name[16];     // bytes 18-33
  uint8_t Reserved2[37];
} KR_Imprinter_Inquiry_VER1;

// Imprinter information (74 bytes); numbers in host order once read.
typedef struct __attribute__((packed)) KR_Imprinter_Info_VER1 {
  uint8_t Head[7];
  uint32_t Value[4];  // bytes 7, 11, 15, 19: handed on to the ability record
  uint16_t Word0;     // byte 23
  uint8_t Reserved;
  uint32_t Extra[4];  // bytes 26, 30, 34, 38
  uint16_t Word1;     // byte 42
  uint16_t Word2;     // byte 44
  uint8_t Reserved2[28];
} KR_Imprinter_Info_VER1;

// KRGetImprinterAbility's record (120 bytes).
typedef struct __attribute__((packed)) KR_Imprinter_Ability {
  uint16_t Version;  // 200
  uint16_t Size;     // 120
  uint8_t Name[16];  // imprinter inquiry bytes 18-33
  uint8_t Reserved[16];
  uint8_t Identity[4];  // imprinter inquiry bytes 14-17
  uint8_t Reserved2[4];
  uint32_t Value[4];  // the information record's four values
  uint8_t Reserved3[60];
} KR_Imprinter_Ability;

// KRSetImprinterParameter's settings (96 bytes); the print data travels in separate buffers.
typedef struct __attribute__((packed)) KR_Imprinter_Parameter {
  uint16_t Version;
  uint16_t Size;
  uint8_t TextEnable;
  uint8_t CounterEnable;
  uint8_t TextPosition2;
  uint8_t TextHeader;
  uint8_t TextAttribute[10];
  uint8_t TextLength[10];  // characters per line, two bytes each
  uint32_t TextPosition1;
  uint32_t TextPosition3;
  uint32_t CounterValue;
  uint32_t CounterLength;  // bytes of counter data
  uint8_t DateTimeFormat;  // 0 none, 1 to 6
  uint8_t DateTimeHeader;
  uint8_t DateTimeAttribute[6];
  uint8_t DateTimeLength[6];  // characters per item, two bytes each
  uint32_t DateTimeValue;
  uint8_t PatternEnable;
  uint32_t PatternLength;  // bytes of pattern data
  uint8_t Reserved[29];
} KR_Imprinter_Parameter;

VT_RECORD_ASSERT(sizeof(KR_Imprinter_Inquiry_VER1) == 71, "imprinter inquiry is 71 bytes");
VT_RECORD_OFFSET(KR_Imprinter_Inquiry_VER1, Status, 7);
VT_RECORD_OFFSET(KR_Imprinter_Inquiry_VER1, Identity, 14);
VT_RECORD_OFFSET(KR_Imprinter_Inquiry_VER1, Name, 18);
VT_RECORD_ASSERT(sizeof(KR_Imprinter_Info_VER1) == 74, "imprinter information is 74 bytes");
VT_RECORD_OFFSET(KR_Imprinter_Info_VER1, Value, 7);
VT_RECORD_OFFSET(KR_Imprinter_Info_VER1, Word0, 23);
VT_RECORD_OFFSET(KR_Imprinter_Info_VER1, Extra, 26);
VT_RECORD_OFFSET(KR_Imprinter_Info_VER1, Word1, 42);
VT_RECORD_OFFSET(KR_Imprinter_Info_VER1, Word2, 44);
VT_RECORD_ASSERT(sizeof(KR_Imprinter_Ability) == 120, "imprinter ability is 120 bytes");
VT_RECORD_OFFSET(KR_Imprinter_Ability, Name, 4);
VT_RECORD_OFFSET(KR_Imprinter_Ability, Reserved, 20);
VT_RECORD_OFFSET(KR_Imprinter_Ability, Identity, 36);
VT_RECORD_OFFSET(KR_Imprinter_Ability, Reserved2, 40);
VT_RECORD_OFFSET(KR_Imprinter_Ability, Value, 44);
VT_RECORD_OFFSET(KR_Imprinter_Ability, Reserved3, 60);
VT_RECORD_ASSERT(sizeof(KR_Imprinter_Parameter) == 96, "imprinter settings are 96 bytes");
VT_RECORD_OFFSET(KR_Imprinter_Parameter, TextEnable, 4);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, CounterEnable, 5);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, TextPosition2, 6);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, TextHeader, 7);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, TextAttribute, 8);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, TextLength, 18);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, TextPosition1, 28);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, TextPosition3, 32);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, CounterValue, 36);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, CounterLength, 40);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, DateTimeFormat, 44);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, DateTimeHeader, 45);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, DateTimeAttribute, 46);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, DateTimeLength, 52);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, DateTimeValue, 58);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, PatternEnable, 62);
VT_RECORD_OFFSET(KR_Imprinter_Parameter, PatternLength, 63);

#undef KR_NVM_COMMON_FIELDS
#undef VT_RECORD_OFFSET
#undef VT_RECORD_ASSERT
