// Property-list trees and their files, through libplist.
#include "platform/foundation/PropertyList.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/foundation/Files.h"
#include "platform/foundation/TextFile.h"

namespace foundation {

const char* kindName(Kind kind) {
  switch (kind) {
    case Kind::boolean:
      return "boolean";
    case Kind::integer:
      return "integer";
    case Kind::real:
      return "real";
    case Kind::string:
      return "string";
    case Kind::data:
      return "data";
    case Kind::date:
      return "date";
    case Kind::array:
      return "array";
    case Kind::dictionary:
      return "dictionary";
  }
  return "unknown";
}

// ---- Value

Value::Value() : storage_(false) {}
Value::Value(bool value) : storage_(value) {}
Value::Value(IntegerTag, std::int64_t value) : storage_(value) {}
Value::Value(RealTag, double value) : storage_(value) {}
Value::Value(const char* text) : storage_(std::string(text ? text : "")) {}
Value::Value(std::string_view text) : storage_(std::string(text)) {}
Value::Value(std::string text) : storage_(std::move(text)) {}
Value::Value(Data bytes) : storage_(std::move(bytes)) {}
Value::Value(Date date) : storage_(date) {}
Value::Value(Array items) : storage_(std::make_unique<Array>(std::move(items))) {}
Value::Value(Dictionary entries) : storage_(std::make_unique<Dictionary>(std::move(entries))) {}
Value::~Value() = default;

// A value moved from is the boolean false, never a container without its content.
Value::Value(Value&& other) noexcept : storage_(std::move(other.storage_)) {
  other.storage_ = false;
}

// Both assignments take the source first: it may live inside the tree being replaced
// (`v = (*v.array())[0]`).
Value& Value::operator=(Value&& other) noexcept {
  if (this != &other) {
    Storage taken = std::move(other.storage_);
    other.storage_ = false;
    storage_ = std::move(taken);
  }
  return *this;
}

// Containers are held by pointer only to break the type's recursion: copies are deep.
Value::Value(const Value& other) : storage_(false) { *this = other; }

Value& Value::operator=(const Value& other) {
  if (this == &other) return *this;
  Storage copy = std::visit(
      [](const auto& v) -> Storage {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::unique_ptr<Array>>) {
          return std::make_unique<Array>(*v);
        } else if constexpr (std::is_same_v<T, std::unique_ptr<Dictionary>>) {
          return std::make_unique<Dictionary>(*v);
        } else {
          return v;
        }
      },
      other.storage_);
  storage_ = std::move(copy);
  return *this;
}

Kind Value::kind() const {
  static constexpr Kind kinds[] = {Kind::boolean, Kind::integer, Kind::real,  Kind::string,
                                   Kind::data,    Kind::date,    Kind::array, Kind::dictionary};
  return kinds[storage_.index()];
}

Got<std::int64_t> Value::integer() const {
  using G = Got<std::int64_t>;
  if (auto* i = std::get_if<std::int64_t>(&storage_)) return G::found(*i);
  if (auto* b = std::get_if<bool>(&storage_)) return G::found(*b ? 1 : 0);
  if (auto* r = std::get_if<double>(&storage_)) {
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (std::isnan(*r)) return G::found(0);
    if (*r >= kLimit) return G::found(std::numeric_limits<std::int64_t>::max());
    if (*r < -kLimit) return G::found(std::numeric_limits<std::int64_t>::min());
    return G::found(static_cast<std::int64_t>(*r));
  }
  return G::otherKind();
}

Got<double> Value::real() const {
  using G = Got<double>;
  if (auto* r = std::get_if<double>(&storage_)) return G::found(*r);
  if (auto* i = std::get_if<std::int64_t>(&storage_)) return G::found(static_cast<double>(*i));
  if (auto* b = std::get_if<bool>(&storage_)) return G::found(*b ? 1.0 : 0.0);
  return G::otherKind();
}

Got<bool> Value::boolean() const {
  using G = Got<bool>;
  if (auto* b = std::get_if<bool>(&storage_)) return G::found(*b);
  if (auto* i = std::get_if<std::int64_t>(&storage_)) return G::found(*i != 0);
  if (auto* r = std::get_if<double>(&storage_)) return G::found(*r != 0.0);
  return G::otherKind();
}

namespace {
template <class T, class S>
Got<T> byPointer(const S& storage) {
  if (auto* v = std::get_if<T>(&storage)) return Got<T>::found(v);
  return Got<T>::otherKind();
}
template <class T, class S>
Got<T> byBox(const S& storage) {
  if (auto* v = std::get_if<std::unique_ptr<T>>(&storage)) return Got<T>::found(v->get());
  return Got<T>::otherKind();
}
}  // namespace

Got<std::string> Value::string() const { return byPointer<std::string>(storage_); }
Got<Data> Value::data() const { return byPointer<Data>(storage_); }
Got<Date> Value::date() const {
  if (auto* d = std::get_if<Date>(&storage_)) return Got<Date>::found(*d);
  return Got<Date>::otherKind();
}
Got<Array> Value::array() const { return byBox<Array>(storage_); }
Got<Dictionary> Value::dictionary() const { return byBox<Dictionary>(storage_); }

Array* Value::editArray() {
  auto* v = std::get_if<std::unique_ptr<Array>>(&storage_);
  return v ? v->get() : nullptr;
}
Dictionary* Value::editDictionary() {
  auto* v = std::get_if<std::unique_ptr<Dictionary>>(&storage_);
  return v ? v->get() : nullptr;
}

bool Value::operator==(const Value& other) const {
  if (storage_.index() != other.storage_.index()) return false;
  return std::visit(
      [&other](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        const auto& w = std::get<T>(other.storage_);
        if constexpr (std::is_same_v<T, std::unique_ptr<Array>> ||
                      std::is_same_v<T, std::unique_ptr<Dictionary>>) {
          return *v == *w;
        } else {
          return v == w;
        }
      },
      storage_);
}

// ---- Dictionary

const Value* Dictionary::find(std::string_view key) const {
  auto it = entries_.find(key);
  return it == entries_.end() ? nullptr : &it->second;
}

Value* Dictionary::find(std::string_view key) {
  auto it = entries_.find(key);
  return it == entries_.end() ? nullptr : &it->second;
}

void Dictionary::set(std::string_view key, Value value) {
  auto it = entries_.find(key);
  if (it != entries_.end()) {
    it->second = std::move(value);
  } else {
    entries_.emplace(std::string(key), std::move(value));
  }
}

bool Dictionary::remove(std::string_view key) {
  auto it = entries_.find(key);
  if (it == entries_.end()) return false;
  entries_.erase(it);
  return true;
}

std::vector<std::string> Dictionary::keys() const {
  std::vector<std::string> out;
  out.reserve(entries_.size());
  for (const auto& [key, value] : entries_) out.push_back(key);
  return out;
}

namespace {
template <class T, class Getter>
Got<T> lookup(const Dictionary& d, std::string_view key, Getter get) {
  const Value* v = d.find(key);
  if (!v) return Got<T>::missing();
  return (v->*get)();
}
}  // namespace

Got<std::int64_t> Dictionary::integer(std::string_view key) const {
  return lookup<std::int64_t>(*this, key, &Value::integer);
}
Got<double> Dictionary::real(std::string_view key) const {
  return lookup<double>(*this, key, &Value::real);
}
Got<bool> Dictionary::boolean(std::string_view key) const {
  return lookup<bool>(*this, key, &Value::boolean);
}
Got<std::string> Dictionary::string(std::string_view key) const {
  return lookup<std::string>(*this, key, &Value::string);
}
Got<Data> Dictionary::data(std::string_view key) const {
  return lookup<Data>(*this, key, &Value::data);
}
Got<Date> Dictionary::date(std::string_view key) const {
  return lookup<Date>(*this, key, &Value::date);
}
Got<Array> Dictionary::array(std::string_view key) const {
  return lookup<Array>(*this, key, &Value::array);
}
Got<Dictionary> Dictionary::dictionary(std::string_view key) const {
  return lookup<Dictionary>(*this, key, &Value::dictionary);
}

Dictionary* Dictionary::editDictionary(std::string_view key) {
  Value* v = find(key);
  return v ? v->editDictionary() : nullptr;
}

Array* Dictionary::editArray(std::string_view key) {
  Value* v = find(key);
  return v ? v->editArray() : nullptr;
}

Dictionary& Dictionary::ensureDictionary(std::string_view key) {
  if (Dictionary* d = editDictionary(key)) return *d;
  set(key, Dictionary());
  return *editDictionary(key);
}

Array& Dictionary::ensureArray(std::string_view key) {
  if (Array* a = editArray(key)) return *a;
  set(key, Array());
  return *editArray(key);
}

// ---- libplist conversion

namespace {

// Seconds from 1970-01-01 to 2001-01-01, the files' epoch.
constexpr std::int64_t kPlistEpoch = 978307200;

struct PlistDeleter {
  void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

Result<Value> fromPlist(plist_t node, int depth) {
  using R = Result<Value>;
  if (depth > kMaxPlistNesting) {
    return R::failure("nested deeper than " + std::to_string(kMaxPlistNesting) + " levels");
  }
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return Value(b != 0);
    }
    case PLIST_UINT: {
      // The library keeps integers as 64-bit words; negative numbers come back in two's
      // complement.
      uint64_t u = 0;
      plist_get_uint_val(node, &u);
      return Value(static_cast<std::int64_t>(u));
    }
    case PLIST_REAL: {
      double r = 0;
      plist_get_real_val(node, &r);
      return Value(r);
    }
    case PLIST_STRING: {
      const char* s = plist_get_string_ptr(node, nullptr);
      return Value(std::string(s ? s : ""));
    }
    case PLIST_DATA: {
      uint64_t length = 0;
      const char* p = plist_get_data_ptr(node, &length);
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(p);
      return Value(p ? Data(bytes, bytes + length) : Data());
    }
    case PLIST_DATE: {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      std::int64_t s = kPlistEpoch + sec;
      if (usec < 0) --s;  // whole seconds, rounded down
      return Value(Date(std::chrono::seconds(s)));
    }
    case PLIST_ARRAY: {
      Array items;
      uint32_t n = plist_array_get_size(node);
      items.reserve(n);
      for (uint32_t i = 0; i < n; ++i) {
        plist_t child = plist_array_get_item(node, i);
        if (!child) return R::failure("an array item is missing");
        auto v = fromPlist(child, depth + 1);
        if (!v) return v;
        items.push_back(std::move(*v));
      }
      return Value(std::move(items));
    }
    case PLIST_DICT: {
      Dictionary entries;
      plist_dict_iter it = nullptr;
      plist_dict_new_iter(node, &it);
      std::string error;
      for (;;) {
        char* key = nullptr;
        plist_t child = nullptr;
        plist_dict_next_item(node, it, &key, &child);
        if (!child) {
          std::free(key);
          break;
        }
        std::string name = key ? key : "";
        std::free(key);
        auto v = fromPlist(child, depth + 1);
        if (!v) {
          error = v.error();
          break;
        }
        entries.set(name, std::move(*v));
      }
      std::free(it);
      if (!error.empty()) return R::failure(error);
      return Value(std::move(entries));
    }
    case PLIST_KEY:
    case PLIST_UID:
    case PLIST_NONE:
      break;
  }
  return R::failure("holds a value kind that property lists of this system do not use");
}

// libplist asserts (and so aborts the process) when a key it hands out holds a zero character,
// which a binary file can declare; such files are refused before it sees them. Only the string
// objects are looked at: every other fault is libplist's to find.
bool binaryHasZeroInString(std::span<const std::uint8_t> b) {
  constexpr std::size_t kHeader = 8, kTrailer = 32;
  if (b.size() < kHeader + kTrailer || std::memcmp(b.data(), "bplist", 6) != 0) return false;
  auto readBE = [&](std::size_t at, std::size_t width, std::uint64_t* out) {
    if (width == 0 || width > 8 || at > b.size() || b.size() - at < width) return false;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i) v = (v << 8) | b[at + i];
    *out = v;
    return true;
  };
  const std::size_t trailer = b.size() - kTrailer;
  std::uint64_t offsetWidth = b[trailer + 6], count = 0, table = 0;
  if (!readBE(trailer + 8, 8, &count) || !readBE(trailer + 24, 8, &table)) return false;
  if (offsetWidth == 0 || offsetWidth > 8 || table > trailer ||
      count > (trailer - table) / offsetWidth) {
    return false;
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint64_t offset = 0;
    if (!readBE(table + i * offsetWidth, offsetWidth, &offset) || offset >= trailer) continue;
    std::uint8_t marker = b[offset];
    std::uint8_t type = marker >> 4;
    if (type != 0x5 && type != 0x6) continue;  // ASCII and UTF-16 strings
    std::uint64_t length = marker & 0x0F;
    std::size_t start = offset + 1;
    if (length == 0x0F) {  // the length follows as an integer object
      if (start >= trailer || (b[start] >> 4) != 0x1) continue;
      std::size_t width = std::size_t{1} << (b[start] & 0x03);
      if (!readBE(start + 1, width, &length)) continue;
      start += 1 + width;
    }
    std::uint64_t unit = type == 0x5 ? 1 : 2;
    if (start > trailer || length > (trailer - start) / unit) continue;
    for (std::uint64_t k = 0; k < length; ++k) {
      bool zero = unit == 1 ? b[start + k] == 0 : (b[start + 2 * k] | b[start + 2 * k + 1]) == 0;
      if (zero) return true;
    }
  }
  return false;
}

Result<PlistPtr> toPlist(const Value& value, int depth);

Result<PlistPtr> toPlistNode(const Value& value, int depth) {
  using R = Result<PlistPtr>;
  switch (value.kind()) {
    case Kind::boolean:
      return PlistPtr(plist_new_bool(*value.boolean() ? 1 : 0));
    case Kind::integer:
      return PlistPtr(plist_new_uint(static_cast<uint64_t>(*value.integer())));
    case Kind::real: {
      double r = *value.real();
      if (!std::isfinite(r)) return R::failure("a real value is not finite");
      return PlistPtr(plist_new_real(r));
    }
    case Kind::string: {
      const std::string& s = *value.string();
      if (s.find('\0') != std::string::npos) return R::failure("a string holds a zero byte");
      if (!isUtf8(s)) return R::failure("a string is not UTF-8");
      return PlistPtr(plist_new_string(s.c_str()));
    }
    case Kind::data: {
      const Data& d = *value.data();
      return PlistPtr(plist_new_data(reinterpret_cast<const char*>(d.data()), d.size()));
    }
    case Kind::date: {
      std::int64_t s = value.date()->time_since_epoch().count() - kPlistEpoch;
      if (s < std::numeric_limits<int32_t>::min() || s > std::numeric_limits<int32_t>::max()) {
        return R::failure("a date lies outside the range property-list files can hold here");
      }
      return PlistPtr(plist_new_date(static_cast<int32_t>(s), 0));
    }
    case Kind::array: {
      PlistPtr node(plist_new_array());
      for (const Value& item : *value.array()) {
        auto child = toPlist(item, depth + 1);
        if (!child) return child;
        plist_array_append_item(node.get(), child->release());
      }
      return node;
    }
    case Kind::dictionary: {
      PlistPtr node(plist_new_dict());
      for (const auto& [key, item] : *value.dictionary()) {
        if (!isUtf8(key)) return R::failure("a dictionary key is not UTF-8");
        auto child = toPlist(item, depth + 1);
        if (!child) return child;
        plist_dict_set_item(node.get(), key.c_str(), child->release());
      }
      return node;
    }
  }
  return R::failure("unknown value kind");
}

Result<PlistPtr> toPlist(const Value& value, int depth) {
  if (depth > kMaxPlistNesting) {
    return Result<PlistPtr>::failure("nested deeper than " + std::to_string(kMaxPlistNesting) +
                                     " levels");
  }
  return toPlistNode(value, depth);
}

}  // namespace

Result<Value> parsePropertyList(std::span<const std::uint8_t> bytes) {
  using R = Result<Value>;
  if (bytes.empty()) return R::failure("is empty");
  if (bytes.size() > kMaxFileBytes) return R::failure("is too large");
  if (binaryHasZeroInString(bytes)) return R::failure("holds a string with a zero character");
  plist_t root = nullptr;
  plist_from_memory(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<uint32_t>(bytes.size()), &root);
  if (!root) return R::failure("is not a property list in XML or binary form");
  PlistPtr owner(root);
  return fromPlist(root, 0);
}

Result<Data> serializePropertyList(const Value& value, PlistFormat format) {
  using R = Result<Data>;
  auto node = toPlist(value, 0);
  if (!node) return R::failure(node.error());
  char* out = nullptr;
  uint32_t length = 0;
  if (format == PlistFormat::xml) {
    plist_to_xml(node->get(), &out, &length);
  } else {
    plist_to_bin(node->get(), &out, &length);
  }
  if (!out) return R::failure("could not be encoded");
  Data bytes(reinterpret_cast<const std::uint8_t*>(out),
             reinterpret_cast<const std::uint8_t*>(out) + length);
  if (format == PlistFormat::xml) {
    plist_to_xml_free(out);
  } else {
    plist_to_bin_free(out);
  }
  return bytes;
}

Result<Value> readPropertyList(const std::filesystem::path& path) {
  auto bytes = readFile(path);
  if (!bytes) return Result<Value>::failure(bytes.error());
  auto value = parsePropertyList(*bytes);
  if (!value) return Result<Value>::failure("\"" + path.string() + "\" " + value.error());
  return value;
}

Result<Dictionary> readDictionaryFile(const std::filesystem::path& path) {
  using R = Result<Dictionary>;
  auto value = readPropertyList(path);
  if (!value) return R::failure(value.error());
  Dictionary* d = value->editDictionary();
  if (!d) {
    return R::failure("\"" + path.string() + "\" holds " + kindName(value->kind()) +
                      " where a dictionary was expected");
  }
  return std::move(*d);
}

Status writePropertyList(const std::filesystem::path& path, const Value& value) {
  auto bytes = serializePropertyList(value, PlistFormat::xml);
  if (!bytes) return Status::failure("cannot write \"" + path.string() + "\": " + bytes.error());
  return writeFileAtomically(path, *bytes);
}

}  // namespace foundation
