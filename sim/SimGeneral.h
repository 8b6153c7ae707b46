#pragma once
// The scanner's general values, display texts, network values and maintenance data: the
// handlers of their READ and SEND data types (registered in kCommands) and the state they keep.
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace sim::detail {

struct DeviceState;
struct Command;
struct Reply;

constexpr std::size_t kDisplayTextEntry = 260;

struct GeneralState {
  bool initialised = false;
  // SEND/READ 0xE0: the display language, 16 bytes as on the wire.
  std::array<uint8_t, 16> language{};
  // SEND 0xE1 picks the entry READ 0xE1 answers with.
  uint16_t selectedText = 0;
  // Display text entries (260 bytes, wire order) by index; SEND 0xE2 adds or replaces one.
  std::map<uint16_t, std::array<uint8_t, kDisplayTextEntry>> texts;
  // READ 0x9D: a 16-bit value (bytes 4-5) and a byte (6); SEND 0x9D sets the byte.
  uint16_t deviceWord = 0x0123;
  uint8_t deviceByte = 7;
  std::vector<uint8_t> nineBytes;  // SEND 0x9C
  std::vector<uint8_t> entries;    // SEND 0x8C, the whole message
  std::vector<uint8_t> rawBlock;   // SEND 0xF0, the whole message
  // Network values: kind 0 (wired) and 1 (wireless), the bytes behind the length word; a write
  // of tag 4 replaces the wired, tag 5 the wireless value. Every write is kept by tag.
  std::vector<uint8_t> network[2];
  std::map<uint8_t, std::vector<uint8_t>> networkWrites;
  uint32_t networkReads[2] = {};  // READs of each kind so far
  // SEND 0x93 / READ 0x99: the last control data and how many arrived.
  std::array<uint8_t, 16> control{};
  uint32_t controlCount = 0;
  // READ/SEND 0x20B: the imprinter's own record.
  std::vector<uint8_t> imprinterRecord;
};

void ReadDeviceValues(DeviceState& s, const Command& c, Reply& r);
void SendDeviceByte(DeviceState& s, const Command& c, Reply& r);
void SendNineBytes(DeviceState& s, const Command& c, Reply& r);
void ReadLanguage(DeviceState& s, const Command& c, Reply& r);
void SendLanguage(DeviceState& s, const Command& c, Reply& r);
void ReadDisplayText(DeviceState& s, const Command& c, Reply& r);
void SelectDisplayText(DeviceState& s, const Command& c, Reply& r);
void ReadDisplayTexts(DeviceState& s, const Command& c, Reply& r);
void SendDisplayText(DeviceState& s, const Command& c, Reply& r);
void SendEntries(DeviceState& s, const Command& c, Reply& r);
void SendRawBlock(DeviceState& s, const Command& c, Reply& r);
void ReadNetworkValue(DeviceState& s, const Command& c, Reply& r);
void SendNetworkValue(DeviceState& s, const Command& c, Reply& r);
void SendControlData(DeviceState& s, const Command& c, Reply& r);
void ReadControlResult(DeviceState& s, const Command& c, Reply& r);
void ReadUltrasonicData(DeviceState& s, const Command& c, Reply& r);
void ReadImprinterRecord(DeviceState& s, const Command& c, Reply& r);
void SendImprinterRecord(DeviceState& s, const Command& c, Reply& r);

}  // namespace sim::detail
