#pragma once
// What changing to the paper page does to the record: a length or width below the source's
// minimum is raised to it, and the field shows the new value in the paper unit.
#include <optional>
#include <string>

#include "ds/dialog/DialogContext.h"

namespace ferrolite::dialog {

struct PaperPageEntry {
  std::optional<std::string> lengthText;  // set when wLength was raised
  std::optional<std::string> widthText;   // set when wWidth was raised
};
PaperPageEntry raiseToMinimumOnPaperPage(DialogContext& ctx);

}  // namespace ferrolite::dialog
