// The built module negotiates as the Linux manager loads it: capabilities, the image layout and
// the custom operation answer through the real DS_Entry, and every block handed over is freed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "tests/ds/twain/SimulatedScanner.h"
#include "tests/support/TestFolder.h"
#include "tools/twain/Host.h"

namespace {

using twainhost::Container;

TEST(NegotiationBundle, TheLoadedModuleNegotiates) {
  const std::filesystem::path root = testsupport::freshTestFolder("ferrolite-negotiation");
  std::filesystem::create_directories(root / "DrvLog");
  setenv("VANTREL_LOG_ROOT", (root / "DrvLog").c_str(), 1);
  std::string error;
  const std::string bundle = twainhost::CopyBundle(FERROLITE_BUNDLE, root.string(), &error);
  ASSERT_FALSE(bundle.empty()) << error;
  dstest::useSimulatedScanner(std::filesystem::path(bundle) / "Resources");
  {
    twainhost::Host host;
    ASSERT_TRUE(host.OpenManager(bundle, &error)) << error;
    ASSERT_TRUE(host.OpenSource().ok()) << host.DescribeJournal();

    const auto caps = host.Capability(MSG_GET, CAP_SUPPORTEDCAPS);
    ASSERT_TRUE(caps.ok());
    EXPECT_EQ(caps.value.conType, TWON_ARRAY);
    EXPECT_EQ(caps.value.Count(), 32u);
    EXPECT_EQ(caps.value.Value(28), CAP_KRMULTISTREAM);

    ASSERT_TRUE(host.SetCapability(ICAP_XFERMECH, Container::OneValue(TWTY_UINT16, 2)).ok());
    EXPECT_EQ(host.Capability(MSG_GETCURRENT, ICAP_XFERMECH).value.Value(), TWSX_MEMORY);
    EXPECT_EQ(host.Capability(MSG_GET, 0x1234).cc, TWCC_BADCAP);

    const auto layout = host.Layout(MSG_GETDEFAULT);
    ASSERT_TRUE(layout.ok());
    EXPECT_EQ(layout.value.right, 8.5);
    EXPECT_EQ(layout.value.bottom, 11.0);
    EXPECT_TRUE(host.Custom(MSG_GET).ok());

    ASSERT_TRUE(host.CloseSource().ok()) << host.DescribeJournal();
    EXPECT_EQ(host.liveBlocks(), 0u);
    for (const std::string& fault : host.faults()) ADD_FAILURE() << "host: " << fault;
  }
  std::filesystem::remove_all(root);
}

}  // namespace
