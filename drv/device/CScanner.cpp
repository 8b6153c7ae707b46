#include "drv/device/CScanner.h"

#include <cstring>

#include "drv/device/CScannerManager.h"
#include "drv/platform/DbgLog.h"

const ModelTraits CScanner::kBaseTraits = {
    "CScanner", nullptr, ResolutionRule::AsAsked, false, false, 0x10000, 0, 16, 0, false};

CScanner::CScanner() : CScanner(kBaseTraits, nullptr) {}

CScanner::CScanner(const Device_Features* features) : CScanner(kBaseTraits, features) {}

CScanner::CScanner(const ModelTraits& traits, const Device_Features* features)
    : m_info(features, m_inquiry, kInquiryCopySize), m_traits(&traits) {
  InitializeVariables();
}

void CScanner::InitializeVariables() {
  m_transferSize = m_traits->transferSize;
  m_qualityMode = true;
  m_r2EndOfPage = false;
  m_duplexMode = m_traits->duplexMode;
}

CScanner::~CScanner() = default;

void CScanner::GetImageProcessVariable(uint32_t side, uint32_t* count,
                                       CImageProcess_InitializeParameter** list) {
  const ImageProcessList* chosen = nullptr;
  if (side == 0 || side == 1) chosen = &m_imageList;
  if (side == 2 || side == 3) chosen = &m_backgroundList;
  if (count != nullptr) *count = chosen != nullptr ? chosen->dwCount : 0;
  if (list != nullptr) {
    *list =
        chosen != nullptr ? const_cast<CImageProcess_InitializeParameter*>(chosen->Items) : nullptr;
  }
}

void CScanner::GetIRUVImageProcessVariable(uint32_t* count,
                                           CImageProcess_InitializeParameter** list) {
  const bool built = m_traits->irUv;
  if (count != nullptr) *count = built ? m_iruvList.dwCount : 0;
  if (list != nullptr) *list = built ? m_iruvList.Items : nullptr;
}

uint32_t CScanner::GetTransferSize() {
  const SCANPARAMETER_UNION& dev = m_store.Device().dev;
  const uint32_t kind = ModeKind(dev.ScanMode);
  if (kind >= 3 && kind <= 7) return m_transferSize;
  // The transfer size is meant for 24-bit colour.
  const uint32_t small = static_cast<uint32_t>(uint64_t{m_transferSize} * dev.BitsPerPixel / 24);
  const bool continuous = (dev.ScanMethod == 1 || dev.ScanMethod == 4 || dev.ScanMethod == 5) &&
                          (dev.CtrlMode & 0x4) != 0 && (dev.CtrlMode & 0x1) == 0;
  if (!GetFeature(kFeatureContinuousTransfer) && continuous &&
      !GetFeature(kFeatureTransferSizeIgnoresContinuous)) {
    const uint64_t inch = uint64_t{dev.YRes} * (uint64_t{dev.BitsPerPixel} * dev.PixelNum / 8);
    return inch < m_transferSize ? static_cast<uint32_t>(inch) : m_transferSize;
  }
  return small;
}

bool CScanner::IsR2EOPStyle() {
  if (GetFeature(kFeatureR2EndOfPage)) return true;
  if (GetFeature(kFeatureR2EndOfPageByModel)) return m_r2EndOfPage;
  return false;
}

uint32_t CScanner::GetLineBoundary() { return ::GetLineBoundary(m_info, m_store.Device().dev); }

void CScanner::GetDeMuxDuplexInformation(uint8_t* flag, uint32_t* size) {
  const bool reported = m_traits->deMuxInformation;
  if (flag != nullptr) *flag = reported ? 1 : 0;
  if (size != nullptr) *size = reported ? m_deMuxBlockSize : 0;
}

void CScanner::InitializeNewScanParameter() {
  SCANPARAMETER_UNION ap;
  m_store.GetAPScanParameter(&ap);
  // The switch is read only where it matters: it keeps raw data on the JPEG-capable models.
  const bool realRaw = GetFeature(kFeatureExtendedModes) && ReadRealRawSwitch();
  ::InitializeNewScanParameter(*m_traits, m_info, ap, realRaw, &m_store.Device());
}

ImageVariablesSource CScanner::VariablesSource(void* item) const {
  ImageVariablesSource s{};
  s.model = m_traits;
  s.info = &m_info;
  s.device = &m_store.Device();
  s.blQualityMode = m_qualityMode;
  const auto* owner = static_cast<const CScannerManagerScannerItem*>(item);
  static const double kDefaultWeights[3] = {0.299, 0.587, 0.114};
  for (int i = 0; i < 3; ++i)
    s.YCCCoefficient[i] = owner != nullptr ? owner->GreyWeights[i] : kDefaultWeights[i];
  return s;
}

void CScanner::InitializeImageVariables(void* item) {
  SCANPARAMETER_UNION ap;
  m_store.GetAPScanParameter(&ap);
  ImageVariablesSource s = VariablesSource(item);
  s.ap = &ap;
  ::InitializeImageVariables(s, &m_imageList, &m_iruvList);
  DumpImageProcessVariables(1, m_imageList.dwCount, m_imageList.Items);
  if (m_traits->irUv) DumpImageProcessVariables(1, m_iruvList.dwCount, m_iruvList.Items);
}

void CScanner::InitializeBackgroundVariables(void* item) {
  SCANPARAMETER_UNION ap;
  m_store.GetAPScanParameter(&ap);
  ImageVariablesSource s = VariablesSource(item);
  s.ap = &ap;
  ::InitializeBackgroundVariables(s, &m_backgroundList);
  DumpImageProcessVariables(1, m_backgroundList.dwCount, m_backgroundList.Items);
}

void CScanner::TransformScanParameter(void* item) {
  InitializeNewScanParameter();
  InitializeImageVariables(item);
  InitializeBackgroundVariables(item);
}

bool CScanner::SetInquiryData(const uint8_t* data, uint32_t available) {
  if (data == nullptr || available < 5) return false;
  if (data[2] != 2) {
    DbgPrintf(1, "Error , not support inquiry version: %d", data[2]);
    return false;
  }
  uint32_t size = static_cast<uint32_t>(data[3] << 8 | data[4]);
  if (size > kInquiryCopySize) size = kInquiryCopySize;
  if (size > available) size = available;
  std::memset(m_inquiry, 0, sizeof m_inquiry);
  std::memcpy(m_inquiry, data, size);
  return true;
}

void CScanner::GetInquiryData(uint8_t* out) const {
  if (out != nullptr) std::memcpy(out, m_inquiry, sizeof m_inquiry);
}

uint32_t CScanner::GetPixelBoundaryFWSide(void* /*item*/, const SCANPARAMETER_UNION* param) const {
  return param != nullptr ? ::GetPixelBoundaryFWSide(m_info, *param) : 1;
}

uint32_t CScanner::GetPixelBoundaryAPSide(void* /*item*/, const SCANPARAMETER_UNION* param) const {
  return param != nullptr ? ::GetPixelBoundaryAPSide(m_info, *param) : 1;
}

void CScanner::GetWindowDescriptor(void* /*item*/, KR_WindowDataSet_VER2* out,
                                   const SCANPARAMETER_UNION* param) const {
  // The builder logs the entry and exit lines.
  if (out != nullptr && param != nullptr)
    BuildWindowDescriptor(CScannerManager::GetCtrlID(), *param, out);
}

void CScanner::GetWindowDescriptor(void* item, KR_WindowDataSet_VER2* out) const {
  GetWindowDescriptor(item, out, &m_store.Device().dev);
}
