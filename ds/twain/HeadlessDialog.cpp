// The headless windows and the factory that makes them.
#include "ds/twain/HeadlessDialog.h"

#include <cstring>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/twain/DSHelpers.h"
#include "ds/twain/PlugIns.h"
#include "ds/twain/TezFRLDS.h"

namespace ferrolite {

namespace {

using ui::headless::Journal;
using ui::headless::UserAction;

constexpr const char* kMainWindow = "TwainDSDialog";

class HeadlessMainDialog final : public DialogController {
 public:
  HeadlessMainDialog() {
    headlessCopies() = HeadlessCopies{};
    Journal::shared().record(kMainWindow, "init");
  }
  ~HeadlessMainDialog() override { Journal::shared().record(kMainWindow, "release"); }

  void getDS(TezFRLDS* source) override {
    source_ = source;
    headlessCopies().source = source;
    Journal::shared().record(kMainWindow, "getDS");
  }
  void getExtraParam(const ExtraParam& extra) override {
    headlessCopies().extra = extra;
    headlessCopies().haveExtra = true;
    Journal::shared().record(kMainWindow, "getExtraParam");
  }
  void guiSetting(const ScanSetting& setting, const PaperTbl& paperSizes, const void* ability,
                  std::size_t abilitySize, const std::string& scannerName, bool uiOnly,
                  const ScannerInfo& scannerInfo) override {
    HeadlessCopies& copies = headlessCopies();
    copies.setting = setting;
    copies.haveSetting = true;
    copies.paperSizes = paperSizes;
    const auto* bytes = static_cast<const uint8_t*>(ability);
    copies.ability.assign(bytes, bytes + abilitySize);
    copies.scannerName = scannerName;
    copies.uiOnly = uiOnly;
    copies.scannerInfo = scannerInfo;
    Journal::shared().record(kMainWindow, "guiSetting", scannerName);
  }
  void setTitle(const std::string& title) override {
    headlessCopies().title = title;
    Journal::shared().record(kMainWindow, "title", title);
  }
  void makeKeyAndOrderFront() override { Journal::shared().record(kMainWindow, "orderFront"); }
  void closeUI() override { Journal::shared().record(kMainWindow, "close"); }
  void setMainButtonsStatus(bool enabled) override {
    Journal::shared().record(kMainWindow, "buttons", enabled ? "on" : "off");
    // The buttons come back when the batch the user started is over: the user closes.
    if (enabled && scanned_) {
      scanned_ = false;
      Journal::shared().record(kMainWindow, "user", "Close");
      if (source_) source_->closeDSRequest();
    }
  }

  void enableEnded(bool uiOnly) override {
    UserAction action = Journal::shared().nextAction();
    if (action == UserAction::kDefault) action = uiOnly ? UserAction::kOk : UserAction::kScan;
    switch (action) {
      case UserAction::kOk:
        Journal::shared().record(kMainWindow, "user", "OK");
        if (source_) source_->closeDSOK();
        break;
      case UserAction::kCancel:
        Journal::shared().record(kMainWindow, "user", "Cancel");
        if (source_) source_->closeDSRequest();
        break;
      case UserAction::kScan:
        // The batch starts at once with the settings shown; a batch that cannot start leaves
        // the user nothing to wait for: the window closes.
        Journal::shared().record(kMainWindow, "user", "Scan");
        scanned_ = true;
        if (source_ && source_->xferReady() != TWRC_SUCCESS) {
          scanned_ = false;
          Journal::shared().record(kMainWindow, "user", "Close");
          source_->closeDSRequest();
        }
        break;
      default:
        Journal::shared().record(kMainWindow, "user", "Wait");
        break;
    }
  }

 private:
  TezFRLDS* source_ = nullptr;
  bool scanned_ = false;  // Scan was pressed and its batch has not ended
};

}  // namespace

HeadlessCopies& headlessCopies() {
  static HeadlessCopies copies;
  return copies;
}

std::unique_ptr<DialogController> HeadlessFactory::makeMainDialog(TezFRLDS&) {
  return std::make_unique<HeadlessMainDialog>();
}

std::unique_ptr<ProgressController> HeadlessFactory::makeDialogBox(TezFRLDS& source) {
  return makeHeadlessDialogBox(source);
}

std::unique_ptr<ImagePlugIns> HeadlessFactory::makeImagePlugIns() {
  return std::make_unique<ImageProcessPlugIns>();
}

int HeadlessFactory::runAlert(const AlertRequest& alert) {
  return Journal::shared().runAlert(alert.style, alert.message, alert.details, alert.buttons);
}

}  // namespace ferrolite
