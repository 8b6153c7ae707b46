// twain-scan: a TWAIN application with its own manager. Loads a data source bundle as the Linux
// manager does and prints the source's identity; then opens and closes it, or, with an output
// named, scans through it (ScanClient.h).
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/twain/Host.h"
#include "tools/twain/ScanClient.h"
#include "tools/twain/ScanOptions.h"

namespace {

using twainhost::kExitLoad;
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
    ReportFaults(host);
    return kExitSource;
  }
  if (host.entryPointPushed()) std::printf("Entry point: handed over\n");
  const twainhost::Answer closed = host.CloseSource();
  std::printf("MSG_CLOSEDS: %s\n", Outcome(closed).c_str());
  const int faults = ReportFaults(host);
  return closed.ok() ? faults : kExitSource;
}
