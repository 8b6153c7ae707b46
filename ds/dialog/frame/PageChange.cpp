#include "ds/dialog/frame/PageChange.h"

#include "ds/dialog/ScanArea.h"
#include "ds/dialog/Units.h"

namespace ferrolite::dialog {

PaperPageEntry raiseToMinimumOnPaperPage(DialogContext& ctx) {
  ScanSetting& r = ctx.record();
  PaperPageEntry entry;
  const uint32_t minLength = minimumLength(r, ctx.extra);
  const uint32_t minWidth = minimumWidth(r, ctx.extra);
  if (r.wLength < minLength) {
    r.wLength = saturate<uint16_t>(minLength);
    entry.lengthText = unitText(r.bPaperSizeUnit, r.wLength, ctx.bridge.currentRes);
  }
  if (r.wWidth < minWidth) {
    r.wWidth = saturate<uint16_t>(minWidth);
    entry.widthText = unitText(r.bPaperSizeUnit, r.wWidth, ctx.bridge.currentRes);
  }
  return entry;
}

}  // namespace ferrolite::dialog
