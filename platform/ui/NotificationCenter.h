#pragma once
// The window's notification centre: named notifications with an object and a userInfo
// dictionary, delivered synchronously. When post returns, every observer of the name (and of the
// object, where the observer gave one) has run, in the order the observers registered.
//
//   ui::NotificationCenter centre;
//   centre.addObserver("resolutionInput", nullptr, [&](const ui::Notification& n) {
//     int dpi = n.userInfo.integer("resolution").valueOr(0);
//   });
//   foundation::Dictionary info;
//   info.set("resolution", 300);
//   centre.post("resolutionInput", &field, info);
//
// An observer added while a notification is delivered does not receive that one; one removed
// while it is delivered receives nothing more. UI thread only.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/PropertyList.h"

namespace ui {

struct Notification {
  std::string name;
  const void* object = nullptr;  // the poster, compared by address only
  foundation::Dictionary userInfo;
};

class NotificationCenter {
 public:
  using Observer = std::function<void(const Notification&)>;
  using Token = std::uint64_t;

  NotificationCenter() = default;
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // `name` empty: every name; `object` null: any poster.
  Token addObserver(std::string name, const void* object, Observer observer);
  void removeObserver(Token token);
  void post(std::string_view name, const void* object, foundation::Dictionary userInfo = {});

 private:
  struct Entry {
    Token token;
    std::string name;
    const void* object;
    Observer observer;
  };
  std::vector<Entry> entries_;
  Token next_ = 1;
};

}  // namespace ui
