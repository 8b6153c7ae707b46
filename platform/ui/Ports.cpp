#include "platform/ui/Ports.h"

namespace ui {

std::string localizedText(const Strings& strings, std::string_view key, Fallback fallback) {
  switch (fallback) {
    case Fallback::literal:
      return std::string(key);
    case Fallback::key:
      return strings.localized(key, key);
    case Fallback::keyWithQuestionMark:
      return strings.localized(key, std::string(key) + "?");
  }
  return std::string(key);
}

}  // namespace ui
