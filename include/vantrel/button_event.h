#pragma once
// The notification by which other programs switch the Image Capture module's button reader off
// and on, so that one reader owns the scanner's interrupt pipe: posted by the data source's
// plug-in KRCocoa, observed by the module.
namespace vantrel {

inline constexpr const char* kButtonEventNotification = "none.ica.button.event";
inline constexpr const char* kButtonEventKey = "StopOrGo";
inline constexpr const char* kButtonEventStop = "stop";
inline constexpr const char* kButtonEventGo = "go";
// The module's answer (same object) once its reader has let the scanner go after a "stop".
inline constexpr const char* kButtonReleasedNotification = "none.ica.button.released";
// While the module listens for these notices it keeps a file "<this>.<process id>" in the
// notification folder, so that a data source knows an answer will come and waits for it.
inline constexpr const char* kButtonReaderMarker = "button-reader";
// The Image Capture module's bundle identifier: the notification's object.
inline constexpr const char* kScannerModuleBundleId = "com.olmex.ferrolite-scanner";

}  // namespace vantrel
