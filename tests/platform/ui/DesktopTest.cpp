// The desktop's programs for sounds and folders: found in PATH, started with the file or folder,
// refused with a reason when the file or the program is missing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/ui/Desktop.h"
#include "tests/support/TestFolder.h"

namespace {

using ui::DesktopLauncher;

// PATH for the test's life: a folder of stand-in programs that write their argument into a pipe
// the test reads, which also tells the test that they ran.
class FakeDesktop {
 public:
  FakeDesktop() : folder_(testsupport::freshTestFolder("desktop")), pipe_(folder_ / "ran") {
    ::mkfifo(pipe_.c_str(), 0600);
    if (const char* path = std::getenv("PATH")) oldPath_ = path;
    ::setenv("PATH", (folder_ / "bin").c_str(), 1);
    std::filesystem::create_directories(folder_ / "bin");
  }
  ~FakeDesktop() { ::setenv("PATH", oldPath_.c_str(), 1); }

  void addProgram(const std::string& name) {
    const std::filesystem::path program = folder_ / "bin" / name;
    std::ofstream(program) << "#!/bin/sh\necho \"" << name << " $1\" > '" << pipe_.string()
                           << "'\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  }
  // Blocks until a program wrote its line. An open may still meet the previous program, which
  // wrote already and has yet to close its end: that read ends empty, and the next open waits.
  std::string nextRun() const {
    std::string line;
    while (line.empty()) {
      std::ifstream in(pipe_);
      std::getline(in, line);
    }
    return line;
  }
  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
  std::filesystem::path pipe_;
  std::string oldPath_;
};

TEST(Desktop, SoundsAndFoldersGoToTheFirstProgramFoundAndMissingOnesAreRefused) {
  FakeDesktop desktop;
  const std::filesystem::path sound = desktop.folder() / "beep.wav";
  std::ofstream(sound) << "RIFF";
  DesktopLauncher launcher;

  EXPECT_FALSE(launcher.play(sound)) << "no player in PATH";
  EXPECT_FALSE(launcher.reveal(desktop.folder())) << "no file viewer in PATH";

  desktop.addProgram("aplay");
  ASSERT_TRUE(launcher.play(sound));
  EXPECT_EQ(desktop.nextRun(), "aplay " + sound.string());
  desktop.addProgram("paplay");
  ASSERT_TRUE(launcher.play(sound));
  EXPECT_EQ(desktop.nextRun(), "paplay " + sound.string()) << "the sound server's player first";
  EXPECT_FALSE(launcher.play(desktop.folder() / "missing.wav"));

  desktop.addProgram("xdg-open");
  ASSERT_TRUE(launcher.reveal(sound));
  EXPECT_EQ(desktop.nextRun(), "xdg-open " + desktop.folder().string()) << "a file's own folder";
  ASSERT_TRUE(launcher.reveal(desktop.folder()));
  EXPECT_EQ(desktop.nextRun(), "xdg-open " + desktop.folder().string());
}

}  // namespace
