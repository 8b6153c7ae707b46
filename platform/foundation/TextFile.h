#pragma once
// Text files and text encodings, through ICU: decoding with the encoding detected (a byte-order
// mark for UTF-8, UTF-16 and UTF-32; UTF-8 when the bytes are valid UTF-8; ICU's detector
// otherwise), encoding to a named charset, and UTF-8/UTF-16 conversion.
//
//   auto text = foundation::readTextFile(resources / "lcd_str.loc");   // Result<DecodedText>
//   if (text) use(text->text);                                        // UTF-16
//
// Stateless; every function is safe to call from any thread.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Result.h"

namespace foundation {

struct DecodedText {
  std::u16string text;   // without the byte-order mark
  std::string encoding;  // ICU's name of the encoding found, e.g. "UTF-16LE", "UTF-8"
};

Result<DecodedText> decodeText(std::span<const std::uint8_t> bytes);
Result<DecodedText> readTextFile(const std::filesystem::path& path);

// The text in the named encoding (any name ICU knows: "UTF-16LE", "UTF-8", "windows-1252"...).
// Only the names without a byte order ("UTF-16", "UTF-32") write a byte-order mark. Characters
// the encoding lacks fail the conversion.
Result<std::vector<std::uint8_t>> encodeText(std::u16string_view text, std::string_view encoding);

// Ill-formed input (a lone surrogate, a broken UTF-8 sequence) becomes U+FFFD.
std::string toUtf8(std::u16string_view text);
std::u16string toUtf16(std::string_view text);
bool isUtf8(std::string_view text);

}  // namespace foundation
