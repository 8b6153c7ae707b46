#pragma once
// The per-device model object. Only what the device registry needs so far: the model classes
// and their feature tables derive from this and fill it in.
#include <cstdint>
#include <cstring>
#include "drv/device/KRObj.h"

class CScanner : public KRObj {
 public:
  CScanner() = default;
  virtual ~CScanner() = default;
  CScanner(const CScanner&) = delete;
  CScanner& operator=(const CScanner&) = delete;

  virtual bool GetFeature(uint32_t /*feature*/) { return false; }
  // Keeps the device's inquiry data (big-endian, as read).
  virtual bool SetInquiryData(const uint8_t* data, uint32_t length) {
    std::memset(m_inquiry, 0, sizeof m_inquiry);
    std::memcpy(m_inquiry, data, length < sizeof m_inquiry ? length : sizeof m_inquiry);
    return true;
  }
  const uint8_t* InquiryData() const { return m_inquiry; }

 protected:
  uint8_t m_inquiry[512] = {};
};

using CScannerFactory = CScanner* (*)();

// Factory of the supported model (device table entry 0).
CScanner* CreateSupportedModel();
