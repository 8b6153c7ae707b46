#pragma once
// The scan engine's worker threads between the IO thread and the reader: the duplex
// de-multiplexer, the IR/UV splitter, the JPEG decoder and encoder and the image-processing
// thread, each reading packets from its input pipes and writing packets to its outputs.
#include <cstdint>

struct CScannerManagerScannerItem;

// Which background colour fills padded lines (the inquiry data's three colours).
enum BGPADDINGTYPE : uint32_t {
  kPaddingFrontFeeder = 0,
  kPaddingRearFeeder = 1,
  kPaddingFlatbed = 2,
};

// Fills `count` bytes with the background colour of `type` in the client's scan mode: grey
// takes the colour's mean, colour whole R, G, B pixels (a rest stays as it was); other modes
// write nothing. `inquiry` is the model object's copy of the inquiry data.
void PaddingLines(uint8_t* buffer, uint32_t count, BGPADDINGTYPE type, const uint8_t* inquiry,
                  uint32_t scanMode);

void* DeDuplexThread(void* item);
void* DeIRUVThread(void* item);
void* JpegDecodeThread(void* item);
void* JpegEncodeThread(void* item);
void* ImageProcesingThread(void* item);
