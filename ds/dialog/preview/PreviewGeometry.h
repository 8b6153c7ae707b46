#pragma once
// The preview view's geometry: its scale (view points per inch of paper), the conversions
// between view points and the record's 1/300 inch, its maximum area, its ruler units, and
// which maximum length a preview image on file selects.
#include <cstdint>
#include <string>
#include <vector>

namespace ferrolite::dialog {

// View points per inch: 27.35 for sources up to 3000 units wide, 21.35 from 3001.
inline constexpr double kNarrowScale = 27.35;
inline constexpr double kWideScale = 21.35;
inline constexpr uint32_t kWideSourceWidth = 3001;
double previewScale(uint32_t sourceMaxWidth);

// Settings to view points, in double precision, kept as a float.
float toViewPoints(double settings, double scale);
// View points to settings: trunc(view x 300 / grummets) in double precision from the float
// operands (a value placed at 301 often reads back as 300).
int64_t toSettings(float view, float grummets);
// The maximum area in view points: trunc(settings x scale) / 300 (integer division).
int64_t viewMaximum(uint32_t settingsMaximum, double scale);

struct RulerUnit {
  std::string name;
  std::string abbreviation;
  double pointsPerUnit;
  std::vector<double> stepUp;
  std::vector<double> stepDown;
  bool operator==(const RulerUnit&) const = default;
};
// The units the view registers once when its class is first used.
std::vector<RulerUnit> classRulerUnits();
// initRuler's units for a scale ("Grummets", then the column of the scale).
std::vector<RulerUnit> rulerUnitsForScale(double scale, uint32_t currentRes);
// The pixel unit's ruler ("Points1", "px", 27.35 points per pixel at the current resolution).
RulerUnit pixelRulerUnit(uint32_t currentRes);
// The unit name the rulers take: "Points1" in the pixel paper unit, else the name given.
std::string rulerUnitName(const std::string& requested, uint8_t paperUnit);
// The paper page's ruler name for its units 0, 1 and 2.
std::string rulerUnitOfPaperUnit(uint8_t paperUnit);

// With the automatic source, a preview image whose length (height in points x 300 / 72,
// truncated) lies within 10 units of the flatbed's maximum length is a flatbed image.
bool previewIsFlatbedLength(double imageHeightPoints, uint32_t flatbedMaxLength);

}  // namespace ferrolite::dialog
