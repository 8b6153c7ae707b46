// ferrolite-scanner: the Image Capture device module program.
#include "ica/ModuleEntry.h"

int main(int argc, char* argv[]) { return icamodule::FerroliteScannerMain(argc, argv); }
