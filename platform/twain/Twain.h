#pragma once
// The TWAIN protocol as the data source manager on Linux speaks it: the published numbers and the
// records in the Linux binary layout (2-byte packing, 32-bit integers, 8-byte pointers,
// zero-terminated strings, a handle that is the block itself). Only what this data source and its
// test host use is here. The record layouts are fixed by the manager's ABI: every size and offset
// is checked below.
#include <cstddef>
#include <cstdint>

#if defined(__GNUC__)
#define TW_EXPORT __attribute__((visibility("default")))
#else
#define TW_EXPORT
#endif

// ---- Basic types ----
typedef char TW_INT8;
typedef int16_t TW_INT16;
typedef int32_t TW_INT32;
typedef uint8_t TW_UINT8;
typedef uint16_t TW_UINT16;
typedef uint32_t TW_UINT32;
typedef uint16_t TW_BOOL;
typedef void* TW_HANDLE;
typedef void* TW_MEMREF;
typedef uintptr_t TW_UINTPTR;
typedef char TW_STR32[34];
typedef char TW_STR64[66];
typedef char TW_STR128[130];
typedef char TW_STR255[256];

// ---- Data groups; the DF_ flags share the SupportedGroups word ----
inline constexpr TW_UINT32 DG_CONTROL = 0x0001;
inline constexpr TW_UINT32 DG_IMAGE = 0x0002;
inline constexpr TW_UINT32 DG_AUDIO = 0x0004;
inline constexpr TW_UINT32 DF_DSM2 = 0x10000000;
inline constexpr TW_UINT32 DF_APP2 = 0x20000000;
inline constexpr TW_UINT32 DF_DS2 = 0x40000000;

// ---- Data argument types ----
inline constexpr TW_UINT16 DAT_NULL = 0x0000;
inline constexpr TW_UINT16 DAT_CAPABILITY = 0x0001;
inline constexpr TW_UINT16 DAT_EVENT = 0x0002;
inline constexpr TW_UINT16 DAT_IDENTITY = 0x0003;
inline constexpr TW_UINT16 DAT_PARENT = 0x0004;
inline constexpr TW_UINT16 DAT_PENDINGXFERS = 0x0005;
inline constexpr TW_UINT16 DAT_SETUPMEMXFER = 0x0006;
inline constexpr TW_UINT16 DAT_SETUPFILEXFER = 0x0007;
inline constexpr TW_UINT16 DAT_STATUS = 0x0008;
inline constexpr TW_UINT16 DAT_USERINTERFACE = 0x0009;
inline constexpr TW_UINT16 DAT_XFERGROUP = 0x000a;
inline constexpr TW_UINT16 DAT_CALLBACK = 0x0010;
inline constexpr TW_UINT16 DAT_ENTRYPOINT = 0x0403;
inline constexpr TW_UINT16 DAT_IMAGEINFO = 0x0101;
inline constexpr TW_UINT16 DAT_IMAGELAYOUT = 0x0102;
inline constexpr TW_UINT16 DAT_IMAGEMEMXFER = 0x0103;
inline constexpr TW_UINT16 DAT_IMAGENATIVEXFER = 0x0104;
inline constexpr TW_UINT16 DAT_IMAGEFILEXFER = 0x0105;
inline constexpr TW_UINT16 DAT_EXTIMAGEINFO = 0x010b;

// ---- Messages ----
inline constexpr TW_UINT16 MSG_NULL = 0x0000;
inline constexpr TW_UINT16 MSG_GET = 0x0001;
inline constexpr TW_UINT16 MSG_GETCURRENT = 0x0002;
inline constexpr TW_UINT16 MSG_GETDEFAULT = 0x0003;
inline constexpr TW_UINT16 MSG_SET = 0x0006;
inline constexpr TW_UINT16 MSG_RESET = 0x0007;
inline constexpr TW_UINT16 MSG_QUERYSUPPORT = 0x0008;
inline constexpr TW_UINT16 MSG_XFERREADY = 0x0101;
inline constexpr TW_UINT16 MSG_CLOSEDSREQ = 0x0102;
inline constexpr TW_UINT16 MSG_CLOSEDSOK = 0x0103;
inline constexpr TW_UINT16 MSG_DEVICEEVENT = 0x0104;
inline constexpr TW_UINT16 MSG_OPENDSM = 0x0301;
inline constexpr TW_UINT16 MSG_CLOSEDSM = 0x0302;
inline constexpr TW_UINT16 MSG_OPENDS = 0x0401;
inline constexpr TW_UINT16 MSG_CLOSEDS = 0x0402;
inline constexpr TW_UINT16 MSG_DISABLEDS = 0x0501;
inline constexpr TW_UINT16 MSG_ENABLEDS = 0x0502;
inline constexpr TW_UINT16 MSG_ENABLEDSUIONLY = 0x0503;
inline constexpr TW_UINT16 MSG_PROCESSEVENT = 0x0601;
inline constexpr TW_UINT16 MSG_ENDXFER = 0x0701;
inline constexpr TW_UINT16 MSG_REGISTER_CALLBACK = 0x0902;
inline constexpr TW_UINT16 MSG_INVOKE_CALLBACK = 0x0903;

// ---- Return codes ----
inline constexpr TW_UINT16 TWRC_SUCCESS = 0;
inline constexpr TW_UINT16 TWRC_FAILURE = 1;
inline constexpr TW_UINT16 TWRC_CHECKSTATUS = 2;
inline constexpr TW_UINT16 TWRC_CANCEL = 3;
inline constexpr TW_UINT16 TWRC_DSEVENT = 4;
inline constexpr TW_UINT16 TWRC_NOTDSEVENT = 5;
inline constexpr TW_UINT16 TWRC_XFERDONE = 6;
inline constexpr TW_UINT16 TWRC_ENDOFLIST = 7;
inline constexpr TW_UINT16 TWRC_INFONOTSUPPORTED = 8;
inline constexpr TW_UINT16 TWRC_DATANOTAVAILABLE = 9;

// ---- Condition codes ----
inline constexpr TW_UINT16 TWCC_SUCCESS = 0;
inline constexpr TW_UINT16 TWCC_BUMMER = 1;
inline constexpr TW_UINT16 TWCC_LOWMEMORY = 2;
inline constexpr TW_UINT16 TWCC_NODS = 3;
inline constexpr TW_UINT16 TWCC_OPERATIONERROR = 5;
inline constexpr TW_UINT16 TWCC_BADCAP = 6;
inline constexpr TW_UINT16 TWCC_BADPROTOCOL = 9;
inline constexpr TW_UINT16 TWCC_BADVALUE = 10;
inline constexpr TW_UINT16 TWCC_SEQERROR = 11;
inline constexpr TW_UINT16 TWCC_BADDEST = 12;
inline constexpr TW_UINT16 TWCC_CAPUNSUPPORTED = 13;
inline constexpr TW_UINT16 TWCC_CAPBADOPERATION = 14;
inline constexpr TW_UINT16 TWCC_CAPSEQERROR = 15;
inline constexpr TW_UINT16 TWCC_DENIED = 16;
inline constexpr TW_UINT16 TWCC_FILEEXISTS = 17;
inline constexpr TW_UINT16 TWCC_FILENOTFOUND = 18;
inline constexpr TW_UINT16 TWCC_NOTEMPTY = 19;
inline constexpr TW_UINT16 TWCC_PAPERJAM = 20;
inline constexpr TW_UINT16 TWCC_PAPERDOUBLEFEED = 21;
inline constexpr TW_UINT16 TWCC_FILEWRITEERROR = 22;
inline constexpr TW_UINT16 TWCC_CHECKDEVICEONLINE = 23;
inline constexpr TW_UINT16 TWCC_INTERLOCK = 24;
inline constexpr TW_UINT16 TWCC_NOMEDIA = 29;

// ---- Capabilities ----
inline constexpr TW_UINT16 CAP_XFERCOUNT = 0x0001;
inline constexpr TW_UINT16 ICAP_COMPRESSION = 0x0100;
inline constexpr TW_UINT16 ICAP_PIXELTYPE = 0x0101;
inline constexpr TW_UINT16 ICAP_UNITS = 0x0102;
inline constexpr TW_UINT16 ICAP_XFERMECH = 0x0103;
inline constexpr TW_UINT16 CAP_FEEDERENABLED = 0x1002;
inline constexpr TW_UINT16 CAP_FEEDERLOADED = 0x1003;
inline constexpr TW_UINT16 CAP_SUPPORTEDCAPS = 0x1005;
inline constexpr TW_UINT16 CAP_INDICATORS = 0x100b;
inline constexpr TW_UINT16 CAP_UICONTROLLABLE = 0x100e;
inline constexpr TW_UINT16 CAP_DEVICEONLINE = 0x100f;
inline constexpr TW_UINT16 CAP_DUPLEX = 0x1012;
inline constexpr TW_UINT16 CAP_DUPLEXENABLED = 0x1013;
inline constexpr TW_UINT16 ICAP_BRIGHTNESS = 0x1101;
inline constexpr TW_UINT16 ICAP_CONTRAST = 0x1103;
inline constexpr TW_UINT16 ICAP_IMAGEFILEFORMAT = 0x110c;
inline constexpr TW_UINT16 ICAP_PHYSICALWIDTH = 0x1111;
inline constexpr TW_UINT16 ICAP_PHYSICALHEIGHT = 0x1112;
inline constexpr TW_UINT16 ICAP_FRAMES = 0x1114;
inline constexpr TW_UINT16 ICAP_XRESOLUTION = 0x1118;
inline constexpr TW_UINT16 ICAP_YRESOLUTION = 0x1119;
inline constexpr TW_UINT16 ICAP_BITORDER = 0x111c;
inline constexpr TW_UINT16 ICAP_PIXELFLAVOR = 0x111f;
inline constexpr TW_UINT16 ICAP_PLANARCHUNKY = 0x1120;
inline constexpr TW_UINT16 ICAP_SUPPORTEDSIZES = 0x1122;
inline constexpr TW_UINT16 ICAP_BITDEPTH = 0x112b;
inline constexpr TW_UINT16 ICAP_MINIMUMHEIGHT = 0x1130;
inline constexpr TW_UINT16 ICAP_MINIMUMWIDTH = 0x1131;
inline constexpr TW_UINT16 ICAP_BARCODEDETECTIONENABLED = 0x1137;
inline constexpr TW_UINT16 ICAP_PATCHCODEDETECTIONENABLED = 0x113f;
inline constexpr TW_UINT16 ICAP_AUTOMATICBORDERDETECTION = 0x1150;

// ---- Container types ----
inline constexpr TW_UINT16 TWON_ARRAY = 3;
inline constexpr TW_UINT16 TWON_ENUMERATION = 4;
inline constexpr TW_UINT16 TWON_ONEVALUE = 5;
inline constexpr TW_UINT16 TWON_RANGE = 6;
inline constexpr TW_UINT16 TWON_DONTCARE16 = 0xffff;

// ---- Item types ----
inline constexpr TW_UINT16 TWTY_INT8 = 0;
inline constexpr TW_UINT16 TWTY_INT16 = 1;
inline constexpr TW_UINT16 TWTY_INT32 = 2;
inline constexpr TW_UINT16 TWTY_UINT8 = 3;
inline constexpr TW_UINT16 TWTY_UINT16 = 4;
inline constexpr TW_UINT16 TWTY_UINT32 = 5;
inline constexpr TW_UINT16 TWTY_BOOL = 6;
inline constexpr TW_UINT16 TWTY_FIX32 = 7;
inline constexpr TW_UINT16 TWTY_FRAME = 8;
inline constexpr TW_UINT16 TWTY_STR32 = 9;
inline constexpr TW_UINT16 TWTY_STR64 = 10;
inline constexpr TW_UINT16 TWTY_STR128 = 11;
inline constexpr TW_UINT16 TWTY_STR255 = 12;

// ---- Values of the image capabilities ----
inline constexpr TW_UINT16 TWPT_BW = 0;
inline constexpr TW_UINT16 TWPT_GRAY = 1;
inline constexpr TW_UINT16 TWPT_RGB = 2;
inline constexpr TW_UINT16 TWUN_INCHES = 0;
inline constexpr TW_UINT16 TWSX_NATIVE = 0;
inline constexpr TW_UINT16 TWSX_FILE = 1;
inline constexpr TW_UINT16 TWSX_MEMORY = 2;
inline constexpr TW_UINT16 TWFF_TIFF = 0;
inline constexpr TW_UINT16 TWFF_BMP = 2;
inline constexpr TW_UINT16 TWFF_JFIF = 4;
inline constexpr TW_UINT16 TWFF_PNG = 7;
inline constexpr TW_UINT16 TWCP_NONE = 0;
inline constexpr TW_UINT16 TWBO_MSBFIRST = 1;
inline constexpr TW_UINT16 TWPF_CHOCOLATE = 0;
inline constexpr TW_UINT16 TWPC_CHUNKY = 0;
inline constexpr TW_BOOL TWAIN_TRUE = 1;
inline constexpr TW_BOOL TWAIN_FALSE = 0;

// Paper sizes (ICAP_SUPPORTEDSIZES).
inline constexpr TW_UINT16 TWSS_NONE = 0;
inline constexpr TW_UINT16 TWSS_A4 = 1;
inline constexpr TW_UINT16 TWSS_JISB5 = 2;
inline constexpr TW_UINT16 TWSS_USLETTER = 3;
inline constexpr TW_UINT16 TWSS_USLEGAL = 4;
inline constexpr TW_UINT16 TWSS_A5 = 5;
inline constexpr TW_UINT16 TWSS_ISOB4 = 6;
inline constexpr TW_UINT16 TWSS_ISOB6 = 7;
inline constexpr TW_UINT16 TWSS_A3 = 11;
inline constexpr TW_UINT16 TWSS_A6 = 13;
inline constexpr TW_UINT16 TWSS_A7 = 22;
inline constexpr TW_UINT16 TWSS_ISOB5 = 29;
inline constexpr TW_UINT16 TWSS_ISOB7 = 30;
inline constexpr TW_UINT16 TWSS_JISB4 = 38;
inline constexpr TW_UINT16 TWSS_JISB6 = 39;
inline constexpr TW_UINT16 TWSS_JISB7 = 40;
inline constexpr TW_UINT16 TWSS_MAXSIZE = 54;

// Memory transfer flags.
inline constexpr TW_UINT32 TWMF_APPOWNS = 0x0001;
inline constexpr TW_UINT32 TWMF_DSMOWNS = 0x0002;
inline constexpr TW_UINT32 TWMF_DSOWNS = 0x0004;
inline constexpr TW_UINT32 TWMF_POINTER = 0x0008;
inline constexpr TW_UINT32 TWMF_HANDLE = 0x0010;

// Extended image information.
inline constexpr TW_UINT16 TWEI_BARCODEX = 0x1200;
inline constexpr TW_UINT16 TWEI_BARCODEY = 0x1201;
inline constexpr TW_UINT16 TWEI_BARCODETEXT = 0x1202;
inline constexpr TW_UINT16 TWEI_BARCODETYPE = 0x1203;
inline constexpr TW_UINT16 TWEI_PATCHCODE = 0x1212;
inline constexpr TW_UINT16 TWEI_BARCODECOUNT = 0x1219;
inline constexpr TW_UINT16 TWEI_BARCODETEXTLENGTH = 0x121c;

// Barcode types as reported in TWEI_BARCODETYPE.
inline constexpr TW_UINT32 TWBT_3OF9 = 0;
inline constexpr TW_UINT32 TWBT_2OF5INTERLEAVED = 1;
inline constexpr TW_UINT32 TWBT_CODE93 = 3;
inline constexpr TW_UINT32 TWBT_CODE128 = 4;
inline constexpr TW_UINT32 TWBT_CODABAR = 6;
inline constexpr TW_UINT32 TWBT_UPCA = 7;
inline constexpr TW_UINT32 TWBT_UPCE = 8;
inline constexpr TW_UINT32 TWBT_EAN8 = 9;
inline constexpr TW_UINT32 TWBT_EAN13 = 10;
inline constexpr TW_UINT32 TWBT_PDF417 = 12;
inline constexpr TW_UINT32 TWBT_MAXICODE = 19;
inline constexpr TW_UINT32 TWBT_QRCODE = 20;

// Identity: language and country.
inline constexpr TW_UINT16 TWLG_ENGLISH_USA = 13;
inline constexpr TW_UINT16 TWCY_USA = 1;

// The states as the data source keeps them: the TWAIN state number times ten; 35 is a source
// that is loaded and answers its identity but is not open yet.
inline constexpr TW_INT16 TWAIN_STATE_LOADED = 35;
inline constexpr TW_INT16 TWAIN_STATE_OPEN = 40;
inline constexpr TW_INT16 TWAIN_STATE_ENABLED = 50;
inline constexpr TW_INT16 TWAIN_STATE_XFERREADY = 60;
inline constexpr TW_INT16 TWAIN_STATE_TRANSFERRING = 70;

// ---- This data source's own operation and capability ----
// DG_CONTROL / DAT_KRCUSTOMCOMMAND / MSG_GET with KRCUSTOMCOMMAND_LASTERROR reads the last scanner
// error and its message text.
inline constexpr TW_UINT16 DAT_KRCUSTOMCOMMAND = 0x9002;
inline constexpr TW_UINT32 KRCUSTOMCOMMAND_LASTERROR = 0x8991;
inline constexpr TW_UINT16 CAP_KRMULTISTREAM = 0x9245;

// ---- Records, in the manager's layout ----
#pragma pack(push, 2)

struct TW_FIX32 {
  TW_INT16 Whole;
  TW_UINT16 Frac;
};

struct TW_FRAME {
  TW_FIX32 Left;
  TW_FIX32 Top;
  TW_FIX32 Right;
  TW_FIX32 Bottom;
};

struct TW_VERSION {
  TW_UINT16 MajorNum;
  TW_UINT16 MinorNum;
  TW_UINT16 Language;
  TW_UINT16 Country;
  TW_STR32 Info;
};

struct TW_IDENTITY {
  TW_UINT32 Id;
  TW_VERSION Version;
  TW_UINT16 ProtocolMajor;
  TW_UINT16 ProtocolMinor;
  TW_UINT32 SupportedGroups;
  TW_STR32 Manufacturer;
  TW_STR32 ProductFamily;
  TW_STR32 ProductName;
};

struct TW_CAPABILITY {
  TW_UINT16 Cap;
  TW_UINT16 ConType;
  TW_HANDLE hContainer;
};

// The containers that hContainer refers to. A one value's Item holds any 32-bit or smaller item
// in its first bytes; FIX32 and FRAME items have records of their own.
struct TW_ONEVALUE {
  TW_UINT16 ItemType;
  TW_UINT32 Item;
};

struct TW_ONEVALUE_FIX32 {
  TW_UINT16 ItemType;
  TW_FIX32 Item;
};

struct TW_ONEVALUE_FRAME {
  TW_UINT16 ItemType;
  TW_FRAME Item;
};

struct TW_RANGE {
  TW_UINT16 ItemType;
  TW_UINT32 MinValue;
  TW_UINT32 MaxValue;
  TW_UINT32 StepSize;
  TW_UINT32 DefaultValue;
  TW_UINT32 CurrentValue;
};

// Enumerations and arrays carry their items after the fixed part: allocate
// TW_ENUMERATION_HEADER_SIZE (or TW_ARRAY_HEADER_SIZE) + count x item size bytes.
struct TW_ENUMERATION {
  TW_UINT16 ItemType;
  TW_UINT32 NumItems;
  TW_UINT32 CurrentIndex;
  TW_UINT32 DefaultIndex;
  TW_UINT8 ItemList[1];
};

struct TW_ARRAY {
  TW_UINT16 ItemType;
  TW_UINT32 NumItems;
  TW_UINT8 ItemList[1];
};

struct TW_IMAGEINFO {
  TW_FIX32 XResolution;
  TW_FIX32 YResolution;
  TW_INT32 ImageWidth;
  TW_INT32 ImageLength;
  TW_INT16 SamplesPerPixel;
  TW_INT16 BitsPerSample[8];
  TW_INT16 BitsPerPixel;
  TW_BOOL Planar;
  TW_INT16 PixelType;
  TW_UINT16 Compression;
};

struct TW_MEMORY {
  TW_UINT32 Flags;
  TW_UINT32 Length;
  TW_MEMREF TheMem;
};

struct TW_IMAGEMEMXFER {
  TW_UINT16 Compression;
  TW_UINT32 BytesPerRow;
  TW_UINT32 Columns;
  TW_UINT32 Rows;
  TW_UINT32 XOffset;
  TW_UINT32 YOffset;
  TW_UINT32 BytesWritten;
  TW_MEMORY Memory;
};

struct TW_SETUPMEMXFER {
  TW_UINT32 MinBufSize;
  TW_UINT32 MaxBufSize;
  TW_UINT32 Preferred;
};

struct TW_SETUPFILEXFER {
  TW_STR255 FileName;
  TW_UINT16 Format;
  TW_INT16 VRefNum;
};

struct TW_PENDINGXFERS {
  TW_UINT16 Count;
  TW_UINT32 EOJ;
};

struct TW_IMAGELAYOUT {
  TW_FRAME Frame;
  TW_UINT32 DocumentNumber;
  TW_UINT32 PageNumber;
  TW_UINT32 FrameNumber;
};

struct TW_STATUS {
  TW_UINT16 ConditionCode;
  TW_UINT16 Reserved;
};

struct TW_EVENT {
  TW_MEMREF pEvent;
  TW_UINT16 TWMessage;
};

struct TW_USERINTERFACE {
  TW_BOOL ShowUI;
  TW_BOOL ModalUI;
  TW_HANDLE hParent;
};

struct TW_CALLBACK {
  TW_MEMREF CallBackProc;
  TW_UINT32 RefCon;
  TW_INT16 Message;
};

// One entry of TW_EXTIMAGEINFO. Item holds a value of up to pointer size, or a block the source
// allocated through the manager (the application frees it).
struct TW_INFO {
  TW_UINT16 InfoID;
  TW_UINT16 ItemType;
  TW_UINT16 NumItems;
  TW_UINT16 ReturnCode;
  TW_UINTPTR Item;
};

// Allocate TW_EXTIMAGEINFO_HEADER_SIZE + count x sizeof(TW_INFO) bytes.
struct TW_EXTIMAGEINFO {
  TW_UINT32 NumInfos;
  TW_INFO Info[1];
};

// The manager's own functions, handed to a 2.x source before MSG_OPENDS.
typedef TW_UINT16 (*DSMENTRYPROC)(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG,
                                  TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData);
typedef TW_HANDLE (*DSM_MEMALLOCATE)(TW_UINT32 size);
typedef void (*DSM_MEMFREE)(TW_HANDLE handle);
typedef TW_MEMREF (*DSM_MEMLOCK)(TW_HANDLE handle);
typedef void (*DSM_MEMUNLOCK)(TW_HANDLE handle);

struct TW_ENTRYPOINT {
  TW_UINT32 Size;
  DSMENTRYPROC DSM_Entry;
  DSM_MEMALLOCATE DSM_MemAllocate;
  DSM_MEMFREE DSM_MemFree;
  DSM_MEMLOCK DSM_MemLock;
  DSM_MEMUNLOCK DSM_MemUnlock;
};

// DAT_KRCUSTOMCOMMAND's record: the command, the error code and the message in UTF-16 (host
// byte order, zero-terminated).
struct TW_KRCUSTOMCOMMAND {
  TW_UINT32 Command;
  TW_UINT32 Error;
  char16_t Message[128];
};

#pragma pack(pop)

inline constexpr size_t TW_ENUMERATION_HEADER_SIZE = offsetof(TW_ENUMERATION, ItemList);
inline constexpr size_t TW_ARRAY_HEADER_SIZE = offsetof(TW_ARRAY, ItemList);
inline constexpr size_t TW_EXTIMAGEINFO_HEADER_SIZE = offsetof(TW_EXTIMAGEINFO, Info);

// The data source's single export; the manager's entry has the extra destination argument.
typedef TW_UINT16 (*DSENTRYPROC)(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                 TW_MEMREF pData);
extern "C" TW_EXPORT TW_UINT16 DS_Entry(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT,
                                        TW_UINT16 MSG, TW_MEMREF pData);

// ---- The layout the manager expects ----
static_assert(sizeof(TW_INT32) == 4 && sizeof(TW_UINT32) == 4 && sizeof(TW_BOOL) == 2);
static_assert(sizeof(TW_HANDLE) == 8 && sizeof(TW_MEMREF) == 8 && sizeof(TW_UINTPTR) == 8);
static_assert(sizeof(TW_STR32) == 34 && sizeof(TW_STR64) == 66 && sizeof(TW_STR128) == 130 &&
              sizeof(TW_STR255) == 256);
static_assert(sizeof(TW_FIX32) == 4 && sizeof(TW_FRAME) == 16);

static_assert(sizeof(TW_IDENTITY) == 156);
static_assert(offsetof(TW_IDENTITY, Id) == 0);
static_assert(offsetof(TW_IDENTITY, Version.MajorNum) == 4);
static_assert(offsetof(TW_IDENTITY, Version.MinorNum) == 6);
static_assert(offsetof(TW_IDENTITY, Version.Language) == 8);
static_assert(offsetof(TW_IDENTITY, Version.Country) == 10);
static_assert(offsetof(TW_IDENTITY, Version.Info) == 12);
static_assert(offsetof(TW_IDENTITY, ProtocolMajor) == 46);
static_assert(offsetof(TW_IDENTITY, ProtocolMinor) == 48);
static_assert(offsetof(TW_IDENTITY, SupportedGroups) == 50);
static_assert(offsetof(TW_IDENTITY, Manufacturer) == 54);
static_assert(offsetof(TW_IDENTITY, ProductFamily) == 88);
static_assert(offsetof(TW_IDENTITY, ProductName) == 122);

static_assert(sizeof(TW_CAPABILITY) == 12);
static_assert(offsetof(TW_CAPABILITY, Cap) == 0 && offsetof(TW_CAPABILITY, ConType) == 2 &&
              offsetof(TW_CAPABILITY, hContainer) == 4);

static_assert(sizeof(TW_ONEVALUE) == 6 && offsetof(TW_ONEVALUE, Item) == 2);
static_assert(sizeof(TW_ONEVALUE_FIX32) == 6 && offsetof(TW_ONEVALUE_FIX32, Item.Whole) == 2 &&
              offsetof(TW_ONEVALUE_FIX32, Item.Frac) == 4);
static_assert(sizeof(TW_ONEVALUE_FRAME) == 18 && offsetof(TW_ONEVALUE_FRAME, Item) == 2);

static_assert(sizeof(TW_RANGE) == 22);
static_assert(offsetof(TW_RANGE, ItemType) == 0 && offsetof(TW_RANGE, MinValue) == 2 &&
              offsetof(TW_RANGE, MaxValue) == 6 && offsetof(TW_RANGE, StepSize) == 10 &&
              offsetof(TW_RANGE, DefaultValue) == 14 && offsetof(TW_RANGE, CurrentValue) == 18);

static_assert(offsetof(TW_ENUMERATION, ItemType) == 0 && offsetof(TW_ENUMERATION, NumItems) == 2 &&
              offsetof(TW_ENUMERATION, CurrentIndex) == 6 &&
              offsetof(TW_ENUMERATION, DefaultIndex) == 10);
static_assert(TW_ENUMERATION_HEADER_SIZE == 14);
static_assert(offsetof(TW_ARRAY, NumItems) == 2 && TW_ARRAY_HEADER_SIZE == 6);

static_assert(sizeof(TW_IMAGEINFO) == 42);
static_assert(offsetof(TW_IMAGEINFO, XResolution) == 0 &&
              offsetof(TW_IMAGEINFO, YResolution) == 4 && offsetof(TW_IMAGEINFO, ImageWidth) == 8 &&
              offsetof(TW_IMAGEINFO, ImageLength) == 12 &&
              offsetof(TW_IMAGEINFO, SamplesPerPixel) == 16 &&
              offsetof(TW_IMAGEINFO, BitsPerSample) == 18 &&
              offsetof(TW_IMAGEINFO, BitsPerPixel) == 34 && offsetof(TW_IMAGEINFO, Planar) == 36 &&
              offsetof(TW_IMAGEINFO, PixelType) == 38 && offsetof(TW_IMAGEINFO, Compression) == 40);

static_assert(sizeof(TW_IMAGEMEMXFER) == 42);
static_assert(offsetof(TW_IMAGEMEMXFER, Compression) == 0 &&
              offsetof(TW_IMAGEMEMXFER, BytesPerRow) == 2 &&
              offsetof(TW_IMAGEMEMXFER, Columns) == 6 && offsetof(TW_IMAGEMEMXFER, Rows) == 10 &&
              offsetof(TW_IMAGEMEMXFER, XOffset) == 14 &&
              offsetof(TW_IMAGEMEMXFER, YOffset) == 18 &&
              offsetof(TW_IMAGEMEMXFER, BytesWritten) == 22 &&
              offsetof(TW_IMAGEMEMXFER, Memory.Flags) == 26 &&
              offsetof(TW_IMAGEMEMXFER, Memory.Length) == 30 &&
              offsetof(TW_IMAGEMEMXFER, Memory.TheMem) == 34);

static_assert(sizeof(TW_SETUPMEMXFER) == 12 && offsetof(TW_SETUPMEMXFER, MinBufSize) == 0 &&
              offsetof(TW_SETUPMEMXFER, MaxBufSize) == 4 &&
              offsetof(TW_SETUPMEMXFER, Preferred) == 8);
static_assert(sizeof(TW_SETUPFILEXFER) == 260 && offsetof(TW_SETUPFILEXFER, FileName) == 0 &&
              offsetof(TW_SETUPFILEXFER, Format) == 256 &&
              offsetof(TW_SETUPFILEXFER, VRefNum) == 258);
static_assert(sizeof(TW_PENDINGXFERS) == 6 && offsetof(TW_PENDINGXFERS, Count) == 0 &&
              offsetof(TW_PENDINGXFERS, EOJ) == 2);
static_assert(sizeof(TW_IMAGELAYOUT) == 28 && offsetof(TW_IMAGELAYOUT, Frame) == 0 &&
              offsetof(TW_IMAGELAYOUT, DocumentNumber) == 16 &&
              offsetof(TW_IMAGELAYOUT, PageNumber) == 20 &&
              offsetof(TW_IMAGELAYOUT, FrameNumber) == 24);
static_assert(sizeof(TW_STATUS) == 4 && offsetof(TW_STATUS, ConditionCode) == 0 &&
              offsetof(TW_STATUS, Reserved) == 2);
static_assert(sizeof(TW_EVENT) == 10 && offsetof(TW_EVENT, pEvent) == 0 &&
              offsetof(TW_EVENT, TWMessage) == 8);
static_assert(sizeof(TW_USERINTERFACE) == 12 && offsetof(TW_USERINTERFACE, ShowUI) == 0 &&
              offsetof(TW_USERINTERFACE, ModalUI) == 2 && offsetof(TW_USERINTERFACE, hParent) == 4);
static_assert(sizeof(TW_CALLBACK) == 14 && offsetof(TW_CALLBACK, CallBackProc) == 0 &&
              offsetof(TW_CALLBACK, RefCon) == 8 && offsetof(TW_CALLBACK, Message) == 12);
static_assert(sizeof(TW_INFO) == 16 && offsetof(TW_INFO, InfoID) == 0 &&
              offsetof(TW_INFO, ItemType) == 2 && offsetof(TW_INFO, NumItems) == 4 &&
              offsetof(TW_INFO, ReturnCode) == 6 && offsetof(TW_INFO, Item) == 8);
static_assert(offsetof(TW_EXTIMAGEINFO, NumInfos) == 0 && TW_EXTIMAGEINFO_HEADER_SIZE == 4);
static_assert(sizeof(TW_ENTRYPOINT) == 44 && offsetof(TW_ENTRYPOINT, Size) == 0 &&
              offsetof(TW_ENTRYPOINT, DSM_Entry) == 4 &&
              offsetof(TW_ENTRYPOINT, DSM_MemAllocate) == 12 &&
              offsetof(TW_ENTRYPOINT, DSM_MemFree) == 20 &&
              offsetof(TW_ENTRYPOINT, DSM_MemLock) == 28 &&
              offsetof(TW_ENTRYPOINT, DSM_MemUnlock) == 36);
static_assert(sizeof(TW_KRCUSTOMCOMMAND) == 264 && offsetof(TW_KRCUSTOMCOMMAND, Command) == 0 &&
              offsetof(TW_KRCUSTOMCOMMAND, Error) == 4 &&
              offsetof(TW_KRCUSTOMCOMMAND, Message) == 8);
