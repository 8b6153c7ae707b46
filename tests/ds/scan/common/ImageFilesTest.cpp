// The data source's image services: a page buffer and its description as a bitmap, files by
// extension read back by the formats' own libraries, Make and Model, the native transfer's TIFF
// through libtiff, JPEG pages into raw rows, debug images and raw dumps.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/foundation/SystemLog.h"
#include "tests/drv/jpeg/oracle.h"
#include "tests/ds/scan/common/CommonTestSupport.h"
#include "tests/platform/imageio/ImageIOTestSupport.h"
#include "tests/platform/imageio/LibraryCheck.h"

namespace ferrolite_test {
namespace {

using ferrolite::TezFRLCommon;
using ferrolite::XferImageInfo;
using imageio::FileKind;
using imageio_check::Facts;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// A page as the scan layer holds it: rows padded beyond their pixels, with the description.
struct Page {
  XferImageInfo info;
  std::vector<uint8_t> buffer;
  imageio::Raster source;  // the same pixels packed, for comparisons
};

constexpr uint32_t kRowPadding = 5;

Page makePage(uint8_t mode, uint32_t width, uint32_t height, uint16_t xRes, uint16_t yRes) {
  const uint16_t bits =
      mode == ferrolite::kXferModeGray || mode == ferrolite::kXferModeColor ? 8 : 1;
  const uint16_t samples = mode == ferrolite::kXferModeColor ? 3 : 1;
  Page page;
  page.source = imageio_test::makePattern(width, height, bits, samples);
  const size_t packed = page.source.layout.bytesPerRow;
  page.info.bMode = mode;
  page.info.bBitsPerPixel = uint8_t(bits * samples);
  page.info.dwWidth = width;
  page.info.dwLength = height;
  page.info.wXRes = xRes;
  page.info.wYRes = yRes;
  page.info.dwBytesPerLine = uint32_t(packed + kRowPadding);
  page.buffer.assign(page.info.dwBytesPerLine * height, 0xA5);  // padding a file must not show
  for (uint32_t y = 0; y < height; ++y) {
    std::memcpy(page.buffer.data() + y * page.info.dwBytesPerLine, page.source.row(y), packed);
  }
  return page;
}

TEST(ImageFileKinds, ExtensionsChooseTheKindWithoutRegardToCase) {
  const std::pair<const char*, FileKind> cases[] = {
      {"a.tif", FileKind::Tiff},        {"a.TIFF", FileKind::Tiff},
      {"a.bmp", FileKind::Bmp},         {"a.Gif", FileKind::Gif},
      {"a.jpg", FileKind::Jpeg},        {"/x/PAGE.JPG", FileKind::Jpeg},
      {"a.jpeg", FileKind::Jpeg},       {"a.png", FileKind::Png},
      {"a.jpk", FileKind::Jpeg2000},    {"a.jp2", FileKind::Tiff},
      {"a.pdf", FileKind::Tiff},        {"noextension", FileKind::Tiff},
      {"dir.jpg/page", FileKind::Tiff}, {"a.jpg.tmp", FileKind::Tiff},
  };
  for (const auto& [path, kind] : cases) {
    EXPECT_EQ(ferrolite::imageFileKindForPath(path), kind) << path;
  }
}

TEST(ImageBitmaps, DescriptionBecomesABitmapOverTheBuffer) {
  struct Case {
    uint8_t mode;
    uint16_t bits, samples;
  };
  const Case cases[] = {{0, 1, 1}, {1, 8, 1}, {2, 8, 3}, {7, 1, 1}};  // any other mode: 1 bit
  const uint8_t buffer[64] = {};
  for (const Case& c : cases) {
    const XferImageInfo info{c.mode, 0, 10, 4, 300, 150, 40, 0};
    const auto bitmap = TezFRLCommon::createBitmapData(buffer, info);
    ASSERT_TRUE(bitmap) << int(c.mode);
    EXPECT_EQ(bitmap->pixels, buffer);
    EXPECT_EQ(bitmap->layout.bitsPerSample, c.bits);
    EXPECT_EQ(bitmap->layout.samplesPerPixel, c.samples);
    EXPECT_EQ(bitmap->layout.width, 10u);
    EXPECT_EQ(bitmap->layout.height, 4u);
    EXPECT_EQ(bitmap->layout.bytesPerRow, 40u);
    EXPECT_EQ(ferrolite::dpiX(*bitmap), 300.0f);
    EXPECT_EQ(ferrolite::dpiY(*bitmap), 150.0f);
  }
  // Descriptions no bitmap fits: rows shorter than their pixels, no pixels, no buffer.
  EXPECT_FALSE(TezFRLCommon::createBitmapData(buffer, {2, 24, 10, 4, 300, 300, 29, 0}));
  EXPECT_FALSE(TezFRLCommon::createBitmapData(buffer, {1, 8, 0, 4, 300, 300, 40, 0}));
  EXPECT_FALSE(TezFRLCommon::createBitmapData(nullptr, {1, 8, 10, 4, 300, 300, 40, 0}));

  // A representation without a resolution reads as 72 dpi; setting 0 leaves it without one.
  imageio::RasterView view;
  EXPECT_EQ(ferrolite::dpiX(view), 72.0f);
  ferrolite::setdpiX(view, 600);
  ferrolite::setdpiY(view, 0);
  EXPECT_EQ(ferrolite::dpiX(view), 600.0f);
  EXPECT_EQ(ferrolite::dpiY(view), 72.0f);
}

struct FileCase {
  const char* name;
  uint8_t mode;
  FileKind kind;
};

Facts libraryFacts(FileKind kind, const fs::path& file) {
  switch (kind) {
    case FileKind::Tiff:
      return imageio_check::tiffFacts(file);
    case FileKind::Jpeg:
      return imageio_check::jpegFacts(file);
    case FileKind::Png:
      return imageio_check::pngFacts(file);
    case FileKind::Gif:
      return imageio_check::gifFacts(file);
    case FileKind::Jpeg2000:
      return imageio_check::jp2Facts(file);
    case FileKind::Bmp:
      return imageio_check::bmpFacts(file);
  }
  return {};
}

// Every extension in each mode, read back by the format's own library; then Make and Model
// where the format has a place for them.
TEST_F(CommonFolders, FilesOfEveryExtensionReadBackByTheirLibraries) {
  const FileCase cases[] = {
      {"bw.tif", 0, FileKind::Tiff},         {"grey.TIFF", 1, FileKind::Tiff},
      {"colour.tiff", 2, FileKind::Tiff},    {"bw.bmp", 0, FileKind::Bmp},
      {"grey.bmp", 1, FileKind::Bmp},        {"colour.BMP", 2, FileKind::Bmp},
      {"bw.gif", 0, FileKind::Gif},          {"grey.gif", 1, FileKind::Gif},
      {"colour.gif", 2, FileKind::Gif},      {"grey.jpg", 1, FileKind::Jpeg},
      {"colour.JPG", 2, FileKind::Jpeg},     {"colour.jpeg", 2, FileKind::Jpeg},
      {"bw.jpg", 0, FileKind::Jpeg},         {"bw.png", 0, FileKind::Png},
      {"grey.png", 1, FileKind::Png},        {"colour.png", 2, FileKind::Png},
      {"bw.jpk", 0, FileKind::Jpeg2000},     {"grey.jpk", 1, FileKind::Jpeg2000},
      {"colour.jpk", 2, FileKind::Jpeg2000}, {"colour.pdf", 2, FileKind::Tiff},
  };
  auto common = makeCommon(1);
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Page page = makePage(c.mode, 37, 11, 300, 200);
    const fs::path file = root_ / c.name;
    ASSERT_TRUE(common->saveImageFile(page.buffer.data(), page.info, file));

    const Facts facts = libraryFacts(c.kind, file);
    ASSERT_TRUE(facts.ok) << facts.error;
    EXPECT_EQ(facts.width, 37u);
    EXPECT_EQ(facts.height, 11u);
    // 1-bit pages stay 1 bit where the format can; JPEG turns them into grey.
    const bool oneBit = c.mode == 0 && c.kind != FileKind::Jpeg && c.kind != FileKind::Gif;
    if (c.kind != FileKind::Gif) {
      EXPECT_EQ(facts.bitsPerSample, oneBit ? 1 : 8);
      EXPECT_EQ(facts.samplesPerPixel, c.mode == 2 ? 3 : 1);
    }
    const bool lossy = c.kind == FileKind::Jpeg || (c.kind == FileKind::Gif && c.mode == 2);
    imageio_test::expectClose(facts.samples8, imageio_test::samples8(page.source), lossy ? 24 : 0,
                              lossy ? 4 : 0);
    if (c.kind == FileKind::Jpeg2000) {
      // OpenJPEG does not read the resolution box: our reader does.
      imageio::DecodedImage back;
      ASSERT_TRUE(imageio::readImageFile(file, back).ok());
      EXPECT_DOUBLE_EQ(back.raster.resolution.x, 300);
      EXPECT_DOUBLE_EQ(back.raster.resolution.y, 200);
    } else if (c.kind != FileKind::Gif) {
      EXPECT_NEAR(facts.xDpi, 300, 0.01);
      EXPECT_NEAR(facts.yDpi, 200, 0.01);
    }
    EXPECT_TRUE(facts.make.empty());  // written without properties

    const std::vector<uint8_t> before = fileBytes(file);
    const bool hasPlace =
        c.kind == FileKind::Tiff || c.kind == FileKind::Jpeg || c.kind == FileKind::Png;
    EXPECT_EQ(common->appendExif(file, "Ferrolite", "FS-1200"), hasPlace);
    const Facts tagged = libraryFacts(c.kind, file);
    ASSERT_TRUE(tagged.ok) << tagged.error;
    if (hasPlace) {
      EXPECT_EQ(tagged.make, "Ferrolite");
      EXPECT_EQ(tagged.model, "FS-1200");
      EXPECT_EQ(tagged.samples8, facts.samples8);
    } else {
      EXPECT_EQ(fileBytes(file), before);
    }
    if (c.kind == FileKind::Jpeg) {
      // The compressed data is kept, not encoded again.
      EXPECT_EQ(imageio_test::scanData(fileBytes(file)), imageio_test::scanData(before));
    }
  }
}

TEST_F(CommonFolders, ImageFileResultsAreLogged) {
  auto common = makeCommon(1);
  const Page page = makePage(1, 8, 2, 200, 200);
  EXPECT_FALSE(common->saveImageFile(nullptr, page.info, root_ / "none.tif"));
  const fs::path unwritable = root_ / "missing" / "page.png";
  EXPECT_FALSE(common->saveImageFile(page.buffer.data(), page.info, unwritable));
  EXPECT_FALSE(fs::exists(unwritable));
  XferImageInfo shortRows = page.info;
  shortRows.dwBytesPerLine = 7;
  EXPECT_FALSE(common->saveImageFile(page.buffer.data(), shortRows, root_ / "short.tif"));
  EXPECT_FALSE(fs::exists(root_ / "short.tif"));
  EXPECT_FALSE(common->appendExif(root_ / "absent.jpg", "Ferrolite", "FS-1200"));

  const Lines lines = logLines(twainLog());
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[0], "    0: Image buffer is NULL");
  EXPECT_EQ(lines[1], "In  1: saveImageFile : " + unwritable.string());
  EXPECT_EQ(lines[2].rfind("    0: saveImageFile : ", 0), 0u) << lines[2];
  EXPECT_EQ(lines[3], "Out 0: saveImageFile");
  EXPECT_EQ(lines[5], "    0: saveImageFile : the image description does not fit a bitmap");
  EXPECT_EQ(lines[6], "Out 0: saveImageFile");
  EXPECT_EQ(Lines(lines.begin() + 7, lines.begin() + 10),
            (Lines{"In  1: appendExif : " + (root_ / "absent.jpg").string(),
                   "    1: maker : Ferrolite", "    1: model : FS-1200"}));
  EXPECT_EQ(lines[10].rfind("    0: appendExif : ", 0), 0u) << lines[10];
  EXPECT_EQ(lines[11], "Out 0: appendExif");
}

// The picture of a native transfer: a TIFF in memory that libtiff reads as the page.
TEST_F(CommonFolders, NativeTransferPictureIsATiffLibtiffReads) {
  auto common = makeCommon(0);
  for (uint8_t mode : {0, 1, 2}) {
    SCOPED_TRACE(int(mode));
    const Page page = makePage(mode, 1001, 3, 400, 400);
    const auto tiff = common->createPictureHandle(page.buffer.data(), page.info);
    ASSERT_TRUE(tiff);
    const Facts facts = imageio_check::tiffFactsInMemory(*tiff);
    ASSERT_TRUE(facts.ok) << facts.error;
    EXPECT_EQ(facts.width, 1001u);
    EXPECT_EQ(facts.height, 3u);
    EXPECT_EQ(facts.bitsPerSample, mode == 0 ? 1 : 8);
    EXPECT_EQ(facts.samplesPerPixel, mode == 2 ? 3 : 1);
    EXPECT_NEAR(facts.xDpi, 400, 0.01);
    EXPECT_NEAR(facts.yDpi, 400, 0.01);
    EXPECT_EQ(facts.samples8, imageio_test::samples8(page.source));
  }
  EXPECT_FALSE(common->createPictureHandle(nullptr, makePage(1, 4, 4, 100, 100).info));
}

// A device JPEG page decoded into the page buffer it arrived in, as the scan layer does.
TEST_F(CommonFolders, JpegPagesDecodeIntoRawRows) {
  auto common = makeCommon(1);
  for (int comps : {1, 3}) {
    SCOPED_TRACE(comps);
    const oracle::Picture picture = oracle::makePicture(45, 17, comps, 7);
    const std::vector<uint8_t> jpeg = oracle::compress(picture, {});
    const fs::path file = root_ / "page.jpg";
    imageio_test::writeBytes(file, jpeg);
    const Facts reference = imageio_check::jpegFacts(file);  // libjpeg-turbo's own decode
    ASSERT_TRUE(reference.ok);

    std::vector<uint8_t> buffer(picture.pixels.size() + 9, 0x5A);
    std::memcpy(buffer.data(), jpeg.data(), jpeg.size());
    size_t decoded = 0;
    ASSERT_TRUE(common->jpg2raw({buffer.data(), jpeg.size()}, buffer, comps == 3, &decoded));
    EXPECT_EQ(decoded, picture.pixels.size());
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + long(decoded)),
              reference.samples8);
    EXPECT_EQ(buffer.back(), 0x5A);

    // Rows that do not fit are not written; the caller learns the size they need.
    std::vector<uint8_t> small(picture.pixels.size() - 1, 0x11);
    EXPECT_FALSE(common->jpg2raw(jpeg, small, false, &decoded));
    EXPECT_EQ(decoded, picture.pixels.size());
    EXPECT_EQ(small, std::vector<uint8_t>(picture.pixels.size() - 1, 0x11));
  }
  std::vector<uint8_t> junk(100, 0x42), out(100);
  size_t decoded = 1;
  EXPECT_FALSE(common->jpg2raw(junk, out, false, &decoded));
  EXPECT_EQ(decoded, 0u);
  // A stream cut short decodes what it has (libjpeg pads the rest) or fails, never overruns.
  const std::vector<uint8_t> jpeg = oracle::compress(oracle::makePicture(30, 30, 3, 1), {});
  std::vector<uint8_t> raw(30 * 30 * 3);
  common->jpg2raw({jpeg.data(), jpeg.size() / 2}, raw, false);

  const Lines lines = logLines(twainLog());
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 7),
            (Lines{"[Thread]In  1: jpg2raw", "[Thread]Out 1: jpg2raw",  // from the scan thread
                   "[Thread]In  1: jpg2raw",
                   "    0: Raw buffer is too small : 765 bytes needed, 764 given",
                   "[Thread]Out 0: jpg2raw", "In  1: jpg2raw", "Out 1: jpg2raw"}));  // a preview
}

// The device's JPEG data is read as JPEG only: a picture of another kind in its place is
// refused, not decoded as that kind.
TEST_F(CommonFolders, JpegPagesOfAnotherKindAreRefused) {
  auto common = makeCommon(1);
  const imageio::Raster picture = imageio_test::makePattern(20, 10, 8, 3);
  for (imageio::FileKind kind : {imageio::FileKind::Png, imageio::FileKind::Gif,
                                 imageio::FileKind::Tiff, imageio::FileKind::Bmp}) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(imageio::encodeImage(kind, picture.view(), {}, bytes).ok());
    std::vector<uint8_t> raw(20 * 10 * 3 * 2);
    size_t decoded = 1;
    EXPECT_FALSE(common->jpg2raw(bytes, raw, false, &decoded)) << int(kind);
    EXPECT_EQ(decoded, 0u);
  }
}

TEST_F(CommonFolders, DebugImagesFollowTheLevelAndTheirSetting) {
  const Page low = makePage(2, 20, 6, 300, 300);
  const Page high = makePage(1, 20, 6, 400, 400);
  struct Case {
    int level, debugImage;
    const Page& page;
    bool written;
  };
  const Case cases[] = {
      {0, 2, low, false},  {1, 0, low, false}, {1, 1, low, true},
      {1, 1, high, false}, {1, 2, high, true}, {2, 3, high, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    auto common = makeCommon(c.level);
    ferrolite::gDebugImage = c.debugImage;
    const std::string name = "page" + std::to_string(n++);
    EXPECT_EQ(common->saveDebugImage(c.page.buffer.data(), c.page.info, name, true), c.written);
    const fs::path file = logFolder_ / (name + ".tif");
    ASSERT_EQ(fs::exists(file), c.written);
    if (c.written) {
      const Facts facts = imageio_check::tiffFacts(file);
      ASSERT_TRUE(facts.ok);
      EXPECT_EQ(facts.samples8, imageio_test::samples8(c.page.source));
    }
    const uint8_t raw[3] = {1, 2, 3};
    // Raw dumps know no resolution rule.
    EXPECT_EQ(common->saveRawData(name + ".jpg", raw, sizeof raw), c.level > 0 && c.debugImage > 0);
  }
  EXPECT_EQ(fileBytes(logFolder_ / "page2.jpg"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_FALSE(fs::exists(logFolder_ / "page1.jpg"));
}

TEST_F(CommonFolders, DebugImageFailuresAreLogged) {
  ferrolite::gDebugImage = 1;
  auto common = makeCommon(1);
  common->setDebugImageRetryPause(std::chrono::milliseconds(1));
  const Page page = makePage(1, 8, 2, 200, 200);
  EXPECT_TRUE(common->saveDebugImage(page.buffer.data(), page.info, "front", false));
  EXPECT_TRUE(fs::exists(logFolder_ / "front.tif"));
  EXPECT_FALSE(common->saveDebugImage(nullptr, page.info, "none", true));
  EXPECT_FALSE(common->saveRawData("raw.bin", nullptr, 10));
  fs::create_directories(logFolder_ / "lost.tif");  // every try fails
  EXPECT_FALSE(common->saveDebugImage(page.buffer.data(), page.info, "lost", false));
  EXPECT_EQ(logLines(twainLog()),
            (Lines{"In  1: saveDebugImage : front", "Out 1: saveDebugImage",
                   "[Thread]In  1: saveDebugImage : none",
                   "    0: Cannot save debug image because insufficient",
                   "[Thread]Out 0: saveDebugImage", "    0: Raw buffer is NULL : raw.bin",
                   "In  1: saveDebugImage : lost", "Out 0: saveDebugImage"}));

  // With private debugging they go to the bundle folder, beside its log.
  auto own = makeCommon(1, morningOfToday(), 1);
  EXPECT_TRUE(own->saveDebugImage(page.buffer.data(), page.info, "rear", true));
  EXPECT_TRUE(fs::exists(bundle_ / "rear.tif"));
}

TEST_F(CommonFolders, RemovingDebugImagesKeepsPreviewsAndOtherFiles) {
  for (const char* name : {"0001.tif", "0002.tif", "scan-preview.tif", "preview.tif", "page.TIF",
                           "page.tiff", "page.png", "tif"}) {
    std::ofstream(bundle_ / name) << "x";
  }
  makeCommon(0)->removeDebugImage();
  EXPECT_TRUE(fs::exists(bundle_ / "0001.tif"));
  makeCommon(1)->removeDebugImage();
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(bundle_)) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Resources", "page.TIF", "page.png", "page.tiff",
                                            "preview.tif", "scan-preview.tif", "tif"}));
}

}  // namespace
}  // namespace ferrolite_test
