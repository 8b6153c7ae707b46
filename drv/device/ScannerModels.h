#pragma once
// The scanner model classes. Each differs from CScanner in a few operations: how the
// device-side scan parameter is derived, the duplex de-multiplexing information, the JPEG size
// bound, the PY272e's gamma reshaping and the QN70HT's IR/UV stage list. Create() allocates a
// default-constructed object and lets std::bad_alloc reach the caller.
#include "drv/device/CScanner.h"

class CQM540 : public CScanner {
 public:
  explicit CQM540(const Device_Features* features = GetModelFeatureList(ScannerModel::QM540));
  static CScanner* Create();

  void GetDeMuxDuplexInformation(uint8_t* flag, uint32_t* size) override;
  uint32_t GetFlashRAMCCDType() override { return 3; }
  void InitializeVariables();
};

class CQRS7000 : public CQM540 {
 public:
  explicit CQRS7000(const Device_Features* features = GetModelFeatureList(ScannerModel::QRS7000));
  static CScanner* Create();
};

class CQW3434 : public CQM540 {
 public:
  explicit CQW3434(const Device_Features* features = GetModelFeatureList(ScannerModel::QW3434));
  static CScanner* Create();
};

class CQM310 : public CScanner {
 public:
  explicit CQM310(const Device_Features* features = GetModelFeatureList(ScannerModel::QM310));
  ~CQM310() override;
  static CScanner* Create();

  uint32_t GetJPEGSizeBoundary() override { return 32; }
  void GetDeMuxDuplexInformation(uint8_t* flag, uint32_t* size) override;
  void AdjustSendingGammaTable(uint8_t*, uint8_t, uint32_t, SCANPARAMETER_UNION*) override {}
  void InitializeNewScanParameter() override;
  virtual void InitializeVariables();

 protected:
  CQM310(const Device_Features* features, ScannerModel model);
};

class CQM310_DPI200with300X200 : public CQM310 {
 public:
  explicit CQM310_DPI200with300X200(
      const Device_Features* features = GetModelFeatureList(ScannerModel::QM310_DPI200with300X200));
  ~CQM310_DPI200with300X200() override = default;
  static CScanner* Create();

  // 600 and 300 dpi are native; 200 dpi is scanned 300 across and 200 along.
  void InitializeNewScanParameter() override;
};

class CPY272e : public CQM310 {
 public:
  explicit CPY272e(const Device_Features* features = GetModelFeatureList(ScannerModel::PY272e));
  ~CPY272e() override = default;
  static CScanner* Create();

  void AdjustSendingGammaTable(uint8_t* table, uint8_t channel, uint32_t length,
                               SCANPARAMETER_UNION* param) override;
};

class CQM520PX : public CQM310 {
 public:
  explicit CQM520PX(const Device_Features* features = GetModelFeatureList(ScannerModel::QM520PX));
  ~CQM520PX() override = default;
  static CScanner* Create();

  void InitializeNewScanParameter() override;
};

class CQN70HT : public CQM310 {
 public:
  explicit CQN70HT(const Device_Features* features = GetModelFeatureList(ScannerModel::QN70HT));
  ~CQN70HT() override = default;
  static CScanner* Create();

  void GetIRUVImageProcessVariable(uint32_t* count,
                                   CImageProcess_InitializeParameter** list) override;
  void InitializeNewScanParameter() override;
  // Also builds the IR/UV list.
  void InitializeImageVariables(void* item) override;

 private:
  ImageProcessList m_iruvList;
};

// Own copies of the QM310 operations on a model that does not derive from it.
class CPY8150 : public CScanner {
 public:
  explicit CPY8150(const Device_Features* features = GetModelFeatureList(ScannerModel::PY8150));
  ~CPY8150() override;
  static CScanner* Create();

  uint32_t GetJPEGSizeBoundary() override { return 32; }
  void GetDeMuxDuplexInformation(uint8_t* flag, uint32_t* size) override;
  void InitializeNewScanParameter() override;
  virtual void InitializeVariables();
};

class CSentrelH60 : public CScanner {
 public:
  explicit CSentrelH60(
      const Device_Features* features = GetModelFeatureList(ScannerModel::SentrelH60));
  ~CSentrelH60() override;
  static CScanner* Create();

  uint32_t GetJPEGSizeBoundary() override { return 32; }
  void GetDeMuxDuplexInformation(uint8_t* flag, uint32_t* size) override;
  void InitializeNewScanParameter() override;
  virtual void InitializeVariables();
};
