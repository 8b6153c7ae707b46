// The Qt toolkit: the UI thread (a host's Qt application, or a thread of our own with its own
// application object), the ports on Qt, and the window peers it keeps.
#include "platform/ui/Toolkit.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QPixmap>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/ui/Alert.h"
#include "platform/ui/Application.h"
#include "platform/ui/qt/Adapter.h"

namespace ui::qt {
namespace {

// A layout asks its parent for room by a posted event, one level of nesting a pass; a picture or
// a measurement waits for as many passes as widgets nest deep, and the paint they ask for.
constexpr int kLayoutPasses = 16;

void settleLayouts() {
  for (int pass = 0; pass < kLayoutPasses; ++pass) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::processEvents();
  }
}

// How long a stop waits for a host's event loop to drop the peers on its thread.
constexpr auto kHostLoopWait = std::chrono::seconds(5);
constexpr const char* kPlatformVariable = "QT_QPA_PLATFORM";
// Qt's switch for its GLib event dispatcher: a GLib host owns GLib's default main context, and
// an application object whose loop shared it would hang with the host.
constexpr const char* kNoGlibVariable = "QT_NO_GLIB";
constexpr const char* kXcbLibrary = "libxcb.so.1";

// --- can the display be reached? -------------------------------------------------------------

// Opens and closes a connection to the X server the environment names, as Qt's xcb plugin will:
// a display Qt cannot open makes it abort the process. libxcb is loaded here rather than linked
// (three C entries; Qt's plugin loads the same library).
foundation::Status xDisplayReachable() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return foundation::Status::failure("no display: DISPLAY is not set");
  void* xcb = ::dlopen(kXcbLibrary, RTLD_NOW | RTLD_LOCAL);
  if (!xcb)
    return foundation::Status::failure(std::string("no display: cannot load ") + kXcbLibrary);
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
  auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
  auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
  if (!connect || !hasError || !disconnect) {
    return foundation::Status::failure(std::string("no display: ") + kXcbLibrary +
                                       " lacks the connection calls");
  }
  void* connection = connect(display, nullptr);
  const int error = hasError(connection);
  disconnect(connection);  // also frees a connection that failed
  if (error != 0) {
    return foundation::Status::failure(std::string("the X display '") + display +
                                       "' cannot be reached");
  }
  return foundation::Status::success();
}

foundation::Status waylandReachable() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  std::string socketPath = name && *name ? name : "wayland-0";
  if (socketPath.front() != '/') {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) {
      return foundation::Status::failure("no Wayland display: XDG_RUNTIME_DIR is not set");
    }
    socketPath = std::string(runtime) + "/" + socketPath;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof(address.sun_path)) {
    return foundation::Status::failure("no Wayland display: socket path too long");
  }
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return foundation::Status::failure("no Wayland display: no socket");
  const bool connected =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  if (!connected) {
    return foundation::Status::failure("the Wayland display '" + socketPath +
                                       "' cannot be reached");
  }
  return foundation::Status::success();
}

// Checks the platforms the environment names ("xcb", "wayland", a list split by ';' that Qt
// tries in order); platforms that need no display server (offscreen, minimal, vnc, ...) pass.
// With none named Qt takes xcb here.
foundation::Status displayReachable() {
  const char* named = std::getenv(kPlatformVariable);
  std::string platforms = named && *named ? named : "xcb";
  foundation::Status last = foundation::Status::failure("no platform named");
  std::size_t start = 0;
  while (start <= platforms.size()) {
    std::size_t end = platforms.find(';', start);
    if (end == std::string::npos) end = platforms.size();
    std::string platform = platforms.substr(start, end - start);
    platform = platform.substr(0, platform.find(':'));  // "offscreen:fontconfig" and the like
    start = end + 1;
    if (platform.empty()) continue;
    if (platform == "xcb") {
      last = xDisplayReachable();
    } else if (platform.starts_with("wayland")) {
      last = waylandReachable();
    } else {
      return foundation::Status::success();
    }
    if (last) return last;
  }
  return last;
}

// Sets an environment variable for the life of this object, then puts back what was there.
class EnvironmentOverride {
 public:
  EnvironmentOverride(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value, 1);
  }
  ~EnvironmentOverride() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  EnvironmentOverride(const EnvironmentOverride&) = delete;
  EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// --- the ports ----------------------------------------------------------------------------------

class QtPasteboard : public Pasteboard {
 public:
  std::string string() const override { return QGuiApplication::clipboard()->text().toStdString(); }
  void setString(std::string text) override { QGuiApplication::clipboard()->setText(qs(text)); }
};

QCursor qcursor(const Cursor& cursor) {
  switch (cursor.shape) {
    case CursorShape::closedHand:
      return QCursor(Qt::ClosedHandCursor);
    case CursorShape::openHand:
      return QCursor(Qt::OpenHandCursor);
    case CursorShape::image: {
      QPixmap pixmap(qs(cursor.image.string()));
      if (pixmap.isNull()) return QCursor(Qt::ArrowCursor);
      return QCursor(pixmap, static_cast<int>(cursor.hotSpot.x),
                     static_cast<int>(cursor.hotSpot.y));
    }
    case CursorShape::arrow:
      break;
  }
  return QCursor(Qt::ArrowCursor);
}

// The layer's cursor stack on Qt's override cursors; a set with nothing pushed takes a base
// override of its own.
class QtCursors : public Cursors {
 public:
  void push(const Cursor& cursor) override {
    QGuiApplication::setOverrideCursor(qcursor(cursor));
    ++depth_;
  }
  void pop() override {
    if (depth_ == 0) return;
    QGuiApplication::restoreOverrideCursor();
    --depth_;
  }
  void set(const Cursor& cursor) override {
    if (depth_ == 0) push(cursor);
    QGuiApplication::changeOverrideCursor(qcursor(cursor));
  }
  void reset() {
    while (depth_ > 0) pop();
  }

 private:
  int depth_ = 0;
};

class QtTimers : public Timers {
 public:
  Id scheduleOnce(Seconds delay, std::function<void()> fire) override {
    const Id id = next_++;
    auto* timer = new QTimer;
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, timer, [this, id, fire = std::move(fire)] {
      auto found = timers_.find(id);
      if (found == timers_.end()) return;
      found->second->deleteLater();
      timers_.erase(found);
      fire();
    });
    timers_[id] = timer;
    timer->start(static_cast<int>(std::max(0.0, delay.count() * 1000.0)));
    return id;
  }
  void cancel(Id id) override {
    auto found = timers_.find(id);
    if (found == timers_.end()) return;
    delete found->second;
    timers_.erase(found);
  }
  void cancelAll() {
    for (auto& [id, timer] : timers_) delete timer;
    timers_.clear();
  }

 private:
  std::map<Id, QTimer*> timers_;
  Id next_ = 1;
};

// Eats the user's input while the short pass runs: a click then must not reach a button later
// either (a second Scan while the first one runs).
class InputEater : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::KeyPress:
      case QEvent::Wheel:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
        return true;
      default:
        return false;
    }
  }
};

class QtFontMetrics : public FontMetrics {
 public:
  double width(std::string_view text, const Font& font) const override {
    return QFontMetricsF(qfont(font))
        .horizontalAdvance(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  }
};

class QtOpenPanel : public OpenPanel {
 public:
  std::optional<std::filesystem::path> runModal(const OpenPanelRequest& request) override {
    QFileDialog dialog(nullptr, QString(), qs(request.directory.string()));
    dialog.setObjectName("openPanel");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(request.filesOnly ? QFileDialog::ExistingFile : QFileDialog::Directory);
    if (!request.extensions.empty()) {
      QStringList patterns;
      for (const std::string& extension : request.extensions) {
        patterns << QStringLiteral("*.") + qs(extension);
        patterns << QStringLiteral("*.") + qs(extension).toUpper();
      }
      dialog.setNameFilter(patterns.join(' '));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return std::filesystem::path(dialog.selectedFiles().front().toStdString());
  }
};

// --- the toolkit --------------------------------------------------------------------------------

class QtToolkit : public Toolkit, public PeerHost, public RunLoop {
 public:
  ~QtToolkit() override { stop(); }

  foundation::Status start() override {
    if (QCoreApplication* app = QCoreApplication::instance()) {
      if (!qobject_cast<QApplication*>(app)) {
        return foundation::Status::failure(
            "the host's Qt application object is not a widget application");
      }
      hostApplication_ = true;
      std::lock_guard lock(mutex_);
      application_ = app;
      return foundation::Status::success();
    }
    // Nothing of Qt runs on this thread before the UI thread's application object exists: the
    // first thread that touches Qt becomes its main thread.
    if (foundation::Status reachable = displayReachable(); !reachable) return reachable;
    auto made = std::make_shared<std::promise<foundation::Status>>();
    std::future<foundation::Status> ready = made->get_future();
    uiThread_ = std::thread([this, made] { runUiThread(*made); });
    foundation::Status started = ready.get();
    if (!started) uiThread_.join();
    return started;
  }

  bool ownsUiThread() const override { return uiThread_.joinable(); }

  bool onUiThread() const override {
    if (!hostApplication_) return std::this_thread::get_id() == uiThreadId_;
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
  }

  void postToUiThread(std::function<void()> task) override {
    std::lock_guard lock(mutex_);
    if (!application_) return;
    QMetaObject::invokeMethod(application_, std::move(task), Qt::QueuedConnection);
  }

  Pasteboard& pasteboard() override { return pasteboard_; }
  Cursors& cursors() override { return cursors_; }
  Timers& timers() override { return timers_; }
  RunLoop& runLoop() override { return *this; }
  FontMetrics& fonts() override { return fonts_; }
  OpenPanel& openPanel() override { return openPanel_; }

  void attach(Window& window) override { ensurePeer(window); }

  void detach(Window& window) override {
    auto found = peers_.find(&window);
    if (found == peers_.end()) return;
    std::unique_ptr<WindowPeerImpl> peer = std::move(found->second);
    peers_.erase(found);
    peer.reset();
  }

  void* widget(const Window& window, std::string_view outlet) override {
    auto found = peers_.find(&window);
    if (found == peers_.end()) return nullptr;
    if (outlet.empty()) return found->second->widget();
    for (const auto& control : window.controls()) {
      if (control->outlet() != outlet) continue;
      ControlPeer* peer = found->second->peerOf(control.get());
      return peer ? peer->widget() : nullptr;
    }
    return nullptr;
  }

  bool writeSnapshot(const Window& window, const std::filesystem::path& file) override {
    auto* top = static_cast<QWidget*>(widget(window, {}));
    if (!top) return false;
    settleLayouts();
    return top->grab().save(QString::fromStdString(file.string()), "PNG");
  }

  std::vector<LayoutFault> checkLayout(const Window& window) override {
    auto found = peers_.find(&window);
    if (found == peers_.end() || !found->second->widget()) return {{window.outlet(), "not shown"}};
    settleLayouts();
    WindowPeerImpl& peer = *found->second;
    return qt::checkLayout(window, *peer.widget(), [&peer](const Control& control) -> QWidget* {
      ControlPeer* p = peer.peerOf(&control);
      return p ? p->widget() : nullptr;
    });
  }

  void stop() override {
    {
      std::lock_guard lock(mutex_);
      if (!application_) return;
    }
    if (!hostApplication_) {
      postToUiThread([this] {
        dropEverything();
        QCoreApplication::exit(0);
      });
      uiThread_.join();
      return;
    }
    // A host's application stays: drop what we made there, on its thread.
    if (onUiThread()) {
      dropEverything();
    } else {
      // A host whose loop no longer runs keeps what was made (nothing can drop it elsewhere);
      // the drop is then called off, so that it never runs on a toolkit that went.
      struct Drop {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        bool calledOff = false;
      };
      auto drop = std::make_shared<Drop>();
      postToUiThread([this, drop] {
        std::lock_guard lock(drop->mutex);
        if (drop->calledOff) return;
        dropEverything();
        drop->done = true;
        drop->finished.notify_all();
      });
      std::unique_lock lock(drop->mutex);
      if (!drop->finished.wait_for(lock, kHostLoopWait, [&] { return drop->done; })) {
        drop->calledOff = true;
        return;
      }
    }
    std::lock_guard lock(mutex_);
    application_ = nullptr;
  }

  // PeerHost
  WindowPeerImpl* peerOf(Window& window) override {
    auto found = peers_.find(&window);
    return found == peers_.end() ? nullptr : found->second.get();
  }

  WindowPeerImpl& ensurePeer(Window& window) override {
    if (WindowPeerImpl* peer = peerOf(window)) return *peer;
    auto peer = std::make_unique<WindowPeerImpl>(window, *this);
    WindowPeerImpl& made = *peer;
    peers_[&window] = std::move(peer);
    return made;
  }

  void windowGone(WindowPeerImpl& gone) override {
    for (auto it = peers_.begin(); it != peers_.end(); ++it) {
      if (it->second.get() != &gone) continue;
      // A session of the window ends with it.
      for (auto& [window, loop] : loops_) {
        if (window == it->first) loop->exit(kModalAbort);
      }
      std::unique_ptr<WindowPeerImpl> peer = std::move(it->second);
      peers_.erase(it);
      return;  // the peer is deleted here
    }
  }

  // RunLoop
  void runShortPass(Seconds maxTime) override {
    InputEater eater;
    QCoreApplication::instance()->installEventFilter(&eater);
    QCoreApplication::processEvents(QEventLoop::AllEvents,
                                    static_cast<int>(std::max(0.0, maxTime.count() * 1000.0)));
    QCoreApplication::instance()->removeEventFilter(&eater);
  }

  int runModal(Window& window) override {
    WindowPeerImpl& peer = ensurePeer(window);
    peer.setModal(true);
    if (!window.application().modalSessionStopped()) {
      QEventLoop loop;
      loops_.push_back({&window, &loop});
      loop.exec();
      loops_.pop_back();
    }
    if (WindowPeerImpl* still = peerOf(window)) still->setModal(false);
    return kModalStop;  // the application keeps the session's code
  }

  void stopModal(Window& window) override {
    for (auto it = loops_.rbegin(); it != loops_.rend(); ++it) {
      if (it->first == &window) {
        it->second->exit(0);
        return;
      }
    }
  }

  void attachAlert(Alert& alert) override {
    ensurePeer(alert.window()).setAlertIcon(alert.icon(), alert.style());
  }

 private:
  void runUiThread(std::promise<foundation::Status>& made) {
    static int argc = 1;
    static char name[] = "vantrel-ui";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QApplication> app;
    {
      EnvironmentOverride noGlib(kNoGlibVariable, "1");
      app = std::make_unique<QApplication>(argc, argv);
    }
    app->setQuitOnLastWindowClosed(false);
    anchorThreadRecord();
    uiThreadId_ = std::this_thread::get_id();
    {
      std::lock_guard lock(mutex_);
      application_ = app.get();
    }
    made.set_value(foundation::Status::success());
    startDevScript(app.get(), [this](const std::string& outlet) { return shownWidget(outlet); });
    app->exec();
    {
      std::lock_guard lock(mutex_);
      application_ = nullptr;
    }
    dropEverything();
    // Widgets handed to deleteLater go before their application.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    app.reset();
  }

  // Qt's plug-ins made on this thread (the platform, the image formats) live until the process
  // exits and only then release their hold on the thread's record; when the last of them
  // releases it, those destroyed after it read freed memory. An object of this thread that is
  // never released keeps the record for them.
  static void anchorThreadRecord() {
    static std::mutex lock;
    static auto* anchors = new std::vector<QObject*>;
    std::lock_guard hold(lock);
    anchors->push_back(new QObject);
  }

  // UI thread: the widget of the control `outlet` in the first window shown that has one.
  QWidget* shownWidget(const std::string& outlet) {
    for (const auto& [window, peer] : peers_) {
      QWidget* top = peer->widget();
      if (!top || !top->isVisible()) continue;
      if (QWidget* found = static_cast<QWidget*>(widget(*window, outlet))) return found;
    }
    return nullptr;
  }

  // UI thread: the peers, the timers and the cursors we set.
  void dropEverything() {
    for (auto& [window, loop] : loops_) loop->exit(kModalAbort);
    while (!peers_.empty()) detach(const_cast<Window&>(*peers_.begin()->first));
    timers_.cancelAll();
    cursors_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  std::mutex mutex_;
  QCoreApplication* application_ = nullptr;  // guarded by mutex_ (posts from other threads)
  bool hostApplication_ = false;
  std::thread uiThread_;
  std::thread::id uiThreadId_;
  std::map<const Window*, std::unique_ptr<WindowPeerImpl>> peers_;
  std::vector<std::pair<Window*, QEventLoop*>> loops_;
  QtPasteboard pasteboard_;
  QtCursors cursors_;
  QtTimers timers_;
  QtFontMetrics fonts_;
  QtOpenPanel openPanel_;
};

}  // namespace
}  // namespace ui::qt

extern "C" __attribute__((visibility("default"))) ui::Toolkit* vt_ui_create_toolkit(
    int interfaceVersion) {
  if (interfaceVersion != ui::Toolkit::kInterfaceVersion) return nullptr;
  return new ui::qt::QtToolkit;
}
