#pragma once
// The diagnostic sheet described as data: one view per panel of both driver interfaces, each
// built from the panel's table of record fields or bits, and the sheet's OK button.
#include "platform/ui/Layout.h"

namespace ferrolite::dialog {

ui::WindowSpec makeDiagnosticSheetSpec();

}  // namespace ferrolite::dialog
