// ica-scan: an Image Capture host for the module program ferrolite-scanner. It lists the USB
// registry by location id, and opens one scanner through the module to describe it and set its
// scan parameters, printing every notification the module sends in a readable line.
//
//   ica-scan -L                         location ids and USB ids of the devices on the bus
//   ica-scan -o LOCATION [options]      open the scanner at LOCATION (hex or decimal) and describe
//   it
//     --set KEY=VALUE                   a functional-unit setting ({KEY: {value: VALUE}}),
//     repeatable
//     --unit N                          select the functional unit N first (0 flatbed, 3 feeder)
//     --message CODE                    send a message ("btn?", "area", "del1")
//   --module PATH    the module program (default: ferrolite-scanner beside ica-scan)
//   --resources DIR  the module's resource folder (default: $FERROLITE_SCANNER_RESOURCES, else
//                    ../lib/ferrolite-scanner/Resources from ica-scan's folder when it exists)
//
// Exit status: 0 done, 1 a callback failed, 2 usage error, 3 the module cannot be started.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/foundation/Resources.h"
#include "platform/ica/Framework.h"
#include "platform/ica/HostConnection.h"
#include "platform/usb/UsbRegistry.h"

namespace {

using foundation::Dictionary;
using foundation::Value;

constexpr int kOk = 0, kFailed = 1, kUsage = 2, kNoModule = 3;
constexpr const char* kResourcesVariable = "FERROLITE_SCANNER_RESOURCES";

std::filesystem::path ownFolder() {
  auto folder = foundation::folderOfLoadedObject(reinterpret_cast<const void*>(&ownFolder));
  return folder ? *folder : std::filesystem::path(".");
}

int usage(const char* why) {
  if (why) std::fprintf(stderr, "ica-scan: %s\n", why);
  std::fprintf(stderr,
               "usage: ica-scan -L\n"
               "       ica-scan -o LOCATION [--unit N] [--set KEY=VALUE]... [--message CODE]\n"
               "                [--module PATH] [--resources DIR]\n");
  return kUsage;
}

bool parseNumber(const std::string& text, int64_t* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtoll(text.c_str(), &end, 0);
  return *end == '\0';
}

std::string describe(const Value& value);

std::string describeArray(const foundation::Array& items) {
  std::string text = "[";
  for (std::size_t i = 0; i < items.size(); ++i) text += (i ? ", " : "") + describe(items[i]);
  return text + "]";
}

std::string describe(const Value& value) {
  switch (value.kind()) {
    case foundation::Kind::string:
      return *value.string();
    case foundation::Kind::array:
      return describeArray(*value.array());
    case foundation::Kind::dictionary: {
      std::string text = "{";
      bool first = true;
      for (const auto& [key, item] : *value.dictionary()) {
        text += (first ? "" : ", ") + key + ": " + describe(item);
        first = false;
      }
      return text + "}";
    }
    case foundation::Kind::data:
      return std::to_string(value.data()->size()) + " bytes";
    case foundation::Kind::real:
      return std::to_string(*value.real());
    default:
      return std::to_string(value.integer().valueOr(0));
  }
}

void printNotification(const Dictionary& n) {
  std::printf("notification: %s\n", describe(Value(n)).c_str());
}

struct Host {
  std::unique_ptr<ica::HostConnection> connection;
  uint32_t object = 0;

  // One request; prints a failed result. Nothing when the module went away.
  std::optional<Dictionary> call(const char* name, Dictionary request = {}) {
    request.set(ica::kMsgCall, name);
    if (object) request.set(ica::kArgObject, object);
    auto response = connection->call(request);
    for (const Dictionary& n : connection->takeNotifications()) printNotification(n);
    if (!response) {
      std::fprintf(stderr, "ica-scan: %s: %s\n", name, response.error().c_str());
      return std::nullopt;
    }
    int64_t result = response->integer(ica::kMsgResult).valueOr(0);
    if (result != 0) std::printf("%s: error %lld\n", name, static_cast<long long>(result));
    return *response;
  }
};

int listRegistry() {
  std::vector<usbhost::RegistryEntry> entries;
  if (usbhost::ListRegistry(&entries) != usbhost::kUsbSuccess) {
    std::fprintf(stderr, "ica-scan: the USB registry cannot be read %s\n", usbhost::HostError());
    return kFailed;
  }
  for (const auto& e : entries)
    std::printf("location 0x%08X  usb %04X:%04X\n", e.locationID, e.idVendor, e.idProduct);
  return kOk;
}

bool ok(const std::optional<Dictionary>& response) {
  return response && response->integer(ica::kMsgResult).valueOr(-1) == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool list = false;
  std::optional<uint32_t> location;
  std::optional<int64_t> unit;
  std::vector<std::pair<std::string, int64_t>> settings;
  std::vector<std::string> messages;
  std::string module = (ownFolder() / "ferrolite-scanner").string();
  std::string resources;
  if (const char* forced = std::getenv(kResourcesVariable); forced && *forced) resources = forced;
  if (resources.empty()) {
    auto built = (ownFolder() / "../lib/ferrolite-scanner/Resources").lexically_normal();
    std::error_code ec;
    if (std::filesystem::is_directory(built, ec)) resources = built.string();
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
    if (a == "-L") {
      list = true;
    } else if (a == "-o") {
      const std::string* v = value();
      int64_t n = 0;
      if (!v || !parseNumber(*v, &n) || n < 0 || n > 0xFFFFFFFFll) return usage("bad location");
      location = uint32_t(n);
    } else if (a == "--unit") {
      const std::string* v = value();
      int64_t n = 0;
      if (!v || !parseNumber(*v, &n)) return usage("bad unit");
      unit = n;
    } else if (a == "--set") {
      const std::string* v = value();
      auto eq = v ? v->find('=') : std::string::npos;
      int64_t n = 0;
      if (eq == std::string::npos || !parseNumber(v->substr(eq + 1), &n))
        return usage("--set takes KEY=NUMBER");
      settings.emplace_back(v->substr(0, eq), n);
    } else if (a == "--message") {
      const std::string* v = value();
      if (!v || v->size() != 4) return usage("a message is four characters");
      messages.push_back(*v);
    } else if (a == "--module") {
      const std::string* v = value();
      if (!v) return usage("--module takes a path");
      module = *v;
    } else if (a == "--resources") {
      const std::string* v = value();
      if (!v) return usage("--resources takes a folder");
      resources = *v;
    } else if (a == "--help" || a == "-h") {
      usage(nullptr);
      return kOk;
    } else {
      return usage(("unknown argument " + a).c_str());
    }
  }
  if (list == location.has_value()) return usage("give -L or -o LOCATION");
  if (list) return listRegistry();

  std::vector<std::string> environment;
  if (!resources.empty()) environment.push_back(std::string(kResourcesVariable) + "=" + resources);
  auto started = ica::HostConnection::start(module, {}, environment);
  if (!started) {
    std::fprintf(stderr, "ica-scan: %s\n", started.error().c_str());
    return kNoModule;
  }
  Host host{std::move(*started)};
  Dictionary open;
  open.set(ica::kArgLocationID, *location);
  auto opened = host.call(ica::kCallOpenUSBDevice, open);
  if (!ok(opened)) {
    std::printf("location 0x%08X: not opened\n", *location);
    return kFailed;
  }
  host.object = uint32_t(opened->integer(ica::kArgObject).valueOr(0));
  ScannerObjectInfo info{};
  ica::objectInfoFromBytes(opened->data(ica::kOutObjectInfo).valueOr({}), &info);
  std::printf("device 0x%08X at location 0x%08X: %s (%s)\n", info.icaObject, *location, info.name,
              info.creationDate);
  int status = kOk;
  if (auto properties = host.call(ica::kCallAddProperties); ok(properties))
    std::printf("properties: %s\n",
                describe(Value(properties->dictionary(ica::kOutProperties).valueOr({}))).c_str());
  if (!ok(host.call(ica::kCallOpenSession))) status = kFailed;
  if (unit || !settings.empty()) {
    Dictionary area;
    if (unit) {
      area.set("selectedFunctionalUnitType", *unit);
      Dictionary select, request;
      select.set("userScanArea", area);
      request.set(ica::kArgDict, select);
      if (!ok(host.call(ica::kCallSetParameters, request))) status = kFailed;
      area = Dictionary{};
    }
    if (!settings.empty()) {
      for (const auto& [key, number] : settings) area.ensureDictionary(key).set("value", number);
      Dictionary dict, request;
      dict.set("userScanArea", area);
      request.set(ica::kArgDict, dict);
      if (!ok(host.call(ica::kCallSetParameters, request))) status = kFailed;
    }
  }
  if (auto parameters = host.call(ica::kCallGetParameters); ok(parameters)) {
    Dictionary dict = parameters->dictionary(ica::kArgDict).valueOr({});
    auto device = dict.dictionary("device");
    if (device && !device->empty()) {
      for (const auto& [key, value] : *device)
        std::printf("  %s: %s\n", key.c_str(), describe(value).c_str());
    } else {
      std::printf("  no functional unit selected\n");
    }
  } else {
    status = kFailed;
  }
  for (const std::string& code : messages) {
    Dictionary message;
    message.set(ica::kArgMessageType, code);
    if (code == "btn?") message.set(ica::kArgData, foundation::Data(4, 0));
    auto answered = host.call(ica::kCallSendMessage, message);
    if (!answered) {
      status = kFailed;
      continue;
    }
    std::printf(
        "message %s: result %lld, value 0x%08llX\n", code.c_str(),
        static_cast<long long>(answered->integer(ica::kMsgResult).valueOr(0)),
        static_cast<unsigned long long>(uint32_t(answered->integer(ica::kOutDataType).valueOr(0))));
  }
  host.call(ica::kCallCloseSession);
  host.call(ica::kCallCleanup);
  host.call(ica::kCallCloseDevice);
  host.object = 0;
  int exit = host.connection->finish();
  for (const Dictionary& n : host.connection->takeNotifications()) printNotification(n);
  if (exit != 0) {
    std::fprintf(stderr, "ica-scan: the module ended with %d\n", exit);
    return kFailed;
  }
  return status;
}
