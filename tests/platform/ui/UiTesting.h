#pragma once
// Shared fixture of the widget layer's tests: scripted services, an application, a shown window,
// the simulated user, a controller's properties and a log that actions and handlers write to.
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Application.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Properties.h"
#include "platform/ui/Scripted.h"
#include "platform/ui/User.h"
#include "platform/ui/Window.h"

namespace uitest {

struct UiFixture {
  ui::ScriptedServices services;
  ui::Application application{services.services()};
  ui::Properties properties;
  ui::User user;
  std::vector<std::string> log;
  std::unique_ptr<ui::Window> window =
      std::make_unique<ui::Window>(application, ui::WindowKind::window, "main", ui::Size{640, 480});

  UiFixture() { window->makeKeyAndOrderFront(); }
  ~UiFixture() { window.reset(); }

  // An action that logs "<what>" when it runs.
  ui::Control::Action logs(std::string what) {
    return [this, what](ui::Control&) { log.push_back(what); };
  }
};

// A peer that counts what it is told, as a toolkit's widget would be.
class RecordingPeer : public ui::Peer {
 public:
  void changed(ui::Aspect aspect) override { aspects.push_back(aspect); }
  void released() override { released_ = true; }
  int count(ui::Aspect aspect) const {
    int n = 0;
    for (ui::Aspect a : aspects) n += a == aspect;
    return n;
  }
  std::vector<ui::Aspect> aspects;
  bool released_ = false;
};

}  // namespace uitest
