#pragma once
// The data source's resource folder for a test that scans through the real driver and the
// simulated scanner: a fresh folder holding "Vantrel.so" (a link to the build's driver), with
// the simulator chosen by a description file of the given lines.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "TestFolder.h"

namespace testsupport {

inline std::filesystem::path simulatedDataSourceResources(std::string_view name,
                                                          std::string_view description,
                                                          const char* driver,
                                                          const char* simulator) {
  const std::filesystem::path root = freshTestFolder(name);
  const std::filesystem::path file = root / "scanner.txt";
  std::ofstream(file) << description;
  setenv("VANTREL_SIMULATOR", file.c_str(), 1);
  setenv("VANTREL_SIM_LIBRARY", simulator, 1);
  std::filesystem::create_directories(root / "ds");
  std::filesystem::create_symlink(driver, root / "ds" / "Vantrel.so");
  return root / "ds";
}

}  // namespace testsupport
