#pragma once
// The data source as the settings dialog calls it: the dialog's own view of the data source
// (ds/dialog/DataSource.h) over the open TezFRLDS. The dialog's controller gets one at the
// enable step (getDS:) and calls nothing else of the data source.
#include <memory>

#include "ds/dialog/DataSource.h"

namespace ferrolite {

class TezFRLDS;

std::unique_ptr<dialog::DialogDataSource> makeDialogServices(TezFRLDS& source);

}  // namespace ferrolite
