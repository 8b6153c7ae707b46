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
//   ica-scan -o LOCATION --scan [scan options]   scan from the feeder through the module
//     --source front|duplex             one side or both (default front)
//     --resolution DPI                  default 300
//     --mode lineart|grey|colour        default grey (lineart pages are packed to 1 bit)
//     --crop on|off                     the module's automatic crop (default: as last time)
//     --size WxH                        the page in inches (default 8.5x11; ignored when cropping)
//     --format tiff|jpeg|png|raw        the document files' kind (default tiff)
//     --folder DIR                      where the documents go (default: the current folder)
//     --name NAME                       the documents' name (default "scan": scan.tiff,
//     scan 1.tiff)
//     --bands [BYTES]                   receive the pages in bands instead (the module's band
//                                       size when none is given)
//     --cancel-after N                  answer the N-th progress notification with a cancel
//   --module PATH    the module program (default: ferrolite-scanner beside ica-scan)
//   --resources DIR  the module's resource folder (default: $FERROLITE_SCANNER_RESOURCES, else
//                    ../lib/ferrolite-scanner/Resources from ica-scan's folder when it exists)
//
// Each notification is printed as one readable line as it arrives ("page 1 done: ./scan.tiff").
// Exit status: 0 done, 1 a callback failed (a scan that failed or found no paper too), 2 usage
// error, 3 the module cannot be started.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
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
constexpr int64_t kFeederUnit = 3;

std::filesystem::path ownFolder() {
  auto folder = foundation::folderOfLoadedObject(reinterpret_cast<const void*>(&ownFolder));
  return folder ? *folder : std::filesystem::path(".");
}

void printUsage(std::FILE* to) {
  std::fprintf(to,
               "usage: ica-scan -L\n"
               "       ica-scan -o LOCATION [--unit N] [--set KEY=VALUE]... [--message CODE]\n"
               "                [--module PATH] [--resources DIR]\n"
               "       ica-scan -o LOCATION --scan [--source front|duplex] [--resolution DPI]\n"
               "                [--mode lineart|grey|colour] [--crop on|off] [--size WxH]\n"
               "                [--format tiff|jpeg|png|raw] [--folder DIR] [--name NAME]\n"
               "                [--bands [BYTES]] [--cancel-after N]\n");
}

int usage(const char* why) {
  std::fprintf(stderr, "ica-scan: %s\n", why);
  printUsage(stderr);
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

long long number(const Dictionary& n, const char* key) {
  return static_cast<long long>(n.integer(key).valueOr(0));
}

std::mutex gPrinting;  // one line at a time, in the order the lines were taken
int gPagesDone = 0;

// One readable line per notification.
void printNotification(const Dictionary& n) {
  std::lock_guard lock(gPrinting);
  const std::string type = n.string(kICANotificationTypeKey).valueOr("");
  if (type == kICANotificationTypeScanProgressStatus && n.contains(kICAImageDataKey)) {
    std::printf("band: rows %lld-%lld of %lldx%lld, %lld bits a pixel, %lld bytes a row\n",
                number(n, kICAImageDataStartRowKey),
                number(n, kICAImageDataStartRowKey) + number(n, kICAImageDataNumberOfRowsKey) - 1,
                number(n, kICAImageWidthKey), number(n, kICAImageHeightKey),
                number(n, kICABandBitsPerPixelKey), number(n, kICAImageBytesPerRowKey));
  } else if (type == kICANotificationTypeScanProgressStatus) {
    std::printf("page image: %lldx%lld, %lld bytes a row\n", number(n, kICAImageWidthKey),
                number(n, kICAImageHeightKey), number(n, kICAImageBytesPerRowKey));
  } else if (type == kICANotificationTypeScannerPageDone) {
    auto document = n.string(kICANotificationScannerDocumentNameKey);
    if (document) {
      std::printf("page %d done: %s\n", ++gPagesDone, document->c_str());
    } else {
      std::printf("page %d done\n", ++gPagesDone);
    }
  } else if (type == kICANotificationTypeScannerScanDone) {
    std::printf("scan done\n");
  } else if (type == kICANotificationTypeTransactionCanceled) {
    std::printf("scan cancelled\n");
  } else if (type == kICANotificationTypeDeviceStatusError) {
    std::printf("scanner error: %s\n", n.string(kICANotificationSubTypeKey).valueOr("").c_str());
  } else {
    std::printf("notification: %s\n", describe(Value(n)).c_str());
  }
  std::fflush(stdout);
}

struct Host {
  std::unique_ptr<ica::HostConnection> connection;
  uint32_t object = 0;

  void printNotifications() {
    for (const Dictionary& n : connection->takeNotifications()) printNotification(n);
  }

  // One request; prints a failed result. Nothing when the module went away.
  std::optional<Dictionary> call(const char* name, Dictionary request = {}) {
    request.set(ica::kMsgCall, name);
    if (object) request.set(ica::kArgObject, object);
    auto response = connection->call(request);
    printNotifications();
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

struct ScanOptions {
  bool scan = false;
  bool duplex = false;
  int64_t resolution = 300;
  int64_t pixelType = 1;
  std::optional<bool> crop;
  double width = 8.5, height = 11;  // inches
  std::string format = "public.tiff";
  std::string folder;
  std::string name = "scan";
  bool bands = false;
  int64_t bandSize = 0;
  int64_t cancelAfter = 0;
};

// The host's scan settings of the feeder unit, as one userScanArea.
Dictionary scanArea(const ScanOptions& o) {
  Dictionary area;
  auto value = [&](const char* key, int64_t v) { area.ensureDictionary(key).set("value", v); };
  value("ICAP_PIXELTYPE", o.pixelType);
  value("ICAP_XRESOLUTION", o.resolution);
  value("ICAP_YRESOLUTION", o.resolution);
  value("ICAP_UNITS", 5);  // pixels
  value("CAP_DUPLEXENABLED", o.duplex ? 1 : 0);
  if (o.crop) {
    Dictionary crop;
    crop.set("feature", "KR_Crop");
    crop.set("value", *o.crop ? 1 : 0);
    area.set("vendor features", foundation::Array{Value(crop)});
  }
  area.set("progressNotificationNoData", !o.bands);
  area.set("progressNotificationWithScanData", o.bands);
  if (o.bands && o.bandSize > 0)
    area.set("progressNotificationWithScanDataMaxBandSize", o.bandSize);
  std::error_code ec;
  std::filesystem::path folder =
      o.folder.empty() ? std::filesystem::current_path(ec) : std::filesystem::path(o.folder);
  area.set("document folder", std::filesystem::absolute(folder, ec).string());
  area.set("document name", o.name);
  area.set("document format", o.format);
  area.set("offsetX", 0);
  area.set("offsetY", 0);
  area.set("width", int64_t(o.width * double(o.resolution)));
  area.set("height", int64_t(o.height * double(o.resolution)));
  return area;
}

std::optional<std::string> formatIdentifier(const std::string& name) {
  if (name == "tiff") return "public.tiff";
  if (name == "jpeg") return "public.jpeg";
  if (name == "png") return "public.png";
  if (name == "raw") return "com.apple.ica.raw";
  return std::nullopt;
}

// Selects the feeder, sets the scan and starts it; every notification is printed as it comes.
bool runScan(Host& host, const ScanOptions& options) {
  auto set = [&](const Dictionary& area) {
    Dictionary dict, request;
    dict.set("userScanArea", area);
    request.set(ica::kArgDict, dict);
    return ok(host.call(ica::kCallSetParameters, request));
  };
  Dictionary feeder;
  feeder.set("selectedFunctionalUnitType", kFeederUnit);
  if (!set(feeder) || !set(scanArea(options))) return false;

  std::atomic<int64_t> progress{0};
  host.connection->setReplyHandler([&](const Dictionary& n) -> int32_t {
    if (n.string(kICANotificationTypeKey).valueOr("") != kICANotificationTypeScanProgressStatus)
      return 0;
    const int64_t seen = ++progress;
    return options.cancelAfter > 0 && seen == options.cancelAfter ? kICAUserCanceledReply : 0;
  });
  // The start blocks until the scan ends: a printer shows the notifications meanwhile.
  std::atomic<bool> scanning{true};
  std::thread printer([&] {
    while (scanning) {
      if (host.connection->waitForNotifications(1, std::chrono::milliseconds(50)))
        host.printNotifications();
    }
  });
  auto started = host.call(ica::kCallStart);
  scanning = false;
  printer.join();
  host.printNotifications();
  host.connection->setReplyHandler(nullptr);
  return ok(started);
}

}  // namespace

int main(int argc, char* argv[]) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool list = false;
  std::optional<uint32_t> location;
  std::optional<int64_t> unit;
  std::vector<std::pair<std::string, int64_t>> settings;
  std::vector<std::string> messages;
  ScanOptions scan;
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
    } else if (a == "--scan") {
      scan.scan = true;
    } else if (a == "--source") {
      const std::string* v = value();
      if (!v || (*v != "front" && *v != "duplex")) return usage("--source takes front or duplex");
      scan.duplex = *v == "duplex";
    } else if (a == "--resolution") {
      const std::string* v = value();
      if (!v || !parseNumber(*v, &scan.resolution) || scan.resolution <= 0)
        return usage("bad resolution");
    } else if (a == "--mode") {
      const std::string* v = value();
      const char* const modes[] = {"lineart", "grey", "colour"};
      auto found = v ? std::find(std::begin(modes), std::end(modes), *v) : std::end(modes);
      if (found == std::end(modes)) return usage("--mode takes lineart, grey or colour");
      scan.pixelType = found - std::begin(modes);
    } else if (a == "--crop") {
      const std::string* v = value();
      if (!v || (*v != "on" && *v != "off")) return usage("--crop takes on or off");
      scan.crop = *v == "on";
    } else if (a == "--size") {
      const std::string* v = value();
      if (!v || std::sscanf(v->c_str(), "%lfx%lf", &scan.width, &scan.height) != 2 ||
          scan.width <= 0 || scan.height <= 0)
        return usage("--size takes WxH in inches");
    } else if (a == "--format") {
      const std::string* v = value();
      auto identifier = v ? formatIdentifier(*v) : std::nullopt;
      if (!identifier) return usage("--format takes tiff, jpeg, png or raw");
      scan.format = *identifier;
    } else if (a == "--folder") {
      const std::string* v = value();
      if (!v) return usage("--folder takes a folder");
      scan.folder = *v;
    } else if (a == "--name") {
      const std::string* v = value();
      if (!v || v->empty()) return usage("--name takes a name");
      scan.name = *v;
    } else if (a == "--bands") {
      scan.bands = true;
      if (i + 1 < args.size() && parseNumber(args[i + 1], &scan.bandSize)) ++i;
    } else if (a == "--cancel-after") {
      const std::string* v = value();
      if (!v || !parseNumber(*v, &scan.cancelAfter) || scan.cancelAfter <= 0)
        return usage("--cancel-after takes a count");
    } else if (a == "--help" || a == "-h") {
      printUsage(stdout);
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
    std::fprintf(stderr, "ica-scan: location 0x%08X: not opened\n", *location);
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
  if (scan.scan) {
    // The scan prints its own lines.
  } else if (auto parameters = host.call(ica::kCallGetParameters); ok(parameters)) {
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
  if (scan.scan && status == kOk && !runScan(host, scan)) status = kFailed;
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
