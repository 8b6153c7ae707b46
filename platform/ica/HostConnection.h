#pragma once
// The host's end of the channel: starts the module program with a socket pair, sends it one
// request at a time and collects the notifications it sends. A reader thread takes every message
// as it comes, so notifications (a button press) arrive while no request is running, and those
// that wait are answered at once through the reply handler.
//
//   auto host = ica::HostConnection::start("/usr/lib/ferrolite-scanner/ferrolite-scanner", {});
//   Dictionary request;
//   request.set(ica::kMsgCall, ica::kCallOpenUSBDevice);
//   request.set(ica::kArgLocationID, 0x01100000);
//   auto response = (*host)->call(request);         // Result<Dictionary>
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Result.h"
#include "platform/ica/Channel.h"

namespace ica {

class HostConnection {
 public:
  // Starts `program` with `arguments` and the environment plus `environment` ("NAME=value").
  static foundation::Result<std::unique_ptr<HostConnection>> start(
      const std::string& program, const std::vector<std::string>& arguments,
      const std::vector<std::string>& environment = {});
  ~HostConnection();  // quits the module and waits for it
  HostConnection(const HostConnection&) = delete;
  HostConnection& operator=(const HostConnection&) = delete;

  // Sends the request (kMsgCall and its arguments) and waits for its response; fails when the
  // module went away.
  foundation::Result<foundation::Dictionary> call(const foundation::Dictionary& request);

  // Answers notifications that wait for a reply (0 when no handler is set). Runs on the reader.
  void setReplyHandler(std::function<int32_t(const foundation::Dictionary&)> handler);
  // The notifications received so far, and forgets them.
  std::vector<foundation::Dictionary> takeNotifications();
  // Waits until `count` notifications are held; false after `timeout` or when the module left.
  bool waitForNotifications(std::size_t count, std::chrono::milliseconds timeout);

  // Asks the module to quit and answers its exit status (-1 when it did not exit normally).
  int finish();
  pid_t pid() const { return pid_; }

 private:
  HostConnection(int fd, pid_t pid);
  void read();

  std::unique_ptr<Channel> channel_;
  pid_t pid_;
  int exitStatus_ = -1;
  bool finished_ = false;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool gone_ = false;
  int64_t lastId_ = 0;
  std::map<int64_t, std::optional<foundation::Dictionary>> responses_;
  std::vector<foundation::Dictionary> notifications_;
  std::function<int32_t(const foundation::Dictionary&)> replyHandler_;
};

}  // namespace ica
