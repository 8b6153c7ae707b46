#include "ica/ModuleEntry.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <variant>

#include "ica/KR_ICA_Mark2_200.h"
#include "ica/ModuleResources.h"
#include "platform/foundation/SystemLog.h"
#include "platform/ica/Channel.h"
#include "platform/usb/UsbRegistry.h"

namespace icamodule {

using foundation::LogLevel;
using foundation::systemLogf;

namespace {

// USB location id, FireWire GUID or network service name.
using ScannerKey = std::variant<uint32_t, uint64_t, std::string>;
using ScannersDictionary = std::map<ScannerKey, std::unique_ptr<ICA_Base>>;

std::mutex gScannersMutex;
ScannersDictionary* gScannersDictionary = nullptr;  // guarded by gScannersMutex

constexpr std::size_t kNameCapacity = 32;
constexpr std::size_t kDateCapacity = 20;
constexpr const char* kDateFormat = "%Y:%m:%d %H:%M:%S";
constexpr const char* kNoDate = "0000:00:00 00:00:00";
constexpr std::size_t kDebugArgumentBuffer = 256;

// One line on entry and one on exit of a callback.
class CallbackLog {
 public:
  explicit CallbackLog(const char* name) : name_(name) {
    systemLogf(LogLevel::notice, "--> %s\n", name_);
  }
  ~CallbackLog() {
    if (name_) systemLogf(LogLevel::notice, "<-- %s\n", name_);
  }
  void skipExit() { name_ = nullptr; }

 private:
  const char* name_;
};

ICA_Base* deviceOf(const ScannerObjectInfo* info) {
  return info ? static_cast<ICA_Base*>(info->privateData) : nullptr;
}

bool isOpen(const ScannerKey& key) {
  std::lock_guard lock(gScannersMutex);
  return gScannersDictionary && gScannersDictionary->count(key);
}

void store(const ScannerKey& key, std::unique_ptr<ICA_Base> object) {
  std::lock_guard lock(gScannersMutex);
  if (gScannersDictionary) (*gScannersDictionary)[key] = std::move(object);
}

// The record of a newly opened device.
void fillObjectInfo(ScannerObjectInfo* info, ICA_Base* object) {
  info->privateData = object;
  info->flags = 0;
  info->thumbnailSize = 1;
  info->dataSize = 0;
  info->icaObjectInfo.objectType = kICADeviceType;
  info->icaObjectInfo.objectSubtype = kICADeviceScanner;
  std::string name = object->name();
  std::size_t n = std::min(name.size(), kNameCapacity - 1);
  // Whole characters only.
  while (n > 0 && n < name.size() && (uint8_t(name[n]) & 0xC0) == 0x80) --n;
  std::memset(info->name, 0, sizeof info->name);
  std::memcpy(info->name, name.data(), n);
  std::memset(info->creationDate, 0, sizeof info->creationDate);
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (!localtime_r(&now, &local) ||
      std::strftime(info->creationDate, kDateCapacity, kDateFormat, &local) == 0)
    std::memcpy(info->creationDate, kNoDate, std::strlen(kNoDate) + 1);
  object->setDeviceObjectInfo(info);
}

bool parseHex(const std::string& text, unsigned long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtoul(text.c_str(), &end, 16);
  return end && *end == '\0';
}

// ---- the callbacks ----------------------------------------------------------------------------

ICAError OpenUSBDevice(uint32_t locationID, ScannerObjectInfo* info) {
  CallbackLog log("_ICD_ScannerOpenUSBDevice");
  if (!info || isOpen(ScannerKey(locationID))) return kICABadParameterErr;
  std::unique_ptr<ICA_Base> object = findScannerModuleByUSBLocationID(locationID);
  if (!object) return kICABadParameterErr;
  ICA_Base* device = object.get();
  fillObjectInfo(info, device);
  store(ScannerKey(locationID), std::move(object));
  device->startButtonEvent();
  return kICANoErr;
}

ICAError OpenFWDevice(uint64_t guid, const char* ioRegPath, ScannerObjectInfo* info) {
  CallbackLog log("_ICD_ScannerOpenFWDevice");
  if (!info || isOpen(ScannerKey(guid))) return kICABadParameterErr;
  auto object = std::make_unique<KR_ICA_Mark2_200>();
  object->initWithGUID(guid, ioRegPath ? ioRegPath : "");
  fillObjectInfo(info, object.get());
  store(ScannerKey(guid), std::move(object));
  return kICANoErr;
}

ICAError OpenTCPIPDevice(foundation::Dictionary* parameters, ScannerObjectInfo* info) {
  CallbackLog log("_ICD_ScannerOpenTCPIPDevice");
  if (!info || !parameters) return kICABadParameterErr;
  auto service = parameters->string(kICABonjourServiceNameKey);
  if (!service || isOpen(ScannerKey(*service))) return kICABadParameterErr;
  auto object = std::make_unique<KR_ICA_Mark2_200>();
  object->initWithParameters(*parameters);
  fillObjectInfo(info, object.get());
  store(ScannerKey(*service), std::move(object));
  return kICANoErr;
}

ICAError CloseDevice(ScannerObjectInfo* info) {
  ICA_Base* object = deviceOf(info);
  if (!object) return kICABadParameterErr;
  std::unique_ptr<ICA_Base> released;
  {
    std::lock_guard lock(gScannersMutex);
    if (gScannersDictionary) {
      std::optional<ScannerKey> key;
      if (object->usbLocationID() != 0) {
        key = object->usbLocationID();
      } else if (object->networkParams()) {
        key = object->networkParams()->string(kICABonjourServiceNameKey).valueOr("");
      } else {
        key = object->fireWireGUID();
      }
      auto it = gScannersDictionary->find(*key);
      if (it != gScannersDictionary->end() && it->second.get() == object) {
        released = std::move(it->second);
        gScannersDictionary->erase(it);
      }
    }
  }
  info->privateData = nullptr;
  released.reset();  // outside the lock: the object joins its threads
  return kICANoErr;
}

ICAError PeriodicTask(ScannerObjectInfo* info) {
  return deviceOf(info) ? kICANoErr : kICABadParameterErr;
}

ICAError GetObjectInfo(const ScannerObjectInfo* parent, uint32_t index, ScannerObjectInfo* info) {
  CallbackLog log("_ICD_ScannerGetObjectInfo");
  ICA_Base* object = deviceOf(parent);
  if (!object || parent->icaObjectInfo.objectType != kICADeviceType) return kICABadParameterErr;
  if (index >= object->numberOfScannedImages()) {
    log.skipExit();
    return kICANoSuchObjectErr;
  }
  return object->updateObjectInfo(info, index);
}

ICAError Cleanup(ScannerObjectInfo* info) {
  if (ICA_Base* object = deviceOf(info)) object->cleanUp();
  return kICANoErr;
}

ICAError ReadFileData(const ScannerObjectInfo* info, uint32_t, char* buffer, uint32_t offset,
                      uint32_t* length) {
  CallbackLog log("_ICD_ScannerReadFileData");
  if (ICA_Base* object = deviceOf(info); object && length)
    object->readFileDataWithObjectInfo(info, buffer, offset, *length);
  return kICANoErr;
}

ICAError SendMessage(const ScannerObjectInfo* info, ICD_ScannerSendMessagePB* block,
                     ICDCompletion completion) {
  CallbackLog log("_ICD_ScannerSendMessage");
  ICA_Base* object = deviceOf(info);
  if (!block) return kICABadParameterErr;
  ICAError result = kICABadParameterErr;
  if (object) {
    switch (block->message.messageType) {
      case kICAMessageArea:
        result = kICANoErr;
        break;
      case kICAMessageButtonQuery:
        if (info->icaObjectInfo.objectType == kICADeviceType && block->message.dataPtr &&
            block->message.dataSize == sizeof(uint32_t)) {
          uint32_t button = object->lastButtonPressed();
          std::memcpy(block->message.dataPtr, &button, sizeof button);
          block->message.dataType = button;
          result = kICANoErr;
        }
        break;
      case kICAMessageDeleteOne:
        result = object->removeObject(info);
        break;
      default:
        block->result = uint32_t(int32_t(kICABadParameterErr));
        break;
    }
  }
  block->header.err = result;
  if (result != kICANoErr)
    systemLogf(LogLevel::notice, "    _ICD_ScannerSendMessage error %d occured.\n", int(result));
  if (result == kICANoErr && completion) completion(block);
  return result;
}

ICAError AddPropertiesToCFDictionary(ScannerObjectInfo* info, foundation::Dictionary* dict) {
  ICA_Base* object = deviceOf(info);
  if (!object) return kICABadParameterErr;
  object->addPropertiesToDictionary(dict);
  return kICANoErr;
}

template <class Block>
ICAError forward(const char* name, const ScannerObjectInfo* info, Block* block,
                 ICAError (ICA_Base::*method)(Block*)) {
  CallbackLog log(name);
  ICA_Base* object = deviceOf(info);
  return object ? (object->*method)(block) : kICABadParameterErr;
}

ICAError OpenSession(const ScannerObjectInfo* info, ICD_ScannerOpenSessionPB* block) {
  return forward("_ICD_ScannerOpenSession", info, block, &ICA_Base::openSessionWithParams);
}
ICAError CloseSession(const ScannerObjectInfo* info, ICD_ScannerCloseSessionPB* block) {
  return forward("_ICD_ScannerCloseSession", info, block, &ICA_Base::closeSessionWithParams);
}
ICAError GetParameters(const ScannerObjectInfo* info, ICD_ScannerGetParametersPB* block) {
  return forward("_ICD_ScannerGetParameters", info, block,
                 &ICA_Base::getSelectedFunctionalUnitParams);
}
ICAError SetParameters(const ScannerObjectInfo* info, ICD_ScannerSetParametersPB* block) {
  return forward("_ICD_ScannerSetParameters", info, block,
                 &ICA_Base::setSelectedFunctionalUnitParams);
}
ICAError Status(const ScannerObjectInfo*, ICD_ScannerStatusPB*) {
  CallbackLog log("_ICD_ScannerStatus");
  return kICANoErr;
}
ICAError Start(const ScannerObjectInfo* info, ICD_ScannerStartPB* block) {
  return forward("_ICD_ScannerScannerStart", info, block, &ICA_Base::startScanningWithParams);
}

}  // namespace

std::unique_ptr<ICA_Base> findScannerModuleByUSBLocationID(uint32_t locationID) {
  uint16_t vid = 0, pid = 0;
  if (!usbhost::DeviceIdsByLocationID(locationID, &vid, &pid)) return nullptr;
  const std::filesystem::path folder = resourceFolder();
  auto list = foundation::readDictionaryFile(folder / kDeviceListFile);
  if (!list) return nullptr;
  std::string baseName;
  for (const auto& [vendorKey, vendorValue] : *list) {
    unsigned long vendor = 0;
    auto products = vendorValue.dictionary();
    if (!parseHex(vendorKey, &vendor) || vendor != vid || !products) continue;
    for (const auto& [productKey, productValue] : *products) {
      unsigned long product = 0;
      if (parseHex(productKey, &product) && product == pid) {
        baseName = productValue.string().valueOr("");
        break;
      }
    }
    break;  // the first matching vendor entry decides
  }
  if (baseName.empty()) return nullptr;
  std::filesystem::path library = folder / (baseName + kLibraryExtension);
  std::error_code ec;
  if (!std::filesystem::exists(library, ec)) {
    systemLogf(LogLevel::notice, "%s not found\n", library.c_str());
    return nullptr;
  }
  auto object = std::make_unique<Ferrolite>();
  if (!object->initWithDriverName(baseName, locationID)) return nullptr;
  return object;
}

void InstallScannerCallbacks() {
  auto& table = gICDScannerCallbackFunctions;
  table.openUSBDevice = OpenUSBDevice;
  table.closeDevice = CloseDevice;
  table.periodicTask = PeriodicTask;
  table.getObjectInfo = GetObjectInfo;
  table.cleanup = Cleanup;
  table.slot6 = nullptr;
  table.slot7 = nullptr;
  table.readFileData = ReadFileData;
  table.slot9 = nullptr;
  table.sendMessage = SendMessage;
  table.addPropertiesToCFDictionary = AddPropertiesToCFDictionary;
  table.openFWDevice = OpenFWDevice;
  table.openSession = OpenSession;
  table.closeSession = CloseSession;
  table.slot16 = nullptr;
  table.getParameters = GetParameters;
  table.setParameters = SetParameters;
  table.status = Status;
  table.start = Start;
  table.openTCPIPDevice = OpenTCPIPDevice;
  table.slot23 = nullptr;
}

void CreateScannersDictionary() {
  std::lock_guard lock(gScannersMutex);
  if (!gScannersDictionary) gScannersDictionary = new ScannersDictionary;
}

void ReleaseScannersDictionary() {
  ScannersDictionary* released;
  {
    std::lock_guard lock(gScannersMutex);
    released = gScannersDictionary;
    gScannersDictionary = nullptr;
  }
  delete released;
}

ICA_Base* OpenScanner(uint32_t locationID) {
  std::lock_guard lock(gScannersMutex);
  if (!gScannersDictionary) return nullptr;
  auto it = gScannersDictionary->find(ScannerKey(locationID));
  return it == gScannersDictionary->end() ? nullptr : it->second.get();
}

std::size_t OpenScannerCount() {
  std::lock_guard lock(gScannersMutex);
  return gScannersDictionary ? gScannersDictionary->size() : 0;
}

void ReadModuleOptions(int argc, char* argv[]) {
  static char* arguments[3] = {};
  static std::string debugCopy;
  int option;
  opterr = 0;  // other options are not ours to judge
  optind = 1;
  while ((option = getopt(argc, argv, "d:")) != -1) {
    if (option != 'd') continue;
    char buffer[kDebugArgumentBuffer] = {};
    std::strncpy(buffer, optarg, kDebugArgumentMax);
    debugCopy = buffer;
    arguments[0] = argv[0];
    arguments[1] = debugCopy.data();
    gArgc = 2;
    gArgv = arguments;
  }
}

// What the program is and how it is started, for a person who runs it by hand.
void PrintHowItIsStarted(std::FILE* to) {
  std::fprintf(to,
               "usage: ferrolite-scanner [-d DEBUG]\n"
               "The Image Capture device module of the Ferrolite scanners. An Image Capture host\n"
               "starts it and talks to it over the channel that %s names; it does\n"
               "nothing run by hand. To scan through it, run a host, e.g. this build's ica-scan:\n"
               "  ica-scan -L                          # the scanners' location ids\n"
               "  ica-scan -o LOCATION --scan ...      # ica-scan --help tells the rest\n",
               ica::kChannelFdVariable);
}

int FerroliteScannerMain(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintHowItIsStarted(stdout);
      return 0;
    }
  }
  if (std::getenv(ica::kChannelFdVariable) == nullptr) {
    std::fprintf(stderr, "ferrolite-scanner: no host started this program (no %s)\n",
                 ica::kChannelFdVariable);
    PrintHowItIsStarted(stderr);
    return 1;
  }
  ReadModuleOptions(argc, argv);
  InstallScannerCallbacks();
  CreateScannersDictionary();
  int result = ICD_ScannerMain(argc, argv);
  ReleaseScannersDictionary();
  return result;
}

}  // namespace icamodule
