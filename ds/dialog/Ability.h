#pragma once
// The device's abilities as the dialog reads them: from DeviceAbility with the current driver
// interface, from ScannerAbilityEx with the older one, chosen by the interface switch and never
// by which pointer is set. A missing record reads as a device of no abilities.
#include <cstdint>

#include "ds/scan/records/DeviceType.h"
#include "ds/scan/records/ScanSetting.h"
#include "ds/scan/records/ScannerAbilityEx.h"
#include "vantrel/device_records.h"

namespace ferrolite::dialog {

class BridgeObject_V2;
struct DialogGlobals;

// Whether a scan source scans from the flatbed (2, and 3, which the settings loader accepts as
// a flatbed source too).
constexpr bool isFlatbedSource(uint8_t source) {
  return source == kSourceFlatbed || source == kSourceFlatbedOther;
}

class AbilityView {
 public:
  AbilityView(bool newKrapi, const DeviceAbility* current, const ScannerAbilityEx* older)
      : newKrapi_(newKrapi), current_(current), older_(older) {}
  static AbilityView of(const BridgeObject_V2& bridge, const DialogGlobals& globals);

  bool newKrapi() const { return newKrapi_; }
  uint32_t flatbedMaxWidth() const;
  uint32_t flatbedMaxLength() const;
  uint32_t adfMaxWidth() const;
  uint32_t adfMaxLength() const;
  // The maximum of the given scan source: the flatbed's for a flatbed source, else the feeder's.
  uint32_t maxWidth(uint8_t source) const {
    return isFlatbedSource(source) ? flatbedMaxWidth() : adfMaxWidth();
  }
  uint32_t maxLength(uint8_t source) const {
    return isFlatbedSource(source) ? flatbedMaxLength() : adfMaxLength();
  }
  uint32_t deviceType() const;
  bool duplex() const { return (deviceType() & kDeviceDuplex) != 0; }
  // A source the scanner has: named by the device-type word and with a maximum size that is
  // not zero (a scanner may name a flatbed it reports no area for).
  bool hasFeeder() const {
    return deviceHasFeeder(deviceType()) && adfMaxWidth() != 0 && adfMaxLength() != 0;
  }
  bool hasFlatbed() const {
    return deviceHasFlatbed(deviceType()) && flatbedMaxWidth() != 0 && flatbedMaxLength() != 0;
  }
  uint32_t halftoneNum() const;
  bool ultrasonicDetection() const;
  bool additionalMultifeedDetection() const;  // an ability of the older interface only
  bool needsCalibration() const;
  bool powerOff() const;
  bool ejectOpposite() const;

 private:
  const DeviceAbility* currentRecord() const { return newKrapi_ ? current_ : nullptr; }
  const ScannerAbilityEx* olderRecord() const { return newKrapi_ ? nullptr : older_; }
  // The current record's value, else the older record's, else 0.
  template <typename Current, typename Older>
  uint32_t read(Current current, Older older) const {
    if (const DeviceAbility* a = currentRecord()) return current(*a);
    if (const ScannerAbilityEx* a = olderRecord()) return older(*a);
    return 0;
  }
  // The same for a field both records name alike.
  template <typename Field>
  uint32_t read(Field field) const {
    return read(field, field);
  }

  bool newKrapi_;
  const DeviceAbility* current_;
  const ScannerAbilityEx* older_;
};

}  // namespace ferrolite::dialog
