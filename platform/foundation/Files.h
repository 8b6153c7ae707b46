#pragma once
// Whole-file reads and atomic writes, shared by the property-list, text and defaults services.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "platform/foundation/Result.h"

namespace foundation {

// Larger files are refused: every file these services read is a small resource or setting.
constexpr std::size_t kMaxFileBytes = 64u << 20;

// The bytes of a regular file (a folder, a pipe or a device is refused without blocking).
Result<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path);

// Writes a temporary file in the same folder and renames it over `path`, so a reader sees the
// old or the new content, never a part. An existing file keeps its permission bits; a new one
// gets 0644. On failure the old file is untouched and no temporary file is left.
Status writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// When the file was made: its birth time where the file system keeps one, else its last
// modification. Nothing when the file cannot be inspected.
Result<std::chrono::system_clock::time_point> fileCreationDate(const std::filesystem::path& path);

// The file of the program this process runs (the host application, not a module it loaded);
// empty when the system does not say.
std::filesystem::path mainProgramPath();

}  // namespace foundation
