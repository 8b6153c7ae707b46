// The topology table: every chain of pipes a job can run, by its mask.
#include "drv/engine/Topology.h"

#include <initializer_list>

#include "drv/device/CScannerManager.h"
#include "drv/engine/ExtPipe.h"
#include "drv/engine/ScanJob.h"
#include "drv/engine/WorkerThreads.h"

namespace {

enum class Size { Io, Read, RearPage, RearStream, ReadToIo };

void AddToPipeList(CScannerManagerScannerItem* item, CExtPipe* pipe) {
  for (CExtPipe*& slot : item->JobPipes) {
    if (slot == pipe) return;
    if (slot == nullptr) {
      slot = pipe;
      return;
    }
  }
}

class Builder {
 public:
  Builder(CScannerManagerScannerItem* item, const TopologySizes& sizes, TopologyPipeMaker make)
      : m_item(item), m_sizes(sizes), m_make(make) {}
  // One pipe in all the slots given.
  void Pipe(const char* name, Size size, std::initializer_list<ScanPipeSlot> slots) {
    int64_t minimum = m_sizes.readMinimum, maximum = m_sizes.readMaximum;
    switch (size) {
      case Size::Io:
        minimum = m_sizes.ioMinimum;
        maximum = m_sizes.ioMaximum;
        break;
      case Size::Read:
        break;
      case Size::RearPage:
        minimum = maximum = m_sizes.rearPage;
        break;
      case Size::RearStream:
        minimum = maximum = m_sizes.rearStreamPage;
        break;
      case Size::ReadToIo:
        maximum = m_sizes.ioMaximum;
        break;
    }
    CExtPipe* pipe = m_make(m_item, name, minimum, maximum);
    for (ScanPipeSlot slot : slots) m_item->Pipes[slot] = pipe;
    AddToPipeList(m_item, pipe);
  }

 private:
  CScannerManagerScannerItem* m_item;
  const TopologySizes& m_sizes;
  TopologyPipeMaker m_make;
};

// The decode chains: the device's JPEG into decoded lines, converted and/or encoded again.
void JpegSide(Builder& b, bool rear, uint8_t mask) {
  const bool convert = (mask & kTopologyPipeline) != 0;
  const bool encode = (mask & kTopologyRawFromJpeg) == 0 &&
                      (mask & (kTopologyReEncode | kTopologyDecodeBeforeConversion)) != 0;
  const ScanPipeSlot read = rear ? kPipeReadRear : kPipeReadFront;
  b.Pipe(rear ? "Rear IO" : "Front IO", Size::Io, {rear ? kPipeIoRear : kPipeIoFront});
  const ScanPipeSlot decoded = rear ? kPipeJpegDecodeRear : kPipeJpegDecodeFront;
  const ScanPipeSlot processIn = rear ? kPipeImageProcessInRear : kPipeImageProcessInFront;
  const ScanPipeSlot processOut = rear ? kPipeImageProcessOutRear : kPipeImageProcessOutFront;
  const ScanPipeSlot encodeIn = rear ? kPipeJpegEncodeInRear : kPipeJpegEncodeInFront;
  const ScanPipeSlot encodeOut = rear ? kPipeJpegEncodeOutRear : kPipeJpegEncodeOutFront;
  const char* decodedName = rear ? "Rear Jpeg decode output" : "Front Jpeg decode output";
  if (convert && encode) {
    b.Pipe(decodedName, Size::Read, {decoded, processIn});
    b.Pipe(rear ? "Rear Jpeg encode input" : "Front Jpeg encode input", Size::Read,
           {processOut, encodeIn});
    b.Pipe(rear ? "Rear Read" : "Front Read", Size::Read, {encodeOut, read});
  } else if (convert) {
    b.Pipe(decodedName, Size::Read, {decoded, processIn});
    b.Pipe(rear ? "Rear Read" : "Front Read", Size::Read, {processOut, read});
  } else if (encode) {
    b.Pipe(decodedName, Size::Read, {decoded, encodeIn});
    b.Pipe(rear ? "Rear Read" : "Front Read", Size::Read, {encodeOut, read});
  } else {
    b.Pipe(rear ? "Rear Read" : "Front Read", Size::Read, {decoded, read});
  }
}

}  // namespace

bool IsKnownTopology(uint8_t mask) {
  switch (mask) {
    case 0x00:
    case 0x01:
    case 0x04:
    case 0x05:
    case 0x06:
    case 0x07:
    case 0x0C:
    case 0x0D:
    case 0x0E:
    case 0x0F:
    case 0x10:
    case 0x11:
    case 0x21:
    case 0x25:
    case 0x40:
    case 0x44:
    case 0x80:
    case 0xC0:
    case 0x84:
    case 0xC4:
    case 0xA1:
    case 0xA5:
      return true;
    default:
      return false;
  }
}

uint8_t TopologyMask(const CScannerManagerScannerItem* item) {
  uint8_t mask = 0;
  if (item->pFrontPipeline != nullptr) mask |= kTopologyPipeline;
  if (item->bDeMultiplexed) mask |= kTopologyDeMultiplexed;
  if (item->bTwoSides) mask |= kTopologyTwoSides;
  if (item->bContinuousDuplex) mask |= kTopologyContinuousDuplex;
  if (item->bIRUVJob) mask |= kTopologyIRUV;
  if (item->bJpegDecodeBeforeConversion) mask |= kTopologyDecodeBeforeConversion;
  if (item->bJpegReEncode) mask |= kTopologyReEncode;
  if (item->bRawFromDeviceJpeg) mask |= kTopologyRawFromJpeg;
  return mask;
}

void AllocateTopology(CScannerManagerScannerItem* item, uint8_t mask, const TopologySizes& sizes,
                      TopologyPipeMaker make) {
  Builder b(item, sizes, make);
  switch (mask) {
    case 0x00:
      b.Pipe("Front IO", Size::Io, {kPipeIoFront, kPipeReadFront});
      break;
    case 0x04:
      b.Pipe("Front IO", Size::Io, {kPipeIoFront, kPipeReadFront});
      b.Pipe("Rear IO", Size::RearStream, {kPipeIoRear, kPipeReadRear});
      break;
    case 0x01:
      b.Pipe("Front IO", Size::Io, {kPipeIoFront, kPipeImageProcessInFront});
      b.Pipe("Front Read", Size::Read, {kPipeImageProcessOutFront, kPipeReadFront});
      break;
    case 0x05:
      b.Pipe("Front IO", Size::Io, {kPipeIoFront, kPipeImageProcessInFront});
      b.Pipe("Rear IO", Size::Io, {kPipeIoRear, kPipeImageProcessInRear});
      b.Pipe("Front Read", Size::Read, {kPipeImageProcessOutFront, kPipeReadFront});
      b.Pipe("Rear Read", Size::RearStream, {kPipeImageProcessOutRear, kPipeReadRear});
      break;
    case 0x06:
      b.Pipe("Front IO", Size::Io, {kPipeIoFront});
      b.Pipe("Front Read", Size::Read, {kPipeDeDuplexFront, kPipeReadFront});
      b.Pipe("Rear Read", Size::RearPage, {kPipeDeDuplexRear, kPipeReadRear});
      break;
    case 0x07:
      b.Pipe("Front IO", Size::Io, {kPipeIoFront});
      b.Pipe("Front DeDuplex output", Size::Read, {kPipeDeDuplexFront, kPipeImageProcessInFront});
      b.Pipe("Rear DeDuplex output", Size::Read, {kPipeDeDuplexRear, kPipeImageProcessInRear});
      b.Pipe("Front Read", Size::Read, {kPipeImageProcessOutFront, kPipeReadFront});
      b.Pipe("Rear Read", Size::RearPage, {kPipeImageProcessOutRear, kPipeReadRear});
      break;
    // Continuous duplex: the sides come in step, the rear as long a stream as the front.
    case 0x0C:
      b.Pipe("Front IO", Size::Io, {kPipeIoFront, kPipeReadFront});
      b.Pipe("Rear IO", Size::Io, {kPipeIoRear, kPipeReadRear});
      break;
    case 0x0D:
      b.Pipe("Front IO", Size::Io, {kPipeIoFront, kPipeImageProcessInFront});
      b.Pipe("Rear IO", Size::Io, {kPipeIoRear, kPipeImageProcessInRear});
      b.Pipe("Front Read", Size::Read, {kPipeImageProcessOutFront, kPipeReadFront});
      b.Pipe("Rear Read", Size::Read, {kPipeImageProcessOutRear, kPipeReadRear});
      break;
    case 0x0E:
      b.Pipe("Front IO", Size::Io, {kPipeIoFront});
      b.Pipe("Front Read", Size::Read, {kPipeDeDuplexFront, kPipeReadFront});
      b.Pipe("Rear Read", Size::Read, {kPipeDeDuplexRear, kPipeReadRear});
      break;
    case 0x0F:
      b.Pipe("Front IO", Size::Io, {kPipeIoFront});
      b.Pipe("Front DeDuplex output", Size::Read, {kPipeDeDuplexFront, kPipeImageProcessInFront});
      b.Pipe("Rear DeDuplex output", Size::Read, {kPipeDeDuplexRear, kPipeImageProcessInRear});
      b.Pipe("Front Read", Size::Read, {kPipeImageProcessOutFront, kPipeReadFront});
      b.Pipe("Rear Read", Size::ReadToIo, {kPipeImageProcessOutRear, kPipeReadRear});
      break;
    case 0x10:
      // The IR and UV images wait in the splitter's own growing buffers (they go out whole
      // behind the visible image), so they need no pipes.
      b.Pipe("Front IO", Size::Io, {kPipeIoFront});
      b.Pipe("Front Read", Size::Read, {kPipeDeIRUVMain, kPipeReadFront});
      break;
    case 0x11:
      b.Pipe("Front IO", Size::Io, {kPipeIoFront});
      b.Pipe("Image process input", Size::Read, {kPipeDeIRUVMain, kPipeImageProcessInFront});
      b.Pipe("Front Read", Size::Read, {kPipeImageProcessOutFront, kPipeReadFront});
      break;
    case 0x21:
    case 0x40:
    case 0x80:
    case 0xC0:
    case 0xA1:
      JpegSide(b, false, mask);
      break;
    case 0x25:
    case 0x44:
    case 0x84:
    case 0xC4:
    case 0xA5:
      JpegSide(b, false, mask);
      JpegSide(b, true, mask);
      break;
    default:
      break;
  }
}

void EndStarvedWorkers(CScannerManagerScannerItem* item) {
  auto started = [&](ScanThreadSlot slot) { return IsValidKrThread(&item->Threads[slot]); };
  auto end = [&](ScanPipeSlot front, ScanPipeSlot rear) {
    const PIPE_PACKAGE_HEADER packet = EndJobPacket();
    for (ScanPipeSlot slot : {front, rear})
      if (CExtPipe* pipe = item->Pipes[slot]) WritePacket(pipe, packet, nullptr);
  };
  const bool io = started(kThreadIo);
  const bool decode = started(kThreadJpegDecode);
  if (!io) {
    for (ScanThreadSlot slot : {kThreadJpegDecode, kThreadDeIRUV, kThreadDeDuplex})
      if (started(slot)) end(kPipeIoFront, kPipeIoRear);
  }
  if (started(kThreadImageProcessing)) {
    ScanThreadSlot producer = kThreadIo;
    if (item->bJpegDecodeBeforeConversion || item->bRawFromDeviceJpeg) producer = kThreadJpegDecode;
    if (item->bIRUVJob) producer = kThreadDeIRUV;
    if (item->bDeMultiplexed) producer = kThreadDeDuplex;
    if (!started(producer)) end(kPipeImageProcessInFront, kPipeImageProcessInRear);
  }
  if (started(kThreadJpegEncode)) {
    const bool fromConversion = item->bJpegDecodeBeforeConversion != 0;
    if (fromConversion ? !started(kThreadImageProcessing) : !decode)
      end(fromConversion ? kPipeImageProcessOutFront : kPipeJpegDecodeFront,
          fromConversion ? kPipeImageProcessOutRear : kPipeJpegDecodeRear);
  }
}
