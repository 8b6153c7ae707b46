#pragma once
// The device object bound to the driver library: it loads the library, binds its exports, keeps
// a copy of the device ability record, describes the functional units, sends the display texts
// and opens the driver and the device for each scan. Ferrolite is the product class a USB open
// makes; a FireWire or network open makes a plain KR_ICA_Mark2_200 without a driver.
#include <array>
#include <string>

#include "ica/DriverBinding.h"
#include "ica/ICA_Base.h"
#include "vantrel/device_records.h"
#include "vantrel/scan_parameters.h"

namespace icamodule {

// Leftovers of older scans that a scan start removes.
inline constexpr const char* kScanLeftovers[] = {"/tmp/KL-Scan-Size-Max", "/tmp/KL-Scan-Size-255",
                                                 "/tmp/KL-Scan"};

// The longest page the feeder takes, in the device's base unit: ADFMaxLength, where 65535 ("no
// limit") stands for 14 inches. The functional units and the scan's parameters both use it.
uint32_t feederMaxLength(const DeviceAbility& ability);

class KR_ICA_Mark2_200 : public ICA_Base {
 public:
  KR_ICA_Mark2_200() = default;
  ~KR_ICA_Mark2_200() override;

  // Loads "<resources>/<driverName>.so", binds it and reads the device. False (and nothing is
  // kept) when the library does not load or lacks one of the exports.
  bool initWithDriverName(const std::string& driverName, uint32_t usbLocationID) override;
  bool readProperties();
  std::string name() const override;
  std::size_t numberOfScannedImages() const override { return scannedImages_.size(); }
  ICAError startScanningWithParams(ICD_ScannerStartPB* params) override;
  virtual ICAError flatbedScanWithParams(ICD_ScannerStartPB* params);
  virtual ICAError preViewWithParams(ICD_ScannerStartPB* params);
  virtual ICAError adfScanWithParams(ICD_ScannerStartPB* params);
  void cleanUp() override;

  // Turns the host's settings and scan window into the driver's scan parameters (zero-filled
  // first) and fixes the page sizes: the size the device scans (source) and the size the host
  // asked for (destination). False, with the record left zero-filled, when the device's record
  // or the host's resolution holds a zero that would be divided by.
  bool ICAParamToKRParam(SCANPARAMETER_UNION* param);
  int64_t sourceImageWidth() const { return sourceImageWidth_; }
  int64_t sourceImageLength() const { return sourceImageLength_; }
  int64_t destImageWidth() const { return destImageWidth_; }
  int64_t destImageLength() const { return destImageLength_; }

  // Display texts in the user's language, sent while the driver and device are open.
  void SendLCDLocalizedString();
  // The functional units from "ScannerProperties", trimmed by the ability record and the papers.
  void readFunctionalUnitProperties();
  void readFlatbedProperties(Dictionary& unit);
  void readADFProperties(Dictionary& unit);

  // Keeps a copy of the record with copies of its five strings.
  void copyAbility(const DeviceAbility& ability);
  const DeviceAbility& ability() const { return ability_; }
  bool abilityRead() const { return abilityRead_; }
  const DriverEntries& driver() const { return entries_; }
  void setPaperInfo(const Dictionary& papers) { paperInfoDict_ = papers; }
  void setPropertyListPath(std::string path) { propertyListPath_ = std::move(path); }

 protected:
  uint32_t _hDevice = 0;
  DriverEntries entries_;
  DeviceAbility ability_{};
  std::array<std::string, 5> abilityStrings_;
  bool abilityRead_ = false;  // a scan needs the device's record
};

class Ferrolite final : public KR_ICA_Mark2_200 {
 public:
  void startButtonEvent() override {}
  void scanEvent(uint32_t /*button*/) override {}
};

}  // namespace icamodule
