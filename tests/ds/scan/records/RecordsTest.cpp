// The data source's shared records: each is read back field by field from a byte-built image
// of the layout, so a field out of place shows as a wrong value, not only as a wrong size.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "ds/scan/records/ColorDropParam.h"
#include "ds/scan/records/ExtraParam.h"
#include "ds/scan/records/LongPageModels.h"
#include "ds/scan/records/NvmData.h"
#include "ds/scan/records/PaperTbl.h"
#include "ds/scan/records/ScanSetting.h"
#include "ds/scan/records/ScannerAbilityEx.h"
#include "ds/scan/records/ScannerInfo.h"
#include "ds/scan/records/XferImageInfo.h"

namespace ferrolite {
namespace {

// Little-endian writers into a record image.
class Image {
 public:
  explicit Image(std::size_t size) : bytes_(size, 0) {}
  Image& u8(std::size_t at, uint8_t v) {
    bytes_.at(at) = v;
    return *this;
  }
  Image& u16(std::size_t at, uint16_t v) { return put(at, v, 2); }
  Image& u32(std::size_t at, uint32_t v) { return put(at, v, 4); }
  Image& text(std::size_t at, const char* s) {
    std::memcpy(&bytes_.at(at), s, std::strlen(s));
    return *this;
  }
  template <typename Record>
  void into(Record& r) const {
    ASSERT_EQ(sizeof(Record), bytes_.size());
    std::memcpy(static_cast<void*>(&r), bytes_.data(), bytes_.size());
  }

 private:
  Image& put(std::size_t at, uint32_t v, int width) {
    for (int i = 0; i < width; ++i) bytes_.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
    return *this;
  }
  std::vector<uint8_t> bytes_;
};

TEST(ScanSettingRecord, NumbersSitWhereTheLayoutPutsThem) {
  // The string handles stay null in the image: a default record's texts are null too.
  ScanSetting s;
  Image(240)
      .u16(0, 0x41)          // wImageType
      .u32(12, 0xFFFFFFFB)   // iFBBrightness = -5
      .u16(62, 300)          // wColorRes
      .u8(72, 2)             // bScanSource
      .u16(104, 10)          // wXPos
      .u16(110, 4200)        // wLength
      .u32(116, 35400)       // dwLongLength
      .u16(122, 33)          // wLengthDetectionValue
      .u32(148, 0xFFFFFFFF)  // iImageCount = -1
      .u16(170, 0x145)       // wTabWindow
      .u32(192, 0xDDFF)      // dwSelectBarcode
      .u8(201, 1)            // bPowerOff
      .into(s);
  EXPECT_EQ(s.wImageType, 0x41);
  EXPECT_EQ(s.iFBBrightness, -5);
  EXPECT_EQ(s.wColorRes, 300);
  EXPECT_EQ(s.bScanSource, 2);
  EXPECT_EQ(s.wXPos, 10);
  EXPECT_EQ(s.wLength, 4200);
  EXPECT_EQ(s.dwLongLength, 35400u);
  EXPECT_EQ(s.wLengthDetectionValue, 33);
  EXPECT_EQ(s.iImageCount, -1);
  EXPECT_EQ(s.wTabWindow, 0x145);
  EXPECT_EQ(s.dwSelectBarcode, 0xDDFFu);
  EXPECT_EQ(s.bPowerOff, 1);
  EXPECT_TRUE(s.strProfile.isNull());
  EXPECT_EQ(s.strProfile.view(), "");
}

TEST(ScanSettingRecord, CopiesShareTextsAndReplacingOneLeavesTheOther) {
  ScanSetting owner;
  owner.strProfile = "Invoices";
  owner.strPrintCounter = "0001";
  ScanSetting jobCopy = owner;  // the scan layer's copy per job
  owner.strProfile = "Custom";
  EXPECT_EQ(jobCopy.strProfile.view(), "Invoices");
  EXPECT_EQ(owner.strProfile.view(), "Custom");
  jobCopy = ScanSetting{};
  EXPECT_EQ(owner.strPrintCounter.view(), "0001");
  owner.strAlarm = owner.strAlarm;  // self-assignment keeps the text
  owner.strPrintText = "A";
  owner.strPrintText = owner.strPrintText;
  EXPECT_EQ(owner.strPrintText.view(), "A");
}

TEST(ScanSettingRecord, CopiesOnSeveralThreadsKeepTheCountsRight) {
  ScanSetting owner;
  owner.strProfile = "Shared";
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&owner] {
      for (int i = 0; i < 2000; ++i) {
        ScanSetting copy = owner;
        ASSERT_EQ(copy.strProfile.view(), "Shared");
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(owner.strProfile.view(), "Shared");
}

TEST(XferImageInfoRecord, ReadsBackFromItsImage) {
  XferImageInfo x;
  Image(24)
      .u8(0, 2)
      .u8(1, 24)
      .u32(4, 640)
      .u32(8, 480)
      .u16(12, 150)
      .u16(14, 151)
      .u32(16, 1920)
      .u8(20, 0)
      .into(x);
  EXPECT_EQ(x.bMode, 2);
  EXPECT_EQ(x.bBitsPerPixel, 24);
  EXPECT_EQ(x.dwWidth, 640u);
  EXPECT_EQ(x.dwLength, 480u);
  EXPECT_EQ(x.wXRes, 150);
  EXPECT_EQ(x.wYRes, 151);
  EXPECT_EQ(x.dwBytesPerLine, 1920u);
}

TEST(ExtraParamRecord, ReadsBackFromItsImage) {
  ExtraParam e;
  Image(296)
      .u32(0, 3)
      .u8(6, 1)
      .u32(8, 35400)
      .u32(16 + 12 * 4, 11400)  // multiLongLength[12]
      .u32(16 + 23 * 4, 9000)   // multiLongLength[23]
      .u8(272, 1)
      .u16(274, 450)
      .u16(280, 150)
      .u8(282, 1)
      .u16(288, 240)
      .u16(290, 480)
      .u8(293, 1)
      .into(e);
  EXPECT_EQ(e.debugLevel, 3);
  EXPECT_EQ(e.adfAlignment, 1);
  EXPECT_EQ(e.maxLongLength, 35400u);
  EXPECT_EQ(e.multiLongLength[12], 11400u);
  EXPECT_EQ(e.multiLongLength[23], 9000u);
  EXPECT_TRUE(e.sdUsbScanner);
  EXPECT_EQ(e.adfMinWidth, 450);
  EXPECT_EQ(e.flatbedMinLength, 150);
  EXPECT_TRUE(e.newKrapi);
  EXPECT_EQ(e.maxPowerSaving, 240);
  EXPECT_EQ(e.maxPowerOff, 480);
  EXPECT_TRUE(e.hideCarrierSheet);
}

TEST(ScannerInfoRecord, CopyRetainsItsTexts) {
  ScannerInfo dataSource;
  dataSource.modelName = "F-310";
  dataSource.usbID = 0xF11E0310;
  ScannerInfo dialogCopy = dataSource;
  dataSource.modelName = SharedText();
  EXPECT_EQ(dialogCopy.modelName.view(), "F-310");
  EXPECT_EQ(dialogCopy.usbID, 0xF11E0310u);
  EXPECT_EQ(dialogCopy.serialNumber.view(), "");
}

TEST(PaperTblRecord, StandardTableRowsInOrder) {
  const auto& rows = kStandardPaperTbl.rows;
  EXPECT_EQ(rows[0].pageId, 0u);
  EXPECT_EQ(rows[1].pageId, 20u);
  for (uint32_t id = 1; id <= 17; ++id) EXPECT_EQ(rows[id + 1].pageId, id);
  EXPECT_EQ(rows[7].width, 2480u);  // A4
  EXPECT_EQ(rows[7].length, 3508u);
  EXPECT_EQ(rows[19].pageId, 18u);
  EXPECT_EQ(rows[19].width, 65535u);
  EXPECT_EQ(rows[20].pageId, 19u);
  EXPECT_EQ(rows[20].length, 11400u);
  PaperTbl fromBytes;
  Image image(252);
  image.u32(12 * 20, 19).u32(12 * 20 + 8, 11400);
  image.into(fromBytes);
  EXPECT_EQ(fromBytes.rows[20].pageId, 19u);
  EXPECT_EQ(fromBytes.rows[20].length, 11400u);
}

TEST(ScannerAbilityExRecord, ReadsBackFromItsImage) {
  ScannerAbilityEx a;
  Image(142)
      .text(12, "Test Sample")
      .u32(68, 0x80000001)
      .u16(84, 2550)
      .u16(86, 4200)
      .u16(100, 224)
      .u8(106, 5)
      .u32(114, 1u << 26)
      .u32(118, 1u << 5)
      .u16(129, 0x1234)
      .u32(133, 1u << 23)  // byte 135 bit 7
      .u8(138, 1)
      .into(a);
  EXPECT_STREQ(a.ModelName, "Test Sample");
  EXPECT_EQ(a.ScannerCapability, 0x80000001u);
  EXPECT_EQ(a.ADFMaxWidth, 2550);
  EXPECT_EQ(a.ADFMaxLength, 4200);
  EXPECT_EQ(a.ScanMethod, 224);
  EXPECT_EQ(a.HalftoneNum, 5);
  EXPECT_EQ(a.ScannerCapability2, 1u << 26);
  EXPECT_EQ(a.DriverFunctionSupport2, 1u << 5);
  EXPECT_EQ(a.ExtIndex, 0x1234);
  EXPECT_EQ(a.ScannerCapability3, 1u << 23);
  EXPECT_EQ(a.BackgroundColor, 1);
}

TEST(NvmDataRecord, ReadsBackFromItsImage) {
  NvmData n;
  Image(128)
      .u32(0, 7)
      .u32(12, 9)
      .u16(18, 0xFFFD)  // SideEdgeFletbed = -3
      .u16(28, 12)
      .text(46, "SN0001")
      .u16(70, 15)
      .u32(73, 1000)
      .u32(81, 4)
      .u16(122, 240)
      .u32(124, 0xFFFFFFFF)
      .into(n);
  EXPECT_EQ(n.PadScanCount, 7u);
  EXPECT_EQ(n.FlatbedScanCount, 9u);
  EXPECT_EQ(n.SideEdgeFletbed, -3);
  EXPECT_EQ(n.BornMonth, 12);
  EXPECT_STREQ(n.SN, "SN0001");
  EXPECT_EQ(n.PowerSavingTime, 15);
  EXPECT_EQ(n.RollerCount, 1000u);
  EXPECT_EQ(n.JamCount, 4u);
  EXPECT_EQ(n.PowerOffTime, 240);
  EXPECT_EQ(n.PrintOutCount, -1);
}

TEST(ColorDropParamRecord, TenBytesInOrder) {
  ColorDropParam p;
  Image(10).u8(0, 1).u8(1, 4).u8(2, 1).u8(3, 20).u8(6, 200).u8(8, 50).into(p);
  EXPECT_EQ(p.bGrayOutput, 1);
  EXPECT_EQ(p.bDropColor, 4);
  EXPECT_EQ(p.bThreshold, 20);
  EXPECT_EQ(p.bCustomR, 200);
  EXPECT_EQ(p.bCustomB, 50);
  EXPECT_EQ(p.bQuality, 0);
}

TEST(LongPageModels, TableAnswersForItsIdsOnly) {
  for (uint32_t id : kHalvedDuplexLongPageModels) EXPECT_TRUE(halvesDuplexLongPage(id));
  EXPECT_FALSE(halvesDuplexLongPage(0xF11E0310));
  EXPECT_FALSE(halvesDuplexLongPage(0));
}

}  // namespace
}  // namespace ferrolite
