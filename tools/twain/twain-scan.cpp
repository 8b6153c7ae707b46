// twain-scan: a TWAIN application with its own manager. Loads a data source bundle as the Linux
// manager does and prints the source's identity; then opens and closes it, or, with an output
// named, scans through it (ScanClient.h).
#include <limits.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/twain/Host.h"
#include "tools/twain/ScanClient.h"
#include "tools/twain/ScanOptions.h"

namespace {

using twainhost::kExitLoad;
using twainhost::kExitNoScanner;
using twainhost::kExitOk;
using twainhost::kExitSource;
using twainhost::kExitUsage;

std::string DefaultBundle() {
  const char* env = std::getenv("FERROLITE_BUNDLE");
  if (env != nullptr && *env != 0) return env;
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "Ferrolite";
  exe[n] = 0;
  std::string dir(exe);
  dir.erase(dir.find_last_of('/') + 1);
  return dir + "../twain/Ferrolite";
}

std::string Outcome(const twainhost::Answer& a) {
  return "rc " + std::to_string(a.rc) + " cc " + std::to_string(a.cc);
}

int ReportFaults(const twainhost::Host& host) {
  const auto faults = host.faults();
  for (const std::string& f : faults) std::fprintf(stderr, "twain-scan: fault: %s\n", f.c_str());
  return faults.empty() ? kExitOk : kExitSource;
}

// The process's threads, but for Qt's D-Bus thread, which Qt keeps while its libraries are
// loaded (for good, once a display with an accessibility bus was reached).
std::size_t ThreadCount() {
  std::size_t n = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    if (name != "QDBusConnection") ++n;
  }
  return n;
}

// The count once it has fallen to `expected`, or what it is at the limit: Qt's pool threads are
// detached, and the system lists each one until its exit has run.
std::size_t ThreadCountSettledAt(std::size_t expected) {
  constexpr auto kPatience = std::chrono::seconds(20);
  constexpr auto kLook = std::chrono::milliseconds(5);
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  std::size_t n = ThreadCount();
  while (n > expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(kLook);
    n = ThreadCount();
  }
  return n;
}

// The folder the images go into, made when it is missing; false (and said) when it cannot be.
bool MakeOutputFolder(const std::string& output) {
  const std::filesystem::path folder = std::filesystem::path(output).parent_path();
  if (folder.empty()) return true;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!error && std::filesystem::is_directory(folder, error)) return true;
  std::fprintf(stderr, "twain-scan: cannot make the output folder %s: %s\n", folder.c_str(),
               error ? error.message().c_str() : "a file has its name");
  return false;
}

// Loads the source, opens it, scans or closes it; the source is unloaded on return.
int Run(const twainhost::ScanOptions& options) {
  std::string error;
  const bool exported = options.exported, identityOnly = options.identityOnly;
  std::string bundle = options.bundle;
  if (bundle.empty()) bundle = DefaultBundle();

  twainhost::Host host(exported ? twainhost::EntryMode::kExported : twainhost::EntryMode::kPushed);
  if (!host.OpenManager(bundle, &error)) {
    std::fprintf(stderr, "twain-scan: %s\n", error.c_str());
    return kExitLoad;
  }
  std::printf("Data source: %s\n%s", host.modulePath().c_str(), host.source().Describe().c_str());
  std::fflush(stdout);
  if (identityOnly) return ReportFaults(host);
  if (options.scanning()) {
    const int status = twainhost::RunScan(host, options, stdout, stderr);
    const int faults = ReportFaults(host);
    return status != kExitOk ? status : faults;
  }

  const twainhost::Answer opened = host.OpenSource();
  std::printf("MSG_OPENDS: %s\n", Outcome(opened).c_str());
  if (!opened.ok()) {
    std::fprintf(stderr, "twain-scan: MSG_OPENDS refused: %s\n", Outcome(opened).c_str());
    ReportFaults(host);
    if (!twainhost::NoScanner(opened)) return kExitSource;
    std::fprintf(stderr, "twain-scan: no scanner the source supports\n");
    return kExitNoScanner;
  }
  if (host.entryPointPushed()) std::printf("Entry point: handed over\n");
  const twainhost::Answer closed = host.CloseSource();
  std::printf("MSG_CLOSEDS: %s\n", Outcome(closed).c_str());
  if (!closed.ok())
    std::fprintf(stderr, "twain-scan: MSG_CLOSEDS refused: %s\n", Outcome(closed).c_str());
  const int faults = ReportFaults(host);
  return closed.ok() ? faults : kExitSource;
}

}  // namespace

int main(int argc, char** argv) {
  twainhost::ScanOptions options;
  std::string error;
  if (!twainhost::ParseScanOptions(std::vector<std::string>(argv + 1, argv + argc), &options,
                                   &error)) {
    std::fprintf(stderr, "twain-scan: %s\n", error.c_str());
    twainhost::PrintUsage(stderr);
    return kExitUsage;
  }
  if (options.help) {
    twainhost::PrintUsage(stdout);
    return kExitOk;
  }
  if (options.scanning() && !MakeOutputFolder(options.output)) return kExitSource;
  const std::size_t before = ThreadCount();
  const int status = Run(options);
  if (options.reportThreads) {
    std::printf("Threads: %zu before loading, %zu after unloading\n", before,
                ThreadCountSettledAt(before));
  }
  return status;
}
