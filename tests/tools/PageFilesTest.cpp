// The client's page files written as the page's bytes arrive: whatever the blocks and whether
// the height is known at the start or only at the end, the file is the one the whole page makes;
// a page that does not match what it brought, or is abandoned, leaves no file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TestFolder.h"
#include "tools/PageFiles.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using vtclient::PageFormat;
using vtclient::PageImage;
using vtclient::PageLayout;
using vtclient::PageWriter;

constexpr uint32_t kHeight = 23;

// Pixel shapes with padding at the rows' ends where the driver may leave some.
struct Shape {
  const char* name;
  uint32_t bitsPerPixel;
  uint32_t width;
  uint32_t padding;  // bytes after a row's pixels
};
const Shape kShapes[] = {
    {"lineart", 1, 37, 3}, {"grey", 8, 33, 0},     {"grey16", 16, 20, 2},
    {"colour", 24, 17, 1}, {"colour48", 48, 9, 0},
};
struct Format {
  const char* name;
  PageFormat format;
};
const Format kFormats[] = {
    {"pnm", PageFormat::Pnm}, {"tiff", PageFormat::Tiff}, {"png", PageFormat::Png}};

// A page of varied bytes (padding included, which no file may show).
PageImage MakePage(const Shape& s, uint32_t height = kHeight) {
  PageImage page;
  page.width = s.width;
  page.height = height;
  page.bitsPerPixel = s.bitsPerPixel;
  page.bytesPerLine = (s.width * s.bitsPerPixel + 7) / 8 + s.padding;
  page.resolution = 300;
  page.data.resize(size_t{page.bytesPerLine} * height);
  uint32_t x = 12345;
  for (uint8_t& b : page.data) {
    x = x * 1103515245u + 12345u;
    b = uint8_t(x >> 16);
  }
  return page;
}

class PageFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dir_ = testsupport::freshTestFolder("tools-page-files"); }
  fs::path Path(const std::string& name) { return dir_ / name; }
  // The page streamed in blocks of `block` bytes, its height given at the start or at the end.
  bool Stream(const PageImage& page, PageFormat format, const fs::path& path, size_t block,
              bool heightAtStart, std::string* error) {
    PageWriter writer(format, path.string());
    PageLayout start = page.layout();
    if (!heightAtStart) start.height = 0;
    if (!writer.Start(start, error)) return false;
    for (size_t at = 0; at < page.data.size(); at += block) {
      if (!writer.Write(page.data.data() + at, std::min(block, page.data.size() - at), error))
        return false;
    }
    EXPECT_EQ(writer.bytesReceived(), page.data.size());
    return writer.Finish(page.layout(), error);
  }
  inline static fs::path dir_;
};

// The whole page's PNM holds the header and each row's pixels (16-bit samples big-endian),
// without the rows' padding: the reference the streamed files are held to.
TEST_F(PageFiles, AWholePagesPnmHoldsItsRows) {
  for (const Shape& s : kShapes) {
    SCOPED_TRACE(s.name);
    const PageImage page = MakePage(s);
    const fs::path path = Path(std::string("whole-") + s.name + ".pnm");
    std::string error;
    ASSERT_TRUE(vtclient::WritePage(page, PageFormat::Pnm, path.string(), &error)) << error;
    const char* magic = s.bitsPerPixel == 1 ? "P4" : s.bitsPerPixel >= 24 ? "P6" : "P5";
    std::string expected =
        std::string(magic) + "\n" + std::to_string(s.width) + " " + std::to_string(kHeight) + "\n";
    const bool sixteen = s.bitsPerPixel == 16 || s.bitsPerPixel == 48;
    if (s.bitsPerPixel != 1) expected += sixteen ? "65535\n" : "255\n";
    const uint32_t pixelBytes = page.bytesPerLine - s.padding;
    for (uint32_t y = 0; y < kHeight; ++y) {
      const uint8_t* row = page.data.data() + size_t{y} * page.bytesPerLine;
      for (uint32_t i = 0; i < pixelBytes; ++i)
        expected += char(sixteen ? row[i ^ 1] : row[i]);  // host order is little-endian here
    }
    EXPECT_TRUE(ReadFile(path) == expected);
  }
}

// Every format and depth, in blocks that split rows anywhere, of a row and a half, and whole,
// with the height known at the start or only at the end: the whole page's file, byte for byte.
TEST_F(PageFiles, StreamedPagesAreTheWholePagesFiles) {
  for (const Format& f : kFormats) {
    for (const Shape& s : kShapes) {
      const PageImage page = MakePage(s);
      const std::string name = std::string(s.name) + "." + f.name;
      std::string error;
      ASSERT_TRUE(vtclient::WritePage(page, f.format, Path("whole-" + name).string(), &error))
          << name << ": " << error;
      const std::string whole = ReadFile(Path("whole-" + name));
      ASSERT_FALSE(whole.empty()) << name;
      for (size_t block :
           {size_t{1}, size_t{7}, size_t{page.bytesPerLine} * 3 / 2, page.data.size()}) {
        for (bool heightAtStart : {true, false}) {
          SCOPED_TRACE(name + ", blocks of " + std::to_string(block) +
                       (heightAtStart ? ", height at the start" : ", height at the end"));
          const fs::path path = Path("streamed-" + name);
          ASSERT_TRUE(Stream(page, f.format, path, block, heightAtStart, &error)) << error;
          EXPECT_TRUE(ReadFile(path) == whole);
        }
      }
    }
  }
}

// More bytes than the page's height: a known height writes its rows only, and a height that
// comes at the end takes the rows it names; either way the file is that of the page's rows.
TEST_F(PageFiles, BytesPastThePagesHeightAreLeftOut) {
  const Shape& grey = kShapes[1];
  const PageImage page = MakePage(grey, kHeight + 5);
  PageImage cut = page;
  cut.height = kHeight;
  cut.data.resize(size_t{cut.bytesPerLine} * kHeight);
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.name);
    std::string error;
    ASSERT_TRUE(vtclient::WritePage(cut, f.format, Path("cut").string(), &error)) << error;
    for (bool heightAtStart : {true, false}) {
      PageWriter writer(f.format, Path("longer").string());
      ASSERT_TRUE(writer.Start({grey.width, heightAtStart ? kHeight : 0, page.bytesPerLine,
                                grey.bitsPerPixel, page.resolution},
                               &error));
      ASSERT_TRUE(writer.Write(page.data.data(), page.data.size(), &error)) << error;
      ASSERT_TRUE(writer.Finish(cut.layout(), &error)) << error;
      EXPECT_TRUE(ReadFile(Path("longer")) == ReadFile(Path("cut"))) << heightAtStart;
    }
  }
}

// A page that ends unlike what it started as or brought, or that is abandoned midway, leaves
// no file under its name; a page that never brought a byte never touched the file there.
TEST_F(PageFiles, APageThatDoesNotEndWellLeavesNoFile) {
  const Shape& colour = kShapes[3];
  const PageImage page = MakePage(colour);
  const PageLayout layout = page.layout();
  struct Ending {
    const char* name;
    PageLayout start, final;
    size_t bytes;   // of the page's data given
    bool finished;  // Finish is called (else the writer is dropped)
  };
  PageLayout unknown = layout, wider = layout, taller = layout, shorter = layout;
  unknown.height = 0;
  wider.width += 1;
  wider.bytesPerLine += 3;
  taller.height += 1;
  shorter.height -= 1;
  const Ending endings[] = {
      {"rows missing", layout, layout, page.data.size() - 1, true},
      {"rows missing, height at the end", unknown, layout, page.data.size() / 2, true},
      {"another height than it started with", layout, taller, page.data.size(), true},
      {"a shorter height than it started with", layout, shorter, page.data.size(), true},
      {"another width", layout, wider, page.data.size(), true},
      {"another width, height at the end", unknown, wider, page.data.size(), true},
      {"no height at all", unknown, unknown, page.data.size(), true},
      {"abandoned", layout, layout, page.data.size() / 2, false},
      {"abandoned, height at the end", unknown, layout, page.data.size() / 2, false},
  };
  for (const Format& f : kFormats) {
    for (const Ending& e : endings) {
      SCOPED_TRACE(std::string(f.name) + ": " + e.name);
      const fs::path path = Path(std::string("bad.") + f.name);
      std::error_code ec;
      fs::remove(path, ec);
      std::string error;
      {
        PageWriter writer(f.format, path.string());
        ASSERT_TRUE(writer.Start(e.start, &error)) << error;
        ASSERT_TRUE(writer.Write(page.data.data(), e.bytes, &error)) << error;
        if (e.finished) {
          EXPECT_FALSE(writer.Finish(e.final, &error));
          EXPECT_EQ(error, "the page's size does not match its data");
        }
      }
      EXPECT_FALSE(fs::exists(path));
    }
    // A file that is there stays as it was when the page brings nothing.
    const fs::path kept = Path(std::string("kept.") + f.name);
    std::ofstream(kept) << "an earlier page";
    {
      PageWriter writer(f.format, kept.string());
      std::string error;
      ASSERT_TRUE(writer.Start(layout, &error)) << error;
    }
    EXPECT_EQ(ReadFile(kept), "an earlier page");
  }
  // Nothing is left in the folder but the pages and the files kept: no temporary rows.
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_EQ(entry.path().filename().string().rfind(".vantrel-scan-", 0), std::string::npos)
        << entry.path();
}

// Layouts no file takes are refused before anything is written.
TEST_F(PageFiles, LayoutsNoFileTakesAreRefused) {
  struct Refused {
    const char* name;
    PageFormat format;
    const char* path;
    PageLayout layout;
    const char* error;
  };
  const Refused cases[] = {
      {"12 bits", PageFormat::Pnm, "x.pgm", {10, 5, 15, 12, 300}, "no image file takes 12"},
      {"no width", PageFormat::Tiff, "x.tif", {0, 5, 10, 8, 300}, "does not match"},
      {"rows shorter than their pixels",
       PageFormat::Png,
       "x.png",
       {10, 5, 9, 8, 300},
       "does not match"},
      {"TIFF to standard output", PageFormat::Tiff, "-", {10, 5, 10, 8, 300}, "only PNM"},
      {"PNG to standard output", PageFormat::Png, "-", {10, 5, 10, 8, 300}, "only PNM"},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.path == std::string("-") ? c.path : Path(c.path).string();
    PageWriter writer(c.format, path);
    std::string error;
    EXPECT_FALSE(writer.Start(c.layout, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    if (path != "-") {
      EXPECT_FALSE(fs::exists(path));
    }
  }
}

}  // namespace
