#pragma once
// The job's chains of pipes: which pipes a topology mask makes, how big, and which pipe slots
// each fills.
#include <cstdint>

struct CScannerManagerScannerItem;
class CExtPipe;

// Topology mask bits, from the job flags.
constexpr uint8_t kTopologyPipeline = 0x01;
constexpr uint8_t kTopologyDeMultiplexed = 0x02;
constexpr uint8_t kTopologyTwoSides = 0x04;
constexpr uint8_t kTopologyContinuousDuplex = 0x08;
constexpr uint8_t kTopologyIRUV = 0x10;
constexpr uint8_t kTopologyDecodeBeforeConversion = 0x20;
constexpr uint8_t kTopologyReEncode = 0x40;
constexpr uint8_t kTopologyRawFromJpeg = 0x80;

struct TopologySizes {
  int64_t ioMinimum, ioMaximum;      // IO pipes
  int64_t readMinimum, readMaximum;  // between workers and before the reader
  int64_t rearPage;                  // a rear page that waits whole while the front is read
  int64_t rearStreamPage;            // the same with the headers of a stream of its own
};

// Makes one pipe or ends the job start (it does not return then).
using TopologyPipeMaker = CExtPipe* (*)(CScannerManagerScannerItem* item, const char* name,
                                        int64_t minimum, int64_t maximum);

// False for a mask the engine has no chain for (the job start refuses it).
bool IsKnownTopology(uint8_t mask);
uint8_t TopologyMask(const CScannerManagerScannerItem* item);
// Fills the pipe slots and the job's pipe list for the mask's row; nothing for other masks.
void AllocateTopology(CScannerManagerScannerItem* item, uint8_t mask, const TopologySizes& sizes,
                      TopologyPipeMaker make);

// The job end: every started worker whose producer never ran gets the job's end packet in its
// inputs, so that its join does not wait for data that never comes (a failed job start).
void EndStarvedWorkers(CScannerManagerScannerItem* item);
