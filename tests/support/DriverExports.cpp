#include "DriverExports.h"

#include <gtest/gtest.h>

namespace testsupport {

std::unique_ptr<vtclient::KrLibrary> LoadDriver(const std::string& path) {
  std::string error;
  std::unique_ptr<vtclient::KrLibrary> library = vtclient::KrLibrary::Load(path, &error);
  EXPECT_NE(library, nullptr) << error;
  return library;
}

KrExports ExportsOf(const vtclient::KrLibrary& library) {
  KrExports e;
#define VT_TEST_EXPORT_COPY(name) e.name = library.name;
  VT_CLIENT_EXPORTS(VT_TEST_EXPORT_COPY)
#undef VT_TEST_EXPORT_COPY
  return e;
}

}  // namespace testsupport
