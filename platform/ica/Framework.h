#pragma once
// The framework's side of the callbacks: the device records it keeps for its host, and the
// translation of one host request into one call of the module's table (on the framework thread).
//
// Requests (key kMsgCall) and their arguments; every response has kMsgResult (the callback's
// 16-bit error, sign-extended):
//   openUSBDevice {locationID}                 -> object, objectInfo (the 116 bytes; no pointer)
//   openFireWireDevice {guid, ioRegPath}       -> object, objectInfo
//   openTCPIPDevice {parameters}               -> object, objectInfo
//   closeDevice, periodicTask, cleanup {object}
//   getObjectInfo {object, index}              -> objectInfo
//   readFileData {object, offset, length}      -> data
//   sendMessage {object, messageType, data}    -> data, dataType, blockResult, blockErr, completed
//   addProperties {object}                     -> properties
//   openSession, closeSession, status, start {object, sessionID}
//   getParameters {object[, dict]}             -> dict
//   setParameters {object[, dict]}             -> dict
// An object the framework does not know reaches the module as a null record; a request without
// a dictionary ("noDict" true) passes a null dictionary pointer.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "platform/foundation/PropertyList.h"
#include "platform/ica/Channel.h"
#include "platform/ica/ICADevices.h"

namespace ica {

inline constexpr const char* kCallOpenUSBDevice = "openUSBDevice";
inline constexpr const char* kCallOpenFireWireDevice = "openFireWireDevice";
inline constexpr const char* kCallOpenTCPIPDevice = "openTCPIPDevice";
inline constexpr const char* kCallCloseDevice = "closeDevice";
inline constexpr const char* kCallPeriodicTask = "periodicTask";
inline constexpr const char* kCallCleanup = "cleanup";
inline constexpr const char* kCallGetObjectInfo = "getObjectInfo";
inline constexpr const char* kCallReadFileData = "readFileData";
inline constexpr const char* kCallSendMessage = "sendMessage";
inline constexpr const char* kCallAddProperties = "addProperties";
inline constexpr const char* kCallOpenSession = "openSession";
inline constexpr const char* kCallCloseSession = "closeSession";
inline constexpr const char* kCallStatus = "status";
inline constexpr const char* kCallGetParameters = "getParameters";
inline constexpr const char* kCallSetParameters = "setParameters";
inline constexpr const char* kCallStart = "start";

inline constexpr const char* kArgObject = "object";
inline constexpr const char* kArgLocationID = "locationID";
inline constexpr const char* kArgGuid = "guid";
inline constexpr const char* kArgIORegPath = "ioRegPath";
inline constexpr const char* kArgParameters = "parameters";
inline constexpr const char* kArgIndex = "index";
inline constexpr const char* kArgOffset = "offset";
inline constexpr const char* kArgLength = "length";
inline constexpr const char* kArgMessageType = "messageType";
inline constexpr const char* kArgData = "data";
inline constexpr const char* kArgSessionID = "sessionID";
inline constexpr const char* kArgDict = "dict";
inline constexpr const char* kArgNoDict = "noDict";
inline constexpr const char* kOutObjectInfo = "objectInfo";
inline constexpr const char* kOutProperties = "properties";
inline constexpr const char* kOutDataType = "dataType";
inline constexpr const char* kOutBlockResult = "blockResult";
inline constexpr const char* kOutBlockErr = "blockErr";
inline constexpr const char* kOutCompleted = "completed";

// The answer to a request whose table slot is empty.
inline constexpr ICAError kICAUnimplementedErr = -4;
// The first icaObject number the framework hands out.
inline constexpr uint32_t kFirstICAObject = 0x1001;

// Where notifications go: the host's channel, or a test's collector.
class NotificationSink {
 public:
  virtual ~NotificationSink() = default;
  virtual bool notify(const foundation::Dictionary& notification) = 0;
  // The host's reply code; nothing when no reply can come.
  virtual std::optional<int32_t> notifyAndWait(const foundation::Dictionary& notification) = 0;
};

// The process's sink (one at a time); null removes it, waiting until no notification is being
// sent to the old one.
void setNotificationSink(NotificationSink* sink);

class Dispatcher {
 public:
  Dispatcher() = default;
  ~Dispatcher();  // closes what is still open
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  // Runs one request on the calling thread (the framework thread): the response, without its
  // message type and id.
  foundation::Dictionary handle(const foundation::Dictionary& request);
  // Cleans up and closes every device still open (as a host that goes away does).
  void closeAll();
  std::size_t openDevices() const { return devices_.size(); }

 private:
  ScannerObjectInfo* record(const foundation::Dictionary& request);
  foundation::Dictionary open(const foundation::Dictionary& request, const std::string& call);

  std::map<uint32_t, std::unique_ptr<ScannerObjectInfo>> devices_;
  uint32_t nextObject_ = kFirstICAObject;
};

// The record's 116 bytes as a host sees them (privateData cleared), and back.
foundation::Data objectInfoBytes(const ScannerObjectInfo& info);
bool objectInfoFromBytes(const foundation::Data& bytes, ScannerObjectInfo* info);

}  // namespace ica
