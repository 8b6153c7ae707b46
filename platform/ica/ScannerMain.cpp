// ICD_ScannerMain: the framework thread of the module program, serving one host on the channel.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "platform/foundation/MainThreadQueue.h"
#include "platform/foundation/SystemLog.h"
#include "platform/ica/Channel.h"
#include "platform/ica/Framework.h"

namespace ica {
namespace {

using foundation::Dictionary;

// Notifications to the host over the channel, and the replies the module waits for.
class ChannelSink final : public NotificationSink {
 public:
  explicit ChannelSink(Channel& channel) : channel_(channel) {}

  bool notify(const Dictionary& notification) override {
    return channel_.send(message(nextId(), false, notification)).ok();
  }

  std::optional<int32_t> notifyAndWait(const Dictionary& notification) override {
    int64_t id = nextId();
    std::unique_lock lock(mutex_);
    if (closed_) return std::nullopt;
    waiting_[id] = std::nullopt;
    lock.unlock();
    bool sent = channel_.send(message(id, true, notification)).ok();
    lock.lock();
    if (sent) replied_.wait(lock, [&] { return closed_ || waiting_[id].has_value(); });
    std::optional<int32_t> reply = waiting_[id];
    waiting_.erase(id);
    return reply;
  }

  void deliver(int64_t id, int32_t code) {
    std::lock_guard lock(mutex_);
    auto it = waiting_.find(id);
    if (it == waiting_.end()) return;  // nobody waits (any more) for this one
    it->second = code;
    replied_.notify_all();
  }

  void close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    replied_.notify_all();
  }

 private:
  int64_t nextId() { return ++lastId_; }
  static Dictionary message(int64_t id, bool wait, const Dictionary& notification) {
    Dictionary m;
    m.set(kMsgType, kTypeNotification);
    m.set(kMsgId, id);
    m.set(kMsgWait, wait);
    m.set(kMsgNotification, notification);
    return m;
  }

  Channel& channel_;
  std::atomic<int64_t> lastId_{0};
  std::mutex mutex_;
  std::condition_variable replied_;
  std::map<int64_t, std::optional<int32_t>> waiting_;
  bool closed_ = false;
};

constexpr auto kIdleWait = std::chrono::milliseconds(1000);

}  // namespace
}  // namespace ica

int ICD_ScannerMain(int /*argc*/, char* /*argv*/[]) {
  using namespace ica;
  const char* fdText = std::getenv(kChannelFdVariable);
  char* end = nullptr;
  long fd = fdText ? std::strtol(fdText, &end, 10) : -1;
  if (!fdText || *end || fd < 0) {
    foundation::systemLogf(foundation::LogLevel::error, "ICD_ScannerMain: no host channel (%s)\n",
                           kChannelFdVariable);
    return 1;
  }
  Channel channel{int(fd)};
  ChannelSink sink(channel);
  setNotificationSink(&sink);
  foundation::MainThreadQueue queue;  // the framework thread is this one
  Dispatcher dispatcher;
  std::atomic<bool> done{false};

  std::thread reader([&] {
    for (;;) {
      auto message = channel.receive();
      std::string type = message ? message->string(kMsgType).valueOr("") : std::string();
      if (!message || type == kTypeQuit) {
        if (!message && message.error() != "closed")
          foundation::systemLogf(foundation::LogLevel::error, "ICD_ScannerMain: %s\n",
                                 message.error().c_str());
        break;
      }
      if (type == kTypeReply) {
        sink.deliver(message->integer(kMsgId).valueOr(0),
                     int32_t(message->integer(kMsgCode).valueOr(0)));
      } else if (type == kTypeRequest) {
        queue.post([&channel, &dispatcher, request = std::move(*message)] {
          Dictionary response = dispatcher.handle(request);
          response.set(kMsgType, kTypeResponse);
          response.set(kMsgId, request.integer(kMsgId).valueOr(0));
          channel.send(response);
        });
      }
    }
    done = true;
    sink.close();
    queue.post([] {});  // wakes the framework thread
  });

  while (!done) queue.drainFor(kIdleWait);
  dispatcher.closeAll();
  setNotificationSink(nullptr);
  channel.shutdown();
  reader.join();
  return 0;
}
