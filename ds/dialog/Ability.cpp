#include "ds/dialog/Ability.h"

#include "ds/dialog/Bridge.h"
#include "ds/dialog/DialogGlobals.h"

namespace ferrolite::dialog {

namespace {
constexpr uint32_t bit(uint32_t word, int n) { return (word >> n) & 1u; }
}  // namespace

AbilityView AbilityView::of(const BridgeObject_V2& bridge, const DialogGlobals& globals) {
  return AbilityView(globals.gUINewKrapi, bridge.mpDeviceAbility, bridge.mpScannerAbilityEx);
}

uint32_t AbilityView::flatbedMaxWidth() const {
  return read([](const auto& a) -> uint32_t { return a.FlatbedMaxWidth; });
}
uint32_t AbilityView::flatbedMaxLength() const {
  return read([](const auto& a) -> uint32_t { return a.FlatbedMaxLength; });
}
uint32_t AbilityView::adfMaxWidth() const {
  return read([](const auto& a) -> uint32_t { return a.ADFMaxWidth; });
}
uint32_t AbilityView::adfMaxLength() const {
  return read([](const auto& a) -> uint32_t { return a.ADFMaxLength; });
}
uint32_t AbilityView::halftoneNum() const {
  return read([](const auto& a) -> uint32_t { return a.HalftoneNum; });
}
uint32_t AbilityView::deviceType() const {
  return read([](const DeviceAbility& a) { return a.DeviceType; },
              [](const ScannerAbilityEx& a) -> uint32_t { return a.ScanMethod; });
}
bool AbilityView::ultrasonicDetection() const {
  return read([](const DeviceAbility& a) { return bit(a.ScannerCapability0, 0); },
              [](const ScannerAbilityEx& a) { return bit(a.ScannerCapability2, 26); });
}
bool AbilityView::additionalMultifeedDetection() const {
  return read([](const DeviceAbility&) { return 0u; },
              [](const ScannerAbilityEx& a) { return bit(a.ScannerCapability2, 17); });
}
bool AbilityView::needsCalibration() const {
  return read([](const DeviceAbility& a) { return bit(a.ScannerCapability1, 4); },
              [](const ScannerAbilityEx& a) { return bit(a.DriverFunctionSupport2, 5); });
}
bool AbilityView::powerOff() const {
  return read([](const DeviceAbility& a) { return bit(a.ScannerCapability1, 6); },
              [](const ScannerAbilityEx& a) { return bit(a.ScannerCapability3, 11); });
}
bool AbilityView::ejectOpposite() const {
  return read([](const DeviceAbility& a) { return bit(a.ScannerCapability1, 24); },
              [](const ScannerAbilityEx& a) { return bit(a.ScannerCapability2, 29); });
}

}  // namespace ferrolite::dialog
