// The real dialog behind the data source's dialog port, and the factory that picks it.
#include "ds/twain/SessionDialog.h"

#include <atomic>
#include <chrono>
#include <memory>

#include "ds/dialog/Bridge.h"
#include "ds/dialog/frame/DialogSession.h"
#include "ds/twain/DSHelpers.h"
#include "ds/twain/DialogServices.h"
#include "ds/twain/TezFRLDS.h"
#include "ds/twain/TezFRLDialogBox.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Application.h"
#include "platform/ui/Headless.h"
#include "platform/ui/Host.h"
#include "platform/ui/Window.h"

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

  // The progress and transport windows on the UI thread, built there on the first call; null
  // when the UI thread is gone. Sheets go on the dialog's window.
  TezFRLDialogBox* dialogBox() {
    if (!box_) {
      session_->perform([this](dialog::MainDialog& dialog) {
        box_ = std::make_unique<TezFRLDialogBox>(
            std::make_unique<Context>(session_->application(), makeSourceStrings(source_), dialog));
        // Real windows: the toolkit's peers follow them.
        session_->host().toolkit().attach(box_->indicatorWindow());
        session_->host().toolkit().attach(box_->transportWindow());
      });
    }
    return box_.get();
  }
  TezFRLDialogBox* builtDialogBox() const { return box_.get(); }
  ~SessionDialog() override {
    // The windows go on the UI thread, before the session that owns their application.
    if (!box_) return;
    session_->perform([this](dialog::MainDialog&) {
      ui::Toolkit& toolkit = session_->host().toolkit();
      toolkit.detach(box_->indicatorWindow());
      toolkit.detach(box_->transportWindow());
      box_.reset();
    });
  }

 private:
  class Context final : public DialogBoxContext {
   public:
    Context(ui::Application& application, std::unique_ptr<ui::Strings> strings,
            dialog::MainDialog& dialog)
        : application_(application), strings_(std::move(strings)), dialog_(dialog) {}
    ui::Application& application() override { return application_; }
    const ui::Strings& strings() const override { return *strings_; }
    ui::Window* sheetParent() override { return dialog_.shared().window.get(); }

   private:
    ui::Application& application_;
    std::unique_ptr<ui::Strings> strings_;
    dialog::MainDialog& dialog_;
  };

  TezFRLDS& source_;
  std::unique_ptr<dialog::DialogDataSource> forDialog_;
  std::unique_ptr<dialog::DialogSession> session_;
  dialog::DialogHandOver handOver_;
  PaperTbl paperSizes_{};
  std::unique_ptr<TezFRLDialogBox> box_;  // UI thread only, but for its atomic flags
};

// Runs what waits in `queue` at every `kQueueDrainPeriod` of the toolkit's timers while it lives;
// nothing when the calling thread does not own the queue.
constexpr ui::Seconds kQueueDrainPeriod{0.02};
class QueueDrain {
 public:
  QueueDrain(ui::Timers& timers, foundation::MainThreadQueue& queue)
      : timers_(timers), queue_(queue) {
    if (queue_.onOwnerThread()) schedule();
  }
  ~QueueDrain() {
    if (timer_ != 0) timers_.cancel(timer_);
  }
  QueueDrain(const QueueDrain&) = delete;
  QueueDrain& operator=(const QueueDrain&) = delete;

 private:
  void schedule() {
    timer_ = timers_.scheduleOnce(kQueueDrainPeriod, [this] {
      schedule();
      queue_.drainFor(std::chrono::milliseconds(0));
    });
  }
  ui::Timers& timers_;
  foundation::MainThreadQueue& queue_;
  uint64_t timer_ = 0;
};

// The progress and transport windows of a source whose dialog can be shown: the first call that
// shows something binds them to the dialog session's UI thread (started then, as for an alert,
// when the settings window is not needed) and every later call runs there, posted and waited
// for. Where no session can start, the headless box serves. The journal records what is shown.
// The scan thread only reads the Cancel flag, which is atomic: it never waits on the UI thread.
class UiThreadDialogBox final : public ProgressController {
 public:
  UiThreadDialogBox(TezFRLDS& source, SessionFactory& factory)
      : source_(source), factory_(factory), headless_(makeHeadlessDialogBox(source)) {}

  void makeKeyAndOrderFront() override {
    onBox([](ProgressController& box) { box.makeKeyAndOrderFront(); });
  }
  void closeIndicatorWindow() override {
    onBox([](ProgressController& box) { box.closeIndicatorWindow(); });
    shown(kIndicatorWindowOutlet, "visible", "no");
  }
  void initialize() override {
    onBox([](ProgressController& box) { box.initialize(); });
  }
  void cancel() override {
    onBox([](ProgressController& box) { box.cancel(); });
  }
  bool scanCancelled() const override {
    const ProgressController* box = real_.load();
    return box ? box->scanCancelled() : headless_->scanCancelled();
  }
  void enableCancelButton(bool enabled) override {
    onBox([enabled](ProgressController& box) { box.enableCancelButton(enabled); });
  }
  void textCancelButton(const std::string& title) override {
    onShown([&](ProgressController& box) { box.textCancelButton(title); });
  }
  void textTransferring(const std::string& text) override {
    shown(kTextTransferringOutlet, "text", text);
    onShown([&](ProgressController& box) { box.textTransferring(text); });
  }
  void textElapsed(const std::string& text) override {
    onShown([&](ProgressController& box) { box.textElapsed(text); });
  }
  void indicatorValue(int percent) override {
    shown(kProgressBarOutlet, "value", std::to_string(percent));
    onShown([percent](ProgressController& box) { box.indicatorValue(percent); });
  }
  void startIndicator() override {
    onShown([](ProgressController& box) { box.startIndicator(); });
  }
  void setIndicatorTitle(const std::string& title) override {
    shown(kIndicatorWindowOutlet, "title", title);
    onShown([&](ProgressController& box) { box.setIndicatorTitle(title); });
  }
  void showIndicator(bool asSheet) override {
    onShown([asSheet](ProgressController& box) { box.showIndicator(asSheet); });
    if (real_.load()) shown(kIndicatorWindowOutlet, "visible", asSheet ? "sheet" : "yes");
  }
  void orderOutIndicator() override {
    onBox([](ProgressController& box) { box.orderOutIndicator(); });
  }
  void startIndicatorTimer(std::chrono::milliseconds interval,
                           std::function<void()> fire) override {
    // The timer fires on the UI thread; its call (the elapsed time) belongs to the host's
    // thread, which runs it at its next turn of the source's queue.
    foundation::MainThreadQueue& queue = source_.mainQueue;
    onShown([&](ProgressController& box) {
      box.startIndicatorTimer(interval, [&queue, fire = std::move(fire)] { queue.post(fire); });
    });
  }
  void stopIndicatorTimer() override {
    onBox([](ProgressController& box) { box.stopIndicatorTimer(); });
  }
  void runLoopOnce() override {
    if (!real_.load()) return headless_->runLoopOnce();
    // The UI thread draws on its own; what other threads posted for the host's thread runs
    // there (never on the UI thread, where a Scan of the dialog may call this).
    if (source_.mainQueue.onOwnerThread()) source_.mainQueue.drainFor(std::chrono::milliseconds(0));
  }

  void textPutPaper(const std::string& text) override {
    shown(kTextPutPaperOutlet, "text", text);
    onShown([&](ProgressController& box) { box.textPutPaper(text); });
  }
  void textTimeRemain(const std::string& text) override {
    shown(kTextTimeRemainOutlet, "text", text);
    onShown([&](ProgressController& box) { box.textTimeRemain(text); });
  }
  void textCancel(const std::string& title) override {
    onShown([&](ProgressController& box) { box.textCancel(title); });
  }
  void textContinue(const std::string& title) override {
    onShown([&](ProgressController& box) { box.textContinue(title); });
  }
  void setTransportTitle(const std::string& title) override {
    onShown([&](ProgressController& box) { box.setTransportTitle(title); });
  }
  void continueScan() override {
    onBox([](ProgressController& box) { box.continueScan(); });
  }
  void cancelNext() override {
    onBox([](ProgressController& box) { box.cancelNext(); });
  }
  bool beContinued() const override {
    bool continued = false;
    const_cast<UiThreadDialogBox*>(this)->onBox(
        [&](ProgressController& box) { continued = box.beContinued(); });
    return continued;
  }
  void showContinueButton(bool show) override {
    onShown([show](ProgressController& box) { box.showContinueButton(show); });
  }
  void setPhotoshopFamily(bool on) override {
    onBox([on](ProgressController& box) { box.setPhotoshopFamily(on); });
  }
  void runTransportWindow() override;
  void closeTransportWindow() override {
    onBox([](ProgressController& box) { box.closeTransportWindow(); });
  }

 private:
  // Binds to the session's windows on the first call that shows something.
  void bind() {
    if (tried_) return;
    tried_ = true;
    if (!source_.mainDialog) source_.mainDialog = factory_.makeAlertDialog(source_);
    auto* dialog =
        source_.mainDialog ? dynamic_cast<SessionDialog*>(source_.mainDialog.get()) : nullptr;
    if (!dialog) return;
    session_ = dialog;
    real_ = dialog->dialogBox();
  }
  template <class Call>
  void onShown(Call&& call) {
    bind();
    onBox(std::forward<Call>(call));
  }
  template <class Call>
  void onBox(Call&& call) {
    ProgressController* box = real_.load();
    if (!box) return call(*headless_);
    if (!session_->session().perform([&](dialog::MainDialog&) { call(*box); })) {
      dsLog("dialog box", kLogBlank, 0, "UI thread gone");
    }
  }
  void shown(std::string_view outlet, const char* aspect, const std::string& text) {
    // The headless box's peers record for themselves.
    if (real_.load()) {
      ui::headless::Journal::shared().record(std::string(kDialogBoxName),
                                             std::string(outlet) + " " + aspect, text);
    }
  }

  TezFRLDS& source_;
  SessionFactory& factory_;
  std::unique_ptr<ProgressController> headless_;
  bool tried_ = false;
  SessionDialog* session_ = nullptr;  // the source's main dialog, which outlives this box's use
  std::atomic<ProgressController*> real_{nullptr};
};

void UiThreadDialogBox::runTransportWindow() {
  bind();
  ProgressController* box = real_.load();
  if (!box) return headless_->runTransportWindow();
  ui::UiQueue& queue = session_->session().host().queue();
  if (queue.onUiThread()) {
    // The host's thread is the UI thread (a host with its own application): what the countdown
    // posts to the source's queue runs from a timer of the window's session.
    shown(kTransportWindowOutlet, "visible", "yes");
    QueueDrain drain(*session_->session().application().services().timers, source_.mainQueue);
    box->runTransportWindow();
    shown(kTransportWindowOutlet, "visible", "no");
    return;
  }
  // The modal session runs on the UI thread; the host's thread meanwhile runs what the countdown
  // thread posts to it (its window calls, the end of the session), so neither waits on the other.
  // Set when the posted session is done with, run or dropped by a closing queue: the wait
  // never outlasts the UI thread.
  auto ended = std::make_shared<std::atomic<bool>>(false);
  foundation::MainThreadQueue& mainQueue = source_.mainQueue;
  class Signal {
   public:
    Signal(std::shared_ptr<std::atomic<bool>> ended, foundation::MainThreadQueue& wake)
        : ended_(std::move(ended)), wake_(wake) {}
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    ~Signal() {
      wake_.post([] {});  // the host's thread looks again
      *ended_ = true;     // last: the host's thread may go on at once
    }

   private:
    std::shared_ptr<std::atomic<bool>> ended_;
    foundation::MainThreadQueue& wake_;
  };
  auto signal = std::make_shared<Signal>(ended, mainQueue);
  const bool posted = queue.post([box, signal = std::move(signal)] { box->runTransportWindow(); });
  // Recorded once the session is queued: what the user does on the window comes after it.
  shown(kTransportWindowOutlet, "visible", "yes");
  while (posted && !*ended) mainQueue.drainFor(std::chrono::milliseconds(20));
  shown(kTransportWindowOutlet, "visible", "no");
}

}  // namespace

std::unique_ptr<ProgressController> SessionFactory::makeDialogBox(TezFRLDS& source) {
  return std::make_unique<UiThreadDialogBox>(source, *this);
}

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

TezFRLDialogBox* sessionDialogBox(DialogController& controller) {
  auto* dialog = dynamic_cast<SessionDialog*>(&controller);
  return dialog ? dialog->builtDialogBox() : nullptr;
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
