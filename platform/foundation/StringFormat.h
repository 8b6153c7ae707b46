#pragma once
// printf-style text of any length, as the front ends form their paths and log lines.
//
//   std::string path = foundation::stringWithFormat("%s/%08x_scan.%s", folder, object, ext);
#include <cstdarg>
#include <string>

namespace foundation {

std::string stringWithFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string stringWithFormatV(const char* format, va_list args)
    __attribute__((format(printf, 1, 0)));

}  // namespace foundation
