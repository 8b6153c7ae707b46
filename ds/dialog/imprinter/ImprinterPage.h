#pragma once
// The imprinter page's rules: the counter text, the separator choices, the enable rule, the
// offsets' maxima, the "More" sheet's saved values, and the focus chain of its fields.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ds/dialog/DialogContext.h"

namespace ferrolite::dialog {

inline constexpr std::size_t kCounterItems = 10;  // "Number(1)" to "Number(1234567890)"

// The counter text for a value held as digits and a digit count n (0 to 10): the value
// zero-filled to ten digits, then, for n below 10, its last max(n, digits of the value)
// characters. A value of more than ten digits keeps all of them. Never read through an
// integer, so no counter wraps.
std::string counterText(std::string_view digits, std::size_t n);

// The counter popup's item for a stored counter: its length, at most the last item.
std::size_t counterItem(std::string_view strPrintCounter);
// The counter field at the page build: empty for an empty counter, else the counter text. The
// field shows the counter that prints, also while the imprinter is off.
std::string counterFieldText(std::string_view strPrintCounter);

// A separator menu item's title: what it stores. Answers nothing for the "Separator" header.
struct Separator {
  char divider;  // '0' none, ' ' blank, else the character
  uint8_t code;
  bool operator==(const Separator&) const = default;
};
std::optional<Separator> dateSeparatorOf(std::string_view title);
std::optional<Separator> timeSeparatorOf(std::string_view title);

// The offsets' maxima in whole millimetres: the feeder's width and length, truncated.
uint16_t imprinterMaxX(const AbilityView& ability);
uint16_t imprinterMaxY(const AbilityView& ability);

// The enable rule: with the imprinter on every control is usable and the offsets only for the
// custom position (item 3); off, nothing but the imprinter's own check box.
inline constexpr uint8_t kPrintAreaCustom = 3;
struct ImprinterEnable {
  bool controls = false;  // content, counter, date and time, font, position, More; black labels
  bool offsets = false;   // both offset fields and steppers, black labels
  bool operator==(const ImprinterEnable&) const = default;
};
ImprinterEnable imprinterEnable(bool imprinterOn, uint8_t positionItem);

// The density swatch's grey: d / 255 in single precision.
float densityGrey(uint8_t density);

// The "More" sheet: its sliders edit the record live; Cancel restores the values kept at the
// page build or the last OK.
class ImprinterMore {
 public:
  void keep(const ScanSetting& record);
  void ok(const ScanSetting& record) { keep(record); }
  void cancel(ScanSetting& record) const;

 private:
  uint8_t ImprinterMoreSize = 0, ImprinterMoreDensity = 0, ImprinterMoreTransparncy = 0;
};

// The imprinter's focus chain: 1 custom text, 2 counter, 3 X offset, 4 Y offset; an offset
// that cannot take the focus passes it on.
std::optional<int32_t> imprinterTabTarget(int32_t number, bool xOffsetUsable);
std::optional<int32_t> imprinterBackTabTarget(int32_t number, bool yOffsetUsable);

}  // namespace ferrolite::dialog
