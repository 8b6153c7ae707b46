// The preview's road from the scanner to the dialog's view: the data source's preview scan of
// the simulated scanner's preview page writes the preview file, and the dialog's decoder finds
// the page's margin, patches and marks where the scanner put them, at the file's resolution.
// The scanner's sides are preview pages in this program (one description per process).
#define DSTEST_SIM_DESCRIPTION \
  "serial SIM0000001\nsheets 3\npreview-page 10 200 180\nbackground front 40 40 40\n"
#include <gtest/gtest.h>

#include <cstdlib>

#include "OpenSupport.h"
#include "ds/dialog/preview/PreviewGeometry.h"
#include "ds/dialog/preview/PreviewImage.h"

namespace {

using dstest::gSource;
namespace fs = std::filesystem;

class PreviewRoad : public dstest::OpenSourceTest {};

struct Spot {
  double x, y;  // inches
  uint8_t r, g, b;
};

TEST_F(PreviewRoad, ThePreviewFileShowsThePageWhereTheScannerPutIt) {
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  ds.previewScan();
  const fs::path file = bundle_ / (ds.scannerName + "_preview.tif");
  ASSERT_TRUE(fs::exists(file));
  std::string why;
  const auto image = ferrolite::dialog::readPreviewImage(file, why);
  ASSERT_TRUE(image) << why;
  ASSERT_GT(image->xResolution, 0);
  // The feeder's whole area: the view's rule then takes the feeder's length.
  const double lengthUnits = image->pointSize().height * 300 / 72;
  EXPECT_NEAR(lengthUnits, ds.deviceAbility.ADFMaxLength, 10);
  EXPECT_FALSE(ferrolite::dialog::previewIsFlatbedLength(image->pointSize().height,
                                                         ds.deviceAbility.FlatbedMaxLength));
  // The page's spots, the device's JPEG and the resolution change allowing for some drift.
  const Spot spots[] = {
      {0.1, 5, 40, 40, 40},  {0.6, 0.6, 255, 255, 255}, {1.5, 1.5, 220, 30, 40},
      {3, 1.5, 40, 160, 60}, {4.5, 1.5, 40, 70, 200},   {6, 1.5, 10, 200, 180},
      {1.5, 3.12, 0, 0, 0},  {6, 4.62, 0, 0, 0},        {1.5, 3.4, 255, 255, 255}};
  for (const Spot& s : spots) {
    SCOPED_TRACE(::testing::Message() << s.x << ", " << s.y);
    const ui::Color c = image->pixel(int(s.x * image->xResolution), int(s.y * image->yResolution));
    EXPECT_NEAR(c.red * 255, s.r, 40);
    EXPECT_NEAR(c.green * 255, s.g, 40);
    EXPECT_NEAR(c.blue * 255, s.b, 40);
  }
}

}  // namespace
