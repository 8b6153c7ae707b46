#pragma once
// The multi-feed alarm's sound files: the system's sound folder, where the paper page's open
// panel starts, the file types it lists, and the default alarm, one of the desktop sound
// theme's sounds in that folder.
#include <array>
#include <string_view>

namespace ferrolite {

inline constexpr std::string_view kSystemSoundFolder = "/usr/share/sounds";
inline constexpr std::array<std::string_view, 3> kAlarmSoundExtensions = {"wav", "ogg", "oga"};
inline constexpr std::string_view kDefaultAlarmSound =
    "/usr/share/sounds/freedesktop/stereo/alarm-clock-elapsed.oga";
static_assert(kDefaultAlarmSound.starts_with(kSystemSoundFolder));
static_assert(kDefaultAlarmSound.ends_with(kAlarmSoundExtensions[2]));

}  // namespace ferrolite
