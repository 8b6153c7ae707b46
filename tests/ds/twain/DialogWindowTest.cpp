// The data source's dialog where no window can be shown: the session's factory finds no display
// or no toolkit adapter, and the enable then takes the headless dialog when a headless script is
// named, else fails with a log line and leaves the source open. No toolkit is linked here.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <optional>
#include <string>

#include "OpenSupport.h"
#include "ds/twain/SessionDialog.h"

namespace {

using dstest::gSource;
namespace fs = std::filesystem;

// An environment variable taken away for a test and given back after it.
class Unset {
 public:
  explicit Unset(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) value_ = v;
    unsetenv(name);
  }
  ~Unset() {
    if (value_) setenv(name_, value_->c_str(), 1);
  }

 private:
  const char* name_;
  std::optional<std::string> value_;
};

class DialogWindow : public dstest::OpenSourceTest {
 protected:
  void SetUp() override {
    dstest::OpenSourceTest::SetUp();
    ferrolite::replaceDSFactory(&factory_);
    writeDebugConf("DebugLevel 1\n");
  }
  void TearDown() override {
    dstest::OpenSourceTest::TearDown();
    ferrolite::replaceDSFactory(nullptr);
    ui::headless::Journal::shared().reset();
  }
  bool logHas(const std::string& part) const {
    for (const std::string& line : twainLogLines())
      if (line.find(part) != std::string::npos) return true;
    return false;
  }

  Unset display_{"DISPLAY"}, wayland_{"WAYLAND_DISPLAY"}, script_{ui::headless::kScriptVariable};
  ferrolite::SessionFactory factory_;
};

TEST_F(DialogWindow, WithoutADisplayOrAScriptTheEnableFailsCleanly) {
  ui::headless::Journal::shared().reset();
  ASSERT_FALSE(ui::headless::Journal::shared().scriptNamed());
  Open();
  // The open itself needs no window.
  EXPECT_EQ(gSource->mainDialog, nullptr);
  const twainhost::Answer refused = host.EnableDs(true);
  EXPECT_EQ(refused.rc, TWRC_FAILURE);
  EXPECT_EQ(refused.cc, TWCC_OPERATIONERROR);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_OPEN);
  EXPECT_EQ(gSource->mainDialog, nullptr);
  EXPECT_TRUE(logHas("no window can be shown")) << "no log line for the refused enable";
  // Interface-only mode needs the window just the same.
  EXPECT_EQ(host.EnableDsUiOnly().rc, TWRC_FAILURE);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_OPEN);

  // Once a script is named, the headless dialog serves the next enable.
  ui::headless::Journal::shared().scriptAction(ui::headless::UserAction::kWait);
  ASSERT_TRUE(host.EnableDs(true).ok()) << host.DescribeJournal();
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  ASSERT_NE(gSource->mainDialog, nullptr);
  EXPECT_EQ(ferrolite::headlessCopies().source, gSource.get());
  EXPECT_EQ(ferrolite::headlessCopies().title, "SIMVENDOR SIM-ADF300");
  ASSERT_TRUE(host.DisableDs().ok());
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_OPEN);
}

TEST_F(DialogWindow, AScriptNamedByTheEnvironmentGetsTheHeadlessDialog) {
  const fs::path script = fs::path(settingsFile()).parent_path() / "ui-script.txt";
  std::ofstream(script) << "# the user waits\naction wait\n";
  setenv(ui::headless::kScriptVariable, script.c_str(), 1);
  ui::headless::Journal::shared().reset();
  EXPECT_TRUE(ui::headless::Journal::shared().scriptNamed());
  Open();
  ASSERT_TRUE(host.EnableDs(true).ok()) << host.DescribeJournal();
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  EXPECT_EQ(ferrolite::headlessCopies().source, gSource.get());
  EXPECT_TRUE(logHas("the headless script serves"));
  ASSERT_TRUE(host.DisableDs().ok());
  unsetenv(ui::headless::kScriptVariable);
}

}  // namespace
