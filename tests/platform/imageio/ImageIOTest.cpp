// Every format written and read back (by us and by the libraries themselves), destinations,
// bitmaps over a provider, Make and Model in existing files, the in-memory TIFF, JPEG pages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/imageio/ImageIO.h"
#include "tests/drv/jpeg/oracle.h"
#include "tests/platform/imageio/ImageIOTestSupport.h"
#include "tests/platform/imageio/LibraryCheck.h"

namespace {

namespace fs = std::filesystem;
using namespace imageio;
using namespace imageio_test;
using imageio_check::Facts;

// What each kind keeps of what it is given.
struct KindTraits {
  FileKind kind;
  const char* extension;
  bool lossless;     // for the depths it keeps
  bool resolution;   // keeps the resolution
  bool properties;   // keeps orientation, Make and Model
  bool sixteenBits;  // keeps 16-bit samples (else their high byte)
  bool oneBit;       // keeps 1-bit pixels (else 0 and 255 in 8 bits)
  Facts (*facts)(const fs::path&);
};

const KindTraits kKinds[] = {
    {FileKind::Tiff, "tif", true, true, true, true, true, imageio_check::tiffFacts},
    {FileKind::Png, "png", true, true, true, true, true, imageio_check::pngFacts},
    {FileKind::Jpeg, "jpg", false, true, true, false, false, imageio_check::jpegFacts},
    {FileKind::Gif, "gif", true, false, false, false, true, imageio_check::gifFacts},
    {FileKind::Jpeg2000, "jp2", true, true, false, true, true, imageio_check::jp2Facts},
    {FileKind::Bmp, "bmp", true, true, false, false, true, imageio_check::bmpFacts},
};

struct Depth {
  uint16_t bits, samples;
};
constexpr Depth kDepths[] = {{1, 1}, {8, 1}, {16, 1}, {8, 3}, {16, 3}};
struct Size {
  uint32_t width, height;
};
constexpr Size kSizes[] = {{1, 1}, {13, 7}, {1001, 3}, {3, 300}};

const Resolution kResolution{300, 200};
const ImageProperties kProperties{6, "Ferrolite", "FS-1200"};

class ImageFiles : public TempFolder, public ::testing::WithParamInterface<KindTraits> {};

// A page as the driver delivers it: a baseline JPEG made by libjpeg-turbo itself.
std::vector<uint8_t> jpegPage(const Raster& source, int quality, int densityUnit, int density) {
  const oracle::Picture picture{int(source.layout.width), int(source.layout.height),
                                int(source.layout.samplesPerPixel), source.pixels};
  oracle::EncodeOptions options;
  options.quality = quality;
  options.densityUnit = densityUnit;
  options.xDensity = options.yDensity = density;
  return oracle::compress(picture, options);
}

void PrintTo(const KindTraits& traits, std::ostream* out) { *out << traits.extension; }

std::string kindName(const ::testing::TestParamInfo<KindTraits>& info) {
  return info.param.extension;
}

TEST_P(ImageFiles, WrittenAndReadBackInEveryDepthAndSize) {
  const KindTraits& traits = GetParam();
  for (const Depth& depth : kDepths) {
    for (const Size& size : kSizes) {
      SCOPED_TRACE(testing::Message() << size.width << "x" << size.height << " " << depth.bits
                                      << " bits x " << depth.samples);
      const Raster source = makePattern(size.width, size.height, depth.bits, depth.samples);
      RasterView view = source.view();
      view.resolution = kResolution;
      const fs::path file = path(std::string("page.") + traits.extension);
      const Status written = writeImageFile(file, traits.kind, view, kProperties);
      ASSERT_TRUE(written.ok()) << written.message();

      // The layout read back: what the kind keeps.
      uint16_t bits = depth.bits;
      if (bits == 16 && !traits.sixteenBits) bits = 8;
      if (bits == 1 && !traits.oneBit) bits = 8;
      DecodedImage back;
      const Status read = readImageFile(file, back);
      ASSERT_TRUE(read.ok()) << read.message();
      EXPECT_EQ(back.kind, traits.kind);
      const PixelLayout& layout = back.raster.layout;
      EXPECT_EQ(layout.width, size.width);
      EXPECT_EQ(layout.height, size.height);
      EXPECT_EQ(layout.bitsPerSample, bits);
      EXPECT_EQ(layout.samplesPerPixel, depth.samples);
      EXPECT_EQ(layout.bytesPerRow, (size_t(bits) * depth.samples * size.width + 7) / 8);
      const bool exact = traits.lossless && !(traits.kind == FileKind::Gif && depth.samples == 3);
      if (exact && bits == depth.bits) {
        EXPECT_EQ(back.raster.pixels, source.pixels);
      } else {
        expectClose(samples8(back.raster), samples8(source), exact ? 0 : 24, exact ? 0 : 4);
      }
      if (traits.resolution) {
        EXPECT_DOUBLE_EQ(back.raster.resolution.x, kResolution.x);
        EXPECT_DOUBLE_EQ(back.raster.resolution.y, kResolution.y);
      }
      if (traits.properties) {
        EXPECT_EQ(back.properties.orientation, kProperties.orientation);
        EXPECT_EQ(back.properties.make, kProperties.make);
        EXPECT_EQ(back.properties.model, kProperties.model);
      }

      // The same file as the format's own library sees it.
      const Facts facts = traits.facts(file);
      ASSERT_TRUE(facts.ok) << facts.error;
      EXPECT_EQ(facts.width, size.width);
      EXPECT_EQ(facts.height, size.height);
      if (traits.kind != FileKind::Gif) {
        EXPECT_EQ(facts.samplesPerPixel, depth.samples);
        EXPECT_EQ(facts.bitsPerSample, bits);
      }
      expectClose(facts.samples8, samples8(source), exact ? 0 : 24, exact ? 0 : 4);
      if (traits.resolution && traits.kind != FileKind::Jpeg2000) {
        EXPECT_NEAR(facts.xDpi, kResolution.x, 0.01);
        EXPECT_NEAR(facts.yDpi, kResolution.y, 0.01);
      }
      if (traits.properties) {
        EXPECT_EQ(facts.orientation, kProperties.orientation);
        EXPECT_EQ(facts.make, kProperties.make);
        EXPECT_EQ(facts.model, kProperties.model);
      }
    }
  }
}

TEST_P(ImageFiles, PaddedRowsAndStrayBitsDoNotReachTheFile) {
  const KindTraits& traits = GetParam();
  for (const Depth& depth : {Depth{1, 1}, Depth{8, 3}}) {
    SCOPED_TRACE(depth.bits);
    const Raster packed = makePattern(11, 5, depth.bits, depth.samples);
    // The same pixels in rows of 8 more bytes, padding and spare bits set.
    Raster padded = packed;
    padded.layout.bytesPerRow += 8;
    padded.pixels.assign(padded.layout.bytesPerRow * padded.layout.height, 0xA5);
    for (uint32_t y = 0; y < packed.layout.height; ++y) {
      std::memcpy(&padded.pixels[y * padded.layout.bytesPerRow], packed.row(y),
                  packed.layout.packedRowBytes());
      if (depth.bits == 1) padded.pixels[y * padded.layout.bytesPerRow + 1] |= 0x1F;
    }
    std::vector<uint8_t> fromPacked, fromPadded;
    ASSERT_TRUE(encodeImage(traits.kind, packed.view(), {}, fromPacked).ok());
    ASSERT_TRUE(encodeImage(traits.kind, padded.view(), {}, fromPadded).ok());
    EXPECT_EQ(fromPacked, fromPadded);
    DecodedImage back;
    ASSERT_TRUE(decodeImage(fromPadded, back).ok());
    if (traits.lossless && depth.samples == 1) {
      EXPECT_EQ(back.raster.pixels, packed.pixels);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ImageFiles, ::testing::ValuesIn(kKinds), kindName);

class ImageIO : public TempFolder {};

TEST_F(ImageIO, OneBitRowsArePackedFromTheHighBitWithSetBitsWhite) {
  // 10 pixels: white, black, then white from the 9th on.
  Raster source;
  source.layout = PixelLayout::packed(10, 1, 1, 1);
  source.pixels = {0b10000000, 0b11000000};
  for (FileKind kind : {FileKind::Tiff, FileKind::Png, FileKind::Bmp}) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(encodeImage(kind, source.view(), {}, bytes).ok());
    DecodedImage back;
    ASSERT_TRUE(decodeImage(bytes, back).ok());
    EXPECT_EQ(back.raster.layout.bytesPerRow, 2u);
    EXPECT_EQ(back.raster.pixels, source.pixels);
  }
  const fs::path file = path("bw.tif");
  ASSERT_TRUE(writeImageFile(file, FileKind::Tiff, source.view()).ok());
  const Facts facts = imageio_check::tiffFacts(file);
  ASSERT_TRUE(facts.ok);
  EXPECT_EQ(facts.samples8, (std::vector<uint8_t>{255, 0, 0, 0, 0, 0, 0, 0, 255, 255}));
}

TEST_F(ImageIO, InMemoryTiffIsReadByLibtiff) {
  const Raster source = makePattern(37, 9, 8, 3);
  RasterView view = source.view();
  view.resolution = {600, 600};
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(encodeImage(FileKind::Tiff, view, {}, bytes).ok());
  const Facts facts = imageio_check::tiffFactsInMemory(bytes);
  ASSERT_TRUE(facts.ok) << facts.error;
  EXPECT_EQ(facts.width, 37u);
  EXPECT_EQ(facts.height, 9u);
  EXPECT_EQ(facts.samplesPerPixel, 3);
  EXPECT_EQ(facts.bitsPerSample, 8);
  EXPECT_EQ(facts.xDpi, 600);
  EXPECT_EQ(facts.samples8, source.pixels);
  EXPECT_EQ(facts.orientation, 0);  // not stated
  EXPECT_EQ(facts.make, "");
}

TEST_F(ImageIO, JpegPagesDecodeAsLibjpegDecodesThem) {
  struct Case {
    int components, densityUnit, density;
    double dpi;
  };
  for (const Case& c :
       {Case{1, 1, 300, 300}, Case{3, 1, 200, 200}, Case{3, 2, 100, 254}, Case{1, 0, 1, 0}}) {
    SCOPED_TRACE(c.components);
    const Raster source = makePattern(64, 48, 8, uint16_t(c.components));
    const std::vector<uint8_t> page = jpegPage(source, 85, c.densityUnit, c.density);
    const fs::path file = path("page.jpg");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(page.data()), std::streamsize(page.size()));
    DecodedImage back;
    ASSERT_TRUE(decodeImage(page, back).ok());
    EXPECT_EQ(back.kind, FileKind::Jpeg);
    EXPECT_EQ(back.raster.layout.samplesPerPixel, c.components);
    EXPECT_EQ(back.raster.pixels, imageio_check::jpegFacts(file).samples8);
    EXPECT_DOUBLE_EQ(back.raster.resolution.x, c.dpi);
  }
}

TEST_F(ImageIO, ImageOverProviderIsRewoundReadWholeAndReleasedOnce) {
  // A raw file as the Image Capture module keeps one: a 112-byte header, then the rows. The
  // provider starts at the header; rewinding goes to the first row.
  constexpr size_t kHeader = 112;
  const Raster page = makePattern(29, 17, 8, 3);
  std::vector<uint8_t> rawFile(kHeader + page.pixels.size(), 0xEE);
  std::memcpy(rawFile.data() + kHeader, page.pixels.data(), page.pixels.size());
  size_t position = 0;
  int rewinds = 0, releases = 0;
  auto provider = std::make_shared<SequentialDataProvider>(SequentialDataProvider::Callbacks{
      [&](uint8_t* buffer, size_t count) {
        // Hands out at most 50 bytes a call, as a stream may.
        const size_t n = std::min({count, rawFile.size() - position, size_t(50)});
        std::memcpy(buffer, rawFile.data() + position, n);
        position += n;
        return n;
      },
      [&] {
        position = kHeader;
        ++rewinds;
      },
      [&] { ++releases; }});
  {
    const BitmapImage image(page.layout, {150, 150}, provider);
    provider.reset();
    for (FileKind kind : {FileKind::Tiff, FileKind::Png}) {
      ImageDestination destination(path("scan.out"), kind);
      ASSERT_TRUE(destination.addImage(image, {3, "", ""}).ok());
      const Status finalized = destination.finalize();
      ASSERT_TRUE(finalized.ok()) << finalized.message();
      DecodedImage back;
      ASSERT_TRUE(readImageFile(path("scan.out"), back).ok());
      EXPECT_EQ(back.raster.pixels, page.pixels);
      EXPECT_EQ(back.properties.orientation, 3);
      EXPECT_EQ(back.raster.resolution.x, 150);
    }
    EXPECT_EQ(rewinds, 2);
    EXPECT_EQ(releases, 0);
  }
  EXPECT_EQ(releases, 1);
}

TEST_F(ImageIO, ProviderThatRunsShortLeavesNoFileAndKeepsTheOldOne) {
  const Raster page = makePattern(20, 10, 8, 1);
  size_t position = 0;
  auto provider = std::make_shared<SequentialDataProvider>(SequentialDataProvider::Callbacks{
      [&](uint8_t* buffer, size_t count) {
        const size_t n = std::min(count, page.pixels.size() / 2 - position);  // half the page
        std::memcpy(buffer, page.pixels.data() + position, n);
        position += n;
        return n;
      },
      [&] { position = 0; },
      {}});
  const fs::path file = path("doc.jpg");
  std::ofstream(file) << "earlier document";
  for (FileKind kind : {FileKind::Tiff, FileKind::Jpeg, FileKind::Png, FileKind::Gif,
                        FileKind::Jpeg2000, FileKind::Bmp}) {
    ImageDestination destination(file, kind);
    ASSERT_TRUE(destination.addImage(BitmapImage(page.layout, {}, provider)).ok());
    const Status finalized = destination.finalize();
    EXPECT_FALSE(finalized.ok());
    EXPECT_NE(finalized.message().find("row 6 of 10"), std::string::npos) << finalized.message();
    EXPECT_EQ(readFile(file), "earlier document");
    EXPECT_EQ(filesIn(folder()), 1u) << "a temporary file was left behind";
  }
}

TEST_F(ImageIO, DestinationTakesOneImageAndStatesEveryOrientation) {
  const Raster page = makePattern(8, 4, 8, 1);
  for (FileKind kind : {FileKind::Tiff, FileKind::Jpeg, FileKind::Png}) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
      const fs::path file = path("o." + std::string(preferredExtension(kind)));
      ImageDestination destination(file, kind);
      ASSERT_TRUE(destination.addImage(page.view(), {orientation, "", ""}).ok());
      EXPECT_FALSE(destination.addImage(page.view()).ok());
      ASSERT_TRUE(destination.finalize().ok());
      EXPECT_FALSE(destination.finalize().ok());
      const Facts facts = kind == FileKind::Tiff  ? imageio_check::tiffFacts(file)
                          : kind == FileKind::Png ? imageio_check::pngFacts(file)
                                                  : imageio_check::jpegFacts(file);
      EXPECT_EQ(facts.orientation, orientation);
    }
  }
  ImageDestination empty(path("empty.tif"), FileKind::Tiff);
  EXPECT_FALSE(empty.finalize().ok());
  EXPECT_FALSE(fs::exists(path("empty.tif")));
  ImageDestination wrong(path("wrong.tif"), FileKind::Tiff);
  EXPECT_FALSE(wrong.addImage(page.view(), {9, "", ""}).ok());
}

TEST_F(ImageIO, BadLayoutsAndFoldersAreRefusedWithAReason) {
  const Raster page = makePattern(8, 4, 8, 1);
  struct Case {
    PixelLayout layout;
    const uint8_t* pixels;
  };
  const Case cases[] = {
      {PixelLayout::packed(0, 4, 8, 1), page.pixels.data()},
      {PixelLayout::packed(8, 0, 8, 1), page.pixels.data()},
      {PixelLayout::packed(8, 4, 4, 1), page.pixels.data()},
      {PixelLayout::packed(8, 4, 8, 2), page.pixels.data()},
      {PixelLayout::packed(8, 4, 1, 3), page.pixels.data()},
      {{8, 4, 8, 3, 20}, page.pixels.data()},
      {PixelLayout::packed(8, 4, 8, 1), nullptr},
  };
  for (const Case& c : cases) {
    const Status s =
        writeImageFile(path("bad.tif"), FileKind::Tiff, RasterView{c.layout, {}, c.pixels});
    EXPECT_FALSE(s.ok());
    EXPECT_FALSE(s.message().empty());
  }
  EXPECT_FALSE(fs::exists(path("bad.tif")));
  const Status noFolder = writeImageFile(path("missing/page.tif"), FileKind::Tiff, page.view());
  EXPECT_FALSE(noFolder.ok());
  EXPECT_NE(noFolder.message().find("missing"), std::string::npos);
}

TEST_F(ImageIO, MakeAndModelGoIntoAJpegWithoutReEncoding) {
  const Raster source = makePattern(40, 24, 8, 3);
  const std::vector<uint8_t> page = jpegPage(source, 80, 1, 300);
  const fs::path file = path("scan.jpg");
  writeBytes(file, page);
  ASSERT_TRUE(setMakeAndModel(file, "Ferrolite", "FS-1200").ok());
  const std::vector<uint8_t> changed = imageio_check::readBytes(file);
  EXPECT_EQ(scanData(changed), scanData(page));
  EXPECT_EQ(changed[2], 0xFF);
  EXPECT_EQ(changed[3], 0xE0) << "JFIF stays the first segment";
  Facts facts = imageio_check::jpegFacts(file);
  ASSERT_TRUE(facts.ok);
  EXPECT_EQ(facts.make, "Ferrolite");
  EXPECT_EQ(facts.model, "FS-1200");
  EXPECT_EQ(facts.xDpi, 300);

  // A second call replaces the entries and keeps the others (here the orientation).
  ASSERT_TRUE(writeImageFile(file, FileKind::Jpeg, source.view(), {8, "Old", "Older"}).ok());
  const std::vector<uint8_t> before = imageio_check::readBytes(file);
  ASSERT_TRUE(setMakeAndModel(file, "Ferrolite", "FS-1200").ok());
  const std::vector<uint8_t> after = imageio_check::readBytes(file);
  EXPECT_EQ(scanData(after), scanData(before));
  EXPECT_EQ(countSegments(after, 0xE1), 1);
  facts = imageio_check::jpegFacts(file);
  EXPECT_EQ(facts.orientation, 8);
  EXPECT_EQ(facts.make, "Ferrolite");
  EXPECT_EQ(facts.model, "FS-1200");
}

TEST_F(ImageIO, MakeAndModelGoIntoTiffAndPngKeepingPixelsAndResolution) {
  const Raster source = makePattern(33, 5, 16, 3);
  RasterView view = source.view();
  view.resolution = {400, 400};
  for (FileKind kind : {FileKind::Tiff, FileKind::Png}) {
    const fs::path file = path("doc." + std::string(preferredExtension(kind)));
    ASSERT_TRUE(writeImageFile(file, kind, view, {2, "", ""}).ok());
    const Status s = setMakeAndModel(file, "Ferrolite", "FS-1200");
    ASSERT_TRUE(s.ok()) << s.message();
    const Facts facts =
        kind == FileKind::Tiff ? imageio_check::tiffFacts(file) : imageio_check::pngFacts(file);
    ASSERT_TRUE(facts.ok) << facts.error;
    EXPECT_EQ(facts.make, "Ferrolite");
    EXPECT_EQ(facts.model, "FS-1200");
    EXPECT_EQ(facts.orientation, 2);
    EXPECT_NEAR(facts.xDpi, 400, 0.01);
    DecodedImage back;
    ASSERT_TRUE(readImageFile(file, back).ok());
    EXPECT_EQ(back.raster.pixels, source.pixels);
  }
}

TEST_F(ImageIO, MakeAndModelAreRefusedWhereTheFormatHasNoPlace) {
  const Raster source = makePattern(6, 6, 8, 1);
  for (FileKind kind : {FileKind::Gif, FileKind::Bmp, FileKind::Jpeg2000}) {
    const fs::path file = path("doc." + std::string(preferredExtension(kind)));
    ASSERT_TRUE(writeImageFile(file, kind, source.view()).ok());
    const std::vector<uint8_t> before = imageio_check::readBytes(file);
    EXPECT_FALSE(setMakeAndModel(file, "Ferrolite", "FS-1200").ok());
    EXPECT_EQ(imageio_check::readBytes(file), before);
  }
  EXPECT_FALSE(setMakeAndModel(path("absent.jpg"), "Ferrolite", "FS-1200").ok());
}

TEST_F(ImageIO, TypeIdentifiersAndExtensions) {
  for (FileKind kind : {FileKind::Tiff, FileKind::Jpeg, FileKind::Png, FileKind::Gif,
                        FileKind::Jpeg2000, FileKind::Bmp}) {
    EXPECT_EQ(fileKindForTypeIdentifier(typeIdentifier(kind)), kind);
  }
  EXPECT_EQ(typeIdentifier(FileKind::Tiff), "public.tiff");
  EXPECT_EQ(preferredExtension(FileKind::Jpeg), "jpeg");
  EXPECT_EQ(fileKindForTypeIdentifier("com.apple.ica.raw"), std::nullopt);
}

}  // namespace
