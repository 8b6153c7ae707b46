#pragma once
// A scan-engine scenario drawn from a seed: the scanner's profile and sheets, the client's
// settings, a device condition and a client action, each at a chosen point of the job. The same
// seed gives the same scenario on every machine (the generator is our own, not the standard
// library's distributions), and Describe() says it in words for the line that reproduces a
// failure.
#include <cstdint>
#include <string>
#include <vector>

namespace explore {

enum class Profile : uint8_t { Raw, DeviceJpeg };
// Where the sheet's image comes from: one side (front or rear) or both (duplex, in a style).
enum class Source : uint8_t { Front, Rear, Duplex };
enum class Colour : uint8_t { Lineart, Grey8, Grey16, Colour24, Colour48 };
enum class Area : uint8_t { Tiny, Ordinary, Largest };
enum class Delivery : uint8_t { Page, Batch, Continuous };

// What the scanner meets on a sheet; Unplug, Silent and Slow are the device's, not a sheet's.
enum class Condition : uint8_t {
  None,
  Jam,
  MultiFeed,
  Skew,
  CoverOpen,
  Misfeed,
  HardwareCancel,
  MultiFeedAtEnd,
  BlankPage,
  Unplug,  // the scanner leaves the bus at the point
  Silent,  // the scanner stops answering an image read
  Slow,    // every image read is slow
};

enum class Action : uint8_t { None, StopScanCancel, StopJob, CallbackCancel, TerminateDevice };
// When the client acts on its page: before the first block arrived, once some blocks arrived,
// or after the page's KRStopScan(0), before the next page starts.
enum class When : uint8_t { BeforeFirstByte, MidPage, BetweenPages };

struct Scenario {
  uint64_t seed = 0;
  Profile profile = Profile::Raw;
  Source source = Source::Front;
  uint8_t duplexStyle = 7;  // with Source::Duplex
  Colour colour = Colour::Grey8;
  uint16_t resolution = 300;
  Area area = Area::Ordinary;
  bool toEndOfPage = false;
  Delivery delivery = Delivery::Page;
  uint32_t blockSize = 0;                 // bytes per callback, 0 whole pages
  std::vector<uint32_t> sheetLengths;     // in 1/300 inch, one per sheet
  Condition condition = Condition::None;  // at conditionSheet/Side/Offset
  uint32_t conditionSheet = 1;            // from 1
  uint32_t conditionSide = 0;             // 0 front, 1 rear
  uint32_t conditionOffset = 0;           // the side's byte
  Action action = Action::None;
  uint32_t actionPage = 0;  // the client's page it acts on, from 0
  When when = When::MidPage;
  uint32_t jobPages = 0;  // the record's JobPages (0: until the feeder is empty)
};

// The scenario of a seed.
Scenario Draw(uint64_t seed);
// The scenario in words, on one line.
std::string Describe(const Scenario& s);
// The line that reproduces a scenario's run.
std::string ReproduceLine(const Scenario& s);

// The client pages a scenario's source gives per sheet.
inline uint32_t SidesPerSheet(const Scenario& s) { return s.source == Source::Duplex ? 2 : 1; }

// Where a client page comes from. A job with JobPages ends once that many pages were started
// (its window asks for as many sheets as they need; a two-sided job of an odd count leaves its
// last rear side out), and the client's next page starts the next job on the next sheet.
struct SheetSide {
  uint32_t sheet = 1;  // from 1
  uint32_t side = 0;   // 0 front, 1 rear
};
SheetSide SheetOfPage(const Scenario& s, uint32_t page);
// The client page a sheet's side becomes; false when no page takes it.
bool PageOfSheet(const Scenario& s, uint32_t sheet, uint32_t side, uint32_t* page);
// Whether the client's page (from 0) is the last one of its sheet or of its job.
bool LastPageOfSheet(const Scenario& s, uint32_t page);
// The pages the client gets from the scenario's sheets when nothing goes wrong.
uint32_t PagesOfSheets(const Scenario& s);

// A fault of the open issue the scenario would run into, waiting for its mend: the scenario is
// left out until then. Null when none applies.
const char* KnownOpen(const Scenario& s);

}  // namespace explore
