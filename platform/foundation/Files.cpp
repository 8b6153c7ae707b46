#include "platform/foundation/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace foundation {
namespace {

constexpr mode_t kNewFileMode = 0644;

std::string describe(const std::filesystem::path& path, const char* what, int error) {
  return std::string(what) + " \"" + path.string() + "\": " + std::strerror(error);
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

Result<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path) {
  using R = Result<std::vector<std::uint8_t>>;
  // Non-blocking open so that a FIFO in place of a file cannot hang the caller.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return R::failure(describe(path, "cannot open", errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    int e = errno;
    ::close(fd);
    return R::failure(describe(path, "cannot inspect", e));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return R::failure("cannot read \"" + path.string() + "\": not a regular file");
  }
  if (static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes) {
    ::close(fd);
    return R::failure("cannot read \"" + path.string() + "\": larger than " +
                      std::to_string(kMaxFileBytes) + " bytes");
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  // The size may change while we read: read to the end, within the limit.
  for (;;) {
    if (done == bytes.size()) {
      if (bytes.size() >= kMaxFileBytes) break;
      bytes.resize(std::min(kMaxFileBytes, bytes.size() + 4096));
    }
    ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      return R::failure(describe(path, "cannot read", e));
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes.resize(done);
  return bytes;
}

Status writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  if (path.filename().empty())
    return Status::failure("cannot write \"" + path.string() + "\": no file name");
  std::filesystem::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  std::string pattern = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
  int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return Status::failure(describe(path, "cannot create a temporary file for", errno));

  mode_t mode = kNewFileMode;
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    mode = existing.st_mode & 07777;
  }
  auto fail = [&](const char* what) {
    int e = errno;
    ::close(fd);
    ::unlink(pattern.c_str());
    return Status::failure(describe(path, what, e));
  };
  if (::fchmod(fd, mode) != 0) return fail("cannot set the mode of");
  if (!writeAll(fd, bytes.data(), bytes.size())) return fail("cannot write");
  if (::fsync(fd) != 0) return fail("cannot flush");
  if (::close(fd) != 0) {
    int e = errno;
    ::unlink(pattern.c_str());
    return Status::failure(describe(path, "cannot close", e));
  }
  if (::rename(pattern.c_str(), path.c_str()) != 0) {
    int e = errno;
    ::unlink(pattern.c_str());
    return Status::failure(describe(path, "cannot replace", e));
  }
  // The rename itself reaches the disk with the folder.
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return Status::success();
}

Result<std::chrono::system_clock::time_point> fileCreationDate(const std::filesystem::path& path) {
  using R = Result<std::chrono::system_clock::time_point>;
  struct statx info {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &info) != 0) {
    return R::failure(describe(path, "cannot inspect", errno));
  }
  // Not every file system keeps a birth time (the mask says whether this one did).
  const struct statx_timestamp& t = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec)));
}

std::filesystem::path mainProgramPath() {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : program;
}

}  // namespace foundation
