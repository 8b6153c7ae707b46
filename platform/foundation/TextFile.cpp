// Text decoding and encoding through ICU's converters and charset detector.
#include "platform/foundation/TextFile.h"

#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>
#include <unicode/ustring.h>

#include <memory>

#include "platform/foundation/Files.h"

namespace foundation {
namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
struct DetectorCloser {
  void operator()(UCharsetDetector* d) const { ucsdet_close(d); }
};

struct Bom {
  std::string_view bytes;
  const char* encoding;
};
// Longest first: the UTF-32LE mark begins with the UTF-16LE one.
constexpr Bom kBoms[] = {
    {std::string_view("\x00\x00\xFE\xFF", 4), "UTF-32BE"},
    {std::string_view("\xFF\xFE\x00\x00", 4), "UTF-32LE"},
    {"\xEF\xBB\xBF", "UTF-8"},
    {"\xFE\xFF", "UTF-16BE"},
    {"\xFF\xFE", "UTF-16LE"},
};

Result<std::u16string> convert(std::span<const std::uint8_t> bytes, const char* encoding) {
  using R = Result<std::u16string>;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, ConverterCloser> conv(ucnv_open(encoding, &status));
  if (U_FAILURE(status)) return R::failure(std::string("unknown encoding ") + encoding);
  // Broken sequences become U+FFFD (ICU's default substitution) instead of failing the file.
  const char* src = reinterpret_cast<const char*>(bytes.data());
  int32_t length = static_cast<int32_t>(bytes.size());
  std::u16string out(static_cast<std::size_t>(length) * 2 + 2, u'\0');
  int32_t n =
      ucnv_toUChars(conv.get(), out.data(), static_cast<int32_t>(out.size()), src, length, &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    status = U_ZERO_ERROR;
    out.resize(static_cast<std::size_t>(n) + 1);
    n = ucnv_toUChars(conv.get(), out.data(), static_cast<int32_t>(out.size()), src, length,
                      &status);
  }
  if (U_FAILURE(status)) {
    return R::failure(std::string("cannot be decoded as ") + encoding + ": " + u_errorName(status));
  }
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// UTF-16 without a mark: ASCII-heavy text has a zero in every other byte.
const char* guessUtf16(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0) return nullptr;
  std::size_t evenZeros = 0, oddZeros = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == 0) (i % 2 == 0 ? evenZeros : oddZeros)++;
  }
  std::size_t half = bytes.size() / 2;
  if (oddZeros * 2 > half && evenZeros == 0) return "UTF-16LE";
  if (evenZeros * 2 > half && oddZeros == 0) return "UTF-16BE";
  return nullptr;
}

bool hasZeroByte(std::span<const std::uint8_t> bytes) {
  for (std::uint8_t b : bytes) {
    if (b == 0) return true;
  }
  return false;
}

}  // namespace

bool isUtf8(std::string_view text) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), &status);
  return status == U_BUFFER_OVERFLOW_ERROR || status == U_STRING_NOT_TERMINATED_WARNING ||
         U_SUCCESS(status);
}

Result<DecodedText> decodeText(std::span<const std::uint8_t> bytes) {
  using R = Result<DecodedText>;
  std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  for (const Bom& bom : kBoms) {
    if (view.starts_with(bom.bytes)) {
      auto text = convert(bytes.subspan(bom.bytes.size()), bom.encoding);
      if (!text) return R::failure(text.error());
      return DecodedText{std::move(*text), bom.encoding};
    }
  }
  const char* encoding = nullptr;
  if (!hasZeroByte(bytes) && isUtf8(view)) {
    encoding = "UTF-8";
  } else if (const char* utf16 = guessUtf16(bytes)) {
    encoding = utf16;
  }
  std::string detected;
  if (!encoding) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCharsetDetector, DetectorCloser> detector(ucsdet_open(&status));
    if (U_SUCCESS(status)) {
      ucsdet_setText(detector.get(), view.data(), static_cast<int32_t>(view.size()), &status);
      const UCharsetMatch* match = ucsdet_detect(detector.get(), &status);
      if (U_SUCCESS(status) && match) {
        const char* name = ucsdet_getName(match, &status);
        if (U_SUCCESS(status) && name) detected = name;
      }
    }
    // Text no detector recognises is most likely a Western single-byte file.
    encoding = detected.empty() ? "windows-1252" : detected.c_str();
  }
  auto text = convert(bytes, encoding);
  if (!text) return R::failure(text.error());
  return DecodedText{std::move(*text), encoding};
}

Result<DecodedText> readTextFile(const std::filesystem::path& path) {
  auto bytes = readFile(path);
  if (!bytes) return Result<DecodedText>::failure(bytes.error());
  auto text = decodeText(*bytes);
  if (!text) return Result<DecodedText>::failure("\"" + path.string() + "\" " + text.error());
  return text;
}

Result<std::vector<std::uint8_t>> encodeText(std::u16string_view text, std::string_view encoding) {
  using R = Result<std::vector<std::uint8_t>>;
  std::string name(encoding);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, ConverterCloser> conv(ucnv_open(name.c_str(), &status));
  if (U_FAILURE(status)) return R::failure("unknown encoding " + name);
  // A character the encoding lacks is an error, not a silent substitute.
  ucnv_setFromUCallBack(conv.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  int32_t capacity = UCNV_GET_MAX_BYTES_FOR_STRING(static_cast<int32_t>(text.size()),
                                                   ucnv_getMaxCharSize(conv.get()));
  std::vector<std::uint8_t> out(static_cast<std::size_t>(capacity) + 1);
  int32_t n = ucnv_fromUChars(conv.get(), reinterpret_cast<char*>(out.data()),
                              static_cast<int32_t>(out.size()), text.data(),
                              static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status)) {
    return R::failure("the text cannot be written as " + name + ": " + u_errorName(status));
  }
  out.resize(static_cast<std::size_t>(n));
  return out;
}

namespace {
constexpr UChar32 kReplacement = 0xFFFD;

// ICU's two-pass conversion: the length first, then the text, ill-formed input replaced.
template <class Out, class Convert>
Out convertWithReplacement(Convert convert) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  convert(nullptr, 0, &length, &status);
  Out out(static_cast<std::size_t>(length), 0);
  status = U_ZERO_ERROR;
  convert(out.data(), length, &length, &status);
  return U_FAILURE(status) ? Out() : out;
}
}  // namespace

std::string toUtf8(std::u16string_view text) {
  return convertWithReplacement<std::string>(
      [&](char* out, int32_t capacity, int32_t* length, UErrorCode* status) {
        u_strToUTF8WithSub(out, capacity, length, text.data(), static_cast<int32_t>(text.size()),
                           kReplacement, nullptr, status);
      });
}

std::u16string toUtf16(std::string_view text) {
  return convertWithReplacement<std::u16string>(
      [&](char16_t* out, int32_t capacity, int32_t* length, UErrorCode* status) {
        u_strFromUTF8WithSub(out, capacity, length, text.data(), static_cast<int32_t>(text.size()),
                             kReplacement, nullptr, status);
      });
}

}  // namespace foundation
