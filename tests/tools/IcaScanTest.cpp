// ica-scan run as a user runs it: the host starts the module program, which loads the driver from
// its resource folder and reaches the simulated scanner; judged by the output and exit code.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tests/support/TestFolder.h"

namespace {

struct Outcome {
  int exit = -1;
  std::string out;
};

Outcome run(const std::string& arguments) {
  std::string command = std::string(ICA_SCAN_PATH) + " " + arguments + " 2>&1";
  Outcome r;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
  int status = pclose(pipe);
  r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

class IcaScan : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = testsupport::freshTestFolder("ica-scan");
    std::ofstream(folder_ / "scanner.txt") << "serial SIMT00001\nbutton 3 1\n";
    setenv("VANTREL_SIMULATOR", (folder_ / "scanner.txt").c_str(), 1);
    setenv("VANTREL_SIM_LIBRARY", VANTREL_SIM_PATH, 1);
    setenv("FERROLITE_SCANNER_RESOURCES", ICA_TEST_RESOURCES, 1);
    setenv("XDG_CONFIG_HOME", (folder_ / "config").c_str(), 1);
    setenv("VANTREL_NOTIFICATION_DIR", (folder_ / "notify").c_str(), 1);
    setenv("LANG", "C", 1);
  }
  std::filesystem::path folder_;
};

TEST_F(IcaScan, ListsTheRegistryByLocationId) {
  Outcome r = run("-L");
  EXPECT_EQ(r.exit, 0) << r.out;
  EXPECT_EQ(r.out, "location 0x01100000  usb F11E:0310\n");
}

TEST_F(IcaScan, OpensDescribesAndSetsThroughTheModule) {
  Outcome r = run("-o 0x01100000 --unit 3 --set ICAP_XRESOLUTION=200 --message btn?");
  EXPECT_EQ(r.exit, 0) << r.out;
  EXPECT_NE(r.out.find("device 0x00001001 at location 0x01100000: SIM-ADF300 ("), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Buttons: [scan]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  ICAP_XRESOLUTION: {current: 2, type: TWON_ENUMERATION, value: [100, "
                       "150, 200, 240, 300, 400, 600, 1200]}"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("message btn?: result 0, value 0x00000000"), std::string::npos) << r.out;
}

TEST_F(IcaScan, FailuresAndUsage) {
  Outcome unknown = run("-o 0x0F000000");
  EXPECT_EQ(unknown.exit, 1);
  EXPECT_NE(unknown.out.find("location 0x0F000000: not opened"), std::string::npos) << unknown.out;
  Outcome missing = run("-o 1 --module /nonexistent/ferrolite-scanner");
  EXPECT_EQ(missing.exit, 3) << missing.out;
  EXPECT_EQ(run("").exit, 2);
  EXPECT_EQ(run("-o x").exit, 2);
  EXPECT_EQ(run("-o 1 --message toolong").exit, 2);
}

}  // namespace
