#include "platform/ui/Properties.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <utility>

namespace ui {

std::string textOfValue(const Value& value) {
  switch (value.kind()) {
    case foundation::Kind::integer:
      return std::to_string(*value.integer());
    case foundation::Kind::real: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%g", *value.real());
      return buffer;
    }
    case foundation::Kind::string:
      return *value.string();
    default:
      return std::string();
  }
}

Value valueOfText(const std::string& text) {
  std::int64_t number = 0;
  const char* end = text.data() + text.size();
  auto [ptr, error] = std::from_chars(text.data(), end, number);
  if (!text.empty() && error == std::errc() && ptr == end) return Value(number);
  return Value(text);
}

void Properties::set(std::string_view key, Value value) {
  values_.set(key, value);
  // A snapshot, so that an observer may observe or unobserve while it is told.
  std::vector<Token> tokens;
  for (const Entry& e : observers_) {
    if (e.key == key) tokens.push_back(e.token);
  }
  for (Token token : tokens) {
    auto it = std::find_if(observers_.begin(), observers_.end(),
                           [&](const Entry& e) { return e.token == token; });
    if (it == observers_.end()) continue;
    Observer observer = it->observer;  // the entry may go while it runs
    observer(key, value);
  }
}

const Value& Properties::value(std::string_view key) const {
  static const Value kUnset;
  const Value* found = values_.find(key);
  return found ? *found : kUnset;
}

std::int64_t Properties::integer(std::string_view key) const {
  return value(key).integer().valueOr(0);
}

double Properties::real(std::string_view key) const { return value(key).real().valueOr(0); }

std::string Properties::string(std::string_view key) const {
  return value(key).string().valueOr(std::string());
}

Properties::Token Properties::observe(std::string key, Observer observer) {
  Token token = next_++;
  observers_.push_back({token, std::move(key), std::move(observer)});
  return token;
}

void Properties::unobserve(Token token) {
  std::erase_if(observers_, [&](const Entry& e) { return e.token == token; });
}

void Binding::connect(Properties& properties, std::string key, ValueTransformer* transformer,
                      Show show) {
  disconnect();
  properties_ = &properties;
  key_ = std::move(key);
  transformer_ = transformer;
  show_ = std::move(show);
  token_ = properties.observe(key_, [this](std::string_view, const Value& value) {
    if (pushing_) return;
    show_(transformer_ ? transformer_->transformed(value) : value);
  });
  show_(transformer_ ? transformer_->transformed(properties.value(key_)) : properties.value(key_));
}

void Binding::disconnect() {
  if (properties_) properties_->unobserve(token_);
  properties_ = nullptr;
  transformer_ = nullptr;
  show_ = nullptr;
}

void Binding::push(const Value& controlValue) {
  if (!properties_) return;
  pushing_ = true;
  properties_->set(key_,
                   transformer_ ? transformer_->reverseTransformed(controlValue) : controlValue);
  pushing_ = false;
}

}  // namespace ui
