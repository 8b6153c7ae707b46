#pragma once
// The scanner model classes. Each carries its traits (ModelTraits.h: the feature list and what
// its family's derivation, stage lists and answers read) and a factory; Create() allocates a
// default-constructed object and lets std::bad_alloc reach the caller. Only the PY272e adds an
// operation of its own, the gamma reshaping.
#include "drv/device/CScanner.h"

// A model class: its traits and its factory, nothing else.
#define VT_MODEL_CLASS_BODY(Class, Base)                                                          \
 public:                                                                                          \
  static const ModelTraits kTraits;                                                               \
  explicit Class(const Device_Features* features = kTraits.features) : Base(kTraits, features) {} \
  static CScanner* Create() { return new Class; }                                                 \
                                                                                                  \
 protected:                                                                                       \
  Class(const ModelTraits& traits, const Device_Features* features) : Base(traits, features) {}

class CQM540 : public CScanner {
  VT_MODEL_CLASS_BODY(CQM540, CScanner)
};
class CQRS7000 : public CQM540 {
  VT_MODEL_CLASS_BODY(CQRS7000, CQM540)
};
class CQW3434 : public CQM540 {
  VT_MODEL_CLASS_BODY(CQW3434, CQM540)
};
class CQM310 : public CScanner {
  VT_MODEL_CLASS_BODY(CQM310, CScanner)
};
// 600 and 300 dpi are native; 200 dpi is scanned 300 across and 200 along.
class CQM310_DPI200with300X200 : public CQM310 {
  VT_MODEL_CLASS_BODY(CQM310_DPI200with300X200, CQM310)
};
class CPY272e : public CQM310 {
  VT_MODEL_CLASS_BODY(CPY272e, CQM310)

 public:
  void AdjustSendingGammaTable(uint8_t* table, uint8_t channel, uint32_t length,
                               SCANPARAMETER_UNION* param) override;
};
class CQM520PX : public CQM310 {
  VT_MODEL_CLASS_BODY(CQM520PX, CQM310)
};
// The IR/UV family: its own derivation, stage lists and the IR/UV list.
class CQN70HT : public CQM310 {
  VT_MODEL_CLASS_BODY(CQN70HT, CQM310)
};
// The QM310 family's behaviour on models that do not derive from it.
class CPY8150 : public CScanner {
  VT_MODEL_CLASS_BODY(CPY8150, CScanner)
};
class CSentrelH60 : public CScanner {
  VT_MODEL_CLASS_BODY(CSentrelH60, CScanner)
};

#undef VT_MODEL_CLASS_BODY
