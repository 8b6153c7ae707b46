#pragma once
// The dialog's notification protocol as data: the names, what a post carries, and the order in
// which the dialog registers its observers. Rules that post return their posts in order; the
// widget layer delivers them.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace ferrolite::dialog {

namespace note {
inline constexpr std::string_view kPageSizeByStepper = "pageSizeByStepper";
inline constexpr std::string_view kPreviewWin2Text = "PreviewWin2Text";
inline constexpr std::string_view kRectTextFieldChange = "RectTextFieldChange";
inline constexpr std::string_view kLandScapeAndPortraitCheck = "LandScapeAndPortraitCheck";
inline constexpr std::string_view kTextFieldMovement = "TextFieldMovement";
inline constexpr std::string_view kTextFieldBackMovement = "TextFieldBackMovement";
inline constexpr std::string_view kOptionEdgeChange = "optionEdgeChange";
inline constexpr std::string_view kOptionNoise = "optionNoise";
inline constexpr std::string_view kTextFieldMovementEnhancement = "TextFieldMovement_Enhancement";
inline constexpr std::string_view kTextFieldBackMovementEnhancement =
    "TextFieldBackMovement_Enhancement";
inline constexpr std::string_view kTextFieldMovementSetting = "TextFieldMovement_Setting";
inline constexpr std::string_view kTextFieldBackMovementSetting = "TextFieldBackMovement_Setting";
inline constexpr std::string_view kResolutionInput = "resolutionInput";
inline constexpr std::string_view kCustomColorChange = "CustomColorChange";
inline constexpr std::string_view kSetCustomColor = "setCustomColor";
inline constexpr std::string_view kMoveMousetoPreviewResultButton =
    "moveMousetoPreviewResultButton";
inline constexpr std::string_view kClickPreviewResultButton = "clickPreviewResultButton";
inline constexpr std::string_view kImprinterInput = "ImprinterInput";
inline constexpr std::string_view kImprinterTabCounter = "ImprinterTabCounter";
inline constexpr std::string_view kImprinterXOffset = "ImprinterXOffset";
inline constexpr std::string_view kImprinterYOffset = "ImprinterYOffset";
inline constexpr std::string_view kTextFieldMovementImprinter = "TextFieldMovement_Imprinter";
inline constexpr std::string_view kTextFieldBackMovementImprinter =
    "TextFieldBackMovement_Imprinter";
}  // namespace note

// The order in which the dialog registers its 23 observers at set-up.
inline constexpr std::array<std::string_view, 23> kObserverRegistrationOrder = {
    note::kPageSizeByStepper,
    note::kTextFieldMovementEnhancement,
    note::kTextFieldBackMovementEnhancement,
    note::kTextFieldMovementSetting,
    note::kTextFieldBackMovementSetting,
    note::kOptionEdgeChange,
    note::kOptionNoise,
    note::kResolutionInput,
    note::kPreviewWin2Text,
    note::kTextFieldMovement,
    note::kTextFieldBackMovement,
    note::kRectTextFieldChange,
    note::kCustomColorChange,
    note::kSetCustomColor,
    note::kMoveMousetoPreviewResultButton,
    note::kClickPreviewResultButton,
    note::kImprinterInput,
    note::kImprinterXOffset,
    note::kImprinterYOffset,
    note::kImprinterTabCounter,
    note::kTextFieldMovementImprinter,
    note::kTextFieldBackMovementImprinter,
    note::kLandScapeAndPortraitCheck,
};

// A userInfo value: an integer number, a float number or a text.
using PostValue = std::variant<int64_t, double, std::string>;

struct Post {
  std::string name;
  std::vector<std::pair<std::string, PostValue>> userInfo;  // in the order the poster builds it

  Post() = default;
  explicit Post(std::string_view n) : name(n) {}
  Post(std::string_view n, std::initializer_list<std::pair<std::string, PostValue>> info)
      : name(n), userInfo(info) {}
  bool operator==(const Post&) const = default;
};

using Posts = std::vector<Post>;

// {"which": value}, the userInfo of the steppers' and option fields' posts.
inline Post whichPost(std::string_view name, std::string_view which) {
  return Post(name, {{"which", std::string(which)}});
}

// "name {key: value, ...}" for test output and logs.
std::string describe(const Post& post);

}  // namespace ferrolite::dialog
