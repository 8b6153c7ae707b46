// User defaults: the file per application, typed reads, write-through, and where the file lives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/foundation/UserDefaults.h"
#include "tests/support/TestFolder.h"

namespace {

using namespace foundation;
namespace fs = std::filesystem;

constexpr const char* kApp = "org.example.ferrolite-scanner";

TEST(UserDefaults, KeepsValuesForTheNextRun) {
  fs::path folder = testsupport::freshTestFolder("defaults") / "config";
  {
    UserDefaults defaults(kApp, folder);
    EXPECT_EQ(defaults.loadError(), "");
    EXPECT_EQ(defaults.real("gamma").status(), Found::missing);
    EXPECT_EQ(defaults.real("gamma").valueOr(1.8), 1.8);
    ASSERT_TRUE(defaults.set("gamma", 2.2)) << "makes the folder";
    ASSERT_TRUE(defaults.set("last_crop", false));
    ASSERT_TRUE(defaults.set("name", "x"));
    EXPECT_EQ(defaults.file(), folder / (std::string(kApp) + ".plist"));
  }
  UserDefaults again(kApp, folder);
  EXPECT_DOUBLE_EQ(*again.real("gamma"), 2.2);
  EXPECT_EQ(again.boolean("last_crop").status(), Found::yes);
  EXPECT_FALSE(*again.boolean("last_crop"));
  EXPECT_EQ(again.real("name").status(), Found::otherKind);
  EXPECT_EQ(*again.object("name"), Value("x"));
  EXPECT_FALSE(again.object("absent"));
  ASSERT_TRUE(again.remove("name"));
  EXPECT_FALSE(UserDefaults(kApp, folder).object("name"));
  // Another application keeps its own file.
  EXPECT_FALSE(UserDefaults("org.example.other", folder).object("gamma"));
}

TEST(UserDefaults, AnUnreadableFileStartsEmptyAndSaysWhy) {
  fs::path folder = testsupport::freshTestFolder("defaults-bad");
  std::ofstream(folder / (std::string(kApp) + ".plist")) << "not a property list";
  UserDefaults defaults(kApp, folder);
  EXPECT_NE(defaults.loadError().find("is not a property list"), std::string::npos)
      << defaults.loadError();
  EXPECT_EQ(defaults.real("gamma").status(), Found::missing);
  ASSERT_TRUE(defaults.set("gamma", 1.0));
  EXPECT_DOUBLE_EQ(*UserDefaults(kApp, folder).real("gamma"), 1.0);

  fs::path blocked = folder / "blocked";
  std::ofstream(blocked) << "a file where the folder should be";
  UserDefaults nowhere(kApp, blocked / "config");
  Status s = nowhere.set("gamma", 1.0);
  EXPECT_FALSE(s);
  EXPECT_NE(s.error().find("blocked"), std::string::npos) << s.error();
}

TEST(UserDefaults, TheFolderFollowsTheXdgRules) {
  setenv("HOME", "/home/someone", 1);
  setenv("XDG_CONFIG_HOME", "/elsewhere/config", 1);
  EXPECT_EQ(UserDefaults::defaultFolder(), "/elsewhere/config");
  setenv("XDG_CONFIG_HOME", "relative/config", 1);  // ignored: not absolute
  EXPECT_EQ(UserDefaults::defaultFolder(), "/home/someone/.config");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(UserDefaults::defaultFolder(), "/home/someone/.config");
  EXPECT_EQ(UserDefaults(kApp).file(), "/home/someone/.config/" + std::string(kApp) + ".plist");
}

}  // namespace
