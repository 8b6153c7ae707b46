#pragma once
// The per-device model object: the device's inquiry data and NVRAM record, the client's and the
// device-side scan parameters, the software stage lists of a job, and what differs between the
// scanner models (features, transfer size, duplex style, alignment). The model classes derive
// from it (ScannerModels.h).
#include <vantrel/scan_parameters.h>

#include <cstdint>

#include "drv/device/DeviceFeatures.h"
#include "drv/device/ImageProcessVariables.h"
#include "drv/device/KRObj.h"
#include "drv/device/ScanParameterStore.h"
#include "drv/device/ScanParameters.h"
#include "drv/device/WindowDescriptor.h"

// Bytes of the inquiry data the model keeps.
constexpr uint32_t kInquiryCopySize = 265;

class CScanner : public KRObj {
 public:
  // The base model: no features, no device-side derivation, transfer size 0x10000.
  static const ModelTraits kBaseTraits;

  CScanner();
  // The base model with another feature list (null: every feature reads false).
  explicit CScanner(const Device_Features* features);
  // A model of these traits with this feature list (its own: traits.features).
  CScanner(const ModelTraits& traits, const Device_Features* features);
  // Model objects are destroyed through this class.
  virtual ~CScanner();
  CScanner(const CScanner&) = delete;
  CScanner& operator=(const CScanner&) = delete;

  // ---- virtual operations, in the order of the class's table ----
  // Side 0 or 1: the image list; 2 or 3: the background list; other sides: 0 and null.
  virtual void GetImageProcessVariable(uint32_t side, uint32_t* count,
                                       CImageProcess_InitializeParameter** list);
  virtual void GetIRUVImageProcessVariable(uint32_t* count,
                                           CImageProcess_InitializeParameter** list);
  virtual void SetQualityMode(bool quality) { m_qualityMode = quality; }
  virtual uint32_t GetJPEGSizeBoundary() { return m_traits->jpegSizeBoundary; }
  virtual uint32_t GetTransferSize();
  virtual bool GetFeature(Device_Features feature) { return m_info.HasFeature(feature); }
  virtual bool GetQualityMode() { return m_qualityMode; }
  virtual bool IsR2EOPStyle();
  virtual uint32_t GetLineBoundary();
  virtual uint32_t GetDuplexMultiFeedStyle() { return m_duplexMultiFeedStyle; }
  virtual void SetDeMuxDuplex(uint16_t blockSize) { m_deMuxBlockSize = blockSize; }
  virtual void GetDeMuxDuplexInformation(uint8_t* flag, uint32_t* size);
  virtual void SetDuplexMode(DeviceDuplexMode mode) { m_duplexMode = mode; }
  virtual DeviceDuplexMode GetDuplexMode() { return m_duplexMode; }
  virtual uint32_t GetFlashRAMCCDType() { return m_traits->flashRamCcdType; }
  virtual void AdjustSendingGammaTable(uint8_t* /*table*/, uint8_t /*channel*/, uint32_t /*length*/,
                                       SCANPARAMETER_UNION* /*param*/) {}
  virtual void InitializeNewScanParameter();
  virtual void InitializeImageVariables(void* item);
  virtual void InitializeBackgroundVariables(void* item);

  // Job start: the device-side parameter, then both stage lists.
  void TransformScanParameter(void* item);
  void SetEnableHWImageProcess(bool enable) { m_hwImageProcess = enable; }
  bool IsEnableHWImageProcess() const { return m_hwImageProcess; }

  // ---- inquiry data ----
  // Keeps the block when its version (byte 2) is 2: min(its size field, 265, available) bytes.
  bool SetInquiryData(const uint8_t* data, uint32_t available);
  void GetInquiryData(uint8_t* out) const;  // 265 bytes
  const uint8_t* InquiryData() const { return m_inquiry; }

  // ---- scan records ----
  void SetAPScanParameter(const SCANPARAMETER_UNION* param) { m_store.SetAPScanParameter(param); }
  void GetAPScanParameter(SCANPARAMETER_UNION* param) const { m_store.GetAPScanParameter(param); }
  void GetNewScanParameter(SCANPARAMETER_UNION* param) const { m_store.GetNewScanParameter(param); }
  void SetAPHWImageProcParm(const HWIMAGEPROCPARAMETER_UNION* param, int side) {
    m_store.SetAPHWImageProcParm(param, side);
  }
  void GetAPHWImageProcParm(HWIMAGEPROCPARAMETER_UNION* param, int side) const {
    m_store.GetAPHWImageProcParm(param, side);
  }
  // What the derivation keeps beside the device-side record (lines to read, cuts, scaling).
  const DeviceScanParameter& GetDeviceDerivation() const { return m_store.Device(); }

  // ---- NVRAM record ----
  bool SetNVMData(const uint8_t* data, uint8_t version, uint16_t size) {
    return m_store.SetNVMData(data, version, size);
  }
  // The layout number (1 or 2) of the stored record; 0 before one was stored.
  uint8_t GetNVMDataFWVersion() const { return m_store.GetNVMVersion(); }
  const uint8_t* GetNVMData() const { return m_store.GetNVMData(); }

  // ---- alignment and the window ----
  uint32_t GetPixelBoundaryFWSide(void* item, const SCANPARAMETER_UNION* param) const;
  uint32_t GetPixelBoundaryAPSide(void* item, const SCANPARAMETER_UNION* param) const;
  void GetWindowDescriptor(void* item, KR_WindowDataSet_VER2* out,
                           const SCANPARAMETER_UNION* param) const;
  void GetWindowDescriptor(void* item, KR_WindowDataSet_VER2* out) const;

  const ScanModelInfo& ModelInfo() const { return m_info; }
  const ModelTraits& Traits() const { return *m_traits; }
  // The model's own transfer size, quality mode, R2 flag and duplex mode.
  void InitializeVariables();

 protected:
  ImageVariablesSource VariablesSource(void* item) const;

  uint8_t m_inquiry[kInquiryCopySize] = {};
  ScanModelInfo m_info;
  const ModelTraits* m_traits;
  ScanParameterStore m_store;
  bool m_hwImageProcess = false;
  bool m_qualityMode = true;
  bool m_r2EndOfPage = false;
  uint32_t m_transferSize = 0x10000;
  DeviceDuplexMode m_duplexMode = 0;
  uint16_t m_deMuxBlockSize = 0;
  uint32_t m_duplexMultiFeedStyle = 0;
  ImageProcessList m_imageList;
  ImageProcessList m_backgroundList;
  ImageProcessList m_iruvList;  // built on the IR/UV family only
};

using CScannerFactory = CScanner* (*)();

// Factory of the supported model (device table entry 0).
CScanner* CreateSupportedModel();
