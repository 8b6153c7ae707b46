// The device object without a driver: functional units for a table of ability records, the host's
// parameters, vendor features, error notifications, output file naming, the raw image file and
// the scan utilities.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <vector>

#include "ica/KR_ICA_Mark2_200.h"
#include "ica/ScanUtils.h"
#include "platform/foundation/SystemLog.h"
#include "platform/ica/InProcessFramework.h"
#include "tests/support/TestFolder.h"

namespace {

namespace fs = std::filesystem;
using foundation::Array;
using foundation::Dictionary;
using foundation::Value;
using icamodule::KR_ICA_Mark2_200;

const fs::path kResources = ICA_SOURCE_RESOURCES;

DeviceAbility feeder(uint16_t baseRes, uint16_t opticalRes, uint32_t maxWidth, uint32_t maxLength,
                     uint32_t deviceType = 0x64, uint32_t scanMethod = 0x40) {
  DeviceAbility a{};
  a.Version = 200;
  a.Size = sizeof a;
  a.BaseRes = baseRes;
  a.OpticalRes = opticalRes;
  a.ADFMaxWidth = maxWidth;
  a.ADFMaxLength = maxLength;
  a.DeviceType = deviceType;
  a.ScanMethod = scanMethod;
  static char model[] = "MODEL-1";
  a.pModelName = model;
  return a;
}

// A device object described from the shipped resources and `ability`.
template <class Object = KR_ICA_Mark2_200>
struct DescribedAs {
  explicit DescribedAs(const DeviceAbility& ability,
                       const fs::path& properties = kResources / "ScannerProperties.plist") {
    object.copyAbility(ability);
    object.setPropertyListPath(properties.string());
    object.setPaperInfo(*foundation::readDictionaryFile(kResources / "PaperInfo.plist"));
    object.readFunctionalUnitProperties();
  }
  const Dictionary& unit(const char* number) {
    return *object.functionalUnitSettings().dictionary(number);
  }
  int64_t value(const char* number, const char* key) {
    return unit(number).dictionary(key)->integer("value").valueOr(-1);
  }
  std::vector<int64_t> values(const char* number, const char* key) {
    std::vector<int64_t> out;
    for (const Value& v : *unit(number).dictionary(key)->array("value"))
      out.push_back(v.integer().valueOr(-1));
    return out;
  }
  ICAError set(const Dictionary& area) {
    Dictionary dict;
    dict.set("userScanArea", area);
    ICD_ScannerSetParametersPB block{};
    block.theDict = &dict;
    return object.setSelectedFunctionalUnitParams(&block);
  }
  Object object;
};
using Described = DescribedAs<>;

class DeviceObject : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = testsupport::freshTestFolder("ica-device-object");
    setenv("XDG_CONFIG_HOME", (folder_ / "config").c_str(), 1);
    setenv("FERROLITE_SCANNER_RESOURCES", kResources.c_str(), 1);
    setenv("LANG", "C", 1);
  }
  fs::path folder_;
};

TEST_F(DeviceObject, FunctionalUnitsForAbilityVariants) {
  struct Case {
    const char* name;
    DeviceAbility ability;
    std::string scanMethod;
    int64_t height, width;              // feeder unit
    std::vector<int64_t> sizes;         // feeder unit
    std::vector<int64_t> xResolutions;  // feeder unit
    bool duplex;
  } cases[] = {
      {"feeder only",
       feeder(300, 600, 2550, 4200),
       "3",
       8400,
       5100,
       {1, 2, 3, 4, 5, 10, 13, 53},
       {100, 150, 200, 240, 300, 400, 600},
       true},
      {"optical 300 keeps nothing above it",
       feeder(300, 300, 2550, 4200),
       "3",
       4200,
       2550,
       {1, 2, 3, 4, 5, 10, 13, 53},
       {100, 150, 200, 240, 300},
       true},
      {"no length limit at base 300",
       feeder(300, 600, 2550, 65535),
       "3",
       8400,
       5100,
       {1, 2, 3, 4, 5, 10, 13, 53},
       {100, 150, 200, 240, 300, 400, 600},
       true},
      // 65535 stands for 14 inches in the device's own unit: legal paper still fits.
      {"no length limit at base 600",
       feeder(600, 600, 5100, 65535),
       "3",
       8400,
       5100,
       {1, 2, 3, 4, 5, 10, 13, 53},
       {100, 150, 200, 240, 300, 400, 600},
       true},
      {"a paper exactly as wide as the feeder",
       feeder(300, 600, 2480, 3508),
       "3",
       7016,
       4960,
       {1, 2, 5, 10, 13, 53},
       {100, 150, 200, 240, 300, 400, 600},
       true},
      {"simplex feeder",
       feeder(300, 600, 2550, 4200, 0x64, 0),
       "3",
       8400,
       5100,
       {1, 2, 3, 4, 5, 10, 13, 53},
       {100, 150, 200, 240, 300, 400, 600},
       false},
      {"feeder and flatbed",
       feeder(300, 600, 2550, 4200, 0xA0, 0),
       "0",
       8400,
       5100,
       {1, 2, 3, 4, 5, 10, 13, 53},
       {100, 150, 200, 240, 300, 400, 600},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Described d(c.ability);
    EXPECT_EQ(d.object.scanMethod(), c.scanMethod);
    EXPECT_EQ(d.value("3", "ICAP_PHYSICALHEIGHT"), c.height);
    EXPECT_EQ(d.value("3", "ICAP_PHYSICALWIDTH"), c.width);
    EXPECT_EQ(d.values("3", "ICAP_SUPPORTEDSIZES"), c.sizes);
    EXPECT_EQ(d.values("3", "ICAP_XRESOLUTION"), c.xResolutions);
    EXPECT_EQ(d.unit("3").contains("CAP_DUPLEX"), c.duplex);
  }
}

TEST_F(DeviceObject, FlatbedOnlyDropsTheFeederFromTheFlatbedUnit) {
  Described d(feeder(300, 600, 2550, 4200, 0x80, 0));
  EXPECT_EQ(d.object.scanMethod(), "0");
  auto types = d.unit("0").dictionary("functionalUnits")->array("availableFunctionalUnitTypes");
  ASSERT_EQ(types->size(), 1u);
  EXPECT_EQ(*types->at(0).integer(), 0);
  EXPECT_EQ(d.value("3", "ICAP_PHYSICALHEIGHT"), 8400) << "the feeder unit is left as shipped";
}

TEST_F(DeviceObject, ShippedPropertiesDoNotOfferInvert) {
  Described d(feeder(300, 600, 2550, 4200));
  for (const char* unit : {"0", "3"}) {
    auto features = d.unit(unit).array("vendor features");
    if (!features) continue;
    for (const Value& f : *features)
      EXPECT_NE(f.dictionary()->string("feature").valueOr(""), "KR_Invert") << unit;
  }
}

TEST_F(DeviceObject, AnInvertFeatureIsRewrittenForTheHost) {
  Described d(feeder(300, 600, 2550, 4200));
  Dictionary invert;
  invert.set("feature", "KR_Invert");
  invert.set("type", "TWON_ONEVALUE");
  invert.set("value", 1);
  d.object.functionalUnitSettings().editDictionary("3")->set("vendor features",
                                                             Array{Value(invert)});
  Dictionary host;
  ICD_ScannerGetParametersPB block{};
  block.theDict = &host;
  ASSERT_EQ(d.object.getSelectedFunctionalUnitParams(&block), 0);
  auto features = host.dictionary("device")->array("vendor features");
  ASSERT_EQ(features->size(), 1u);
  const Dictionary& sent = *features->at(0).dictionary();
  EXPECT_EQ(sent.string("type").valueOr(""), "TWON_ENUMERATION");
  EXPECT_EQ(sent.integer("current").valueOr(-1), 0);
  EXPECT_EQ(sent.integer("default").valueOr(-1), 0);
  EXPECT_EQ(sent.string("label").valueOr(""), "Image Invert");
  EXPECT_EQ(sent.array("value")->size(), 2u);
}

TEST_F(DeviceObject, HostParametersTable) {
  Described d(feeder(300, 600, 2550, 4200));
  auto current = [&](const char* key) {
    return d.unit("3").dictionary(key)->integer("current").valueOr(-1);
  };
  auto one = [](const char* key, Value value) {
    Dictionary area;
    area.ensureDictionary(key).set("value", std::move(value));
    return area;
  };
  EXPECT_EQ(d.set(one("ICAP_XRESOLUTION", 300)), 0);
  EXPECT_EQ(current("ICAP_XRESOLUTION"), 4);
  EXPECT_EQ(d.object.xResolution(), 300);
  d.set(one("ICAP_XRESOLUTION", 1200));  // no longer offered
  EXPECT_EQ(current("ICAP_XRESOLUTION"), 4);
  d.set(one("ICAP_YRESOLUTION", 600.0));  // a real equal to an offered value
  EXPECT_EQ(d.object.yResolution(), 600);
  d.set(one("ICAP_THRESHOLD", 255));
  EXPECT_EQ(d.object.threshold(), 255);
  d.set(one("ICAP_THRESHOLD", 256));
  EXPECT_EQ(d.object.threshold(), 255);
  d.set(one("ICAP_THRESHOLD", -1));
  EXPECT_EQ(d.object.threshold(), 255);
  d.set(one("ICAP_XSCALING", 2.0));  // one value: the host's entry replaces the unit's
  EXPECT_EQ(d.unit("3").dictionary("ICAP_XSCALING")->real("value").valueOr(0), 2.0);
  d.set(one("CAP_DUPLEXENABLED", 1));
  EXPECT_EQ(d.object.duplexEnabled(), 1u);
  d.object.functionalUnitSettings().editDictionary("3")->remove("ICAP_THRESHOLD");
  EXPECT_EQ(d.object.threshold(), 127);

  // The unit switch ignores everything else of its request.
  Dictionary area = one("ICAP_XRESOLUTION", 100);
  area.set("selectedFunctionalUnitType", 0);
  EXPECT_EQ(d.set(area), 0);
  EXPECT_EQ(d.object.scanMethod(), "0");
  EXPECT_EQ(current("ICAP_XRESOLUTION"), 4);
}

TEST_F(DeviceObject, ScanAreaEntriesAndProgressStyle) {
  Described d(feeder(300, 600, 2550, 4200));
  Dictionary first, second;
  first.set("width", 100);
  second.set("width", 850);
  second.set("height", 1100);
  second.set("offsetX", 5);
  second.set("progressNotificationNoData", true);
  second.set("document folder", "~/Scans");
  second.set("document name", "Invoice");

  Dictionary dict;
  dict.set("userScanArea", Array{Value(first), Value(second)});
  ICD_ScannerSetParametersPB block{};
  block.theDict = &dict;
  ASSERT_EQ(d.object.setSelectedFunctionalUnitParams(&block), 0);
  EXPECT_EQ(d.object.widthFromICA(), 850) << "the second of two";
  EXPECT_EQ(d.object.heightFromICA(), 1100);
  EXPECT_EQ(d.object.offsetXFromICA(), 5);
  EXPECT_EQ(d.object.maxProgressBandSize(), 524288u);
  EXPECT_EQ(d.object.documentUTI(), "public.tiff");
  EXPECT_EQ(d.object.documentExtension(), "tiff");
  EXPECT_EQ(d.object.documentName(), "Invoice");

  dict.set("userScanArea", Array{Value(first)});
  ASSERT_EQ(d.object.setSelectedFunctionalUnitParams(&block), 0);
  EXPECT_EQ(d.object.widthFromICA(), 100) << "the only one";
  EXPECT_EQ(d.object.heightFromICA(), 1100) << "absent keys keep their value";

  Dictionary band;
  band.set("progressNotificationWithScanData", true);
  band.set("progressNotificationWithScanDataMaxBandSize", 1000);
  EXPECT_EQ(d.set(band), 0);
  EXPECT_TRUE(d.object.progressNotificationWithScanData());
  EXPECT_EQ(d.object.maxProgressBandSize(), 1000u);
  EXPECT_EQ(d.object.documentUTI(), "") << "no file delivery asked";

  Dictionary empty;
  ICD_ScannerSetParametersPB none{};
  none.theDict = &empty;
  EXPECT_EQ(d.object.setSelectedFunctionalUnitParams(&none), 0);
  EXPECT_EQ(d.object.setSelectedFunctionalUnitParams(nullptr), -1);
}

TEST_F(DeviceObject, VendorFeatures) {
  Described d(feeder(300, 600, 2550, 4200));
  EXPECT_EQ(*d.object.getValueForVendorFeature("KR_Crop")->integer(), 1) << "no last_crop yet";
  Dictionary crop;
  crop.set("feature", "KR_Crop");
  crop.set("value", 0);
  Dictionary area;
  area.set("vendor features", Array{Value(crop)});
  d.set(area);
  EXPECT_EQ(*d.object.getValueForVendorFeature("KR_Crop")->integer(), 0);
  crop.set("value", 7);  // not among the values
  area.set("vendor features", Array{Value(crop)});
  d.set(area);
  EXPECT_EQ(*d.object.getValueForVendorFeature("KR_Crop")->integer(), 0);
  EXPECT_FALSE(d.object.getValueForVendorFeature("KR_Other"));
}

TEST_F(DeviceObject, SessionsAnswerTheirStateTwice) {
  KR_ICA_Mark2_200 object;
  EXPECT_EQ(object.openSessionWithParams(nullptr), 0);
  EXPECT_EQ(object.openSessionWithParams(nullptr), kICASessionStateErr);
  EXPECT_TRUE(object.scannerSessionOpened());
  EXPECT_EQ(object.closeSessionWithParams(nullptr), 0);
  EXPECT_EQ(object.closeSessionWithParams(nullptr), kICASessionStateErr);
}

TEST_F(DeviceObject, TheSevenErrorNotifications) {
  fs::path bare = folder_ / "bare";  // no texts: the defaults
  fs::create_directories(bare);
  setenv("FERROLITE_SCANNER_RESOURCES", bare.c_str(), 1);
  ica::InProcessFramework framework;
  KR_ICA_Mark2_200 object;
  ScannerObjectInfo info{};
  info.icaObject = 0x1234;
  object.setDeviceObjectInfo(&info);
  object.feederNoPaperMsg();
  object.feederJamMsg();
  object.scannerErrMsg();
  object.scannerBusyErrMsg();
  object.adfErrMsg();
  object.missfeedMsg();
  object.fileCorruptedMsg("/x/y.tiff");
  const char* expected[] = {"kICAErrStrDFEmptyErr",     "kICAErrStrDFPaperErr", "kICAErrStrScanErr",
                            "kICAErrStrScannerBusyErr", "kICAErrStrDFSetupErr", "Miss Feed",
                            "File Missing: /x/y.tiff"};
  auto notes = framework.notifications();
  ASSERT_EQ(notes.size(), std::size(expected));
  for (std::size_t i = 0; i < notes.size(); ++i) {
    EXPECT_EQ(notes[i].string(kICANotificationSubTypeKey).valueOr(""), expected[i]);
    EXPECT_EQ(notes[i].string(kICANotificationTypeKey).valueOr(""),
              kICANotificationTypeDeviceStatusError);
    EXPECT_EQ(notes[i].integer(kICANotificationICAObjectKey).valueOr(0), 0x1234);
  }
}

class OutputFiles : public DeviceObject {
 protected:
  void SetUp() override {
    DeviceObject::SetUp();
    setenv("TMPDIR", (folder_ / "tmp").c_str(), 1);
    setenv("HOME", (folder_ / "home").c_str(), 1);
    fs::create_directories(folder_ / "tmp");
    fs::create_directories(folder_ / "home" / "Scans");
    info_.icaObject = 42;
    object_.setDeviceObjectInfo(&info_);
  }
  void TearDown() override { unsetenv("TMPDIR"); }
  void ask(const char* folder, const char* name, const char* extension, const char* format) {
    Dictionary area;
    if (folder) area.set("document folder", folder);
    if (name) area.set("document name", name);
    area.set("document extension", extension);
    if (format) area.set("document format", format);
    Dictionary dict;
    dict.set("userScanArea", area);
    ICD_ScannerSetParametersPB block{};
    block.theDict = &dict;
    ASSERT_EQ(object_.setSelectedFunctionalUnitParams(&block), 0);
  }
  ScannerObjectInfo info_{};
  KR_ICA_Mark2_200 object_;
};

TEST_F(OutputFiles, NamingCases) {
  ask(nullptr, nullptr, "tiff", "public.tiff");
  std::ofstream(folder_ / "tmp" / "0000002a_scan.tiff") << "taken";
  ASSERT_TRUE(object_.setOutputFilePath());
  EXPECT_EQ(object_.documentFilePath(), (folder_ / "tmp" / "0000002a_scan 1.tiff").string());
  std::string raw = object_.rawImageFileCachePath();
  EXPECT_EQ(fs::path(raw).parent_path(), folder_ / "tmp");
  EXPECT_TRUE(raw.ends_with(".ica") && raw.find("XXXXXX") == std::string::npos) << raw;
  EXPECT_TRUE(fs::exists(raw));

  ask("~/Scans", "Invoice", "jpg", "public.jpeg");
  ASSERT_TRUE(object_.setOutputFilePath());
  EXPECT_EQ(object_.documentFilePath(), (folder_ / "home/Scans/Invoice.jpg").string());
  std::ofstream(object_.documentFilePath()) << "page 1";
  ASSERT_TRUE(object_.setOutputFilePath());
  EXPECT_EQ(object_.documentFilePath(), (folder_ / "home/Scans/Invoice 1.jpg").string());

  ask(nullptr, nullptr, "ica", kICUTTypeRaw);
  ASSERT_TRUE(object_.setOutputFilePath());
  EXPECT_EQ(object_.rawImageFileCachePath(), "") << "a raw document is written directly";
  ASSERT_TRUE(object_.openRawFileForWriting());
  object_.closeRawFile();
  EXPECT_TRUE(fs::exists(object_.documentFilePath()));
}

TEST_F(OutputFiles, ATemporaryFileThatCannotBeMadeFailsThePage) {
  ica::InProcessFramework framework;
  ask(nullptr, nullptr, "tiff", "public.tiff");
  setenv("TMPDIR", (folder_ / "gone").c_str(), 1);
  EXPECT_FALSE(object_.setOutputFilePath());
  EXPECT_EQ(object_.icaError(), kICAScanFailedErr);
  EXPECT_EQ(object_.rawImageFileCachePath(), "");
  EXPECT_FALSE(object_.openRawFileForWriting()) << "no write to the template's name";
  EXPECT_FALSE(fs::exists(folder_ / "gone"));
  auto notes = framework.notifications();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].string(kICANotificationSubTypeKey).valueOr(""), "kICAErrStrScanErr");
}

TEST_F(OutputFiles, RawFileIsNotOpenedThroughALink) {
  ask(nullptr, nullptr, "tiff", "public.tiff");
  ASSERT_TRUE(object_.setOutputFilePath());
  fs::path raw = object_.rawImageFileCachePath();
  fs::path victim = folder_ / "victim.txt";
  std::ofstream(victim) << "keep me";
  fs::remove(raw);
  fs::create_symlink(victim, raw);
  EXPECT_FALSE(object_.openRawFileForWriting());
  std::ifstream in(victim);
  std::string kept;
  std::getline(in, kept);
  EXPECT_EQ(kept, "keep me");
}

TEST_F(OutputFiles, RawHeaderRewindAndSkip) {
  icamodule::RawImageDescription image;
  image.width = 3;
  image.height = 2;
  image.bytesPerRow = 9;
  image.samplesPerPixel = 3;
  image.bitsPerSample = 8;
  image.colorSpaceModel = ICAColorSpaceModel::rgb;
  image.orientation = 6;
  image.resolution = 300;
  image.colorSyncMode = std::string(80, 'm');
  auto header = icamodule::rawImageHeader(image);
  const uint32_t fields[] = {112, 1, 3, 2, 9, 3, 8, 24, 1, 0, 6, 300};
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    uint32_t got = uint32_t(header[4 * i]) | uint32_t(header[4 * i + 1]) << 8 |
                   uint32_t(header[4 * i + 2]) << 16 | uint32_t(header[4 * i + 3]) << 24;
    EXPECT_EQ(got, fields[i]) << "field at " << 4 * i;
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&header[48])), std::string(63, 'm'));
  EXPECT_EQ(header[111], 0);

  ask(nullptr, nullptr, "tiff", "public.tiff");
  ASSERT_TRUE(object_.setOutputFilePath());
  ASSERT_TRUE(object_.openRawFileForWriting());
  object_.writeRawFileWithBuffer(header.data(), header.size());
  uint8_t rows[18];
  for (int i = 0; i < 18; ++i) rows[i] = uint8_t(100 + i);
  object_.writeRawFileWithBuffer(rows, sizeof rows);
  object_.closeRawFile();
  ASSERT_TRUE(object_.openRawFileForReading());
  object_.rewind();
  uint8_t byte = 0;
  ASSERT_EQ(object_.getBytes(&byte, 1), 1u);
  EXPECT_EQ(byte, 100) << "the first image byte, not the header";
  EXPECT_EQ(object_.skipBytes(5), 5);
  ASSERT_EQ(object_.getBytes(&byte, 1), 1u);
  EXPECT_EQ(byte, 106);
  EXPECT_EQ(object_.skipBytes(100), 11) << "only what is left";
  EXPECT_EQ(object_.getBytes(&byte, 1), 0u);
  EXPECT_EQ(object_.skipBytes(-3), 0);
  object_.closeRawFile();
}

// ---- scan utilities ---------------------------------------------------------------------------

TEST(ScanUtils, GammaTables) {
  struct {
    double gamma;
    std::vector<std::pair<int, int>> entries;
  } cases[] = {
      {1.0, {{0, 0}, {64, 64}, {128, 128}, {255, 255}}},
      {2.0, {{64, 127}, {128, 180}, {255, 255}}},
      {1.8, {{64, 118}, {128, 173}}},
      {0.0, {{128, 0}, {200, 22}, {254, 245}}},
  };
  for (const auto& c : cases) {
    uint8_t table[256];
    icamodule::ScanUtils::buildGamma(table, c.gamma, 0);
    for (auto [i, v] : c.entries) EXPECT_EQ(table[i], v) << "gamma " << c.gamma << " entry " << i;
  }
}

TEST(ScanUtils, Rotation) {
  const uint8_t grey[] = {1, 2, 3, 4, 5, 6};  // 3 x 2
  struct {
    long degree;
    std::vector<uint8_t> expected;
    bool copy;
  } cases[] = {
      {0, {1, 2, 3, 4, 5, 6}, true},    {90, {4, 1, 5, 2, 6, 3}, false},
      {270, {3, 6, 2, 5, 1, 4}, false}, {180, {6, 5, 4, 3, 2, 1}, false},
      {45, {0, 0, 0, 0, 0, 0}, false},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out(6, 0);
    EXPECT_EQ(icamodule::ScanUtils::rotateRaw(grey, out.data(), c.degree, 3, 2,
                                              icamodule::ScanUtils::kModeGray),
              c.copy);
    EXPECT_EQ(out, c.expected) << c.degree;
  }
  // Colour pixels keep their byte order.
  const uint8_t rgb[] = {1, 2, 3, 4, 5, 6};  // 2 x 1
  std::vector<uint8_t> out(6);
  icamodule::ScanUtils::rotateRaw(rgb, out.data(), 90, 2, 1, icamodule::ScanUtils::kModeColor);
  EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
  icamodule::ScanUtils::rotateRaw(rgb, out.data(), 180, 2, 1, icamodule::ScanUtils::kModeColor);
  EXPECT_EQ(out, (std::vector<uint8_t>{4, 5, 6, 1, 2, 3}));
}

// ---- the scan parameters of a feeder scan ----

// The device's edge extensions by tag; a tag not in the table fails its read.
std::map<uint32_t, uint16_t> gEdges;
std::vector<uint32_t> gEdgeReads;
long fakeGeneralOperation(uint32_t ctrlId, uint32_t* handle, int operation, uint32_t tag,
                          DDS_DATA_TYPE type, uint32_t count, void* data) {
  gEdgeReads.push_back(tag);
  auto found = gEdges.find(tag);
  if (ctrlId != 0x2200 || !handle || operation != 1 || type != 7 || count != 2 ||
      found == gEdges.end())
    return -1;
  static_cast<uint16_t*>(data)[0] = found->second;
  return 0;
}

struct MappedObject : KR_ICA_Mark2_200 {
  void useGeneralOperation() { entries_._KRGeneralOperation = &fakeGeneralOperation; }
};

struct Mapped : DescribedAs<MappedObject> {
  using DescribedAs::DescribedAs;
  // A one-value entry in the feeder's unit, as the host's settings end up.
  void host(const char* key, Value value) {
    Dictionary entry;
    entry.set("type", "TWON_ONEVALUE");
    entry.set("value", std::move(value));
    object.functionalUnitSettings().editDictionary("3")->set(key, entry);
  }
  void window(int64_t x, int64_t y, int64_t width, int64_t height) {
    Dictionary area;
    area.set("offsetX", x);
    area.set("offsetY", y);
    area.set("width", width);
    area.set("height", height);
    set(area);
  }
  void crop(bool on) {
    Dictionary feature, area;
    feature.set("feature", "KR_Crop");
    feature.set("value", on ? 1 : 0);
    area.set("vendor features", Array{Value(feature)});
    set(area);
  }
  SCANPARAMETER_UNION map() {
    SCANPARAMETER_UNION p;
    std::memset(&p, 0xA5, sizeof p);
    gEdgeReads.clear();
    mapped = object.ICAParamToKRParam(&p);
    return p;
  }
  bool mapped = false;
};

DeviceAbility mappingDevice() {
  DeviceAbility a = feeder(300, 600, 2550, 4200);
  a.ImageType = 0x10000;
  a.MinimumRes = 100;
  a.LineartPixelBound = 8;
  a.GrayPixelBound = 4;
  a.ColorPixelBound = 16;
  return a;
}

TEST_F(DeviceObject, ScanParametersTable) {
  struct Case {
    const char* what;
    DeviceAbility ability;
    uint32_t unit, pixelType, xRes, yRes;
    bool crop;
    int64_t x, y, width, height;
    // expected
    uint32_t left, top, widthOut, lengthOut, pixels, lines, scanMode;
    uint16_t xResOut, yResOut;
    uint8_t bits;
    int64_t sourceWidth, sourceLength, destWidth, destLength;
  };
  DeviceAbility plain = mappingDevice();
  plain.ImageType = 0;
  DeviceAbility lowest = mappingDevice();
  lowest.MinimumRes = 200;
  DeviceAbility unbound = mappingDevice();
  unbound.GrayPixelBound = 0;
  unbound.ColorPixelBound = 0;
  unbound.LineartPixelBound = 0;
  // clang-format off
  const Case cases[] = {
      // One inch wide, centred on the 2550-unit feeder; grey at 300 dpi.
      {"inch", mappingDevice(), 0, 1, 300, 300, false, 3, 2, 1, 2,
       1125, 600, 300, 600, 300, 600, 0x06000002, 300, 300, 8, 300, 600, 300, 600},
      // Wider and longer than the feeder: clamped, so no room to centre.
      {"clamped", mappingDevice(), 0, 2, 300, 300, false, 0, 0, 20, 20,
       0, 0, 2550, 4200, 2544, 4200, 0x05000004, 300, 300, 24, 2544, 4200, 2544, 4200},
      // Black-and-white is scanned as grey; the line count goes to the line-art bound.
      {"lineart", mappingDevice(), 0, 0, 300, 300, false, 0, 0, 2, 3,
       975, 0, 600, 900, 600, 896, 0x06000002, 300, 300, 8, 600, 896, 600, 896},
      {"no processing kind", plain, 0, 0, 300, 300, false, 0, 0, 2, 3,
       975, 0, 600, 900, 600, 896, 2, 300, 300, 8, 600, 896, 600, 896},
      // Pixels: the horizontal offset by the optical resolution (centring replaces it), the vertical
      // one and the size by the scan's resolutions.
      {"pixels", mappingDevice(), 5, 2, 200, 150, false, 600, 300, 400, 300,
       975, 600, 600, 600, 400, 300, 0x05000004, 200, 150, 24, 400, 300, 400, 300},
      // Below the lowest resolution: scanned at 200, delivered at 150.
      {"lowest", lowest, 0, 1, 150, 150, false, 0, 0, 2, 2,
       975, 0, 600, 600, 400, 400, 0x06000002, 200, 200, 8, 400, 400, 300, 300},
      // Cropping: the whole feeder whatever was asked.
      {"crop", mappingDevice(), 0, 2, 300, 300, true, 1, 1, 2, 2,
       0, 0, 2550, 4200, 2544, 4200, 0x05000004, 300, 300, 24, 2544, 4200, 2544, 4200},
      // Bounds of 0 leave the counts as they are.
      {"unbound", unbound, 0, 2, 100, 100, false, 0, 0, 3, 1,
       825, 0, 900, 300, 300, 100, 0x05000004, 100, 100, 24, 300, 100, 300, 100},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Mapped m(c.ability);
    m.host("ICAP_UNITS", int64_t(c.unit));
    m.host("ICAP_PIXELTYPE", int64_t(c.pixelType));
    m.host("ICAP_XRESOLUTION", int64_t(c.xRes));
    m.host("ICAP_YRESOLUTION", int64_t(c.yRes));
    m.window(c.x, c.y, c.width, c.height);
    m.crop(c.crop);
    SCANPARAMETER_UNION p = m.map();
    ASSERT_TRUE(m.mapped);
    EXPECT_EQ(p.Version, 200);
    EXPECT_EQ(p.Size, 116);
    EXPECT_EQ(p.BaseRes, 300);
    EXPECT_EQ(p.Left, c.left);
    EXPECT_EQ(p.Top, c.top);
    EXPECT_EQ(p.Width, c.widthOut);
    EXPECT_EQ(p.Length, c.lengthOut);
    EXPECT_EQ(p.XRes, c.xResOut);
    EXPECT_EQ(p.YRes, c.yResOut);
    EXPECT_EQ(p.PixelNum, c.pixels);
    EXPECT_EQ(p.LineNum, c.lines);
    EXPECT_EQ(p.BitsPerPixel, c.bits);
    EXPECT_EQ(p.BytesPerLine, c.pixels * c.bits / 8);
    EXPECT_EQ(p.ScanMode, c.scanMode);
    EXPECT_EQ(m.object.sourceImageWidth(), c.sourceWidth);
    EXPECT_EQ(m.object.sourceImageLength(), c.sourceLength);
    EXPECT_EQ(m.object.destImageWidth(), c.destWidth);
    EXPECT_EQ(m.object.destImageLength(), c.destLength);
    // The fixed fields, and zero everywhere the mapping does not write.
    EXPECT_EQ(p.ScanMethod, 1);
    EXPECT_EQ(p.Compression, 0x84);
    EXPECT_EQ(p.SpeedMode, 1);
    EXPECT_EQ(p.Highlight, 255);
    EXPECT_EQ(p.CtrlMode, 2);
    EXPECT_EQ(p.Threshold, 128);
    EXPECT_EQ(p.Contrast | p.Brightness | p.DitherIndex | p.Shadow | p.ColorFilter | p.Invert |
                  p.CacheMode | p.byBackgroundLines,
              0);
    EXPECT_EQ(p.CacheSize | p.JobPages | p.DetectFeedLength | p.ExtParam0 | p.ExtParam1 |
                  p.ExtParam2 | p.ExtParam3 | p.ExtParam4,
              0u);
    EXPECT_EQ(
        p.TuneScanLengthTop | p.TuneScanLengthBottom | p.TuneScanLengthLeft | p.TuneScanLengthRight,
        0)
        << "no edge extensions on this device";
    const uint8_t zeros[14] = {};
    EXPECT_EQ(std::memcmp(p.Reserved, zeros, sizeof p.Reserved), 0);
    EXPECT_EQ(std::memcmp(p.Reserved1, zeros, sizeof p.Reserved1), 0);
    EXPECT_TRUE(gEdgeReads.empty());
  }
}

TEST_F(DeviceObject, ScanParametersEdgeExtensionsAndDuplex) {
  DeviceAbility a = mappingDevice();
  a.ScannerCapability1 = 0x100000 | 0x80000;
  Mapped m(a);
  m.object.useGeneralOperation();
  m.host("ICAP_PIXELTYPE", int64_t(1));
  m.host("ICAP_XRESOLUTION", int64_t(300));
  m.host("ICAP_YRESOLUTION", int64_t(300));
  gEdges = {{1, 10}, {3, 20}, {5, 6}};  // the right edge's read fails
  SCANPARAMETER_UNION p = m.map();
  ASSERT_TRUE(m.mapped);
  EXPECT_EQ(gEdgeReads, (std::vector<uint32_t>{1, 3, 5, 7})) << "top, bottom, left, right";
  EXPECT_EQ(p.TuneScanLengthTop, 0x8000 | 10);
  EXPECT_EQ(p.TuneScanLengthBottom, 0x8000 | 20);
  EXPECT_EQ(p.TuneScanLengthLeft, 0x8000 | 6);
  EXPECT_EQ(p.TuneScanLengthRight, 0x8000);
  EXPECT_EQ(p.Length, 4200u + 15u) << "30 optical units at 300 / 600";
  EXPECT_EQ(p.Width, 2550u + 3u);
  EXPECT_EQ(p.Left, 0u);
  EXPECT_EQ(p.Top, 0u);

  EXPECT_EQ(p.ScanMethod, 1);
  m.host("CAP_FEEDERENABLED", int64_t(1));
  m.host("CAP_DUPLEXENABLED", int64_t(1));
  EXPECT_EQ(m.map().ScanMethod, 4);
}

TEST_F(DeviceObject, ScanParametersRefuseAZeroDivisor) {
  DeviceAbility noOptical = mappingDevice();
  noOptical.OpticalRes = 0;
  DeviceAbility noBase = mappingDevice();
  noBase.BaseRes = 0;
  for (auto [ability, xRes] : {std::pair{noOptical, 300}, {noBase, 300}, {mappingDevice(), 0}}) {
    Mapped m(ability);
    m.host("ICAP_XRESOLUTION", int64_t(xRes));
    m.host("ICAP_YRESOLUTION", int64_t(300));
    SCANPARAMETER_UNION p = m.map();
    EXPECT_FALSE(m.mapped);
    const SCANPARAMETER_UNION zero{};
    EXPECT_EQ(std::memcmp(&p, &zero, sizeof p), 0);
  }
}

}  // namespace
