#pragma once
// The data source's factory in a host process: the real settings dialog on the UI thread through
// the dialog's session when a display can be reached and the toolkit adapter loads; otherwise the
// headless dialog when a headless script is named (FERROLITE_UI_SCRIPT or the journal's script
// calls), else no dialog at all, and the enable that needs one fails with a log line instead of
// letting the toolkit abort the host. Alerts go on the widget layer too, on the dialog's UI thread
// (started for the alert when the window is not needed yet): a sheet on the window while it is
// open, else application-modal; where none can be shown, the headless journal answers. Every alert
// shown is also recorded in the journal. The progress and transport windows go the same way.
#include <memory>

#include "ds/twain/DSPorts.h"
#include "ds/twain/HeadlessDialog.h"
#include "platform/foundation/Result.h"
#include "platform/ui/Ports.h"

namespace ferrolite {

namespace dialog {
class DialogSession;
}

class SessionFactory final : public DSFactory {
 public:
  std::unique_ptr<DialogController> makeMainDialog(TezFRLDS& source) override;
  // The progress and transport windows: on the dialog's UI thread once they show something
  // (a sheet on the dialog's window while it is up), else headless.
  std::unique_ptr<ProgressController> makeDialogBox(TezFRLDS& source) override;
  std::unique_ptr<ImagePlugIns> makeImagePlugIns() override { return headless_.makeImagePlugIns(); }
  // The session's dialog when a display can be reached: its UI thread shows the alerts, and the
  // enable later shows the window there too.
  std::unique_ptr<DialogController> makeAlertDialog(TezFRLDS& source) override;
  // Where no window can be shown.
  int runAlert(const AlertRequest& alert) override { return headless_.runAlert(alert); }

  // Tests: the alerts of the windows this factory makes are answered by `alerts` (on the UI
  // thread, in place of the toolkit's alert window). Null gives the toolkit's back.
  void answerAlertsWith(ui::AlertPresenter* alerts) { alerts_ = alerts; }

 private:
  foundation::Result<std::unique_ptr<dialog::DialogSession>> startSession(TezFRLDS& source);

  HeadlessFactory headless_;
  ui::AlertPresenter* alerts_ = nullptr;
};

// The session behind a dialog controller the session's factory made; null for any other
// controller. Tests drive the real dialog through it.
dialog::DialogSession* dialogSession(DialogController& controller);
class TezFRLDialogBox;
// The progress and transport windows on that session's UI thread, null until first shown.
TezFRLDialogBox* sessionDialogBox(DialogController& controller);

}  // namespace ferrolite
