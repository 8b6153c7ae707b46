#include "ds/dialog/Notifications.h"

#include <sstream>

namespace ferrolite::dialog {

std::string describe(const Post& post) {
  std::ostringstream out;
  out << post.name;
  if (!post.userInfo.empty()) {
    out << " {";
    const char* separator = "";
    for (const auto& [key, value] : post.userInfo) {
      out << separator << key << ": ";
      std::visit([&out](const auto& v) { out << v; }, value);
      separator = ", ";
    }
    out << "}";
  }
  return out.str();
}

}  // namespace ferrolite::dialog
