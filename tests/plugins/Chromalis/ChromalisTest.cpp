// The colour-matching plug-in's three instances, loaded by name, with the shipped profiles.
#include <lcms2.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "plugins/Chromalis/Chromalis.h"
#include "tests/support/PluginTesting.h"
#include "tests/support/TestFolder.h"

namespace plugtest {
namespace {

struct Instance {
  ChromalisSetProfileFn setProfile;
  ChromalisSetIntentFn setIntent;
  ChromalisAdjustFn adjust;
  ChromalisConvertFn convert;
};

class ChromalisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lib.loaded());
    for (const char* suffix : {"", "_2nd", "_3rd"}) {
      auto bind = [&](const char* name) {
        return lib.entry<void*>((std::string(name) + suffix).c_str());
      };
      Instance i{reinterpret_cast<ChromalisSetProfileFn>(bind("KR_Icc_SetProfile")),
                 reinterpret_cast<ChromalisSetIntentFn>(bind("KR_Icc_SetIntent")),
                 reinterpret_cast<ChromalisAdjustFn>(bind("KR_Icc_Adjust")),
                 reinterpret_cast<ChromalisConvertFn>(bind("KR_Icc_Convert2"))};
      ASSERT_TRUE(i.setProfile && i.setIntent && i.adjust && i.convert) << suffix;
      instances.push_back(i);
    }
  }
  static std::string profile(const char* name) { return pluginDir() + "/icc/" + name + ".icc"; }

  Plugin lib{kChromalisLibraryName, RTLD_LAZY | RTLD_LOCAL};
  std::vector<Instance> instances;
};

// Every 15th level of each channel (4,913 colours) in one line.
std::vector<uint8_t> colourGrid() {
  std::vector<uint8_t> line;
  for (int r = 0; r < 256; r += 15)
    for (int g = 0; g < 256; g += 15)
      for (int b = 0; b < 256; b += 15)
        line.insert(line.end(), {uint8_t(r), uint8_t(g), uint8_t(b)});
  return line;
}

// sRGB as the device profile converts to itself within one level, with the intents and codes
// the data source uses, through each instance, in place.
TEST_F(ChromalisTest, SrgbDeviceProfileIsTheIdentityWithinOne) {
  const std::vector<uint8_t> grid = colourGrid();
  for (size_t n = 0; n < instances.size(); ++n) {
    ASSERT_EQ(instances[n].setProfile(profile("Test").c_str(), 0, 3, 0, 38), kChromalisOk);
    for (const auto& [intent, code] : {std::pair{0, 34}, {3, 38}, {3, 36}, {0, 10}}) {
      ASSERT_EQ(instances[n].setIntent(intent, 0, code), kChromalisOk);
      std::vector<uint8_t> line = grid;
      ASSERT_EQ(instances[n].convert(line.data(), line.data(), int32_t(line.size() / 3)),
                kChromalisOk);
      int worst = 0;
      for (size_t i = 0; i < line.size(); ++i) worst = std::max(worst, std::abs(line[i] - grid[i]));
      EXPECT_LE(worst, 1) << "instance " << n << " intent " << intent;
    }
  }
}

// Each instance keeps its own profile and curves; a wide-gamut device moves saturated colours
// and keeps white and the greys neutral.
TEST_F(ChromalisTest, InstancesAreIndependent) {
  ASSERT_EQ(instances[0].setProfile(profile("Test").c_str(), 0, 3, 0, 38), kChromalisOk);
  ASSERT_EQ(instances[1].setProfile(profile("TestWide").c_str(), 0, 0, 0, 38), kChromalisOk);
  uint8_t curve[256];
  for (int i = 0; i < 256; ++i) curve[i] = uint8_t(255 - i);
  ASSERT_EQ(instances[2].setProfile(profile("Test").c_str(), 0, 0, 0, 38), kChromalisOk);
  ASSERT_EQ(instances[2].adjust(0, 0, 0, curve, curve, curve, 256), kChromalisOk);
  const uint8_t in[] = {60, 180, 90, 128, 128, 128, 255, 255, 255};
  uint8_t out[3][9];
  for (int n = 0; n < 3; ++n) ASSERT_EQ(instances[size_t(n)].convert(in, out[n], 3), kChromalisOk);
  EXPECT_LE(std::abs(out[0][1] - 180), 1);
  EXPECT_GT(std::abs(out[1][0] - out[0][0]) + std::abs(out[1][1] - out[0][1]) +
                std::abs(out[1][2] - out[0][2]),
            30)  // the wide device's green is more saturated in sRGB
      << int(out[1][0]) << "," << int(out[1][1]) << "," << int(out[1][2]);
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(out[1][3 + c], out[1][3], 2);  // grey stays grey
    EXPECT_GE(out[1][6 + c], 253);             // white stays white
    EXPECT_LE(out[2][6 + c], 1);               // the third instance's curve inverts
  }
}

// The shipped tone curves: a custom block applied before the identity profile.
TEST_F(ChromalisTest, ToneCurvesComeFirst) {
  std::ifstream f(pluginDir() + "/chromalis.krc", std::ios::binary);
  std::vector<uint8_t> blocks((std::istreambuf_iterator<char>(f)),
                              std::istreambuf_iterator<char>());
  ASSERT_GE(blocks.size(), 4u * 256);
  const uint8_t* curve = blocks.data() + 3 * 256;
  ASSERT_EQ(instances[0].setProfile(profile("Test").c_str(), 0, 3, 0, 38), kChromalisOk);
  ASSERT_EQ(instances[0].adjust(0, 0, 0, curve, curve, curve, 256), kChromalisOk);
  std::vector<uint8_t> line;
  for (int v = 0; v < 256; ++v) line.insert(line.end(), {uint8_t(v), uint8_t(v), uint8_t(v)});
  std::vector<uint8_t> out(line.size());
  ASSERT_EQ(instances[0].convert(line.data(), out.data(), 256), kChromalisOk);
  for (int v = 0; v < 256; ++v) EXPECT_LE(std::abs(out[size_t(3 * v)] - curve[v]), 1) << v;
  EXPECT_EQ(instances[0].adjust(0, 0, 0, curve, curve, curve, 255), kChromalisFailed);
}

// A profile that cannot be used answers the failure value; the instance converts nothing then.
TEST_F(ChromalisTest, UnusableProfilesAreRefused) {
  const std::string dir = testsupport::freshTestFolder("chromalis").string();
  const std::string junk = dir + "/chromalis-junk.icc", grey = dir + "/chromalis-grey.icc";
  std::ofstream(junk) << "not a profile";
  cmsToneCurve* g = cmsBuildGamma(nullptr, 2.2);
  cmsHPROFILE p = cmsCreateGrayProfile(cmsD50_xyY(), g);
  ASSERT_TRUE(cmsSaveProfileToFile(p, grey.c_str()));
  cmsCloseProfile(p);
  cmsFreeToneCurve(g);
  for (const std::string& path : {profile("Missing"), junk, grey}) {
    EXPECT_EQ(instances[0].setProfile(path.c_str(), 0, 3, 0, 38), kChromalisFailed) << path;
    uint8_t line[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(instances[0].convert(line, line, 2), kChromalisFailed);
    EXPECT_EQ(line[5], 6);
    EXPECT_EQ(instances[0].setIntent(0, 0, 34), kChromalisFailed);
  }
  EXPECT_EQ(instances[0].setProfile(nullptr, 0, 3, 0, 38), kChromalisFailed);
  // A line of one pixel, and of none.
  ASSERT_EQ(instances[0].setProfile(profile("Test").c_str(), 0, 3, 0, 38), kChromalisOk);
  uint8_t one[3] = {10, 20, 30};
  EXPECT_EQ(instances[0].convert(one, one, 1), kChromalisOk);
  EXPECT_EQ(instances[0].convert(one, one, 0), kChromalisOk);
  EXPECT_EQ(lib.entry<uint32_t (*)()>("LibraryCurrentVersion")(), 0x00010000u);
}

}  // namespace
}  // namespace plugtest
