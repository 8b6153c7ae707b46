#pragma once
// The TWAIN records as the test host's application and manager see them: bytes at the offsets of
// the Linux manager's layout, written and read one field at a time. Nothing here uses the data
// source's structs, so a layout fault on either side shows as a wrong field.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace twainhost {

// Sizes and offsets of the records, as the manager's binary interface fixes them.
namespace layout {
inline constexpr size_t kStr32 = 34;
inline constexpr size_t kStr255 = 256;

inline constexpr size_t kIdentitySize = 156;
inline constexpr size_t kIdentityId = 0, kVersionMajor = 4, kVersionMinor = 6, kVersionLanguage = 8,
                        kVersionCountry = 10, kVersionInfo = 12, kProtocolMajor = 46,
                        kProtocolMinor = 48, kSupportedGroups = 50, kManufacturer = 54,
                        kProductFamily = 88, kProductName = 122;

inline constexpr size_t kCapabilitySize = 12;
inline constexpr size_t kCapCap = 0, kCapConType = 2, kCapContainer = 4;

inline constexpr size_t kItemTypeAt = 0;
inline constexpr size_t kOneValueItem = 2, kOneValueSize = 6, kOneValueFrameSize = 18;
inline constexpr size_t kRangeSize = 22;
inline constexpr size_t kRangeMin = 2, kRangeMax = 6, kRangeStep = 10, kRangeDefault = 14,
                        kRangeCurrent = 18;
inline constexpr size_t kEnumNumItems = 2, kEnumCurrentIndex = 6, kEnumDefaultIndex = 10,
                        kEnumItems = 14;
inline constexpr size_t kArrayNumItems = 2, kArrayItems = 6;

inline constexpr size_t kImageInfoSize = 42;
inline constexpr size_t kInfoXResolution = 0, kInfoYResolution = 4, kInfoWidth = 8,
                        kInfoLength = 12, kInfoSamples = 16, kInfoBitsPerSample = 18,
                        kInfoBitsPerPixel = 34, kInfoPlanar = 36, kInfoPixelType = 38,
                        kInfoCompression = 40;

inline constexpr size_t kMemXferSize = 42;
inline constexpr size_t kMemCompression = 0, kMemBytesPerRow = 2, kMemColumns = 6, kMemRows = 10,
                        kMemXOffset = 14, kMemYOffset = 18, kMemBytesWritten = 22, kMemFlags = 26,
                        kMemLength = 30, kMemTheMem = 34;

inline constexpr size_t kSetupMemSize = 12;
inline constexpr size_t kSetupMemMin = 0, kSetupMemMax = 4, kSetupMemPreferred = 8;

inline constexpr size_t kSetupFileSize = 260;
inline constexpr size_t kSetupFileName = 0, kSetupFileFormat = 256, kSetupFileVRefNum = 258;

inline constexpr size_t kPendingSize = 6;
inline constexpr size_t kPendingCount = 0, kPendingEOJ = 2;

inline constexpr size_t kLayoutSize = 28;
inline constexpr size_t kLayoutFrame = 0, kLayoutDocument = 16, kLayoutPage = 20,
                        kLayoutFrameNumber = 24;

inline constexpr size_t kStatusSize = 4;
inline constexpr size_t kStatusCondition = 0, kStatusReserved = 2;

inline constexpr size_t kEventSize = 10;
inline constexpr size_t kEventPointer = 0, kEventMessage = 8;

inline constexpr size_t kUserInterfaceSize = 12;
inline constexpr size_t kUiShow = 0, kUiModal = 2, kUiParent = 4;

inline constexpr size_t kCallbackSize = 14;
inline constexpr size_t kCallbackProc = 0, kCallbackRefCon = 8, kCallbackMessage = 12;

inline constexpr size_t kExtInfoHeader = 4, kExtInfoEntry = 16;
inline constexpr size_t kExtNumInfos = 0;
inline constexpr size_t kInfoId = 0, kInfoItemType = 2, kInfoNumItems = 4, kInfoReturnCode = 6,
                        kInfoItem = 8;

inline constexpr size_t kEntryPointSize = 44;
inline constexpr size_t kEntrySize = 0, kEntryDsm = 4, kEntryAllocate = 12, kEntryFree = 20,
                        kEntryLock = 28, kEntryUnlock = 36;

inline constexpr size_t kCustomSize = 264;
inline constexpr size_t kCustomCommand = 0, kCustomError = 4, kCustomMessage = 8;
inline constexpr size_t kCustomMessageUnits = 128;
}  // namespace layout

// Little-endian fields in a byte buffer, each at its offset.
class Bytes {
 public:
  explicit Bytes(size_t size = 0) : bytes_(size, 0) {}
  Bytes(const void* data, size_t size);

  uint8_t* data() { return bytes_.data(); }
  const uint8_t* data() const { return bytes_.data(); }
  size_t size() const { return bytes_.size(); }
  const std::vector<uint8_t>& vector() const { return bytes_; }

  uint16_t u16(size_t at) const { return uint16_t(get(at, 2)); }
  int16_t i16(size_t at) const { return int16_t(get(at, 2)); }
  uint32_t u32(size_t at) const { return uint32_t(get(at, 4)); }
  int32_t i32(size_t at) const { return int32_t(get(at, 4)); }
  uint64_t u64(size_t at) const { return get(at, 8); }
  void* pointer(size_t at) const { return reinterpret_cast<void*>(uintptr_t(get(at, 8))); }
  // FIX32 at `at`: Whole (signed) + Frac / 65536.
  double fix32(size_t at) const { return i16(at) + u16(at + 2) / 65536.0; }
  // The zero-terminated text of a field of `size` bytes (all of it when nothing terminates it).
  std::string text(size_t at, size_t size) const;

  void setU16(size_t at, uint16_t v) { set(at, 2, v); }
  void setU32(size_t at, uint32_t v) { set(at, 4, v); }
  void setU64(size_t at, uint64_t v) { set(at, 8, v); }
  void setPointer(size_t at, const void* p) { set(at, 8, uint64_t(uintptr_t(p))); }
  void setFix32(size_t at, double value);
  // Writes the text and zero-fills the rest of the field; cut to leave the terminator.
  void setText(size_t at, size_t size, const std::string& value);

 private:
  uint64_t get(size_t at, size_t n) const;
  void set(size_t at, size_t n, uint64_t v);
  std::vector<uint8_t> bytes_;
};

// FIX32 of a value: n = value x 65536 rounded half away from zero, Whole and Frac its halves.
uint32_t Fix32Bits(double value);
// The same as the 32-bit little-endian word of a TW_FIX32 record (Whole in the low half).
uint32_t Fix32Word(double value);

struct Identity {
  uint32_t id = 0;
  uint16_t major = 0, minor = 0, language = 0, country = 0;
  std::string info;
  uint16_t protocolMajor = 0, protocolMinor = 0;
  uint32_t supportedGroups = 0;
  std::string manufacturer, productFamily, productName;

  static Identity Read(const uint8_t* bytes);
  Bytes Write() const;
  std::string Describe() const;  // one line per field, for the program and test failures
};

// Bytes of an item of a TWAIN item type; 0 for a type without a fixed size.
size_t ItemSize(uint16_t itemType);

// A capability container as the application reads or builds it.
struct Container {
  uint16_t conType = 0;
  uint16_t itemType = 0;
  std::vector<uint8_t> items;  // the items' bytes: one value, enumeration and array
  uint32_t numItems = 0;       // as the record states it
  uint32_t currentIndex = 0, defaultIndex = 0;
  uint32_t min = 0, max = 0, step = 0, defaultValue = 0, currentValue = 0;  // range slots

  // Item i read by its type: integers sign- or zero-extended, BOOL as 0 or 1 (its 16 bits).
  int64_t Value(size_t i = 0) const;
  double Fixed(size_t i = 0) const;  // a FIX32 item
  // A FRAME item's edges in inches: left, top, right, bottom.
  std::vector<double> Frame(size_t i = 0) const;
  size_t Count() const;

  static Container OneValue(uint16_t itemType, uint32_t value);
  static Container OneFix32(double value);
  static Container OneFrame(double left, double top, double right, double bottom);
  static Container Range(uint16_t itemType, uint32_t min, uint32_t max, uint32_t step,
                         uint32_t defaultValue, uint32_t currentValue);
  static Container Enumeration(uint16_t itemType, const std::vector<uint32_t>& values,
                               uint32_t currentIndex, uint32_t defaultIndex);
  static Container Array(uint16_t itemType, const std::vector<uint32_t>& values);

  // The container's block: the smallest size its type allows.
  Bytes Build() const;
  // Reads a block of `size` bytes. False with the reason when the block is too short for what its
  // header states or the container type is unknown.
  static bool Parse(uint16_t conType, const uint8_t* block, size_t size, Container* out,
                    std::string* error);
};

}  // namespace twainhost
