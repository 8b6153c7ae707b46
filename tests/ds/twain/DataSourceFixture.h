#pragma once
// A data-source object linked into the test, in folders of the test's own: the log folder
// (VANTREL_LOG_ROOT, with "Debug.conf") and a bundle folder laid out as the build lays out
// Ferrolite/ (Info.plist, Resources/DSDebug.plist), where the settings files go. The object is
// reached directly, or through the host core as a module would be (InProcessEntry).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/twain/HeadlessDialog.h"
#include "ds/twain/Options.h"
#include "ds/twain/TezFRLDS.h"
#include "platform/foundation/PropertyList.h"
#include "platform/twain/Source.h"
#include "tests/ds/scan/common/CommonTestSupport.h"
#include "tests/ds/twain/SimulatedScanner.h"
#include "tests/support/Patience.h"
#include "tests/support/TestFolder.h"

namespace dstest {

// The object that InProcessEntry reaches.
inline std::unique_ptr<ferrolite::TezFRLDS> gSource;

inline TW_UINT16 InProcessDispatch(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                   TW_MEMREF data) {
  if (!gSource) return TWRC_FAILURE;
  return gSource->dsEntry(origin, dg, dat, msg, data);
}
inline void InProcessCondition(TW_UINT16 conditionCode) {
  ferrolite::gConditionCode = conditionCode;
}

// DS_Entry of the object in gSource, as the module's entry does it.
inline TW_UINT16 InProcessEntry(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                TW_MEMREF data) {
  static constexpr twain::SourceHooks kHooks{InProcessDispatch, InProcessCondition};
  return twain::EnterSource(kHooks, origin, dg, dat, msg, data);
}

class DataSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testsupport::freshTestFolder(
        std::string("ds-twain-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    logFolder_ = root_ / "DrvLog";
    bundle_ = root_ / "Ferrolite";
    std::filesystem::create_directories(logFolder_);
    std::filesystem::create_directories(bundle_ / "Resources");
    std::filesystem::copy_file(VT_DS_DEBUG_NAMES, bundle_ / "Resources" / "DSDebug.plist");
    std::filesystem::copy_file(FERROLITE_INFO_PLIST, bundle_ / "Info.plist");
    setenv("VANTREL_LOG_ROOT", logFolder_.c_str(), 1);
    useSimulatedScanner(bundle_ / "Resources");
    twain::ForgetManagerEntryPoint();
    // The headless windows, whatever the process can show.
    ferrolite::replaceDSFactory(&headless_);
  }
  void TearDown() override {
    gSource.reset();
    ferrolite::replaceDSFactory(nullptr);
    ferrolite::gKrCommon.reset();
    twain::ForgetManagerEntryPoint();
    std::filesystem::remove_all(root_);
  }

  // A new object over the folders, as the module's load makes it.
  ferrolite::TezFRLDS& makeSource() {
    gSource.reset();
    gSource = std::make_unique<ferrolite::TezFRLDS>(bundle_);
    return *gSource;
  }

  void writeText(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  void writeDebugConf(const std::string& text) { writeText(logFolder_ / "Debug.conf", text); }
  void writePlist(const std::filesystem::path& file, const foundation::Dictionary& top) {
    ASSERT_TRUE(foundation::writePropertyList(file, foundation::Value(top)).ok());
  }
  foundation::Dictionary readPlist(const std::filesystem::path& file) {
    auto read = foundation::readDictionaryFile(file);
    EXPECT_TRUE(read.ok()) << file;
    return read ? *read : foundation::Dictionary{};
  }
  std::filesystem::path settingsFile() const { return bundle_ / "krscan.plist"; }
  std::filesystem::path profileFile() const { return bundle_ / "profile.plist"; }
  std::vector<std::string> twainLogLines() const {
    return ferrolite_test::logLines(logFolder_ / "twainlog.txt");
  }

  std::filesystem::path root_, logFolder_, bundle_;
  ferrolite::HeadlessFactory headless_;
};

}  // namespace dstest

#include "tools/twain/Host.h"

namespace dstest {

// The object reached through the host core's manager and application, in either of the
// manager's modes. Every test ends with the source closed and the host reporting no fault.
class HostedSourceTest : public DataSourceTest {
 protected:
  explicit HostedSourceTest(twainhost::EntryMode mode = twainhost::EntryMode::kPushed)
      : host(mode) {}

  void TearDown() override {
    if (host.sessionLoaded() && gSource) {
      gSource->mCurrentState = TWAIN_STATE_OPEN;
      EXPECT_TRUE(host.CloseSource().ok()) << host.DescribeJournal();
    }
    for (const std::string& fault : host.faults()) ADD_FAILURE() << "host: " << fault;
    DataSourceTest::TearDown();
  }

  // Makes the object, opens the manager on it and the source (state 40).
  void Open() {
    makeSource();
    std::string error;
    ASSERT_TRUE(host.OpenManagerInProcess(InProcessEntry, &error)) << error;
    ASSERT_TRUE(host.OpenSource().ok()) << host.DescribeJournal();
  }

  // The messages the source sent, once at least `count` have come: the source sends them from a
  // thread of its own after the call that caused them has returned, never from inside a call.
  std::deque<twainhost::ManagerMessage> Messages(size_t count) {
    EXPECT_TRUE(host.WaitForMessages(count, testsupport::kPatience))
        << "expected " << count << " message(s), " << host.pendingMessages() << " came";
    // The thread that sent them has ended too: tests count the threads after a batch.
    if (gSource) EXPECT_TRUE(gSource->poster.waitUntilSent(testsupport::kPatience));
    std::deque<twainhost::ManagerMessage> messages = host.TakeMessages();
    for (const twainhost::ManagerMessage& m : messages) {
      EXPECT_FALSE(m.duringCall) << "message " << m.message
                                 << " came while a call of the application was inside";
    }
    return messages;
  }
  // Drops what the source sent so far, once what it still held has left.
  void DropMessages() {
    if (gSource) EXPECT_TRUE(gSource->poster.waitUntilSent(testsupport::kPatience));
    host.TakeMessages();
  }
  // True when nothing was sent and nothing is on its way.
  bool NoMessage() {
    // What is still held is looked at first: a message leaves the poster before it is queued here.
    const bool nothingHeld = !gSource || gSource->poster.pending() == 0;
    return nothingHeld && host.TakeMessages().empty();
  }

  twainhost::Host host;
};

}  // namespace dstest
