#pragma once
// An open data source on a Letter-wide duplex feeder (2550 x 4200 in 1/300 inch) with the
// default settings and its capabilities set from them, reached through the host core; answers
// described as short texts built from the container's bytes.
#include <cstdio>
#include <string>
#include <vector>

#include "DataSourceFixture.h"
#include "ds/twain/SettingValues.h"
#include "tools/twain/Records.h"

namespace dstest {

inline constexpr uint32_t kFeederWidth = 2550, kFeederLength = 4200;
inline constexpr uint32_t kDeviceFeederDuplex = 0x24;

class CapabilityTest : public HostedSourceTest {
 protected:
  void SetUp() override {
    HostedSourceTest::SetUp();
    ferrolite::gPhysicalLongPaper = false;
  }
  void TearDown() override {
    ferrolite::gPhysicalLongPaper = false;
    HostedSourceTest::TearDown();
  }

  // A new object in `state`, set up as the open step leaves it.
  ferrolite::TezFRLDS& Fresh(int16_t state = TWAIN_STATE_OPEN, uint32_t maxLongLength = 0) {
    ferrolite::TezFRLDS& ds = makeSource();
    ds.newKrapi = true;
    ds.deviceAbility.DeviceType = kDeviceFeederDuplex;
    ds.maxScanWidth = kFeederWidth;
    ds.maxScanLength = kFeederLength;
    ds.maxLongLength = maxLongLength;
    ds.initSetting();
    ds.initCaps();
    ds.mCurrentState = state;
    return ds;
  }

  void OpenFresh(uint32_t maxLongLength = 0) {
    Open();
    Fresh(TWAIN_STATE_OPEN, maxLongLength);
  }

  // "FAIL <cc>", or the container: "ONE UINT16 3", "ONE FIX32 8.5", "ONE FRAME 0 0 8.5 11",
  // "RANGE FIX32 72 600 1 200 200", "ENUM UINT16 <current> <default> [0 1 2]", "ARRAY ...".
  static std::string Describe(const twainhost::Reply<twainhost::Container>& r) {
    if (!r.ok()) return "FAIL " + std::to_string(r.cc);
    const twainhost::Container& c = r.value;
    std::string type;
    switch (c.itemType) {
      case TWTY_INT16:
        type = "INT16";
        break;
      case TWTY_UINT16:
        type = "UINT16";
        break;
      case TWTY_BOOL:
        type = "BOOL";
        break;
      case TWTY_FIX32:
        type = "FIX32";
        break;
      case TWTY_FRAME:
        type = "FRAME";
        break;
      default:
        type = "T" + std::to_string(c.itemType);
        break;
    }
    auto number = [](double v) {
      char text[32];
      std::snprintf(text, sizeof text, "%g", v);
      return std::string(text);
    };
    // A range slot holding a FIX32: Whole in the low half, Frac in the high half.
    auto slot = [&](uint32_t v) {
      if (c.itemType != TWTY_FIX32) return std::to_string(int32_t(v));
      return number(int16_t(v & 0xFFFF) + (v >> 16) / 65536.0);
    };
    auto items = [&] {
      std::string text = "[";
      for (size_t i = 0; i < c.Count(); ++i) text += (i ? " " : "") + std::to_string(c.Value(i));
      return text + "]";
    };
    switch (c.conType) {
      case TWON_ONEVALUE:
        if (c.itemType == TWTY_FIX32) return "ONE FIX32 " + number(c.Fixed());
        if (c.itemType == TWTY_FRAME) {
          std::string text = "ONE FRAME";
          for (double edge : c.Frame()) text += " " + number(edge);
          return text;
        }
        return "ONE " + type + " " + std::to_string(c.Value());
      case TWON_RANGE:
        return "RANGE " + type + " " + slot(c.min) + " " + slot(c.max) + " " + slot(c.step) + " " +
               slot(c.defaultValue) + " " + slot(c.currentValue);
      case TWON_ENUMERATION:
        return "ENUM " + type + " " + std::to_string(int32_t(c.currentIndex)) + " " +
               std::to_string(int32_t(c.defaultIndex)) + " " + items();
      case TWON_ARRAY:
        return "ARRAY " + type + " " + items();
      default:
        return "CON" + std::to_string(c.conType);
    }
  }

  std::string Ask(uint16_t msg, uint16_t cap) { return Describe(host.Capability(msg, cap)); }

  // "Key=value" for every field of the settings that differs between the two records.
  static std::string SettingsDiff(const ferrolite::ScanSetting& before,
                                  const ferrolite::ScanSetting& after) {
    std::string text;
    for (const ferrolite::SettingNumber& n : ferrolite::settingNumbers()) {
      const int64_t a = ferrolite::settingNumber(before, n), b = ferrolite::settingNumber(after, n);
      if (a != b) text += (text.empty() ? "" : " ") + std::string(n.key) + "=" + std::to_string(b);
    }
    return text;
  }
};

}  // namespace dstest
