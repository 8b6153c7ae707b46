// The notification channel over Unix datagram sockets, one per observer, in a private folder.
#include "platform/foundation/Notifications.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cassert>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <system_error>
#include <vector>

#include "platform/foundation/SystemLog.h"

namespace foundation {
namespace {

constexpr const char* kFolderOverride = "VANTREL_NOTIFICATION_DIR";
constexpr const char* kFolderName = "vantrel-notifications";
constexpr std::string_view kSocketSuffix = ".socket";
constexpr int kSendTimeoutMs = 500;
constexpr mode_t kFolderMode = 0700;

// Keys of the encoded form.
constexpr const char* kNameKey = "name";
constexpr const char* kObjectKey = "object";
constexpr const char* kUserInfoKey = "userInfo";

std::atomic<unsigned> gObserverCount{0};

std::string errnoText(int error) { return std::strerror(error); }

bool fillAddress(const std::filesystem::path& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  const std::string& s = path.native();
  if (s.size() >= sizeof address->sun_path) return false;
  std::memcpy(address->sun_path, s.c_str(), s.size() + 1);
  return true;
}

// Makes the folder (private to the user) or checks that an existing one is.
Status prepareFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  if (folder.has_parent_path()) std::filesystem::create_directories(folder.parent_path(), ec);
  if (::mkdir(folder.c_str(), kFolderMode) != 0 && errno != EEXIST) {
    return Status::failure("cannot make the notification folder \"" + folder.string() +
                           "\": " + errnoText(errno));
  }
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) {
    return Status::failure("cannot inspect the notification folder \"" + folder.string() +
                           "\": " + errnoText(errno));
  }
  // Nobody else may plant or remove sockets here.
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 022) != 0) {
    return Status::failure("the notification folder \"" + folder.string() +
                           "\" is not a folder of this user closed to others");
  }
  return Status::success();
}

Result<Data> encode(const Notification& n) {
  Dictionary message;
  message.set(kNameKey, n.name);
  if (n.object) message.set(kObjectKey, *n.object);
  message.set(kUserInfoKey, n.userInfo);
  auto bytes = serializePropertyList(message, PlistFormat::binary);
  if (!bytes) return bytes;
  if (bytes->size() > kMaxNotificationBytes) {
    return Result<Data>::failure("notification \"" + n.name + "\" is larger than " +
                                 std::to_string(kMaxNotificationBytes) + " bytes");
  }
  return bytes;
}

Result<Notification> decode(std::span<const std::uint8_t> bytes) {
  using R = Result<Notification>;
  auto value = parsePropertyList(bytes);
  if (!value) return R::failure(value.error());
  auto message = value->dictionary();
  if (!message) return R::failure("is not a dictionary");
  Notification n;
  auto name = message->string(kNameKey);
  if (!name) return R::failure("has no name");
  n.name = *name;
  auto object = message->string(kObjectKey);
  if (object.status() == Found::otherKind) return R::failure("has an object that is no string");
  if (object) n.object = *object;
  auto info = message->dictionary(kUserInfoKey);
  if (info.status() == Found::otherKind) return R::failure("has a userInfo that is no dictionary");
  if (info) n.userInfo = *info;
  return n;
}

enum class Delivery { delivered, stale, gone, failed };

Delivery sendTo(const std::filesystem::path& target, const Data& bytes, std::string* error) {
  sockaddr_un address;
  if (!fillAddress(target, &address)) {
    *error = "path too long";
    return Delivery::failed;
  }
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = errnoText(errno);
    return Delivery::failed;
  }
  timeval timeout{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  Delivery result = Delivery::delivered;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (errno == ECONNREFUSED) {
      result = Delivery::stale;
    } else if (errno == ENOENT) {
      result = Delivery::gone;
    } else {
      *error = errnoText(errno);
      result = Delivery::failed;
    }
  } else {
    ssize_t n;
    do {
      n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      // The observer ended between connect and send: as good as gone.
      if (errno == ECONNREFUSED || errno == ENOTCONN) {
        result = Delivery::gone;
      } else {
        *error = errno == EAGAIN ? std::string("its queue stayed full") : errnoText(errno);
        result = Delivery::failed;
      }
    }
  }
  ::close(fd);
  return result;
}

}  // namespace

std::filesystem::path notificationFolder() {
  const char* forced = std::getenv(kFolderOverride);
  if (forced && *forced) return forced;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') return std::filesystem::path(runtime) / kFolderName;
  return std::filesystem::temp_directory_path() /
         (std::string(kFolderName) + "-" + std::to_string(::getuid()));
}

Result<int> postNotification(const Notification& notification) {
  return postNotification(notification, notificationFolder());
}

Result<int> postNotification(const Notification& notification,
                             const std::filesystem::path& folder) {
  using R = Result<int>;
  auto bytes = encode(notification);
  if (!bytes) return R::failure("cannot post: " + bytes.error());
  if (Status s = prepareFolder(folder); !s) return R::failure("cannot post: " + s.error());

  std::error_code ec;
  std::vector<std::filesystem::path> targets;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with(kSocketSuffix)) targets.push_back(entry.path());
  }
  if (ec) {
    return R::failure("cannot list the notification folder \"" + folder.string() +
                      "\": " + ec.message());
  }
  int delivered = 0;
  for (const auto& target : targets) {
    std::string error;
    switch (sendTo(target, *bytes, &error)) {
      case Delivery::delivered:
        ++delivered;
        break;
      case Delivery::stale:
        // Nobody listens any more: its process ended without removing the socket.
        ::unlink(target.c_str());
        break;
      case Delivery::gone:
        break;
      case Delivery::failed:
        systemLogf(LogLevel::warning, "notification \"%s\" not delivered to %s: %s",
                   notification.name.c_str(), target.c_str(), error.c_str());
        break;
    }
  }
  return delivered;
}

// ---- observer

NotificationObserver::~NotificationObserver() { stop(); }

Status NotificationObserver::start(std::string name, std::optional<std::string> object,
                                   Handler handler) {
  return start(notificationFolder(), std::move(name), std::move(object), std::move(handler));
}

Status NotificationObserver::start(const std::filesystem::path& folder, std::string name,
                                   std::optional<std::string> object, Handler handler) {
  if (running()) return Status::failure("the observer of \"" + name_ + "\" runs already");
  if (Status s = prepareFolder(folder); !s) return s;

  // A name no other observer, here or in another process, can have.
  std::random_device random;
  std::filesystem::path path =
      folder / (std::to_string(::getpid()) + "." + std::to_string(gObserverCount++) + "." +
                std::to_string(random() & 0xFFFFFF) + std::string(kSocketSuffix));
  sockaddr_un address;
  if (!fillAddress(path, &address)) {
    return Status::failure("the notification folder's path \"" + folder.string() +
                           "\" is too long for a socket");
  }
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Status::failure("cannot make a notification socket: " + errnoText(errno));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    int e = errno;
    ::close(fd);
    return Status::failure("cannot bind \"" + path.string() + "\": " + errnoText(e));
  }
  int wake = ::eventfd(0, EFD_CLOEXEC);
  if (wake < 0) {
    int e = errno;
    ::close(fd);
    ::unlink(path.c_str());
    return Status::failure("cannot make an event descriptor: " + errnoText(e));
  }
  name_ = std::move(name);
  object_ = std::move(object);
  handler_ = std::move(handler);
  socketPath_ = path;
  socket_ = fd;
  wake_ = wake;
  thread_ = std::thread(&NotificationObserver::listen, this);
  return Status::success();
}

void NotificationObserver::stop() {
  if (!thread_.joinable()) return;
  assert(thread_.get_id() != std::this_thread::get_id() && "stop() called from the handler");
  std::uint64_t one = 1;
  ssize_t ignored = ::write(wake_, &one, sizeof one);
  (void)ignored;
  thread_.join();
  // Unlink first: a poster that still finds the name then gets "gone", not a stale socket.
  ::unlink(socketPath_.c_str());
  ::close(socket_);
  ::close(wake_);
  socket_ = wake_ = -1;
  handler_ = nullptr;
}

void NotificationObserver::listen() {
  std::vector<std::uint8_t> buffer(kMaxNotificationBytes + 1);
  for (;;) {
    pollfd fds[2] = {{wake_, POLLIN, 0}, {socket_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      systemLogf(LogLevel::error, "notification observer of \"%s\" ends: %s", name_.c_str(),
                 errnoText(errno).c_str());
      return;
    }
    if (fds[0].revents != 0) return;
    if ((fds[1].revents & POLLIN) == 0) continue;
    ssize_t n = ::recv(socket_, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0) continue;  // EAGAIN or EINTR: poll again
    if (static_cast<std::size_t>(n) > kMaxNotificationBytes) {
      systemLogf(LogLevel::warning, "notification of %zd bytes dropped: too large", n);
      continue;
    }
    auto notification = decode(std::span(buffer.data(), static_cast<std::size_t>(n)));
    if (!notification) {
      systemLogf(LogLevel::warning, "malformed notification dropped: %s",
                 notification.error().c_str());
      continue;
    }
    if (notification->name != name_) continue;
    if (object_ && notification->object != object_) continue;
    handler_(*notification);
  }
}

}  // namespace foundation
