#pragma once
// The device object bound to the driver library: it loads the library, binds its exports, keeps
// a copy of the device ability record, describes the functional units, sends the display texts
// and opens the driver and the device for each scan. Ferrolite is the product class a USB open
// makes; a FireWire or network open makes a plain KR_ICA_Mark2_200 without a driver.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "ica/DriverBinding.h"
#include "ica/FeederScan.h"
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

  // ---- the feeder scan ----
  // The scan's pauses and bounds: the pause before a retried KRSetParameter (lamp not ready) or
  // KRStartScan (start again), and how long one page's delivery may take before the scan ends
  // as failed (a driver that never ends the page).
  struct ScanTiming {
    std::chrono::milliseconds retryPause{1000};
    std::chrono::milliseconds pageTimeout{120000};
  };
  void setScanTiming(const ScanTiming& timing) { scanTiming_ = timing; }
  // The producer: runs the driver job page by page and queues each page (or the status that
  // ended the job) in `pages`, which it closes at its end; then signals scanThreadDone.
  void scanThread(PageArray* pages);
  // The driver's data callback (on the driver's reader thread).
  static long GetScanImage(uint32_t ctrlId, uint32_t* handle, uint8_t* data, uint32_t size,
                           long lines, long pixels, STATUSLIST* status);
  bool errorFromConsumer() const { return errorFromConsumer_.load(); }

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

  // The feeder scan.
  ScanTiming scanTiming_;
  std::mutex scanThreadMutex_;  // guards scanThreadDone_
  std::condition_variable scanThreadCondition_;
  bool scanThreadDone_ = false;
  std::atomic<bool> errorFromConsumer_{false};
  std::thread producer_;

 private:
  // Producer steps.
  long setParameterWithRetries(SCANPARAMETER_UNION* param);
  void endJob(long r, long p);
  void reportStatus(long status);
  // Consumer steps.
  void deliverPageAsFile(PageImage& page, int64_t orientation, uint32_t pixelType,
                         foundation::Dictionary& note, ICASendNotificationPB& block,
                         const ICAColorSpaceRef& colorSpace);
  void deliverPageInBands(PageImage& page, long rotation, uint32_t pixelType,
                          foundation::Dictionary& note, ICASendNotificationPB& block);
  void sendWaiting(ICASendNotificationPB& block);
  void finishFeederScan();  // waits for the producer and joins it
};

class Ferrolite final : public KR_ICA_Mark2_200 {
 public:
  void startButtonEvent() override {}
  void scanEvent(uint32_t /*button*/) override {}
};

}  // namespace icamodule
