// The data source crops on its scan thread while its host thread takes the flatbed's further
// documents: the plug-in's shared state stays sound when entries run at once.
#include <thread>

#include "tests/plugins/Lumetra/LumetraFixture.h"

namespace plugtest {
namespace {

TEST_F(LumetraTest, EntriesRunAtOnceOnTwoThreads) {
  Page page(500, 600, 8);
  drawDocuments(page, 30,
                {{150, 160, 200, 220, 2}, {370, 180, 180, 240, -3}, {260, 450, 300, 180, 1}});
  NIDATA multi = recordFor(page, 100);
  multi.OutImage.AutoCrop = kLumetraCropOn | kLumetraCropMultiple;
  multi.OutImage.Rotate = 1;
  auto crops = [&](int rounds, std::vector<long>* statuses) {
    for (int i = 0; i < rounds; ++i) {
      Page p = page;
      NIDATA ni = multi;
      long status = -1;
      const Page out = produce("DeskewCrop", p, ni, &status);
      statuses->push_back(out.data.empty() ? -1 : status);
      void* next = nullptr;
      if (lm.process("GetMultipleImage")(nullptr, &next, &ni, nullptr, &status) == 0)
        lm.FreeMemory(next);
      NIDATA blank = recordFor(p, 100);
      lm.process("BlankPageDetection")(p.data.data(), nullptr, &blank, nullptr, &status);
    }
  };
  std::vector<long> a, b;
  std::thread other(crops, 4, &b);
  crops(4, &a);
  other.join();
  EXPECT_EQ(a, std::vector<long>(4, 2));
  EXPECT_EQ(b, std::vector<long>(4, 2));
}

}  // namespace
}  // namespace plugtest
