#include "drv/device/CScanner.h"

#include <new>

CScanner* CreateSupportedModel() { return new (std::nothrow) CScanner; }
