// Realistic sheets through the data source as an application drives it: the simulated scanner
// feeds printed fronts with nearly blank backs, the source runs automatic border detection and
// blank-page removal, and every image the application gets is one front cut to its own paper.
#include <gtest/gtest.h>

#include <cstdlib>

#include "TransferSupport.h"

namespace {

using dstest::gSource;
using dstest::Image;
using dstest::Mechanism;

constexpr int kDpi = 100;
constexpr double kA4Width = 8.27, kA4Length = 11.69;

sim::Document Paper(sim::DocumentKind kind, double left, double top, double skew,
                    uint32_t pageNumber = 1) {
  sim::Document d;
  d.kind = kind;
  d.width = kA4Width, d.height = kA4Length;
  d.left = left, d.top = top, d.skew = skew, d.pageNumber = pageNumber;
  return d;
}

class DocumentBatch : public dstest::TransferTest {
 protected:
  void TearDown() override {
    scanner().SetDocuments({});
    for (uint32_t side : {0u, 1u}) scanner().SetBackground(side, kFeeder);
    dstest::TransferTest::TearDown();
  }
  static constexpr sim::Rgb kFeeder{240, 240, 240};  // the simulated feeder's own grey
};

// The mean grey of a band of three columns (or rows) of a colour image, `inset` pixels in from an
// edge.
double BandGrey(const Image& image, bool columns, bool far, int inset) {
  constexpr int kWidth = 3;
  const int w = image.info.width, h = image.info.length;
  double sum = 0;
  long n = 0;
  for (int k = inset; k < inset + kWidth; ++k) {
    const int along = columns ? h : w;
    for (int i = 0; i < along; ++i) {
      const int x = columns ? (far ? w - 1 - k : k) : i;
      const int y = columns ? i : (far ? h - 1 - k : k);
      const uint8_t* p = &image.rows[(size_t(y) * w + x) * 3];
      sum += (p[0] + p[1] + p[2]) / 3.0, ++n;
    }
  }
  return n ? sum / n : 0;
}

// Two sheets fed two-sided, each a little turned the other way from the last, their backs
// nearly blank: both backs are dropped and each front comes cut to its own paper, also the one
// the source numbers as a rear after the dropped back. No edge of an image shows the feeder.
TEST_F(DocumentBatch, BlankBacksDroppedAndEachFrontCutToItsOwnPaper) {
  const uint32_t first = scanner().Scanned().sheetsFed + 1;
  scanner().SetDocuments({
      {first, 0, Paper(sim::DocumentKind::Text, 0.1, 0.3, 0.8)},
      {first, 1, Paper(sim::DocumentKind::NearlyBlank, 0.13, 0.3, -0.8, 2)},
      {first + 1, 0, Paper(sim::DocumentKind::Invoice, 0.12, 0.25, -0.6)},
      {first + 1, 1, Paper(sim::DocumentKind::NearlyBlank, 0.11, 0.25, 0.6, 4)},
  });
  scanner().LoadSheets(2);
  OpenSmall(TWPT_RGB, true, 1.0, kDpi);
  ASSERT_TRUE(host.SetCapability(ICAP_AUTOMATICBORDERDETECTION,
                                 twainhost::Container::OneValue(TWTY_BOOL, 1))
                  .ok());
  gSource->scanSetting.bBlankPageRemoval = 1;
  const std::vector<Image> images = Scan(Mechanism::kMemory);
  ASSERT_EQ(images.size(), 2u) << host.DescribeJournal();
  for (size_t i = 0; i < images.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "image " << i + 1);
    const Image& image = images[i];
    ASSERT_EQ(image.transferResult, TWRC_XFERDONE);
    ASSERT_EQ(image.info.bitsPerPixel, 24);
    EXPECT_NEAR(image.info.width, kA4Width * kDpi, 2);
    EXPECT_NEAR(image.info.length, kA4Length * kDpi, 2);
    ASSERT_EQ(image.rows.size(), size_t(image.info.width) * image.info.length * 3);
    // Just inside each edge (past its blended pixel) the paper, as a little farther in; a strip
    // of the feeder's darker grey would show as a drop.
    constexpr int kEdge = 2, kInside = 12;
    constexpr double kSameGrey = 1.5;
    for (bool columns : {true, false})
      for (bool far : {false, true})
        EXPECT_NEAR(BandGrey(image, columns, far, kEdge), BandGrey(image, columns, far, kInside),
                    kSameGrey)
            << (columns ? (far ? "right" : "left") : (far ? "bottom" : "top"));
  }
}

}  // namespace
