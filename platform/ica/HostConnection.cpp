#include "platform/ica/HostConnection.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace ica {

using foundation::Dictionary;

foundation::Result<std::unique_ptr<HostConnection>> HostConnection::start(
    const std::string& program, const std::vector<std::string>& arguments,
    const std::vector<std::string>& environment) {
  using R = foundation::Result<std::unique_ptr<HostConnection>>;
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
    return R::failure(std::string("socketpair: ") + std::strerror(errno));
  // The host's end stays here; the module's end is inherited across the exec.
  fcntl(pair[0], F_SETFD, FD_CLOEXEC);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, kChannelFdVariable, std::strlen(kChannelFdVariable)) == 0 &&
        (*e)[std::strlen(kChannelFdVariable)] == '=')
      continue;
    env.push_back(*e);
  }
  env.insert(env.end(), environment.begin(), environment.end());
  env.push_back(std::string(kChannelFdVariable) + "=" + std::to_string(pair[1]));
  std::vector<char*> envp, argv;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string path = program;
  argv.push_back(path.data());
  std::vector<std::string> args = arguments;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  int rc = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), envp.data());
  ::close(pair[1]);
  if (rc != 0) {
    ::close(pair[0]);
    return R::failure("cannot start " + program + ": " + std::strerror(rc));
  }
  return std::unique_ptr<HostConnection>(new HostConnection(pair[0], pid));
}

HostConnection::HostConnection(int fd, pid_t pid)
    : channel_(std::make_unique<Channel>(fd)), pid_(pid) {
  reader_ = std::thread([this] { read(); });
}

HostConnection::~HostConnection() { finish(); }

void HostConnection::read() {
  for (;;) {
    auto message = channel_->receive();
    if (!message) break;
    std::string type = message->string(kMsgType).valueOr("");
    int64_t id = message->integer(kMsgId).valueOr(0);
    if (type == kTypeResponse) {
      std::lock_guard lock(mutex_);
      auto it = responses_.find(id);
      if (it != responses_.end()) it->second = std::move(*message);
      changed_.notify_all();
    } else if (type == kTypeNotification) {
      Dictionary notification = message->dictionary(kMsgNotification).valueOr(Dictionary{});
      bool wait = message->boolean(kMsgWait).valueOr(false);
      std::function<int32_t(const Dictionary&)> handler;
      {
        std::lock_guard lock(mutex_);
        notifications_.push_back(notification);
        handler = replyHandler_;
        changed_.notify_all();
      }
      if (wait) {
        Dictionary reply;
        reply.set(kMsgType, kTypeReply);
        reply.set(kMsgId, id);
        reply.set(kMsgCode, int64_t(handler ? handler(notification) : 0));
        channel_->send(reply);
      }
    }
  }
  std::lock_guard lock(mutex_);
  gone_ = true;
  changed_.notify_all();
}

foundation::Result<Dictionary> HostConnection::call(const Dictionary& request) {
  using R = foundation::Result<Dictionary>;
  Dictionary message = request;
  int64_t id;
  {
    std::lock_guard lock(mutex_);
    if (gone_) return R::failure("the module is gone");
    id = ++lastId_;
    responses_[id] = std::nullopt;
  }
  message.set(kMsgType, kTypeRequest);
  message.set(kMsgId, id);
  if (auto sent = channel_->send(message); !sent) {
    std::lock_guard lock(mutex_);
    responses_.erase(id);
    return R::failure(sent.error());
  }
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return gone_ || responses_[id].has_value(); });
  std::optional<Dictionary> response = std::move(responses_[id]);
  responses_.erase(id);
  if (!response) return R::failure("the module went away during the request");
  return std::move(*response);
}

void HostConnection::setReplyHandler(std::function<int32_t(const Dictionary&)> handler) {
  std::lock_guard lock(mutex_);
  replyHandler_ = std::move(handler);
}

std::vector<Dictionary> HostConnection::takeNotifications() {
  std::lock_guard lock(mutex_);
  return std::exchange(notifications_, {});
}

bool HostConnection::waitForNotifications(std::size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return gone_ || notifications_.size() >= count; });
  return notifications_.size() >= count;
}

int HostConnection::finish() {
  if (finished_) return exitStatus_;
  finished_ = true;
  Dictionary quit;
  quit.set(kMsgType, kTypeQuit);
  channel_->send(quit);
  int status = 0;
  pid_t waited;
  do {
    waited = waitpid(pid_, &status, 0);
  } while (waited < 0 && errno == EINTR);
  channel_->shutdown();
  reader_.join();
  exitStatus_ = waited == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return exitStatus_;
}

}  // namespace ica
