#include "ds/dialog/imprinter/ImprinterPage.h"

#include <algorithm>

#include "ds/dialog/TextFieldFamily.h"
#include "ds/dialog/Units.h"

namespace ferrolite::dialog {

namespace {
constexpr std::size_t kCounterDigits = 10;
}  // namespace

std::string counterText(std::string_view digits, std::size_t n) {
  const std::string all = digitsOnly(digits);
  const std::size_t first = all.find_first_not_of('0');
  const std::string value = first == std::string::npos ? std::string(1, '0') : all.substr(first);
  std::string padded = value.size() < kCounterDigits
                           ? std::string(kCounterDigits - value.size(), '0') + value
                           : value;
  if (n >= kCounterDigits) return padded;
  const std::size_t keep = std::max(n, value.size());
  return padded.substr(padded.size() - keep);
}

std::size_t counterItem(std::string_view strPrintCounter) {
  return std::min(characterCount(strPrintCounter), kCounterItems);
}

std::string counterFieldText(std::string_view strPrintCounter) {
  if (strPrintCounter.empty()) return "";
  return counterText(strPrintCounter, characterCount(strPrintCounter));
}

std::optional<Separator> dateSeparatorOf(std::string_view title) {
  if (title == "Separator") return std::nullopt;
  if (title == "None") return Separator{'0', 0};
  if (title == "Space") return Separator{' ', 5};
  const char c = title.empty() ? '0' : title.front();
  switch (c) {
    case '/':
      return Separator{c, 1};
    case ',':
      return Separator{c, 2};
    case '-':
      return Separator{c, 3};
    case '.':
      return Separator{c, 4};
    default:
      return std::nullopt;
  }
}

std::optional<Separator> timeSeparatorOf(std::string_view title) {
  if (title == "Separator") return std::nullopt;
  if (title == "None") return Separator{'0', 0};
  if (title == "Space") return Separator{' ', 2};
  if (!title.empty() && title.front() == ':') return Separator{':', 1};
  return std::nullopt;
}

uint16_t imprinterMaxX(const AbilityView& a) {
  return saturatingTrunc<uint16_t>(a.adfMaxWidth() * kMillimetresPerInch / kBaseResolution);
}

uint16_t imprinterMaxY(const AbilityView& a) {
  return saturatingTrunc<uint16_t>(a.adfMaxLength() * kMillimetresPerInch / kBaseResolution);
}

ImprinterEnable imprinterEnable(bool imprinterOn, uint8_t positionItem) {
  return {imprinterOn, imprinterOn && positionItem == kPrintAreaCustom};
}

float densityGrey(uint8_t density) { return static_cast<float>(density) / 255.0f; }

void ImprinterMore::keep(const ScanSetting& r) {
  ImprinterMoreSize = r.bPrintSize;
  ImprinterMoreDensity = r.bPrintDensity;
  ImprinterMoreTransparncy = r.bPrintTransparency;
}

void ImprinterMore::cancel(ScanSetting& r) const {
  r.bPrintSize = ImprinterMoreSize;
  r.bPrintDensity = ImprinterMoreDensity;
  r.bPrintTransparency = ImprinterMoreTransparncy;
}

std::optional<int32_t> imprinterTabTarget(int32_t number, bool xOffsetUsable) {
  if (number < 1 || number > 4) return std::nullopt;
  if (number == 3 && !xOffsetUsable) return 1;
  return number;
}

std::optional<int32_t> imprinterBackTabTarget(int32_t number, bool yOffsetUsable) {
  if (number < 1 || number > 4) return std::nullopt;
  if (number == 4 && !yOffsetUsable) return 2;
  return number;
}

}  // namespace ferrolite::dialog
