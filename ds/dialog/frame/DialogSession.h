#pragma once
// The dialog in a host's process: the data source's side of showing it. The session loads the
// toolkit adapter by name (once per process), finds the UI thread (the thread of a Qt application
// the host runs already, else a UI thread of our own, with GLib's dispatcher off and the display
// checked first) and keeps the dialog there. Every call into the dialog runs on that thread,
// posted and waited for (at once when already there); while the dialog is open, the data source
// reads and writes the settings record through perform as well, its copy for a job included.
//
//   auto session = DialogSession::start(resources / ui::kQtToolkitLibrary, bridge, paths);
//   if (!session) { log(session.error()); return failure; }   // no display: nothing started
//   (*session)->enable(handOver);                               // enableDS: with the dialog
//   (*session)->perform([&](MainDialog&) { jobCopy = record; });
//   session->reset();                                           // closeDS: our UI thread joined
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "ds/dialog/frame/MainDialog.h"
#include "platform/foundation/Result.h"
#include "platform/ui/Host.h"

namespace ferrolite::dialog {

// What enableDS: hands to the dialog, in the order it hands it.
struct DialogHandOver {
  DialogDataSource* dataSource = nullptr;
  ExtraParam extra;
  ScanSetting* record = nullptr;
  PaperTbl* paperSizes = nullptr;
  HandedAbility ability;
  std::string scannerName;
  int32_t uiOnly = 0;
  ScannerInfo info;
  std::string title;  // "%@ %@"
};

class DialogSession {
 public:
  // openDS: the controller on the UI thread. Fails, starting nothing, when the adapter cannot be
  // loaded or no display can be reached; the reason says which.
  // `alerts`, when given, answers the dialog's alerts in place of the toolkit (tests script them).
  static foundation::Result<std::unique_ptr<DialogSession>> start(
      const std::filesystem::path& adapter, BridgeObject_V2& bridge, DialogPaths paths,
      ui::AlertPresenter* alerts = nullptr);
  // closeDS: the dialog goes on the UI thread, then our UI thread (if we started one) is joined.
  ~DialogSession();
  DialogSession(const DialogSession&) = delete;
  DialogSession& operator=(const DialogSession&) = delete;

  // enableDS: the hand-over, the window's set-up on its first showing, the title, in front.
  bool enable(const DialogHandOver& handOver);
  // disableDS: the window goes out of sight.
  bool disable();
  void setMainButtonsStatus(bool enabled);
  // Runs `task` with the dialog on the UI thread and returns when it ran; false when the UI
  // thread is gone.
  bool perform(const std::function<void(MainDialog&)>& task);
  ui::WindowHost& host() { return *host_; }
  // The dialog's application: its alerts and modal sessions. UI thread only.
  ui::Application& application() { return *application_; }

 private:
  explicit DialogSession(std::unique_ptr<ui::WindowHost> host) : host_(std::move(host)) {}
  std::unique_ptr<ui::WindowHost> host_;
  std::unique_ptr<ui::Application> application_;
  std::unique_ptr<MainDialog> dialog_;
};

}  // namespace ferrolite::dialog
