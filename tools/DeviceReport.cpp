#include "tools/DeviceReport.h"

#include <vantrel/wire_bytes.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace vtclient {
namespace {

constexpr int kLabelWidth = 26;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

std::string Text(const char* text) { return text == nullptr ? "(none)" : Printable(text, 256); }

// Width x length in base-resolution units, with inches when the base resolution is known.
std::string Size(uint32_t width, uint32_t length, uint16_t baseRes) {
  if (width == 0 && length == 0) return "none";
  if (baseRes == 0) return Format("%u x %u", width, length);
  return Format("%u x %u (%.2f x %.2f in)", width, length, double(width) / baseRes,
                double(length) / baseRes);
}

std::string List(const uint8_t* entries, unsigned count) {
  if (count == 0) return "none";
  std::string out;
  for (unsigned i = 0; i < count; ++i) out += (i ? " " : "") + std::to_string(entries[i]);
  return out;
}

std::string Rgb(uint8_t r, uint8_t g, uint8_t b) { return Format("R %u, G %u, B %u", r, g, b); }

// The capability words' fields: word, first bit, bit count, name.
struct CapabilityField {
  int word, shift, bits;
  const char* name;
};
constexpr CapabilityField kCapabilityFields[] = {
    {0, 0, 1, "UltrasonicDetection"},
    {0, 1, 1, "SkewDetection"},
    {0, 2, 2, "AutoColorDetection"},
    {0, 4, 1, "BWOutputAutoColorMode"},
    {0, 5, 1, "bit5"},
    {0, 6, 2, "Blur"},
    {0, 8, 2, "Sharpen"},
    {0, 10, 2, "RemoveBackground"},
    {0, 12, 2, "BlackPage"},
    {0, 14, 2, "H_Magnification"},
    {0, 16, 2, "V_Magnification"},
    {0, 18, 2, "Watermark"},
    {0, 20, 2, "SpecifyImageMode"},
    {0, 22, 2, "AutoOrientation"},
    {0, 24, 2, "Autocrop"},
    {0, 26, 2, "Deskew"},
    {0, 28, 2, "RotateImage"},
    {0, 30, 2, "ResizeImage"},
    {1, 0, 1, "ScanQualityMode"},
    {1, 1, 1, "CalibrationUse"},
    {1, 2, 1, "LightControl"},
    {1, 3, 1, "XYDiffRes"},
    {1, 4, 1, "NeedCalibration"},
    {1, 5, 1, "PowerSaving"},
    {1, 6, 1, "PowerOff"},
    {1, 7, 2, "ReadTag"},
    {1, 9, 2, "WriteTag"},
    {1, 11, 1, "ADFContScan"},
    {1, 12, 1, "SWControlTime"},
    {1, 13, 1, "LCDStringTable"},
    {1, 14, 1, "Endorsor"},
    {1, 15, 2, "ADFAlignment"},
    {1, 17, 2, "Reserved2"},
    {1, 19, 1, "HTuneScanLength"},
    {1, 20, 1, "VTuneScanLength"},
    {1, 21, 1, "WifiScan"},
    {1, 22, 1, "NetworkScan"},
    {1, 23, 6, "DirectionPeperEject"},
    {1, 29, 3, "Reserved1"},
    {2, 0, 4, "MultifeedEjectControl"},
    {2, 4, 4, "SkewEjectControl"},
    {2, 8, 4, "bits8-11"},
    {2, 12, 1, "bit12"},
    {2, 13, 1, "bit13"},
};

// "0x0C000003 UltrasonicDetection SkewDetection Deskew=3": the set fields, values of wide ones.
std::string Capabilities(int word, uint32_t value) {
  std::string out = Format("0x%08X", value);
  uint32_t named = 0;
  for (const CapabilityField& f : kCapabilityFields) {
    if (f.word != word) continue;
    const uint32_t mask = ((1u << f.bits) - 1) << f.shift;
    named |= mask;
    const uint32_t v = (value & mask) >> f.shift;
    if (v == 0) continue;
    out += std::string(" ") + f.name;
    if (f.bits > 1) out += "=" + std::to_string(v);
  }
  if (value & ~named) out += Format(" other=0x%08X", value & ~named);
  return out;
}

std::string Date(uint16_t year, uint16_t month, uint16_t day) {
  if (year == 0 && month == 0 && day == 0) return "none";
  return Format("%04u-%02u-%02u", year, month, day);
}

// The lives stay in the device's byte order (big-endian) in the record.
uint32_t FromDevice(uint32_t stored) {
  return wire::Get32(reinterpret_cast<const uint8_t*>(&stored));
}

// The fields both layouts share; R is NewNvmData_VER1 or NewNvmData.
template <class R>
void DescribeCommon(const R& r, Report* report) {
  report->Line("serial number", Printable(r.SN, sizeof r.SN));
  report->Line("identity", Printable(r.IdentifyInfo, sizeof r.IdentifyInfo));
  report->Line("formal name", Printable(r.FormalName, sizeof r.FormalName));
  report->Line("made", Date(r.BornYear, r.BornMonth, r.BornDay));
  report->Line("first scan", Date(r.FirstScanYear, r.FirstScanMonth, r.FirstScanDay));
  report->Line("ADF simplex scans", std::to_string(r.ADFSingleModeScanCount));
  report->Line("ADF duplex scans", std::to_string(r.ADFDuplexModeScanCount));
  report->Line("flatbed scans", std::to_string(r.FletbedScanCount));
  report->Line("pad scans", std::to_string(r.PadScanCount));
  report->Line("roller count", std::to_string(r.RollerCount));
  report->Line("multi-feeds", std::to_string(r.MultifeedCount));
  report->Line("paper jams", std::to_string(r.JamCount));
  report->Line("leading edge", Format("flatbed %d, ADF front %d, ADF rear %d", r.LeadingEdgeFletbed,
                                      r.LeadingEdgeADFFrontPage, r.LeadingEdgeADFRearPage));
  report->Line("side edge", Format("flatbed %d, ADF front %d, ADF rear %d", r.SideEdgeFletbed,
                                   r.SideEdgeADFFrontPage, r.SideEdgeADFRearPage));
  report->Line("magnification", Format("vertical %u, horizontal %u", r.VerticalMagnification,
                                       r.HorizontalMagnification));
  report->Line("sensor type, speed", Format("%u, %u", r.CCDType, r.ScanSpeed));
  report->Line("power saving after", Format("%u min", r.PowerSavingTime));
  report->Line("power off after", Format("%u min", r.PowerOffTime));
  report->Line("power-on time", std::to_string(r.PowerOnTime));
  report->Line("pre-feed", Format("%u, time %u", r.PreFeed, r.PreFeedTime));
  report->Line("function code, index", Format("%u, %u", r.FunctionCode, r.FunctionIndex));
}

}  // namespace

void Report::Title(const std::string& text) { entries_.push_back({true, text, {}}); }

void Report::Line(const std::string& label, const std::string& value) {
  entries_.push_back({false, label, value});
}

std::string Report::Text() const {
  std::string out;
  for (const Entry& e : entries_) {
    if (e.title) {
      if (!out.empty()) out += "\n";
      out += e.label + "\n";
    } else {
      out += Format("  %-*s %s\n", kLabelWidth, e.label.c_str(), e.value.c_str());
    }
  }
  return out;
}

std::string Printable(const char* text, size_t max) {
  std::string out;
  for (size_t i = 0; i < max && text[i] != 0; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += Format("\\x%02X", c);
    }
  }
  return out;
}

bool DescribeAbility(const DeviceAbility& a, Report* report) {
  report->Title(Format("Ability (record version %u, %u bytes)", a.Version, a.Size));
  if (a.Version != 200) {
    report->Line("record", Format("version %u is not readable by this client", a.Version));
    return false;
  }
  const uint16_t base = a.BaseRes;
  report->Line("vendor", Text(a.pVendorName));
  report->Line("model", Text(a.pModelName));
  report->Line("firmware", Text(a.pFWVersion));
  report->Line("port", Text(a.pPortType) + ", address " + Text(a.pPortAddress));
  report->Line("base resolution", Format("%u dpi", base));
  report->Line("optical resolution", Format("%u dpi", a.OpticalRes));
  report->Line("minimum resolution", Format("%u dpi", a.MinimumRes));
  report->Line("motor resolution",
               Format("ADF %u dpi, flatbed %u dpi", a.ADFMotorRes, a.FlatbedMotorRes));
  report->Line("ADF maximum", Size(a.ADFMaxWidth, a.ADFMaxLength, base));
  report->Line("ADF minimum", Size(a.ADFMinWidth, a.ADFMinLength, base));
  report->Line("flatbed maximum", Size(a.FlatbedMaxWidth, a.FlatbedMaxLength, base));
  report->Line("flatbed minimum", Size(a.FlatbedMinWidth, a.FlatbedMinLength, base));
  report->Line("transparency maximum", Size(a.XPAMaxWidth, a.XPAMaxLength, base));
  report->Line("transparency minimum", Size(a.XPAMinWidth, a.XPAMinLength, base));
  report->Line("long-page lengths", std::to_string(a.LongPageLength));
  report->Line("image types", Format("0x%08X", a.ImageType));
  report->Line("device type", Format("0x%04X", a.DeviceType));
  report->Line("scan method", Format("0x%04X", a.ScanMethod));
  const uint8_t halftones[8] = {a.HalftoneIndex[0], a.HalftoneIndex[1], a.HalftoneIndex[2],
                                a.HalftoneIndex[3], a.HalftoneIndex[4], a.HalftoneIndex[5],
                                a.HalftoneIndex[6], a.HalftoneIndex[7]};
  const uint8_t diffusions[8] = {a.DiffusionIndex[0], a.DiffusionIndex[1], a.DiffusionIndex[2],
                                 a.DiffusionIndex[3], a.DiffusionIndex[4], a.DiffusionIndex[5],
                                 a.DiffusionIndex[6], a.DiffusionIndex[7]};
  report->Line("halftone patterns", List(halftones, a.HalftoneNum > 8 ? 8 : a.HalftoneNum));
  report->Line("diffusion patterns",
               List(diffusions, a.ErrorDiffusionNum > 8 ? 8 : a.ErrorDiffusionNum));
  report->Line("pixel bounds",
               Format("lineart %u, grey %u, colour %u, halftone %u, diffusion %u, 4-bit grey %u",
                      a.LineartPixelBound, a.GrayPixelBound, a.ColorPixelBound,
                      a.HalftonePixelBound, a.DiffusionPixelBound, a.Gray4bitsPixelBound));
  report->Line("button functions", std::to_string(a.ButtonFunctionNumber));
  report->Line("YCbCr capability", Format("0x%02X", a.YCbCrCapability));
  report->Line("background, ADF front",
               Rgb(a.FrontADFBackground_R, a.FrontADFBackground_G, a.FrontADFBackground_B));
  report->Line("background, ADF rear",
               Rgb(a.RearADFBackground_R, a.RearADFBackground_G, a.RearADFBackground_B));
  report->Line("background, flatbed",
               Rgb(a.FlatbedBackground_R, a.FlatbedBackground_G, a.FlatbedBackground_B));
  report->Line("capabilities 0", Capabilities(0, a.ScannerCapability0));
  report->Line("capabilities 1", Capabilities(1, a.ScannerCapability1));
  report->Line("capabilities 2", Capabilities(2, a.ScannerCapability2));
  return true;
}

bool DescribeNvm(const uint8_t* block, size_t blockSize, Report* report) {
  const uint8_t version = block[2];
  // The record's own length may claim more than the block holds (a device whose head and record
  // disagree): never read past either.
  auto readable = [blockSize](size_t size, size_t record) {
    return std::min(std::min(size, blockSize), record);
  };
  if (version == 100) {
    NewNvmData_VER1 r{};
    const size_t size = block[3];
    std::memcpy(&r, block, readable(size, sizeof r));
    report->Title(Format("NVRAM (layout 1, %zu bytes)", size));
    DescribeCommon(r, report);
    return true;
  }
  if (version == 200) {
    NewNvmData r{};
    uint16_t size;
    std::memcpy(&size, block + offsetof(NewNvmData, Size), sizeof size);
    std::memcpy(&r, block, readable(size, sizeof r));
    report->Title(Format("NVRAM (layout 2, %u bytes)", size));
    DescribeCommon(r, report);
    report->Line("reverse roller count", std::to_string(r.ReverseRollerCount));
    report->Line("pick-up roller count", std::to_string(r.PickupRollerCount));
    report->Line("pad life", std::to_string(FromDevice(r.PadLife)));
    report->Line("reverse roller life", std::to_string(FromDevice(r.ReverseRollerLife)));
    report->Line("pick-up roller life", std::to_string(FromDevice(r.PickupRollerLife)));
    return true;
  }
  report->Title("NVRAM");
  report->Line("record", Format("layout version %u is not readable by this client", version));
  return false;
}

}  // namespace vtclient
