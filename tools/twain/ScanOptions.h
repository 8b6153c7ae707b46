#pragma once
// The command line of twain-scan, in the habits of scanimage: what to load, how to negotiate the
// scan and where the images go.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace twainhost {

enum class Transfer { kNative, kMemory, kFile };
enum class ImageFormat { kTiff, kPng, kJpeg, kBmp, kPnm };

struct ScanOptions {
  std::string bundle;  // empty: FERROLITE_BUNDLE, else ../twain/Ferrolite
  bool exported = false;
  bool identityOnly = false;
  bool help = false;

  // Scanning: on when an output is named.
  std::string output;                 // the images' names; "%d" (or "%04d", ...) the image number
  std::optional<uint16_t> pixelType;  // TWPT_BW, TWPT_GRAY, TWPT_RGB
  std::optional<double> resolution;   // dpi
  // The area in millimetres (left, top, width, height), as -l -t -x -y give it.
  std::optional<double> left, top, width, height;
  std::optional<uint16_t> paperSize;  // TWSS_* of --size
  std::optional<bool> duplex;         // --source front|duplex
  Transfer transfer = Transfer::kMemory;
  std::optional<ImageFormat> format;  // else the output's extension
  int count = -1;                     // images to transfer; -1 all
  bool showUi = false;                // enable with the (headless) interface
  bool reportThreads = false;         // the process's threads before loading and after unloading
  std::string application;            // the application's product name
  uint32_t bufferSize = 0;            // memory transfer buffer; 0: the source's preferred size
  int batchStart = 1;                 // the first image's number in the names
  bool autoCrop = false;              // automatic border detection: pages cut and straightened
  bool barcodes = false;              // barcode detection; each image's barcodes printed

  bool scanning() const { return !output.empty(); }
};

// Parses argv; false with the reason for a usage error.
bool ParseScanOptions(const std::vector<std::string>& args, ScanOptions* out, std::string* error);
void PrintUsage(std::FILE* to);

// The name of image `number` from the pattern: the first "%d" or "%0<n>d" replaced; a pattern
// without one gets "-<number>" before its extension from the second image on.
std::string ImageName(const std::string& pattern, int number);
// The format of a name ("tiff", "tif", "png", "jpeg", "jpg", "bmp", "pnm") or of a file's
// extension.
std::optional<ImageFormat> FormatByName(const std::string& name);
std::optional<ImageFormat> FormatOfPath(const std::string& path);
const char* FormatName(ImageFormat format);

}  // namespace twainhost
