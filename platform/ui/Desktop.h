#pragma once
// The desktop's own programs for what a window hands on: sounds to the sound server's player
// ("paplay", else "aplay"), folders to the file viewer ("xdg-open"). Programs run in the
// background; finished ones are reaped on the next call, and the launcher ends and reaps those
// still running when it goes, so no child outlives it as a zombie.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ui/Ports.h"

namespace ui {

class DesktopLauncher : public Sound, public FileViewer {
 public:
  DesktopLauncher() = default;
  ~DesktopLauncher() override;
  DesktopLauncher(const DesktopLauncher&) = delete;
  DesktopLauncher& operator=(const DesktopLauncher&) = delete;

  // False, with a line in the system log, when the file is missing or no player is found.
  bool play(const std::filesystem::path& file) override;
  // Opens the folder (a file's own folder) in the file viewer.
  bool reveal(const std::filesystem::path& path) override;

 private:
  bool launch(const std::string& program, const std::vector<std::string>& arguments);
  void reap(bool wait);
  std::vector<pid_t> children_;
};

// The first of `programs` found in PATH as an executable, or empty.
std::filesystem::path findProgram(const std::vector<std::string>& programs);

}  // namespace ui
