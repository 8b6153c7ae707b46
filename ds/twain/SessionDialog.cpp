// The real dialog behind the data source's dialog port, and the factory that picks it.
#include "ds/twain/SessionDialog.h"

#include "ds/dialog/Bridge.h"
#include "ds/dialog/frame/DialogSession.h"
#include "ds/twain/DSHelpers.h"
#include "ds/twain/DialogServices.h"
#include "ds/twain/TezFRLDS.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Application.h"
#include "platform/ui/Headless.h"
#include "platform/ui/Host.h"

namespace ferrolite {

namespace {

// The alert on the layer, on the UI thread of `application`: a sheet on `sheetParent` when one is
// given. The journal records what was shown and the answer.
int showAlert(ui::Application& application, const AlertRequest& request, ui::Window* sheetParent) {
  ui::Alert alert(application);
  alert.setStyle(static_cast<ui::AlertStyle>(request.style));
  alert.setMessageText(request.message);
  alert.setInformativeText(request.details);
  alert.setIcon(request.icon);
  for (const std::string& title : request.buttons) alert.addButton(title);
  const int response = sheetParent ? alert.runSheetModal(*sheetParent) : alert.runModal();
  ui::headless::Journal::shared().recordAlert(request.style, request.message, request.details,
                                              request.buttons, response);
  return response;
}

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
  bool performOnUiThread(const std::function<void()>& task) override {
    return session_->perform([&task](dialog::MainDialog&) { task(); });
  }
  std::optional<int> runAlert(const AlertRequest& request) override {
    std::optional<int> response;
    dialog::DialogSession& session = *session_;
    session.perform([&](dialog::MainDialog& dialog) {
      // Before the first enable the window is not built: no sheet then.
      ui::Window* window = dialog.shared().window.get();
      response = showAlert(session.application(), request,
                           window && window->isVisible() ? window : nullptr);
    });
    return response;
  }
  dialog::DialogSession& session() { return *session_; }

 private:
  TezFRLDS& source_;
  std::unique_ptr<dialog::DialogDataSource> forDialog_;
  std::unique_ptr<dialog::DialogSession> session_;
  dialog::DialogHandOver handOver_;
  PaperTbl paperSizes_{};
};

}  // namespace

foundation::Result<std::unique_ptr<dialog::DialogSession>> SessionFactory::startSession(
    TezFRLDS& source) {
  return dialog::DialogSession::start(
      source.resourcePath / ui::kQtToolkitLibrary, dialog::BridgeObject_V2::instance(),
      dialog::DialogPaths{source.currentPath, source.resourcePath}, alerts_);
}

std::unique_ptr<DialogController> SessionFactory::makeMainDialog(TezFRLDS& source) {
  auto session = startSession(source);
  if (session) return std::make_unique<SessionDialog>(source, std::move(*session));
  const bool scripted = ui::headless::Journal::shared().scriptNamed();
  dsLog("No dialog window", kLogBlank, 0,
        session.error() + (scripted ? "; the headless script serves" : ""));
  if (scripted) return headless_.makeMainDialog(source);
  return nullptr;
}

dialog::DialogSession* dialogSession(DialogController& controller) {
  auto* dialog = dynamic_cast<SessionDialog*>(&controller);
  return dialog ? &dialog->session() : nullptr;
}

std::unique_ptr<DialogController> SessionFactory::makeAlertDialog(TezFRLDS& source) {
  auto session = startSession(source);
  if (!session) {
    dsLog("No alert window", kLogBlank, 0, session.error());
    return nullptr;
  }
  return std::make_unique<SessionDialog>(source, std::move(*session));
}

namespace {
SessionFactory gSessionFactory;
DSFactory* gFactory = nullptr;
}  // namespace

DSFactory& dsFactory() { return gFactory ? *gFactory : gSessionFactory; }
void replaceDSFactory(DSFactory* factory) { gFactory = factory; }

}  // namespace ferrolite
