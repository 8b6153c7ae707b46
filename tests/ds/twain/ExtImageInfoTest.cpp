// DAT_EXTIMAGEINFO and the custom operation through the host core: the barcode entries in the
// Linux record (one value in Item, several values and the texts in blocks the host frees), the
// patch code, and the last scanner error with its text.
#include <gmock/gmock.h>

#include <cstring>
#include <string>
#include <vector>

#include "CapabilityFixture.h"

namespace {

using dstest::gSource;
using twainhost::ExtImageEntry;

constexpr uint16_t kUnknownInfo = 0x1234;

class ExtImageInfoTest : public dstest::CapabilityTest {
 protected:
  void SetUp() override {
    CapabilityTest::SetUp();
    OpenFresh();
  }
  void TearDown() override {
    EXPECT_EQ(host.liveBlocks(), 0u) << "every block handed over was read and freed";
    CapabilityTest::TearDown();
  }
  void Barcodes(const std::vector<ferrolite::TezFRLDS::PageBarcode>& codes, bool reading = true) {
    gSource->isBarcode = reading;
    gSource->pageCodes.barcodes = codes;
  }
  std::vector<ExtImageEntry> Ask(const std::vector<uint16_t>& ids) {
    const auto r = host.ExtImageInfo(ids);
    EXPECT_TRUE(r.ok());
    return r.value;
  }
  static std::vector<uint32_t> Words(const std::vector<uint8_t>& data) {
    std::vector<uint32_t> words(data.size() / 4);
    std::memcpy(words.data(), data.data(), words.size() * 4);
    return words;
  }
};

TEST_F(ExtImageInfoTest, TwoBarcodesInBlocksTheHostFrees) {
  Barcodes({{2, "AB", 10, 20}, {10, "CDE", 30, 40}});
  const auto e = Ask({TWEI_BARCODECOUNT, TWEI_BARCODETEXTLENGTH, TWEI_BARCODETEXT, TWEI_BARCODEX,
                      TWEI_BARCODEY, TWEI_BARCODETYPE, TWEI_PATCHCODE, kUnknownInfo});
  ASSERT_EQ(e.size(), 8u);
  EXPECT_EQ(e[0].returnCode, TWRC_SUCCESS);
  EXPECT_EQ(e[0].itemType, TWTY_UINT32);
  EXPECT_EQ(e[0].numItems, 1);
  EXPECT_EQ(e[0].item, 2u);
  for (size_t i = 1; i <= 5; ++i) {
    EXPECT_EQ(e[i].returnCode, TWRC_SUCCESS) << i;
    EXPECT_EQ(e[i].itemType, TWTY_UINT32) << i;
    EXPECT_EQ(e[i].numItems, 2) << i;
  }
  EXPECT_EQ(Words(e[1].data), (std::vector<uint32_t>{2, 3}));
  // The texts one after the other in a block of their total length.
  EXPECT_EQ(std::string(e[2].data.begin(), e[2].data.end()), "ABCDE");
  EXPECT_EQ(Words(e[3].data), (std::vector<uint32_t>{10, 30}));
  EXPECT_EQ(Words(e[4].data), (std::vector<uint32_t>{20, 40}));
  EXPECT_EQ(Words(e[5].data), (std::vector<uint32_t>{TWBT_3OF9, TWBT_PDF417}));
  EXPECT_EQ(e[6].returnCode, TWRC_DATANOTAVAILABLE);
  EXPECT_EQ(e[7].returnCode, TWRC_INFONOTSUPPORTED);
}

TEST_F(ExtImageInfoTest, OneBarcodeCarriesItsNumbersInItem) {
  Barcodes({{11, "Q", 1234, 567}});
  const auto e = Ask({TWEI_BARCODEX, TWEI_BARCODEY, TWEI_BARCODETYPE, TWEI_BARCODETEXTLENGTH,
                      TWEI_BARCODETEXT, TWEI_BARCODECOUNT});
  EXPECT_EQ(e[0].item, 1234u);
  EXPECT_EQ(e[1].item, 567u);
  EXPECT_EQ(e[2].item, TWBT_QRCODE);
  EXPECT_EQ(e[3].item, 1u);
  for (size_t i = 0; i < 4; ++i) EXPECT_TRUE(e[i].data.empty()) << i;
  EXPECT_EQ(e[4].numItems, 1);
  EXPECT_EQ(std::string(e[4].data.begin(), e[4].data.end()), "Q");
  EXPECT_EQ(e[5].item, 1u);
}

TEST_F(ExtImageInfoTest, SixtyFourLongTextsAndEmptyOnes) {
  std::vector<ferrolite::TezFRLDS::PageBarcode> codes;
  for (int i = 0; i < 64; ++i) {
    codes.push_back({uint8_t(i % 17), std::string(255, char('a' + i % 26)), uint16_t(i), 0});
  }
  Barcodes(codes);
  auto e = Ask({TWEI_BARCODECOUNT, TWEI_BARCODETEXT, TWEI_BARCODETEXTLENGTH, TWEI_BARCODETYPE});
  EXPECT_EQ(e[0].item, 64u);
  ASSERT_EQ(e[1].data.size(), 64u * 255u);
  EXPECT_EQ(e[1].data[255 * 63], uint8_t('a' + 63 % 26));
  EXPECT_EQ(Words(e[2].data), std::vector<uint32_t>(64, 255));
  const std::vector<uint32_t> types = Words(e[3].data);
  ASSERT_EQ(types.size(), 64u);
  EXPECT_EQ(types[0], 144u);  // the table's first row
  EXPECT_EQ(types[16], 0u);   // beyond the table: unknown

  // Empty texts still hand over a block.
  Barcodes({{0, "", 0, 0}, {0, "", 0, 0}});
  e = Ask({TWEI_BARCODECOUNT, TWEI_BARCODETEXT, TWEI_BARCODETEXTLENGTH});
  EXPECT_EQ(e[1].returnCode, TWRC_SUCCESS);
  EXPECT_EQ(e[1].data.size(), 1u);
  EXPECT_EQ(Words(e[2].data), (std::vector<uint32_t>{0, 0}));
}

TEST_F(ExtImageInfoTest, BarcodeEntriesNeedTheCountAndAResult) {
  Barcodes({{2, "AB", 10, 20}});
  auto e = Ask({TWEI_BARCODETEXT, TWEI_BARCODEX});
  EXPECT_EQ(e[0].returnCode, TWRC_DATANOTAVAILABLE);
  EXPECT_EQ(e[1].returnCode, TWRC_DATANOTAVAILABLE);
  EXPECT_EQ(e[0].item, 0u);
  Barcodes({{2, "AB", 10, 20}}, false);  // barcodes are not being read
  e = Ask({TWEI_BARCODECOUNT, TWEI_BARCODETEXT});
  EXPECT_EQ(e[0].returnCode, TWRC_DATANOTAVAILABLE);
  EXPECT_EQ(e[1].returnCode, TWRC_DATANOTAVAILABLE);
  Barcodes({});
  e = Ask({TWEI_BARCODECOUNT});
  EXPECT_EQ(e[0].returnCode, TWRC_DATANOTAVAILABLE);
}

TEST_F(ExtImageInfoTest, ThePatchCodeAndOtherIds) {
  gSource->isPatchCode = true;
  gSource->pageCodes.patchCode = true;
  auto e = Ask({TWEI_PATCHCODE, 0x1100, 0x1213});
  EXPECT_EQ(e[0].returnCode, TWRC_SUCCESS);
  EXPECT_EQ(e[0].itemType, TWTY_UINT32);
  EXPECT_EQ(e[0].numItems, 1);
  EXPECT_EQ(e[0].item, 0u);
  EXPECT_EQ(e[1].returnCode, TWRC_INFONOTSUPPORTED);
  EXPECT_EQ(e[2].returnCode, TWRC_INFONOTSUPPORTED);
  gSource->isPatchCode = false;
  EXPECT_EQ(Ask({TWEI_PATCHCODE})[0].returnCode, TWRC_DATANOTAVAILABLE);

  twainhost::Bytes record(twainhost::layout::kExtInfoHeader + twainhost::layout::kExtInfoEntry);
  record.setU32(0, 1);
  EXPECT_EQ(host.Call(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_SET, record.data()).cc, TWCC_BADPROTOCOL);
}

TEST_F(ExtImageInfoTest, TheCustomOperationReportsTheLastError) {
  const std::u16string text = u"No documents are loaded in the scanner.";
  std::copy(text.begin(), text.end(), gSource->scannerErrorMsg);
  struct Row {
    int64_t error;
    uint32_t reported;
  } rows[] = {{-2, 2015}, {-1, 127}, {0, 0}, {3201, 3201}, {-3101, uint32_t(-3101)}};
  for (const Row& row : rows) {
    gSource->lastScannerError = row.error;
    const auto r = host.Custom(MSG_GET);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value.command, KRCUSTOMCOMMAND_LASTERROR);
    EXPECT_EQ(r.value.error, row.reported) << row.error;
    EXPECT_EQ(r.value.message, text);
  }
  // The record's bytes: UTF-16 little-endian from byte 8.
  twainhost::Bytes record(twainhost::layout::kCustomSize);
  record.setU32(twainhost::layout::kCustomCommand, KRCUSTOMCOMMAND_LASTERROR);
  ASSERT_TRUE(host.Call(DG_CONTROL, DAT_KRCUSTOMCOMMAND, MSG_GET, record.data()).ok());
  EXPECT_EQ(record.u16(twainhost::layout::kCustomMessage), u'N');
  EXPECT_EQ(record.data()[twainhost::layout::kCustomMessage + 1], 0);

  EXPECT_EQ(host.Custom(MSG_SET).cc, TWCC_SEQERROR);
  EXPECT_EQ(host.Custom(MSG_GET, 0x8992).cc, TWCC_BADPROTOCOL);
  EXPECT_EQ(host.Custom(MSG_GETCURRENT).cc, TWCC_BADPROTOCOL);
}

}  // namespace
