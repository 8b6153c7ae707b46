// The built bundle Ferrolite/, copied into a folder of the test's own and loaded as the Linux
// manager loads it; and twain-scan run on it as a user runs it.
#include <gmock/gmock.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ds/scan/image/TezFRLImageProcess.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/PropertyList.h"
#include "tests/ds/scan/common/CommonTestSupport.h"
#include "tests/ds/twain/SimulatedScanner.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestFolder.h"
#include "tools/twain/Host.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
namespace layout = twainhost::layout;

class Bundle : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testsupport::freshTestFolder(
        std::string("ferrolite-") +
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    logFolder_ = root_ / "DrvLog";
    std::filesystem::create_directories(logFolder_);
    setenv("VANTREL_LOG_ROOT", logFolder_.c_str(), 1);
    std::string error;
    bundle_ = twainhost::CopyBundle(FERROLITE_BUNDLE, root_.string(), &error);
    ASSERT_FALSE(bundle_.empty()) << error;
    dstest::useSimulatedScanner(std::filesystem::path(bundle_) / "Resources");
  }
  void TearDown() override {
    for (const std::string& fault : host_.faults()) ADD_FAILURE() << "host: " << fault;
    std::filesystem::remove_all(root_);
  }
  std::vector<std::string> logLines() {
    return ferrolite_test::logLines(logFolder_ / "twainlog.txt");
  }

  std::filesystem::path root_, logFolder_;
  std::string bundle_;
  twainhost::Host host_;
};

TEST_F(Bundle, IdentityInState35AndTheSessionsEntryPoint) {
  std::string error;
  ASSERT_TRUE(host_.OpenManager(bundle_, &error)) << error;
  // Asked in state 35 (loaded, not open), read by the host at the layout's offsets.
  const twainhost::Identity& probed = host_.source();
  EXPECT_EQ(probed.id, 3u);
  EXPECT_EQ(probed.major, 2);
  EXPECT_EQ(probed.minor, 1);
  EXPECT_EQ(probed.info, "2.1");
  EXPECT_EQ(probed.protocolMajor, 1);
  EXPECT_EQ(probed.protocolMinor, 9);
  EXPECT_EQ(probed.supportedGroups, 0x40000003u);
  EXPECT_EQ(probed.manufacturer, "Olmex");
  EXPECT_EQ(probed.productFamily, "Pagewright");
  EXPECT_EQ(probed.productName, "Ferrolite");
  ASSERT_TRUE(host_.OpenSource().ok()) << host_.DescribeJournal();
  EXPECT_TRUE(host_.entryPointPushed());  // before MSG_OPENDS, which the journal shows next
  const auto& journal = host_.journal();
  ASSERT_GE(journal.size(), 2u);
  EXPECT_EQ(journal[journal.size() - 2].dat, DAT_ENTRYPOINT);
  EXPECT_EQ(journal.back().msg, MSG_OPENDS);

  // The identity's bytes once open, field by field.
  twainhost::Bytes record(layout::kIdentitySize);
  record.setU32(layout::kIdentityId, 3);
  ASSERT_TRUE(host_.Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, record.data()).ok());
  EXPECT_EQ(record.u32(layout::kIdentityId), 3u);
  EXPECT_EQ(record.u16(layout::kVersionMajor), 2);
  EXPECT_EQ(record.u16(layout::kVersionMinor), 1);
  EXPECT_EQ(record.u16(layout::kVersionLanguage), TWLG_ENGLISH_USA);
  EXPECT_EQ(record.u16(layout::kVersionCountry), TWCY_USA);
  EXPECT_EQ(record.text(layout::kVersionInfo, layout::kStr32), "2.1");
  EXPECT_EQ(record.u16(layout::kProtocolMajor), 1);
  EXPECT_EQ(record.u16(layout::kProtocolMinor), 9);
  EXPECT_EQ(record.u32(layout::kSupportedGroups), 0x40000003u);
  EXPECT_EQ(record.text(layout::kManufacturer, layout::kStr32), "Olmex");
  EXPECT_EQ(record.text(layout::kProductFamily, layout::kStr32), "Pagewright");
  EXPECT_EQ(record.text(layout::kProductName, layout::kStr32), "Ferrolite");
  EXPECT_TRUE(host_.CloseSource().ok());
}

TEST_F(Bundle, FamilyPagewrightWhenTheInformationLacksIt) {
  const std::filesystem::path info = std::filesystem::path(bundle_) / "Info.plist";
  auto read = foundation::readDictionaryFile(info);
  ASSERT_TRUE(read);
  read->remove("ProductFamily");
  read->set("ProductName", "Renamed");
  ASSERT_TRUE(foundation::writePropertyList(info, foundation::Value(*read)).ok());
  std::string error;
  ASSERT_TRUE(host_.OpenManager(bundle_, &error)) << error;
  EXPECT_EQ(host_.source().productFamily, "Pagewright");
  EXPECT_EQ(host_.source().productName, "Renamed");
}

// Load, open, close and unload twice: each load makes the object anew, each unload releases it
// and leaves nothing of the module behind.
TEST_F(Bundle, TwoSessionsInOneProcess) {
  {
    std::FILE* conf = std::fopen((logFolder_ / "Debug.conf").c_str(), "w");
    ASSERT_NE(conf, nullptr);
    std::fputs("DebugLevel 1\n", conf);
    std::fclose(conf);
  }
  std::string error;
  ASSERT_TRUE(host_.OpenManager(bundle_, &error)) << error;
  for (int session = 0; session < 2; ++session) {
    SCOPED_TRACE(session);
    ASSERT_TRUE(host_.OpenSource().ok()) << host_.DescribeJournal();
    EXPECT_TRUE(twainhost::Host::IsResident(host_.modulePath()));
    ASSERT_TRUE(host_.CloseSource().ok());  // the host also checks threads and blocks
    EXPECT_FALSE(twainhost::Host::IsResident(host_.modulePath()));
  }
  // One construction and one release per load: the manager's probe, and per session a probe
  // and the session's load.
  const std::vector<std::string> lines = logLines();
  auto count = [&](const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
  };
  EXPECT_EQ(count("TWAIN Scan log"), 5);
  EXPECT_EQ(count("release KorvaneDS"), 5);
  EXPECT_EQ(count("In  1: openDS"), 2);
  EXPECT_EQ(count("In  1: closeDS"), 2);
}

testsupport::CommandRun RunScan(const std::string& args, const std::string& env = "") {
  return testsupport::runCommand(env + " " TWAIN_SCAN_PATH " " + args);
}

TEST_F(Bundle, TwainScanPrintsTheIdentityOpensAndCloses) {
  const std::string env = "VANTREL_LOG_ROOT=" + logFolder_.string();
  struct Case {
    std::string args;
    std::vector<std::string> shows, hides;
  };
  const std::vector<Case> cases = {
      {"--bundle " + bundle_,
       {"ProductName: Ferrolite\n", "Manufacturer: Olmex\n", "ProductFamily: Pagewright\n",
        "SupportedGroups: 0x40000003\n", "Protocol: 1.9\n",
        "Version: 2.1 (language 13, country 1, \"2.1\")\n", "Id: 3\n", "MSG_OPENDS: rc 0 cc 0\n",
        "Entry point: handed over\n", "MSG_CLOSEDS: rc 0 cc 0\n"},
       {"fault"}},
      {"--bundle " + bundle_ + " --exported",
       {"ProductName: Ferrolite\n", "MSG_OPENDS: rc 0", "MSG_CLOSEDS: rc 0"},
       {"Entry point", "fault"}},
      // The bundle the build laid out, found from the program's own folder.
      {"--identity", {"ProductName: Ferrolite\n", "Id: 3\n"}, {"MSG_OPENDS", "fault"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const testsupport::CommandRun run = RunScan(c.args, env);
    EXPECT_EQ(run.exit, 0) << run.output;
    for (const auto& s : c.shows) EXPECT_THAT(run.output, HasSubstr(s));
    for (const auto& s : c.hides) EXPECT_THAT(run.output, Not(HasSubstr(s)));
  }
}

// The module on its own: without a supported scanner on the bus it refuses the open, lets the
// host know why and leaves nothing behind.
TEST_F(Bundle, TwainScanWithoutASupportedScanner) {
  const std::filesystem::path other = root_ / "other-scanner.txt";
  std::FILE* file = std::fopen(other.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs("serial SIM0000009\nproduct-id 0x0999\n", file);
  std::fclose(file);
  const std::string env =
      "VANTREL_LOG_ROOT=" + logFolder_.string() + " VANTREL_SIMULATOR=" + other.string();
  const testsupport::CommandRun refused = RunScan("--bundle " + bundle_, env);
  EXPECT_EQ(refused.exit, 4) << refused.output;  // the README's "no scanner the source supports"
  EXPECT_THAT(refused.output, HasSubstr("MSG_OPENDS: rc 1 cc 11"));
  EXPECT_THAT(refused.output, HasSubstr("no scanner the source supports"));
  EXPECT_THAT(refused.output, Not(HasSubstr("fault")));
  // The supported model opens and closes.
  const testsupport::CommandRun opened = RunScan("--bundle " + bundle_);
  EXPECT_EQ(opened.exit, 0) << opened.output;
  EXPECT_THAT(opened.output, HasSubstr("MSG_CLOSEDS: rc 0 cc 0"));
}

}  // namespace

namespace {

// The built bundle's English table holds the dialog's texts beside the data source's own, and
// nothing of either went missing where both have a key.
TEST(BundleLayout, TheEnglishTableHoldsTheDialogsTextsAndTheSourcesOwn) {
  const std::filesystem::path strings = std::filesystem::path(FERROLITE_BUNDLE) / "Resources" /
                                        "English.lproj" / "Localizable.strings";
  const auto table = foundation::readStringsFile(strings);
  ASSERT_TRUE(table) << table.error();
  const std::pair<const char*, const char*> rows[] = {
      {"ColorDrop", "Color Dropout"},                          // the dialog's
      {"ERR_BLANK_PAGE", "Stop scanning at the blank page."},  // the data source's
      {"Cancel", "Cancel"},                                    // both
  };
  for (const auto& [key, text] : rows) {
    ASSERT_EQ(table->count(key), 1u) << key;
    EXPECT_EQ(table->at(key), text) << key;
  }
}

// The bundle holds the colour resources for the scanner DeviceList.plist names: its device
// profile, the tone curves and its drop-out tables, so the data source's colour matching starts.
TEST(BundleLayout, TheColourResourcesOfTheSupportedScanner) {
  const std::filesystem::path resources = std::filesystem::path(FERROLITE_BUNDLE) / "Resources";
  const auto devices = foundation::readDictionaryFile(resources / "DeviceList.plist");
  ASSERT_TRUE(devices) << devices.error();
  std::vector<std::string> names;
  for (const std::string& vendor : devices->keys())
    if (auto products = devices->dictionary(vendor))
      for (const std::string& product : products->keys())
        if (auto name = products->string(product)) names.push_back(*name);
  ASSERT_FALSE(names.empty());
  const auto gamma = foundation::readDictionaryFile(resources / "DropGamma.plist");
  ASSERT_TRUE(gamma) << gamma.error();
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(std::filesystem::exists(resources / "icc" / (name + ".icc")));
    EXPECT_TRUE(gamma->dictionary(name));
    ferrolite::TezFRLImageProcess process;
    process.scannerName(name);
    EXPECT_TRUE(process.initalizeColorMatchLib(resources));
    EXPECT_TRUE(process.colorMatchReady());
  }
  EXPECT_TRUE(std::filesystem::exists(resources / "chromalis.krc"));
}

}  // namespace

namespace {

// A host that returns from main with the source still loaded (never unloading the module) ends
// like any other program: exit status 0 and its buffered output written, after only the identity
// and after a whole batch with the source left open; so does one that unloaded the module first
// (nothing of it may be left to run at the process's end).
TEST_F(Bundle, AHostExitsWithTheSourceLoaded) {
  struct Row {
    const char* mode;
    const char* printed;
  };
  const Row rows[] = {{"identity", "identity rc 0 Ferrolite"},
                      {"session", "session images 3 disabled 1"},
                      {"unloaded", "unloaded 0"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode);
    const testsupport::CommandRun run =
        testsupport::runCommand(std::string(EXIT_PROBE_PATH) + " " + row.mode + " " + bundle_);
    EXPECT_EQ(run.exit, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr(row.printed));
  }
}

}  // namespace
