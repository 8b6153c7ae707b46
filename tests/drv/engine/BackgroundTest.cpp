// Background lines and padding values on the simulated scanner.
#include <thread>
#include <vector>

#include "EngineFixture.h"
#include "drv/engine/Background.h"

using namespace enginefix;

namespace {

class Background : public EngineTest {
 protected:
  static void SetUpTestSuite() { testlog::Prepare("engine-background"); }

  // The job's parameters and its window, as the job start sends it before the IO thread
  // reads the background.
  void Job(SCANPARAMETER_UNION ap) {
    CScanner* scanner = Item()->pScanner;
    scanner->SetAPScanParameter(&ap);
    scanner->TransformScanParameter(Item());
    KR_WindowDataSet_VER2 window = {};
    scanner->GetWindowDescriptor(Item(), &window);
    ASSERT_TRUE(Item()->pIoObject->SetWindow(window.Data, kWindowDataSize));
  }
  static size_t Reads(const sim::SimScanner& s, const char* name) {
    size_t n = 0;
    for (const std::string& seen : devicefix::Names(s)) n += seen == name;
    return n;
  }
  // Reads (or keeps) the lines and computes the padding values, as the IO thread does.
  Bytes Padding() {
    EXPECT_TRUE(GetBackgroundToBuffer(Item()));
    EXPECT_TRUE(CountingPaddingValues(Item()));
    return Bytes(Item()->PaddingValues, Item()->PaddingValues + 6);
  }
  static size_t BackgroundReads(const sim::SimScanner& s) { return Reads(s, "READ 0x009B"); }
};

sim::Config WithBackground(sim::Rgb front, sim::Rgb rear = {}) {
  sim::Config c;
  c.background[0] = front;
  c.background[1] = rear;
  return c;
}

}  // namespace

TEST_F(Background, KeptLinesAreReusedUntilGammaChangesOrAReadFails) {
  sim::SimScanner& scanner = OpenAlone(WithBackground({100, 100, 100}));
  Job(GreyPage());
  EXPECT_EQ(Padding()[0], 100);
  EXPECT_EQ(BackgroundReads(scanner), 1u);
  EXPECT_EQ(devicefix::Commands(scanner)[1].length, 304u);

  // The next job with the same resolution, mode, method and line count reads nothing.
  scanner.SetBackground(0, {60, 60, 60});
  Job(GreyPage());
  EXPECT_EQ(Padding()[0], 100);
  EXPECT_EQ(BackgroundReads(scanner), 1u);

  // A changed gamma table reads again.
  ASSERT_EQ(SetGamma(Ramp(1), 0, 0), 0);
  Job(GreyPage());
  EXPECT_EQ(Padding()[0], 60);
  EXPECT_EQ(BackgroundReads(scanner), 2u);

  // Another resolution reads again too.
  SCANPARAMETER_UNION other = GreyPage();
  other.XRes = other.YRes = 600;
  Job(other);
  Padding();
  EXPECT_EQ(BackgroundReads(scanner), 3u);

  // A failed read zeroes the kept lines; the job goes on and the next one reads again.
  scanner.InjectFault(simhelp::CheckCondition(0xA8, 5, 0x2600, 0, 0x9B));
  Job(GreyPage());
  EXPECT_EQ(Padding()[0], 0);
  EXPECT_EQ(Item()->bBackgroundReadFailed, 1);
  EXPECT_EQ(BackgroundReads(scanner), 4u);
  Job(GreyPage());
  EXPECT_EQ(Padding()[0], 60);
  EXPECT_EQ(BackgroundReads(scanner), 5u);
  EXPECT_EQ(Item()->bBackgroundReadFailed, 0);
}

TEST_F(Background, BothSidesOfADuplexColourJob) {
  sim::SimScanner& scanner = OpenAlone(WithBackground({10, 120, 230}, {200, 100, 50}));
  SCANPARAMETER_UNION ap = ColourLetter();
  ap.Width = ap.PixelNum = 304;
  ap.BytesPerLine = 304 * 3;
  Job(ap);
  EXPECT_EQ(Padding(), (Bytes{10, 120, 230, 200, 100, 50}));
  // Style 7: the front lines, then the rear lines, one READ each.
  const std::vector<devicefix::Seen> seen = devicefix::Commands(scanner);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].command, "SET WINDOW");
  EXPECT_EQ(seen[1].length, 304u * 3);
  EXPECT_EQ(seen[2].length, 304u * 3);
}

TEST_F(Background, MeanDividesByTheSamplesItSums) {
  // Ten pixels: indices 2 to 7 are summed, six samples.
  OpenAlone(WithBackground({200, 200, 200}));
  SCANPARAMETER_UNION ap = GreyPage();
  ap.Width = ap.PixelNum = ap.BytesPerLine = 10;
  Job(ap);
  EXPECT_EQ(Padding()[0], 200);
}

TEST_F(Background, PaddingFromTheGammaTables) {
  struct Case {
    const char* what;
    uint32_t mode;
    uint8_t bits, colourFilter;
    std::vector<Device_Features> features;  // empty: the supported model's
    Bytes front;
  };
  // Identity tables: entry 220 is 220.
  const Case cases[] = {
      {"lineart: white padding is 0", 0, 1, 0, {}, {0}},
      {"lineart, inverted", 0, 1, 0, {kFeatureInvertedPadding}, {255}},
      {"colour without kept lines", 4, 24, 0, {}, {220, 220, 220}},
      {"IR", 6, 8, 0, {}, {220, 128, 128}},
      {"device JPEG grey", 0x6000002, 8, 0, {}, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenAlone();
    if (!c.features.empty()) UseFeatures(c.features);
    SCANPARAMETER_UNION ap = GreyPage();
    ap.ScanMode = c.mode;
    ap.BitsPerPixel = c.bits;
    ap.ColorFilter = c.colourFilter;
    ap.Compression = 1;  // no kept lines count
    Job(ap);
    std::fill_n(Item()->PaddingValues, 6, 7);
    ASSERT_TRUE(CountingPaddingValues(Item()));
    const Bytes values(Item()->PaddingValues, Item()->PaddingValues + 6);
    for (size_t i = 0; i < c.front.size(); ++i) {
      EXPECT_EQ(values[i], c.front[i]) << i;
      EXPECT_EQ(values[3 + i], c.front[i]) << i;  // the rear takes the front's
    }
  }
}

TEST_F(Background, GreyFromTheFilterOrTheWeightedTables) {
  OpenAlone();
  ASSERT_EQ(SetGamma(Ramp(0), 1, 1), 0);
  ASSERT_EQ(SetGamma(Ramp(10), 2, 1), 0);
  ASSERT_EQ(SetGamma(Ramp(20), 3, 1), 0);
  SCANPARAMETER_UNION ap = GreyPage();
  ap.Compression = 1;
  ap.ColorFilter = 2;
  Job(ap);
  CountingPaddingValues(Item());
  EXPECT_EQ(Item()->PaddingValues[0], 230);
  ap.ColorFilter = 0;
  Job(ap);
  CountingPaddingValues(Item());
  EXPECT_EQ(Item()->PaddingValues[0], (3 * 230 + 2 * 240 + 220) / 6);
  // Too narrow a line for a mean: the tables decide.
  ap.Compression = 0;
  ap.PixelNum = ap.Width = ap.BytesPerLine = 1;
  Job(ap);
  EXPECT_EQ(Padding()[0], (3 * 230 + 2 * 240 + 220) / 6);
}

TEST_F(Background, TwoByteTablesUseOnePositionForGreyAndColour) {
  sim::Config config;
  config.inquiryPatches = {Patch(120, 0x10)};
  OpenAlone(config);
  // The identity store of a two-byte device holds 440 & 0xFF = 184 at byte 440.
  SCANPARAMETER_UNION ap = GreyPage();
  ap.Compression = 1;
  Job(ap);
  CountingPaddingValues(Item());
  EXPECT_EQ(Item()->PaddingValues[0], 184);
  ap.ScanMode = 4;
  ap.BitsPerPixel = 24;
  Job(ap);
  CountingPaddingValues(Item());
  EXPECT_EQ(Bytes(Item()->PaddingValues, Item()->PaddingValues + 6),
            (Bytes{184, 184, 184, 184, 184, 184}));
}

TEST_F(Background, WidthFromTheFeederWidthReadsBigEndianBaseResolution) {
  sim::SimScanner& scanner = OpenAlone(WithBackground({90, 90, 90}));
  UseFeatures({});  // without the device pixel count
  SCANPARAMETER_UNION ap = GreyPage();
  ap.byBackgroundLines = 1;
  Job(ap);
  SCANPARAMETER_UNION dev;
  Item()->pScanner->GetNewScanParameter(&dev);
  EXPECT_EQ(Padding()[0], 90);
  // 300 dpi x 2550 / 300 (inquiry bytes 16-17), down to the grey bound 8.
  ASSERT_EQ(devicefix::Commands(scanner).size(), 2u);
  EXPECT_EQ(devicefix::Commands(scanner)[1].length, 2544u * dev.BitsPerPixel / 8);
}

TEST_F(Background, ClearingForgetsTheLinesAndTheRegistryClearsOnDeletion) {
  OpenAlone(WithBackground({100, 100, 100}));
  EXPECT_EQ(GetScanEngineHooks().ClearBackground, &DoClearBackground);
  Job(GreyPage());
  Padding();
  ASSERT_NE(Item()->pBackgroundFront, nullptr);
  DoClearBackground(Item());
  EXPECT_EQ(Item()->pBackgroundFront, nullptr);
  EXPECT_EQ(Item()->dwBackgroundSideSize, 0u);
  EXPECT_EQ(Item()->bGammaChanged, 1);
  for (uint32_t key : Item()->BackgroundKey) EXPECT_EQ(key, 0xFFFFFFFFu);
  // Lines kept at the driver's end are freed with the item (the sanitizer pass sees a leak).
  Padding();
  ASSERT_NE(Item()->pBackgroundFront, nullptr);
}

TEST_F(Background, AWaiterIsReleasedWhenTheLinesAreThere) {
  OpenAlone(WithBackground({100, 100, 100}));
  Job(GreyPage());
  CScannerManagerScannerItem* item = Item();
  item->bBackgroundReady = 0;
  std::thread waiter([item] {
    LockKrMutex(&item->BackgroundMutex);
    item->bBackgroundWaiter = 1;
    while (!item->bBackgroundReady)
      WaitKrCondition(&item->BackgroundCondition, &item->BackgroundMutex);
    UnlockKrMutex(&item->BackgroundMutex);
  });
  for (bool announced = false; !announced; std::this_thread::yield()) {
    LockKrMutex(&item->BackgroundMutex);
    announced = item->bBackgroundWaiter != 0;
    UnlockKrMutex(&item->BackgroundMutex);
  }
  EXPECT_TRUE(GetBackgroundToBuffer(item));
  waiter.join();
  EXPECT_EQ(item->bBackgroundWaiter, 0);
}
