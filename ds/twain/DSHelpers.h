#pragma once
// Small helpers the data source's steps share: a line of its log and a text replacement.
#include <string>
#include <string_view>

#include "ds/scan/common/TezFRLCommon.h"

namespace ferrolite {

inline void dsLog(std::string_view name, std::string_view status, int result,
                  const TezFRLCommon::LogData& data) {
  if (gKrCommon) gKrCommon->outputDebugLog(name, status, result, data);
}

// Every occurrence of `from` replaced by `to`, left to right.
inline std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
  if (from.empty()) return text;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

}  // namespace ferrolite
