// The scenario explorer as a program: runs seeds from a first one until a count or a time is
// reached and prints one line that reproduces each failure.
//   engine_explore [--seed S] [--first S] [--seeds N] [--minutes M] [--bound SECONDS]
//                  [--known-open] [--held TEXT] [--verbose]
// --known-open runs the scenarios that the known-open list leaves out as well; --held TEXT runs
// only those it leaves out for a reason that contains TEXT (to try a mend on its class). Exit
// status 1 when a scenario failed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "TestFolder.h"
#include "tests/drv/explore/Explorer.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: engine_explore [--seed S] [--first S] [--seeds N] [--minutes M] "
               "[--bound SECONDS] [--known-open] [--held TEXT] [--verbose]\n");
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t first = 1, count = 100;
  double minutes = 0;
  bool one = false, knownOpen = false;
  std::string held;
  explore::Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) Usage();
      return argv[++i];
    };
    if (a == "--seed") {
      first = std::strtoull(value(), nullptr, 10);
      count = 1;
      one = true;
    } else if (a == "--first") {
      first = std::strtoull(value(), nullptr, 10);
    } else if (a == "--seeds") {
      count = std::strtoull(value(), nullptr, 10);
    } else if (a == "--minutes") {
      minutes = std::strtod(value(), nullptr);
    } else if (a == "--bound") {
      options.bound = std::chrono::seconds(std::strtol(value(), nullptr, 10));
    } else if (a == "--known-open") {
      knownOpen = true;
    } else if (a == "--held") {
      held = value();
    } else if (a == "--verbose") {
      options.verbose = true;
    } else {
      Usage();
    }
  }
  // The driver's log in a folder of the run's own: none on a long run, level 1 for one seed.
  const std::filesystem::path logs = testsupport::freshTestFolder("engine-explore");
  std::ofstream(logs / "Debug.conf") << "DebugLevel " << (one ? 1 : 0) << "\nBufferedLog 0\n";
  setenv("VANTREL_LOG_ROOT", (logs.string() + "/").c_str(), 1);
  if (one) std::printf("driver log: %s/KRDrv.txt\n", logs.c_str());

  const auto start = std::chrono::steady_clock::now();
  const auto timeUp = [&] {
    return minutes > 0 && std::chrono::steady_clock::now() - start >
                              std::chrono::duration<double, std::ratio<60>>(minutes);
  };
  uint64_t ran = 0, clean = 0, failed = 0, refused = 0, pages = 0;
  std::map<std::string, uint64_t> leftOut;
  for (uint64_t seed = first; (minutes > 0 || seed - first < count) && !timeUp(); ++seed) {
    const explore::Scenario s = explore::Draw(seed);
    if (!held.empty()) {
      const char* open = explore::KnownOpen(s);
      if (open == nullptr || std::string(open).find(held) == std::string::npos) continue;
      knownOpen = true;
    }
    if (const char* open = explore::KnownOpen(s); open != nullptr && !knownOpen && !one) {
      ++leftOut[open];
      continue;
    }
    if (options.verbose || one)
      std::printf("seed %llu: %s\n", (unsigned long long)seed, explore::Describe(s).c_str());
    std::fflush(stdout);
    const explore::Outcome o = explore::Run(s, options);
    ++ran;
    pages += o.goodPages;
    refused += o.refused;
    if (o.ok()) {
      ++clean;
      continue;
    }
    ++failed;
    std::printf("FAIL seed %llu:\n", (unsigned long long)seed);
    if (const char* open = explore::KnownOpen(s)) std::printf("  known open: %s\n", open);
    for (const std::string& f : o.failures) std::printf("  %s\n", f.c_str());
    std::printf("  reproduce: %s\n", explore::ReproduceLine(s).c_str());
    std::fflush(stdout);
  }
  std::printf(
      "explored %llu scenarios: %llu clean, %llu failed; %llu refused their settings; "
      "%llu good pages checked\n",
      (unsigned long long)ran, (unsigned long long)clean, (unsigned long long)failed,
      (unsigned long long)refused, (unsigned long long)pages);
  for (const auto& [why, n] : leftOut)
    std::printf("  left out %llu waiting for %s\n", (unsigned long long)n, why.c_str());
  return failed == 0 ? 0 : 1;
}
