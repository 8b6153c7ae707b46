#include "tools/twain/Records.h"

#include <cmath>
#include <cstring>
#include <sstream>

#include "platform/twain/Twain.h"

namespace twainhost {

using namespace layout;

Bytes::Bytes(const void* data, size_t size) : bytes_(size) {
  if (size > 0) std::memcpy(bytes_.data(), data, size);
}

uint64_t Bytes::get(size_t at, size_t n) const {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v |= uint64_t(bytes_.at(at + i)) << (8 * i);
  return v;
}

void Bytes::set(size_t at, size_t n, uint64_t v) {
  for (size_t i = 0; i < n; ++i) bytes_.at(at + i) = uint8_t(v >> (8 * i));
}

std::string Bytes::text(size_t at, size_t size) const {
  std::string s;
  for (size_t i = 0; i < size && bytes_.at(at + i) != 0; ++i) s += char(bytes_[at + i]);
  return s;
}

void Bytes::setText(size_t at, size_t size, const std::string& value) {
  for (size_t i = 0; i < size; ++i) {
    bytes_.at(at + i) = i + 1 < size && i < value.size() ? uint8_t(value[i]) : 0;
  }
}

uint32_t Fix32Bits(double value) {
  const double scaled = value * 65536.0;
  const int64_t n = int64_t(scaled >= 0 ? scaled + 0.5 : scaled - 0.5);
  return uint32_t(n);
}

// Whole first, then Frac: the item's 32 bits as they lie in memory.
uint32_t Fix32Word(double value) {
  const uint32_t n = Fix32Bits(value);
  return (n >> 16) | (n << 16);
}

void Bytes::setFix32(size_t at, double value) { setU32(at, Fix32Word(value)); }

Identity Identity::Read(const uint8_t* bytes) {
  const Bytes b(bytes, kIdentitySize);
  Identity id;
  id.id = b.u32(kIdentityId);
  id.major = b.u16(kVersionMajor);
  id.minor = b.u16(kVersionMinor);
  id.language = b.u16(kVersionLanguage);
  id.country = b.u16(kVersionCountry);
  id.info = b.text(kVersionInfo, kStr32);
  id.protocolMajor = b.u16(kProtocolMajor);
  id.protocolMinor = b.u16(kProtocolMinor);
  id.supportedGroups = b.u32(kSupportedGroups);
  id.manufacturer = b.text(kManufacturer, kStr32);
  id.productFamily = b.text(kProductFamily, kStr32);
  id.productName = b.text(kProductName, kStr32);
  return id;
}

Bytes Identity::Write() const {
  Bytes b(kIdentitySize);
  b.setU32(kIdentityId, id);
  b.setU16(kVersionMajor, major);
  b.setU16(kVersionMinor, minor);
  b.setU16(kVersionLanguage, language);
  b.setU16(kVersionCountry, country);
  b.setText(kVersionInfo, kStr32, info);
  b.setU16(kProtocolMajor, protocolMajor);
  b.setU16(kProtocolMinor, protocolMinor);
  b.setU32(kSupportedGroups, supportedGroups);
  b.setText(kManufacturer, kStr32, manufacturer);
  b.setText(kProductFamily, kStr32, productFamily);
  b.setText(kProductName, kStr32, productName);
  return b;
}

std::string Identity::Describe() const {
  std::ostringstream s;
  char groups[16];
  std::snprintf(groups, sizeof groups, "0x%08X", supportedGroups);
  s << "Id: " << id << "\n"
    << "Version: " << major << "." << minor << " (language " << language << ", country " << country
    << ", \"" << info << "\")\n"
    << "Protocol: " << protocolMajor << "." << protocolMinor << "\n"
    << "SupportedGroups: " << groups << "\n"
    << "Manufacturer: " << manufacturer << "\n"
    << "ProductFamily: " << productFamily << "\n"
    << "ProductName: " << productName << "\n";
  return s.str();
}

size_t ItemSize(uint16_t itemType) {
  switch (itemType) {
    case TWTY_INT8:
    case TWTY_UINT8:
      return 1;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL:
      return 2;
    case TWTY_INT32:
    case TWTY_UINT32:
    case TWTY_FIX32:
      return 4;
    case TWTY_FRAME:
      return 16;
    case TWTY_STR32:
      return 34;
    case TWTY_STR64:
      return 66;
    case TWTY_STR128:
      return 130;
    case TWTY_STR255:
      return 256;
    default:
      return 0;
  }
}

size_t Container::Count() const {
  const size_t size = ItemSize(itemType);
  return size == 0 ? 0 : items.size() / size;
}

int64_t Container::Value(size_t i) const {
  const size_t size = ItemSize(itemType);
  const Bytes b(items.data(), items.size());
  const size_t at = i * size;
  switch (itemType) {
    case TWTY_INT8:
      return int8_t(items.at(at));
    case TWTY_UINT8:
      return items.at(at);
    case TWTY_INT16:
      return b.i16(at);
    case TWTY_UINT16:
    case TWTY_BOOL:
      return b.u16(at);
    case TWTY_INT32:
      return b.i32(at);
    default:
      return b.u32(at);
  }
}

double Container::Fixed(size_t i) const {
  const Bytes b(items.data(), items.size());
  return b.fix32(i * 4);
}

std::vector<double> Container::Frame(size_t i) const {
  const Bytes b(items.data(), items.size());
  const size_t at = i * 16;
  return {b.fix32(at), b.fix32(at + 4), b.fix32(at + 8), b.fix32(at + 12)};
}

namespace {

std::vector<uint8_t> ItemBytes(uint16_t itemType, const std::vector<uint32_t>& values) {
  const size_t size = ItemSize(itemType);
  Bytes b(size * values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    for (size_t k = 0; k < size && k < 4; ++k)
      b.data()[i * size + k] = uint8_t(values[i] >> (8 * k));
  }
  return b.vector();
}

}  // namespace

Container Container::OneValue(uint16_t itemType, uint32_t value) {
  Container c;
  c.conType = TWON_ONEVALUE;
  c.itemType = itemType;
  c.items = ItemBytes(itemType, {value});
  c.numItems = 1;
  return c;
}

Container Container::OneFix32(double value) { return OneValue(TWTY_FIX32, Fix32Word(value)); }

Container Container::OneFrame(double left, double top, double right, double bottom) {
  Container c;
  c.conType = TWON_ONEVALUE;
  c.itemType = TWTY_FRAME;
  Bytes b(16);
  b.setFix32(0, left);
  b.setFix32(4, top);
  b.setFix32(8, right);
  b.setFix32(12, bottom);
  c.items = b.vector();
  c.numItems = 1;
  return c;
}

Container Container::Range(uint16_t itemType, uint32_t min, uint32_t max, uint32_t step,
                           uint32_t defaultValue, uint32_t currentValue) {
  Container c;
  c.conType = TWON_RANGE;
  c.itemType = itemType;
  c.min = min;
  c.max = max;
  c.step = step;
  c.defaultValue = defaultValue;
  c.currentValue = currentValue;
  return c;
}

Container Container::Enumeration(uint16_t itemType, const std::vector<uint32_t>& values,
                                 uint32_t currentIndex, uint32_t defaultIndex) {
  Container c;
  c.conType = TWON_ENUMERATION;
  c.itemType = itemType;
  c.items = ItemBytes(itemType, values);
  c.numItems = uint32_t(values.size());
  c.currentIndex = currentIndex;
  c.defaultIndex = defaultIndex;
  return c;
}

Container Container::Array(uint16_t itemType, const std::vector<uint32_t>& values) {
  Container c;
  c.conType = TWON_ARRAY;
  c.itemType = itemType;
  c.items = ItemBytes(itemType, values);
  c.numItems = uint32_t(values.size());
  return c;
}

Bytes Container::Build() const {
  switch (conType) {
    case TWON_ONEVALUE: {
      Bytes b(itemType == TWTY_FRAME ? kOneValueFrameSize : kOneValueSize);
      b.setU16(kItemTypeAt, itemType);
      std::memcpy(b.data() + kOneValueItem, items.data(),
                  std::min(items.size(), b.size() - kOneValueItem));
      return b;
    }
    case TWON_RANGE: {
      Bytes b(kRangeSize);
      b.setU16(kItemTypeAt, itemType);
      b.setU32(kRangeMin, min);
      b.setU32(kRangeMax, max);
      b.setU32(kRangeStep, step);
      b.setU32(kRangeDefault, defaultValue);
      b.setU32(kRangeCurrent, currentValue);
      return b;
    }
    case TWON_ENUMERATION: {
      Bytes b(kEnumItems + items.size());
      b.setU16(kItemTypeAt, itemType);
      b.setU32(kEnumNumItems, numItems);
      b.setU32(kEnumCurrentIndex, currentIndex);
      b.setU32(kEnumDefaultIndex, defaultIndex);
      if (!items.empty()) std::memcpy(b.data() + kEnumItems, items.data(), items.size());
      return b;
    }
    case TWON_ARRAY: {
      Bytes b(kArrayItems + items.size());
      b.setU16(kItemTypeAt, itemType);
      b.setU32(kArrayNumItems, numItems);
      if (!items.empty()) std::memcpy(b.data() + kArrayItems, items.data(), items.size());
      return b;
    }
    default:
      return Bytes(0);
  }
}

bool Container::Parse(uint16_t conType, const uint8_t* block, size_t size, Container* out,
                      std::string* error) {
  auto tooShort = [&](size_t need) {
    *error = "container of type " + std::to_string(conType) + " needs " + std::to_string(need) +
             " bytes, its block has " + std::to_string(size);
    return false;
  };
  if (block == nullptr) {
    *error = "null container";
    return false;
  }
  if (size < 2) return tooShort(2);
  const Bytes b(block, size);
  Container c;
  c.conType = conType;
  c.itemType = b.u16(kItemTypeAt);
  const size_t itemSize = ItemSize(c.itemType);
  switch (conType) {
    case TWON_ONEVALUE: {
      const size_t need = c.itemType == TWTY_FRAME ? kOneValueFrameSize : kOneValueSize;
      if (size < need) return tooShort(need);
      const size_t n = c.itemType == TWTY_FRAME ? 16 : std::min<size_t>(itemSize, 4);
      c.items.assign(block + kOneValueItem, block + kOneValueItem + n);
      c.numItems = 1;
      break;
    }
    case TWON_RANGE:
      if (size < kRangeSize) return tooShort(kRangeSize);
      c.min = b.u32(kRangeMin);
      c.max = b.u32(kRangeMax);
      c.step = b.u32(kRangeStep);
      c.defaultValue = b.u32(kRangeDefault);
      c.currentValue = b.u32(kRangeCurrent);
      break;
    case TWON_ENUMERATION:
    case TWON_ARRAY: {
      const bool isEnum = conType == TWON_ENUMERATION;
      const size_t head = isEnum ? kEnumItems : kArrayItems;
      if (size < head) return tooShort(head);
      c.numItems = b.u32(isEnum ? kEnumNumItems : kArrayNumItems);
      if (isEnum) {
        c.currentIndex = b.u32(kEnumCurrentIndex);
        c.defaultIndex = b.u32(kEnumDefaultIndex);
      }
      const uint64_t need = head + uint64_t(itemSize) * c.numItems;
      if (size < need) return tooShort(size_t(need));
      c.items.assign(block + head, block + need);
      break;
    }
    default:
      *error = "unknown container type " + std::to_string(conType);
      return false;
  }
  *out = c;
  return true;
}

}  // namespace twainhost
