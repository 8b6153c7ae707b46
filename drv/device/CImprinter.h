#pragma once
// The device's imprinter object. The imprinter's commands derive from this; the registry only
// owns and destroys it.
#include "drv/device/KRObj.h"

class CImprinter : public KRObj {
 public:
  CImprinter() = default;
  virtual ~CImprinter() = default;
  CImprinter(const CImprinter&) = delete;
  CImprinter& operator=(const CImprinter&) = delete;
};
