#pragma once
// The image plug-in opened as the front ends open it, with every entry bound.
#include <cstdlib>

#include "plugins/Lumetra/Lumetra.h"
#include "tests/support/PluginTesting.h"

namespace plugtest {

// The resolution of the plug-in tests' drawn pages.
constexpr int kDpi = 150;

struct Lumetra {
  Plugin lib{kLumetraLibraryName};
  LumetraInitializeLibFn InitializeLib = lib.entry<LumetraInitializeLibFn>("InitializeLib");
  LumetraTerminateLibFn TerminateLib = lib.entry<LumetraTerminateLibFn>("TerminateLib");
  LumetraIdentifyProductSettingFn IdentifyProductSetting =
      lib.entry<LumetraIdentifyProductSettingFn>("IdentifyProductSetting");
  LumetraFreeMemoryFn FreeMemory = lib.entry<LumetraFreeMemoryFn>("FreeMemory");
  LumetraJpegCropFn JpegCrop = lib.entry<LumetraJpegCropFn>("JpegCrop");
  LumetraProcessFn process(const char* name) const { return lib.entry<LumetraProcessFn>(name); }
};

class LumetraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lm.lib.loaded());
    ASSERT_EQ(lm.InitializeLib(), 0);
  }
  void TearDown() override { lm.TerminateLib(); }

  // Runs a producing entry; the output as a page (empty when it failed).
  Page produce(const char* entry, Page& in, NIDATA& ni, long* status, void* extra = nullptr) {
    void* out = nullptr;
    const long msg = lm.process(entry)(in.data.data(), &out, &ni, extra, status);
    if (msg != 0) {
      EXPECT_EQ(out, nullptr);
      return Page();
    }
    EXPECT_NE(out, nullptr);
    Page p = pageFromOutput(out, ni, in.bits);
    lm.FreeMemory(out);
    return p;
  }

  // Runs an in-place entry on the page's own buffer.
  long inPlace(const char* entry, Page& in, NIDATA& ni, long* status, void* extra = nullptr) {
    void* buffer = in.data.data();
    return lm.process(entry)(in.data.data(), &buffer, &ni, extra, status);
  }

  // The page in its four quarter turns through automatic orientation: each comes back upright,
  // or, where `mustTurn` is false (the orientation may not be clear), as it went in.
  void expectUprightOrLeftAlone(const Page& upright, int dpi, bool mustTurn) {
    for (int quarters : {0, 1, 2, 3}) {
      SCOPED_TRACE(testing::Message() << "turned " << quarters * 90);
      Page turned = turnClockwise(upright, quarters);
      NIDATA ni = recordFor(turned, dpi);
      long status = -1;
      const Page out = produce("AutoOrientation", turned, ni, &status);
      ASSERT_EQ(status, 0);
      const bool isUpright = out.width == upright.width && out.data == upright.data;
      const bool leftAlone = out.width == turned.width && out.data == turned.data;
      if (mustTurn)
        EXPECT_TRUE(isUpright);
      else
        EXPECT_TRUE(isUpright || leftAlone);
    }
  }

  Lumetra lm;
};

}  // namespace plugtest
