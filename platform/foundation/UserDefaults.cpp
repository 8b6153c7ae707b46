#include "platform/foundation/UserDefaults.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

namespace foundation {
namespace {
constexpr std::string_view kDefaultsExtension = ".plist";
}

std::filesystem::path UserDefaults::defaultFolder() {
  // Only an absolute XDG_CONFIG_HOME counts, as the XDG rules say.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return config;
  const char* home = std::getenv("HOME");
  if (home && *home) return std::filesystem::path(home) / ".config";
  passwd entry{};
  passwd* user = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &user) == 0 && user &&
      user->pw_dir) {
    return std::filesystem::path(user->pw_dir) / ".config";
  }
  return std::filesystem::temp_directory_path() / ".config";
}

UserDefaults::UserDefaults(std::string_view applicationId)
    : UserDefaults(applicationId, defaultFolder()) {}

UserDefaults::UserDefaults(std::string_view applicationId, const std::filesystem::path& folder)
    : file_(folder / (std::string(applicationId) + std::string(kDefaultsExtension))) {
  std::error_code ec;
  if (!std::filesystem::exists(file_, ec)) return;
  auto read = readDictionaryFile(file_);
  if (read) {
    values_ = std::move(*read);
  } else {
    loadError_ = read.error();
  }
}

Got<std::int64_t> UserDefaults::integer(std::string_view key) const {
  std::lock_guard lock(mutex_);
  return values_.integer(key);
}

Got<double> UserDefaults::real(std::string_view key) const {
  std::lock_guard lock(mutex_);
  return values_.real(key);
}

Got<bool> UserDefaults::boolean(std::string_view key) const {
  std::lock_guard lock(mutex_);
  return values_.boolean(key);
}

std::optional<Value> UserDefaults::object(std::string_view key) const {
  std::lock_guard lock(mutex_);
  const Value* v = values_.find(key);
  if (!v) return std::nullopt;
  return *v;
}

Status UserDefaults::set(std::string_view key, Value value) {
  std::lock_guard lock(mutex_);
  values_.set(key, std::move(value));
  return save();
}

Status UserDefaults::remove(std::string_view key) {
  std::lock_guard lock(mutex_);
  if (!values_.remove(key)) return Status::success();
  return save();
}

Status UserDefaults::save() {
  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  if (ec) {
    return Status::failure("cannot make \"" + file_.parent_path().string() + "\": " + ec.message());
  }
  return writePropertyList(file_, values_);
}

}  // namespace foundation
