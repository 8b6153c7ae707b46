#include "drv/device/ScannerModels.h"

#include "drv/device/SpecialGamma.h"

namespace {
constexpr uint32_t kModelTransferSize = 0x40000;

// What every model's InitializeVariables sets; only the duplex style differs.
void SetModelVariables(uint32_t* transferSize, bool* quality, bool* r2EndOfPage,
                       DeviceDuplexMode* duplex, DeviceDuplexMode style) {
  *transferSize = kModelTransferSize;
  *quality = true;
  *r2EndOfPage = false;
  *duplex = style;
}

void DeMuxInformation(uint16_t blockSize, uint8_t* flag, uint32_t* size) {
  if (flag != nullptr) *flag = 1;
  if (size != nullptr) *size = blockSize;
}
}  // namespace

// ---- QM540 family ----

CQM540::CQM540(const Device_Features* features) : CScanner(features, ScannerModel::QM540) {
  InitializeVariables();
}
CScanner* CQM540::Create() { return new CQM540; }
void CQM540::GetDeMuxDuplexInformation(uint8_t* flag, uint32_t* size) {
  DeMuxInformation(m_deMuxBlockSize, flag, size);
}
void CQM540::InitializeVariables() {
  SetModelVariables(&m_transferSize, &m_qualityMode, &m_r2EndOfPage, &m_duplexMode, 0);
}

CQRS7000::CQRS7000(const Device_Features* features) : CQM540(features) {}
CScanner* CQRS7000::Create() { return new CQRS7000; }

CQW3434::CQW3434(const Device_Features* features) : CQM540(features) {}
CScanner* CQW3434::Create() { return new CQW3434; }

// ---- QM310 family ----

CQM310::CQM310(const Device_Features* features) : CQM310(features, ScannerModel::QM310) {}
CQM310::CQM310(const Device_Features* features, ScannerModel model) : CScanner(features, model) {
  InitializeVariables();
}
CQM310::~CQM310() { InitializeVariables(); }
CScanner* CQM310::Create() { return new CQM310; }
void CQM310::GetDeMuxDuplexInformation(uint8_t* flag, uint32_t* size) {
  DeMuxInformation(m_deMuxBlockSize, flag, size);
}
void CQM310::InitializeNewScanParameter() { DeriveNewScanParameter(ScannerModel::QM310); }
void CQM310::InitializeVariables() {
  SetModelVariables(&m_transferSize, &m_qualityMode, &m_r2EndOfPage, &m_duplexMode, 7);
}

CQM310_DPI200with300X200::CQM310_DPI200with300X200(const Device_Features* features)
    : CQM310(features, ScannerModel::QM310_DPI200with300X200) {}
CScanner* CQM310_DPI200with300X200::Create() { return new CQM310_DPI200with300X200; }
void CQM310_DPI200with300X200::InitializeNewScanParameter() {
  DeriveNewScanParameter(ScannerModel::QM310_DPI200with300X200);
}

CPY272e::CPY272e(const Device_Features* features) : CQM310(features, ScannerModel::PY272e) {}
CScanner* CPY272e::Create() { return new CPY272e; }
void CPY272e::AdjustSendingGammaTable(uint8_t* table, uint8_t channel, uint32_t length,
                                      SCANPARAMETER_UNION* param) {
  AdjustSendingGammaTablePY272e(table, channel, length, param);
}

CQM520PX::CQM520PX(const Device_Features* features) : CQM310(features, ScannerModel::QM520PX) {}
CScanner* CQM520PX::Create() { return new CQM520PX; }
void CQM520PX::InitializeNewScanParameter() { DeriveNewScanParameter(ScannerModel::QM520PX); }

CQN70HT::CQN70HT(const Device_Features* features) : CQM310(features, ScannerModel::QN70HT) {}
CScanner* CQN70HT::Create() { return new CQN70HT; }
void CQN70HT::GetIRUVImageProcessVariable(uint32_t* count,
                                          CImageProcess_InitializeParameter** list) {
  if (count != nullptr) *count = m_iruvList.dwCount;
  if (list != nullptr) *list = m_iruvList.Items;
}
void CQN70HT::InitializeNewScanParameter() { DeriveNewScanParameter(ScannerModel::QN70HT); }
void CQN70HT::InitializeImageVariables(void* item) {
  SCANPARAMETER_UNION ap;
  GetAPScanParameter(&ap);
  ImageVariablesSource s = VariablesSource(ScannerModel::QN70HT, item);
  s.ap = &ap;
  ::InitializeImageVariables(s, &m_imageList, &m_iruvList);
  DumpImageProcessVariables(1, m_imageList.dwCount, m_imageList.Items);
  DumpImageProcessVariables(1, m_iruvList.dwCount, m_iruvList.Items);
}

// ---- models with their own copies of the QM310 operations ----

CPY8150::CPY8150(const Device_Features* features) : CScanner(features, ScannerModel::PY8150) {
  InitializeVariables();
}
CPY8150::~CPY8150() { InitializeVariables(); }
CScanner* CPY8150::Create() { return new CPY8150; }
void CPY8150::GetDeMuxDuplexInformation(uint8_t* flag, uint32_t* size) {
  DeMuxInformation(m_deMuxBlockSize, flag, size);
}
void CPY8150::InitializeNewScanParameter() { DeriveNewScanParameter(ScannerModel::PY8150); }
void CPY8150::InitializeVariables() {
  SetModelVariables(&m_transferSize, &m_qualityMode, &m_r2EndOfPage, &m_duplexMode, 7);
}

CSentrelH60::CSentrelH60(const Device_Features* features)
    : CScanner(features, ScannerModel::SentrelH60) {
  InitializeVariables();
}
CSentrelH60::~CSentrelH60() { InitializeVariables(); }
CScanner* CSentrelH60::Create() { return new CSentrelH60; }
void CSentrelH60::GetDeMuxDuplexInformation(uint8_t* flag, uint32_t* size) {
  DeMuxInformation(m_deMuxBlockSize, flag, size);
}
void CSentrelH60::InitializeNewScanParameter() { DeriveNewScanParameter(ScannerModel::SentrelH60); }
void CSentrelH60::InitializeVariables() {
  SetModelVariables(&m_transferSize, &m_qualityMode, &m_r2EndOfPage, &m_duplexMode, 7);
}
