// The host in the exported mode: no entry point is handed over, the source finds the program's
// DSM_Entry itself and allocates with calloc; the application frees what it is given.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "HostFixture.h"

namespace {

class Exported : public hosttest::SampleBundle {
 protected:
  Exported() : SampleBundle(twainhost::EntryMode::kExported) {}
};

TEST_F(Exported, TheSourceFindsTheProgramsManagerEntry) {
  ASSERT_EQ(dlsym(RTLD_DEFAULT, "DSM_Entry"), reinterpret_cast<void*>(&DSM_Entry));
  Open();
  EXPECT_FALSE(host.entryPointPushed());
  for (const auto& e : host.journal()) EXPECT_NE(e.dat, DAT_ENTRYPOINT);
  const auto probe = AskProbe();
  EXPECT_EQ(probe.entryPointAtOpen, 0u);
  EXPECT_EQ(probe.managerFound, 1u);

  ASSERT_TRUE(host.EnableDs(false).ok());
  EXPECT_EQ(AskPost(MSG_CLOSEDSREQ), TWRC_SUCCESS);
  const auto messages = host.TakeMessages();
  ASSERT_EQ(messages.size(), 2u);
  for (const auto& m : messages) {
    EXPECT_EQ(m.origin.id, twainhost::kSourceId);
    EXPECT_EQ(m.destination.Write().vector(), host.application().Write().vector());
  }
  // Blocks of calloc, not of the manager: read and freed all the same; the allocator may have
  // rounded the size up.
  const auto native = host.NativeXfer().value;
  ASSERT_GE(native.size(), sizeof samplesource::kNativeBlock);
  EXPECT_TRUE(std::equal(std::begin(samplesource::kNativeBlock),
                         std::end(samplesource::kNativeBlock), native.begin()));
  EXPECT_EQ(host.Capability(MSG_GET, ICAP_PIXELTYPE).value.Count(), 3u);
  ASSERT_TRUE(host.DisableDs().ok());
  ASSERT_TRUE(host.CloseSource().ok());
  EXPECT_FALSE(twainhost::Host::IsResident(host.modulePath()));
}

}  // namespace
