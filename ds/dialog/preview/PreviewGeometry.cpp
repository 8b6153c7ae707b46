#include "ds/dialog/preview/PreviewGeometry.h"

#include <cstdlib>

#include "ds/dialog/Units.h"

namespace ferrolite::dialog {

namespace {
constexpr double kCentimetresPerInch = 2.54;
constexpr int64_t kFlatbedLengthTolerance = 10;
constexpr double kPointsPerInch = 72.0;
}  // namespace

double previewScale(uint32_t sourceMaxWidth) {
  return sourceMaxWidth < kWideSourceWidth ? kNarrowScale : kWideScale;
}

float toViewPoints(double settings, double scale) {
  return static_cast<float>(settings / kBaseResolution * scale);
}

int64_t toSettings(float view, float grummets) {
  if (grummets == 0) return 0;
  return saturatingTrunc(
      static_cast<double>(view) * kBaseResolution / static_cast<double>(grummets), INT32_MIN,
      INT32_MAX);
}

int64_t viewMaximum(uint32_t settingsMaximum, double scale) {
  return static_cast<int64_t>(settingsMaximum * scale) / kBaseResolution;
}

std::vector<RulerUnit> classRulerUnits() {
  return {{"Grummets", "gt", 100.0, {2.0}, {0.5, 0.2}},
          {"Inches", "in", kWideScale, {2.0}, {0.5}},
          {"Centimeters", "cm", kWideScale / kCentimetresPerInch, {2.0}, {0.5, 0.2}},
          {"Points", "pt", 0.0427, {5.0}, {0.25}}};
}

std::vector<RulerUnit> rulerUnitsForScale(double scale, uint32_t currentRes) {
  if (scale != kNarrowScale) return classRulerUnits();
  return {{"Grummets", "gt", 100.0, {2.0}, {0.5, 0.2}},
          {"Inches", "in", kNarrowScale, {2.0}, {0.5}},
          {"Centimeters", "cm", kNarrowScale / kCentimetresPerInch, {2.0}, {0.5, 0.2}},
          {"Points", "pt", kNarrowScale / effectiveResolution(currentRes), {2.0}, {0.5, 0.2}}};
}

RulerUnit pixelRulerUnit(uint32_t currentRes) {
  return {"Points1", "px", kNarrowScale / effectiveResolution(currentRes), {2.0}, {0.5, 0.2}};
}

std::string rulerUnitName(const std::string& requested, uint8_t paperUnit) {
  return paperUnit == kUnitPixel ? "Points1" : requested;
}

std::string rulerUnitOfPaperUnit(uint8_t paperUnit) {
  switch (paperUnit) {
    case kUnitMillimetre:
      return "Centimeters";
    case kUnitPixel:
      return "Points";
    default:
      return "Inches";
  }
}

bool previewIsFlatbedLength(double imageHeightPoints, uint32_t flatbedMaxLength) {
  const int64_t length = static_cast<int64_t>(imageHeightPoints * kBaseResolution / kPointsPerInch);
  return std::llabs(length - static_cast<int64_t>(flatbedMaxLength)) <= kFlatbedLengthTolerance;
}

}  // namespace ferrolite::dialog
