#pragma once
// Windows in a host process: loads a toolkit adapter by its file name, starts it (a host's
// application thread, or a UI thread of our own), and gives the services the windows use there,
// among them the UI queue that every call from another thread goes through (posted and waited
// for; run at once when already on the UI thread).
//
//   auto host = ui::WindowHost::start(folder / ui::kQtToolkitLibrary);
//   if (!host) return fail(host.error());              // e.g. no display: logged already
//   host->queue().performAndWait([&] { dialog = makeDialog(host->services()); });
//   ...
//   host->queue().performAndWait([&] { dialog.reset(); });
//   host.reset();                                      // our UI thread quits and is joined
//
// The adapter library stays loaded for the life of the process: a toolkit's libraries are not
// made to be unloaded from a running process, and a later window needs nothing loaded again.
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>

#include "platform/foundation/Result.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/Ports.h"
#include "platform/ui/Toolkit.h"

namespace ui {

// The Qt adapter's library name, as the build writes it beside the programs' libraries.
inline constexpr const char* kQtToolkitLibrary = "libvt-ui-qt.so";

// Loads an adapter library once per path (RTLD_NOW | RTLD_LOCAL) and makes its toolkit.
foundation::Result<std::unique_ptr<Toolkit>> loadToolkit(const std::filesystem::path& library);

// The UI queue over a toolkit: tasks wait in the toolkit's event loop. Once closed, waiting
// callers are released and tasks not yet started never run.
class ToolkitQueue : public UiQueue {
 public:
  explicit ToolkitQueue(Toolkit& toolkit);
  ~ToolkitQueue() override { close(); }

  bool post(Task task) override;
  bool performAndWait(Task task) override;
  bool onUiThread() const override { return toolkit_.onUiThread(); }
  void close();

 private:
  struct State;
  Toolkit& toolkit_;
  std::shared_ptr<State> state_;
};

// Alerts as the toolkit's windows, run modally through their application.
class ToolkitAlerts : public AlertPresenter {
 public:
  explicit ToolkitAlerts(Toolkit& toolkit) : toolkit_(toolkit) {}
  int runModal(Alert& alert) override;

 private:
  Toolkit& toolkit_;
};

class WindowHost {
 public:
  static foundation::Result<std::unique_ptr<WindowHost>> start(
      const std::filesystem::path& library);
  // A toolkit made elsewhere (tests hand in their own).
  static foundation::Result<std::unique_ptr<WindowHost>> start(std::unique_ptr<Toolkit> toolkit);
  ~WindowHost();
  WindowHost(const WindowHost&) = delete;
  WindowHost& operator=(const WindowHost&) = delete;

  UiQueue& queue() { return queue_; }
  // The ports for windows on the UI thread.
  const Services& services() const { return services_; }
  Toolkit& toolkit() { return *toolkit_; }

 private:
  explicit WindowHost(std::unique_ptr<Toolkit> toolkit);
  std::unique_ptr<Toolkit> toolkit_;
  ToolkitQueue queue_;
  ToolkitAlerts alerts_;
  DesktopLauncher desktop_;
  Services services_;
};

}  // namespace ui
