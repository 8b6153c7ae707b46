#pragma once
// The image page's resolution: the digit-only field's typing filter and end of editing, the
// "resolutionInput" handler, the popup and the stepper, and what a resolution change does to
// the paper page (its pixel figures, the paper list, the long page of the older interface).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/TextFieldFamily.h"
#include "ds/dialog/image/ImageTypeButtons.h"
#include "ds/dialog/image/PaperSizeList.h"

namespace ferrolite::dialog {

inline constexpr uint16_t kTypingResolutionLimit = 600;
inline constexpr uint16_t kLowestKeptResolution = 75;

// ImageTabResTextField_V2Tez_FRL: every keystroke writes the typed value into the mode's
// resolution (also below 72) and posts "resolutionInput" for 72 to 600.
FieldResult resolutionFieldChanged(std::string_view before, std::string_view after,
                                   DialogContext& ctx);
// Leaving an empty field refills it with the stored resolution.
std::optional<std::string> resolutionFieldShouldEnd(std::string_view text, DialogContext& ctx);
// 75 to 600 stays; anything else stores 72, shows "72" and posts "resolutionInput" with 72.
FieldResult resolutionFieldEnded(std::string_view text, DialogContext& ctx);

// The popup's and the "resolutionInput" handler's state of the resolution controls.
struct ResolutionChange {
  int64_t mResValue = 0;
  int presetIndex = 0;
  std::optional<std::string> fieldText;  // the popup shows its preset in the field
  bool pointsUnit = false;               // the preview's rulers take "Point" (pixel unit)
};
// resolutionInputNotification: follows the posted resolution (no profile switch).
ResolutionChange resolutionInput(DialogContext& ctx, int64_t resolution);
// imageTabResPopup: index 0-5 stores its preset; the custom entry stores nothing and keeps the
// resolution the transformer last saw.
ResolutionChange resolutionPopupChosen(DialogContext& ctx, int index, int64_t mResValue);
// imageTabResStepper: stores the value; answers the popup index (custom unless a preset).
int resolutionStepped(DialogContext& ctx, int64_t value);

// changePixelByResolution: in the pixel unit the bridge's pixel figures at the mode's
// resolution and their texts (X, Y, width, length); nothing in other units.
struct PixelFigures {
  std::string x, y, width, length;
};
std::optional<PixelFigures> changePixelByResolution(DialogContext& ctx);

// checkOldAvapiPaperSize: with the older interface, a checked type above 300 dpi turns a long
// page into custom at the feeder's maximum length. Answers whether it did (the list selects
// its last item and the paper page is rebuilt).
bool checkOldAvapiPaperSize(DialogContext& ctx, const ImageTypeButtons& buttons);

// paperSizeInitial: with the current interface the list is rebuilt for the new resolution,
// the long page's length held to the limit, and the length field's text answered.
struct PaperSizeInitial {
  PaperList list;
  std::size_t selected = 0;
  std::string lengthText;
};
std::optional<PaperSizeInitial> paperSizeInitial(DialogContext& ctx, PaperTbl& table,
                                                 LongPageState& longPage,
                                                 const LanguageBundle& language,
                                                 bool settingsFileExists);

}  // namespace ferrolite::dialog
