#pragma once
// twain-scan's scan: a TWAIN application's session on an open manager. It negotiates what the
// options ask for, enables the source, and on each MSG_XFERREADY transfers the images (native,
// memory or file), ending each with MSG_ENDXFER, until the batch is over; then it disables and
// closes the source. One line per image on `out`; the condition code and the source's own text
// (its custom operation) on `err` when a transfer is cancelled or fails.
#include <cstdio>
#include <string>

#include "tools/twain/Host.h"
#include "tools/twain/ScanOptions.h"

namespace twainhost {

inline constexpr int kExitOk = 0, kExitSource = 1, kExitUsage = 2, kExitLoad = 3,
                     kExitNoScanner = 4, kExitNoPaper = 5;

// Whether a refused MSG_OPENDS says the source found no scanner it supports (or could not start
// it): the source refuses its open with one of these conditions then.
bool NoScanner(const Answer& opened);

// The session from MSG_OPENDS to MSG_CLOSEDS on a host whose manager holds the bundle; the exit
// status.
int RunScan(Host& host, const ScanOptions& options, std::FILE* out, std::FILE* err);

// The text of the source's custom operation as UTF-8.
std::string Utf8(const std::u16string& text);

}  // namespace twainhost
