#pragma once
// Property lists: values (dictionary, array, string, number, data, date) as mutable trees with
// value semantics, and their files. Files are read in XML or binary form and written as XML,
// atomically. Typed getters say whether a key was missing or held another kind, so callers can
// fall back to their defaults.
//
//   foundation::Dictionary settings;
//   settings.ensureDictionary("Default").set("Language", 3);
//   foundation::writePropertyList(path, settings);            // Status
//
//   if (auto file = foundation::readDictionaryFile(path)) {   // Result<Dictionary>
//     auto defaults = file->dictionary("Default");           // Got<Dictionary>
//     if (defaults) language = defaults->integer("Language").valueOr(-1);
//   } else {
//     log(file.error());
//   }
//
// A value is not safe to change from two threads at once; copies are independent.
#include <cassert>
#include <chrono>
#include <concepts>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/foundation/Result.h"

namespace foundation {

class Value;
class Dictionary;
using Array = std::vector<Value>;
using Data = std::vector<std::uint8_t>;
// Property-list files keep dates to the second.
using Date = std::chrono::sys_seconds;

enum class Kind { boolean, integer, real, string, data, date, array, dictionary };
const char* kindName(Kind kind);

// How a typed lookup ended.
enum class Found { yes, missing, otherKind };

// The result of a typed lookup. Numbers and dates are held by value; strings, data, arrays and
// dictionaries by a pointer into the tree, valid while the tree is not changed.
template <class T>
class Got {
  static constexpr bool kByValue = std::is_arithmetic_v<T> || std::is_same_v<T, Date>;
  using Stored = std::conditional_t<kByValue, T, const T*>;

 public:
  static Got found(Stored value) { return Got(value, Found::yes); }
  static Got missing() { return Got(Stored{}, Found::missing); }
  static Got otherKind() { return Got(Stored{}, Found::otherKind); }

  Found status() const { return status_; }
  bool ok() const { return status_ == Found::yes; }
  explicit operator bool() const { return ok(); }
  const T& operator*() const {
    assert(ok() && "a lookup that found nothing has no value");
    if constexpr (kByValue) {
      return value_;
    } else {
      return *value_;
    }
  }
  const T* operator->() const { return &**this; }
  T valueOr(T fallback) const { return ok() ? **this : fallback; }

 private:
  Got(Stored value, Found status) : value_(value), status_(status) {}
  Stored value_;
  Found status_;
};

class Value {
 public:
  Value();  // the boolean false
  Value(bool value);
  template <std::integral I>
  requires(!std::same_as<I, bool>) Value(I value)
      : Value(IntegerTag{}, static_cast<std::int64_t>(value)) {}
  template <std::floating_point F>
  Value(F value) : Value(RealTag{}, static_cast<double>(value)) {}
  Value(const char* text);
  Value(std::string_view text);
  Value(std::string text);
  Value(Data bytes);
  Value(Date date);
  Value(Array items);
  Value(Dictionary entries);
  Value(const Value& other);
  Value(Value&& other) noexcept;
  Value& operator=(const Value& other);
  Value& operator=(Value&& other) noexcept;
  ~Value();

  Kind kind() const;

  // Integer, real and boolean values are all numbers and answer each numeric getter:
  // a real is cut toward zero (and held within the 64-bit range), a boolean is 0 or 1, and
  // any number is true when not zero.
  Got<std::int64_t> integer() const;
  Got<double> real() const;
  Got<bool> boolean() const;
  Got<std::string> string() const;
  Got<Data> data() const;
  Got<Date> date() const;
  Got<Array> array() const;
  Got<Dictionary> dictionary() const;
  // In-place access to a container; null when the value is of another kind.
  Array* editArray();
  Dictionary* editDictionary();

  bool operator==(const Value& other) const;

 private:
  struct IntegerTag {};
  struct RealTag {};
  Value(IntegerTag, std::int64_t value);
  Value(RealTag, double value);
  using Storage = std::variant<bool, std::int64_t, double, std::string, Data, Date,
                               std::unique_ptr<Array>, std::unique_ptr<Dictionary>>;
  Storage storage_;
};

// Keys are unique and kept in ascending order, as the files list them.
class Dictionary {
 public:
  using Map = std::map<std::string, Value, std::less<>>;

  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  bool contains(std::string_view key) const { return entries_.find(key) != entries_.end(); }
  const Value* find(std::string_view key) const;
  Value* find(std::string_view key);
  void set(std::string_view key, Value value);
  bool remove(std::string_view key);  // false when the key was not there
  std::vector<std::string> keys() const;

  // Typed lookups: missing, or of another kind (numbers as in Value).
  Got<std::int64_t> integer(std::string_view key) const;
  Got<double> real(std::string_view key) const;
  Got<bool> boolean(std::string_view key) const;
  Got<std::string> string(std::string_view key) const;
  Got<Data> data(std::string_view key) const;
  Got<Date> date(std::string_view key) const;
  Got<Array> array(std::string_view key) const;
  Got<Dictionary> dictionary(std::string_view key) const;

  // The container under `key` for in-place changes; null when missing or of another kind.
  Dictionary* editDictionary(std::string_view key);
  Array* editArray(std::string_view key);
  // The container under `key`, made empty first when the key is missing or holds another kind.
  Dictionary& ensureDictionary(std::string_view key);
  Array& ensureArray(std::string_view key);

  Map::const_iterator begin() const { return entries_.begin(); }
  Map::const_iterator end() const { return entries_.end(); }
  Map::iterator begin() { return entries_.begin(); }
  Map::iterator end() { return entries_.end(); }

  bool operator==(const Dictionary& other) const { return entries_ == other.entries_; }

 private:
  Map entries_;
};

enum class PlistFormat { xml, binary };

// Deeper trees are refused on reading (a file is data, not a program).
constexpr int kMaxPlistNesting = 256;

// Parses XML or binary property-list bytes.
Result<Value> parsePropertyList(std::span<const std::uint8_t> bytes);
// Fails for what the format cannot carry: a string that is not UTF-8 or holds a zero byte, a
// real that is not finite, a date outside 1933-12-14 .. 2069-01-18 (the files' library keeps
// 32-bit seconds from 2001).
Result<Data> serializePropertyList(const Value& value, PlistFormat format);

Result<Value> readPropertyList(const std::filesystem::path& path);
// As readPropertyList, and the top level must be a dictionary.
Result<Dictionary> readDictionaryFile(const std::filesystem::path& path);
// XML, written atomically (see writeFileAtomically).
Status writePropertyList(const std::filesystem::path& path, const Value& value);

}  // namespace foundation
