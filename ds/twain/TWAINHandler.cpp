#include "ds/twain/TWAINHandler.h"

#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

#include "platform/twain/Source.h"

namespace ferrolite {
namespace {

constexpr int kItemSizes[] = {1, 2, 4, 1, 2, 4, 2, 4, 16, 34, 66, 130, 256};

// n of a FIX32, held within 32 bits (a value beyond +-32767 inches has no FIX32 anyway).
int32_t fixBits(double scaled) {
  const double n = std::trunc(scaled);
  if (!(n >= double(std::numeric_limits<int32_t>::min())))
    return std::numeric_limits<int32_t>::min();
  if (n > double(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(n);
}

TW_FIX32 fromBits(int32_t n) {
  const auto bits = static_cast<uint32_t>(n);
  return TW_FIX32{static_cast<TW_INT16>(bits >> 16), static_cast<TW_UINT16>(bits & 0xFFFF)};
}

// A zeroed block of `size` bytes handed to the host in the capability; its memory, or null.
template <class T = uint8_t>
T* newContainer(TW_CAPABILITY* capability, TW_UINT16 conType, size_t size) {
  capability->ConType = conType;
  capability->hContainer = twain::AllocateBlock(size);
  if (capability->hContainer == nullptr) return nullptr;
  return static_cast<T*>(capability->hContainer);
}

size_t itemBytes(short itemType, short count) {
  const int size = TWAINHandler::getItemSize(itemType);
  return count > 0 ? size_t(size) * size_t(count) : 0;
}

}  // namespace

TW_FIX32 TWAINHandler::floatToFix32(double value) {
  const double scaled = value * 65536.0;
  return fromBits(fixBits(value >= 0 ? scaled + 0.5 : scaled - 0.5));
}

TW_FIX32 TWAINHandler::frameToFix32(double value) {
  return fromBits(fixBits(value * 65536.0 + 0.5));
}

int TWAINHandler::setupOneValue(TW_CAPABILITY* capability, short itemType, int value) {
  auto* one = newContainer<TW_ONEVALUE>(capability, TWON_ONEVALUE, sizeof(TW_ONEVALUE));
  if (one == nullptr) return kMemFullErr;
  one->ItemType = static_cast<TW_UINT16>(itemType);
  one->Item = static_cast<TW_UINT32>(value);
  return kNoErr;
}

int TWAINHandler::setupFloatValue(TW_CAPABILITY* capability, float value) {
  auto* one = newContainer<TW_ONEVALUE_FIX32>(capability, TWON_ONEVALUE, sizeof(TW_ONEVALUE));
  if (one == nullptr) return kMemFullErr;
  one->ItemType = TWTY_FIX32;
  one->Item = floatToFix32(value);
  return kNoErr;
}

int TWAINHandler::setupFrames(TW_CAPABILITY* capability, float top, float left, float bottom,
                              float right) {
  auto* one = newContainer<TW_ONEVALUE_FRAME>(capability, TWON_ONEVALUE, sizeof(TW_ONEVALUE_FRAME));
  if (one == nullptr) return kMemFullErr;
  one->ItemType = TWTY_FRAME;
  TW_FRAME frame{frameToFix32(left), frameToFix32(top), frameToFix32(right), frameToFix32(bottom)};
  one->Item = frame;
  return kNoErr;
}

int TWAINHandler::setupRange(TW_CAPABILITY* capability, short itemType, int minValue, int maxValue,
                             int stepSize, int defaultValue, int currentValue) {
  auto* range = newContainer<TW_RANGE>(capability, TWON_RANGE, sizeof(TW_RANGE));
  if (range == nullptr) return kMemFullErr;
  range->ItemType = static_cast<TW_UINT16>(itemType);
  range->MinValue = static_cast<TW_UINT32>(minValue);
  range->MaxValue = static_cast<TW_UINT32>(maxValue);
  range->StepSize = static_cast<TW_UINT32>(stepSize);
  range->DefaultValue = static_cast<TW_UINT32>(defaultValue);
  range->CurrentValue = static_cast<TW_UINT32>(currentValue);
  return kNoErr;
}

int TWAINHandler::setupEnumeration(TW_CAPABILITY* capability, short itemType, short count,
                                   short currentIndex, short defaultIndex, const void* items) {
  const size_t bytes = itemBytes(itemType, count);
  auto* enumeration = newContainer<TW_ENUMERATION>(capability, TWON_ENUMERATION,
                                                   TW_ENUMERATION_HEADER_SIZE + bytes);
  if (enumeration == nullptr) return kMemFullErr;
  enumeration->ItemType = static_cast<TW_UINT16>(itemType);
  // The 16-bit arguments widened with their sign.
  enumeration->NumItems = static_cast<TW_UINT32>(int32_t{count});
  enumeration->CurrentIndex = static_cast<TW_UINT32>(int32_t{currentIndex});
  enumeration->DefaultIndex = static_cast<TW_UINT32>(int32_t{defaultIndex});
  if (bytes > 0 && items != nullptr) {
    std::memcpy(reinterpret_cast<uint8_t*>(enumeration) + TW_ENUMERATION_HEADER_SIZE, items, bytes);
  }
  return kNoErr;
}

int TWAINHandler::setupArray(TW_CAPABILITY* capability, short itemType, short count,
                             const void* items) {
  const size_t bytes = itemBytes(itemType, count);
  auto* array = newContainer<TW_ARRAY>(capability, TWON_ARRAY, TW_ARRAY_HEADER_SIZE + bytes);
  if (array == nullptr) return kMemFullErr;
  array->ItemType = static_cast<TW_UINT16>(itemType);
  array->NumItems = static_cast<TW_UINT32>(int32_t{count});
  if (bytes > 0 && items != nullptr) {
    std::memcpy(reinterpret_cast<uint8_t*>(array) + TW_ARRAY_HEADER_SIZE, items, bytes);
  }
  return kNoErr;
}

int TWAINHandler::getItemSize(short itemType) {
  if (itemType < 0 || itemType >= short(std::size(kItemSizes))) return 0;
  return kItemSizes[itemType];
}

void TWAINHandler::copyItems(const void* source, void* destination, short itemType, short count) {
  const size_t bytes = itemBytes(itemType, count);
  if (bytes > 0 && source != nullptr && destination != nullptr) {
    std::memcpy(destination, source, bytes);
  }
}

int TWAINHandler::getOneValue(const TW_CAPABILITY* capability, short* itemType, int* value, bool) {
  if (capability == nullptr || capability->ConType != TWON_ONEVALUE) return kParamErr;
  twain::LockedBlock block(capability->hContainer);
  const auto* one = block.as<const TW_ONEVALUE>();
  if (one == nullptr) return kParamErr;
  const TW_UINT16 type = one->ItemType;
  const TW_UINT32 item = one->Item;
  if (itemType != nullptr) *itemType = static_cast<short>(type);
  if (value != nullptr) {
    switch (type) {
      case TWTY_INT8:
        *value = static_cast<int8_t>(item & 0xFF);
        break;
      case TWTY_INT16:
        *value = static_cast<int16_t>(item & 0xFFFF);
        break;
      case TWTY_UINT8:
        *value = static_cast<int>(item & 0xFF);
        break;
      case TWTY_UINT16:
      case TWTY_BOOL:
        *value = static_cast<int>(item & 0xFFFF);
        break;
      default:  // INT32, UINT32 and anything else: the raw 32 bits
        *value = static_cast<int>(item);
        break;
    }
  }
  return kNoErr;
}

int TWAINHandler::getRange(const TW_CAPABILITY* capability, short* itemType, int* minValue,
                           int* maxValue, int* stepSize, int* defaultValue, int* currentValue,
                           bool) {
  if (capability == nullptr || capability->ConType != TWON_RANGE) return kParamErr;
  twain::LockedBlock block(capability->hContainer);
  const auto* range = block.as<const TW_RANGE>();
  if (range == nullptr) return kParamErr;
  if (itemType != nullptr) *itemType = static_cast<short>(range->ItemType);
  if (minValue != nullptr) *minValue = static_cast<int>(range->MinValue);
  if (maxValue != nullptr) *maxValue = static_cast<int>(range->MaxValue);
  if (stepSize != nullptr) *stepSize = static_cast<int>(range->StepSize);
  if (defaultValue != nullptr) *defaultValue = static_cast<int>(range->DefaultValue);
  if (currentValue != nullptr) *currentValue = static_cast<int>(range->CurrentValue);
  return kNoErr;
}

int TWAINHandler::getEnumeration(const TW_CAPABILITY* capability, short* itemType, short* count,
                                 short* currentIndex, short* defaultIndex, void* items,
                                 unsigned short bufferSize, bool) {
  if (capability == nullptr || capability->ConType != TWON_ENUMERATION) return kParamErr;
  twain::LockedBlock block(capability->hContainer);
  const auto* enumeration = block.as<const TW_ENUMERATION>();
  if (enumeration == nullptr) return kParamErr;
  const TW_UINT16 type = enumeration->ItemType;
  const TW_UINT32 numItems = enumeration->NumItems;
  const TW_UINT32 current = enumeration->CurrentIndex;
  // A current index outside the list would be used to index the caller's items.
  if (current >= numItems) return kParamErr;
  const uint64_t bytes = uint64_t(getItemSize(static_cast<short>(type))) * numItems;
  if (items != nullptr && (itemType == nullptr || count == nullptr || bufferSize < bytes)) {
    return kParamErr;
  }
  if (itemType != nullptr) *itemType = static_cast<short>(type);
  if (count != nullptr) *count = static_cast<short>(numItems & 0xFFFF);
  if (currentIndex != nullptr) *currentIndex = static_cast<short>(current & 0xFFFF);
  if (defaultIndex != nullptr) {
    *defaultIndex = static_cast<short>(enumeration->DefaultIndex & 0xFFFF);
  }
  if (items != nullptr && bytes > 0) {
    std::memcpy(items, reinterpret_cast<const uint8_t*>(enumeration) + TW_ENUMERATION_HEADER_SIZE,
                size_t(bytes));
  }
  return kNoErr;
}

int TWAINHandler::getFrames(const TW_CAPABILITY* capability, TW_FRAME* frame) {
  if (capability == nullptr || frame == nullptr || capability->ConType != TWON_ONEVALUE) {
    return kParamErr;
  }
  twain::LockedBlock block(capability->hContainer);
  const auto* one = block.as<const TW_ONEVALUE_FRAME>();
  // A one value of a smaller item is not 18 bytes long: its frame would be read past its end.
  if (one == nullptr || one->ItemType != TWTY_FRAME) return kParamErr;
  *frame = one->Item;
  return kNoErr;
}

void TWAINHandler::pstrcopy(unsigned char* destination, const unsigned char* source) {
  if (destination == nullptr || source == nullptr) return;
  std::memmove(destination, source, size_t(source[0]) + 1);
}

}  // namespace ferrolite
