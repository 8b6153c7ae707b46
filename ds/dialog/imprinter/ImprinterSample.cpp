#include "ds/dialog/imprinter/ImprinterSample.h"

#include <cmath>

namespace ferrolite::dialog {

namespace {
constexpr double kSampleSize = 13;
constexpr double kDoubleSize = 26;
constexpr double kRotatedY = 64, kDoubleY = 28, kNormalY = 17;
constexpr int kProportionalBlanks = 119;
constexpr int kFixedBlanks = 60;
}  // namespace

SampleLayout showSampleString(std::string_view line, uint8_t fontAttribute, uint8_t orientation,
                              bool fixedWidth, const FontMetrics& metrics) {
  SampleLayout s;
  s.y = orientation == 1 ? kRotatedY : fontAttribute == 2 ? kDoubleY : kNormalY;
  const std::string base = fixedWidth ? "Courier" : "Arial";
  s.face = fontAttribute <= 2 ? base : base + " Bold";
  s.size = fontAttribute == 2 ? kDoubleSize : kSampleSize;
  s.underline = fontAttribute == 1;
  s.text = std::string(line);
  if (orientation == 1 && s.underline) {
    const float lineWidth = static_cast<float>(metrics.widthOfString(s.text, base, kSampleSize));
    const float blank = static_cast<float>(metrics.widthOfString(" ", base, kSampleSize));
    const int blanks = (fixedWidth ? kFixedBlanks : kProportionalBlanks) -
                       (blank > 0 ? static_cast<int>(std::trunc(lineWidth / blank)) : 0);
    if (blanks >= 1) s.text.insert(0, static_cast<std::size_t>(blanks), ' ');
  }
  if (orientation == 1) {
    s.rotation = 180;
    s.alignment = SampleAlignment::Right;
  } else if (orientation >= 2 && orientation <= 5) {
    s.text.assign(1, ' ');  // no sample for the vertical orientations
  }
  return s;
}

std::string sampleLine(const ScanSetting& record, std::string_view customText,
                       std::string_view counterText, const TezFRLCommon& common) {
  return common.imprinterString(customText, counterText, record.bPrintDate, record.bPrintTime,
                                record.bPrintFormat);
}

SampleLayout showSampleString(const ScanSetting& record, std::string_view customText,
                              std::string_view counterText, bool fixedWidth,
                              const FontMetrics& metrics, const TezFRLCommon& common) {
  return showSampleString(sampleLine(record, customText, counterText, common),
                          record.bPrintFontAttri, record.bPrintOrientation, fixedWidth, metrics);
}

}  // namespace ferrolite::dialog
