#pragma once
// The scanner's command set: one table entry per command (opcode, and data type for READ and
// SEND) with its data phase and its handler. A new command or data type is one entry in
// kCommands (SimCommands.cpp) and one handler.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimEvents.h"
#include "sim/SimGeneral.h"
#include "sim/SimPreparation.h"
#include "sim/SimScan.h"
#include "sim/SimScanner.h"

namespace sim::detail {

using Block = std::array<uint8_t, 12>;

constexpr uint8_t kOpInquiry = 0xE2;
constexpr uint8_t kOpRequestSense = 0xE3;
constexpr uint8_t kOpSetWindow = 0xE4;
constexpr uint8_t kOpReserveUnit = 0xE6;
constexpr uint8_t kOpReleaseUnit = 0xE7;
constexpr uint8_t kOpMediaCheck = 0xE8;
constexpr uint8_t kOpRead = 0xA8;
constexpr uint8_t kOpSend = 0xAA;
constexpr uint8_t kOpReset = 0xFF;
constexpr uint32_t kSenseLength = 44;

// What REQUEST SENSE reports for a condition (all numbers go out big-endian).
struct Sense {
  uint8_t key = 0;
  uint8_t asc = 0;
  uint8_t ascq = 0;
  uint32_t information = 0;  // at end of page / end of file: valid bytes of the last READ
  uint8_t responseCode = 0x70;
  uint32_t imageWidth = 0;
  uint32_t imageHeight = 0;
  uint32_t imageSize = 0;
  uint16_t jpegRestartInterval = 0;
  uint32_t bytesPerLine = 0;
  uint32_t imageScanMode = 0;
};
std::vector<uint8_t> SenseBytes(const Sense& sense, uint16_t controllerId);

// The device's state as the handlers see it; the device's lock is held while they run.
struct DeviceState {
  Config config;
  uint32_t sheets = 0;
  bool sensePending = false;
  Sense pendingSense;
  std::vector<uint8_t> window;   // the last SET WINDOW data
  std::vector<uint8_t> nvram;    // the NVRAM record, big-endian, in the configured layout
  GeneralState general;          // general values, display texts, network, maintenance data
  PreparationState preparation;  // calibration, lamp, background, what the host sent for them
  ScanState scan;                // feeder, the sheet being read, the job blocks
  EventState events;             // conditions on sheets to come, job-start refusals
};

enum class Phase : uint8_t { None, In, Out };

struct Command {
  Block block{};
  uint8_t opcode = 0;
  uint16_t controllerId = 0;  // block bytes 1-2
  uint16_t dataType = 0;      // block bytes 3-4 (READ and SEND)
  Phase phase = Phase::None;
  uint32_t length = 0;  // bytes of the data phase
  std::vector<uint8_t> dataOut;
  bool scriptedFailure = false;  // a scripted check condition ends it: change no state
};

// A handler fills the data reply (In; the table pads or cuts it to the length and puts the
// controller id in front where the entry says so) and may raise a check condition.
struct Reply {
  std::vector<uint8_t> data;
  bool checkCondition = false;
  Sense sense;
  std::vector<std::string> messages;  // for the device's own log (a document it cannot render)
};

using Handler = void (*)(DeviceState& state, const Command& command, Reply& reply);
// Works out the data phase of a command from its block (and the device's state).
using PhaseOf = void (*)(const DeviceState& state, Command& command);

struct CommandSpec {
  uint8_t opcode;
  int32_t dataType;  // READ/SEND data type; -1: any (and every other opcode)
  const char* name;
  PhaseOf phase;
  bool idInReply;  // reply bytes 0-1 carry the controller id (all but image-like data)
  Handler handler;
};

// The entry for a block: its command, or one that refuses it with a check condition.
const CommandSpec& FindCommand(const Block& block);
std::string CommandName(const Block& block);

bool KnownModel(const std::string& model);
// The NVRAM record the device starts with (big-endian, in the configured layout).
std::vector<uint8_t> BuildNvram(const Config& config);
// The inquiry data of the configured model, serial and controller id.
std::vector<uint8_t> BuildInquiry(const Config& config, uint16_t controllerId);
// Lengths a description may give the inquiry data (it never ends in 5 in its low byte, so the
// two INQUIRY reads stay apart).
constexpr uint32_t kMinInquiryLength = 232;
constexpr uint32_t kMaxInquiryLength = 4096;
// The longest serial text the inquiry layout holds.
constexpr size_t kMaxSerialLength = 23;

}  // namespace sim::detail
