// The session's factory where no window can be shown (no toolkit adapter in the bundle): the
// progress window of a batch falls back to the headless one, whose script plays the user, and no
// dialog or UI thread is made for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "TransferSupport.h"
#include "ds/twain/SessionDialog.h"
#include "ds/twain/TezFRLDialogBox.h"
#include "platform/ui/Headless.h"

namespace {

using dstest::gSource;
using dstest::Image;
using dstest::Mechanism;
using ui::headless::Journal;

class DialogBoxFallback : public dstest::TransferTest {
 protected:
  void SetUp() override {
    dstest::TransferTest::SetUp();
    ferrolite::replaceDSFactory(&factory_);
  }
  void TearDown() override {
    dstest::TransferTest::TearDown();
    ferrolite::replaceDSFactory(nullptr);
    Journal::shared().reset();
  }
  static long journalCount(const std::string& call, const std::string& text) {
    const auto entries = Journal::shared().entries();
    return std::count_if(entries.begin(), entries.end(), [&](const ui::headless::Entry& e) {
      return e.window == ferrolite::kDialogBoxName && e.call == call && e.text == text;
    });
  }

  ferrolite::SessionFactory factory_;
};

TEST_F(DialogBoxFallback, WithoutAWindowTheHeadlessProgressWindowServesAndItsCancelEndsTheBatch) {
  OpenSmall();
  Journal::shared().scriptCancelAtImage(2);
  const std::vector<Image> images = Scan(Mechanism::kMemory);
  ASSERT_EQ(images.size(), 2u) << host.DescribeJournal();
  EXPECT_EQ(images[0].transferResult, TWRC_XFERDONE);
  EXPECT_EQ(images[1].transferResult, TWRC_CANCEL);
  EXPECT_EQ(images[1].pendingCount, 0);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  EXPECT_EQ(gSource->mainDialog, nullptr) << "no dialog where none can be shown";
  EXPECT_GE(journalCount("indicatorWindow visible", "yes"), 1);
  EXPECT_EQ(journalCount("textTransferring text", "Image 2 transferring"), 1);
  EXPECT_EQ(journalCount("user", ferrolite::kCancelButtonOutlet.data()), 1);
  ASSERT_TRUE(host.DisableDs().ok());
  ASSERT_TRUE(host.CloseSource().ok());
  EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
}

}  // namespace
