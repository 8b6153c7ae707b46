// twain-scan: a TWAIN application with its own manager. Loads a data source bundle as the Linux
// manager does, prints the source's identity, opens and closes it.
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/twain/Host.h"

namespace {

constexpr int kExitOk = 0, kExitSource = 1, kExitUsage = 2, kExitLoad = 3;

void Usage(FILE* to) {
  std::fprintf(to,
               "usage: twain-scan [--bundle FOLDER] [--exported] [--identity]\n"
               "  --bundle FOLDER  the data source bundle (else FERROLITE_BUNDLE, else\n"
               "                   ../twain/Ferrolite from the program's folder)\n"
               "  --exported       no entry point for the source: it finds DSM_Entry in the\n"
               "                   program\n"
               "  --identity       print the identity only; do not open the source\n");
}

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
  std::string bundle;
  bool exported = false, identityOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--bundle") == 0 && i + 1 < argc) {
      bundle = argv[++i];
    } else if (std::strcmp(argv[i], "--exported") == 0) {
      exported = true;
    } else if (std::strcmp(argv[i], "--identity") == 0) {
      identityOnly = true;
    } else if (std::strcmp(argv[i], "--help") == 0) {
      Usage(stdout);
      return kExitOk;
    } else {
      std::fprintf(stderr, "twain-scan: unknown argument '%s'\n", argv[i]);
      Usage(stderr);
      return kExitUsage;
    }
  }
  if (bundle.empty()) bundle = DefaultBundle();

  twainhost::Host host(exported ? twainhost::EntryMode::kExported : twainhost::EntryMode::kPushed);
  std::string error;
  if (!host.OpenManager(bundle, &error)) {
    std::fprintf(stderr, "twain-scan: %s\n", error.c_str());
    return kExitLoad;
  }
  std::printf("Data source: %s\n%s", host.modulePath().c_str(), host.source().Describe().c_str());
  std::fflush(stdout);
  if (identityOnly) return ReportFaults(host);

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
