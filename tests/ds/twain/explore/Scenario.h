#pragma once
// A TWAIN scenario drawn from a seed: what a stand-in application asks of the data source in one
// session, from the open to the close. The same seed draws the same scenario; its one-line
// description is what a failure prints beside the seed.
#include <cstdint>
#include <string>

namespace explore {

enum class Mechanism : uint8_t { kNative, kMemory, kFile };
// Where the application gives up on the batch.
enum class Cancel : uint8_t {
  kNone,
  kResetAtReady,     // MSG_RESET in state 6 before image `cancelImage`
  kDisableAtReady,   // MSG_RESET, then MSG_DISABLEDS at once, before image `cancelImage`
  kEndAfterStrip,    // one strip of image `cancelImage`, then MSG_ENDXFER (memory only)
  kResetInTransfer,  // MSG_RESET in state 7 after image `cancelImage`'s transfer
};
// What the simulated scanner meets on sheet `conditionSheet` of the batch.
enum class Condition : uint8_t { kNone, kJam, kDoubleFeed, kCoverOpen, kBlankPage, kEmptyFeeder };

struct Plan {
  uint64_t seed = 0;
  bool showUi = false;  // enable with the interface (headless: the user presses Scan)
  uint16_t pixelType = 0;
  uint16_t resolution = 200;
  bool duplex = false;
  double width = 2, height = 2;  // inches, from the corner
  bool crop = false;             // ICAP_AUTOMATICBORDERDETECTION
  uint32_t sheets = 1;
  Mechanism mechanism = Mechanism::kMemory;
  uint32_t buffer = 0;  // memory strips: 0 the preferred size
  bool asHandle = false;
  uint16_t fileFormat = 0;  // TWFF_TIFF or TWFF_BMP
  int32_t skipImage = -1;   // MSG_ENDXFER in state 6 instead of this image's transfer
  Cancel cancel = Cancel::kNone;
  uint32_t cancelImage = 0;
  Condition condition = Condition::kNone;
  uint32_t conditionSheet = 1;  // from 1, in this batch
  int32_t xferCount = -1;       // CAP_XFERCOUNT; -1 leaves it
  uint32_t negotiations = 0;    // capability calls drawn before the scan's own settings
  bool probes = false;          // out-of-state calls in every state the walk passes
  bool secondBatch = false;     // enable once more after the first batch's disable
  bool reopen = false;          // close, open and scan once more in the same process

  std::string Describe() const;
};

// A small deterministic generator (splitmix64): the draw is the same on every library.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  uint32_t Below(uint32_t n) { return n == 0 ? 0 : uint32_t(Next() % n); }
  bool Chance(uint32_t percent) { return Below(100) < percent; }
  template <class T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  uint64_t state_;
};

Plan Draw(uint64_t seed);

const char* Name(Mechanism m);
const char* Name(Cancel c);
const char* Name(Condition c);

}  // namespace explore
