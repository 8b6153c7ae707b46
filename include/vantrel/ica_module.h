#pragma once
// The Image Capture module's identity, and the notification with which other programs (the data
// source, through its KRCocoa plug-in) tell the module's button reader to give the scanner's
// interrupt pipe up and to take it again. Shared by the module and every program that posts it.

namespace vantrel {

// The module's bundle identifier: the object of the button notification and the application id
// of the module's user defaults.
inline constexpr const char* kScannerModuleBundleId = "com.vantrel.FerroliteScanner";

// Posted as a local notification (foundation::postNotification) with the bundle identifier as
// the object and the user information {kButtonEventStopOrGoKey: "stop" | "go"}.
inline constexpr const char* kButtonEventNotification = "none.ica.button.event";
inline constexpr const char* kButtonEventStopOrGoKey = "StopOrGo";
inline constexpr const char* kButtonEventStop = "stop";
inline constexpr const char* kButtonEventGo = "go";

}  // namespace vantrel
