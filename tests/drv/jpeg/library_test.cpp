// The image library's start and end, the outside decoder library it loads from the current
// folder, and the driver's adapter CLumetra with its log lines.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "TestFolder.h"
#include "TestLog.h"
#include "drv/jpeg/CLumetra.h"
#include "drv/jpeg/Interface.h"
#include "drv/jpeg/JPGCrop.h"
#include "drv/jpeg/JPGJpegLib.h"
#include "drv/platform/DbgLog.h"
#include "tests/drv/jpeg/croputil.h"

namespace fs = std::filesystem;

namespace {

fs::path freshFolder(const std::string& name) { return testsupport::freshTestFolder(name); }

// The current folder for the scope of a test.
struct InFolder {
  explicit InFolder(const fs::path& dir) : saved(fs::current_path()) { fs::current_path(dir); }
  ~InFolder() { fs::current_path(saved); }
  fs::path saved;
};

// Whether the process has the file mapped (a released library is unmapped).
bool mapped(const fs::path& file) {
  std::ifstream maps("/proc/self/maps");
  std::stringstream s;
  s << maps.rdbuf();
  return s.str().find(fs::canonical(file).string()) != std::string::npos;
}

bool decodesSmallJpeg() {
  const oracle::Picture pic = oracle::makePicture(40, 24, 3, 1);
  ct::Bytes jpeg = oracle::compress(pic, {});
  NIDATA ni;
  memset(&ni, 0, sizeof ni);
  void* out = nullptr;
  uint64_t size = jpeg.size();
  long status = 1;
  const long msg = JpegDecoder(jpeg.data(), &out, &ni, &size, &status);
  FreeMemory(out);
  return msg == 0 && status == 0 && ni.InImage.Line == 24;
}

TEST(OutsideDecoder, LoadedFromTheCurrentFolderAndReleasedAtTheLastEnd) {
  const fs::path dir = freshFolder("krcocoa");
  fs::copy_file(KRCOCOA_PATH, dir / "KRCocoa.so");
  InFolder in(dir);
  ASSERT_EQ(InitializeLib(), 0);
  EXPECT_TRUE(jpgLMKRCocoaBound());
  EXPECT_TRUE(mapped(dir / "KRCocoa.so"));
  ASSERT_EQ(InitializeLib(), 0);
  EXPECT_EQ(lumetra::StartCount(), 2);
  EXPECT_EQ(TerminateLib(), 0);
  EXPECT_TRUE(jpgLMKRCocoaBound());
  EXPECT_TRUE(decodesSmallJpeg());  // decoded by the library's own decoder all the same
  EXPECT_EQ(TerminateLib(), 0);
  EXPECT_FALSE(jpgLMKRCocoaBound());
  EXPECT_FALSE(mapped(dir / "KRCocoa.so"));
  EXPECT_EQ(lumetra::StartCount(), 0);
  EXPECT_EQ(TerminateLib(), 0);  // one end too many changes nothing
  EXPECT_EQ(lumetra::StartCount(), 0);
}

TEST(OutsideDecoder, NotLookedForOutsideTheCurrentFolder) {
  // The library exists, but neither in the current folder nor by name on any search path.
  const fs::path dir = freshFolder("krcocoa-empty");
  InFolder in(dir);
  ASSERT_EQ(InitializeLib(), 0);
  EXPECT_FALSE(jpgLMKRCocoaBound());
  EXPECT_TRUE(decodesSmallJpeg());
  EXPECT_EQ(TerminateLib(), 0);
}

TEST(OutsideDecoder, WithoutItsDecoderEntryItIsLetGo) {
  const fs::path dir = freshFolder("krcocoa-nodecoder");
  fs::copy_file(KRCOCOA_NO_DECODER_PATH, dir / "KRCocoa.so");
  InFolder in(dir);
  ASSERT_EQ(InitializeLib(), 0);
  EXPECT_FALSE(jpgLMKRCocoaBound());
  EXPECT_FALSE(mapped(dir / "KRCocoa.so"));
  EXPECT_TRUE(decodesSmallJpeg());
  EXPECT_EQ(TerminateLib(), 0);
}

TEST(Library, NestedStartsKeepTheStateTheLastEndClearsIt) {
  const fs::path logDir = freshFolder("lmlog");
  SetDebugMode(2, logDir.c_str());
  ASSERT_EQ(InitializeLib(), 0);
  EXPECT_EQ(LMGetDebugLevel(), 0u);  // the log stays off until the level is handed over
  uint8_t crop = 0;
  uint32_t codec = 0;
  int64_t st = 0;
  ASSERT_EQ(jpgLMAssignedImageId(&crop, &st), 0);
  ASSERT_EQ(jpgAssignImageId(&codec), 1);
  ASSERT_EQ(InitializeLib(), 0);
  SetDebugMode(1, logDir.c_str());  // every start turns the log off again
  EXPECT_EQ(jpgLMIdsInUse(), 1);
  EXPECT_EQ(jpgIdsInUse(), 1);
  EXPECT_EQ(TerminateLib(), 0);
  EXPECT_EQ(jpgLMIdsInUse(), 1);
  EXPECT_EQ(TerminateLib(), 0);
  EXPECT_EQ(jpgLMIdsInUse(), 0);
  EXPECT_EQ(jpgIdsInUse(), 0);
  const std::string log = testsupport::ReadFile(logDir / "LMJPGDebugLog.Log");
  EXPECT_NE(log.find("Out: TerminateLib, nLMInitializeCount = 1"), std::string::npos);
  EXPECT_NE(log.find("Reset the algorithms (JPG) state. nLMInitializeCount = 0"),
            std::string::npos);
}

TEST(Adapter, LogsEachCallAndPassesItOn) {
  const std::string root = testlog::Prepare("lumetra-adapter");
  InitializeDbg(nullptr);
  {
    CLumetra lumetra;
    ASSERT_TRUE(lumetra.Initialize());
    EXPECT_EQ(lumetra::StartCount(), 1);
    EXPECT_EQ(LMGetDebugLevel(), gdwDebugLevel);
    EXPECT_EQ(std::string(LMGetDebugPath()).back(), '/');
    long status = 7;
    EXPECT_EQ(lumetra.Lumetra_JpegCrop(nullptr, nullptr, nullptr, nullptr, &status, 0, nullptr), 0);
    EXPECT_EQ(status, 0);
    const oracle::Picture pic = oracle::makePicture(40, 24, 1, 1);
    ct::Bytes jpeg = oracle::compress(pic, {});
    NIDATA ni;
    memset(&ni, 0, sizeof ni);
    void* out = nullptr;
    uint64_t size = jpeg.size();
    EXPECT_EQ(lumetra.Lumetra_JpegDecoder(jpeg.data(), &out, &ni, &size, &status), 0);
    EXPECT_EQ(+ni.InImage.Pixel, 40u);
    EXPECT_EQ(lumetra.Lumetra_JFreeMemory(out), 0);
    // An explicit end, then the destructor: the library is ended once.
    ASSERT_EQ(InitializeLib(), 0);
    lumetra.Terminate();
    EXPECT_EQ(lumetra::StartCount(), 1);
  }
  EXPECT_EQ(lumetra::StartCount(), 1);
  TerminateLib();
  TerminateDbg();
  for (const char* line :
       {"*** Use Lumetra static library.", "=> Lumetra - JpegCrop", "<= Lumetra - JpegCrop",
        "=> Lumetra - JpegDecoder", "<= Lumetra - JpegDecoder", "=> Lumetra - FreeMemory",
        "<= Lumetra - FreeMemory"})
    EXPECT_TRUE(testlog::Contains(line)) << line;
}

TEST(Adapter, FailedStartIsReported) {
  testlog::Prepare("lumetra-fail");
  InitializeDbg(nullptr);
  lumetra::InjectInitializeFailure(-5);
  {
    CLumetra lumetra;
    EXPECT_FALSE(lumetra.Initialize());
  }
  lumetra::InjectInitializeFailure(0);
  EXPECT_EQ(lumetra::StartCount(), 0);
  TerminateDbg();
  EXPECT_TRUE(testlog::Contains("*** Lumetra initialize fail lRet = -5"));
}

}  // namespace
