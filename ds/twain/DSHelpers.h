#pragma once
// Small helpers the data source's steps share: a text replacement and a line of its log.
#include <string>
#include <string_view>

#include "ds/scan/common/TezFRLCommon.h"

namespace ferrolite {

// Every occurrence of `from` replaced by `to`, left to right.
inline std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
  if (from.empty()) return text;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// One line of the data source's log; line breaks of a text are written as "\n", so that a
// message of several lines stays one log line.
inline void dsLog(std::string_view name, std::string_view status, int result,
                  const TezFRLCommon::LogData& data) {
  if (!gKrCommon) return;
  if (data.isText() && data.text().find('\n') != std::string_view::npos) {
    const std::string text = replaceAll(std::string(data.text()), "\n", "\\n");
    gKrCommon->outputDebugLog(name, status, result, text);
    return;
  }
  gKrCommon->outputDebugLog(name, status, result, data);
}

}  // namespace ferrolite
