#include "ds/dialog/frame/DialogSession.h"

namespace ferrolite::dialog {

foundation::Result<std::unique_ptr<DialogSession>> DialogSession::start(
    const std::filesystem::path& adapter, BridgeObject_V2& bridge, DialogPaths paths,
    ui::AlertPresenter* alerts) {
  auto host = ui::WindowHost::start(adapter);
  if (!host) return foundation::Result<std::unique_ptr<DialogSession>>::failure(host.error());
  std::unique_ptr<DialogSession> session(new DialogSession(std::move(*host)));
  DialogSession& s = *session;
  const bool made = s.host_->queue().performAndWait([&s, &bridge, &paths, alerts] {
    ui::Services services = s.host_->services();
    if (alerts) services.alerts = alerts;
    s.application_ = std::make_unique<ui::Application>(services);
    s.dialog_ = std::make_unique<MainDialog>(*s.application_, bridge, std::move(paths),
                                             &s.host_->toolkit());
  });
  if (!made) {
    return foundation::Result<std::unique_ptr<DialogSession>>::failure(
        "the UI thread ended before the dialog was made");
  }
  return session;
}

DialogSession::~DialogSession() {
  host_->queue().performAndWait([this] {
    dialog_.reset();
    application_.reset();
  });
  host_.reset();
}

bool DialogSession::enable(const DialogHandOver& h) {
  return perform([&h](MainDialog& dialog) {
    dialog.shared().bridge.getDS(h.dataSource);
    dialog.getExtraParam(h.extra);
    dialog.guiSetting(h.record, h.paperSizes, h.ability, h.scannerName, h.uiOnly, h.info);
    dialog.show(h.title);
  });
}

bool DialogSession::disable() {
  return perform([](MainDialog& dialog) { dialog.hide(); });
}

void DialogSession::setMainButtonsStatus(bool enabled) {
  perform([enabled](MainDialog& dialog) { dialog.setMainButtonsStatus(enabled); });
}

bool DialogSession::perform(const std::function<void(MainDialog&)>& task) {
  return host_->queue().performAndWait([this, &task] {
    if (dialog_) task(*dialog_);
  });
}

}  // namespace ferrolite::dialog
