#pragma once
// The paper page's control names shared by its window data and its controller.
#include <array>
#include <string_view>

namespace ferrolite::dialog {

// The paper-size list the image and paper pages share, when the window binds it.
inline constexpr std::string_view kPaperListController = "mPaperNameController";

// The unit popup's items, by bPaperSizeUnit.
inline constexpr std::array<std::string_view, 3> kUnitKeys = {"Inch", "Millimeters", "Pixel"};

// One row of the scan area: X offset, Y offset, width, length (focus fields 1 to 4).
struct PaperAreaRow {
  std::string_view label;
  std::string_view labelKey;
  std::string_view field;
  std::string_view stepper;
};
inline constexpr std::array<PaperAreaRow, 4> kPaperAreaRows = {{
    {"mStaticXOffset", "XOffset", "mTextFieldXOffset", "mStepperXOffset"},
    {"mStaticYOffset", "YOffset", "mTextFieldYOffset", "mStepperYOffset"},
    {"mStaticWidth", "Width", "mTextFieldWidth", "mStepperWidth"},
    {"mStaticLength", "Length", "mTextFieldLength", "mStepperLength"},
}};

// The paper steppers tell up from down by their value against the last one: they rest in the
// middle of a span no click run can leave, and go back there after every click.
inline constexpr double kStepperSpan = 1000000;
inline constexpr double kStepperRest = kStepperSpan / 2;

// The six fields of the paper page's focus chain, by number (1 X ... 6 time-out).
inline constexpr std::array<std::string_view, 7> kPaperFocusFields = {
    "",
    "mTextFieldXOffset",
    "mTextFieldYOffset",
    "mTextFieldWidth",
    "mTextFieldLength",
    "mTextFieldAdditionDetect",
    "mTextFieldTimeOut",
};

}  // namespace ferrolite::dialog
