#pragma once
// The settings record field by field, as the settings files store it: each number under its
// field name without the type prefix ("wImageType" is "ImageType"), the four texts under keys of
// their own. One table serves loading, saving and the tests.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "ds/scan/records/ScanSetting.h"
#include "platform/foundation/PropertyList.h"

namespace ferrolite {

// The kinds of the record's numbers.
enum class SettingType : uint8_t { u8, u16, u32, i32 };

struct SettingNumber {
  std::string_view key;
  size_t offset;
  SettingType type;
};

struct SettingText {
  std::string_view key;
  SharedText ScanSetting::*field;
};

// The 131 numbers and the 4 texts, in field order.
std::span<const SettingNumber> settingNumbers();
std::span<const SettingText> settingTexts();
inline constexpr size_t kSettingKeyCount = 135;

// A number of the record, widened (signed fields with their sign), and stored truncated to the
// field's width.
int64_t settingNumber(const ScanSetting& setting, const SettingNumber& number);
void setSettingNumber(ScanSetting* setting, const SettingNumber& number, int64_t value);

// The integer value of a property-list value as the settings files are read: numbers as they
// are, a text by its leading decimal number (0 when it has none), anything else 0.
int64_t integerValue(const foundation::Value& value);

}  // namespace ferrolite
