#include "tests/drv/explore/Scenario.h"

#include <algorithm>
#include <sstream>

namespace explore {
namespace {

// splitmix64: small, fast and the same everywhere.
class Generator {
 public:
  explicit Generator(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // In [low, high].
  uint32_t Between(uint32_t low, uint32_t high) {
    return low + uint32_t(Next() % (uint64_t(high) - low + 1));
  }
  bool Chance(uint32_t percent) { return Next() % 100 < percent; }
  // An index picked by weight.
  template <size_t N>
  size_t Weighted(const uint32_t (&weights)[N]) {
    uint32_t total = 0;
    for (uint32_t w : weights) total += w;
    uint32_t at = uint32_t(Next() % total);
    for (size_t i = 0; i < N; ++i) {
      if (at < weights[i]) return i;
      at -= weights[i];
    }
    return N - 1;
  }

 private:
  uint64_t state_;
};

// A scenario's largest client page, to keep a job's memory and time moderate.
constexpr uint64_t kPageBudget = 3ull << 20;
constexpr uint32_t kBaseResolution = 300;

uint32_t BytesPerPixelTimes8(Colour c) {
  switch (c) {
    case Colour::Lineart:
      return 1;
    case Colour::Grey8:
      return 8;
    case Colour::Grey16:
      return 16;
    case Colour::Colour24:
      return 24;
    case Colour::Colour48:
      return 48;
  }
  return 8;
}

uint64_t PageBytes(const Scenario& s, uint32_t width, uint32_t length) {
  uint32_t lines = length;
  if (s.toEndOfPage) lines = *std::max_element(s.sheetLengths.begin(), s.sheetLengths.end());
  return uint64_t(width) * s.resolution / kBaseResolution * BytesPerPixelTimes8(s.colour) / 8 *
         lines * s.resolution / kBaseResolution;
}

const char* ColourName(Colour c) {
  switch (c) {
    case Colour::Lineart:
      return "lineart";
    case Colour::Grey8:
      return "grey 8-bit";
    case Colour::Grey16:
      return "grey 16-bit";
    case Colour::Colour24:
      return "colour 24-bit";
    case Colour::Colour48:
      return "colour 48-bit";
  }
  return "?";
}

const char* ConditionName(Condition c) {
  switch (c) {
    case Condition::None:
      return "none";
    case Condition::Jam:
      return "jam";
    case Condition::MultiFeed:
      return "multi-feed";
    case Condition::Skew:
      return "skew";
    case Condition::CoverOpen:
      return "cover open";
    case Condition::Misfeed:
      return "misfeed";
    case Condition::HardwareCancel:
      return "the scanner's cancel button";
    case Condition::MultiFeedAtEnd:
      return "multi-feed at the end of page";
    case Condition::BlankPage:
      return "blank page";
    case Condition::Unplug:
      return "unplug";
    case Condition::Silent:
      return "scanner stops answering";
    case Condition::Slow:
      return "slow image reads";
  }
  return "?";
}

const char* ActionName(Action a) {
  switch (a) {
    case Action::None:
      return "none";
    case Action::StopScanCancel:
      return "KRStopScan(1)";
    case Action::StopJob:
      return "KRStopJob";
    case Action::CallbackCancel:
      return "the callback answers 2";
    case Action::TerminateDevice:
      return "KRTerminateDevice";
  }
  return "?";
}

const char* WhenName(When w) {
  switch (w) {
    case When::BeforeFirstByte:
      return "before the first byte";
    case When::MidPage:
      return "mid-page";
    case When::BetweenPages:
      return "after its KRStopScan(0)";
  }
  return "?";
}

}  // namespace

Scenario Draw(uint64_t seed) {
  Generator g(seed);
  Scenario s;
  s.seed = seed;
  s.profile = g.Chance(50) ? Profile::Raw : Profile::DeviceJpeg;
  static const uint32_t kSources[] = {40, 10, 50};
  s.source = Source(g.Weighted(kSources));
  s.duplexStyle = uint8_t(g.Between(0, 7));
  static const uint32_t kColours[] = {10, 35, 10, 35, 10};
  s.colour = Colour(g.Weighted(kColours));
  static const uint16_t kResolutions[] = {300, 600, 150, 200, 250, 400};
  static const uint32_t kResolutionWeights[] = {40, 15, 11, 12, 11, 11};
  s.resolution = kResolutions[g.Weighted(kResolutionWeights)];
  static const uint32_t kAreas[] = {10, 80, 10};
  s.area = Area(g.Weighted(kAreas));
  s.toEndOfPage = g.Chance(30);
  static const uint32_t kDeliveries[] = {45, 45, 10};
  s.delivery = Delivery(g.Weighted(kDeliveries));
  static const uint32_t kBlocks[] = {0, 4096, 10007, 65536, 1u << 20};
  static const uint32_t kBlockWeights[] = {40, 15, 15, 15, 15};
  s.blockSize = kBlocks[g.Weighted(kBlockWeights)];
  const uint32_t sheets = g.Between(1, 4);
  for (uint32_t i = 0; i < sheets; ++i) {
    static const uint32_t kLengths[] = {30, 60, 10};
    switch (g.Weighted(kLengths)) {
      case 0:
        s.sheetLengths.push_back(g.Between(40, 300));
        break;
      case 1:
        s.sheetLengths.push_back(g.Between(300, 1000));
        break;
      default:
        s.sheetLengths.push_back(g.Between(1000, 3300));
        break;
    }
  }
  if (g.Chance(50)) {
    s.condition = Condition(g.Between(uint32_t(Condition::Jam), uint32_t(Condition::Slow)));
    s.conditionSheet = g.Between(1, sheets);
    s.conditionSide = s.source == Source::Duplex ? g.Between(0, 1) : 0;
    s.conditionOffset = g.Chance(15) ? 0 : g.Between(1, 200000);
  }
  if (g.Chance(50)) {
    s.action =
        Action(g.Between(uint32_t(Action::StopScanCancel), uint32_t(Action::TerminateDevice)));
    s.actionPage = g.Between(0, sheets * SidesPerSheet(s) - 1);
    s.when = When(g.Between(0, 2));
    if (s.action == Action::CallbackCancel && s.when == When::BetweenPages) s.when = When::MidPage;
  }
  if (g.Chance(10)) s.jobPages = g.Between(1, 3);

  // Keep the largest page within the budget, so that hundreds of scenarios fit a few minutes
  // on a loaded machine: the resolution, the depth, the area, then the sheets give way.
  const auto width = [&] {
    return s.area == Area::Tiny ? 128u : s.area == Area::Ordinary ? 608u : 2544u;
  };
  const auto length = [&] {
    return s.area == Area::Tiny ? 48u : s.area == Area::Ordinary ? 600u : 3300u;
  };
  while (PageBytes(s, width(), length()) > kPageBudget) {
    if (s.resolution > kBaseResolution) {
      s.resolution = kBaseResolution;
    } else if (s.colour == Colour::Colour48) {
      s.colour = Colour::Colour24;
    } else if (s.colour == Colour::Grey16) {
      s.colour = Colour::Grey8;
    } else if (s.area == Area::Largest) {
      s.area = Area::Ordinary;
    } else {
      for (uint32_t& l : s.sheetLengths) l = std::max(40u, l / 2);
      if (!s.toEndOfPage && s.resolution >= kBaseResolution) s.resolution = 200;
    }
  }
  return s;
}

std::string Describe(const Scenario& s) {
  std::ostringstream o;
  o << (s.profile == Profile::Raw ? "raw" : "device JPEG") << " profile, ";
  if (s.source == Source::Duplex)
    o << "duplex style " << int(s.duplexStyle);
  else
    o << (s.source == Source::Front ? "front" : "rear") << " only";
  o << ", " << ColourName(s.colour) << ", " << s.resolution << " dpi, "
    << (s.area == Area::Tiny       ? "tiny"
        : s.area == Area::Ordinary ? "ordinary"
                                   : "largest")
    << " area, " << (s.toEndOfPage ? "to end of page" : "fixed length") << ", "
    << (s.delivery == Delivery::Page    ? "page mode"
        : s.delivery == Delivery::Batch ? "batch mode"
                                        : "continuous")
    << ", block " << s.blockSize << ", " << s.sheetLengths.size() << " sheet(s) (";
  for (size_t i = 0; i < s.sheetLengths.size(); ++i) o << (i ? " " : "") << s.sheetLengths[i];
  o << "/300 in)";
  if (s.jobPages != 0) o << ", JobPages " << s.jobPages;
  if (s.condition != Condition::None) {
    o << ", " << ConditionName(s.condition);
    if (s.condition != Condition::Slow)
      o << " at sheet " << s.conditionSheet << " " << (s.conditionSide ? "rear" : "front")
        << " byte " << s.conditionOffset;
  }
  if (s.action != Action::None)
    o << ", " << ActionName(s.action) << " on page " << s.actionPage + 1 << " " << WhenName(s.when);
  return o.str();
}

namespace {

// The sheets one job of the scenario feeds; 0: every sheet.
uint32_t SheetsPerJob(const Scenario& s) {
  const uint32_t sides = SidesPerSheet(s);
  return (s.jobPages + sides - 1) / sides;
}

}  // namespace

SheetSide SheetOfPage(const Scenario& s, uint32_t page) {
  const uint32_t sides = SidesPerSheet(s);
  const uint32_t job = s.jobPages != 0 ? page / s.jobPages : 0;
  const uint32_t inJob = s.jobPages != 0 ? page % s.jobPages : page;
  SheetSide at;
  at.sheet = job * SheetsPerJob(s) + inJob / sides + 1;
  at.side = s.source == Source::Duplex ? inJob % 2 : s.source == Source::Rear ? 1 : 0;
  return at;
}

bool PageOfSheet(const Scenario& s, uint32_t sheet, uint32_t side, uint32_t* page) {
  const uint32_t sides = SidesPerSheet(s);
  const uint32_t sideIndex = s.source == Source::Duplex ? side : 0;
  if (s.jobPages == 0) {
    *page = (sheet - 1) * sides + sideIndex;
    return true;
  }
  const uint32_t perJob = SheetsPerJob(s);
  const uint32_t inJob = (sheet - 1) % perJob * sides + sideIndex;
  if (inJob >= s.jobPages) return false;
  *page = (sheet - 1) / perJob * s.jobPages + inJob;
  return true;
}

bool LastPageOfSheet(const Scenario& s, uint32_t page) {
  const uint32_t inJob = s.jobPages != 0 ? page % s.jobPages : page;
  return (inJob + 1) % SidesPerSheet(s) == 0 || (s.jobPages != 0 && inJob + 1 == s.jobPages);
}

uint32_t PagesOfSheets(const Scenario& s) {
  const uint32_t sides = SidesPerSheet(s);
  const uint32_t sheets = uint32_t(s.sheetLengths.size());
  if (s.jobPages == 0) return sheets * sides;
  uint32_t pages = 0;
  for (uint32_t left = sheets; left > 0;) {
    const uint32_t taken = std::min(left, SheetsPerJob(s));
    pages += std::min(s.jobPages, taken * sides);
    left -= taken;
  }
  return pages;
}

std::string ReproduceLine(const Scenario& s) {
  return "scripts/explore engine --seed " + std::to_string(s.seed) + "   # " + Describe(s);
}

// Each exclusion names the fault it waits for; remove it when that fault's mend is on main.
const char* KnownOpen(const Scenario& s) {
  const bool oneStream = s.source == Source::Duplex && s.duplexStyle >= 1 && s.duplexStyle <= 3;
  if (oneStream && s.condition == Condition::MultiFeed && s.toEndOfPage)
    return "finding H: a multi-feed in the READ that reaches a short sheet's end in one stream "
           "makes the front page run past the sheet";
  return nullptr;
}

}  // namespace explore
