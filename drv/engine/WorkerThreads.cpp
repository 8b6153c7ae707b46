// The worker threads of a scan job. Each reads packets from its input pipe(s), works on the
// data packets and forwards the control packets in order, so that the reader sees the end of
// every page. A worker that fails sends one error packet, drops the rest of the job's data and
// goes on forwarding control packets until the end packet of the job: no failure may leave a
// thread upstream blocked on a full pipe.
#include "drv/engine/WorkerThreads.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "drv/device/CScannerManager.h"
#include "drv/device/WindowDescriptor.h"
#include "drv/engine/ExtPipe.h"
#include "drv/engine/ImageProcess.h"
#include "drv/engine/ScanJob.h"
#include "drv/jpeg/CLumetra.h"
#include "drv/jpeg/KRJFIFWriter.h"
#include "drv/platform/DbgLog.h"

using namespace krstatus;

namespace {

constexpr uint32_t kInquiryBackground[3] = {103, 106, 109};
constexpr uint32_t kStripLineMultiple = 16;
constexpr long kMoreOutput = -1036;
constexpr uint32_t kUnknownLines = 0xFFFFFFFF;
// Image kind codes of the page-information record for IR and UV images.
constexpr uint32_t kKindIR = 0x400;
constexpr uint32_t kKindUV = 0x800;
constexpr uint32_t kOffsetSize = 8;
constexpr uint32_t kOffsetBytesPerLine = 14;
constexpr uint32_t kOffsetKind = 18;

bool IsData(const PIPE_PACKAGE_HEADER& h) { return h.type == kPacketImage && h.dwSize != 0; }
bool IsPageEnd(const PIPE_PACKAGE_HEADER& h) {
  return h.type == kPacketEndOfPage || h.type == kPacketEndOfFile;
}

void PutU32(uint8_t* at, uint32_t v) { std::memcpy(at, &v, 4); }
uint32_t GetU32(const uint8_t* at) {
  uint32_t v;
  std::memcpy(&v, at, 4);
  return v;
}

// What every worker shares: its item, its log prefix, the failed mark and the cancel copy.
class Worker {
 public:
  Worker(CScannerManagerScannerItem* item, const char* prefix) : m_item(item), m_prefix(prefix) {
    item->pScanner->GetAPScanParameter(&m_ap);
    item->pScanner->GetNewScanParameter(&m_dev);
    item->pScanner->GetInquiryData(m_inquiry);
  }

 protected:
  // The next header of `in`; false when the pipe cannot give one (it failed): the worker then
  // ends its outputs' job so that nothing downstream waits for it.
  bool Take(CExtPipe* in, PIPE_PACKAGE_HEADER* h) {
    if (in == nullptr || !in->Read(kHeaderSize, reinterpret_cast<uint8_t*>(h))) {
      DbgPrintf(1, "%sinput pipe failed", m_prefix);
      return false;
    }
    if (IsData(*h)) {
      DbgPrintf(2, "%sGet Image Packet size=%d", m_prefix, h->dwSize);
      DbgPrintf(2, "%sIs Last Image Packet=%d", m_prefix, h->blLastImagePacket);
      DbgPrintf(2, "%sEffective size=%d", m_prefix, h->dwEffectiveSize);
    } else {
      DbgPrintf(2, "%sForward Packet (Type=%d)", m_prefix, h->type);
    }
    return true;
  }
  bool Payload(CExtPipe* in, const PIPE_PACKAGE_HEADER& h, std::vector<uint8_t>* buffer) {
    buffer->resize(h.dwSize);
    return h.dwSize == 0 || in->Read(h.dwSize, buffer->data());
  }
  void Drop(CExtPipe* in, const PIPE_PACKAGE_HEADER& h) {
    if (h.dwSize != 0) in->Read(h.dwSize, nullptr);
  }
  // Data that is not worked on. After a failure every later page still ends in the error, so
  // that none comes out empty as if it had been scanned.
  void Skip(CExtPipe* in, CExtPipe* out, const PIPE_PACKAGE_HEADER& h) {
    Drop(in, h);
    if (m_failed && !m_errorSent) {
      PIPE_PACKAGE_HEADER e{};
      e.type = kPacketImage;
      e.lStatusLong = m_failure;
      Put(out, e, nullptr);
      m_errorSent = true;
    }
  }
  bool Dropping() const { return m_failed || m_cancelled; }
  // A data packet's payload into m_data; false when it is dropped instead.
  bool Load(CExtPipe* in, CExtPipe* out, const PIPE_PACKAGE_HEADER& h) {
    if (!Dropping() && Payload(in, h, &m_data)) return true;
    Skip(in, out, h);
    return false;
  }
  // The next packet of a side's input (pages alternate between the front and rear pipes of
  // two-sided threads); false when the input is lost, after the outputs were ended.
  bool NextOfSide(uint32_t side, ScanPipeSlot inFront, ScanPipeSlot inRear, ScanPipeSlot outFront,
                  ScanPipeSlot outRear, CExtPipe** in, CExtPipe** out, PIPE_PACKAGE_HEADER* h) {
    *in = Pipe(side == 0 ? inFront : inRear);
    *out = Pipe(side == 0 ? outFront : outRear);
    if (Take(*in, h)) return true;
    EndOutputs({Pipe(outFront), Pipe(outRear)});
    return false;
  }
  void Put(CExtPipe* out, const PIPE_PACKAGE_HEADER& h, const uint8_t* payload) {
    if (out != nullptr && !WritePacket(out, h, payload))
      DbgPrintf(1, "%soutput pipe failed", m_prefix);
  }
  // A control packet forwarded with its payload; an image's end counts the page over to the
  // output first, so the reader never counts a page down before it was counted.
  void Forward(CExtPipe* in, CExtPipe* out, const PIPE_PACKAGE_HEADER& h) {
    std::vector<uint8_t>& payload = m_control;
    if (!Payload(in, h, &payload)) payload.assign(h.dwSize, 0);
    if (IsPageEnd(h)) PageOver(in, out);
    Put(out, h, payload.data());
  }
  // A control packet forwarded; true when it ended the page cycle (the cancel flag copied).
  bool ForwardControl(CExtPipe* in, CExtPipe* out, const PIPE_PACKAGE_HEADER& h) {
    const bool cycle = h.type == kPacketEndOfCycle;
    if (cycle) NoteCancel();
    Forward(in, out, h);
    return cycle;
  }
  void PageOver(CExtPipe* in, CExtPipe* out) {
    if (out != nullptr) out->IncreasePageCount();
    if (in != nullptr) in->DecreasePageCount();
  }
  void Fail(CExtPipe* out, int32_t status) {
    if (!m_failed) {
      m_failure = status;
      PIPE_PACKAGE_HEADER e{};
      e.type = kPacketImage;
      e.lStatusLong = status;
      Put(out, e, nullptr);
      m_errorSent = true;
    }
    m_failed = true;
  }
  // An error that came with the input (a cancel's, a device's): the later pages report it, not
  // one of their own.
  void FailedBefore(int32_t status) {
    if (!m_failed) m_failure = status;
    m_failed = true;
  }
  // At every end of a page cycle: the cancel flag's copy, and the next page's error to send.
  void NoteCancel() {
    m_errorSent = false;
    EnterKrCriticalSection(&m_item->ItemCriticalSection);
    m_cancelled = m_item->bCancel != 0;
    LeaveKrCriticalSection(&m_item->ItemCriticalSection);
  }
  // The pipes of a lost input get an error and the job's end.
  void EndOutputs(std::initializer_list<CExtPipe*> outs) {
    for (CExtPipe* out : outs) {
      if (out == nullptr) continue;
      PIPE_PACKAGE_HEADER e{};
      e.type = kPacketImage;
      e.lStatusLong = kSystemError;
      Put(out, e, nullptr);
      e.type = kPacketEndOfPage;
      e.lStatusLong = 0;
      out->IncreasePageCount();
      Put(out, e, nullptr);
      Put(out, EndJobPacket(), nullptr);
    }
  }
  CExtPipe* Pipe(ScanPipeSlot slot) const { return m_item->Pipes[slot]; }
  // Dump files of what a worker takes in, in the debug folder under the job's prefix, at the
  // debug levels that ask for them: each begins empty at its page's first data.
  static bool Dumping() { return gdwDebugLevel > 2; }
  std::string DumpName(const char* form, uint32_t first, uint32_t second = 0) const {
    char name[160];
    std::snprintf(name, sizeof name, form, m_item->DumpPrefix, first, second);
    return name;
  }
  static void DumpBegin(const std::string& name) { DeleteDebugRawFile(name.c_str()); }
  static void DumpAppend(const std::string& name, const uint8_t* data, size_t size) {
    if (size != 0) AppendDebugRawFile(name.c_str(), data, static_cast<uint32_t>(size));
  }
  // A worker that makes new data packets of a page (the JPEG decoder and encoder) keeps the
  // message (multi-feed, skew) of the packets it consumed and puts it on the first packet it
  // makes, else on the page's end of cycle: a fresh header would drop it, and the client would
  // never hear of a multi-feed the scanner reported.
  void KeepMessage(const PIPE_PACKAGE_HEADER& h) {
    if (m_pageMessage == 0) m_pageMessage = h.lMessageStatusLong;
  }
  void GiveMessage(PIPE_PACKAGE_HEADER* h) {
    if (m_pageMessage == 0 || h->lMessageStatusLong != 0) return;
    h->lMessageStatusLong = m_pageMessage;
    m_pageMessage = 0;
  }

  CScannerManagerScannerItem* m_item;
  const char* m_prefix;
  SCANPARAMETER_UNION m_ap{};
  SCANPARAMETER_UNION m_dev{};
  uint8_t m_inquiry[kInquiryCopySize] = {};
  bool m_failed = false;
  bool m_cancelled = false;
  bool m_errorSent = false;
  int32_t m_failure = kUnknown;
  int32_t m_pageMessage = 0;
  std::vector<uint8_t> m_data;
  std::vector<uint8_t> m_control;
};

// ---- DeDuplexThread ----

class DeDuplex : public Worker {
 public:
  explicit DeDuplex(CScannerManagerScannerItem* item) : Worker(item, "DeMuxThread: ") {}
  void Run();

 private:
  void Split(const PIPE_PACKAGE_HEADER& h);
  bool RoomInRear(uint32_t unit);

  uint32_t m_unit = 0;
  uint32_t m_gap = 0;
  bool m_rearStopped = false;
  std::vector<uint8_t> m_zeros;
};

bool DeDuplex::RoomInRear(uint32_t unit) {
  CExtPipe* rear = Pipe(kPipeDeDuplexRear);
  while (rear->IsBufferFull(unit))
    if (!rear->EnlargeBuffer(unit)) return false;
  return true;
}

void DeDuplex::Split(const PIPE_PACKAGE_HEADER& in) {
  CExtPipe* front = Pipe(kPipeDeDuplexFront);
  CExtPipe* rear = Pipe(kPipeDeDuplexRear);
  const uint32_t block = m_item->dwDeMuxBlockSize;
  const uint32_t mode = m_item->dwDuplexTransferMode;
  PIPE_PACKAGE_HEADER h = in;
  const uint32_t half = std::min(in.dwEffectiveSize, in.dwSize) / 2;
  h.dwEffectiveSize = half;
  h.dwSize = half;
  if (m_dev.LineNum == kUnknownLines && !m_rearStopped && !RoomInRear(m_unit)) {
    DbgPrintf(1, "DeMuxThread: rear pipe cannot grow");
    h.lStatusLong = kNoMemory;
    m_rearStopped = true;
  }
  Put(front, h, nullptr);
  const uint8_t* p = m_data.data();
  const uint8_t* end = p + m_data.size();
  uint32_t left = half;
  while (left > 0) {
    if (left < m_unit && h.blLastImagePacket && (mode == 2 || mode == 3)) {
      m_unit = left;
      if (mode == 3) m_gap = block - left;
    }
    const uint32_t u = std::min(m_unit, left);
    // A packet shorter than its sizes say: its sides are completed with zeros, so the front
    // carries what its header announced and the rear as much.
    const uint8_t* frontPart = p + u <= end ? p : nullptr;
    p += u + m_gap;
    const uint8_t* rearPart = p + u <= end ? p : nullptr;
    p += u;
    if (frontPart == nullptr || rearPart == nullptr) m_zeros.assign(u, 0);
    front->Write(u, frontPart != nullptr ? frontPart : m_zeros.data());
    if (!m_rearStopped && !rear->Write(u, rearPart != nullptr ? rearPart : m_zeros.data()))
      m_rearStopped = true;
    left -= u;
  }
  if (h.blLastImagePacket) {
    m_unit = block;
    m_gap = 0;
  }
}

void DeDuplex::Run() {
  CExtPipe* in = Pipe(kPipeIoFront);
  CExtPipe* front = Pipe(kPipeDeDuplexFront);
  m_unit = m_item->dwDeMuxBlockSize;
  PIPE_PACKAGE_HEADER h;
  for (;;) {
    if (!Take(in, &h)) {
      EndOutputs({front});
      return;
    }
    if (IsData(h)) {
      if (!Load(in, front, h)) {
        continue;
      }
      Split(h);
      continue;
    }
    if (h.type == kPacketEndOfPage) {
      m_unit = m_item->dwDeMuxBlockSize;
      m_gap = 0;
    }
    ForwardControl(in, front, h);
    if (h.type == kPacketEndOfCycle && h.blJobFinished) return;
  }
}

// ---- DeIRUVThread ----

class DeIRUV : public Worker {
 public:
  explicit DeIRUV(CScannerManagerScannerItem* item) : Worker(item, "DeIRUVThread: ") {
    const uint32_t kind = ModeKind(m_dev.ScanMode);
    const bool only = m_dev.ScanMode == 6 || m_dev.ScanMode == 7;
    m_wantIR = kind == 8 || kind == 10 || m_dev.ScanMode == 6;
    m_wantUV = kind == 9 || kind == 10 || m_dev.ScanMode == 7;
    m_alwaysIRUV = only;
    m_irUvPage = only;
  }
  void Run();

 private:
  // One image held whole: its packets as they will go out.
  static void Append(std::vector<uint8_t>* image, const PIPE_PACKAGE_HEADER& h,
                     const uint8_t* payload) {
    const auto* b = reinterpret_cast<const uint8_t*>(&h);
    image->insert(image->end(), b, b + kHeaderSize);
    if (payload != nullptr) image->insert(image->end(), payload, payload + h.dwSize);
  }
  void Flush(const std::vector<uint8_t>& image);

  bool m_wantIR = false, m_wantUV = false, m_alwaysIRUV = false, m_irUvPage = false;
  uint32_t m_image = 1;  // for the dump files
  bool m_imageStarted = false;
  std::vector<uint8_t> m_ir, m_uv, m_irBytes, m_uvBytes;
  uint64_t m_phase = 0;  // byte position within the IR/UV image, for the pixel's channel
};

void DeIRUV::Flush(const std::vector<uint8_t>& image) {
  CExtPipe* out = Pipe(kPipeDeIRUVMain);
  size_t at = 0;
  while (at + kHeaderSize <= image.size()) {
    PIPE_PACKAGE_HEADER h;
    std::memcpy(&h, image.data() + at, kHeaderSize);
    at += kHeaderSize;
    if (IsPageEnd(h)) out->IncreasePageCount();
    Put(out, h, h.dwSize != 0 ? image.data() + at : nullptr);
    at += h.dwSize;
  }
}

void DeIRUV::Run() {
  CExtPipe* in = Pipe(kPipeIoFront);
  CExtPipe* out = Pipe(kPipeDeIRUVMain);
  uint32_t previous = kPacketEndOfCycle;
  PIPE_PACKAGE_HEADER h;
  for (;;) {
    if (!Take(in, &h)) {
      EndOutputs({out});
      return;
    }
    DbgPrintf(2, m_irUvPage ? "DeIRUVThread: Image = IR + UV" : "DeIRUVThread: Image = Normal");
    const uint32_t type = IsData(h) ? kPacketImage : h.type;
    const std::string normalDump = DumpName("%s-DeIRUVRaw%03u_Normal.raw", m_image);
    const std::string irDump = DumpName("%s-DeIRUVRaw%03u_IR.raw", m_image);
    const std::string uvDump = DumpName("%s-DeIRUVRaw%03u_UV.raw", m_image);
    if (IsData(h) && !m_imageStarted && Dumping()) {
      for (const std::string& name : {normalDump, irDump, uvDump}) DumpBegin(name);
    }
    if (IsData(h)) m_imageStarted = true;
    if (!m_irUvPage) {
      if (IsData(h)) {
        if (Load(in, out, h)) {
          if (Dumping()) DumpAppend(normalDump, m_data.data(), m_data.size());
          Put(out, h, m_data.data());
        }
      } else {
        ForwardControl(in, out, h);
      }
    } else if (IsData(h)) {
      if (!Load(in, out, h)) {
      } else {
        m_irBytes.clear();
        m_uvBytes.clear();
        for (uint8_t byte : m_data) {
          const uint64_t channel = m_phase++ % 3;
          if (channel == 1) m_irBytes.push_back(byte);
          if (channel == 2) m_uvBytes.push_back(byte);
        }
        if (Dumping()) {
          DumpAppend(irDump, m_irBytes.data(), m_irBytes.size());
          DumpAppend(uvDump, m_uvBytes.data(), m_uvBytes.size());
        }
        PIPE_PACKAGE_HEADER part = h;
        part.dwSize = static_cast<uint32_t>(m_irBytes.size());
        part.dwEffectiveSize = h.dwEffectiveSize / 3;
        Append(&m_ir, part, m_irBytes.data());
        part.dwSize = static_cast<uint32_t>(m_uvBytes.size());
        Append(&m_uv, part, m_uvBytes.data());
      }
    } else if (h.type == kPacketPageInformation) {
      if (!Payload(in, h, &m_control)) m_control.assign(h.dwSize, 0);
      if (m_control.size() >= kOffsetKind + 4) {
        PutU32(&m_control[kOffsetSize], GetU32(&m_control[kOffsetSize]) / 3);
        PutU32(&m_control[kOffsetBytesPerLine], GetU32(&m_control[kOffsetBytesPerLine]) / 3);
        PutU32(&m_control[kOffsetKind], kKindIR);
        Append(&m_ir, h, m_control.data());
        PutU32(&m_control[kOffsetKind], kKindUV);
        Append(&m_uv, h, m_control.data());
      }
    } else if (h.type != kPacketEndOfCycle) {
      if (!Payload(in, h, &m_control)) m_control.assign(h.dwSize, 0);
      if (IsPageEnd(h)) in->DecreasePageCount();
      Append(&m_ir, h, h.dwSize != 0 ? m_control.data() : nullptr);
      Append(&m_uv, h, h.dwSize != 0 ? m_control.data() : nullptr);
    } else {
      NoteCancel();
      // The IR image ends as a page of its own; the UV image, or the last image sent, carries
      // the sheet's end.
      PIPE_PACKAGE_HEADER first = h;
      first.bADFStatus = 1;
      first.blJobFinished = 0;
      if (m_wantIR && m_wantUV) {
        Append(&m_ir, first, nullptr);
        Append(&m_uv, h, nullptr);
        Flush(m_ir);
        Flush(m_uv);
      } else {
        std::vector<uint8_t>& image = m_wantIR ? m_ir : m_uv;
        Append(&image, h, nullptr);
        Flush(image);
      }
      m_ir.clear();
      m_uv.clear();
      m_phase = 0;
    }
    if (h.type == kPacketEndOfCycle) {
      if (m_imageStarted) ++m_image;
      m_imageStarted = false;
      if (h.blJobFinished) return;
      if (previous == kPacketEndOfPage || previous == kPacketEndOfFile)
        m_irUvPage = m_alwaysIRUV || !m_irUvPage;
    }
    previous = type;
  }
}

// ---- JpegDecodeThread ----

class JpegDecode : public Worker {
 public:
  explicit JpegDecode(CScannerManagerScannerItem* item) : Worker(item, "JpegDecodeThread: ") {
    ClearRecord();
    std::memset(&m_ni, 0, sizeof m_ni);
    m_fixed = item->pScanner->GetFeature(kFeatureJpegReencode) && (m_dev.CtrlMode & 0x2) != 0;
    m_paddingType = m_dev.ScanMethod == 0   ? kPaddingFlatbed
                    : m_dev.ScanMethod == 5 ? kPaddingRearFeeder
                                            : kPaddingFrontFeeder;
  }
  ~JpegDecode() { KRJFIFFree(&m_jfif); }
  void Run();

 private:
  void ClearRecord() {
    KRJFIFFree(&m_jfif);
    std::memset(&m_jfif, 0, sizeof m_jfif);
    m_jfif.nWidth = static_cast<int32_t>(m_dev.PixelNum);
    m_jfif.nHeight = JfifHeightOf(m_dev.LineNum);
  }
  void KeepPageInformation(CExtPipe* in, const PIPE_PACKAGE_HEADER& h);
  // Decodes the page's stream into data packets (cut or padded to the fixed length); false
  // when the decoder failed.
  bool DecodePage(CExtPipe* out);
  void SendLines(CExtPipe* out, const uint8_t* data, uint32_t lines);
  std::string SourceDump() const { return DumpName("%s-JpegDecodeSrc%03u.jpg", m_pageNumber); }

  _JFIF m_jfif{};
  NIDATA m_ni{};
  PIPE_PACKAGE_HEADER m_infoHeader{};
  uint8_t m_info[kPageInformationSize] = {};
  bool m_haveInfo = false;
  PIPE_PACKAGE_HEADER m_endHeader{};
  bool m_haveEnd = false;
  PageInformation m_page{};
  uint8_t m_tables[kJpegTablesSize] = {};
  bool m_fixed = false;
  bool m_pageStarted = false;
  uint32_t m_side = 0;
  uint32_t m_pageNumber = 1;
  BGPADDINGTYPE m_paddingType = kPaddingFrontFeeder;
  uint32_t m_bytesPerLine = 0;
};

void JpegDecode::KeepPageInformation(CExtPipe* in, const PIPE_PACKAGE_HEADER& h) {
  m_infoHeader = h;
  std::memset(m_info, 0, sizeof m_info);
  if (h.dwSize == kPageInformationSize) {
    in->Read(kPageInformationSize, m_info);
  } else {
    Drop(in, h);
  }
  m_haveInfo = true;
  GetPageInformation(m_info, &m_page, m_tables);
  m_jfif.nBitPerPixel = m_dev.BitsPerPixel;
  m_jfif.nWidth = static_cast<int32_t>(m_page.Width);
  m_jfif.nHeight = static_cast<int32_t>(m_page.Height);
  m_jfif.nResolutionX = m_dev.XRes;
  m_jfif.nResolutionY = m_dev.YRes;
  m_jfif.nSampling = m_dev.ScanMode == 0x3000004 ? 3 : m_dev.ScanMode == 0x4000004 ? 1 : 0;
  m_jfif.pLumaTable = m_tables;
  m_jfif.pChromaTable = m_tables + 64;
}

void JpegDecode::SendLines(CExtPipe* out, const uint8_t* data, uint32_t lines) {
  PIPE_PACKAGE_HEADER h{};
  h.type = kPacketImage;
  h.bADFStatus = 1;
  h.dwSize = h.dwEffectiveSize = lines * m_bytesPerLine;
  GiveMessage(&h);
  Put(out, h, data);
}

bool JpegDecode::DecodePage(CExtPipe* out) {
  const uint32_t height = m_page.Height;
  m_bytesPerLine = static_cast<uint32_t>(uint64_t{m_page.Width} * m_dev.BitsPerPixel / 8);
  // The client's 32-bit line count; an open length neither cuts nor pads.
  const bool known = m_dev.LineNum != kUnknownLines;
  const uint32_t requested = known ? m_dev.LineNum : height;
  uint32_t deliver = height;
  uint32_t padding = 0;
  if (known && requested < height && (m_fixed || (m_dev.CtrlMode & 0x2) == 0)) deliver = requested;
  if (known && m_fixed && requested > height) padding = requested - height;
  if (m_bytesPerLine == 0) return true;
  uint32_t strip = m_item->dwReadUnit / m_bytesPerLine / kStripLineMultiple * kStripLineMultiple;
  strip = std::max(strip, kStripLineMultiple);
  DbgPrintf(1, "JpegDecodeThread: Need do padding lines = %d", padding);
  DbgPrintf(1, "JpegDecodeThread: Start decode page (%d) ------->>> Jpeg Decode Lines = %d",
            m_pageNumber, strip);
  const BGPADDINGTYPE type =
      m_item->bTwoSides ? (m_side == 0 ? kPaddingFrontFeeder : kPaddingRearFeeder) : m_paddingType;
  std::vector<uint8_t> lines(size_t{strip} * m_bytesPerLine);
  uint32_t done = 0;
  bool ok = true;
  for (uint32_t number = 0; done < deliver; ++number) {
    // Whole strips, and the picture's rest at its end; a cut page takes what it needs of the
    // strip that holds its last line.
    const uint32_t ask = std::min(strip, height - done);
    m_ni.OutImage.JPEGDecodePosY = static_cast<uint16_t>(done);
    m_ni.OutImage.JPEGDecodeLines = static_cast<uint16_t>(ask);
    DbgPrintf(2, "JpegDecodeThread: ... decoding %d", number);
    // The strip goes into the thread's own buffer (the decoder fills a block it is given): no
    // block of a strip's size is made and given back per strip.
    void* raster = lines.data();
    long status = 0;
    uint64_t size = static_cast<uint64_t>(m_jfif.nJFIFSize);
    const long r = pLumetra->Lumetra_JpegDecoder(m_jfif.pJFIF, &raster, &m_ni, &size, &status);
    if (raster != lines.data() && raster != nullptr) pLumetra->Lumetra_JFreeMemory(raster);
    if (r != 0 || raster != lines.data()) {
      DbgPrintf(1, "JpegDecodeThread: lSmartRet error=%d , lSmartStatus = %d", static_cast<int>(r),
                static_cast<int>(status));
      Fail(out, kUnknown);
      ok = false;
      break;
    }
    if (status != 0)
      DbgPrintf(1, "JpegDecodeThread: Warning!! has smart status = %d", static_cast<int>(status));
    const uint32_t got = std::min(ask, deliver - done);
    done += got;
    uint32_t pad = 0;
    if (got < strip && padding > 0) {
      pad = std::min(padding, strip - got);
      PaddingLines(lines.data() + size_t{got} * m_bytesPerLine, pad * m_bytesPerLine, type,
                   m_inquiry, m_dev.ScanMode);
      padding -= pad;
    }
    SendLines(out, lines.data(), got + pad);
  }
  while (ok && padding > 0) {
    const uint32_t pad = std::min(padding, strip);
    PaddingLines(lines.data(), pad * m_bytesPerLine, type, m_inquiry, m_dev.ScanMode);
    SendLines(out, lines.data(), pad);
    padding -= pad;
  }
  long status = 0;
  pLumetra->Lumetra_JpegDecoder(nullptr, nullptr, &m_ni, nullptr, &status);
  std::memset(&m_ni, 0, sizeof m_ni);
  DbgPrintf(1, "JpegDecodeThread: End decode <<<-------");
  if (ok && deliver != height) m_page.Height = deliver;
  return ok;
}

void JpegDecode::Run() {
  PIPE_PACKAGE_HEADER h;
  for (;;) {
    CExtPipe *in, *out;
    if (!NextOfSide(m_side, kPipeIoFront, kPipeIoRear, kPipeJpegDecodeFront, kPipeJpegDecodeRear,
                    &in, &out, &h))
      return;
    if (IsData(h)) {
      KeepMessage(h);
      if (!Load(in, out, h)) {
        continue;
      }
      if (!m_pageStarted && m_item->bTwoSides) m_ni.InImage.ScanType = m_side == 0 ? 1 : 3;
      if (!m_pageStarted && Dumping()) DumpBegin(SourceDump());
      m_pageStarted = true;
      const uint32_t size = std::min(h.dwEffectiveSize, h.dwSize);
      if (DeviceJpegPageTooLong(m_dev.BytesPerLine, m_jfif.nJFIFSize, size)) {
        Fail(out, kUnknown);
        continue;
      }
      const int r = KRJFIFWrite(&m_jfif, m_data.data(), static_cast<int>(size), 0);
      if (r != 1) {
        DbgPrintf(1, "JpegDecodeThread: KRJFIF error=%d", r);
        Fail(out, static_cast<int32_t>(AnalyzeKRJFIFWriterErr(r)));
      }
      continue;
    }
    switch (h.type) {
      case kPacketPageInformation:
        KeepPageInformation(in, h);
        continue;
      case kPacketEndOfPage:
      case kPacketEndOfFile:
        // The image's end goes out behind its decoded lines.
        m_endHeader = h;
        m_haveEnd = true;
        Drop(in, h);
        if (h.lStatusLong != 0) FailedBefore(h.lStatusLong);
        continue;
      case kPacketEndOfCycle:
        break;
      default:
        if (h.lStatusLong != 0) {
          DbgPrintf(1, "JpegDecodeThread: lStatusLong=%d", h.lStatusLong);
          if (!m_failed) Forward(in, out, h);
          FailedBefore(h.lStatusLong);
        } else {
          Forward(in, out, h);
        }
        continue;
    }
    // The end of the page cycle: decode, then the kept page information and end packet.
    NoteCancel();
    PIPE_PACKAGE_HEADER cycle = h;
    if (h.lStatusLong == 0 && !m_failed && !m_cancelled && m_haveInfo && m_jfif.nJFIFSize > 0) {
      const int r = KRJFIFWrite(&m_jfif, nullptr, 0, 1);
      if (r != 1) {
        DbgPrintf(1, "JpegDecodeThread: KRJFIF error=%d", r);
        m_failed = true;
        cycle.lStatusLong = static_cast<int32_t>(AnalyzeKRJFIFWriterErr(r));
      } else {
        if (Dumping())
          DumpAppend(SourceDump(), m_jfif.pJFIF, static_cast<size_t>(m_jfif.nJFIFSize));
        if (!DecodePage(out)) m_failed = true;
      }
    }
    ClearRecord();
    if (!m_failed && m_haveInfo) {
      PutPageInformation(m_info, m_page, m_tables);
      Put(out, m_infoHeader, m_info);
    }
    if (m_haveEnd) {
      PageOver(in, out);
      Put(out, m_endHeader, nullptr);
    }
    Drop(in, h);
    GiveMessage(&cycle);
    m_pageMessage = 0;
    Put(out, cycle, nullptr);
    m_haveInfo = m_haveEnd = m_pageStarted = false;
    if (h.blJobFinished && (!m_item->bTwoSides || m_side == 1)) return;
    if (m_item->bTwoSides) m_side = 1 - m_side;
    ++m_pageNumber;
  }
}

// ---- JpegEncodeThread ----

class JpegEncode : public Worker {
 public:
  explicit JpegEncode(CScannerManagerScannerItem* item) : Worker(item, "JpegEncodeThread: ") {
    std::memset(&m_ni, 0, sizeof m_ni);
    const uint32_t mode = m_ap.ScanMode;
    m_ni.InImage.ScanMode = mode == 0x6000002 ? 2 : 4;
    m_ni.InImage.BitsPerPixel = static_cast<uint8_t>(m_ap.BitsPerPixel);
    m_ni.InImage.SamplePerPixel = m_ap.BitsPerPixel >= 8 && m_ap.BitsPerPixel <= 15 ? 1 : 3;
    m_ni.InImage.Pixel = m_ap.PixelNum;
    m_ni.InImage.XRes = m_ap.XRes;
    m_ni.InImage.YRes = m_ap.YRes;
    m_ni.InImage.BytesPerLine = m_ap.BytesPerLine;
    m_ni.OutImage.OutMode = 0x2000;
    m_ni.OutImage.Gray.Compression = 2;
    m_ni.OutImage.Color.Compression = 2;
    const uint32_t k = mode == 0x3000004 ? 3 : mode == 0x4000004 ? 1 : 0;
    m_ni.OutImage.Gray.JPEGQuality = m_ni.OutImage.Color.JPEGQuality =
        static_cast<uint8_t>(16 * k + 10);
    DbgPrintf(1, "JpegEncodeThread: =====================================");
    DbgPrintf(1, "JpegEncodeThread: Ni.InImage.ScanMode = %d", m_ni.InImage.ScanMode);
    DbgPrintf(1, "JpegEncodeThread: Ni.InImage.BitsPerPixel = %d", m_ni.InImage.BitsPerPixel);
    DbgPrintf(1, "JpegEncodeThread: Ni.InImage.Pixel = %d", m_ni.InImage.Pixel);
    DbgPrintf(1, "JpegEncodeThread: Ni.InImage.BytesPerLine = %d", m_ni.InImage.BytesPerLine);
    DbgPrintf(1, "JpegEncodeThread: Ni.OutImage.Color.JPEGQuality = %d",
              m_ni.OutImage.Color.JPEGQuality);
    DbgPrintf(1, "JpegEncodeThread: =====================================");
    long status = 0;
    pLumetra->Lumetra_JpegCrop(nullptr, nullptr, nullptr, nullptr, &status, 0, nullptr);
  }
  ~JpegEncode() { EndRun(); }
  void Run();

 private:
  void EndRun() {
    long status = 0;
    pLumetra->Lumetra_JpegCrop(nullptr, nullptr, &m_ni, nullptr, &status, 0, nullptr);
  }
  // The page's JPEG stream from the encoder's output strips (one stream per page: later strips
  // are joined behind the first); false when the encoder failed.
  bool FinishPage(std::vector<uint8_t>* stream, uint32_t* height);

  NIDATA m_ni{};
  bool m_pageStarted = false;
  uint32_t m_side = 0;
  uint32_t m_pageNumber = 1;  // for the dump files
};

bool JpegEncode::FinishPage(std::vector<uint8_t>* stream, uint32_t* height) {
  _JFIF joined{};
  std::vector<std::vector<uint8_t>> strips;
  *height = 0;
  for (;;) {
    void* out = nullptr;
    uint64_t size = 0;
    long status = 0;
    long stripHeight = 0;
    const long r =
        pLumetra->Lumetra_JpegCrop(nullptr, &out, &m_ni, &size, &status, 0, &stripHeight);
    if (r != 0 || (status != 0 && status != kMoreOutput)) {
      DbgPrintf(1, "JpegEncodeThread: lSmartRet error=%d , lSmartStatus = %d", static_cast<int>(r),
                static_cast<int>(status));
      if (out != nullptr) pLumetra->Lumetra_JFreeMemory(out);
      if (r != 0) return false;
    }
    if (out != nullptr) {
      strips.emplace_back(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + size);
      pLumetra->Lumetra_JFreeMemory(out);
      *height += static_cast<uint32_t>(stripHeight);
    }
    if (status != kMoreOutput) break;
  }
  DbgPrintf(1, "JpegEncodeThread: encode result , lDesJpegHeight = %d", *height);
  if (strips.size() == 1) {
    *stream = std::move(strips[0]);
    return true;
  }
  if (strips.empty()) return false;
  bool ok = true;
  for (std::vector<uint8_t>& s : strips)
    ok = ok && KRJFIFWrite(&joined, s.data(), static_cast<int>(s.size()), 0) == 1;
  ok = ok && KRJFIFWrite(&joined, nullptr, 0, 1) == 1;
  if (ok) stream->assign(joined.pJFIF, joined.pJFIF + joined.nJFIFSize);
  KRJFIFFree(&joined);
  return ok;
}

void JpegEncode::Run() {
  PIPE_PACKAGE_HEADER h;
  for (;;) {
    CExtPipe *in, *out;
    const bool converted = m_item->bJpegDecodeBeforeConversion != 0;
    if (!NextOfSide(m_side, converted ? kPipeImageProcessOutFront : kPipeJpegDecodeFront,
                    converted ? kPipeImageProcessOutRear : kPipeJpegDecodeRear,
                    kPipeJpegEncodeOutFront, kPipeJpegEncodeOutRear, &in, &out, &h))
      return;
    if (IsData(h)) {
      KeepMessage(h);
      if (!Load(in, out, h)) {
        continue;
      }
      // One-sided pages are front pages: the crop context keeps only the strips of a side.
      if (!m_pageStarted) m_ni.InImage.ScanType = m_side == 0 ? 1 : 3;
      const std::string dump = DumpName("%s-JpegEncodeSrc%03u.raw", m_pageNumber);
      if (!m_pageStarted && Dumping()) DumpBegin(dump);
      if (Dumping()) DumpAppend(dump, m_data.data(), m_data.size());
      m_pageStarted = true;
      const uint32_t bytesPerLine = std::max<uint32_t>(m_ni.InImage.BytesPerLine, 1);
      m_ni.InImage.Line = h.dwSize / bytesPerLine;
      DbgPrintf(2, "JpegEncodeThread: encode lines = %d", m_ni.InImage.Line);
      long status = 0;
      const long r =
          pLumetra->Lumetra_JpegCrop(m_data.data(), nullptr, &m_ni, nullptr, &status, 0, nullptr);
      if (r != 0) {
        DbgPrintf(1, "JpegEncodeThread: lSmartRet error=%d , lSmartStatus = %d",
                  static_cast<int>(r), static_cast<int>(status));
        Fail(out, kUnknown);
      }
      continue;
    }
    if (h.type == kPacketPageInformation) {
      uint8_t info[kPageInformationSize] = {};
      if (h.dwSize == kPageInformationSize) {
        in->Read(kPageInformationSize, info);
      } else {
        Drop(in, h);
      }
      PIPE_PACKAGE_HEADER infoHeader = h;
      infoHeader.dwSize = infoHeader.dwEffectiveSize = kPageInformationSize;
      if (!Dropping()) {
        std::vector<uint8_t> stream;
        uint32_t height = 0;
        if (!m_pageStarted || !FinishPage(&stream, &height)) {
          // An error packet ahead of the page information: a reader stops at a header with a
          // status before it takes that header's record.
          Fail(out, kUnknown);
        } else {
          for (size_t at = 0; at < stream.size();) {
            const uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(
                stream.size() - at, std::max<uint32_t>(m_item->dwTransferSize, 1)));
            PIPE_PACKAGE_HEADER d{};
            d.type = kPacketImage;
            d.bADFStatus = 1;
            d.dwSize = d.dwEffectiveSize = chunk;
            GiveMessage(&d);
            Put(out, d, stream.data() + at);
            at += chunk;
          }
          PageInformation page{};
          uint8_t tables[kJpegTablesSize];
          GetPageInformation(info, &page, tables);
          page.Height = height;
          page.Size = static_cast<uint32_t>(stream.size());
          PutPageInformation(info, page, tables);
        }
      }
      Put(out, infoHeader, info);
      continue;
    }
    if (h.type == kPacketEndOfCycle) {
      GiveMessage(&h);
      m_pageMessage = 0;
    }
    if (!ForwardControl(in, out, h)) continue;
    EndRun();
    if (m_pageStarted) ++m_pageNumber;
    m_pageStarted = false;
    if (h.blJobFinished && (!m_item->bTwoSides || m_side == 1)) return;
    if (m_item->bTwoSides) m_side = 1 - m_side;
  }
}

// ---- ImageProcesingThread ----

class ImageProcessing : public Worker {
 public:
  explicit ImageProcessing(CScannerManagerScannerItem* item)
      : Worker(item, "ImageProcessThread: ") {}
  // One stream at a time: one-sided pages, the pages of the IR/UV splitter, or two-sided pages
  // that alternate between the front and the rear pipes with headers on both.
  void RunAlternating(bool irUv);
  // Two streams in step: the front with headers, the rear without (the paired and the
  // de-multiplexed styles).
  void RunInStep();

 private:
  CImageProcess* Pipeline(uint32_t side, uint32_t image) const {
    if (image != 0) return m_item->pIRUVPipeline;
    return side == 0 || m_item->pRearPipeline == nullptr ? m_item->pFrontPipeline
                                                         : m_item->pRearPipeline;
  }
  // Rewrites a page-information record for what this thread delivered.
  void Describe(uint8_t* info, uint64_t bytes, uint32_t image) const;
  // The page's image state after one image: visible, IR, UV as the splitter sends them.
  uint32_t NextImage(uint32_t image) const;
  bool ConvertInto(CImageProcess* pipeline, CExtPipe* out, PIPE_PACKAGE_HEADER h, uint64_t* bytes);

  std::string StageDump(uint32_t stage) const {
    return DumpName("%s-IPRaw%02u-%03u.raw", stage, m_dumpPage);
  }
  // A page's first data: its pipeline starts anew, and so do its stages' dump files.
  void StartPage(CImageProcess* pipeline) {
    if (pipeline == nullptr) return;
    pipeline->Reset();
    if (!Dumping()) return;
    for (uint32_t stage = 0; stage < pipeline->GetStageCount(); ++stage)
      DumpBegin(StageDump(stage));
  }

  std::vector<uint8_t> m_rear;
  uint32_t m_dumpPage = 1;
};

void ImageProcessing::Describe(uint8_t* info, uint64_t bytes, uint32_t image) const {
  PageInformation page{};
  uint8_t tables[kJpegTablesSize];
  GetPageInformation(info, &page, tables);
  page.Width = m_ap.PixelNum;
  page.Size = static_cast<uint32_t>(bytes);
  if (image == 0) {
    page.BytesPerLine = m_ap.BytesPerLine;
    page.ScanMode = WindowImageModeBits(m_ap.ScanMode, static_cast<uint8_t>(m_ap.BitsPerPixel));
  } else {
    page.BytesPerLine = m_ap.PixelNum;
    page.ScanMode = image == 1 ? kKindIR : kKindUV;
  }
  page.Height = page.BytesPerLine != 0 ? static_cast<uint32_t>(bytes / page.BytesPerLine) : 0;
  PutPageInformation(info, page, tables);
}

uint32_t ImageProcessing::NextImage(uint32_t image) const {
  const uint32_t kind = ModeKind(m_dev.ScanMode);
  const bool ir = kind == 8 || kind == 10, uv = kind == 9 || kind == 10;
  if (m_ap.ScanMode == 6) return 1;
  if (m_ap.ScanMode == 7) return 2;
  switch (image) {
    case 0:
      return ir ? 1 : uv ? 2 : 0;
    case 1:
      return uv ? 2 : 0;
    default:
      return 0;
  }
}

bool ImageProcessing::ConvertInto(CImageProcess* pipeline, CExtPipe* out, PIPE_PACKAGE_HEADER h,
                                  uint64_t* bytes) {
  uint8_t* result = m_data.data();
  uint32_t size = static_cast<uint32_t>(m_data.size());
  DbgPrintf(2, "ImageProcessThread : Process start");
  if (pipeline != nullptr && !pipeline->Process(m_data.data(), size, &result, &size)) {
    DbgPrintf(1, "ImageProcessThread : Process failed");
    Fail(out, pipeline->GetStatusLong() != 0 ? pipeline->GetStatusLong() : kUnknown);
    return false;
  }
  DbgPrintf(2, "ImageProcessThread : Process end");
  if (Dumping() && pipeline != nullptr) {
    for (uint32_t stage = 0; stage < pipeline->GetStageCount(); ++stage) {
      uint32_t stageSize = 0;
      uint8_t* stageData = nullptr;
      if (pipeline->GetStageResult(stage, &stageSize, &stageData))
        DumpAppend(StageDump(stage), stageData, stageSize);
    }
  }
  h.dwSize = h.dwEffectiveSize = size;
  if (size != 0) Put(out, h, result);
  *bytes += size;
  return true;
}

void ImageProcessing::RunAlternating(bool irUv) {
  const bool twoSides = m_item->bTwoSides && !irUv;
  uint32_t side = 0;
  uint32_t image = irUv ? (m_ap.ScanMode == 6 ? 1 : m_ap.ScanMode == 7 ? 2 : 0) : 0;
  bool inPage = false;
  uint64_t bytes = 0;
  PIPE_PACKAGE_HEADER h;
  for (;;) {
    CExtPipe *in, *out;
    if (!NextOfSide(side, kPipeImageProcessInFront, kPipeImageProcessInRear,
                    kPipeImageProcessOutFront, kPipeImageProcessOutRear, &in, &out, &h))
      return;
    if (IsData(h)) {
      if (!Load(in, out, h)) {
        continue;
      }
      CImageProcess* pipeline = Pipeline(side, image);
      if (!inPage) StartPage(pipeline);
      inPage = true;
      DbgPrintf(2, "ImageProcessThread : Get Image Packet size=%d", h.dwSize);
      ConvertInto(pipeline, out, h, &bytes);
      continue;
    }
    if (inPage) ++m_dumpPage;
    inPage = false;
    if (h.type == kPacketPageInformation) {
      if (!Payload(in, h, &m_control)) m_control.assign(h.dwSize, 0);
      if (m_control.size() == kPageInformationSize) Describe(m_control.data(), bytes, image);
      bytes = 0;
      Put(out, h, m_control.data());
      continue;
    }
    if (!ForwardControl(in, out, h)) continue;
    if (h.blJobFinished && (!twoSides || side == 1)) return;
    if (twoSides) side = 1 - side;
    if (irUv) image = NextImage(image);
  }
}

void ImageProcessing::RunInStep() {
  CExtPipe* in = Pipe(kPipeImageProcessInFront);
  CExtPipe* rearIn = Pipe(kPipeImageProcessInRear);
  CExtPipe* out = Pipe(kPipeImageProcessOutFront);
  CExtPipe* rearOut = Pipe(kPipeImageProcessOutRear);
  bool inPage = false;
  uint64_t frontBytes = 0, rearBytes = 0;
  // Both sides of a page carry as many bytes: the reader takes the rear by the front's count.
  auto even = [&] {
    if (frontBytes == rearBytes) return;
    const uint64_t missing =
        frontBytes > rearBytes ? frontBytes - rearBytes : rearBytes - frontBytes;
    const uint32_t chunk = std::max<uint32_t>(m_item->dwTransferSize, 1);
    std::vector<uint8_t> zeros(static_cast<size_t>(std::min<uint64_t>(missing, chunk)), 0);
    if (frontBytes < rearBytes) {
      for (uint64_t left = missing; left > 0;) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(left, chunk));
        PIPE_PACKAGE_HEADER d{};
        d.type = kPacketImage;
        d.bADFStatus = 1;
        d.dwSize = d.dwEffectiveSize = n;
        Put(out, d, zeros.data());
        left -= n;
      }
      frontBytes = rearBytes;
    } else {
      for (uint64_t left = missing; left > 0;) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(left, chunk));
        rearOut->Write(n, zeros.data());
        left -= n;
      }
      rearBytes = frontBytes;
    }
  };
  PIPE_PACKAGE_HEADER h;
  for (;;) {
    if (!Take(in, &h)) {
      EndOutputs({out});
      return;
    }
    if (IsData(h)) {
      const bool haveFront = Load(in, out, h);
      m_rear.resize(h.dwSize);
      const bool haveRear = rearIn->Read(h.dwSize, haveFront ? m_rear.data() : nullptr);
      if (!haveFront || Dropping()) continue;
      if (!inPage) {
        StartPage(m_item->pFrontPipeline);
        if (m_item->pRearPipeline != nullptr) m_item->pRearPipeline->Reset();
      }
      inPage = true;
      DbgPrintf(2, "ImageProcessThread : Get Image Packet size=%d", h.dwSize);
      // The rear first, raw, then the front with its header.
      CImageProcess* rearPipeline = Pipeline(1, 0);
      uint8_t* result = m_rear.data();
      uint32_t size = haveRear ? h.dwSize : 0;
      if (haveRear && !rearPipeline->Process(m_rear.data(), h.dwSize, &result, &size)) {
        Fail(out, rearPipeline->GetStatusLong() != 0 ? rearPipeline->GetStatusLong() : kUnknown);
        continue;
      }
      if (size != 0) rearOut->Write(size, result);
      rearBytes += size;
      ConvertInto(m_item->pFrontPipeline, out, h, &frontBytes);
      if (h.blLastImagePacket && !m_failed) even();
      continue;
    }
    if (inPage && !m_failed) even();
    if (inPage) ++m_dumpPage;
    inPage = false;
    if (h.type == kPacketPageInformation) {
      if (!Payload(in, h, &m_control)) m_control.assign(h.dwSize, 0);
      if (m_control.size() == kPageInformationSize) Describe(m_control.data(), frontBytes, 0);
      Put(out, h, m_control.data());
      continue;
    }
    if (h.type == kPacketEndOfPage) frontBytes = rearBytes = 0;
    ForwardControl(in, out, h);
    if (h.type == kPacketEndOfCycle && h.blJobFinished) return;
  }
}

template <class W, class F>
void* RunWorker(void* arg, F body) {
  auto* item = static_cast<CScannerManagerScannerItem*>(arg);
  DbgNewThread(GetCurrentKrThreadId());
  {
    W worker(item);
    body(worker);
  }
  DbgDelThread(GetCurrentKrThreadId());
  return nullptr;
}

}  // namespace

void PaddingLines(uint8_t* buffer, uint32_t count, BGPADDINGTYPE type, const uint8_t* inquiry,
                  uint32_t scanMode) {
  uint8_t rgb[3] = {0, 0, 0};
  if (type <= kPaddingFlatbed && inquiry != nullptr)
    std::memcpy(rgb, inquiry + kInquiryBackground[type], 3);
  switch (scanMode & 0x00FFFFFFu) {
    case 2:
      std::memset(buffer, (rgb[0] + rgb[1] + rgb[2]) / 3, count);
      break;
    case 4:
      for (uint32_t i = 0; i + 3 <= count; i += 3) std::memcpy(buffer + i, rgb, 3);
      break;
    default:
      break;
  }
}

void* DeDuplexThread(void* item) {
  return RunWorker<DeDuplex>(item, [](DeDuplex& w) { w.Run(); });
}

void* DeIRUVThread(void* item) {
  return RunWorker<DeIRUV>(item, [](DeIRUV& w) { w.Run(); });
}

void* JpegDecodeThread(void* item) {
  return RunWorker<JpegDecode>(item, [](JpegDecode& w) { w.Run(); });
}

void* JpegEncodeThread(void* item) {
  return RunWorker<JpegEncode>(item, [](JpegEncode& w) { w.Run(); });
}

void* ImageProcesingThread(void* arg) {
  auto* item = static_cast<CScannerManagerScannerItem*>(arg);
  // Two sides with headers on both pipes (decoded device JPEG, the EOF and GL310 styles)
  // alternate; the paired and de-multiplexed streams go in step.
  const bool alternate =
      item->bJpegDecodeBeforeConversion || item->bEOFDuplexStyle || item->bGL310DuplexStyle;
  return RunWorker<ImageProcessing>(arg, [&](ImageProcessing& w) {
    if (item->bIRUVJob)
      w.RunAlternating(true);
    else if (item->bTwoSides && !alternate)
      w.RunInStep();
    else
      w.RunAlternating(false);
  });
}
