#pragma once
// Local notifications between the processes of one user: the distributed notifications the
// deliverables exchange (the data source's side tells the Image Capture module to stop or resume
// its button reader with "none.ica.button.event", object the module's bundle identifier,
// userInfo {"StopOrGo": "stop" | "go"}).
//
// Every observer owns a Unix datagram socket in the channel folder. Posting sends the
// notification (a binary property list) to every socket there, observers of the posting
// process included; each observer keeps those of its name and object and calls its handler on a
// thread of its own, one notification at a time, in the order they arrived. The handler must not
// throw.
//
//   foundation::NotificationObserver observer;
//   observer.start("none.ica.button.event", bundleId, [&](const foundation::Notification& n) {
//     std::string what = n.userInfo.string("StopOrGo").valueOr("");
//   });
//   foundation::postNotification({"none.ica.button.event", bundleId, userInfo});
//   observer.stop();  // joins the thread; the destructor does it too
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Result.h"

namespace foundation {

struct Notification {
  std::string name;
  std::optional<std::string> object;
  Dictionary userInfo;
};

// A notification is at most this large once encoded.
constexpr std::size_t kMaxNotificationBytes = 64u << 10;

// The channel's folder: $VANTREL_NOTIFICATION_DIR (tests), else
// "$XDG_RUNTIME_DIR/vantrel-notifications", else "/tmp/vantrel-notifications-<uid>". It is made
// on first use, private to the user; a folder others can write to is refused.
std::filesystem::path notificationFolder();

// Sends to every observer of the folder and answers how many took it. Sockets left behind by
// ended processes are removed. An observer that does not take the notification within half a
// second (its queue full) misses it, with a line in the system log.
Result<int> postNotification(const Notification& notification);
Result<int> postNotification(const Notification& notification, const std::filesystem::path& folder);

class NotificationObserver {
 public:
  using Handler = std::function<void(const Notification&)>;

  NotificationObserver() = default;
  ~NotificationObserver();  // stops
  NotificationObserver(const NotificationObserver&) = delete;
  NotificationObserver& operator=(const NotificationObserver&) = delete;

  // Starts listening for `name` (and `object`, unless it is empty: then any object). The socket
  // exists when this returns, so a notification posted after it is delivered. Fails when the
  // folder or the socket cannot be made, or the observer runs already.
  Status start(std::string name, std::optional<std::string> object, Handler handler);
  Status start(const std::filesystem::path& folder, std::string name,
               std::optional<std::string> object, Handler handler);

  // Ends the thread and removes the socket; notifications not yet handled are dropped. Not to be
  // called from the handler. The observer may be started again.
  void stop();
  bool running() const { return thread_.joinable(); }

 private:
  void listen();

  std::string name_;
  std::optional<std::string> object_;
  Handler handler_;
  std::filesystem::path socketPath_;
  int socket_ = -1;
  int wake_ = -1;  // eventfd that ends the thread
  std::thread thread_;
};

}  // namespace foundation
