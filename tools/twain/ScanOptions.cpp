// twain-scan's command line.
#include "tools/twain/ScanOptions.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/twain/Twain.h"

namespace twainhost {

namespace {

constexpr double kMaxMillimetres = 10000;
constexpr double kMaxResolution = 1200;
constexpr int kMaxCount = 100000;
constexpr uint32_t kMaxBuffer = 64u << 20;

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool Number(const std::string& text, double max, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != 0 || errno != 0 || !(v >= 0) || v > max) return false;
  *out = v;
  return true;
}

bool Whole(const std::string& text, long max, long* out) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (*end != 0 || errno != 0 || v > max) return false;
  *out = v;
  return true;
}

}  // namespace

void PrintUsage(std::FILE* to) {
  std::fprintf(
      to,
      "usage: twain-scan [--bundle FOLDER] [--exported] [--identity]\n"
      "       twain-scan [--bundle FOLDER] --output NAME [scan options]\n"
      "  --bundle FOLDER     the data source bundle (else FERROLITE_BUNDLE, else\n"
      "                      ../twain/Ferrolite from the program's folder)\n"
      "  --exported          no entry point for the source: it finds DSM_Entry in the program\n"
      "  --identity          print the identity only; do not open the source\n"
      "Without --output the source is opened and closed. Scanning:\n"
      "  -o, --output NAME   the images' files; %%d (or %%04d, ...) the image number\n"
      "  --mode lineart|gray|color       (grey and colour too)\n"
      "  --resolution DPI\n"
      "  -l -t -x -y MM      the area: left, top, width, height in millimetres\n"
      "  --size letter|legal|a4|a5|a6|b5  a paper size instead of an area\n"
      "  --source front|duplex\n"
      "  --transfer native|memory|file   (default memory)\n"
      "  --format tiff|png|jpeg|bmp|pnm  (else the name's extension; native gives TIFF)\n"
      "  --count N           transfer N images (default: all the feeder holds)\n"
      "  --batch-start N     the first image's number in the names (default 1)\n"
      "  --buffer BYTES      the memory transfer's buffer (default: the source's preferred)\n"
      "  --auto-crop         automatic border detection: each page cut to its paper and\n"
      "                      straightened\n"
      "  --barcodes          barcode detection: each image's barcodes printed after it\n"
      "  --ui                enable with the source's interface (headless without a display)\n"
      "  --threads           print the threads before loading the source and after unloading it\n"
      "  --application NAME  the application's product name (\"Photoshop\" plays that family)\n"
      "The output's folder is made when it is missing.\n"
      "Exit status: 0 done, 1 the source failed or refused (or the output's folder cannot be\n"
      "made), 2 usage, 3 the bundle cannot be loaded, 4 no scanner, 5 the feeder was empty\n"
      "(no image).\n");
}

std::optional<ImageFormat> FormatByName(const std::string& name) {
  static const std::map<std::string, ImageFormat> kNames = {
      {"tiff", ImageFormat::kTiff}, {"tif", ImageFormat::kTiff}, {"png", ImageFormat::kPng},
      {"jpeg", ImageFormat::kJpeg}, {"jpg", ImageFormat::kJpeg}, {"bmp", ImageFormat::kBmp},
      {"pnm", ImageFormat::kPnm},   {"pbm", ImageFormat::kPnm},  {"pgm", ImageFormat::kPnm},
      {"ppm", ImageFormat::kPnm},
  };
  const auto it = kNames.find(Lower(name));
  if (it == kNames.end()) return std::nullopt;
  return it->second;
}

std::optional<ImageFormat> FormatOfPath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::nullopt;
  return FormatByName(path.substr(dot + 1));
}

const char* FormatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::kTiff:
      return "tiff";
    case ImageFormat::kPng:
      return "png";
    case ImageFormat::kJpeg:
      return "jpeg";
    case ImageFormat::kBmp:
      return "bmp";
    case ImageFormat::kPnm:
      return "pnm";
  }
  return "?";
}

std::string ImageName(const std::string& pattern, int number) {
  for (size_t at = pattern.find('%'); at != std::string::npos; at = pattern.find('%', at + 1)) {
    size_t end = at + 1;
    bool zero = end < pattern.size() && pattern[end] == '0';
    if (zero) ++end;
    int width = 0;
    while (end < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[end])) &&
           width < 100) {
      width = width * 10 + (pattern[end++] - '0');
    }
    if (end < pattern.size() && pattern[end] == 'd') {
      std::string digits = std::to_string(number);
      if (int(digits.size()) < width)
        digits.insert(0, size_t(width) - digits.size(), zero ? '0' : ' ');
      return pattern.substr(0, at) + digits + pattern.substr(end + 1);
    }
  }
  if (number <= 1) return pattern;
  const size_t slash = pattern.find_last_of('/');
  size_t dot = pattern.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = pattern.size();
  return pattern.substr(0, dot) + "-" + std::to_string(number) + pattern.substr(dot);
}

bool ParseScanOptions(const std::vector<std::string>& args, ScanOptions* out, std::string* error) {
  ScanOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    bool inlineValue = false;
    if (name.rfind("--", 0) == 0) {
      if (const size_t eq = name.find('='); eq != std::string::npos) {
        value = name.substr(eq + 1);
        name.erase(eq);
        inlineValue = true;
      }
    }
    // The value of an option that takes one: after '=' or the next argument.
    auto take = [&](std::string* v) {
      if (inlineValue) {
        *v = value;
        return true;
      }
      if (i + 1 >= args.size()) {
        *error = "option '" + name + "' needs a value";
        return false;
      }
      *v = args[++i];
      return true;
    };
    auto bad = [&](const std::string& v) {
      *error = "bad value '" + v + "' for " + name;
      return false;
    };
    std::string v;
    double d = 0;
    long n = 0;
    if (name == "--bundle") {
      if (!take(&o.bundle)) return false;
    } else if (name == "--exported") {
      o.exported = true;
    } else if (name == "--identity") {
      o.identityOnly = true;
    } else if (name == "--help" || name == "-h") {
      o.help = true;
    } else if (name == "--output" || name == "-o") {
      if (!take(&o.output)) return false;
      if (o.output.empty()) return bad(o.output);
    } else if (name == "--mode") {
      if (!take(&v)) return false;
      const std::string m = Lower(v);
      if (m == "lineart" || m == "bw") {
        o.pixelType = TWPT_BW;
      } else if (m == "gray" || m == "grey") {
        o.pixelType = TWPT_GRAY;
      } else if (m == "color" || m == "colour") {
        o.pixelType = TWPT_RGB;
      } else {
        return bad(v);
      }
    } else if (name == "--resolution") {
      if (!take(&v)) return false;
      if (!Number(v, kMaxResolution, &d) || d < 1) return bad(v);
      o.resolution = d;
    } else if (name == "-l" || name == "-t" || name == "-x" || name == "-y") {
      if (!take(&v)) return false;
      if (!Number(v, kMaxMillimetres, &d)) return bad(v);
      (name == "-l" ? o.left : name == "-t" ? o.top : name == "-x" ? o.width : o.height) = d;
    } else if (name == "--size") {
      if (!take(&v)) return false;
      static const std::map<std::string, uint16_t> kSizes = {
          {"letter", TWSS_USLETTER}, {"legal", TWSS_USLEGAL}, {"a4", TWSS_A4},
          {"a5", TWSS_A5},           {"a6", TWSS_A6},         {"b5", TWSS_JISB5}};
      const auto it = kSizes.find(Lower(v));
      if (it == kSizes.end()) return bad(v);
      o.paperSize = it->second;
    } else if (name == "--source") {
      if (!take(&v)) return false;
      const std::string s = Lower(v);
      if (s == "front" || s == "simplex" || s == "adf front") {
        o.duplex = false;
      } else if (s == "duplex" || s == "adf duplex") {
        o.duplex = true;
      } else {
        return bad(v);
      }
    } else if (name == "--transfer") {
      if (!take(&v)) return false;
      const std::string t = Lower(v);
      if (t == "native") {
        o.transfer = Transfer::kNative;
      } else if (t == "memory") {
        o.transfer = Transfer::kMemory;
      } else if (t == "file") {
        o.transfer = Transfer::kFile;
      } else {
        return bad(v);
      }
    } else if (name == "--format") {
      if (!take(&v)) return false;
      o.format = FormatByName(v);
      if (!o.format) return bad(v);
    } else if (name == "--count") {
      if (!take(&v)) return false;
      if (!Whole(v, kMaxCount, &n) || n < 1) return bad(v);
      o.count = int(n);
    } else if (name == "--batch-start") {
      if (!take(&v)) return false;
      if (!Whole(v, kMaxCount, &n)) return bad(v);
      o.batchStart = int(n);
    } else if (name == "--buffer") {
      if (!take(&v)) return false;
      if (!Whole(v, long(kMaxBuffer), &n) || n < 1) return bad(v);
      o.bufferSize = uint32_t(n);
    } else if (name == "--ui") {
      o.showUi = true;
    } else if (name == "--auto-crop") {
      o.autoCrop = true;
    } else if (name == "--barcodes") {
      o.barcodes = true;
    } else if (name == "--threads") {
      o.reportThreads = true;
    } else if (name == "--application") {
      if (!take(&o.application)) return false;
    } else {
      *error = "unknown argument '" + args[i] + "'";
      return false;
    }
  }
  const bool anyArea = o.left || o.top || o.width || o.height;
  if (anyArea && o.paperSize) {
    *error = "an area (-l -t -x -y) and --size exclude each other";
    return false;
  }
  if (!o.scanning() && (o.pixelType || o.resolution || anyArea || o.paperSize || o.duplex ||
                        o.format || o.count > 0 || o.showUi || o.autoCrop || o.barcodes)) {
    *error = "scan options need --output";
    return false;
  }
  if (o.scanning()) {
    const std::optional<ImageFormat> format = o.format ? o.format : FormatOfPath(o.output);
    if (!format) {
      *error = "no image format: give --format or a name ending in .tif, .png, .jpg, .bmp, .pnm";
      return false;
    }
    o.format = format;
    if (o.transfer == Transfer::kNative && *format != ImageFormat::kTiff) {
      *error = "a native transfer gives TIFF images";
      return false;
    }
    if (o.transfer == Transfer::kMemory &&
        (*format == ImageFormat::kJpeg || *format == ImageFormat::kBmp)) {
      *error = "a memory transfer writes TIFF, PNG or PNM files";
      return false;
    }
    if (o.transfer == Transfer::kFile && *format == ImageFormat::kPnm) {
      *error = "the source writes TIFF, PNG, JPEG or BMP files";
      return false;
    }
  }
  *out = o;
  return true;
}

}  // namespace twainhost
