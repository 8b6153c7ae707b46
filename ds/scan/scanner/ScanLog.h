#pragma once
// The scan layer's log lines, through the data source's common log writer.
#include <string>
#include <string_view>

#include "ds/scan/common/TezFRLCommon.h"

namespace ferrolite {

inline void scanLog(std::string_view name, std::string_view status, int ok,
                    const TezFRLCommon::LogData& data = kLogNoData) {
  if (gKrCommon) gKrCommon->outputDebugLog(name, status, ok, data);
}

// "0x%08lX" of a word, as the ability and parameter lines print masks.
std::string hex32(uint64_t value);

}  // namespace ferrolite
