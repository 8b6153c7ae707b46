#pragma once
// What the transfer tests share: the hosted source over the simulated scanner with small pages
// (an inch at 100 dpi), short polling, and a host loop that takes every image of a batch by
// one mechanism, checking the protocol on the way.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "OpenSupport.h"
#include "ds/scan/scanner/ScanTiming.h"
#include "include/vantrel/wire_bytes.h"
#include "platform/imageio/ImageIO.h"

namespace dstest {

enum class Mechanism { kNative, kMemory, kFile };

inline const char* Name(Mechanism m) {
  return m == Mechanism::kNative ? "native" : m == Mechanism::kMemory ? "memory" : "file";
}

// Threads of this process, from the system's list.
inline int ThreadCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

struct Image {
  twainhost::ImageInfo info;
  uint16_t transferResult = 0;
  uint16_t pendingCount = 0;            // MSG_ENDXFER's Count
  std::vector<uint8_t> rows;            // packed rows, top first
  std::vector<uint8_t> prepared;        // the source's image as DAT_IMAGEINFO left it for transfer
  imageio::ImageProperties properties;  // a file's or a native block's
};

class TransferTest : public OpenSourceTest {
 protected:
  static void SetUpTestSuite() {
    std::thread([] {}).join();  // a sanitizer's own thread starts before any count
  }
  void SetUp() override {
    OpenSourceTest::SetUp();
    savedTiming_ = ferrolite::scanTiming();
    ferrolite::ScanTiming fast = savedTiming_;
    fast.pagePoll = std::chrono::milliseconds(2);
    fast.barcodePoll = std::chrono::milliseconds(2);
    fast.nextPagePoll = std::chrono::milliseconds(1);
    fast.second = std::chrono::milliseconds(20);
    fast.aliveSeconds = 500;  // 10 s for a page
    fast.xferGoPause = std::chrono::milliseconds(1);
    ferrolite::setScanTiming(fast);
    scanner().LoadSheets(3);
    threadsBefore_ = ThreadCount();
  }
  void TearDown() override {
    if (gSource && gSource->mCurrentState > TWAIN_STATE_ENABLED) host.PendingXfers(MSG_RESET);
    if (gSource && gSource->mCurrentState == TWAIN_STATE_ENABLED) host.DisableDs();
    ferrolite::setScanTiming(savedTiming_);
    OpenSourceTest::TearDown();
    scanner().LoadSheets(3);
  }

  // Opens the source and negotiates a small page: grey (pixel type 1), colour (2) or
  // black-and-white (0), one- or two-sided, `inches` square at `dpi`.
  void OpenSmall(uint16_t pixelType = TWPT_GRAY, bool duplex = false, double inches = 1.0,
                 double dpi = 100) {
    Open();
    using twainhost::Container;
    ASSERT_TRUE(
        host.SetCapability(ICAP_PIXELTYPE, Container::OneValue(TWTY_UINT16, pixelType)).ok());
    ASSERT_TRUE(host.SetCapability(ICAP_XRESOLUTION, Container::OneFix32(dpi)).ok());
    ASSERT_TRUE(host.SetCapability(ICAP_YRESOLUTION, Container::OneFix32(dpi)).ok());
    ASSERT_TRUE(host.SetCapability(CAP_DUPLEXENABLED, Container::OneValue(TWTY_BOOL, duplex)).ok());
    ASSERT_TRUE(host.SetCapability(ICAP_FRAMES, Container::OneFrame(0, 0, inches, inches)).ok());
  }

  // Enables without the interface and takes every image by `m` until MSG_ENDXFER answers 0 (at
  // most `limit` images). File transfers go to "<dir>/page<n><extension>".
  std::vector<Image> Scan(Mechanism m, const std::string& extension = ".tif", size_t limit = 50) {
    std::vector<Image> images;
    const twainhost::Answer enabled = host.EnableDs(false);
    EXPECT_TRUE(enabled.ok()) << enabled.cc << host.DescribeJournal();
    if (!enabled.ok()) return images;
    EXPECT_EQ(gSource->mCurrentState, TWAIN_STATE_XFERREADY);
    const auto messages = Messages(1);
    EXPECT_EQ(messages.size(), 1u);
    if (!messages.empty()) {
      EXPECT_EQ(messages[0].message, MSG_XFERREADY);
    }
    return TakeImages(m, extension, limit);
  }

  std::vector<Image> TakeImages(Mechanism m, const std::string& extension = ".tif",
                                size_t limit = 50) {
    std::vector<Image> images;
    while (gSource->mCurrentState == TWAIN_STATE_XFERREADY && images.size() < limit) {
      Image image;
      auto info = host.GetImageInfo();
      EXPECT_TRUE(info.ok());
      image.info = info.value;
      const ferrolite::XferImageInfo& prepared = gSource->batch.xferImageInfo;
      if (gSource->imageInfoGo && gSource->batch.pXferBuffer != nullptr) {
        image.prepared.assign(
            gSource->batch.pXferBuffer,
            gSource->batch.pXferBuffer + size_t(prepared.dwBytesPerLine) * prepared.dwLength);
      }
      image.transferResult = Transfer(m, extension, images.size() + 1, &image);
      auto end = host.PendingXfers(MSG_ENDXFER);
      EXPECT_TRUE(end.ok());
      image.pendingCount = end.value;
      const bool done = image.transferResult != TWRC_XFERDONE || end.value == 0;
      images.push_back(std::move(image));
      if (done) break;
    }
    return images;
  }

  uint16_t Transfer(Mechanism m, const std::string& extension, size_t number, Image* image) {
    switch (m) {
      case Mechanism::kNative: {
        auto block = host.NativeXfer();
        if (block.rc == TWRC_XFERDONE) {
          imageio::DecodedImage decoded;
          EXPECT_TRUE(imageio::decodeImage(block.value, decoded).ok());
          image->rows = packed(decoded.raster);
          image->properties = decoded.properties;
        }
        return block.rc;
      }
      case Mechanism::kMemory: {
        uint32_t expectedOffset = 0;
        for (;;) {
          auto strip = host.MemXfer(memoryBuffer);
          if (strip.rc != TWRC_SUCCESS && strip.rc != TWRC_XFERDONE) return strip.rc;
          EXPECT_EQ(strip.value.yOffset, expectedOffset);
          expectedOffset += strip.value.rows;
          strips.push_back(strip.value.rows);
          image->rows.insert(image->rows.end(), strip.value.data.begin(), strip.value.data.end());
          if (strip.rc == TWRC_XFERDONE) return strip.rc;
        }
      }
      case Mechanism::kFile: {
        const std::filesystem::path file = root_ / ("page" + std::to_string(number) + extension);
        EXPECT_TRUE(host.SetupFile(MSG_SET, {file.string(), 0, 0}).ok());
        const twainhost::Answer answer = host.FileXfer();
        if (answer.rc == TWRC_XFERDONE) {
          imageio::DecodedImage decoded;
          EXPECT_TRUE(imageio::readImageFile(file, decoded).ok()) << file;
          image->rows = packed(decoded.raster);
          image->properties = decoded.properties;
        }
        return answer.rc;
      }
    }
    return TWRC_FAILURE;
  }

  // The rows without padding, as the memory transfer delivers them.
  static std::vector<uint8_t> packed(const imageio::Raster& raster) {
    const auto& l = raster.layout;
    const size_t rowBytes = l.packedRowBytes();
    std::vector<uint8_t> rows;
    for (uint32_t y = 0; y < l.height; ++y) {
      const uint8_t* row = raster.row(y);
      rows.insert(rows.end(), row, row + rowBytes);
    }
    return rows;
  }

  uint32_t memoryBuffer = 100000;
  std::vector<uint32_t> strips;  // rows of every memory strip
  int threadsBefore_ = 0;
  ferrolite::ScanTiming savedTiming_;
};

// The window the simulated scanner received, in the fields the scan parameter fills.
struct Window {
  uint32_t left, top, width, length;  // 1/300 inch
  uint16_t xRes, yRes;
  uint32_t pixels, lines, modeBits;
  uint16_t method;
  uint8_t dataKind;
  uint8_t feedChecks;  // byte 62: multi-feed detection and its stop style
};

inline std::vector<Window> Windows(const sim::SimScanner& scanner) {
  std::vector<Window> windows;
  for (const sim::Exchange& e : scanner.CommandLog()) {
    if (e.command != "SET WINDOW" || e.dataOut.size() < 63) continue;
    const uint8_t* w = e.dataOut.data();
    windows.push_back({wire::Get32(w + 7), wire::Get32(w + 11), wire::Get32(w + 15),
                       wire::Get32(w + 19), wire::Get16(w + 23), wire::Get16(w + 25),
                       wire::Get32(w + 27), wire::Get32(w + 31), wire::Get32(w + 39),
                       wire::Get16(w + 43), w[45], w[62]});
  }
  return windows;
}

}  // namespace dstest
