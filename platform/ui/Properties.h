#pragma once
// Key-value coded values of a window's controller, and the bindings of controls to them.
//
// A bound control shows its property: every set notifies the observers, also with an unchanged
// value, so that setting 0 and then the value makes a control redraw. A user change of a bound
// control sets the property first and only then runs the control's action, so the action reads
// the new value. Programmatic changes of a control do not write its property.
//
//   ui::Properties values;
//   slider.bindValue(values, "mBrightnessValue");
//   values.set("mBrightnessValue", 40);          // the slider shows 40, no action runs
//
// The properties must outlive the controls bound to them. UI thread only.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/PropertyList.h"

namespace ui {

using foundation::Value;

// How a control shows a property's value as text (numbers in decimal), and the value a typed
// text stands for (a whole number as a number, anything else as the text).
std::string textOfValue(const Value& value);
Value valueOfText(const std::string& text);

class Properties {
 public:
  using Observer = std::function<void(std::string_view key, const Value& value)>;
  using Token = std::uint64_t;

  Properties() = default;
  Properties(const Properties&) = delete;
  Properties& operator=(const Properties&) = delete;

  // Stores the value and tells every observer of the key, in the order they registered.
  void set(std::string_view key, Value value);
  // The boolean false when never set.
  const Value& value(std::string_view key) const;
  std::int64_t integer(std::string_view key) const;
  double real(std::string_view key) const;
  std::string string(std::string_view key) const;

  Token observe(std::string key, Observer observer);
  void unobserve(Token token);

 private:
  struct Entry {
    Token token;
    std::string key;
    Observer observer;
  };
  foundation::Dictionary values_;
  std::vector<Entry> observers_;
  Token next_ = 1;
};

// Converts between a property's value and what a control shows (for example a resolution and the
// index of its pop-up item). It may keep state.
class ValueTransformer {
 public:
  virtual ~ValueTransformer() = default;
  virtual Value transformed(const Value& modelValue) = 0;
  virtual Value reverseTransformed(const Value& controlValue) = 0;
};

// One aspect of a control bound to a property.
class Binding {
 public:
  using Show = std::function<void(const Value& controlValue)>;

  Binding() = default;
  ~Binding() { disconnect(); }
  Binding(const Binding&) = delete;
  Binding& operator=(const Binding&) = delete;

  // `show` receives the (transformed) value whenever the property is set, and once now.
  void connect(Properties& properties, std::string key, ValueTransformer* transformer, Show show);
  void disconnect();
  bool connected() const { return properties_ != nullptr; }
  const std::string& key() const { return key_; }

  // A user change: sets the property from the control's value. The control is not told back
  // about the value it set itself.
  void push(const Value& controlValue);

 private:
  Properties* properties_ = nullptr;
  std::string key_;
  ValueTransformer* transformer_ = nullptr;
  Properties::Token token_ = 0;
  Show show_;
  bool pushing_ = false;
};

}  // namespace ui
