#include "platform/foundation/StringFormat.h"

#include <cstdio>

namespace foundation {

std::string stringWithFormatV(const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(nullptr, 0, format, args);
  std::string text;
  if (n > 0) {
    text.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    text.resize(static_cast<std::size_t>(n));
  }
  va_end(again);
  return text;
}

std::string stringWithFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = stringWithFormatV(format, args);
  va_end(args);
  return text;
}

}  // namespace foundation
