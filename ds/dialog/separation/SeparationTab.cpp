#include "ds/dialog/frame/PageControllers.h"

namespace ferrolite::dialog {

void SeparationTab::doSeparationTabInit() { (void)s_; }

}  // namespace ferrolite::dialog
