// General values, display texts, network values and maintenance data of the simulated scanner.
#include "sim/SimGeneral.h"

#include <vantrel/wire_bytes.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "sim/SimCommands.h"

namespace sim::detail {
namespace {

uint16_t Get16(const std::vector<uint8_t>& b, size_t at) { return wire::Get16(&b[at]); }
using wire::Put16;
using wire::Put32;

void Refuse(Reply& r) {
  r.checkCondition = true;
  r.sense = Sense{};
  r.sense.key = 5;
  r.sense.asc = 0x26;
}

// A SEND whose message is not `00 00 01` and `length` bytes long is refused.
bool Malformed(const Command& c, size_t length, Reply& r) {
  if (c.dataOut.size() == length && c.dataOut[0] == 0 && c.dataOut[1] == 0 && c.dataOut[2] == 1)
    return false;
  Refuse(r);
  return true;
}

std::array<uint8_t, kDisplayTextEntry> TextEntry(uint16_t index, bool wide,
                                                 const std::string& text) {
  std::array<uint8_t, kDisplayTextEntry> e{};
  Put16(e.data(), index);
  e[2] = wide ? 1 : 0;
  size_t at = 6;
  for (char ch : text) {
    if (wide) e[at++] = 0;  // 16-bit characters, big-endian
    e[at++] = uint8_t(ch);
  }
  e[3] = uint8_t(at - 6);
  return e;
}

// What the device knows before the host writes anything.
GeneralState& General(DeviceState& s) {
  GeneralState& g = s.general;
  if (g.initialised) return g;
  g.initialised = true;
  Put32(g.language.data(), 1);
  Put16(g.language.data() + 4, 0x0409);
  std::memcpy(g.language.data() + 6, "en-US\0\0\0\0\0", 10);
  g.texts[0] = TextEntry(0, false, "Ready");
  g.texts[1] = TextEntry(1, true, "Scan");
  g.texts[2] = TextEntry(2, false, "Paper jam");
  const char* defaults[2] = {"IP=192.168.1.20", "SSID=SIM-WLAN;KEY=simulated"};
  for (int k = 0; k < 2; ++k) {
    if (!s.config.networkValues[k].empty()) {
      g.network[k] = s.config.networkValues[k];
    } else {
      g.network[k].assign(defaults[k], defaults[k] + std::strlen(defaults[k]));
    }
  }
  g.imprinterRecord.assign(521, 0);
  uint8_t* p = g.imprinterRecord.data();
  Put32(p + 17, 5000);
  Put32(p + 21, 6000);
  Put32(p + 25, 1);
  Put16(p + 55, 9);
  Put16(p + 57, 9);
  Put16(p + 59, 9);
  std::memcpy(p + 89, "IMPSERIAL", 9);
  Put16(p + 113, 1);
  Put16(p + 115, 1);
  Put16(p + 117, 2020);
  return g;
}

}  // namespace

void ReadDeviceValues(DeviceState& s, const Command& c, Reply& r) {
  GeneralState& g = General(s);
  r.data.assign(std::max<size_t>(c.length, 7), 0);
  Put16(&r.data[4], g.deviceWord);
  r.data[6] = g.deviceByte;
}

void SendDeviceByte(DeviceState& s, const Command& c, Reply& r) {
  if (Malformed(c, 4, r) || c.scriptedFailure) return;
  General(s).deviceByte = c.dataOut[3];
}

void SendNineBytes(DeviceState& s, const Command& c, Reply& r) {
  if (Malformed(c, 12, r) || c.scriptedFailure) return;
  General(s).nineBytes.assign(c.dataOut.begin() + 3, c.dataOut.end());
}

void ReadLanguage(DeviceState& s, const Command&, Reply& r) {
  GeneralState& g = General(s);
  r.data.assign(20, 0);
  r.data[2] = 1;
  r.data[3] = 20;
  std::copy(g.language.begin(), g.language.end(), r.data.begin() + 4);
}

void SendLanguage(DeviceState& s, const Command& c, Reply& r) {
  if (Malformed(c, 20, r)) return;
  if (c.dataOut[3] != 20) return Refuse(r);
  if (c.scriptedFailure) return;
  std::copy(c.dataOut.begin() + 4, c.dataOut.end(), General(s).language.begin());
}

void ReadDisplayText(DeviceState& s, const Command&, Reply& r) {
  GeneralState& g = General(s);
  r.data.assign(265, 0);
  r.data[2] = 1;
  Put16(&r.data[3], 265);
  auto it = g.texts.find(g.selectedText);
  if (it != g.texts.end()) {
    std::copy(it->second.begin(), it->second.end(), r.data.begin() + 5);
  } else {
    Put16(&r.data[5], g.selectedText);
  }
}

void SelectDisplayText(DeviceState& s, const Command& c, Reply& r) {
  if (Malformed(c, 6, r)) return;
  if (c.dataOut[3] != 6) return Refuse(r);
  if (c.scriptedFailure) return;
  General(s).selectedText = Get16(c.dataOut, 4);
}

// Entries 0 to k-1 for a READ of k entries; an index never written reads as an empty entry.
void ReadDisplayTexts(DeviceState& s, const Command& c, Reply& r) {
  if (c.length < 7 || (c.length - 7) % kDisplayTextEntry != 0) return Refuse(r);
  GeneralState& g = General(s);
  r.data.assign(c.length, 0);
  r.data[2] = 1;
  Put32(&r.data[3], c.length);
  const size_t k = (c.length - 7) / kDisplayTextEntry;
  for (size_t i = 0; i < k; ++i) {
    uint8_t* e = &r.data[7 + i * kDisplayTextEntry];
    auto it = g.texts.find(uint16_t(i));
    if (it != g.texts.end()) {
      std::copy(it->second.begin(), it->second.end(), e);
    } else {
      Put16(e, uint16_t(i));
    }
  }
}

void SendDisplayText(DeviceState& s, const Command& c, Reply& r) {
  if (Malformed(c, 265, r)) return;
  if (Get16(c.dataOut, 3) != 265) return Refuse(r);
  if (c.scriptedFailure) return;
  std::array<uint8_t, kDisplayTextEntry> e{};
  std::copy(c.dataOut.begin() + 5, c.dataOut.end(), e.begin());
  General(s).texts[Get16(c.dataOut, 5)] = e;
}

// SEND 0x8C: a byte, a count n, then n 8-byte entries behind a 7-byte head.
void SendEntries(DeviceState& s, const Command& c, Reply& r) {
  if (c.dataOut.size() < 9 || c.dataOut.size() != 8u * c.dataOut[8] + 9 || c.dataOut[2] != 1)
    return Refuse(r);
  if (c.scriptedFailure) return;
  General(s).entries = c.dataOut;
}

// SEND 0xF0: the message length in bytes 3-6, then the data.
void SendRawBlock(DeviceState& s, const Command& c, Reply& r) {
  if (c.dataOut.size() < 7 || c.dataOut[2] != 1) return Refuse(r);
  const uint32_t length = wire::Get32(&c.dataOut[3]);
  if (length != c.dataOut.size()) return Refuse(r);
  if (c.scriptedFailure) return;
  General(s).rawBlock = c.dataOut;
}

// READ 0xA7 (kind 0) and 0xA8 (kind 1): bytes 3-4 the reply's whole length, then the value.
void ReadNetworkValue(DeviceState& s, const Command& c, Reply& r) {
  GeneralState& g = General(s);
  const size_t kind = c.dataType == 0xA7 ? 0 : 1;
  const std::vector<uint8_t>& value = g.network[kind];
  uint32_t total =
      s.config.networkReplyLength != 0 ? s.config.networkReplyLength : uint32_t(value.size() + 5);
  if (g.networkReads[kind]++ != 0 && s.config.networkLaterReplyLength != 0)
    total = s.config.networkLaterReplyLength;
  r.data.assign(std::max<size_t>(value.size() + 5, 5), 0);
  r.data[2] = 1;
  Put16(&r.data[3], uint16_t(total));
  std::copy(value.begin(), value.end(), r.data.begin() + 5);
}

// SEND 0xE3 to 0xE9, tags 1 to 7: tags 4 and 5 carry a 16-bit length, the others one byte.
void SendNetworkValue(DeviceState& s, const Command& c, Reply& r) {
  const uint8_t tag = uint8_t(c.dataType - 0xE2);
  const bool word = tag == 4 || tag == 5;
  const size_t head = word ? 5 : 4;
  const std::vector<uint8_t>& m = c.dataOut;
  if (m.size() < head || m[2] != 1) return Refuse(r);
  const size_t declared = word ? Get16(m, 3) : m[3];
  if (declared + head != m.size()) return Refuse(r);
  if (c.scriptedFailure) return;
  GeneralState& g = General(s);
  std::vector<uint8_t> value(m.begin() + long(head), m.end());
  if (tag == 4) g.network[0] = value;
  if (tag == 5) g.network[1] = value;
  g.networkWrites[tag] = std::move(value);
}

void SendControlData(DeviceState& s, const Command& c, Reply& r) {
  if (Malformed(c, 20, r)) return;
  if (c.dataOut[3] != 20) return Refuse(r);
  if (c.scriptedFailure) return;
  GeneralState& g = General(s);
  std::copy(c.dataOut.begin() + 4, c.dataOut.end(), g.control.begin());
  ++g.controlCount;
}

// READ 0x99: five result words. The first is the shading data size (4096), then the control
// data's first word, its bytes 9 and 8 (mode and the stored mode byte of a shading run) and
// the number of control blocks so far.
void ReadControlResult(DeviceState& s, const Command&, Reply& r) {
  GeneralState& g = General(s);
  r.data.assign(36, 0);
  Put16(&r.data[4], 4096);
  Put16(&r.data[6], uint16_t(g.control[0] << 8 | g.control[1]));
  Put16(&r.data[8], g.control[9]);
  Put16(&r.data[10], g.control[8]);
  Put16(&r.data[12], uint16_t(g.controlCount));
}

// READ 0x9C: the ultrasonic sensor's samples, byte i holding (i * 3) & 0xFF after the id.
void ReadUltrasonicData(DeviceState&, const Command& c, Reply& r) {
  r.data.resize(c.length);
  for (uint32_t i = 0; i < c.length; ++i) r.data[i] = uint8_t(i * 3);
}

void ReadImprinterRecord(DeviceState& s, const Command& c, Reply& r) {
  if (s.config.imprinter == ImprinterKind::None) return Refuse(r);
  GeneralState& g = General(s);
  r.data.assign(g.imprinterRecord.begin(), g.imprinterRecord.end());
  r.data.resize(c.length, 0);
}

void SendImprinterRecord(DeviceState& s, const Command& c, Reply& r) {
  if (s.config.imprinter == ImprinterKind::None) return Refuse(r);
  if (c.scriptedFailure) return;
  GeneralState& g = General(s);
  if (g.imprinterRecord.size() < c.dataOut.size()) g.imprinterRecord.resize(c.dataOut.size(), 0);
  std::copy(c.dataOut.begin(), c.dataOut.end(), g.imprinterRecord.begin());
}

}  // namespace sim::detail
