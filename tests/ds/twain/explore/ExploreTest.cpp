// The TWAIN scenario explorer on a fixed list of seeds: every scenario clean, or its findings
// of a class still open (Explorer.h). A failure prints the scenario and the line that replays it.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

#include "tests/ds/twain/explore/Explorer.h"
#include "tests/support/TestFolder.h"

namespace {

// Chosen from a long run so that together they cover every pixel type, mechanism, strip size,
// cancel, device condition, skip, transfer count, the interface, probes, negotiation, a second
// batch and a reopen, in a few minutes under ThreadSanitizer. Regression rows: 3426 sets a
// 30-inch frame at 200 dpi, inside the long-page limit offered there.
constexpr uint64_t kSeeds[] = {8, 22, 26, 53, 93, 139, 183, 218, 228, 3426};

TEST(TwainExplorer, TheFixedSeedsRunClean) {
  explore::Explorer explorer(FERROLITE_BUNDLE, testsupport::freshTestFolder("ds-twain-explore"));
  std::map<std::string, int> known;
  for (uint64_t seed : kSeeds) {
    const explore::Outcome out = explorer.Run(seed);
    EXPECT_TRUE(out.clean()) << out.Describe();
    if (!out.heldBack.empty()) ++known[out.heldBack + " (held back)"];
    for (const explore::Finding& f : out.known) ++known[f.kind];
  }
  for (const auto& [kind, count] : known)
    std::printf("known open %s: %d finding(s)\n", kind.c_str(), count);
}

}  // namespace
