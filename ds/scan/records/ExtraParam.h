#pragma once
// The data source's per-model extra parameters, built at every enable with a user interface and
// handed by value to the dialog. Natural alignment, booleans one byte, 296 bytes.
#include <cstddef>
#include <cstdint>

namespace ferrolite {

struct ExtraParam {
  int32_t debugLevel{};
  bool uiOnly{};
  bool enableChromalis{};    // colour matching is offered
  uint8_t adfAlignment{};    // non-zero: feeder pages start at X = 0 instead of centred
  uint32_t maxLongLength{};  // longest page, 1/300 inch; 0 = no cap
  bool reverseRoller{};      // the model counts reverse and pickup rollers
  bool mergeSides{};         // merging two sides is offered
  // Long-page limits by resolution band: entries 12-17 colour, 18-23 the other image types,
  // each from above 500 dpi down to 150 dpi and below.
  uint32_t multiLongLength[64]{};
  bool sdUsbScanner{};  // no energy-saver setting, identity rows only
  uint16_t adfMinWidth{};
  uint16_t adfMinLength{};
  uint16_t flatbedMinWidth{};
  uint16_t flatbedMinLength{};
  bool newKrapi{};  // the current driver interface (DeviceAbility, NewNvmData)
  bool noSleep{};   // power times may be 0
  bool hidePunchHole{};
  bool checkPowerOff{};  // show the power-off check box
  bool photoshopFamily{};
  uint16_t maxPowerSaving{};  // minutes
  uint16_t maxPowerOff{};     // minutes
  bool advColorDropOn{};      // advanced colour drop-out always on
  bool hideCarrierSheet{};

  // Field by field: the padding between fields is no part of the record's value.
  friend bool operator==(const ExtraParam&, const ExtraParam&) = default;
};

static_assert(sizeof(ExtraParam) == 296, "ExtraParam is 296 bytes");
static_assert(offsetof(ExtraParam, debugLevel) == 0);
static_assert(offsetof(ExtraParam, uiOnly) == 4);
static_assert(offsetof(ExtraParam, enableChromalis) == 5);
static_assert(offsetof(ExtraParam, adfAlignment) == 6);
static_assert(offsetof(ExtraParam, maxLongLength) == 8);
static_assert(offsetof(ExtraParam, reverseRoller) == 12);
static_assert(offsetof(ExtraParam, mergeSides) == 13);
static_assert(offsetof(ExtraParam, multiLongLength) == 16);
static_assert(offsetof(ExtraParam, sdUsbScanner) == 272);
static_assert(offsetof(ExtraParam, adfMinWidth) == 274);
static_assert(offsetof(ExtraParam, adfMinLength) == 276);
static_assert(offsetof(ExtraParam, flatbedMinWidth) == 278);
static_assert(offsetof(ExtraParam, flatbedMinLength) == 280);
static_assert(offsetof(ExtraParam, newKrapi) == 282);
static_assert(offsetof(ExtraParam, noSleep) == 283);
static_assert(offsetof(ExtraParam, hidePunchHole) == 284);
static_assert(offsetof(ExtraParam, checkPowerOff) == 285);
static_assert(offsetof(ExtraParam, photoshopFamily) == 286);
static_assert(offsetof(ExtraParam, maxPowerSaving) == 288);
static_assert(offsetof(ExtraParam, maxPowerOff) == 290);
static_assert(offsetof(ExtraParam, advColorDropOn) == 292);
static_assert(offsetof(ExtraParam, hideCarrierSheet) == 293);

}  // namespace ferrolite
