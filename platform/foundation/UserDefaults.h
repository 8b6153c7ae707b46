#pragma once
// User defaults: the settings one application keeps for the user, a property-list dictionary in
// "<folder>/<application id>.plist". The folder is $XDG_CONFIG_HOME, else ~/.config; tests pass
// their own folder (or set XDG_CONFIG_HOME for a program they start).
//
//   foundation::UserDefaults defaults(kModuleIdentifier);
//   double gamma = defaults.real("gamma").valueOr(1.8);
//   defaults.set("last_crop", true);                    // written through at once
//
// The file is read when the object is made. Safe to use from several threads.
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/foundation/PropertyList.h"

namespace foundation {

class UserDefaults {
 public:
  explicit UserDefaults(std::string_view applicationId);
  UserDefaults(std::string_view applicationId, const std::filesystem::path& folder);

  static std::filesystem::path defaultFolder();
  const std::filesystem::path& file() const { return file_; }
  // Why the file could not be read when the object was made; empty when it was read or did not
  // exist (then the defaults start empty).
  const std::string& loadError() const { return loadError_; }

  // Typed lookups as in Dictionary. A copy of the value for the other kinds.
  Got<std::int64_t> integer(std::string_view key) const;
  Got<double> real(std::string_view key) const;
  Got<bool> boolean(std::string_view key) const;
  std::optional<Value> object(std::string_view key) const;

  // Stores the value and writes the file (making its folder when needed).
  Status set(std::string_view key, Value value);
  Status remove(std::string_view key);

 private:
  Status save();  // with the lock held

  std::filesystem::path file_;
  std::string loadError_;
  mutable std::mutex mutex_;
  Dictionary values_;
};

}  // namespace foundation
