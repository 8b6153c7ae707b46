#pragma once
// A copy of the sample bundle in a folder of the test's own, a host over it, and the sample
// source's test-only triplets. Every test ends with the host reporting no fault, unless the test
// took the faults it provoked.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "SampleSource.h"
#include "tests/support/TestFolder.h"
#include "tools/twain/Host.h"

namespace hosttest {

class SampleBundle : public ::testing::Test {
 protected:
  explicit SampleBundle(twainhost::EntryMode mode = twainhost::EntryMode::kPushed) : host(mode) {}

  void SetUp() override {
    unsetenv(samplesource::kFaultsVariable);
    folder = testsupport::freshTestFolder("twainhost");
    std::string error;
    bundle = twainhost::CopyBundle(SAMPLE_BUNDLE, folder.string(), &error);
    ASSERT_FALSE(bundle.empty()) << error;
  }

  void TearDown() override {
    EXPECT_TRUE(host.faults().empty()) << Faults();
    unsetenv(samplesource::kFaultsVariable);
    std::filesystem::remove_all(folder);
  }

  std::string Faults() const {
    std::string s;
    for (const std::string& f : host.faults()) s += f + "\n";
    return s;
  }

  // Opens the manager on the copy and the source, as an application does first.
  void Open() {
    std::string error;
    ASSERT_TRUE(host.OpenManager(bundle, &error)) << error;
    const twainhost::Answer a = host.OpenSource();
    ASSERT_EQ(a.rc, TWRC_SUCCESS) << host.DescribeJournal() << Faults();
  }

  struct Probe {
    uint32_t entryPointAtOpen, managerFound, constructions, lastPost;
  };
  Probe AskProbe() {
    twainhost::Bytes record(samplesource::kProbeSize);
    EXPECT_TRUE(host.Call(DG_CONTROL, samplesource::kDatProbe, MSG_GET, record.data()).ok());
    return Probe{record.u32(samplesource::kProbeEntryPointAtOpen),
                 record.u32(samplesource::kProbeManagerFound),
                 record.u32(samplesource::kProbeConstructions),
                 record.u32(samplesource::kProbeLastPost)};
  }
  // The sample source posts `message` to the application; the manager's answer.
  uint16_t AskPost(uint16_t message) {
    twainhost::Bytes record(2);
    record.setU16(0, message);
    return host.Call(DG_CONTROL, samplesource::kDatPost, MSG_SET, record.data()).rc;
  }

  twainhost::Host host;
  std::filesystem::path folder;
  std::string bundle;
};

}  // namespace hosttest
