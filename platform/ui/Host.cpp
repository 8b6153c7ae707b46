#include "platform/ui/Host.h"

#include <dlfcn.h>

#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <string>

#include "platform/foundation/SystemLog.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Application.h"

namespace ui {
namespace {

// How long the start waits for the UI thread to take the queue: a host whose application
// thread does not run its event loop must not hang the caller.
constexpr auto kAdoptionWait = std::chrono::seconds(10);

std::mutex gLibrariesMutex;
std::map<std::string, void*> gLibraries;  // loaded once, kept for the process

foundation::Status fail(std::string reason) {
  foundation::systemLogf(foundation::LogLevel::warning, "window host: %s\n", reason.c_str());
  return foundation::Status::failure(std::move(reason));
}

}  // namespace

foundation::Result<std::unique_ptr<Toolkit>> loadToolkit(const std::filesystem::path& library) {
  using R = foundation::Result<std::unique_ptr<Toolkit>>;
  void* handle = nullptr;
  {
    std::lock_guard lock(gLibrariesMutex);
    auto found = gLibraries.find(library.string());
    if (found != gLibraries.end()) {
      handle = found->second;
    } else {
      handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!handle) {
        const char* why = ::dlerror();
        return R::failure(
            fail("cannot load " + library.string() + ": " + (why ? why : "?")).error());
      }
      gLibraries.emplace(library.string(), handle);
    }
  }
  auto create = reinterpret_cast<CreateToolkitFunction>(::dlsym(handle, kCreateToolkitSymbol));
  if (!create) {
    return R::failure(
        fail(library.string() + " has no " + std::string(kCreateToolkitSymbol)).error());
  }
  std::unique_ptr<Toolkit> toolkit(create(Toolkit::kInterfaceVersion));
  if (!toolkit) {
    return R::failure(fail(library.string() + " refused interface version " +
                           std::to_string(Toolkit::kInterfaceVersion))
                          .error());
  }
  return R(std::move(toolkit));
}

struct ToolkitQueue::State {
  std::mutex mutex;
  std::condition_variable finished;
  bool closed = false;
};

ToolkitQueue::ToolkitQueue(Toolkit& toolkit)
    : toolkit_(toolkit), state_(std::make_shared<State>()) {}

bool ToolkitQueue::post(Task task) {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->closed) return false;
  }
  toolkit_.postToUiThread([state = state_, task = std::move(task)] {
    {
      std::lock_guard lock(state->mutex);
      if (state->closed) return;
    }
    task();
  });
  return true;
}

bool ToolkitQueue::performAndWait(Task task) {
  if (toolkit_.onUiThread()) {
    task();
    return true;
  }
  enum class Progress { pending, running, done, dropped };
  auto progress = std::make_shared<Progress>(Progress::pending);  // guarded by the state's mutex
  {
    std::lock_guard lock(state_->mutex);
    if (state_->closed) return false;
  }
  toolkit_.postToUiThread([state = state_, progress, task = std::move(task)] {
    {
      std::lock_guard lock(state->mutex);
      if (state->closed || *progress != Progress::pending) return;
      *progress = Progress::running;
    }
    task();
    {
      std::lock_guard lock(state->mutex);
      *progress = Progress::done;
    }
    state->finished.notify_all();
  });
  std::unique_lock lock(state_->mutex);
  // A task that started is always waited for; one that has not is dropped by a close.
  state_->finished.wait(lock, [&] {
    return *progress == Progress::done || (state_->closed && *progress == Progress::pending);
  });
  if (*progress == Progress::done) return true;
  *progress = Progress::dropped;
  return false;
}

void ToolkitQueue::close() {
  {
    std::lock_guard lock(state_->mutex);
    state_->closed = true;
  }
  state_->finished.notify_all();
}

int ToolkitAlerts::runModal(Alert& alert) {
  Window& window = alert.window();
  toolkit_.attachAlert(alert);
  window.center();
  const int response = window.application().runModal(window);
  toolkit_.detach(window);
  return response;
}

WindowHost::WindowHost(std::unique_ptr<Toolkit> toolkit)
    : toolkit_(std::move(toolkit)), queue_(*toolkit_), alerts_(*toolkit_) {}

foundation::Result<std::unique_ptr<WindowHost>> WindowHost::start(
    const std::filesystem::path& library) {
  auto toolkit = loadToolkit(library);
  if (!toolkit) return foundation::Result<std::unique_ptr<WindowHost>>::failure(toolkit.error());
  return start(std::move(*toolkit));
}

foundation::Result<std::unique_ptr<WindowHost>> WindowHost::start(
    std::unique_ptr<Toolkit> toolkit) {
  using R = foundation::Result<std::unique_ptr<WindowHost>>;
  foundation::Status started = toolkit->start();
  if (!started) return R::failure(fail(started.error()).error());
  // The toolkit's ports belong to the UI thread: take them there.
  auto ports = std::make_shared<std::promise<Services>>();
  auto taken = ports->get_future();
  Toolkit* t = toolkit.get();
  auto take = [ports, t] {
    ports->set_value({&t->pasteboard(), &t->cursors(), &t->timers(), &t->runLoop(), nullptr,
                      &t->fonts(), nullptr, &t->openPanel(), nullptr, nullptr});
  };
  if (t->onUiThread()) {
    take();
  } else {
    t->postToUiThread(take);
  }
  if (taken.wait_for(kAdoptionWait) != std::future_status::ready) {
    // The task may still run one day: the toolkit must stay for it (a host that never runs
    // its application's event loop gets no windows, and keeps what was made for them).
    toolkit.release();
    return R::failure(fail("the UI thread does not run its event loop").error());
  }
  std::unique_ptr<WindowHost> host(new WindowHost(std::move(toolkit)));
  host->services_ = taken.get();
  host->services_.queue = &host->queue_;
  host->services_.alerts = &host->alerts_;
  host->services_.sound = &host->desktop_;
  host->services_.fileViewer = &host->desktop_;
  return R(std::move(host));
}

WindowHost::~WindowHost() {
  queue_.close();
  toolkit_->stop();
}

}  // namespace ui
