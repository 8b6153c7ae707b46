// A batch in a host that runs its own Qt application (offscreen): the host's thread is the UI
// thread, so the continue window's session runs on the host's thread, and the countdown's calls,
// posted to the source's queue, still reach the window and end its session.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThreadPool>
#include <QWidget>
#include <algorithm>
#include <string>
#include <vector>

#include "WindowedTransfer.h"
#include "ds/dialog/frame/DialogSession.h"
#include "tests/support/QtHostApplication.h"

namespace {

[[maybe_unused]] ::testing::Environment* const gQtHost =
    ::testing::AddGlobalTestEnvironment(new testsupport::QtHostApplication("progress-host-test"));

using dstest::gSource;
using dstest::Mechanism;

class DialogProgressInQtHost : public dstest::WindowedTransferTest {
 protected:
  void SetUp() override {
    // The host's application starts its own threads with its first window; they are the host's,
    // so they run before the source is counted.
    {
      QWidget first;
      first.show();
      QCoreApplication::processEvents();
    }
    dstest::WindowedTransferTest::SetUp();
  }
};

TEST_F(DialogProgressInQtHost, TheCountdownEndsTheContinueWindowOnTheHostsOwnUiThread) {
  OpenSmall();
  gSource->scanSetting.wTransportTimeout = 3;
  const std::vector<dstest::Image> images = Scan(Mechanism::kMemory);
  ASSERT_EQ(images.size(), 3u) << host.DescribeJournal();
  EXPECT_EQ(images.back().pendingCount, 0);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  ASSERT_NE(gSource->mainDialog, nullptr);
  ferrolite::TezFRLDialogBox* box = ferrolite::sessionDialogBox(*gSource->mainDialog);
  ASSERT_NE(box, nullptr) << "the real windows, on this thread";
  EXPECT_TRUE(ferrolite::dialogSession(*gSource->mainDialog)->host().queue().onUiThread());
  EXPECT_FALSE(box->transportWindow().isVisible());
  EXPECT_EQ(journalTexts("textTimeRemain text"),
            (std::vector<std::string>{"Time remaining 3", "Time remaining 2", "Time remaining 1",
                                      "Time remaining 0"}));
  EXPECT_EQ(journalTexts("transportWindow visible"), (std::vector<std::string>{"yes", "no"}));
  EXPECT_TRUE(host.DisableDs().ok());
  // Qt's pooled threads are the host application's: they go before the host counts the source's.
  QThreadPool::globalInstance()->waitForDone();
  EXPECT_TRUE(host.CloseSource().ok());
}

}  // namespace
