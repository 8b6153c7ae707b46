#include "platform/ica/Framework.h"

#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "platform/ica/Channel.h"

ICD_ScannerCallbackFunctions gICDScannerCallbackFunctions{};
int gArgc = 0;
char** gArgv = nullptr;

namespace ica {

using foundation::Data;
using foundation::Dictionary;

namespace {

std::shared_mutex gSinkMutex;
NotificationSink* gSink = nullptr;  // guarded by gSinkMutex

constexpr std::size_t kMaxReadLength = 16u << 20;

Dictionary result(ICAError error) {
  Dictionary response;
  response.set(kMsgResult, int64_t(error));
  return response;
}

uint32_t u32(const Dictionary& d, const char* key) { return uint32_t(d.integer(key).valueOr(0)); }

}  // namespace

void setNotificationSink(NotificationSink* sink) {
  std::unique_lock lock(gSinkMutex);
  gSink = sink;
}

Data objectInfoBytes(const ScannerObjectInfo& info) {
  ScannerObjectInfo copy = info;
  copy.privateData = nullptr;
  const auto* bytes = reinterpret_cast<const uint8_t*>(&copy);
  return Data(bytes, bytes + sizeof copy);
}

bool objectInfoFromBytes(const Data& bytes, ScannerObjectInfo* info) {
  if (bytes.size() != sizeof(ScannerObjectInfo)) return false;
  std::memcpy(info, bytes.data(), sizeof(ScannerObjectInfo));
  return true;
}

Dispatcher::~Dispatcher() { closeAll(); }

void Dispatcher::closeAll() {
  const auto& table = gICDScannerCallbackFunctions;
  while (!devices_.empty()) {
    auto node = devices_.extract(devices_.begin());
    ScannerObjectInfo* info = node.mapped().get();
    if (table.cleanup) table.cleanup(info);
    if (table.closeDevice) table.closeDevice(info);
  }
}

ScannerObjectInfo* Dispatcher::record(const Dictionary& request) {
  auto it = devices_.find(u32(request, kArgObject));
  return it == devices_.end() ? nullptr : it->second.get();
}

Dictionary Dispatcher::open(const Dictionary& request, const std::string& call) {
  const auto& table = gICDScannerCallbackFunctions;
  auto info = std::make_unique<ScannerObjectInfo>();
  std::memset(info.get(), 0, sizeof(ScannerObjectInfo));
  info->icaObject = nextObject_++;
  ICAError error = kICAUnimplementedErr;
  if (call == kCallOpenUSBDevice) {
    if (table.openUSBDevice) error = table.openUSBDevice(u32(request, kArgLocationID), info.get());
  } else if (call == kCallOpenFireWireDevice) {
    std::string path = request.string(kArgIORegPath).valueOr("");
    if (table.openFWDevice)
      error = table.openFWDevice(uint64_t(request.integer(kArgGuid).valueOr(0)), path.c_str(),
                                 info.get());
  } else {
    Dictionary parameters = request.dictionary(kArgParameters).valueOr(Dictionary{});
    if (table.openTCPIPDevice) error = table.openTCPIPDevice(&parameters, info.get());
  }
  Dictionary response = result(error);
  if (error == kICANoErr) {
    response.set(kArgObject, int64_t(info->icaObject));
    response.set(kOutObjectInfo, objectInfoBytes(*info));
    devices_.emplace(info->icaObject, std::move(info));
  }
  return response;
}

Dictionary Dispatcher::handle(const Dictionary& request) {
  const auto& table = gICDScannerCallbackFunctions;
  std::string call = request.string(kMsgCall).valueOr("");
  if (call == kCallOpenUSBDevice || call == kCallOpenFireWireDevice || call == kCallOpenTCPIPDevice)
    return open(request, call);

  ScannerObjectInfo* info = record(request);
  if (call == kCallCloseDevice) {
    if (!table.closeDevice) return result(kICAUnimplementedErr);
    ICAError error = table.closeDevice(info);
    if (error == kICANoErr && info) devices_.erase(info->icaObject);
    return result(error);
  }
  if (call == kCallPeriodicTask)
    return result(table.periodicTask ? table.periodicTask(info) : kICAUnimplementedErr);
  if (call == kCallCleanup)
    return result(table.cleanup ? table.cleanup(info) : kICAUnimplementedErr);
  if (call == kCallGetObjectInfo) {
    if (!table.getObjectInfo) return result(kICAUnimplementedErr);
    ScannerObjectInfo out{};
    ICAError error = table.getObjectInfo(info, u32(request, kArgIndex), &out);
    Dictionary response = result(error);
    if (error == kICANoErr) response.set(kOutObjectInfo, objectInfoBytes(out));
    return response;
  }
  if (call == kCallReadFileData) {
    if (!table.readFileData) return result(kICAUnimplementedErr);
    uint32_t length = u32(request, kArgLength);
    if (length > kMaxReadLength) return result(kICABadParameterErr);
    std::vector<char> buffer(length);
    ICAError error = table.readFileData(info, 0, buffer.data(), u32(request, kArgOffset), &length);
    Dictionary response = result(error);
    if (length > buffer.size()) length = uint32_t(buffer.size());
    response.set(kArgData, Data(buffer.begin(), buffer.begin() + length));
    return response;
  }
  if (call == kCallSendMessage) {
    if (!table.sendMessage) return result(kICAUnimplementedErr);
    Data data = request.data(kArgData).valueOr(Data{});
    std::string type = request.string(kArgMessageType).valueOr("");
    ICD_ScannerSendMessagePB block{};
    if (info) block.object = info->icaObject;
    if (type.size() == 4) {
      char code[5] = {type[0], type[1], type[2], type[3], 0};
      block.message.messageType = FourCharCode(code);
    }
    block.message.dataPtr = data.empty() ? nullptr : data.data();
    block.message.dataSize = uint32_t(data.size());
    static thread_local bool completed;
    completed = false;
    ICAError error =
        table.sendMessage(info, &block, [](ICD_ScannerSendMessagePB*) { completed = true; });
    Dictionary response = result(error);
    response.set(kArgData, data);
    response.set(kOutDataType, int64_t(block.message.dataType));
    response.set(kOutBlockResult, int64_t(int32_t(block.result)));
    response.set(kOutBlockErr, int64_t(block.header.err));
    response.set(kOutCompleted, completed);
    return response;
  }
  if (call == kCallAddProperties) {
    if (!table.addPropertiesToCFDictionary) return result(kICAUnimplementedErr);
    Dictionary properties;
    Dictionary response = result(table.addPropertiesToCFDictionary(info, &properties));
    response.set(kOutProperties, std::move(properties));
    return response;
  }
  if (call == kCallGetParameters || call == kCallSetParameters) {
    auto slot = call == kCallGetParameters ? table.getParameters : table.setParameters;
    if (!slot) return result(kICAUnimplementedErr);
    Dictionary dict = request.dictionary(kArgDict).valueOr(Dictionary{});
    ICD_ScannerGetParametersPB block{};
    if (info) block.object = info->icaObject;
    block.sessionID = u32(request, kArgSessionID);
    block.theDict = request.boolean(kArgNoDict).valueOr(false) ? nullptr : &dict;
    Dictionary response = result(slot(info, &block));
    response.set(kArgDict, std::move(dict));
    return response;
  }
  using SessionSlot = ICAError (*)(const ScannerObjectInfo*, ICD_ScannerSessionPB*);
  SessionSlot slot = nullptr;
  if (call == kCallOpenSession)
    slot = table.openSession;
  else if (call == kCallCloseSession)
    slot = table.closeSession;
  else if (call == kCallStatus)
    slot = table.status;
  else if (call == kCallStart)
    slot = table.start;
  else
    return result(kICABadParameterErr);
  if (!slot) return result(kICAUnimplementedErr);
  ICD_ScannerSessionPB block{};
  if (info) block.object = info->icaObject;
  block.sessionID = u32(request, kArgSessionID);
  return result(slot(info, &block));
}

}  // namespace ica

ICAError ICDSendNotification(ICASendNotificationPB* block) {
  if (!block || !block->notificationDictionary) return kICABadParameterErr;
  std::shared_lock lock(ica::gSinkMutex);
  if (!ica::gSink) return -1;
  return ica::gSink->notify(*block->notificationDictionary) ? kICANoErr : ICAError(-1);
}

ICAError ICDSendNotificationAndWaitForReply(ICASendNotificationPB* block) {
  if (!block || !block->notificationDictionary) return kICABadParameterErr;
  std::shared_lock lock(ica::gSinkMutex);
  if (!ica::gSink) return -1;
  std::optional<int32_t> reply = ica::gSink->notifyAndWait(*block->notificationDictionary);
  if (!reply) return -1;
  block->replyCode = *reply;
  return kICANoErr;
}

std::string FourCharText(uint32_t code) {
  std::string text(4, '?');
  for (int i = 0; i < 4; ++i) {
    char c = char(code >> (8 * (3 - i)));
    if (c >= 0x20 && c < 0x7F) text[i] = c;
  }
  return text;
}
