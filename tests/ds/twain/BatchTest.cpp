// The rules that decide how many images a batch delivers: the host's image count, several
// images of one page, split pages, a Photoshop-family host's one image per MSG_XFERREADY, and
// the continue window after the transport time-out.
#include <gtest/gtest.h>

#include <set>

#include "TransferSupport.h"
#include "platform/ui/Headless.h"

namespace {

using dstest::gSource;
using dstest::Image;
using dstest::Mechanism;

class Batch : public dstest::TransferTest {};

TEST_F(Batch, ImagesPerBatchAndPerPage) {
  struct Row {
    const char* what;
    uint32_t sheets;
    bool duplex;
    int32_t imageCount;  // the settings' count, 0 all
    uint16_t imageType;  // 0: as negotiated
    uint8_t splitMode;
    size_t images;
  };
  const Row rows[] = {
      {"three of five sheets", 5, false, 3, 0, 0, 3},
      {"both sides of every sheet", 2, true, 0, 0, 0, 4},
      {"black-and-white, grey and colour of every front", 2, false, 0, 0x15, 0, 6},
      {"split halves of both sides", 2, true, 0, 0, 1, 8},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    scanner().LoadSheets(row.sheets);
    OpenSmall(TWPT_GRAY, row.duplex);
    gSource->scanSetting.iImageCount = row.imageCount;  // the settings' image count
    if (row.imageType != 0) gSource->scanSetting.wImageType = row.imageType;
    gSource->scanSetting.bSplitMode = row.splitMode;
    const std::vector<Image> images = Scan(Mechanism::kMemory);
    ASSERT_EQ(images.size(), row.images) << host.DescribeJournal();
    for (size_t i = 0; i < images.size(); ++i) {
      EXPECT_EQ(images[i].transferResult, TWRC_XFERDONE);
      EXPECT_EQ(images[i].pendingCount, i + 1 == images.size() ? 0 : 0xFFFF);
      EXPECT_EQ(images[i].rows, images[i].prepared);
    }
    if (row.imageType == 0x15) {
      // Each page once in every mode, from the one scan.
      for (size_t page = 0; page + 3 <= images.size(); page += 3) {
        std::set<int> types;
        for (size_t i = page; i < page + 3; ++i) types.insert(images[i].info.pixelType);
        EXPECT_EQ(types, (std::set<int>{TWPT_BW, TWPT_GRAY, TWPT_RGB})) << page;
      }
    }
    EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
    EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
    ASSERT_TRUE(host.DisableDs().ok());
    ASSERT_TRUE(host.CloseSource().ok());
  }
}

TEST_F(Batch, APhotoshopHostTakesOneImagePerMessage) {
  twainhost::Identity adobe;
  adobe.manufacturer = "Adobe Systems";
  adobe.productFamily = "Photoshop";
  adobe.productName = "Adobe Photoshop";
  adobe.protocolMajor = 2;
  adobe.supportedGroups = DG_CONTROL | DG_IMAGE;
  host.SetApplication(adobe);
  scanner().LoadSheets(3);
  OpenSmall();
  ASSERT_TRUE(gSource->photoshopFamily);
  ASSERT_TRUE(host.EnableDs(false).ok());
  std::vector<uint16_t> messages;
  for (const auto& m : host.TakeMessages()) messages.push_back(m.message);
  for (int image = 0; image < 3; ++image) {
    ASSERT_EQ(gSource->mCurrentState, TWAIN_STATE_XFERREADY);
    ASSERT_EQ(host.MemXfer(1 << 20).rc, TWRC_XFERDONE);
    ASSERT_TRUE(host.PendingXfers(MSG_ENDXFER).ok());
    for (const auto& m : host.TakeMessages()) messages.push_back(m.message);
  }
  EXPECT_EQ(messages,
            (std::vector<uint16_t>{MSG_XFERREADY, MSG_XFERREADY, MSG_XFERREADY, MSG_CLOSEDSREQ}));
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
}

TEST_F(Batch, TheTransportTimeOutWaitsForPaper) {
  scanner().LoadSheets(1);
  OpenSmall();
  ferrolite::ScanTiming timing = ferrolite::scanTiming();
  timing.second = std::chrono::milliseconds(5);
  ferrolite::setScanTiming(timing);
  gSource->scanSetting.wTransportTimeout = 100;  // half a second of countdown
  ASSERT_TRUE(host.EnableDs(false).ok());
  ASSERT_EQ(host.MemXfer(1 << 20).rc, TWRC_XFERDONE);
  // Paper put into the empty feeder: the countdown sees it and the batch goes on.
  scanner().LoadSheets(1);
  const auto more = host.PendingXfers(MSG_ENDXFER);
  ASSERT_TRUE(more.ok());
  EXPECT_EQ(more.value, 0xFFFF);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_XFERREADY);
  ASSERT_EQ(host.MemXfer(1 << 20).rc, TWRC_XFERDONE) << host.DescribeJournal();
  // No paper: the countdown ends the batch.
  const auto last = host.PendingXfers(MSG_ENDXFER);
  ASSERT_TRUE(last.ok());
  EXPECT_EQ(last.value, 0);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
  EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
}

}  // namespace

namespace {

TEST_F(Batch, FeederLoadedReadsTheSensor) {
  OpenSmall();
  for (const uint32_t sheets : {2u, 0u, 1u}) {
    SCOPED_TRACE(sheets);
    scanner().LoadSheets(sheets);
    const auto loaded = host.Capability(MSG_GET, CAP_FEEDERLOADED);
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(loaded.value.Value(), sheets != 0 ? 1 : 0);
  }
}

}  // namespace

namespace {

TEST_F(Batch, ABlankLastPageEndsWithoutAnImage) {
  scanner().LoadSheets(3);
  OpenSmall();
  gSource->scanSetting.bBlankPageRemoval = 1;
  scanner().AddSheetEvent(
      {sim::SheetEventKind::BlankPage, scanner().Scanned().sheetsFed + 3, 0, 0, 0});
  const std::vector<Image> images = Scan(Mechanism::kMemory);
  scanner().ClearSheetEvents();
  ASSERT_EQ(images.size(), 2u) << host.DescribeJournal();
  EXPECT_EQ(images[0].pendingCount, 0xFFFF);
  EXPECT_EQ(images[1].transferResult, TWRC_XFERDONE);
  EXPECT_EQ(images[1].pendingCount, 0);
  EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
}

}  // namespace
