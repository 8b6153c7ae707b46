#pragma once
// What the scanner does while it scans: the feeder and the sheet in the transport, the pages it
// builds from the last window (each byte tells sheet, side and row), the image reads with end of
// page and end of file through sense, the duplex transfer style (READ 0xB2), and the job blocks
// the host sends around a scan (offsets, hardware processing, paper release, JPEG tables).
#include <cstdint>
#include <vector>

#include "sim/SimScanner.h"

namespace sim::detail {

struct DeviceState;
struct Command;
struct Reply;

struct ScanState {
  uint32_t sheetsTaken = 0;  // sheets that left the feeder; the next one is sheet taken + 1
  bool pageOpen = false;     // the sheet in the transport has been read from
  std::vector<uint8_t> side[2];
  size_t position[2] = {0, 0};
  uint32_t lines[2] = {0, 0};  // lines each side holds
  bool sideEnded[2] = {false, false};
  // A side a READ that reported a condition sent to its last byte: its end of page (or file)
  // comes with the side's next READ.
  bool endOwed[2] = {false, false};
  uint32_t nextSide = 0;            // styles 0 and 7: the side the next READ delivers
  uint32_t carried = 0;             // bytes of the next sheet an end-of-page READ already delivered
  size_t gapAt = 0, gapLength = 0;  // de-multiplexed style 3: the stream's uncounted bytes
  bool irUvImageNext = false;       // IR/UV profile: the sheet's visible image was read
  ScanRecord record;
};

ScanState InitialScan(const Config& config);
// The record's side of the sheet in the transport went out whole (or blank).
void MarkSideEnded(ScanState& scan, uint32_t side, bool blank);
// The record's side of the sheet in the transport came blank.
bool SideCameBlank(const ScanState& scan, uint32_t side);
// The device's own quantisation tables (READ 0x8B): luminance, then chrominance.
std::vector<uint8_t> DeviceJpegTables();

// Raw data: byte i of a block is the low byte of i.
void ImageLikeData(DeviceState& s, const Command& c, Reply& r);
void ReadImageData(DeviceState& s, const Command& c, Reply& r);
void ReserveUnit(DeviceState& s, const Command& c, Reply& r);
void ReleaseUnit(DeviceState& s, const Command& c, Reply& r);
void ReadDuplexStyle(DeviceState& s, const Command& c, Reply& r);
void ReadJpegTables(DeviceState& s, const Command& c, Reply& r);
void SendJobBlock(DeviceState& s, const Command& c, Reply& r);

}  // namespace sim::detail
