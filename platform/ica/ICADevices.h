#pragma once
// Our Image Capture framework for the scanner module: the records the framework and the module
// exchange (2-byte packing, laid out as the module reads them), the scanner callback table that
// the module fills before it hands control to ICD_ScannerMain, the notifications to the host and
// the image, band and colour-space helpers.
//
// The module runs as a program of its own. ICD_ScannerMain serves one host over a local channel
// (platform/ica/Channel.h): each host request becomes one callback, called on the framework
// thread (the thread that called ICD_ScannerMain); notifications go back to the host from any
// thread. Tests may run the same framework inside their own process (InProcessFramework.h).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/PropertyList.h"

// ---- results and codes ------------------------------------------------------------------------

// The framework's 16-bit error codes.
using ICAError = int16_t;
inline constexpr ICAError kICANoErr = 0;
inline constexpr ICAError kICABadParameterErr = -50;       // missing record, object or argument
inline constexpr ICAError kICADocumentMissingErr = -9903;  // document file missing
inline constexpr ICAError kICAAbstractMethodErr = -9905;
inline constexpr ICAError kICANoSuchObjectErr = -9907;
inline constexpr ICAError kICAScannerBusyErr = -9912;  // scanner busy, driver not available
inline constexpr ICAError kICAScanFailedErr = -9913;
inline constexpr ICAError kICASessionStateErr = -9921;
// The host's reply to a progress notification that cancels the scan.
inline constexpr int32_t kICAUserCanceledReply = -128;

// A four-character code as the framework numbers it: 'icdv' is 0x69636476.
constexpr uint32_t FourCharCode(const char (&text)[5]) {
  return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 |
         uint32_t(uint8_t(text[2])) << 8 | uint32_t(uint8_t(text[3]));
}
std::string FourCharText(uint32_t code);  // "icdv"; characters outside ASCII as '?'

inline constexpr uint32_t kICADeviceType = FourCharCode("icdv");
inline constexpr uint32_t kICADeviceScanner = FourCharCode("scan");
inline constexpr uint32_t kICAMessageButtonQuery = FourCharCode("btn?");
inline constexpr uint32_t kICAMessageDeleteOne = FourCharCode("del1");
inline constexpr uint32_t kICAMessageArea = FourCharCode("area");
inline constexpr uint32_t kICAButtonScan = FourCharCode("scan");  // 0x7363616E

// ---- records (2-byte packing) -----------------------------------------------------------------

#pragma pack(push, 2)

struct ICAHeader {
  int16_t err;
  uint64_t refcon;
};
static_assert(sizeof(ICAHeader) == 10);

struct ICAObjectInfo {
  uint32_t objectType;     // 'icdv' for a device
  uint32_t objectSubtype;  // 'scan' for a scanner
};

// The framework's record of one device or scanned object; the module keeps its device object in
// privateData.
struct ScannerObjectInfo {
  uint32_t icaObject;
  uint64_t reserved;
  ICAObjectInfo icaObjectInfo;
  uint32_t uniqueID;
  uint64_t uniqueIDFireWire;
  uint32_t thumbnailSize;
  uint32_t dataSize;
  uint32_t dataWidth;
  uint32_t dataHeight;
  char name[32];
  char creationDate[20];
  uint32_t flags;
  void* privateData;
  uint32_t tag;
};
static_assert(sizeof(ScannerObjectInfo) == 116);
static_assert(offsetof(ScannerObjectInfo, reserved) == 4);
static_assert(offsetof(ScannerObjectInfo, icaObjectInfo) == 12);
static_assert(offsetof(ScannerObjectInfo, uniqueID) == 20);
static_assert(offsetof(ScannerObjectInfo, uniqueIDFireWire) == 24);
static_assert(offsetof(ScannerObjectInfo, thumbnailSize) == 32);
static_assert(offsetof(ScannerObjectInfo, dataSize) == 36);
static_assert(offsetof(ScannerObjectInfo, dataWidth) == 40);
static_assert(offsetof(ScannerObjectInfo, dataHeight) == 44);
static_assert(offsetof(ScannerObjectInfo, name) == 48);
static_assert(offsetof(ScannerObjectInfo, creationDate) == 80);
static_assert(offsetof(ScannerObjectInfo, flags) == 100);
static_assert(offsetof(ScannerObjectInfo, privateData) == 104);
static_assert(offsetof(ScannerObjectInfo, tag) == 112);

struct ICAMessage {
  uint32_t messageType;  // four-character code
  uint32_t startByte;
  void* dataPtr;
  uint32_t dataSize;
  uint32_t dataType;  // also receives the button value of "btn?"
};

// The parameter block of the send-message callback.
struct ICD_ScannerSendMessagePB {
  ICAHeader header;  // header.err: the result
  uint32_t object;
  uint32_t connectionID;
  uint64_t reserved;
  ICAMessage message;
  uint32_t totalDataSize;
  uint32_t result;  // receives -50 for an unknown message type
};
static_assert(sizeof(ICD_ScannerSendMessagePB) == 58);
static_assert(offsetof(ICD_ScannerSendMessagePB, message.messageType) == 26);
static_assert(offsetof(ICD_ScannerSendMessagePB, message.dataPtr) == 34);
static_assert(offsetof(ICD_ScannerSendMessagePB, message.dataSize) == 42);
static_assert(offsetof(ICD_ScannerSendMessagePB, message.dataType) == 46);
static_assert(offsetof(ICD_ScannerSendMessagePB, result) == 54);

// The blocks of the get- and set-parameter callbacks: the host's dictionary at byte 30.
struct ICD_ScannerGetParametersPB {
  ICAHeader header;
  uint32_t object;
  uint32_t sessionID;
  uint8_t reserved[12];
  foundation::Dictionary* theDict;
};
static_assert(sizeof(ICD_ScannerGetParametersPB) == 38);
static_assert(offsetof(ICD_ScannerGetParametersPB, theDict) == 30);
using ICD_ScannerSetParametersPB = ICD_ScannerGetParametersPB;

struct ICD_ScannerSessionPB {
  ICAHeader header;
  uint32_t object;
  uint32_t sessionID;
};
static_assert(sizeof(ICD_ScannerSessionPB) == 18);
using ICD_ScannerOpenSessionPB = ICD_ScannerSessionPB;
using ICD_ScannerCloseSessionPB = ICD_ScannerSessionPB;
using ICD_ScannerStatusPB = ICD_ScannerSessionPB;
using ICD_ScannerStartPB = ICD_ScannerSessionPB;

// A notification to the host: the dictionary at byte 10, the host's reply code after it.
struct ICASendNotificationPB {
  ICAHeader header;
  foundation::Dictionary* notificationDictionary;
  int32_t replyCode;
};
static_assert(sizeof(ICASendNotificationPB) == 22);
static_assert(offsetof(ICASendNotificationPB, notificationDictionary) == 10);
static_assert(offsetof(ICASendNotificationPB, replyCode) == 18);

#pragma pack(pop)

// ---- the scanner callback table ---------------------------------------------------------------

using ICDCompletion = void (*)(ICD_ScannerSendMessagePB* block);

struct ICD_ScannerCallbackFunctions {
  ICAError (*openUSBDevice)(uint32_t locationID, ScannerObjectInfo* info);  // 0
  void (*slot1)();                                                          // 1
  ICAError (*closeDevice)(ScannerObjectInfo* info);                         // 2
  ICAError (*periodicTask)(ScannerObjectInfo* info);                        // 3
  ICAError (*getObjectInfo)(const ScannerObjectInfo* parent, uint32_t index,
                            ScannerObjectInfo* info);  // 4
  ICAError (*cleanup)(ScannerObjectInfo* info);        // 5
  void (*slot6)();                                     // 6
  void (*slot7)();                                     // 7
  ICAError (*readFileData)(const ScannerObjectInfo* info, uint32_t dataType, char* buffer,
                           uint32_t offset, uint32_t* length);  // 8
  void (*slot9)();                                              // 9
  ICAError (*sendMessage)(const ScannerObjectInfo* info, ICD_ScannerSendMessagePB* block,
                          ICDCompletion completion);  // 10
  ICAError (*addPropertiesToCFDictionary)(ScannerObjectInfo* info,
                                          foundation::Dictionary* properties);              // 11
  void (*slot12)();                                                                         // 12
  ICAError (*openFWDevice)(uint64_t guid, const char* ioRegPath, ScannerObjectInfo* info);  // 13
  ICAError (*openSession)(const ScannerObjectInfo* info, ICD_ScannerOpenSessionPB* block);  // 14
  ICAError (*closeSession)(const ScannerObjectInfo* info,
                           ICD_ScannerCloseSessionPB* block);  // 15
  void (*slot16)();                                            // 16
  ICAError (*getParameters)(const ScannerObjectInfo* info,
                            ICD_ScannerGetParametersPB* block);  // 17
  ICAError (*setParameters)(const ScannerObjectInfo* info,
                            ICD_ScannerSetParametersPB* block);                   // 18
  ICAError (*status)(const ScannerObjectInfo* info, ICD_ScannerStatusPB* block);  // 19
  ICAError (*start)(const ScannerObjectInfo* info, ICD_ScannerStartPB* block);    // 20
  void (*slot21)();                                                               // 21
  ICAError (*openTCPIPDevice)(foundation::Dictionary* parameters,
                              ScannerObjectInfo* info);  // 22
  void (*slot23)();                                      // 23
};
inline constexpr std::size_t kICDScannerCallbackSlots = 24;
static_assert(sizeof(ICD_ScannerCallbackFunctions) == kICDScannerCallbackSlots * sizeof(void*));
static_assert(offsetof(ICD_ScannerCallbackFunctions, closeDevice) == 2 * sizeof(void*));
static_assert(offsetof(ICD_ScannerCallbackFunctions, readFileData) == 8 * sizeof(void*));
static_assert(offsetof(ICD_ScannerCallbackFunctions, sendMessage) == 10 * sizeof(void*));
static_assert(offsetof(ICD_ScannerCallbackFunctions, openFWDevice) == 13 * sizeof(void*));
static_assert(offsetof(ICD_ScannerCallbackFunctions, getParameters) == 17 * sizeof(void*));
static_assert(offsetof(ICD_ScannerCallbackFunctions, start) == 20 * sizeof(void*));
static_assert(offsetof(ICD_ScannerCallbackFunctions, openTCPIPDevice) == 22 * sizeof(void*));

// The framework's globals: the table the module fills, and the module's argument vector.
extern ICD_ScannerCallbackFunctions gICDScannerCallbackFunctions;
extern int gArgc;
extern char** gArgv;

// Serves the host on the channel given by the environment (ICA_CHANNEL_FD, see Channel.h) on the
// calling thread until the host quits or goes away; devices still open then are cleaned up and
// closed through the table. 0 after a host that quit or went away, 1 without a channel.
int ICD_ScannerMain(int argc, char* argv[]);

// Sends the notification in the block's dictionary to the host without waiting. Safe from any
// thread. kICABadParameterErr without a dictionary; -1 when no host is connected.
ICAError ICDSendNotification(ICASendNotificationPB* block);
// Sends and waits for the host's reply, which lands in block->replyCode. Safe from any thread but
// the channel's reader. -1 when no host is connected or it went away before replying.
ICAError ICDSendNotificationAndWaitForReply(ICASendNotificationPB* block);

// ---- notification keys and types ----------------------------------------------------------

inline constexpr const char* kICANotificationICAObjectKey = "ICANotificationICAObjectKey";
inline constexpr const char* kICANotificationTypeKey = "ICANotificationTypeKey";
inline constexpr const char* kICANotificationSubTypeKey = "ICANotificationSubTypeKey";
inline constexpr const char* kICANotificationScannerButtonTypeKey =
    "ICANotificationScannerButtonTypeKey";
inline constexpr const char* kICANotificationScannerDocumentNameKey =
    "ICANotificationScannerDocumentNameKey";
inline constexpr const char* kICANotificationTypeDeviceStatusError =
    "ICANotificationTypeDeviceStatusError";
inline constexpr const char* kICANotificationTypeScannerButtonPressed =
    "ICANotificationTypeScannerButtonPressed";
inline constexpr const char* kICANotificationTypeScanProgressStatus =
    "ICANotificationTypeScanProgressStatus";
inline constexpr const char* kICANotificationTypeScannerPageDone =
    "ICANotificationTypeScannerPageDone";
inline constexpr const char* kICANotificationTypeScannerScanDone =
    "ICANotificationTypeScannerScanDone";
inline constexpr const char* kICANotificationTypeTransactionCanceled =
    "ICANotificationTypeTransactionCanceled";
// Device properties and network parameters.
inline constexpr const char* kICAUserAssignedDeviceNameKey = "ICAUserAssignedDeviceNameKey";
inline constexpr const char* kICABonjourServiceNameKey = "ICABonjourServiceNameKey";

// The framework's raw image format, and the document types the module writes.
inline constexpr const char* kICUTTypeRaw = "com.apple.ica.raw";
inline constexpr const char* kICUTTypeTIFF = "public.tiff";
// The preferred file-name extension of a document type; empty when it has none.
std::string PreferredExtensionForType(const std::string& uti);

// ---- image, band and colour-space helpers ------------------------------------------------------

// Adds the description of a page (or of its rows in dataBuffer, when given) to a notification.
ICAError ICDAddImageInfoToNotificationDictionary(foundation::Dictionary* dict, uint32_t width,
                                                 uint32_t height, uint32_t bytesPerRow,
                                                 uint32_t dataStartRow, uint32_t dataNumberOfRows,
                                                 uint32_t dataSize, const void* dataBuffer);

// The band helper lives in the framework's shared library and is looked up by name
// (kICDBandInfoHelperName), so that a module copes with a framework that lacks it.
using ICDAddBandInfoToNotificationDictionaryProc = ICAError (*)(
    foundation::Dictionary* dict, uint32_t width, uint32_t height, uint32_t bitsPerPixel,
    uint32_t bitsPerComponent, uint32_t numComponents, uint32_t endianness, uint32_t pixelDataType,
    uint32_t bytesPerRow, uint32_t dataStartRow, uint32_t dataNumberOfRows, uint32_t dataSize,
    const void* dataBuffer);
inline constexpr const char* kICDBandInfoHelperName = "ICDAddBandInfoToNotificationDictionary";
// The framework's shared library: $FERROLITE_ICA_FRAMEWORK, else libICADevices.so in ../lib
// from the module program's folder.
std::string ICAFrameworkLibraryPath();

// Colour models as the raw image header numbers them.
enum class ICAColorSpaceModel : uint32_t { monochrome = 0, rgb = 1 };

struct ICAColorSpace {
  ICAColorSpaceModel model;
  uint32_t bitsPerPixel;
  uint32_t samplesPerPixel;
  std::string colorSyncMode;
  std::string profilePath;  // where the profile would be kept; nothing is written there
};
using ICAColorSpaceRef = std::shared_ptr<const ICAColorSpace>;

// One sample is grey, three are RGB; anything else gives nothing.
ICAColorSpaceRef ICDCreateColorSpace(uint32_t bitsPerPixel, uint32_t samplesPerPixel,
                                     uint32_t icaObject, const std::string& colorSyncMode,
                                     const foundation::Data* abstractProfile,
                                     const std::string& profilePath);

// Keys the image and band helpers add to a notification.
inline constexpr const char* kICAImageWidthKey = "width";
inline constexpr const char* kICAImageHeightKey = "height";
inline constexpr const char* kICAImageBytesPerRowKey = "bytesPerRow";
inline constexpr const char* kICAImageDataStartRowKey = "dataStartRow";
inline constexpr const char* kICAImageDataNumberOfRowsKey = "dataNumberOfRows";
inline constexpr const char* kICAImageDataSizeKey = "dataSize";
inline constexpr const char* kICAImageDataKey = "data";
inline constexpr const char* kICABandBitsPerPixelKey = "bitsPerPixel";
inline constexpr const char* kICABandBitsPerComponentKey = "bitsPerComponent";
inline constexpr const char* kICABandNumComponentsKey = "numComponents";
inline constexpr const char* kICABandEndiannessKey = "endianness";
inline constexpr const char* kICABandPixelDataTypeKey = "pixelDataType";
