// Description files: "key value" lines that set up one simulated scanner.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/SimCommands.h"
#include "sim/SimScanner.h"

namespace sim {
namespace {

struct KindName {
  FaultKind kind;
  const char* name;
};
const KindName kKindNames[] = {
    {FaultKind::WrongIdInData, "wrong-id-data"},
    {FaultKind::WrongIdInStatus, "wrong-id-status"},
    {FaultKind::UndefinedStatus, "undefined-status"},
    {FaultKind::CheckCondition, "check-condition"},
    {FaultKind::ShortBulk, "short-bulk"},
    {FaultKind::EmptyCompletions, "empty-completions"},
    {FaultKind::Slow, "slow"},
    {FaultKind::Vanish, "vanish"},
    {FaultKind::Stall, "stall"},
    {FaultKind::FailControl, "fail-control"},
    {FaultKind::Sense, "sense"},
    {FaultKind::Hold, "hold"},
    {FaultKind::Silent, "silent"},
};

bool Number(const std::string& text, uint64_t max, uint64_t* out) {
  if (text.empty() || !std::isxdigit(static_cast<unsigned char>(text.back()))) return false;
  if (text[0] == '-' || text[0] == '+' || std::isspace(static_cast<unsigned char>(text[0])))
    return false;
  errno = 0;
  char* end = nullptr;
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  unsigned long long v = std::strtoull(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
  if (errno || *end || v > max) return false;
  *out = v;
  return true;
}

// One "name=value" argument of a fault line.
bool FaultArgument(const std::string& arg, Fault* f, std::string* why) {
  auto eq = arg.find('=');
  if (eq == std::string::npos) {
    *why = "expected name=value, got '" + arg + "'";
    return false;
  }
  std::string name = arg.substr(0, eq), value = arg.substr(eq + 1);
  struct Field {
    const char* name;
    uint64_t max;
    void (*set)(Fault&, uint64_t);
  };
  static const Field kFields[] = {
      {"opcode", 0xFF, [](Fault& f, uint64_t v) { f.opcode = int(v); }},
      {"type", 0xFFFF, [](Fault& f, uint64_t v) { f.dataType = int(v); }},
      {"skip", 0xFFFFFFFF, [](Fault& f, uint64_t v) { f.skip = uint32_t(v); }},
      {"count", 0xFFFFFFFF, [](Fault& f, uint64_t v) { f.count = uint32_t(v); }},
      {"status", 0xFF, [](Fault& f, uint64_t v) { f.statusByte = uint8_t(v); }},
      {"key", 0x0F, [](Fault& f, uint64_t v) { f.senseKey = uint8_t(v); }},
      {"asc", 0xFF, [](Fault& f, uint64_t v) { f.asc = uint8_t(v); }},
      {"ascq", 0xFF, [](Fault& f, uint64_t v) { f.ascq = uint8_t(v); }},
      {"info", 0xFFFFFFFF, [](Fault& f, uint64_t v) { f.information = uint32_t(v); }},
      {"response", 0xFF, [](Fault& f, uint64_t v) { f.responseCode = uint8_t(v); }},
      {"chunk", 0xFFFFFFFF, [](Fault& f, uint64_t v) { f.chunk = uint32_t(v); }},
      {"empties", 100000, [](Fault& f, uint64_t v) { f.empties = uint32_t(v); }},
      {"delay-ms", 60000, [](Fault& f, uint64_t v) { f.delayMs = uint32_t(v); }},
      {"searches", 1000, [](Fault& f, uint64_t v) { f.searches = uint32_t(v); }},
  };
  for (const auto& field : kFields) {
    if (name != field.name) continue;
    uint64_t v = 0;
    if (!Number(value, field.max, &v)) {
      *why = "bad value '" + value + "' for " + name;
      return false;
    }
    field.set(*f, v);
    return true;
  }
  *why = "unknown fault argument '" + name + "'";
  return false;
}

bool YesNo(const std::string& text, bool* out) {
  if (text == "yes") return *out = true, true;
  if (text == "no") return *out = false, true;
  return false;
}

}  // namespace

const char* FaultName(FaultKind kind) {
  for (const auto& k : kKindNames)
    if (k.kind == kind) return k.name;
  return "unknown";
}

bool FaultFromName(const std::string& name, FaultKind* kind) {
  for (const auto& k : kKindNames) {
    if (name == k.name) {
      *kind = k.kind;
      return true;
    }
  }
  return false;
}

namespace {

bool Decimal(const std::string& text, double min, double max, double* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (errno || *end || !std::isfinite(v) || v < min || v > max) return false;
  *out = v;
  return true;
}

// Limits of a document's placement, in inches and degrees.
constexpr double kMaxSkew = 45;
constexpr double kMaxOffset = 50;
constexpr double kMinPaper = 0.5, kMaxPaper = 50;
constexpr double kMaxImageDpi = 4800;

// The sheet and side of a document line: a sheet from 1 or "all", then front, rear or both.
bool DocumentPlace(const std::vector<std::string>& args, SheetDocument* d, std::string* why) {
  uint64_t sheet = 0;
  if (args.size() < 3 ||
      (args[0] != "all" && (!Number(args[0], 0xFFFFFFFF, &sheet) || sheet == 0)) ||
      (args[1] != "front" && args[1] != "rear" && args[1] != "both")) {
    *why = "takes a sheet from 1 or all, front, rear or both, then the document";
    return false;
  }
  d->sheet = uint32_t(sheet);
  d->side = args[1] == "front" ? 0 : args[1] == "rear" ? 1 : -1;
  return true;
}

// One "name=value" argument of a document line.
bool DocumentArgument(const std::string& arg, Document* doc, std::string* why) {
  const auto eq = arg.find('=');
  const std::string name = arg.substr(0, eq),
                    value = eq == std::string::npos ? "" : arg.substr(eq + 1);
  auto bad = [&] {
    *why = "bad document argument '" + arg + "'";
    return false;
  };
  if (eq == std::string::npos || value.empty()) return bad();
  uint64_t n = 0;
  if (name == "skew") return Decimal(value, -kMaxSkew, kMaxSkew, &doc->skew) || bad();
  if (name == "left") return Decimal(value, 0, kMaxOffset, &doc->left) || bad();
  if (name == "top") return Decimal(value, 0, kMaxOffset, &doc->top) || bad();
  if (name == "dpi") return Decimal(value, 1, kMaxImageDpi, &doc->imageDpi) || bad();
  if (name == "page") {
    if (!Number(value, 0xFFFFFFFF, &n)) return bad();
    doc->pageNumber = uint32_t(n);
    return true;
  }
  if (name == "patch") {
    if (value.size() != 1) return bad();
    doc->patch = value[0];
    return true;
  }
  if (name == "linear") return doc->linearText = value, true;
  if (name == "matrix") return doc->matrixText = value, true;
  if (name == "paper") {
    uint64_t rgb[3] = {};
    std::istringstream parts(value);
    std::string part;
    int count = 0;
    while (std::getline(parts, part, ',')) {
      if (count == 3 || !Number(part, 0xFF, &rgb[count])) return bad();
      ++count;
    }
    if (count != 3) return bad();
    doc->paper = Rgb{uint8_t(rgb[0]), uint8_t(rgb[1]), uint8_t(rgb[2])};
    return true;
  }
  if (name == "size") {
    if (PaperSizeFromName(value, &doc->width, &doc->height)) return true;
    const auto x = value.find('x');
    if (x == std::string::npos || !Decimal(value.substr(0, x), kMinPaper, kMaxPaper, &doc->width) ||
        !Decimal(value.substr(x + 1), kMinPaper, kMaxPaper, &doc->height))
      return bad();
    return true;
  }
  return bad();
}

}  // namespace

ButtonPacket MakeButtonPacket(uint8_t kind, uint8_t number) {
  return ButtonPacket{0, kind, 0, 0, 0, 0, number, 0};
}

bool ParseDescriptions(const std::string& text, std::vector<Config>* out, std::string* error) {
  std::vector<Config> all(1);
  std::istringstream lines(text);
  std::string line;
  int lineNumber = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = "line " + std::to_string(lineNumber) + ": " + why;
    return false;
  };
  while (std::getline(lines, line)) {
    ++lineNumber;
    if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string key;
    if (!(words >> key)) continue;
    std::vector<std::string> args;
    for (std::string w; words >> w;) args.push_back(w);
    auto one = [&](std::string* value) {
      if (args.size() != 1) return fail("'" + key + "' takes one value");
      *value = args[0];
      return true;
    };
    std::string value;
    uint64_t n = 0;
    Config& c = all.back();
    if (key == "scanner") {
      if (!args.empty()) return fail("'scanner' takes no value");
      all.emplace_back();
    } else if (key == "model") {
      if (!one(&value)) return false;
      if (!detail::KnownModel(value)) return fail("unknown model '" + value + "'");
      c.model = value;
    } else if (key == "serial") {
      if (!one(&value)) return false;
      if (value.size() > detail::kMaxSerialLength)
        return fail("serial longer than " + std::to_string(detail::kMaxSerialLength) +
                    " characters");
      c.serial = value;
    } else if (key == "sheets") {
      if (!one(&value)) return false;
      if (!Number(value, 0xFFFFFFFF, &n)) return fail("bad number of sheets '" + value + "'");
      c.sheets = uint32_t(n);
    } else if (key == "interrupt") {
      if (!one(&value)) return false;
      if (!YesNo(value, &c.interruptPipe)) return fail("interrupt takes yes or no");
    } else if (key == "interrupt-pipes") {
      if (!one(&value)) return false;
      if (value != "1" && value != "2") return fail("interrupt-pipes takes 1 or 2");
      c.interruptPipes = uint8_t(value[0] - '0');
    } else if (key == "inquiry-length") {
      if (!one(&value)) return false;
      if (!Number(value, detail::kMaxInquiryLength, &n) || n < detail::kMinInquiryLength ||
          (n & 0xFF) == 5)
        return fail("inquiry-length takes " + std::to_string(detail::kMinInquiryLength) + " to " +
                    std::to_string(detail::kMaxInquiryLength) + ", not 5 in its low byte");
      c.inquiryLength = uint32_t(n);
    } else if (key == "inquiry-byte") {
      uint64_t offset = 0, v = 0;
      if (args.size() != 2 || !Number(args[0], detail::kMaxInquiryLength - 1, &offset) ||
          offset < 2 || !Number(args[1], 0xFF, &v))
        return fail("inquiry-byte takes an offset from 2 and a byte value");
      c.inquiryPatches.push_back({uint32_t(offset), uint8_t(v)});
    } else if (key == "nvram-layout") {
      if (!one(&value)) return false;
      if (value != "1" && value != "2") return fail("nvram-layout takes 1 or 2");
      c.nvramLayout = uint8_t(value[0] - '0');
    } else if (key == "nvram-head") {
      uint64_t layout = 0, length = 0;
      if (args.size() != 2 || !Number(args[0], 0xFF, &layout) || !Number(args[1], 0xFFFF, &length))
        return fail("nvram-head takes a layout number and a length");
      c.nvramHeadLayout = uint8_t(layout);
      c.nvramHeadLength = uint32_t(length);
    } else if (key == "imprinter") {
      if (!one(&value)) return false;
      if (value == "none")
        c.imprinter = ImprinterKind::None;
      else if (value == "absent")
        c.imprinter = ImprinterKind::Absent;
      else if (value == "no-head")
        c.imprinter = ImprinterKind::NoHead;
      else if (value == "fitted")
        c.imprinter = ImprinterKind::Fitted;
      else
        return fail("imprinter takes none, absent, no-head or fitted");
    } else if (key == "bulk-in") {
      if (!one(&value)) return false;
      if (!YesNo(value, &c.bulkInPipe)) return fail("bulk-in takes yes or no");
    } else if (key == "vendor-id" || key == "product-id") {
      if (!one(&value)) return false;
      if (!Number(value, 0xFFFF, &n) || n == 0) return fail("bad USB id '" + value + "'");
      (key == "vendor-id" ? c.vendorId : c.productId) = uint16_t(n);
    } else if (key == "location-id") {
      if (!one(&value)) return false;
      if (!Number(value, 0xFFFFFFFF, &n) || n == 0) return fail("bad location id '" + value + "'");
      c.locationId = uint32_t(n);
    } else if (key == "log-limit" || key == "log-data-limit") {
      if (!one(&value)) return false;
      if (!Number(value, 0xFFFFFFFF, &n)) return fail("bad limit '" + value + "'");
      (key == "log-limit" ? c.logLimit : c.logDataLimit) = size_t(n);
    } else if (key == "speed") {
      if (!one(&value)) return false;
      if (value == "low")
        c.speed = usbhost::Speed::Low;
      else if (value == "full")
        c.speed = usbhost::Speed::Full;
      else if (value == "high")
        c.speed = usbhost::Speed::High;
      else if (value == "super")
        c.speed = usbhost::Speed::Super;
      else
        return fail("speed takes low, full, high or super");
    } else if (key == "button") {
      uint64_t kind = 0, number = 0;
      if (args.size() != 2 || !Number(args[0], 0xFF, &kind) || !Number(args[1], 0xFF, &number))
        return fail("button takes a kind and a button number");
      c.buttons.push_back(MakeButtonPacket(uint8_t(kind), uint8_t(number)));
    } else if (key == "calibration") {
      // W S N flags red green blue: the device needs calibrating with this reference.
      uint64_t v[7] = {};
      const uint64_t max[7] = {0xFFFF, 2, 0xFF, 0xFF, 0xFFFF, 0xFFFF, 0xFFFF};
      bool good = args.size() == 7;
      for (size_t i = 0; good && i < 7; ++i) good = Number(args[i], max[i], &v[i]);
      if (!good || v[1] == 0)
        return fail(
            "calibration takes width, bytes per sample (1 or 2), lines, flags and the red, "
            "green and blue targets");
      c.calibration.needed = true;
      c.calibration.width = uint16_t(v[0]);
      c.calibration.bytesPerSample = uint8_t(v[1]);
      c.calibration.lines = uint8_t(v[2]);
      c.calibration.flags = uint8_t(v[3]);
      for (int i = 0; i < 3; ++i) c.calibration.targets[i] = uint16_t(v[4 + i]);
    } else if (key == "calibration-level") {
      if (!one(&value)) return false;
      if (!Number(value, 0xFFFF, &n)) return fail("bad calibration level '" + value + "'");
      c.calibration.level = uint16_t(n);
    } else if (key == "lamp") {
      if (!one(&value)) return false;
      if (value == "ready")
        c.lamp = LampState::Ready;
      else if (value == "off")
        c.lamp = LampState::Off;
      else if (value == "warming")
        c.lamp = LampState::Warming;
      else
        return fail("lamp takes ready, off or warming");
    } else if (key == "lamp-warmup") {
      if (!one(&value)) return false;
      if (!Number(value, 0xFFFFFFFF, &n)) return fail("bad lamp-warmup '" + value + "'");
      c.lampWarmupReads = uint32_t(n);
    } else if (key == "background") {
      uint64_t r = 0, g = 0, b = 0;
      if (args.size() != 4 || (args[0] != "front" && args[0] != "rear") ||
          !Number(args[1], 0xFF, &r) || !Number(args[2], 0xFF, &g) || !Number(args[3], 0xFF, &b))
        return fail("background takes front or rear and a red, green and blue value");
      c.background[args[0] == "rear" ? 1 : 0] = Rgb{uint8_t(r), uint8_t(g), uint8_t(b)};
    } else if (key == "preview-page") {
      uint64_t r = 0, g = 0, b = 0;
      if (args.size() != 3 || !Number(args[0], 0xFF, &r) || !Number(args[1], 0xFF, &g) ||
          !Number(args[2], 0xFF, &b))
        return fail("preview-page takes the custom patch's red, green and blue value");
      c.previewPatch = Rgb{uint8_t(r), uint8_t(g), uint8_t(b)};
    } else if (key == "profile") {
      if (!one(&value)) return false;
      if (value == "raw")
        c.profile = ImageProfile::Raw;
      else if (value == "jpeg")
        c.profile = ImageProfile::DeviceJpeg;
      else if (value == "iruv")
        c.profile = ImageProfile::IrUv;
      else
        return fail("profile takes raw, jpeg or iruv");
    } else if (key == "paper-length") {
      if (!one(&value)) return false;
      if (!Number(value, 0xFFFFFF, &n) || n == 0) return fail("bad paper-length '" + value + "'");
      c.paperLength = uint32_t(n);
    } else if (key == "sheet-length") {
      uint64_t index = 0, length = 0;
      if (args.size() != 2 || !Number(args[0], 0xFFFF, &index) ||
          !Number(args[1], 0xFFFFFF, &length))
        return fail("sheet-length takes a sheet index and a length");
      if (c.sheetLengths.size() <= index) c.sheetLengths.resize(index + 1, 0);
      c.sheetLengths[index] = uint32_t(length);
    } else if (key == "duplex-style") {
      if (!one(&value)) return false;
      if (!Number(value, 7, &n)) return fail("duplex-style takes 0 to 7");
      c.duplexStyle = uint8_t(n);
    } else if (key == "demux-lines") {
      if (!one(&value)) return false;
      if (!Number(value, 0xFFFF, &n)) return fail("bad demux-lines '" + value + "'");
      c.deMuxLines = uint16_t(n);
    } else if (key == "tray") {
      if (!one(&value)) return false;
      if (!Number(value, 0xFE, &n) || (n & 1) != 0) return fail("bad tray bits '" + value + "'");
      c.trayBits = uint8_t(n);
    } else if (key == "event") {
      // <sheet> <kind> [side=N] [at=BYTE] [lines=N]
      SheetEvent e;
      uint64_t sheet = 0;
      if (args.size() < 2 || !Number(args[0], 0xFFFFFFFF, &sheet) || sheet == 0 ||
          !SheetEventFromName(args[1], &e.kind))
        return fail("event takes a sheet number from 1 and a kind");
      e.sheet = uint32_t(sheet);
      for (size_t i = 2; i < args.size(); ++i) {
        const auto eq = args[i].find('=');
        const std::string name = args[i].substr(0, eq);
        uint64_t v = 0;
        if (eq == std::string::npos || !Number(args[i].substr(eq + 1), 0xFFFFFFFF, &v))
          return fail("bad event argument '" + args[i] + "'");
        if (name == "side" && v <= 1)
          e.side = uint32_t(v);
        else if (name == "at")
          e.offset = uint32_t(v);
        else if (name == "lines" && v != 0)
          e.lines = uint32_t(v);
        else
          return fail("bad event argument '" + args[i] + "'");
      }
      if (e.kind == SheetEventKind::EndOfFileSegments && e.lines == 0)
        return fail("end-of-file-every needs lines=N");
      c.sheetEvents.push_back(e);
    } else if (key == "end-of-page-carry") {
      if (!one(&value)) return false;
      if (!YesNo(value, &c.endOfPageCarry)) return fail("end-of-page-carry takes yes or no");
    } else if (key == "reserve") {
      // busy|locked [count]: what job-start reserves answer.
      uint64_t count = 1;
      if (args.empty() || args.size() > 2 || (args[0] != "busy" && args[0] != "locked") ||
          (args.size() == 2 && !Number(args[1], 0xFFFFFFFF, &count)))
        return fail("reserve takes busy or locked and a count (0: every one)");
      c.reserve = args[0] == "busy" ? ReserveAnswer::Busy : ReserveAnswer::Locked;
      c.reserveRefusals = uint32_t(count);
    } else if (key == "sheet-document" || key == "sheet-image") {
      // <sheet|all> <front|rear|both> <kind or file> [name=value ...]
      SheetDocument d;
      std::string why;
      if (!DocumentPlace(args, &d, &why)) return fail(key + " " + why);
      if (key == "sheet-image") {
        d.document.kind = DocumentKind::Image;
        d.document.imageFile = args[2];
      } else if (!DocumentKindFromName(args[2], &d.document.kind) ||
                 d.document.kind == DocumentKind::Image) {
        return fail("unknown document kind '" + args[2] + "'");
      }
      for (size_t i = 3; i < args.size(); ++i)
        if (!DocumentArgument(args[i], &d.document, &why)) return fail(why);
      c.documents.push_back(d);
    } else if (key == "fault") {
      Fault f;
      if (args.empty() || !FaultFromName(args[0], &f.kind))
        return fail("unknown fault '" + (args.empty() ? std::string() : args[0]) + "'");
      for (size_t i = 1; i < args.size(); ++i) {
        std::string why;
        if (!FaultArgument(args[i], &f, &why)) return fail(why);
      }
      c.faults.push_back(f);
    } else {
      return fail("unknown key '" + key + "'");
    }
  }
  *out = std::move(all);
  return true;
}

bool ParseDescription(const std::string& text, Config* out, std::string* error) {
  std::vector<Config> all;
  if (!ParseDescriptions(text, &all, error)) return false;
  if (all.size() != 1) {
    if (error) *error = "the file describes " + std::to_string(all.size()) + " scanners";
    return false;
  }
  *out = std::move(all[0]);
  return true;
}

namespace {
// Image files named relative to the description file lie beside it; each must be readable.
bool ResolveImages(const std::string& path, Config* c, std::string* error) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  for (SheetDocument& d : c->documents) {
    if (d.document.kind != DocumentKind::Image) continue;
    std::filesystem::path file = d.document.imageFile;
    if (file.is_relative()) d.document.imageFile = (folder / file).string();
    double width = 0, height = 0;
    std::string why;
    if (!DocumentSize(d.document, &width, &height, &why)) {
      if (error) *error = "sheet-image " + why;
      return false;
    }
  }
  return true;
}
bool ResolveImages(const std::string& path, std::vector<Config>* all, std::string* error) {
  for (Config& c : *all)
    if (!ResolveImages(path, &c, error)) return false;
  return true;
}

template <class Out, class Parse>
bool LoadWith(const std::string& path, Out* out, std::string* error, Parse parse) {
  std::ifstream in(path);
  if (!in) {
    if (error) *error = "cannot read description file '" + path + "'";
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  if (!parse(text.str(), out, error) || !ResolveImages(path, out, error)) {
    if (error) *error = path + ": " + *error;
    return false;
  }
  return true;
}
}  // namespace

bool LoadDescription(const std::string& path, Config* out, std::string* error) {
  return LoadWith(path, out, error, ParseDescription);
}

bool LoadDescriptions(const std::string& path, std::vector<Config>* out, std::string* error) {
  return LoadWith(path, out, error, ParseDescriptions);
}

}  // namespace sim
