#pragma once
// What the batch asks of the progress window and the continue window. Kept narrow so that the
// windows' controller plugs in here and nowhere else.
#include <cstdint>

namespace ferrolite {

class TezFRLDS;

// processingError after the user's Cancel in the progress window.
inline constexpr int64_t kProgressCancelled = -100;
// The Count of DAT_PENDINGXFERS while more images may follow.
inline constexpr uint16_t kMoreImages = 0xFFFF;
// DAT_SETUPMEMXFER's sizes: the smallest buffer and the bounds of the suggested one.
inline constexpr uint32_t kMinBufSize = 32768;
inline constexpr uint32_t kPreferredMin = 0x400000;
inline constexpr uint32_t kPreferredMax = 0x2000000;

// Prepares the progress window for a batch and shows it when the settings ask for it.
void progressStart(TezFRLDS& source);
void progressEnableCancel(TezFRLDS& source, bool enabled);
void progressPercentage(TezFRLDS& source, int percent);
// The user pressed Cancel in the progress window.
bool progressCancelled(TezFRLDS& source);
// The continue window after the transport time-out: true when the user (or paper put into the
// feeder) continues the batch.
bool toBeContinued(TezFRLDS& source);

}  // namespace ferrolite
