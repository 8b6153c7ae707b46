#pragma once
// The option page's enhancement tab: background processing's menus and enabling, the edge
// fill's limit and range check, the despeckle radius's minimum, and the tab's focus chain.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ds/dialog/DataSource.h"
#include "ds/dialog/Notifications.h"
#include "ds/scan/records/ScanSetting.h"

namespace ferrolite::dialog {

inline constexpr uint8_t kNoiseRadiusMaximum = 30;
inline constexpr uint16_t kNoiseNumberMaximum = 3600;

// The edge fill's limit L: half the page's shorter side in whole millimetres, rounded down
// (the long page's length on the long page). One L serves all four edges.
uint16_t edgeFillLimit(const ScanSetting& record);
// The range alert's informative text: "<EdgeFillRange> 0 ~ L <millimeters>".
std::string edgeFillRangeText(const LanguageBundle& language, uint16_t limit);

// checkEdgeFillRange: true when all four widths are within L; otherwise every width beyond it
// is set to L (left, right, top, bottom) and the alert is due.
struct EdgeFillCheck {
  bool inRange = true;
  std::vector<std::pair<std::string, int64_t>> properties;  // bound values to set, in order
};
EdgeFillCheck checkEdgeFillRange(ScanSetting& record);

enum class Edge { Left, Top, Right, Bottom };
// An edge stepper: stores the value; one step beyond L shows the alert and goes back.
struct EdgeStep {
  bool alert = false;
  int64_t property = 0;  // the side's bound value after the step
};
EdgeStep edgeStepped(ScanSetting& record, Edge edge, int64_t value);

// "optionEdgeChange" with an edge key: widths beyond L are clamped to L; each matched side's
// bound value is set to 0 and then to its width, so the field redraws.
struct EdgeChange {
  bool alert = false;
  std::vector<std::pair<std::string, int64_t>> properties;
};
EdgeChange optionEdgeChangeEdges(ScanSetting& record, const std::string& which);

// The despeckle radius's minimum for a noise number: trunc((sqrt(n) - 1) / 2 + 1).
uint8_t rmin(uint32_t noiseNumber);
// The noise-number stepper: the radius rises to its minimum; answers the radius shown.
uint8_t noiseNumberStepped(ScanSetting& record, int64_t noiseNumber);
// The radius stepper: between the number's minimum (and 1) and 30.
uint8_t noiseRadiusStepped(ScanSetting& record, int64_t radius);

// Background processing: 0 None, 1 Smooth, 2 Removal.
struct BackgroundControls {
  std::optional<bool> enabled;  // speed, sensitivity and fill controls, labels, value label
  std::string fillLabelKey;     // "Mode" while smoothing, else "FillColor"
  std::string fillMenuTitle;    // "Mode" or "fillcolor"
  std::vector<std::string> fillItems;
  std::optional<int64_t> fillSelected;
};
BackgroundControls backgroundControls(const ScanSetting& record);
// OptionTabBackgroundSetting: stores the choice and answers the controls.
BackgroundControls backgroundChosen(ScanSetting& record, int64_t index);
// OptionTabBackgroundFillColor: the mode while smoothing, the fill while removing.
void backgroundFillChosen(ScanSetting& record, int64_t index);

// The enhancement tab's focus chain: 1 left, 2 top, 3 bottom, 4 right, 5 noise number,
// 6 noise radius; an unusable noise field passes the focus on.
std::optional<int32_t> enhancementTabTarget(int32_t number, bool noiseNumberUsable);
std::optional<int32_t> enhancementBackTabTarget(int32_t number, bool noiseRadiusUsable);

}  // namespace ferrolite::dialog
