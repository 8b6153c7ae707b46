#pragma once
// The imprinter page's sample line: the printed text set in the chosen face, attribute and
// orientation, with the underlined upside-down line padded across the sample.
#include <cstdint>
#include <string>
#include <string_view>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/scan/records/ScanSetting.h"

namespace ferrolite::dialog {

// Text widths as the window sets them.
class FontMetrics {
 public:
  virtual ~FontMetrics() = default;
  virtual double widthOfString(std::string_view text, std::string_view face, double size) const = 0;
};

enum class SampleAlignment { Left, Right };

struct SampleLayout {
  std::string text;
  std::string face;
  double size = 13;
  bool underline = false;
  double y = 17;        // the example field's origin; x, width and height are kept
  double rotation = 0;  // degrees about the field's centre
  SampleAlignment alignment = SampleAlignment::Left;
  bool operator==(const SampleLayout&) const = default;
};

// showSampleString for the line (the common services' imprinter line), the font attribute
// (0 normal, 1 underline, 2 double, 3 bold), the orientation (0 normal, 1 rotated, 2-5 no
// sample) and the face (fixed-width or proportional).
SampleLayout showSampleString(std::string_view line, uint8_t fontAttribute, uint8_t orientation,
                              bool fixedWidth, const FontMetrics& metrics);

// The line the imprinter would print now: the common services' imprinter line (at their clock
// and in their locale's date order) over the page's custom text and counter fields (not the
// record's strings) and the record's date, time and format choices.
std::string sampleLine(const ScanSetting& record, std::string_view customText,
                       std::string_view counterText, const TezFRLCommon& common);
// showSampleString as the page sends it: that line, laid out for the record's attribute and
// orientation in the face of the custom font popup.
SampleLayout showSampleString(const ScanSetting& record, std::string_view customText,
                              std::string_view counterText, bool fixedWidth,
                              const FontMetrics& metrics, const TezFRLCommon& common);

}  // namespace ferrolite::dialog
