#pragma once
// The simulated scanners a data-source test opens, and a bundle's resource folder laid out as the
// build lays out Ferrolite/Resources: the driver and the plug-ins (links to the build's), the
// device list and the language folders. The simulator keeps the first description a process
// gives it, so every test of a program shares one: two scanners, the supported model
// (SIM0000001, product 0x0310) and a second one (SIM0000002, product 0x0311) that the shipped
// device list does not name. Tests that unplug one plug it in again.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/TestFolder.h"

namespace dstest {

// A test program may describe its scanners otherwise by defining DSTEST_SIM_DESCRIPTION first.
#ifndef DSTEST_SIM_DESCRIPTION
#define DSTEST_SIM_DESCRIPTION \
  "serial SIM0000001\nsheets 3\nscanner\nserial SIM0000002\nproduct-id 0x0311\n"
#endif
inline constexpr const char* kSimDescription = DSTEST_SIM_DESCRIPTION;

inline const std::filesystem::path& simulatorFolder() {
  static const std::filesystem::path folder = [] {
    std::filesystem::path f = testsupport::freshTestFolder("ds-twain-sim");
    std::ofstream(f / "scanners.txt") << kSimDescription;
    std::filesystem::create_directories(f / "module");
    return f;
  }();
  return folder;
}

// The module's resource folder the data source also looks in (empty unless a test fills it).
inline std::filesystem::path moduleResources() { return simulatorFolder() / "module"; }

inline void link(const std::filesystem::path& target, const std::filesystem::path& link) {
  std::error_code ignored;
  std::filesystem::remove(link, ignored);
  std::filesystem::create_symlink(target, link);
}

// Points the process at the simulator and lays out `resources` with the driver, the plug-ins,
// the device list and the language folders.
inline void useSimulatedScanner(const std::filesystem::path& resources) {
  setenv("VANTREL_SIMULATOR", (simulatorFolder() / "scanners.txt").c_str(), 1);
  setenv("VANTREL_SIM_LIBRARY", VANTREL_SIM_PATH, 1);
  setenv("FERROLITE_SCANNER_RESOURCES", moduleResources().c_str(), 1);
  std::filesystem::create_directories(resources);
  link(VANTREL_LIBRARY_PATH, resources / "Vantrel.so");
  link(LUMETRA_LIBRARY_PATH, resources / "Lumetra.so");
  link(KRCOCOA_LIBRARY_PATH, resources / "KRCocoa.so");
  link(CHROMALIS_LIBRARY_PATH, resources / "Chromalis.so");
  link(STRIPECODE_LIBRARY_PATH, resources / "Stripecode.so");
  const std::filesystem::path shipped = FERROLITE_RESOURCES;
  std::filesystem::copy(
      shipped, resources,
      std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
}

}  // namespace dstest
