#pragma once
// The UI's context: the services (ports) the windows use, the notification centre, the ruler
// units, the windows, and who may give input now. One per UI; windows must go before it.
//
// Input is refused while the short run-loop pass runs, and outside the window of a modal session
// (an alert, the transport window) while one runs. After each user event the views that asked
// to be redrawn draw, as the platform draws at the end of each event.
//
// UI thread only.
#include <vector>

#include "platform/ui/ImageView.h"
#include "platform/ui/NotificationCenter.h"
#include "platform/ui/Ports.h"

namespace ui {

class Window;

class Application {
 public:
  explicit Application(const Services& services);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  const Services& services() const { return services_; }
  NotificationCenter& notifications() { return notifications_; }
  RulerUnits& rulerUnits() { return units_; }
  const std::vector<Window*>& windows() const { return windows_; }

  // The modifier keys last reported held.
  Modifiers modifierFlags() const { return modifiers_; }
  void setModifierFlags(Modifiers modifiers) { modifiers_ = modifiers; }

  bool acceptsInput(const Window& window) const;

  // Lets windows draw for up to `maxTime` without taking user input.
  void runShortPass(Seconds maxTime);
  bool inShortPass() const { return shortPass_; }

  // A modal session for `window` (shown if it is not): input goes to it alone until stopModal;
  // answers the code stopModal gave. Sessions nest.
  int runModal(Window& window);
  void stopModal(int code);
  void abortModal() { stopModal(kModalAbort); }
  Window* modalWindow() const { return sessions_.empty() ? nullptr : sessions_.back().window; }
  // Whether the innermost session was stopped (what a run loop's runModal waits for).
  bool modalSessionStopped() const { return !sessions_.empty() && sessions_.back().stopped; }

  // For presenters that answer a session themselves (the scripted alerts): begin, let the answer
  // stop it, end (answers the code; kModalAbort when nothing stopped it).
  void beginModalSession(Window& window);
  int endModalSession();

  // Marks a user event: when the outermost one ends, windows draw what asked to be redrawn.
  class UserEvent {
   public:
    explicit UserEvent(Application& application);
    ~UserEvent();
    UserEvent(const UserEvent&) = delete;
    UserEvent& operator=(const UserEvent&) = delete;

   private:
    Application& application_;
  };

  void displayIfNeeded();

 private:
  friend class Window;
  struct Session {
    Window* window;
    bool stopped = false;
    int code = kModalAbort;
  };

  Services services_;
  NotificationCenter notifications_;
  RulerUnits units_;
  std::vector<Window*> windows_;
  std::vector<Session> sessions_;
  Modifiers modifiers_ = kNoModifier;
  bool shortPass_ = false;
  int eventDepth_ = 0;
};

}  // namespace ui
