#pragma once
// Capability containers: the four layouts a TW_CAPABILITY's handle holds (one value, range,
// enumeration, array), built when the host asks for a value and read when it sets one, in the
// Linux manager's layout (2-byte packing: items follow the 16-bit item type directly).
//
// The results are the platform's: 0 success, kMemFullErr when the block cannot be had,
// kParamErr for a container of the wrong kind or a buffer that is too small. A reader that
// refuses writes nothing. A container built here is handed over: the host frees it.
//
//   TW_CAPABILITY cap{ICAP_PIXELTYPE};
//   TWAINHandler::setupEnumeration(&cap, TWTY_UINT16, 3, current, 0, types);
#include <cstdint>

#include "platform/twain/Twain.h"

namespace ferrolite {

inline constexpr int kNoErr = 0;
inline constexpr int kParamErr = -50;
inline constexpr int kMemFullErr = -108;

class TWAINHandler {
 public:
  static int setupOneValue(TW_CAPABILITY* capability, short itemType, int value);
  // A FIX32 one value, rounded half away from zero.
  static int setupFloatValue(TW_CAPABILITY* capability, float value);
  // A FRAME one value from edges in inches (note the order); each edge is rounded by adding 0.5.
  static int setupFrames(TW_CAPABILITY* capability, float top, float left, float bottom,
                         float right);
  static int setupRange(TW_CAPABILITY* capability, short itemType, int minValue, int maxValue,
                        int stepSize, int defaultValue, int currentValue);
  // `items` holds count x getItemSize(itemType) bytes.
  static int setupEnumeration(TW_CAPABILITY* capability, short itemType, short count,
                              short currentIndex, short defaultIndex, const void* items);
  static int setupArray(TW_CAPABILITY* capability, short itemType, short count, const void* items);

  // Bytes of one item of a TWAIN item type; 0 for an unknown type.
  static int getItemSize(short itemType);
  static void copyItems(const void* source, void* destination, short itemType, short count);

  // The value converted by its type (signed types sign-extended, unsigned ones zero-extended).
  // Any output may be null. The flag has no effect (kept for the callers' shape).
  static int getOneValue(const TW_CAPABILITY* capability, short* itemType, int* value,
                         bool unused = false);
  static int getRange(const TW_CAPABILITY* capability, short* itemType, int* minValue,
                      int* maxValue, int* stepSize, int* defaultValue, int* currentValue,
                      bool unused = false);
  // With an item buffer, the item type and count outputs must be given and the buffer must hold
  // every item; the current index must be below the count.
  static int getEnumeration(const TW_CAPABILITY* capability, short* itemType, short* count,
                            short* currentIndex, short* defaultIndex, void* items,
                            unsigned short bufferSize, bool unused = false);
  // The frame of a FRAME one value.
  static int getFrames(const TW_CAPABILITY* capability, TW_FRAME* frame);

  // Copies a length-prefixed string: its length byte and that many characters.
  static void pstrcopy(unsigned char* destination, const unsigned char* source);

  // TW_FIX32 of a value: n = value x 65536 rounded half away from zero (single values) or by
  // adding 0.5 (frame edges), Whole the high and Frac the low 16 bits of n.
  static TW_FIX32 floatToFix32(double value);
  static TW_FIX32 frameToFix32(double value);
};

}  // namespace ferrolite
