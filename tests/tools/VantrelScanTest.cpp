// vantrel-scan run as a user runs it: a process with its own environment, against a simulated
// scanner described by the test, judged by its output lines and its exit code.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestFolder.h"
#include "sim/SimScanner.h"

extern char** environ;

namespace {

constexpr int kOk = 0, kDeviceError = 1, kUsage = 2, kNoLibrary = 3, kNoScanner = 4, kNoPaper = 5;
constexpr const char* kNoFile = "<none>";  // VANTREL_SIMULATOR names a file that is not there
constexpr const char* kClosedPipe = "<closed pipe>";  // stdout: a pipe nobody reads

struct Case {
  const char* name;
  const char* description;  // simulator description; null: no VANTREL_SIMULATOR; kNoFile
  std::vector<std::string> args;
  int exit;
  std::vector<std::string> outLines;  // lines stdout holds, each whole
  std::vector<std::string> errParts;  // texts stderr holds
  std::vector<std::string> env = {};  // more NAME=value settings
  bool exactOut = false;              // stdout is outLines and nothing else
  const char* stdoutTo = nullptr;     // a file for stdout instead of the case's, or kClosedPipe
  rlim_t fileSizeLimit = 0;           // the client's files end there (a full disk); 0 none
};

const std::string kSim = VANTREL_SIM_PATH;
const std::string kOne = "serial SIMT00001\n";
const std::string kTwo = "serial SIMT00001\nscanner\nserial SIMT00002\n";
const std::string kLineOne =
    "device `usb:0xF11E:0x0310:SIMT00001' is a SIMVENDOR SIM-ADF300 scanner (serial SIMT00001)";
const std::string kLineTwo =
    "device `usb:0xF11E:0x0310:SIMT00002' is a SIMVENDOR SIM-ADF300 scanner (serial SIMT00002)";
// The driver's search sends four INQUIRY blocks; every later one, the opening's, fails with key 2 /
// 0x8003: no paper.
const std::string kOpenFails =
    kOne + "fault check-condition opcode=0xE2 skip=4 count=0 key=2 asc=0x80 ascq=0x03\n";
// The opening reads the NVRAM head and record; the client's read is the third; key 3: hardware.
const std::string kNvmFails = kOne + "fault check-condition opcode=0xA8 type=0x69 skip=2 key=3\n";
const std::string kNvmLayoutOne = kOne + "nvram-layout 1\n";
// Inquiry byte 89 without 0x10: no whole NVRAM record to read.
const std::string kWithoutNvm = kOne + "inquiry-byte 89 0xCF\n";
// A head that announces fewer bytes than the record's own Size claims.
const std::string kNvmShortHead = kOne + "nvram-head 2 140\n";
// The device's condition as REQUEST SENSE reports it: the ADF cover is open.
const std::string kCoverOpen = kOne + "fault sense opcode=0xE3 key=0 asc=0x80 ascq=0x02 count=0\n";

std::string Line(const char* label, const std::string& value) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, "  %-26s %s", label, value.c_str());
  return buffer;
}

// A feeder of three sheets whose pages are raw (no device JPEG).
const std::string kRaw = kOne + "sheets 3\nprofile raw\n";
const std::string kRawEmpty = kOne + "sheets 0\nprofile raw\n";
const std::string kPairedJpeg = kOne + "sheets 3\nduplex-style 0\n";
// Two sheets of 2 inches (600 lines at 300 dpi), colour and grey as device JPEG.
const std::string kPlainJpeg = kOne + "sheets 2\npaper-length 600\n";
// The same scanner meeting a condition on its second sheet, or refusing the job.
const std::string kJam = kRaw + "event 2 jam at=10000\n";
const std::string kCoverOpenSheet = kRaw + "event 2 cover-open at=10000\n";
const std::string kMisfeed = kRaw + "event 2 misfeed at=10000\n";
const std::string kCancelButton = kRaw + "event 2 cancel-button at=10000\n";
const std::string kSkew = kRaw + "event 2 skew at=10000\n";
const std::string kMultiFeed = kRaw + "event 2 multi-feed at=10000\n";
const std::string kBlankPage = kRaw + "event 2 blank-page\n";
const std::string kBusy = kRaw + "reserve busy\n";
const std::string kLockedElsewhere = kRaw + "reserve locked\n";
// An inch wide (304 pixels at 300 dpi) and 118 lines long.
#define VT_SMALL_AREA "-x", "26", "-y", "10"

const Case kCases[] = {
    // Scanning.
    {"ScanDuplexBatch",
     kRaw.c_str(),
     {"--batch={dir}page%02d.pgm", "--source", "ADF Duplex", VT_SMALL_AREA},
     kOk,
     {},
     {"Scanned page 1 (sheet 1, front): 304x118 pixels, 35872 bytes -> ",
      "Scanned page 6 (sheet 3, back)", "page06.pgm", "6 pages scanned"}},
    {"ScanOnePageToTiff",
     kRaw.c_str(),
     {"-o", "{dir}one.tif", "--mode", "Color", "--depth", "16", VT_SMALL_AREA},
     kOk,
     {},
     {"Scanned page 1 (sheet 1, front): 304x118 pixels, 215232 bytes", "1 page scanned"}},
    {"ScanCountedPng",
     kRaw.c_str(),
     {"--batch={dir}p%d.png", "--batch-count", "2", "--batch-mode", "--block-size", "1000",
      VT_SMALL_AREA},
     kOk,
     {},
     {"Scanned page 2 (sheet 2, front): 304x118 pixels, 35872 bytes", "2 pages scanned"}},
    {"ScanEmptyFeeder",
     kRawEmpty.c_str(),
     {"--batch={dir}p%d.pgm", VT_SMALL_AREA},
     kNoPaper,
     {},
     {"KRStartScan failed: -2015", "the feeder is empty"}},
    // Conditions on the second sheet (a READ into it) or at the job's start: the first page is
    // written, then the condition's message and exit status.
    {"ScanPaperJam",
     kJam.c_str(),
     {"--batch={dir}p%d.pgm", VT_SMALL_AREA},
     kDeviceError,
     {},
     {"Scanned page 1 (sheet 1, front)",
      "the page failed: -2013 Paper Jam; a page jammed: clear "
      "the paper path and scan again"}},
    {"ScanCoverOpen",
     kCoverOpenSheet.c_str(),
     {"--batch={dir}p%d.pgm", VT_SMALL_AREA},
     kDeviceError,
     {},
     {"Scanned page 1", "the page failed: -2014", "the feeder's cover is open"}},
    {"ScanMisfeed",
     kMisfeed.c_str(),
     {"--batch={dir}p%d.pgm", VT_SMALL_AREA},
     kDeviceError,
     {},
     {"Scanned page 1", "the page failed: -3211", "a sheet was not fed properly"}},
    {"ScanCancelButton",
     kCancelButton.c_str(),
     {"--batch={dir}p%d.pgm", VT_SMALL_AREA},
     kDeviceError,
     {},
     {"Scanned page 1", "the page failed: -2010 Read Abort", "cancelled on the scanner"}},
    {"ScanSkew",
     kSkew.c_str(),
     {"--batch={dir}p%d.pgm", VT_SMALL_AREA},
     kDeviceError,
     {},
     // The list cannot tell a skew that stops from one that is only news: KRStopScan does.
     {"Scanned page 1", "KRStopScan failed: -2033 Occur skew", "straighten the pages"}},
    // A multi-feed the scanner only reports: the page is kept, then the job stops with it.
    {"ScanMultiFeed",
     kMultiFeed.c_str(),
     {"--batch={dir}p%d.pgm", VT_SMALL_AREA},
     kDeviceError,
     {},
     {"Scanned page 1 (sheet 1, front)", "KRStopScan failed: -3101 Multiple feed",
      "more than one sheet was fed at once"}},
    // A blank page is news, not a failure: every page is written.
    {"ScanBlankPage",
     kBlankPage.c_str(),
     {"--batch={dir}p%d.pgm", VT_SMALL_AREA},
     kOk,
     {},
     {"Scanned page 2 (sheet 2, front)", "3 pages scanned"}},
    {"ScanBusy",
     kBusy.c_str(),
     {"--batch={dir}p%d.pgm", VT_SMALL_AREA},
     kDeviceError,
     {},
     {"KRStartScan failed: -2001 Scanner Busy", "busy with another job"}},
    {"ScanReservedElsewhere",
     kLockedElsewhere.c_str(),
     {"--batch={dir}p%d.pgm", VT_SMALL_AREA},
     kDeviceError,
     {},
     {"KRStartScan failed: -2008 Scanner locked", "another computer has the scanner reserved"}},
    // Two-sided device JPEG decoded for the client needs a duplex style with headers on both
    // sides; the paired style has none.
    {"ScanRefusedSettings",
     kPairedJpeg.c_str(),
     {"-o", "{dir}one.ppm", "--source", "Duplex", "--mode", "Color", VT_SMALL_AREA},
     kDeviceError,
     {},
     {"-2005", "does not take these settings"}},
    // Lineart at the default area: the width rounds to the scanner's lineart step (32 pixels),
    // and a resolution the scanner lacks is converted.
    {"ScanLineartAt150",
     kRaw.c_str(),
     {"-o", "{dir}l.pbm", "--mode", "Lineart", "--resolution", "150"},
     kOk,
     {},
     {"Scanned page 1 (sheet 1, front): 1248x1650 pixels", "1 page scanned"}},
    {"ScanLineartAt300",
     kRaw.c_str(),
     {"-o", "{dir}l.pbm", "--mode", "Lineart"},
     kOk,
     {},
     {"Scanned page 1 (sheet 1, front): 2528x3300 pixels", "1 page scanned"}},
    {"ScanLineartAt600",
     kRaw.c_str(),
     {"-o", "{dir}l.pbm", "--mode", "Lineart", "--resolution", "600"},
     kOk,
     {},
     {"Scanned page 1 (sheet 1, front): 5088x6600 pixels", "1 page scanned"}},
    // Device JPEG, each page as long as its sheet.
    {"ScanGreyToEndOfPage",
     kPlainJpeg.c_str(),
     {"-o", "{dir}g.pgm", "--to-end-of-page", "-x", "26"},
     kOk,
     {},
     {"Scanned page 1 (sheet 1, front): 304x600 pixels", "1 page scanned"}},
    {"ScanColourToEndOfPage",
     kPlainJpeg.c_str(),
     {"-o", "{dir}c.ppm", "--to-end-of-page", "--mode", "Color", "-x", "26"},
     kOk,
     {},
     {"Scanned page 1 (sheet 1, front): 304x600 pixels", "1 page scanned"}},
    // Both sides of each sheet, each as long as its sheet, in page and batch mode.
    {"ScanGreyDuplexToEndOfPage",
     kPlainJpeg.c_str(),
     {"--batch={dir}g%d.pgm", "--source", "Duplex", "--to-end-of-page", "-x", "26"},
     kOk,
     {},
     {"Scanned page 2 (sheet 1, back): 304x600 pixels, 182400 bytes",
      "Scanned page 4 (sheet 2, back): 304x600 pixels, 182400 bytes", "4 pages scanned"}},
    {"ScanColourDuplexToEndOfPage",
     kPlainJpeg.c_str(),
     {"--batch={dir}c%d.ppm", "--source", "Duplex", "--to-end-of-page", "--mode", "Color",
      "--batch-mode", "-x", "26"},
     kOk,
     {},
     {"Scanned page 2 (sheet 1, back): 304x600 pixels, 547200 bytes",
      "Scanned page 4 (sheet 2, back): 304x600 pixels, 547200 bytes", "4 pages scanned"}},
    {"ScanBadBatchName", kRaw.c_str(), {"--batch=page.pgm"}, kUsage, {}, {"--batch needs one %d"}},
    {"ScanBadMode", kRaw.c_str(), {"-o", "x.pgm", "--mode", "Sepia"}, kUsage, {}, {"unknown mode"}},
    // Options.
    {"Help", nullptr, {"--help"}, kOk, {"Usage: vantrel-scan [OPTION]..."}, {}},
    {"Version", nullptr, {"--version"}, kOk, {"vantrel-scan 0.1"}, {}, {}, true},
    {"NothingToDo", kOne.c_str(), {}, kUsage, {}, {"nothing to do", "Try `vantrel-scan --help'"}},
    {"UnknownOption", kOne.c_str(), {"--bogus"}, kUsage, {}, {"Try `vantrel-scan --help'"}},
    {"ExtraArgument", kOne.c_str(), {"-L", "extra"}, kUsage, {}, {"unexpected argument `extra'"}},
    {"BadController", kOne.c_str(), {"-A", "-c", "0x1G"}, kUsage, {}, {"bad controller id `0x1G'"}},
    {"ControllerTooLarge",
     kOne.c_str(),
     {"-A", "-c", "0x100000000"},
     kUsage,
     {},
     {"bad controller id"}},
    {"DeviceWithoutTarget",
     kOne.c_str(),
     {"-A", "-d", ""},
     kUsage,
     {},
     {"--device needs a target id"}},
    // The library.
    {"LibraryMissing",
     kOne.c_str(),
     {"--library", "/nonexistent/libVantrel.so", "-L"},
     kNoLibrary,
     {},
     {"cannot load the driver library /nonexistent/libVantrel.so"}},
    {"LibraryWithoutExports",
     kOne.c_str(),
     {"--library", kSim, "-L"},
     kNoLibrary,
     {},
     {"does not export KRInitializeDriver"}},
    {"LibraryFromEnvironment",
     kOne.c_str(),
     {"-L"},
     kNoLibrary,
     {},
     {"cannot load the driver library /nonexistent/env/libVantrel.so"},
     {"VANTREL_LIBRARY=/nonexistent/env/libVantrel.so"}},
    // Listing.
    {"ListOne", kOne.c_str(), {"-L"}, kOk, {kLineOne}, {}, {}, true},
    {"ListTwo", kTwo.c_str(), {"--list-devices"}, kOk, {kLineOne, kLineTwo}, {}, {}, true},
    {"ListNoSupportedScanner",
     "vendor-id 0x1234\n",
     {"-L"},
     kNoScanner,
     {},
     {"no scanners were identified"},
     {},
     true},
    {"ListDescriptionUnreadable",
     kNoFile,
     {"-L"},
     kNoScanner,
     {},
     {"that file cannot be read"},
     {},
     true},
    // Describing one scanner.
    {"Info",
     kOne.c_str(),
     {"-A"},
     kOk,
     {"Device `usb:0xF11E:0x0310:SIMT00001'", Line("serial", "SIMT00001"),
      Line("handle", "1 (controller id 0x00002200)"), "Ability (record version 200, 242 bytes)",
      Line("vendor", "SIMVENDOR"), Line("model", "SIM-ADF300"), Line("base resolution", "300 dpi"),
      Line("ADF maximum", "2550 x 4200 (8.50 x 14.00 in)"), "NVRAM (layout 2, 262 bytes)",
      Line("serial number", "SIMT00001"), Line("side edge", "flatbed 0, ADF front -5, ADF rear -3"),
      Line("pad life", "100000"), "Status", Line("condition", "0 OK")},
     {}},
    {"InfoDataSourceController",
     kOne.c_str(),
     {"--info", "-c", "data-source"},
     kOk,
     {Line("handle", "1 (controller id 0x0134B6EA)"), Line("condition", "0 OK")},
     {}},
    {"InfoSecondByTarget",
     kTwo.c_str(),
     {"--all-options", "-d", "USB:0xf11e:0x0310:simt00002"},
     kOk,
     {"Device `usb:0xF11E:0x0310:SIMT00002'", Line("serial", "SIMT00002"),
      Line("handle", "2 (controller id 0x00002200)"), Line("serial number", "SIMT00002")},
     {}},
    {"InfoUnknownTarget",
     kOne.c_str(),
     {"-A", "-d", "usb:0x0000:0x0000"},
     kNoScanner,
     {},
     {"no scanner `usb:0x0000:0x0000'"},
     {},
     true},
    {"InfoNoScanner",
     "vendor-id 0x1234\n",
     {"-A"},
     kNoScanner,
     {},
     {"no scanners were identified"},
     {},
     true},
    {"InfoOpeningFails",
     kOpenFails.c_str(),
     {"-A"},
     kDeviceError,
     {},
     {"cannot open `usb:0xF11E:0x0310:SIMT00001': -2015 No paper in ADF"},
     {},
     true},
    {"InfoNvramFails",
     kNvmFails.c_str(),
     {"-A"},
     kDeviceError,
     {"Ability (record version 200, 242 bytes)", "NVRAM",
      Line("record", "not read: -2003 HandShake Time Out"), Line("condition", "0 OK")},
     {"reading the NVRAM record failed: -2003 HandShake Time Out"}},
    {"InfoNvramLayoutOne",
     kNvmLayoutOne.c_str(),
     {"-A"},
     kOk,
     {"NVRAM (layout 1, 132 bytes)", Line("serial number", "SIMT00001"), Line("paper jams", "3")},
     {}},
    {"InfoWithoutNvram",
     kWithoutNvm.c_str(),
     {"-A"},
     kOk,
     {"NVRAM", Line("record", "the scanner keeps none that can be read"),
      Line("condition", "0 OK")},
     {}},
    {"InfoNvramShorterThanItsSize",
     kNvmShortHead.c_str(),
     {"-A"},
     kOk,
     {"NVRAM (layout 2, 262 bytes)", Line("power-on time", "5000"), Line("pad life", "0")},
     {}},
    {"InfoCoverOpen",
     kCoverOpen.c_str(),
     {"-A"},
     kOk,
     {Line("condition", "-2014 ADF Cover Open")},
     {}},
    // Output that cannot be written is an error, and the driver still ends.
    {"OutputToFullDevice",
     kOne.c_str(),
     {"-A"},
     kDeviceError,
     {},
     {"cannot write the output"},
     {},
     false,
     "/dev/full"},
    {"OutputToClosedPipe",
     kOne.c_str(),
     {"-L"},
     kDeviceError,
     {},
     {"cannot write the output"},
     {},
     false,
     kClosedPipe},
};

struct Outcome {
  int exit = -1;
  std::string out, err, log;
  std::string dir;  // the case's folder
};

using testsupport::ReadFile;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs the client in a folder of the case's own, with its description file and a driver log.
Outcome RunClient(const Case& c) {
  const std::string dir =
      testsupport::freshTestFolder(std::string("tools-vantrel-scan-") + c.name).string() + "/";
  std::ofstream(dir + "Debug.conf") << "DebugLevel 1\n";
  std::remove((dir + "KRDrv.txt").c_str());

  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "VANTREL_", 8) != 0) env.push_back(*e);
  }
  env.push_back("VANTREL_LOG_ROOT=" + dir);
  if (c.description == kNoFile) {
    env.push_back("VANTREL_SIMULATOR=" + dir + "missing.txt");
  } else if (c.description != nullptr) {
    std::ofstream(dir + "scanner.txt") << c.description;
    env.push_back("VANTREL_SIMULATOR=" + dir + "scanner.txt");
  }
  for (const std::string& e : c.env) env.push_back(e);

  std::vector<std::string> args = {VANTREL_SCAN_PATH};
  for (std::string a : c.args) {
    // "{dir}" stands for the case's folder (output files).
    if (const size_t at = a.find("{dir}"); at != std::string::npos) a.replace(at, 5, dir);
    args.push_back(a);
  }
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  int pipeEnds[2] = {-1, -1};
  if (c.stdoutTo == kClosedPipe) {
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
      ADD_FAILURE() << "pipe: " << std::strerror(errno);
      posix_spawn_file_actions_destroy(&actions);
      return {};
    }
    close(pipeEnds[0]);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
  } else {
    const std::string out = c.stdoutTo != nullptr ? c.stdoutTo : dir + "out.txt";
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  posix_spawn_file_actions_addopen(&actions, 2, (dir + "err.txt").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  Outcome run;
  run.dir = dir;
  pid_t pid = 0;
  // The client inherits the file-size limit, and writes past it fail instead of ending it.
  struct rlimit savedLimit {};
  void (*savedSignal)(int) = SIG_DFL;
  if (c.fileSizeLimit != 0) {
    getrlimit(RLIMIT_FSIZE, &savedLimit);
    const struct rlimit limit = {c.fileSizeLimit, savedLimit.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
    savedSignal = std::signal(SIGXFSZ, SIG_IGN);
  }
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  if (c.fileSizeLimit != 0) {
    setrlimit(RLIMIT_FSIZE, &savedLimit);
    std::signal(SIGXFSZ, savedSignal);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (pipeEnds[1] >= 0) close(pipeEnds[1]);
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(rc);
    return run;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (c.stdoutTo == nullptr) run.out = ReadFile(dir + "out.txt");
  run.err = ReadFile(dir + "err.txt");
  run.log = ReadFile(dir + "KRDrv.txt");
  return run;
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class VantrelScan : public ::testing::TestWithParam<Case> {};

TEST_P(VantrelScan, OutputAndExitCode) {
  const Case& c = GetParam();
  const Outcome run = RunClient(c);
  ASSERT_EQ(run.exit, c.exit) << "stdout:\n" << run.out << "stderr:\n" << run.err;

  const std::vector<std::string> lines = Lines(run.out);
  if (c.exactOut) {
    EXPECT_EQ(lines, c.outLines) << run.out;
  } else {
    for (const std::string& want : c.outLines) {
      EXPECT_NE(std::find(lines.begin(), lines.end(), want), lines.end())
          << "no line \"" << want << "\" in:\n"
          << run.out;
    }
  }
  for (const std::string& want : c.errParts) {
    EXPECT_NE(run.err.find(want), std::string::npos) << "no \"" << want << "\" in:\n" << run.err;
  }
  if (c.errParts.empty() && c.exit == kOk) {
    EXPECT_EQ(run.err, "");
  }

  // Every run that started the driver ends it, on the way out of a failure too; one that opened a
  // device terminates it first.
  const bool started = run.log.find("=> KRInitializeDriver") != std::string::npos;
  EXPECT_EQ(started,
            c.exit == kOk ? c.description != nullptr : (c.exit != kUsage && c.exit != kNoLibrary))
      << run.log;
  if (started) {
    const size_t end = run.log.rfind("<= KRTerminateDriver ret=0");
    EXPECT_NE(end, std::string::npos) << "driver not terminated:\n" << run.log;
    // A handle was given out (even by a failed opening): the client terminates that device after
    // the opening returned, before the driver ends.
    if (run.log.find("Get Device Handle") != std::string::npos) {
      const size_t opened = run.log.rfind("<= KRInitializeDevice");
      const size_t device = run.log.find("=> KRTerminateDevice", opened);
      EXPECT_TRUE(opened != std::string::npos && device != std::string::npos && device < end)
          << run.log;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, VantrelScan, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return info.param.name;
                         });

}  // namespace

namespace {

// The files of a duplex batch hold exactly the pixels the simulated scanner built, front and
// back of each sheet in order.
TEST(VantrelScanFiles, DuplexBatchHoldsTheScannersPixels) {
  const Case c{
      "ScanFiles", kRaw.c_str(), {"--batch={dir}page%d.pgm", "--source", "Duplex", VT_SMALL_AREA},
      kOk,         {},           {}};
  const Outcome run = RunClient(c);
  ASSERT_EQ(run.exit, kOk) << run.err;
  const std::string header = "P5\n304 118\n255\n";
  for (uint32_t page = 1; page <= 6; ++page) {
    const std::string file = ReadFile(run.dir + "page" + std::to_string(page) + ".pgm");
    ASSERT_EQ(file.substr(0, header.size()), header) << page;
    const std::vector<uint8_t> pixels = sim::SheetSide((page + 1) / 2, (page + 1) % 2, 118, 304);
    EXPECT_TRUE(file.compare(header.size(), std::string::npos,
                             std::string(pixels.begin(), pixels.end())) == 0)
        << "page " << page;
  }
}

// Pages as long as their sheets, written as their bytes arrive (their rows wait for the height
// the page's end brings): each file holds exactly the sheet's pixels.
TEST(VantrelScanFiles, PagesToTheSheetsEndHoldTheScannersPixels) {
  constexpr uint32_t kLines = 200, kWidth = 304;
  const std::string description = kRaw + "paper-length 200\n";
  const Case c{"ToSheetEnd",
               description.c_str(),
               {"--batch={dir}page%d.pgm", "--to-end-of-page", "-x", "26", "--block-size", "1000"},
               kOk,
               {},
               {}};
  const Outcome run = RunClient(c);
  ASSERT_EQ(run.exit, kOk) << run.err;
  const std::string header = "P5\n304 200\n255\n";
  for (uint32_t page = 1; page <= 3; ++page) {
    const std::string file = ReadFile(run.dir + "page" + std::to_string(page) + ".pgm");
    const std::vector<uint8_t> pixels = sim::SheetSide(page, 0, kLines, kWidth);
    EXPECT_TRUE(file == header + std::string(pixels.begin(), pixels.end())) << "page " << page;
  }
}

// A page as long as its sheet to a file in a folder that takes no other file (here a path to
// the standard output under /proc): its rows wait in the temporary folder, and the output holds
// the page.
TEST(VantrelScanFiles, APageToTheSheetsEndGoesWhereNoTemporaryFileCanBeMade) {
  const std::string description = kRaw + "paper-length 120\n";
  Case c{"ToSheetEndThroughProc",
         description.c_str(),
         {"-o", "/proc/self/fd/1", "--format", "pnm", "--to-end-of-page", "-x", "26"},
         kOk,
         {},
         {}};
  const std::string out = testsupport::freshTestFolder("tools-vantrel-scan-proc").string();
  const std::string file = out + "/stdout.pgm";
  c.stdoutTo = file.c_str();
  const Outcome run = RunClient(c);
  ASSERT_EQ(run.exit, kOk) << run.err;
  const std::vector<uint8_t> pixels = sim::SheetSide(1, 0, 120, 304);
  EXPECT_TRUE(ReadFile(file) == "P5\n304 120\n255\n" + std::string(pixels.begin(), pixels.end()));
}

// A sheet that jams midway through its page: the bytes it brought are already in the page's file,
// which goes with the page; the page before it stays.
TEST(VantrelScanFiles, APageThatJamsLeavesNoFile) {
  for (const char* length : {"-y", "--to-end-of-page"}) {
    SCOPED_TRACE(length);
    std::vector<std::string> args = {"--batch={dir}page%d.pgm", "-x", "26", "--block-size", "1000"};
    if (std::string(length) == "-y") {
      args.insert(args.end(), {"-y", "10"});
    } else {
      args.push_back(length);
    }
    const Case c{"JamMidPage", kJam.c_str(), args, kDeviceError, {}, {"-2013 Paper Jam"}};
    const Outcome run = RunClient(c);
    ASSERT_EQ(run.exit, kDeviceError) << run.err;
    struct stat st {};
    EXPECT_EQ(stat((run.dir + "page1.pgm").c_str(), &st), 0) << run.err;
    EXPECT_NE(stat((run.dir + "page2.pgm").c_str(), &st), 0) << run.err;
  }
}

// A page that cannot be written whole (the disk is full) ends a duplex scan between the sides of
// its sheet: the client stops the page with cancel, the driver returns, and no truncated file is
// left under the page's name.
TEST(VantrelScanFiles, APageThatCannotBeWrittenEndsTheScanAndLeavesNoFile) {
  Case c{"UnwritablePage",
         kRaw.c_str(),
         {"--batch={dir}page%d.pgm", "--source", "Duplex", VT_SMALL_AREA},
         kDeviceError,
         {},
         {"cannot write page 1"}};
  c.fileSizeLimit = 20000;  // the page holds 304 x 118 bytes
  const Outcome run = RunClient(c);
  ASSERT_EQ(run.exit, kDeviceError) << run.err;
  EXPECT_NE(run.err.find("cannot write page 1"), std::string::npos) << run.err;
  struct stat st {};
  EXPECT_NE(stat((run.dir + "page1.pgm").c_str(), &st), 0);
}

}  // namespace

namespace {

// Without a simulator the client searches the real bus, where no scanner of ours is attached:
// it says so and exits 4 every time, the driver's USB context ended before the library goes.
TEST(VantrelScanRealBus, NoScannerEveryTime) {
  constexpr int kRuns = 20;
  for (int i = 0; i < kRuns; ++i) {
    SCOPED_TRACE(i);
    const Case c{"RealBus", nullptr, {"-L"}, kNoScanner, {}, {}};
    const Outcome run = RunClient(c);
    ASSERT_EQ(run.exit, kNoScanner) << run.err;
    EXPECT_NE(run.err.find("no scanners were identified"), std::string::npos) << run.err;
    EXPECT_NE(run.log.find("<= KRTerminateDriver ret=0"), std::string::npos) << run.log;
  }
}

}  // namespace
