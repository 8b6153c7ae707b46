// The notification channel within one process and across processes (a helper program stands in
// for the other deliverable), with its filters, order, stale sockets and bad input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>

#include "platform/foundation/Notifications.h"
#include "platform/foundation/SystemLog.h"
#include "tests/support/Patience.h"
#include "tests/support/TestFolder.h"

namespace {

using namespace foundation;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kButtonEvent = "none.ica.button.event";
constexpr const char* kModuleId = "org.example.ferrolite-scanner";

// What one observer's handler received.
class Inbox {
 public:
  NotificationObserver::Handler handler() {
    return [this](const Notification& n) {
      std::lock_guard lock(mutex_);
      items_.push_back(n);
      arrived_.notify_all();
    };
  }
  // The first `count` notifications; fewer when they do not come within ten seconds.
  std::vector<Notification> waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, testsupport::kPatience, [&] { return items_.size() >= count; });
    return items_;
  }
  std::size_t size() {
    std::lock_guard lock(mutex_);
    return items_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Notification> items_;
};

Notification buttonEvent(const char* stopOrGo, const char* object = kModuleId) {
  Notification n{kButtonEvent, std::string(object), {}};
  n.userInfo.set("StopOrGo", stopOrGo);
  return n;
}

class Channel : public ::testing::Test {
 protected:
  fs::path folder = testsupport::freshTestFolder("notify") / "ch";
};

TEST_F(Channel, ObserversGetWhatMatchesTheirNameAndObject) {
  Inbox forModule, anyObject, other;
  NotificationObserver a, b, c;
  ASSERT_TRUE(a.start(folder, kButtonEvent, std::string(kModuleId), forModule.handler()));
  ASSERT_TRUE(b.start(folder, kButtonEvent, std::nullopt, anyObject.handler()));
  ASSERT_TRUE(c.start(folder, "other.event", std::nullopt, other.handler()));

  Notification rich = buttonEvent("stop");
  rich.userInfo.ensureDictionary("detail").set("count", 3);
  rich.userInfo.set("bytes", Data{0, 1, 2});
  EXPECT_EQ(*postNotification(rich, folder), 3) << "every socket takes every notification";
  EXPECT_EQ(*postNotification(buttonEvent("go", "org.example.other"), folder), 3);
  EXPECT_EQ(*postNotification({"other.event", std::nullopt, {}}, folder), 3);

  auto module = forModule.waitFor(1);
  auto any = anyObject.waitFor(2);
  auto others = other.waitFor(1);
  ASSERT_EQ(module.size(), 1u);
  EXPECT_EQ(module[0].name, kButtonEvent);
  EXPECT_EQ(module[0].object, kModuleId);
  EXPECT_EQ(module[0].userInfo, rich.userInfo);
  ASSERT_EQ(any.size(), 2u);
  EXPECT_EQ(*any[1].userInfo.string("StopOrGo"), "go");
  ASSERT_EQ(others.size(), 1u);
  EXPECT_FALSE(others[0].object.has_value());

  // What arrives after a matching one was handled proves the others were filtered, not late.
  EXPECT_EQ(*postNotification(buttonEvent("go"), folder), 3);
  EXPECT_EQ(forModule.waitFor(2).size(), 2u);
  EXPECT_EQ(anyObject.waitFor(3).size(), 3u);
  EXPECT_EQ(other.size(), 1u);
}

TEST_F(Channel, NotificationsArriveInTheOrderPosted) {
  constexpr int kCount = 200;  // far more than a socket queues: posting waits for the reader
  Inbox inbox;
  NotificationObserver observer;
  ASSERT_TRUE(observer.start(folder, "seq", std::nullopt, inbox.handler()));
  for (int i = 0; i < kCount; ++i) {
    Notification n{"seq", std::nullopt, {}};
    n.userInfo.set("i", i);
    ASSERT_EQ(*postNotification(n, folder), 1);
  }
  auto got = inbox.waitFor(kCount);
  ASSERT_EQ(got.size(), std::size_t{kCount});
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(*got[i].userInfo.integer("i"), i);
}

TEST_F(Channel, StopRemovesTheSocketAndAStoppedObserverStartsAgain) {
  Inbox inbox;
  NotificationObserver observer;
  ASSERT_TRUE(observer.start(folder, kButtonEvent, std::nullopt, inbox.handler()));
  EXPECT_FALSE(observer.start(folder, kButtonEvent, std::nullopt, inbox.handler()))
      << "one listener per observer";
  observer.stop();
  EXPECT_FALSE(observer.running());
  EXPECT_EQ(*postNotification(buttonEvent("stop"), folder), 0);
  EXPECT_TRUE(fs::is_empty(folder));
  ASSERT_TRUE(observer.start(folder, kButtonEvent, std::nullopt, inbox.handler()));
  EXPECT_EQ(*postNotification(buttonEvent("go"), folder), 1);
  auto got = inbox.waitFor(1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(*got[0].userInfo.string("StopOrGo"), "go");
}

TEST_F(Channel, SocketsOfEndedProcessesAreRemoved) {
  ASSERT_TRUE(postNotification(buttonEvent("go"), folder));  // makes the folder
  // A socket bound and closed without being removed, as a crashed observer leaves it.
  int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string path = (folder / "99999.0.0.socket").string();
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);
  ASSERT_TRUE(fs::exists(path));
  std::ofstream(folder / "notes.txt") << "not a socket: left alone";

  EXPECT_EQ(*postNotification(buttonEvent("go"), folder), 0);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(fs::exists(folder / "notes.txt"));
}

TEST_F(Channel, BadInputIsRefusedOrDroppedWithALogLine) {
  SystemLogCapture log;
  Inbox inbox;
  NotificationObserver observer;
  ASSERT_TRUE(observer.start(folder, kButtonEvent, std::nullopt, inbox.handler()));

  // Garbage and a dictionary without a name, sent straight to the observer's socket.
  fs::path socketPath = fs::directory_iterator(folder)->path();
  int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, socketPath.c_str());
  const char garbage[] = "definitely not a property list";
  ASSERT_GT(
      sendto(fd, garbage, sizeof garbage, 0, reinterpret_cast<sockaddr*>(&address), sizeof address),
      0);
  Dictionary nameless;
  nameless.set("object", kModuleId);
  auto bytes = serializePropertyList(nameless, PlistFormat::binary);
  ASSERT_GT(sendto(fd, bytes->data(), bytes->size(), 0, reinterpret_cast<sockaddr*>(&address),
                   sizeof address),
            0);
  close(fd);

  // The observer goes on: a good notification after them arrives, and the two were logged.
  ASSERT_EQ(*postNotification(buttonEvent("stop"), folder), 1);
  ASSERT_EQ(inbox.waitFor(1).size(), 1u);
  EXPECT_TRUE(log.contains("malformed notification dropped: is not a property list"));
  EXPECT_TRUE(log.contains("malformed notification dropped: has no name"));

  Notification huge = buttonEvent("go");
  huge.userInfo.set("padding", Data(kMaxNotificationBytes, 0x55));
  auto refused = postNotification(huge, folder);
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.error().find("larger than"), std::string::npos) << refused.error();
  EXPECT_EQ(inbox.size(), 1u);
}

TEST_F(Channel, AFolderOthersCanWriteToIsRefused) {
  fs::create_directories(folder);
  fs::permissions(folder, fs::perms::all);
  NotificationObserver observer;
  Status s = observer.start(folder, kButtonEvent, std::nullopt, [](const Notification&) {});
  ASSERT_FALSE(s);
  EXPECT_NE(s.error().find("closed to others"), std::string::npos) << s.error();
  EXPECT_FALSE(postNotification(buttonEvent("go"), folder));

  setenv("VANTREL_NOTIFICATION_DIR", "/run/test-channel", 1);
  EXPECT_EQ(notificationFolder(), "/run/test-channel");
  unsetenv("VANTREL_NOTIFICATION_DIR");
  setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
  EXPECT_EQ(notificationFolder(), "/run/user/1000/vantrel-notifications");
}

// ---- across processes

struct Helper {
  pid_t pid = -1;
  int output = -1;  // the helper's standard output
};

Helper spawnHelper(std::vector<std::string> args) {
  args.insert(args.begin(), FOUNDATION_NOTIFY_HELPER);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int pipeFds[2];
  Helper h;
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return h;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  if (posix_spawn(&h.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) h.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  h.output = pipeFds[0];
  return h;
}

// One line of the helper's output; empty when none comes within ten seconds.
std::string readLine(int fd) {
  std::string line;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) return {};
    char c;
    if (read(fd, &c, 1) != 1) return line;
    if (c == '\n') return line;
    line += c;
  }
}

int finish(Helper& h) {
  int status = -1;
  waitpid(h.pid, &status, 0);
  close(h.output);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Channel, TheButtonEventReachesAnotherProcess) {
  Helper observer = spawnHelper({"observe", folder, kButtonEvent, kModuleId, "2"});
  ASSERT_GT(observer.pid, 0);
  ASSERT_EQ(readLine(observer.output), "ready");
  EXPECT_EQ(*postNotification(buttonEvent("go", "org.example.other"), folder), 1);
  EXPECT_EQ(*postNotification(buttonEvent("stop"), folder), 1);
  EXPECT_EQ(*postNotification(buttonEvent("go"), folder), 1);
  EXPECT_EQ(readLine(observer.output), std::string(kModuleId) + " StopOrGo=stop");
  EXPECT_EQ(readLine(observer.output), std::string(kModuleId) + " StopOrGo=go");
  EXPECT_EQ(finish(observer), 0);
}

TEST_F(Channel, AnotherProcessPostsToObserversHere) {
  Inbox inbox;
  NotificationObserver observer;
  ASSERT_TRUE(observer.start(folder, kButtonEvent, std::string(kModuleId), inbox.handler()));
  for (const char* value : {"STOP", "go"}) {
    Helper poster = spawnHelper({"post", folder, kButtonEvent, kModuleId, value});
    ASSERT_GT(poster.pid, 0);
    EXPECT_EQ(readLine(poster.output), "1");
    EXPECT_EQ(finish(poster), 0);
  }
  auto got = inbox.waitFor(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(*got[0].userInfo.string("StopOrGo"), "STOP");
  EXPECT_EQ(*got[1].userInfo.string("StopOrGo"), "go");
  EXPECT_EQ(got[1].object, kModuleId);
}

}  // namespace
