#include "drv/device/ScanParameterStore.h"

#include <cstring>

ScanParameterStore::ScanParameterStore() {
  std::memset(&m_ApParameter, 0, sizeof m_ApParameter);
  std::memset(&m_Device, 0, sizeof m_Device);
  std::memset(m_HWParameter, 0, sizeof m_HWParameter);
  m_bNvmVersion = 0;
  std::memset(m_Nvm1, 0, sizeof m_Nvm1);
  std::memset(m_Nvm2, 0, sizeof m_Nvm2);
}

void ScanParameterStore::SetAPScanParameter(const SCANPARAMETER_UNION* param) {
  if (param != nullptr) m_ApParameter = *param;
}

void ScanParameterStore::GetAPScanParameter(SCANPARAMETER_UNION* param) const {
  if (param != nullptr) *param = m_ApParameter;
}

void ScanParameterStore::GetNewScanParameter(SCANPARAMETER_UNION* param) const {
  if (param != nullptr) *param = m_Device.dev;
}

void ScanParameterStore::SetAPHWImageProcParm(const HWIMAGEPROCPARAMETER_UNION* param, int side) {
  if (param == nullptr) return;
  if (side == 0 || side == 1) m_HWParameter[0] = *param;
  if (side == 0 || side == 2) m_HWParameter[1] = *param;
}

void ScanParameterStore::GetAPHWImageProcParm(HWIMAGEPROCPARAMETER_UNION* param, int side) const {
  if (param != nullptr && (side == 0 || side == 1)) *param = m_HWParameter[side];
}

bool ScanParameterStore::SetNVMData(const uint8_t* data, uint8_t version, uint16_t size) {
  m_bNvmVersion = static_cast<uint8_t>(version / 100);
  if (data == nullptr) return false;
  if (m_bNvmVersion == 1) {
    std::memcpy(m_Nvm1, data, size < kNvmLayout1Size ? size : kNvmLayout1Size);
    return true;
  }
  if (m_bNvmVersion == 2) {
    std::memcpy(m_Nvm2, data, size < kNvmLayout2Size ? size : kNvmLayout2Size);
    return true;
  }
  return false;
}
