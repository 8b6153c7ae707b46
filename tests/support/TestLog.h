#pragma once
// A private log folder per test program, with the driver's log written unbuffered at level 1.
#include <string>

namespace testlog {
// Points VANTREL_LOG_ROOT at a fresh folder with a Debug.conf; returns the folder.
std::string Prepare(const char* name);
// The whole driver log written so far.
std::string Read();
bool Contains(const std::string& text);
// Where the log ends now, and what was written after such a mark: a test's own lines.
size_t Mark();
std::string Since(size_t mark);
}  // namespace testlog
