#pragma once
// The option page's setting tab: the power times and their rule (power off never below the
// energy saver), the image count with its "no limit" value -1, the transport time-out, and
// which of the tab's controls the device and the data source offer.
#include <cstdint>
#include <optional>
#include <string>

#include "ds/dialog/DialogContext.h"

namespace ferrolite::dialog {

inline constexpr int32_t kNoImageLimit = -1;
inline constexpr int32_t kImageCountMaximum = 100;
inline constexpr uint16_t kTransportTimeoutMaximum = 300;

// What the tab's controls show after a rule; unset members stay.
struct SettingControls {
  std::optional<int64_t> energySaverShows;  // its slider, field and stepper
  std::optional<int64_t> powerOffShows;
  std::optional<bool> powerOffEnabled;        // the power-off slider, field and stepper
  std::optional<std::string> imageCountText;  // "" is an empty field
  std::optional<bool> imageCountFieldEnabled;
  std::optional<int64_t> imageCountStepper, imageCountSlider;
  bool pageUnitLabel = false;  // the count label reads "PageUnit"
  std::optional<int64_t> timeOutShows;
  bool switch2CustomProfile = false;
};

// The tab's build from the record and the extra parameters.
struct SettingTabBuild {
  bool calibrationShown = false;
  bool energySaverRowHidden = false;  // sdUsbScanner: the power-off row moves up
  bool powerOffCheckShown = false;
  bool powerOffChecked = false;
  bool powerOffEnabled = false;
  bool ejectOppositeShown = false;
  bool saveSettingShown = true;
  int64_t minimum = 1;  // both power times' lowest value
  int64_t energySaverMaximum = 0, powerOffMaximum = 0;
  SettingControls controls;
};

class DeviceSettings {
 public:
  SettingTabBuild doOptionTabInit(DialogContext& ctx, bool uiOnly);

  // Energy saver: a slider or stepper value, the field's action, the typed value's handler.
  SettingControls energySaverStepped(DialogContext& ctx, int64_t value);
  SettingControls energySaverTyped(DialogContext& ctx, int64_t value);
  SettingControls energySaverNotified(DialogContext& ctx);
  // Power off.
  SettingControls powerOffChecked(DialogContext& ctx, bool on);
  SettingControls powerOffStepped(DialogContext& ctx, int64_t value);
  SettingControls powerOffTyped(DialogContext& ctx, int64_t value);
  SettingControls powerOffNotified(DialogContext& ctx);
  // Image count: the slider or stepper (its new value), and a typed count.
  SettingControls imageCountStepped(DialogContext& ctx, int64_t value);
  SettingControls imageCountTyped(DialogContext& ctx, int64_t value);
  // Transport time-out: typed (held to 0-300) and stepped.
  SettingControls timeOutTyped(DialogContext& ctx, int64_t value);
  void timeOutStepped(DialogContext& ctx, int64_t value);

  int64_t mEnergeSavingTime = 0;
  int64_t mEnergePowerOffTime = 0;
  int32_t mPowerSaveoffMinValue = 1;
  int32_t imageCountLastNumber = 0;

 private:
  // The rule: an energy-saver time beyond the power-off time carries the power-off time up.
  void powerTimeRule(DialogContext& ctx, SettingControls& c);
  void powerOffAtEnergySaver(DialogContext& ctx, SettingControls& c);
  int64_t clampEnergySaver(DialogContext& ctx, int64_t v) const;
  int64_t clampPowerOff(DialogContext& ctx, int64_t v) const;
};

// The setting tab's focus chain: 1 image count (when usable, else the neighbour), 2 energy
// saver, 3 power off.
std::optional<int32_t> settingTabTarget(int32_t number, bool imageCountUsable);
std::optional<int32_t> settingBackTabTarget(int32_t number, bool imageCountUsable);

}  // namespace ferrolite::dialog
