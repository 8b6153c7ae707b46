#pragma once
// The image-process object with the stand-in plug-ins loaded from the build's plug-in folder as
// the data source loads them, for a feeder scanner with a dark background; pages of the shared
// plug-in test helpers as page buffers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "ds/scan/image/TezFRLImageProcess.h"
#include "ds/scan/scanner/TezFRLScan.h"
#include "tests/support/PluginTesting.h"

namespace imagetest {

using ferrolite::PageBuffer;
using ferrolite::XferImageInfo;

inline constexpr uint32_t kUsbId = 0x0310F11E;  // product 0x0310, vendor 0xF11E

inline XferImageInfo InfoOf(const plugtest::Page& p, uint16_t dpi) {
  XferImageInfo i;
  i.bBitsPerPixel = uint8_t(p.bits);
  i.bMode = p.bits == 24  ? ferrolite::kXferModeColor
            : p.bits == 8 ? ferrolite::kXferModeGray
                          : ferrolite::kXferModeBW;
  i.dwWidth = uint32_t(p.width);
  i.dwLength = uint32_t(p.height);
  i.dwBytesPerLine = uint32_t(p.stride);
  i.wXRes = i.wYRes = dpi;
  return i;
}

// A malloc'd copy of the page, as the scan layer's page buffer.
struct OwnedPage {
  explicit OwnedPage(const plugtest::Page& p) {
    buffer.size = uint32_t(p.data.size());
    buffer.data = static_cast<uint8_t*>(std::malloc(buffer.size));
    std::memcpy(buffer.data, p.data.data(), buffer.size);
  }
  ~OwnedPage() { std::free(buffer.data); }
  OwnedPage(const OwnedPage&) = delete;
  OwnedPage& operator=(const OwnedPage&) = delete;
  // The image a description gives, as a page of the helpers.
  plugtest::Page page(const XferImageInfo& i) const {
    plugtest::Page p(int(i.dwWidth), int(i.dwLength), i.bBitsPerPixel);
    for (uint32_t y = 0; y < i.dwLength; ++y)
      std::memcpy(p.row(int(y)), buffer.data + size_t(y) * i.dwBytesPerLine, p.stride);
    return p;
  }
  PageBuffer buffer;
};

class WithPlugins : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = ferrolite::deviceAbility;
    ::DeviceAbility& a = ferrolite::deviceAbility;
    a.FrontADFBackground_R = a.FrontADFBackground_G = a.FrontADFBackground_B = 40;
    a.ADFMaxWidth = 2550;  // 8.5 inch at 300 dpi
    p.scannerName("Test");
    ASSERT_TRUE(p.initalizeLumetraLib(VT_PLUGIN_DIR, 0, kUsbId));
    ASSERT_TRUE(p.initalizeColorMatchLib(VT_PLUGIN_DIR));
    ASSERT_TRUE(p.initalizeKrCocoaLib(VT_PLUGIN_DIR));
    p.setUiSetting(&s);
  }
  void TearDown() override { ferrolite::deviceAbility = saved; }

  ::DeviceAbility saved{};
  ferrolite::ScanSetting s;
  ferrolite::TezFRLImageProcess p;
};

}  // namespace imagetest
