// The model object's scan records.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "SupportedModel.h"
#include "drv/device/ScanParameterStore.h"
#include "drv/device/ScannerModels.h"

namespace {

HWIMAGEPROCPARAMETER_UNION HWRecord(uint8_t mark) {
  HWIMAGEPROCPARAMETER_UNION r;
  std::memset(&r, 0, sizeof r);
  r.Version = 200;
  r.Size = 132;
  r.CropDeskew = mark;
  r.ImageHeightResize = mark * 1000u;
  return r;
}

TEST(ScanParameterStore, HardwareRecordsPerSide) {
  ScanParameterStore store;
  HWIMAGEPROCPARAMETER_UNION out;
  const HWIMAGEPROCPARAMETER_UNION both = HWRecord(1), front = HWRecord(2), rear = HWRecord(3);
  store.SetAPHWImageProcParm(&both, 0);
  for (int side : {0, 1}) {
    store.GetAPHWImageProcParm(&out, side);
    EXPECT_EQ(std::memcmp(&out, &both, sizeof out), 0) << side;
  }
  store.SetAPHWImageProcParm(&front, 1);
  store.SetAPHWImageProcParm(&rear, 2);
  store.GetAPHWImageProcParm(&out, 0);
  EXPECT_EQ(out.CropDeskew, 2);
  store.GetAPHWImageProcParm(&out, 1);
  EXPECT_EQ(out.CropDeskew, 3);
  EXPECT_EQ(out.ImageHeightResize, 3000u);
  store.SetAPHWImageProcParm(&both, 5);  // no such side: nothing changes
  store.GetAPHWImageProcParm(&out, 0);
  EXPECT_EQ(out.CropDeskew, 2);
}

TEST(ScanParameterStore, NvmLayoutsFromTheVersion) {
  std::vector<uint8_t> record(300);
  for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<uint8_t>(i + 1);
  const struct {
    uint8_t version;
    uint16_t size;
    bool ok;
    uint8_t layout;
    uint16_t kept;
  } cases[] = {{100, 132, true, 1, 132}, {150, 300, true, 1, 132}, {199, 50, true, 1, 50},
               {200, 300, true, 2, 262}, {250, 100, true, 2, 100}, {0, 300, false, 0, 0},
               {255, 300, true, 2, 262}, {44, 300, false, 0, 0}};  // 300 does not fit the byte: 44
  for (const auto& c : cases) {
    ScanParameterStore store;
    EXPECT_EQ(store.SetNVMData(record.data(), c.version, c.size), c.ok) << int(c.version);
    EXPECT_EQ(store.GetNVMVersion(), c.layout) << int(c.version);
    if (!c.ok) continue;
    const uint8_t* kept = store.GetNVMData();
    const uint16_t room = c.layout == 1 ? kNvmLayout1Size : kNvmLayout2Size;
    for (uint16_t i = 0; i < room; ++i) {
      ASSERT_EQ(kept[i], i < c.kept ? record[i] : 0) << int(c.version) << " byte " << i;
    }
  }
}

TEST(ScanParameterStore, ClientAndDeviceRecords) {
  ScanParameterStore store;
  const SCANPARAMETER_UNION ap = Client(250, 4, 24);
  store.SetAPScanParameter(&ap);
  SCANPARAMETER_UNION out;
  store.GetAPScanParameter(&out);
  EXPECT_EQ(std::memcmp(&out, &ap, sizeof out), 0);
  const std::vector<uint8_t> inquiry = SupportedInquiry();
  const ScanModelInfo info(CQM310::kTraits.features, inquiry.data(), 265);
  InitializeNewScanParameter(CQM310::kTraits, info, ap, false, &store.Device());
  store.GetNewScanParameter(&out);
  EXPECT_EQ(out.XRes, 300);
  EXPECT_EQ(out.ScanMode, 0x4000004u);
}

}  // namespace
