// The data source's scan thread and its main thread write and read image files at the same
// time: the layer keeps no state between calls that they could share.
#include <gtest/gtest.h>

#include <thread>

#include "platform/imageio/ImageIO.h"
#include "tests/platform/imageio/ImageIOTestSupport.h"

namespace {

using namespace imageio;
using namespace imageio_test;

class ImageIOThreads : public TempFolder {};

TEST_F(ImageIOThreads, FilesOfEveryKindWrittenAndReadInParallel) {
  constexpr FileKind kKinds[] = {FileKind::Tiff, FileKind::Jpeg,     FileKind::Png,
                                 FileKind::Gif,  FileKind::Jpeg2000, FileKind::Bmp};
  constexpr int kThreads = 4;
  constexpr int kRounds = 3;
  std::vector<int> failures(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const Raster page = makePattern(31 + t, 17, 8, 3);
      for (int round = 0; round < kRounds; ++round) {
        for (FileKind kind : kKinds) {
          // Every thread writes the same name too: each file appears whole.
          for (const std::string& name : {std::string("shared"), "own" + std::to_string(t)}) {
            const std::filesystem::path file =
                path(name + "." + std::string(preferredExtension(kind)));
            if (!writeImageFile(file, kind, page.view(), {1, "Ferrolite", "FS"}).ok()) {
              ++failures[t];
            }
            DecodedImage back;
            if (!readImageFile(file, back).ok() || back.raster.layout.samplesPerPixel != 3) {
              ++failures[t];
            }
          }
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
  EXPECT_EQ(filesIn(folder()), std::size(kKinds) * (kThreads + 1)) << "temporary files left";
}

}  // namespace
