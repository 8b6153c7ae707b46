// The plug-in as both front ends load it: by file name, with either binding, every entry they
// look up present.
#include "tests/plugins/Lumetra/LumetraFixture.h"

namespace plugtest {
namespace {

TEST(LumetraLoad, EveryEntryTheFrontEndsBindIsThereWithEitherBinding) {
  const char* dataSource[] = {"InitializeLib",
                              "TerminateLib",
                              "GrayQuality",
                              "DeskewCrop",
                              "AdvColorDrop",
                              "EdgeCleanup",
                              "AutoColorDetection",
                              "BlankPageDetection",
                              "AutoOrientation",
                              "PunchHoleRemoval",
                              "DoDespeckle",
                              "Merge2Side",
                              "DeskewCropCont",
                              "GetDeskewCropContImage",
                              "lThreshold",
                              "SetDebugMode",
                              "IdentifyProductSetting",
                              "PatchCode",
                              "BackgroundProcess",
                              "FreeMemory",
                              "AdvColorDrop2",
                              "JpegCrop",
                              "GetMultipleImage"};
  const char* deviceModule[] = {"InitializeLib",
                                "DeskewCrop",
                                "AutoColorDetection",
                                "BlankPageDetection",
                                "IdentifyProductSetting",
                                "AutoOrientation",
                                "AdvColorKeep",
                                "AdvColorDrop2",
                                "FreeMemory",
                                "TerminateLib"};
  {
    Plugin lazy(kLumetraLibraryName, RTLD_LAZY | RTLD_LOCAL);
    for (const char* name : dataSource) EXPECT_NE(lazy.entry<void*>(name), nullptr) << name;
  }
  Plugin now(kLumetraLibraryName, RTLD_NOW | RTLD_LOCAL);
  for (const char* name : deviceModule) EXPECT_NE(now.entry<void*>(name), nullptr) << name;
  EXPECT_EQ(now.entry<LibraryCurrentVersionFn>("LibraryCurrentVersion")(), 0x00010000u);
}

// Starts nest; the product id call answers success; the never-called entries say so.
TEST(LumetraLoad, StartsNestAndTheProductIdIsTaken) {
  Lumetra lm;
  ASSERT_EQ(lm.InitializeLib(), 0);
  ASSERT_EQ(lm.InitializeLib(), 0);
  long status = -1;
  EXPECT_EQ(lm.IdentifyProductSetting("0A2B0C3D", 0, &status), 0);
  EXPECT_EQ(status, 0);
  Page page(10, 10, 8);
  NIDATA ni = recordFor(page, 100);
  void* out = nullptr;
  EXPECT_EQ(lm.process("DeskewCropCont")(page.data.data(), &out, &ni, nullptr, &status),
            kLumetraMsgNotSupported);
  EXPECT_EQ(lm.TerminateLib(), 0);
  EXPECT_EQ(lm.TerminateLib(), 0);
  EXPECT_EQ(lm.FreeMemory(nullptr), 0);
}

}  // namespace
}  // namespace plugtest
