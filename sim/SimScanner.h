#pragma once
// The simulated scanner, seen from a test: its description (Config), scripted faults, the log of
// every exchange on the wire, button packets, unplug and replug. The device side of the wire
// protocol lives in SimDevice.cpp and SimCommands.cpp; SimBus puts scanners on a UsbBus.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/usb/UsbHost.h"
#include "sim/SimDocuments.h"
#include "sim/SimTypes.h"

namespace sim {

namespace detail {
class Device;
}

enum class FaultKind : uint8_t {
  WrongIdInData,     // bytes 0-1 of the data reply are not the controller id
  WrongIdInStatus,   // bytes 0-1 of the status are not the controller id
  UndefinedStatus,   // status byte `statusByte` (neither 0 nor 2)
  CheckCondition,    // status 2; the next REQUEST SENSE reports key/ASC/ASCQ/information
  ShortBulk,         // the first bulk IN phase arrives in completions of at most `chunk` bytes
  EmptyCompletions,  // `empties` zero-length completions before the first bulk IN phase
  Slow,              // every transfer of the exchange takes `delayMs`
  Vanish,            // the device drops off the bus when the command arrives; it stays away
                     // for `searches` device searches, then is back (same serial)
  Stall,             // the first bulk IN phase fails with kUsbPipeStalled
  FailControl,       // the command's control request fails with kUsbPipeStalled
  Sense,             // a REQUEST SENSE it matches answers key/ASC/ASCQ/information as the
                     // device's current condition (status good), as with a cover left open
  Hold,              // the command waits inside the device until the test lets it go
                     // (ReleaseHeld) or the host aborts the control pipe (kUsbAborted)
  Silent,            // the device takes the command and then stops answering: its bulk IN
                     // reads end with the host's time-out (kUsbTimeout) or an abort
};

// Text name of a kind as used in description files ("check-condition"), and back.
SIM_API const char* FaultName(FaultKind kind);
SIM_API bool FaultFromName(const std::string& name, FaultKind* kind);

struct Fault {
  FaultKind kind = FaultKind::CheckCondition;
  int opcode = -1;         // command byte 0 it applies to; -1: any command
  int dataType = -1;       // READ/SEND data type (block bytes 3-4); -1: any
  uint32_t skip = 0;       // matching commands to let pass first
  uint32_t count = 1;      // matching commands it applies to; 0: every one from then on
  uint8_t statusByte = 1;  // UndefinedStatus
  uint8_t senseKey = 0;    // CheckCondition
  uint8_t asc = 0;
  uint8_t ascq = 0;
  uint32_t information = 0;
  uint8_t responseCode = 0x70;  // CheckCondition, Sense: sense byte 4 (0x70/0x7F count)
  uint32_t chunk = 1;           // ShortBulk
  uint32_t empties = 1;         // EmptyCompletions
  uint32_t delayMs = 0;         // Slow
  uint32_t searches = 0;        // Vanish
};

using ButtonPacket = std::array<uint8_t, 8>;

// What the imprinter's inquiry (READ 0x0200) reports; with None the inquiry data does not
// announce an imprinter at all.
enum class ImprinterKind : uint8_t { None, Absent, NoHead, Fitted };

// One byte of the inquiry data replaced after the model's data is built.
struct InquiryPatch {
  uint32_t offset = 0;
  uint8_t value = 0;
};
// The packet of one press: kind 2 one-sided scan, 3 two-sided; button numbers count from 1.
SIM_API ButtonPacket MakeButtonPacket(uint8_t kind, uint8_t number);

// The lamp as READ 0xA0 reports it (byte 4: 1 ready, 0 off, 2 warming up).
enum class LampState : uint8_t { Ready, Off, Warming };

// The calibration information of READ 0x60 and the white reference of READ 0x61 (one channel)
// and 0x62 (three channels, the samples of a pixel side by side).
struct CalibrationSetup {
  bool needed = false;         // false: information byte 8 is 3, the host reads no reference
  uint16_t width = 16;         // W, pixels per reference line
  uint8_t bytesPerSample = 1;  // S: 1, or 2 (little-endian samples)
  uint8_t lines = 6;           // N; a three-channel reference holds N / 3 lines of 3 W samples
  uint8_t flags = 0;           // bit 0 three gain planes, bit 3 three-channel reference
  uint16_t targets[3] = {200, 200, 200};  // white targets red, green, blue
  // The pattern's brightest sample: sample (line l, column c, channel k) is
  // level - ((c + 3 l + 5 k) % 8) * step, step 1 for one-byte and 64 for two-byte samples.
  uint16_t level = 200;
  // When not empty: the reference's bytes behind its 5-byte head, as they are.
  std::vector<uint8_t> samples;
};

// What the host sent to prepare its jobs, in order of arrival.
struct PreparationRecord {
  std::vector<std::vector<uint8_t>> gammaBlocks;     // SEND 0x81
  std::vector<std::vector<uint8_t>> gainBlocks;      // SEND 0x82
  std::vector<std::vector<uint8_t>> colourMatrices;  // SEND 0x83
  uint32_t lampOnBlocks = 0;                         // SEND 0xA0
  uint32_t backgroundReads = 0;                      // READ 0x9B
};

// The reference bytes behind the head that READ 0x61 (threeChannels false) or 0x62 answers.
SIM_API std::vector<uint8_t> CalibrationSamples(const CalibrationSetup& setup, bool threeChannels);

// The form of the pages: today's profile lets the device compress colour and grey to JPEG
// (the driver decodes them), the raw profile announces raw image types only; the IR/UV profile
// is raw with IR and UV announced, and every sheet gives two pages: the visible image, then its
// IR/UV image (`IrUvImage`).
enum class ImageProfile : uint8_t { DeviceJpeg, Raw, IrUv };

// A condition the scanner meets on one sheet (description key `event`). Offsets count bytes of
// the side as the window lays it out.
enum class SheetEventKind : uint8_t {
  Jam,                    // the READ that reaches `offset` fails: 0x8001 (the sheet stays until
  CoverOpen,              //   RELEASE UNIT pulls it out), 0x8002,
  Misfeed,                //   0x801D,
  HardwareCancel,         //   key 11 (the scanner's cancel button)
  MultiFeed,              // the READ that reaches `offset` reports 0x8005 with its data
  Skew,                   // the READ that reaches `offset` reports 0x801C with its data
  MultiFeedAtEnd,         // the side's end of page is 0x8016 (end of page with multi-feed)
  MultiFeedOnRelease,     // the sheet's RELEASE UNIT answers 0x8005 (the sheet still leaves)
  MultiFeedOnMediaCheck,  // the first MEDIA CHECK after the sheet left answers 0x8005
  BlankPage,              // the side is blank: its first READ ends it with 0x8021, no data
  EndOfFileSegments,      // the side comes as images of `lines` lines; each but the last ends
                          // with end of file (0x8022), the last with end of page
};
struct SheetEvent {
  SheetEventKind kind = SheetEventKind::Jam;
  uint32_t sheet = 1;   // from 1, counted over the scanner's life (LoadSheets goes on counting)
  uint32_t side = 0;    // 0 front, 1 rear
  uint32_t offset = 0;  // the side's byte the condition comes at
  uint32_t lines = 0;   // EndOfFileSegments
};
SIM_API const char* SheetEventName(SheetEventKind kind);
SIM_API bool SheetEventFromName(const std::string& name, SheetEventKind* kind);

// A side the scanner built from a sheet and fed, as a test's oracle reads it: the image before
// any compression (its size and checksum), the whole JPEG file the device took its stream from
// when it compressed the side, and how far the host got with it.
struct SideFed {
  uint32_t sheet = 0;  // from 1
  uint32_t side = 0;   // 0 front, 1 rear
  uint16_t xRes = 0, yRes = 0;
  uint32_t pixels = 0, lines = 0, bytesPerLine = 0;
  size_t rawBytes = 0;
  uint32_t rawChecksum = 0;       // ImageChecksum of the raw image
  std::vector<uint8_t> jpegFile;  // empty: the side went out raw
  bool blank = false;             // it came as a blank page, no data
  bool ended = false;             // its last byte went out: sent whole
};
// The record keeps the latest sides only, so that a long scan does not grow it without bound.
constexpr size_t kSidesFedKept = 256;

// What the host sent and the device did around its scans, in order of arrival.
struct ScanRecord {
  struct Block {
    uint16_t dataType;  // SEND 0x95, 0x96, 0x98, 0x99, 0x8B
    std::vector<uint8_t> bytes;
  };
  std::vector<Block> jobBlocks;
  std::vector<uint8_t> reserveArguments;  // RESERVE UNIT block byte 11, in order
  std::vector<uint8_t> releaseArguments;  // RELEASE UNIT block byte 11, in order
  uint32_t sidesDelivered = 0;            // sides that ended with end of page or end of file
  uint32_t sheetsFed = 0;                 // sheets that left the feeder and were released
  std::vector<SideFed> sides;             // in the order the sheets were taken (front, rear)
  size_t sidesDropped = 0;                // older sides left out beyond kSidesFedKept
  std::vector<SheetEvent> eventsMet;      // the sheet conditions the scanner raised, in order
};

// Byte `column` of line `row` of a side (0 front, 1 rear) of sheet `sheet` (from 1): bytes 0 to
// 3 are the sheet, the side and the row (big-endian), the rest a pattern of all four. Every mode
// and depth gets its line bytes from it.
SIM_API uint8_t SheetByte(uint32_t sheet, uint32_t side, uint32_t row, uint32_t column);
SIM_API std::vector<uint8_t> SheetSide(uint32_t sheet, uint32_t side, uint32_t lines,
                                       uint32_t bytesPerLine);
// The checksum the command log keeps of image data (FNV-1a, 32 bits).
SIM_API uint32_t ImageChecksum(const uint8_t* data, size_t length);
// The JPEG file the device compresses a side into (libjpeg-turbo, baseline, the standard
// Huffman tables, no restart markers): `pixels` are `lines` lines of `width` pixels of
// `components` bytes (R, G, B or grey); `subKind` is the window's JPEG kind (1: luma sampled
// 2 x 2, 2: 2 x 1, 3: 1 x 1, 4: grey); the tables are 64 quantisation values each in natural
// order. The device sends only the entropy-coded data behind the file's SOS and its FF D9
// (DeviceJpegScanData); a host puts its own header in front.
SIM_API std::vector<uint8_t> DeviceJpegFile(const std::vector<uint8_t>& pixels, uint32_t width,
                                            uint32_t lines, uint32_t components, uint32_t subKind,
                                            const uint8_t* luma, const uint8_t* chroma);
SIM_API std::vector<uint8_t> DeviceJpegScanData(const std::vector<uint8_t>& file);
// Bytes of image data the command log keeps of each READ.
constexpr size_t kImageLogPrefix = 16;

// What a job-start RESERVE UNIT (byte 11 = 2) answers (description key `reserve`).
enum class ReserveAnswer : uint8_t {
  Free,
  Busy,    // 0x9000: the scanner is busy
  Locked,  // 0x1504: reserved for another host
};

// A document on a side of a sheet (description keys `sheet-document` and `sheet-image`): the
// side is rendered from it on the side's feeder background instead of the striped pattern.
struct SheetDocument {
  uint32_t sheet = 0;  // from 1, counted over the scanner's life; 0: every sheet
  int side = -1;       // 0 front, 1 rear, -1 both
  Document document;
};
// The document on a side of sheet `sheet` (from 1): the last entry that names it, else null.
SIM_API const Document* DocumentFor(const std::vector<SheetDocument>& documents, uint32_t sheet,
                                    uint32_t side);

// What a description file says (sim/README.md has the format).
struct Config {
  std::string model = "CQM310_DPI200with300X200";
  std::string serial = "SIM0000001";
  uint16_t vendorId = 0xF11E;   // vantrel::kSupportedVendorId
  uint16_t productId = 0x0310;  // vantrel::kSupportedProductId
  // The registry's location id of the scanner (UsbDevice::GetLocationID); 0: the bus gives the
  // n-th scanner (from 1) bus 1, port n: 0x01n00000.
  uint32_t locationId = 0;
  usbhost::Speed speed = usbhost::Speed::High;
  uint32_t sheets = 1;
  bool interruptPipe = true;
  // Interrupt IN pipes after the bulk pipes (1 or 2); button packets arrive on the last one, the
  // other one never delivers.
  uint8_t interruptPipes = 1;
  bool bulkInPipe = true;      // false: pipe 2 is an isochronous IN endpoint, no bulk IN
  uint32_t inquiryLength = 0;  // 0: the model's own; more: the inquiry data padded to it
  std::vector<InquiryPatch> inquiryPatches;  // applied in order after the model's data
  uint8_t nvramLayout = 2;                   // 1: the 132-byte record, 2: the 262-byte one
  // What the NVRAM head (READ 0x0069 of 5 bytes) reports instead of the record's own layout
  // number and length; 0: the real ones.
  uint8_t nvramHeadLayout = 0;
  uint32_t nvramHeadLength = 0;
  ImprinterKind imprinter = ImprinterKind::None;
  uint16_t imprinterRecordLength = 48;  // imprinter information bytes 23-24: READ 0x20B is this + 7
  bool nvramIgnoresDates = false;       // an NVRAM write leaves the six date words as they were
  // Network values of kind 0 (READ 0xA7) and 1 (READ 0xA8), the bytes behind the length word
  // (empty: the device's own); the replies' length word, 0 meaning the value's bytes + 5.
  std::vector<uint8_t> networkValues[2];
  uint32_t networkReplyLength = 0;
  // The length word of every network reply after a kind's first READ (0: as the first): a
  // device whose value changes between two reads.
  uint32_t networkLaterReplyLength = 0;
  CalibrationSetup calibration;
  LampState lamp = LampState::Ready;
  // READs of 0xA0 that answer "warming up" before the lamp is ready (0: it never gets ready);
  // a lamp switched on by SEND 0xA0 warms up as long.
  uint32_t lampWarmupReads = 1;
  // The colour behind the paper that READ 0x9B answers, front and rear.
  Rgb background[2] = {{240, 240, 240}, {240, 240, 240}};
  std::vector<Fault> faults;
  std::vector<ButtonPacket> buttons;  // posted when the scanner is created
  ImageProfile profile = ImageProfile::DeviceJpeg;
  // Sheet lengths in 1/300 inch: every sheet `paperLength` unless `sheetLengths` names it
  // (index from 0; 0 keeps the default). A sheet gives min(window lines, its own lines), or its
  // own lines for a window of unknown length.
  uint32_t paperLength = 3300;
  std::vector<uint32_t> sheetLengths;
  // Bytes of entropy-coded filler every device-JPEG side runs on with before its end (a
  // scanner that does not stop at a page's end); 0: none.
  uint32_t deviceJpegRunOn = 0;
  // The duplex transfer style READ 0xB2 reports, 0 to 7 (7: the supported model's).
  uint8_t duplexStyle = 7;
  // The de-multiplexing unit in lines READ 0xB2 reports in bytes 5-6 (styles 1 to 3 interleave
  // the sides in units of that many of the window's lines; style 2's end of page runs on into
  // the next sheet's stream, style 3 leaves a short last unit's rest as a gap).
  uint16_t deMuxLines = 16;
  // Bits MEDIA CHECK sets in byte 4 beside bit 0 while paper is in the feeder (0x20 or 0x10:
  // the tray the job start looks at).
  uint8_t trayBits = 0;
  std::vector<SheetEvent> sheetEvents;
  // One-sided pages: the READ that ends a side fills the rest of its length with the next
  // sheet's first bytes (a stream that runs on across sheets), and that sheet goes on behind
  // them.
  bool endOfPageCarry = false;
  // The next `reserveRefusals` job-start RESERVE UNITs answer `reserve` (0: every one).
  ReserveAnswer reserve = ReserveAnswer::Free;
  uint32_t reserveRefusals = 1;
  // The command log keeps the latest `logLimit` exchanges and, of each, the first
  // `logDataLimit` bytes of data per direction (0: no limit), so a long scan does not grow it
  // without bound.
  size_t logLimit = 10000;
  size_t logDataLimit = 1 << 20;
  // Set (description key `preview-page R G B`): every side is a preview page (PreviewPage)
  // whose fourth patch has this colour.
  std::optional<Rgb> previewPatch;
  // Documents on the sheets' sides; a sheet with one and without its own `sheet-length` is as
  // long as its longest side's paper reaches, plus a quarter inch.
  std::vector<SheetDocument> documents;
};

// A preview page at the window's resolutions (dots per inch across and down), laid out in the
// window's line: RGB (3 bytes a pixel), grey (1 byte) or black and white (1 bit, most significant
// first, a set bit white), told apart by the bytes per line. From its top-left corner, in inches: a
// margin of the feeder's `background` a quarter inch wide, paper white inside it; four colour
// patches an inch square at (1, 1), (2.5, 1), (4, 1) and (5.5, 1): red (220, 30, 40), green (40,
// 160, 60), blue (40, 70, 200) and `custom`; and text-like marks, black bars an inch wide and a
// quarter inch high, at (1 + 1.5 i, 3 + 0.5 j) for i 0 to 3 and j 0 to 3. Grey pixels are the mean
// of the three colour channels; black and white sets pixels of 128 or more.
inline constexpr Rgb kPreviewPatches[3] = {{220, 30, 40}, {40, 160, 60}, {40, 70, 200}};
SIM_API std::vector<uint8_t> PreviewPage(uint32_t pixels, uint32_t lines, uint32_t bytesPerLine,
                                         uint32_t xResolution, uint32_t yResolution, Rgb background,
                                         Rgb custom);

// The IR/UV image of a sheet: 3 bytes a pixel, byte 1 the IR and byte 2 the UV sample (the
// pattern of SheetSide with side 2).
SIM_API std::vector<uint8_t> IrUvImage(uint32_t sheet, uint32_t lines, uint32_t bytesPerLine);

SIM_API bool ParseDescription(const std::string& text, Config* out, std::string* error);
SIM_API bool LoadDescription(const std::string& path, Config* out, std::string* error);
// A file may describe several scanners on one bus: a line "scanner" starts the next one, which
// begins from the defaults. ParseDescription and LoadDescription take files of one scanner.
SIM_API bool ParseDescriptions(const std::string& text, std::vector<Config>* out,
                               std::string* error);
SIM_API bool LoadDescriptions(const std::string& path, std::vector<Config>* out,
                              std::string* error);

// One command on the wire, as the device saw it.
struct Exchange {
  uint64_t number = 0;              // counts from 1 per scanner
  std::array<uint8_t, 12> block{};  // the command block of the control request
  std::string command;              // e.g. "INQUIRY", "READ 0x0069", "unknown 0x12"
  std::vector<uint8_t> dataIn;      // the data reply the device put on bulk IN
  uint32_t dataInTaken = 0;         // of it, what the host read
  std::vector<uint8_t> dataOut;     // what the host wrote on bulk OUT
  bool dataCut = false;             // dataIn or dataOut holds only the log's data limit
  std::array<uint8_t, 3> status{};  // the status the device put on bulk IN
  bool hasStatus = false;
  bool statusTaken = false;        // the host read the whole status
  std::vector<std::string> notes;  // faults applied, protocol violations, watchdog
  // Image data (READ 0x0000) keeps only kImageLogPrefix bytes in dataIn: its whole length and
  // checksum are here.
  uint32_t imageBytes = 0;
  uint32_t imageChecksum = 0;
};

// A test's hand on every reply before it goes on the wire (fuzzing the host's side of the
// protocol): the command block, the data reply (null without a bulk IN data phase; its length
// may change: a shorter one reaches the host as a short packet, a longer one runs into the
// status) and the three status bytes (controller id, status byte). It runs after the scripted
// faults, under the device's lock: it must not call back into the scanner.
using ReplyHook = std::function<void(const std::array<uint8_t, 12>& block,
                                     std::vector<uint8_t>* data, std::array<uint8_t, 3>* status)>;

// Pipe references of the simulated interface (descriptor order). With two interrupt pipes the
// button packets arrive on pipe 4.
constexpr uint8_t kPipeBulkOut = 1;
constexpr uint8_t kPipeBulkIn = 2;
constexpr uint8_t kPipeInterrupt = 3;
constexpr uint8_t kMaxInterruptPipes = 2;

// A handle on one simulated scanner. Every member is safe to call from any thread.
class SIM_API SimScanner {
 public:
  explicit SimScanner(const Config& config);
  ~SimScanner();
  SimScanner(const SimScanner&) = delete;
  SimScanner& operator=(const SimScanner&) = delete;

  std::vector<Exchange> CommandLog() const;
  void ClearCommandLog();
  // The device's own log: watchdog firings, protocol violations, unplug and reset.
  std::vector<std::string> Messages() const;

  void InjectFault(const Fault& fault);
  void ClearFaults();
  // A Hold fault's command: true once one waits (false after `timeoutMs`); ReleaseHeld lets it
  // go on as if nothing had happened.
  bool WaitHeld(uint32_t timeoutMs) const;
  void ReleaseHeld();
  // A Silent fault's command: true once a bulk IN read waits on it (false after `timeoutMs`).
  bool WaitSilent(uint32_t timeoutMs) const;
  // Commands that arrived while an exchange was still open (its data or status unread): each
  // was refused with a stall, as a device out of step would fail it.
  uint32_t ProtocolErrors() const;

  // Conditions on sheets still to come, and the answer of the next job-start reserves.
  void AddSheetEvent(const SheetEvent& event);
  void ClearSheetEvents();
  void SetReserveAnswer(ReserveAnswer answer, uint32_t refusals = 1);
  // Replaces the reply hook; an empty one removes it.
  void SetReplyHook(ReplyHook hook);

  void PostButtonPacket(const ButtonPacket& packet);
  void PressButton(uint8_t kind, uint8_t number) {
    PostButtonPacket(MakeButtonPacket(kind, number));
  }

  // Unplug: every transfer, pipe status and open of the device's objects fails with
  // kUsbNoDevice and searches do not find it. Replug: found again (new objects needed).
  void Unplug();
  void Replug();
  bool Attached() const;
  // While set, asking for a pipe's status fails with kUsbPipeStalled though the device stays
  // attached (a device the host cannot get back by re-opening it).
  void FailPipeStatus(bool fail);
  // The transfer time-outs the host set on the device's interfaces, in order.
  std::vector<uint32_t> TransferTimeouts() const;

  // The inquiry data this scanner answers with (bytes 0-1 carry the given controller id).
  std::vector<uint8_t> InquiryData(uint16_t controllerId) const;
  Config config() const;
  uint32_t SheetsLeft() const;
  // The NVRAM record as the device keeps it (big-endian; bytes 0-1 hold 0), with what the host
  // wrote so far.
  std::vector<uint8_t> NvramRecord() const;
  // Transfers waiting inside the device now (pending interrupt reads, slow transfers): lets a
  // test abort or unplug once a reader really waits. A reader already woken by a packet still
  // counts until it runs, so look at PendingButtonPackets too.
  size_t BlockedTransfers() const;
  // Button packets posted and not read yet.
  size_t PendingButtonPackets() const;
  // The next `count` interrupt reads fail at once with `code` (kUsbPipeStalled stalls the
  // pipe until the host clears it); packets stay queued.
  void FailInterruptReads(usbhost::UsbStatus code, uint32_t count = 1);
  // ClearPipeStall calls the host made so far.
  uint32_t StallClears() const;

  // The job preparation: calibration, lamp and background as the description set them up.
  void SetCalibration(const CalibrationSetup& setup);
  void SetLamp(LampState state, uint32_t warmupReads = 1);
  LampState Lamp() const;
  void SetBackground(uint32_t side, const Rgb& colour);  // side 0 front, 1 rear
  // Replaces the description's documents (sheets to come are rendered from them).
  void SetDocuments(const std::vector<SheetDocument>& documents);
  // Replaces the description's inquiry patches: a host that opens the device next reads them.
  void SetInquiryPatches(const std::vector<InquiryPatch>& patches);
  PreparationRecord Prepared() const;
  void ClearPrepared();

  // The scans: what the host sent for them, the feeder refilled between jobs.
  ScanRecord Scanned() const;
  void ClearScanned();
  void LoadSheets(uint32_t sheets);
  // A sheet the host left in the transport (read from, never released); a person takes it out
  // with TakeOutSheet, as after a jam.
  bool SheetInTransport() const;
  void TakeOutSheet();

  std::shared_ptr<detail::Device> device() const { return device_; }

 private:
  std::shared_ptr<detail::Device> device_;
};

// A bus with simulated scanners on it.
class SimBus final : public usbhost::UsbBus {
 public:
  SimBus();
  ~SimBus() override;
  SimScanner& AddScanner(const Config& config = Config{});
  size_t ScannerCount() const;
  SimScanner& Scanner(size_t index);

  usbhost::UsbStatus FindDevices(uint16_t vendor, uint16_t product,
                                 std::vector<std::unique_ptr<usbhost::UsbDevice>>* out) override;

 private:
  mutable std::mutex m_;
  std::vector<std::unique_ptr<SimScanner>> scanners_;
};

// The scanner that the library's C entry point built from VANTREL_SIMULATOR's description
// file; null before the host layer loaded the simulator (or in a program that did not).
SIM_API SimScanner* LoadedScanner();
// The scanners of the loaded bus, in description order (index 0 is LoadedScanner()).
SIM_API size_t LoadedScannerCount();
SIM_API SimScanner* LoadedScanner(size_t index);

}  // namespace sim
