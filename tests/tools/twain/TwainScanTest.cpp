// twain-scan run as a user runs it, against a copy of the sample bundle.
#include <gmock/gmock.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/RunCommand.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kOk = 0, kSourceFault = 1, kUsage = 2, kNoBundle = 3;

testsupport::CommandRun RunScan(const std::string& args, const std::string& env = "") {
  return testsupport::runCommand(env + " " TWAIN_SCAN_PATH " " + args);
}

TEST(TwainScan, PrintsTheIdentityOpensAndCloses) {
  const std::string bundle = "--bundle " SAMPLE_BUNDLE;
  struct Case {
    std::string args, env;
    int exit;
    std::vector<std::string> shows, hides;
  };
  const std::vector<Case> cases = {
      {bundle,
       "",
       kOk,
       {"ProductName: Samplesource\n", "SupportedGroups: 0x40000003\n", "Protocol: 1.9\n",
        "Version: 2.1 (language 13, country 1, \"2.1\")\n", "Id: 3\n", "MSG_OPENDS: rc 0 cc 0\n",
        "Entry point: handed over\n", "MSG_CLOSEDS: rc 0 cc 0\n"},
       {"fault"}},
      {bundle + " --exported",
       "",
       kOk,
       {"MSG_OPENDS: rc 0", "MSG_CLOSEDS: rc 0"},
       {"Entry point", "fault"}},
      {bundle + " --identity", "", kOk, {"Manufacturer: Vantrel project\n"}, {"MSG_OPENDS"}},
      {"", "FERROLITE_BUNDLE=" SAMPLE_BUNDLE, kOk, {"ProductFamily: Test sources\n"}, {}},
      {bundle,
       "SAMPLESOURCE_FAULTS=forget-id",
       kSourceFault,
       {"fault: MSG_GET of the identity"},
       {}},
      {"--bundle /nonexistent/Ferrolite", "", kNoBundle, {"cannot read the bundle folder"}, {}},
      {"--frobnicate", "", kUsage, {"unknown argument '--frobnicate'", "usage:"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.env + " " + c.args);
    const testsupport::CommandRun run = RunScan(c.args, c.env);
    EXPECT_EQ(run.exit, c.exit) << run.output;
    for (const auto& s : c.shows) EXPECT_THAT(run.output, HasSubstr(s));
    for (const auto& s : c.hides) EXPECT_THAT(run.output, Not(HasSubstr(s)));
  }
}

}  // namespace
