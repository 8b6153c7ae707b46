// ICU's C regular-expression interface; each search works on a clone of the compiled pattern,
// which is what makes one compiled expression usable from several threads.
#include "platform/foundation/RegularExpression.h"

#include <unicode/uregex.h>

namespace foundation {

struct RegularExpression::Compiled {
  URegularExpression* pattern = nullptr;
  ~Compiled() { uregex_close(pattern); }
};

namespace {
struct RegexCloser {
  void operator()(URegularExpression* r) const { uregex_close(r); }
};
using Matcher = std::unique_ptr<URegularExpression, RegexCloser>;

Matcher matcherFor(URegularExpression* pattern, std::u16string_view text) {
  UErrorCode status = U_ZERO_ERROR;
  Matcher m(uregex_clone(pattern, &status));
  if (U_FAILURE(status)) return nullptr;
  uregex_setText(m.get(), text.data(), static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status)) return nullptr;
  return m;
}
}  // namespace

RegularExpression::RegularExpression(std::shared_ptr<const Compiled> compiled)
    : compiled_(std::move(compiled)) {}

Result<RegularExpression> RegularExpression::compile(std::u16string_view pattern) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError where{};
  URegularExpression* r =
      uregex_open(pattern.data(), static_cast<int32_t>(pattern.size()), 0, &where, &status);
  if (U_FAILURE(status)) {
    uregex_close(r);
    return Result<RegularExpression>::failure(std::string("regular expression error ") +
                                              u_errorName(status) + " at offset " +
                                              std::to_string(where.offset));
  }
  auto compiled = std::make_shared<Compiled>();
  compiled->pattern = r;
  return RegularExpression(std::move(compiled));
}

std::vector<std::u16string> RegularExpression::allMatches(std::u16string_view text) const {
  std::vector<std::u16string> out;
  Matcher m = matcherFor(compiled_->pattern, text);
  if (!m) return out;
  UErrorCode status = U_ZERO_ERROR;
  // uregex_findNext steps over empty matches itself.
  while (uregex_findNext(m.get(), &status) && U_SUCCESS(status)) {
    int32_t start = uregex_start(m.get(), 0, &status);
    int32_t end = uregex_end(m.get(), 0, &status);
    if (U_FAILURE(status)) break;
    out.emplace_back(
        text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
  }
  return out;
}

}  // namespace foundation
