#include "ds/dialog/options/DeviceSettings.h"

#include <algorithm>

#include "ds/dialog/Units.h"

namespace ferrolite::dialog {

SettingTabBuild DeviceSettings::doOptionTabInit(DialogContext& ctx, bool uiOnly) {
  const ScanSetting& r = ctx.record();
  const ExtraParam& e = ctx.extra;
  const AbilityView a = ctx.ability();
  SettingTabBuild b;
  b.calibrationShown = a.needsCalibration();
  imageCountLastNumber = r.iImageCount;
  b.controls.imageCountSlider = r.iImageCount;
  b.controls.imageCountStepper = r.iImageCount;
  b.controls.imageCountFieldEnabled = r.iImageCount >= 0;
  b.controls.imageCountText = r.iImageCount < 0 ? "" : std::to_string(r.iImageCount);
  b.energySaverRowHidden = e.sdUsbScanner;
  if (!e.sdUsbScanner) b.controls.energySaverShows = r.wEnergySaver;
  b.powerOffCheckShown = e.checkPowerOff;
  b.powerOffChecked = r.bPowerOff != 0;
  b.powerOffEnabled = a.powerOff() && (!e.checkPowerOff || r.bPowerOff != 0);
  b.controls.powerOffShows = r.wPowerOffTime;
  b.controls.timeOutShows = r.wTransportTimeout;
  mEnergeSavingTime = r.wEnergySaver;
  mEnergePowerOffTime = r.wPowerOffTime;
  b.ejectOppositeShown = a.ejectOpposite();
  b.saveSettingShown = !uiOnly;
  mPowerSaveoffMinValue = e.noSleep ? 0 : 1;
  b.minimum = mPowerSaveoffMinValue;
  b.energySaverMaximum = e.maxPowerSaving;
  b.powerOffMaximum = e.maxPowerOff;
  return b;
}

int64_t DeviceSettings::clampEnergySaver(DialogContext& ctx, int64_t v) const {
  return std::clamp<int64_t>(v, mPowerSaveoffMinValue,
                             std::max<int64_t>(mPowerSaveoffMinValue, ctx.extra.maxPowerSaving));
}

int64_t DeviceSettings::clampPowerOff(DialogContext& ctx, int64_t v) const {
  return std::clamp<int64_t>(v, mPowerSaveoffMinValue,
                             std::max<int64_t>(mPowerSaveoffMinValue, ctx.extra.maxPowerOff));
}

void DeviceSettings::powerTimeRule(DialogContext& ctx, SettingControls& c) {
  if (mEnergeSavingTime > mEnergePowerOffTime) powerOffAtEnergySaver(ctx, c);
}

void DeviceSettings::powerOffAtEnergySaver(DialogContext& ctx, SettingControls& c) {
  c.powerOffShows = mEnergeSavingTime;
  mEnergePowerOffTime = mEnergeSavingTime;
  ctx.record().wPowerOffTime = saturate<uint16_t>(mEnergeSavingTime);
}

SettingControls DeviceSettings::energySaverStepped(DialogContext& ctx, int64_t value) {
  SettingControls c;
  mEnergeSavingTime = value;
  if (value == 0) c.energySaverShows = 0;
  ctx.record().wEnergySaver = saturate<uint16_t>(mEnergeSavingTime);
  powerTimeRule(ctx, c);
  c.switch2CustomProfile = true;
  return c;
}

SettingControls DeviceSettings::energySaverTyped(DialogContext& ctx, int64_t value) {
  SettingControls c;
  const int64_t v = clampEnergySaver(ctx, value);
  c.energySaverShows = v;
  mEnergeSavingTime = v;
  ctx.record().wEnergySaver = saturate<uint16_t>(v);
  powerTimeRule(ctx, c);
  return c;
}

SettingControls DeviceSettings::energySaverNotified(DialogContext& ctx) {
  int64_t v = ctx.record().wEnergySaver;
  if (v == 0 && !ctx.extra.noSleep) v = 1;
  return energySaverTyped(ctx, v);
}

SettingControls DeviceSettings::powerOffChecked(DialogContext& ctx, bool on) {
  SettingControls c;
  ctx.record().bPowerOff = on ? 1 : 0;
  c.powerOffEnabled = on;
  c.switch2CustomProfile = true;
  return c;
}

SettingControls DeviceSettings::powerOffStepped(DialogContext& ctx, int64_t value) {
  SettingControls c;
  mEnergePowerOffTime = value;
  if (mEnergePowerOffTime >= mEnergeSavingTime && value != mPowerSaveoffMinValue) {
    ctx.record().wPowerOffTime = saturate<uint16_t>(mEnergePowerOffTime);
  } else {
    powerOffAtEnergySaver(ctx, c);
  }
  c.switch2CustomProfile = true;
  return c;
}

SettingControls DeviceSettings::powerOffTyped(DialogContext& ctx, int64_t value) {
  SettingControls c;
  if (mEnergePowerOffTime < mEnergeSavingTime) {
    powerOffAtEnergySaver(ctx, c);
    return c;
  }
  const int64_t v = std::max(clampPowerOff(ctx, value), mEnergeSavingTime);
  c.powerOffShows = v;
  mEnergePowerOffTime = v;
  ctx.record().wPowerOffTime = saturate<uint16_t>(v);
  return c;
}

SettingControls DeviceSettings::powerOffNotified(DialogContext& ctx) {
  ScanSetting& r = ctx.record();
  SettingControls c;
  mEnergePowerOffTime = r.wPowerOffTime;
  if (mEnergePowerOffTime < mEnergeSavingTime) {
    powerOffAtEnergySaver(ctx, c);
    return c;
  }
  const int64_t v = std::max(clampPowerOff(ctx, r.wPowerOffTime), mEnergeSavingTime);
  c.powerOffShows = v;
  mEnergePowerOffTime = v;
  r.wPowerOffTime = saturate<uint16_t>(v);
  return c;
}

SettingControls DeviceSettings::imageCountStepped(DialogContext& ctx, int64_t value) {
  SettingControls c;
  int64_t count = value;
  if (value == 0) {
    if (imageCountLastNumber == 1) {
      count = kNoImageLimit;
      c.imageCountSlider = kNoImageLimit;
      c.imageCountText = "";
    } else if (imageCountLastNumber == kNoImageLimit) {
      count = 1;
      c.imageCountSlider = 1;
      c.imageCountText = "1";
      c.pageUnitLabel = true;
    }
  }
  if (value >= 0 && count != kNoImageLimit) {
    c.pageUnitLabel = true;
  } else {
    c.imageCountText = "";
  }
  c.imageCountStepper = count;
  imageCountLastNumber = saturate<int32_t>(count);
  ctx.record().iImageCount = saturate<int32_t>(count);
  c.imageCountFieldEnabled = count > 0;
  c.switch2CustomProfile = true;
  return c;
}

SettingControls DeviceSettings::imageCountTyped(DialogContext& ctx, int64_t value) {
  SettingControls c;
  int64_t count = value;
  if (count < 0) {
    count = kNoImageLimit;
    c.imageCountText = "";
    c.imageCountFieldEnabled = false;
    imageCountLastNumber = kNoImageLimit;
  } else {
    count = std::clamp<int64_t>(count, 1, kImageCountMaximum);
    c.imageCountText = std::to_string(count);
    c.pageUnitLabel = true;
  }
  ctx.record().iImageCount = static_cast<int32_t>(count);
  return c;
}

SettingControls DeviceSettings::timeOutTyped(DialogContext& ctx, int64_t value) {
  SettingControls c;
  const int64_t v = std::clamp<int64_t>(value, 0, kTransportTimeoutMaximum);
  c.timeOutShows = v;
  ctx.record().wTransportTimeout = static_cast<uint16_t>(v);
  c.switch2CustomProfile = true;
  return c;
}

void DeviceSettings::timeOutStepped(DialogContext& ctx, int64_t value) {
  ctx.record().wTransportTimeout = saturate<uint16_t>(value);
}

std::optional<int32_t> settingTabTarget(int32_t number, bool imageCountUsable) {
  if (number < 1 || number > 3) return std::nullopt;
  if (number == 1 && !imageCountUsable) return 2;
  return number;
}

std::optional<int32_t> settingBackTabTarget(int32_t number, bool imageCountUsable) {
  if (number < 1 || number > 3) return std::nullopt;
  if (number == 1 && !imageCountUsable) return 3;
  return number;
}

}  // namespace ferrolite::dialog
