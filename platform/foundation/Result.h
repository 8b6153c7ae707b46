#pragma once
// The outcome of a foundation operation that can fail: a value, or the reason there is none.
// The reason is a sentence fit for a log line (it names the file and what is wrong with it).
#include <cassert>
#include <optional>
#include <string>
#include <utility>

namespace foundation {

template <class T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: a value converts to success
  static Result failure(std::string reason) {
    Result r;
    r.error_ = std::move(reason);
    return r;
  }

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  T& operator*() {
    assert(ok() && "a failed result has no value");
    return *value_;
  }
  const T& operator*() const {
    assert(ok() && "a failed result has no value");
    return *value_;
  }
  T* operator->() { return &**this; }
  const T* operator->() const { return &**this; }
  T valueOr(T fallback) const { return value_ ? *value_ : std::move(fallback); }
  // Empty on success.
  const std::string& error() const { return error_; }

 private:
  Result() = default;
  std::optional<T> value_;
  std::string error_;
};

// Success, or the reason of a failure.
class Status {
 public:
  static Status success() { return Status(); }
  static Status failure(std::string reason) {
    Status s;
    s.error_ = reason.empty() ? std::string("failed") : std::move(reason);
    return s;
  }
  bool ok() const { return error_.empty(); }
  explicit operator bool() const { return ok(); }
  const std::string& error() const { return error_; }

 private:
  std::string error_;
};

}  // namespace foundation
