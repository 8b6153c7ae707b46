#pragma once
// The data source's factory in a host process: the real settings dialog on the UI thread through
// the dialog's session when a display can be reached and the toolkit adapter loads; otherwise the
// headless dialog when a headless script is named (FERROLITE_UI_SCRIPT or the journal's script
// calls), else no dialog at all, and the enable that needs one fails with a log line instead of
// letting the toolkit abort the host. The progress window and the alerts stay headless.
#include <memory>

#include "ds/twain/DSPorts.h"
#include "ds/twain/HeadlessDialog.h"

namespace ferrolite {

class SessionFactory final : public DSFactory {
 public:
  std::unique_ptr<DialogController> makeMainDialog(TezFRLDS& source) override;
  std::unique_ptr<ProgressController> makeDialogBox(TezFRLDS& source) override {
    return headless_.makeDialogBox(source);
  }
  std::unique_ptr<ImagePlugIns> makeImagePlugIns() override { return headless_.makeImagePlugIns(); }
  int runAlert(const AlertRequest& alert) override { return headless_.runAlert(alert); }

 private:
  HeadlessFactory headless_;
};

}  // namespace ferrolite
