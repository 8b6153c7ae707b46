#pragma once
// ICU regular expressions over UTF-16 text.
//
//   auto headers = foundation::RegularExpression::compile(u"\\[.*\\]");   // Result<...>
//   for (const std::u16string& h : headers->allMatches(text)) ...           // "[English]", ...
//
// A compiled expression is immutable and may be shared between threads.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Result.h"

namespace foundation {

class RegularExpression {
 public:
  // `.` does not match a line break, as in ICU's default; the error names the position.
  static Result<RegularExpression> compile(std::u16string_view pattern);

  // The whole text of every match, in order; matches do not overlap. An empty match moves on by
  // one character, so a pattern that can match nothing still ends.
  std::vector<std::u16string> allMatches(std::u16string_view text) const;

 private:
  struct Compiled;
  explicit RegularExpression(std::shared_ptr<const Compiled> compiled);
  std::shared_ptr<const Compiled> compiled_;
};

}  // namespace foundation
