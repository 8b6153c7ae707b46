// twain_explore: the TWAIN scenario explorer for long runs (scripts/explore twain).
//   twain_explore --seed N                  one scenario, described with its findings
//   twain_explore --seeds N [--first S]     N scenarios from seed S (default 1)
//   twain_explore --describe N              the scenario seed N draws, not run
//   [--bundle FOLDER] [--folder DIR] [--verbose]
//   [--all]  runs the scenarios a known-open class holds back too (they may hang: the call bound
//            then ends the run naming the scenario)
// Exit status: 0 every scenario clean (findings of a known-open class aside), 1 findings,
// 2 usage.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "tests/ds/twain/explore/Explorer.h"
#include "tests/support/TestFolder.h"

namespace {

void Usage(std::FILE* to) {
  std::fprintf(to,
               "usage: twain_explore --seed N | --seeds N [--first S] | --describe N\n"
               "                     [--bundle FOLDER] [--folder DIR] [--verbose] [--all]\n"
               "Runs TWAIN scenarios drawn from seeds against the data source bundle and the\n"
               "simulated scanner; prints each scenario with findings and a summary.\n");
}

bool Whole(const char* text, uint64_t* out) {
  if (text == nullptr || *text == 0) return false;
  char* end = nullptr;
  *out = std::strtoull(text, &end, 10);
  return *end == 0;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t first = 1, count = 0;
  bool one = false, verbose = false, all = false;
  std::string bundle = FERROLITE_BUNDLE;
  std::filesystem::path folder;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (a == "--help" || a == "-h") {
      Usage(stdout);
      return 0;
    } else if (a == "--seed" && Whole(value, &first)) {
      one = true;
      count = 1;
      ++i;
    } else if (a == "--seeds" && Whole(value, &count)) {
      ++i;
    } else if (a == "--first" && Whole(value, &first)) {
      ++i;
    } else if (a == "--bundle" && value) {
      bundle = value;
      ++i;
    } else if (a == "--folder" && value) {
      folder = value;
      ++i;
    } else if (a == "--verbose") {
      verbose = true;
    } else if (a == "--all") {
      all = true;
    } else if (a == "--describe" && Whole(value, &first)) {
      std::printf("%s\n", explore::Draw(first).Describe().c_str());
      return 0;
    } else {
      std::fprintf(stderr, "twain_explore: bad argument '%s'\n", a.c_str());
      Usage(stderr);
      return 2;
    }
  }
  if (count == 0) {
    std::fprintf(stderr, "twain_explore: give --seed N or --seeds N\n");
    Usage(stderr);
    return 2;
  }
  if (folder.empty()) folder = testsupport::freshTestFolder("twain-explore");
  explore::Explorer explorer(bundle, folder);
  uint64_t clean = 0, failing = 0, images = 0, calls = 0, held = 0;
  std::map<std::string, uint64_t> kinds, known;
  for (uint64_t seed = first; seed < first + count; ++seed) {
    const explore::Outcome out = explorer.Run(seed, !all);
    if (!out.heldBack.empty()) {
      ++held;
      ++known[out.heldBack + " (held back)"];
      continue;
    }
    images += out.images;
    calls += out.calls;
    for (const auto& f : out.findings) ++kinds[f.kind];
    for (const auto& f : out.known) ++known[f.kind];
    if (out.clean()) {
      ++clean;
      if (one || verbose) std::printf("%s", out.Describe().c_str());
    } else {
      ++failing;
      std::printf("%s", out.Describe().c_str());
    }
    std::fflush(stdout);
  }
  std::printf(
      "%llu scenario(s): %llu clean, %llu with findings, %llu held back; %llu images, %llu calls\n",
      static_cast<unsigned long long>(count), static_cast<unsigned long long>(clean),
      static_cast<unsigned long long>(failing), static_cast<unsigned long long>(held),
      static_cast<unsigned long long>(images), static_cast<unsigned long long>(calls));
  for (const auto& [kind, n] : kinds)
    std::printf("  finding %s: %llu\n", kind.c_str(), static_cast<unsigned long long>(n));
  for (const auto& [kind, n] : known)
    std::printf("  known open %s: %llu\n", kind.c_str(), static_cast<unsigned long long>(n));
  return failing == 0 ? 0 : 1;
}
