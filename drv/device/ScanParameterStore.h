#pragma once
// The scan records a model object keeps between the parameter exports and the job: the
// client's scan parameter, the derived device-side one, the hardware image-processing records
// of both sides and the device's NVRAM record.
#include <vantrel/scan_parameters.h>

#include <cstdint>

#include "drv/device/ScanParameters.h"

constexpr uint16_t kNvmLayout1Size = 132;
constexpr uint16_t kNvmLayout2Size = 262;

class ScanParameterStore {
 public:
  ScanParameterStore();

  void SetAPScanParameter(const SCANPARAMETER_UNION* param);
  void GetAPScanParameter(SCANPARAMETER_UNION* param) const;
  void GetNewScanParameter(SCANPARAMETER_UNION* param) const;

  // Side 0 stores the record for both sides, 1 the front, 2 the rear.
  void SetAPHWImageProcParm(const HWIMAGEPROCPARAMETER_UNION* param, int side);
  // Side 0 copies the front, 1 the rear; other sides leave the record as it is.
  void GetAPHWImageProcParm(HWIMAGEPROCPARAMETER_UNION* param, int side) const;

  // The layout is version / 100: layout 1 keeps up to 132 bytes, layout 2 up to 262; any other
  // layout keeps nothing (its number is still stored) and gives false.
  bool SetNVMData(const uint8_t* data, uint8_t version, uint16_t size);
  uint8_t GetNVMVersion() const { return m_bNvmVersion; }
  const uint8_t* GetNVMData() const { return m_bNvmVersion == 1 ? m_Nvm1 : m_Nvm2; }

  // The device-side record and what the derivation keeps beside it.
  DeviceScanParameter& Device() { return m_Device; }
  const DeviceScanParameter& Device() const { return m_Device; }

 private:
  SCANPARAMETER_UNION m_ApParameter;
  DeviceScanParameter m_Device;
  HWIMAGEPROCPARAMETER_UNION m_HWParameter[2];
  uint8_t m_bNvmVersion;
  uint8_t m_Nvm1[kNvmLayout1Size];
  uint8_t m_Nvm2[kNvmLayout2Size];
};
