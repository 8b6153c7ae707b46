// The scan engine's JPEG decode and encode threads use the image library at the same time, each
// with its own record: crop contexts and decoder ids are taken from shared tables.
#include <gtest/gtest.h>

#include <thread>

#include "drv/jpeg/JPGCrop.h"
#include "drv/jpeg/JPGJpegLib.h"
#include "tests/drv/jpeg/croputil.h"

namespace {

using ct::Bytes;

struct EncodeRun {
  std::vector<std::vector<Bytes>> pages;
  std::string failure;
};

// Three pages through a crop context, as the encode thread feeds them.
EncodeRun encodePages(bool compact, int width, int height, uint32_t seed) {
  EncodeRun run;
  ct::EncodeJob j;
  j.compact = compact;
  j.quality = 0x3A;
  j.dpi = 20;
  NIDATA ni = ct::jobRecord(j, width);
  for (int page = 1; page <= 3 && run.failure.empty(); ++page) {
    ni.InImage.ScanType = uint8_t(page % 2 ? 1 : 3);
    ni.InImage.CurPages = uint16_t(page);
    const oracle::Picture pic = oracle::makePicture(width, height, 3, seed + uint32_t(page));
    ct::PageResult r = ct::encodePage(ni, pic.pixels, height, seed * 13 + uint32_t(page));
    run.failure = r.failure;
    run.pages.push_back(std::move(r.strips));
  }
  return run;
}

// Three pages through JpegDecoder, strip by strip, as the decode thread reads them.
std::vector<Bytes> decodePages(const std::vector<Bytes>& jpegs) {
  std::vector<Bytes> out;
  NIDATA ni;
  memset(&ni, 0, sizeof ni);
  for (const Bytes& j : jpegs) {
    Bytes page;
    Bytes src = j;
    uint64_t size = src.size();
    for (uint16_t y = 0;;) {
      ni.OutImage.JPEGDecodePosY = y;
      ni.OutImage.JPEGDecodeLines = 32;
      void* strip = nullptr;
      long status = 0;
      if (JpegDecoder(src.data(), &strip, &ni, &size, &status) != 0) return {};
      const uint32_t lines = std::min<uint32_t>(32, ni.InImage.Line - y);
      page.insert(page.end(), static_cast<uint8_t*>(strip),
                  static_cast<uint8_t*>(strip) + size_t(lines) * ni.InImage.BytesPerLine);
      FreeMemory(strip);
      y = uint16_t(y + lines);
      if (y >= ni.InImage.Line) break;
    }
    out.push_back(std::move(page));
  }
  return out;
}

TEST(CropThreads, DecodeAndEncodeAtOnce) {
  std::vector<Bytes> jpegs;
  for (int i = 0; i < 3; ++i) {
    oracle::EncodeOptions opt;
    opt.h = opt.v = 2;
    opt.restartRows = 1;
    jpegs.push_back(oracle::compress(oracle::makePicture(88, 150 + 10 * i, 3, uint32_t(i)), opt));
  }
  // Alone first: what each thread must produce.
  const std::vector<Bytes> decoded = decodePages(jpegs);
  const EncodeRun shortAlone = encodePages(false, 64, 200, 1);
  const EncodeRun compactAlone = encodePages(true, 48, 700, 2);  // 35 inches: held as JPEG strips
  ASSERT_EQ(decoded.size(), 3u);
  ASSERT_EQ(shortAlone.failure, "");
  ASSERT_EQ(compactAlone.failure, "");

  std::vector<Bytes> decodedAtOnce;
  EncodeRun shortAtOnce, compactAtOnce;
  {
    std::thread decoder([&] { decodedAtOnce = decodePages(jpegs); });
    std::thread front([&] { shortAtOnce = encodePages(false, 64, 200, 1); });
    std::thread rear([&] { compactAtOnce = encodePages(true, 48, 700, 2); });
    decoder.join();
    front.join();
    rear.join();
  }
  EXPECT_TRUE(decodedAtOnce == decoded);
  EXPECT_EQ(shortAtOnce.failure, "");
  EXPECT_EQ(compactAtOnce.failure, "");
  EXPECT_TRUE(shortAtOnce.pages == shortAlone.pages);
  EXPECT_TRUE(compactAtOnce.pages == compactAlone.pages);
  EXPECT_EQ(jpgLMIdsInUse(), 0);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

}  // namespace
