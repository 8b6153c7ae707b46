#pragma once
// The driver's client exports as a test calls them: one pointer each, bound either to the loaded
// library (as the front ends reach it) or to the functions linked into the test program, so that
// one suite can run both ways.
#include <memory>
#include <string>

#include "tools/KrLibrary.h"
#include "vantrel/kr_api.h"

namespace testsupport {

struct KrExports {
#define VT_KR_EXPORT(name) decltype(&::name) name = nullptr;
#include "vantrel/kr_exports.def"
#undef VT_KR_EXPORT
};

// The library at `path` loaded as a front end loads it, every export bound; fails the test (and
// gives null) when it cannot be.
std::unique_ptr<vtclient::KrLibrary> LoadDriver(const std::string& path);
// The loaded library's exports.
KrExports ExportsOf(const vtclient::KrLibrary& library);

// The functions linked into the test program (only for programs that link the driver).
inline KrExports LinkedExports() {
  KrExports e;
#define VT_KR_EXPORT(name) e.name = &::name;
#include "vantrel/kr_exports.def"
#undef VT_KR_EXPORT
  return e;
}

}  // namespace testsupport
