#pragma once
// Every library of the project (the driver, the data source, the plug-ins) exports its version
// word under one name, so that a client can show the version of what it loaded: major << 16 |
// minor << 8 | patch, printed "%d.%d.%d". A library without the entry has version 0.
#include <stdint.h>

#include "vantrel/export.h"

#define VANTREL_LIBRARY_VERSION_ENTRY "LibraryCurrentVersion"
#define VANTREL_LIBRARY_VERSION(major, minor, patch) \
  ((uint32_t)(major) << 16 | (uint32_t)(minor) << 8 | (uint32_t)(patch))

#ifdef __cplusplus
extern "C" {
#endif
typedef uint32_t (*LibraryCurrentVersionFn)(void);
#ifdef __cplusplus
}
#endif
