#include "platform/ica/Channel.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ica {

namespace {
constexpr std::size_t kLengthBytes = 4;

bool writeAll(int fd, const std::uint8_t* bytes, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::send(fd, bytes, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= std::size_t(n);
  }
  return true;
}

// False at the end of the stream or on an error; `clean` tells an end before the first byte.
bool readAll(int fd, std::uint8_t* bytes, std::size_t size, bool* clean) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *clean = done == 0;
      return false;
    }
    done += std::size_t(n);
  }
  return true;
}
}  // namespace

Channel::Channel(int fd) : fd_(fd) {}

Channel::~Channel() {
  if (fd_ >= 0) ::close(fd_);
}

foundation::Status Channel::send(const foundation::Dictionary& message) {
  auto bytes = foundation::serializePropertyList(message, foundation::PlistFormat::binary);
  if (!bytes) return foundation::Status::failure(bytes.error());
  if (bytes->size() > kMaxChannelMessageBytes)
    return foundation::Status::failure("message of " + std::to_string(bytes->size()) +
                                       " bytes is too large for the channel");
  std::uint8_t length[kLengthBytes];
  for (std::size_t i = 0; i < kLengthBytes; ++i)
    length[i] = std::uint8_t(bytes->size() >> (8 * (kLengthBytes - 1 - i)));
  std::lock_guard lock(sendMutex_);
  if (!writeAll(fd_, length, kLengthBytes) || !writeAll(fd_, bytes->data(), bytes->size()))
    return foundation::Status::failure(std::string("channel send failed: ") + std::strerror(errno));
  return foundation::Status::success();
}

foundation::Result<foundation::Dictionary> Channel::receive() {
  using R = foundation::Result<foundation::Dictionary>;
  std::uint8_t length[kLengthBytes];
  bool clean = false;
  if (!readAll(fd_, length, kLengthBytes, &clean))
    return R::failure(clean ? "closed" : "channel ended inside a message");
  std::size_t size = 0;
  for (std::uint8_t byte : length) size = size << 8 | byte;
  if (size == 0 || size > kMaxChannelMessageBytes)
    return R::failure("channel message of " + std::to_string(size) + " bytes refused");
  std::vector<std::uint8_t> bytes(size);
  if (!readAll(fd_, bytes.data(), size, &clean))
    return R::failure("channel ended inside a message");
  auto value = foundation::parsePropertyList(bytes);
  if (!value) return R::failure("channel message unreadable: " + value.error());
  auto dict = value->dictionary();
  if (!dict) return R::failure("channel message is not a dictionary");
  return *dict;
}

void Channel::shutdown() { ::shutdown(fd_, SHUT_RDWR); }

}  // namespace ica
