// The scanner's conditions on its sheets and at a job's start.
#include "sim/SimEvents.h"

#include <algorithm>

#include "sim/SimCommands.h"
#include "sim/SimScan.h"

namespace sim {
namespace {

struct EventName {
  SheetEventKind kind;
  const char* name;
};
const EventName kEventNames[] = {
    {SheetEventKind::Jam, "jam"},
    {SheetEventKind::CoverOpen, "cover-open"},
    {SheetEventKind::Misfeed, "misfeed"},
    {SheetEventKind::HardwareCancel, "cancel-button"},
    {SheetEventKind::MultiFeed, "multi-feed"},
    {SheetEventKind::Skew, "skew"},
    {SheetEventKind::MultiFeedAtEnd, "multi-feed-at-end"},
    {SheetEventKind::MultiFeedOnRelease, "multi-feed-on-release"},
    {SheetEventKind::MultiFeedOnMediaCheck, "multi-feed-on-media-check"},
    {SheetEventKind::BlankPage, "blank-page"},
    {SheetEventKind::EndOfFileSegments, "end-of-file-every"},
};

}  // namespace

const char* SheetEventName(SheetEventKind kind) {
  for (const auto& e : kEventNames)
    if (e.kind == kind) return e.name;
  return "unknown";
}

bool SheetEventFromName(const std::string& name, SheetEventKind* kind) {
  for (const auto& e : kEventNames) {
    if (name == e.name) {
      *kind = e.kind;
      return true;
    }
  }
  return false;
}

namespace detail {
namespace {

// Sense keys and codes of the conditions.
constexpr uint8_t kKeyRecovered = 1;
constexpr uint8_t kKeyNotReady = 2;
constexpr uint8_t kKeyMedium = 3;
constexpr uint8_t kKeyAborted = 11;
constexpr uint16_t kCodeJam = 0x8001;
constexpr uint16_t kCodeCoverOpen = 0x8002;
constexpr uint16_t kCodeEndOfPage = 0x8004;
constexpr uint16_t kCodeMultiFeed = 0x8005;
constexpr uint16_t kCodeEndOfPageMultiFeed = 0x8016;
constexpr uint16_t kCodeSkew = 0x801C;
constexpr uint16_t kCodeMisfeed = 0x801D;
constexpr uint16_t kCodeBlankPage = 0x8021;
constexpr uint16_t kCodeEndOfFile = 0x8022;
constexpr uint16_t kCodeBusy = 0x9000;
constexpr uint16_t kCodeLocked = 0x1504;

void Raise(Reply& r, uint8_t key, uint16_t code, uint32_t information) {
  r.checkCondition = true;
  r.sense = Sense{};
  r.sense.key = key;
  r.sense.asc = uint8_t(code >> 8);
  r.sense.ascq = uint8_t(code);
  r.sense.information = information;
}

void ImageFields(Reply& r, const SideFacts& f, uint32_t lines) {
  r.sense.imageWidth = f.pixels;
  r.sense.imageHeight = lines;
  r.sense.imageSize = lines * f.bytesPerLine;
  r.sense.bytesPerLine = f.bytesPerLine;
  r.sense.imageScanMode = f.modeBits;
}

uint32_t CurrentSheet(const DeviceState& s) { return s.scan.sheetsTaken + 1; }

// The first pending event of the sheet in the transport and this side of a kind in `kinds`.
template <size_t N>
std::vector<SheetEvent>::iterator Find(DeviceState& s, uint32_t side,
                                       const SheetEventKind (&kinds)[N]) {
  const uint32_t sheet = CurrentSheet(s);
  return std::find_if(s.events.pending.begin(), s.events.pending.end(), [&](const SheetEvent& e) {
    return e.sheet == sheet && e.side == side &&
           std::find(std::begin(kinds), std::end(kinds), e.kind) != std::end(kinds);
  });
}

}  // namespace

EventState InitialEvents(const Config& config) {
  EventState e;
  e.pending = config.sheetEvents;
  e.reserve = config.reserve;
  e.reserveRefusalsLeft = config.reserveRefusals;
  return e;
}

bool SheetEventOnRead(DeviceState& s, uint32_t side, const SideFacts& facts, const Command& c,
                      Reply& r) {
  ScanState& scan = s.scan;
  std::vector<uint8_t>& bytes = scan.side[side];
  size_t& at = scan.position[side];
  const size_t end = std::min<size_t>(at + c.length, bytes.size());
  r.data.assign(c.length, 0);

  static const SheetEventKind kBlank[] = {SheetEventKind::BlankPage};
  if (auto e = Find(s, side, kBlank); e != s.events.pending.end()) {
    const SheetEvent event = *e;
    s.events.pending.erase(e);
    Raise(r, kKeyRecovered, kCodeBlankPage, 0);
    ImageFields(r, facts, 0);
    at = bytes.size();
    scan.sideEnded[side] = true;
    ++scan.record.sidesDelivered;
    scan.record.eventsMet.push_back(event);
    MarkSideEnded(scan, side, true);
    return true;
  }

  // The first condition whose byte this READ reaches.
  static const SheetEventKind kAtOffset[] = {
      SheetEventKind::Jam,       SheetEventKind::CoverOpen,
      SheetEventKind::Misfeed,   SheetEventKind::HardwareCancel,
      SheetEventKind::MultiFeed, SheetEventKind::Skew};
  auto hit = s.events.pending.end();
  const uint32_t sheet = CurrentSheet(s);
  for (auto e = s.events.pending.begin(); e != s.events.pending.end(); ++e) {
    if (e->sheet != sheet || e->side != side || e->offset >= end) continue;
    if (std::find(std::begin(kAtOffset), std::end(kAtOffset), e->kind) == std::end(kAtOffset))
      continue;
    if (hit == s.events.pending.end() || e->offset < hit->offset) hit = e;
  }
  if (hit != s.events.pending.end()) {
    const SheetEvent event = *hit;
    s.events.pending.erase(hit);
    scan.record.eventsMet.push_back(event);
    const bool keepsData =
        event.kind == SheetEventKind::MultiFeed || event.kind == SheetEventKind::Skew;
    // A condition that stops the sheet delivers what came before it; one the scanner only
    // reports delivers the whole READ.
    const size_t stop = keepsData ? end : std::max<size_t>(at, event.offset);
    std::copy(bytes.begin() + long(at), bytes.begin() + long(stop), r.data.begin());
    const uint32_t valid = uint32_t(stop - at);
    at = stop;
    switch (event.kind) {
      case SheetEventKind::Jam:
        Raise(r, kKeyMedium, kCodeJam, valid);
        break;
      case SheetEventKind::CoverOpen:
        Raise(r, kKeyMedium, kCodeCoverOpen, valid);
        break;
      case SheetEventKind::Misfeed:
        Raise(r, kKeyMedium, kCodeMisfeed, valid);
        break;
      case SheetEventKind::HardwareCancel:
        Raise(r, kKeyAborted, 0, valid);
        break;
      case SheetEventKind::MultiFeed:
        Raise(r, kKeyRecovered, kCodeMultiFeed, valid);
        break;
      default:
        Raise(r, kKeyRecovered, kCodeSkew, valid);
        break;
    }
    // A side fully read stays open: its end of page comes with the next READ (a READ that
    // asked for no more than the side held is a host that knows where it ends).
    if (at == bytes.size() && c.length > valid) scan.endOwed[side] = true;
    return true;
  }

  // A long page cut into images: the READ that reaches an image's end (not the side's) stops
  // there with end of file.
  static const SheetEventKind kSegments[] = {SheetEventKind::EndOfFileSegments};
  if (auto e = Find(s, side, kSegments); e != s.events.pending.end() && e->lines != 0) {
    const size_t segment = size_t(e->lines) * facts.bytesPerLine;
    if (segment == 0) return false;
    const size_t boundary = (at / segment + 1) * segment;
    if (boundary < bytes.size() && boundary <= end && boundary < at + c.length) {
      std::copy(bytes.begin() + long(at), bytes.begin() + long(boundary), r.data.begin());
      const uint32_t valid = uint32_t(boundary - at);
      at = boundary;
      Raise(r, 0, kCodeEndOfFile, valid);
      ImageFields(r, facts, e->lines);
      return true;
    }
  }
  return false;
}

uint16_t EndOfPageCode(DeviceState& s, uint32_t side) {
  static const SheetEventKind kAtEnd[] = {SheetEventKind::MultiFeedAtEnd};
  auto e = Find(s, side, kAtEnd);
  if (e == s.events.pending.end()) return kCodeEndOfPage;
  s.scan.record.eventsMet.push_back(*e);
  s.events.pending.erase(e);
  return kCodeEndOfPageMultiFeed;
}

void ReleaseEvents(DeviceState& s, bool leaves, Reply& r) {
  const uint32_t sheet = CurrentSheet(s);
  auto& pending = s.events.pending;
  for (auto e = pending.begin(); e != pending.end();) {
    if (e->sheet != sheet) {
      ++e;
      continue;
    }
    if (e->kind == SheetEventKind::MultiFeedOnRelease) {
      s.scan.record.eventsMet.push_back(*e);
      Raise(r, kKeyRecovered, kCodeMultiFeed, 0);
      e = pending.erase(e);
      continue;
    }
    if (!leaves) {
      ++e;
      continue;
    }
    if (e->kind == SheetEventKind::MultiFeedOnMediaCheck) s.events.mediaCheckMultiFeed = true;
    // What the sheet did not reach leaves with it.
    e = pending.erase(e);
  }
}

void MediaCheckEvents(DeviceState& s, Reply& r) {
  if (!s.events.mediaCheckMultiFeed) return;
  s.events.mediaCheckMultiFeed = false;
  Raise(r, kKeyRecovered, kCodeMultiFeed, 0);
}

bool ReserveRefused(DeviceState& s, const Command& c, Reply& r) {
  EventState& e = s.events;
  if (c.block[11] != 2 || e.reserve == ReserveAnswer::Free) return false;
  Raise(r, kKeyNotReady, e.reserve == ReserveAnswer::Busy ? kCodeBusy : kCodeLocked, 0);
  if (e.reserveRefusalsLeft != 0 && --e.reserveRefusalsLeft == 0) e.reserve = ReserveAnswer::Free;
  return true;
}

}  // namespace detail
}  // namespace sim
