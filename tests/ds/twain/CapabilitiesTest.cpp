// DAT_CAPABILITY through the host core: every capability with every message in every state, the
// negotiation's rules, the write-through into the settings and the refusal of malformed
// containers.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "CapabilityFixture.h"
#include "ds/twain/Capabilities.h"

namespace {

using dstest::gSource;
using twainhost::Container;

constexpr const char* kBadCap = "FAIL 6";
constexpr const char* kSeqError = "FAIL 11";
constexpr const char* kBadProtocol = "FAIL 9";
constexpr const char* kBadValue = "FAIL 10";
constexpr const char* kOk = "OK";

std::string Result(const twainhost::Answer& a) {
  return a.ok() ? kOk : "FAIL " + std::to_string(a.cc);
}

// A set and what MSG_GETCURRENT answers after it.
struct SetCase {
  Container value;
  const char* result;
  const char* after;
};

class Capabilities : public dstest::CapabilityTest {
 protected:
  void ExpectSets(uint16_t cap, const std::vector<SetCase>& cases) {
    for (size_t i = 0; i < cases.size(); ++i) {
      SCOPED_TRACE("case " + std::to_string(i));
      EXPECT_EQ(Result(host.SetCapability(cap, cases[i].value)), cases[i].result);
      EXPECT_EQ(Ask(MSG_GETCURRENT, cap), cases[i].after);
    }
  }
};

// The answers of a fresh source in state 40 (the default settings: black-and-white simplex, 200
// dpi, automatic paper size over the whole feeder).
struct CapRow {
  uint16_t cap;
  const char* get;
  const char* current;
  const char* def;
  const char* reset;
  Container set;  // a value the capability takes, or one it refuses with `setResult`
  const char* setResult;
};

std::vector<CapRow> CapTable() {
  const Container oneBool = Container::OneValue(TWTY_BOOL, 1);
  const Container oneU16 = Container::OneValue(TWTY_UINT16, 0);
  return {
      {CAP_SUPPORTEDCAPS,
       "ARRAY UINT16 [4101 1 4110 4111 4099 4098 4114 4115 4107 259 256 257 258 4376 4377 4401 "
       "4400 4369 4370 4380 4383 4384 4395 4353 4355 4372 4386 4432 37445 4407 4415 4364]",
       kBadCap, kBadCap, kBadCap, oneU16, kBadCap},
      {CAP_XFERCOUNT, "ONE INT16 -1", "ONE INT16 -1", "ONE INT16 -1", "ONE INT16 1",
       Container::OneValue(TWTY_INT16, 3), kOk},
      {CAP_UICONTROLLABLE, "ONE BOOL 1", kBadCap, kBadCap, kBadCap, oneBool, kBadCap},
      {CAP_DEVICEONLINE, "ONE BOOL 1", "ONE BOOL 1", kBadCap, kBadCap, oneBool, kBadCap},
      {CAP_FEEDERLOADED, "ONE BOOL 0", "ONE BOOL 0", "ONE BOOL 0", kBadCap, oneBool, kBadCap},
      {CAP_FEEDERENABLED, "ONE BOOL 1", "ONE BOOL 1", "ONE BOOL 1", kBadCap, oneBool, kOk},
      {CAP_DUPLEX, "ONE UINT16 1", "ONE UINT16 1", "ONE UINT16 1", kBadCap, oneU16, kBadCap},
      {CAP_DUPLEXENABLED, "ONE BOOL 0", "ONE BOOL 0", "ONE BOOL 0", kBadCap, oneBool, kOk},
      {CAP_INDICATORS, "ONE BOOL 1", "ONE BOOL 1", "ONE BOOL 1", "ONE BOOL 1",
       Container::OneValue(TWTY_BOOL, 0), kOk},
      {ICAP_XFERMECH, "ENUM UINT16 0 0 [0 1 2]", "ONE UINT16 0", "ONE UINT16 0", "ONE UINT16 0",
       Container::OneValue(TWTY_UINT16, 2), kOk},
      {ICAP_COMPRESSION, "ONE UINT16 0", "ONE UINT16 0", "ONE UINT16 0", "ONE UINT16 0",
       Container::OneValue(TWTY_UINT16, 1), kBadValue},
      {ICAP_PIXELTYPE, "ENUM UINT16 0 0 [0 1 2]", "ONE UINT16 0", "ONE UINT16 0", "ONE UINT16 0",
       Container::OneValue(TWTY_UINT16, 1), kOk},
      {ICAP_UNITS, "ONE UINT16 0", "ONE UINT16 0", "ONE UINT16 0", "ONE UINT16 0",
       Container::OneValue(TWTY_UINT16, 1), kBadValue},
      {ICAP_XRESOLUTION, "RANGE FIX32 72 600 1 200 200", "ONE FIX32 200", "ONE FIX32 200",
       "RANGE FIX32 72 600 1 200 200", Container::OneFix32(300), kOk},
      {ICAP_YRESOLUTION, "RANGE FIX32 72 600 1 200 200", "ONE FIX32 200", "ONE FIX32 200",
       "RANGE FIX32 72 600 1 200 200", Container::OneFix32(300), kOk},
      {ICAP_MINIMUMWIDTH, "ONE FIX32 0.5", "ONE FIX32 0.5", "ONE FIX32 0.5", "ONE FIX32 0.5",
       Container::OneFix32(1), kBadCap},
      {ICAP_MINIMUMHEIGHT, "ONE FIX32 1", "ONE FIX32 1", "ONE FIX32 1", "ONE FIX32 1",
       Container::OneFix32(1), kBadCap},
      {ICAP_PHYSICALWIDTH, "ONE FIX32 8.5", "ONE FIX32 8.5", "ONE FIX32 8.5", "ONE FIX32 8.5",
       Container::OneFix32(1), kBadCap},
      {ICAP_PHYSICALHEIGHT, "ONE FIX32 14", "ONE FIX32 14", "ONE FIX32 14", "ONE FIX32 14",
       Container::OneFix32(1), kBadCap},
      {ICAP_BITORDER, "ONE UINT16 1", "ONE UINT16 1", "ONE UINT16 1", "ONE UINT16 1", oneU16,
       kBadCap},
      {ICAP_PIXELFLAVOR, "ONE UINT16 0", "ONE UINT16 0", "ONE UINT16 0", "ONE UINT16 0",
       Container::OneValue(TWTY_UINT16, 1), kOk},
      {ICAP_PLANARCHUNKY, "ONE UINT16 0", "ONE UINT16 0", "ONE UINT16 0", kBadCap, oneU16, kBadCap},
      {ICAP_BITDEPTH, "ENUM UINT16 0 0 [1 8 24]", "ONE UINT16 1", "ONE UINT16 1", kBadCap,
       Container::OneValue(TWTY_UINT16, 8), kOk},
      {ICAP_BRIGHTNESS, "RANGE FIX32 -1000 1000 10 0 0", "ONE FIX32 0", "ONE FIX32 0",
       "RANGE FIX32 -1000 1000 10 0 0", Container::OneFix32(-500), kOk},
      {ICAP_CONTRAST, "RANGE FIX32 -1000 1000 10 0 0", "ONE FIX32 0", "ONE FIX32 0",
       "RANGE FIX32 -1000 1000 10 0 0", Container::OneFix32(1010), kBadValue},
      {ICAP_FRAMES, "ONE FRAME 0 0 8.5 14", "ONE FRAME 0 0 8.5 14", "ONE FRAME 0 0 8.5 14",
       "ONE FRAME 0 0 8.5 14", Container::OneFrame(0, 0, 8.5, 11), kOk},
      {ICAP_SUPPORTEDSIZES, "ENUM UINT16 0 3 [0 4 3 1 5 13 22 29 7 30 2 39 54]", "ONE UINT16 0",
       "ONE UINT16 1", "ONE UINT16 1", Container::OneValue(TWTY_UINT16, TWSS_A3), kBadValue},
      {ICAP_AUTOMATICBORDERDETECTION, "ONE BOOL 1", "ONE BOOL 1", "ONE BOOL 1", "ONE BOOL 1",
       Container::OneValue(TWTY_BOOL, 0), kOk},
      {CAP_KRMULTISTREAM, "ONE UINT16 1", "ONE UINT16 1", "ONE UINT16 1", "ONE UINT16 1",
       Container::OneValue(TWTY_UINT16, 0x0C), kOk},
      {ICAP_BARCODEDETECTIONENABLED, "ONE BOOL 0", "ONE BOOL 0", "ONE BOOL 0", "ONE BOOL 0",
       oneBool, kOk},
      {ICAP_PATCHCODEDETECTIONENABLED, "ONE BOOL 0", "ONE BOOL 0", "ONE BOOL 0", "ONE BOOL 0",
       oneBool, kOk},
      {ICAP_IMAGEFILEFORMAT, "ENUM UINT16 0 0 [0 2 4 7]", "ONE UINT16 0", "ONE UINT16 0",
       "ONE UINT16 0", Container::OneValue(TWTY_UINT16, TWFF_PNG), kOk},
  };
}

TEST_F(Capabilities, EveryCapabilityEveryMessageEveryState) {
  Open();
  const std::vector<CapRow> table = CapTable();
  ASSERT_EQ(table.size(), std::size(ferrolite::kSupportedCapabilities));
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].cap, ferrolite::kSupportedCapabilities[i]) << "row " << i;
  }
  for (const CapRow& row : table) {
    for (int16_t state : {35, 40, 50, 60}) {
      SCOPED_TRACE("capability " + std::to_string(row.cap) + " state " + std::to_string(state));
      const bool gets = state != 35, changes = state == 40;
      Fresh(state);
      EXPECT_EQ(Ask(MSG_GET, row.cap), gets ? row.get : kSeqError);
      Fresh(state);
      EXPECT_EQ(Ask(MSG_GETCURRENT, row.cap), gets ? row.current : kSeqError);
      Fresh(state);
      EXPECT_EQ(Ask(MSG_GETDEFAULT, row.cap), gets ? row.def : kSeqError);
      if (state == 60) continue;  // sets and resets are refused alike in 50 and later
      Fresh(state);
      EXPECT_EQ(Ask(MSG_RESET, row.cap), changes ? row.reset : kSeqError);
      Fresh(state);
      EXPECT_EQ(Result(host.SetCapability(row.cap, row.set)), changes ? row.setResult : kSeqError);
      // Another message is no protocol of this source; the state still comes first.
      Fresh(state);
      EXPECT_EQ(Ask(MSG_QUERYSUPPORT, row.cap), state == 35 ? kSeqError : kBadProtocol);
    }
  }
}

TEST_F(Capabilities, OtherCapabilitiesAreRefusedForEveryMessage) {
  OpenFresh();
  for (uint16_t cap :
       {uint16_t{0x0000}, uint16_t{0x1001}, uint16_t{0x1106}, uint16_t{0x9244}, uint16_t{0xFFFF}}) {
    SCOPED_TRACE(cap);
    for (uint16_t msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET}) {
      EXPECT_EQ(Ask(msg, cap), kBadCap) << msg;
    }
    EXPECT_EQ(Result(host.SetCapability(cap, Container::OneValue(TWTY_UINT16, 1))), kBadCap);
  }
}

TEST_F(Capabilities, APhotoshopHostGetsOneValueOfThePixelType) {
  OpenFresh();
  ASSERT_TRUE(host.SetCapability(ICAP_PIXELTYPE, Container::OneValue(TWTY_UINT16, 1)).ok());
  EXPECT_EQ(Ask(MSG_GET, ICAP_PIXELTYPE), "ENUM UINT16 1 0 [0 1 2]");
  gSource->pixelTypeContainerOneValue = true;
  EXPECT_EQ(Ask(MSG_GET, ICAP_PIXELTYPE), "ONE UINT16 1");
}

TEST_F(Capabilities, FramesSetTheAreaAndALongPage) {
  OpenFresh(35400);  // a 118-inch long-page limit
  ASSERT_TRUE(host.SetCapability(ICAP_FRAMES, Container::OneFrame(0, 0, 8.5, 11)).ok());
  const ferrolite::ScanSetting& s = gSource->scanSetting;
  EXPECT_EQ(s.bPaperSize, ferrolite::kPageCustom);
  EXPECT_EQ(s.wXPos, 0);
  EXPECT_EQ(s.wWidth, 2550);
  EXPECT_EQ(s.wLength, 3300);
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_FRAMES), "ONE FRAME 0 0 8.5 11");
  // The whole area reaches down to the long-page limit.
  EXPECT_EQ(Ask(MSG_GET, ICAP_FRAMES), "ONE FRAME 0 0 8.5 118");

  ASSERT_TRUE(host.SetCapability(ICAP_FRAMES, Container::OneFrame(0, 0, 8.5, 30)).ok());
  EXPECT_EQ(s.bPaperSize, ferrolite::kPageLong);
  EXPECT_EQ(s.wYPos, 0);
  EXPECT_EQ(s.dwLongWidth, 2550u);
  EXPECT_EQ(s.dwLongLength, 9000u);

  // A narrower area is centred on a feeder that centres its paper, not on the flatbed; a merged
  // source becomes the feeder.
  gSource->scanSetting.bScanSource = ferrolite::kSourceMergeTwoSides;
  ASSERT_TRUE(host.SetCapability(ICAP_FRAMES, Container::OneFrame(0, 1, 4, 5)).ok());
  EXPECT_EQ(s.bScanSource, ferrolite::kSourceFeeder);
  EXPECT_EQ(s.wXPos, (2550 - 1200) / 2);
  EXPECT_EQ(s.wYPos, 300);
  gSource->scanSetting.bScanSource = ferrolite::kSourceFlatbed;
  ASSERT_TRUE(host.SetCapability(ICAP_FRAMES, Container::OneFrame(0, 1, 4, 5)).ok());
  EXPECT_EQ(s.wXPos, 0);
  gSource->scanSetting.bScanSource = ferrolite::kSourceFeeder;
  gSource->adfAlignment = 1;
  ASSERT_TRUE(host.SetCapability(ICAP_FRAMES, Container::OneFrame(0, 1, 4, 5)).ok());
  EXPECT_EQ(s.wXPos, 0);
}

TEST_F(Capabilities, FramesOutsideTheScannerAreRefused) {
  OpenFresh(35400);
  const Container frames[] = {
      Container::OneFrame(-0.5, 0, 4, 4),     // left of 0
      Container::OneFrame(0, -1, 4, 4),       // above 0
      Container::OneFrame(4, 0, 4, 4),        // no width
      Container::OneFrame(0, 5, 4, 4),        // bottom above top
      Container::OneFrame(0, 0, 8.6, 4),      // wider than the feeder
      Container::OneFrame(0, 0, 8, 118.5),    // longer than the long page
      Container::OneFrame(0, 0, 0.01, 0.01),  // far below the minimum width and height
      Container::OneFrame(1, 0, 1.4, 4),      // narrower than ICAP_MINIMUMWIDTH
      Container::OneFrame(0, 2, 4, 2.9),      // shorter than ICAP_MINIMUMHEIGHT
  };
  for (const Container& frame : frames) {
    const ferrolite::ScanSetting before = gSource->scanSetting;
    const std::string current = Ask(MSG_GETCURRENT, ICAP_FRAMES);
    EXPECT_EQ(Result(host.SetCapability(ICAP_FRAMES, frame)), kBadValue);
    EXPECT_EQ(SettingsDiff(before, gSource->scanSetting), "");
    EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_FRAMES), current);
  }
  // The current frame of an enumeration of frames is taken.
  twainhost::Bytes two(32);
  two.setFix32(0, 0), two.setFix32(4, 0), two.setFix32(8, 1), two.setFix32(12, 1);
  two.setFix32(16, 1), two.setFix32(20, 2), two.setFix32(24, 5), two.setFix32(28, 7);
  Container enumeration = Container::Enumeration(TWTY_FRAME, {}, 1, 0);
  enumeration.items = two.vector();
  enumeration.numItems = 2;
  ASSERT_TRUE(host.SetCapability(ICAP_FRAMES, enumeration).ok());
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_FRAMES), "ONE FRAME 1 2 5 7");
}

TEST_F(Capabilities, ToneValuesAreCheckedAndGoToTheCurrentPixelType) {
  OpenFresh();
  const ferrolite::ScanSetting before = gSource->scanSetting;
  EXPECT_EQ(Result(host.SetCapability(ICAP_BRIGHTNESS, Container::OneFix32(1500))), kBadValue);
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_BRIGHTNESS), "ONE FIX32 0");
  EXPECT_EQ(SettingsDiff(before, gSource->scanSetting), "");
  // A range whose current value is outside is refused whole.
  EXPECT_EQ(Result(host.SetCapability(
                ICAP_BRIGHTNESS,
                Container::Range(TWTY_FIX32, twainhost::Fix32Word(-50), twainhost::Fix32Word(50),
                                 twainhost::Fix32Word(1), 0, twainhost::Fix32Word(-1001)))),
            kBadValue);
  EXPECT_EQ(Ask(MSG_GET, ICAP_BRIGHTNESS), "RANGE FIX32 -1000 1000 10 0 0");

  ASSERT_TRUE(host.SetCapability(ICAP_BRIGHTNESS, Container::OneFix32(-500)).ok());
  EXPECT_EQ(SettingsDiff(before, gSource->scanSetting),
            "FBinaryProcess=1 RBinaryProcess=1 FBBrightness=-50 RBBrightness=-50");
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_BRIGHTNESS), "ONE FIX32 -500");
  // The minimum travels as exactly -1000: Whole -1000, Frac 0.
  const auto range = host.Capability(MSG_GET, ICAP_BRIGHTNESS);
  EXPECT_EQ(range.value.min, 0x0000FC18u);
}

TEST_F(Capabilities, ThePixelTypeLeadsTheBitDepthAndDuplexTheImageType) {
  OpenFresh();
  ASSERT_TRUE(host.SetCapability(ICAP_PIXELTYPE, Container::OneValue(TWTY_UINT16, 2)).ok());
  ASSERT_TRUE(host.SetCapability(ICAP_BITDEPTH, Container::OneValue(TWTY_UINT16, 8)).ok());
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_PIXELTYPE), "ONE UINT16 2");
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_BITDEPTH), "ONE UINT16 24");
  EXPECT_EQ(gSource->scanSetting.wImageType, 0x10);
  // Later the depth leads the type again.
  ASSERT_TRUE(host.SetCapability(ICAP_BITDEPTH, Container::OneValue(TWTY_UINT16, 8)).ok());
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_PIXELTYPE), "ONE UINT16 1");
  EXPECT_EQ(gSource->scanSetting.wImageType, 0x04);

  ASSERT_TRUE(host.SetCapability(CAP_DUPLEXENABLED, Container::OneValue(TWTY_BOOL, 1)).ok());
  EXPECT_EQ(gSource->scanSetting.wImageType, 12);
  EXPECT_EQ(Ask(MSG_GETCURRENT, CAP_DUPLEXENABLED), "ONE BOOL 1");
  // An enumeration replaces the list; its current item is the new type.
  ASSERT_TRUE(
      host.SetCapability(ICAP_PIXELTYPE, Container::Enumeration(TWTY_UINT16, {0, 2}, 0, 1)).ok());
  EXPECT_EQ(Ask(MSG_GET, ICAP_PIXELTYPE), "ENUM UINT16 0 0 [0 2]");
  EXPECT_EQ(gSource->scanSetting.wImageType, 3);
}

TEST_F(Capabilities, ResetAnswersTheDefaultsAndLeavesTheSettings) {
  OpenFresh();
  ASSERT_TRUE(host.SetCapability(ICAP_XRESOLUTION, Container::OneFix32(300)).ok());
  const ferrolite::ScanSetting before = gSource->scanSetting;
  EXPECT_EQ(before.wColorRes, 300);
  EXPECT_EQ(Ask(MSG_RESET, ICAP_XRESOLUTION), "RANGE FIX32 72 600 1 200 200");
  EXPECT_EQ(SettingsDiff(before, gSource->scanSetting), "");
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_YRESOLUTION), "ONE FIX32 200");
}

TEST_F(Capabilities, TheTransferCountKeepsAValidValue) {
  OpenFresh();
  ExpectSets(CAP_XFERCOUNT,
             {
                 {Container::OneValue(TWTY_INT16, 5), kOk, "ONE INT16 5"},
                 {Container::OneValue(TWTY_INT16, 0), kBadValue, "ONE INT16 5"},
                 {Container::OneValue(TWTY_INT16, uint32_t(-2)), kBadValue, "ONE INT16 5"},
                 {Container::OneValue(TWTY_INT16, uint32_t(-1)), kOk, "ONE INT16 -1"},
                 {Container::OneValue(TWTY_INT32, 40000), kBadValue, "ONE INT16 -1"},
             });
  gSource->appAcrobat = true;
  EXPECT_TRUE(host.SetCapability(CAP_XFERCOUNT, Container::OneValue(TWTY_INT16, 7)).ok());
  EXPECT_EQ(Ask(MSG_GETCURRENT, CAP_XFERCOUNT), "ONE INT16 -1");
}

TEST_F(Capabilities, TheTransferMechanismTakesOneValueOrAnEnumeration) {
  OpenFresh();
  ExpectSets(
      ICAP_XFERMECH,
      {
          {Container::OneValue(TWTY_UINT16, 2), kOk, "ONE UINT16 2"},
          {Container::OneValue(TWTY_UINT16, 3), kBadValue, "ONE UINT16 2"},
          {Container::Enumeration(TWTY_UINT16, {0, 1, 2}, 1, 0), kOk, "ONE UINT16 1"},
          // A current index above 2 falls back to the default index.
          {Container::Enumeration(TWTY_UINT8, {0, 1, 1, 1, 1}, 4, 2), kOk, "ONE UINT16 1"},
          {Container::Enumeration(TWTY_UINT16, {2, 0, 0, 0}, 3, 0), kOk, "ONE UINT16 2"},
          {Container::Enumeration(TWTY_UINT16, {2, 0, 0, 0}, 3, 9), kBadValue, "ONE UINT16 2"},
          {Container::Enumeration(TWTY_UINT16, {7, 2}, 0, 1), kBadValue, "ONE UINT16 2"},
          {Container::Enumeration(TWTY_UINT32, {0, 1}, 0, 0), kBadValue, "ONE UINT16 2"},
          // Neither one value nor enumeration: refused, nothing stored.
          {Container::Array(TWTY_UINT16, {0}), kBadValue, "ONE UINT16 2"},
          {Container::Range(TWTY_UINT16, 0, 2, 1, 0, 0), kBadValue, "ONE UINT16 2"},
      });
}

TEST_F(Capabilities, SupportedSizesTakeOnlyTheOfferedCodes) {
  OpenFresh();
  const ferrolite::ScanSetting before = gSource->scanSetting;
  for (uint32_t refused : {uint32_t{TWSS_A3}, uint32_t{TWSS_JISB4}, uint32_t{TWSS_JISB7}, 99u}) {
    EXPECT_EQ(
        Result(host.SetCapability(ICAP_SUPPORTEDSIZES, Container::OneValue(TWTY_UINT16, refused))),
        kBadValue)
        << refused;
  }
  EXPECT_EQ(Result(host.SetCapability(ICAP_SUPPORTEDSIZES,
                                      Container::Enumeration(TWTY_UINT16, {1, 11}, 0, 0))),
            kBadValue);
  EXPECT_EQ(SettingsDiff(before, gSource->scanSetting), "");
  // Still the automatic area of the open: no standard size.
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_SUPPORTEDSIZES), "ONE UINT16 0");

  // A5 (page id 7, 1748 x 2480), centred on the feeder.
  ASSERT_TRUE(
      host.SetCapability(ICAP_SUPPORTEDSIZES, Container::OneValue(TWTY_UINT16, TWSS_A5)).ok());
  EXPECT_EQ(SettingsDiff(before, gSource->scanSetting),
            "PaperSize=7 XPos=401 Width=1748 Length=2480");
  ASSERT_TRUE(
      host.SetCapability(ICAP_SUPPORTEDSIZES, Container::OneValue(TWTY_UINT16, TWSS_MAXSIZE)).ok());
  EXPECT_EQ(SettingsDiff(before, gSource->scanSetting), "PaperSize=18");
  ferrolite::gPhysicalLongPaper = true;
  ASSERT_TRUE(
      host.SetCapability(ICAP_SUPPORTEDSIZES, Container::OneValue(TWTY_UINT16, TWSS_MAXSIZE)).ok());
  EXPECT_EQ(gSource->scanSetting.bPaperSize, ferrolite::kPageLong);
}

}  // namespace

namespace {

class MalformedContainers : public Capabilities {
 protected:
  // What the host can read of every capability.
  std::vector<std::string> Snapshot() {
    std::vector<std::string> answers;
    for (uint16_t cap : ferrolite::kSupportedCapabilities) {
      answers.push_back(Ask(MSG_GET, cap) + " | " + Ask(MSG_GETCURRENT, cap));
    }
    return answers;
  }
};

TEST_F(MalformedContainers, AreRefusedAndStoreNothing) {
  OpenFresh();
  using C = Container;
  auto repeat = [](uint32_t value, size_t n) { return std::vector<uint32_t>(n, value); };
  const std::vector<std::pair<uint16_t, Container>> cases = {
      // A container kind the capability does not take.
      {ICAP_PIXELTYPE, C::Range(TWTY_UINT16, 0, 2, 1, 0, 1)},
      {ICAP_XRESOLUTION, C::Enumeration(TWTY_FIX32, {300}, 0, 0)},
      {ICAP_FRAMES, C::Array(TWTY_FRAME, {})},
      {CAP_FEEDERENABLED, C::Range(TWTY_BOOL, 0, 1, 1, 0, 0)},
      {ICAP_BRIGHTNESS, C::Array(TWTY_FIX32, {100})},
      {CAP_XFERCOUNT, C::Enumeration(TWTY_INT16, {3}, 0, 0)},
      // An item type it does not take.
      {CAP_FEEDERENABLED, C::OneValue(TWTY_UINT32, 0)},
      {ICAP_XRESOLUTION, C::OneValue(TWTY_UINT16, 300)},
      {ICAP_CONTRAST, C::Range(TWTY_INT32, 0, 10, 1, 0, 5)},
      {ICAP_FRAMES, C::OneFix32(3)},
      {ICAP_PIXELTYPE, C::Enumeration(TWTY_UINT32, {0, 1}, 1, 0)},
      {ICAP_BITDEPTH, C::OneValue(TWTY_FIX32, 8)},
      {ICAP_SUPPORTEDSIZES, C::Enumeration(TWTY_UINT8, {1, 3}, 1, 0)},
      {CAP_KRMULTISTREAM, C::OneValue(TWTY_BOOL, 1)},
      // A current index outside the list.
      {ICAP_PIXELTYPE, C::Enumeration(TWTY_UINT16, {0, 1}, 2, 0)},
      {ICAP_BITDEPTH, C::Enumeration(TWTY_UINT16, {1, 8}, 5, 0)},
      {ICAP_SUPPORTEDSIZES, C::Enumeration(TWTY_UINT16, {1}, 1, 0)},
      {ICAP_XFERMECH, C::Enumeration(TWTY_UINT16, {0, 1}, 0xFFFFFFFF, 0)},
      {ICAP_FRAMES, C::Enumeration(TWTY_FRAME, {}, 0, 0)},
      // More items than the capability's list holds.
      {ICAP_PIXELTYPE, C::Enumeration(TWTY_UINT16, {0, 1, 2, 0}, 0, 0)},
      {ICAP_BITDEPTH, C::Enumeration(TWTY_UINT16, {1, 8, 24, 1}, 0, 0)},
      {ICAP_SUPPORTEDSIZES, C::Enumeration(TWTY_UINT16, repeat(TWSS_A4, 18), 0, 0)},
      // Values outside what the capability offers.
      {ICAP_PIXELTYPE, C::OneValue(TWTY_UINT16, 3)},
      {ICAP_BITDEPTH, C::Enumeration(TWTY_UINT16, {1, 16}, 0, 0)},
      {ICAP_IMAGEFILEFORMAT, C::OneValue(TWTY_UINT16, 1)},
      {ICAP_XRESOLUTION, C::OneFix32(0)},
      {CAP_KRMULTISTREAM, C::OneValue(TWTY_UINT16, 0x100)},
  };
  const ferrolite::ScanSetting before = gSource->scanSetting;
  const std::vector<std::string> answers = Snapshot();
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i) + " capability " + std::to_string(cases[i].first));
    EXPECT_EQ(Result(host.SetCapability(cases[i].first, cases[i].second)), kBadValue);
  }
  // No container at all.
  for (uint16_t cap : ferrolite::kSupportedCapabilities) {
    SCOPED_TRACE("null container, capability " + std::to_string(cap));
    twainhost::Bytes record(twainhost::layout::kCapabilitySize);
    record.setU16(twainhost::layout::kCapCap, cap);
    record.setU16(twainhost::layout::kCapConType, TWON_ONEVALUE);
    const twainhost::Answer a = host.Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, record.data());
    // Capabilities that cannot be set say so first; the others refuse the value.
    EXPECT_THAT(Result(a), ::testing::AnyOf(kBadValue, kBadCap));
    if (cap == CAP_XFERCOUNT || cap == ICAP_PIXELTYPE || cap == ICAP_FRAMES ||
        cap == ICAP_BRIGHTNESS || cap == ICAP_XFERMECH) {
      EXPECT_EQ(Result(a), kBadValue);
    }
  }
  EXPECT_EQ(SettingsDiff(before, gSource->scanSetting), "");
  EXPECT_EQ(Snapshot(), answers);
}

}  // namespace

namespace {

// Successful sets, from a fresh source, and the fields of the settings they change.
TEST_F(Capabilities, SetsWriteThroughIntoTheSettings) {
  using C = Container;
  const auto fix = [](double v) { return twainhost::Fix32Word(v); };
  struct Row {
    std::vector<std::pair<uint16_t, Container>> sets;
    const char* changed;
  };
  const Row rows[] = {
      {{{CAP_FEEDERENABLED, C::OneValue(TWTY_BOOL, 0)}}, ""},
      {{{CAP_DUPLEXENABLED, C::OneValue(TWTY_BOOL, 1)}}, "ImageType=3"},
      {{{CAP_INDICATORS, C::OneValue(TWTY_BOOL, 0)}}, "ShowProgress=0"},
      {{{ICAP_PIXELTYPE, C::OneValue(TWTY_UINT16, 1)}}, "ImageType=4"},
      {{{ICAP_BITDEPTH, C::Enumeration(TWTY_UINT16, {8, 24}, 1, 0)}}, "ImageType=16"},
      {{{ICAP_XRESOLUTION, C::OneFix32(300)}}, "BWRes=300 GrayRes=300 ColorRes=300"},
      {{{ICAP_YRESOLUTION, C::Range(TWTY_FIX32, fix(50), fix(400), fix(1), fix(100), fix(150))}},
       "BWRes=150 GrayRes=150 ColorRes=150"},
      {{{ICAP_XRESOLUTION, C::OneFix32(300)}, {ICAP_YRESOLUTION, C::OneFix32(240.75)}},
       "BWRes=240 GrayRes=240 ColorRes=240"},
      {{{ICAP_CONTRAST, C::OneFix32(300)}}, ""},
      {{{ICAP_PIXELTYPE, C::OneValue(TWTY_UINT16, 1)}, {ICAP_CONTRAST, C::OneFix32(300)}},
       "ImageType=4 FGContrast=30 RGContrast=30 FGrayQuality=2 RGrayQuality=2"},
      {{{ICAP_PIXELTYPE, C::OneValue(TWTY_UINT16, 1)}, {ICAP_BRIGHTNESS, C::OneFix32(-1000)}},
       "ImageType=4 FGBrightness=-100 RGBrightness=-100 FGrayQuality=2 RGrayQuality=2"},
      {{{ICAP_PIXELTYPE, C::OneValue(TWTY_UINT16, 2)}, {ICAP_BRIGHTNESS, C::OneFix32(250)}},
       "ImageType=16 FCBrightness=25 RCBrightness=25"},
      {{{ICAP_PIXELTYPE, C::OneValue(TWTY_UINT16, 2)}, {ICAP_CONTRAST, C::OneFix32(-70)}},
       "ImageType=16 FCContrast=-7 RCContrast=-7"},
      {{{ICAP_FRAMES, C::OneFrame(0, 0, 8.5, 11)}}, "PaperSize=255 Length=3300"},
      {{{ICAP_SUPPORTEDSIZES, C::OneValue(TWTY_UINT16, TWSS_A4)}},
       "PaperSize=6 XPos=35 Width=2480 Length=3508"},
      {{{ICAP_SUPPORTEDSIZES, C::Enumeration(TWTY_UINT16, {TWSS_A4, TWSS_JISB5}, 1, 0)}},
       "PaperSize=15 XPos=200 Width=2150 Length=3035"},
      {{{ICAP_AUTOMATICBORDERDETECTION, C::OneValue(TWTY_BOOL, 0)}}, "PaperSize=255"},
      {{{ICAP_FRAMES, C::OneFrame(1, 1, 3, 4)},
        {ICAP_AUTOMATICBORDERDETECTION, C::OneValue(TWTY_BOOL, 1)}},
       ""},
      {{{CAP_KRMULTISTREAM, C::OneValue(TWTY_UINT16, 0x30)}}, "ImageType=48"},
      {{{ICAP_BARCODEDETECTIONENABLED, C::OneValue(TWTY_BOOL, 1)}}, "BarcodeDetection=1"},
      {{{ICAP_PATCHCODEDETECTIONENABLED, C::OneValue(TWTY_BOOL, 1)}}, "PatchCode=1"},
      {{{ICAP_XFERMECH, C::OneValue(TWTY_UINT16, 1)},
        {ICAP_IMAGEFILEFORMAT, C::OneValue(TWTY_UINT16, TWFF_JFIF)},
        {CAP_XFERCOUNT, C::OneValue(TWTY_INT16, 2)},
        {ICAP_COMPRESSION, C::OneValue(TWTY_UINT16, 0)},
        {ICAP_UNITS, C::OneValue(TWTY_UINT16, 0)},
        {ICAP_PIXELFLAVOR, C::OneValue(TWTY_UINT16, 1)}},
       ""},
  };
  Open();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.changed);
    Fresh();
    const ferrolite::ScanSetting before = gSource->scanSetting;
    for (const auto& [cap, value] : row.sets) {
      ASSERT_TRUE(host.SetCapability(cap, value).ok()) << cap;
    }
    EXPECT_EQ(SettingsDiff(before, gSource->scanSetting), row.changed);
  }
}

TEST_F(Capabilities, InitCapsFollowsTheStoredSettings) {
  Open();
  struct Row {
    uint16_t imageType;
    const char* pixelType;
    const char* bitDepth;
    const char* resolution;
    const char* duplexEnabled;
  } rows[] = {
      {0x30, "ONE UINT16 2", "ONE UINT16 24", "ONE FIX32 300", "ONE BOOL 1"},
      {0x10, "ONE UINT16 2", "ONE UINT16 24", "ONE FIX32 300", "ONE BOOL 0"},
      {0x0C, "ONE UINT16 1", "ONE UINT16 8", "ONE FIX32 150", "ONE BOOL 1"},
      {0x01, "ONE UINT16 0", "ONE UINT16 1", "ONE FIX32 400", "ONE BOOL 0"},
      {0x11, "ONE UINT16 2", "ONE UINT16 24", "ONE FIX32 300", "ONE BOOL 0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.imageType);
    ferrolite::TezFRLDS& ds = Fresh();
    ds.scanSetting.wImageType = row.imageType;
    ds.scanSetting.wColorRes = 300;
    ds.scanSetting.wGrayRes = 150;
    ds.scanSetting.wBWRes = 400;
    ds.initCaps();
    EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_PIXELTYPE), row.pixelType);
    EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_BITDEPTH), row.bitDepth);
    EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_XRESOLUTION), row.resolution);
    EXPECT_EQ(Ask(MSG_GET, CAP_DUPLEXENABLED), row.duplexEnabled);
    EXPECT_EQ(Ask(MSG_GET, CAP_KRMULTISTREAM), "ONE UINT16 " + std::to_string(row.imageType));
  }

  // The area, the tone switches and the physical size.
  ferrolite::TezFRLDS& ds = Fresh();
  ferrolite::ScanSetting& s = ds.scanSetting;
  s.wXPos = 150, s.wYPos = 300, s.wWidth = 2400, s.wLength = 3000;
  s.bPaperSize = 2, s.bBarcodeDetection = 1, s.bPatchCode = 1, s.bShowProgress = 0;
  ds.deviceAbility.DeviceType = 0x80;  // a flatbed alone
  ds.maxScanWidth = 0;
  ds.maxLongLength = 9000;
  ferrolite::gPhysicalLongPaper = true;
  ds.initCaps();
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_FRAMES), "ONE FRAME 0.5 1 8.5 11");
  const TW_FRAME& f = ds.mImageLayout.Frame;
  EXPECT_EQ(f.Left.Whole, 0);
  EXPECT_EQ(f.Left.Frac, 32768);  // 0.5 x 65535, rounded
  EXPECT_EQ(f.Right.Whole, 8);
  EXPECT_EQ(f.Bottom.Whole, 11);
  EXPECT_EQ(uint32_t{ds.mImageLayout.DocumentNumber}, 1u);  // a packed field: copied
  EXPECT_EQ(Ask(MSG_GET, ICAP_AUTOMATICBORDERDETECTION), "ONE BOOL 0");
  EXPECT_EQ(Ask(MSG_GET, ICAP_BARCODEDETECTIONENABLED), "ONE BOOL 1");
  EXPECT_EQ(Ask(MSG_GET, ICAP_PATCHCODEDETECTIONENABLED), "ONE BOOL 1");
  EXPECT_EQ(Ask(MSG_GET, CAP_INDICATORS), "ONE BOOL 0");
  EXPECT_EQ(Ask(MSG_GET, CAP_FEEDERENABLED), "ONE BOOL 0");
  EXPECT_EQ(Ask(MSG_GET, CAP_DUPLEX), "ONE UINT16 0");
  EXPECT_EQ(Ask(MSG_GET, ICAP_PHYSICALWIDTH), "ONE FIX32 8.5");
  EXPECT_EQ(Ask(MSG_GET, ICAP_PHYSICALHEIGHT), "ONE FIX32 30");
  // Without a longer long page the option is cleared; a feeder scanner opened after the flatbed
  // has its feeder and duplex again.
  ds.maxLongLength = 0;
  ds.deviceAbility.DeviceType = dstest::kDeviceFeederDuplex;
  ds.scanSetting.wImageType = 0x03;
  ds.initCaps();
  EXPECT_EQ(Ask(MSG_GET, CAP_FEEDERENABLED), "ONE BOOL 1");
  EXPECT_EQ(Ask(MSG_GET, CAP_DUPLEX), "ONE UINT16 1");
  EXPECT_EQ(Ask(MSG_GET, CAP_DUPLEXENABLED), "ONE BOOL 1");
  EXPECT_FALSE(ferrolite::gPhysicalLongPaper);
  EXPECT_EQ(Ask(MSG_GET, ICAP_PHYSICALHEIGHT), "ONE FIX32 14");
}

}  // namespace

namespace {

// What a host reads back of the scan area (ICAP_FRAMES, DAT_IMAGELAYOUT, ICAP_SUPPORTEDSIZES,
// ICAP_AUTOMATICBORDERDETECTION) is what will be scanned, whichever of them set it last.
TEST_F(Capabilities, TheAreaReadBackIsTheAreaScanned) {
  OpenFresh();
  // The record is automatic after the open: no standard size.
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_AUTOMATICBORDERDETECTION), "ONE BOOL 1");
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_SUPPORTEDSIZES), "ONE UINT16 0");
  auto frame = [&] {
    const auto answer = host.Capability(MSG_GETCURRENT, ICAP_FRAMES);
    EXPECT_TRUE(answer.ok());
    return answer.ok() ? answer.value.Frame() : std::vector<double>(4);
  };
  auto layout = [&] {
    const auto answer = host.Layout(MSG_GET);
    EXPECT_TRUE(answer.ok());
    return std::vector<double>{answer.value.left, answer.value.top, answer.value.right,
                               answer.value.bottom};
  };
  auto expectArea = [&](const std::vector<double>& want) {
    const std::vector<double> byFrames = frame(), byLayout = layout();
    ASSERT_EQ(byFrames.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_NEAR(byFrames[i], want[i], 0.01) << "frames edge " << i;
      EXPECT_NEAR(byLayout[i], want[i], 0.01) << "layout edge " << i;
    }
  };

  // A5 (1748 x 2480 at 300 dpi).
  ASSERT_TRUE(
      host.SetCapability(ICAP_SUPPORTEDSIZES, Container::OneValue(TWTY_UINT16, TWSS_A5)).ok());
  expectArea({0, 0, 1748 / 300.0, 2480 / 300.0});
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_SUPPORTEDSIZES), "ONE UINT16 5");
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_AUTOMATICBORDERDETECTION), "ONE BOOL 0");

  // A frame: no standard size any more, and the layout says the same.
  ASSERT_TRUE(host.SetCapability(ICAP_FRAMES, Container::OneFrame(0, 0, 4, 5)).ok());
  expectArea({0, 0, 4, 5});
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_SUPPORTEDSIZES), "ONE UINT16 0");

  // A layout: the frames say the same.
  ASSERT_TRUE(host.Layout(MSG_SET, {1, 1, 5, 6, 1, 1, 1}).ok());
  expectArea({1, 1, 5, 6});

  // Automatic size: the whole feeder.
  ASSERT_TRUE(
      host.SetCapability(ICAP_AUTOMATICBORDERDETECTION, Container::OneValue(TWTY_BOOL, 1)).ok());
  expectArea({0, 0, 8.5, 14});
  EXPECT_EQ(Ask(MSG_GETCURRENT, ICAP_SUPPORTEDSIZES), "ONE UINT16 0");
  EXPECT_EQ(gSource->scanSetting.bPaperSize, ferrolite::kPageAutomatic);
}

// A resolution is taken only within the RANGE the source offers; a range a host sends does not
// widen it.
TEST_F(Capabilities, ResolutionsOutsideTheOfferedRangeAreRefused) {
  OpenFresh();
  struct Row {
    Container value;
    const char* result;  // GETCURRENT afterwards
  };
  auto fix = [](int whole) { return uint32_t(uint16_t(whole)); };
  const Row rows[] = {
      {Container::OneFix32(5000), "ONE FIX32 200"},
      {Container::OneFix32(71), "ONE FIX32 200"},
      {Container::OneFix32(601), "ONE FIX32 200"},
      {Container::Range(TWTY_FIX32, fix(72), fix(5000), fix(1), fix(200), fix(5000)),
       "ONE FIX32 200"},
      {Container::OneFix32(72), "ONE FIX32 72"},
      {Container::OneFix32(600), "ONE FIX32 600"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.result);
    const bool taken = std::string(row.result) != "ONE FIX32 200";
    for (const uint16_t cap : {ICAP_XRESOLUTION, ICAP_YRESOLUTION}) {
      const ferrolite::ScanSetting before = gSource->scanSetting;
      EXPECT_EQ(Result(host.SetCapability(cap, row.value)), taken ? kOk : kBadValue);
      EXPECT_EQ(Ask(MSG_GETCURRENT, cap), row.result);
      if (!taken) {
        EXPECT_EQ(SettingsDiff(before, gSource->scanSetting), "");
      }
    }
    ASSERT_TRUE(host.SetCapability(ICAP_XRESOLUTION, Container::OneFix32(200)).ok());
  }
}

}  // namespace
