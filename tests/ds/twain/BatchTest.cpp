// The rules that decide how many images a batch delivers: the host's image count, several
// images of one page, split pages, a Photoshop-family host's one image per MSG_XFERREADY, and
// the continue window after the transport time-out.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "TransferSupport.h"
#include "platform/ui/Headless.h"
#include "tests/support/Patience.h"

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
  bool calledBackInside = false;
  // Each call that ends an image leads to one message, after the call has returned.
  auto take = [&] {
    ASSERT_TRUE(host.WaitForMessages(1, testsupport::kPatience));
    for (const auto& m : host.TakeMessages()) {
      messages.push_back(m.message);
      calledBackInside |= m.duringCall;
    }
  };
  take();
  for (int image = 0; image < 3; ++image) {
    ASSERT_EQ(gSource->mCurrentState, TWAIN_STATE_XFERREADY);
    ASSERT_EQ(host.MemXfer(1 << 20).rc, TWRC_XFERDONE);
    ASSERT_TRUE(host.PendingXfers(MSG_ENDXFER).ok());
    take();
  }
  EXPECT_EQ(messages,
            (std::vector<uint16_t>{MSG_XFERREADY, MSG_XFERREADY, MSG_XFERREADY, MSG_CLOSEDSREQ}));
  EXPECT_FALSE(calledBackInside) << "a message came from inside MSG_ENDXFER";
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

namespace {

// With automatic size the scan thread crops (and, for a turned page, orients) the next sheet
// while the host's thread runs the current image through the pipeline: the two must not share
// a plug-in record. A shared record shows as a race under ThreadSanitizer and, in a plain build,
// as a blank grey image or a black-and-white one thresholded at a fixed level.
class AutomaticSizeBatch : public dstest::TransferTest {
 protected:
  void ScanSheets(uint16_t pixelType) {
    constexpr uint32_t kSheets = 3;
    scanner().LoadSheets(kSheets);
    OpenSmall(pixelType, false, 1.0, 75);
    ASSERT_TRUE(host.SetCapability(ICAP_AUTOMATICBORDERDETECTION,
                                   twainhost::Container::OneValue(TWTY_BOOL, 1))
                    .ok());
    gSource->scanSetting.bRotation = 4;  // automatic orientation on the scan thread as well
    const std::vector<Image> images = Scan(Mechanism::kMemory);
    ASSERT_EQ(images.size(), kSheets) << host.DescribeJournal();
    for (size_t i = 0; i < images.size(); ++i) {
      SCOPED_TRACE(i + 1);
      const Image& image = images[i];
      EXPECT_EQ(image.transferResult, TWRC_XFERDONE);
      EXPECT_EQ(image.info.pixelType, pixelType);
      EXPECT_EQ(image.rows, image.prepared);
      // Each sheet carries a printed pattern: no image comes out of one colour.
      ASSERT_FALSE(image.rows.empty());
      const uint8_t first = image.rows.front();
      EXPECT_TRUE(std::any_of(image.rows.begin(), image.rows.end(),
                              [first](uint8_t b) { return b != first; }));
    }
    EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
    ASSERT_TRUE(host.DisableDs().ok());
    ASSERT_TRUE(host.CloseSource().ok());
  }
};

TEST_F(AutomaticSizeBatch, GreyKeepsEachStepsRecordApart) { ScanSheets(TWPT_GRAY); }
TEST_F(AutomaticSizeBatch, LineartKeepsEachStepsRecordApart) { ScanSheets(TWPT_BW); }

}  // namespace

namespace {

// A host may skip an image with MSG_ENDXFER in state 6, also after some strips of a memory
// transfer: that one image is discarded and the rest of the batch still comes. In state 7 the
// pending count can be asked before the transfer's end, and says what the end will answer.
TEST_F(Batch, ASkippedImageIsDiscardedAndTheBatchGoesOn) {
  struct Row {
    const char* what;
    int skip;       // the image skipped, from 1
    bool info;      // its DAT_IMAGEINFO asked first
    bool oneStrip;  // one strip of it taken first
  };
  const Row rows[] = {
      {"the first image, unseen", 1, false, false},
      {"the second image after its information", 2, true, false},
      {"a memory transfer left after one strip", 1, true, true},
      {"the last image", 3, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    scanner().LoadSheets(3);
    OpenSmall();
    ASSERT_TRUE(host.EnableDs(false).ok());
    Messages(1);
    std::vector<uint16_t> counts;
    int transferred = 0;
    for (int image = 1; gSource->mCurrentState == TWAIN_STATE_XFERREADY && image <= 5; ++image) {
      if (image == row.skip) {
        if (row.info) ASSERT_TRUE(host.GetImageInfo().ok());
        if (row.oneStrip) ASSERT_EQ(host.MemXfer(1000).rc, TWRC_SUCCESS);
      } else {
        ASSERT_EQ(host.MemXfer(1 << 20).rc, TWRC_XFERDONE) << host.DescribeJournal();
        ++transferred;
      }
      const bool inState7 = gSource->mCurrentState == TWAIN_STATE_TRANSFERRING;
      const auto asked = host.PendingXfers(MSG_GET);
      const auto end = host.PendingXfers(MSG_ENDXFER);
      ASSERT_TRUE(end.ok()) << host.DescribeJournal();
      if (inState7) {
        ASSERT_TRUE(asked.ok());
        EXPECT_EQ(asked.value, end.value);
      }
      counts.push_back(end.value);
    }
    EXPECT_EQ(transferred, 2);
    EXPECT_EQ(counts, (std::vector<uint16_t>{0xFFFF, 0xFFFF, 0}));
    EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
    EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
    ASSERT_TRUE(host.DisableDs().ok());
    ASSERT_TRUE(host.CloseSource().ok());
  }
}

}  // namespace

namespace {

// CAP_XFERCOUNT as the host sets it: the batch ends after that many images and the other sheets
// stay in the feeder; -1 takes them all.
TEST_F(Batch, TheHostsTransferCountEndsTheBatch) {
  constexpr uint32_t kSheets = 5;
  for (const int16_t count : {int16_t(1), int16_t(2), int16_t(-1)}) {
    SCOPED_TRACE(count);
    scanner().LoadSheets(kSheets);
    const uint32_t fedBefore = scanner().Scanned().sheetsFed;
    OpenSmall();
    ASSERT_TRUE(
        host.SetCapability(CAP_XFERCOUNT, twainhost::Container::OneValue(TWTY_INT16, count)).ok());
    const auto current = host.Capability(MSG_GETCURRENT, CAP_XFERCOUNT);
    ASSERT_TRUE(current.ok());
    EXPECT_EQ(int16_t(current.value.Value()), count);
    const std::vector<Image> images = Scan(Mechanism::kMemory);
    const size_t expected = count > 0 ? size_t(count) : kSheets;
    ASSERT_EQ(images.size(), expected) << host.DescribeJournal();
    for (const Image& image : images) EXPECT_EQ(image.transferResult, TWRC_XFERDONE);
    EXPECT_EQ(images.back().pendingCount, 0);
    EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
    const uint32_t fed = scanner().Scanned().sheetsFed - fedBefore;
    if (count > 0) {
      EXPECT_LT(fed, kSheets);
      const auto loaded = host.Capability(MSG_GET, CAP_FEEDERLOADED);
      ASSERT_TRUE(loaded.ok());
      EXPECT_EQ(loaded.value.Value(), 1);
    } else {
      EXPECT_EQ(fed, kSheets);
    }
    ASSERT_TRUE(host.DisableDs().ok());
    ASSERT_TRUE(host.CloseSource().ok());
  }
}

}  // namespace

namespace {

// The source's messages reach the application once the call that caused them has returned: the
// manager calls the application back at once, and a callback from inside MSG_ENABLEDS or
// MSG_ENDXFER tells the application of a state it has not reached yet. The headless user acts
// while the enable is still inside the source, as a fast user or a script would.
TEST_F(Batch, MessagesComeAfterTheCallThatCausedThem) {
  using ui::headless::UserAction;
  enum class Enable { kNoInterface, kInterface, kInterfaceOnly };
  struct Row {
    const char* what;
    Enable enable;
    UserAction user;
    uint32_t sheets;
    uint16_t message;
  };
  const Row rows[] = {
      {"without the interface the batch starts", Enable::kNoInterface, UserAction::kDefault, 2,
       MSG_XFERREADY},
      {"the user presses Scan", Enable::kInterface, UserAction::kScan, 2, MSG_XFERREADY},
      {"the user presses Cancel", Enable::kInterface, UserAction::kCancel, 2, MSG_CLOSEDSREQ},
      {"the user confirms the interface only", Enable::kInterfaceOnly, UserAction::kOk, 2,
       MSG_CLOSEDSOK},
      {"Scan with an empty feeder closes the window", Enable::kInterface, UserAction::kScan, 0,
       MSG_CLOSEDSREQ},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    scanner().LoadSheets(row.sheets);
    OpenSmall();
    if (row.user != UserAction::kDefault) ui::headless::Journal::shared().scriptAction(row.user);
    twainhost::Answer enabled;
    if (row.enable == Enable::kInterfaceOnly) {
      enabled = host.EnableDsUiOnly();
    } else {
      enabled = host.EnableDs(row.enable == Enable::kInterface);
    }
    ASSERT_TRUE(enabled.ok()) << host.DescribeJournal();
    ASSERT_TRUE(host.WaitForMessages(1, testsupport::kPatience));
    // The next call comes after the message: nothing more is on its way.
    EXPECT_TRUE(host.GetStatus().ok());
    const auto messages = host.TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, row.message);
    EXPECT_FALSE(messages[0].duringCall) << "the application was called back from inside its "
                                            "own MSG_ENABLEDS";
    if (gSource->mCurrentState > TWAIN_STATE_ENABLED) host.PendingXfers(MSG_RESET);
    ASSERT_TRUE(host.DisableDs().ok());
    ASSERT_TRUE(host.CloseSource().ok());
    EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
    // The user's close at the end of a batch ended early is another test's concern.
    host.TakeMessages();
  }
}

}  // namespace
