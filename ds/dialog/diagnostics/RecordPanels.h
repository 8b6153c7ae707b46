#pragma once
// The diagnostic panels: the device records shown field by field, and their capability words
// shown bit by bit. Each record is read from its bytes through a table of (outlet name,
// offset, width, format), so a panel shows what the record holds without knowing its type.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolite::dialog {

enum class FieldFormat {
  Text,           // "%s": the characters, at most the field's width
  StringPointer,  // "%s" of the string a pointer field points to; a null pointer shows ""
  Unsigned,       // "%d" of an unsigned number
  Signed,         // "%d" of a signed number
  HexPrefixed,    // "%#x": 0x and lower-case digits, a zero shows 0
  Hex8,           // "0x%08X"
  ByteList,       // "%d,%d,...": each byte
  ByteListComma,  // each byte followed by a comma
  Zero,           // a reserved field, always "0"
  FirstByte,      // "%d" of the first byte
};

struct RecordField {
  const char* outlet;  // the name after the panel's prefix
  std::size_t offset;
  std::size_t width;
  FieldFormat format;
};

// The panels' tables, in record order.
std::span<const RecordField> scannerAbilityExFields();  // older interface, 142 bytes
std::span<const RecordField> nvmDataFields();           // older interface, 128 bytes
std::span<const RecordField> deviceAbilityFields();     // current interface, DeviceAbility
std::span<const RecordField> newNvmDataFields();        // current interface, NewNvmData

inline constexpr std::string_view kScannerAbilityExPrefix = "mScannerAbilityEx_";
inline constexpr std::string_view kNvramPrefix = "mNVRAM_";
inline constexpr std::string_view kNewScannerAbilityPrefix = "mNewScannerAbility_";
inline constexpr std::string_view kNewNvramPrefix = "mNewNVRAM_";

// One field's text from the record's bytes (host order); "" when the record is too short.
std::string formatField(const RecordField& field, std::span<const uint8_t> record);

struct PanelText {
  std::string outlet;  // the prefix and the field's name
  std::string text;
  bool operator==(const PanelText&) const = default;
};
std::vector<PanelText> fillPanel(std::string_view prefix, std::span<const RecordField> fields,
                                 std::span<const uint8_t> record);

// A check box per bit of a capability word (older interface).
struct BitBox {
  const char* name;
  int bit;
};
struct BitPanel {
  const char* prefix;
  std::size_t wordOffset;  // in ScannerAbilityEx
  std::span<const BitBox> boxes;
};
// ScannerCapability, ScannerCapability2, ScannerCapability3, DriverFunctionSupport,
// DriverFunctionSupport2.
std::span<const BitPanel> olderBitPanels();
struct PanelBox {
  std::string outlet;
  bool on;
  bool operator==(const PanelBox&) const = default;
};
std::vector<PanelBox> fillBitPanel(const BitPanel& panel, uint32_t word);

// A group of bits with a text "BitA-B(value)" and a check box on for a non-zero value
// (current interface).
struct BitGroup {
  const char* name;
  int low, high;
};
struct GroupPanel {
  const char* prefix;
  std::size_t wordOffset;  // in DeviceAbility
  std::span<const BitGroup> groups;
};
// ScannerCapability0, ScannerCapability1, ScannerCapability2.
std::span<const GroupPanel> currentGroupPanels();
uint32_t groupValue(const BitGroup& group, uint32_t word);
std::string groupLabel(const BitGroup& group, uint32_t word);
struct GroupText {
  std::string textOutlet;
  std::string label;
  std::string checkOutlet;
  bool on;
  bool operator==(const GroupText&) const = default;
};
std::vector<GroupText> fillGroupPanel(const GroupPanel& panel, uint32_t word);

// A 32-bit word of a record (host order); 0 when the record is too short.
uint32_t recordWord(std::span<const uint8_t> record, std::size_t offset);

}  // namespace ferrolite::dialog
