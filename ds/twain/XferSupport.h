#pragma once
// The numbers of the batch and its transfers, named once.
#include <cstdint>

namespace ferrolite {

// processingError after the user's Cancel in the progress window.
inline constexpr int64_t kProgressCancelled = -100;
// The Count of DAT_PENDINGXFERS while more images may follow.
inline constexpr uint16_t kMoreImages = 0xFFFF;
// DAT_SETUPMEMXFER's sizes: the smallest buffer and the bounds of the suggested one.
inline constexpr uint32_t kMinBufSize = 32768;
inline constexpr uint32_t kPreferredMin = 0x400000;
inline constexpr uint32_t kPreferredMax = 0x2000000;

}  // namespace ferrolite
