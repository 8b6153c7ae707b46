#pragma once
// A host's GLib main loop on the test's thread, as a GTK application runs one: it owns GLib's
// default context while it runs. Work reaches it at idle from any thread; run() ends when the
// close request arrived or a guard time passed.
#include <glib.h>

#include <functional>

#include "tests/support/Patience.h"

namespace testsupport {

class GlibHostLoop {
 public:
  GlibHostLoop() : loop_(g_main_loop_new(nullptr, FALSE)) {}
  ~GlibHostLoop() { g_main_loop_unref(loop_); }
  GlibHostLoop(const GlibHostLoop&) = delete;
  GlibHostLoop& operator=(const GlibHostLoop&) = delete;

  // Runs `task` in a callback of the loop (from any thread).
  static void atIdle(std::function<void()> task) {
    g_idle_add_full(
        G_PRIORITY_DEFAULT_IDLE,
        [](gpointer data) {
          (*static_cast<std::function<void()>*>(data))();
          return G_SOURCE_REMOVE;
        },
        new std::function<void()>(std::move(task)),
        [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
  }
  // The close request, from any thread: noted on the loop, which then ends.
  void requestClose() {
    atIdle([this] {
      closeRequested_ = true;
      g_main_loop_quit(loop_);
    });
  }
  // Runs the loop until the close request, at most `guardSeconds`; answers whether it came.
  bool runUntilClosed(unsigned guardSeconds = kPatience.count()) {
    const guint guard = g_timeout_add_seconds(
        guardSeconds,
        [](gpointer data) {
          g_main_loop_quit(static_cast<GMainLoop*>(data));
          return G_SOURCE_REMOVE;
        },
        loop_);
    g_main_loop_run(loop_);
    if (closeRequested_) g_source_remove(guard);
    return closeRequested_;
  }

 private:
  GMainLoop* loop_;
  bool closeRequested_ = false;
};

}  // namespace testsupport
