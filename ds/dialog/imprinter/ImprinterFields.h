#pragma once
// The imprinter page's four text fields: the custom text (at most 31 characters), the counter
// (digits below 2147483647) and the two offsets (digits up to the feeder's width or length in
// millimetres). A paste is cut until it fits, as typing one character at a time would be.
#include <string_view>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/TextFieldFamily.h"

namespace ferrolite::dialog {

enum class ImprinterField { CustomText, Counter, XOffset, YOffset };

inline constexpr std::size_t kImprintTextLimit = 31;
inline constexpr int32_t kCounterLimit = 2147483647;

FieldResult imprinterFieldChanged(ImprinterField field, std::string_view before,
                                  std::string_view after, DialogContext& ctx);
FieldResult imprinterFieldEnded(ImprinterField field, std::string_view text, TextMovement movement,
                                DialogContext& ctx);

}  // namespace ferrolite::dialog
