// queryICAButton: the data source tells the Image Capture module's button reader to give the
// scanner up (stop) when it takes it, and to take it again (go) when it lets it go.
#include <vantrel/button_event.h>

#include "platform/foundation/Notifications.h"
#include "plugins/KRCocoa/KRCocoa.h"

#define KRCOCOA_EXPORT extern "C" __attribute__((visibility("default")))

// The vendor text names the caller in its own log; the notice is the same for every vendor.
KRCOCOA_EXPORT long queryICAButton(int32_t stop, const char* /*vendor*/) {
  try {
    foundation::Notification n{
        vantrel::kButtonEventNotification, std::string(vantrel::kScannerModuleBundleId), {}};
    n.userInfo.set(vantrel::kButtonEventKey,
                   stop ? vantrel::kButtonEventStop : vantrel::kButtonEventGo);
    // No module listening is no failure: there is no reader to stop.
    return foundation::postNotification(n).ok() ? 0 : -1;
  } catch (const std::exception&) {
    return -1;
  }
}
