// The scanner's side of each command: data phases, replies and the inquiry data.
#include "sim/SimCommands.h"

#include <vantrel/wire_bytes.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace sim::detail {
namespace {

// Fields of a reply being laid out; `at` lies inside the reply.
void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { wire::Put16(&b[at], v); }
void Put24(std::vector<uint8_t>& b, size_t at, uint32_t v) { wire::Put24(&b[at], v); }
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { wire::Put32(&b[at], v); }
void PutText(std::vector<uint8_t>& b, size_t at, const std::string& text) {
  std::memcpy(b.data() + at, text.data(), text.size());
  b[at + text.size()] = 0;
}

uint32_t Length32(const Block& b) { return wire::Get32(&b[7]); }  // READ, SEND: bytes 7-10
uint32_t Length24(const Block& b) { return wire::Get24(&b[8]); }  // SET WINDOW: bytes 8-10

// ---- model profiles -------------------------------------------------------------------------

struct LongPage {
  uint8_t modeBits;
  uint8_t resolutionBy10;
  uint32_t lines;
};

// Everything a model says about itself in its inquiry data.
struct ModelProfile {
  const char* name;  // the device table's model class
  const char* vendor;
  const char* product;
  const char* firmware;
  uint16_t baseResolution;
  uint32_t flatbedMax[2], adfMax[2], xpaMax[2];  // width, length (base units)
  uint16_t minima[6];                            // flatbed, ADF, XPA: width, length
  uint32_t imageTypes;
  uint16_t deviceType, scanMethod;
  uint16_t opticalRes, adfMotorRes, flatbedMotorRes;
  uint8_t pixelBounds[6];
  uint8_t buttonFunction;
  uint16_t tuning[4];
  uint8_t caps88[5];  // bytes 88-92
  uint8_t ycbcr;      // byte 93
  uint16_t minimumRes;
  uint8_t caps96[7];  // bytes 96-102
  uint8_t backgrounds[9];
  uint8_t lineBounds[8];
  uint8_t byte120;
  std::vector<LongPage> longPages;
};

// Layout of the inquiry block: where the texts and the long-page list go.
constexpr size_t kInquiryLength = kMinInquiryLength;
constexpr size_t kVendorAt = 0x80, kProductAt = 0x90, kFirmwareAt = 0xA8, kSerialAt = 0xB0;
constexpr size_t kLongPagesAt = 0xC8;
static_assert(kSerialAt + kMaxSerialLength + 1 <= kLongPagesAt);

// A feeder-only duplex scanner: 300 dpi base, 600 dpi optical, JPEG colour and grey on the
// device, A4-wide feeder, long pages up to 118 inches at 300 dpi.
const ModelProfile kModels[] = {
    {"CQM310_DPI200with300X200",
     "SIMVENDOR",
     "SIM-ADF300",
     "1.00",
     300,
     {0, 0},
     {2550, 4200},
     {0, 0},
     {0, 0, 600, 600, 0, 0},
     0x011091,
     0x0024,
     0x0040,
     600,
     600,
     0,
     {32, 8, 8, 32, 32, 8},
     1,
     {0x4014, 0x4014, 0x400A, 0x400A},
     {0x04, 0xDF, 0x30, 0x03, 0x00},
     0x00,
     50,
     {0, 0, 0, 0, 0, 0, 0},
     {0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0, 0, 0},
     {1, 1, 1, 1, 1, 1, 8, 8},
     0x00,
     {{0x24, 30, 35400}, {0x22, 30, 35400}, {0x24, 60, 39600}, {0x22, 60, 39600}}},
};

const ModelProfile* FindModel(const std::string& name) {
  for (const auto& m : kModels)
    if (name == m.name) return &m;
  return nullptr;
}

// ---- data phases ----------------------------------------------------------------------------

void NoData(const DeviceState&, Command& c) { c.phase = Phase::None; }
void ReadPhase(const DeviceState&, Command& c) {
  c.phase = Phase::In;
  c.length = Length32(c.block);
}
void SendPhase(const DeviceState&, Command& c) {
  c.phase = Phase::Out;
  c.length = Length32(c.block);
}
void SensePhase(const DeviceState&, Command& c) {
  c.phase = Phase::In;
  c.length = c.block[10];
}
void WindowPhase(const DeviceState&, Command& c) {
  c.phase = Phase::Out;
  c.length = Length24(c.block);
}
void MediaCheckPhase(const DeviceState&, Command& c) {
  c.phase = c.block[9] == 2 ? Phase::Out : Phase::In;
  c.length = c.block[10];
}
// Byte 10 carries only the low 8 bits of the inquiry length: when they match the device's
// length the host asks for all of it.
void InquiryPhase(const DeviceState& s, Command& c) {
  c.phase = Phase::In;
  c.length = c.block[10];
  size_t full = BuildInquiry(s.config, 0).size();
  if (c.length == (full & 0xFF)) c.length = uint32_t(full);
}

// ---- handlers -------------------------------------------------------------------------------

void Refuse(Reply& r, uint8_t asc, uint8_t ascq) {
  r.checkCondition = true;
  r.sense = Sense{};
  r.sense.key = 5;  // illegal request
  r.sense.asc = asc;
  r.sense.ascq = ascq;
}

void Inquiry(DeviceState& s, const Command& c, Reply& r) {
  if (c.block[4] != 0) return Refuse(r, 0x26, 0x00);  // only page 0 exists
  r.data = BuildInquiry(s.config, c.controllerId);
}

void RequestSense(DeviceState& s, const Command& c, Reply& r) {
  Sense none;
  r.data = SenseBytes(s.sensePending ? s.pendingSense : none, c.controllerId);
  s.sensePending = false;
  s.pendingSense = Sense{};
}

void MediaCheck(DeviceState& s, const Command& c, Reply& r) {
  if (c.phase != Phase::In) return;
  r.data.assign(c.length, 0);
  // Bit 0: paper in the feeder; the tray bits beside it. The sensor sits at the feeder: a sheet
  // picked into the transport (counted until it leaves) is no longer over it.
  const uint32_t inFeeder = s.sheets - (s.scan.pageOpen && s.sheets > 0 ? 1 : 0);
  if (r.data.size() > 4) r.data[4] = inFeeder > 0 ? uint8_t(0x01 | s.config.trayBits) : 0x00;
  MediaCheckEvents(s, r);
}

void SetWindow(DeviceState& s, const Command& c, Reply&) {
  s.window = c.dataOut;
  NewWindow(s.preparation);
}

void Accept(DeviceState&, const Command&, Reply&) {}

// ---- NVRAM ----------------------------------------------------------------------------------

constexpr size_t kNvramLayout1 = 132, kNvramLayout2 = 262;

// Offset of a layout-1 field in the configured layout (layout 2 shifts it from byte 4 on).
size_t NvramAt(uint8_t layout, size_t layout1Offset) {
  return layout == 2 && layout1Offset >= 4 ? layout1Offset + 1 : layout1Offset;
}

// Where a tag's value lives in the record (layout-1 offsets; the counters of tags 11 and 12
// exist in layout 2 only and are given as they are).
struct TagField {
  size_t offset;
  size_t bytes;
  bool layout2Only;
};
const TagField kTagFields[13] = {
    {0, 0, false},    {90, 16, false},  // 1 IdentifyInfo
    {106, 16, false},                   // 2 FormalName
    {38, 6, false},                     // 3 first-scan month, day, year
    {4, 4, false},                      // 4 PadScanCount
    {77, 4, false},                     // 5 RollerCount
    {74, 2, false},                     // 6 PowerSavingTime
    {126, 2, false},                    // 7 PowerOffTime
    {48, 1, false},                     // 8 CCDType
    {49, 1, false},                     // 9 ScanSpeed
    {128, 4, false},                    // 10 PowerOnTime
    {133, 4, true},                     // 11 ReverseRollerCount
    {137, 4, true},                     // 12 PickupRollerCount
};

size_t TagOffset(uint8_t layout, int tag) {
  const TagField& f = kTagFields[tag];
  return f.layout2Only ? f.offset : NvramAt(layout, f.offset);
}

// Tag 1 to 12 of a READ/SEND data type 0x100 + tag - 1 the device's layout has; 0 otherwise.
int NvramTag(const DeviceState& s, uint16_t dataType) {
  int tag = int(dataType) - 0x100 + 1;
  if (tag < 1 || tag > 12) return 0;
  if (kTagFields[tag].layout2Only && s.config.nvramLayout != 2) return 0;
  return tag;
}

void ReadNvram(DeviceState& s, const Command& c, Reply& r) {
  const uint8_t layout = s.config.nvramLayout;
  if (c.length == 5) {  // the head: layout and length
    const uint8_t reported = s.config.nvramHeadLayout != 0 ? s.config.nvramHeadLayout : layout;
    const size_t length = s.config.nvramHeadLength != 0 ? s.config.nvramHeadLength : s.nvram.size();
    r.data.assign(5, 0);
    r.data[2] = reported;
    if (reported == 1) {
      r.data[3] = uint8_t(length);
    } else {
      r.data[3] = uint8_t(length >> 8);
      r.data[4] = uint8_t(length);
    }
    return;
  }
  r.data = s.nvram;
  r.data[2] = layout;
}

// The whole record: id, layout, length, DTQ word, then the record from byte 4 (layout 1) or 5.
void WriteNvram(DeviceState& s, const Command& c, Reply& r) {
  const uint8_t layout = s.config.nvramLayout;
  const size_t head = layout == 2 ? 7 : 6;
  if (c.dataOut.size() != s.nvram.size() + 2 || c.dataOut[2] != layout)
    return Refuse(r, 0x26, 0x00);
  if (c.scriptedFailure) return;
  const std::vector<uint8_t> before = s.nvram;
  std::copy(c.dataOut.begin() + head, c.dataOut.end(), s.nvram.begin() + (head - 2));
  if (s.config.nvramIgnoresDates)  // the six date words keep what they held
    std::copy_n(before.begin() + long(NvramAt(layout, 32)), 12,
                s.nvram.begin() + long(NvramAt(layout, 32)));
}

void ReadNvramTag(DeviceState& s, const Command& c, Reply& r) {
  int tag = NvramTag(s, c.dataType);
  if (tag == 0) return Refuse(r, 0x26, 0x00);
  const TagField& f = kTagFields[tag];
  r.data.assign(4 + f.bytes, 0);
  r.data[2] = 1;
  r.data[3] = uint8_t(f.bytes);
  size_t at = TagOffset(s.config.nvramLayout, tag);
  std::copy(s.nvram.begin() + at, s.nvram.begin() + at + f.bytes, r.data.begin() + 4);
}

void WriteNvramTag(DeviceState& s, const Command& c, Reply& r) {
  int tag = NvramTag(s, c.dataType);
  if (tag == 0 || c.dataOut.size() < 4 || c.dataOut[3] != c.dataOut.size() - 4)
    return Refuse(r, 0x26, 0x00);
  if (c.scriptedFailure) return;
  const TagField& f = kTagFields[tag];
  size_t n = std::min(f.bytes, c.dataOut.size() - 4);
  std::copy(c.dataOut.begin() + 4, c.dataOut.begin() + 4 + n,
            s.nvram.begin() + TagOffset(s.config.nvramLayout, tag));
}

// ---- imprinter ------------------------------------------------------------------------------

void ReadImprinterInquiry(DeviceState& s, const Command& c, Reply& r) {
  if (s.config.imprinter == ImprinterKind::None) return Refuse(r, 0x26, 0x00);
  r.data.assign(c.length, 0);
  if (r.data.size() < 71) return;
  const uint8_t status[] = {0, 0x00, 0x01, 0x03};  // by ImprinterKind
  r.data[7] = status[size_t(s.config.imprinter)];
  std::memcpy(&r.data[14], "IMP1", 4);
  std::memcpy(&r.data[18], "SIM-IMPRINTER", 13);
}

void ReadImprinterInformation(DeviceState& s, const Command& c, Reply& r) {
  if (s.config.imprinter == ImprinterKind::None) return Refuse(r, 0x26, 0x00);
  r.data.assign(c.length, 0);
  if (r.data.size() < 74) return;
  const uint32_t values[8] = {1000, 2000, 3000, 4000,
                              5,    6,    7,    8};  // at 7, 11, 15, 19, 26, 30, 34, 38
  for (size_t i = 0; i < 4; ++i) Put32(r.data, 7 + 4 * i, values[i]);
  for (size_t i = 0; i < 4; ++i) Put32(r.data, 26 + 4 * i, values[4 + i]);
  Put16(r.data, 23, s.config.imprinterRecordLength);
  Put16(r.data, 42, 9);
  Put16(r.data, 44, 10);
}

// The imprinter's SENDs are taken as they come; the command log shows them.
void ImprinterSend(DeviceState& s, const Command&, Reply& r) {
  if (s.config.imprinter == ImprinterKind::None) Refuse(r, 0x26, 0x00);
}

void UnknownDataType(DeviceState&, const Command&, Reply& r) { Refuse(r, 0x26, 0x00); }
void UnknownOpcode(DeviceState&, const Command&, Reply& r) { Refuse(r, 0x20, 0x00); }

// The command set. Specific READ/SEND data types go before the catch-all of their opcode.
const CommandSpec kCommands[] = {
    {kOpInquiry, -1, "INQUIRY", InquiryPhase, true, Inquiry},
    {kOpRequestSense, -1, "REQUEST SENSE", SensePhase, true, RequestSense},
    {kOpSetWindow, -1, "SET WINDOW", WindowPhase, true, SetWindow},
    {kOpReserveUnit, -1, "RESERVE UNIT", NoData, true, ReserveUnit},
    {kOpReleaseUnit, -1, "RELEASE UNIT", NoData, true, ReleaseUnit},
    {kOpMediaCheck, -1, "MEDIA CHECK", MediaCheckPhase, true, MediaCheck},
    {kOpReset, -1, "RESET", NoData, true, Accept},
    {kOpRead, 0x0000, "READ image data", ReadPhase, false, ReadImageData},
    {kOpRead, 0x009A, "READ raw data", ReadPhase, false, ImageLikeData},
    {kOpRead, 0x009B, "READ background lines", ReadPhase, false, ReadBackgroundLines},
    {kOpRead, 0x0069, "READ NVRAM", ReadPhase, true, ReadNvram},
    {kOpSend, 0x0085, "SEND NVRAM", SendPhase, true, WriteNvram},
    {kOpRead, 0x0200, "READ imprinter inquiry", ReadPhase, true, ReadImprinterInquiry},
    {kOpRead, 0x0201, "READ imprinter information", ReadPhase, true, ReadImprinterInformation},
    {kOpSend, 0x0202, "SEND imprinter start", SendPhase, true, ImprinterSend},
    {kOpSend, 0x0203, "SEND imprinter mode or pattern", SendPhase, true, ImprinterSend},
    {kOpSend, 0x0204, "SEND imprinter date-time format", SendPhase, true, ImprinterSend},
    {kOpSend, 0x0205, "SEND imprinter text", SendPhase, true, ImprinterSend},
    {kOpSend, 0x0206, "SEND imprinter counter", SendPhase, true, ImprinterSend},
    {kOpSend, 0x0207, "SEND imprinter clock", SendPhase, true, ImprinterSend},
    {kOpSend, 0x020C, "SEND imprinter head", SendPhase, true, ImprinterSend},
    {kOpSend, 0x020D, "SEND imprinter motor", SendPhase, true, ImprinterSend},
    {kOpSend, 0x00B2, "SEND imprinter end of job", SendPhase, true, ImprinterSend},
    {kOpRead, 0x0100, "READ NVRAM tag", ReadPhase, true, ReadNvramTag},
    {kOpSend, 0x0100, "SEND NVRAM tag", SendPhase, true, WriteNvramTag},
    {kOpRead, 0x0101, "READ NVRAM tag", ReadPhase, true, ReadNvramTag},
    {kOpSend, 0x0101, "SEND NVRAM tag", SendPhase, true, WriteNvramTag},
    {kOpRead, 0x0102, "READ NVRAM tag", ReadPhase, true, ReadNvramTag},
    {kOpSend, 0x0102, "SEND NVRAM tag", SendPhase, true, WriteNvramTag},
    {kOpRead, 0x0103, "READ NVRAM tag", ReadPhase, true, ReadNvramTag},
    {kOpSend, 0x0103, "SEND NVRAM tag", SendPhase, true, WriteNvramTag},
    {kOpRead, 0x0104, "READ NVRAM tag", ReadPhase, true, ReadNvramTag},
    {kOpSend, 0x0104, "SEND NVRAM tag", SendPhase, true, WriteNvramTag},
    {kOpRead, 0x0105, "READ NVRAM tag", ReadPhase, true, ReadNvramTag},
    {kOpSend, 0x0105, "SEND NVRAM tag", SendPhase, true, WriteNvramTag},
    {kOpRead, 0x0106, "READ NVRAM tag", ReadPhase, true, ReadNvramTag},
    {kOpSend, 0x0106, "SEND NVRAM tag", SendPhase, true, WriteNvramTag},
    {kOpRead, 0x0107, "READ NVRAM tag", ReadPhase, true, ReadNvramTag},
    {kOpSend, 0x0107, "SEND NVRAM tag", SendPhase, true, WriteNvramTag},
    {kOpRead, 0x0108, "READ NVRAM tag", ReadPhase, true, ReadNvramTag},
    {kOpSend, 0x0108, "SEND NVRAM tag", SendPhase, true, WriteNvramTag},
    {kOpRead, 0x0109, "READ NVRAM tag", ReadPhase, true, ReadNvramTag},
    {kOpSend, 0x0109, "SEND NVRAM tag", SendPhase, true, WriteNvramTag},
    {kOpRead, 0x010A, "READ NVRAM tag", ReadPhase, true, ReadNvramTag},
    {kOpSend, 0x010A, "SEND NVRAM tag", SendPhase, true, WriteNvramTag},
    {kOpRead, 0x010B, "READ NVRAM tag", ReadPhase, true, ReadNvramTag},
    {kOpSend, 0x010B, "SEND NVRAM tag", SendPhase, true, WriteNvramTag},
    // Job preparation (SimPreparation.cpp).
    {kOpRead, 0x0060, "READ calibration information", ReadPhase, true, ReadCalibrationInformation},
    {kOpRead, 0x0061, "READ calibration reference", ReadPhase, true, ReadCalibrationReference},
    {kOpRead, 0x0062, "READ calibration reference", ReadPhase, true, ReadCalibrationReference},
    {kOpSend, 0x0060, "SEND calibration start", SendPhase, true, StartCalibration},
    {kOpRead, 0x006D, "READ calibration result", ReadPhase, true, ReadCalibrationResult},
    {kOpSend, 0x0081, "SEND gamma table", SendPhase, true, SendGammaBlock},
    {kOpSend, 0x0082, "SEND calibration gains", SendPhase, true, SendGains},
    {kOpSend, 0x0083, "SEND colour matrix", SendPhase, true, SendColourMatrix},
    {kOpRead, 0x00A0, "READ lamp status", ReadPhase, true, ReadLamp},
    {kOpSend, 0x00A0, "SEND lamp on", SendPhase, true, SendLampOn},
    // Scan jobs (SimScan.cpp).
    {kOpRead, 0x00B2, "READ duplex transfer mode", ReadPhase, true, ReadDuplexStyle},
    {kOpRead, 0x008B, "READ JPEG tables", ReadPhase, true, ReadJpegTables},
    {kOpSend, 0x008B, "SEND JPEG tables", SendPhase, true, SendJobBlock},
    {kOpSend, 0x0095, "SEND bottom and right offsets", SendPhase, true, SendJobBlock},
    {kOpSend, 0x0096, "SEND top and left offsets", SendPhase, true, SendJobBlock},
    {kOpSend, 0x0098, "SEND hardware processing", SendPhase, true, SendJobBlock},
    {kOpSend, 0x0099, "SEND paper release", SendPhase, true, SendJobBlock},
    // General values, display texts, network values, maintenance data (SimGeneral.cpp).
    {kOpRead, 0x009D, "READ device values", ReadPhase, true, ReadDeviceValues},
    {kOpSend, 0x009D, "SEND device byte", SendPhase, true, SendDeviceByte},
    {kOpSend, 0x009C, "SEND nine bytes", SendPhase, true, SendNineBytes},
    {kOpRead, 0x009C, "READ ultrasonic data", ReadPhase, true, ReadUltrasonicData},
    {kOpRead, 0x00E0, "READ display language", ReadPhase, true, ReadLanguage},
    {kOpSend, 0x00E0, "SEND display language", SendPhase, true, SendLanguage},
    {kOpRead, 0x00E1, "READ display text", ReadPhase, true, ReadDisplayText},
    {kOpSend, 0x00E1, "SEND display text choice", SendPhase, true, SelectDisplayText},
    {kOpRead, 0x00E2, "READ display texts", ReadPhase, true, ReadDisplayTexts},
    {kOpSend, 0x00E2, "SEND display text", SendPhase, true, SendDisplayText},
    {kOpSend, 0x008C, "SEND entries", SendPhase, true, SendEntries},
    {kOpSend, 0x00F0, "SEND raw block", SendPhase, true, SendRawBlock},
    {kOpRead, 0x00A7, "READ network value", ReadPhase, true, ReadNetworkValue},
    {kOpRead, 0x00A8, "READ network value", ReadPhase, true, ReadNetworkValue},
    {kOpSend, 0x00E3, "SEND network value", SendPhase, true, SendNetworkValue},
    {kOpSend, 0x00E4, "SEND network value", SendPhase, true, SendNetworkValue},
    {kOpSend, 0x00E5, "SEND network value", SendPhase, true, SendNetworkValue},
    {kOpSend, 0x00E6, "SEND network value", SendPhase, true, SendNetworkValue},
    {kOpSend, 0x00E7, "SEND network value", SendPhase, true, SendNetworkValue},
    {kOpSend, 0x00E8, "SEND network value", SendPhase, true, SendNetworkValue},
    {kOpSend, 0x00E9, "SEND network value", SendPhase, true, SendNetworkValue},
    {kOpSend, 0x0093, "SEND control data", SendPhase, true, SendControlData},
    {kOpRead, 0x0099, "READ control result", ReadPhase, true, ReadControlResult},
    {kOpRead, 0x020B, "READ imprinter record", ReadPhase, true, ReadImprinterRecord},
    {kOpSend, 0x020B, "SEND imprinter record", SendPhase, true, SendImprinterRecord},
    // READ and SEND of data types the device does not know: keep the exchange in step (the
    // announced data moves), then refuse.
    {kOpRead, -1, "READ", ReadPhase, true, UnknownDataType},
    {kOpSend, -1, "SEND", SendPhase, true, UnknownDataType},
};
const CommandSpec kUnknownCommand = {0, -1, "unknown", NoData, true, UnknownOpcode};

bool HasDataType(uint8_t opcode) { return opcode == kOpRead || opcode == kOpSend; }

}  // namespace

std::vector<uint8_t> SenseBytes(const Sense& s, uint16_t id) {
  std::vector<uint8_t> b(kSenseLength, 0);
  Put16(b, 0, id);
  b[4] = s.responseCode;
  b[5] = s.key & 0x0F;
  b[7] = s.asc;
  b[8] = s.ascq;
  Put32(b, 9, s.information);
  Put32(b, 19, s.imageWidth);
  Put32(b, 23, s.imageHeight);
  Put32(b, 27, s.imageSize);
  Put16(b, 31, s.jpegRestartInterval);
  Put32(b, 33, s.bytesPerLine);
  Put32(b, 37, s.imageScanMode);
  return b;
}

const CommandSpec& FindCommand(const Block& block) {
  const uint16_t dataType = wire::Get16(&block[3]);
  for (const auto& spec : kCommands) {
    if (spec.opcode != block[0]) continue;
    if (spec.dataType >= 0 && (!HasDataType(block[0]) || spec.dataType != dataType)) continue;
    return spec;
  }
  return kUnknownCommand;
}

std::string CommandName(const Block& block) {
  char text[48];
  const CommandSpec& spec = FindCommand(block);
  if (HasDataType(block[0]))
    std::snprintf(text, sizeof text, "%s 0x%04X", block[0] == kOpRead ? "READ" : "SEND",
                  unsigned(wire::Get16(&block[3])));
  else if (&spec == &kUnknownCommand)
    std::snprintf(text, sizeof text, "unknown 0x%02X", block[0]);
  else
    std::snprintf(text, sizeof text, "%s", spec.name);
  return text;
}

bool KnownModel(const std::string& model) { return FindModel(model) != nullptr; }

std::vector<uint8_t> BuildNvram(const Config& config) {
  const uint8_t layout = config.nvramLayout == 1 ? 1 : 2;
  std::vector<uint8_t> b(layout == 2 ? kNvramLayout2 : kNvramLayout1, 0);
  auto at = [&](size_t layout1Offset) { return NvramAt(layout, layout1Offset); };
  b[2] = layout;
  if (layout == 2) {
    Put16(b, 3, uint16_t(b.size()));
  } else {
    b[3] = uint8_t(b.size());
  }
  Put32(b, at(4), 12345);  // PadScanCount
  Put32(b, at(8), 8000);   // ADFSingleModeScanCount
  Put32(b, at(12), 4345);  // ADFDuplexModeScanCount
  Put16(b, at(24), 12);    // edges: leading and side, front and rear
  Put16(b, at(26), uint16_t(-5));
  Put16(b, at(28), 10);
  Put16(b, at(30), uint16_t(-3));
  Put16(b, at(32), 3);  // born 3/14/2023
  Put16(b, at(34), 14);
  Put16(b, at(36), 2023);
  Put16(b, at(38), 4);  // first scan 4/2/2023
  Put16(b, at(40), 2);
  Put16(b, at(42), 2023);
  b[at(48)] = 1;  // CCDType
  b[at(49)] = 2;  // ScanSpeed
  PutText(b, at(50), config.serial.substr(0, 23));
  Put16(b, at(74), 15);     // PowerSavingTime
  Put32(b, at(77), 12345);  // RollerCount
  Put32(b, at(81), 12);     // MultifeedCount
  Put32(b, at(85), 3);      // JamCount
  PutText(b, at(90), "SIMID");
  PutText(b, at(106), "SIM-ADF300");
  Put16(b, at(126), 240);   // PowerOffTime
  Put32(b, at(128), 5000);  // PowerOnTime
  if (layout == 2) {
    Put32(b, 133, 12345);   // ReverseRollerCount
    Put32(b, 137, 12345);   // PickupRollerCount
    Put32(b, 141, 100000);  // PadLife
    Put32(b, 145, 200000);  // ReverseRollerLife
    Put32(b, 149, 200000);  // PickupRollerLife
  }
  return b;
}

std::vector<uint8_t> BuildInquiry(const Config& config, uint16_t id) {
  const ModelProfile* m = FindModel(config.model);
  if (!m) m = &kModels[0];  // the description parser admits known models only
  size_t length = std::max<size_t>(kInquiryLength, config.inquiryLength);
  std::vector<uint8_t> b(length, 0);
  Put16(b, 0, id);
  b[2] = 2;  // inquiry data version
  Put16(b, 3, uint16_t(length));
  Put16(b, 8, kVendorAt);
  Put16(b, 10, kProductAt);
  Put16(b, 12, kFirmwareAt);
  Put16(b, 14, kSerialAt);
  Put16(b, 16, m->baseResolution);
  Put24(b, 18, m->flatbedMax[0]);
  Put24(b, 21, m->flatbedMax[1]);
  Put24(b, 24, m->adfMax[0]);
  Put24(b, 27, m->adfMax[1]);
  Put24(b, 30, m->xpaMax[0]);
  Put24(b, 33, m->xpaMax[1]);
  for (size_t i = 0; i < 6; ++i) Put16(b, 36 + 2 * i, m->minima[i]);
  Put16(b, 48, m->longPages.empty() ? 0 : kLongPagesAt);
  // The raw profile announces no device JPEG.
  constexpr uint32_t kDeviceJpegTypes = 0x1000 | 0x10000;
  constexpr uint32_t kRawTypes =
      0x01 | 0x10 | 0x20 | 0x80 | 0x200;  // lineart, grey 8/16, colour 24/48
  const uint32_t imageTypes = config.profile != ImageProfile::DeviceJpeg
                                  ? (m->imageTypes & ~kDeviceJpegTypes) | kRawTypes
                                  : m->imageTypes;
  Put24(b, 51, imageTypes);
  Put16(b, 54, m->deviceType);
  constexpr uint16_t kIrUvMethods = 0x1000 | 0x2000;
  Put16(b, 56, uint16_t(m->scanMethod | (config.profile == ImageProfile::IrUv ? kIrUvMethods : 0)));
  Put16(b, 58, m->opticalRes);
  Put16(b, 60, m->adfMotorRes);
  Put16(b, 62, m->flatbedMotorRes);
  // 66-69: no halftone or error-diffusion lists.
  std::copy(std::begin(m->pixelBounds), std::end(m->pixelBounds), b.begin() + 70);
  b[76] = m->buttonFunction;
  for (size_t i = 0; i < 4; ++i) Put16(b, 80 + 2 * i, m->tuning[i]);
  std::copy(std::begin(m->caps88), std::end(m->caps88), b.begin() + 88);
  b[93] = m->ycbcr;
  Put16(b, 94, m->minimumRes);
  std::copy(std::begin(m->caps96), std::end(m->caps96), b.begin() + 96);
  std::copy(std::begin(m->backgrounds), std::end(m->backgrounds), b.begin() + 103);
  std::copy(std::begin(m->lineBounds), std::end(m->lineBounds), b.begin() + 112);
  b[120] = m->byte120;
  PutText(b, kVendorAt, m->vendor);
  PutText(b, kProductAt, m->product);
  PutText(b, kFirmwareAt, m->firmware);
  PutText(b, kSerialAt, config.serial.substr(0, kMaxSerialLength));
  if (!m->longPages.empty()) {
    size_t at = kLongPagesAt;
    b[at++] = uint8_t(m->longPages.size());
    for (const auto& e : m->longPages) {
      b[at] = e.modeBits;
      b[at + 1] = e.resolutionBy10;
      Put32(b, at + 2, e.lines);
      at += 6;
    }
  }
  if (config.imprinter != ImprinterKind::None) b[97] |= 0x04;
  for (const InquiryPatch& p : config.inquiryPatches) {
    if (p.offset >= 2 && p.offset < b.size()) b[p.offset] = p.value;
  }
  return b;
}

}  // namespace sim::detail
