#include "platform/ui/NotificationCenter.h"

#include <algorithm>
#include <utility>

namespace ui {

NotificationCenter::Token NotificationCenter::addObserver(std::string name, const void* object,
                                                          Observer observer) {
  Token token = next_++;
  entries_.push_back({token, std::move(name), object, std::move(observer)});
  return token;
}

void NotificationCenter::removeObserver(Token token) {
  std::erase_if(entries_, [&](const Entry& e) { return e.token == token; });
}

void NotificationCenter::post(std::string_view name, const void* object,
                              foundation::Dictionary userInfo) {
  const Notification notification{std::string(name), object, std::move(userInfo)};
  std::vector<Token> receivers;
  for (const Entry& e : entries_) {
    if ((e.name.empty() || e.name == name) && (!e.object || e.object == object)) {
      receivers.push_back(e.token);
    }
  }
  for (Token token : receivers) {
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.token == token; });
    if (it == entries_.end()) continue;  // removed by an earlier observer
    Observer observer = it->observer;    // the entry may go while it runs
    observer(notification);
  }
}

}  // namespace ui
