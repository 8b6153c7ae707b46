// DG_IMAGE / DAT_IMAGELAYOUT: the scan area as a TWAIN frame, and its conversion into the scan
// area of the settings. Only a successful MSG_SET or MSG_RESET changes the scan: a get or a
// refused set leaves the settings as they are.
#include <cstdio>
#include <string>

#include "ds/scan/common/TezFRLCommon.h"
#include "ds/twain/Capabilities.h"
#include "ds/twain/Options.h"
#include "ds/twain/TezFRLDS.h"

namespace ferrolite {
namespace {

// {0, 0, 8.5, 11} inches, document, page and frame 1.
constexpr TW_IMAGELAYOUT kDefaultLayout = {{{0, 0}, {0, 0}, {8, 0x8000}, {11, 0}}, 1, 1, 1};

}  // namespace

TW_UINT16 TezFRLDS::imageLayout(TW_IDENTITY*, TW_UINT16 msg, TW_IMAGELAYOUT* layout) {
  switch (msg) {
    case MSG_GET:
    case MSG_GETDEFAULT:
      if (mCurrentState < TWAIN_STATE_OPEN || mCurrentState > TWAIN_STATE_XFERREADY) {
        return fail(TWCC_SEQERROR);
      }
      *layout = msg == MSG_GET ? mImageLayout : kDefaultLayout;
      return TWRC_SUCCESS;
    case MSG_SET: {
      if (mCurrentState != TWAIN_STATE_OPEN) return fail(TWCC_SEQERROR);
      const TW_FRAME& f = layout->Frame;
      if (!frameFits(*this, fix32ToInches(f.Left), fix32ToInches(f.Top), fix32ToInches(f.Right),
                     fix32ToInches(f.Bottom))) {
        return fail(TWCC_BADVALUE);
      }
      mImageLayout = *layout;
      imageLayOut();
      return TWRC_SUCCESS;
    }
    case MSG_RESET:
      if (mCurrentState != TWAIN_STATE_OPEN) return fail(TWCC_SEQERROR);
      *layout = kDefaultLayout;
      mImageLayout = kDefaultLayout;
      imageLayOut();
      return TWRC_SUCCESS;
    default:
      return fail(TWCC_BADPROTOCOL);
  }
}

void TezFRLDS::imageLayOut() {
  const TW_FRAME f = mImageLayout.Frame;
  const double left = fix32ToInches(f.Left), top = fix32ToInches(f.Top),
               right = fix32ToInches(f.Right), bottom = fix32ToInches(f.Bottom);
  setScanFrame(left, top, right, bottom, true);
  mImageLayout.Frame = f;  // the host's own numbers, not their round trip through inches
  char text[128];
  std::snprintf(text, sizeof text, "Left=%.2f, Top=%.2f, Right=%.2f, Bottom=%.2f", left, top, right,
                bottom);
  if (gKrCommon) gKrCommon->outputDebugLog("Image layout", kLogBlank, 1, std::string(text));
}

}  // namespace ferrolite
