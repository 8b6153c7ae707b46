#pragma once
// The interface a toolkit adapter implements: a library of its own (the Qt one is
// platform/ui/qt), loaded by name when a window is first needed, so that the data source and
// every headless program never link a toolkit.
//
// The adapter reaches the layer only through its inline getters and virtual members (see
// Control.h), so one copy of the layer's code runs in the process; the layer reaches the adapter
// only through this interface and the peers it sets on windows and controls.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Result.h"
#include "platform/ui/Ports.h"

namespace ui {

class Alert;
class Window;

// A fault of a window's layout as drawn: the control (its outlet; the window's own for the
// window) and what is wrong with it.
struct LayoutFault {
  std::string control;
  std::string problem;
};

// The screen every window must fit.
inline constexpr int kLayoutScreenWidth = 1280;
inline constexpr int kLayoutScreenHeight = 800;

class Toolkit {
 public:
  static constexpr int kInterfaceVersion = 3;

  virtual ~Toolkit() = default;

  // Finds the UI thread: the thread of the application object a host runs already, else a
  // thread of our own with an application object made there once. Fails, starting nothing,
  // when the display the environment names cannot be reached.
  virtual foundation::Status start() = 0;
  // True when start made the UI thread (and stop will end it).
  virtual bool ownsUiThread() const = 0;
  virtual bool onUiThread() const = 0;
  // Runs the task later on the UI thread; from any thread, after start.
  virtual void postToUiThread(std::function<void()> task) = 0;

  // The toolkit's ports; UI thread only.
  virtual Pasteboard& pasteboard() = 0;
  virtual Cursors& cursors() = 0;
  virtual Timers& timers() = 0;
  virtual RunLoop& runLoop() = 0;
  virtual FontMetrics& fonts() = 0;
  virtual OpenPanel& openPanel() = 0;

  // UI thread: makes the peers of a window and of its controls (and of controls made later);
  // detach drops them. A window's peers also go when the window is destroyed.
  virtual void attach(Window& window) = 0;
  virtual void detach(Window& window) = 0;
  // Attaches an alert's window with the alert's icon beside its texts (the layer runs it).
  virtual void attachAlert(Alert& alert) = 0;

  // A development seam for tests and tools that drive or photograph the real widgets: the
  // toolkit's widget of a window (outlet empty) or of one of its controls, or null (from the Qt
  // adapter a QWidget*). UI thread only.
  virtual void* widget(const Window& window, std::string_view outlet) = 0;
  // The same seam for pictures: the window as drawn now (after the pending layout and paint),
  // written as a PNG file. False when the window has no widget or the file cannot be written.
  virtual bool writeSnapshot(const Window& window, const std::filesystem::path& file) = 0;
  // The same seam for a layout check: the window as laid out now, measured with the toolkit's
  // fonts. Faults: a control that overlaps another, lies outside its window or its box, or
  // cuts its text; a box with nothing shown in it; a window larger than the screen above.
  virtual std::vector<LayoutFault> checkLayout(const Window& window) = 0;

  // Ends what start began: the peers still attached go, our application object goes and our UI
  // thread is joined; a host's application and thread stay (from its GUI thread the peers go at
  // once; from another thread when its loop takes the drop within a few seconds, else they
  // stay). Not from a UI thread of our own.
  virtual void stop() = 0;
};

// The adapter library's one export: makes its toolkit, or answers null for another version.
using CreateToolkitFunction = Toolkit* (*)(int interfaceVersion);
inline constexpr const char* kCreateToolkitSymbol = "vt_ui_create_toolkit";

}  // namespace ui
