// Windows in a host process that does not link Qt: the adapter is loaded by name, the UI thread
// is ours and goes again at the end; a GLib host's main loop keeps running beside it; without a
// display the start fails with a reason and starts nothing.
#include <glib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/Application.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Host.h"
#include "platform/ui/Window.h"
#include "tests/support/GlibHostLoop.h"
#include "tests/support/ThreadCount.h"
#include "tests/support/ThreadsGoneAtExit.h"

namespace {

using namespace ui;

const std::filesystem::path kAdapter = VT_QT_ADAPTER;

using testsupport::threadCount;
using testsupport::threadCountSettledAt;
using testsupport::threadNames;

// What a dialog keeps on the UI thread: its application and its window.
struct ShownWindow {
  std::unique_ptr<Application> application;
  std::unique_ptr<Window> window;
};

// Makes and shows a window with a button on the UI thread.
std::unique_ptr<ShownWindow> showWindow(WindowHost& host, Window::Delegate delegate = {}) {
  auto shown = std::make_unique<ShownWindow>();
  EXPECT_TRUE(host.queue().performAndWait([&] {
    shown->application = std::make_unique<Application>(host.services());
    shown->window =
        std::make_unique<Window>(*shown->application, WindowKind::window, "pMain", Size{320, 200});
    shown->window->make<Button>(nullptr, ControlKind::pushButton, "mBtnScan").setTitle("Scan");
    shown->window->setDelegate(std::move(delegate));
    host.toolkit().attach(*shown->window);
    shown->window->makeKeyAndOrderFront();
  }));
  return shown;
}

void destroy(WindowHost& host, std::unique_ptr<ShownWindow> shown) {
  EXPECT_TRUE(host.queue().performAndWait([&] { shown.reset(); }));
}

TEST(WindowHost, AHostWithoutQtOpensClosesReopensAndUnloadsTheWindowAndKeepsItsThreadCount) {
  const std::size_t before = threadCount();
  // Twice: a host may load the data source again after unloading it.
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    auto started = WindowHost::start(kAdapter);
    ASSERT_TRUE(started) << started.error();
    WindowHost& host = **started;
    EXPECT_TRUE(host.toolkit().ownsUiThread());
    EXPECT_FALSE(host.queue().onUiThread());

    int closes = 0;
    auto shown = showWindow(host, {.shouldClose = {}, .willClose = [&](Window&) { ++closes; }});
    bool visible = false;
    bool hasWidgets = false;
    ASSERT_TRUE(host.queue().performAndWait([&] {
      EXPECT_TRUE(host.queue().onUiThread());
      hasWidgets = host.toolkit().widget(*shown->window, "") != nullptr &&
                   host.toolkit().widget(*shown->window, "mBtnScan") != nullptr;
      shown->window->close();
      visible = shown->window->isVisible();
    }));
    EXPECT_TRUE(hasWidgets);
    EXPECT_FALSE(visible);
    EXPECT_EQ(closes, 1);
    ASSERT_TRUE(host.queue().performAndWait([&] {
      shown->window->makeKeyAndOrderFront();
      visible = shown->window->isVisible();
    }));
    EXPECT_TRUE(visible);
    destroy(host, std::move(shown));
    started->reset();
    EXPECT_EQ(threadCountSettledAt(before), before)
        << "the UI thread and Qt's own threads are gone: " << threadNames();
  }
}

TEST(WindowHost, AGlibHostsMainLoopRunsBesideTheWindowAndReceivesItsCloseRequest) {
  testsupport::GlibHostLoop loop;
  auto started = WindowHost::start(kAdapter);
  ASSERT_TRUE(started) << started.error();
  WindowHost& host = **started;
  // The close request reaches the host on its own loop, as a TWAIN source's message would.
  auto shown =
      showWindow(host, {.shouldClose = {}, .willClose = [&loop](Window&) { loop.requestClose(); }});
  // From a callback of the host's loop (which owns GLib's context meanwhile), a synchronous call
  // into the window, as a TWAIN application calls its source from its toolkit's callbacks; the
  // user then closes the window.
  ShownWindow* window = shown.get();
  testsupport::GlibHostLoop::atIdle([&host, window] {
    host.queue().performAndWait([window] { window->window->setTitle("Ferrolite"); });
    host.queue().post([window] { window->window->userClose(); });
  });
  EXPECT_TRUE(loop.runUntilClosed());
  destroy(host, std::move(shown));
  started->reset();
}

struct NoDisplayCase {
  const char* name;
  const char* platform;
  std::optional<const char*> display;  // unset when empty
  const char* reason;
};

TEST(WindowHost, WithoutADisplayTheStartFailsWithAReasonAndStartsNothing) {
  const NoDisplayCase cases[] = {
      {"no DISPLAY", "xcb", std::nullopt, "DISPLAY is not set"},
      {"a display nobody serves", "xcb", ":4093", "':4093' cannot be reached"},
      {"the default platform", nullptr, ":4093", "':4093' cannot be reached"},
      {"a list, none reachable", "wayland;xcb", ":4093", "':4093' cannot be reached"},
  };
  const std::size_t before = threadCount();
  for (const NoDisplayCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.platform) {
      ::setenv("QT_QPA_PLATFORM", c.platform, 1);
    } else {
      ::unsetenv("QT_QPA_PLATFORM");
    }
    if (c.display) {
      ::setenv("DISPLAY", *c.display, 1);
    } else {
      ::unsetenv("DISPLAY");
    }
    ::setenv("WAYLAND_DISPLAY", "vt-no-such-wayland", 1);
    auto started = WindowHost::start(kAdapter);
    ASSERT_FALSE(started);
    EXPECT_NE(started.error().find(c.reason), std::string::npos) << started.error();
    EXPECT_EQ(threadCount(), before);
  }
}

TEST(WindowHost, AnAdapterThatCannotBeLoadedIsAFailureWithItsReason) {
  auto missing = WindowHost::start(kAdapter.parent_path() / "libvt-ui-none.so");
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.error().find("cannot load"), std::string::npos) << missing.error();
}

}  // namespace
