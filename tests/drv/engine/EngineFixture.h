#pragma once
// A driver with one simulated scanner opened through the exports, for the scan engine's tests:
// the engine's exports by record, and the model object swapped for one with other features.
#include <cstring>
#include <memory>
#include <vector>

#include "DeviceFixture.h"
#include "SupportedModel.h"
#include "drv/device/CScanner.h"
#include "drv/device/ScannerModels.h"

namespace enginefix {

using devicefix::kCtrl;
using devicefix::Patch;
using Bytes = std::vector<uint8_t>;

class EngineTest : public devicefix::DeviceTest {
 protected:
  void TearDown() override {
    if (m_original) {
      delete Item()->pScanner;
      Item()->pScanner = m_original.release();
    }
    DeviceTest::TearDown();
  }

  // A driver on a bus of its own with one scanner of this description, opened; a test may
  // call it again for the next case (the earlier driver and bus go first).
  sim::SimScanner& OpenAlone(sim::Config config = {}) {
    TearDown();
    m_bus.reset();
    m_bus = std::make_unique<simhelp::InstalledBus>();
    sim::SimScanner& s = OpenOn(*m_bus, config);
    s.ClearPrepared();
    return s;
  }
  sim::SimScanner& OpenWith(std::vector<sim::InquiryPatch> patches) {
    sim::Config config;
    config.inquiryPatches = std::move(patches);
    return OpenAlone(config);
  }

  // The opened device's model object becomes the base model with the supported family's traits,
  // these features and the same inquiry data, so a test reaches what the supported model's
  // features leave out.
  CScanner* UseFeatures(std::vector<Device_Features> features) {
    features.resize(kFeatureListLength, kFeatureNone);
    m_features = features;
    CScanner* current = Item()->pScanner;
    auto* replacement = new CScanner(CQM310::kTraits, m_features.data());
    replacement->SetInquiryData(current->InquiryData(), kInquiryCopySize);
    SCANPARAMETER_UNION ap;
    current->GetAPScanParameter(&ap);
    replacement->SetAPScanParameter(&ap);
    if (!m_original) {
      m_original.reset(current);
    } else {
      delete current;
    }
    Item()->pScanner = replacement;
    return replacement;
  }

  long SetParameter(SCANPARAMETER_UNION p) { return KRSetParameter(kCtrl, &handle, &p); }
  long SetHW(HWIMAGEPROCPARAMETER_UNION p, int side) {
    return KRSetHWProcess(kCtrl, &handle, &p, side);
  }
  long SetGamma(Bytes table, uint32_t filter, uint32_t head) {
    return KRSetGamma(kCtrl, &handle, table.data(), static_cast<uint32_t>(table.size()), 8, filter,
                      head);
  }

  std::unique_ptr<simhelp::InstalledBus> m_bus;
  std::unique_ptr<CScanner> m_original;
  std::vector<Device_Features> m_features;
};

// The supported model's feature list without one feature.
inline std::vector<Device_Features> SupportedFeaturesWithout(Device_Features left) {
  std::vector<Device_Features> features;
  for (uint32_t i = 0; i < kFeatureListLength && CQM310::kTraits.features[i] != kFeatureNone; ++i)
    if (CQM310::kTraits.features[i] != left) features.push_back(CQM310::kTraits.features[i]);
  return features;
}

// A record of the version and size a client gives, the rest zero.
inline HWIMAGEPROCPARAMETER_UNION HWRecord() {
  HWIMAGEPROCPARAMETER_UNION p;
  std::memset(&p, 0, sizeof p);
  p.Version = 200;
  p.Size = 132;
  return p;
}

// A small page the supported model takes as it is: 8-bit grey at 300 dpi, one-sided feeder,
// an inch square.
inline SCANPARAMETER_UNION GreyPage() {
  SCANPARAMETER_UNION p = ColourLetter();
  p.ScanMode = 2;
  p.BitsPerPixel = 8;
  p.ScanMethod = 1;
  p.Width = 304;
  p.Length = 300;
  p.PixelNum = 304;
  p.LineNum = 300;
  p.BytesPerLine = 304;
  return p;
}

// A ramp table of 256 one-byte entries, value = (i + shift) & 0xFF.
inline Bytes Ramp(uint8_t shift = 0) {
  Bytes t(256);
  for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<uint8_t>(i + shift);
  return t;
}

}  // namespace enginefix
