// The progress window of a batch in a host with a display, on Qt's widgets offscreen, through the
// host core: with the interface it is a sheet on the settings window, on the dialog's UI thread;
// without it, a window of its own there; its texts and bar follow the images, its Cancel ends the
// batch, the journal records what was shown, and closing the source joins the UI thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "WindowedTransfer.h"
#include "ds/dialog/frame/DialogSession.h"
#include "ds/twain/SessionDialog.h"
#include "ds/twain/TezFRLDialogBox.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Host.h"
#include "platform/ui/User.h"
#include "platform/ui/Window.h"
#include "tests/support/Patience.h"

namespace {

using dstest::gSource;
using dstest::Image;
using dstest::Mechanism;
using ferrolite::TezFRLDialogBox;
using ferrolite::dialog::MainDialog;

// What the progress window showed at one moment, read on the UI thread.
struct Shown {
  bool visible = false;
  bool sheetOnTheDialog = false;
  bool ownWindow = false;  // visible and no sheet
  bool hasPeer = false;    // the toolkit built the window's bar
  std::string text;
  int percent = -1;
  std::thread::id thread;
};

class DialogProgress : public dstest::WindowedTransferTest {
 protected:
  ferrolite::dialog::DialogSession& session() {
    auto* session = ferrolite::dialogSession(*gSource->mainDialog);
    EXPECT_NE(session, nullptr) << "the session's dialog, not the headless one";
    return *session;
  }
  Shown shown() {
    Shown seen;
    ferrolite::dialog::DialogSession& s = session();
    EXPECT_TRUE(s.perform([&](MainDialog& dialog) {
      seen.thread = std::this_thread::get_id();
      TezFRLDialogBox* box = ferrolite::sessionDialogBox(*gSource->mainDialog);
      if (!box) return;
      ui::Window& window = box->indicatorWindow();
      seen.visible = window.isVisible();
      seen.sheetOnTheDialog =
          window.sheetParent() != nullptr && window.sheetParent() == dialog.shared().window.get();
      seen.ownWindow = seen.visible && window.sheetParent() == nullptr;
      seen.hasPeer = s.host().toolkit().widget(window, ferrolite::kProgressBarOutlet) != nullptr;
      seen.text = window.get<ui::Label>(ferrolite::kTextTransferringOutlet).text();
      seen.percent = static_cast<int>(
          window.get<ui::ProgressIndicator>(ferrolite::kProgressBarOutlet).doubleValue());
    }));
    return seen;
  }
  // What the journal recorded of the progress window, in order: "text: ..." and "value: ...".
  static std::vector<std::string> progressJournal() {
    std::vector<std::string> seen;
    for (const ui::headless::Entry& e : ui::headless::Journal::shared().entries()) {
      if (e.window != ferrolite::kDialogBoxName) continue;
      if (e.call == "textTransferring text") seen.push_back("text: " + e.text);
      if (e.call == "progressBar value") seen.push_back("value: " + e.text);
    }
    return seen;
  }
  static bool journalHas(const std::string& call, const std::string& text) {
    const auto entries = ui::headless::Journal::shared().entries();
    return std::any_of(entries.begin(), entries.end(), [&](const ui::headless::Entry& e) {
      return e.window == ferrolite::kDialogBoxName && e.call == call && e.text == text;
    });
  }
  // One image by memory transfer: its result, then MSG_ENDXFER's count.
  std::pair<uint16_t, uint16_t> takeImage(size_t number) {
    Image image;
    EXPECT_TRUE(host.GetImageInfo().ok());
    const uint16_t rc = Transfer(Mechanism::kMemory, ".tif", number, &image);
    const auto end = host.PendingXfers(MSG_ENDXFER);
    EXPECT_TRUE(end.ok());
    return {rc, end.value};
  }
  void expectThreadsBackAfterTheClose() {
    ASSERT_TRUE(host.CloseSource().ok());
    EXPECT_EQ(gSource->mainDialog, nullptr);
    EXPECT_EQ(dstest::ThreadCount(), threadsBefore_) << "the UI thread is joined at the close";
  }

  ui::User user_;
};

TEST_F(DialogProgress, WithTheInterfaceASheetOnTheDialogWhoseCancelEndsTheBatchAtImageTwo) {
  OpenSmall();
  ASSERT_TRUE(host.EnableDs(true).ok()) << host.DescribeJournal();
  ferrolite::dialog::DialogSession& ui = session();
  // The user's Scan starts the batch; the progress window comes up on the dialog's thread.
  ASSERT_TRUE(ui.perform([&](MainDialog& dialog) {
    ASSERT_TRUE(user_.click(dialog.shared().main<ui::Button>("mButtonScan")));
  }));
  const auto messages = Messages(1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message, MSG_XFERREADY);
  const Shown atStart = shown();
  EXPECT_NE(atStart.thread, std::this_thread::get_id());
  EXPECT_TRUE(atStart.visible);
  EXPECT_TRUE(atStart.sheetOnTheDialog) << "a sheet on the settings window";
  EXPECT_TRUE(atStart.hasPeer) << "a real window";
  EXPECT_EQ(atStart.text, "Image 1 transferring");
  EXPECT_EQ(atStart.percent, 0);

  const auto [first, pending] = takeImage(1);
  EXPECT_EQ(first, TWRC_XFERDONE);
  EXPECT_NE(pending, 0);
  const Shown afterOne = shown();
  EXPECT_TRUE(afterOne.sheetOnTheDialog);
  EXPECT_EQ(afterOne.percent, 100);

  // Image 2 described; the user presses the window's Cancel before its transfer.
  ASSERT_TRUE(host.GetImageInfo().ok());
  ASSERT_TRUE(ui.perform([&](MainDialog&) {
    TezFRLDialogBox* box = ferrolite::sessionDialogBox(*gSource->mainDialog);
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(
        user_.click(box->indicatorWindow().get<ui::Button>(ferrolite::kCancelButtonOutlet)));
  }));
  Image second;
  EXPECT_EQ(Transfer(Mechanism::kMemory, ".tif", 2, &second), TWRC_CANCEL);
  EXPECT_EQ(host.PendingXfers(MSG_ENDXFER).value, 0);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  EXPECT_FALSE(gSource->scanThread.exists());

  // The window followed the images, and is gone with the batch; the dialog stays up.
  const std::vector<std::string> journal = progressJournal();
  const auto at = [&](const std::string& entry) {
    return std::find(journal.begin(), journal.end(), entry) - journal.begin();
  };
  ASSERT_LT(at("text: Image 1 transferring"), at("value: 100"));
  EXPECT_LT(at("value: 100"), at("text: Image 2 transferring"));
  EXPECT_LT(at("text: Image 2 transferring"), static_cast<long>(journal.size()));
  const std::vector<std::string> visible = journalTexts("indicatorWindow visible");
  ASSERT_FALSE(visible.empty());
  EXPECT_EQ(visible.front(), "sheet");
  EXPECT_EQ(visible.back(), "no");
  const Shown afterCancel = shown();
  EXPECT_FALSE(afterCancel.visible);
  EXPECT_FALSE(afterCancel.sheetOnTheDialog) << "the sheet ended";
  bool dialogUp = false;
  ASSERT_TRUE(ui.perform([&](MainDialog& dialog) { dialogUp = dialog.window().isVisible(); }));
  EXPECT_TRUE(dialogUp);

  ASSERT_TRUE(host.DisableDs().ok());
  expectThreadsBackAfterTheClose();
}

TEST_F(DialogProgress, WithoutTheInterfaceAWindowOfItsOwnOnTheUiThread) {
  OpenSmall();
  ASSERT_EQ(gSource->mainDialog, nullptr);
  ASSERT_TRUE(host.EnableDs(false).ok()) << host.DescribeJournal();
  Messages(1);
  // The batch's first image showed the window: the dialog's UI thread runs it, with no settings
  // window built.
  ASSERT_NE(gSource->mainDialog, nullptr);
  const Shown atStart = shown();
  EXPECT_NE(atStart.thread, std::this_thread::get_id());
  EXPECT_TRUE(atStart.ownWindow);
  EXPECT_TRUE(atStart.hasPeer);
  bool built = true;
  ASSERT_TRUE(
      session().perform([&](MainDialog& dialog) { built = dialog.shared().window != nullptr; }));
  EXPECT_FALSE(built);

  std::vector<uint16_t> results;
  for (size_t n = 1; n <= 3; ++n) {
    const auto [rc, pending] = takeImage(n);
    results.push_back(rc);
    if (n < 3) {
      const Shown between = shown();
      EXPECT_TRUE(between.ownWindow);
      EXPECT_EQ(between.text, "Image " + std::to_string(n) + " transferring");
      EXPECT_EQ(between.percent, 100);
    }
    if (pending == 0) break;
  }
  EXPECT_EQ(results, (std::vector<uint16_t>{TWRC_XFERDONE, TWRC_XFERDONE, TWRC_XFERDONE}));
  EXPECT_TRUE(journalHas("indicatorWindow visible", "yes"));
  EXPECT_TRUE(journalHas("textTransferring text", "Image 3 transferring"));
  EXPECT_FALSE(shown().visible) << "closed with the batch";

  ASSERT_TRUE(host.DisableDs().ok());
  expectThreadsBackAfterTheClose();
}

TEST_F(DialogProgress, TheContinueWindowRunsOnTheUiThreadWhileTheCountdownWatchesTheFeeder) {
  OpenSmall();
  gSource->scanSetting.wTransportTimeout = 500;  // ten seconds at the tests' shortened second
  ASSERT_TRUE(host.EnableDs(false).ok()) << host.DescribeJournal();
  Messages(1);
  ferrolite::dialog::DialogSession* ui = &session();
  const auto count = [](const std::string& call, const std::string& text) {
    const auto entries = ui::headless::Journal::shared().entries();
    return std::count_if(entries.begin(), entries.end(), [&](const ui::headless::Entry& e) {
      return e.window == ferrolite::kDialogBoxName && e.call == call &&
             (text.empty() || e.text == text);
    });
  };
  // The user puts two sheets in while the first window counts, and presses the second window's
  // Cancel on the UI thread.
  std::atomic<bool> clicked{false};
  std::thread user([&] {
    const auto deadline = std::chrono::steady_clock::now() + testsupport::kPatience;
    const auto waitFor = [&](auto done) {
      while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
      return done();
    };
    if (!waitFor([&] { return count("textTimeRemain text", "") > 0; })) return;
    scanner().LoadSheets(2);
    if (!waitFor([&] { return count("transportWindow visible", "yes") >= 2; })) return;
    clicked = ui->perform([&](MainDialog&) {
      TezFRLDialogBox* box = ferrolite::sessionDialogBox(*gSource->mainDialog);
      if (box && box->transportWindow().isVisible()) {
        user_.click(box->transportWindow().get<ui::Button>(ferrolite::kCancelNextPageOutlet));
      }
    });
  });
  const std::vector<Image> images = TakeImages(Mechanism::kMemory);
  user.join();
  EXPECT_TRUE(clicked);
  ASSERT_EQ(images.size(), 5u) << "three sheets, then the two put in";
  EXPECT_EQ(images[2].pendingCount, 0xFFFF);
  EXPECT_EQ(images.back().pendingCount, 0);
  for (const Image& image : images) EXPECT_EQ(image.transferResult, TWRC_XFERDONE);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  EXPECT_EQ(count("transportWindow visible", "yes"), 2);
  EXPECT_TRUE(journalHas("textPutPaper text", "Insert paper to the auto document feeder."));
  bool gone = false;
  ASSERT_TRUE(ui->perform([&](MainDialog&) {
    gone = !ferrolite::sessionDialogBox(*gSource->mainDialog)->transportWindow().isVisible();
  }));
  EXPECT_TRUE(gone);

  ASSERT_TRUE(host.DisableDs().ok());
  expectThreadsBackAfterTheClose();
}

}  // namespace
