// The dialog in a host without Qt of its own: the session starts a UI thread, shows the dialog
// there, takes its close request once, shows it again, and at unload leaves the process with as
// many threads as before; without a display nothing starts and the reason is given.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "FrameSupport.h"
#include "ds/dialog/frame/DialogSession.h"
#include "tests/support/GlibHostLoop.h"
#include "tests/support/ThreadCount.h"
#include "tests/support/ThreadsGoneAtExit.h"

namespace ferrolite::dialog::testing {
namespace {

using testsupport::threadCount;
using testsupport::threadCountSettledAt;
using testsupport::threadNames;

// The records of one data source, and its hand-over.
struct Source {
  FrameFixture records{"dialog-session"};
  DialogHandOver handOver() {
    DialogHandOver h;
    h.dataSource = &records.dataSource;
    h.extra = records.extra;
    h.record = &records.record;
    h.paperSizes = &records.paper;
    h.ability = {&records.current, &records.older};
    h.scannerName = "fi-7160";
    h.info = records.info;
    h.title = "fi-7160 Ferrolite";
    return h;
  }
};

TEST(DialogSession, OpensClosesReopensAndUnloadsOnItsOwnUiThread) {
  const std::size_t before = threadCount();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    Source source;
    auto session = DialogSession::start(VT_QT_ADAPTER, source.records.bridge,
                                        {source.records.folder, source.records.folder});
    ASSERT_TRUE(session) << session.error();
    DialogSession& s = **session;
    EXPECT_TRUE(s.host().toolkit().ownsUiThread());
    ASSERT_TRUE(s.enable(source.handOver()));

    std::thread::id uiThread;
    bool visible = false;
    ASSERT_TRUE(s.perform([&](MainDialog& dialog) {
      uiThread = std::this_thread::get_id();
      visible = dialog.window().isVisible();
      EXPECT_NE(s.host().toolkit().widget(dialog.window(), "mButtonScan"), nullptr);
      dialog.window().userClose();  // the close box
    }));
    EXPECT_NE(uiThread, std::this_thread::get_id());
    EXPECT_TRUE(visible);

    // The data source's scan thread disables the buttons; the record is read on the UI thread.
    s.setMainButtonsStatus(false);
    bool scanEnabled = true;
    uint16_t imageType = 0;
    ASSERT_TRUE(s.perform([&](MainDialog& dialog) {
      scanEnabled = dialog.shared().main<ui::Button>("mButtonScan").isEnabled();
      imageType = dialog.shared().record().wImageType;
    }));
    EXPECT_FALSE(scanEnabled);
    EXPECT_EQ(imageType, 0x01);

    ASSERT_TRUE(s.enable(source.handOver()));  // enabled again: the same window, in front
    ASSERT_TRUE(s.perform([&](MainDialog& dialog) { visible = dialog.window().isVisible(); }));
    EXPECT_TRUE(visible);
    ASSERT_TRUE(s.disable());
    ASSERT_TRUE(s.perform([&](MainDialog& dialog) { visible = dialog.window().isVisible(); }));
    EXPECT_FALSE(visible);

    session->reset();
    const auto& calls = source.records.dataSource.calls;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "closeDSRequest"), 1);
    EXPECT_EQ(calls.back(), "closeDSRequest");
    EXPECT_EQ(threadCountSettledAt(before), before)
        << "the UI thread and Qt's own threads are gone: " << threadNames();
  }
}

TEST(DialogSession, AGlibHostsLoopShowsTheDialogAndReceivesItsCloseRequest) {
  testsupport::GlibHostLoop loop;
  Source source;
  auto session = DialogSession::start(VT_QT_ADAPTER, source.records.bridge,
                                      {source.records.folder, source.records.folder});
  ASSERT_TRUE(session) << session.error();
  // The close request reaches the host on its own loop, as the source manager's message does.
  source.records.dataSource.onCloseDSRequest = [&loop] { loop.requestClose(); };
  // From a callback of the host's loop, the enable, then the user's close box.
  DialogSession* s = session->get();
  testsupport::GlibHostLoop::atIdle([s, &source] {
    s->enable(source.handOver());
    s->host().queue().post(
        [s] { s->perform([](MainDialog& dialog) { dialog.window().userClose(); }); });
  });
  EXPECT_TRUE(loop.runUntilClosed());
  session->reset();
}

TEST(DialogSession, WithoutADisplayNothingStartsAndTheReasonIsGiven) {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const std::string saved = platform ? platform : "";
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  ::setenv("DISPLAY", ":4093", 1);
  ::setenv("WAYLAND_DISPLAY", "vt-no-such-wayland", 1);
  const std::size_t before = threadCount();
  Source source;
  auto session = DialogSession::start(VT_QT_ADAPTER, source.records.bridge,
                                      {source.records.folder, source.records.folder});
  ::setenv("QT_QPA_PLATFORM", saved.c_str(), 1);
  ASSERT_FALSE(session);
  EXPECT_NE(session.error().find("cannot be reached"), std::string::npos) << session.error();
  EXPECT_EQ(threadCount(), before);
  EXPECT_TRUE(source.records.dataSource.calls.empty());
}

}  // namespace
}  // namespace ferrolite::dialog::testing
