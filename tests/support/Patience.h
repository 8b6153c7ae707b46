#pragma once
// How long a test waits for something that must happen (a page's end, a thread's exit, a loop's
// close). Only a hang reaches it: it is far above any run on a machine loaded many times over,
// so a test never fails because others build beside it.
#include <chrono>

namespace testsupport {

inline constexpr std::chrono::seconds kPatience{120};

}  // namespace testsupport
