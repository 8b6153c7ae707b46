#include "ds/dialog/options/Enhancement.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "ds/dialog/Units.h"

namespace ferrolite::dialog {

namespace {
constexpr double kHalfInchInTenths = 600.0;  // 1/300 inch to half millimetres

uint16_t& edgeOf(ScanSetting& r, Edge e) {
  switch (e) {
    case Edge::Left:
      return r.wLeftEdge;
    case Edge::Top:
      return r.wTopEdge;
    case Edge::Right:
      return r.wRightEdge;
    default:
      return r.wBottomEdge;
  }
}

const char* propertyOf(Edge e) {
  switch (e) {
    case Edge::Left:
      return "mLeftEdge";
    case Edge::Top:
      return "mTopEdge";
    case Edge::Right:
      return "mRightEdge";
    default:
      return "mBottomEdge";
  }
}
}  // namespace

uint16_t edgeFillLimit(const ScanSetting& r) {
  const double length = r.bPaperSize == kPageLong ? r.dwLongLength : r.wLength;
  const double byWidth = std::trunc(r.wWidth * kMillimetresPerInch / kHalfInchInTenths);
  const double byLength = std::trunc(length * kMillimetresPerInch / kHalfInchInTenths);
  return saturatingTrunc<uint16_t>(std::min(byWidth, byLength));
}

std::string edgeFillRangeText(const LanguageBundle& language, uint16_t limit) {
  std::string unit = language.localizedStringForKey("Millimeters", "Millimeters");
  std::transform(unit.begin(), unit.end(), unit.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return language.localizedStringForKey("EdgeFillRange", "EdgeFillRange") + " 0 ~ " +
         std::to_string(limit) + " " + unit;
}

EdgeFillCheck checkEdgeFillRange(ScanSetting& r) {
  EdgeFillCheck check;
  const uint16_t limit = edgeFillLimit(r);
  for (Edge e : {Edge::Left, Edge::Right, Edge::Top, Edge::Bottom}) {
    uint16_t& width = edgeOf(r, e);
    if (width > limit) {
      width = limit;
      check.inRange = false;
      check.properties.emplace_back(propertyOf(e), limit);
    }
  }
  return check;
}

EdgeStep edgeStepped(ScanSetting& r, Edge edge, int64_t value) {
  EdgeStep step;
  uint16_t& width = edgeOf(r, edge);
  width = saturate<uint16_t>(value);
  if (width > edgeFillLimit(r)) {
    step.alert = true;
    width = static_cast<uint16_t>(width - 1);
  }
  step.property = width;
  return step;
}

EdgeChange optionEdgeChangeEdges(ScanSetting& r, const std::string& which) {
  EdgeChange change;
  const uint16_t limit = edgeFillLimit(r);
  const std::pair<const char*, Edge> keys[] = {{"leftEdge", Edge::Left},
                                               {"bottomEdge", Edge::Bottom},
                                               {"topEdge", Edge::Top},
                                               {"rightEdge", Edge::Right}};
  for (const auto& [key, edge] : keys) {
    if (which != key) continue;
    uint16_t& width = edgeOf(r, edge);
    if (width > limit) {
      width = limit;
      change.alert = true;
    }
    change.properties.emplace_back(propertyOf(edge), 0);
    change.properties.emplace_back(propertyOf(edge), width);
  }
  return change;
}

uint8_t rmin(uint32_t noiseNumber) {
  const float n = static_cast<float>(noiseNumber);
  const float r = static_cast<float>((std::sqrt(static_cast<double>(n)) - 1) / 2 + 1);
  return static_cast<uint8_t>(saturatingTrunc(r, 0, UINT8_MAX));
}

uint8_t noiseNumberStepped(ScanSetting& r, int64_t noiseNumber) {
  r.wNoiseNumber = saturate<uint16_t>(noiseNumber);
  r.bNoiseRadius = std::max(r.bNoiseRadius, rmin(r.wNoiseNumber));
  return r.bNoiseRadius;
}

uint8_t noiseRadiusStepped(ScanSetting& r, int64_t radius) {
  const int64_t lowest = std::max<int64_t>({rmin(r.wNoiseNumber), 1});
  r.bNoiseRadius = static_cast<uint8_t>(std::clamp<int64_t>(radius, lowest, kNoiseRadiusMaximum));
  return r.bNoiseRadius;
}

BackgroundControls backgroundControls(const ScanSetting& r) {
  BackgroundControls c;
  const uint8_t processing = r.bBackgroundProcessing;
  if (processing == 0) c.enabled = false;
  if (processing == 1 || processing == 2) c.enabled = true;
  if (processing == 1) {
    c.fillLabelKey = "Mode";
    c.fillMenuTitle = "Mode";
    c.fillItems = {"Automatic", "Moire"};
    c.fillSelected = r.bBackgroundMode;
  } else {
    c.fillLabelKey = "FillColor";
    c.fillMenuTitle = "fillcolor";
    c.fillItems = {"White", "Automatic"};
    if (processing == 2) c.fillSelected = r.bBackgroundFill;
  }
  return c;
}

BackgroundControls backgroundChosen(ScanSetting& r, int64_t index) {
  r.bBackgroundProcessing = saturate<uint8_t>(index);
  return backgroundControls(r);
}

void backgroundFillChosen(ScanSetting& r, int64_t index) {
  if (r.bBackgroundProcessing == 1) r.bBackgroundMode = saturate<uint8_t>(index);
  if (r.bBackgroundProcessing == 2) r.bBackgroundFill = saturate<uint8_t>(index);
}

std::optional<int32_t> enhancementTabTarget(int32_t number, bool noiseNumberUsable) {
  if (number < 1 || number > 6) return std::nullopt;
  if (number == 5 && !noiseNumberUsable) return 1;
  return number;
}

std::optional<int32_t> enhancementBackTabTarget(int32_t number, bool noiseRadiusUsable) {
  if (number < 1 || number > 6) return std::nullopt;
  if (number == 6 && !noiseRadiusUsable) return 4;
  return number;
}

}  // namespace ferrolite::dialog
