// The real settings dialog of the data source, on Qt's widgets offscreen, through the host core:
// MSG_ENABLEDS with the interface shows it on a UI thread of its own; the user's Exit reaches the
// host as one MSG_CLOSEDSREQ and the disable saves what the user changed; Scan reaches the data
// source's transfer-ready entry; while the dialog lives, every access of the settings record runs
// on its UI thread; the data source's alerts are sheets on the open window, else
// application-modal, answered here by a scripted alert port and recorded in the journal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "OpenSupport.h"
#include "ds/dialog/frame/DialogSession.h"
#include "ds/dialog/window/DialogWindows.h"
#include "ds/twain/SessionDialog.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Host.h"
#include "platform/ui/Scripted.h"
#include "platform/ui/User.h"
#include "tests/support/ThreadsGoneAtExit.h"

namespace {

using dstest::gSource;
using ferrolite::dialog::MainDialog;

// Every access of the settings record: its name and the thread it ran on.
class SettingAccesses {
 public:
  SettingAccesses() {
    ferrolite::setSettingAccessProbe([this](const char* where) {
      std::lock_guard lock(mutex_);
      seen_.emplace_back(where, std::this_thread::get_id());
    });
  }
  ~SettingAccesses() { ferrolite::setSettingAccessProbe(nullptr); }
  std::vector<std::pair<std::string, std::thread::id>> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(seen_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::string, std::thread::id>> seen_;
};

// What the scripted alert port saw of one alert besides the layer's record.
// The simulated scanner's feeder as its description fills it ("sheets 3").
constexpr uint32_t kSheetsInTheFeeder = 3;

struct AlertSeen {
  std::thread::id thread;
  bool sheetOnTheDialog = false;
  bool sheet = false;
};

class DialogInHost : public dstest::OpenSourceTest {
 protected:
  void SetUp() override {
    // Qt's widgets offscreen (the program's CTest environment carries the leak checker's option).
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    dstest::OpenSourceTest::SetUp();
    // The feeder as the description fills it: a scan in an earlier case of this program took
    // its sheets.
    if (sim::LoadedScannerCount() > 0) scanner().LoadSheets(kSheetsInTheFeeder);
    std::filesystem::create_symlink(VT_QT_ADAPTER, bundle_ / "Resources" / ui::kQtToolkitLibrary);
    writeDebugConf("DebugLevel 1\n");
    factory_.answerAlertsWith(&alerts_);
    ferrolite::replaceDSFactory(&factory_);
  }
  void TearDown() override {
    dstest::OpenSourceTest::TearDown();
    ferrolite::replaceDSFactory(nullptr);
    ui::headless::Journal::shared().reset();
  }

  // Opens the source and enables it with the interface: the real dialog is up.
  void OpenWithTheDialog() {
    Open();
    ASSERT_TRUE(host.EnableDs(true).ok()) << host.DescribeJournal();
    ASSERT_NE(gSource->mainDialog, nullptr);
    session_ = ferrolite::dialogSession(*gSource->mainDialog);
    ASSERT_NE(session_, nullptr) << "the session's dialog, not the headless one";
  }
  // Runs `task` with the dialog on its UI thread.
  template <class Task>
  void onDialog(Task task) {
    ASSERT_TRUE(session_->perform([&](MainDialog& dialog) { task(dialog); }));
  }
  std::thread::id uiThread() {
    std::thread::id id;
    onDialog([&](MainDialog&) { id = std::this_thread::get_id(); });
    return id;
  }
  // The messages of one kind sent so far, once what the source held has left. The user's
  // buttons act on the dialog's UI thread: the application is never called back there.
  size_t messagesOf(uint16_t message) {
    EXPECT_TRUE(gSource->poster.waitUntilSent(testsupport::kPatience));
    if (uiThread_ == std::thread::id()) uiThread_ = uiThread();
    size_t n = 0;
    for (const twainhost::ManagerMessage& m : host.TakeMessages()) {
      n += m.message == message;
      EXPECT_NE(m.thread, uiThread_) << "message " << m.message << " on the dialog's UI thread";
      EXPECT_FALSE(m.duringCall) << "message " << m.message << " inside a call";
    }
    return n;
  }
  bool logHas(const std::string& part) const {
    const auto lines = twainLogLines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.find(part) != std::string::npos;
    });
  }

  ferrolite::SessionFactory factory_;
  ui::ScriptedAlerts alerts_;
  ferrolite::dialog::DialogSession* session_ = nullptr;
  ui::User user_;
  std::thread::id uiThread_;
};

TEST_F(DialogInHost, ExitSendsOneCloseRequestAndTheDisableSavesWhatTheUserChanged) {
  OpenWithTheDialog();
  EXPECT_NE(uiThread(), std::this_thread::get_id());
  EXPECT_TRUE(session_->host().toolkit().ownsUiThread());
  uint16_t before = 0, after = 0;
  onDialog([&](MainDialog& dialog) {
    auto& shared = dialog.shared();
    EXPECT_TRUE(dialog.window().isVisible());
    EXPECT_NE(session_->host().toolkit().widget(dialog.window(), "mButtonCancel"), nullptr);
    before = shared.record().wTabWindow;
    // Hide the rotation page through the settings table, then Exit.
    ASSERT_TRUE(user_.selectTab(shared.main<ui::TabView>(ferrolite::dialog::kTabViewOutlet),
                                "KriTabSetting"));
    ASSERT_TRUE(user_.clickCell(shared.main<ui::TableView>("pSettingsTableView"), 1, "check"));
    after = shared.record().wTabWindow;
    ASSERT_TRUE(user_.click(shared.main<ui::Button>("mButtonCancel")));
    EXPECT_FALSE(dialog.window().isVisible());
  });
  EXPECT_NE(before, after);
  EXPECT_EQ(messagesOf(MSG_CLOSEDSREQ), 1u) << "one message for one decision";

  ASSERT_TRUE(host.DisableDs().ok()) << host.DescribeJournal();
  const foundation::Dictionary saved = readPlist(settingsFile());
  auto entry = saved.dictionary(gSource->scannerName);
  ASSERT_TRUE(entry) << "the disable saved the model's settings";
  auto tabWindow = entry->integer("TabWindow");
  ASSERT_TRUE(tabWindow);
  EXPECT_EQ(*tabWindow, after);
  EXPECT_EQ(messagesOf(MSG_CLOSEDSREQ), 0u);
}

TEST_F(DialogInHost, ScanReachesTheDataSourcesTransferReadyEntry) {
  OpenWithTheDialog();
  ASSERT_FALSE(logHas("xferReady"));
  onDialog([&](MainDialog& dialog) {
    ASSERT_TRUE(user_.click(dialog.shared().main<ui::Button>("mButtonScan")));
  });
  EXPECT_TRUE(logHas("xferReady")) << "the Scan road ends at the data source";
  EXPECT_EQ(messagesOf(MSG_CLOSEDSREQ), 0u);
  EXPECT_TRUE(alerts_.journal().empty()) << "no alert stopped the road";
}

TEST_F(DialogInHost, WhileTheDialogLivesTheRecordIsReadAndWrittenOnItsUiThread) {
  SettingAccesses accesses;
  OpenWithTheDialog();
  const std::thread::id ui = uiThread();
  accesses.take();
  // The host negotiates, lays out and disables from its own thread; the dialog's Default and
  // Scan read and write from the UI thread.
  EXPECT_TRUE(host.Capability(MSG_GETCURRENT, CAP_DUPLEXENABLED).ok());
  EXPECT_FALSE(host.SetCapability(ICAP_XRESOLUTION, twainhost::Container::OneFix32(200)).ok())
      << "no negotiation while enabled";
  EXPECT_TRUE(host.Layout(MSG_GET).ok());
  onDialog([&](MainDialog& dialog) {
    ASSERT_TRUE(user_.click(dialog.shared().main<ui::Button>("mButtonDefault")));
    ASSERT_TRUE(user_.click(dialog.shared().main<ui::Button>("mButtonScan")));
  });
  // Scan started a batch: the host ends it before the disable.
  ASSERT_TRUE(host.PendingXfers(MSG_RESET).ok());
  ASSERT_TRUE(host.DisableDs().ok());
  // Enabled again, with the dialog made: the enable's accesses run there too.
  ASSERT_TRUE(host.EnableDs(true).ok());
  ASSERT_TRUE(host.DisableDs().ok());
  const auto seen = accesses.take();
  std::vector<std::string> names;
  for (const auto& [where, thread] : seen) {
    names.push_back(where);
    EXPECT_EQ(thread, ui) << where << " ran off the UI thread";
  }
  for (const char* expected :
       {"triplet", "readSetting", "writeSetting", "settingCopy", "disableDS"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
  }
  // The close reads the record while the dialog still lives; closed, the dialog is gone and the
  // record is the host thread's again.
  gSource->mCurrentState = TWAIN_STATE_OPEN;
  ASSERT_TRUE(host.CloseSource().ok());
  for (const auto& [where, thread] : accesses.take()) EXPECT_EQ(thread, ui) << where;
  EXPECT_EQ(gSource->mainDialog, nullptr);
  gSource->settingCopy();
  const auto afterClose = accesses.take();
  ASSERT_EQ(afterClose.size(), 1u);
  EXPECT_EQ(afterClose[0].second, std::this_thread::get_id());
}

TEST_F(DialogInHost, AlertsAreSheetsOnTheOpenDialogElseApplicationModalAndJournaled) {
  std::vector<AlertSeen> seen;
  ui::Window* dialogWindow = nullptr;
  auto watch = [&](ui::Alert& alert) {
    ui::Window* parent = alert.window().sheetParent();
    seen.push_back(
        {std::this_thread::get_id(), parent && parent == dialogWindow, parent != nullptr});
    alert.button(alert.numberOfButtons() - 1).userClick();  // the last button
  };
  for (int i = 0; i < 3; ++i) alerts_.answer(watch);

  // Opened but not enabled: the dialog's UI thread starts for the alert, without its window.
  Open();
  ASSERT_EQ(gSource->mainDialog, nullptr);
  gSource->showSecond = true;
  EXPECT_EQ(gSource->showAlert(std::string("Calibration was successful.")),
            ferrolite::kAlertSecondButton);

  ASSERT_NE(gSource->mainDialog, nullptr);
  session_ = ferrolite::dialogSession(*gSource->mainDialog);
  ASSERT_NE(session_, nullptr);
  const std::thread::id ui = uiThread();
  bool built = true;
  onDialog([&](MainDialog& dialog) { built = dialog.shared().window != nullptr; });
  EXPECT_FALSE(built) << "the alert built no window before the hand-over";

  // Enabled: the same dialog and thread show the window; the alert is a sheet on it.
  ASSERT_TRUE(host.EnableDs(true).ok());
  EXPECT_EQ(ferrolite::dialogSession(*gSource->mainDialog), session_);
  onDialog([&](MainDialog& dialog) { dialogWindow = &dialog.window(); });
  EXPECT_EQ(gSource->showAlert(std::string("Paper jam.")), ferrolite::kAlertFirstButton);

  // Disabled: the window is hidden, so application-modal on the same thread.
  ASSERT_TRUE(host.DisableDs().ok());
  EXPECT_EQ(gSource->showAlert(std::string("Low memory.")), ferrolite::kAlertFirstButton);

  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].thread, ui);
  EXPECT_FALSE(seen[0].sheet);
  EXPECT_EQ(seen[1].thread, ui);
  EXPECT_TRUE(seen[1].sheetOnTheDialog);
  EXPECT_EQ(seen[2].thread, ui);
  EXPECT_FALSE(seen[2].sheet);

  const auto& layer = alerts_.journal();
  ASSERT_EQ(layer.size(), 3u);
  EXPECT_EQ(layer[0].buttons, (std::vector<std::string>{"OK", "Cancel"}));
  EXPECT_EQ(layer[0].style, static_cast<int>(ui::AlertStyle::critical));
  const auto journal = alerts();
  ASSERT_EQ(journal.size(), 3u);
  EXPECT_EQ(journal[0].text, "Calibration was successful.");
  EXPECT_EQ(journal[0].response, ferrolite::kAlertSecondButton);
  EXPECT_EQ(journal[1].text, "Paper jam.");
  EXPECT_EQ(journal[2].text, "Low memory.");
}

TEST_F(DialogInHost, OnTheRealWidgetsTheAlertIsASheetOnTheWindowThatTheUserAnswers) {
  factory_.answerAlertsWith(nullptr);  // the toolkit's own alert window
  OpenWithTheDialog();
  ui::Window* dialogWindow = nullptr;
  onDialog([&](MainDialog& dialog) { dialogWindow = &dialog.window(); });
  bool sheet = false, shown = false;
  // The user, on the UI thread: waits (posted again) until the alert's session runs, then
  // clicks its second button.
  std::function<void()> user = [&] {
    ui::Window* alert = session_->application().modalWindow();
    if (alert == nullptr) {
      session_->host().queue().post(user);
      return;
    }
    sheet = alert->sheetParent() == dialogWindow;
    shown = session_->host().toolkit().widget(*alert, "") != nullptr && alert->isVisible();
    alert->get<ui::Button>("alertButton1").userClick();
  };
  ASSERT_TRUE(session_->host().queue().post(user));
  gSource->showSecond = true;
  EXPECT_EQ(gSource->showAlert(std::string("Paper jam.")), ferrolite::kAlertSecondButton);
  EXPECT_TRUE(sheet);
  EXPECT_TRUE(shown) << "a widget of the toolkit showed it";
  const auto journal = alerts();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].text, "Paper jam.");
  EXPECT_EQ(journal[0].response, ferrolite::kAlertSecondButton);
  onDialog([&](MainDialog&) { EXPECT_EQ(dialogWindow->attachedSheet(), nullptr); });
}

}  // namespace
