// The feeder scan against a scripted driver: the statuses a real scanner seldom gives (a lamp
// that stays off, a start to repeat, a page ending with a message, a cancel from the device,
// each error code), JPEG pages whole and in parts, a driver that never ends its page, and the
// pixel steps on pages of any size.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "ModuleHarness.h"
#include "ScriptedDriver.h"
#include "ica/KR_ICA_Mark2_200.h"
#include "ica/LMScaling.h"
#include "ica/ModuleEntry.h"
#include "ica/ModuleResources.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/imageio/ImageIO.h"
#include "vantrel/button_event.h"
#include "vantrel/nidata.h"

namespace icatest {
namespace {

using foundation::Array;
using foundation::Value;
using scripted::Callback;
using scripted::Delivery;

constexpr uint32_t kLocation = 0x14300000;
const std::string kDescription = "serial SIMICA0003\nlocation-id 0x14300000\nprofile raw\n";
constexpr long kEndOfPage = -2022, kEndOfFile = -2038;

struct Request {
  int pixelType = 1;
  int resolution = 300;
  int64_t width = 64, height = 48;  // pixels
  bool files = true;
  bool bands = false;
  int64_t bandSize = 0;
  const char* format = "public.png";
};

class ScriptedScan : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = testsupport::freshTestFolder("ica-scripted");
    useSimulator(root_, kDescription);
    resources_ = makeResources(root_ / "resources", SCRIPTED_DRIVER_PATH);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("FERROLITE_ICA_FRAMEWORK", ICA_FRAMEWORK_PATH, 1);
    setenv("LANG", "C", 1);
    // The pixels pass the gamma unchanged.
    ASSERT_TRUE(foundation::UserDefaults(vantrel::kScannerModuleBundleId)
                    .set(icamodule::kDefaultsGamma, 1.0)
                    .ok());
  }
  void SetUp() override {
    setenv("FERROLITE_SCANNER_RESOURCES", resources_.c_str(), 1);
    unsetenv("FERROLITE_SCANNER_OS_RELEASE");
    out_ = root_ / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(out_);
    fs::create_directories(out_);
    play({});
    open();
  }
  // Opens the device (which reads its record from the driver) and selects the feeder.
  void open() {
    object_ = module_.object(module_.open(kLocation));
    ASSERT_NE(object_, 0u);
    module_.call(ica::kCallOpenSession, object_);
    Dictionary unit;
    unit.set("selectedFunctionalUnitType", 3);
    module_.setParameters(object_, unit);
    device().setScanTiming({std::chrono::milliseconds(1), std::chrono::milliseconds(10000)});
  }
  // A script with a record of its own: the device is opened again to read it.
  void playWithRecord(const scripted::Script& script) {
    module_.call(ica::kCallCloseSession, object_);
    module_.close(object_);
    play(script);
    open();
  }
  void TearDown() override {
    module_.call(ica::kCallCloseSession, object_);
    module_.close(object_);
  }
  icamodule::KR_ICA_Mark2_200& device() {
    return dynamic_cast<icamodule::KR_ICA_Mark2_200&>(*icamodule::OpenScanner(kLocation));
  }
  // The script, with the feeder's record unless it has one.
  void play(scripted::Script script) {
    if (script.ability.Version == 0) script.ability = scripted::feederAbility();
    scripted::reset(script);
  }
  int64_t scan(const Request& r = {}) { return scanWith(r, false); }
  int64_t scanCropping(const Request& r) { return scanWith(r, true); }
  int64_t scanWith(const Request& r, bool cropping) {
    Dictionary area;
    auto value = [&](const char* key, int64_t v) { area.ensureDictionary(key).set("value", v); };
    value("ICAP_PIXELTYPE", r.pixelType);
    value("ICAP_XRESOLUTION", r.resolution);
    value("ICAP_YRESOLUTION", r.resolution);
    value("ICAP_UNITS", 5);
    Dictionary crop;
    crop.set("feature", "KR_Crop");
    crop.set("value", cropping ? 1 : 0);
    area.set("vendor features", Array{Value(crop)});
    area.set("progressNotificationNoData", r.files);
    area.set("progressNotificationWithScanData", r.bands);
    if (r.bandSize) area.set("progressNotificationWithScanDataMaxBandSize", r.bandSize);
    area.set("document folder", out_.string());
    area.set("document name", "page");
    area.set("document format", r.format);
    area.set("offsetX", 0);
    area.set("offsetY", 0);
    area.set("width", r.width);
    area.set("height", r.height);
    EXPECT_EQ(module_.result(module_.setParameters(object_, area)), 0);
    module_.framework().clearNotifications();
    return module_.result(module_.call(ica::kCallStart, object_));
  }
  std::vector<Dictionary> notes(const char* type) { return module_.notes(type); }
  std::vector<std::string> errorNotes() {
    std::vector<std::string> subtypes;
    for (const Dictionary& n : notes(kICANotificationTypeDeviceStatusError))
      subtypes.push_back(n.string(kICANotificationSubTypeKey).valueOr(""));
    return subtypes;
  }
  std::vector<std::string> documents() { return module_.documents(); }
  static imageio::Raster read(const std::string& path) {
    imageio::DecodedImage image;
    EXPECT_TRUE(imageio::readImageFile(path, image).ok()) << path;
    return image.raster;
  }
  static long count(const std::vector<std::string>& calls, const std::string& call) {
    return long(std::count(calls.begin(), calls.end(), call));
  }

  static fs::path root_, resources_;
  fs::path out_;
  uint32_t object_ = 0;
  ModuleUnderTest module_;
};
fs::path ScriptedScan::root_, ScriptedScan::resources_;

Delivery wholePage(long status0 = kEndOfPage, long status1 = 0) {
  Callback c;
  c.wholePage = true;
  c.status0 = status0;
  c.status1 = status1;
  return {c};
}

// The page's pattern as the scripted driver delivers it, for a grey page of w x h.
std::vector<uint8_t> greyPattern(uint32_t w, uint32_t h) {
  SCANPARAMETER_UNION p{};
  p.BytesPerLine = w;
  p.LineNum = h;
  return scripted::pagePattern(p);
}

TEST_F(ScriptedScan, PagesUntilTheFeederIsEmptyAndTheCallsInOrder) {
  scripted::Script s;
  s.deliveries = {wholePage(), wholePage()};
  s.paper = {1, 1, 0};
  play(s);
  EXPECT_EQ(scan(), 0);
  std::vector<std::string> paths = documents();
  ASSERT_EQ(paths.size(), 2u);
  imageio::Raster page = read(paths[0]);
  EXPECT_EQ(page.layout.width, 64u);
  EXPECT_EQ(page.layout.height, 48u);
  EXPECT_EQ(page.pixels, greyPattern(64, 48));
  std::vector<std::string> expected = {"KRInitializeDriver", "KRInitializeDevice", "KRSensorStatus",
                                       "KRStartJob",         "KRSetParameter",     "KRSetGamma(1)",
                                       "KRSetGamma(2)",      "KRSetGamma(3)",      "KRStartScan",
                                       "KRStopScan(0)",      "KRSensorStatus",     "KRStartScan",
                                       "KRStopScan(0)",      "KRSensorStatus",     "KRStopJob",
                                       "KRTerminateDevice",  "KRTerminateDriver"};
  EXPECT_EQ(scripted::calls(), expected);
  EXPECT_EQ(scripted::callbackResults(), (std::vector<long>{1, 1}));
  EXPECT_EQ(notes(kICANotificationTypeScannerScanDone).size(), 1u);
  EXPECT_TRUE(errorNotes().empty());
}

TEST_F(ScriptedScan, TheLampIsWaitedForFiveTimesAndAStartIsRepeated) {
  scripted::Script s;
  s.setParameter = {-2041, -2041, 0};
  s.startScan = {-2042, -2042, 0};
  s.paper = {1, 0};
  play(s);
  EXPECT_EQ(scan(), 0);
  EXPECT_EQ(documents().size(), 1u);
  EXPECT_EQ(count(scripted::calls(), "KRSetParameter"), 3);
  EXPECT_EQ(count(scripted::calls(), "KRStartScan"), 3);

  s.setParameter.assign(6, -2041);
  play(s);
  EXPECT_EQ(scan(), kICAScanFailedErr);
  std::vector<std::string> calls = scripted::calls();
  EXPECT_EQ(count(calls, "KRSetParameter"), 6) << "one call and five retries";
  EXPECT_EQ(count(calls, "KRStartScan"), 0);
  EXPECT_EQ(count(calls, "KRStopScan(1)"), 1);
  EXPECT_EQ(count(calls, "KRStopJob"), 1);
  EXPECT_EQ(errorNotes(), (std::vector<std::string>{"kICAErrStrScanErr"}));
}

TEST_F(ScriptedScan, EachEndingStatusGivesItsMessageAndError) {
  struct Case {
    const char* what;
    long startScan;   // KRStartScan's result
    long pageStatus;  // the delivery's final code
    int64_t result;
    std::vector<std::string> messages;
    bool cancelled;  // the cancel line and notification
  } cases[] = {
      {"jam", 0, -2013, kICAScanFailedErr, {"kICAErrStrDFPaperErr"}, false},
      {"cover", 0, -2014, kICAScanFailedErr, {"kICAErrStrDFSetupErr"}, false},
      {"misfeed", 0, -3211, kICAScanFailedErr, {"Miss Feed"}, false},
      {"other", 0, -2999, kICAScanFailedErr, {"kICAErrStrScanErr"}, false},
      {"start fails", -2015, 0, kICAScanFailedErr, {"kICAErrStrScanErr"}, false},
      {"device cancel", 0, -2010, 0, {}, true},
      {"callback cancel", 0, 2, 0, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    foundation::SystemLogCapture log;
    scripted::Script s;
    s.startScan = {c.startScan};
    s.deliveries = {{Callback{{}, c.pageStatus}}};
    play(s);
    EXPECT_EQ(scan(), c.result);
    EXPECT_EQ(errorNotes(), c.messages);
    EXPECT_TRUE(documents().empty());
    EXPECT_EQ(notes(kICANotificationTypeScannerScanDone).size(), 1u) << "release 15 or lower";
    EXPECT_EQ(notes(kICANotificationTypeTransactionCanceled).size(), c.cancelled ? 1u : 0u);
    EXPECT_EQ(log.contains("----> User Canceled Scan!"), c.cancelled);
    std::vector<std::string> calls = scripted::calls();
    EXPECT_EQ(count(calls, "KRStopJob"), 1);
    if (c.pageStatus == -2010) {
      EXPECT_EQ(count(calls, "KRStopScan(1)"), 1);
    }
  }
}

TEST_F(ScriptedScan, AfterAFailureANewerPlatformGetsOnlyTheCancel) {
  for (const char* release : {"15.6.0", "16.0.0"}) {
    SCOPED_TRACE(release);
    setenv("FERROLITE_SCANNER_OS_RELEASE", release, 1);
    const bool newer = release[1] == '6';
    scripted::Script s;
    s.deliveries = {{Callback{{}, -2013}}};
    play(s);
    EXPECT_EQ(scan(), kICAScanFailedErr);
    EXPECT_EQ(notes(kICANotificationTypeScannerScanDone).size(), newer ? 0u : 1u);
    EXPECT_EQ(notes(kICANotificationTypeTransactionCanceled).size(), newer ? 1u : 0u);

    // A good scan ends with scan-done on both.
    s.deliveries = {wholePage()};
    s.paper = {1, 0};
    play(s);
    EXPECT_EQ(scan(), 0);
    EXPECT_EQ(notes(kICANotificationTypeScannerScanDone).size(), 1u);
    EXPECT_TRUE(notes(kICANotificationTypeTransactionCanceled).empty());

    // An empty feeder: the cancel on a newer platform only.
    s.paper = {0};
    play(s);
    EXPECT_EQ(scan(), kICAScanFailedErr);
    EXPECT_EQ(errorNotes(), (std::vector<std::string>{"kICAErrStrDFEmptyErr"}));
    EXPECT_EQ(notes(kICANotificationTypeTransactionCanceled).size(), newer ? 1u : 0u);
    EXPECT_EQ(count(scripted::calls(), "KRStartJob"), 0) << "no job without paper";
  }
}

TEST_F(ScriptedScan, AnEndOfFileFromTheLastStopIsNoError) {
  scripted::Script s;
  s.stopScan = {-2038};
  s.paper = {1, 0};
  play(s);
  EXPECT_EQ(scan(), 0);
  EXPECT_EQ(documents().size(), 1u);
  EXPECT_TRUE(errorNotes().empty());
  EXPECT_EQ(notes(kICANotificationTypeScannerScanDone).size(), 1u);

  s.stopScan = {-2999};  // a failing stop ends the job as an error, after its page
  play(s);
  EXPECT_EQ(scan(), kICAScanFailedErr);
  EXPECT_EQ(errorNotes(), (std::vector<std::string>{"kICAErrStrScanErr"}));
}

TEST_F(ScriptedScan, APageEndingWithAMessageKeepsItsDataAndOnlyRealDataIsGathered) {
  const std::vector<uint8_t> pattern = greyPattern(64, 48);
  const std::vector<uint8_t> top(pattern.begin(), pattern.begin() + 64 * 20);
  const std::vector<uint8_t> rest(pattern.begin() + 64 * 20, pattern.end());
  Callback error;  // an error count with a pointer: not data
  error.data.assign(64, 0xEE);
  error.errorCount = true;
  Callback null;  // no pointer: not data
  null.data.assign(64, 0xEE);
  null.nullData = true;
  scripted::Script s;
  s.deliveries = {{Callback{top}, error, null, Callback{rest, -3101, kEndOfPage}}};
  s.paper = {1, 0};
  play(s);
  EXPECT_EQ(scan(), 0);
  ASSERT_EQ(documents().size(), 1u);
  EXPECT_EQ(read(documents()[0]).pixels, pattern) << "the multi-feed then the end of the page";
  EXPECT_EQ(scripted::callbackResults(), (std::vector<long>{0, 0, 0, 1}));
  EXPECT_TRUE(errorNotes().empty());
}

TEST_F(ScriptedScan, RawPagesInTwoPassesAndTooMuchData) {
  const std::vector<uint8_t> pattern = greyPattern(64, 48);
  std::vector<uint8_t> first(pattern.begin(), pattern.begin() + 64 * 30);
  std::vector<uint8_t> second(pattern.begin() + 64 * 30, pattern.end());
  second.insert(second.end(), 64 * 10, 0xAB);  // ten lines more than the page has
  scripted::Script s;
  s.deliveries = {{Callback{first, kEndOfFile}}, {Callback{second, kEndOfPage}}};
  s.paper = {1, 0};
  play(s);
  EXPECT_EQ(scan(), 0);
  ASSERT_EQ(documents().size(), 1u);
  EXPECT_EQ(read(documents()[0]).pixels, pattern);
  EXPECT_EQ(count(scripted::calls(), "KRStartScan"), 2);
}

// JPEG streams of a grey image whose rows are flat, from one level to the next.
std::vector<uint8_t> jpegOf(uint32_t w, uint32_t h, uint8_t level) {
  imageio::Raster raster;
  raster.layout = imageio::PixelLayout::packed(w, h, 8, 1);
  raster.pixels.assign(std::size_t(w) * h, level);
  std::vector<uint8_t> out;
  EXPECT_TRUE(imageio::encodeImage(imageio::FileKind::Jpeg, imageio::BitmapImage(raster.view()), {},
                                   out, imageio::WriteOptions{100})
                  .ok());
  return out;
}

TEST_F(ScriptedScan, JpegPagesWholeAndInParts) {
  scripted::Script s;
  s.ability = scripted::feederAbility();
  s.ability.ImageType = 0x10000;  // the device delivers JPEG
  const std::vector<uint8_t> whole = jpegOf(64, 48, 200);
  const std::vector<uint8_t> upper = jpegOf(64, 16, 50), lower = jpegOf(64, 32, 150);
  // One pass in three blocks: one stream.
  const std::size_t third = whole.size() / 3;
  Delivery blocks = {Callback{{whole.begin(), whole.begin() + third}},
                     Callback{{whole.begin() + third, whole.begin() + 2 * third}},
                     Callback{{whole.begin() + 2 * third, whole.end()}, kEndOfPage}};
  s.deliveries = {
      {Callback{whole, kEndOfPage}},
      blocks,
      // Two passes, each a stream of its own: one page.
      {Callback{upper, kEndOfFile}},
      {Callback{lower, kEndOfPage}},
      // The next page is one stream again.
      {Callback{whole, kEndOfPage}},
  };
  s.paper = {1, 1, 1, 1, 0};
  playWithRecord(s);
  EXPECT_EQ(scan(), 0);
  std::vector<std::string> paths = documents();
  ASSERT_EQ(paths.size(), 4u);
  auto levels = [](const imageio::Raster& r) {
    std::vector<int> rows;
    for (uint32_t y = 0; y < r.layout.height; ++y) rows.push_back(r.row(y)[r.layout.width / 2]);
    return rows;
  };
  std::vector<int> flat(48, 200), stacked(16, 50);
  stacked.insert(stacked.end(), 32, 150);
  for (std::size_t i : {0, 1, 3}) {
    imageio::Raster page = read(paths[i]);
    EXPECT_EQ(page.layout.width, 64u) << i;
    EXPECT_EQ(levels(page), flat) << i;
  }
  imageio::Raster parts = read(paths[2]);
  EXPECT_EQ(parts.layout.height, 48u);
  EXPECT_EQ(levels(parts), stacked);

  // A stream that does not decode fails the scan.
  s.deliveries = {{Callback{std::vector<uint8_t>(100, 0x55), kEndOfPage}}};
  play(s);
  EXPECT_EQ(scan(), kICAScanFailedErr);
  EXPECT_TRUE(documents().empty());
  EXPECT_EQ(errorNotes(), (std::vector<std::string>{"kICAErrStrScanErr"}));
}

TEST_F(ScriptedScan, ADriverThatNeverEndsItsPageEndsTheScan) {
  device().setScanTiming({std::chrono::milliseconds(1), std::chrono::milliseconds(200)});
  scripted::Script s;
  s.deliveries = {{Callback{std::vector<uint8_t>(64, 1)}, Callback{std::vector<uint8_t>(64, 2)}}};
  play(s);
  EXPECT_EQ(scan(), kICAScanFailedErr);
  std::vector<std::string> calls = scripted::calls();
  EXPECT_EQ(count(calls, "KRStopScan(1)"), 1);
  EXPECT_EQ(count(calls, "KRStopJob"), 1);
  EXPECT_EQ(errorNotes(), (std::vector<std::string>{"kICAErrStrScanErr"}));
}

TEST_F(ScriptedScan, ARecordThatWouldDivideByZeroFailsBeforeTheJob) {
  for (int which = 0; which < 2; ++which) {
    scripted::Script s;
    s.ability = scripted::feederAbility();
    (which == 0 ? s.ability.OpticalRes : s.ability.BaseRes) = 0;
    playWithRecord(s);
    EXPECT_EQ(scan(), kICAScanFailedErr) << which;
    EXPECT_EQ(count(scripted::calls(), "KRStartJob"), 0);
    EXPECT_EQ(errorNotes(), (std::vector<std::string>{"kICAErrStrScanErr"}));
  }
}

TEST_F(ScriptedScan, BlackAndWhiteBandsArePackedAndEveryBandHoldsARow) {
  scripted::Script s;
  s.deliveries = {wholePage()};
  s.paper = {1, 0};
  play(s);
  Request r;
  r.pixelType = 0;
  r.width = 1001;
  r.height = 20;
  r.files = false;
  r.bands = true;
  r.bandSize = 50;  // less than a row
  EXPECT_EQ(scan(r), 0);
  std::vector<Dictionary> bands = notes(kICANotificationTypeScanProgressStatus);
  ASSERT_EQ(bands.size(), 20u) << "one row a band";
  const std::vector<uint8_t> grey = greyPattern(1001, 20);
  for (uint32_t i = 0; i < bands.size(); ++i) {
    const Dictionary& b = bands[i];
    EXPECT_EQ(b.integer(kICAImageWidthKey).valueOr(0), 1000);
    EXPECT_EQ(b.integer(kICAImageBytesPerRowKey).valueOr(0), 125);
    EXPECT_EQ(b.integer(kICABandBitsPerPixelKey).valueOr(0), 1);
    EXPECT_EQ(b.integer(kICAImageDataStartRowKey).valueOr(-1), i);
    EXPECT_EQ(b.integer(kICAImageDataNumberOfRowsKey).valueOr(0), 1);
    const foundation::Data data = b.data(kICAImageDataKey).valueOr({});
    ASSERT_EQ(data.size(), 125u);
    // Threshold 128: a set bit where the grey value is above 128.
    for (uint32_t x = 0; x < 1000; x += 7) {
      const bool white = grey[i * 1001 + x] > 128;
      ASSERT_EQ((data[x / 8] >> (7 - x % 8)) & 1, white ? 1 : 0) << i << "," << x;
    }
  }
  EXPECT_EQ(notes(kICANotificationTypeScannerPageDone).size(), 1u);
}

TEST_F(ScriptedScan, FilesAndBandsInOneScanBothGetThePackedPage) {
  scripted::Script s;
  s.deliveries = {wholePage()};
  s.paper = {1, 0};
  play(s);
  Request r;
  r.pixelType = 0;
  r.width = 20;  // packed to 16 pixels, 2 bytes a row
  r.height = 4;
  r.bands = true;
  EXPECT_EQ(scan(r), 0);
  ASSERT_EQ(documents().size(), 1u);
  imageio::DecodedImage file;
  ASSERT_TRUE(imageio::readImageFile(documents()[0], file).ok());
  EXPECT_EQ(file.raster.layout.bitsPerSample, 1);
  EXPECT_EQ(file.raster.layout.width, 16u);
  std::vector<Dictionary> progress = notes(kICANotificationTypeScanProgressStatus);
  ASSERT_EQ(progress.size(), 2u) << "the document's, then one band";
  const foundation::Data band = progress[1].data(kICAImageDataKey).valueOr({});
  ASSERT_EQ(band.size(), 8u);
  for (uint32_t y = 0; y < 4; ++y)
    EXPECT_EQ(0, std::memcmp(file.raster.row(y), band.data() + 2 * y, 2)) << y;
}

TEST_F(ScriptedScan, BelowTheLowestResolutionThePageIsScannedHigherAndReduced) {
  scripted::Script s;
  s.ability = scripted::feederAbility();
  s.ability.MinimumRes = 200;
  s.deliveries = {wholePage()};
  s.paper = {1, 0};
  playWithRecord(s);
  Request r;
  r.resolution = 150;
  r.width = 60;  // pixels at 150 dpi: 120 base units, 80 pixels at 200 dpi
  r.height = 30;
  EXPECT_EQ(scan(r), 0);
  SCANPARAMETER_UNION p = scripted::lastParameter();
  EXPECT_EQ(p.XRes, 200);
  EXPECT_EQ(p.PixelNum, 80u);
  EXPECT_EQ(p.LineNum, 40u);
  ASSERT_EQ(documents().size(), 1u);
  imageio::Raster page = read(documents()[0]);
  ASSERT_EQ(page.layout.width, 60u);
  ASSERT_EQ(page.layout.height, 30u);
  std::vector<uint8_t> source = scripted::pagePattern(p);
  uint8_t* expected = nullptr;
  ASSERT_EQ(icamodule::LMScaling(source.data(), 80, 40, 80, &expected, 60, 30, 60, 8), 0);
  EXPECT_TRUE(std::equal(page.pixels.begin(), page.pixels.end(), expected));
  std::free(expected);
}

TEST_F(ScriptedScan, ThePlugInStartsCropsAndEndsForEachPageWithTheScannersId) {
  // The recording stand-in: every crop answers a 1000 x 500 page.
  void* recording = dlopen(RECORDING_LUMETRA_PATH, RTLD_NOW);
  ASSERT_NE(recording, nullptr);
  using Calls = std::size_t (*)(char*, std::size_t);
  using Last = void (*)(NIDATA*, char*, void**, int*);
  auto calls = reinterpret_cast<Calls>(dlsym(recording, "RecordingLumetraCalls"));
  auto last = reinterpret_cast<Last>(dlsym(recording, "RecordingLumetraLast"));
  ASSERT_TRUE(calls && last);
  char seen[64] = {};
  calls(seen, sizeof seen);  // forget earlier calls
  fs::path folder = makeResources(root_ / "recording", SCRIPTED_DRIVER_PATH);
  fs::remove(folder / "Lumetra.so");
  fs::create_symlink(RECORDING_LUMETRA_PATH, folder / "Lumetra.so");
  setenv("FERROLITE_SCANNER_RESOURCES", folder.c_str(), 1);

  scripted::Script s;
  s.deliveries = {wholePage(), wholePage()};
  s.paper = {1, 1, 0};
  play(s);
  Dictionary area;
  Dictionary crop;
  crop.set("feature", "KR_Crop");
  crop.set("value", 1);
  area.set("vendor features", Array{Value(crop)});
  module_.setParameters(object_, area);
  Request r;
  r.pixelType = 2;
  EXPECT_EQ(scanCropping(r), 0);
  std::vector<std::string> paths = documents();
  ASSERT_EQ(paths.size(), 2u);
  imageio::Raster page = read(paths[1]);
  EXPECT_EQ(page.layout.width, 1000u);
  EXPECT_EQ(page.layout.height, 500u);
  EXPECT_EQ(page.layout.samplesPerPixel, 3);
  const SCANPARAMETER_UNION p = scripted::lastParameter();
  EXPECT_EQ(p.Width, 2480u) << "the feeder's whole width";

  const std::size_t n = calls(seen, sizeof seen);
  EXPECT_EQ(std::string(seen, n), "ICTICT");
  NIDATA record;
  char usbId[32];
  void* extra = nullptr;
  int freed = 0;
  last(&record, usbId, &extra, &freed);
  EXPECT_STREQ(usbId, "F11E0310") << "vendor, then product";
  EXPECT_STREQ(reinterpret_cast<const char*>(record.Model), "F11E0310");
  EXPECT_EQ(extra, nullptr);
  EXPECT_EQ(record.InImage.Pixel, p.PixelNum);
  EXPECT_EQ(record.InImage.ScanType, 1) << "one-sided";
  EXPECT_EQ(record.InImage.CurPages, 2) << "the second page";
  EXPECT_EQ(record.InImage.ScanTypeMaxWidth, 2480) << "the feeder's width at 300 dpi";
  dlclose(recording);
}

}  // namespace
}  // namespace icatest
