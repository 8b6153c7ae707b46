#include "platform/ui/Application.h"

#include "platform/ui/Window.h"

namespace ui {

Application::Application(const Services& services) : services_(services) {}

Application::~Application() = default;

bool Application::acceptsInput(const Window& window) const {
  if (shortPass_) return false;
  if (!window.isVisible()) return false;
  // A drawer shares its window's state (sheets and sessions).
  const Window* w = &window;
  if (w->kind() == WindowKind::drawer && w->parentWindow()) w = w->parentWindow();
  if (w->attachedSheet() && w->attachedSheet()->isVisible()) return false;
  if (!sessions_.empty()) {
    const Window* modal = sessions_.back().window;
    bool inside = false;
    for (const Window* s = w; s; s = s->sheetParent()) {
      if (s == modal) inside = true;
    }
    if (!inside) return false;
  }
  return true;
}

void Application::runShortPass(Seconds maxTime) {
  const bool outer = !shortPass_;
  shortPass_ = true;
  displayIfNeeded();
  services_.runLoop->runShortPass(maxTime);
  if (outer) shortPass_ = false;
}

int Application::runModal(Window& window) {
  beginModalSession(window);
  services_.runLoop->runModal(window);
  return endModalSession();
}

void Application::beginModalSession(Window& window) {
  sessions_.push_back({&window});
  if (!window.isVisible()) window.makeKeyAndOrderFront();
}

int Application::endModalSession() {
  if (sessions_.empty()) return kModalAbort;
  Session session = sessions_.back();
  sessions_.pop_back();
  return session.stopped ? session.code : kModalAbort;
}

void Application::stopModal(int code) {
  if (sessions_.empty()) return;
  Session& session = sessions_.back();
  if (session.stopped) return;
  session.stopped = true;
  session.code = code;
  if (session.window) services_.runLoop->stopModal(*session.window);
}

Application::UserEvent::UserEvent(Application& application) : application_(application) {
  ++application_.eventDepth_;
}

Application::UserEvent::~UserEvent() {
  if (--application_.eventDepth_ == 0) application_.displayIfNeeded();
}

void Application::displayIfNeeded() {
  // Drawing may open or close windows; go by index.
  for (std::size_t i = 0; i < windows_.size(); ++i) windows_[i]->displayIfNeeded();
}

}  // namespace ui
