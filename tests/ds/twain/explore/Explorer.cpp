#include "tests/ds/twain/explore/Explorer.h"

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/imageio/ImageIO.h"
#include "platform/twain/Twain.h"
#include "sim/SimScanner.h"
#include "tests/support/TestFolder.h"
#include "tests/support/ThreadCount.h"
#include "tools/twain/Host.h"

#define DSTEST_SIM_DESCRIPTION "serial SIM0000001\nprofile raw\nsheets 0\n"
#include "tests/ds/twain/SimulatedScanner.h"

namespace explore {

namespace fs = std::filesystem;
using twainhost::Answer;
using twainhost::Container;

namespace {

// Conditions TWAIN 2.x has for a device that cannot go on.
constexpr uint16_t kInterlock = 24, kNoMedia = 29;
// A call that has not returned by then hangs: the process ends, naming the scenario. Generous,
// for a loaded machine under a sanitizer.
constexpr auto kCallBound = std::chrono::seconds(120);
// Frames of the scan: a page's edge may differ from frame x resolution by rounding.
constexpr int32_t kPixelSlack = 2;
constexpr int32_t kWidthAlignment = 32;
constexpr double kInchSlack = 0.01;
// How long the application's loop waits for the source's MSG_XFERREADY after an enable.
constexpr auto kReadyWait = std::chrono::seconds(60);
constexpr auto kReadyPoll = std::chrono::milliseconds(2);

// Empty while every fault the explorer has met is mended; a class goes here with its fault when a
// new one is found and taken up, and out again with the fix.
const std::vector<KnownOpen> kKnownOpen = {};

// Ends the process when a call does not return within the bound: a hung data source cannot be
// recovered from inside the process, and the line names the scenario to replay.
class CallBound {
 public:
  CallBound() : watcher_([this] { Watch(); }) {}
  ~CallBound() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    watcher_.join();
  }
  void Arm(const char* what, uint64_t seed) {
    std::lock_guard lock(mutex_);
    what_ = what;
    seed_ = seed;
    deadline_ = std::chrono::steady_clock::now() + kCallBound;
    armed_ = true;
    changed_.notify_all();
  }
  void Disarm() {
    std::lock_guard lock(mutex_);
    armed_ = false;
  }

 private:
  void Watch() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      if (!armed_) {
        changed_.wait(lock);
        continue;
      }
      changed_.wait_until(lock, deadline_);
      if (armed_ && !stop_ && std::chrono::steady_clock::now() >= deadline_) {
        std::fprintf(stderr, "explore: %s did not return within %lld s\n  replay: %s\n", what_,
                     static_cast<long long>(kCallBound.count()), ReproduceLine(seed_).c_str());
        std::fflush(stderr);
        std::abort();
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool armed_ = false, stop_ = false;
  const char* what_ = "";
  uint64_t seed_ = 0;
  std::chrono::steady_clock::time_point deadline_;
  std::thread watcher_;
};

CallBound& Bound() {
  static CallBound bound;
  return bound;
}

// How far a frame's edge may lie past the area offered and still be inside (FIX32 rounding).
constexpr double kFrameSlack = 0.01;

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", v);
  return text;
}

std::string Code(const Answer& a) {
  return "rc " + std::to_string(a.rc) + " cc " + std::to_string(a.cc);
}

uint32_t PackedRowBytes(int32_t width, int16_t bitsPerPixel) {
  return uint32_t((int64_t(width) * bitsPerPixel + 7) / 8);
}

int16_t BitsOf(uint16_t pixelType) {
  return pixelType == TWPT_BW ? 1 : pixelType == TWPT_GRAY ? 8 : 24;
}

// The messages a capability of this source refuses with TWCC_BADCAP although it lists the
// capability; every other refusal of a listed capability is a fault.
bool RefusedByDesign(uint16_t cap, uint16_t msg) {
  static const std::map<uint16_t, std::set<uint16_t>> kRefused = {
      {CAP_SUPPORTEDCAPS, {MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET, MSG_SET}},
      {CAP_UICONTROLLABLE, {MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET, MSG_SET}},
      {CAP_DEVICEONLINE, {MSG_GETDEFAULT, MSG_RESET, MSG_SET}},
      {CAP_FEEDERLOADED, {MSG_RESET, MSG_SET}},
      {CAP_FEEDERENABLED, {MSG_RESET}},
      {CAP_DUPLEX, {MSG_RESET, MSG_SET}},
      {CAP_DUPLEXENABLED, {MSG_RESET}},
      {ICAP_MINIMUMWIDTH, {MSG_SET}},
      {ICAP_MINIMUMHEIGHT, {MSG_SET}},
      {ICAP_PHYSICALWIDTH, {MSG_SET}},
      {ICAP_PHYSICALHEIGHT, {MSG_SET}},
      {ICAP_BITORDER, {MSG_SET}},
      {ICAP_PLANARCHUNKY, {MSG_RESET, MSG_SET}},
      {ICAP_BITDEPTH, {MSG_RESET}},
  };
  const auto it = kRefused.find(cap);
  return it != kRefused.end() && it->second.count(msg) != 0;
}

// An item of a container as a number: FIX32 as its value, integers as they are.
double Number(const Container& c, size_t i) {
  return c.itemType == TWTY_FIX32 ? c.Fixed(i) : double(c.Value(i));
}

uint32_t Bits(uint16_t itemType, double value) {
  return itemType == TWTY_FIX32 ? twainhost::Fix32Word(value) : uint32_t(int64_t(value));
}

Container OneOf(uint16_t itemType, double value) {
  return itemType == TWTY_FIX32 ? Container::OneFix32(value)
                                : Container::OneValue(itemType, uint32_t(int64_t(value)));
}

// The range slots as numbers.
struct Span {
  double min, max, step;
};
Span RangeOf(const Container& c) {
  if (c.itemType == TWTY_FIX32) {
    auto fix = [](uint32_t w) { return int16_t(w & 0xFFFF) + double(w >> 16) / 65536.0; };
    return {fix(c.min), fix(c.max), fix(c.step)};
  }
  auto whole = [&](uint32_t w) {
    switch (c.itemType) {
      case TWTY_INT8:
        return double(int8_t(w));
      case TWTY_INT16:
        return double(int16_t(w));
      case TWTY_INT32:
        return double(int32_t(w));
      default:
        return double(w);
    }
  };
  return {whole(c.min), whole(c.max), whole(c.step)};
}

// One scenario's session (and the reopened one), with the oracle.
class Session {
 public:
  Session(const Plan& plan, const fs::path& bundle, Outcome& out)
      : plan_(plan), bundle_(bundle), out_(out), rng_(plan.seed ^ 0xA5A5A5A5ull) {}

  void Run() {
    ForgetSettings();
    if (!Open()) return;
    Probe();
    Negotiate();
    if (!SetScan()) {
      Close();
      return;
    }
    Batch();
    if (plan_.secondBatch && state_ == 4) Batch();
    Close();
    if (plan_.reopen) Reopen();
  }

 private:
  template <class F>
  auto Timed(const char* what, F&& call) {
    ++out_.calls;
    Bound().Arm(what, plan_.seed);
    auto result = call();
    Bound().Disarm();
    return result;
  }

  void Fault(const std::string& kind, const std::string& what) {
    (IsKnownOpen(kind) ? out_.known : out_.findings).push_back({kind, what});
  }

  // Every scenario starts from the settings the bundle ships: a session keeps what the host
  // negotiated in files beside the module.
  void ForgetSettings() {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(bundle_, ignored)) {
      const std::string name = entry.path().filename().string();
      if (name != "Ferrolite.ds" && name != "Info.plist" && name != "Resources")
        fs::remove_all(entry.path(), ignored);
    }
  }

  bool Open() {
    std::string error;
    host_ = std::make_unique<twainhost::Host>();
    if (!Timed("the manager's load",
               [&] { return host_->OpenManager(bundle_.string(), &error); })) {
      Fault("open", "the manager does not keep the source: " + error);
      return false;
    }
    const Answer opened = Timed("MSG_OPENDS", [&] { return host_->OpenSource(); });
    if (!opened.ok()) {
      Fault("open", "MSG_OPENDS: " + Code(opened));
      return false;
    }
    state_ = 4;
    const auto caps =
        Timed("CAP_SUPPORTEDCAPS", [&] { return host_->Capability(MSG_GET, CAP_SUPPORTEDCAPS); });
    if (caps.ok()) {
      for (size_t i = 0; i < caps.value.Count(); ++i)
        caps_.push_back(uint16_t(caps.value.Value(i)));
    } else {
      Fault("capability", "CAP_SUPPORTEDCAPS MSG_GET: " + Code(caps));
    }
    return true;
  }

  // A triplet that the state table refuses where the walk is: TWRC_FAILURE with TWCC_SEQERROR.
  void ExpectSequenceError(const char* what, const Answer& a) {
    if (a.rc != TWRC_FAILURE || a.cc != TWCC_SEQERROR)
      Fault("state-table", std::string(what) + " in state " + std::to_string(state_) + ": " +
                               Code(a) + ", not TWCC_SEQERROR");
  }

  // Out-of-state triplets of the state the walk is in.
  void Probe() {
    if (!plan_.probes) return;
    twainhost::Host& h = *host_;
    if (state_ == 4) {
      ExpectSequenceError("DAT_IMAGEINFO MSG_GET",
                          Timed("DAT_IMAGEINFO", [&] { return Answer(h.GetImageInfo()); }));
      ExpectSequenceError("DAT_IMAGEMEMXFER MSG_GET",
                          Timed("DAT_IMAGEMEMXFER", [&] { return Answer(h.MemXfer(4096)); }));
      ExpectSequenceError("DAT_PENDINGXFERS MSG_ENDXFER", Timed("DAT_PENDINGXFERS", [&] {
                            return Answer(h.PendingXfers(MSG_ENDXFER));
                          }));
      ExpectSequenceError("MSG_DISABLEDS", Timed("MSG_DISABLEDS", [&] { return h.DisableDs(); }));
    } else if (state_ == 6) {
      ExpectSequenceError("MSG_ENABLEDS", Timed("MSG_ENABLEDS", [&] { return h.EnableDs(false); }));
      ExpectSequenceError("ICAP_XRESOLUTION MSG_SET", Timed("MSG_SET", [&] {
                            return h.SetCapability(ICAP_XRESOLUTION, Container::OneFix32(100));
                          }));
      ExpectSequenceError("DAT_IMAGELAYOUT MSG_SET", Timed("DAT_IMAGELAYOUT", [&] {
                            twainhost::ImageLayout l;
                            l.right = 2;
                            l.bottom = 2;
                            return Answer(h.Layout(MSG_SET, l));
                          }));
      const auto pending = Timed("DAT_PENDINGXFERS", [&] { return h.PendingXfers(MSG_GET); });
      if (!pending.ok() || pending.value == 0)
        Fault("state-table", "DAT_PENDINGXFERS MSG_GET in state 6: " + Code(pending) + " count " +
                                 std::to_string(pending.value));
    } else if (state_ == 7) {
      const auto pending = Timed("DAT_PENDINGXFERS", [&] { return h.PendingXfers(MSG_GET); });
      if (!pending.ok())
        Fault("pending-get-in-transfer", "DAT_PENDINGXFERS MSG_GET in state 7: " + Code(pending));
      ExpectSequenceError("ICAP_XRESOLUTION MSG_SET", Timed("MSG_SET", [&] {
                            return h.SetCapability(ICAP_XRESOLUTION, Container::OneFix32(100));
                          }));
    }
  }

  // ---- negotiation ----

  void CheckContainer(uint16_t cap, uint16_t msg, const Container& c) {
    const std::string where = Hex(cap) + " msg " + Hex(msg);
    if (c.conType == TWON_ENUMERATION && c.numItems > 0 &&
        (c.currentIndex >= c.numItems || c.defaultIndex >= c.numItems))
      Fault("container", where + ": an enumeration's index past its items");
    if (c.conType == TWON_RANGE && RangeOf(c).min > RangeOf(c).max)
      Fault("container", where + ": a range whose minimum is above its maximum");
  }

  // The current value after a set, against what was set.
  void CheckReadBack(uint16_t cap, const Container& set, const Answer& a) {
    const auto now =
        Timed("MSG_GETCURRENT", [&] { return host_->Capability(MSG_GETCURRENT, cap); });
    if (!now.ok()) {
      Fault("capability", Hex(cap) + " MSG_GETCURRENT after a set: " + Code(now));
      return;
    }
    if (set.conType != TWON_ONEVALUE || now.value.Count() == 0) return;
    if (set.itemType == TWTY_FRAME) {
      const auto want = set.Frame(0), got = now.value.Frame(0);
      bool same = got.size() == 4;
      for (size_t i = 0; same && i < 4; ++i) same = std::fabs(want[i] - got[i]) < kInchSlack;
      if (!same && a.rc == TWRC_SUCCESS)
        Fault("readback", Hex(cap) + ": a frame set with TWRC_SUCCESS reads back otherwise");
      return;
    }
    const double want = Number(set, 0), got = Number(now.value, 0);
    if (a.rc == TWRC_SUCCESS && std::fabs(want - got) > 0.001)
      Fault("readback", Hex(cap) + ": " + std::to_string(want) +
                            " set with TWRC_SUCCESS reads back " + std::to_string(got));
  }

  // The frame as a host reads it and the image layout agree.
  void CheckLayoutAgrees() {
    const auto frames =
        Timed("MSG_GETCURRENT", [&] { return host_->Capability(MSG_GETCURRENT, ICAP_FRAMES); });
    const auto layout = Timed("DAT_IMAGELAYOUT", [&] { return host_->Layout(MSG_GET); });
    if (!frames.ok() || !layout.ok() || frames.value.Count() == 0) return;
    const auto f = frames.value.Frame(0);
    const double l[4] = {layout.value.left, layout.value.top, layout.value.right,
                         layout.value.bottom};
    for (size_t i = 0; i < 4; ++i) {
      if (std::fabs(f[i] - l[i]) > kInchSlack) {
        Fault("readback-layout", "ICAP_FRAMES {" + std::to_string(f[0]) + "," +
                                     std::to_string(f[1]) + "," + std::to_string(f[2]) + "," +
                                     std::to_string(f[3]) + "} but DAT_IMAGELAYOUT {" +
                                     std::to_string(l[0]) + "," + std::to_string(l[1]) + "," +
                                     std::to_string(l[2]) + "," + std::to_string(l[3]) + "}");
        return;
      }
    }
  }

  // One drawn capability call.
  void NegotiateOnce() {
    // A number no capability has, TWAIN's CAP_AUTHOR (not this source's), a custom one.
    static constexpr uint16_t kUnknown[] = {0x1234, 0x1000, 0x8FFF};
    static constexpr uint16_t kMessages[] = {MSG_GET,   MSG_GETCURRENT,   MSG_GETDEFAULT,
                                             MSG_RESET, MSG_QUERYSUPPORT, MSG_SET,
                                             MSG_SET,   MSG_SET};
    twainhost::Host& h = *host_;
    const bool unknown = caps_.empty() || rng_.Chance(8);
    const uint16_t cap = unknown ? rng_.Pick(kUnknown) : caps_[rng_.Below(uint32_t(caps_.size()))];
    const uint16_t msg = rng_.Pick(kMessages);
    if (unknown) {
      const auto a = Timed("DAT_CAPABILITY",
                           [&] { return h.Capability(msg == MSG_SET ? MSG_GET : msg, cap); });
      const bool refused =
          a.rc == TWRC_FAILURE &&
          (msg == MSG_QUERYSUPPORT ? a.cc == TWCC_BADPROTOCOL
                                   : a.cc == TWCC_BADCAP || a.cc == TWCC_CAPUNSUPPORTED);
      if (!refused)
        Fault("capability", "unknown " + Hex(cap) + " msg " + Hex(msg) + ": " + Code(a));
      return;
    }
    if (msg != MSG_SET) {
      const auto a = Timed("DAT_CAPABILITY", [&] { return h.Capability(msg, cap); });
      // This source answers no MSG_QUERYSUPPORT: TWAIN's code for a message it does not know.
      if (msg == MSG_QUERYSUPPORT) {
        if (a.rc != TWRC_FAILURE || a.cc != TWCC_BADPROTOCOL)
          Fault("capability", Hex(cap) + " MSG_QUERYSUPPORT: " + Code(a));
        return;
      }
      if (RefusedByDesign(cap, msg)) {
        if (a.rc != TWRC_FAILURE || a.cc != TWCC_BADCAP)
          Fault("capability", Hex(cap) + " msg " + Hex(msg) + ": " + Code(a) + ", not TWCC_BADCAP");
        return;
      }
      if (!a.ok()) {
        Fault("capability", Hex(cap) + " msg " + Hex(msg) + ": " + Code(a));
        return;
      }
      CheckContainer(cap, msg, a.value);
      if (msg == MSG_RESET) touched_.erase(cap);
      return;
    }
    const auto got = Timed("MSG_GET", [&] { return h.Capability(MSG_GET, cap); });
    const auto cur = Timed("MSG_GETCURRENT", [&] { return h.Capability(MSG_GETCURRENT, cap); });
    if (RefusedByDesign(cap, MSG_GETCURRENT)) return;  // nothing to set it from
    if (!got.ok() || !cur.ok() || cur.value.Count() == 0) {
      Fault("capability", Hex(cap) + " MSG_GET before a set: " + Code(got) + " / " + Code(cur));
      return;
    }
    SetDrawn(cap, got.value, cur.value);
  }

  void SetDrawn(uint16_t cap, const Container& got, const Container& cur) {
    enum Kind { kSame, kEdge, kOut, kWrongType, kContainer };
    const Kind kind = Kind(rng_.Below(5));
    const uint16_t type = cur.itemType;
    Container value;
    bool outside = false;
    std::string frameText;  // the frame set, for the finding
    if (type == TWTY_FRAME) {
      static constexpr double kFrames[][4] = {{0, 0, 8.5, 14}, {0, 0, 2, 2},
                                              {1, 1, 3, 4},    {0, 0, 0.01, 0.01},
                                              {0, 0, 8.5, 30}, {0, 0, 100, 100}};
      const size_t i = kind == kOut ? 3 + rng_.Below(3) : rng_.Below(3);
      // Outside: far below the least size, or past the whole area that MSG_GET offers (a long
      // page's limit grows as the resolution falls, so 30 inches may lie inside).
      const bool whole = got.conType == TWON_ONEVALUE && got.itemType == TWTY_FRAME;
      const std::vector<double> area = whole ? got.Frame() : std::vector<double>{0, 0, 8.5, 14};
      outside =
          i == 3 || kFrames[i][2] > area[2] + kFrameSlack || kFrames[i][3] > area[3] + kFrameSlack;
      value = kind == kWrongType
                  ? Container::OneFix32(1)
                  : Container::OneFrame(kFrames[i][0], kFrames[i][1], kFrames[i][2], kFrames[i][3]);
      if (kind != kWrongType) {
        frameText = " {";
        for (int edge = 0; edge < 4; ++edge) {
          char text[32];
          std::snprintf(text, sizeof text, "%s%g", edge ? "," : "", kFrames[i][edge]);
          frameText += text;
        }
        frameText += "}";
      }
    } else if (kind == kWrongType) {
      value = Container::OneFrame(0, 0, 1, 1);
    } else if (got.conType == TWON_RANGE) {
      const Span s = RangeOf(got);
      const double step = s.step > 0 ? s.step : 1;
      double v = Number(cur, 0);
      if (kind == kEdge) v = rng_.Chance(50) ? s.min : s.max;
      if (kind == kOut) {
        v = rng_.Chance(50) ? s.max + step * (1 + rng_.Below(50)) : s.min - step;
        outside = true;
        if (type == TWTY_FIX32 && v < 0) v = s.max + step;
      }
      value = kind == kContainer ? Container::Range(type, got.min, got.max, got.step,
                                                    got.defaultValue, got.currentValue)
                                 : OneOf(type, v);
    } else if (got.conType == TWON_ENUMERATION && got.Count() > 0) {
      double v = Number(cur, 0);
      if (kind == kEdge) v = Number(got, rng_.Chance(50) ? 0 : got.Count() - 1);
      if (kind == kOut) {
        double top = 0;
        for (size_t i = 0; i < got.Count(); ++i) top = std::max(top, Number(got, i));
        v = top + 1 + rng_.Below(1000);
        outside = true;
      }
      if (kind == kContainer) {
        std::vector<uint32_t> items;
        for (size_t i = 0; i < got.Count(); ++i) items.push_back(Bits(type, Number(got, i)));
        value = Container::Enumeration(type, items, 0, 0);
      } else {
        value = OneOf(type, v);
      }
    } else {
      value = OneOf(type, Number(cur, 0));  // a one-value or array cap: its current value
    }
    const Answer a = Timed("MSG_SET", [&] { return host_->SetCapability(cap, value); });
    const std::string where = Hex(cap) + frameText + " " +
                              (kind == kWrongType   ? "wrong item type"
                               : kind == kContainer ? "container " + std::to_string(value.conType)
                               : outside            ? "outside"
                                                    : "inside");
    if (RefusedByDesign(cap, MSG_SET)) {
      if (a.rc != TWRC_FAILURE || a.cc != TWCC_BADCAP)
        Fault("read-only-set", where + ": " + Code(a) + ", not TWCC_BADCAP");
      return;
    }
    if (a.rc != TWRC_SUCCESS && a.rc != TWRC_CHECKSTATUS && a.rc != TWRC_FAILURE) {
      Fault("capability", where + ": MSG_SET answered " + Code(a));
      return;
    }
    if (a.rc == TWRC_FAILURE) {
      static const std::set<uint16_t> kRefusals = {TWCC_BADVALUE, TWCC_CAPBADOPERATION,
                                                   TWCC_BADPROTOCOL, TWCC_CAPUNSUPPORTED};
      if (!kRefusals.count(a.cc)) Fault("capability", where + ": refused with " + Code(a));
      if (!outside && kind != kWrongType && kind != kContainer && kind != kSame)
        Fault("in-range-refused", where + ": an advertised value refused, " + Code(a));
      return;
    }
    touched_.insert(cap);
    if (kind == kWrongType && a.rc == TWRC_SUCCESS)
      Fault("wrong-type-accepted", where + ": taken with TWRC_SUCCESS");
    if (outside && a.rc == TWRC_SUCCESS) {
      const std::string k = type == TWTY_FRAME ? "out-of-range-frame"
                            : (cap == ICAP_XRESOLUTION || cap == ICAP_YRESOLUTION)
                                ? "out-of-range-resolution"
                                : "out-of-range-accepted";
      Fault(k, where + ": taken with TWRC_SUCCESS");
    }
    if (kind != kWrongType && kind != kContainer) CheckReadBack(cap, value, a);
    CheckLayoutAgrees();
  }

  void Negotiate() {
    for (uint32_t i = 0; i < plan_.negotiations; ++i) NegotiateOnce();
    // What the negotiation changed answers MSG_RESET (the stored settings stay: SetScan sets
    // what the scan needs).
    for (uint16_t cap : touched_) {
      if (RefusedByDesign(cap, MSG_RESET)) continue;
      const auto reset = Timed("MSG_RESET", [&] { return host_->Capability(MSG_RESET, cap); });
      if (!reset.ok()) Fault("capability", Hex(cap) + " MSG_RESET: " + Code(reset));
    }
    touched_.clear();
  }

  // ---- the scan ----

  bool Set(const char* name, uint16_t cap, const Container& value) {
    const Answer a = Timed("MSG_SET", [&] { return host_->SetCapability(cap, value); });
    if (a.rc == TWRC_SUCCESS || a.rc == TWRC_CHECKSTATUS) return true;
    Fault("scan-setting", std::string(name) + " refused: " + Code(a));
    return false;
  }

  bool SetScan() {
    const uint16_t mech = plan_.mechanism == Mechanism::kNative   ? TWSX_NATIVE
                          : plan_.mechanism == Mechanism::kMemory ? TWSX_MEMORY
                                                                  : TWSX_FILE;
    bool ok =
        Set("ICAP_UNITS", ICAP_UNITS, Container::OneValue(TWTY_UINT16, TWUN_INCHES)) &&
        Set("ICAP_XFERMECH", ICAP_XFERMECH, Container::OneValue(TWTY_UINT16, mech)) &&
        Set("ICAP_PIXELTYPE", ICAP_PIXELTYPE, Container::OneValue(TWTY_UINT16, plan_.pixelType)) &&
        Set("ICAP_XRESOLUTION", ICAP_XRESOLUTION, Container::OneFix32(plan_.resolution)) &&
        Set("ICAP_YRESOLUTION", ICAP_YRESOLUTION, Container::OneFix32(plan_.resolution)) &&
        Set("CAP_DUPLEXENABLED", CAP_DUPLEXENABLED, Container::OneValue(TWTY_BOOL, plan_.duplex)) &&
        Set("ICAP_FRAMES", ICAP_FRAMES, Container::OneFrame(0, 0, plan_.width, plan_.height)) &&
        Set("ICAP_AUTOMATICBORDERDETECTION", ICAP_AUTOMATICBORDERDETECTION,
            Container::OneValue(TWTY_BOOL, plan_.crop));
    // What a negotiation may have left in the stored settings.
    ok = ok &&
         Set("CAP_XFERCOUNT", CAP_XFERCOUNT,
             Container::OneValue(TWTY_INT16, uint32_t(int32_t(plan_.xferCount)))) &&
         Set("ICAP_BRIGHTNESS", ICAP_BRIGHTNESS, Container::OneFix32(0)) &&
         Set("ICAP_CONTRAST", ICAP_CONTRAST, Container::OneFix32(0)) &&
         Set("CAP_FEEDERENABLED", CAP_FEEDERENABLED, Container::OneValue(TWTY_BOOL, 1));
    if (ok) CheckLayoutAgrees();
    return ok;
  }

  sim::SimScanner& Scanner() { return *sim::LoadedScanner(0); }

  // The feeder and the condition the scanner meets on one of its sheets.
  void LoadFeeder() {
    sim::SimScanner& s = Scanner();
    s.ClearSheetEvents();
    const uint32_t first = s.Scanned().sheetsFed + 1;
    s.LoadSheets(plan_.condition == Condition::kEmptyFeeder ? 0 : plan_.sheets);
    sim::SheetEvent e;
    e.sheet = first + plan_.conditionSheet - 1;
    e.side = plan_.duplex && rng_.Chance(50) ? 1 : 0;
    e.offset = 64;
    switch (plan_.condition) {
      case Condition::kJam:
        e.kind = sim::SheetEventKind::Jam;
        break;
      case Condition::kDoubleFeed:
        e.kind = sim::SheetEventKind::MultiFeed;
        break;
      case Condition::kCoverOpen:
        e.kind = sim::SheetEventKind::CoverOpen;
        break;
      case Condition::kBlankPage:
        e.kind = sim::SheetEventKind::BlankPage;
        e.offset = 0;
        break;
      default:
        return;
    }
    s.AddSheetEvent(e);
  }

  // The source's messages so far; one that came while a call of the application was inside
  // DS_Entry would have reached the application's callback from inside its own call.
  std::deque<twainhost::ManagerMessage> TakeMessages() {
    std::deque<twainhost::ManagerMessage> messages = host_->TakeMessages();
    for (const twainhost::ManagerMessage& m : messages) {
      if (m.duringCall) {
        Fault("callback-inside-call",
              "message " + Hex(m.message) + " while a call of the application was inside");
      }
    }
    return messages;
  }

  bool WaitForReady() {
    const auto deadline = std::chrono::steady_clock::now() + kReadyWait;
    for (;;) {
      for (const twainhost::ManagerMessage& m : TakeMessages()) {
        if (m.message == MSG_XFERREADY) return true;
        if (m.message == MSG_CLOSEDSREQ) closeRequested_ = true;
      }
      if (closeRequested_ || std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(kReadyPoll);  // the application's message loop
    }
  }

  struct Taken {
    twainhost::ImageInfo info;
    std::vector<uint8_t> rows;  // packed, top first
    bool whole = false;
  };

  uint16_t Transfer(uint32_t index, Taken* t) {
    twainhost::Host& h = *host_;
    switch (plan_.mechanism) {
      case Mechanism::kNative: {
        auto block = Timed("DAT_IMAGENATIVEXFER", [&] { return h.NativeXfer(); });
        if (block.rc == TWRC_XFERDONE) Decode(block.value, t);
        lastCc_ = block.cc;
        return block.rc;
      }
      case Mechanism::kFile: {
        const fs::path file =
            bundle_.parent_path() /
            ("image-" + std::to_string(index) + (plan_.fileFormat == TWFF_TIFF ? ".tif" : ".bmp"));
        std::error_code ignored;
        fs::remove(file, ignored);
        const auto setup = Timed("DAT_SETUPFILEXFER", [&] {
          return h.SetupFile(MSG_SET, {file.string(), plan_.fileFormat, 0});
        });
        if (!setup.ok()) {
          Fault("file", "DAT_SETUPFILEXFER MSG_SET: " + Code(setup));
          return TWRC_FAILURE;
        }
        const Answer a = Timed("DAT_IMAGEFILEXFER", [&] { return h.FileXfer(); });
        lastCc_ = a.cc;
        if (a.rc == TWRC_XFERDONE) {
          imageio::DecodedImage decoded;
          if (!imageio::readImageFile(file, decoded).ok()) {
            Fault("file", "the file the source wrote does not read: " + file.string());
          } else {
            Unpack(decoded, t);
          }
          fs::remove(file, ignored);
        }
        return a.rc;
      }
      case Mechanism::kMemory:
        return MemoryTransfer(index, t);
    }
    return TWRC_FAILURE;
  }

  void Decode(const std::vector<uint8_t>& bytes, Taken* t) {
    imageio::DecodedImage decoded;
    if (!imageio::decodeImage(bytes, decoded).ok()) {
      Fault("native", "the native block does not decode");
      return;
    }
    Unpack(decoded, t);
  }

  void Unpack(const imageio::DecodedImage& decoded, Taken* t) {
    const auto& l = decoded.raster.layout;
    if (int32_t(l.width) != t->info.width || int32_t(l.height) != t->info.length)
      Fault("image-size", "the image is " + std::to_string(l.width) + "x" +
                              std::to_string(l.height) + ", DAT_IMAGEINFO said " +
                              std::to_string(t->info.width) + "x" + std::to_string(t->info.length));
    const size_t rowBytes = l.packedRowBytes();
    for (uint32_t y = 0; y < l.height; ++y)
      t->rows.insert(t->rows.end(), decoded.raster.row(y), decoded.raster.row(y) + rowBytes);
    t->whole = true;
  }

  uint16_t MemoryTransfer(uint32_t index, Taken* t) {
    twainhost::Host& h = *host_;
    const auto setup = Timed("DAT_SETUPMEMXFER", [&] { return h.GetSetupMemXfer(); });
    if (!setup.ok()) {
      Fault("memory", "DAT_SETUPMEMXFER: " + Code(setup));
      return TWRC_FAILURE;
    }
    const auto& s = setup.value;
    if (s.minBufSize == 0 || s.minBufSize > s.preferred || s.preferred > s.maxBufSize)
      Fault("memory", "DAT_SETUPMEMXFER min " + std::to_string(s.minBufSize) + " preferred " +
                          std::to_string(s.preferred) + " max " + std::to_string(s.maxBufSize));
    uint32_t buffer = plan_.buffer == 0 ? s.preferred : plan_.buffer;
    buffer = std::clamp(buffer, s.minBufSize, std::max(s.minBufSize, s.maxBufSize));
    const uint32_t rowBytes = PackedRowBytes(t->info.width, t->info.bitsPerPixel);
    uint32_t nextRow = 0;
    for (uint32_t strips = 0;; ++strips) {
      auto strip = Timed("DAT_IMAGEMEMXFER", [&] { return h.MemXfer(buffer, plan_.asHandle); });
      lastCc_ = strip.cc;
      if (strip.rc != TWRC_SUCCESS && strip.rc != TWRC_XFERDONE) return strip.rc;
      state_ = 7;
      const twainhost::MemoryStrip& m = strip.value;
      if (m.bytesPerRow < rowBytes || uint64_t(m.bytesPerRow) * m.rows > buffer ||
          m.bytesWritten != m.bytesPerRow * m.rows || m.yOffset != nextRow ||
          int32_t(m.columns) != t->info.width) {
        Fault("memory-strip", "strip " + std::to_string(strips) + ": " + std::to_string(m.rows) +
                                  " rows of " + std::to_string(m.bytesPerRow) + " bytes at row " +
                                  std::to_string(m.yOffset) + ", " + std::to_string(m.columns) +
                                  " columns, " + std::to_string(m.bytesWritten) +
                                  " bytes written in a buffer of " + std::to_string(buffer));
        return TWRC_FAILURE;
      }
      for (uint32_t r = 0; r < m.rows; ++r)
        t->rows.insert(t->rows.end(), m.data.begin() + size_t(r) * m.bytesPerRow,
                       m.data.begin() + size_t(r) * m.bytesPerRow + rowBytes);
      nextRow += m.rows;
      if (strip.rc == TWRC_XFERDONE) {
        t->whole = true;
        return TWRC_XFERDONE;
      }
      if (plan_.cancel == Cancel::kEndAfterStrip && index == plan_.cancelImage)
        return TWRC_SUCCESS;  // abandoned after its first strip
    }
  }

  // The description against what was negotiated.
  void CheckInfo(const twainhost::ImageInfo& info) {
    const std::string where = "image " + std::to_string(images_ + 1) + ": ";
    if (info.pixelType != int16_t(plan_.pixelType) || info.bitsPerPixel != BitsOf(plan_.pixelType))
      Fault("image-info", where + "pixel type " + std::to_string(info.pixelType) + " of " +
                              std::to_string(info.bitsPerPixel) + " bits, negotiated " +
                              std::to_string(plan_.pixelType));
    if (std::fabs(info.xResolution - plan_.resolution) > 0.01 ||
        std::fabs(info.yResolution - plan_.resolution) > 0.01)
      Fault("image-info", where + "resolution " + std::to_string(info.xResolution) + " x " +
                              std::to_string(info.yResolution));
    if (info.width <= 0 || info.length <= 0) {
      Fault("image-info", where + "an empty image described");
      return;
    }
    if (plan_.crop) return;
    const int32_t w = int32_t(std::lround(plan_.width * plan_.resolution));
    const int32_t l = int32_t(std::lround(plan_.height * plan_.resolution));
    // The width comes down to the scanner's pixel alignment.
    if (info.width > w + kPixelSlack || info.width < w - kWidthAlignment ||
        std::abs(info.length - l) > kPixelSlack)
      Fault("image-info", where + std::to_string(info.width) + "x" + std::to_string(info.length) +
                              " pixels for a frame of " + std::to_string(w) + "x" +
                              std::to_string(l));
  }

  // The rows against the description, and against what the simulated sheets hold: every side
  // is a pattern that changes from row to row and from sheet to sheet, so an image of one value
  // (a page lost to white) or the same rows as the image before (a page delivered twice) is not
  // what was scanned.
  void CheckRows(const Taken& t) {
    const std::string where = "image " + std::to_string(images_ + 1) + ": ";
    const uint32_t rowBytes = PackedRowBytes(t.info.width, t.info.bitsPerPixel);
    if (t.rows.size() != size_t(rowBytes) * uint32_t(t.info.length)) {
      Fault("image-size", where + std::to_string(t.rows.size()) + " bytes for " +
                              std::to_string(t.info.length) + " rows of " +
                              std::to_string(rowBytes));
      return;
    }
    if (plan_.condition != Condition::kNone || t.rows.empty()) return;
    const bool uniform =
        std::all_of(t.rows.begin(), t.rows.end(), [&](uint8_t b) { return b == t.rows.front(); });
    if (uniform)
      Fault(plan_.crop ? "shared-image-record" : "image-blank",
            where + "every byte is " + std::to_string(t.rows.front()));
    if (!uniform && t.rows == lastRows_)
      Fault("image-repeated", where + "the same rows as the image before");
    lastRows_ = t.rows;
  }

  // Back to state 4 from wherever a surprise left the walk.
  void Recover() {
    twainhost::Host& h = *host_;
    if (state_ == 7) {
      const auto end = Timed("MSG_ENDXFER", [&] { return h.PendingXfers(MSG_ENDXFER); });
      state_ = end.ok() && end.value != 0 ? 6 : 5;
    }
    if (state_ == 6) {
      Timed("MSG_RESET", [&] { return Answer(h.PendingXfers(MSG_RESET)); });
      state_ = 5;
    }
    if (state_ == 5) {
      const Answer off = Timed("MSG_DISABLEDS", [&] { return h.DisableDs(); });
      if (!off.ok()) Fault("state-table", "MSG_DISABLEDS in state 5: " + Code(off));
      state_ = 4;
    }
  }

  void Batch() {
    twainhost::Host& h = *host_;
    LoadFeeder();
    const size_t threadsBefore = testsupport::threadCount();
    const std::string namesBefore = testsupport::threadNames();
    closeRequested_ = false;
    const Answer enabled = Timed("MSG_ENABLEDS", [&] { return h.EnableDs(plan_.showUi); });
    const bool empty = plan_.condition == Condition::kEmptyFeeder;
    if (!enabled.ok()) {
      if (empty && !plan_.showUi) {
        if (enabled.cc != kNoMedia)
          Fault(enabled.cc == TWCC_SEQERROR ? "empty-feeder-code" : "device-condition-code",
                "an empty feeder at MSG_ENABLEDS: " + Code(enabled));
      } else {
        Fault("enable", "MSG_ENABLEDS: " + Code(enabled));
      }
      CheckThreads(threadsBefore, namesBefore, "a refused enable");
      return;
    }
    state_ = 5;
    if (!WaitForReady()) {
      if (!empty) Fault("enable", "no MSG_XFERREADY after MSG_ENABLEDS");
      Recover();
      CheckThreads(threadsBefore, namesBefore, "a disable");
      return;
    }
    state_ = 6;
    const uint32_t sides = plan_.duplex ? 2 : 1;
    uint32_t index = 0;
    bool failed = false;
    // A device condition or the dialog's record (with the interface) leaves the count open.
    const bool condition = plan_.condition != Condition::kNone || plan_.showUi;
    while (state_ == 6 && index < 64) {
      Probe();
      if (state_ != 6) break;
      if (plan_.cancel != Cancel::kNone && index == plan_.cancelImage &&
          (plan_.cancel == Cancel::kResetAtReady || plan_.cancel == Cancel::kDisableAtReady)) {
        const auto reset = Timed("MSG_RESET", [&] { return h.PendingXfers(MSG_RESET); });
        if (!reset.ok() || reset.value != 0)
          Fault("state-table",
                "MSG_RESET in state 6: " + Code(reset) + " count " + std::to_string(reset.value));
        state_ = 5;
        break;
      }
      Taken t;
      const auto info = Timed("DAT_IMAGEINFO", [&] { return h.GetImageInfo(); });
      if (!info.ok()) {
        if (!condition) Fault("image-info", "DAT_IMAGEINFO: " + Code(info));
        CheckConditionCode("DAT_IMAGEINFO", info);
        failed = true;
        break;
      }
      t.info = info.value;
      // With the interface the dialog's record rules the scan, not the negotiation.
      if (!condition && !plan_.showUi) CheckInfo(t.info);
      if (int32_t(index) == plan_.skipImage) {
        const auto end = Timed("MSG_ENDXFER", [&] { return h.PendingXfers(MSG_ENDXFER); });
        ++index;
        const bool more = index < plan_.sheets * sides &&
                          (plan_.xferCount < 0 || index < uint32_t(plan_.xferCount));
        if (!end.ok()) {
          Fault("state-table", "MSG_ENDXFER in state 6: " + Code(end));
          state_ = 5;
        } else {
          state_ = end.value != 0 ? 6 : 5;
          if (more && end.value == 0 && !condition)
            Fault("skip-ends-batch", "MSG_ENDXFER in state 6 at image " + std::to_string(index) +
                                         " answered Count 0 with images to come");
        }
        continue;
      }
      lastCc_ = TWCC_SUCCESS;
      const uint16_t rc = Transfer(index, &t);
      if (rc == TWRC_XFERDONE || rc == TWRC_SUCCESS) state_ = 7;
      if (rc != TWRC_XFERDONE && !(rc == TWRC_SUCCESS && plan_.cancel == Cancel::kEndAfterStrip)) {
        if (!condition)
          Fault("transfer", "image " + std::to_string(index + 1) + ": rc " + std::to_string(rc));
        failed = true;
        Answer failure;
        failure.rc = rc;
        failure.cc = lastCc_;
        CheckConditionCode("the transfer", failure);
        if (rc == TWRC_CANCEL) state_ = 7;
        // A failed transfer leaves state 6 or 7 as the source says; end it as an application does.
        const auto end = Timed("MSG_ENDXFER", [&] { return h.PendingXfers(MSG_ENDXFER); });
        state_ = end.ok() && end.value != 0 ? 6 : 5;
        if (!end.ok()) state_ = 6;
        break;
      }
      if (t.whole) {
        CheckRows(t);
        ++images_;
        ++out_.images;
      }
      if (plan_.probes && state_ == 7) Probe();
      if (plan_.cancel == Cancel::kResetInTransfer && index == plan_.cancelImage) {
        const auto reset = Timed("MSG_RESET", [&] { return h.PendingXfers(MSG_RESET); });
        if (reset.ok()) {
          state_ = 5;
          break;
        }
        if (reset.cc != TWCC_SEQERROR) Fault("state-table", "MSG_RESET in state 7: " + Code(reset));
      }
      const auto end = Timed("MSG_ENDXFER", [&] { return h.PendingXfers(MSG_ENDXFER); });
      ++index;
      if (!end.ok()) {
        Fault("state-table", "MSG_ENDXFER in state 7: " + Code(end));
        break;
      }
      state_ = end.value != 0 ? 6 : 5;
      const bool more = index < plan_.sheets * sides &&
                        (plan_.xferCount < 0 || index < uint32_t(plan_.xferCount));
      if (!condition && plan_.cancel == Cancel::kEndAfterStrip && index - 1 == plan_.cancelImage &&
          more && end.value == 0)
        Fault("skip-ends-batch", "MSG_ENDXFER after one strip of image " + std::to_string(index) +
                                     " answered Count 0 with images to come");
      else if (!condition && more && end.value == 0)
        Fault("batch-short", "MSG_ENDXFER answered Count 0 after " + std::to_string(index) +
                                 " of " + std::to_string(plan_.sheets * sides) + " images");
      if (!condition && !more && end.value != 0)
        Fault(plan_.xferCount > 0 ? "xfercount-ignored" : "batch-long",
              "MSG_ENDXFER answered Count " + std::to_string(end.value) + " after " +
                  std::to_string(index) + " images");
      if (!more && end.value != 0) {
        Timed("MSG_RESET", [&] { return Answer(h.PendingXfers(MSG_RESET)); });
        state_ = 5;
      }
    }
    if (failed && state_ != 4 && state_ != 5) Recover();
    if (state_ == 6 || state_ == 7) Recover();
    if (state_ == 5) {
      const Answer off = Timed("MSG_DISABLEDS", [&] { return h.DisableDs(); });
      if (!off.ok()) Fault("state-table", "MSG_DISABLEDS in state 5: " + Code(off));
      state_ = 4;
    }
    CheckThreads(threadsBefore, namesBefore, "a disable");
    TakeMessages();
  }

  // A call that fails on what the scanner met answers TWAIN's condition for it, never a memory
  // error.
  void CheckConditionCode(const char* call, const Answer& a) {
    if (a.cc == TWCC_LOWMEMORY) Fault("low-memory", std::string(call) + ": " + Code(a));
    const uint16_t want = plan_.condition == Condition::kJam          ? TWCC_PAPERJAM
                          : plan_.condition == Condition::kDoubleFeed ? TWCC_PAPERDOUBLEFEED
                          : plan_.condition == Condition::kCoverOpen  ? kInterlock
                                                                      : TWCC_SUCCESS;
    if (want != TWCC_SUCCESS && a.rc == TWRC_FAILURE && a.cc != want)
      Fault("device-condition-code", std::string(call) + " on a " + Name(plan_.condition) + ": " +
                                         Code(a) + ", not " + std::to_string(want));
  }

  void CheckThreads(size_t before, const std::string& namesBefore, const char* after) {
    const size_t now = testsupport::threadCount();
    if (now > before)
      Fault("thread-left", std::to_string(now - before) + " thread(s) left after " + after + ": [" +
                               testsupport::threadNames() + "] were [" + namesBefore + "]");
  }

  void Close() {
    if (!host_) return;
    if (state_ > 4) Recover();
    if (state_ == 4) {
      const Answer closed = Timed("MSG_CLOSEDS", [&] { return host_->CloseSource(); });
      if (!closed.ok()) Fault("close", "MSG_CLOSEDS: " + Code(closed));
      state_ = 3;
    }
    for (const std::string& f : host_->faults()) Fault("host", f);
    if (host_->liveBlocks() != 0)
      Fault("host", std::to_string(host_->liveBlocks()) + " block(s) of the manager not freed");
    host_.reset();
  }

  // The next session in the process opens and scans a sheet.
  void Reopen() {
    Plan again = plan_;
    again.sheets = 1;
    again.duplex = false;
    again.condition = Condition::kNone;
    again.cancel = Cancel::kNone;
    again.skipImage = -1;
    again.xferCount = -1;
    again.probes = false;
    const Plan saved = plan_;
    plan_ = again;
    images_ = 0;
    if (Open() && SetScan()) Batch();
    Close();
    plan_ = saved;
  }

  Plan plan_;
  fs::path bundle_;
  Outcome& out_;
  Rng rng_;
  std::unique_ptr<twainhost::Host> host_;
  int state_ = 3;
  uint32_t images_ = 0;
  bool closeRequested_ = false;
  std::vector<uint16_t> caps_;
  std::set<uint16_t> touched_;
  std::vector<uint8_t> lastRows_;
  uint16_t lastCc_ = TWCC_SUCCESS;
};

}  // namespace

const std::vector<KnownOpen>& KnownOpenClasses() { return kKnownOpen; }

bool IsKnownOpen(const std::string& kind) {
  for (const KnownOpen& k : kKnownOpen)
    if (kind == k.kind) return true;
  return false;
}

std::string ReproduceLine(uint64_t seed) {
  return "scripts/explore twain --seed " + std::to_string(seed);
}

std::string Outcome::Describe() const {
  std::string text = plan.Describe() + "\n";
  for (const Finding& f : findings) text += "  [" + f.kind + "] " + f.what + "\n";
  for (const Finding& f : known) text += "  (known open: " + f.kind + ") " + f.what + "\n";
  if (!findings.empty()) text += "  replay: " + ReproduceLine(plan.seed) + "\n";
  return text;
}

Explorer::Explorer(const fs::path& bundle, const fs::path& folder) {
  fs::create_directories(folder / "DrvLog");
  setenv("VANTREL_LOG_ROOT", (folder / "DrvLog").c_str(), 1);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  // An enable with the interface takes the headless dialog, whose user presses Scan.
  const fs::path script = folder / "user.txt";
  std::FILE* file = std::fopen(script.c_str(), "w");
  if (file != nullptr) {
    std::fputs("action scan\n", file);
    std::fclose(file);
  }
  setenv("FERROLITE_UI_SCRIPT", script.c_str(), 1);
  std::string error;
  const std::string copy = twainhost::CopyBundle(bundle.string(), folder.string(), &error);
  if (copy.empty()) {
    std::fprintf(stderr, "explore: cannot copy the bundle: %s\n", error.c_str());
    return;
  }
  bundle_ = copy;
  dstest::useSimulatedScanner(bundle_ / "Resources");
  Bound();  // the watcher starts before any count of threads
}

Explorer::~Explorer() = default;

Outcome Explorer::Run(uint64_t seed, bool holdBack) {
  Outcome out;
  out.plan = Draw(seed);
  if (bundle_.empty()) {
    out.findings.push_back({"setup", "no bundle"});
    return out;
  }
  // The crop on the scan thread races the host's image steps (a sanitizer stops the process).
  if (holdBack && IsKnownOpen("shared-image-record") && out.plan.crop) {
    out.heldBack = "shared-image-record";
    return out;
  }
  Session(out.plan, bundle_, out).Run();
  return out;
}

}  // namespace explore
