#pragma once
// The module's entry: the scanner callback table, the table of open device objects keyed by
// their place (USB location id, FireWire GUID, network service name) and the search that turns a
// USB location id into a device object.
#include <cstdint>
#include <memory>

#include "ica/ICA_Base.h"
#include "platform/ica/ICADevices.h"

namespace icamodule {

// The process entry of the module program: options, the callback table, ICD_ScannerMain.
int FerroliteScannerMain(int argc, char* argv[]);

// The options: "-d <argument>" makes gArgc 2 and gArgv {program, argument cut to 30 characters}.
void ReadModuleOptions(int argc, char* argv[]);
// Fills gICDScannerCallbackFunctions with the module's callbacks (slots 1, 12 and 21 stay).
void InstallScannerCallbacks();
// The table of open devices, made before the framework runs and released after it.
void CreateScannersDictionary();
void ReleaseScannersDictionary();
std::size_t OpenScannerCount();
// The open device object at a USB location id; null when none is open there.
ICA_Base* OpenScanner(uint32_t locationID);

// A new device object for the USB device at `locationID`, or nothing when the device, its entry
// in "DeviceList.plist" or its driver library is missing (or the library is refused).
std::unique_ptr<ICA_Base> findScannerModuleByUSBLocationID(uint32_t locationID);

// The option "-d": its argument, cut to this many characters.
inline constexpr std::size_t kDebugArgumentMax = 30;

}  // namespace icamodule
