// The colour drop-out page on the widget layer.
#include <system_error>

#include "ds/dialog/frame/PageControllers.h"

namespace ferrolite::dialog {

void ColorDropTab::doColorDropTabInit() {}

void ColorDropTab::setColorDropTabItems(int64_t) {}

bool ColorDropTab::previewFileExist() const {
  std::error_code error;
  return std::filesystem::is_regular_file(s_.previewFile(), error);
}

}  // namespace ferrolite::dialog
