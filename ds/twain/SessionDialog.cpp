// The real dialog behind the data source's dialog port, and the factory that picks it.
#include "ds/twain/SessionDialog.h"

#include "ds/dialog/Bridge.h"
#include "ds/dialog/frame/DialogSession.h"
#include "ds/twain/DSHelpers.h"
#include "ds/twain/DialogServices.h"
#include "ds/twain/TezFRLDS.h"
#include "platform/ui/Host.h"

namespace ferrolite {

namespace {

// The dialog of the session: the enable's hand-over is gathered call by call and given to the
// dialog on the UI thread when the window is ordered in front.
class SessionDialog final : public DialogController {
 public:
  SessionDialog(TezFRLDS& source, std::unique_ptr<dialog::DialogSession> session)
      : source_(source), forDialog_(makeDialogServices(source)), session_(std::move(session)) {}

  void getDS(TezFRLDS*) override { handOver_.dataSource = forDialog_.get(); }
  void getExtraParam(const ExtraParam& extra) override { handOver_.extra = extra; }
  void guiSetting(const ScanSetting&, const PaperTbl& paperSizes, const void* ability,
                  std::size_t abilitySize, const std::string& scannerName, bool uiOnly,
                  const ScannerInfo& scannerInfo) override {
    // The dialog edits the data source's own record in place.
    handOver_.record = &source_.scanSetting;
    paperSizes_ = paperSizes;
    handOver_.paperSizes = &paperSizes_;
    handOver_.ability = {};
    if (abilitySize == sizeof(DeviceAbility)) {
      handOver_.ability.current = static_cast<const DeviceAbility*>(ability);
    } else if (abilitySize == sizeof(ScannerAbilityEx)) {
      handOver_.ability.older = static_cast<const ScannerAbilityEx*>(ability);
    }
    handOver_.scannerName = scannerName;
    handOver_.uiOnly = uiOnly;
    handOver_.info = scannerInfo;
  }
  void setTitle(const std::string& title) override { handOver_.title = title; }
  void makeKeyAndOrderFront() override {
    if (!session_->enable(handOver_)) dsLog("dialog", kLogBlank, 0, "UI thread gone");
  }
  void closeUI() override { session_->disable(); }
  void setMainButtonsStatus(bool enabled) override { session_->setMainButtonsStatus(enabled); }
  // The user acts on the real window when they will.
  void enableEnded(bool) override {}

 private:
  TezFRLDS& source_;
  std::unique_ptr<dialog::DialogDataSource> forDialog_;
  std::unique_ptr<dialog::DialogSession> session_;
  dialog::DialogHandOver handOver_;
  PaperTbl paperSizes_{};
};

}  // namespace

std::unique_ptr<DialogController> SessionFactory::makeMainDialog(TezFRLDS& source) {
  auto session = dialog::DialogSession::start(
      source.resourcePath / ui::kQtToolkitLibrary, dialog::BridgeObject_V2::instance(),
      dialog::DialogPaths{source.currentPath, source.resourcePath});
  if (session) return std::make_unique<SessionDialog>(source, std::move(*session));
  const bool scripted = ui::headless::Journal::shared().scriptNamed();
  dsLog("No dialog window", kLogBlank, 0,
        session.error() + (scripted ? "; the headless script serves" : ""));
  if (scripted) return headless_.makeMainDialog(source);
  return nullptr;
}

namespace {
SessionFactory gSessionFactory;
DSFactory* gFactory = nullptr;
}  // namespace

DSFactory& dsFactory() { return gFactory ? *gFactory : gSessionFactory; }
void replaceDSFactory(DSFactory* factory) { gFactory = factory; }

}  // namespace ferrolite
