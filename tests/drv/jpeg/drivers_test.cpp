// Codec drivers, result words, channel order, table builders, allocator and the library's log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "TestFolder.h"
#include "drv/jpeg/JPGCodec.h"
#include "drv/jpeg/JPGJpeg.h"
#include "drv/jpeg/LMLib.h"
#include "tests/drv/jpeg/testutil.h"

namespace {

TEST(ResultWords, CodecCodesMapThroughOneTable) {
  struct Row {
    int code;
    int64_t msg, status;
  } const rows[] = {{1, 0, 0},          {0, 0, 0},          {5, 0, 0},
                    {-2, -4003, -1007}, {-3, -4001, -1012}, {-4, -4002, -1007},
                    {-6, -4005, -1015}, {-301, 0, -1007},   {-302, -4005, -1007},
                    {-1, -4000, -1007}, {-8, -4000, -1007}};
  for (const auto& r : rows) {
    const LMResult m = LMMapCodecCode(r.code);
    EXPECT_EQ(m.msg, r.msg) << r.code;
    EXPECT_EQ(m.status, r.status) << r.code;
  }
}

TEST(Drivers, QualityByteUnpacks) {
  struct Row {
    int32_t byte, quality, sampling;
    bool ok;
  } const rows[] = {{0x0F, 98, 32, true}, {0x00, 20, 32, true}, {0x1F, 98, 0, true},
                    {0x25, 46, 16, true}, {0x3A, 72, 48, true}, {0x4F, 98, -1, false}};
  for (const auto& r : rows) {
    int32_t q = 0, s = 0;
    EXPECT_EQ(jpgUnpackQuality(r.byte, &q, &s), r.ok) << r.byte;
    EXPECT_EQ(q, r.quality) << r.byte;
    EXPECT_EQ(s, r.sampling) << r.byte;
  }
}

TEST(Drivers, EncoderMakesAStreamAndChecksItsArguments) {
  const auto pic = oracle::makePicture(50, 40, 3, 2);
  uint8_t* out = nullptr;
  uint32_t size = 0;
  int64_t status = 99;
  EXPECT_EQ(
      jpgEncoder(pic.pixels.data(), &out, 0, 0x3A, 24, 1, 50, 40, 150, 300, 300, &size, &status),
      0);
  EXPECT_EQ(status, 0);
  ASSERT_NE(out, nullptr);
  ASSERT_GT(size, 0u);
  const auto dec = oracle::decompress(std::vector<uint8_t>(out, out + size));
  EXPECT_TRUE(dec.ok);
  EXPECT_EQ(dec.warnings, 0);
  FreeMemory(out);
  out = nullptr;

  struct Bad {
    int32_t quality, bits, seq, width, bpl;
    int64_t msg, status;
  } const bad[] = {
      {0x4F, 24, 1, 50, 150, -4003, -1007},  // sampling selector 4
      {0x3A, 24, 1, 50, 149, -4003, -1007},  // one byte short per line
      {0x3A, 24, 1, 0, 150, -4003, -1007},   // no width
      {0x3A, 16, 1, 50, 150, -4002, -1006},  // 16 bits per pixel
      {0x3A, 24, 6, 50, 150, -4002, -1006},  // channel order 6
  };
  for (const auto& b : bad) {
    status = 0;
    EXPECT_EQ(jpgEncoder(pic.pixels.data(), &out, 0, b.quality, b.bits, b.seq, b.width, 40, b.bpl,
                         300, 300, &size, &status),
              b.msg);
    EXPECT_EQ(status, b.status);
    EXPECT_EQ(out, nullptr);
  }
  status = 0;
  EXPECT_EQ(jpgEncoder(nullptr, &out, 0, 0x3A, 24, 1, 50, 40, 150, 300, 300, &size, &status),
            -4003);
  EXPECT_EQ(status, -1013);
  EXPECT_EQ(
      jpgEncoder(pic.pixels.data(), &out, 0, 0x3A, 24, 1, 50, 40, 150, 300, 300, &size, nullptr),
      -4003);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

struct DecodeCall {
  int64_t msg, status;
  int32_t bits, width, height, bpl;
  std::vector<uint8_t> pixels;
};

DecodeCall decodeCall(uint8_t* id, const std::vector<uint8_t>& s, int32_t posY, int32_t lines,
                      int32_t seq) {
  DecodeCall c{};
  uint8_t* img = nullptr;
  int32_t xr = 0, yr = 0;
  c.msg = jpgDecoder(id, s.data(), &img, uint32_t(s.size()), posY, lines, seq, &c.bits, &c.width,
                     &c.height, &c.bpl, &xr, &yr, &c.status);
  if (img) {
    const int32_t n = lines == 0 || lines >= c.height ? c.height : std::min(lines, c.height - posY);
    c.pixels.assign(img, img + size_t(c.bpl) * size_t(n));
    FreeMemory(img);
  }
  return c;
}

TEST(Drivers, DecoderStripsAndFreesItsId) {
  const auto pic = oracle::makePicture(40, 100, 3, 6);
  const auto s = oracle::compress(pic, {});
  uint8_t id = 0;
  // Whole picture at once: the id is freed.
  const auto whole = decodeCall(&id, s, 0, 0, 1);
  EXPECT_EQ(whole.msg, 0);
  EXPECT_EQ(whole.status, 0);
  EXPECT_EQ(whole.bits, 24);
  EXPECT_EQ(whole.bpl, 120);
  EXPECT_EQ(id, 0);
  EXPECT_EQ(jpgIdsInUse(), 0);

  // Strips of 32 lines keep the id until the last.
  std::vector<uint8_t> joined;
  for (int32_t y = 0; y < 100; y += 32) {
    const auto part = decodeCall(&id, s, y, 32, 1);
    ASSERT_EQ(part.msg, 0) << y;
    joined.insert(joined.end(), part.pixels.begin(), part.pixels.end());
    EXPECT_EQ(id != 0, y + 32 < 100) << y;
  }
  EXPECT_EQ(joined, whole.pixels);

  // 24 lines from line 32 is not a multiple of 16 and does not reach the end.
  ASSERT_EQ(decodeCall(&id, s, 0, 32, 1).msg, 0);
  const auto bad = decodeCall(&id, s, 32, 24, 1);
  EXPECT_EQ(bad.msg, -4003);
  EXPECT_EQ(bad.status, -1007);
  EXPECT_EQ(id, 0);
  // From line 96, 16 lines: the last four, and the id is freed.
  ASSERT_EQ(decodeCall(&id, s, 0, 96, 1).msg, 0);
  const auto tail = decodeCall(&id, s, 96, 16, 1);
  EXPECT_EQ(tail.msg, 0);
  EXPECT_EQ(tail.pixels.size(), size_t(4 * 120));
  EXPECT_TRUE(std::equal(tail.pixels.begin(), tail.pixels.end(), whole.pixels.end() - 4 * 120));
  EXPECT_EQ(id, 0);

  // Order 5: 32 bits per pixel.
  const auto wide = decodeCall(&id, s, 0, 0, 5);
  EXPECT_EQ(wide.bits, 32);
  EXPECT_EQ(wide.bpl, 160);
  // A continuation without an id is a calling-sequence error.
  const auto orphan = decodeCall(&id, s, 16, 16, 1);
  EXPECT_EQ(orphan.msg, -4005);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

TEST(Drivers, HeaderInfoAndReset) {
  const auto s = oracle::compress(oracle::makePicture(70, 30, 3, 1), {75, 2, 2, 0, 1, true});
  int32_t bpp, w, h, xr, yr, mcus, strips, smc, mw, mh;
  int64_t status = 5;
  EXPECT_EQ(jpgGetJFIFImageInfo(s.data(), uint32_t(s.size()), &bpp, &w, &h, &xr, &yr, &mcus,
                                &strips, &smc, &mw, &mh, &status),
            0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(bpp, 24);
  EXPECT_EQ(w, 70);
  EXPECT_EQ(h, 30);
  EXPECT_EQ(mw, 16);
  EXPECT_EQ(mh, 16);
  EXPECT_EQ(mcus, 5 * 2);
  EXPECT_EQ(smc, 5);  // one MCU row per interval
  EXPECT_EQ(jpgGetJFIFImageInfo(s.data(), 0, &bpp, &w, &h, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, &status),
            -4003);
  EXPECT_EQ(status, -1007);
  EXPECT_EQ(jpgGetJFIFImageInfo(nullptr, 9, &bpp, &w, &h, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, &status),
            -4003);
  EXPECT_EQ(status, -1013);

  uint8_t id = 0;
  ASSERT_EQ(decodeCall(&id, s, 0, 16, 1).msg, 0);
  ASSERT_NE(id, 0);
  jpgReset(&id, 0);
  EXPECT_EQ(id, 0);
  EXPECT_EQ(jpgIdsInUse(), 0);
  ASSERT_EQ(decodeCall(&id, s, 0, 16, 1).msg, 0);
  jpgReset(nullptr, 1);
  EXPECT_EQ(jpgIdsInUse(), 0);
}

TEST(CommonRoutines, ChannelSequences) {
  uint32_t o[4];
  ASSERT_EQ(jpgGetRGBChannelSequence(3, 4, o), 1);
  EXPECT_EQ(std::vector<uint32_t>(o, o + 4), (std::vector<uint32_t>{2, 1, 0, 3}));
  ASSERT_EQ(jpgGetRGBChannelSequence(4, 5, o), 1);
  EXPECT_EQ(std::vector<uint32_t>(o, o + 4), (std::vector<uint32_t>{1, 2, 3, 0}));
  ASSERT_EQ(jpgGetRGBChannelSequence(1, 3, o), 1);
  EXPECT_EQ(o[0], 0u);
  EXPECT_EQ(jpgGetRGBChannelSequence(2, 0, o), -2);
  EXPECT_EQ(jpgGetRGBChannelSequence(3, 6, o), -2);
  EXPECT_EQ(jpgGetRGBChannelSequence(3, 0, nullptr), -2);
  EXPECT_EQ(jpgIsBigEndian(), 0);
  const uint8_t b[] = {0x12, 0x34, 0x56, 0x78};
  uint32_t pos = 0;
  EXPECT_EQ(jpgGetWord(b, &pos), 0x1234);
  EXPECT_EQ(pos, 2u);
  pos = 0;
  EXPECT_EQ(jpgGetDWord(b, &pos), 0x12345678u);
}

TEST(TableBuilders, HuffmanCodesQuantMultipliersLeadingOnes) {
  JpgHuffTable t{};
  t.counts[0] = 1;
  t.counts[2] = 2;
  t.values[0] = 7;
  t.values[1] = 8;
  t.values[2] = 9;
  ASSERT_EQ(jpgBuildHuffTb(&t), 1);
  EXPECT_EQ(t.nSymbols, 3);
  EXPECT_EQ(t.code[0], 0b0);
  EXPECT_EQ(t.length[0], 1);
  EXPECT_EQ(t.code[1], 0b100);
  EXPECT_EQ(t.code[2], 0b101);
  EXPECT_EQ(t.length[2], 3);
  EXPECT_EQ(t.look8[0x00], 0);
  EXPECT_EQ(t.look8[0x80], 1);
  EXPECT_EQ(t.look8[0xA0], 2);
  EXPECT_EQ(t.look8[0xC0], 255);
  EXPECT_EQ(t.groupStart[1], 1);
  EXPECT_EQ(t.shortEnd, 3);

  JpgQuantTable q{};
  for (auto& v : q.q) v = 1;
  ASSERT_EQ(jpgBuildQuantTb(0, &q, 12), 1);
  EXPECT_EQ(q.mul[0], 4);  // (16384 + 2048) >> 12
  EXPECT_EQ(q.mul[1], 6);  // (22725 + 2048) >> 12
  EXPECT_EQ(jpgBuildQuantTb(0, nullptr, 12), -2);

  uint8_t z[256];
  ASSERT_EQ(jpgBuildZeroPositionTable(0, z), 1);
  EXPECT_EQ(z[0x00], 0);
  EXPECT_EQ(z[0x7F], 0);
  EXPECT_EQ(z[0x80], 1);
  EXPECT_EQ(z[0xC0], 2);
  EXPECT_EQ(z[0xFE], 7);
  EXPECT_EQ(z[0xFF], 255);
}

TEST(LibraryMemory, AllocateReusesAndZeroFills) {
  auto* p = static_cast<uint8_t*>(AllocateMemory(nullptr, 64, kLMZeroFill));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(p[i], 0);
  memset(p, 0xAB, 64);
  auto* same = static_cast<uint8_t*>(AllocateMemory(p, 32, kLMZeroFill));
  EXPECT_EQ(same, p);
  EXPECT_EQ(same[0], 0);
  auto* bigger = static_cast<uint8_t*>(AllocateMemory(same, 4096, kLMZeroFill));
  ASSERT_NE(bigger, nullptr);
  EXPECT_EQ(bigger[4095], 0);
  EXPECT_EQ(FreeMemory(bigger), 0);
  EXPECT_EQ(FreeMemory(nullptr), 0);
}

// The library makes the folder itself.
std::string tempDir() {
  const std::string d = testsupport::freshTestFolder("jpeglog").string();
  std::filesystem::remove(d);
  return d;
}

std::string slurp(const std::string& path) { return testsupport::ReadFile(path); }

TEST(LibraryLog, LevelsFilterLinesAndTheFolderGetsItsSlash) {
  const std::string dir = tempDir();
  ASSERT_EQ(SetDebugMode(2, dir.c_str()), 0);
  EXPECT_EQ(std::string(LMGetDebugPath()), dir + "/");
  for (uint32_t lv : {kLvEntry, kLvDriver, kLvRecord, kLvTables, kLvChannel})
    MDBG(lv, "", "", "line %x\n", lv);
  std::string log = slurp(dir + "/LMJPGDebugLog.Log");
  EXPECT_NE(log.find("Start time:\t"), std::string::npos);
  EXPECT_NE(log.find("line 80000001"), std::string::npos);
  EXPECT_NE(log.find("line 80000002"), std::string::npos);
  EXPECT_EQ(log.find("line 80000003"), std::string::npos);
  EXPECT_EQ(log.find("line 80000006"), std::string::npos);

  SetDebugMode(0x80000000u, dir.c_str());
  MDBG(kLvChannel, "", "prefix ", "all %d\n", 6);
  MDBG(3, "", "", "no flag %d\n", 3);
  log = slurp(dir + "/LMJPGDebugLog.Log");
  EXPECT_NE(log.find("prefix all 6"), std::string::npos);
  EXPECT_EQ(log.find("no flag"), std::string::npos);
  // A second name gets its own file; a name over 50 characters is dropped.
  MDBG(kLvEntry, "other.log", "", "x\n");
  EXPECT_NE(slurp(dir + "/other.log").find("x"), std::string::npos);
  MDBG(kLvEntry, std::string(51, 'n').c_str(), "", "x\n");
  EXPECT_TRUE(slurp(dir + "/" + std::string(51, 'n')).empty());

  // A log of more than 256 MiB is emptied by the first line of a process that writes to it.
  const std::string big = dir + "/big.log";
  ASSERT_EQ(truncate(big.c_str(), 0), -1);  // not there yet
  { std::ofstream(big) << "old"; }
  ASSERT_EQ(truncate(big.c_str(), 0x10000001), 0);
  MDBG(kLvEntry, "big.log", "", "fresh\n");
  const std::string fresh = slurp(big);
  EXPECT_EQ(fresh.rfind("Delete the previous log data.\n", 0), 0u);
  EXPECT_NE(fresh.find("fresh"), std::string::npos);
  EXPECT_LT(fresh.size(), 200u);

  SetDebugMode(0, "");
  EXPECT_EQ(std::string(LMGetDebugPath()), "./");
  MDBG(kLvEntry, "", "", "silent\n");
  EXPECT_EQ(slurp(dir + "/LMJPGDebugLog.Log").find("silent"), std::string::npos);
}

}  // namespace
