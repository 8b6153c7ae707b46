// Scanning through the data source without its interface: the enable starts the batch, each
// image is prepared by DAT_IMAGEINFO and taken by native, memory or file transfer, and the end of
// each transfer moves to the next image or ends the batch, against the real driver and the
// simulated scanner.
#include <gtest/gtest.h>

#include "TransferSupport.h"

namespace {

using dstest::gSource;
using dstest::Image;
using dstest::Mechanism;

class Transfers : public dstest::TransferTest {};

TEST_F(Transfers, ThreeSimplexSheetsByEveryMechanism) {
  struct Case {
    Mechanism mechanism;
    std::string extension;
    bool exif;
  };
  const Case cases[] = {{Mechanism::kMemory, "", false},
                        {Mechanism::kNative, "", false},
                        {Mechanism::kFile, ".tif", true},
                        {Mechanism::kFile, ".png", false},
                        {Mechanism::kFile, ".JPG", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(dstest::Name(c.mechanism)) + c.extension);
    scanner().LoadSheets(3);
    OpenSmall();
    const std::vector<Image> images = Scan(c.mechanism, c.extension);
    ASSERT_EQ(images.size(), 3u) << host.DescribeJournal();
    const uint16_t counts[] = {0xFFFF, 0xFFFF, 0};
    for (size_t i = 0; i < images.size(); ++i) {
      const Image& image = images[i];
      EXPECT_EQ(image.transferResult, TWRC_XFERDONE);
      EXPECT_EQ(image.pendingCount, counts[i]);
      // The width keeps the device's pixel alignment.
      EXPECT_NEAR(image.info.width, 100, 8);
      EXPECT_EQ(image.info.length, 100);
      EXPECT_EQ(image.info.pixelType, TWPT_GRAY);
      EXPECT_EQ(image.info.bitsPerPixel, 8);
      EXPECT_EQ(image.info.xResolution, 100);
      ASSERT_EQ(image.rows.size(), size_t(image.info.width) * image.info.length);
      // Every byte as the pipeline left it (JPEG is lossy).
      if (c.extension != ".JPG") {
        EXPECT_EQ(image.rows, image.prepared) << "image " << i + 1;
      }
      if (c.mechanism == Mechanism::kFile) {
        EXPECT_EQ(!image.properties.make.empty(), c.exif);
        if (c.exif) {
          EXPECT_EQ(image.properties.make, gSource->dsManufacturer);
          EXPECT_EQ(image.properties.model.find(gSource->dsManufacturer + " "), std::string::npos);
        }
      }
    }
    EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_ENABLED);
    EXPECT_EQ(dstest::ThreadCount(), threadsBefore_);
    ASSERT_TRUE(host.DisableDs().ok());
    ASSERT_TRUE(host.CloseSource().ok());
  }
}

TEST_F(Transfers, ASecondImageInfoAnswersTheSameWithoutScanning) {
  OpenSmall();
  ASSERT_TRUE(host.EnableDs(false).ok());
  auto first = host.GetImageInfo();
  ASSERT_TRUE(first.ok());
  const int pagesDone = gSource->scanObject->scanPageDone();
  auto second = host.GetImageInfo();
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(second.value.width, first.value.width);
  EXPECT_EQ(second.value.length, first.value.length);
  EXPECT_EQ(gSource->xferPageNumber, 1);
  EXPECT_LE(gSource->scanObject->scanPageDone(), pagesDone + 1);  // the batch's read-ahead only
  EXPECT_EQ(host.MemXfer(100000).rc, TWRC_XFERDONE);
  // In 70 the image information stays; the next image needs MSG_ENDXFER first.
  EXPECT_EQ(host.GetImageInfo().value.width, first.value.width);
  const twainhost::Answer again = host.MemXfer(100000);
  EXPECT_EQ(again.rc, TWRC_FAILURE);
  EXPECT_EQ(again.cc, TWCC_SEQERROR);
}

}  // namespace
