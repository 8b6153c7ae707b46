#include "platform/ui/Desktop.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "platform/foundation/SystemLog.h"

extern char** environ;

namespace ui {
namespace {

constexpr const char* kSoundPlayers[] = {"paplay", "aplay"};
constexpr const char* kFileViewer = "xdg-open";

}  // namespace

std::filesystem::path findProgram(const std::vector<std::string>& programs) {
  const char* path = std::getenv("PATH");
  std::string folders = path && *path ? path : "/usr/bin:/bin";
  for (const std::string& program : programs) {
    std::size_t start = 0;
    while (start <= folders.size()) {
      std::size_t end = folders.find(':', start);
      if (end == std::string::npos) end = folders.size();
      std::filesystem::path candidate =
          std::filesystem::path(folders.substr(start, end - start)) / program;
      if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
      start = end + 1;
    }
  }
  return {};
}

DesktopLauncher::~DesktopLauncher() {
  for (pid_t child : children_) ::kill(child, SIGTERM);
  reap(true);
}

bool DesktopLauncher::play(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) {
    foundation::systemLogf(foundation::LogLevel::warning, "sound %s: no such file\n", file.c_str());
    return false;
  }
  std::filesystem::path player =
      findProgram({std::string(kSoundPlayers[0]), std::string(kSoundPlayers[1])});
  if (player.empty()) {
    foundation::systemLogf(foundation::LogLevel::warning, "sound %s: no player (%s, %s)\n",
                           file.c_str(), kSoundPlayers[0], kSoundPlayers[1]);
    return false;
  }
  return launch(player, {file});
}

bool DesktopLauncher::reveal(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path folder =
      std::filesystem::is_directory(path, error) ? path : path.parent_path();
  std::filesystem::path viewer = findProgram({kFileViewer});
  if (viewer.empty()) {
    foundation::systemLogf(foundation::LogLevel::warning, "reveal %s: no %s\n", folder.c_str(),
                           kFileViewer);
    return false;
  }
  return launch(viewer, {folder});
}

bool DesktopLauncher::launch(const std::string& program,
                             const std::vector<std::string>& arguments) {
  reap(false);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // The child's output goes nowhere: a player's chatter is not the host's.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  int rc = ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    foundation::systemLogf(foundation::LogLevel::warning, "%s could not be started: %s\n",
                           program.c_str(), std::generic_category().message(rc).c_str());
    return false;
  }
  children_.push_back(child);
  return true;
}

void DesktopLauncher::reap(bool wait) {
  std::erase_if(children_, [wait](pid_t child) {
    int status = 0;
    pid_t done;
    do {
      done = ::waitpid(child, &status, wait ? 0 : WNOHANG);
    } while (done < 0 && errno == EINTR);
    return done != 0;  // reaped, or not ours any more
  });
}

}  // namespace ui
