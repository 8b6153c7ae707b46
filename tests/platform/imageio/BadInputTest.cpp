// Damaged, cut and hostile files give a failure with a reason, never a crash or a wild
// allocation (run under ASan).
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "platform/imageio/ImageIO.h"
#include "tests/platform/imageio/ImageIOTestSupport.h"
#include "tests/platform/imageio/LibraryCheck.h"

namespace {

using namespace imageio;
using namespace imageio_test;

constexpr FileKind kAllKinds[] = {FileKind::Tiff, FileKind::Jpeg,     FileKind::Png,
                                  FileKind::Gif,  FileKind::Jpeg2000, FileKind::Bmp};

std::vector<uint8_t> validFile(FileKind kind, uint16_t samples) {
  const Raster page = makePattern(23, 19, 8, samples);
  RasterView view = page.view();
  view.resolution = {200, 200};
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(encodeImage(kind, view, {1, "Make", "Model"}, bytes).ok());
  return bytes;
}

void putLittle32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(v >> (8 * i));
}
void putBig(std::vector<uint8_t>& bytes, size_t at, uint32_t v, int count) {
  for (int i = 0; i < count; ++i) bytes[at + i] = uint8_t(v >> (8 * (count - 1 - i)));
}

void expectRefused(std::span<const uint8_t> bytes) {
  DecodedImage out;
  const Status s = decodeImage(bytes, out);
  EXPECT_FALSE(s.ok());
  EXPECT_FALSE(s.message().empty());
  EXPECT_TRUE(out.raster.pixels.empty());
}

TEST(ImageIOBadInput, CutFilesAreRefused) {
  for (FileKind kind : kAllKinds) {
    SCOPED_TRACE(std::string(preferredExtension(kind)));
    const std::vector<uint8_t> bytes = validFile(kind, 3);
    for (size_t size : {size_t(0), size_t(2), size_t(8), size_t(16), size_t(40), bytes.size() / 2,
                        bytes.size() * 3 / 4}) {
      SCOPED_TRACE(size);
      expectRefused(std::span(bytes).first(size));
    }
  }
  const char text[] = "this is not a picture";
  expectRefused(std::span(reinterpret_cast<const uint8_t*>(text), sizeof text));
}

TEST(ImageIOBadInput, FlippedBytesNeverCrash) {
  std::mt19937 random(2024);
  for (FileKind kind : kAllKinds) {
    for (uint16_t samples : {uint16_t(1), uint16_t(3)}) {
      const std::vector<uint8_t> good = validFile(kind, samples);
      for (int variant = 0; variant < 150; ++variant) {
        std::vector<uint8_t> bytes = good;
        // Leave the signature, so the damage reaches the codec.
        const int flips = 1 + int(random() % 4);
        for (int i = 0; i < flips; ++i) {
          const size_t at = 12 + random() % (bytes.size() - 12);
          bytes[at] ^= uint8_t(1 + random() % 255);
        }
        DecodedImage out;
        const Status s = decodeImage(bytes, out);
        if (s.ok()) {
          const PixelLayout& l = out.raster.layout;
          EXPECT_TRUE(checkLayout(l).ok());
          EXPECT_EQ(out.raster.pixels.size(), l.bytesPerRow * l.height);
        } else {
          EXPECT_FALSE(s.message().empty());
        }
      }
    }
  }
}

TEST(ImageIOBadInput, HugeSizesAreRefusedBeforeAllocating) {
  // BMP: 100000 x 100000 pixels over a few bytes.
  std::vector<uint8_t> bmp = validFile(FileKind::Bmp, 3);
  putLittle32(bmp, 18, 100000);
  putLittle32(bmp, 22, 100000);
  expectRefused(bmp);

  // JPEG: 65000 x 65000 in the frame header.
  std::vector<uint8_t> jpeg = validFile(FileKind::Jpeg, 3);
  for (size_t i = 2; i + 8 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      putBig(jpeg, i + 5, 65000, 2);
      putBig(jpeg, i + 7, 65000, 2);
      break;
    }
  }
  expectRefused(jpeg);

  // GIF: a 65535 x 65535 screen.
  std::vector<uint8_t> gif = validFile(FileKind::Gif, 1);
  std::memset(&gif[6], 0xFF, 4);
  expectRefused(gif);

  // PNG: 60000 x 60000 in IHDR, with its CRC made right so that only the size is wrong.
  std::vector<uint8_t> png = validFile(FileKind::Png, 3);
  putBig(png, 16, 60000, 4);
  putBig(png, 20, 60000, 4);
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 12; i < 29; ++i) {
    crc ^= png[i];
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  crc ^= 0xFFFFFFFFu;
  putBig(png, 29, crc, 4);
  expectRefused(png);
}

// A few hundred bytes may not ask for more than a scanned page can be: a GIF screen of a
// gigabyte, or one wider than any sheet at the highest resolution, is refused before it is made.
TEST(ImageIOBadInput, PicturesLargerThanAnyPageAreRefused) {
  const std::vector<uint8_t> good = validFile(FileKind::Gif, 1);
  for (const auto& [width, height] :
       {std::pair{32768u, 32768u}, std::pair{15000u, 15000u}, std::pair{14400u, 20500u}}) {
    SCOPED_TRACE(testing::Message() << width << " x " << height);
    std::vector<uint8_t> gif = good;
    gif[6] = uint8_t(width), gif[7] = uint8_t(width >> 8);
    gif[8] = uint8_t(height), gif[9] = uint8_t(height >> 8);
    expectRefused(gif);
  }
}

class ImageIOBadFile : public TempFolder {};

TEST_F(ImageIOBadFile, DamagedFilesGetNoMakeAndModelAndStayAsTheyWere) {
  for (FileKind kind : {FileKind::Jpeg, FileKind::Tiff, FileKind::Png}) {
    std::vector<uint8_t> bytes = validFile(kind, 1);
    // A JPEG cut inside its header segments; the others a third of the way in.
    bytes.resize(kind == FileKind::Jpeg ? 30 : bytes.size() / 3);
    const std::filesystem::path file = path("cut." + std::string(preferredExtension(kind)));
    writeBytes(file, bytes);
    EXPECT_FALSE(setMakeAndModel(file, "Ferrolite", "FS-1200").ok());
    EXPECT_EQ(imageio_check::readBytes(file), bytes);
  }
  EXPECT_EQ(filesIn(folder()), 3u);
}

}  // namespace
