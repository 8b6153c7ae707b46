#include "drv/device/ScannerModels.h"

CScanner* CreateSupportedModel() { return CQM310_DPI200with300X200::Create(); }
