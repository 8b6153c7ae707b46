#include "ds/dialog/frame/PageControllers.h"

namespace ferrolite::dialog {

void RotationTab::doRotationTabInit() { (void)s_; }

}  // namespace ferrolite::dialog
