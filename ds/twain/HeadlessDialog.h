#pragma once
// The data source's windows without a toolkit: the dialog and progress controllers and the
// alerts over the headless journal (platform/ui/Headless.h). The dialog keeps copies of what
// the enable step handed it, for tests, and acts as a user at once when the enable ends:
// interface only → OK (closeDSOK), with a scanner → Scan (the scan step is not built yet: the
// dialog waits), or what the journal's script says (ok, cancel, scan, wait).
#include <cstdint>
#include <string>
#include <vector>

#include "ds/twain/DSPorts.h"
#include "platform/ui/Headless.h"

namespace ferrolite {

// What the last headless dialog received.
struct HeadlessCopies {
  TezFRLDS* source = nullptr;
  bool haveExtra = false;
  ExtraParam extra{};
  bool haveSetting = false;
  ScanSetting setting{};
  PaperTbl paperSizes{};
  std::vector<uint8_t> ability;
  std::string scannerName;
  bool uiOnly = false;
  ScannerInfo scannerInfo{};
  std::string title;
};

// The copies of the dialog made last (cleared when a dialog is made).
HeadlessCopies& headlessCopies();

class HeadlessFactory final : public DSFactory {
 public:
  std::unique_ptr<DialogController> makeMainDialog(TezFRLDS& source) override;
  std::unique_ptr<ProgressController> makeDialogBox(TezFRLDS& source) override;
  std::unique_ptr<ImagePlugIns> makeImagePlugIns() override;
  int runAlert(const AlertRequest& alert) override;
};

}  // namespace ferrolite
