#pragma once
// Diagnostic files of the scan engine in the debug folder: written anew each time.
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "drv/platform/DbgLog.h"

// The file `name` (relative to the debug folder) holds the pieces one after another.
inline void ReplaceDebugRawFile(const char* name,
                                std::initializer_list<std::pair<const void*, size_t>> pieces) {
  DeleteDebugRawFile(name);
  for (const auto& [data, length] : pieces) {
    if (length != 0)
      AppendDebugRawFile(name, static_cast<const uint8_t*>(data), static_cast<uint32_t>(length));
  }
}
