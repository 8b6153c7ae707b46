#pragma once
// From the client's scan parameter to what the device is asked for: the model families'
// derivation of the device-side parameter and the alignment bounds.
// Free functions over a small view of the model object, so that the model classes call them.
#include <vantrel/scan_parameters.h>

#include <cstdint>

#include "drv/device/ModelTraits.h"

// What the derivations read from the model object: its features and its inquiry data (the
// device's big-endian record as read).
class ScanModelInfo {
 public:
  ScanModelInfo(const Device_Features* featureList, const uint8_t* inquiry, uint32_t inquiryLength);
  bool HasFeature(uint32_t feature) const;
  // Inquiry bytes outside the record read as 0.
  uint8_t InquiryByte(uint32_t offset) const;
  uint32_t InquiryBigEndian(uint32_t offset, uint32_t bytes) const;
  uint32_t ImageTypeBits() const { return InquiryBigEndian(51, 3); }

 private:
  uint8_t m_Features[9] = {};
  const uint8_t* m_pInquiry;
  uint32_t m_dwInquiryLength;
};

// The device-side parameter and what the model keeps beside it.
struct DeviceScanParameter {
  SCANPARAMETER_UNION dev;
  uint32_t dwLinesToRead;
  uint32_t dwRequestedLength;
  uint32_t dwAlignmentLines;
  uint32_t dwCutLeft;
  uint32_t dwCutRight;
  uint32_t dwCutTop;
  bool blNeedsScaling;
};

constexpr uint32_t kUnknownLength = 0xFFFFFFFFu;
constexpr uint16_t kDeviceJpegCompression = 132;

inline uint32_t BaseMode(uint32_t scanMode) { return scanMode & 0x00FFFFFFu; }
inline uint32_t ModeKind(uint32_t scanMode) { return scanMode >> 24; }
inline bool IsUnknownLength(const SCANPARAMETER_UNION& p) {
  return p.LineNum == kUnknownLength && p.Length == kUnknownLength;
}
// The JFIF height a page of this line count starts with: 0 while its length is open (its page
// information gives the height at its end).
inline int32_t JfifHeightOf(uint32_t lineNum) {
  return lineNum == kUnknownLength ? 0 : static_cast<int32_t>(lineNum);
}

// Line bound of the device-side mode (inquiry bytes 112-119; never below 1).
uint32_t GetLineBoundary(const ScanModelInfo& model, const SCANPARAMETER_UNION& dev);
// Pixel bound of the record's mode from inquiry bytes 70-75; 16 for other modes.
uint32_t GetPixelBoundaryFWSide(const ScanModelInfo& model, const SCANPARAMETER_UNION& param);
// The bound a client must meet: fixed values with feature 28, else the device's.
uint32_t GetPixelBoundaryAPSide(const ScanModelInfo& model, const SCANPARAMETER_UNION& param);

// The device-side parameter of a model for the client's record. realRawRequested is the
// "LLDScanRealRaw" switch of the debug configuration, which keeps raw colour and grey.
void InitializeNewScanParameter(const ModelTraits& model, const ScanModelInfo& info,
                                const SCANPARAMETER_UNION& ap, bool realRawRequested,
                                DeviceScanParameter* out);

// True when the debug configuration holds the key "LLDScanRealRaw" with a non-zero number (the
// last such line counts). A missing file or key reads as false.
bool ReadRealRawSwitch();
