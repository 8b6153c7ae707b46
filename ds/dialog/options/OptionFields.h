#pragma once
// The option page's nine text fields: four edge-fill widths, the despeckle noise number and
// radius, the image count and the two power times. Each filters what is typed, writes the
// record while the user types, posts, clamps at the end of editing and moves the focus round
// its tab's fields.
#include <string_view>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/TextFieldFamily.h"

namespace ferrolite::dialog {

enum class OptionField {
  LeftEdge,
  TopEdge,
  BottomEdge,
  RightEdge,
  NoiseNumber,
  NoiseRadius,
  ImageCount,
  EnergySaver,
  PowerOff,
};

FieldResult optionFieldChanged(OptionField field, std::string_view before, std::string_view after,
                               DialogContext& ctx);
FieldResult optionFieldEnded(OptionField field, std::string_view text, TextMovement movement,
                             DialogContext& ctx);

}  // namespace ferrolite::dialog
