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
#define VT_KR_EXPORT(name) e.name = library.name;
#include "vantrel/kr_exports.def"
#undef VT_KR_EXPORT
  return e;
}

}  // namespace testsupport
