// A batch that empties the feeder with a transport time-out set: the continue-scanning window's
// countdown watches the feeder while the application waits in MSG_ENDXFER. Paper put in while it
// counts goes on with more images; without paper the batch ends once the countdown has run out.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "TransferSupport.h"
#include "ds/twain/TezFRLDialogBox.h"
#include "platform/ui/Headless.h"
#include "tests/support/Patience.h"

namespace {

using dstest::gSource;
using dstest::Mechanism;
using ui::headless::Journal;

std::vector<std::string> journalTexts(const std::string& call) {
  std::vector<std::string> texts;
  for (const auto& e : Journal::shared().entries()) {
    if (e.window == ferrolite::kDialogBoxName && e.call == call) texts.push_back(e.text);
  }
  return texts;
}

class TransportBatch : public dstest::TransferTest {};

TEST_F(TransportBatch, PaperPutInWhileTheWindowCountsGoesOnWithMoreImages) {
  OpenSmall();
  gSource->scanSetting.wTransportTimeout = 500;  // ten seconds at the tests' shortened second
  // The first window waits for the paper; at the second the user gives up.
  Journal::shared().scriptTransport(ui::headless::TransportAction::kWait);
  Journal::shared().scriptTransport(ui::headless::TransportAction::kCancel);
  // The user loads two sheets once the window shows its countdown.
  std::thread user([this] {
    const auto deadline = std::chrono::steady_clock::now() + testsupport::kPatience;
    while (journalTexts("textTimeRemain text").empty() &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    scanner().LoadSheets(2);
  });
  const std::vector<dstest::Image> images = Scan(Mechanism::kMemory);
  user.join();
  ASSERT_GE(images.size(), 3u);
  EXPECT_EQ(images[2].pendingCount, 0xFFFF);  // the third sheet's image: the batch goes on
  EXPECT_EQ(images.size(), 5u);
  EXPECT_EQ(images.back().pendingCount, 0);
  for (const dstest::Image& image : images) EXPECT_EQ(image.transferResult, TWRC_XFERDONE);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  // The window came for the emptied feeder twice: once refilled, once cancelled.
  const std::vector<std::string> shown = journalTexts("transportWindow visible");
  EXPECT_EQ(std::count(shown.begin(), shown.end(), "yes"), 2);
  EXPECT_EQ(journalTexts("textPutPaper text").front(), "Insert paper to the auto document feeder.");
}

TEST_F(TransportBatch, WithoutPaperTheBatchEndsWhenTheCountdownRunsOut) {
  OpenSmall();
  gSource->scanSetting.wTransportTimeout = 3;
  const std::vector<dstest::Image> images = Scan(Mechanism::kMemory);
  ASSERT_EQ(images.size(), 3u);
  EXPECT_EQ(images.back().pendingCount, 0);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  EXPECT_EQ(journalTexts("textTimeRemain text"),
            (std::vector<std::string>{"Time remaining 3", "Time remaining 2", "Time remaining 1",
                                      "Time remaining 0"}));
  EXPECT_EQ(host.DisableDs().rc, TWRC_SUCCESS);
  EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);  // the scan and countdown threads are gone
}

}  // namespace
